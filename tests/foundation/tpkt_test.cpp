#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/protocol.h"
#include "foundation/tpkt_protocol.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;

namespace {

Packet chunk(const std::string& bytes) {
  Packet p;
  p.reserve_head(0);
  p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  return p;
}

std::string str(const Packet& p) { return std::string(reinterpret_cast<const char*>(p.data()), p.length()); }

// Holds a TPKT layer alone: what it sends down and hands up is recorded.
class Harness : public ProtocolsFamily {
public:
  Harness() : tpkt(new Tpkt_protocol) { add_protocol_tail(tpkt); }
  void transmit(Packet& p) override { sent.push_back(str(p)); }
  void on_message(Packet& p) override { payloads.push_back(str(p)); }
  void feed(const std::string& bytes) {
    Packet p = chunk(bytes);
    receive(p);
  }

  Tpkt_protocol* tpkt;
  std::vector<std::string> sent;
  std::vector<std::string> payloads;
};

TEST(Tpkt, FramesPayloadsOnTheWayDown) {
  Harness h;
  Packet p;
  h.prepare_head(p);
  EXPECT_EQ(4u, p.headroom());
  p.put("ABC", 3);
  h.message(p);
  ASSERT_EQ(1u, h.sent.size());
  EXPECT_EQ(std::string("\x03\x00\x00\x07" "ABC", 7), h.sent[0]);

  // The largest payload a frame can carry, and one octet more.
  Packet big;
  h.prepare_head(big);
  std::string max(Tpkt_protocol::MaxPayload, 'x');
  big.put(max.data(), Tpkt_protocol::MaxPayload);
  h.message(big);
  ASSERT_EQ(2u, h.sent.size());
  EXPECT_EQ(std::string("\x03\x00\xff\xff", 4), h.sent[1].substr(0, 4));
  EXPECT_EQ(65535u, h.sent[1].size());

  Packet over;
  h.prepare_head(over);
  over.put(max.data(), Tpkt_protocol::MaxPayload);
  over.put(static_cast<unsigned char>('y'));
  LogCapture log;
  h.message(over);
  EXPECT_EQ(2u, h.sent.size());
  EXPECT_NE(std::string::npos, log.err().find("TPKT payload too big, length = 65532 max = 65531"));
}

TEST(Tpkt, ReassemblesResynchronisesAndDeliversInOrder) {
  TestClock clock;
  LoopRunner loop;
  LogCapture log;
  Harness h;
  h.feed(std::string("\x03\x00\x00\x07" "ABC", 7));
  EXPECT_EQ((std::vector<std::string>{"ABC"}), h.payloads);

  // Two frames in one chunk, stray bytes before them, a bad reserved byte.
  h.payloads.clear();
  h.feed(std::string("\x41\x03\x01\x03\x00\x00\x05Z\x03\x00\x00\x06XY", 14));
  EXPECT_EQ((std::vector<std::string>{"Z", "XY"}), h.payloads);
  EXPECT_EQ("(no name) bad TPKT packet start.\n(no name) bad TPKT reserved.\n", log.log());
  EXPECT_FALSE(h.tpkt->timer_pending());

  // A length below 4 is dropped and the bytes after it parsed anew.
  log.clear();
  h.payloads.clear();
  h.feed(std::string("\x03\x00\x00\x03\x03\x00\x00\x05Q", 9));
  EXPECT_EQ("TPKT too small 3\n", log.log());
  EXPECT_EQ((std::vector<std::string>{"Q"}), h.payloads);

  // An empty payload is complete at once, even at the end of a chunk.
  h.payloads.clear();
  h.feed(std::string("\x03\x00\x00\x04", 4));
  EXPECT_EQ((std::vector<std::string>{""}), h.payloads);
  EXPECT_EQ(Tpkt_protocol::idle, h.tpkt->state());
  EXPECT_FALSE(h.tpkt->timer_pending());
}

TEST(Tpkt, PartialFrameTimerCoversTheGapBetweenChunks) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  Harness h;

  h.feed(std::string("\x03\x00", 2));
  EXPECT_TRUE(h.tpkt->timer_pending());
  clock.advance(2999);
  loop.turn();
  h.feed(std::string("\x00\x08" "ab", 4));  // re-arms for another 3000 ms
  clock.advance(2999);
  loop.turn();
  EXPECT_TRUE(h.tpkt->timer_pending());
  h.feed("cd");
  EXPECT_EQ((std::vector<std::string>{"abcd"}), h.payloads);
  EXPECT_FALSE(h.tpkt->timer_pending());
  EXPECT_EQ("", log.log());

  // No further byte for 3000 ms: the partial frame is dropped and the next
  // byte is taken as a version byte.
  h.feed(std::string("\x03\x00\x00\x09" "12", 6));
  clock.advance(3000);
  loop.turn();
  EXPECT_EQ(" TPKT packet timeout.\n", log.log());
  EXPECT_EQ(Tpkt_protocol::idle, h.tpkt->state());
  h.feed(std::string("\x03\x00\x00\x05" "k", 5));
  EXPECT_EQ((std::vector<std::string>{"abcd", "k"}), h.payloads);
}

}  // namespace
