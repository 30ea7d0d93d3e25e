// The real daemon process against the simulated board (nodalsrv-sim, found
// beside the bench directory): time from process start to a served
// controller, ping round trips per second from one controller, RTP slots
// created and destroyed per second, and resident memory when idle, with
// every trunk slot created and with 1024 RTP slots.
#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "messages/TERM/TERM.h"
#include "tests/support/test_controller.h"

namespace {

std::string simPath() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/')) + "/../nodalsrv-sim";
}

double residentKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, 6, "VmRSS:") == 0)
      return std::atof(line.c_str() + 6);
  return 0;
}

class SimDaemon {
public:
  SimDaemon() {
    char tmpl[] = "/tmp/nodalsrv-bench-XXXXXX";
    root_ = mkdtemp(tmpl);
    port_ = 20000 + static_cast<int>(getpid() % 20000);
    auto start = std::chrono::steady_clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      setenv("NODALSRV_SIM_ROOT", root_.c_str(), 1);
      if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
        _exit(127);
      std::string sim = simPath(), port = std::to_string(port_);
      execl(sim.c_str(), sim.c_str(), "--port", port.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    // Served once the first unsolicited trunk status arrives.
    for (int i = 0; i < 1000 && !up_; ++i) {
      ctl_.close();
      up_ = ctl_.connect(static_cast<unsigned short>(port_)) && ctl_.wait(1, 3000);
      if (!up_)
        usleep(5000);
    }
    startSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ctl_.payloads().clear();
  }
  ~SimDaemon() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    std::system(("rm -rf " + root_).c_str());
  }

  bool up() const { return up_; }
  pid_t pid() const { return pid_; }
  double start_seconds() const { return startSeconds_; }
  testing_support::TestController& ctl() { return ctl_; }

private:
  std::string root_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool up_ = false;
  double startSeconds_ = 0;
  testing_support::TestController ctl_;
};

SimDaemon& daemon() {
  static SimDaemon d;
  return d;
}

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
  SimDaemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return;
  }
  LGCP::Message ping;
  ping.mutable_pdu().select_command().select_ping();
  testing_support::TestController& ctl = d.ctl();
  size_t answers = 0;
  for (auto _ : state) {
    ctl.send(ping);
    if (!awaitResponse(ctl, -1)) {
      state.SkipWithError("no answer");
      return;
    }
    ++answers;
  }
  state.counters["pings/s"] = benchmark::Counter(static_cast<double>(answers), benchmark::Counter::kIsRate);
  state.counters["start_s"] = d.start_seconds();
  state.counters["idle_KiB"] = residentKiB(d.pid());
}
BENCHMARK(BM_DaemonPing)->UseRealTime();

// One RTP slot created (a driver session, its RTCP socket, the source
// description sent) and destroyed (the release sequence, the goodbye) per
// iteration, each waited for.
void BM_DaemonRtpCreateDestroy(benchmark::State& state) {
  SimDaemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return;
  }
  testing_support::TestController& ctl = d.ctl();
  int seq = 1;
  size_t cycles = 0;
  for (auto _ : state) {
    createRtp(ctl, seq, 1000, 40000);
    ctl.command(seq + 1, 1000, [](LGCP::Command& c) { c.select_destroy(); });
    if (!awaitResponse(ctl, seq) || !awaitResponse(ctl, seq + 1)) {
      state.SkipWithError("no answer");
      return;
    }
    seq += 2;
    ++cycles;
  }
  state.counters["slots/s"] = benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DaemonRtpCreateDestroy)->UseRealTime();

// Every E1 and BRI trunk slot there is (160), then the resident size.
void BM_DaemonWithTrunkSlots(benchmark::State& state) {
  SimDaemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return;
  }
  testing_support::TestController& ctl = d.ctl();
  for (auto _ : state) {
    int slot = 0;
    for (unsigned trunk = 0; trunk < 4; ++trunk)
      for (unsigned ts = 0; ts < 32; ++ts, ++slot)
        ctl.command(slot, slot, [&](LGCP::Command& c) {
          LGCP::TrunkParams& t = c.select_create().select_trunk();
          t.set_trunk(trunk);
          t.set_timeslot(ts);
        });
    for (unsigned trunk = 0; trunk < 8; ++trunk)
      for (unsigned ts = 0; ts < 4; ++ts, ++slot)
        ctl.command(slot, slot, [&](LGCP::Command& c) {
          LGCP::TrunkParams& t = c.select_create().select_trunk_bri();
          t.set_trunk(trunk);
          t.set_timeslot(ts);
        });
    // Each create brings its answer and two stream signals.
    while (ctl.payloads().size() < 3u * static_cast<unsigned>(slot) && ctl.wait(ctl.payloads().size() + 1, 5000)) {
    }
    ctl.payloads().clear();
    state.counters["slots"] = slot;
    state.counters["rss_KiB"] = residentKiB(d.pid());
  }
}
BENCHMARK(BM_DaemonWithTrunkSlots)->Iterations(1)->UseRealTime();

// Every slot number holds an RTP slot (the trunk slots created before are
// replaced), then the resident size.
void BM_DaemonWithRtpSlots(benchmark::State& state) {
  SimDaemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("nodalsrv-sim did not start");
    return;
  }
  testing_support::TestController& ctl = d.ctl();
  constexpr int Slots = 1024;
  for (auto _ : state) {
    for (int slot = 0; slot < Slots; ++slot)
      createRtp(ctl, 5000 + slot, slot, 10000u + 2u * static_cast<unsigned>(slot));
    for (int slot = 0; slot < Slots; ++slot)
      if (!awaitResponse(ctl, 5000 + slot)) {
        state.SkipWithError("a create failed");
        return;
      }
    state.counters["rss_KiB"] = residentKiB(d.pid());
  }
}
BENCHMARK(BM_DaemonWithRtpSlots)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
