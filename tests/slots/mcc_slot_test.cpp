// MCC data slots: the allocation each create makes, frames both ways with
// their boundaries, channels that end or fail, and the channel counts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
  // Creates an MCC data slot; its channel, once the create is answered.
  SimBoard::MccChannel& mcc(int seq, int slot, LGCP::MccType::NamedNumber type = LGCP::MccType::data,
                            LGCP::MccMode::NamedNumber mode = LGCP::MccMode::standard) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::MccParams& m = p.select_mcc();
      m.set_type(type);
      m.set_mode(mode);
    });
    EXPECT_THAT(replies(1), ElementsAre("seq=" + std::to_string(seq) + " slot=" + std::to_string(slot) + " success"));
    return board.mcc().channel(board.mcc().channel_count() - 1);
  }
  void userData(int seq, const std::string& bytes) {
    send(seq, 1, [&](LGCP::Command& c) { c.select_userData() = std::vector<char>(bytes.begin(), bytes.end()); });
  }
  MccFactory factory_;
};

TEST_F(MccSlots, AllocationAndCounts) {
  for (auto [type, mode, code] : {std::tuple{LGCP::MccType::data, LGCP::MccMode::standard, 0u},
                                  std::tuple{LGCP::MccType::bri, LGCP::MccMode::standard, 1u},
                                  std::tuple{LGCP::MccType::transparent, LGCP::MccMode::standard, 2u},
                                  std::tuple{LGCP::MccType::bri, LGCP::MccMode::ss7, 3u}}) {
    SimBoard::MccChannel& ch = mcc(1, 1, type, mode);
    EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.reserved(), ch.rx_threshold(),
                                     ch.tx_threshold()}),
              std::vector<uint32_t>({code, 512, 0, 1, 1}));
    // A blocking channel would stall the one loop on a board.
    EXPECT_EQ(ch.file().flags() & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(Slots::instance().slot(1)->IGetTransmitChannel(), ch.timeslot());
    destroy(9, 1);
    EXPECT_EQ(replies(2).size(), 2u);
    EXPECT_FALSE(ch.open());
  }
  board.mcc().fail(SimBoard::Mcc::Allocate, EBUSY, 1);
  create(2, 2, [](LGCP::CreateParams& p) { p.select_mcc(); });
  EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=2 error insufficientResources"));

  // Counts come from the driver, and are 0 without it.
  LGCP::Resources r;
  board.mcc().set_counts(5, 6, 7);
  for (bool present : {true, false}) {
    board.mcc().set_present(present);
    factory_.Query(r);
    EXPECT_EQ(std::vector<int>({r.get_mcc_data().getValue(), r.get_mcc_bri().getValue(), r.get_mcc_trans().getValue()}),
              present ? std::vector<int>({5, 6, 7}) : std::vector<int>({0, 0, 0}));
  }
}

TEST_F(MccSlots, FramesBothWaysKeepTheirBoundaries) {
  SimBoard::MccChannel& ch = mcc(1, 1);
  // Frames that wait together are delivered in one pass, one signal each;
  // a read takes 1024 bytes at most.
  std::string big(1024, 'x');
  for (const std::string& f : {std::string("a"), big, std::string(1500, 'y'), std::string("bc")})
    ch.inject(Bytes(f.begin(), f.end()));
  runner.turn();
  EXPECT_THAT(messages(4, 0), ElementsAre("slot=1 signal userData a", "slot=1 signal userData " + big,
                                          "slot=1 signal userData " + std::string(1024, 'y'),
                                          "slot=1 signal userData bc"));

  userData(2, "hello");
  userData(3, "");  // nothing to write
  userData(4, big);
  EXPECT_THAT(replies(3), ElementsAre("seq=2 slot=1 success", "seq=3 slot=1 success", "seq=4 slot=1 success"));
  EXPECT_THAT(ch.sent(), ElementsAre(Bytes({'h', 'e', 'l', 'l', 'o'}), Bytes(big.begin(), big.end())));

  // A write the channel refuses is reported, not taken as sent; so is one
  // that finds the line full, and one the channel takes in part.
  ch.fail_writes(EIO);
  userData(5, "lost");
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=1 error unsupported"));
  ch.line_full(true);
  userData(6, "full");
  EXPECT_THAT(replies(1), ElementsAre("seq=6 slot=1 error unsupported"));
  ch.line_full(false);
  ch.cut_next_write(2);
  userData(7, "cut");
  EXPECT_THAT(replies(1), ElementsAre("seq=7 slot=1 error unsupported"));
  EXPECT_THAT(logs.err(), HasSubstr("mcc: 01:MCC: write failed: Input/output error\n"));
  EXPECT_THAT(logs.err(), HasSubstr("mcc: 01:MCC: write failed: Resource temporarily unavailable\n"));
  EXPECT_THAT(logs.err(), HasSubstr("mcc: 01:MCC: short write: 2 of 3 bytes\n"));
  EXPECT_THAT(ch.sent(), ElementsAre(Bytes({'h', 'e', 'l', 'l', 'o'}), Bytes(big.begin(), big.end()), Bytes({'c', 'u'})));
}

TEST_F(MccSlots, AChannelThatEndsIsNoLongerWatched) {
  for (auto end : {+[](SimBoard::MccChannel& ch) { ch.inject(Bytes()); },  // a read of 0
                   +[](SimBoard::MccChannel& ch) { ch.hang_up(); }}) {
    SimBoard::MccChannel& ch = mcc(1, 1);
    ch.inject(Bytes{'1'});
    end(ch);
    EXPECT_THAT(messages(1), ElementsAre("slot=1 signal userData 1"));
    EXPECT_TRUE(idles());
    destroy(9, 1);
    EXPECT_EQ(replies(2).size(), 2u);
  }

  // A failed read ends only the pass: later frames still come.
  SimBoard::MccChannel& ch = mcc(2, 2);
  ch.inject_read_error(EIO);
  runner.turn(2);
  ch.inject(Bytes{'2'});
  EXPECT_THAT(messages(1), ElementsAre("slot=2 signal userData 2"));
  EXPECT_TRUE(idles());
}

// A hang-up or an error that comes without anything to read is reported
// on every poll: the channel is dropped from the poll set at once. Pipes
// give these flags alone (a channel's socket adds POLLIN to them).
TEST_F(MccSlots, AHangUpOrErrorWithoutInputIsNotPolledAgain) {
  struct Case {
    const char* name;
    bool watchWriteEnd;  // the slot on the pipe's write end, its reader gone: POLLERR
    const char* line;
  };
  for (const Case& c : {Case{"POLLHUP", false, "channel hung up, reading stopped"},
                        Case{"POLLERR", true, "channel failed, reading stopped"}}) {
    SCOPED_TRACE(c.name);
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    Fd read(ends[0]), write(ends[1]);
    MccSlot slot(c.watchWriteEnd ? write : read);
    (c.watchWriteEnd ? read : write).close();
    logs.clear();
    EXPECT_TRUE(idles());
    EXPECT_FALSE(slot.reading());
    EXPECT_THAT(logs.err(), HasSubstr(c.line));
  }
}

}  // namespace
}  // namespace slot_test
