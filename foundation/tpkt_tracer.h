#pragma once
// A diagnostic TPKT listener: any number of clients connect to a TCP port
// and exchange TPKT frames with it. Each payload received goes to one
// receiver; Send goes to every client (or, from inside the receiver, to
// the client being served). A client's protocol or socket fault closes
// only that client.
#include <list>

#include "foundation/event.h"

class TPKTTracer {
public:
  static constexpr unsigned MaxPayload = 512;

  class Receiver {
  public:
    virtual ~Receiver() = default;
    virtual void OnTrace(const void* data, unsigned length) = 0;
  };

  TPKTTracer();
  ~TPKTTracer();
  TPKTTracer(const TPKTTracer&) = delete;
  TPKTTracer& operator=(const TPKTTracer&) = delete;

  void SetReceiver(Receiver* receiver) { receiver_ = receiver; }
  bool Listen(unsigned short port);
  // A payload over 65531 octets, which no frame can carry, is not sent.
  void Send(const void* data, unsigned length);

  // The port listened on (0 when not listening).
  unsigned short port() const;
  size_t clients() const { return connections_.size(); }

private:
  struct Connection {
    bool readingHeader = true;
    unsigned expected = 4;
    unsigned received = 0;
    Event event;
    unsigned char buffer[MaxPayload];
  };
  typedef std::list<Connection*>::iterator Position;

  void OnEvent(int fd, short revents);
  void OnDataEvent(int fd, short revents);
  // False when the connection was closed.
  bool Receive(Position at);
  bool SendTo(Position at, const unsigned char* header, const void* data, unsigned length);
  void Close(Position at);

  Receiver* receiver_;
  Event listen_;
  std::list<Connection*> connections_;
  Position current_;
};
