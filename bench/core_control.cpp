// Controller commands per second over loopback TCP through the whole path
// (TPKT, decode, dispatch, encode, send), against a plain TPKT echo over the
// same kind of connection as the ceiling. The daemon's loop runs on its own
// thread; the benchmark thread is the controller, blocking on its socket.
#include <benchmark/benchmark.h>

#include "bench/control_thread.h"
#include "bench/controller_bench.h"
#include "tests/core/control_fakes.h"
#include "tests/support/test_controller.h"

namespace {

constexpr int WaitMs = 5000;

// Sends every payload straight back.
class Echo : public Control::Notify {
public:
  explicit Echo(Control::Service* connection) : connection_(connection) {}
  void OnConnect() override {}
  void OnDisconnect() override {}
  void OnMessage(char const* data, int length) override { connection_->Send(data, length); }

private:
  Control::Service* connection_;
};

// The daemon side: the control server with the heartbeat, the registry and
// a fake factory, and the echo acceptor, on the loop of a thread of its own.
class Daemon {
public:
  Daemon()
      : loop_([this](bench_support::ControlThread& loop) {
          control_test::FakeFactory factory;
          Control::AcceptorNetCheckConnection echoAcceptor(0, false);
          Echo echo(&echoAcceptor);
          echoAcceptor.Bind(&echo);
          echoAcceptor.Activate();
          echoPort_ = echoAcceptor.bound_port();
          loop.serve([&] { echoAcceptor.Deactivate(); });
        }) {
    controller_.connect(loop_.port());
    echo_.connect(echoPort_);
  }
  ~Daemon() {
    loop_.request_stop();
    controller_.close();  // wakes the loop
    echo_.close();
    loop_.join();
  }

  testing_support::TestController& controller() { return controller_; }
  testing_support::TpktClient& echo() { return echo_; }

private:
  unsigned short echoPort_ = 0;
  bench_support::ControlThread loop_;
  testing_support::TestController controller_;
  testing_support::TpktClient echo_;
};

Daemon& server() {
  static Daemon d;
  return d;
}

using bench_support::rate;
using bench_support::received;
using bench_support::success;

// The ceiling: a ping-sized payload framed, sent, echoed and read back.
void BM_TpktEcho(benchmark::State& state) {
  testing_support::TpktClient& client = server().echo();
  const std::string payload("\x06\x00", 2);
  const std::vector<bench_support::Expected> echo{{payload, 1}};
  for (auto _ : state) {
    client.send_payload(payload);
    if (!received(client, echo, WaitMs)) {
      state.SkipWithError("no echo");
      break;
    }
  }
  rate(state, 1, "msgs/s");
}
BENCHMARK(BM_TpktEcho)->UseRealTime();

void BM_Ping(benchmark::State& state) { bench_support::ping(state, server().controller(), WaitMs, "msgs/s"); }
BENCHMARK(BM_Ping)->UseRealTime();

// Two commands an iteration, each answered with success; the destroy
// brings the removal report (seq 0) too.
void BM_CreateDestroy(benchmark::State& state) {
  testing_support::TestController& ctl = server().controller();
  LGCP::Message create;
  create.set_seq(1);
  create.set_slot(7);
  LGCP::ExtParams& ext = create.mutable_pdu().select_command().select_create().select_ext();
  ext.set_transmitter(1);
  ext.set_receiver(8200);
  LGCP::Message destroy;
  destroy.set_seq(2);
  destroy.set_slot(7);
  destroy.mutable_pdu().select_command().select_destroy();
  const std::vector<bench_support::Expected> created{{success(1, 7), 1}};
  const std::vector<bench_support::Expected> destroyed{{success(0, 7), 1}, {success(2, 7), 1}};
  for (auto _ : state) {
    ctl.send(create);
    bool answered = received(ctl, created, WaitMs);
    ctl.send(destroy);
    if (!answered || !received(ctl, destroyed, WaitMs)) {
      state.SkipWithError("a create or destroy failed");
      break;
    }
  }
  rate(state, 2, "msgs/s");
}
BENCHMARK(BM_CreateDestroy)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
