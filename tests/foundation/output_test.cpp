#include <gtest/gtest.h>

#include <sstream>
#include <unistd.h>

#include "foundation/assertions.h"
#include "foundation/event.h"
#include "foundation/ext.h"
#include "foundation/multiplexer.h"
#include "foundation/profile.h"
#include "foundation/version.h"
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

TEST(Ext, TableLayout) {
  std::ostringstream out;
  ext::Table t(4, 3);
  t.row(out, "ab");
  t.row(out, "c");
  EXPECT_EQ(out.str(), "| ab | c |\n");
  t.row(out, "dropped");  // row complete and not restarted
  EXPECT_EQ(out.str(), "| ab | c |\n");

  out.str("");
  ext::Table w(5, 2, 3);
  w.row(out, "");        // five blanks
  w.row(out, "toolong"); // written whole
  w.delimeter(out);      // completes the row first
  EXPECT_EQ(out.str(), "|     |toolong|   |\n+-----+--+---+\n");

  out.str("");
  {
    ext::Table t3(3, 3);
    ext::Table::Sentry s(out, t3);
    s << ext::beginrow << "abc" << ext::nextrow << 7 << ext::nextrow;
    s << ext::beginrow << "x" << ext::nextrow;  // left open: the sentry completes it
  }
  EXPECT_EQ(out.str(), "|abc| 7 |\n| x |   |\n");
  out.str("");
  ext::Table g(2);
  g.gap(out);
  EXPECT_EQ(out.str(), "|  |\n");
}

struct Named {
  void PutHeader(std::ostream& out) const { out << "obj [1] "; }
};

TEST(Ext, HeaderAndQuoted) {
  std::ostringstream out;
  Named n;
  out << ext::header(&n) << ext::quoted("text");
  EXPECT_EQ(out.str(), "obj [1] \"text\"");
}

TEST(Profile, PointsMeasureAndListNewestFirst) {
  TestClock clock;
  Profile::Point a("a");
  std::ostringstream out;
  a.put(out);
  EXPECT_EQ(out.str(), "[a]: min=0 max=0 avg=0 counter=0");
  for (unsigned d : {5u, 3u, 9u}) {
    a.begin();
    clock.advance_us(d);
    a.end();
  }
  out.str("");
  a.put(out);
  EXPECT_EQ(out.str(), "[a]: min=3 max=9 avg=9 counter=3");
  {
    Profile::Point b("b");
    Profile::Point c("c");
    {
      Profile::Point middle("m");
      (void)middle;
    }
    out.str("");
    Profile::dump(out);
    EXPECT_EQ(out.str(), "[c]: min=0 max=0 avg=0 counter=0\n[b]: min=0 max=0 avg=0 counter=0\n"
                         "[a]: min=3 max=9 avg=9 counter=3\n");
  }
  EXPECT_EQ(Profile::mRoot, &a);
}

TEST(Trace, BlockWritesOnlyWhenEnabled) {
  std::ostringstream out;
  { Trace::Block b(false, "f", out); }
  EXPECT_EQ(out.str(), "");
  { Trace::Block b(true, "f", out); }
  EXPECT_EQ(out.str(), "Enter f\nLeave f\n");
}

TEST(Version, TextsAndTag) {
  std::ostringstream out;
  out << Version::release << " " << static_cast<Version::Type>(7) << " " << Version::version_suffix(3);
  EXPECT_EQ(out.str(), "release unknown T");
  out.str("");
  Version::current.put(out);
  EXPECT_EQ(out.str(), Version::current.tag);
  EXPECT_EQ(std::string(Version::current.arch), "ppc");
  EXPECT_EQ(std::string(Version::current.tag).size(), 12u);  // e.g. S250218-1353
}

TEST(Measure, FirstAndLaterSamples) {
  TestClock clock;
  Measure m;
  m.begin();
  clock.advance_us(7);
  EXPECT_EQ(m.end(), 7u);
  m.begin();
  clock.advance_us(2);
  m.end();
  std::ostringstream out;
  m.put(out);
  EXPECT_EQ(out.str(), "min=2 max=7 avg=2 counter=2");
}

TEST(Dump, LoopStatusTable) {
  EXPECT_EQ(PollEventAsText(POLLIN | POLLOUT), "POLLIN|POLLOUT");
  EXPECT_EQ(PollEventAsText(0), "");
  EXPECT_EQ(PollEventAsText(0x400 | 0x8), "POLLERR|POLLMSG");
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

TEST(AssertionsDeathTest, SmartPointer) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(SmartPtrAssertion(), "SMART POINTER ASSERTION!");
}

}  // namespace
