#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/event.h"
#include "foundation/multiplexer.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;

using transport_test::open_descriptors;
using transport_test::Pipe;

namespace {

struct Watcher {
  std::string name;
  std::vector<std::string>* log;
  Event event;
  Watcher* victim = nullptr;   // detached from this watcher's callback
  Watcher* newcomer = nullptr; // attached from this watcher's callback
  Fd newcomerFd;
  Watcher(const std::string& n, std::vector<std::string>* l) : name(n), log(l) {
    event.Bind(n, &Watcher::onEvent, this);
  }
  void onEvent(int, short revents) {
    log->push_back(name + ":" + std::to_string(revents));
    if (victim)
      victim->event.Release();
    if (newcomer)
      newcomer->event.Schedule(newcomerFd, POLLIN);
    victim = nullptr;
    newcomer = nullptr;
  }
};

TEST(Event, EveryHandlerIsServicedAndDetachAttachDuringAPass) {
  TestClock clock;
  std::vector<std::string> log;
  Pipe p1, p2, p3, p4;
  Watcher a("a", &log), b("b", &log), c("c", &log), d("d", &log);
  a.event.Schedule(p1.rd, POLLIN);
  b.event.Schedule(p2.rd, POLLIN);
  c.event.Schedule(p3.rd, POLLIN);
  LoopRunner loop;
  ASSERT_EQ(write(p2.wr.get(), "x", 1), 1);
  a.victim = &c;    // a detaches c before c's turn
  a.newcomer = &d;  // and attaches d, which waits for the next turn
  a.newcomerFd = p4.rd;
  ASSERT_EQ(write(p4.wr.get(), "x", 1), 1);
  multiplexer.run_turn();
  EXPECT_EQ(log, (std::vector<std::string>{"a:0", "b:1"}));
  EXPECT_EQ(a.event.count(), 0u);
  EXPECT_EQ(b.event.count(), 1u);
  log.clear();
  multiplexer.run_turn();
  EXPECT_EQ(log, (std::vector<std::string>{"a:0", "b:1", "d:1"}));
  EXPECT_EQ(multiplexer.handler_count(), 4u);  // and the runner's own
}

TEST(Event, ScheduleKeepsOneDuplicateAndDuplicateAttachIsReported) {
  TestClock clock;
  Pipe p1, p2;
  std::vector<std::string> log;
  Watcher w("w", &log);
  const int before = open_descriptors();
  w.event.Schedule(p1.rd, POLLIN);
  w.event.Schedule(p2.rd, POLLIN);
  EXPECT_EQ(before + 1, open_descriptors());  // the event's first duplicate was closed
  EXPECT_NE(w.event.fd().get(), p2.rd.get());
  EXPECT_TRUE(fcntl(w.event.fd().get(), F_GETFD) & FD_CLOEXEC);
  errno = EIO;
  { Fd none; }  // an empty descriptor goes without touching errno
  EXPECT_EQ(errno, EIO);

  LogCapture cap;
  multiplexer.attach(&w.event);
  EXPECT_EQ(cap.err(), "duplicate multiplexer attach \"w\" ignored.\n");
  EXPECT_EQ(multiplexer.handler_count(), 1u);
  w.event.Schedule(Fd(), POLLIN);  // an empty Fd leaves it detached
  EXPECT_EQ(multiplexer.handler_count(), 0u);
  multiplexer.detach(&w.event);
  EXPECT_EQ(cap.err().substr(cap.err().find('\n') + 1), "indvalid Multiplexer::detach w\n");
}

struct Calls {
  Calls(std::vector<std::string>* l, const char* n) : log(l), name(n) {}
  std::vector<std::string>* log;
  std::string name;
  Dpc dpc;
  Dpc* deactivate = nullptr;
  Dpc* activate = nullptr;
  bool selfStop = false;
  void run() {
    log->push_back(name);
    if (deactivate)
      deactivate->Deactivate();
    if (activate)
      activate->Activate();
    if (selfStop)
      dpc.Deactivate();
  }
};

TEST(Dpc, OrderIdempotenceAndChangesDuringAPass) {
  std::vector<std::string> log;
  // Run order is by address; index order matches it in an array.
  Calls calls[3] = {{&log, "a"}, {&log, "b"}, {&log, "c"}};
  for (Calls& c : calls)
    c.dpc.Bind(&c, &Calls::run);
  calls[2].dpc.Activate();
  calls[0].dpc.Activate();
  calls[0].dpc.Activate();
  EXPECT_EQ(multiplexer.dpc_count(), 2u);
  multiplexer.execute_dpc();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));

  log.clear();
  calls[0].deactivate = &calls[2].dpc;  // keeps c from running later in this pass
  calls[0].activate = &calls[1].dpc;    // b runs from the next pass on
  multiplexer.execute_dpc();
  EXPECT_EQ(log, (std::vector<std::string>{"a"}));
  log.clear();
  calls[0].deactivate = calls[0].activate = nullptr;
  calls[1].selfStop = true;
  multiplexer.execute_dpc();
  multiplexer.execute_dpc();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "a"}));
  calls[0].dpc.Deactivate();
  EXPECT_EQ(multiplexer.dpc_count(), 0u);
}

}  // namespace
