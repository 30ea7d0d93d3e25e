#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
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
  EXPECT_FALSE(mux->Connect(1, 8200));
  EXPECT_EQ(mux->Read(8200), 255);
  // Tried at start-up and at each use.
  const std::string missing = "hwMux: can't open device: No such file or directory\n";
  EXPECT_EQ(log.log(), "hwMux: init\n" + missing + missing + "hwMux: ERROR not opened\n" + missing);
  EXPECT_EQ(board.log().total(), 0u);
  mux->OnDPC();  // nothing to refresh while closed

  board.hal().set_present(true);
  EXPECT_TRUE(mux->Connect(1, 8200));
  std::vector<uint32_t> channels = disabled(board);
  ASSERT_EQ(channels.size(), 2048u);
  for (uint32_t i = 0; i < 2048; ++i)
    ASSERT_EQ(channels[i], 8192 + i);
  EXPECT_EQ(board.hal().requests().size(), 2049u);  // then the connect
  EXPECT_EQ(board.hal().output(8200).source, 1);
  EXPECT_EQ(mux->mirror(8), 1);
  EXPECT_EQ(mux->mirror(9), HwMux::Disabled);
}

// Each request as the driver receives it ("80084d02 8200 5": number, the
// words in, "-> " the words out when they differ), and the mirror entry
// it leaves; then the same requests failing.
TEST(HwMux, RequestsAndTheMirrorTheyLeave) {
  SimBoard::Board board;
  HwMux* mux = HwMux::instance();
  Hal& hal = board.hal();
  hal.set_input(8301, 0x42);
  auto request = [&] {
    const LoggedRequest& r = board.log().entries()[board.log().entries().size() - 1];
    char number[16];
    std::snprintf(number, sizeof number, "%lx", r.number);
    std::string text = number;
    for (size_t i = 0; i + 4 <= r.in.size(); i += 4)
      text += " " + std::to_string(r.word(i));
    if (r.out != r.in)
      text += " -> " + SimBoard::as_hex(r.out);
    return r.byValue ? "by value" : text;
  };
  struct {
    std::function<bool()> call;
    const char* request;
    int mirrored;  // the mirror entry of the output afterwards; -1: outside the mirror
    const char* failure;  // logged when the driver refuses the request
  } const cases[] = {
      {[&] { return mux->Connect(5, 8200); }, "80084d02 8200 5", 5, "connect 5 -> 8200 failed: Input/output error"},
      {[&] { return mux->Disconnect(8200); }, "c0084d04 8200 213", HwMux::Constant,
       "disconnect failed 8200 : Input/output error"},
      {[&] { return mux->Disable(8200); }, "80044d03 8200", HwMux::Disabled, "disable failed 8200 : Input/output error"},
      {[&] { return mux->Write(8300, 0xab); }, "c0084d04 8300 171", HwMux::Constant,
       "write failed 8300 <- 0xab : Input/output error"},
      {[&] { return mux->Read(8300) == 0xab; }, "c0084d05 8300 255 -> 00 00 20 6c 00 00 00 ab", HwMux::Constant,
       "read failed 8300 -> 0xff : Input/output error"},
      {[&] { return mux->Read(8301) == 0x42; }, "c0084d05 8301 255 -> 00 00 20 6d 00 00 00 42", HwMux::Disabled,
       nullptr},
      {[&] { return mux->Connect(3, 40); }, "80084d02 40 3", -1, nullptr},  // below the mirrored range
  };
  // The call's result; its request (what a failed one sent) and the mirror
  // it leaves checked.
  auto run = [&](const auto& c, bool failing) {
    std::vector<uint16_t> before = mirror(mux);
    bool ok = c.call();
    std::string sent = c.request;
    EXPECT_EQ(request(), failing ? sent.substr(0, sent.find(" ->")) : sent);
    int output = std::stoi(std::string(c.request).substr(9));
    if (c.mirrored < 0)
      EXPECT_EQ(mirror(mux), before) << c.request;
    else
      EXPECT_EQ(mux->mirror(output - HwMux::MirrorBase), c.mirrored) << c.request;
    return ok;
  };
  for (const auto& c : cases)
    EXPECT_TRUE(run(c, false)) << c.request;
  EXPECT_EQ(hal.output(40).source, 3);

  // Failed requests are logged; the mirror records what was asked.
  LogCapture log;
  for (unsigned long number : {Hal::Connect, Hal::Write, Hal::Disable, Hal::Read})
    hal.fail(number, EIO);
  for (const auto& c : cases) {
    if (!c.failure)
      continue;
    log.clear();
    EXPECT_FALSE(run(c, true));
    EXPECT_EQ(log.log(), std::string("hwMux: ") + c.failure + "\n");
  }
  // Negative channels: refused without a request.
  board.log().clear();
  log.clear();
  EXPECT_FALSE(mux->Connect(-1, 8200));
  EXPECT_FALSE(mux->Connect(1, -8200));
  EXPECT_FALSE(mux->Disconnect(-1));
  EXPECT_FALSE(mux->Disable(-1));
  EXPECT_FALSE(mux->Write(-1, 1));
  EXPECT_EQ(mux->Read(-1), 255);
  EXPECT_EQ(log.log(), "hwMux: ERROR not opened\nhwMux: ERROR not opened\n");
  EXPECT_TRUE(board.log().entries().empty());
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
