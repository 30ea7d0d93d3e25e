#pragma once
// The control server (heartbeat and slot registry bound) on the loop of a
// thread of its own, for benchmarks whose own thread is the controller.
#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/slot_factory.h"
#include "core/slots.h"
#include "foundation/control_net.h"
#include "foundation/multiplexer.h"

namespace bench_support {

class ControlThread {
public:
  // `body` runs on the loop's thread: it builds what the loop is to serve
  // (factories, a simulated board, other acceptors), then calls serve().
  // The constructor returns once the server listens.
  explicit ControlThread(std::function<void(ControlThread&)> body) {
    std::future<void> started = ready_.get_future();
    thread_ = std::thread([this, body] { body(*this); });
    started.wait();
  }
  ControlThread(const ControlThread&) = delete;
  ControlThread& operator=(const ControlThread&) = delete;

  // Asks the loop to end; the loop sees it when it next wakes (closing a
  // connection it serves wakes it).
  void request_stop() { stop_ = true; }
  void join() {
    if (thread_.joinable())
      thread_.join();
  }
  ~ControlThread() {
    request_stop();
    join();
  }

  unsigned short port() const { return port_; }

  // On the loop's thread: starts the control server, runs the loop until
  // asked to stop, runs `beforeEnd`, and shuts the server down.
  void serve(const std::function<void()>& beforeEnd = {}) {
    ctrlServer.Bind(&HeartBeatCtl::instance());
    ctrlServer.Bind(&Slots::instance());
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, false);
    ctrlServer.Activate(acceptor);
    port_ = acceptor->bound_port();
    multiplexer.run_begin(false, true);
    ready_.set_value();
    while (!stop_)
      multiplexer.run_turn();
    if (beforeEnd)
      beforeEnd();
    ctrlServer.Deactivate();
    multiplexer.run_end();
    firstFactory = nullptr;
  }

private:
  std::promise<void> ready_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  unsigned short port_ = 0;
};

}  // namespace bench_support
