// PSTN slots through the controller's commands: the link layer and the
// HDLC channel each create builds, the connection rules per mode, traffic
// both ways, the ioctls, the reports, trunk status, disconnection in
// either direction, and destruction with the link running.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "signalling/lapd_frames.h"
#include "tests/signalling/slot_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace signalling_test {
namespace {

using lapd_test::hex;

class PstnSlots : public SignallingTest {
protected:
  void ss7(int seq, int slot, bool emergency = false) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::SS7Params& s = p.select_pstn().select_ss7();
      s.set_trunk(1);
      s.set_slc(2);
      s.set_dpc(3);
      s.set_opc(4);
      s.set_emergency(emergency);
    });
  }
  void isdn(int seq, int slot, LGCP::IsdnType::NamedNumber type, bool network) {
    create(seq, slot, [&](LGCP::CreateParams& p) { p.select_pstn() = isdnParams(type, network); });
  }
  void cas(int seq, int slot) {
    create(seq, slot, [](LGCP::CreateParams& p) { p.select_pstn().select_cas().set_trunk(1); });
  }
  // The fields of the last ss7LinkInfo report, in their order.
  std::vector<int> ss7Info() const {
    const LGCP::IoctlResponse* r = last(LGCP::IoctlResponse::alt_ss7LinkInfo);
    if (!r)
      return {};
    const ACP::SS7LinkInfo& i = r->get_ss7LinkInfo();
    return {i.get_msuTxCount().getValue(), i.get_msuRxCount().getValue(),   i.get_octetsTx().getValue(),
            i.get_octetsRx().getValue(),   i.get_speedRx().getValue(),      i.get_speedTx().getValue(),
            i.get_overflowCntr().getValue(), i.get_rtbSize().getValue(),    i.get_repeatCntr().getValue(),
            i.get_badSeqCntr().getValue(), i.get_ss7state().getValue()};
  }
  // The SS7 link on the channel aligned by the peer (SIO, SIN, FISU) and in service.
  void alignSs7(SimBoard::MccChannel& ch, int slot) {
    for (const Bytes& f : {Bytes{0xFF, 0xFF, 0x01, 0x00}, Bytes{0xFF, 0xFF, 0x01, 0x01}, Bytes{0xFF, 0xFF, 0x00}})
      ch.inject(f);
    runner.turn(2);
    ASSERT_EQ(as<PstnSlot>(slot)->ss7()->get_state_id(), SS7::SLC::State::InService);
  }
  LGCP::Signal trunkStatus(int trunk, ACP::TrunkState::NamedNumber state,
                           ACP::TrunkType::NamedNumber type = ACP::TrunkType::e1) {
    LGCP::Signal s;
    ACP::TrunkStatus& t = s.select_trunkStatus();
    t.set_trunk(trunk);
    t.set_state(state);
    t.set_type(type);
    return s;
  }
};

// Each kind of create: its link layer and, once connected, its channel.
// A BRI slot opens its channel only when both directions are connected.
TEST_F(PstnSlots, EachCreateBuildsItsLinkAndChannel) {
  struct Case {
    const char* name;
    std::function<void()> make;
    bool bri;
    const char* layer;
    uint32_t channelType;
  };
  const Case cases[] = {
      {"ss7", [this] { ss7(1, 1); }, false, "ss7", 3},
      {"pri user", [this] { isdn(1, 1, LGCP::IsdnType::pri, false); }, false, "user", 0},
      {"pri network", [this] { isdn(1, 1, LGCP::IsdnType::pri, true); }, false, "network", 0},
      {"bri user", [this] { isdn(1, 1, LGCP::IsdnType::bri, false); }, true, "bri", 1},
      {"bri network", [this] { isdn(1, 1, LGCP::IsdnType::bri, true); }, true, "nt", 1},
      {"cas", [this] { cas(1, 1); }, false, "none", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    ASSERT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
    PstnSlot* slot = as<PstnSlot>(1);
    ASSERT_NE(slot, nullptr);
    std::string layer = slot->ss7()          ? "ss7"
                        : slot->lapd_nt()    ? "nt"
                        : !slot->lapd()      ? "none"
                        : slot->lapd()->bri() ? "bri"
                        : slot->lapd()->side() == ISDN::Side::network ? "network" : "user";
    EXPECT_EQ(layer, c.layer);
    size_t channels = board.mcc().channel_count();
    line(2, 2, 1, 1, c.bri);  // BRI trunk 1 channel 1 is switch channel 5
    connect(3, 2, 1);
    ASSERT_EQ(replies(4).size(), 4u);
    int lineChannel = c.bri ? 5 : 33;
    if (c.bri) {
      EXPECT_EQ(board.mcc().channel_count(), channels);
      connect(4, 1, 2);
      quiet();
    }
    ASSERT_EQ(board.mcc().channel_count(), channels + 1);
    SimBoard::MccChannel& ch = newest();
    EXPECT_EQ(ch.type(), c.channelType);
    EXPECT_EQ(output(ch.timeslot()), "connected " + std::to_string(lineChannel));
    EXPECT_EQ(output(lineChannel), "connected " + std::to_string(ch.timeslot()));
    destroy(9, 1);
    destroy(9, 2);
    quiet();
    EXPECT_FALSE(ch.open());
  }

  // E1 trunks 0 to 3 only.
  ss7(1, 1);
  line(2, 2, 4, 16);
  connect(3, 2, 1);
  EXPECT_THAT(replies(5), ElementsAre("seq=1 slot=1 success", "seq=2 slot=2 success", "slot=2 signal transmitter active 144",
                                      "slot=1 signal receiver active -1", "seq=3 slot=2 error connectFail"));
  EXPECT_THAT(logs.err(), HasSubstr("pstn-slot: invalid trunk number: 4\n"));
}

// An SS7 link through the slot: alignment on the line, its statistics,
// MSUs both ways as userData, the link's ioctls, trunk status.
TEST_F(PstnSlots, Ss7LinkAnswersItsIoctlsAndFollowsTheTrunk) {
  ss7(1, 1, true);
  connectTimeSlot16(1);
  SimBoard::MccChannel& ch = newest();
  EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.reserved(), ch.rx_threshold(), ch.tx_threshold()}),
            std::vector<uint32_t>({3, 512, 0, 1, 4}));
  EXPECT_THAT(sent(ch), ElementsAre("FF FF 01 00"));
  reports();
  for (const Bytes& f : {Bytes{0xFF, 0xFF, 0x01, 0x00}, Bytes{0xFF, 0xFF, 0x01, 0x02}, Bytes{0xFF, 0xFF, 0x00}})
    ch.inject(f);
  runner.turn(2);
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal ioctl", "slot=1 signal activated"));
  // Two FISUs sent (6 octets); SIO, SIE and a FISU received (11 octets); in service.
  EXPECT_EQ(ss7Info(), (std::vector<int>{2, 3, 6, 11, 0, 0, 0, 0, 0, 0, ACP::SS7State::worked}));
  EXPECT_THAT(reports(), ElementsAre("ss7LinkInfo"));
  EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::InService);

  userData(4, 1, {0x83, 0x01, 0x02, 0x03, 0x04});
  EXPECT_THAT(replies(1), ElementsAre("seq=4 slot=1 success"));
  EXPECT_EQ(sent(ch).back(), "FF 80 05 83 01 02 03 04");
  ch.inject({0xFF, 0x80, 0x05, 0x83, 0x09, 0x09, 0x09, 0x09});  // an MSU with FSN 0
  runner.turn();
  EXPECT_THAT(replies(1), ElementsAre("slot=1 signal userData"));
  EXPECT_EQ(userDataUp().back(), (Bytes{0x83, 0x09, 0x09, 0x09, 0x09}));
  ioctl(5, 1, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); });
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal ioctl", "seq=5 slot=1 success"));
  EXPECT_EQ(last(LGCP::IoctlResponse::alt_ss7BSN)->get_ss7BSN().getValue(), 0);
  ioctl(6, 1, [](LGCP::IoctlParams& p) {
    LGCP::SS7L2Log& l = p.select_ss7Log();
    l.set_state(false);
    l.set_raw_receive(false);
    l.set_raw_transmit(false);
    l.set_mtp_transmit(false);
    l.set_mtp_receive(false);
    l.set_mtp_activate(false);
    l.set_timers(true);
    l.set_msu_processing(false);
  });
  ioctl(7, 1, [](LGCP::IoctlParams& p) { p.select_echoSuppressor().setValue(true); });
  EXPECT_THAT(replies(2), ElementsAre("seq=6 slot=1 success", "seq=7 slot=1 error unsupported"));
  EXPECT_TRUE(as<PstnSlot>(1)->ss7()->log().timers);
  EXPECT_FALSE(as<PstnSlot>(1)->ss7()->log().state);

  // Trunk 0 (the slot's trunk 1 counted from 1) in service changes nothing;
  // other trunks are not the link's, nor is the BRI line reported under the
  // same number; its loss takes the link down once.
  reports();
  pstn.SelfSignal(trunkStatus(0, ACP::TrunkState::normal));
  pstn.SelfSignal(trunkStatus(1, ACP::TrunkState::lossBF));
  pstn.SelfSignal(trunkStatus(0, ACP::TrunkState::lossCarrier, ACP::TrunkType::bri));
  EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::InService);
  pstn.SelfSignal(trunkStatus(0, ACP::TrunkState::lossBF));
  pstn.SelfSignal(trunkStatus(0, ACP::TrunkState::lossBF));
  EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::Idle);
  EXPECT_EQ(sent(ch).back(), "FF FF 01 03");
  EXPECT_THAT(replies(4), ElementsAre("slot=1 signal ioctl", "slot=1 signal ioctl", "slot=1 signal ioctl",
                                      "slot=1 signal deactivated"));
  EXPECT_THAT(reports(), ElementsAre("ss7LinkInfo", "hdlcLinkInfo", "ss7LinkInfo"));
}

// The reports every 3000 ms from creation, as far as each kind has them:
// the ISDN link's only when it has changed.
TEST_F(PstnSlots, ReportsEvery3000Ms) {
  clock.set_auto_advance(false);
  ss7(1, 1);
  isdn(2, 2, LGCP::IsdnType::pri, false);
  cas(3, 3);
  ASSERT_EQ(replies(3).size(), 3u);
  reports();
  clock.advance(2999);
  runner.turn();
  EXPECT_TRUE(reports().empty());
  clock.advance(1);
  runner.turn();
  EXPECT_EQ(ss7Info(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ACP::SS7State::idle}));
  EXPECT_THAT(reports(), ElementsAre("hdlcLinkInfo", "ss7LinkInfo", "hdlcLinkInfo", "isdnLinkInfo", "hdlcLinkInfo"));
  clock.advance(3000);
  runner.turn();
  EXPECT_THAT(reports(), ElementsAre("hdlcLinkInfo", "ss7LinkInfo", "hdlcLinkInfo", "hdlcLinkInfo"));
}

// userData a frame cannot hold is refused; a CAS slot has no link to carry
// any; the SS7 ioctls belong to SS7 slots; a Q.921 queue that fills up is
// reported congested.
TEST_F(PstnSlots, UserDataLimitsIoctlsAndCongestion) {
  ss7(1, 1);
  cas(2, 2);
  isdn(3, 3, LGCP::IsdnType::pri, false);
  ASSERT_EQ(replies(3).size(), 3u);
  EXPECT_FALSE(as<PstnSlot>(1)->IUserData(std::vector<char>(packet_max_size - 3 + 1, 'x')));
  EXPECT_THAT(logs.err(), HasSubstr("user data of 65534 bytes refused: too long for a frame\n"));
  userData(4, 2, {0x01});
  ioctl(5, 3, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); });
  EXPECT_THAT(replies(2), ElementsAre("seq=4 slot=2 error unsupported", "seq=5 slot=3 error unsupported"));

  reports();
  for (int i = 0; i < 89; ++i)
    userData(10 + i, 3, {0x08, 0x01, 0x01, 0x05});
  EXPECT_EQ(replies(90).size(), 90u);
  const LGCP::IoctlResponse* status = last(LGCP::IoctlResponse::alt_isdnLinkStatus);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->get_isdnLinkStatus().getValue(), LGCP::IsdnLinkStatus::congested);
  EXPECT_THAT(reports(), ElementsAre("isdnLinkStatus"));

  // A Q.921 frame carries at most 260 octets of layer 3, on either side of a bus too.
  isdn(100, 4, LGCP::IsdnType::bri, true);
  EXPECT_THAT(replies(1), ElementsAre("seq=100 slot=4 success"));
  for (int slot : {3, 4}) {
    EXPECT_FALSE(as<PstnSlot>(slot)->IUserData(std::vector<char>(ISDN::Lapd::N201 + 1, 0x08)));
    EXPECT_TRUE(as<PstnSlot>(slot)->IUserData(std::vector<char>(ISDN::Lapd::N201, 0x08)));
  }
  EXPECT_THAT(logs.err(), HasSubstr("user data of 261 bytes refused: too long for a frame\n"));
}

// Eight busy terminals on a bus may each hold a queue of messages: the
// controller's userData finds the pool's last buffers kept back and is
// refused, and everything else goes on: the controller link, and frames
// from the line, which let a terminal that is ready again have its share.
TEST_F(PstnSlots, BusyTerminalsCannotEmptyThePool) {
  clock.set_auto_advance(false);
  unsigned free = packet_pool().available();
  isdn(1, 1, LGCP::IsdnType::bri, true);
  line(2, 2, 1, 1, true);
  connect(3, 2, 1);
  connect(4, 1, 2);
  quiet();
  SimBoard::MccChannel& ch = newest();
  for (uint8_t t = 0; t < 8; ++t) {
    uint8_t tei = static_cast<uint8_t>((64 + t) << 1 | 1);
    ch.inject({0xFC, 0xFF, 0x03, 0x0F, t, 0x00, 0x01, 0xFF});                       // identity request
    ch.inject({0x00, tei, 0x00, 0x00, 0x08, 0x01, static_cast<uint8_t>(t + 1), 0x01});  // ALERTING: its call
    ch.inject({0x02, tei, 0x05, 0x00});                                             // RNR: busy
  }
  runner.turn(3);
  quiet();
  PstnSlot* slot = as<PstnSlot>(1);
  unsigned taken = 0;
  while (taken < 2000 && slot->IUserData({0x08, 0x01, static_cast<char>(0x80 | (taken % 8 + 1)), 0x07}))
    ++taken;
  EXPECT_EQ(packet_pool().available(), packet_reserve);
  EXPECT_GT(taken, 900u);
  userData(5, 1, {0x08, 0x01, 0x81, 0x07});
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=1 error unsupported"));
  EXPECT_THAT(logs.err(), HasSubstr("user data of 4 bytes refused: no packet buffer free\n"));

  size_t sent = ch.sent().size();
  ch.inject({0x02, 0x81, 0x01, 0x00});  // RR from TEI 64: ready again
  runner.turn();
  EXPECT_EQ(ch.sent().size(), sent + 7);  // a window of its messages
  // A terminal that leaves lets its queue go: buffers for userData again.
  ch.inject({0x00, 0x83, 0x53});  // DISC from TEI 65
  runner.turn();
  EXPECT_GT(packet_pool().available(), packet_reserve + 100);
  EXPECT_TRUE(slot->IUserData({0x08, 0x01, static_cast<char>(0x83), 0x07}));
  destroy(6, 1);
  quiet();
  EXPECT_EQ(packet_pool().available(), free);
}

// A frame read from the line while no buffer is free is dropped and
// counted, with one log line for each run of drops; the link goes on with
// the frames that come once buffers are back.
TEST_F(PstnSlots, LineFramesFindingNoBufferAreDropped) {
  clock.set_auto_advance(false);
  ss7(1, 1);
  connectTimeSlot16(1);
  SimBoard::MccChannel& ch = newest();
  const Bytes sio = {0xFF, 0xFF, 0x01, 0x00};
  auto dropped = [&] {
    lapd_test::PoolHog hog;
    ch.inject(sio);
    ch.inject(sio);
    runner.turn(2);
  };
  dropped();
  EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::NotAligned);
  ch.inject(sio);
  runner.turn();
  EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::Aligned);
  dropped();
  std::string err = logs.err();
  EXPECT_THAT(err, HasSubstr("no packet buffer free: frames dropped (1 in all)\n"));
  EXPECT_THAT(err, HasSubstr("no packet buffer free: frames dropped (3 in all)\n"));
  EXPECT_EQ(err.find("frames dropped (2 in all)"), std::string::npos);
  EXPECT_EQ(err.find("frames dropped (4 in all)"), std::string::npos);
}

// Destroyed with the link running: each link ends on the line first (SIOS,
// DISC), and none of their timers fires after the slots have gone.
TEST_F(PstnSlots, DestroyedWithTheLinkRunning) {
  ss7(1, 1);
  connectTimeSlot16(1);
  SimBoard::MccChannel& ss7Channel = newest();
  alignSs7(ss7Channel, 1);
  userData(4, 1, {0x83, 0x01, 0x02, 0x03});  // unacknowledged: T7 runs
  isdn(5, 5, LGCP::IsdnType::pri, false);
  line(6, 6, 0, 17);
  connect(7, 6, 5);
  quiet();
  SimBoard::MccChannel& lapdChannel = newest();
  lapdChannel.inject({0x00, 0x01, 0x73});  // UA: established, T203 runs
  runner.turn();
  ASSERT_EQ(as<PstnSlot>(5)->lapd()->full_state().state, 6u);

  destroy(8, 1);
  destroy(9, 5);
  quiet();
  EXPECT_EQ(hex(ss7Channel.sent().back()), "FF FF 01 03");  // SIOS
  EXPECT_EQ(hex(lapdChannel.sent().back()), "00 01 53");    // DISC
  EXPECT_FALSE(ss7Channel.open());
  EXPECT_FALSE(lapdChannel.open());
  probe.received.clear();
  clock.advance(60000);
  runner.turn(3);
  EXPECT_TRUE(probe.received.empty());
}

// Deactivated, an SS7 link goes out of service on the line at once (the
// clock stands still: T3 would do the same).
TEST_F(PstnSlots, DeactivatedSs7LinkSendsOutOfService) {
  clock.set_auto_advance(false);
  ss7(1, 1);
  connectTimeSlot16(1);
  SimBoard::MccChannel& ch = newest();
  ch.inject({0xFF, 0xFF, 0x01, 0x00});  // SIO: aligned, T3 runs
  runner.turn();
  ASSERT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::Aligned);
  simple(4, 1, LGCP::Command::alt_deactivate);
  quiet();
  EXPECT_EQ(sent(ch).back(), "FF FF 01 03");
  EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::Idle);
}

// Each counter of the SS7 link in its own field of the report, with values
// told apart: two retransmissions, one negative acknowledgement, three
// MSUs refused and 127 unacknowledged.
TEST_F(PstnSlots, Ss7LinkInfoFieldsEachFromTheirOwnCounter) {
  clock.set_auto_advance(false);  // T7 runs throughout
  ss7(1, 1);
  connectTimeSlot16(1);
  SimBoard::MccChannel& ch = newest();
  alignSs7(ch, 1);
  quiet();
  PstnSlot* slot = as<PstnSlot>(1);
  const std::vector<char> m = {char(0x83), 0x01, 0x02, 0x03, 0x04};
  ASSERT_TRUE(slot->IUserData(m) && slot->IUserData(m));  // FSNs 0 and 1
  ch.inject({0x7F, 0xFF, 0x00});  // BIB 0: send them again
  ch.inject({0xFF, 0xFF, 0x00});  // BIB 1: and again
  ch.inject({0xFF, 0x81, 0x05, 0x83, 0x09, 0x09, 0x09, 0x09});  // FSN 1, not 0: negative acknowledgement
  runner.turn(3);
  for (int i = 0; i < 125 + 200 + 3; ++i)
    slot->IUserData(m);
  slot->OnUpdateTimer();
  // Sent: two FISUs on entering service, 2 + 2 + 2 MSUs, the FISU of the
  // negative acknowledgement, 125 MSUs; received: SIO, SIN, three FISUs
  // and the MSU.
  EXPECT_EQ(ss7Info(), (std::vector<int>{134, 6, 2 * 3 + 6 * 8 + 3 + 125 * 8, 4 + 4 + 3 + 3 + 3 + 8, 0, 0, 3, 127, 2, 1,
                                         ACP::SS7State::worked}));
}

// A basic-rate slot is wired both ways, and disconnecting either way takes
// its link down: the network side lets its terminals go at once, says so
// and checks and polls no more; the user side releases its link (DISC)
// and says so once the network has answered.
TEST_F(PstnSlots, BasicRateLinkGoesDownWithEitherDirection) {
  struct Case {
    const char* name;
    bool network;
    int disconnected;  // 1: the slot's receiving side, 2: the line's
  };
  const Case cases[] = {{"network, the line's side", true, 2},
                        {"network, the slot's side", true, 1},
                        {"user, the line's side", false, 2},
                        {"user, the slot's side", false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clock.set_auto_advance(false);
    isdn(1, 1, LGCP::IsdnType::bri, c.network);
    line(2, 2, 1, 1, true);
    connect(3, 2, 1);
    connect(4, 1, 2);
    quiet();
    SimBoard::MccChannel& ch = newest();
    if (c.network) {
      ch.inject({0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01, 0xFF});  // identity request: TEI 64
      runner.turn();
      ASSERT_EQ(sent(ch).back(), "02 81 7F");
    } else {
      ASSERT_EQ(sent(ch).size(), 1u);  // identity request
      Bytes request = ch.sent().back();
      ch.inject({0xFE, 0xFF, 0x03, 0x0F, request[4], request[5], 0x02, 0x81});  // TEI 64 assigned
      runner.turn();
      ASSERT_EQ(sent(ch).back(), "00 81 7F");  // SABME
      ch.inject({0x00, 0x81, 0x73});             // UA
      runner.turn();
      ASSERT_EQ(as<PstnSlot>(1)->lapd()->full_state().state, 6u);
    }
    quiet();
    probe.received.clear();
    size_t before = ch.sent().size();

    simple(5, c.disconnected, LGCP::Command::alt_disconnect);
    std::string done = "seq=5 slot=" + std::to_string(c.disconnected) + " success";
    if (c.network) {
      EXPECT_THAT(replies(3), ElementsAre("slot=1 signal ioctl", "slot=1 signal deactivated", done));
      EXPECT_THAT(reports(), ElementsAre("hdlcLinkInfo"));
      EXPECT_EQ(as<PstnSlot>(1)->lapd_nt()->find_Tei(64), nullptr);
    } else {
      EXPECT_THAT(replies(1), ElementsAre(done));
      EXPECT_EQ(sent(ch).back(), "00 81 53");  // DISC
      ch.inject({0x00, 0x81, 0x73});             // UA
      runner.turn();
      EXPECT_THAT(replies(3), ElementsAre("slot=1 signal ioctl", "slot=1 signal ioctl", "slot=1 signal deactivated"));
      EXPECT_THAT(reports(), ElementsAre("isdnLinkInfo", "hdlcLinkInfo"));
      before = ch.sent().size();
    }
    clock.advance(ISDN::LAPD_NT::CheckPeriod + 1000);
    runner.turn(3);
    EXPECT_EQ(ch.sent().size(), before);  // no check, poll or retry
    EXPECT_THAT(reports(), testing::Each("hdlcLinkInfo"));
    quiet();
    destroy(9, 1);
    destroy(9, 2);
    quiet();
  }
}

// The trunk lost, back, and lost again: the link leaves service on each
// loss, and the controller hears each return to service and each loss.
TEST_F(PstnSlots, Ss7LinkLeavesServiceOnEachTrunkLoss) {
  clock.set_auto_advance(false);
  ss7(1, 1);
  connectTimeSlot16(1);
  SimBoard::MccChannel& ch = newest();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    alignSs7(ch, 1);
    EXPECT_THAT(replies(2), ElementsAre("slot=1 signal ioctl", "slot=1 signal activated"));
    pstn.SelfSignal(trunkStatus(0, ACP::TrunkState::lossBF));
    EXPECT_EQ(as<PstnSlot>(1)->ss7()->get_state_id(), SS7::SLC::State::Idle);
    EXPECT_EQ(sent(ch).back(), "FF FF 01 03");
    EXPECT_THAT(replies(4), ElementsAre("slot=1 signal ioctl", "slot=1 signal ioctl", "slot=1 signal ioctl",
                                        "slot=1 signal deactivated"));
    pstn.SelfSignal(trunkStatus(0, ACP::TrunkState::normal));
  }
}

// Each of the eight trace switches of the ss7Log ioctl sets its own trace
// of the link.
TEST_F(PstnSlots, EachSs7LogSwitchSetsItsOwnTrace) {
  ss7(1, 1);
  ASSERT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
  for (int on = 0; on < 8; ++on) {
    SCOPED_TRACE(on);
    ioctl(2, 1, [on](LGCP::IoctlParams& p) {
      LGCP::SS7L2Log& l = p.select_ss7Log();
      l.set_state(on == 0);
      l.set_raw_receive(on == 1);
      l.set_raw_transmit(on == 2);
      l.set_mtp_transmit(on == 3);
      l.set_mtp_receive(on == 4);
      l.set_mtp_activate(on == 5);
      l.set_timers(on == 6);
      l.set_msu_processing(on == 7);
    });
    EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=1 success"));
    const SS7::SLC::LogSwitches& s = as<PstnSlot>(1)->ss7()->log();
    std::vector<bool> set = {s.state,        s.raw_receive,  s.raw_transmit, s.mtp_transmit,
                             s.mtp_receive,  s.mtp_activate, s.timers,       s.msu_processing};
    std::vector<bool> expected(8, false);
    expected[on] = true;
    EXPECT_EQ(set, expected);
  }
}

}  // namespace
}  // namespace signalling_test
