// Raw HDLC slots through the controller's commands: the frame header both
// ways, the batches of received frames and their flush, the transmit
// queue across a disconnection, and the channel's counters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/signalling/slot_fixture.h"

using testing::ElementsAre;

namespace signalling_test {
namespace {

class HdlcSlots : public SignallingTest {
protected:
  // Slot 1: address 0x0102 on trunk 1, not connected yet.
  void SetUp() override {
    SignallingTest::SetUp();
    create(1, 1, [](LGCP::CreateParams& p) {
      LGCP::HdlcParams& h = p.select_hdlcParams();
      h.set_trunk(1);
      h.set_log(0);
      h.set_address(0x0102);
    });
    ASSERT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
  }
  void packages(int seq, const std::vector<Bytes>& bodies) {
    ioctl(seq, 1, [&](LGCP::IoctlParams& p) {
      auto& list = p.select_hdlcPackages();
      for (const Bytes& b : bodies) {
        LGCP::HdlcPackage package;
        package.set_body(std::vector<char>(b.begin(), b.end()));
        list.push_back(package);
      }
    });
  }
  // The packages of each hdlcPackages signal, in hex.
  std::vector<std::vector<std::string>> batches() {
    std::vector<std::vector<std::string>> out;
    for (const LGCP::Signal& s : probe.received)
      if (s.is_ioctl() && s.get_ioctl().is_hdlcPackages()) {
        out.emplace_back();
        for (const LGCP::HdlcPackage& p : s.get_ioctl().get_hdlcPackages())
          out.back().push_back(lapd_test::hex(Bytes(p.get_body().begin(), p.get_body().end())));
      }
    probe.received.clear();
    return out;
  }
};

TEST_F(HdlcSlots, HeaderAndCountersBothWays) {
  packages(2, {{0xAA}, {0xBB, 0xCC}});  // queued until a connection opens the channel
  EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=1 success"));
  connectTimeSlot16();
  SimBoard::MccChannel& ch = newest();
  EXPECT_EQ(ch.type(), 0u);  // one line channel both ways
  EXPECT_EQ(output(16), "connected " + std::to_string(ch.timeslot()));
  EXPECT_THAT(sent(newest()), ElementsAre("01 02 00 AA", "01 02 20 BB CC"));

  ch.inject({0x01, 0x02, 0xA0, 0x11, 0x22});  // the peer's send counter is 5
  runner.turn();
  EXPECT_THAT(batches(), ElementsAre(ElementsAre("11 22")));
  EXPECT_THAT(replies(1), ElementsAre("slot=1 signal ioctl"));
  packages(4, {{0xDD}});
  EXPECT_THAT(replies(1), ElementsAre("seq=4 slot=1 success"));
  EXPECT_EQ(sent(newest()).back(), "01 02 45 DD");

  // Too short for a header: dropped. No second payload byte: the batch ends.
  for (const Bytes& f : {Bytes{0x01}, Bytes{0x01, 0x02}, Bytes{0x01, 0x02, 0x40}, Bytes{0x01, 0x02, 0x40, 0x7E}})
    ch.inject(f);
  runner.turn(2);
  EXPECT_THAT(batches(), ElementsAre(ElementsAre(""), ElementsAre("7E")));
  EXPECT_EQ(replies(2).size(), 2u);

  ioctl(5, 1, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); });
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=1 error unsupported"));
}

TEST_F(HdlcSlots, BatchesEndOnAClearBitOrAfter100Ms) {
  connectTimeSlot16();
  SimBoard::MccChannel& ch = newest();
  const Bytes more = {0x01, 0x02, 0x00, 0x11, 0x80}, last = {0x01, 0x02, 0x00, 0x22, 0x00};
  // Another station's frame is not kept, but its clear bit ends the batch.
  for (const Bytes& f : {more, more, more, last, more, Bytes{0x01, 0x03, 0x00, 0x33, 0x00}})
    ch.inject(f);
  runner.turn(2);
  EXPECT_THAT(batches(), ElementsAre(ElementsAre("11 80", "11 80", "11 80", "22 00"), ElementsAre("11 80")));

  clock.set_auto_advance(false);
  ch.inject(more);
  runner.turn();
  clock.advance(60);
  ch.inject(more);
  runner.turn();
  clock.advance(39);
  runner.turn();
  EXPECT_TRUE(batches().empty());
  clock.advance(1);
  runner.turn();
  EXPECT_THAT(batches(), ElementsAre(ElementsAre("11 80", "11 80")));
  clock.advance(1000);
  runner.turn();
  EXPECT_TRUE(batches().empty());  // nothing pending, nothing sent
}

// 120 frames wait for the channel; the 121st is dropped. The counters go
// out every 3000 ms, and at once on deactivate.
TEST_F(HdlcSlots, QueueAndStatistics) {
  std::vector<Bytes> bodies;
  for (int i = 0; i < 121; ++i)
    bodies.push_back({static_cast<uint8_t>(i)});
  packages(2, bodies);
  EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=1 success"));
  connectTimeSlot16();
  std::vector<std::string> frames = sent(newest());
  ASSERT_EQ(frames.size(), 120u);
  EXPECT_EQ(frames.back(), "01 02 E0 77");

  clock.set_auto_advance(false);
  reports();
  simple(4, 1, LGCP::Command::alt_deactivate);
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal ioctl", "seq=4 slot=1 success"));
  const LGCP::IoctlResponse* info = last(LGCP::IoctlResponse::alt_hdlcLinkInfo);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->get_hdlcLinkInfo().get_txSU().getValue(), 120);
  EXPECT_THAT(reports(), ElementsAre("hdlcLinkInfo"));
  clock.advance(2999);
  runner.turn();
  EXPECT_TRUE(reports().empty());
  clock.advance(1);
  runner.turn();
  EXPECT_THAT(reports(), ElementsAre("hdlcLinkInfo"));
  EXPECT_EQ(newest().sent().size(), 120u);  // the channel still runs

  // Packages the pool cannot spare buffers for are refused whole; the
  // last buffers are kept for the controller link (whose command holds
  // one) and the line.
  quiet();
  lapd_test::PoolHog hog(packet_reserve + 2);
  packages(5, {{0x01}, {0x02}});
  packages(6, {{0x03}});
  EXPECT_THAT(replies(2), ElementsAre("seq=5 slot=1 error unsupported", "seq=6 slot=1 success"));
  EXPECT_EQ(sent(newest()).back(), "01 02 20 03");  // the dropped 121st frame counted: this is the 122nd
}

// Disconnected, the slot closes its channel; frames that a full line kept
// waiting stay queued and go out, in order, on the channel the next
// connection opens.
TEST_F(HdlcSlots, DisconnectClosesTheChannelAndKeepsTheQueue) {
  clock.set_auto_advance(false);
  connectTimeSlot16();
  SimBoard::MccChannel& first = newest();
  first.line_full(true);
  packages(4, {{0x01}, {0x02}});
  EXPECT_THAT(replies(1), ElementsAre("seq=4 slot=1 success"));
  EXPECT_TRUE(first.sent().empty());
  simple(5, 1, LGCP::Command::alt_disconnect);
  EXPECT_THAT(quiet(), ElementsAre("seq=5 slot=1 success"));
  EXPECT_FALSE(first.open());

  size_t channels = board.mcc().channel_count();
  connect(6, 2, 1);
  EXPECT_THAT(quiet(), testing::Contains("seq=6 slot=2 success"));
  ASSERT_EQ(board.mcc().channel_count(), channels + 1);
  EXPECT_THAT(sent(newest()), ElementsAre("01 02 00 01", "01 02 20 02"));
}

// Each batch has its own 100 ms: one ended by a clear bit stops the wait,
// and the next batch waits from its own first frame. A frame too short for
// a header ends no batch.
TEST_F(HdlcSlots, EachBatchWaitsItsOwn100Ms) {
  clock.set_auto_advance(false);
  connectTimeSlot16();
  SimBoard::MccChannel& ch = newest();
  const Bytes more = {0x01, 0x02, 0x00, 0x11, 0x80}, last = {0x01, 0x02, 0x00, 0x22, 0x00};
  ch.inject(more);
  runner.turn();
  clock.advance(10);
  ch.inject(last);
  runner.turn();
  EXPECT_THAT(batches(), ElementsAre(ElementsAre("11 80", "22 00")));
  clock.advance(50);
  ch.inject(more);
  ch.inject({0x01, 0x02});
  runner.turn(2);
  clock.advance(99);
  runner.turn();
  EXPECT_TRUE(batches().empty());
  clock.advance(1);
  runner.turn();
  EXPECT_THAT(batches(), ElementsAre(ElementsAre("11 80")));
}

// The channel's five counters, each in its own field of hdlcLinkInfo.
TEST(HdlcLinkInfo, EachCounterInItsOwnField) {
  HDLC::Stats s;
  s.txSU = 11;
  s.txDiscard = 22;
  s.txError = 33;
  s.txOverflow = 44;
  s.rxSU = 55;
  LGCP::IoctlResponse r = LinkSlot::HdlcLinkInfo(s);
  ASSERT_TRUE(r.is_hdlcLinkInfo());
  const LGCP::HdlcLinkInfo& i = r.get_hdlcLinkInfo();
  EXPECT_EQ(std::vector<int>({i.get_txSU().getValue(), i.get_txDiscard().getValue(), i.get_txError().getValue(),
                              i.get_txOverflow().getValue(), i.get_rxSU().getValue()}),
            std::vector<int>({11, 22, 33, 44, 55}));
}

}  // namespace
}  // namespace signalling_test
