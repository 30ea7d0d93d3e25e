// An RTP slot through its life against the simulated drivers: the requests
// on its sessions, codec changes that restart the session, the driver's
// events, the controller's ioctls, and the RTCP packets it sends, read by
// an independent dissector.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "simboard/dsp.h"
#include "simboard/dtmf.h"
#include "simboard/hal.h"
#include "tests/rtp/rtp_fixture.h"
#include "tests/support/external_tools.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using Requests = std::vector<unsigned long>;
using SimBoard::Rtp;

namespace control_test {

namespace {

uint32_t Word(const std::string& bytes, size_t at) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

}  // namespace

class RtpSlotTest : public RtpTest {
protected:
  void SetUp() override {
    RtpTest::SetUp();
    create(1, 1, 40, 41);  // a fake TDM slot: transmits on 40, receives on 41
    ASSERT_EQ(replies(1).size(), 1u);
    ASSERT_EQ(Created(2, Request()).size(), 3u);
    session = &driver.last();
    channel = session->channel();
  }
  // The `rtp` signals the controller got since the last call, as "value/timeout".
  std::vector<std::string> RtpSignals() {
    runner.turn(3);
    ctl.drain();
    std::vector<std::string> seen;
    for (const LGCP::Signal& s : probe.received)
      if (s.is_rtp())
        seen.push_back(std::to_string(s.get_rtp().get_pd().get_value().getValue()) + "/" +
                       std::to_string(s.get_rtp().get_pd().get_timeout().getValue()));
    probe.received.clear();
    return seen;
  }
  std::string Answer(const std::function<void(LGCP::IoctlParams&)>& fill) {
    Ioctl(9, 2, fill);
    std::vector<std::string> r = replies(1);
    return r.size() == 1 ? r[0].substr(r[0].rfind(' ') + 1) : "?";
  }

  SimBoard::RtpSession* session = nullptr;
  int channel = -1;
};

TEST_F(RtpSlotTest, RequestsThroughAWholeLife) {
  std::vector<std::string> sdes = rtcp.received();
  ASSERT_EQ(sdes.size(), 1u);
  EXPECT_EQ(Word(sdes[0], 4), session->params().ssrc);

  connect(3, 1, 2);  // the fake slot feeds the RTP slot: its input goes on
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal transmitter active 40", "seq=3 slot=1 success"));
  EXPECT_EQ(board.hal().output(channel).source, 40);
  EXPECT_TRUE(session->input());
  simple(4, 2, LGCP::Command::alt_disconnect);
  EXPECT_THAT(replies(1), ElementsAre("seq=4 slot=2 success"));
  EXPECT_FALSE(session->input());
  connect(5, 2, 1);  // as a source it transmits on its channel; its input stays off
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal receiver active 41", "seq=5 slot=2 success"));
  EXPECT_EQ(board.hal().output(41).source, channel);
  connect(6, 1, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=6 slot=1 success"));
  EXPECT_EQ(session->requests(),
            (Requests{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn, Rtp::InputOff, Rtp::InputOn}));

  // A codec change re-creates the session on the same channel; the old one
  // closes, the input comes back on, and the new session's events are read.
  logs.clear();
  Ioctl(7, 2, [](LGCP::IoctlParams& p) { p.select_encoder_mode() = LGCP::CodecMode::alaw; });
  EXPECT_THAT(replies(1), ElementsAre("seq=7 slot=2 success"));
  SimBoard::RtpSession& second = driver.last();
  EXPECT_FALSE(session->open());
  EXPECT_EQ(second.params().tx_pt, 8);
  EXPECT_EQ(second.params().rx_pt, 18);
  EXPECT_EQ(second.params().ssrc, session->params().ssrc);
  EXPECT_EQ(second.channel_record().tdm, channel);
  EXPECT_EQ(second.channel(), channel);
  EXPECT_EQ(second.requests(), (Requests{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn}));
  EXPECT_THAT(logs.log(), HasSubstr("rtp[" + std::to_string(channel) +
                                    "]: do restart RTP session (change tx payload):alaw - OK\n"));
  second.event(1, 7, 300);
  EXPECT_THAT(RtpSignals(), ElementsAre("7/300"));

  // lbrc goes back to the payload the session was created with; once there,
  // nothing restarts.
  Ioctl(8, 2, [](LGCP::IoctlParams& p) { p.select_encoder_mode() = LGCP::CodecMode::lbrc; });
  Ioctl(9, 2, [](LGCP::IoctlParams& p) { p.select_encoder_mode() = LGCP::CodecMode::lbrc; });
  Ioctl(10, 2, [](LGCP::IoctlParams& p) { p.select_decoder_mode() = LGCP::CodecMode::ulaw; });
  EXPECT_THAT(replies(3), ElementsAre("seq=8 slot=2 success", "seq=9 slot=2 success", "seq=10 slot=2 success"));
  EXPECT_THAT(logs.log(), HasSubstr("(change tx payload):lbrc - Nothing to do\n"));
  SimBoard::RtpSession& last = driver.last();
  EXPECT_EQ(driver.session_count(), second.number() + 3 - session->number());
  EXPECT_EQ(last.params().tx_pt, 18);
  EXPECT_EQ(last.params().rx_pt, 0);

  // Destruction: disconnected, the release sequence, the switch output off,
  // the goodbye.
  rtcp.received();
  Destroy(11, 2);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=2 success", "seq=11 slot=2 success"));
  EXPECT_EQ(last.requests(), (Requests{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn, Rtp::InputOff,
                                       Rtp::Release1, Rtp::Release2, Rtp::Release3, Rtp::ResetEvents}));
  EXPECT_FALSE(last.open());
  EXPECT_EQ(board.hal().output(channel).kind, SimBoard::Hal::Kind::Disabled);
  std::vector<std::string> bye = rtcp.received();
  ASSERT_EQ(bye.size(), 1u);
  EXPECT_EQ(bye[0].substr(0, 2), "\x81\xcb");
  EXPECT_EQ(bye[0].substr(9), "session end");
}

TEST_F(RtpSlotTest, AFailedRestartLeavesTheSlotWithoutSession) {
  driver.fail(Rtp::AddChannel, EIO, 1);
  logs.clear();
  Ioctl(3, 2, [](LGCP::IoctlParams& p) { p.select_decoder_mode() = LGCP::CodecMode::alaw; });
  EXPECT_THAT(replies(1), ElementsAre("seq=3 slot=2 error unsupported"));
  std::string prefix = "rtp[" + std::to_string(channel) + "]: ";
  EXPECT_EQ(logs.err(), prefix + "add channel fail !!!\n" + prefix + "fail to restart RTP session!\n");
  EXPECT_EQ(driver.open_count(), 0u);
  EXPECT_FALSE(Rtp(2)->watch().fd());
  Ioctl(4, 2, [](LGCP::IoctlParams& p) { p.select_pd_disable(); });
  Destroy(5, 2);
  EXPECT_THAT(replies(3), ElementsAre("seq=4 slot=2 error unsupported", "seq=0 slot=2 success",
                                      "seq=5 slot=2 success"));
}

TEST_F(RtpSlotTest, DriverEventsAreDrainedUntilTheQueueEnds) {
  session->event(1, 1, 10);
  session->event(2, 5, 5);  // logged only
  session->event(1, 2, 20);
  runner.turn();
  EXPECT_THAT(RtpSignals(), ElementsAre("1/10", "2/20"));
  std::string prefix = "rtp[" + std::to_string(channel) + "]: rtp event:  type=";
  EXPECT_THAT(logs.log(), HasSubstr(prefix + "1\n" + prefix + "2\n" + prefix + "1\n"));

  // A short record or a failed read ends a drain; what follows is read on
  // the next readiness.
  session->inject(SimBoard::Bytes(10, 0));
  session->event(1, 3, 30);
  session->inject_read_error(EIO);
  session->event(1, 4, 40);
  EXPECT_THAT(RtpSignals(), ElementsAre("3/30", "4/40"));
  EXPECT_THAT(logs.err(), HasSubstr("rtp[" + std::to_string(channel) + "]: fail to read from rtp: Input/output error"));

  // End of file stops the watch instead of waking the loop on every turn.
  logs.clear();
  session->inject(SimBoard::Bytes());
  session->event(1, 5, 50);
  EXPECT_THAT(RtpSignals(), IsEmpty());
  EXPECT_FALSE(Rtp(2)->watch().fd());
  EXPECT_EQ(logs.err(), "rtp[" + std::to_string(channel) + "]: rtp session lost, events no longer read\n");
}

TEST_F(RtpSlotTest, IoctlsReachTheirDevices) {
  const unsigned ts = static_cast<unsigned>(channel);
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_echoSuppressor() = true; }), "success");
  EXPECT_TRUE(board.dtmf().channel(ts).lms);
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_dtmf_enable() = true; }), "success");
  EXPECT_TRUE(board.dtmf().channel(ts).dtmf);
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_vad_enable() = true; }), "success");
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_sd_enable() = true; }), "success");
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_sd_disable(); }), "success");
  EXPECT_EQ(board.dsp().features(ts), uint32_t(SimBoard::Dsp::Vad));
  logs.clear();
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_pd_enable().set_timeout(250); }), "success");
  EXPECT_TRUE(session->pd());
  EXPECT_EQ(session->pd_timeout(), 250u);
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_pd_disable(); }), "success");
  EXPECT_FALSE(session->pd());
  driver.fail(Rtp::SetEvents, EIO, 1);
  EXPECT_EQ(Answer([](LGCP::IoctlParams& p) { p.select_pd_enable().set_timeout(250); }), "unsupported");
  std::string prefix = "rtp[" + std::to_string(channel) + "]: ";
  EXPECT_THAT(logs.log(), HasSubstr(prefix + "RTP SET EVENT PD timeout=250\n" + prefix + "RTP RESET EVENT PD\n"));
  EXPECT_EQ(logs.err(), prefix + "RTP SET EVENT PD fail: errno=\"Input/output error\"\n");

  // What the slot leaves to the framework's defaults, and what it does not serve.
  for (int alternative : {LGCP::IoctlParams::alt_dtmf_disable, LGCP::IoctlParams::alt_mute_enable,
                          LGCP::IoctlParams::alt_delays, LGCP::IoctlParams::alt_tone_gen_enable})
    EXPECT_EQ(Answer([&](LGCP::IoctlParams& p) {
                const ASN1::AbstractData::InfoType* info = p.info()->selectionInfos[alternative];
                p.setSelection(alternative, info->create(info));
              }),
              "unsupported");
  simple(4, 2, LGCP::Command::alt_deactivate);
  EXPECT_THAT(replies(1), ElementsAre("seq=4 slot=2 error unsupported"));

  // The slot's destruction switches off what the tone and DSP drivers do for it.
  Destroy(3, 2);
  replies(2);
  EXPECT_FALSE(board.dtmf().channel(ts).dtmf);
  EXPECT_EQ(board.dsp().features(ts), 0u);
}

// tshark's RTCP dissector reads the source description and the goodbye as
// they left the slot's socket.
TEST_F(RtpSlotTest, TsharkReadsTheSourceDescriptionAndGoodbye) {
  if (!testing_support::have_program("tshark") || !testing_support::have_program("text2pcap"))
    GTEST_SKIP() << "tshark or text2pcap is not installed: external RTCP check skipped";
  std::vector<std::string> packets = rtcp.received();
  Destroy(3, 2);
  replies(2);
  for (const std::string& bye : rtcp.received())
    packets.push_back(bye);
  ASSERT_EQ(packets.size(), 2u);

  testing_support::ScratchDir dir("rtcp");
  {
    std::ofstream text(dir.path() + "/rtcp.txt");
    for (const std::string& packet : packets)
      text << testing_support::text2pcap_input(packet, packet.size());
  }
  const std::string port = std::to_string(rtcp.port());
  std::string seen = testing_support::command_output(
      "text2pcap -q -u 40001," + port + " " + dir.path() + "/rtcp.txt " + dir.path() + "/rtcp.pcap >/dev/null 2>&1 && " +
      "tshark 2>/dev/null -r " + dir.path() + "/rtcp.pcap -d udp.port==" + port + ",rtcp -T fields -E 'separator=|' " +
      "-e rtcp.version -e rtcp.pt -e rtcp.length -e rtcp.ssrc.identifier -e rtcp.sdes.type -e rtcp.sdes.length " +
      "-e rtcp.sdes.text -e rtcp.length_check");
  char ssrc[16];
  snprintf(ssrc, sizeof ssrc, "0x%08x", session->params().ssrc);
  EXPECT_EQ(seen, "2|202|" + std::to_string(packets[0].size() / 4 - 1) + "|" + ssrc +
                      "|1,3,4,0|16,32,11|Corvala Meshvane,support@corvala-meshvane.example,+1 555 0100|1\n" +
                      "2|203|4|" + ssrc + "||11|session end|1\n");
}

}  // namespace control_test
