#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "hardware/device_names.h"
#include "hardware/rtp_text.h"
#include "tests/support/log_capture.h"

TEST(DeviceNames, PathsAndCodecNames) {
  EXPECT_STREQ(GetVoiceDevName(), "/dev/voice");
  EXPECT_STREQ(GetMixerDevName(), "/dev/mixer");
  EXPECT_STREQ(GetDTMFDevName(), "/dev/dtmf");
  EXPECT_STREQ(GetDSPDevName(), "/dev/dsp");
  EXPECT_STREQ(GetRtpDevName(), "/dev/rtp");
  EXPECT_STREQ(GetRtpExtDevName(), "/dev/rtp_ext");
  EXPECT_STREQ(GetModemDevName(), "/dev/mctl");
  EXPECT_STREQ(GetMaintenance(), "/dev/maintenance");
  EXPECT_STREQ(GetSpiTdmDevName(), "/dev/spi_tdm");
  EXPECT_STREQ(GetUsbTdmDevName(), "/dev/usb_tdm");

  const char* names[] = {"unknown", "g711", "g723", "g729", "tonec", "g711-rtp", "g729-rtp", "g723-rtp", "conf"};
  for (int i = 0; i < 9; ++i)
    EXPECT_STREQ(GetCodecAsStr(i), names[i]);
  EXPECT_STREQ(GetCodecAsStr(9), "invalid");
  EXPECT_STREQ(GetCodecAsStr(-1), "invalid");
}

TEST(RtpText, ErrorTexts) {
  EXPECT_STREQ(RTPStrError(0), "No error");
  EXPECT_STREQ(RTPStrError(0x300010c), "Invalid port specified");
  EXPECT_STREQ(RTPStrError(0x3000122), "Don't send this packet now");
  EXPECT_STREQ(RTPStrError(0x300010d), "Unknown RTP Error 50331917");
  EXPECT_STREQ(RTPStrError(-2), "Unknown RTP Error -2");

  errno = ENOENT;
  RtpErr err(0x3000105);
  errno = 0;
  std::ostringstream out;
  out << err;
  EXPECT_EQ(out.str(), "No such file or directory");
  EXPECT_EQ(err.code(), 0x3000105);
  EXPECT_EQ(err.error(), ENOENT);
}

TEST(RtpText, RecordPrintersAndBoardLayout) {
  rtp_connection_params p;
  p.packet_factor = 2;
  p.rx_pt = 8;
  p.tx_pt = 18;
  p.ssrc = 4000000000u;
  p.dscp = -1;
  std::ostringstream out;
  out << p;
  EXPECT_EQ(out.str(),
            "  rtp_connection_params\n  {\n   packet_factor = 2\n   rx_pt = 8\n   tx_pt = 18\n"
            "   ssrc = 4000000000\n  }\n");
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&p);
  EXPECT_EQ(bytes[14], 0);
  EXPECT_EQ(bytes[15], 8);  // rx_pt at offset 14, big-endian
  EXPECT_EQ(bytes[24], 0xee);  // ssrc 0xee6b2800 at offset 24
  EXPECT_EQ(bytes[40], 0xff);

  rtp_attach_session_params a;
  a.fd_rtp = 7;
  a.pid_rtp = -1;
  out.str("");
  out << a;
  EXPECT_EQ(out.str(), "  rtp_attach_session_params\n  {\n   fd_rtp = 7\n   pid_rtp = -1\n  }\n");
  rtp_ext_attach_session_params e;
  e.fd_rtp = 3;
  e.pid_rtp = 100;
  out.str("");
  out << e;
  EXPECT_EQ(out.str(), "  rtp_ext_attach_session_params\n  {\n   fd_rtp = 3\n   pid_rtp = 100\n  }\n");
  rtp_ext_init_params i;
  i.etype = 0x1337;
  out.str("");
  out << i;
  EXPECT_EQ(out.str(), "  rtp_ext_init_params\n  {\n   etype = 4919\n  }\n");
  rtp_channel_info c;
  c.tdm = 300;
  c.dev_no = -1;
  c.chn = 2;
  out.str("");
  out << c;
  EXPECT_EQ(out.str(), "rtp_channel_info { tdm=300 dev_no=-1 chn=2 }");
  EXPECT_EQ(memcmp(&c, "\x00\x00\x01\x2c\xff\xff\xff\xff\x00\x00\x00\x02\x00\x00\x00\x00", 16), 0);
}

TEST(RtpText, PrintTraceWritesTheFrames) {
  testing_support::LogCapture capture;
  print_trace();
  std::string text = capture.out();
  ASSERT_EQ(text.compare(0, 9, "Obtained "), 0);
  size_t frames = std::stoul(text.substr(9));
  EXPECT_GT(frames, 0u);
  EXPECT_LE(frames, 10u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(frames) + 1);
}
