// An RTP slot through its life against the simulated drivers: the requests
// on its sessions, codec changes that restart the session, the driver's
// events, packet detection, the controller's ioctls, and the RTCP packets
// it sends, read by an independent dissector.
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

class RtpSlotTest : public RtpTest {
protected:
  void SetUp() override {
    RtpTest::SetUp();
    create(1, 1, 40, 41);  // a fake TDM slot: transmits on 40, receives on 41
    ASSERT_EQ(replies(1).size(), 1u);
    ASSERT_EQ(Created(2, Request()).size(), 3u);
    session = &driver.last();
    prefix = "rtp[" + std::to_string(session->channel()) + "]: ";
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
  // The answer to an ioctl to the slot.
  std::string Answer(const std::function<void(LGCP::IoctlParams&)>& fill) {
    Ioctl(9, 2, fill);
    std::vector<std::string> r = replies(1);
    return r.size() == 1 ? r[0].substr(r[0].rfind(' ') + 1) : "?";
  }
  static std::function<void(LGCP::IoctlParams&)> Codec(bool encoder, LGCP::CodecMode::NamedNumber mode) {
    return [=](LGCP::IoctlParams& p) { (encoder ? p.select_encoder_mode() : p.select_decoder_mode()) = mode; };
  }

  SimBoard::RtpSession* session = nullptr;
  std::string prefix;
};

TEST_F(RtpSlotTest, RequestsThroughAWholeLife) {
  const int channel = session->channel();
  std::vector<std::string> sdes = rtcp.received();
  ASSERT_EQ(sdes.size(), 1u);
  EXPECT_EQ(sdes[0].substr(0, 2), "\x81\xca");

  connect(3, 1, 2);  // the fake slot feeds the RTP slot: its input goes on
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal transmitter active 40", "seq=3 slot=1 success"));
  EXPECT_EQ(board.hal().output(channel).source, 40);
  simple(4, 2, LGCP::Command::alt_disconnect);
  connect(5, 2, 1);  // as a source it transmits on its channel; its input stays off
  EXPECT_THAT(replies(3), ElementsAre("seq=4 slot=2 success", "slot=1 signal receiver active 41",
                                      "seq=5 slot=2 success"));
  EXPECT_EQ(board.hal().output(41).source, channel);
  connect(6, 1, 2);
  replies(1);
  EXPECT_EQ(session->requests(),
            (Requests{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn, Rtp::InputOff, Rtp::InputOn}));

  // A codec change re-creates the session on the same channel; the old one
  // closes, the input comes back on, and the new session's events are read.
  EXPECT_EQ(Answer(Codec(true, LGCP::CodecMode::alaw)), "success");
  SimBoard::RtpSession& second = driver.last();
  EXPECT_FALSE(session->open());
  EXPECT_EQ(second.params().ssrc, session->params().ssrc);
  EXPECT_EQ(second.channel_record().tdm, channel);
  EXPECT_EQ(second.requests(), (Requests{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn}));
  second.event(1, 7, 300);
  EXPECT_THAT(RtpSignals(), ElementsAre("7/300"));

  // lbrc goes back to the payload the session was created with; once
  // there, nothing restarts.
  const size_t sessions = driver.session_count();
  EXPECT_EQ(Answer(Codec(true, LGCP::CodecMode::lbrc)), "success");
  EXPECT_EQ(Answer(Codec(true, LGCP::CodecMode::lbrc)), "success");
  EXPECT_EQ(Answer(Codec(false, LGCP::CodecMode::ulaw)), "success");
  SimBoard::RtpSession& last = driver.last();
  EXPECT_EQ(driver.session_count(), sessions + 2);
  EXPECT_EQ(std::make_pair(int(last.params().tx_pt), int(last.params().rx_pt)), std::make_pair(18, 0));

  // Destruction: disconnected, the release sequence, the switch output
  // off, the goodbye.
  Destroy(11, 2);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=2 success", "seq=11 slot=2 success"));
  EXPECT_EQ(last.requests(), (Requests{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn, Rtp::InputOff,
                                       Rtp::Release1, Rtp::Release2, Rtp::Release3, Rtp::ResetEvents}));
  EXPECT_FALSE(last.open());
  EXPECT_EQ(board.hal().output(channel).kind, SimBoard::Hal::Kind::Disabled);
  std::vector<std::string> bye = rtcp.received();
  ASSERT_EQ(bye.size(), 1u);
  EXPECT_EQ(bye[0].substr(9), "session end");
}

TEST_F(RtpSlotTest, DriverEventsAreDrainedUntilTheQueueEnds) {
  session->event(1, 1, 10);
  session->event(2, 5, 5);  // logged only
  session->event(1, 2, 20);
  EXPECT_THAT(RtpSignals(), ElementsAre("1/10", "2/20"));
  EXPECT_THAT(logs.log(), HasSubstr(prefix + "rtp event:  type=1\n" + prefix + "rtp event:  type=2\n"));

  // A short record or a failed read ends a drain; what follows is read on
  // the next readiness.
  session->inject({0, 0, 0, 1, 0, 0, 0, 9, 0, 0});  // a PD event cut short
  session->event(1, 3, 30);
  session->inject_read_error(EIO);
  session->event(1, 4, 40);
  EXPECT_THAT(RtpSignals(), ElementsAre("3/30", "4/40"));
  EXPECT_THAT(logs.err(), HasSubstr(prefix + "fail to read from rtp: Input/output error"));

  // End of file stops the watch instead of waking the loop on every turn.
  logs.clear();
  session->inject(SimBoard::Bytes());
  session->event(1, 5, 50);
  EXPECT_THAT(RtpSignals(), IsEmpty());
  EXPECT_EQ(logs.err(), prefix + "rtp session lost, events no longer read\n");
}

TEST_F(RtpSlotTest, PacketDetectionAndAFailedRestart) {
  using P = LGCP::IoctlParams;
  EXPECT_EQ(Answer([](P& p) { p.select_pd_enable().set_timeout(250); }), "success");
  EXPECT_EQ(session->pd_timeout(), 250u);
  EXPECT_EQ(Answer([](P& p) { p.select_pd_disable(); }), "success");
  EXPECT_FALSE(session->pd());
  logs.clear();
  driver.fail(Rtp::SetEvents, EIO, 1);
  EXPECT_EQ(Answer([](P& p) { p.select_pd_enable().set_timeout(250); }), "unsupported");
  // A restart that fails leaves the slot without a session.
  driver.fail(Rtp::AddChannel, EIO, 1);
  EXPECT_EQ(Answer(Codec(false, LGCP::CodecMode::alaw)), "unsupported");
  EXPECT_EQ(Answer([](P& p) { p.select_pd_disable(); }), "unsupported");
  EXPECT_EQ(logs.err(), prefix + "RTP SET EVENT PD fail: errno=\"Input/output error\"\n" + prefix +
                            "add channel fail !!!\n" + prefix + "fail to restart RTP session!\n" + prefix +
                            "RTP RESET EVENT PD fail: errno=\"Bad file descriptor\"\n");
  EXPECT_EQ(driver.open_count(), 0u);
  Destroy(3, 2);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=2 success", "seq=3 slot=2 success"));
}

TEST_F(RtpSlotTest, IoctlsReachTheirDevices) {
  using P = LGCP::IoctlParams;
  const unsigned ts = static_cast<unsigned>(session->channel());
  EXPECT_EQ(Answer([](P& p) { p.select_echoSuppressor() = true; }), "success");
  EXPECT_TRUE(board.dtmf().channel(ts).lms);
  EXPECT_EQ(Answer([](P& p) { p.select_dtmf_enable() = true; }), "success");
  EXPECT_EQ(Answer([](P& p) { p.select_dtmf_reject_enable() = true; }), "success");
  EXPECT_TRUE(board.dtmf().channel(ts).dtmf);
  EXPECT_TRUE(board.dtmf().channel(ts).reject);
  EXPECT_EQ(Answer([](P& p) { p.select_vad_enable() = true; }), "success");
  EXPECT_EQ(Answer([](P& p) { p.select_sd_enable() = true; }), "success");
  EXPECT_EQ(Answer([](P& p) { p.select_sd_disable(); }), "success");
  EXPECT_EQ(Answer([](P& p) {
              LGCP::ToneFilter& f = p.select_tone_filter();
              f.set_freq(2100);
              f.set_enable(true);
              f.set_duration_th_msec(40);
              f.set_det_level_dB(-30);
            }),
            "success");
  EXPECT_EQ(board.dsp().features(ts), uint32_t(SimBoard::Dsp::Vad));
  EXPECT_EQ(Answer([](P& p) { p.select_rx_gain().set_gainDB(6); }), "success");

  // What the slot leaves to the framework's defaults, and what it does not serve.
  for (int alternative : {P::alt_dtmf_disable, P::alt_mute_enable, P::alt_delays, P::alt_tone_gen_enable})
    EXPECT_EQ(Answer([&](P& p) {
                const ASN1::AbstractData::InfoType* info = p.info()->selectionInfos[alternative];
                p.setSelection(alternative, info->create(info));
              }),
              "unsupported");
  simple(4, 2, LGCP::Command::alt_deactivate);
  EXPECT_THAT(replies(1), ElementsAre("seq=4 slot=2 error unsupported"));

  // The slot's destruction switches off what the tone and DSP drivers do
  // for it, sets the receive gain back and turns its tone filters off.
  logs.clear();
  Destroy(3, 2);
  replies(2);
  EXPECT_FALSE(board.dtmf().channel(ts).dtmf);
  EXPECT_FALSE(board.dtmf().channel(ts).reject);
  EXPECT_EQ(board.dsp().features(ts), 0u);
  EXPECT_EQ(board.dsp().requests(SimBoard::Dsp::Disable).back().in,
            SimBoard::words({ts, 0, SimBoard::Dsp::ToneFilter}));
  EXPECT_THAT(logs.log(), HasSubstr("DSPROC_CONFIGURE RX GAIN ts=" + std::to_string(ts) + " gain_dB=0\n"));
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
