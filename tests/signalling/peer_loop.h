#pragma once
// Runs the loop on the real clock for tests against independent peers.
#include <chrono>
#include <functional>

#include "foundation/timer.h"
#include "tests/support/loop_runner.h"

namespace peer_test {

// Turns until pred holds or the seconds have passed. A 10 ms tick keeps
// every turn short, so the bound holds also when nothing else moves.
inline bool within(testing_support::LoopRunner& loop, int seconds, const std::function<bool()>& pred) {
  struct Tick {
    MemberTimer<Tick> timer{this, &Tick::fire};
    void fire() { timer.start(10); }
  } tick;
  tick.fire();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  loop.until([&] { return pred() || std::chrono::steady_clock::now() > deadline; }, 1 << 30);
  return pred();
}

}  // namespace peer_test
