#pragma once
// A message connection of the daemon: a protocol stack of the socket stream
// layer with TPKT framing on top, plus the logic that obtains the socket.
// Whole TPKT payloads go to one receiver (Control::Notify); Send frames
// and writes one payload. A lost connection reaches the receiver as
// OnDisconnect on the next loop turn, never from inside a read or write.
#include <string>

#include "foundation/dpc.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/measure.h"
#include "foundation/protocol.h"

class StrmProtocol;

namespace Control {

class Notify {
public:
  virtual ~Notify() = default;
  virtual void OnConnect() = 0;
  virtual void OnDisconnect() = 0;
  // One whole TPKT payload; the bytes are valid only during the call.
  virtual void OnMessage(char const* data, int length) = 0;
};

class Service : private ProtocolsFamily {
public:
  struct State {
    enum Type { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };
  };

  explicit Service(bool log = true);
  ~Service() override;

  void Bind(Notify* notify) { notify_ = notify; }
  void UnBind() { notify_ = nullptr; }
  void service_name(const std::string& name);
  const std::string& service_name() const;

  // Deactivate(), then Connecting and the variant's start; false (and Idle)
  // when it cannot start.
  bool Activate();
  void Deactivate();
  // Drops the connection; the receiver hears OnDisconnect on the next turn.
  void Disconnect();
  // Sends one payload while Connected, within the stream layer's write
  // deadline. False when nothing could be sent: not connected, a payload
  // TPKT cannot carry (over 65531 octets, refused with an error line), or
  // the connection failed while writing.
  bool Send(char const* data, int length);
  // Closes the attached socket without a report.
  void Release();

  uint32_t GetOverflowCounter() const;
  const Measure& get_read_measure() const;
  const Measure& get_write_measure() const;

  State::Type state() const { return state_; }
  const std::string& peer_name() const { return peer_; }
  bool log() const { return log_; }

protected:
  virtual bool ImplActivate() = 0;
  virtual void ImplDeactivate() = 0;
  virtual void ImplOnDisconnect() = 0;

  void on_message(Packet& p) override;
  void on_activated(Protocol*) override {}
  void on_deactivated(Protocol* layer, Protocol_status s) override;

  // Attaches an established connection: Connected, stack active, OnConnect.
  void attach_connection(const Fd& fd, const std::string& peer);

  State::Type state_;

private:
  void OnDeactivateDPC();

  std::string peer_;
  bool log_;
  Notify* notify_;
  StrmProtocol* stream_;
  Dpc disconnect_;
};

const char* GetTextNotation(Service::State::Type state);

// A Service over TCP/IPv4.
class ServiceNet : public Service {
public:
  explicit ServiceNet(bool log = true) : Service(log) {}
  const INet4::Addr& peer_address() const { return peerAddr_; }

protected:
  // Keepalive and no Nagle, then attach. Ignored (false) while Deactivating.
  bool Connected(const Fd& fd, const INet4::Addr& peer);

private:
  INet4::Addr peerAddr_;
};

}  // namespace Control
