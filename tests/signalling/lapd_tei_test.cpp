// The user side's TEI procedure on a basic-rate link, UI frames and the
// statistics record.
#include <gtest/gtest.h>

#include "signalling/lapd.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using ISDN::LAPD;
using ISDN::Side;

namespace {

struct BriUser : Clocked {
  Upper upper;
  RecordingHdlc wire;
  LAPD* lapd;

  BriUser() : lapd(new LAPD(Side::user, 0)) {
    lapd->set_hdlc(&wire);
    lapd->change_to_bri();
    upper.add_protocol_tail(lapd);
  }
  unsigned state() const { return lapd->full_state().state; }
  void rx(const Bytes& frame) { from_below(lapd, frame); }
  // A management message from the network.
  void rx_tei(unsigned short ri, uint8_t type, uint8_t ai) {
    rx({0xFE, 0xFF, 0x03, 0x0F, static_cast<uint8_t>(ri), static_cast<uint8_t>(ri >> 8), type,
        static_cast<uint8_t>(ai << 1 | 1)});
  }
  // The reference of the identity request just sent (checked for its layout).
  unsigned short request() {
    EXPECT_EQ(wire.sent.size(), 1u);
    if (wire.sent.size() != 1)
      return 0;
    Bytes f = wire.sent[0];
    wire.sent.clear();
    EXPECT_EQ(f.size(), 8u);
    EXPECT_EQ(hex(Bytes(f.begin(), f.begin() + 4)), "FC FF 03 0F");
    EXPECT_EQ(hex(Bytes(f.begin() + 6, f.end())), "01 FF");
    return static_cast<unsigned short>(f[4] | f[5] << 8);
  }
};

TEST(LapdTei, RequestsRepeatFiveTimesThenTheLinkGivesUp) {
  BriUser link;
  EXPECT_EQ(link.state(), 0u);
  link.lapd->local_activate();
  EXPECT_EQ(link.state(), 2u);
  link.request();
  for (int i = 0; i < 4; ++i) {
    link.advance(LAPD::T202);
    link.request();
  }
  link.advance(LAPD::T202);
  EXPECT_TRUE(link.wire.sent.empty());
  EXPECT_EQ(link.state(), 0u);
  EXPECT_EQ(link.upper.ends, std::vector<std::string>{"link error (T202 expired N202 times)"});
  // Not wedged: layer 3 asking again, or sending, starts a new request.
  link.lapd->local_activate();
  link.request();
  link.lapd->local_deactivate();
  link.advance(LAPD::T202 * 6);
  link.wire.sent.clear();
  Packet message = packet_of({0x08, 0x01, 0x01, 0x05});
  link.lapd->message(message);
  link.request();
  EXPECT_EQ(link.state(), 1u);
}

TEST(LapdTei, AssignmentEstablishesWhatLayerThreeAskedFor) {
  BriUser link;
  link.lapd->set_log(2);
  testing_support::LogCapture log;
  link.lapd->local_activate();
  unsigned short ri = link.request();
  link.rx_tei(0, 6, 127);  // removal of all TEIs: ours is still being asked for
  EXPECT_TRUE(link.wire.sent.empty());
  link.rx_tei(static_cast<unsigned short>(ri + 1), 2, 64);  // another terminal's answer
  EXPECT_EQ(link.state(), 2u);
  link.rx_tei(ri, 3, 127);
  EXPECT_NE(log.log().find("ASP returned: All TEI's used"), std::string::npos);
  EXPECT_EQ(link.upper.statuses, std::vector<std::string>{"Tei Assign - Tei denied"});
  link.advance(LAPD::T202);
  ri = link.request();
  link.rx_tei(ri, 2, 64);
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 81 7F"});  // SABME on TEI 64
  EXPECT_EQ(link.state(), 4u);
  EXPECT_EQ(link.lapd->full_state().selfTEI, 64);
  EXPECT_EQ(link.upper.statuses.size(), 1u);  // no timer clash reported

  // Frames for another TEI are not ours; the group TEI is.
  link.rx({0x00, 0x0B, 0x73});
  EXPECT_EQ(link.state(), 4u);
  link.rx({0x00, 0x81, 0x73});
  EXPECT_EQ(link.state(), 6u);
  link.rx_tei(0, 4, 127);  // check request
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"FC FF 03 0F " + hex({uint8_t(ri), uint8_t(ri >> 8)}) + " 05 81"});
  link.rx_tei(0, 6, 64);  // removal: the TEI goes, a new request follows
  EXPECT_EQ(link.state(), 1u);
  EXPECT_EQ(link.upper.ends, std::vector<std::string>{"error (MDL-REMOVE received)"});
  link.request();
}

TEST(LapdTei, UiFramesCarryLayerThreeOnBasicRateOnly) {
  BriUser link;
  link.lapd->mdl_assign(70);
  ASSERT_EQ(link.state(), 3u);
  link.wire.sent.clear();
  link.rx({0x02, 0xFF, 0x03, 0x08, 0x01, 0x01, 0x05});  // SETUP broadcast
  ASSERT_EQ(link.upper.up.size(), 1u);
  EXPECT_EQ(hex(link.upper.up[0]), "08 01 01 05");
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 8D 7F"});
  EXPECT_EQ(link.state(), 4u);

  Upper upper;
  RecordingHdlc wire;
  LAPD* pri = new LAPD(Side::user, 0);
  pri->set_hdlc(&wire);
  upper.add_protocol_tail(pri);
  Packet ui = packet_of({0x02, 0x01, 0x03, 0x08, 0x01, 0x01, 0x05});
  pri->receive(ui);
  Packet check = packet_of({0xFE, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x04, 0xFF});
  pri->receive(check);
  EXPECT_TRUE(upper.up.empty());
  EXPECT_TRUE(wire.sent.empty());
}

TEST(LapdTei, LinkInfoReportsOnlyChanges) {
  BriUser link;
  ACP::IsdnLinkInfo info;
  EXPECT_TRUE(link.lapd->GetInfo(info));
  EXPECT_FALSE(link.lapd->GetInfo(info));
  link.lapd->local_activate();
  EXPECT_TRUE(link.lapd->GetInfo(info));
  EXPECT_EQ(info.get_lapdState().getValue(), 2);
  EXPECT_EQ(info.get_queueOut().getValue(), 0);
  testing_support::LogCapture out;
  link.lapd->show_stat();
  EXPECT_NE(out.out().find(" - current state: \n   - state: Establish awaiting TEI\n"), std::string::npos);
  EXPECT_NE(out.out().find("   - timers expire count: T200: 0, T202: 0, T203: 0\n"), std::string::npos);
}

}  // namespace
