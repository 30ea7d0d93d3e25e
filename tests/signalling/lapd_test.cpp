// The Q.921 data link driven frame by frame over a recording channel, with
// the loop's clock under the test's control: the event and state table,
// timers, queues, bad frames, and the user side's TEI procedure on a
// basic-rate link with its UI frames and statistics record.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "signalling/lapd.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using ISDN::LAPD;
using ISDN::Side;

namespace {

// A link as its only layer in a family, over a recording channel.
struct Link : Clocked {
  Upper upper;
  RecordingHdlc wire;
  LAPD* lapd;

  explicit Link(Side::type side = Side::user, bool bri = false) : lapd(new LAPD(side, 0)) {
    lapd->set_hdlc(&wire);
    if (bri)
      lapd->change_to_bri();
    upper.add_protocol_tail(lapd);
  }
  unsigned state() const { return lapd->full_state().state; }
  void rx(const Bytes& frame) { from_below(lapd, frame); }
  void send(const Bytes& message) { from_above(lapd, message); }
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
  // From a fresh primary-rate user-side link (state 3) to the given state.
  void bring_to(unsigned target) {
    if (target >= 4)
      lapd->local_activate();  // SABME
    if (target >= 5 && target != 4) {
      rx({0x00, 0x01, 0x73});  // UA F=1
      if (target == 5)
        lapd->local_deactivate();  // DISC
      if (target == 7)
        advance(LAPD::T203);  // RR enquiry
    }
    ASSERT_EQ(state(), target);
    wire.sent.clear();
    upper.statuses.clear();
    upper.ends.clear();
    upper.activations = 0;
  }
};

// Frames the user side receives: commands carry C/R = 1, responses C/R = 0.
const Bytes SabmeCmd = {0x02, 0x01, 0x7F};
const Bytes DiscCmd = {0x02, 0x01, 0x53};
const Bytes UaF1 = {0x00, 0x01, 0x73}, UaF0 = {0x00, 0x01, 0x63};
const Bytes DmF1 = {0x00, 0x01, 0x1F}, DmF0 = {0x00, 0x01, 0x0F};
const Bytes Frmr = {0x00, 0x01, 0x87, 0x00, 0x00, 0x00};
const Bytes RrCmdP = {0x02, 0x01, 0x01, 0x01}, RrRespF = {0x00, 0x01, 0x01, 0x01};
const Bytes RnrRespF = {0x00, 0x01, 0x05, 0x01}, RrBadNr = {0x00, 0x01, 0x01, 0x0A};
const Bytes IFrameP = {0x02, 0x01, 0x00, 0x01, 0x08, 0x01, 0x81, 0x07};
const Bytes IOutOfSeq = {0x02, 0x01, 0x06, 0x00, 0x08, 0x01, 0x81, 0x07};
// What the user side sends: responses C/R = 1, commands C/R = 0.
const char* const UaSent = "02 01 73";
const char* const DmSent = "02 01 1F";
const char* const SabmeSent = "00 01 7F";

// The flow status changes a link reports, in order.
struct FlowLog : LAPD::Notify {
  std::vector<int> changes;
  void OnLAPD_FlowStatusChange(LAPD* l) override { changes.push_back(l->flow_status()); }
};

struct Cell {
  unsigned state;
  Bytes frame;
  std::vector<std::string> sent;
  unsigned next;
  std::vector<std::string> statuses;
  std::string end;
  int activations;
};

TEST(Lapd, EventStateTable) {
  const Cell cells[] = {
      {3, SabmeCmd, {UaSent}, 6, {}, "", 1},
      {4, SabmeCmd, {UaSent}, 4, {}, "", 0},
      {5, SabmeCmd, {DmSent}, 5, {}, "", 0},
      {6, SabmeCmd, {UaSent}, 6, {"Peer initiated re-establishment - SABME"}, "", 1},
      {7, SabmeCmd, {UaSent}, 6, {"Peer initiated re-establishment - SABME"}, "", 1},
      {3, DiscCmd, {DmSent}, 3, {}, "", 0},
      {4, DiscCmd, {DmSent}, 4, {}, "", 0},
      {5, DiscCmd, {UaSent}, 5, {}, "", 0},
      {6, DiscCmd, {UaSent}, 3, {}, "remote error (DISC received)", 0},
      {7, DiscCmd, {UaSent}, 3, {}, "remote error (DISC received)", 0},
      {3, UaF1, {}, 3, {"Other - Unknown"}, "", 0},
      {4, UaF0, {}, 4, {"UA (F = 0)"}, "", 0},
      {4, UaF1, {}, 6, {}, "", 1},
      {5, UaF1, {}, 3, {}, "success (UA received)", 0},
      {5, UaF0, {}, 5, {"UA (F = 0)"}, "", 0},
      {6, UaF1, {}, 6, {"Other - Unknown"}, "", 0},
      {3, DmF0, {SabmeSent}, 4, {}, "", 0},
      {3, DmF1, {}, 3, {}, "", 0},
      {4, DmF1, {}, 3, {}, "error (DM received)", 0},
      {5, DmF1, {}, 3, {}, "error (DM received)", 0},
      {6, DmF1, {}, 6, {"DM (F = 1)"}, "", 0},
      {6, DmF0, {SabmeSent}, 4, {"Receipt of DM response (F = 0)"}, "", 0},
      {7, DmF1, {SabmeSent}, 4, {"DM (F = 1)"}, "", 0},
      {6, Frmr, {SabmeSent}, 4, {"Other - Receipt of FRMR response"}, "", 0},
      {3, Frmr, {}, 3, {}, "", 0},
      {6, RrCmdP, {"02 01 01 01"}, 6, {}, "", 0},
      {6, RrRespF, {}, 6, {}, "", 0},
      {6, RnrRespF, {}, 6, {"Supervisory (F = 1)"}, "", 0},
      {6, RrBadNr, {SabmeSent}, 4, {"Other - N(R) error"}, "", 0},
      {7, RrCmdP, {"02 01 01 01"}, 7, {}, "", 0},
      {7, RrRespF, {}, 6, {}, "", 0},
      {7, RrBadNr, {SabmeSent}, 4, {"Other - N(R) error"}, "", 0},
      {3, RrCmdP, {}, 3, {}, "", 0},
      {6, IFrameP, {"02 01 01 03"}, 6, {}, "", 0},
      {7, IFrameP, {"02 01 01 03"}, 7, {}, "", 0},
      {6, IOutOfSeq, {"02 01 09 00"}, 6, {}, "", 0},
      {4, IFrameP, {}, 4, {}, "", 0},
  };
  for (const Cell& cell : cells) {
    SCOPED_TRACE("state " + std::to_string(cell.state) + " frame " + hex(cell.frame));
    Link link;
    link.bring_to(cell.state);
    link.rx(cell.frame);
    EXPECT_EQ(link.wire.take(), cell.sent);
    EXPECT_EQ(link.state(), cell.next);
    EXPECT_EQ(link.upper.statuses, cell.statuses);
    EXPECT_EQ(link.upper.ends, cell.end.empty() ? std::vector<std::string>{} : std::vector<std::string>{cell.end});
    EXPECT_EQ(link.upper.activations, cell.activations);
  }
}

// The network side sends commands with C/R = 1 and responses with C/R = 0,
// I frames included, and passes layer 3 both ways.
TEST(Lapd, NetworkSideAddressesAndLayerThreeBothWays) {
  Link link(Side::network);
  link.rx({0x00, 0x01, 0x7F});  // SABME command from the user: C/R = 0
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 73"});
  ASSERT_EQ(link.state(), 6u);
  link.send({0x08, 0x01, 0x01, 0x05});
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"02 01 00 00 08 01 01 05"});
  link.rx({0x00, 0x01, 0x00, 0x02, 0x08, 0x01, 0x81, 0x01});  // ALERTING, acknowledges the SETUP
  ASSERT_EQ(link.upper.up.size(), 1u);
  EXPECT_EQ(hex(link.upper.up[0]), "08 01 81 01");
  EXPECT_EQ(link.lapd->ack_queue(), 0u);
  // The acknowledgement it owes goes out at once as RR response.
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 01 02"});
}

TEST(Lapd, WindowAcknowledgementAndTimers) {
  Link link;
  link.bring_to(6);
  for (int i = 0; i < 8; ++i)
    link.send({0x08, 0x01, 0x01, static_cast<uint8_t>(i)});
  std::vector<std::string> sent = link.wire.take();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[6], "00 01 0C 00 08 01 01 06");
  EXPECT_EQ(link.lapd->out_queue(), 1u);
  EXPECT_TRUE(link.lapd->full_state().T200run);
  // RR acknowledging two frames restarts T200; the eighth frame goes out.
  link.rx({0x00, 0x01, 0x01, 0x04});
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 0E 00 08 01 01 07"});
  // All acknowledged: T200 stops and T203 runs.
  link.rx({0x00, 0x01, 0x01, 0x10});
  EXPECT_FALSE(link.lapd->full_state().T200run);
  EXPECT_TRUE(link.lapd->full_state().T203run);
  EXPECT_EQ(link.lapd->ack_queue(), 0u);

  // Two unacknowledged frames, then silence: T200 sends the enquiry.
  link.send({0x08, 0x01, 0x01, 0x10});
  link.send({0x08, 0x01, 0x01, 0x11});
  link.wire.sent.clear();
  link.rx(UaF1);  // unsolicited: the unacknowledged frames stay as they are
  EXPECT_EQ(link.lapd->ack_queue(), 2u);
  link.advance(LAPD::T200);
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 01 01"});
  EXPECT_EQ(link.state(), 7u);
  // The answer acknowledges one: the other is sent again with its N(S).
  link.rx({0x00, 0x01, 0x01, 0x13});
  EXPECT_EQ(link.state(), 6u);
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 12 00 08 01 01 11"});
  EXPECT_EQ(link.lapd->stats()[LAPD::Stats::Retrains], 1u);
}

TEST(Lapd, EnquiryRecoveryAndExhaustion) {
  Link link;
  link.bring_to(6);
  link.advance(LAPD::T203);  // idle: enquiry, then the answer ends timer recovery
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 01 01"});
  EXPECT_EQ(link.state(), 7u);
  link.rx(RrRespF);
  EXPECT_EQ(link.state(), 6u);

  link.send({0x08, 0x01, 0x01, 0x05});
  link.advance(LAPD::T200);  // the first enquiry
  link.advance(LAPD::T200);
  link.advance(LAPD::T200);
  EXPECT_EQ(link.wire.take(), (std::vector<std::string>{"00 01 00 00 08 01 01 05", "00 01 01 01", "00 01 01 01",
                                                        "00 01 01 01"}));
  EXPECT_EQ(link.state(), 7u);
  link.advance(LAPD::T200);  // the third expiry after the first enquiry
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{SabmeSent});
  EXPECT_EQ(link.state(), 4u);
  EXPECT_EQ(link.upper.statuses,
            std::vector<std::string>{"Unsuccessful retransmission (N200 times) - Status enquiry"});
  // SABME three more times, then the link gives up.
  for (int i = 0; i < 3; ++i)
    link.advance(LAPD::T200);
  EXPECT_EQ(link.wire.take(), std::vector<std::string>(3, SabmeSent));
  link.advance(LAPD::T200);
  EXPECT_EQ(link.state(), 3u);
  EXPECT_EQ(link.upper.ends, std::vector<std::string>{"link error (T200 expired N200 times)"});
  EXPECT_EQ(link.lapd->stats()[LAPD::Stats::T200Expiries], 8u);
  EXPECT_EQ(link.lapd->stats()[LAPD::Stats::T203Expiries], 1u);
}

TEST(Lapd, QueueLimitsFlowStatusAndRefusedFrames) {
  FlowLog flow;
  Link link;
  link.lapd->set_notify(&flow);
  link.bring_to(4);  // link down: everything queues
  testing_support::LogCapture quiet;
  for (int i = 0; i < 129; ++i) {
    link.send({0x08, 0x01, 0x01, 0x05});
    if (i == 87) {
      EXPECT_TRUE(flow.changes.empty());
    }
  }
  EXPECT_EQ(flow.changes, std::vector<int>{LAPD::FlowStatus::busy});
  EXPECT_EQ(link.lapd->out_queue(), 128u);
  EXPECT_EQ(link.lapd->stats()[LAPD::Stats::OutOverflows], 1u);
  Packet empty = packet_of({});
  link.lapd->message(empty);
  EXPECT_EQ(link.lapd->stats()[LAPD::Stats::EmptyMessages], 1u);
  EXPECT_EQ(link.lapd->stats()[LAPD::Stats::L3Messages], 130u);

  // Up, with the channel refusing: nothing leaves the queue until it is ready.
  link.wire.refuse = true;
  link.rx(UaF1);
  EXPECT_EQ(link.lapd->out_queue(), 128u);
  link.wire.refuse = false;
  link.lapd->on_hdlc_ready();
  EXPECT_EQ(link.wire.take().size(), 7u);
  // Acknowledgements drain the queue; at 64 queued the flow clears.
  for (unsigned k = 1; link.lapd->out_queue() >= 65; ++k) {
    EXPECT_EQ(flow.changes.size(), 1u);
    link.rx({0x00, 0x01, 0x01, static_cast<uint8_t>(((7 * k) & 127) << 1)});
  }
  EXPECT_EQ(flow.changes, (std::vector<int>{LAPD::FlowStatus::busy, LAPD::FlowStatus::clear}));
}

// Without a free buffer the link sends nothing and loses nothing it holds:
// a frame it owes is lost, a queued message goes out once buffers are back.
TEST(Lapd, AnEmptyPoolCostsFramesNotTheLink) {
  Link link;
  link.bring_to(6);
  Packet iframe = packet_of(IFrameP);
  Packet message = packet_of({0x08, 0x01, 0x01, 0x05});
  {
    PoolHog hog;
    link.lapd->receive(iframe);  // owes RR F = 1
    link.lapd->message(message);
    link.advance(LAPD::T203);  // an enquiry, lost too: timer recovery
    EXPECT_TRUE(link.wire.sent.empty());
    EXPECT_EQ(link.upper.up.size(), 1u);
    EXPECT_EQ(link.lapd->out_queue(), 1u);
    EXPECT_EQ(link.state(), 7u);
  }
  link.rx(RrRespF);  // back to state 6: the message goes out
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 01 00 02 08 01 01 05"});
  EXPECT_EQ(link.state(), 6u);
}

TEST(Lapd, MalformedFramesNeverAbort) {
  std::mt19937 random(18);
  for (unsigned start : {3u, 4u, 6u, 7u}) {
    for (Side::type side : {Side::user, Side::network}) {
      Link link(side);
      link.lapd->set_log(4);
      testing_support::LogCapture quiet;
      if (side == Side::user)
        link.bring_to(start);
      for (unsigned len = 0; len <= 8; ++len) {
        for (int round = 0; round < 200; ++round) {
          Bytes frame(len);
          for (uint8_t& b : frame)
            b = static_cast<uint8_t>(random());
          if (round % 2 && len >= 2) {  // well-formed address, for our TEI
            frame[0] &= 0xFE;
            frame[1] = 0x01;
          }
          link.rx(frame);
          link.send(frame);
        }
      }
    }
  }
  // Too short to carry what its control octet announces.
  Link link;
  link.bring_to(6);
  link.rx({0x00, 0x01});
  link.rx({0x00, 0x01, 0x01});
  EXPECT_EQ(link.upper.statuses, std::vector<std::string>(2, "Other - Receipt of frame with wrong size"));
  EXPECT_EQ(link.state(), 6u);
  // A bad EA bit in either address octet drops the frame without a word.
  link.rx({0x01, 0x01, 0x7F});
  link.rx({0x02, 0x00, 0x7F});
  EXPECT_TRUE(link.wire.sent.empty());
  EXPECT_EQ(link.upper.statuses.size(), 2u);
}

// From log level 3 each frame is traced decoded, labelled with the
// direction it really travels.
TEST(Lapd, TracesAreTheDecodedFrames) {
  Link link;
  link.lapd->set_id(3);
  link.lapd->set_log(3);
  testing_support::LogCapture log;
  link.lapd->local_activate();
  link.rx(UaF1);
  EXPECT_NE(log.log().find("LAPD[3] (TEI assigned): tx:  00 01 7F\nframe user->network SFrame tei = 0 (7F )"),
            std::string::npos);
  EXPECT_NE(log.log().find("rx: 00 01 73\nframe network->user SFrame tei = 0 (73 )"), std::string::npos);
  EXPECT_NE(log.log().find("LAPD[3] : change state \"Awaiting establishment\" -> \"Multiple frame established\""),
            std::string::npos);
}

TEST(LapdTei, RequestsRepeatFiveTimesThenTheLinkGivesUp) {
  Link link(Side::user, true);
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
  link.send({0x08, 0x01, 0x01, 0x05});
  link.request();
  EXPECT_EQ(link.state(), 1u);
}

TEST(LapdTei, AssignmentEstablishesWhatLayerThreeAskedFor) {
  Link link(Side::user, true);
  link.lapd->local_activate();
  unsigned short ri = link.request();
  link.rx_tei(0, 6, 127);  // removal of all TEIs: ours is still being asked for
  EXPECT_TRUE(link.wire.sent.empty());
  link.rx_tei(static_cast<unsigned short>(ri + 1), 2, 64);  // another terminal's answer
  EXPECT_EQ(link.state(), 2u);
  link.rx_tei(ri, 3, 127);
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
  Link link(Side::user, true);
  link.lapd->mdl_assign(70);
  ASSERT_EQ(link.state(), 3u);
  link.wire.sent.clear();
  link.rx({0x02, 0xFF, 0x03, 0x08, 0x01, 0x01, 0x05});  // SETUP broadcast
  ASSERT_EQ(link.upper.up.size(), 1u);
  EXPECT_EQ(hex(link.upper.up[0]), "08 01 01 05");
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"00 8D 7F"});
  EXPECT_EQ(link.state(), 4u);

  Link pri;
  pri.rx({0x02, 0x01, 0x03, 0x08, 0x01, 0x01, 0x05});
  pri.rx_tei(0, 4, 127);
  EXPECT_TRUE(pri.upper.up.empty());
  EXPECT_TRUE(pri.wire.sent.empty());
}

// The statistics record is handed out only when it has changed; the text
// dump shows the state record and the counters.
TEST(LapdTei, LinkInfoReportsOnlyChanges) {
  Link link(Side::user, true);
  ACP::IsdnLinkInfo info;
  EXPECT_TRUE(link.lapd->GetInfo(info));
  EXPECT_FALSE(link.lapd->GetInfo(info));
  link.lapd->local_activate();
  EXPECT_TRUE(link.lapd->GetInfo(info));
  EXPECT_EQ(info.get_lapdState().getValue(), 2);
  EXPECT_EQ(info.get_queueOut().getValue(), 0);
  link.advance(LAPD::T202);
  EXPECT_TRUE(link.lapd->GetInfo(info));
  EXPECT_FALSE(link.lapd->GetInfo(info));
  testing_support::LogCapture out;
  link.lapd->show_stat();
  EXPECT_NE(out.out().find(" - current state: \n   - state: Establish awaiting TEI\n"), std::string::npos);
  EXPECT_NE(out.out().find("   - timers expire count: T200: 0, T202: 1, T203: 0\n"), std::string::npos)
      << out.out();
}

// Every management error code reports its own text; codes outside the
// table, 12 among them, report "Other - Unknown".
TEST(Lapd, EveryManagementErrorText) {
  struct Row {
    unsigned code;
    const char* text;
  };
  const Row rows[] = {
      {1, "Supervisory (F = 1)"},
      {2, "DM (F = 1)"},
      {4, "UA (F = 1)"},
      {8, "UA (F = 0)"},
      {16, "Receipt of DM response (F = 0)"},
      {32, "Peer initiated re-establishment - SABME"},
      {64, "Unsuccessful retransmission (N200 times) - SABME"},
      {128, "Unsuccessful retransmission (N200 times) - DISC"},
      {256, "Unsuccessful retransmission (N200 times) - Status enquiry"},
      {512, "Other - N(R) error"},
      {1024, "Other - Receipt of FRMR response"},
      {2048, "Other - Receipt of undefined frame"},
      {4096, "Other - Receipt of I field not permitted"},
      {8192, "Other - Receipt of frame with wrong size"},
      {16384, "Other - N201 error"},
      {32768, "Tei Assign - Tei denied"},
      {0, "Other - Unknown"},
      {3, "Other - Unknown"},
      {12, "Other - Unknown"},
      {65536, "Other - Unknown"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    Link link;
    link.lapd->on_error(r.code);
    EXPECT_EQ(link.upper.statuses, std::vector<std::string>{r.text});
  }
}

// The text of each link state; any value past 7 is unknown.
TEST(Lapd, EveryStateText) {
  const char* const texts[] = {"TEI unassigned",         "Assign awaiting TEI", "Establish awaiting TEI",
                               "TEI assigned",           "Awaiting establishment", "Awaiting release",
                               "Multiple frame established", "Timer recovery", "(unknown)", "(unknown)"};
  for (unsigned state = 0; state < 10; ++state)
    EXPECT_STREQ(ISDN::statetext(state), texts[state]) << state;
  // A link in timer recovery reports it, in its header and in its state record.
  Link link;
  link.lapd->set_id(9);
  link.bring_to(7);
  std::ostringstream header, record;
  link.lapd->PutHeader(header);
  link.lapd->status()->out(record);
  EXPECT_EQ(header.str(), "LAPD[9] (Timer recovery): ");
  EXPECT_EQ(record.str().substr(0, 42), "current status\n   - state: Timer recovery\n");
}

// Establishing (state 4) and releasing (state 5), the command goes out
// again on each of N200 = 3 expiries of T200; the fourth ends the attempt.
TEST(Lapd, EstablishAndReleaseGiveUpAfterN200Retries) {
  struct Case {
    unsigned state;
    const char* frame;
    const char* status;
  };
  const Case cases[] = {{4, SabmeSent, "Unsuccessful retransmission (N200 times) - SABME"},
                        {5, "00 01 53", "Unsuccessful retransmission (N200 times) - DISC"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    Link link;
    link.bring_to(c.state);
    for (int retry = 1; retry <= LAPD::N200; ++retry) {
      link.advance(LAPD::T200);
      EXPECT_EQ(link.wire.take(), std::vector<std::string>{c.frame}) << retry;
      EXPECT_EQ(link.state(), c.state);
      EXPECT_EQ(link.lapd->full_state().RC, retry);
    }
    EXPECT_TRUE(link.upper.statuses.empty());
    link.advance(LAPD::T200);
    EXPECT_TRUE(link.wire.sent.empty());
    EXPECT_EQ(link.state(), 3u);
    EXPECT_EQ(link.upper.statuses, std::vector<std::string>{c.status});
    EXPECT_EQ(link.upper.ends, std::vector<std::string>{"link error (T200 expired N200 times)"});
    EXPECT_FALSE(link.lapd->full_state().T200run);
  }
}

// The flow turns busy when a message leaves more than 88 queued and clear
// again when the queue is down to 64, not before.
TEST(Lapd, FlowStatusBoundsAreExact) {
  FlowLog flow;
  Link link;
  link.lapd->set_notify(&flow);
  link.bring_to(4);
  for (int i = 1; i <= 89; ++i) {
    link.send({0x08, 0x01, 0x01, static_cast<uint8_t>(i)});
    EXPECT_EQ(flow.changes.size(), i < 89 ? 0u : 1u) << i;
  }
  link.rx(UaF1);  // up: a window of 7 goes out, 82 stay
  ASSERT_EQ(link.lapd->out_queue(), 82u);
  // Each RR acknowledges one frame and lets one more go.
  for (unsigned nr = 1; nr <= 19; ++nr) {
    link.rx({0x00, 0x01, 0x01, static_cast<uint8_t>(nr << 1)});
    unsigned queued = 82 - nr;
    ASSERT_EQ(link.lapd->out_queue(), queued);
    std::vector<int> expected = {LAPD::FlowStatus::busy};
    if (queued <= 64)
      expected.push_back(LAPD::FlowStatus::clear);
    EXPECT_EQ(flow.changes, expected) << queued;
  }
}

// RR, REJ and RNR each by their rows: in state 6 as plain responses, in
// state 7 as the response with F = 1 that ends timer recovery. Two frames
// are outstanding (V(A) 0, V(S) 2).
TEST(Lapd, SupervisoryResponsesByType) {
  struct Row {
    unsigned state;
    Bytes frame;
    unsigned next;
    unsigned va;
    bool t200, t203, peerBusy;
  };
  const Bytes RrF0 = {0x00, 0x01, 0x01, 0x04}, RejF0 = {0x00, 0x01, 0x09, 0x04}, RnrF0 = {0x00, 0x01, 0x05, 0x04};
  const Bytes RrF1 = {0x00, 0x01, 0x01, 0x05}, RejF1 = {0x00, 0x01, 0x09, 0x05}, RnrF1 = {0x00, 0x01, 0x05, 0x05};
  const Row rows[] = {
      {6, RrF0, 6, 2, false, true, false},
      {6, {0x00, 0x01, 0x01, 0x02}, 6, 1, true, false, false},  // RR N(R) = 1: T200 restarts
      {6, RejF0, 6, 2, false, true, false},
      {6, RnrF0, 6, 2, true, false, true},
      {7, RrF1, 6, 2, false, true, false},
      {7, RejF1, 6, 2, false, true, false},
      {7, RnrF1, 6, 2, true, false, true},
      {7, RrF0, 7, 2, true, false, false},  // recovery goes on until the answer to the enquiry
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("state " + std::to_string(r.state) + " frame " + hex(r.frame));
    Link link;
    link.bring_to(6);
    link.send({0x08, 0x01, 0x01, 0x01});
    link.send({0x08, 0x01, 0x01, 0x02});
    if (r.state == 7)
      link.advance(LAPD::T200);
    ASSERT_EQ(link.state(), r.state);
    link.wire.sent.clear();
    link.rx(r.frame);
    EXPECT_EQ(link.state(), r.next);
    EXPECT_EQ(unsigned(link.lapd->full_state().VA), r.va);
    EXPECT_EQ(link.lapd->full_state().T200run, r.t200);
    EXPECT_EQ(link.lapd->full_state().T203run, r.t203);
    EXPECT_EQ(link.lapd->full_state().peerBusy, r.peerBusy);
    EXPECT_TRUE(link.wire.sent.empty());
    EXPECT_TRUE(link.upper.statuses.empty());
  }
}

// Timer recovery that ends well leaves nothing behind: the next one has
// its full N200 enquiries. A recovery that fails re-establishes the link;
// the second failure after that re-establishes it the same way, and with
// no answer the link gives up after N200 SABMEs.
TEST(Lapd, RecoveryAfterRecovery) {
  const std::string enquiry = "00 01 01 01";
  const std::string exhausted = "Unsuccessful retransmission (N200 times) - Status enquiry";
  Link link;
  link.bring_to(6);
  link.send({0x08, 0x01, 0x01, 0x05});
  link.advance(LAPD::T200);
  link.advance(LAPD::T200);  // two enquiries
  link.rx({0x00, 0x01, 0x01, 0x03});  // RR F = 1 acknowledging the frame
  ASSERT_EQ(link.state(), 6u);
  link.wire.sent.clear();

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    link.advance(LAPD::T203);  // idle: an enquiry, and N200 more
    for (int retry = 0; retry < LAPD::N200; ++retry)
      link.advance(LAPD::T200);
    EXPECT_EQ(link.wire.take(), std::vector<std::string>(1 + LAPD::N200, enquiry));
    EXPECT_EQ(link.state(), 7u);
    link.advance(LAPD::T200);
    EXPECT_EQ(link.wire.take(), std::vector<std::string>{SabmeSent});
    EXPECT_EQ(link.state(), 4u);
    EXPECT_EQ(link.upper.statuses, std::vector<std::string>(round, exhausted));
    if (round == 1) {
      link.rx(UaF1);
      ASSERT_EQ(link.state(), 6u);
      EXPECT_EQ(link.upper.activations, 1);
    }
  }
  for (int retry = 0; retry < LAPD::N200; ++retry)
    link.advance(LAPD::T200);
  EXPECT_EQ(link.wire.take(), std::vector<std::string>(LAPD::N200, SabmeSent));
  EXPECT_EQ(link.state(), 4u);
  link.advance(LAPD::T200);
  EXPECT_EQ(link.state(), 3u);
  EXPECT_EQ(link.upper.ends, std::vector<std::string>{"link error (T200 expired N200 times)"});
}

// Each field of the statistics record from its own counter or flag, with
// values told apart: 6 I frames up, 2 out of sequence, 142 messages from
// layer 3 of which 9 overflowed, 3 T200 expiries, 4 frames retransmitted,
// 1 bad N(R).
TEST(LapdTei, LinkInfoFieldsEachFromTheirOwnCounter) {
  Link link;
  link.bring_to(6);
  testing_support::LogCapture quiet;
  for (uint8_t ns = 0; ns < 6; ++ns)
    link.rx({0x02, 0x01, static_cast<uint8_t>(ns << 1), 0x00, 0x08, 0x01, 0x81, 0x07});
  for (int i = 0; i < 2; ++i)
    link.rx({0x02, 0x01, 0x12, 0x00, 0x08, 0x01, 0x81, 0x07});  // N(S) = 9
  for (uint8_t i = 0; i < 5; ++i)
    link.send({0x08, 0x01, 0x01, i});
  for (int i = 0; i < 3; ++i)
    link.advance(LAPD::T200);  // timer recovery, three enquiries
  link.rx({0x00, 0x01, 0x01, 0x03});  // RR F = 1, N(R) = 1: four frames again
  link.rx({0x00, 0x01, 0x01, 0x06});  // RR N(R) = 3
  link.rx({0x00, 0x01, 0x01, 0x0E});  // RR N(R) = 7: beyond V(S), re-establishment
  ASSERT_EQ(link.state(), 4u);
  for (int i = 0; i < 137; ++i)
    link.send({0x08, 0x01, 0x01, 0x05});

  ACP::IsdnLinkInfo info;
  ASSERT_TRUE(link.lapd->GetInfo(info));
  struct Field {
    const char* name;
    int value, expected;
  };
  const Field fields[] = {
      {"msuTxCount", info.get_msuTxCount().getValue(), 142},
      {"msuRxCount", info.get_msuRxCount().getValue(), 6},
      {"mT200", info.get_mT200().getValue(), 3},
      {"mT203", info.get_mT203().getValue(), 0},
      {"errors", info.get_errors().getValue(), 0},
      {"retrains", info.get_retrains().getValue(), 4},
      {"rejected", info.get_rejected().getValue(), 2},
      {"badconfirm", info.get_badconfirm().getValue(), 1},
      {"outOverflows", info.get_outOverflows().getValue(), 9},
      {"ackOverflows", info.get_ackOverflows().getValue(), 0},
      {"lapdState", info.get_lapdState().getValue(), 4},
      {"rc", info.get_rc().getValue(), 0},
      {"peerBusy", info.get_peerBusy().getValue(), 0},
      {"ownBusy", info.get_ownBusy().getValue(), 0},
      {"rejException", info.get_rejException().getValue(), 0},
      {"ackPending", info.get_ackPending().getValue(), 0},
      {"l3Initiated", info.get_l3Initiated().getValue(), 0},
      {"establishable", info.get_establishable().getValue(), 1},
      {"queuedUpRQ", info.get_queuedUpRQ().getValue(), 1},
      {"retrRQ", info.get_retrRQ().getValue(), 0},
      {"ackRQ", info.get_ackRQ().getValue(), 0},
      {"t200run", info.get_t200run().getValue(), 1},
      {"t203run", info.get_t203run().getValue(), 0},
      {"vs", info.get_vs().getValue(), 5},
      {"va", info.get_va().getValue(), 3},
      {"vr", info.get_vr().getValue(), 6},
      {"queueOut", info.get_queueOut().getValue(), 128},
      {"queueAck", info.get_queueAck().getValue(), 2},
  };
  for (const Field& f : fields)
    EXPECT_EQ(f.value, f.expected) << f.name;
}

}  // namespace
