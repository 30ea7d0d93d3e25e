#include "foundation/async.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/device_io.h"
#include "foundation/inet4_addr.h"

namespace ASync {

// ---- Copy

Copy::Copy()
    : bufsize_(0), error_(0), step_(&Copy::NotReady), handler_(nullptr), copied_(0), wpos_(nullptr),
      wend_(nullptr), status_(Status::NotStarted), buffer_(nullptr) {}

Copy::~Copy() {
  delete[] buffer_;
  delete handler_;
}

void Copy::Bind(Handler* handler) {
  if (handler == handler_)
    return;
  delete handler_;
  handler_ = handler;
}

void Copy::CheckBuffer() {
  if (buffer_)
    return;
  buffer_ = new unsigned char[DefaultBufferSize];
  bufsize_ = DefaultBufferSize;
}

void Copy::Start(const Fd& source, const Fd& destination) {
  status_ = Status::Copying;
  source_ = source;
  destination_ = destination;
  srcEvent_.Bind("Copy::OnSrcEvent", &Copy::OnSrcEvent, this);
  dstEvent_.Bind("Copy::OnDstEvent", &Copy::OnDstEvent, this);
  CheckBuffer();
  srcEvent_.Schedule(source_, 0);
  dstEvent_.Schedule(destination_, 0);
  error_ = 0;
  copied_ = 0;
  step_ = &Copy::SrcReady;
  Progress();
}

void Copy::Stop() {
  if (status_ != Status::Copying)
    return;
  GoFlush();
}

void Copy::set_events(const EventsParams& events) {
  events_ = events;
  Complete(Status::Reconfigured);
}

void Copy::set_bufsize(unsigned n) {
  delete[] buffer_;
  buffer_ = new unsigned char[n];
  bufsize_ = n;
  Complete(Status::Reconfigured);
}

void Copy::Progress() {
  while ((this->*step_)()) {
  }
}

void Copy::SetMasks(unsigned src, unsigned dst) {
  if (srcEvent_.fd() && srcEvent_.events() != static_cast<short>(src))
    srcEvent_.Schedule(srcEvent_.fd(), static_cast<short>(src));
  if (dstEvent_.fd() && dstEvent_.events() != static_cast<short>(dst))
    dstEvent_.Schedule(dstEvent_.fd(), static_cast<short>(dst));
}

bool Copy::SrcReady() {
  errno = 0;
  ssize_t n = DevIo::read(source_.get(), buffer_, bufsize_);
  if (n > 0) {
    wpos_ = buffer_;
    wend_ = buffer_ + n;
    GoWriting();
    return true;
  }
  if (n == 0)
    return GoFlush();
  if (errno == EAGAIN) {
    SetMasks(events_.src, 0);
    return false;
  }
  if (copied_ == 0) {
    Complete(Status::Error);
    return false;
  }
  return GoFlush();  // after data has flowed a failed read ends the source
}

bool Copy::DstReady() {
  ssize_t n = DevIo::write(destination_.get(), wpos_, static_cast<size_t>(wend_ - wpos_));
  if (n < 0 && errno == EAGAIN) {
    SetMasks(0, events_.dst);
    return false;
  }
  if (n <= 0) {
    error_ = n < 0 ? errno : 0;
    Complete(Status::Error);
    return false;
  }
  copied_ += static_cast<unsigned>(n);
  wpos_ += n;
  if (wpos_ < wend_)
    return true;
  if (status_ == Status::Draining)
    return GoFlushDst();
  GoReading();
  return true;
}

void Copy::GoWriting() {
  SetMasks(0, events_.dst);
  step_ = &Copy::DstReady;
}

void Copy::GoReading() {
  SetMasks(events_.src, 0);
  step_ = &Copy::SrcReady;
}

bool Copy::GoFlush() {
  srcEvent_.Release();
  source_.close();
  if (step_ == &Copy::DstReady) {
    status_ = Status::Draining;
    return true;
  }
  return GoFlushDst();
}

bool Copy::GoFlushDst() {
  if (events_.flush == 0) {
    Complete(Status::Done);
    return false;
  }
  SetMasks(0, events_.flush);
  step_ = &Copy::NotReady;
  status_ = Status::Flushing;
  return true;
}

void Copy::OnSrcEvent(int, short revents) {
  if (revents & srcEvent_.events()) {
    Progress();
  } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    srcEvent_.Release();
    Progress();
  }
}

void Copy::OnDstEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    error_ = 0;
    Complete(Status::Error);
  } else if ((status_ == Status::Copying || status_ == Status::Draining) && (revents & events_.dst)) {
    Progress();
  } else if (status_ == Status::Flushing && (revents & events_.flush)) {
    Complete(Status::Done);
  }
}

void Copy::Complete(Status::Type status) {
  if (!running())
    return;
  srcEvent_.Release();
  dstEvent_.Release();
  status_ = status;
  source_.close();
  destination_.close();
  step_ = &Copy::NotReady;
  if (handler_)
    handler_->Invoke(status);
}

// ---- Connect

Connect::Connect() : status_(Status::NotStarted), handler_(nullptr) {}

Connect::~Connect() {
  delete handler_;
  timer_.reset();
}

void Connect::Bind(Handler* handler) {
  if (handler == handler_)
    return;
  delete handler_;
  handler_ = handler;
}

void Connect::Start(const std::string& address, unsigned timeoutMs) {
  // A new attempt drops whatever an unfinished one held.
  event_.Release();
  timer_.reset();
  status_ = Status::InProgress;
  socket_.reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket_ || !socket_.NonBlock()) {
    Complete(Status::Failed);
    return;
  }
  INet4::Addr peer;
  if (!peer.Assign(address)) {
    Complete(Status::Failed);  // never 0.0.0.0 for text that is not an address
    return;
  }
  const sockaddr_in& a = peer.sockaddr();
  if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
    Complete(Status::Connected);
    return;
  }
  if (errno != EINPROGRESS) {
    Complete(Status::Failed);
    return;
  }
  event_.Bind("Connect::OnSocketEvent", &Connect::OnSocketEvent, this);
  event_.Schedule(socket_, POLLOUT);
  timer_.set(timeoutMs, &Connect::OnTimeOut, this);
}

void Connect::Stop() { Complete(Status::Stopped); }

void Connect::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    Complete(Status::Failed);
    return;
  }
  if (!(revents & POLLOUT))
    return;
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
    Complete(Status::Failed);
  else
    Complete(Status::Connected);
}

void Connect::Complete(Status::Type status) {
  if (status_ != Status::InProgress)
    return;
  status_ = status;
  Fd connected;
  if (status == Status::Connected)
    connected.reset(socket_.dup());
  socket_.close();
  event_.Release();
  timer_.reset();
  if (handler_)
    handler_->Invoke(status, connected);
}

}  // namespace ASync
