#pragma once
// The control server on an ephemeral port with the heartbeat, the slot
// registry and a probe service bound in that order, a fake factory in the
// chain, the simulated board behind the TDM switch, the test clock, and a
// test controller connected over loopback TCP.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/slot_factory.h"
#include "core/slots.h"
#include "foundation/control_net.h"
#include "simboard/board.h"
#include "tests/core/control_fakes.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"
#include "tests/support/test_controller.h"

namespace control_test {

class ControlTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Services are bound once per process, as at start-up.
    static bool bound = false;
    if (!bound) {
      ctrlServer.Bind(&HeartBeatCtl::instance());
      ctrlServer.Bind(&Slots::instance());
      ctrlServer.Bind(&probe);
      bound = true;
    }
    probe.reset();
    acceptor = new Control::AcceptorNetCheckConnection(0, true);
    ASSERT_TRUE(ctrlServer.Activate(acceptor));
    ASSERT_TRUE(ctl.connect(acceptor->bound_port()));
    ASSERT_TRUE(runner.until([this] { return probe.connects > 0; }, 100));
    ctl.drain();
  }
  void TearDown() override {
    ctrlServer.Deactivate();
    firstFactory = nullptr;
  }

  // Runs the loop until n messages have come back; every message received.
  std::vector<std::string> replies(size_t n) {
    runner.until([&] { return ctl.poll() >= n; }, 100);
    return ctl.drain();
  }
  // A few turns, then every message received (none when nothing answers).
  std::vector<std::string> quiet() {
    runner.turn(5);
    return ctl.drain();
  }

  // Commands.
  void create(int seq, int slot, int tx, int rx) {
    ctl.command(seq, slot, [&](LGCP::Command& c) {
      LGCP::ExtParams& ext = c.select_create().select_ext();
      ext.set_transmitter(tx);
      ext.set_receiver(rx);
    });
  }
  void connect(int seq, int slot, unsigned receiver) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { c.select_connect().setValue(receiver); });
  }
  void simple(int seq, int slot, int alternative) {
    ctl.command(seq, slot, [&](LGCP::Command& c) {
      const ASN1::AbstractData::InfoType* info = c.info()->selectionInfos[alternative];
      c.setSelection(alternative, info->create(info));
    });
  }
  // Taken by the probe service.
  void display(int seq, int slot) {
    ctl.command(seq, slot, [](LGCP::Command& c) { c.select_display().select_snmpTrapReceivers(); });
  }
  // A factory constructed now (so asked before the older ones).
  FakeFactory& another(int g711 = 0) {
    extra.push_back(std::make_unique<FakeFactory>(&journal, g711));
    return *extra.back();
  }
  FakeSlot* slot(unsigned n) { return static_cast<FakeSlot*>(Slots::instance().slot(n)); }

  // One board for the process, like the switch object that opens it.
  static SimBoard::Board& shared_board() {
    static SimBoard::Board board;
    return board;
  }

  SimBoard::Board& board = shared_board();
  testing_support::LogCapture logs;
  testing_support::TestClock clock;
  testing_support::LoopRunner runner;
  Journal journal;
  FakeFactory factory{&journal};
  std::vector<std::unique_ptr<FakeFactory>> extra;
  ProbeService& probe = ProbeService::instance();
  Control::AcceptorNetCheckConnection* acceptor = nullptr;
  testing_support::TestController ctl;
};

}  // namespace control_test
