#pragma once
// One connection of the local authentication client to the relay. It
// assembles the client's records (size word first) and hands each whole
// one to the factory, and writes the factory's records back. A use count
// covers its own operations: when the connection closes inside one of them,
// the client asks the factory to delete it only once they have returned.
#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "slots/auth_records.h"

class ModemFactory;

class AuthClient {
public:
  // Takes over the accepted connection fd.
  AuthClient(ModemFactory& factory, int fd, const INet4::Addr& peer);
  ~AuthClient();
  AuthClient(const AuthClient&) = delete;
  AuthClient& operator=(const AuthClient&) = delete;

  // Starts watching the connection for input; false, with errno, when the
  // loop's duplicate of it cannot be made.
  bool Activate();
  // Writes one whole record; false when the connection is closed or fails.
  bool Send(const attr* record);
  // Closes the connection and stops watching it.
  void OnDisconnect();
  // With no operation running and the connection closed: the factory
  // deletes the client.
  void CheckDisconnect();

  void OnSocketEvent(int fd, short revents);

  const INet4::Addr& peer() const { return peer_; }
  // Whether a whole record has been received, and the session of the last one.
  bool has_session() const { return hasSession_; }
  int session() const { return session_; }
  bool connected() const { return fd_.get() >= 0; }

private:
  void Read();
  void Release();

  Event event_;
  Fd fd_;
  INet4::Addr peer_;
  int usage_;
  AuthRecordBuffer buffer_;
  unsigned fill_;
  unsigned end_;
  ModemFactory& factory_;
  int session_;
  bool hasSession_;
};
