#include <gtest/gtest.h>

#include <sstream>

#include "foundation/ext.h"
#include "foundation/multiplexer.h"

TEST(Output, HexHelpersRestoreTheStreamAndPollEventsReadAsText) {
  std::ostringstream hex;
  const unsigned char bytes[] = {0x0A, 0xFF};
  hex << ext::OutBufInHex(bytes, bytes + 2) << 26 << ext::OutUnsignedInHex(0x1A, 4) << " " << 26;
  EXPECT_EQ(hex.str(), "0A FF 260x001A 26");
  EXPECT_EQ(PollEventAsText(0x400 | 0x8 | POLLIN), "POLLIN|POLLERR|POLLMSG");
}
