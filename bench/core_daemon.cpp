// The real daemon process against the simulated board (nodalsrv-sim):
// time from process start to a served controller; ping round trips per
// second from one controller against a bare TPKT echo server in another
// process, taken turn about in one run, and their ratio; the daemon's own
// cost of one ping in this process; RTP slots created and destroyed per
// second; the processor time of an idle daemon; resident memory when idle,
// with every trunk slot created and with 1024 RTP slots; ping, creation
// time and idle processor time with 1024 radio slots of each kind.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <numeric>
#include <sstream>
#include <string>
#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/controller_bench.h"
#include "core/ctrl_server.h"
#include "core/startup.h"
#include "foundation/control_net.h"
#include "foundation/control_unix.h"
#include "foundation/multiplexer.h"
#include "hardware/hw_mux.h"
#include "messages/TERM/TERM.h"
#include "simboard/board.h"
#include "tests/support/sim_daemon.h"
#include "tests/support/test_controller.h"
#include "tests/support/tpkt_client.h"

namespace {

double residentKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 6, "VmRSS:") == 0)
      return std::atof(line.c_str() + 6);
  return 0;
}

sockaddr_in loopback(unsigned short port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

// A listening loopback socket on a port of the system's choice.
int listener(unsigned short& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(0);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    abort();
  port = ntohs(a.sin_port);
  return fd;
}

// Processor time (user and system) of a process so far, in seconds.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i == 14 || i == 15)
      ticks += std::atof(field.c_str());
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// nodalsrv-sim in a root of its own, with the controller that drives it.
class BenchDaemon {
public:
  // With a controller: served once its first unsolicited trunk status has
  // come. Without: the caller connects its own.
  explicit BenchDaemon(bool controller = true) {
    if (!controller)
      return;
    up_ = attach();
    startSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  bool up() const { return up_; }
  // The controller has a ping answered, which also takes what is left
  // unread before it. A controller that was silent for the daemon's
  // heartbeat (120 s) has been dropped: it is attached again.
  bool served();
  pid_t pid() const { return daemon_.pid; }
  int port() const { return daemon_.port; }
  double start_seconds() const { return startSeconds_; }
  testing_support::TestController& ctl() { return ctl_; }

private:
  bool attach() {
    if (!daemon_.attach(ctl_))
      return false;
    ctl_.payloads().clear();
    return true;
  }

  // Taken before the daemon's process is started.
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  testing_support::SimDaemon daemon_;
  bool up_ = false;
  double startSeconds_ = 0;
  testing_support::TestController ctl_;
};

// The far end of a TPKT connection at its leanest: blocking sends and
// reads, whole frames split out of what arrives. The same client measures
// the echo server and the daemon.
class FrameClient {
public:
  ~FrameClient() { close(); }
  bool connect(int port) {
    sockaddr_in a = loopback(static_cast<unsigned short>(port));
    if (!open(AF_INET, reinterpret_cast<sockaddr*>(&a), sizeof a))
      return false;
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
  }
  bool connect(const std::string& path) {
    sockaddr_un a;
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    return open(AF_UNIX, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  void close() {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
    buffer_.clear();
  }
  bool send(const std::string& frame) {
    return ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
  }
  // The next whole frame; empty when the connection ends or 5 s pass.
  std::string next() {
    for (;;) {
      if (buffer_.size() >= 4) {
        size_t length = (static_cast<unsigned char>(buffer_[2]) << 8) | static_cast<unsigned char>(buffer_[3]);
        if (length >= 4 && buffer_.size() >= length) {
          std::string frame = buffer_.substr(0, length);
          buffer_.erase(0, length);
          return frame;
        }
      }
      char chunk[4096];
      ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0)
        return std::string();
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  // Sends the frame and reads until the answer comes (other frames, the
  // daemon's unsolicited signals, are passed over).
  bool round_trip(const std::string& frame, const std::string& answer) {
    if (!send(frame))
      return false;
    for (std::string got = next(); !got.empty(); got = next())
      if (got == answer)
        return true;
    return false;
  }

private:
  bool open(int family, const sockaddr* to, socklen_t length) {
    close();
    fd_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd_, to, length) != 0)
      return false;
    timeval limit = {5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return true;
  }

  int fd_ = -1;
  std::string buffer_;
};

// A bare TPKT echo server in a process of its own: one connection, every
// whole frame written back as soon as it is read, blocking reads and writes.
class EchoServer {
public:
  EchoServer() {
    unsigned short port = 0;
    int listening = listener(port);
    port_ = port;
    pid_ = fork();
    if (pid_ == 0) {
      int fd = accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
      int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      std::string buffer;
      char chunk[4096];
      for (ssize_t n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        buffer.append(chunk, static_cast<size_t>(n));
        size_t whole = 0;
        while (buffer.size() - whole >= 4) {
          size_t length = (static_cast<unsigned char>(buffer[whole + 2]) << 8) |
                          static_cast<unsigned char>(buffer[whole + 3]);
          if (length < 4 || buffer.size() - whole < length)
            break;
          whole += length;
        }
        if (whole && ::send(fd, buffer.data(), whole, MSG_NOSIGNAL) != static_cast<ssize_t>(whole))
          break;
        buffer.erase(0, whole);
      }
      _exit(0);
    }
    ::close(listening);
  }
  ~EchoServer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// Where the processes run: this process on one CPU and the servers on
// another (the same one when equal); -1 for wherever the system puts them.
void Place(int clientCpu, int serverCpu, std::initializer_list<pid_t> servers) {
  auto only = [](int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0; c < CPU_SETSIZE; ++c)
      if (cpu < 0 || c == cpu)
        CPU_SET(c, &set);
    return set;
  };
  cpu_set_t client = only(clientCpu), server = only(serverCpu);
  for (pid_t pid : servers)
    sched_setaffinity(pid, sizeof server, &server);
  sched_setaffinity(0, sizeof client, &client);
}

// A controller ping without seq or slot, and its answer, as frames.
std::string pingFrame() {
  LGCP::Message ping;
  ping.mutable_pdu().select_command().select_ping();
  return testing_support::tpkt_frame(bench_support::encoded(ping));
}
std::string successFrame() { return testing_support::tpkt_frame(bench_support::success()); }

// Connects as the controller and waits until the daemon serves it (its
// first trunk status); the daemon closes a connection at once while it
// still tears down an earlier one, so this retries.
bool attachController(FrameClient& client, int port) {
  for (int i = 0; i < 1000; ++i) {
    if (client.connect(port) && !client.next().empty())
      return true;
    usleep(5000);
  }
  return false;
}

// Round trips to the echo server and to the daemon by turns, one of each
// an iteration, so that both see the same load of the machine. Rates from
// the total times; the ratio is the echo's median round trip over the
// daemon's (medians, since other processes stall single trips).
//
// Where the servers run decides much of a round trip on a virtual machine:
// a wake-up on another processor costs tens of microseconds, one on the
// client's own far less, and the system settles each server on one or the
// other by chance. So the servers are placed alike: Arg 1, the client and
// both servers on one processor (the round trip is then the processing
// and the switches between the three); Arg 2, the client on one processor
// and both servers on another (as a controller on another core would
// see it); Arg 0, where the system puts them (the ratio then varies from
// run to run with the placement).
void BM_PingAgainstEcho(benchmark::State& state) {
  static EchoServer echo;
  static BenchDaemon d(false);
  static FrameClient toEcho, toDaemon;
  static bool up = toEcho.connect(echo.port()) && attachController(toDaemon, d.port());
  if (!up) {
    state.SkipWithError("the echo server or nodalsrv-sim did not serve");
    return;
  }
  int cpu = sched_getcpu(), other = (cpu + 1) % static_cast<int>(std::thread::hardware_concurrency());
  if (state.range(0) == 1)
    Place(cpu, cpu, {echo.pid(), d.pid()});
  else if (state.range(0) == 2)
    Place(cpu, other, {echo.pid(), d.pid()});
  const std::string ping = pingFrame(), success = successFrame();
  std::vector<double> echoTrips, pingTrips;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    bool echoed = toEcho.round_trip(ping, ping);
    auto t1 = std::chrono::steady_clock::now();
    bool answered = toDaemon.round_trip(ping, success);
    auto t2 = std::chrono::steady_clock::now();
    if (!echoed || !answered) {
      state.SkipWithError(echoed ? "no answer" : "no echo");
      break;
    }
    echoTrips.push_back(std::chrono::duration<double>(t1 - t0).count());
    pingTrips.push_back(std::chrono::duration<double>(t2 - t1).count());
    state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
  }
  Place(-1, -1, {echo.pid(), d.pid()});
  if (state.error_occurred())
    return;
  auto total = [](const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0); };
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  state.counters["echo/s"] = static_cast<double>(echoTrips.size()) / total(echoTrips);
  state.counters["pings/s"] = static_cast<double>(pingTrips.size()) / total(pingTrips);
  state.counters["echo_us"] = 1e6 * median(echoTrips);
  state.counters["ping_us"] = 1e6 * median(pingTrips);
  state.counters["ratio_%"] = 100.0 * median(echoTrips) / median(pingTrips);
}
BENCHMARK(BM_PingAgainstEcho)->Arg(1)->Arg(2)->Arg(0)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The daemon's own work for one ping, in this process on its loop: the
// simulated board, the switch and the board services as at start-up, the
// controller on a Unix stream socket (cheaper than loopback TCP, which
// both round trips above pay alike). Each iteration writes a ping, runs
// one loop turn (deferred calls with the switch refresh, poll, read, TPKT,
// decode, dispatch, encode, TPKT, write) and reads the answer.
struct InProcessDaemon {
  InProcessDaemon() : path("/tmp/nodalsrv-bench-" + std::to_string(getpid()) + ".sock") {
    board.log().set_capacity(0);  // as in nodalsrv-sim
    HwMux::instance();
    BindControlServices(nullptr);
    ctrlServer.Activate(new Control::AcceptorUnix(path));
    multiplexer.run_begin(false, true);
    client.connect(path);
    for (int i = 0; i < 100 && !connected(); ++i)
      multiplexer.run_turn();
  }
  ~InProcessDaemon() {
    ctrlServer.Deactivate();
    multiplexer.run_end();
    unlink(path.c_str());
  }
  bool connected() const { return ctrlServer.connection()->state() == Control::Service::State::Connected; }
  std::string path;
  SimBoard::Board board;
  FrameClient client;
};

void BM_PingInProcess(benchmark::State& state) {
  static InProcessDaemon d;
  if (!d.connected()) {
    state.SkipWithError("the controller was not accepted");
    return;
  }
  const std::string ping = pingFrame(), success = successFrame();
  for (auto _ : state) {
    d.client.send(ping);
    multiplexer.run_turn();
    std::string got = d.client.next();
    while (!got.empty() && got != success)
      got = d.client.next();
    if (got.empty()) {
      state.SkipWithError("no answer");
      break;
    }
  }
}
BENCHMARK(BM_PingInProcess);

// Reads until the response with this seq (-1: one without) has come;
// signals and other answers in between are dropped. False when none came
// or it was an error.
bool awaitResponse(testing_support::TestController& ctl, int seq) {
  for (;;) {
    if (!ctl.wait(1, 5000))
      return false;
    std::string payload = ctl.payloads().front();
    ctl.payloads().pop_front();
    LGCP::Message msg;
    if (testing_support::TestController::decode(payload, msg) && msg.get_pdu().is_response() &&
        (seq < 0 ? !msg.has_seq() : msg.has_seq() && static_cast<int>(msg.get_seq().getValue()) == seq))
      return msg.get_pdu().get_response().is_success();
  }
}

// A ping answered with success; its round trip in seconds.
bool ping(testing_support::TestController& ctl, double& seconds) {
  LGCP::Message msg;
  msg.mutable_pdu().select_command().select_ping();
  auto t0 = std::chrono::steady_clock::now();
  bool answered = ctl.send(msg) && awaitResponse(ctl, -1);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return answered;
}

bool ping(testing_support::TestController& ctl) {
  double seconds;
  return ping(ctl, seconds);
}

bool BenchDaemon::served() {
  return up_ && (ping(ctl_) || (attach() && ping(ctl_)));
}

// The daemon that the ping and RTP create benchmarks share, its controller
// served; null, with the error reported, when it is not.
BenchDaemon* sharedDaemon(benchmark::State& state) {
  static BenchDaemon d;
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return nullptr;
  }
  if (!d.served()) {
    state.SkipWithError("nodalsrv-sim did not serve");
    return nullptr;
  }
  return &d;
}

// A G.711 session to 127.0.0.1 on the given RTP port.
void createRtp(testing_support::TestController& ctl, int seq, int slot, unsigned port) {
  ctl.command(seq, slot, [&](LGCP::Command& c) {
    LGCP::CreateRtpParams& p = c.select_create().select_rtp();
    p.mutable_codecRTP().set_payload(TERM::Payload::ptG711_Alaw);
    p.mutable_codecRTP().mutable_dhost().set_iaddr("127.0.0.1");
    p.mutable_codecRTP().mutable_dhost().set_port(port);
    p.set_txPayload(TERM::Payload::ptG711_Alaw);
    p.set_rxPayload(TERM::Payload::ptG711_Alaw);
  });
}

void BM_DaemonPing(benchmark::State& state) {
  BenchDaemon* d = sharedDaemon(state);
  if (!d)
    return;
  LGCP::Message ping;
  ping.mutable_pdu().select_command().select_ping();
  testing_support::TestController& ctl = d->ctl();
  size_t answers = 0;
  for (auto _ : state) {
    ctl.send(ping);
    if (!awaitResponse(ctl, -1)) {
      state.SkipWithError("no answer");
      break;
    }
    ++answers;
  }
  if (state.error_occurred())
    return;
  state.counters["pings/s"] = benchmark::Counter(static_cast<double>(answers), benchmark::Counter::kIsRate);
  state.counters["start_s"] = d->start_seconds();
  state.counters["idle_KiB"] = residentKiB(d->pid());
}
BENCHMARK(BM_DaemonPing)->UseRealTime();

// One RTP slot created (a driver session, its RTCP socket, the source
// description sent) and destroyed (the release sequence, the goodbye) per
// iteration, each waited for.
void BM_DaemonRtpCreateDestroy(benchmark::State& state) {
  BenchDaemon* d = sharedDaemon(state);
  if (!d)
    return;
  testing_support::TestController& ctl = d->ctl();
  int seq = 1;
  size_t cycles = 0;
  for (auto _ : state) {
    createRtp(ctl, seq, 1000, 40000);
    ctl.command(seq + 1, 1000, [](LGCP::Command& c) { c.select_destroy(); });
    if (!awaitResponse(ctl, seq) || !awaitResponse(ctl, seq + 1)) {
      state.SkipWithError("a create or destroy failed");
      break;
    }
    seq += 2;
    ++cycles;
  }
  if (state.error_occurred())
    return;
  state.counters["slots/s"] = benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DaemonRtpCreateDestroy)->UseRealTime();

// The processor time a daemon takes with nothing to do over 20 s: first
// without a controller, then with one connected that sends nothing (the
// daemon then polls the trunks every second). A ping answered afterwards
// shows the daemon was serving all along.
void BM_DaemonIdle(benchmark::State& state) {
  constexpr int Seconds = 20;
  for (auto _ : state) {
    BenchDaemon d(false);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // start-up
    double before = cpuSeconds(d.pid());
    std::this_thread::sleep_for(std::chrono::seconds(Seconds));
    double alone = cpuSeconds(d.pid()) - before;
    FrameClient controller;
    if (!attachController(controller, d.port())) {
      state.SkipWithError("nodalsrv-sim did not serve");
      break;
    }
    before = cpuSeconds(d.pid());
    std::this_thread::sleep_for(std::chrono::seconds(Seconds));
    double connected = cpuSeconds(d.pid()) - before;
    if (!controller.round_trip(pingFrame(), successFrame())) {
      state.SkipWithError("nodalsrv-sim stopped serving");
      break;
    }
    state.counters["idle_cpu_%"] = 100.0 * alone / Seconds;
    state.counters["connected_cpu_%"] = 100.0 * connected / Seconds;
  }
}
BENCHMARK(BM_DaemonIdle)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// Every E1 and BRI trunk slot there is (160) in a daemon of the run's own,
// each create answered with success, then the resident size.
void BM_DaemonWithTrunkSlots(benchmark::State& state) {
  BenchDaemon d;
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return;
  }
  testing_support::TestController& ctl = d.ctl();
  for (auto _ : state) {
    int slot = 0;
    for (unsigned trunk = 0; trunk < 4; ++trunk)
      for (unsigned ts = 0; ts < 32; ++ts, ++slot)
        ctl.command(slot + 1, slot, [&](LGCP::Command& c) {
          LGCP::TrunkParams& t = c.select_create().select_trunk();
          t.set_trunk(trunk);
          t.set_timeslot(ts);
        });
    for (unsigned trunk = 0; trunk < 8; ++trunk)
      for (unsigned ts = 0; ts < 4; ++ts, ++slot)
        ctl.command(slot + 1, slot, [&](LGCP::Command& c) {
          LGCP::TrunkParams& t = c.select_create().select_trunk_bri();
          t.set_trunk(trunk);
          t.set_timeslot(ts);
        });
    // The answers come in order, each followed by the slot's stream
    // signals; the ping's answer comes after the last of those.
    bool created = true;
    for (int n = 0; n < slot && created; ++n)
      created = awaitResponse(ctl, n + 1);
    if (!created || !ping(ctl)) {
      state.SkipWithError(created ? "a ping went unanswered" : "a create failed");
      break;
    }
    state.counters["slots"] = slot;
    state.counters["rss_KiB"] = residentKiB(d.pid());
  }
}
BENCHMARK(BM_DaemonWithTrunkSlots)->Iterations(1)->UseRealTime();

// Every slot number holds an RTP slot, in a daemon of the run's own, then
// the resident size.
void BM_DaemonWithRtpSlots(benchmark::State& state) {
  constexpr int Slots = 1024;
  BenchDaemon d;
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return;
  }
  testing_support::TestController& ctl = d.ctl();
  for (auto _ : state) {
    for (int slot = 0; slot < Slots; ++slot)
      createRtp(ctl, 5000 + slot, slot, 10000u + 2u * static_cast<unsigned>(slot));
    bool created = true;
    for (int slot = 0; slot < Slots && created; ++slot)
      created = awaitResponse(ctl, 5000 + slot);
    if (!created || !ping(ctl)) {
      state.SkipWithError(created ? "a ping went unanswered" : "a create failed");
      break;
    }
    state.counters["rss_KiB"] = residentKiB(d.pid());
  }
}
BENCHMARK(BM_DaemonWithRtpSlots)->Iterations(1)->UseRealTime();

// Radio slots of one kind (Arg 0: ED-137, Arg 1: LEMZ, each with its own
// extension session) in every slot number of a fresh daemon, created one
// after the other, each create waited for. Reported: the time to create
// them, the median ping round trip before and after, and the processor
// time of the daemon over 10 s with all of them idle (the radios' own
// status packets and the ED-137 loss reports go on), after which a ping
// must still be answered.
double pingMedian(testing_support::TestController& ctl, int count) {
  std::vector<double> trips;
  for (int i = 0; i < count; ++i) {
    double trip = 0;
    if (!ping(ctl, trip))
      return -1;
    trips.push_back(trip);
  }
  std::nth_element(trips.begin(), trips.begin() + count / 2, trips.end());
  return trips[static_cast<size_t>(count / 2)];
}

void BM_DaemonWithRadioSlots(benchmark::State& state) {
  constexpr int Slots = 1024, Pings = 200, Seconds = 10;
  const bool lemz = state.range(0) == 1;
  for (auto _ : state) {
    BenchDaemon d;
    testing_support::TestController& ctl = d.ctl();
    if (!d.up()) {
      state.SkipWithError("nodalsrv-sim did not start");
      break;
    }
    double before = pingMedian(ctl, Pings);
    auto t0 = std::chrono::steady_clock::now();
    bool created = true;
    for (int slot = 0; slot < Slots && created; ++slot) {
      ctl.command(slot + 1, slot, [&](LGCP::Command& c) {
        LGCP::CreateRtpParams& p = c.select_create().select_rtp();
        TERM::RtpParams& rtp = p.mutable_codecRTP();
        rtp.set_payload(TERM::Payload::ptG711_Alaw);
        rtp.mutable_dhost().set_iaddr("127.0.0.1");
        rtp.mutable_dhost().set_port(20000u + 2u * static_cast<unsigned>(slot));
        if (lemz) {
          rtp.mutable_radio().mutable_status().select_lemz().mutable_flags().set_prio(3);
        } else {
          TERM::ED137RadioHeader& h = rtp.mutable_radio().mutable_status().select_ed_137().mutable_header();
          h.set_ptt(TERM::ED137RadioPTT::ptt_off);
          h.set_squ(TERM::ED137RadioSQU::squ_off);
        }
        p.set_txPayload(TERM::Payload::ptG711_Alaw);
        p.set_rxPayload(TERM::Payload::ptG711_Alaw);
      });
      created = awaitResponse(ctl, slot + 1);
    }
    if (!created) {
      state.SkipWithError("a create failed");
      break;
    }
    double create = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double after = pingMedian(ctl, Pings);
    double cpu0 = cpuSeconds(d.pid());
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
         std::chrono::steady_clock::now() < end;) {
      ctl.wait(1, 100);  // the signals the radios bring, read and dropped
      ctl.payloads().clear();
    }
    double idle = cpuSeconds(d.pid()) - cpu0;
    if (before < 0 || after < 0 || !ping(ctl)) {
      state.SkipWithError("a ping went unanswered");
      break;
    }
    state.counters["create_s"] = create;
    state.counters["ping_us_none"] = 1e6 * before;
    state.counters["ping_us_slots"] = 1e6 * after;
    state.counters["idle_cpu_%"] = 100.0 * idle / Seconds;
  }
}
BENCHMARK(BM_DaemonWithRadioSlots)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
