// MCC data slots: the allocation each create makes, frames both ways with
// their boundaries, channels that end or fail, and the channel counts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

#include "simboard/mcc.h"
#include "slots/mcc_slot.h"
#include "tests/slots/slot_fixture.h"

using SimBoard::Bytes;
using testing::ElementsAre;
using testing::HasSubstr;

namespace slot_test {
namespace {

class MccSlots : public SlotTest {
protected:
  void SetUp() override {
    SlotTest::SetUp();
    board.mcc().clear_failures();
    board.mcc().set_present(true);
  }
  void mcc(int seq, int slot, LGCP::MccType::NamedNumber type, LGCP::MccMode::NamedNumber mode) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::MccParams& m = p.select_mcc();
      m.set_type(type);
      m.set_mode(mode);
    });
  }
  void userData(int seq, int slot, const std::string& bytes) {
    send(seq, slot, [&](LGCP::Command& c) { c.select_userData() = std::vector<char>(bytes.begin(), bytes.end()); });
  }
  SimBoard::MccChannel& newest() { return board.mcc().channel(board.mcc().channel_count() - 1); }
  // Whether the loop waits when idle: the clock jumps to the next timer
  // only when no descriptor is ready.
  bool idles() {
    uint64_t before = clock.now_ms();
    runner.turn(2);
    return clock.now_ms() > before;
  }

  MccFactory factory_;
};

TEST_F(MccSlots, AllocationForEachKind) {
  struct Case {
    LGCP::MccType::NamedNumber type;
    LGCP::MccMode::NamedNumber mode;
    uint32_t code;
  };
  const Case cases[] = {{LGCP::MccType::transparent, LGCP::MccMode::standard, 2},
                        {LGCP::MccType::bri, LGCP::MccMode::ss7, 3}};
  for (const Case& c : cases) {
    mcc(1, 1, c.type, c.mode);
    ASSERT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
    SimBoard::MccChannel& ch = newest();
    EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.reserved(), ch.rx_threshold(),
                                     ch.tx_threshold()}),
              std::vector<uint32_t>({c.code, 512, 0, 1, 1}));
    EXPECT_EQ(ch.file().flags() & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(Slots::instance().slot(1)->IGetTransmitChannel(), ch.timeslot());
    destroy(9, 1);
    EXPECT_EQ(replies(2).size(), 2u);
    EXPECT_FALSE(ch.open());
  }
  EXPECT_THAT(logs.log(), HasSubstr("mcc: MCC_ALLOCATE type=3\n"));

  board.mcc().fail(SimBoard::Mcc::Allocate, EBUSY, 1);
  mcc(2, 2, LGCP::MccType::data, LGCP::MccMode::standard);
  EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=2 error insufficientResources"));
  board.mcc().set_present(false);
  mcc(3, 2, LGCP::MccType::data, LGCP::MccMode::standard);
  EXPECT_THAT(replies(1), ElementsAre("seq=3 slot=2 error insufficientResources"));
  EXPECT_THAT(logs.err(), HasSubstr("mcc: MCC_ALLOCATE fail: Device or resource busy\n"
                                    "mcc: fail to open MCC device: No such file or directory\n"));

  // Counts come from the driver, and are 0 without it.
  LGCP::Resources r;
  factory_.Query(r);
  EXPECT_EQ(r.get_mcc_data().getValue() + r.get_mcc_bri().getValue() + r.get_mcc_trans().getValue(), 0);
  board.mcc().set_present(true);
  board.mcc().set_counts(5, 6, 7);
  factory_.Query(r);
  EXPECT_EQ(std::vector<int>({r.get_mcc_data().getValue(), r.get_mcc_bri().getValue(), r.get_mcc_trans().getValue()}),
            std::vector<int>({5, 6, 7}));
}

TEST_F(MccSlots, FramesBothWaysKeepTheirBoundaries) {
  mcc(1, 1, LGCP::MccType::data, LGCP::MccMode::standard);
  ASSERT_EQ(replies(1).size(), 1u);
  SimBoard::MccChannel& ch = newest();
  // Frames that wait together are delivered in one pass, one signal each.
  std::string big(1024, 'x');
  for (const std::string& f : {std::string("a"), big, std::string("bc")})
    ch.inject(Bytes(f.begin(), f.end()));
  runner.turn();
  EXPECT_THAT(messages(3, 0), ElementsAre("slot=1 signal userData a", "slot=1 signal userData " + big,
                                          "slot=1 signal userData bc"));

  userData(2, 1, "hello");
  userData(3, 1, "");  // nothing to write
  userData(4, 1, big);
  EXPECT_THAT(replies(3), ElementsAre("seq=2 slot=1 success", "seq=3 slot=1 success", "seq=4 slot=1 success"));
  ASSERT_EQ(ch.sent().size(), 2u);
  EXPECT_EQ(ch.sent()[0], Bytes({'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(ch.sent()[1].size(), 1024u);

  // A write the channel refuses is reported, not taken as sent.
  ch.fail_writes(EIO);
  userData(5, 1, "lost");
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=1 error unsupported"));
  EXPECT_THAT(logs.err(), HasSubstr("mcc: 01:MCC: write failed: Input/output error\n"));
}

TEST_F(MccSlots, AChannelThatEndsIsNoLongerWatched) {
  struct Case {
    const char* name;
    std::function<void(SimBoard::MccChannel&)> end;
    const char* line;
  };
  const Case cases[] = {
      {"empty read", [](SimBoard::MccChannel& ch) { ch.inject(Bytes()); }, "channel closed"},
      {"hang-up", [](SimBoard::MccChannel& ch) { ch.hang_up(); }, "channel hung up"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logs.clear();
    mcc(1, 1, LGCP::MccType::data, LGCP::MccMode::standard);
    ASSERT_EQ(replies(1).size(), 1u);
    SimBoard::MccChannel& ch = newest();
    ch.inject(Bytes{'1'});
    c.end(ch);
    EXPECT_THAT(messages(1), ElementsAre("slot=1 signal userData 1"));
    EXPECT_TRUE(idles());
    EXPECT_THAT(logs.err(), testing::EndsWith(std::string("mcc: 01:MCC: ") + c.line + ", reading stopped\n"));
    EXPECT_EQ(logs.err().find("reading stopped"), logs.err().rfind("reading stopped"));  // once
    destroy(9, 1);
    EXPECT_EQ(replies(2).size(), 2u);
  }

  // A failed read ends only the pass: later frames still come.
  mcc(2, 2, LGCP::MccType::data, LGCP::MccMode::standard);
  ASSERT_EQ(replies(1).size(), 1u);
  SimBoard::MccChannel& ch = newest();
  ch.inject_read_error(EIO);
  runner.turn(2);
  ch.inject(Bytes{'2'});
  EXPECT_THAT(messages(1), ElementsAre("slot=2 signal userData 2"));
  EXPECT_TRUE(idles());
}

}  // namespace
}  // namespace slot_test
