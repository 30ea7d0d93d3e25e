#include "foundation/netif.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

bool selects(const char* name, const char* address, Net::ifconfig_mode_t mode) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, address, &a.sin_addr);
  return Net::ifconfig_selects(name, a, mode);
}

}  // namespace

TEST(Netif, SelectionByModeAtTheRangeEdges) {
  EXPECT_TRUE(selects("lo", "127.0.0.1", 0));
  EXPECT_FALSE(selects("lo", "127.0.0.1", Net::NotLoopback));
  EXPECT_FALSE(selects("LO", "10.0.0.1", Net::NotLoopback));
  EXPECT_TRUE(selects("eth1", "169.254.3.4", Net::LinkLocal | Net::Private));
  for (const char* priv : {"10.255.255.255", "172.16.0.1", "172.31.255.254", "192.168.0.1"})
    EXPECT_TRUE(selects("x", priv, Net::Private)) << priv;
  for (const char* pub : {"11.0.0.1", "172.15.255.255", "172.32.0.0", "192.169.0.1", "169.254.0.1"})
    EXPECT_FALSE(selects("x", pub, Net::Private)) << pub;
  EXPECT_TRUE(selects("x", "169.254.255.255", Net::LinkLocal));
  EXPECT_FALSE(selects("x", "169.253.0.1", Net::LinkLocal));
}
