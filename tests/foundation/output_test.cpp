#include <gtest/gtest.h>

#include <sstream>
#include <unistd.h>

#include "foundation/event.h"
#include "foundation/ext.h"
#include "foundation/multiplexer.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::TestClock;

namespace {

TEST(Ext, HexHelpersRestoreTheStream) {
  std::ostringstream out;
  const unsigned char bytes[] = {0x0A, 0xFF};
  out << ext::OutBufInHex(bytes, bytes + 2) << 26 << ext::OutBufInHex(bytes, bytes);
  out << ext::OutUnsignedInHex(0x1A, 4) << " " << 26;
  EXPECT_EQ(out.str(), "0A FF 260x001A 26");
}

TEST(Dump, LoopStatusTable) {
  EXPECT_EQ(PollEventAsText(0x400 | 0x8 | POLLIN), "POLLIN|POLLERR|POLLMSG");
  TestClock clock;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Event e;
  struct H {
    void on(int, short) {}
  } h;
  e.Bind("watched", &H::on, &h);
  e.Schedule(Fd(fds[0]), POLLIN | POLLOUT);
  testing_support::LoopRunner loop;
  multiplexer.run_turn();  // moves it to the active list
  std::ostringstream out;
  multiplexer.dump(out);
  std::string text = out.str();
  EXPECT_EQ(text.find("dpc transition measurement (min/max/cur/counter): min=0 max=0 avg=0 counter=0\n"), 0u);
  std::string border = "+" + std::string(40, '-') + "+" + std::string(30, '-') + "+" + std::string(10, '-') + "+" +
                       std::string(10, '-') + "+" + std::string(5, '-') + "+" + std::string(60, '-') + "+\n";
  EXPECT_NE(text.find(border + "|" + std::string(18, ' ') + "name" + std::string(18, ' ') + "|"), std::string::npos);
  EXPECT_NE(text.find("|" + std::string(8, ' ') + "POLLIN|POLLOUT" + std::string(8, ' ') + "|"), std::string::npos);
  EXPECT_NE(text.find(" attached "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - border.size() - 1), border + "\n");
  close(fds[1]);
}

}  // namespace
