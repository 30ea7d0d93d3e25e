// ISDN, ATS-QSIG and B-channel slots through the controller's commands:
// their channels and device records, frames both ways with writes held by
// a full line, disconnection and deactivation, and destruction with the
// data link running.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "signalling/lapd_frames.h"
#include "simboard/dsp_data.h"
#include "tests/signalling/slot_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace signalling_test {
namespace {

using lapd_test::hex;

class IsdnSlots : public SignallingTest {
protected:
  void isdnSlot(int seq, int slot, LGCP::IsdnType::NamedNumber type) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::IsdnParams& i = p.select_isdn();
      i.set_type(type);
      i.set_trunk(2);
      i.set_log(0);
      i.mutable_side().select_user();
    });
  }
  void qsig(int seq, int slot) {
    create(seq, slot, [](LGCP::CreateParams& p) {
      LGCP::AtsQsigParams& q = p.select_ats_qsig();
      q.mutable_side().select_network();
      q.set_log(0);
    });
  }
  void bChannel(int seq, int slot, int parent, int subslot) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::AtsQsigBParams& b = p.select_ats_qsig_b();
      b.set_slot(parent);
      b.set_subslot(subslot);
    });
  }
  // Slot 1: a primary-rate ISDN slot whose link is established.
  SimBoard::MccChannel& established() {
    clock.set_auto_advance(false);  // no T200 expiry on the way
    isdnSlot(1, 1, LGCP::IsdnType::pri);
    replies(1);
    SimBoard::MccChannel& ch = newest();
    activate(2, 1);
    quiet();
    EXPECT_EQ(hex(ch.sent().back()), "00 01 7F");  // SABME
    ch.inject({0x00, 0x01, 0x73});                 // UA
    runner.turn();
    EXPECT_EQ(as<IsdnSlot>(1)->lapd()->full_state().state, 6u);
    quiet();
    return ch;
  }
};

TEST_F(IsdnSlots, ChannelsAndRecordsOfEachKind) {
  struct Case {
    LGCP::IsdnType::NamedNumber type;
    uint32_t channelType;
    bool bri;
  };
  for (const Case& c : {Case{LGCP::IsdnType::bri, 1, true}, Case{LGCP::IsdnType::pri, 0, false}}) {
    isdnSlot(1, 1, c.type);
    ASSERT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
    SimBoard::MccChannel& ch = newest();
    EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.reserved(), ch.rx_threshold(), ch.tx_threshold()}),
              std::vector<uint32_t>({c.channelType, 512, 0, 1, 1}));
    IsdnSlot* slot = as<IsdnSlot>(1);
    EXPECT_EQ(slot->IGetTransmitChannel(), ch.timeslot());
    EXPECT_EQ(slot->lapd()->bri(), c.bri);
    EXPECT_EQ(slot->lapd()->id(), 2u);  // the trunk, in the link's log header
    destroy(2, 1);
    quiet();
    EXPECT_FALSE(ch.open());
  }
  board.mcc().fail(SimBoard::Mcc::Allocate, EBUSY, 1);
  isdnSlot(3, 1, LGCP::IsdnType::pri);
  EXPECT_THAT(replies(1), ElementsAre("seq=3 slot=1 error insufficientResources"));

  // ATS-QSIG on the DSP data device, its B channels counted from 1.
  SimBoard::DspData& dsp = board.dsp_data();
  size_t before = dsp.channel_count();
  qsig(4, 4);
  isdnSlot(5, 5, LGCP::IsdnType::pri);
  bChannel(7, 6, 5, 1);  // not an ATS-QSIG slot
  bChannel(8, 6, 4, 1);
  EXPECT_THAT(replies(4), ElementsAre("seq=4 slot=4 success", "seq=5 slot=5 success",
                                      "seq=7 slot=6 error insufficientResources", "seq=8 slot=6 success"));
  LGCP::CreateParams zero;  // the controller's encoding cannot carry subslot 0
  LGCP::AtsQsigBParams& z = zero.select_ats_qsig_b();
  z.set_slot(4);
  z.set_subslot(0);
  EXPECT_EQ(isdn.INewSlot(zero), nullptr);
  ASSERT_EQ(dsp.channel_count(), before + 1);
  SimBoard::DspDataChannel& d = dsp.channel(before);
  IsdnSlot* q = as<IsdnSlot>(4);
  EXPECT_STREQ(q->GetName(), "ATS-QSIG");
  EXPECT_EQ(q->IGetReceiveChannel(), d.timeslot());
  EXPECT_EQ(q->lapd()->id(), static_cast<unsigned>(d.timeslot()));
  EXPECT_EQ(q->lapd()->side(), ISDN::Side::network);
  ASSERT_EQ(d.b_channels().size(), 1u);
  EXPECT_EQ(d.b_channels().begin()->first, 0u);
  EXPECT_EQ(as<Slot>(6)->IGetTransmitChannel(), d.b_channels().begin()->second);
  ioctl(9, 4, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); });
  EXPECT_THAT(replies(1), ElementsAre("seq=9 slot=4 error unsupported"));

  bChannel(10, 7, 4, 2);
  destroy(11, 6);  // gives its B channel back
  quiet();
  EXPECT_EQ(d.b_channels().size(), 1u);
  destroy(12, 4);
  destroy(13, 7);  // its parent has gone before it
  quiet();
  EXPECT_THAT(logs.log(), HasSubstr("Can't find signalling slot"));
  EXPECT_FALSE(d.open());
}

// Frames both ways; a write the line refuses waits for the next writable
// event, which is watched only after a refusal.
TEST_F(IsdnSlots, FramesBothWaysAndAFullLine) {
  SimBoard::MccChannel& ch = established();
  IsdnSlot* slot = as<IsdnSlot>(1);
  ch.inject({0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x07});  // I frame: CONNECT
  runner.turn();
  EXPECT_EQ(userDataUp().back(), (Bytes{0x08, 0x01, 0x81, 0x07}));
  EXPECT_TRUE(slot->is_ready());
  EXPECT_FALSE(slot->IUserData(std::vector<char>(packet_max_size, 'x')));  // refused, not cut
  EXPECT_FALSE(slot->IUserData(std::vector<char>(ISDN::Lapd::N201 + 1, 'x')));
  EXPECT_THAT(logs.err(), HasSubstr(": user data of 261 bytes refused: too long for a frame\n"));

  ch.line_full(true);
  userData(3, 1, {0x08, 0x01, 0x01, 0x05});
  quiet();
  EXPECT_FALSE(slot->is_ready());
  size_t sent = ch.sent().size();
  runner.turn(2);
  EXPECT_EQ(ch.sent().size(), sent);
  ch.line_full(false);
  runner.turn();
  EXPECT_TRUE(slot->is_ready());
  EXPECT_EQ(hex(ch.sent().back()), "00 01 00 02 08 01 01 05");

  // A channel that ends is watched no more.
  ch.hang_up();
  runner.turn();
  EXPECT_FALSE(slot->watching());
  EXPECT_THAT(logs.err(), HasSubstr("channel ended, reading stopped"));
}

// A frame read while no buffer is free is dropped, once logged; the next
// one, with buffers back, comes up.
TEST_F(IsdnSlots, FramesFindingNoBufferAreDropped) {
  SimBoard::MccChannel& ch = established();
  const Bytes connect = {0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x07};
  {
    lapd_test::PoolHog hog;
    ch.inject(connect);
    ch.inject(connect);
    runner.turn(2);
  }
  EXPECT_TRUE(userDataUp().empty());
  EXPECT_THAT(logs.err(), HasSubstr(": no packet buffer free: frames dropped (1 in all)\n"));
  EXPECT_EQ(logs.err().find("(2 in all)"), std::string::npos);
  ch.inject(connect);
  runner.turn();
  EXPECT_EQ(userDataUp().size(), 1u);
}

// Destroyed with the link established: it releases the link on the line
// first, and none of its timers fires after the slot has gone.
TEST_F(IsdnSlots, DestroyedWithTheLinkEstablished) {
  SimBoard::MccChannel& ch = established();
  probe.received.clear();
  destroy(3, 1);
  quiet();
  EXPECT_EQ(hex(ch.sent().back()), "00 01 53");  // DISC
  EXPECT_FALSE(ch.open());
  clock.advance(60000);
  runner.turn(3);
  EXPECT_TRUE(userDataUp().empty());
}

// An ISDN slot is wired through the switch like any slot: disconnected,
// only its switch path goes and the link stays established. Deactivated,
// it releases the link (DISC), and once the network has answered the
// controller hears the link's report, then `deactivated`.
TEST_F(IsdnSlots, DisconnectLeavesTheLinkDeactivateReleasesIt) {
  SimBoard::MccChannel& ch = established();
  line(3, 3, 0, 17);
  connect(4, 3, 1);
  quiet();
  EXPECT_EQ(output(ch.timeslot()), "connected 17");
  size_t sent = ch.sent().size();
  simple(5, 1, LGCP::Command::alt_disconnect);
  EXPECT_THAT(quiet(), ElementsAre("seq=5 slot=1 success"));
  EXPECT_NE(output(ch.timeslot()), "connected 17");
  EXPECT_EQ(ch.sent().size(), sent);
  EXPECT_EQ(as<IsdnSlot>(1)->lapd()->full_state().state, 6u);

  probe.received.clear();
  simple(6, 1, LGCP::Command::alt_deactivate);
  EXPECT_THAT(quiet(), ElementsAre("seq=6 slot=1 success"));
  EXPECT_EQ(hex(ch.sent().back()), "00 01 53");  // DISC
  ch.inject({0x00, 0x01, 0x73});                 // UA
  runner.turn();
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal ioctl", "slot=1 signal deactivated"));
  EXPECT_THAT(reports(), ElementsAre("isdnLinkInfo"));
  EXPECT_EQ(as<IsdnSlot>(1)->lapd()->full_state().state, 3u);
}

// B channels are counted from 1: subslot k registers the device's B channel
// k - 1; subslot 0 names none and asks the device nothing.
TEST_F(IsdnSlots, BChannelsAreCountedFromOne) {
  qsig(1, 1);
  ASSERT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
  SimBoard::DspDataChannel& d = board.dsp_data().channel(board.dsp_data().channel_count() - 1);
  const int subslots[] = {1, 2, 3};
  int slot = 2;
  for (int subslot : subslots) {
    SCOPED_TRACE(subslot);
    bChannel(slot, slot, 1, subslot);
    EXPECT_THAT(replies(1), ElementsAre("seq=" + std::to_string(slot) + " slot=" + std::to_string(slot) + " success"));
    ASSERT_EQ(d.b_channels().count(static_cast<uint32_t>(subslot - 1)), 1u);
    EXPECT_EQ(as<Slot>(slot)->IGetTransmitChannel(), d.b_channels().at(static_cast<uint32_t>(subslot - 1)));
    ++slot;
  }
  EXPECT_EQ(d.b_channels().size(), 3u);
  EXPECT_EQ(logs.err().find("add B channel fail"), std::string::npos);
  LGCP::CreateParams zero;
  LGCP::AtsQsigBParams& z = zero.select_ats_qsig_b();
  z.set_slot(1);
  z.set_subslot(0);
  EXPECT_EQ(isdn.INewSlot(zero), nullptr);
  EXPECT_EQ(logs.err().find("add B channel fail"), std::string::npos);  // no request made
  EXPECT_EQ(d.b_channels().size(), 3u);
}

}  // namespace
}  // namespace signalling_test
