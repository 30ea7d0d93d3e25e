#pragma once
// The control core's test bench (server, registry, simulated board, test
// clock and controller) with helpers for the real slot factories: commands
// filled by a lambda and a look at the simulated switch.
#include <string>
#include <vector>

#include "messages/TERM/TERM.h"
#include "simboard/hal.h"
#include "tests/core/control_fixture.h"

namespace slot_test {

class SlotTest : public control_test::ControlTest {
protected:
  // The fake factory takes every `ext` create: it takes none here.
  void SetUp() override {
    ControlTest::SetUp();
    factory.accept = false;
  }

  template <class Fill>
  void send(int seq, int slot, Fill fill) {
    ctl.command(seq, slot, fill);
  }
  template <class Fill>
  void create(int seq, int slot, Fill fill) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { fill(c.select_create()); });
  }
  void destroy(int seq, int slot) { simple(seq, slot, LGCP::Command::alt_destroy); }
  void activate(int seq, int slot) {
    send(seq, slot, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  }

  // Runs the loop until n messages have come and describes them with
  // their details (TestController::describe_details).
  std::vector<std::string> messages(size_t n, int maxTurns = 100) {
    runner.until([&] { return ctl.poll() >= n; }, maxTurns);
    return ctl.drain(true);
  }

  // Whether the loop waits when idle: the clock jumps to the next timer
  // only when no descriptor is ready.
  bool idles() {
    uint64_t before = clock.now_ms();
    runner.turn(2);
    return clock.now_ms() > before;
  }

  // The state of a switch output: "connected 69", "constant 213", "disabled"
  // or "untouched".
  std::string output(int channel) {
    SimBoard::Hal::Output o = board.hal().output(channel);
    switch (o.kind) {
    case SimBoard::Hal::Kind::Connected: return "connected " + std::to_string(o.source);
    case SimBoard::Hal::Kind::Constant: return "constant " + std::to_string(o.byte);
    case SimBoard::Hal::Kind::Disabled: return "disabled";
    default: return "untouched";
    }
  }
};

}  // namespace slot_test
