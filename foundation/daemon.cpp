#include "foundation/daemon.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <syslog.h>
#include <unistd.h>

#include "foundation/log_file_streambuf.h"
#include "foundation/syslog_client.h"
#include "foundation/syslog_streambuf.h"
#include "foundation/version.h"

namespace Daemon {

std::string Identity() { return std::string("nds-") + Version::current.tag; }

void Init(const Params& params) { static Sentry sentry(params); }

Sentry::Sentry(const Params& params) : mode_(params.mode), logFile_(nullptr) {
  if (::daemon(params.nochdir ? 1 : 0, 0) < 0) {
    std::cerr << "daemon() fail!" << std::endl;
    std::exit(2);
  }
  if (mode_ == 0) {
    // The identity stays valid for the life of the process.
    static char identity[80];
    std::strncpy(identity, params.name.c_str(), sizeof identity - 1);
    syslogManager.openlog(identity, LOG_NDELAY, 0);
    const int facility = LOG_DAEMON >> 3;
    // The buffers live until the process ends.
    std::cout.rdbuf(new ManagedSysLogStreamBuf(facility, LOG_NOTICE));
    std::cerr.rdbuf(new ManagedSysLogStreamBuf(facility, LOG_ERR));
    std::clog.rdbuf(new ManagedSysLogStreamBuf(facility, LOG_DEBUG));
    std::cin.tie(&std::cout);
    // Bytes written straight to descriptors 1 and 2, also by child
    // processes, reach the log socket as raw records.
    const int sock = syslogManager.socket();
    if (sock > 0) {
      ::dup2(sock, STDOUT_FILENO);
      ::dup2(sock, STDERR_FILENO);
    }
  } else if (mode_ == 1) {
    logFile_ = new LogFileStreamBuf(params.name);
    std::cout.rdbuf(logFile_);
    std::cerr.rdbuf(logFile_);
    std::clog.rdbuf(logFile_);
  }
}

Sentry::~Sentry() {
  if (mode_ != 1)
    return;
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  std::clog.rdbuf(nullptr);
  delete logFile_;
}

}  // namespace Daemon
