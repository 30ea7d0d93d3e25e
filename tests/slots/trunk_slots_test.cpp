// E1 and BRI trunk slots: each of the twelve factory objects with every
// trunk and time slot a create can name, and the switch channel, trunk and
// time slot of each slot it makes; then replacements through the
// controller's commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "slots/trunk_slot.h"
#include "tests/slots/slot_fixture.h"

namespace {

LGCP::CreateParams trunkParams(bool bri, int trunk, int timeslot) {
  LGCP::CreateParams params;
  LGCP::TrunkParams& t = bri ? params.select_trunk_bri() : params.select_trunk();
  t.set_trunk(trunk);
  t.set_timeslot(timeslot);
  return params;
}

struct Object {
  TrunkFactory* factory;
  bool bri;
  int trunk;
};

const Object objects[] = {
    {&trunk0, false, 0},    {&trunk1, false, 1},    {&trunk2, false, 2},    {&trunk3, false, 3},
    {&trunk_bri0, true, 0}, {&trunk_bri1, true, 1}, {&trunk_bri2, true, 2}, {&trunk_bri3, true, 3},
    {&trunk_bri4, true, 4}, {&trunk_bri5, true, 5}, {&trunk_bri6, true, 6}, {&trunk_bri7, true, 7},
};

// E1 trunk t, time slot s: channel 32 t + s; BRI trunk t, channel s: 4 t + s.
// A factory takes only its own alternative and trunk, and time slots below
// 32 (E1) or 4 (BRI); the slot it makes is held until its release.
TEST(TrunkSlots, EachFactoryServesItsOwnTrunkWithEveryTimeSlot) {
  for (const Object& o : objects) {
    SCOPED_TRACE(std::string(o.bri ? "trunk_bri" : "trunk") + std::to_string(o.trunk));
    EXPECT_STREQ(o.factory->GetName(), o.bri ? "TrunksBRI" : "Trunks");
    int made = 0;
    for (bool bri : {false, true})
      for (int trunk = 0; trunk <= 8; ++trunk)
        for (int ts = 0; ts <= 32; ++ts) {
          Slot* slot = o.factory->NewSlot(trunkParams(bri, trunk, ts));
          const bool served = bri == o.bri && trunk == o.trunk && ts < (bri ? 4 : 32);
          ASSERT_EQ(slot != nullptr, served) << (bri ? "bri " : "e1 ") << trunk << "/" << ts;
          if (!slot)
            continue;
          ++made;
          const int channel = bri ? 4 * trunk + ts : 32 * trunk + ts;
          EXPECT_EQ(slot->IGetTransmitChannel(), channel) << ts;
          EXPECT_EQ(slot->IGetReceiveChannel(), channel) << ts;
          EXPECT_EQ(slot->GetTrunk(), trunk) << ts;
          EXPECT_EQ(slot->GetTrunkTimeSlot(), ts) << ts;
          EXPECT_STREQ(slot->GetName(), bri ? "trunkBRI" : "trunk");
          EXPECT_TRUE(slot->IOnOutputStream() && slot->IOnInputStream());
          EXPECT_EQ(o.factory->held(static_cast<unsigned>(ts)), slot) << ts;
          EXPECT_TRUE(slot->IBeforeDestroy());
          EXPECT_EQ(o.factory->held(static_cast<unsigned>(ts)), nullptr) << ts;
          o.factory->Remove(slot);
          delete slot;
        }
    EXPECT_EQ(made, o.bri ? 4 : 32);
  }
}

// Factories of the test's own, asked before the global ones.
class TrunkReplacement : public slot_test::SlotTest {
protected:
  // BRI trunk 1, channel 0, or E1 trunk 0, time slot 4: switch channel 4.
  void trunk(int seq, int slot, bool bri) {
    create(seq, slot, [&](LGCP::CreateParams& p) { p = trunkParams(bri, bri ? 1 : 0, bri ? 0 : 4); });
  }
  size_t replacements() {
    size_t count = 0;
    const std::string err = logs.err();
    for (size_t at = err.find("two slots require"); at != std::string::npos; at = err.find("two slots require", at + 1))
      ++count;
    return count;
  }

  TrunkFactory e1{0, 0};
  TrunkBRIFactory bri{1, 4};
};

// Every later create on a busy time slot replaces the slot before it, not
// only the first: the controller hears the older slot's destruction before
// the new slot's answer, and the table holds the newest. E1 trunk 0 and BRI
// trunk 1 share switch channel 4 without replacing one another.
TEST_F(TrunkReplacement, EveryLaterCreateOnABusyTimeSlotReplacesTheSlotBeforeIt) {
  for (bool isBri : {false, true}) {
    SCOPED_TRACE(isBri ? "bri" : "e1");
    TrunkFactory& factory = isBri ? static_cast<TrunkFactory&>(bri) : e1;
    const unsigned timeslot = isBri ? 0 : 4;
    logs.clear();
    for (int slot = 1; slot <= 4; ++slot) {
      trunk(slot, slot, isBri);
      std::vector<std::string> expected = {"seq=" + std::to_string(slot) + " slot=" + std::to_string(slot) + " success",
                                           "slot=" + std::to_string(slot) + " signal transmitter active 4",
                                           "slot=" + std::to_string(slot) + " signal receiver active 4"};
      if (slot > 1)
        expected.insert(expected.begin(), "seq=0 slot=" + std::to_string(slot - 1) + " success");
      EXPECT_THAT(messages(expected.size()), testing::ElementsAreArray(expected)) << slot;
      EXPECT_EQ(factory.held(timeslot), Slots::instance().slot(slot)) << slot;
      EXPECT_EQ(Slots::instance().slot(slot - 1), nullptr) << slot;
      EXPECT_EQ(replacements(), static_cast<size_t>(slot - 1));
    }
    // Destroyed, the newest leaves the time slot free: the next create
    // replaces nothing.
    destroy(5, 4);
    EXPECT_THAT(messages(2), testing::ElementsAre("seq=0 slot=4 success", "seq=5 slot=4 success"));
    EXPECT_EQ(factory.held(timeslot), nullptr);
    trunk(6, 6, isBri);
    EXPECT_EQ(messages(3).size(), 3u);
    EXPECT_EQ(replacements(), 3u);
    // The other kind's table is its own.
    trunk(7, 7, !isBri);
    EXPECT_EQ(messages(3).size(), 3u);
    EXPECT_EQ(replacements(), 3u);
    destroy(8, 6);
    destroy(9, 7);
    EXPECT_EQ(messages(4).size(), 4u);
  }
}

}  // namespace
