// The controller heartbeat under the test clock: the controller sees its
// connection closed 120000 ms after its last command that passed the checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/core/control_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace control_test {

TEST_F(ControlTest, EveryCheckedCommandRestartsTheTimeout) {
  // Runs until the connection is closed or the clock passes `limitMs`; the
  // time it was seen closed, 0 when it was not.
  auto closedAt = [&](uint64_t limitMs) -> uint64_t {
    runner.until([&] { return ctl.poll(), ctl.closed() || clock.now_ms() >= limitMs; }, 100000);
    return ctl.closed() ? clock.now_ms() : 0;
  };
  // Silent from the start: never dropped.
  EXPECT_EQ(closedAt(clock.now_ms() + 600000), 0u);
  simple(1, -1, LGCP::Command::alt_ping);
  EXPECT_THAT(replies(1), ElementsAre("seq=1 success"));

  // A query is the registry's, and still restarts the period.
  EXPECT_EQ(closedAt(clock.now_ms() + 100000), 0u);
  uint64_t last = clock.now_ms();
  simple(2, -1, LGCP::Command::alt_query);
  EXPECT_THAT(replies(2), ElementsAre("seq=2 success", "signal query"));

  // What the server rejects before dispatch does not.
  EXPECT_EQ(closedAt(last + 60000), 0u);
  ctl.send_payload("");
  LGCP::Message msg;
  msg.mutable_pdu().select_response().select_success();
  ctl.send(msg);
  EXPECT_THAT(replies(1), ElementsAre("error unexpectedMsgType"));

  EXPECT_EQ(closedAt(last + HeartBeatCtl::TimeoutMs - 1000), 0u);
  uint64_t closed = closedAt(last + 2 * HeartBeatCtl::TimeoutMs);
  EXPECT_GE(closed, last + HeartBeatCtl::TimeoutMs);
  EXPECT_LT(closed, last + HeartBeatCtl::TimeoutMs + 5000);
  EXPECT_THAT(logs.log(), HasSubstr("heartbeat timeout!!!\n"));
  ASSERT_TRUE(runner.until([&] { return probe.disconnects == 1; }, 100));
  EXPECT_FALSE(HeartBeatCtl::instance().armed());

  // A new controller: idle until its first command; its going drops the timeout.
  ASSERT_TRUE(ctl.connect(acceptor->bound_port()));
  ASSERT_TRUE(runner.until([&] { return probe.connects == 2; }, 100));
  EXPECT_FALSE(HeartBeatCtl::instance().armed());
  simple(3, -1, LGCP::Command::alt_ping);
  EXPECT_THAT(replies(1), ElementsAre("seq=3 success"));
  ctl.close();
  ASSERT_TRUE(runner.until([&] { return probe.disconnects == 2; }, 100));
  EXPECT_FALSE(HeartBeatCtl::instance().armed());
}

// The process ends with the controller connected and the heartbeat armed:
// the services (function-local singletons) end before the global server,
// whose end must not call into them.
TEST_F(ControlTest, TheProcessEndsWithTheControllerConnected) {
  simple(1, -1, LGCP::Command::alt_ping);
  EXPECT_THAT(replies(1), ElementsAre("seq=1 success"));
  ASSERT_TRUE(HeartBeatCtl::instance().armed());
  EXPECT_EXIT(std::exit(0), testing::ExitedWithCode(0), "");
}

}  // namespace control_test
