#pragma once
// Drives the global loop turn by turn from a test.
#include <functional>
#include <memory>

namespace testing_support {

class LoopRunner {
public:
  // Starts the loop (no watchdog unless asked, live clock). With keepAlive
  // an unnamed handler on a descriptor that never becomes ready stays
  // attached, so a turn without timers is not taken for a hang.
  explicit LoopRunner(bool watchdog = false, bool keepAlive = true);
  ~LoopRunner();  // ends the run (writes "STOP" when a watchdog is open)
  LoopRunner(const LoopRunner&) = delete;
  LoopRunner& operator=(const LoopRunner&) = delete;

  void turn(int turns = 1);
  // Runs turns until pred() holds or maxTurns have run; returns pred().
  bool until(const std::function<bool()>& pred, int maxTurns = 10000);
  void stop();

private:
  class KeepAlive;
  std::unique_ptr<KeepAlive> keepAlive_;
  bool ended_;
};

}  // namespace testing_support
