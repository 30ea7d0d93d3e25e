#include "core/startup.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <getopt.h>
#include <iostream>
#include <memory>

#include "core/ctrl_server.h"
#include "core/slots.h"
#include "core/traces.h"
#include "foundation/child_wait.h"
#include "foundation/control_net.h"
#include "foundation/daemon.h"
#include "foundation/dpc.h"
#include "foundation/ini_file.h"
#include "foundation/ipc_signal.h"
#include "foundation/multiplexer.h"
#include "foundation/paths.h"
#include "foundation/pid_file.h"
#include "foundation/regular_file.h"
#include "foundation/version.h"
#include "hardware/bus_ctl.h"
#include "hardware/hw_mux.h"

namespace {

const char* configFile = Paths::kConfigFile;
const char* cfgTraces = "traces";
int print_version = 0;
volatile sig_atomic_t doDumpStatus = 0;
volatile sig_atomic_t updateResources = 0;

const option long_options[] = {
    {"daemon", no_argument, nullptr, 'D'},
    {"disable-clock", no_argument, nullptr, 'c'},
    {"port", required_argument, nullptr, 'p'},
    {"version", no_argument, &print_version, 1},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

void usage() {
  std::cout << "Usage:\n"
               " nodalsrv -Dh\n"
               "  -D --daemon                      run as daemon\n"
               "  -p --port                        use this port\n"
               "     --disable-clock               disable clock control\n"
               "     --version                     print version\n"
               "  -h --help                        display this information\n"
            << std::endl;
}

// A port is a whole decimal number from 1 to 65535, digits only; anything
// else is refused (port 0 would be an ephemeral port no controller knows).
bool parsePort(const char* text, int& port) {
  if (!text || !isdigit(static_cast<unsigned char>(*text)))
    return false;
  errno = 0;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > 65535)
    return false;
  port = static_cast<int>(value);
  return true;
}

void SigPipeHandler(int, siginfo_t*, void*) {}
void SigTermHandler(int, siginfo_t*, void*) { multiplexer.terminate(); }
void SigUsr2Handler(int, siginfo_t*, void*) { doDumpStatus = 1; }
void SigHupHandler(int, siginfo_t*, void*) { updateResources = 1; }

void RunDaemon() {
  Daemon::Params params;
  params.name = Daemon::Identity();
  Daemon::Init(params);
}

}  // namespace

void CheckDumpStatus() {
  if (!doDumpStatus)
    return;
  doDumpStatus = 0;
  Fd fd = OpenRegularFile(Paths::resolve(Paths::kStatusFile), O_WRONLY | O_CREAT | O_TRUNC);
  if (!fd) {
    std::cerr << "dump status error" << std::endl;
    return;
  }
  __gnu_cxx::stdio_filebuf<char> file(fd.release(), std::ios::out | std::ios::trunc);
  std::ostream out(&file);
  out << "server status information." << std::endl;
  out << "version : " << Version::current << std::endl;
  multiplexer.dump(out);
}

void CheckUpdateResources() {
  if (!updateResources)
    return;
  updateResources = 0;
  std::clog << "update hardware resources" << std::endl;
  Slots::instance().UpdateHardwareResources();
}

void CheckSignals() {
  CheckDumpStatus();
  CheckUpdateResources();
}

int nodalsrv_main(int argc, char** argv) {
  opterr = 1;
  optind = 1;
  int port = 20001;
  bool daemonFlag = false;

  IniFile::File file;
  if (file.Open(Paths::resolve(configFile))) {
    traces = TraceCtl();
    traces.Configure(file[cfgTraces]);
  }

  IPC::Signal::handle(SIGPIPE, SigPipeHandler, SA_RESTART);
  IPC::Signal::handle(SIGTERM, SigTermHandler, 0);
  IPC::Signal::handle(SIGINT, SigTermHandler, 0);
  IPC::Signal::handle(SIGUSR2, SigUsr2Handler, SA_RESTART);
  IPC::Signal::handle(SIGHUP, SigHupHandler, SA_RESTART);

  for (;;) {
    int c = getopt_long(argc, argv, "Dh", long_options, nullptr);
    if (c == -1)
      break;
    switch (c) {
    case 0:
      break;
    case 'D':
      daemonFlag = true;
      break;
    case 'c':
      BusCtl::instance()->DisableControl();
      break;
    case 'p':
      if (!parsePort(optarg, port)) {
        usage();
        return 2;
      }
      break;
    case 'h':
      usage();
      return 0;
    default:
      usage();
      return 2;
    }
  }

  if (print_version) {
    std::cout << "server version: " << Version::current << std::endl;
    return 2;
  }

  ConstructSlotFactories();
  HwMux::instance();
  CtrlSrv::Service* monitoring = ConfigureMonitoring(file);
  if (daemonFlag)
    RunDaemon();
  Linux::Run pidFile("server");
  std::cout << "Starting server [" << Version::current << "], port=" << port << std::endl;

  BindControlServices(monitoring);

  ChildWait::Activate();
  Dpc signals;
  signals.Bind(new DpcHandler1(&CheckSignals));
  signals.Activate();

  ctrlServer.Activate(new Control::AcceptorNetCheckConnection(port));
  multiplexer.run(true, true);

  ctrlServer.Deactivate();
  signals.Deactivate();
  signals.Bind(nullptr);
  return 0;
}
