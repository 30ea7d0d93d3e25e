// The RTP factory: create requests translated into driver sessions, every
// way it declines, and the codec capacity it reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>

#include "simboard/voice.h"
#include "tests/rtp/rtp_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace control_test {

namespace {

size_t OpenDescriptors() {
  size_t n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir))
      ++n;
    closedir(dir);
  }
  return n;
}

}  // namespace

TEST_F(RtpTest, CreateTranslatesTheRequestIntoTheSession) {
  using P = LGCP::CreateRtpParams;
  const struct {
    std::function<void(P&)> change;
    const char* session;  // what the driver was given
  } rows[] = {
      {[](P&) {}, "rx=18 tx=18 factor=0 vad=0 crate=0 ttl=0 dscp=-1"},
      {[](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::ptG728); }, "rx=15 tx=15"},
      // Only the two G.711 payloads override the session's.
      {[](P& p) {
         p.set_rxPayload(TERM::Payload::ptG711_Ulaw);
         p.set_txPayload(TERM::Payload::ptG723);
       },
       "rx=0 tx=18"},
      {[](P& p) {
         p.mutable_codecRTP().set_payload(TERM::Payload::ptG711mcc_Ulaw);
         p.set_rxPayload(TERM::Payload::ptG711_Ulaw);
         p.set_txPayload(TERM::Payload::ptG711_Alaw);
       },
       "rx=0 tx=8"},
      {[](P& p) {
         TERM::RtpParams& r = p.mutable_codecRTP();
         r.set_pfactor(0x12345);
         r.set_vad(true);
         r.set_crate(5);
         r.set_ttl(64);
         r.set_qos_dscp(TERM::IpQoSDSCP::ef);
         r.set_ssrc(0xdeadbeef);
       },
       "rx=18 tx=18 factor=9029 vad=1 crate=1 ttl=64 dscp=184 ssrc=3735928559"},
      {[](P& p) {
         p.mutable_codecRTP().set_vad(false);
         p.mutable_codecRTP().set_crate(0);
         p.mutable_codecRTP().set_qos_dscp(TERM::IpQoSDSCP::cs7);
       },
       "vad=0 crate=0 ttl=0 dscp=224"},
  };
  int n = 10;
  for (const auto& row : rows) {
    LGCP::CreateRtpParams p = Request();
    row.change(p);
    std::vector<std::string> answer = Created(n, p);
    ASSERT_EQ(answer.size(), 3u);
    const SimBoard::RtpSession& s = driver.last();
    EXPECT_EQ(answer[2], "slot=" + std::to_string(n) + " signal receiver active " + std::to_string(s.channel()));
    const SimBoard::RtpSessionParams& got = s.params();
    std::string seen = "rx=" + std::to_string(got.rx_pt) + " tx=" + std::to_string(got.tx_pt) +
                       " factor=" + std::to_string(got.packet_factor) + " vad=" + std::to_string(got.vad) +
                       " crate=" + std::to_string(got.crate) + " ttl=" + std::to_string(got.ttl) +
                       " dscp=" + std::to_string(got.dscp) + " ssrc=" + std::to_string(got.ssrc);
    EXPECT_THAT(seen, HasSubstr(row.session));
    EXPECT_EQ(got.dhost_addr, 0x7f000001u);
    EXPECT_EQ(got.dhost_port, rtcp.port() - 1);
    EXPECT_EQ(got.shost_addr, 0x7f000001u);
    EXPECT_EQ(got.shost_port, p.get_codecRTP().get_shost().get_port().getValue());
    EXPECT_EQ(got.reserved1 | got.reserved2 | got.reserved3 | got.reserved4, 0u);
    const SimBoard::RtpChannelRecord& c = s.channel_record();
    EXPECT_EQ(std::vector<int64_t>({c.tdm, c.dev_no, c.chn, c.flags}), std::vector<int64_t>({-1, -1, -1, 0}));
    EXPECT_EQ(Rtp(n)->channel(), s.channel());
    Destroy(100 + n, n);
    replies(1);
    ++n;
  }
  EXPECT_EQ(factory.asked, 0);

  // Without shost the RTCP socket takes the remote port + 1 and the local
  // address is left to the driver; port 65535 wraps to any free port.
  LGCP::CreateRtpParams p = Request();
  p.mutable_codecRTP().removeOptionalField(0);
  p.mutable_codecRTP().mutable_dhost().set_port(FreePort() - 1);
  ASSERT_EQ(Created(30, p).size(), 3u);
  EXPECT_EQ(driver.last().params().shost_addr, 0u);
  EXPECT_EQ(driver.last().params().shost_port, p.get_codecRTP().get_dhost().get_port().getValue());
  p = Request();
  p.mutable_codecRTP().mutable_shost().set_port(65535);
  ASSERT_EQ(Created(31, p).size(), 3u);
  EXPECT_EQ(driver.last().params().shost_port, 65535u);
  EXPECT_TRUE(driver.last().open());
}

TEST_F(RtpTest, EveryDeclineClosesWhatItOpenedAndAsksTheNextFactory) {
  UdpPort taken;  // bound without SO_REUSEADDR
  struct Row {
    const char* name;
    std::function<void(LGCP::CreateRtpParams&)> change;
    const char* log;  // after the factory's prefix; "" for none
    const char* err;
  };
  using P = LGCP::CreateRtpParams;
  const Row rows[] = {
      {"radio part", [](P& p) { p.mutable_codecRTP().mutable_radio().mutable_status().select_ed_137(); }, "", ""},
      {"R2S payload", [](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::ptR2S); },
       "rtp do not created: payload ptR2Snot found\n", ""},
      {"T.38 payload", [](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::ptT38_UDP_TL); },
       "rtp do not created: payload ptT38-UDP-TLnot found\n", ""},
      {"reserved payload", [](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::reserv_3); },
       "rtp do not created: payload reserv-3not found\n", ""},
      {"port in use", [&](P& p) { p.mutable_codecRTP().mutable_shost().set_port(taken.port() - 1); },
       "rtp do not created: can not bind socket [errno=Address already in use, port=", ""},
      {"bad address", [](P& p) { p.mutable_codecRTP().mutable_dhost().set_iaddr("gateway"); },
       "rtp do not created: invalid address \"gateway\"\n", ""},
      {"no driver", [&](P&) { driver.fail_open(ENODEV); }, "", "device \"/dev/rtp\" open fail: No such device\n"},
      {"begin fails", [&](P&) { driver.fail(SimBoard::Rtp::BeginSession, EIO, 1); }, "", "begin session fail !!! \n"},
      {"no channel left", [&](P&) { driver.set_channels(4096, 0); }, "", "add channel fail !!!\n"},
  };
  int seq = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LGCP::CreateRtpParams p = Request();
    row.change(p);
    board.pump();  // the board closes its ends of files the daemon closed
    size_t descriptors = OpenDescriptors();
    int asked = factory.asked;
    logs.clear();
    CreateRtp(seq, 7, p);
    EXPECT_THAT(replies(1), ElementsAre("seq=" + std::to_string(seq++) + " slot=7 error insufficientResources"));
    EXPECT_EQ(factory.asked, asked + 1);
    EXPECT_EQ(driver.open_count(), 0u);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    std::string log = logs.log();
    if (*row.log) {
      EXPECT_THAT(log, HasSubstr(std::string("rtp[256,256,1024,1024]: ") + row.log));
    } else {
      EXPECT_EQ(log.find("rtp do not created"), std::string::npos);
    }
    EXPECT_EQ(log.find("do create rtp: ") == std::string::npos, std::string(row.name) == "radio part");
    if (*row.err) {
      EXPECT_EQ(logs.err(), std::string("rtp[256,256,1024,1024]: ") + row.err);
    }
    driver.fail_open(0);
    driver.set_channels(4096, 1024);
  }
}

TEST_F(RtpTest, SsrcIsRandomWhateverSeedsTheLibrary) {
  uint32_t ssrc[2];
  for (uint32_t& s : ssrc) {
    srand(1);
    ASSERT_EQ(Created(3, Request()).size(), 3u);
    s = driver.last().params().ssrc;
    Destroy(4, 3);
    replies(1);
  }
  EXPECT_NE(ssrc[0], ssrc[1]);
}

TEST_F(RtpTest, CapacityFromTheVoiceDriver) {
  SimBoard::Voice& voice = board.voice();
  auto query = [&] {
    probe.received.clear();
    simple(1, -1, LGCP::Command::alt_query);
    replies(2);
    const LGCP::Resources& r = probe.received.back().get_query();
    return std::vector<int>{r.get_rtp_g729().getValue(), r.get_rtp_g723().getValue(), r.get_rtp_g711().getValue(),
                            r.get_rtp_g711mcc().getValue(), r.get_universal().getValue()};
  };
  voice.set_channels(SimBoard::Voice::G729, 30);
  voice.set_channels(SimBoard::Voice::G723, 31);
  voice.set_channels(SimBoard::Voice::G711, 120);
  voice.set_channels(SimBoard::Voice::G711Mcc, 8);
  voice.set_channels(SimBoard::Voice::Universal, 60);
  EXPECT_EQ(query(), (std::vector<int>{30, 31, 120, 8, 60}));
  EXPECT_THAT(logs.log(), testing::Not(HasSubstr("open fail")));
  std::ostringstream prefix;
  factoryRtp.PutHeader(prefix);
  EXPECT_EQ(prefix.str(), "rtp[31,30,120,60]: ");

  // Counts the driver no longer gives go to 0: none stays from before.
  voice.set_channels(SimBoard::Voice::G729, 0);
  voice.set_channels(SimBoard::Voice::G711Mcc, 0);
  voice.set_channels(SimBoard::Voice::Universal, -EIO);
  EXPECT_EQ(query(), (std::vector<int>{0, 31, 120, 0, 0}));
  voice.set_present(false);
  logs.clear();
  EXPECT_EQ(query(), (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(logs.err(), "rtp[0,0,0,0]: device \"/dev/voice\" open fail: No such file or directory\n");
}

}  // namespace control_test
