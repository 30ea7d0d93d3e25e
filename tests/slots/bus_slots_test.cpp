// Map, ext and echo slots: the shared-channel table and its replacements,
// ext stream gating, and echo buses that are never present.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "slots/echo_slot.h"
#include "slots/ext_slot.h"
#include "slots/map_slot.h"
#include "tests/slots/slot_fixture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace slot_test {
namespace {

using Shared = std::optional<std::pair<unsigned, unsigned>>;  // {bus, channel}

class BusSlots : public SlotTest {
protected:
  void map(int seq, int slot, Shared tx, Shared rx) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::MapParams& m = p.select_map();
      if (tx) {
        m.mutable_transmitter().set_bus(tx->first);
        m.mutable_transmitter().set_channel(tx->second);
      }
      if (rx) {
        m.mutable_receiver().set_bus(rx->first);
        m.mutable_receiver().set_channel(rx->second);
      }
    });
  }
  void ext(int seq, int slot, int tx, int rx) { ControlTest::create(seq, slot, tx, rx); }

  MapFactory maps;
  ExtFactory exts;
  EchoFactory echoes;
};

TEST_F(BusSlots, MapReplacementMatrix) {
  struct Case {
    const char* name;
    Shared tx1, rx1, tx2, rx2;
    std::vector<std::string> first;   // signals after the first create
    std::vector<std::string> second;  // replies to the second create
    int held;                         // the log channel the second slot holds
    int disabled;                     // a receive channel the replacement disables (0: none)
  };
  const Case cases[] = {
      {"tx only, then its channel as receiver", {{1, 5}}, {}, {}, {{1, 5}},
       {"slot=1 signal transmitter active 8325"},
       {"seq=0 slot=1 success", "seq=2 slot=2 success", "slot=2 signal receiver active 8325"}, 133, 0},
      {"both channels, then one of them", {{0, 1}}, {{0, 2}}, {{0, 2}}, {},
       {"slot=1 signal receiver active 8194", "slot=1 signal transmitter active 8193"},
       {"seq=0 slot=1 success", "seq=2 slot=2 success", "slot=2 signal transmitter active 8194"}, 2, 8194},
      {"one channel both ways, then as receiver", {{0, 3}}, {{0, 3}}, {}, {{0, 3}},
       {"slot=1 signal receiver active 8195", "slot=1 signal transmitter active 8195"},
       {"seq=0 slot=1 success", "seq=2 slot=2 success", "slot=2 signal receiver active 8195"}, 3, 8195},
      {"no channel at all, then a new one", {}, {}, {{2, 0}}, {{2, 0}}, {},
       {"seq=2 slot=2 success", "slot=2 signal receiver active 8448", "slot=2 signal transmitter active 8448"}, 256,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    map(1, 1, c.tx1, c.rx1);
    std::vector<std::string> first = c.first;
    first.insert(first.begin(), "seq=1 slot=1 success");
    EXPECT_THAT(replies(first.size()), ElementsAreArray(first));
    map(2, 2, c.tx2, c.rx2);
    EXPECT_THAT(replies(c.second.size()), ElementsAreArray(c.second));
    EXPECT_EQ(maps.holder(c.held), Slots::instance().slot(2));
    if (c.disabled) {
      EXPECT_EQ(output(c.disabled), "disabled");
    }
    EXPECT_THAT(logs.err(), Not(HasSubstr("internal error")));
    bool replaced = c.second.front() == "seq=0 slot=1 success";
    destroy(3, 1);
    destroy(4, 2);
    replies(replaced ? 3 : 4);
    for (int log = 0; log < MapFactory::SharedChannels; ++log)
      ASSERT_EQ(maps.holder(log), nullptr) << log;
  }
}

// A map slot's release disables its receive channel and leaves its
// transmit channel as it is; a map slot without a transmit channel is no
// source.
TEST_F(BusSlots, MapReleaseDisablesOnlyTheReceiveChannelAndRefusesWhatItLacks) {
  map(1, 1, {{3, 10}}, {{3, 11}});
  map(2, 2, {}, {{3, 12}});
  ASSERT_EQ(replies(5).size(), 5u);
  connect(3, 2, 1);  // slot 2 has no transmit channel
  connect(4, 1, 2);
  EXPECT_THAT(replies(2), ElementsAre("seq=3 slot=2 error connectFail", "seq=4 slot=1 success"));
  EXPECT_EQ(output(8588), "connected 8586");
  unsigned transmitDisables = board.hal().output(8586).disables;
  destroy(5, 1);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=1 success", "seq=5 slot=1 success"));
  EXPECT_EQ(output(8587), "disabled");
  EXPECT_EQ(board.hal().output(8586).disables, transmitDisables);
  EXPECT_EQ(output(8588), "constant 213");  // the receiver lost its source
}

TEST_F(BusSlots, ExtTakesASourceOnlyWhileActivated) {
  map(1, 1, {{4, 1}}, {});
  ext(2, 2, 3, 4);
  ext(3, 3, 2048, 0);  // outside the shared range
  ext(4, 3, 0, -1);
  EXPECT_THAT(replies(6), ElementsAre("seq=1 slot=1 success", "slot=1 signal transmitter active 8705",
                                      "seq=2 slot=2 success", "slot=2 signal transmitter active 8195",
                                      "seq=3 slot=3 error insufficientResources",
                                      "seq=4 slot=3 error insufficientResources"));
  connect(5, 1, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=1 error connectFail"));
  activate(6, 2);
  EXPECT_THAT(replies(2), ElementsAre("slot=2 signal receiver active 8196", "seq=6 slot=2 success"));
  EXPECT_EQ(output(8196), "constant 213");
  connect(7, 1, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=7 slot=1 success"));
  // Activating again keeps the source's path.
  activate(8, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=8 slot=2 success"));
  EXPECT_EQ(output(8196), "connected 8705");

  simple(9, 2, LGCP::Command::alt_deactivate);
  EXPECT_THAT(replies(2), ElementsAre("slot=2 signal receiver inactive", "seq=9 slot=2 success"));
  EXPECT_EQ(output(8196), "disabled");
  EXPECT_EQ(Slots::instance().slot(2)->source(), nullptr);
  connect(10, 1, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=10 slot=1 error connectFail"));
}

TEST_F(BusSlots, EchoBusesAreNeverPresent) {
  for (int bus : {0, 15, 16, -1})
    create(bus + 100, 5, [&](LGCP::CreateParams& p) { p.select_echo().set_bus(bus); });
  EXPECT_THAT(replies(4), ElementsAre("seq=100 slot=5 error insufficientResources",
                                      "seq=115 slot=5 error insufficientResources",
                                      "seq=116 slot=5 error insufficientResources",
                                      "seq=99 slot=5 error insufficientResources"));
  LGCP::Resources resources;
  echoes.Query(resources);
  EXPECT_THAT(resources.get_echoBus(), IsEmpty());
}

}  // namespace
}  // namespace slot_test
