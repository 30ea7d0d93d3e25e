#pragma once
// The board services bound to the control server in start-up order
// (HwTests, BusCtl, E1Ctl, spiCtrl), then a watcher service that records
// the signals the others send; the simulated board, the test clock and a
// test controller over loopback TCP. Signals are described with their
// contents ("trunkStatus 2 ais slips=1 bf=0 carrier=0 ais=0 rai=0 e1",
// "cas 2/5 rx=9 tx=13"); other messages as the test controller does. The
// clock moves only when a test moves it.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/ctrl_server.h"
#include "core/ctrl_service.h"
#include "foundation/control_net.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "messages/ACP/ACP.h"
#include "simboard/board.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"
#include "tests/support/test_controller.h"

namespace services_test {

inline std::string Describe(const LGCP::Signal& s) {
  std::ostringstream text;
  if (s.is_trunkStatus()) {
    const ACP::TrunkStatus& t = s.get_trunkStatus();
    const char* state = t.get_state().getName();
    text << "trunkStatus " << t.get_trunk().getValue() << " " << (state ? state : "?")
         << " slips=" << t.get_slips().getValue() << " bf=" << t.get_lossBF().getValue()
         << " carrier=" << t.get_lossCarrier().getValue() << " ais=" << t.get_lossAIS().getValue()
         << " rai=" << t.get_lossRAI().getValue() << " " << t.get_type().getName();
  } else if (s.is_cas()) {
    const LGCP::CasSignalling& c = s.get_cas();
    text << "cas " << c.get_channel().get_path().getValue() << "/" << c.get_channel().get_timeslot().getValue()
         << " rx=" << c.get_rx().getValue() << " tx=" << c.get_tx().getValue();
  } else {
    text << (s.getSelectionName() ? s.getSelectionName() : "?");
  }
  return text.str();
}

// Bound last: sees every signal the board services send.
class Watcher : public CtrlSrv::Service {
public:
  static Watcher& instance() {
    static Watcher watcher;
    return watcher;
  }
  void OnConnect() override { ++connects; }
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command&) override { return false; }
  void OnSignal(const LGCP::Signal& sig) override { signals.push_back(Describe(sig)); }

  int connects = 0;
  std::vector<std::string> signals;
};

class ServicesTest : public ::testing::Test {
protected:
  // setup: the board as the services find it when they start on it.
  explicit ServicesTest(const std::function<void(SimBoard::Board&)>& setup = nullptr) : board(setup) {}

  void SetUp() override {
    Watcher::instance().connects = 0;
    Watcher::instance().signals.clear();
    // Time moves only when a test moves it: the once-a-second polls stay
    // out of the exchanges that are not about them.
    clock.set_auto_advance(false);
    clock.set_real_wait(2);
    // Bound once per process, as at start-up; spiCtrl initialises its
    // channels when it is first asked for.
    static bool bound = false;
    if (!bound) {
      ctrlServer.Bind(HwTests::instance());
      ctrlServer.Bind(BusCtl::instance());
      ctrlServer.Bind(E1Ctl::instance());
      ctrlServer.Bind(spiCtrl::instance());
      ctrlServer.Bind(&Watcher::instance());
      bound = true;
    }
  }
  void TearDown() override { ctrlServer.Deactivate(); }

  // The controller connects; the services have heard OnConnect.
  void Connect() {
    int before = Watcher::instance().connects;
    acceptor = new Control::AcceptorNetCheckConnection(0, false);
    ASSERT_TRUE(ctrlServer.Activate(acceptor));
    ASSERT_TRUE(ctl.connect(acceptor->bound_port()));
    ASSERT_TRUE(runner.until([&] { return Watcher::instance().connects > before; }, 100));
  }
  void Disconnect() {
    ctrlServer.Deactivate();
    acceptor = nullptr;
  }

  // Every message received so far, after a few turns.
  std::vector<std::string> Received(int turns = 5) {
    runner.turn(turns);
    ctl.poll();
    std::vector<std::string> lines;
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      if (!testing_support::TestController::decode(payload, msg))
        lines.push_back("undecodable");
      else if (msg.get_pdu().is_signal())
        lines.push_back(Describe(msg.get_pdu().get_signal()));
      else
        lines.push_back(testing_support::TestController::describe(msg));
    }
    ctl.payloads().clear();
    return lines;
  }
  // Moves the clock on and lets the due timers fire; every message received.
  std::vector<std::string> After(uint64_t ms) {
    clock.advance(ms);
    return Received();
  }
  // Runs until `count` messages have come, then returns them all.
  std::vector<std::string> Await(size_t count) {
    runner.until([&] { return ctl.poll() >= count; }, 1000);
    return Received(1);
  }

  testing_support::LogCapture logs;  // first: the services' start on the board shows
  SimBoard::Board board;
  testing_support::TestClock clock;
  testing_support::LoopRunner runner;
  Control::AcceptorNetCheckConnection* acceptor = nullptr;
  testing_support::TestController ctl;
};

}  // namespace services_test
