// E1 and BRI trunk slots: each of the twelve factory objects with every
// trunk and time slot a create can name, and the switch channel, trunk and
// time slot of each slot it makes.
#include <gtest/gtest.h>

#include <string>

#include "slots/trunk_slot.h"

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

}  // namespace
