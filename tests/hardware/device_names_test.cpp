#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "hardware/rtp_text.h"

TEST(RtpText, ErrorTextsAndDriverRecords) {
  EXPECT_STREQ(RTPStrError(0x300010c), "Invalid port specified");
  EXPECT_STREQ(RTPStrError(0x300010d), "Unknown RTP Error 50331917");
  EXPECT_STREQ(RTPStrError(-2), "Unknown RTP Error -2");
  errno = ENOENT;
  RtpErr err(0x3000105);
  errno = 0;
  std::ostringstream out;
  out << err;
  EXPECT_EQ(out.str(), "No such file or directory");
  EXPECT_EQ(err.error(), ENOENT);

  // The records as the driver reads them: big-endian fields at fixed offsets.
  rtp_connection_params p;
  p.rx_pt = 8;
  p.ssrc = 4000000000u;
  p.dscp = -1;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&p);
  EXPECT_EQ(bytes[15], 8);     // rx_pt at offset 14
  EXPECT_EQ(bytes[24], 0xee);  // ssrc 0xee6b2800 at offset 24
  EXPECT_EQ(bytes[40], 0xff);
  rtp_channel_info c;
  c.tdm = 300;
  c.dev_no = -1;
  c.chn = 2;
  EXPECT_EQ(memcmp(&c, "\x00\x00\x01\x2c\xff\xff\xff\xff\x00\x00\x00\x02\x00\x00\x00\x00", 16), 0);
}
