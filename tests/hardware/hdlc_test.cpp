#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "hardware/hdlc.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "simboard/mcc.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using SimBoard::Bytes;
using SimBoard::Hal;
using SimBoard::Mcc;
using SimBoard::MccChannel;
using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;

namespace {

Packet frame(const Bytes& bytes) {
  Packet p;
  p.reserve_head(16);
  p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  return p;
}

struct Receiver : HDLC::Notify {
  HDLC* channel = nullptr;
  std::vector<std::string> frames;
  std::vector<int> errors;
  int ready = 0;
  bool closeOnReceive = false;
  void on_hdlc_receive(Packet& f) override {
    frames.push_back(f.text());
    if (closeOnReceive)
      channel->deactivate();
  }
  void on_hdlc_error(Cause::Type cause) override { errors.push_back(cause); }
  void on_hdlc_ready() override { ++ready; }
};

// A channel on trunk 2, time slot 16, line channel 40, bound to a receiver.
struct Link {
  HDLC hdlc;
  Receiver rx;
  explicit Link(int mode = 0, int tdm = 40, int tdm2 = -1) {
    HDLC::Params p = hdlc.params();
    p.timeslot = 16;
    p.tdm = tdm;
    p.tdm2 = tdm2;
    p.mode = mode;
    hdlc.set_params(p);
    hdlc.set_trunk(2);
    hdlc.bind(&rx);
    rx.channel = &hdlc;
  }
};

class HdlcTest : public ::testing::Test {
protected:
  SimBoard::Board board;
  TestClock clock;
  LoopRunner loop;
  Mcc& mcc = board.mcc();
  Hal& hal = board.hal();
};

}  // namespace

TEST(Hdlc, StartsClosedAndSwallowsNotifications) {
  HDLC hdlc;
  // Closed: an empty frame is taken, a real one discarded.
  Packet empty;
  EXPECT_TRUE(hdlc.hdlc_transmit(empty));
  Packet f = frame({1, 2});
  EXPECT_FALSE(hdlc.hdlc_transmit(f));
  EXPECT_EQ(hdlc.stats().txDiscard, 1u);
  hdlc.do_read();
}

TEST_F(HdlcTest, ActivationAllocatesAndWiresEachMode) {
  struct {
    int mode;
    uint32_t type;
  } modes[] = {{0, 3}, {1, 0}, {2, 1}};
  for (auto m : modes) {
    board.log().clear();
    Link link(m.mode, 40, 41);
    ASSERT_TRUE(link.hdlc.activate());
    EXPECT_FALSE(link.hdlc.is_ready());
    MccChannel& ch = mcc.channel(mcc.channel_count() - 1);
    int slot = ch.timeslot();
    const auto& r = board.log().entries();
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[0].number, Mcc::Allocate);
    EXPECT_EQ(r[0].in, SimBoard::words({m.type, 512, 0, 1, 4}));
    EXPECT_EQ(r[1].number, Mcc::Timeslot);
    EXPECT_EQ(r[1].result, slot);
    // Transmit: the channel into the line (the second one in mode 2); receive: the line into the channel.
    uint32_t out = m.mode == 2 ? 41 : 40;
    EXPECT_EQ(r[r.size() - 2].in, SimBoard::words({out, uint32_t(slot)}));
    EXPECT_EQ(r.back().in, SimBoard::words({uint32_t(slot), 40}));

    // The first writable poll makes it ready, once.
    loop.turn(3);
    EXPECT_TRUE(link.hdlc.is_ready());
    EXPECT_EQ(link.rx.ready, 1);
  }
}

TEST_F(HdlcTest, ActivationFailuresCloseTheChannelAndARetryWorks) {
  Link link;
  LogCapture log;
  mcc.set_present(false);
  EXPECT_FALSE(link.hdlc.activate());
  mcc.set_present(true);
  mcc.fail(Mcc::Allocate, ENOSPC, 1);
  EXPECT_FALSE(link.hdlc.activate());
  mcc.fail(Mcc::Timeslot, EIO, 1);
  EXPECT_FALSE(link.hdlc.activate());
  EXPECT_EQ(log.err(),
            "hdlc [2/16]: fail to open MCC device: No such file or directory\n"
            "hdlc [2/16]: MCC_ALLOCATE fail: No space left on device\n"
            "hdlc [2/16]: MCC_TIMESLOT fail: Input/output error\n");
  EXPECT_EQ(mcc.open_count(), 0u);
  EXPECT_TRUE(hal.requests(Hal::Connect).empty());
  // An unknown mode opens nothing.
  HDLC::Params p = link.hdlc.params();
  p.mode = 3;
  link.hdlc.set_params(p);
  EXPECT_FALSE(link.hdlc.activate());
  EXPECT_EQ(mcc.opens(), 2u);
  p.mode = 0;
  link.hdlc.set_params(p);
  EXPECT_TRUE(link.hdlc.activate());
}

TEST_F(HdlcTest, ReceivesQueuedFramesUntilTheReceiverDeactivates) {
  Link link;
  ASSERT_TRUE(link.hdlc.activate());
  MccChannel& ch = mcc.channel(0);
  ch.inject({0x01, 0x02});
  ch.inject(Bytes(600, 0x7e));  // frames are whatever the line delivers
  loop.until([&] { return link.rx.frames.size() == 2; }, 10);
  ASSERT_EQ(link.rx.frames.size(), 2u);
  EXPECT_EQ(link.rx.frames[0], "01 02");
  EXPECT_EQ(link.rx.frames[1].size(), 600u * 3 - 1);
  EXPECT_EQ(link.hdlc.stats().rxSU, 2u);

  // A receiver that closes the channel ends the read loop there.
  link.rx.closeOnReceive = true;
  for (uint8_t i = 3; i <= 5; ++i)
    ch.inject({i});
  loop.turn(2);
  EXPECT_EQ(link.rx.frames.back(), "03");
  EXPECT_EQ(link.rx.frames.size(), 3u);
  EXPECT_TRUE(link.rx.errors.empty());
  EXPECT_FALSE(ch.open());
}

TEST_F(HdlcTest, ReadErrorsCloseTheChannelAndTellTheOwner) {
  Link link;
  ASSERT_TRUE(link.hdlc.activate());
  loop.turn(2);
  ASSERT_TRUE(link.hdlc.is_ready());
  mcc.channel(0).inject({0xaa});
  mcc.channel(0).inject_read_error(EIO);
  LogCapture log;
  loop.turn(2);
  EXPECT_EQ(link.rx.frames, std::vector<std::string>{"AA"});
  EXPECT_EQ(link.rx.errors, std::vector<int>{HDLC::Notify::Cause::ReadError});
  EXPECT_EQ(log.err(), "hdlc [2/16]: read error: Input/output error\n");
  EXPECT_FALSE(link.hdlc.is_ready());
  EXPECT_FALSE(mcc.channel(0).open());

  // A read that returns nothing is an error too, not a "try again".
  ASSERT_TRUE(link.hdlc.activate());
  mcc.channel(1).inject(Bytes());
  log.clear();
  errno = EAGAIN;  // whatever an earlier call left behind
  loop.turn(2);
  EXPECT_EQ(log.err(), "hdlc [2/16]: read error: No data available\n");
  EXPECT_EQ(link.rx.errors.size(), 2u);
  EXPECT_FALSE(link.hdlc.is_open());
}

TEST_F(HdlcTest, TransmitWaitsForAStalledChannelToDrain) {
  Link link;
  ASSERT_TRUE(link.hdlc.activate());
  loop.turn(2);
  ASSERT_EQ(link.rx.ready, 1);
  MccChannel& ch = mcc.channel(0);
  Packet f = frame({0x10, 0x20, 0x30});
  EXPECT_TRUE(link.hdlc.hdlc_transmit(f));
  EXPECT_EQ(ch.sent().at(0), (Bytes{0x10, 0x20, 0x30}));
  EXPECT_EQ(f.length(), 3u);  // the caller keeps its frame

  ch.stall(true);
  Packet big = frame(Bytes(300, 0x55));
  uint32_t written = 0;
  while (link.hdlc.hdlc_transmit(big))
    ASSERT_LT(++written, 1000u);
  EXPECT_GT(written, 0u);
  EXPECT_FALSE(link.hdlc.is_ready());
  EXPECT_EQ(link.hdlc.stats().txSU, written + 1);
  loop.turn(2);
  EXPECT_FALSE(link.hdlc.is_ready());  // still full
  EXPECT_EQ(link.rx.ready, 1);

  ch.stall(false);
  EXPECT_EQ(ch.sent_total(), written + 1);
  loop.turn(2);
  EXPECT_TRUE(link.hdlc.is_ready());
  EXPECT_EQ(link.rx.ready, 2);

  // A failing write is counted; the channel stays open and ready.
  ch.fail_writes(EIO);
  EXPECT_FALSE(link.hdlc.hdlc_transmit(f));
  EXPECT_EQ(link.hdlc.stats().txError, 1u);
  EXPECT_TRUE(link.hdlc.is_ready());
  ch.fail_writes(EINTR);  // interrupted once, then written
  EXPECT_TRUE(link.hdlc.hdlc_transmit(f));
  EXPECT_EQ(link.hdlc.stats().txError, 1u);
  EXPECT_EQ(link.hdlc.stats().txSU, written + 2);
}
