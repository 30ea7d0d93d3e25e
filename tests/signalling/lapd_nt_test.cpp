// The network side of a basic-rate bus: TEI management, the terminals'
// entities and the routing of layer-3 messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "signalling/lapd_nt.h"
#include "tests/signalling/lapd_harness.h"

using namespace lapd_test;
using ISDN::LAPD_NT;
using ISDN::LAPD_NT_user;

namespace {

using Frames = std::vector<std::string>;

struct Bus : Clocked {
  Upper upper;
  LAPD_NT* nt;

  Bus() : nt(new LAPD_NT) { upper.add_protocol_tail(nt); }
  void rx(const Bytes& frame) { from_below(nt, frame); }
  void l3(const Bytes& message) { from_above(nt, message); }
  // A terminal's management message (user side: C/R = 0).
  void tei(unsigned short ri, uint8_t type, uint8_t ai) {
    rx({0xFC, 0xFF, 0x03, 0x0F, static_cast<uint8_t>(ri), static_cast<uint8_t>(ri >> 8), type,
        static_cast<uint8_t>(ai << 1 | 1)});
  }
  Frames take() { return upper.take_down(); }
};

std::string mgmt(unsigned short ri, uint8_t type, uint8_t ai) {
  return "FE FF 03 0F " + hex({uint8_t(ri), uint8_t(ri >> 8), type, uint8_t(ai << 1 | 1)});
}

TEST(LapdNt, IdentityRequestsAssignDenyOrIgnore) {
  Bus bus;
  bus.tei(0x1234, 1, 127);
  EXPECT_EQ(bus.take(), (Frames{mgmt(0x1234, 2, 64), "02 81 7F"}));
  bus.tei(0x0001, 1, 127);
  EXPECT_EQ(bus.take(), (Frames{mgmt(0x0001, 2, 65), "02 83 7F"}));
  bus.tei(0x0002, 1, 70);
  EXPECT_EQ(bus.take(), Frames{mgmt(0x0002, 3, 70)});
  bus.tei(0x0003, 1, 10);
  EXPECT_TRUE(bus.take().empty());
  for (unsigned short ri = 4; ri < 10; ++ri)
    bus.tei(ri, 1, 127);
  EXPECT_EQ(bus.take().size(), 12u);
  bus.tei(0x000A, 1, 127);  // eight terminals on the bus
  EXPECT_EQ(bus.take(), Frames{mgmt(0x000A, 3, 127)});
  ASSERT_NE(bus.nt->find_Tei(71), nullptr);
}

TEST(LapdNt, UnknownTeisAreAdoptedOrRemoved) {
  Bus bus;
  bus.rx({0x00, 0xA1, 0x00, 0x01, 0x08, 0x01, 0x05, 0x07});  // I frame, P = 1, from TEI 80
  EXPECT_EQ(bus.take(), (Frames{"02 A1 7F", "00 A1 01 03"}));
  ASSERT_EQ(bus.upper.up.size(), 1u);
  EXPECT_EQ(bus.nt->find_Tei(80)->call_reference(), 5);
  for (uint8_t t = 81; t < 88; ++t)
    bus.rx({0x00, static_cast<uint8_t>(t << 1 | 1), 0x01, 0x00});
  bus.take();
  bus.rx({0x00, 0xB1, 0x01, 0x00});  // TEI 88: no entity left
  EXPECT_EQ(bus.take(), Frames(2, mgmt(0, 6, 88)));
  // An S frame cut short is dropped before it can claim an entity.
  bus.nt->user(7).unassign();
  bus.rx({0x00, 0xB1, 0x01});
  EXPECT_TRUE(bus.take().empty());
  EXPECT_EQ(bus.nt->find_Tei(88), nullptr);
}

TEST(LapdNt, SetupIsBroadcastOtherMessagesFollowTheCallReference) {
  Bus bus;
  bus.tei(1, 1, 127);
  bus.take();
  bus.l3({0x08, 0x01, 0x05, 0x05, 0xA1});  // SETUP
  bus.l3({0x08, 0x01, 0x85, 0x07});        // CONNECT: no terminal in that call yet
  EXPECT_EQ(bus.take(), Frames{"02 FF 03 08 01 05 05 A1"});
  bus.rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x05, 0x01});  // ALERTING, P = 0
  EXPECT_TRUE(bus.take().empty());
  bus.l3({0x08, 0x01, 0x85, 0x0F});  // CONNECT ACKNOWLEDGE goes to that terminal
  EXPECT_EQ(bus.take(), Frames{"02 81 00 03 08 01 85 0F"});
  EXPECT_EQ(bus.nt->find_Tei(64)->state(), LAPD_NT_user::WaitAnswer);
  bus.rx({0x02, 0x81, 0x01, 0x03});  // RR F = 1 acknowledging it
  EXPECT_EQ(bus.nt->find_Tei(64)->ack_count(), 0u);
  EXPECT_EQ(bus.nt->find_Tei(64)->state(), LAPD_NT_user::Assigned);
  // Busy: held back, then sent when the terminal is ready again.
  bus.rx({0x02, 0x81, 0x05, 0x02});
  bus.l3({0x08, 0x01, 0x85, 0x45});
  EXPECT_TRUE(bus.take().empty());
  bus.rx({0x02, 0x81, 0x01, 0x02});
  EXPECT_EQ(bus.take(), Frames{"02 81 02 03 08 01 85 45"});
}

TEST(LapdNt, SilentTerminalsArePolledThenUnassigned) {
  Bus bus;
  bus.tei(1, 1, 127);
  bus.take();
  bus.advance(LAPD_NT_user::PollTime);
  EXPECT_EQ(bus.take(), Frames{"02 81 01 01"});
  bus.advance(3 * LAPD_NT_user::T200);
  EXPECT_EQ(bus.take(), Frames(3, "02 81 01 01"));
  EXPECT_NE(bus.nt->find_Tei(64), nullptr);
  bus.advance(LAPD_NT_user::T200);
  EXPECT_EQ(bus.nt->find_Tei(64), nullptr);
  // An unanswered I frame is sent again, unchanged.
  bus.tei(2, 1, 127);
  bus.rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x02, 0x01});
  bus.take();
  bus.l3({0x08, 0x01, 0x82, 0x07});
  bus.advance(LAPD_NT_user::T200);
  EXPECT_EQ(bus.take(), Frames(2, "02 81 00 03 08 01 82 07"));
}

TEST(LapdNt, EntityFramesAndTheirAnswers) {
  Bus bus;
  bus.tei(1, 1, 127);
  bus.take();
  bus.rx({0x00, 0x81, 0x6F});  // SABME, P = 0: counters reset, no UA
  EXPECT_TRUE(bus.take().empty());
  bus.rx({0x00, 0x81, 0x7F});
  EXPECT_EQ(bus.take(), Frames{"00 81 73"});
  bus.rx({0x00, 0x81, 0x02, 0x01, 0x08, 0x01, 0x03, 0x01});  // N(S) = 1: out of sequence
  EXPECT_EQ(bus.take(), Frames{"00 81 09 01"});
  bus.rx({0x00, 0x81, 0x01, 0x01});  // RR command, P = 1
  EXPECT_EQ(bus.take(), Frames{"00 81 01 01"});
  bus.rx({0x00, 0x81, 0x53});  // DISC, P = 1
  EXPECT_EQ(bus.take(), Frames{"00 81 73"});
  EXPECT_EQ(bus.nt->find_Tei(64), nullptr);
  bus.tei(2, 1, 127);
  bus.rx({0x02, 0x81, 0x1F});  // DM response
  EXPECT_EQ(bus.nt->find_Tei(64), nullptr);
}

TEST(LapdNt, PeriodicChecksConfirmOrRemove) {
  Bus bus;
  bus.nt->local_activate();
  EXPECT_EQ(bus.upper.activations, 1);
  EXPECT_EQ(bus.take(), Frames{mgmt(0, 4, 127)});
  bus.tei(1, 1, 127);
  bus.tei(2, 1, 127);
  bus.take();
  bus.nt->check_all_Tei();
  EXPECT_EQ(bus.take(), Frames{mgmt(0, 4, 127)});
  bus.tei(0x55, 5, 64);  // TEI 64 answers, TEI 65 stays silent
  EXPECT_TRUE(bus.take().empty());
  bus.advance(LAPD_NT_user::CheckTime);
  EXPECT_NE(bus.nt->find_Tei(64), nullptr);
  EXPECT_EQ(bus.nt->find_Tei(65), nullptr);
  // A second answer with the same reference is the same terminal; another is a duplicate.
  bus.tei(0x55, 5, 64);
  EXPECT_TRUE(bus.take().empty());
  bus.nt->check_all_Tei();
  bus.take();
  bus.tei(0x55, 5, 64);
  bus.tei(0x66, 5, 64);
  EXPECT_EQ(bus.take(), Frames(2, mgmt(0, 6, 64)));
  EXPECT_EQ(bus.nt->find_Tei(64), nullptr);
  // An answer for a TEI nobody holds is adopted; one for the group TEI is removed.
  bus.tei(0x77, 5, 90);
  EXPECT_EQ(bus.take(), Frames{"02 B5 7F"});
  bus.tei(0x77, 5, 127);
  EXPECT_EQ(bus.take(), Frames(2, mgmt(0, 6, 127)));
  // The check comes back every minute.
  bus.advance(LAPD_NT::CheckPeriod);
  Frames minute = bus.take();
  EXPECT_EQ(std::count(minute.begin(), minute.end(), mgmt(0, 4, 127)), 1);
  bus.nt->local_deactivate();
  EXPECT_EQ(bus.nt->find_Tei(90), nullptr);
  EXPECT_EQ(bus.upper.ends, std::vector<std::string>{"success (deactivated locally)"});
}

// Without a free buffer nothing is sent and nothing breaks: a terminal
// assigned meanwhile is polled once buffers are back.
TEST(LapdNt, AnEmptyPoolCostsFramesNotTheBus) {
  Bus bus;
  Packet request = packet_of({0xFC, 0xFF, 0x03, 0x0F, 0x01, 0x00, 0x01, 0xFF});
  Packet setup = packet_of({0x08, 0x01, 0x01, 0x05});
  {
    PoolHog hog;
    bus.nt->receive(request);
    bus.nt->message(setup);  // its own buffer carries it
    EXPECT_EQ(bus.take(), Frames{"02 FF 03 08 01 01 05"});
  }
  ASSERT_NE(bus.nt->find_Tei(64), nullptr);
  bus.advance(LAPD_NT_user::PollTime);
  EXPECT_EQ(bus.take(), Frames{"02 81 01 01"});
}

TEST(LapdNt, MalformedFramesNeverAbort) {
  Bus bus;
  bus.tei(1, 1, 127);
  std::mt19937 random(103);
  for (int round = 0; round < 5000; ++round) {
    Bytes frame(round % 9);
    for (uint8_t& b : frame)
      b = static_cast<uint8_t>(random());
    if (round % 2 && frame.size() >= 2)
      frame[1] = 0x81;  // TEI 64
    bus.rx(frame);
    bus.l3(frame);
  }
}

// An identity request by its action indicator: 0 to 63 is ignored, 64 to
// 126 denied with that value, 127 assigned the first free TEI.
TEST(LapdNt, IdentityRequestsByActionIndicator) {
  struct Row {
    uint8_t ai;
    Frames answer;
  };
  const Row rows[] = {
      {0, {}},
      {63, {}},
      {64, {mgmt(7, 3, 64)}},
      {100, {mgmt(7, 3, 100)}},
      {126, {mgmt(7, 3, 126)}},
      {127, {mgmt(7, 2, 64), "02 81 7F"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(int(r.ai));
    Bus bus;
    bus.tei(7, 1, r.ai);
    EXPECT_EQ(bus.take(), r.answer);
    EXPECT_EQ(bus.nt->find_Tei(64) != nullptr, r.ai == 127);
  }
}

// A REJ sends every unacknowledged frame again and waits for the answer
// (state 2, T200): a silent terminal is polled three more times, then
// unassigned.
TEST(LapdNt, RejectRetransmitsAndWaitsForTheAnswer) {
  Bus bus;
  bus.tei(1, 1, 127);
  bus.rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x02, 0x01});  // ALERTING for call reference 2, P = 0
  bus.take();
  LAPD_NT_user* t = bus.nt->find_Tei(64);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->state(), LAPD_NT_user::Assigned);
  bus.l3({0x08, 0x01, 0x82, 0x07});
  bus.l3({0x08, 0x01, 0x82, 0x0F});
  EXPECT_EQ(bus.take(), (Frames{"02 81 00 03 08 01 82 07", "02 81 02 03 08 01 82 0F"}));
  bus.rx({0x02, 0x81, 0x01, 0x04});  // RR N(R) = 2: both acknowledged
  ASSERT_EQ(t->state(), LAPD_NT_user::Assigned);
  ASSERT_EQ(t->ack_count(), 0u);

  bus.l3({0x08, 0x01, 0x82, 0x45});  // N(S) = 2
  bus.take();
  bus.rx({0x02, 0x81, 0x09, 0x04});  // REJ N(R) = 2
  EXPECT_EQ(bus.take(), Frames{"02 81 04 03 08 01 82 45"});
  EXPECT_EQ(t->state(), LAPD_NT_user::WaitAnswer);
  bus.advance(3 * LAPD_NT_user::T200);
  EXPECT_EQ(bus.take(), Frames(3, "02 81 04 03 08 01 82 45"));
  EXPECT_NE(bus.nt->find_Tei(64), nullptr);
  bus.advance(LAPD_NT_user::T200);
  EXPECT_TRUE(bus.take().empty());
  EXPECT_EQ(bus.nt->find_Tei(64), nullptr);

  // With nothing outstanding a REJ still asks for an answer at once.
  Bus idle;
  idle.tei(1, 1, 127);
  idle.take();
  idle.rx({0x02, 0x81, 0x09, 0x02});  // REJ N(R) = 1
  EXPECT_EQ(idle.nt->find_Tei(64)->state(), LAPD_NT_user::WaitAnswer);
  idle.advance(LAPD_NT_user::T200);
  EXPECT_EQ(idle.take(), Frames{"02 81 01 01"});
}

// A terminal that answers a poll late starts the next poll with its full
// N200 retries.
TEST(LapdNt, EachPollHasItsFullRetries) {
  Bus bus;
  bus.tei(1, 1, 127);
  bus.take();
  bus.advance(LAPD_NT_user::PollTime);
  bus.advance(2 * LAPD_NT_user::T200);
  EXPECT_EQ(bus.take(), Frames(3, "02 81 01 01"));
  bus.rx({0x02, 0x81, 0x01, 0x01});  // RR F = 1: the answer at last
  ASSERT_EQ(bus.nt->find_Tei(64)->state(), LAPD_NT_user::Assigned);
  bus.advance(LAPD_NT_user::PollTime);
  bus.advance(LAPD_NT_user::N200 * LAPD_NT_user::T200);
  EXPECT_EQ(bus.take(), Frames(1 + LAPD_NT_user::N200, "02 81 01 01"));
  EXPECT_NE(bus.nt->find_Tei(64), nullptr);
  bus.advance(LAPD_NT_user::T200);
  EXPECT_EQ(bus.nt->find_Tei(64), nullptr);
}

// The TEI check comes back every minute while the bus is active, and no
// more once it has been deactivated.
TEST(LapdNt, ChecksEveryMinuteUntilDeactivated) {
  Bus bus;
  bus.nt->local_activate();
  EXPECT_EQ(bus.take(), Frames{mgmt(0, 4, 127)});
  for (int minute = 1; minute <= 3; ++minute) {
    bus.advance(LAPD_NT::CheckPeriod - 1);
    EXPECT_TRUE(bus.take().empty()) << minute;
    bus.advance(1);
    EXPECT_EQ(bus.take(), Frames{mgmt(0, 4, 127)}) << minute;
  }
  bus.nt->local_deactivate();
  bus.advance(3 * LAPD_NT::CheckPeriod);
  EXPECT_TRUE(bus.take().empty());
}

}  // namespace
