#pragma once
// Daemon mode: detach from the terminal and route the three standard
// streams, whose choice is the level of a message (cout notice, cerr error,
// clog debug), to the log.
#include <string>

class LogFileStreamBuf;

namespace Daemon {

struct Params {
  // 0: the syslog client; 1: hourly log files; other: streams unchanged.
  int mode = 0;
  // Keep the working directory (daemon(3)'s nochdir).
  bool nochdir = false;
  // The syslog identity in mode 0, the log directory in mode 1.
  std::string name = "unknown";
};

// The daemon's syslog identity: "nds-" followed by the build's version text.
std::string Identity();

// Detaches and routes the streams; runs once per process, later calls do
// nothing. Exits with status 2 when the process cannot detach.
void Init(const Params& params);

class Sentry {
public:
  explicit Sentry(const Params& params);
  ~Sentry();
  Sentry(const Sentry&) = delete;
  Sentry& operator=(const Sentry&) = delete;

private:
  int mode_;
  LogFileStreamBuf* logFile_;
};

}  // namespace Daemon
