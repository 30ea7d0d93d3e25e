// The RTP factory: create requests translated into driver sessions, every
// way it declines, the SSRC, and the codec capacity it reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>

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
  using T = TERM::Payload;
  const unsigned remote = FreePort() - 1;
  auto payloads = [](T::NamedNumber session, T::NamedNumber rx, T::NamedNumber tx) {
    return [=](P& p) {
      p.mutable_codecRTP().set_payload(session);
      p.set_rxPayload(rx);
      p.set_txPayload(tx);
    };
  };
  const struct {
    std::function<void(P&)> change;
    std::string session;  // what the driver was given
  } rows[] = {
      {[](P&) {}, "rx=18 tx=18 factor=0 vad=0 crate=0 ttl=0 dscp=-1 ssrc="},
      {payloads(T::ptG728, T::ptG728, T::ptG728), "rx=15 tx=15"},
      // Only the two G.711 payloads override the session's.
      {payloads(T::ptG729, T::ptG711_Ulaw, T::ptG723), "rx=0 tx=18"},
      {payloads(T::ptG711mcc_Ulaw, T::ptG711_Ulaw, T::ptG711_Alaw), "rx=0 tx=8"},
      {payloads(T::ptG711mcc_Alaw, T::ptG711mcc_Alaw, T::ptG711mcc_Alaw), "rx=136 tx=136"},
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
      // Present but off; the highest class selector is the TOS byte 224.
      {[](P& p) {
         TERM::RtpParams& r = p.mutable_codecRTP();
         r.set_vad(false);
         r.set_crate(0);
         r.set_qos_dscp(TERM::IpQoSDSCP::cs7);
       },
       "vad=0 crate=0 ttl=0 dscp=224"},
      // Without shost the local port is the remote one and the address is
      // left to the driver; the RTCP socket binds next to that port.
      {[&](P& p) {
         p.mutable_codecRTP().removeOptionalField(0);
         p.mutable_codecRTP().mutable_dhost().set_port(remote);
       },
       "local=0:" + std::to_string(remote) + " remote=2130706433:" + std::to_string(remote)},
      {[](P& p) { p.mutable_codecRTP().mutable_shost().set_port(65535); }, "local=2130706433:65535"},
  };
  int n = 10;
  for (const auto& row : rows) {
    LGCP::CreateRtpParams p = Request();
    row.change(p);
    ASSERT_EQ(Created(n, p).size(), 3u) << row.session;
    const SimBoard::RtpSessionParams& got = driver.last().params();
    const SimBoard::RtpChannelRecord& c = driver.last().channel_record();
    const std::string seen = "rx=" + std::to_string(got.rx_pt) + " tx=" + std::to_string(got.tx_pt) +
                             " factor=" + std::to_string(got.packet_factor) + " vad=" + std::to_string(got.vad) +
                             " crate=" + std::to_string(got.crate) + " ttl=" + std::to_string(got.ttl) +
                             " dscp=" + std::to_string(got.dscp) + " ssrc=" + std::to_string(got.ssrc) +
                             " local=" + std::to_string(got.shost_addr) + ":" + std::to_string(got.shost_port) +
                             " remote=" + std::to_string(got.dhost_addr) + ":" + std::to_string(got.dhost_port) +
                             " channel=" + std::to_string(c.tdm) + "," + std::to_string(c.dev_no) + "," +
                             std::to_string(c.chn) + "," + std::to_string(c.flags);
    EXPECT_THAT(seen, HasSubstr(row.session));
    EXPECT_THAT(seen, HasSubstr("channel=-1,-1,-1,0"));
    EXPECT_EQ(got.reserved1 | got.reserved2 | got.reserved3 | got.reserved4, 0u);
    Destroy(100 + n, n);
    replies(1);
    ++n;
  }
  EXPECT_EQ(factory.asked, 0);
}

TEST_F(RtpTest, EveryDeclineClosesWhatItOpenedAndAsksTheNextFactory) {
  UdpPort taken;  // bound without SO_REUSEADDR
  using P = LGCP::CreateRtpParams;
  const struct {
    const char* name;
    std::function<void(P&)> change;
    const char* log;  // after the factory's prefix, on the log or the error stream
  } rows[] = {
      {"radio part", [](P& p) { p.mutable_codecRTP().mutable_radio().mutable_status().select_ed_137(); }, ""},
      {"R2S payload", [](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::ptR2S); },
       "rtp do not created: payload ptR2Snot found\n"},
      {"T.38 payload", [](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::ptT38_UDP_TL); },
       "rtp do not created: payload ptT38-UDP-TLnot found\n"},
      {"reserved payload", [](P& p) { p.mutable_codecRTP().set_payload(TERM::Payload::reserv_3); },
       "rtp do not created: payload reserv-3not found\n"},
      {"port in use", [&](P& p) { p.mutable_codecRTP().mutable_shost().set_port(taken.port() - 1); },
       "rtp do not created: can not bind socket [errno=Address already in use, port="},
      {"bad address", [](P& p) { p.mutable_codecRTP().mutable_dhost().set_iaddr("gateway"); },
       "rtp do not created: invalid address \"gateway\"\n"},
      {"no driver", [&](P&) { driver.fail_open(ENODEV); }, "device \"/dev/rtp\" open fail: No such device\n"},
      {"begin fails", [&](P&) { driver.fail(SimBoard::Rtp::BeginSession, EIO, 1); }, "begin session fail !!! \n"},
      {"no channel left", [&](P&) { driver.set_channels(4096, 0); }, "add channel fail !!!\n"},
  };
  int seq = 1;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LGCP::CreateRtpParams p = Request();
    row.change(p);
    board.pump();  // the board closes its ends of files the daemon closed
    const size_t descriptors = OpenDescriptors();
    const int asked = factory.asked;
    logs.clear();
    CreateRtp(seq, 7, p);
    EXPECT_THAT(replies(1), ElementsAre("seq=" + std::to_string(seq++) + " slot=7 error insufficientResources"));
    EXPECT_EQ(factory.asked, asked + 1);
    EXPECT_EQ(driver.open_count(), 0u);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    if (*row.log)
      EXPECT_THAT(logs.log() + logs.err(), HasSubstr(std::string("rtp[256,256,1024,1024]: ") + row.log));
    else
      EXPECT_EQ(logs.log() + logs.err(), "");
    driver.fail_open(0);
    driver.set_channels(4096, 1024);
  }
}

// Seeding the library's generator does not repeat an SSRC.
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

// Every count is asked again: one the driver no longer gives goes to 0.
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
  std::ostringstream prefix;
  factoryRtp.PutHeader(prefix);
  EXPECT_EQ(prefix.str(), "rtp[31,30,120,60]: ");
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
