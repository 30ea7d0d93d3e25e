#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/tpkt_protocol.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;
typedef std::vector<std::string> Strings;

namespace {

std::string str(const Packet& p) { return std::string(reinterpret_cast<const char*>(p.data()), p.length()); }

// A TPKT layer alone: what it sends down and hands up is recorded.
class Harness : public ProtocolsFamily {
public:
  Harness() { add_protocol_tail(tpkt); }
  void transmit(Packet& p) override { sent.push_back(str(p)); }
  void on_message(Packet& p) override { payloads.push_back(str(p)); }
  void feed(const std::string& bytes) {
    Packet p;
    p.reserve_head(0);
    p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
    receive(p);
  }
  void send(const std::string& payload) {
    Packet p;
    prepare_head(p);
    p.put(payload.data(), static_cast<unsigned>(payload.size()));
    message(p);
  }

  Tpkt_protocol* tpkt = new Tpkt_protocol;
  Strings sent, payloads;
};

TEST(Tpkt, FramesOnTheWayDownAndRefusesWhatNoFrameCarries) {
  LogCapture log;
  Harness h;
  h.send("ABC");
  h.send(std::string(Tpkt_protocol::MaxPayload, 'x'));
  h.send(std::string(Tpkt_protocol::MaxPayload + 1, 'y'));
  ASSERT_EQ(2u, h.sent.size());
  EXPECT_EQ(std::string("\x03\x00\x00\x07" "ABC", 7), h.sent[0]);
  EXPECT_EQ(std::string("\x03\x00\xff\xff", 4), h.sent[1].substr(0, 4));
  EXPECT_EQ(65535u, h.sent[1].size());
  EXPECT_NE(std::string::npos, log.err().find("TPKT payload too big, length = 65532 max = 65531"));
}

TEST(Tpkt, ResynchronisesAndEveryChunkRestartsTheFrameTimeLimit) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  Harness h;
  // A bad reserved byte, a length below 4, then an empty payload that ends
  // the chunk: complete at once, no timer.
  h.feed(std::string("\x03\x01\x03\x00\x00\x03\x03\x00\x00\x04", 10));
  EXPECT_EQ((Strings{""}), h.payloads);
  EXPECT_EQ("(no name) bad TPKT reserved.\nTPKT too small 3\n", log.log());
  EXPECT_FALSE(h.tpkt->timer_pending());

  // The 3000 ms limit covers the gap between two chunks of a frame.
  h.feed(std::string("\x03\x00", 2));
  clock.advance(2999);
  loop.turn();
  h.feed(std::string("\x00\x08" "ab", 4));
  clock.advance(2999);
  loop.turn();
  EXPECT_TRUE(h.tpkt->timer_pending());
  h.feed("cd");
  EXPECT_EQ((Strings{"", "abcd"}), h.payloads);
  EXPECT_FALSE(h.tpkt->timer_pending());

  // A partial frame is dropped after 3000 ms without another byte.
  h.feed(std::string("\x03\x00\x00\x09" "ab", 6));
  clock.advance(3000);
  loop.turn();
  EXPECT_EQ((Strings{"", "abcd"}), h.payloads);
  EXPECT_NE(std::string::npos, log.log().find(" TPKT packet timeout."));

  // Then a fresh frame arrives whole, and two frames in one chunk come up in order.
  h.feed(std::string("\x03\x00\x00\x06" "ef" "\x03\x00\x00\x05" "g", 11));
  EXPECT_EQ((Strings{"", "abcd", "ef", "g"}), h.payloads);
  EXPECT_FALSE(h.tpkt->timer_pending());
}

}  // namespace
