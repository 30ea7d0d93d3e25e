#pragma once
// One nodalsrv-sim process for end-to-end tests, with its own root
// directory, driven by a test controller over TCP. Header only: the test
// that includes it links `messages` and `simboard` (the readers of the
// board's files) and defines NODALSRV_SIM, the path of the executable. Another program (the daemon itself, for what it does
// without a board) may be run the same way.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "simboard/record_file.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_controller.h"

namespace testing_support {

constexpr int SimWait = 10000;  // real ms the daemon gets for any one step

// A loopback port nobody uses. With `hold`, the port stays taken while
// hold is open: by a socket bound to it with SO_REUSEADDR, as a daemon binds
// its own, but not listening. A daemon may then bind and listen on it, and
// the system gives it to no other socket meanwhile (a test run side by side
// would otherwise be given the port that the daemon has yet to bind).
inline int freePort(Fd* hold = nullptr) {
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int on = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len);
  if (hold)
    hold->reset(fd.release());
  return ntohs(a.sin_port);
}

// The modem authentication relay listens on a port of its own too, so
// that daemons of tests run side by side do not meet on one port.
class SimDaemon {
public:
  // With a configuration text, the daemon reads it as its configuration
  // file; `prepare` is given the root to lay out before the daemon starts.
  explicit SimDaemon(std::vector<std::string> args = {}, const std::string& config = "",
                     const char* program = NODALSRV_SIM,
                     const std::function<void(const std::string&)>& prepare = {}) {
    char tmpl[] = "/tmp/nodalsrv-e2e-XXXXXX";
    root = mkdtemp(tmpl);
    port = freePort(&portHold_);
    if (!config.empty()) {
      std::system(("mkdir -p " + root + "/usr/local/etc").c_str());
      std::ofstream(root + "/usr/local/etc/server.conf") << config;
    }
    if (prepare)
      prepare(root);
    authPort = freePort(&authPortHold_);
    if (args.empty())
      args = {"--port", std::to_string(port)};
    pid = fork();
    if (pid == 0) {
      setenv("NODALSRV_SIM_ROOT", root.c_str(), 1);
      setenv("NODALSRV_SIM_AUTH_PORT", std::to_string(authPort).c_str(), 1);
      int out = open((root + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open((root + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(program)};
      for (std::string& a : args)
        argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(program, argv.data());
      _exit(127);
    }
  }
  ~SimDaemon() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (getenv("KEEP_E2E"))
      return;
    std::system(("rm -rf " + root + " " + root + ".out " + root + ".err").c_str());
  }
  SimDaemon(const SimDaemon&) = delete;
  SimDaemon& operator=(const SimDaemon&) = delete;

  // Exit status once the process has ended by itself; -2 when it is still
  // running after a generous wait (it is then ended), so that a daemon that
  // wrongly starts fails the test instead of hanging it.
  int exit_status() {
    int status = 0;
    for (int i = 0; i < 2000 && waitpid(pid, &status, WNOHANG) == 0; ++i)
      usleep(10000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
      return -2;
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Connects a controller and waits until the daemon serves it (its first
  // trunk status arrives); retries while the daemon starts up or still
  // tears down a previous controller (it closes such a connection at once).
  bool attach(TestController& ctl) {
    for (int i = 0; i < SimWait / 10; ++i) {
      ctl.close();
      if (ctl.connect(static_cast<unsigned short>(port)) && ctl.wait(1, 3000))
        return true;
      usleep(10000);
    }
    return false;
  }

  // Waits (in real time) until the file holds the text.
  bool eventually(const std::string& file, const std::string& text) { return waitFor(file, text, readFile); }
  // The same for the board's files (see nodalsrv-sim): the last snapshot of
  // "/sim/switch" or "/sim/leds", where the text must start a line (output
  // 31's "31 disabled" is not output 8131's), and every line so far of
  // "/sim/watchdog" or "/sim/rtp_ext".
  bool shows(const std::string& file, const std::string& text) {
    return waitFor(file, "\n" + text, [](const std::string& path) { return "\n" + SimBoard::read_snapshot(path); });
  }
  bool logged(const std::string& file, const std::string& text) { return waitFor(file, text, SimBoard::read_lines); }

  // Hands lines to the board's control file (see nodalsrv-sim) once the
  // board has taken what was handed before. The board takes the file by
  // renaming it, so it is written aside and renamed in place whole.
  void control(const std::string& lines) {
    std::string path = root + "/sim/control";
    for (int i = 0; i < SimWait / 10 && access(path.c_str(), F_OK) == 0; ++i)
      usleep(10000);
    std::ofstream(path + ".new") << lines;
    rename((path + ".new").c_str(), path.c_str());
  }

  std::string out() const { return readFile(root + ".out"); }
  std::string err() const { return readFile(root + ".err"); }

  std::string root;
  int port = 0;
  int authPort = 0;
  pid_t pid = -1;

private:
  template <class Read>
  bool waitFor(const std::string& file, const std::string& text, Read read) {
    for (int i = 0; i < SimWait / 10; ++i) {
      if (read(root + file).find(text) != std::string::npos)
        return true;
      usleep(10000);
    }
    return false;
  }

  Fd portHold_, authPortHold_;  // the ports, kept for the daemon
};

// Collects n replies (described with details when asked), leaving out the
// trunk status the E1 service sends on its own every second, the power
// status every connection gets, and the lines that hold `skip` when given.
inline std::vector<std::string> exchange(TestController& ctl, size_t n, bool details = false,
                                         const char* skip = nullptr) {
  std::vector<std::string> lines;
  for (int i = 0; i < SimWait / 10 && lines.size() < n; ++i) {
    ctl.wait(1, 10);
    for (std::string& line : ctl.drain(details))
      if (line != "signal trunkStatus" && line != "signal power" && !(skip && line.find(skip) != std::string::npos))
        lines.push_back(line);
  }
  return lines;
}

}  // namespace testing_support
