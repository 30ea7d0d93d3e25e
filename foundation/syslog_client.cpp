#include "foundation/syslog_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include "foundation/mux_time.h"
#include "foundation/paths.h"

SysLogManager syslogManager;

namespace {

const char kDefaultIdent[] = "syslog-mv";

}  // namespace

SysLogManager::SysLogManager()
    : sockType_(SOCK_DGRAM),
      sock_(-1),
      connected_(0),
      options_(0),
      ident_(kDefaultIdent),
      facility_(LOG_USER),
      mask_(0xff),
      addr_(),
      line_(),
      batch_(),
      batchBytes_(0),
      header_(),
      records_(),
      count_(0), dropped_(0), droppedToTell_(0) {
  addr_.sun_family = AF_UNIX;
}

// Queued records are not sent at exit.
SysLogManager::~SysLogManager() = default;

void SysLogManager::closelog() {
  closelog_internal();
  ident_ = kDefaultIdent;
  sockType_ = SOCK_DGRAM;
  count_ = 0;
  batchBytes_ = 0;
  dropped_ = 0;
  droppedToTell_ = 0;
}

void SysLogManager::syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  syslog_internal(priority, format, args);
  va_end(args);
}

void SysLogManager::openlog_internal(const char* ident, int option, int facility) {
  if (ident)
    ident_ = ident;
  options_ = option;
  if (facility != 0 && (facility & ~LOG_FACMASK) == 0)
    facility_ = facility;

  // A server of the other socket type refuses the connect with EPROTOTYPE:
  // switch the type and try once more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (sock_ == -1) {
      std::memset(&addr_, 0, sizeof addr_);
      addr_.sun_family = AF_UNIX;
      const std::string path = Paths::resolve(Paths::kSyslogSocket);
      if (path.size() < sizeof addr_.sun_path)
        std::memcpy(addr_.sun_path, path.data(), path.size());
      if (options_ & LOG_NDELAY) {
        sock_ = ::socket(AF_UNIX, sockType_ | SOCK_CLOEXEC, 0);
        if (sock_ == -1)
          return;
      }
    }
    if (sock_ == -1 || connected_)
      return;
    if (::connect(sock_, reinterpret_cast<const sockaddr*>(&addr_), sizeof addr_) != -1) {
      connected_ = 1;
      return;
    }
    const int error = errno;
    ::close(sock_);
    sock_ = -1;
    if (error != EPROTOTYPE)
      return;
    sockType_ = sockType_ == SOCK_DGRAM ? SOCK_STREAM : SOCK_DGRAM;
  }
}

void SysLogManager::closelog_internal() {
  if (!connected_)
    return;
  ::close(sock_);
  sock_ = -1;
  connected_ = 0;
}

void SysLogManager::syslog_internal(int priority, const char* format, va_list args) {
  log_line(priority, format, args);
  if (droppedToTell_) {
    // The socket takes records again: the batch of this record says how
    // many it did not.
    unsigned dropped = droppedToTell_;
    droppedToTell_ = 0;
    int facility = (priority & LOG_FACMASK) ? (priority & LOG_FACMASK) : facility_;
    syslog(LOG_WARNING | facility, "syslog: %u records dropped, the log socket was full", dropped);
  }
}

void SysLogManager::log_line(int priority, const char* format, va_list args) {
  if (!(mask_ & LOG_MASK(LOG_PRI(priority))))
    return;
  if ((priority & LOG_FACMASK) == 0)
    priority |= facility_;

  std::memset(line_, 0, sizeof line_);
  const size_t room = sizeof line_ - 1;  // the last byte stays zero
  size_t length = 0;
  auto advance = [&](int written) {
    if (written > 0)
      length = std::min(room, length + static_cast<size_t>(written));
  };

  advance(std::snprintf(line_, room + 1, "<%d>", priority));
  time_t seconds = static_cast<time_t>(Mux::seconds());
  tm local;
  if (localtime_r(&seconds, &local))
    advance(static_cast<int>(std::strftime(line_ + length, room + 1 - length, "%h %e %T ", &local)));
  const size_t identStart = length;
  if (!ident_.empty())
    advance(std::snprintf(line_ + length, room + 1 - length, "%s", ident_.c_str()));
  if (options_ & LOG_PID)
    advance(std::snprintf(line_ + length, room + 1 - length, "[%d]", static_cast<int>(getpid())));
  if (!ident_.empty())
    advance(std::snprintf(line_ + length, room + 1 - length, ": "));
  advance(std::vsnprintf(line_ + length, room + 1 - length, format, args));

  if (options_ & LOG_PERROR) {
    iovec parts[2] = {{line_ + identStart, length - identStart}, {const_cast<char*>("\n"), 1}};
    const int count = (length > identStart && line_[length - 1] == '\n') ? 1 : 2;
    ssize_t written = ::writev(STDERR_FILENO, parts, count);
    static_cast<void>(written);
  }

  if (!connected_)
    openlog_internal(nullptr, options_ | LOG_NDELAY, 0);
  // The record with its terminating zero byte.
  if (connected_ && sendmsg_internal(line_, static_cast<unsigned>(length + 1)) >= 0)
    return;
  if (connected_) {
    closelog_internal();
    openlog_internal(nullptr, options_ | LOG_NDELAY, 0);
    if (connected_ && sendmsg_internal(line_, static_cast<unsigned>(length + 1)) >= 0)
      return;
  }
  closelog_internal();
  if (options_ & LOG_CONS) {
    int console = ::open(Paths::resolve(Paths::kConsole).c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (console >= 0) {
      dprintf(console, "%s\r\n", line_ + identStart);
      ::close(console);
    }
  }
}

bool SysLogManager::fits(unsigned length) const { return batchBytes_ + length < kBatchSize && count_ < kMaxRecords; }

int SysLogManager::sendmsg_internal(const void* record, unsigned length) {
  if (record && !fits(length)) {
    // The batch waits for room in the socket: try again, and drop the
    // record (counted) while the socket stays full.
    int sent = send_batch();
    if (sent < 0)
      return sent;
    if (!fits(length)) {
      ++dropped_;
      return 0;
    }
  }
  if (record) {
    char* copy = batch_ + batchBytes_;
    std::memcpy(copy, record, length);
    records_[count_].iov_base = copy;
    records_[count_].iov_len = length;
    batchBytes_ += length;
    ++count_;
    if (count_ < kMaxRecords && batchBytes_ < kSendThreshold)
      return 0;
  }
  return send_batch();
}

int SysLogManager::send_batch() {
  if (count_ == 0)
    return 0;
  ssize_t result = -1;
  if (sock_ >= 0) {
    std::memset(&header_, 0, sizeof header_);
    // A connected stream socket refuses an address: only datagrams carry it.
    if (sockType_ != SOCK_STREAM) {
      header_.msg_name = &addr_;
      header_.msg_namelen = sizeof addr_;
    }
    header_.msg_iov = records_;
    header_.msg_iovlen = static_cast<size_t>(count_);
    // Logging never blocks the daemon: a full socket keeps the batch.
    result = ::sendmsg(sock_, &header_, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      return 0;
  }
  if (result >= 0 && static_cast<unsigned>(result) < batchBytes_) {
    // A stream took part of it: the rest waits, as one piece.
    unsigned rest = batchBytes_ - static_cast<unsigned>(result);
    std::memmove(batch_, batch_ + result, rest);
    records_[0].iov_base = batch_;
    records_[0].iov_len = rest;
    count_ = 1;
    batchBytes_ = rest;
    return static_cast<int>(result);
  }
  count_ = 0;
  batchBytes_ = 0;
  if (result >= 0 && dropped_) {
    droppedToTell_ += dropped_;
    dropped_ = 0;
  }
  return static_cast<int>(result);
}

int SysLogManager::sendmsg() {
  int result = send_batch();
  if (result < 0)
    closelog_internal();
  return result;
}
