#include "foundation/tpkt_tracer.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include "foundation/inet4_addr.h"

TPKTTracer::TPKTTracer() : receiver_(nullptr), current_(connections_.end()) {
  listen_.Bind("TPKTTracer::OnEvent", &TPKTTracer::OnEvent, this);
}

TPKTTracer::~TPKTTracer() {
  for (Connection* c : connections_)
    delete c;
}

bool TPKTTracer::Listen(unsigned short port) {
  Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!s)
    return false;
  sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(port);
  if (bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s.get(), 1) != 0 || !s.NonBlock())
    return false;
  listen_.Schedule(s, POLLIN);
  return true;
}

unsigned short TPKTTracer::port() const {
  sockaddr_in a;
  socklen_t len = sizeof a;
  if (!listen_.fd() || getsockname(listen_.fd().get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return 0;
  return ntohs(a.sin_port);
}

void TPKTTracer::OnEvent(int fd, short revents) {
  if (!(revents & POLLIN))
    return;
  for (;;) {
    INet4::Addr peer;
    socklen_t len = sizeof(sockaddr_in);
    Fd s(accept4(fd, reinterpret_cast<sockaddr*>(&peer.sockaddr()), &len, SOCK_CLOEXEC));
    if (!s)
      return;
    std::clog << "ACP connection open from " << peer << std::endl;
    s.NonBlock();
    Connection* c = new Connection;
    c->event.Bind("TPKTTracer::OnDataEvent", &TPKTTracer::OnDataEvent, this);
    c->event.Schedule(s, POLLIN);
    connections_.push_back(c);
  }
}

void TPKTTracer::OnDataEvent(int fd, short revents) {
  Position at = connections_.begin();
  while (at != connections_.end() && (*at)->event.fd().get() != fd)
    ++at;
  if (at == connections_.end())
    return;
  if (revents & (POLLERR | POLLHUP)) {
    Close(at);
    return;
  }
  if (!(revents & POLLIN))
    return;
  current_ = at;
  while (Receive(at)) {
  }
  current_ = connections_.end();
}

bool TPKTTracer::Receive(Position at) {
  Connection* c = *at;
  ssize_t n = recv(c->event.fd().get(), c->buffer + c->received, c->expected - c->received, MSG_NOSIGNAL);
  if (n < 0 && errno == EINTR)
    return true;
  if (n < 0 && errno == EAGAIN)
    return false;
  if (n <= 0) {
    Close(at);
    return false;
  }
  c->received += static_cast<unsigned>(n);
  if (c->received < c->expected)
    return true;
  c->received = 0;
  if (c->readingHeader) {
    unsigned length = (static_cast<unsigned>(c->buffer[2]) << 8) | c->buffer[3];
    if (c->buffer[0] != 0x03 || c->buffer[1] != 0x00 || length < 4 || length - 4 > MaxPayload) {
      Close(at);
      return false;
    }
    if (length > 4) {  // an empty payload waits for the next header
      c->readingHeader = false;
      c->expected = length - 4;
    }
    return true;
  }
  if (receiver_)
    receiver_->OnTrace(c->buffer, c->expected);
  if (current_ == connections_.end())
    return false;  // closed by a Send from the receiver
  c->readingHeader = true;
  c->expected = 4;
  return true;
}

void TPKTTracer::Send(const void* data, unsigned length) {
  if (length > 65535 - 4)
    return;  // the length field cannot carry it
  unsigned total = length + 4;
  unsigned char header[4] = {0x03, 0x00, static_cast<unsigned char>(total >> 8), static_cast<unsigned char>(total)};
  if (current_ != connections_.end()) {
    SendTo(current_, header, data, length);
    return;
  }
  for (Position at = connections_.begin(); at != connections_.end();) {
    Position next = std::next(at);
    SendTo(at, header, data, length);
    at = next;
  }
}

bool TPKTTracer::SendTo(Position at, const unsigned char* header, const void* data, unsigned length) {
  iovec parts[2] = {{const_cast<unsigned char*>(header), 4}, {const_cast<void*>(data), length}};
  msghdr msg;
  memset(&msg, 0, sizeof msg);
  msg.msg_iov = parts;
  msg.msg_iovlen = 2;
  ssize_t n;
  do
    n = sendmsg((*at)->event.fd().get(), &msg, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  if (n < static_cast<ssize_t>(length + 4)) {
    Close(at);
    return false;
  }
  return true;
}

void TPKTTracer::Close(Position at) {
  if (at == current_)
    current_ = connections_.end();
  delete *at;
  connections_.erase(at);
}
