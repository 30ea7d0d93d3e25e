#include "tests/support/tpkt_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

std::string tpkt_frame(const std::string& payload) {
  size_t total = payload.size() + 4;
  std::string frame;
  frame.reserve(total);
  frame += '\x03';
  frame += '\x00';
  frame += static_cast<char>((total >> 8) & 0xff);
  frame += static_cast<char>(total & 0xff);
  frame += payload;
  return frame;
}

bool TpktClient::connect(unsigned short port) {
  close();
  Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (!s || ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    return false;
  int on = 1;
  setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  fd_.reset(s.release());
  return true;
}

void TpktClient::adopt(int fd) {
  close();
  fd_.reset(fd);
}

void TpktClient::close() {
  fd_.close();
  buffer_.clear();
  payloads_.clear();
  closed_ = false;
}

bool TpktClient::send_payload(const std::string& payload) { return send_raw(tpkt_frame(payload)); }

bool TpktClient::send_raw(const std::string& bytes) {
  size_t done = 0;
  while (fd_ && done < bytes.size()) {
    ssize_t n = ::send(fd_.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return fd_ && done == bytes.size();
}

bool TpktClient::read_some(int timeoutMs) {
  if (!fd_ || closed_)
    return false;
  pollfd p = {fd_.get(), POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0)
    return false;
  char chunk[65536];
  ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    closed_ = true;
    return false;
  }
  if (n < 0)
    return false;
  buffer_.append(chunk, static_cast<size_t>(n));
  split();
  return true;
}

void TpktClient::split() {
  while (buffer_.size() >= 4) {
    size_t total = (static_cast<unsigned char>(buffer_[2]) << 8) | static_cast<unsigned char>(buffer_[3]);
    if (buffer_[0] != '\x03' || total < 4) {  // not TPKT: keep the bytes as one payload
      payloads_.push_back(buffer_);
      buffer_.clear();
      return;
    }
    if (buffer_.size() < total)
      return;
    payloads_.push_back(buffer_.substr(4, total - 4));
    buffer_.erase(0, total);
  }
}

size_t TpktClient::poll() {
  while (read_some(0)) {
  }
  return payloads_.size();
}

bool TpktClient::wait(size_t count, int timeoutMs) {
  while (payloads_.size() < count)
    if (!read_some(timeoutMs))
      return false;
  return true;
}

}  // namespace testing_support
