#pragma once
// Stream buffers that turn every line written to a stream into one syslog
// record of a fixed priority. A partial line waits for its line end (or a
// full buffer); each flush sends what it completed.
#include <streambuf>

// Sends each line through the platform's syslog(3).
class SysLogStreamBuf : public std::streambuf {
public:
  // facility: a syslog facility code (0..23), priority: a severity (0..7).
  SysLogStreamBuf(int facility, int priority);
  ~SysLogStreamBuf() override;
  SysLogStreamBuf(const SysLogStreamBuf&) = delete;
  SysLogStreamBuf& operator=(const SysLogStreamBuf&) = delete;

  int pri() const { return pri_; }

protected:
  // Takes ownership of a buffer from new[]; its last byte is kept for the
  // terminating zero. Sizes below 2 are ignored.
  std::streambuf* setbuf(char* buffer, std::streamsize size) override;
  int sync() override;
  int overflow(int c) override;

  // One line, without its line end.
  virtual void log_line(const char* line);
  // After the lines of one flush.
  virtual void end_of_flush() {}

private:
  char* area_;
  int pri_;
};

// Hands each line to the daemon's syslog client, one batch per flush.
class ManagedSysLogStreamBuf : public SysLogStreamBuf {
public:
  static constexpr int kAreaSize = 16384;
  ManagedSysLogStreamBuf(int facility, int priority);

protected:
  void log_line(const char* line) override;
  void end_of_flush() override;
};
