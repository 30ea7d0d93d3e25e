// Two of our links back to back, user side and network side, over a
// channel that drops frames by a seeded random choice.
#include <gtest/gtest.h>

#include <map>

#include "signalling/lapd.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using ISDN::LAPD;
using ISDN::Side;

namespace {

using End = LossyEnd<LAPD>;

// Layer 3 learns of every loss of the link it did not ask for.
bool reestablished(const End& e) { return !e.upper.statuses.empty() || !e.upper.ends.empty(); }

bool idle(const End& e) { return !e.layer->out_queue() && !e.layer->ack_queue() && e.layer->full_state().state == 6; }

// Received message numbers: strictly increasing, and all of them unless a
// re-establishment was reported to either layer 3.
void expect_delivery(const End& from, const End& to) {
  std::vector<unsigned> ids = to.received();
  for (size_t i = 1; i < ids.size(); ++i)
    ASSERT_LT(ids[i - 1], ids[i]) << "duplicated or out of order at " << i;
  if (!reestablished(from) && !reestablished(to)) {
    EXPECT_EQ(ids.size(), from.sent);
  }
}

// Between two establishments an I frame sent again carries the N(S) it was
// first sent with.
void expect_stable_ns(const End& e) {
  std::map<unsigned, unsigned> firstNs;
  for (const Bytes& f : e.log) {
    if (f.size() >= 3 && (f[2] & 0xEF) == 0x6F)
      firstNs.clear();
    if (f.size() != 10 || (f[2] & 1))
      continue;
    auto [it, fresh] = firstNs.emplace(f[8] << 8 | f[9], f[2] >> 1);
    if (!fresh) {
      ASSERT_EQ(it->second, unsigned(f[2] >> 1)) << "message " << it->first;
    }
  }
}

TEST(LapdPair, LossyLineDeliversOnceAndInOrder) {
  testing_support::LogCapture quiet;
  for (auto [seed, drop] : {std::pair<unsigned, unsigned>{1, 0}, {2, 5}, {3, 15}, {4, 30}}) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " drop " + std::to_string(drop) + "%");
    Clocked clock;
    std::mt19937 random(seed);
    End user(new LAPD(Side::user, 0), &random), network(new LAPD(Side::network, 0), &random);
    user.dropPercent = network.dropPercent = drop;
    auto step = [&](unsigned ms) {
      if (user.layer->full_state().state == 3)
        user.layer->local_activate();  // layer 3 brings a lost link back
      while (End::exchange(user, network)) {
      }
      clock.advance(ms);
    };
    for (int i = 0; i < 400; ++i) {
      for (End* e : {&user, &network})
        if (e->layer->out_queue() < 60)
          e->send({0x08, 0x01, 0x01, 0x7B});
      step(25);
    }
    for (int wait = 0; wait < 600 && !(idle(user) && idle(network)); ++wait)
      step(250);
    EXPECT_TRUE(idle(user) && idle(network));
    expect_delivery(user, network);
    expect_delivery(network, user);
    expect_stable_ns(user);
    expect_stable_ns(network);
    if (drop <= 15) {  // these seeds lose frames but never the link
      EXPECT_FALSE(reestablished(user) || reestablished(network));
    }
    if (drop == 0) {
      EXPECT_EQ(network.upper.up.size(), 400u);
      EXPECT_EQ(user.upper.up.size(), 400u);
    } else {
      EXPECT_GT(user.layer->stats()[LAPD::Stats::Retrains] + network.layer->stats()[LAPD::Stats::Retrains], 0u);
    }
  }
}

}  // namespace
