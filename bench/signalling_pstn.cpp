// The userData path of an SS7 PSTN slot, against controller pings in the
// same run: a controller command becomes an MSU on the line, the far end
// answers with an MSU, which comes back to the controller as a userData
// signal. The daemon's loop, with the simulated board, runs on a thread of
// its own; the benchmark thread is the controller and the line's far end
// (an MTP2 peer that aligns and answers each MSU with one of its own).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "asn1/coder_env.h"
#include "bench/control_thread.h"
#include "bench/controller_bench.h"
#include "signalling/pstn_slot.h"
#include "simboard/board.h"
#include "simboard/mcc.h"
#include "tests/support/test_controller.h"

namespace {

constexpr int WaitMs = 5000;

// E1 trunk 0 time slots for `trunk` creates.
class LineSlot : public Slot {
public:
  explicit LineSlot(int timeslot) : timeslot_(timeslot) {}
  int GetTrunk() override { return 0; }
  int GetTrunkTimeSlot() override { return timeslot_; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot_; }
  int IGetReceiveChannel() override { return timeslot_; }
  char const* GetName() const override { return "line"; }

private:
  int timeslot_;
};

class LineFactory : public SlotFactory {
public:
  char const* GetName() const override { return "lines"; }
  Slot* INewSlot(LGCP::CreateParams const& p) override {
    return p.is_trunk() ? new LineSlot(p.get_trunk().get_timeslot().getValue()) : nullptr;
  }
  void Query(LGCP::Resources&) override {}
};

// The far end of the line: one signal unit per read and write.
class Peer {
public:
  void set_line(int fd) { fd_ = fd; }
  // The next signal unit, -1 when none came in time.
  int next(unsigned char* su, size_t size) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, WaitMs) != 1)
      return -1;
    return static_cast<int>(::recv(fd_, su, size, 0));
  }
  void send(std::initializer_list<unsigned char> su) { send(std::vector<unsigned char>(su)); }
  void send(const std::vector<unsigned char>& su) { ::send(fd_, su.data(), su.size(), 0); }
  // Aligns with the link (which proves in emergency): SIO, SIN, then a
  // FISU ends proving.
  bool align() {
    unsigned char su[300];
    send({0xFF, 0xFF, 0x01, 0x00});
    send({0xFF, 0xFF, 0x01, 0x01});
    send({0xFF, 0xFF, 0x00});
    for (int n; (n = next(su, sizeof su)) >= 0;)
      if (n == 3)
        return true;  // the link's FISU: in service
    return false;
  }
  // Answers the link's next MSU with one of its own carrying the payload.
  bool answer() {
    unsigned char su[300];
    for (int n; (n = next(su, sizeof su)) >= 0;) {
      if (n <= 5)
        continue;  // FISUs
      std::vector<unsigned char> msu(su, su + n);
      msu[0] = static_cast<unsigned char>(0x80 | (su[1] & 0x7F));  // acknowledges it
      fsn_ = (fsn_ + 1) & 0x7F;
      msu[1] = static_cast<unsigned char>(0x80 | fsn_);
      send(msu);
      return true;
    }
    return false;
  }

private:
  int fd_ = -1;
  unsigned fsn_ = 127;
};

class Daemon {
public:
  Daemon()
      : loop_([this](bench_support::ControlThread& loop) {
          SimBoard::Board board;
          board.mcc().on_allocate([this](SimBoard::MccChannel& ch) { line_ = ch.line().release(); });
          LineFactory lines;
          PstnFactory pstn;
          loop.serve();
        }) {
    ctl_.connect(loop_.port());
    ctl_.command(1, 1, [](LGCP::Command& c) {
      LGCP::TrunkParams& t = c.select_create().select_trunk();
      t.set_trunk(0);
      t.set_timeslot(16);
    });
    ctl_.command(2, 2, [](LGCP::Command& c) {
      LGCP::SS7Params& s = c.select_create().select_pstn().select_ss7();
      s.set_trunk(1);
      s.set_slc(0);
      s.set_dpc(2);
      s.set_opc(1);
      s.set_emergency(true);
    });
    ctl_.command(3, 1, [](LGCP::Command& c) { c.select_connect().setValue(2); });
    for (int i = 0; i < WaitMs && line_ < 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    peer_.set_line(line_);
    up_ = line_ >= 0 && peer_.align() && ctl_.wait(6, WaitMs);  // answers, streams, activated
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::string> lines = ctl_.drain();
    for (const char* answer : {"seq=1 slot=1 success", "seq=2 slot=2 success", "seq=3 slot=1 success"})
      up_ = up_ && std::find(lines.begin(), lines.end(), answer) != lines.end();
  }
  ~Daemon() {
    loop_.request_stop();
    ctl_.close();  // wakes the loop
    loop_.join();
  }

  bool up() const { return up_; }
  testing_support::TestController& ctl() { return ctl_; }
  Peer& peer() { return peer_; }

private:
  std::atomic<int> line_{-1};
  bool up_ = false;
  Peer peer_;
  bench_support::ControlThread loop_;
  testing_support::TestController ctl_;
};

Daemon& daemon() {
  static Daemon d;
  return d;
}

// The link's statistics, which the slot reports on its own every few
// seconds.
bool linkStatistics(const std::string& payload) {
  LGCP::Message msg;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!env.decode(payload.data(), payload.data() + payload.size(), msg, true) || !msg.get_pdu().is_signal())
    return false;
  const LGCP::Signal& sig = msg.get_pdu().get_signal();
  return sig.is_ioctl() && (sig.get_ioctl().is_ss7LinkInfo() || sig.get_ioctl().is_hdlcLinkInfo());
}

void BM_Ping(benchmark::State& state) { bench_support::ping(state, daemon().ctl(), WaitMs, "pings/s", linkStatistics); }
BENCHMARK(BM_Ping)->UseRealTime();

// A burst of userData commands (20-octet MSUs), each an MSU on the line
// that the far end answers with the same octets; every command's success
// and every answering MSU's userData signal reach the controller.
void BM_UserDataRoundTrip(benchmark::State& state) {
  Daemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("link not in service");
    return;
  }
  size_t burst = static_cast<size_t>(state.range(0));
  LGCP::Message data;
  data.set_slot(2);
  std::vector<char> msu(20, 0x11);
  msu[0] = static_cast<char>(0x83);
  data.mutable_pdu().select_command().select_userData() = msu;
  LGCP::Message up;
  up.set_slot(2);
  up.mutable_pdu().select_signal().select_userData() = msu;
  const std::vector<bench_support::Expected> back{{bench_support::success(-1, 2), burst},
                                                  {bench_support::encoded(up), burst}};
  for (auto _ : state) {
    for (size_t i = 0; i < burst; ++i)
      d.ctl().send(data);
    bool answered = true;
    for (size_t i = 0; i < burst && answered; ++i)
      answered = d.peer().answer();
    if (!answered) {
      state.SkipWithError("no MSU on the line");
      break;
    }
    if (!bench_support::received(d.ctl(), back, WaitMs, linkStatistics)) {
      state.SkipWithError("lost or changed on the way back");
      break;
    }
  }
  bench_support::rate(state, burst, "round trips/s");
}
BENCHMARK(BM_UserDataRoundTrip)->Arg(1)->Arg(32)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
