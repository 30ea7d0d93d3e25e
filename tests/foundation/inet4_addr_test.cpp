#include "foundation/inet4_addr.h"

#include <gtest/gtest.h>

namespace {

// Each text assigned over 10.0.0.9:99: what Assign answers, what it gives
// through `port`, and the address it leaves.
TEST(INet4Addr, AssignTakesDottedQuadsAndPortsOnly) {
  struct {
    const char* text;
    bool parsed;
    int port;
    const char* after;
  } const cases[] = {
      {"192.168.1.20:4000", true, 4000, "192.168.1.20:4000"},
      {"0.0.0.0:65535", true, 65535, "0.0.0.0:65535"},
      {"010.001.000.255", true, -1, "10.1.0.255:99"},  // decimal, whatever the zeros
      {"255.255.255.255:00080", true, 80, "255.255.255.255:80"},
      // Not an address: the port is stored all the same.
      {"bogus:7", false, 7, "10.0.0.9:7"},
      {"127.1:7", false, 7, "10.0.0.9:7"},
      {"2130706433", false, -1, "10.0.0.9:99"},
      {"0x7f.0.0.1", false, -1, "10.0.0.9:99"},
      {"256.0.0.1", false, -1, "10.0.0.9:99"},
      {"1.2.3.4.5", false, -1, "10.0.0.9:99"},
      {"1.2.3.", false, -1, "10.0.0.9:99"},
      {"1..3.4", false, -1, "10.0.0.9:99"},
      {" 1.2.3.4", false, -1, "10.0.0.9:99"},
      {"", false, -1, "10.0.0.9:99"},
      // Not a port of 1..65535: nothing changes.
      {"1.2.3.4:4294967376", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:65536", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:0", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:+80", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:-80", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:80junk", false, -1, "10.0.0.9:99"},
      {"1.2.3.4:80:5", false, -1, "10.0.0.9:99"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    INet4::Addr a;
    ASSERT_TRUE(a.Assign("10.0.0.9:99"));
    int port = 12345;
    EXPECT_EQ(c.parsed, a.Assign(c.text, &port));
    EXPECT_EQ(c.port, port);
    EXPECT_EQ(c.after, a.GetString());
  }
  INet4::Addr a;
  EXPECT_FALSE(a.Assign(nullptr));
  EXPECT_EQ("0.0.0.0:0", a.GetString());
}

}  // namespace
