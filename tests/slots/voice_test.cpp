// Voice slots: file players (order, repeats, missing and unsafe prompts,
// the one abort), network players (the id before the audio, the connect
// time-out on the loop clock) and recorders (one recording at a time, each
// stop cause).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

#include "simboard/mcc.h"
#include "slots/voice_factory.h"
#include "slots/voice_slots.h"
#include "tests/foundation/temp_root.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/slots/slot_fixture.h"

using SimBoard::Bytes;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using transport_test::listener;
using transport_test::local_port;

namespace slot_test {
namespace {

class VoiceSlots : public SlotTest {
protected:
  void SetUp() override {
    SlotTest::SetUp();
    factory.accept = true;  // fake slots (`ext`) are the other ends of connections
    mkdir((root.path() + "/usr").c_str(), 0755);
    mkdir((root.path() + "/usr/local").c_str(), 0755);
    mkdir((root.path() + "/usr/local/voice").c_str(), 0755);
    mkdir((root.path() + "/usr/local/voice/sub").c_str(), 0755);
  }
  void prompt(const std::string& name, const std::string& bytes) {
    std::ofstream(root.path() + "/usr/local/" + name) << bytes;
  }
  void filePlayer(int seq, int slot, std::vector<std::string> names, int repeat) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::PlayerParams_file& f = p.select_voice().select_player().select_file();
      for (const std::string& n : names) {
        ASN1::IA5String name;
        name = n;
        f.mutable_name().push_back(name);
      }
      f.set_repeat(repeat);
    });
  }
  void networkPlayer(int seq, int slot, unsigned port, int id) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::PlayerParams_network& n = p.select_voice().select_player().select_network();
      n.mutable_host().set_iaddr("127.0.0.1");
      n.mutable_host().set_port(port);
      n.set_id(id);
    });
  }
  void recorder(int seq, int slot, unsigned port) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      TERM::HostAddress& h = p.select_voice().select_record();
      h.set_iaddr("127.0.0.1");
      h.set_port(port);
    });
  }
  void fake(int seq, int slot, int tx, int rx) { ControlTest::create(seq, slot, tx, rx); }
  SimBoard::MccChannel& newest() { return board.mcc().channel(board.mcc().channel_count() - 1); }
  static std::string text(const std::deque<Bytes>& frames) {
    std::string all;
    for (const Bytes& f : frames)
      all.append(f.begin(), f.end());
    return all;
  }
  // Accepts the slot's connection once the loop has made it.
  Fd accepted(const Fd& server) {
    NonBlockMode(server.get());
    Fd conn;
    runner.until([&] {
      if (!conn)
        conn.reset(accept4(server.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      return static_cast<bool>(conn);
    });
    return conn;
  }

  TempRoot root{"voice"};
  VoiceFactory voice;
};

TEST_F(VoiceSlots, FilePlayerPlaysTheListInOrderRepeatedlyThenAbortsOnce) {
  const std::string big(9000, 'b');  // two reads of the player's buffer
  prompt("voice/a", "AAA");
  prompt("voice/sub/b", big);
  prompt("secret", "SECRET");  // outside the voice directory
  prompt("voice/c", "C");
  fake(1, 2, 10, 20);
  filePlayer(2, 1, {"a", "missing", "../secret", "sub/../../secret", "sub/b", "sub", "", "c"}, 2);
  ASSERT_THAT(replies(2), ElementsAre("seq=1 slot=2 success", "seq=2 slot=1 success"));
  SimBoard::MccChannel& ch = newest();
  EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.reserved(), ch.rx_threshold(), ch.tx_threshold()}),
            std::vector<uint32_t>({2, 1024, 0, 0, 5}));
  EXPECT_EQ(ch.file().flags() & (O_ACCMODE | O_NONBLOCK), O_WRONLY | O_NONBLOCK);

  connect(3, 1, 2);
  std::string ts = std::to_string(ch.timeslot());
  EXPECT_THAT(messages(5, 1000), ElementsAre("slot=1 signal transmitter active " + ts, "slot=2 signal receiver active 20",
                                             "seq=3 slot=1 success", "slot=1 signal transmitter inactive",
                                             "slot=1 signal abort 0"));
  EXPECT_TRUE(text(ch.sent()) == "AAA" + big + "C" + "AAA" + big + "C") << text(ch.sent()).size();
  EXPECT_THAT(messages(1, 50), IsEmpty());  // no second abort
}

TEST_F(VoiceSlots, FilePlayerWithoutAPromptRefusesAndAbortsFromTheLoop) {
  fake(1, 2, 10, 20);
  filePlayer(2, 1, {"missing", "../voice"}, 0);
  ASSERT_EQ(replies(2).size(), 2u);
  connect(3, 1, 2);
  runner.until([&] { return ctl.poll() >= 1; });
  // The refusal is answered before the abort, which comes once.
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=1 error connectFail"));
  EXPECT_THAT(messages(1), ElementsAre("slot=1 signal abort 0"));
  EXPECT_THAT(messages(1, 50), IsEmpty());
}

TEST_F(VoiceSlots, NetworkPlayerSendsTheIdThenPlaysWhatTheServerSends) {
  Fd server = listener();
  fake(1, 2, 10, 20);
  networkPlayer(2, 1, local_port(server.get()), 0x01020304);
  ASSERT_EQ(replies(2).size(), 2u);
  SimBoard::MccChannel& ch = newest();
  connect(3, 1, 2);
  Fd conn = accepted(server);
  ASSERT_TRUE(conn);
  EXPECT_THAT(messages(4), ElementsAre("slot=1 signal transmitter active " + std::to_string(ch.timeslot()),
                                       "slot=2 signal receiver active 20", "seq=3 slot=1 success",
                                       "slot=1 signal ioctl startPlaying"));
  EXPECT_EQ(transport_test::read_n(conn.get(), 4), std::string("\x01\x02\x03\x04", 4));
  EXPECT_TRUE(ch.sent().empty());
  transport_test::send_all(conn.get(), "audio");
  runner.until([&] { return !ch.sent().empty(); });
  EXPECT_EQ(text(ch.sent()), "audio");
  conn.close();
  EXPECT_THAT(messages(2), ElementsAre("slot=1 signal transmitter inactive", "slot=1 signal abort 0"));
  EXPECT_THAT(logs.log(), HasSubstr("player[" + std::to_string(ch.timeslot()) + "]: connection to 127.0.0.1:" +
                                    std::to_string(local_port(server.get())) + " closed.\n"));
}

TEST_F(VoiceSlots, NetworkPlayerGivesUpAfterFiveSecondsOfTheLoopClock) {
  // A listener whose queue is full leaves further connects unanswered.
  Fd server(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = transport_test::loopback(0);
  bind(server.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(server.get(), 0);
  std::vector<Fd> fillers;
  for (int i = 0; i < 4; ++i) {
    fillers.emplace_back(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in to = transport_test::loopback(local_port(server.get()));
    ::connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  fake(1, 2, 10, 20);
  networkPlayer(2, 1, local_port(server.get()), 7);
  ASSERT_EQ(replies(2).size(), 2u);
  uint64_t start = clock.now_ms();
  connect(3, 1, 2);
  std::vector<std::string> got = messages(5, 1000);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got.back(), "slot=1 signal abort 0");
  EXPECT_GE(clock.now_ms() - start, 5000u);
  EXPECT_LT(clock.now_ms() - start, 7000u);
  EXPECT_THAT(logs.log(), HasSubstr(" fail.\n"));
}

TEST_F(VoiceSlots, RecorderRecordsOnceAtATimeAndReportsEachStop) {
  Fd server = listener();
  unsigned port = local_port(server.get());
  fake(1, 2, 10, 20);
  fake(2, 3, 11, 21);
  recorder(3, 1, port);
  std::vector<std::string> created = replies(4);
  ASSERT_EQ(created.size(), 4u);
  SimBoard::MccChannel& ch = newest();
  EXPECT_EQ(created[3], "slot=1 signal receiver active " + std::to_string(ch.timeslot()));
  EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.rx_threshold(), ch.tx_threshold()}),
            std::vector<uint32_t>({2, 1024, 5, 0}));
  EXPECT_EQ(ch.file().flags() & (O_ACCMODE | O_NONBLOCK), O_RDONLY | O_NONBLOCK);

  // Recording from one source, then another: still the one connection.
  connect(4, 2, 1);
  Fd conn = accepted(server);
  ASSERT_TRUE(conn);
  ch.inject(Bytes{'r', '1'});
  EXPECT_EQ(transport_test::read_n(conn.get(), 2, 100), "");  // the loop has not run
  runner.turn(3);
  EXPECT_EQ(transport_test::read_n(conn.get(), 2), "r1");
  connect(5, 3, 1);
  runner.turn(5);
  EXPECT_FALSE(Fd(accept4(server.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)));
  ch.inject(Bytes{'r', '2'});
  runner.turn(3);
  EXPECT_EQ(transport_test::read_n(conn.get(), 2), "r2");
  ctl.drain();

  // The server goes: connection aborted.
  conn.close();
  ch.inject(Bytes{'x'});
  EXPECT_THAT(messages(1), ElementsAre("slot=1 signal ioctl stopRecording connectionAborted"));
  // The channel ends: the recording is complete.
  simple(6, 1, LGCP::Command::alt_disconnect);
  connect(7, 2, 1);
  conn = accepted(server);
  ASSERT_TRUE(conn);
  ctl.drain();
  ch.hang_up();
  EXPECT_THAT(messages(1), ElementsAre("slot=1 signal ioctl stopRecording userRequest"));
  // Nobody listens: the connection fails.
  server.close();
  simple(8, 1, LGCP::Command::alt_disconnect);
  connect(9, 3, 1);
  EXPECT_THAT(messages(3), ElementsAre("seq=8 slot=1 success", "seq=9 slot=3 success",
                                       "slot=1 signal ioctl stopRecording connectionFail"));
}

}  // namespace
}  // namespace slot_test
