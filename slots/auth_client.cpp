#include "slots/auth_client.h"

#include <cerrno>
#include <unistd.h>

#include "slots/modem_factory.h"

AuthClient::AuthClient(ModemFactory& factory, int fd, const INet4::Addr& peer)
    : fd_(fd), peer_(peer), usage_(0), fill_(0), end_(4), factory_(factory), session_(-1), hasSession_(false) {
  event_.Bind("AuthClient::OnSocketEvent", &AuthClient::OnSocketEvent, this);
}

AuthClient::~AuthClient() { OnDisconnect(); }

bool AuthClient::Activate() {
  event_.Schedule(fd_, POLLIN);
  return bool(event_.fd());
}

void AuthClient::OnDisconnect() {
  fd_.close();
  event_.Release();
}

void AuthClient::CheckDisconnect() {
  if (usage_ == 0 && !connected())
    factory_.OnAuthSocketDisconnect(this);  // deletes this client
}

void AuthClient::Release() {
  if (--usage_ == 0)
    CheckDisconnect();
}

void AuthClient::OnSocketEvent(int, short revents) {
  ++usage_;
  if (revents & (POLLERR | POLLHUP))
    OnDisconnect();
  else if (revents & POLLIN)
    Read();
  Release();
}

void AuthClient::Read() {
  while (connected()) {
    ssize_t n = ::read(fd_.get(), buffer_.bytes + fill_, end_ - fill_);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK)
        OnDisconnect();
      return;
    }
    if (n == 0) {
      OnDisconnect();
      return;
    }
    fill_ += static_cast<unsigned>(n);
    if (fill_ < end_)
      continue;
    const uint32_t size = buffer_.head.size;
    // A record must hold its whole header and fit the buffer.
    if (size < AuthRecordMin || size > AuthRecordMax) {
      OnDisconnect();
      return;
    }
    if (fill_ < size) {
      end_ = size;
      continue;
    }
    fill_ = 0;
    end_ = 4;
    session_ = static_cast<int>(buffer_.head.session);
    hasSession_ = true;
    factory_.OnAuth(&buffer_.head);
  }
}

bool AuthClient::Send(const attr* record) {
  ++usage_;
  const char* data = reinterpret_cast<const char*>(record);
  size_t left = record->size;
  while (connected() && left > 0) {
    ssize_t n = ::write(fd_.get(), data, left);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      OnDisconnect();
      break;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  Release();
  return left == 0;
}
