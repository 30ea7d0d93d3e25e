#include "tests/support/loop_runner.h"

#include <fcntl.h>
#include <unistd.h>

#include "foundation/multiplexer.h"

namespace testing_support {

class LoopRunner::KeepAlive : public EventHandler {
public:
  KeepAlive() {
    if (pipe2(fds_, O_CLOEXEC) == 0)
      mux_attach();
  }
  ~KeepAlive() override {
    mux_detach();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  void shedule_event(pollfd& entry) override {
    entry.fd = fds_[0];
    entry.events = POLLIN;
    entry.revents = 0;
  }
  void svc_event(short) override {}

private:
  int fds_[2] = {-1, -1};
};

LoopRunner::LoopRunner(bool watchdog, bool keepAlive) : ended_(false) {
  if (keepAlive)
    keepAlive_.reset(new KeepAlive);
  multiplexer.run_begin(watchdog, true);
}

LoopRunner::~LoopRunner() {
  stop();
  keepAlive_.reset();
}

void LoopRunner::turn(int turns) {
  for (int i = 0; i < turns && !multiplexer.stopping(); ++i)
    multiplexer.run_turn();
}

bool LoopRunner::until(const std::function<bool()>& pred, int maxTurns) {
  for (int i = 0; i < maxTurns && !pred(); ++i)
    multiplexer.run_turn();
  return pred();
}

void LoopRunner::stop() {
  if (ended_)
    return;
  ended_ = true;
  multiplexer.run_end();
}

}  // namespace testing_support
