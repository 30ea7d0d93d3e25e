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
  void ext(int seq, int slot, int tx, int rx) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::ExtParams& e = p.select_ext();
      e.set_transmitter(tx);
      e.set_receiver(rx);
    });
  }

  MapFactory maps;
  ExtFactory exts;
  EchoFactory echoes;
};

TEST_F(BusSlots, MapReplacementMatrix) {
  struct Case {
    const char* name;
    Shared tx1, rx1, tx2, rx2;
    std::vector<std::string> first;   // replies to the first create
    std::vector<std::string> second;  // and to the second
    std::vector<int> heldBySecond;    // log channels the second slot holds
    std::vector<int> empty;           // log channels no slot holds
    std::vector<int> disabled;        // receive channels disabled by the replacement
  };
  const Case cases[] = {
      {"tx only, then its channel as receiver", {{1, 5}}, {}, {}, {{1, 5}},
       {"seq=1 slot=1 success", "slot=1 signal transmitter active 8325"},
       {"seq=0 slot=1 success", "seq=2 slot=2 success", "slot=2 signal receiver active 8325"},
       {133}, {}, {}},
      {"both channels, then one of them", {{0, 1}}, {{0, 2}}, {{0, 2}}, {},
       {"seq=1 slot=1 success", "slot=1 signal receiver active 8194", "slot=1 signal transmitter active 8193"},
       {"seq=0 slot=1 success", "seq=2 slot=2 success", "slot=2 signal transmitter active 8194"},
       {2}, {1}, {8194}},
      {"one channel both ways, then as receiver", {{0, 3}}, {{0, 3}}, {}, {{0, 3}},
       {"seq=1 slot=1 success", "slot=1 signal receiver active 8195", "slot=1 signal transmitter active 8195"},
       {"seq=0 slot=1 success", "seq=2 slot=2 success", "slot=2 signal receiver active 8195"},
       {3}, {}, {8195}},
      {"disjoint channels", {{0, 4}}, {}, {}, {{0, 6}},
       {"seq=1 slot=1 success", "slot=1 signal transmitter active 8196"},
       {"seq=2 slot=2 success", "slot=2 signal receiver active 8198"},
       {6}, {}, {}},
      {"no channel at all", {}, {}, {{2, 0}}, {{2, 0}},
       {"seq=1 slot=1 success"},
       {"seq=2 slot=2 success", "slot=2 signal receiver active 8448", "slot=2 signal transmitter active 8448"},
       {256}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logs.clear();
    map(1, 1, c.tx1, c.rx1);
    EXPECT_THAT(replies(c.first.size()), ElementsAreArray(c.first));
    map(2, 2, c.tx2, c.rx2);
    EXPECT_THAT(replies(c.second.size()), ElementsAreArray(c.second));
    for (int log : c.heldBySecond)
      EXPECT_EQ(maps.holder(log), Slots::instance().slot(2)) << log;
    for (int log : c.empty)
      EXPECT_EQ(maps.holder(log), nullptr) << log;
    for (int channel : c.disabled)
      EXPECT_EQ(output(channel), "disabled") << channel;
    bool replaced = c.second.front() == "seq=0 slot=1 success";
    EXPECT_EQ(logs.err().find("map-slot: two slots require the same ipc-slot, remove old.\n"
                              "new slot na:map <-> old slot 01:map\n") != std::string::npos,
              replaced);
    EXPECT_THAT(logs.err(), Not(HasSubstr("internal error")));
    destroy(3, 1);
    destroy(4, 2);
    replies(replaced ? 3 : 4);
    for (int log = 0; log < MapFactory::SharedChannels; ++log)
      ASSERT_EQ(maps.holder(log), nullptr) << log;
  }
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
  EXPECT_EQ(output(8196), "connected 8705");
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
    create(bus + 100, 5, [&](LGCP::CreateParams& p) {
      LGCP::EchoParams& e = p.select_echo();
      e.set_bus(bus);
      e.set_channel(1);
    });
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
