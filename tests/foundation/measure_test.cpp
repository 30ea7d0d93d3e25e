// Latency records on the loop's clock: samples that share clock readings
// (back to back, or begun at a reading just taken) are still their own.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "foundation/measure.h"
#include "foundation/mux_time.h"
#include "foundation/profile.h"
#include "tests/support/test_clock.h"

using testing_support::TestClock;

namespace {

std::string text(const Measure& m) {
  std::ostringstream out;
  out << m;
  return out.str();
}

std::string text(const Profile::Point& p) {
  std::ostringstream out;
  p.put(out);
  return out.str();
}

TEST(Measure, SharedReadingsKeepEachSampleApart) {
  TestClock clock(5000);
  clock.advance_us(123);
  Mux::Reading now = Mux::reading();
  EXPECT_EQ(now.ms, 5000u);
  EXPECT_EQ(now.us, static_cast<uint32_t>(5000123u));

  Measure m;
  m.begin(now.us);
  clock.advance_us(300);
  m.next();  // 300, and the next sample starts here
  clock.advance_us(700);
  m.next();
  clock.advance_us(200);
  EXPECT_EQ(m.end(), 200u);
  EXPECT_EQ(text(m), "min=200 max=700 avg=200 counter=3");

  Profile::Point build("build"), down("down");
  build.begin();
  clock.advance_us(40);
  build.hand_over(down);
  clock.advance_us(90);
  down.end();
  EXPECT_EQ(text(build), "[build]: min=40 max=40 avg=40 counter=1");
  EXPECT_EQ(text(down), "[down]: min=90 max=90 avg=90 counter=1");
}

}  // namespace
