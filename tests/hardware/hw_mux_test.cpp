#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "hardware/hw_mux.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using SimBoard::Hal;
using SimBoard::LoggedRequest;
using SimBoard::words;
using testing_support::LogCapture;

namespace {

std::vector<uint16_t> mirror(HwMux* mux) {
  std::vector<uint16_t> entries;
  for (int i = 0; i < HwMux::MirrorSize; ++i)
    entries.push_back(mux->mirror(i));
  return entries;
}

// The channels of the disable requests made since the log was cleared.
std::vector<uint32_t> disabled(SimBoard::Board& board) {
  std::vector<uint32_t> channels;
  for (const LoggedRequest& r : board.hal().requests(Hal::Disable))
    channels.push_back(r.word(0));
  return channels;
}

}  // namespace

TEST(HwMux, MissingDeviceIsRetriedAndOpeningDisablesEveryOutput) {
  LogCapture log;
  SimBoard::Board board([](SimBoard::Board& b) { b.hal().set_present(false); });
  HwMux* mux = HwMux::instance();
  EXPECT_EQ(log.log(), "hwMux: init\nhwMux: can't open device: No such file or directory\n");
  log.clear();
  EXPECT_FALSE(mux->Connect(1, 8200));
  EXPECT_EQ(mux->Read(8200), 255);
  EXPECT_EQ(log.log(), "hwMux: can't open device: No such file or directory\nhwMux: ERROR not opened\n"
                       "hwMux: can't open device: No such file or directory\n");
  EXPECT_EQ(board.log().total(), 0u);
  mux->OnDPC();  // nothing to refresh while closed

  board.hal().set_present(true);
  log.clear();
  EXPECT_TRUE(mux->Connect(1, 8200));
  EXPECT_EQ(log.log(), "hwMux: device opened\n");
  std::vector<uint32_t> channels = disabled(board);
  ASSERT_EQ(channels.size(), 2048u);
  for (uint32_t i = 0; i < 2048; ++i)
    ASSERT_EQ(channels[i], 8192 + i);
  EXPECT_EQ(board.hal().requests().size(), 2049u);  // then the connect
  EXPECT_EQ(board.hal().output(8200).source, 1);
  EXPECT_EQ(mux->mirror(8), 1);
  EXPECT_EQ(mux->mirror(9), HwMux::Disabled);
}

TEST(HwMux, ConnectDisconnectDisableWriteAndRead) {
  SimBoard::Board board;
  HwMux* mux = HwMux::instance();
  Hal& hal = board.hal();
  board.log().clear();

  EXPECT_TRUE(mux->Connect(5, 8200));
  EXPECT_EQ(mux->mirror(8), 5);
  EXPECT_TRUE(mux->Disconnect(8200));
  EXPECT_EQ(mux->mirror(8), HwMux::Constant);
  EXPECT_EQ(hal.output(8200).byte, 213);
  EXPECT_TRUE(mux->Disable(8200));
  EXPECT_EQ(mux->mirror(8), HwMux::Disabled);
  EXPECT_TRUE(mux->Write(8300, 0xab));
  EXPECT_EQ(mux->mirror(108), HwMux::Constant);
  EXPECT_EQ(mux->Read(8300), 0xab);
  hal.set_input(8301, 0x42);
  EXPECT_EQ(mux->Read(8301), 0x42);

  // Below the mirrored range the request goes through and nothing is recorded.
  std::vector<uint16_t> before = mirror(mux);
  EXPECT_TRUE(mux->Connect(3, 40));
  EXPECT_EQ(hal.output(40).source, 3);
  EXPECT_EQ(mirror(mux), before);

  // The raw requests, as the driver received them.
  const auto& r = board.log().entries();
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(r[0].number, 0x80084d02u);
  EXPECT_EQ(r[0].in, words({8200, 5}));
  EXPECT_EQ(r[1].number, 0xc0084d04u);
  EXPECT_EQ(r[1].in, words({8200, 213}));
  EXPECT_EQ(r[2].number, 0x80044d03u);
  EXPECT_EQ(r[2].in, words({8200}));
  EXPECT_EQ(r[3].in, words({8300, 0xab}));
  EXPECT_EQ(r[4].number, 0xc0084d05u);
  EXPECT_EQ(r[4].in, words({8300, 255}));
  EXPECT_EQ(r[4].out, words({8300, 0xab}));
  EXPECT_EQ(r[6].in, words({40, 3}));
  for (const LoggedRequest& e : r)
    EXPECT_FALSE(e.byValue);
}

TEST(HwMux, FailedAndRefusedRequestsKeepTheRecordedState) {
  SimBoard::Board board;
  HwMux* mux = HwMux::instance();
  Hal& hal = board.hal();
  board.log().clear();
  LogCapture log;
  // Negative channels: refused without a request.
  EXPECT_FALSE(mux->Connect(-1, 8200));
  EXPECT_FALSE(mux->Connect(1, -8200));
  EXPECT_FALSE(mux->Disconnect(-1));
  EXPECT_FALSE(mux->Disable(-1));
  EXPECT_FALSE(mux->Write(-1, 1));
  EXPECT_EQ(mux->Read(-1), 255);
  EXPECT_EQ(log.log(), "hwMux: ERROR not opened\nhwMux: ERROR not opened\n");
  EXPECT_TRUE(board.log().entries().empty());

  log.clear();
  hal.fail(Hal::Connect, EIO);
  hal.fail(Hal::Write, EBUSY);
  hal.fail(Hal::Disable, ENXIO);
  hal.fail(Hal::Read, EIO);
  EXPECT_FALSE(mux->Connect(5, 8200));
  EXPECT_EQ(mux->mirror(8), 5);
  EXPECT_FALSE(mux->Disconnect(8201));
  EXPECT_EQ(mux->mirror(9), HwMux::Constant);
  EXPECT_FALSE(mux->Disable(8200));
  EXPECT_EQ(mux->mirror(8), HwMux::Disabled);
  EXPECT_FALSE(mux->Write(8300, 0xab));
  EXPECT_EQ(mux->Read(8300), 255);
  EXPECT_EQ(log.log(),
            "hwMux: connect 5 -> 8200 failed: Input/output error\n"
            "hwMux: disconnect failed 8201 : Device or resource busy\n"
            "hwMux: disable failed 8200 : No such device or address\n"
            "hwMux: write failed 8300 <- 0xab : Device or resource busy\n"
            "hwMux: read failed 8300 -> 0xff : Input/output error\n");
}

// Outputs above 10239 have no mirror entry: the requests reach the driver
// and nothing past the mirror is written.
TEST(HwMux, OutputsBeyondTheMirrorArePassedThroughUnrecorded) {
  SimBoard::Board board;
  HwMux* mux = HwMux::instance();
  Hal& hal = board.hal();
  EXPECT_TRUE(mux->Connect(7, 10239));
  std::vector<uint16_t> before = mirror(mux);
  uint32_t cursor = mux->cursor();  // the member after the mirror
  EXPECT_EQ(before[2047], 7);
  for (int channel : {10240, 16383}) {
    EXPECT_TRUE(mux->Connect(7, channel));
    EXPECT_EQ(hal.output(channel).source, 7);
    EXPECT_TRUE(mux->Disconnect(channel));
    EXPECT_TRUE(mux->Write(channel, 9));
    EXPECT_EQ(mux->Read(channel), 9);
    EXPECT_TRUE(mux->Disable(channel));
    EXPECT_EQ(hal.output(channel).kind, Hal::Kind::Disabled);
  }
  EXPECT_EQ(mirror(mux), before);
  EXPECT_EQ(mux->cursor(), cursor);
  // The driver has the last word on channels it does not have.
  LogCapture log;
  EXPECT_FALSE(mux->Connect(7, 20000));
  EXPECT_EQ(log.log(), "hwMux: connect 7 -> 20000 failed: Invalid argument\n");
}

// The loop refreshes 128 outputs a turn, after the cursor, and re-disables
// only outputs marked disabled: idle, 128 disable requests a turn, and the
// cursor back after the 16 turns of a sweep.
TEST(HwMux, RefreshSweeps128OutputsPerLoopTurn) {
  SimBoard::Board board;
  testing_support::TestClock clock;
  HwMux* mux = HwMux::instance();
  for (int i = 0; i < HwMux::MirrorSize; ++i)
    ASSERT_TRUE(mux->Disable(HwMux::MirrorBase + i));
  testing_support::LoopRunner loop;
  uint32_t start = mux->cursor();
  for (int turn = 0; turn < 16; ++turn) {
    board.log().clear();
    loop.turn();
    std::vector<uint32_t> channels = disabled(board);
    ASSERT_EQ(channels.size(), 128u) << turn;
    for (uint32_t i = 0; i < 128; ++i)
      ASSERT_EQ(channels[i], HwMux::MirrorBase + (start + 128 * turn + i + 1) % HwMux::MirrorSize);
  }
  EXPECT_EQ(mux->cursor(), start);

  // Connected and constant outputs are passed over; a disabled one again
  // is refreshed once per sweep.
  EXPECT_TRUE(mux->Connect(5, 8200));
  EXPECT_TRUE(mux->Write(8192, 1));
  board.log().clear();
  loop.turn(16);
  std::vector<uint32_t> sweep = disabled(board);
  EXPECT_EQ(sweep.size(), 2046u);
  EXPECT_EQ(std::count(sweep.begin(), sweep.end(), 8200u), 0);
  EXPECT_TRUE(mux->Disable(8200));
  board.log().clear();
  loop.turn(16);
  sweep = disabled(board);
  EXPECT_EQ(std::count(sweep.begin(), sweep.end(), 8200u), 1);
  EXPECT_EQ(sweep.size(), 2047u);
}
