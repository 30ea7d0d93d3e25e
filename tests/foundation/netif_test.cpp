#include "foundation/netif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <net/if.h>

namespace {

sockaddr_in ip(const char* text) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, text, &a.sin_addr);
  return a;
}

int countSelected(Net::ifconfig_mode_t mode) {
  const std::pair<const char*, const char*> board[] = {
      {"lo", "127.0.0.1"}, {"eth0", "192.168.1.10"}, {"eth1", "169.254.3.4"}};
  int n = 0;
  for (const auto& i : board)
    n += Net::ifconfig_selects(i.first, ip(i.second), mode) ? 1 : 0;
  return n;
}

}  // namespace

TEST(Netif, SelectionByMode) {
  EXPECT_EQ(1, countSelected(Net::Private));
  EXPECT_TRUE(Net::ifconfig_selects("eth0", ip("192.168.1.10"), Net::Private));
  EXPECT_EQ(3, countSelected(0));
  EXPECT_EQ(2, countSelected(Net::NotLoopback));
  EXPECT_EQ(1, countSelected(Net::LinkLocal));
  EXPECT_EQ(2, countSelected(Net::LinkLocal | Net::Private));

  EXPECT_FALSE(Net::ifconfig_selects("LO", ip("10.0.0.1"), Net::NotLoopback));
  for (const char* priv : {"10.255.255.255", "172.16.0.1", "172.31.255.254", "192.168.0.1"})
    EXPECT_TRUE(Net::ifconfig_selects("x", ip(priv), Net::Private)) << priv;
  for (const char* pub : {"11.0.0.1", "172.15.255.255", "172.32.0.0", "192.169.0.1", "169.254.0.1"})
    EXPECT_FALSE(Net::ifconfig_selects("x", ip(pub), Net::Private)) << pub;
  EXPECT_TRUE(Net::ifconfig_selects("x", ip("169.254.255.255"), Net::LinkLocal));
  EXPECT_FALSE(Net::ifconfig_selects("x", ip("169.253.0.1"), Net::LinkLocal));
}

TEST(Netif, ListsThisMachinesInterfaces) {
  std::list<INet4::Addr> all, notLoopback;
  const int total = Net::ifconfig(all, 0);
  ASSERT_GE(total, 1);
  EXPECT_EQ(static_cast<size_t>(total), all.size());
  EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const INet4::Addr& a) { return a.GetString().find("127.0.0.1") == 0; }));
  const int others = Net::ifconfig(notLoopback, Net::NotLoopback);
  EXPECT_FALSE(std::any_of(notLoopback.begin(), notLoopback.end(),
                           [](const INet4::Addr& a) { return a.GetString().find("127.") == 0; }));

  std::list<std::string> loopbacks, up;
  EXPECT_EQ(1, Net::ifconfig(loopbacks, 0, IFF_LOOPBACK | IFF_UP));
  EXPECT_EQ(std::list<std::string>{"lo"}, loopbacks);
  EXPECT_EQ(total, Net::ifconfig(up, 0, 0));
  EXPECT_EQ(total - 1, others);
}

TEST(Netif, Hostname) {
  char expected[512] = {};
  ASSERT_EQ(0, gethostname(expected, sizeof expected - 1));
  EXPECT_EQ(expected, Net::hostname());
}
