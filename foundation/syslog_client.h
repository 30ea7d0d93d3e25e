#pragma once
// The daemon's own syslog client. Records are formatted like BSD syslog
// ("<PRI>Mmm dd hh:mm:ss ident[pid]: text", each ended by a zero byte) into
// fixed buffers, queued, and sent together: one sendmsg() carries every
// record of a batch (at most 256) to the local socket "/dev/log". Sending
// never waits: while the socket is full the batch is kept, records that do
// not fit are dropped and counted, and the first record logged after the
// socket took a batch again is followed by one that tells the count.
#include <cstdarg>
#include <string>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>

class SysLogManager {
public:
  static constexpr unsigned kLineSize = 1024;
  static constexpr unsigned kBatchSize = 16384;
  static constexpr int kMaxRecords = 256;
  // A batch is sent as soon as it holds this many bytes.
  static constexpr unsigned kSendThreshold = 12289;

  SysLogManager();
  ~SysLogManager();
  SysLogManager(const SysLogManager&) = delete;
  SysLogManager& operator=(const SysLogManager&) = delete;

  // ident: the identity (null keeps it); option: LOG_PID, LOG_CONS,
  // LOG_NDELAY, LOG_PERROR; facility: the default one (0 keeps it).
  void openlog(const char* ident, int option, int facility) { openlog_internal(ident, option, facility); }
  void closelog();
  void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Sends the queued batch: the system call's result, 0 when nothing was
  // queued or the socket is full (the batch is kept). A failed send loses
  // the batch and closes the socket, so that the next record reconnects.
  int sendmsg();

  void openlog_internal(const char* ident, int option, int facility);
  void closelog_internal();
  void syslog_internal(int priority, const char* format, va_list args);
  // Queues one record (its zero byte included); sends when the batch is full.
  int sendmsg_internal(const void* record, unsigned length);

  int socket() const { return sock_; }
  int socket_type() const { return sockType_; }
  bool connected() const { return connected_ != 0; }
  const std::string& ident() const { return ident_; }
  int queued() const { return count_; }
  unsigned dropped() const { return dropped_ + droppedToTell_; }  // not yet told

private:
  void log_line(int priority, const char* format, va_list args);
  bool fits(unsigned length) const;
  int send_batch();

  int sockType_;
  int sock_;
  int connected_;
  int options_;
  std::string ident_;
  int facility_;
  int mask_;
  sockaddr_un addr_;
  char line_[kLineSize];
  char batch_[kBatchSize];
  unsigned batchBytes_;
  msghdr header_;
  iovec records_[kMaxRecords];
  int count_;
  unsigned dropped_;        // records dropped while the socket is full
  unsigned droppedToTell_;  // dropped before the last batch that went out
};

extern SysLogManager syslogManager;
