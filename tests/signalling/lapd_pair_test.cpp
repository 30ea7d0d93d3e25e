// Two of our links back to back, user side and network side, over a
// channel that drops frames by a seeded random choice.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>

#include "signalling/lapd.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using ISDN::LAPD;
using ISDN::Side;

namespace {

// One direction of the line: frames wait here until the test delivers them.
struct LossyWire : GenericHDLC {
  std::deque<Packet> inFlight;
  std::mt19937* random = nullptr;
  unsigned dropPercent = 0;
  std::vector<Bytes> log;  // every frame the link sent, dropped or not

  bool hdlc_transmit(Packet& frame) override {
    log.push_back(bytes_of(frame));
    if ((*random)() % 100 >= dropPercent)
      inFlight.push_back(frame);
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
};

struct End {
  Upper upper;
  LossyWire wire;
  LAPD* lapd;
  unsigned nextId = 0;
  explicit End(Side::type side) : lapd(new LAPD(side, 0)) {
    lapd->set_hdlc(&wire);
    upper.add_protocol_tail(lapd);
  }
  void send() {
    Packet p = packet_of({0x08, 0x01, 0x01, 0x7B, static_cast<uint8_t>(nextId >> 8), static_cast<uint8_t>(nextId)});
    ++nextId;
    lapd->message(p);
  }
  // Layer 3 learns of every loss of the link it did not ask for.
  bool reestablished() const { return !upper.statuses.empty() || !upper.ends.empty(); }
};

struct Pair : Clocked {
  std::mt19937 random;
  End user{Side::user}, network{Side::network};

  Pair(unsigned seed, unsigned dropPercent) : random(seed) {
    for (End* e : {&user, &network}) {
      e->wire.random = &random;
      e->wire.dropPercent = dropPercent;
    }
  }
  void pump() {
    while (!user.wire.inFlight.empty() || !network.wire.inFlight.empty()) {
      for (auto [from, to] : {std::pair<End*, End*>{&user, &network}, {&network, &user}}) {
        if (from->wire.inFlight.empty())
          continue;
        Packet f = from->wire.inFlight.front();
        from->wire.inFlight.pop_front();
        to->lapd->receive(f);
      }
    }
  }
  bool idle() const {
    for (const End* e : {&user, &network})
      if (e->lapd->out_queue() || e->lapd->ack_queue() || e->lapd->full_state().state != 6)
        return false;
    return true;
  }
};

// Received message numbers: strictly increasing, and all of them unless a
// re-establishment was reported to either layer 3.
void expect_delivery(const End& from, const End& to) {
  std::vector<unsigned> ids;
  for (const Bytes& m : to.upper.up) {
    ASSERT_EQ(m.size(), 6u);
    ids.push_back(m[4] << 8 | m[5]);
  }
  for (size_t i = 1; i < ids.size(); ++i)
    ASSERT_LT(ids[i - 1], ids[i]) << "duplicated or out of order at " << i;
  if (!from.reestablished() && !to.reestablished()) {
    EXPECT_EQ(ids.size(), from.nextId);
  }
}

// Between two establishments an I frame sent again carries the N(S) it was
// first sent with.
void expect_stable_ns(const End& e) {
  std::map<unsigned, unsigned> firstNs;
  for (const Bytes& f : e.wire.log) {
    if (f.size() >= 3 && (f[2] & 0xEF) == 0x6F)
      firstNs.clear();
    if (f.size() != 10 || (f[2] & 1))
      continue;
    unsigned id = f[8] << 8 | f[9];
    auto [it, fresh] = firstNs.emplace(id, f[2] >> 1);
    if (!fresh) {
      ASSERT_EQ(it->second, unsigned(f[2] >> 1)) << "message " << id;
    }
  }
}

TEST(LapdPair, LossyLineDeliversOnceAndInOrder) {
  testing_support::LogCapture quiet;
  for (auto [seed, drop] : {std::pair<unsigned, unsigned>{1, 0}, {2, 5}, {3, 15}, {4, 30}}) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " drop " + std::to_string(drop) + "%");
    Pair pair(seed, drop);
    pair.user.lapd->local_activate();
    for (int step = 0; step < 400; ++step) {
      for (End* e : {&pair.user, &pair.network}) {
        if (e->lapd->out_queue() < 60)
          e->send();
        if (e->lapd->full_state().state == 3 && e == &pair.user)
          e->lapd->local_activate();  // layer 3 brings a lost link back
      }
      pair.pump();
      pair.advance(25);
    }
    for (int wait = 0; wait < 600 && !pair.idle(); ++wait) {
      if (pair.user.lapd->full_state().state == 3)
        pair.user.lapd->local_activate();
      pair.pump();
      pair.advance(250);
    }
    EXPECT_TRUE(pair.idle());
    expect_delivery(pair.user, pair.network);
    expect_delivery(pair.network, pair.user);
    expect_stable_ns(pair.user);
    expect_stable_ns(pair.network);
    if (drop <= 15) {  // these seeds lose frames but never the link
      EXPECT_FALSE(pair.user.reestablished() || pair.network.reestablished());
    }
    if (drop == 0) {
      EXPECT_EQ(pair.network.upper.up.size(), 400u);
      EXPECT_EQ(pair.user.upper.up.size(), 400u);
    } else {
      EXPECT_GT(pair.user.lapd->stats()[LAPD::Stats::Retrains] + pair.network.lapd->stats()[LAPD::Stats::Retrains],
                0u);
    }
  }
}

}  // namespace
