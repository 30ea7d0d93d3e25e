// Voice slots: file players (order, repeats, missing, unsafe and non-regular prompts,
// the one abort), network players (the id before the audio, the connect
// time-out on the loop clock) and recorders (one recording at a time,
// whether connecting or connected, each stop cause).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
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
using transport_test::local_port;

namespace slot_test {
namespace {

class VoiceSlots : public SlotTest {
protected:
  void SetUp() override {
    SlotTest::SetUp();
    factory.accept = true;  // fake slots (`ext`) are the other ends of connections
    std::filesystem::create_directories(root.path() + "/usr/local/voice/sub");
  }
  // A player filled by fill, then connected as the source of fake slot 2.
  template <class Fill>
  void player(Fill fill) {
    ControlTest::create(1, 2, 10, 20);
    create(2, 1, [&](LGCP::CreateParams& p) { fill(p.select_voice().select_player()); });
    ASSERT_EQ(replies(2).size(), 2u);
    connect(3, 1, 2);
  }
  void networkPlayer(unsigned port, int id) {
    player([&](LGCP::PlayerParams& p) {
      LGCP::PlayerParams_network& n = p.select_network();
      n.mutable_host().set_iaddr("127.0.0.1");
      n.mutable_host().set_port(port);
      n.set_id(id);
    });
  }
  void filePlayer(std::vector<std::string> names, int repeat) {
    player([&](LGCP::PlayerParams& p) {
      LGCP::PlayerParams_file& f = p.select_file();
      for (const std::string& n : names)
        f.mutable_name().push_back(ASN1::IA5String(n));
      f.set_repeat(repeat);
    });
  }
  SimBoard::MccChannel& newest() { return board.mcc().channel(board.mcc().channel_count() - 1); }
  std::string sent() {
    std::string all;
    for (const Bytes& f : newest().sent())
      all.append(f.begin(), f.end());
    return all;
  }
  // A listener whose queue is full (the connections filling it are kept
  // with the fixture): further connects to it get no answer.
  Fd unanswering() {
    Fd server(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = transport_test::loopback(0);
    bind(server.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(server.get(), 0);
    for (int i = 0; i < 4; ++i) {
      fillers.emplace_back(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
      sockaddr_in to = transport_test::loopback(local_port(server.get()));
      ::connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    return server;
  }
  // Accepts the slot's connection once the loop has made it.
  Fd accepted(const Fd& server) {
    NonBlockMode(server.get());
    Fd conn;
    runner.until([&] { return conn || (conn.reset(accept4(server.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)), conn); });
    return conn;
  }

  TempRoot root{"voice"};
  VoiceFactory voice;
  std::vector<Fd> fillers;
};

TEST_F(VoiceSlots, FilePlayerPlaysTheListInOrderRepeatedlyThenAbortsOnce) {
  const std::string big(9000, 'b');  // two reads of the player's buffer
  std::ofstream(root.path() + "/usr/local/voice/a") << "AAA";
  std::ofstream(root.path() + "/usr/local/voice/sub/b") << big;
  std::ofstream(root.path() + "/usr/local/secret") << "SECRET";  // outside the voice directory
  std::ofstream(root.path() + "/usr/local/voice/c") << "C";
  ASSERT_EQ(0, mkfifo((root.path() + "/usr/local/voice/fifo").c_str(), 0644));  // no writer: not waited on
  filePlayer({"a", "missing", "../secret", "sub/../../secret", "sub/b", "sub", "fifo", "", "c"}, 2);
  SimBoard::MccChannel& ch = newest();
  EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.rx_threshold(), ch.tx_threshold()}),
            std::vector<uint32_t>({2, 1024, 0, 5}));
  EXPECT_EQ(ch.file().flags() & (O_ACCMODE | O_NONBLOCK), O_WRONLY | O_NONBLOCK);
  std::string ts = std::to_string(ch.timeslot());
  EXPECT_THAT(messages(5, 1000), ElementsAre("slot=1 signal transmitter active " + ts, "slot=2 signal receiver active 20",
                                             "seq=3 slot=1 success", "slot=1 signal transmitter inactive",
                                             "slot=1 signal abort 0"));
  EXPECT_TRUE(sent() == "AAA" + big + "C" + "AAA" + big + "C") << sent().size();
  // A prompt goes to the channel in blocks of 8192 bytes at most.
  std::vector<size_t> blocks;
  for (const Bytes& f : ch.sent())
    blocks.push_back(f.size());
  EXPECT_EQ(blocks, (std::vector<size_t>{3, 8192, 808, 1, 3, 8192, 808, 1}));
  EXPECT_THAT(messages(1, 50), IsEmpty());  // no second abort
}

// `repeat` N plays the list N times, each pass counted once; 0 plays it
// again and again, for as long as a pass plays anything: each pass counts
// its bytes afresh, so prompts that are emptied meanwhile end the play
// after the pass that found them empty.
TEST_F(VoiceSlots, FilePlayerRepeatsTheListExactlyOrUntilAPassPlaysNothing) {
  std::ofstream(root.path() + "/usr/local/voice/a") << "AAA";
  std::ofstream(root.path() + "/usr/local/voice/c") << "C";
  auto frames = [&] {
    std::vector<std::string> all;
    for (const Bytes& f : newest().sent())
      all.emplace_back(f.begin(), f.end());
    return all;
  };
  const std::vector<std::string> ended = {"slot=1 signal transmitter inactive", "slot=1 signal abort 0"};
  for (int repeat : {1, 3}) {
    SCOPED_TRACE(repeat);
    filePlayer({"a", "c"}, repeat);
    EXPECT_EQ(messages(5, 1000).back(), ended.back());
    std::vector<std::string> expected;
    for (int pass = 0; pass < repeat; ++pass)
      expected.insert(expected.end(), {"AAA", "C"});
    EXPECT_EQ(frames(), expected);
    EXPECT_THAT(messages(1, 50), IsEmpty());
    destroy(4, 1);
    destroy(5, 2);
    EXPECT_EQ(messages(4).size(), 4u);
  }

  filePlayer({"a"}, 0);
  ASSERT_TRUE(runner.until([&] { return newest().sent_total() >= 4; }, 1000));
  for (const std::string& line : messages(3))
    EXPECT_EQ(line.find("abort"), std::string::npos) << line;
  std::ofstream(root.path() + "/usr/local/voice/a", std::ios::trunc);
  EXPECT_THAT(messages(2, 1000), testing::ElementsAreArray(ended));
  EXPECT_THAT(logs.log(), HasSubstr("nothing to play in the list, play ended\n"));
  for (const std::string& frame : frames())
    EXPECT_EQ(frame, "AAA");
  EXPECT_TRUE(idles());
}

TEST_F(VoiceSlots, FilePlayerWithoutAPromptRefusesAndAbortsOnceFromTheLoop) {
  filePlayer({"missing", "../voice"}, 0);
  runner.until([&] { return ctl.poll() >= 1; });
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=1 error connectFail"));
  EXPECT_THAT(messages(1), ElementsAre("slot=1 signal abort 0"));
  EXPECT_THAT(messages(1, 50), IsEmpty());
}

// Prompts that are all empty play nothing however often the list starts
// over: without end (repeat 0) the player would start it again at every
// loop turn. The pass ends the play instead, and the loop idles.
TEST_F(VoiceSlots, FilePlayerWhosePromptsAreEmptyEndsAfterOnePass) {
  std::ofstream(root.path() + "/usr/local/voice/silence");
  std::ofstream(root.path() + "/usr/local/voice/sub/silence");
  filePlayer({"silence", "missing", "sub/silence"}, 0);
  std::string ts = std::to_string(newest().timeslot());
  EXPECT_THAT(messages(5, 1000), ElementsAre("slot=1 signal transmitter active " + ts, "slot=2 signal receiver active 20",
                                             "seq=3 slot=1 success", "slot=1 signal transmitter inactive",
                                             "slot=1 signal abort 0"));
  EXPECT_THAT(logs.log(), HasSubstr("player[" + ts + "]: nothing to play in the list, play ended\n"));
  EXPECT_TRUE(idles());
  EXPECT_THAT(messages(1, 50), IsEmpty());
  EXPECT_TRUE(newest().sent().empty());
}

TEST_F(VoiceSlots, NetworkPlayerSendsTheIdThenPlaysWhatTheServerSends) {
  Fd server = transport_test::listener();
  networkPlayer(local_port(server.get()), 0x01020304);
  Fd conn = accepted(server);
  ASSERT_TRUE(conn);
  EXPECT_EQ(messages(4).back(), "slot=1 signal ioctl startPlaying");
  EXPECT_EQ(transport_test::read_n(conn.get(), 4), std::string("\x01\x02\x03\x04", 4));
  EXPECT_TRUE(newest().sent().empty());
  transport_test::send_all(conn.get(), "audio");
  runner.until([&] { return !newest().sent().empty(); });
  EXPECT_EQ(sent(), "audio");
  conn.close();
  EXPECT_THAT(messages(2), ElementsAre("slot=1 signal transmitter inactive", "slot=1 signal abort 0"));
}

TEST_F(VoiceSlots, NetworkPlayerGivesUpAfterFiveSecondsOfTheLoopClock) {
  Fd server = unanswering();
  uint64_t start = clock.now_ms();
  networkPlayer(local_port(server.get()), 7);
  EXPECT_EQ(messages(5, 1000).back(), "slot=1 signal abort 0");
  EXPECT_GE(clock.now_ms() - start, 5000u);
  EXPECT_LT(clock.now_ms() - start, 7000u);
}

// A player's and a recorder's connect each have 5000 ms of the loop clock
// from the first stream request; a second request meanwhile starts no
// second attempt and does not put the limit off.
TEST_F(VoiceSlots, ConnectsGiveUpFiveSecondsAfterTheFirstRequest) {
  clock.set_auto_advance(false);
  Fd server = unanswering();
  for (bool recorder : {false, true}) {
    SCOPED_TRACE(recorder ? "recorder" : "player");
    if (recorder) {
      ControlTest::create(1, 2, 10, 20);
      create(2, 1, [&](LGCP::CreateParams& p) {
        TERM::HostAddress& h = p.select_voice().select_record();
        h.set_iaddr("127.0.0.1");
        h.set_port(local_port(server.get()));
      });
      connect(3, 2, 1);
      EXPECT_EQ(messages(5).back(), "seq=3 slot=2 success");
    } else {
      networkPlayer(local_port(server.get()), 7);
      EXPECT_EQ(messages(3).back(), "seq=3 slot=1 success");
    }
    Slot* slot = Slots::instance().slot(1);
    clock.advance(3000);
    runner.turn(3);
    EXPECT_TRUE(recorder ? slot->IOnInputStream() : slot->IOnOutputStream());
    clock.advance(1999);
    runner.turn(3);
    EXPECT_THAT(ctl.drain(), IsEmpty());
    clock.advance(1);
    EXPECT_EQ(messages(recorder ? 1 : 2, 5),
              recorder ? (std::vector<std::string>{"slot=1 signal ioctl stopRecording connectionFail"})
                       : (std::vector<std::string>{"slot=1 signal transmitter inactive", "slot=1 signal abort 0"}));
    EXPECT_THAT(logs.log(), HasSubstr("connection to 127.0.0.1:" + std::to_string(local_port(server.get())) + " fail.\n"));
    destroy(4, 1);
    destroy(5, 2);
    EXPECT_EQ(messages(4).size(), 4u);
    logs.clear();
  }
}

TEST_F(VoiceSlots, RecorderRecordsOnceAtATimeAndReportsEachStop) {
  Fd server = transport_test::listener();
  ControlTest::create(1, 2, 10, 20);
  ControlTest::create(2, 3, 11, 21);
  create(3, 1, [&](LGCP::CreateParams& p) {
    TERM::HostAddress& h = p.select_voice().select_record();
    h.set_iaddr("127.0.0.1");
    h.set_port(local_port(server.get()));
  });
  std::vector<std::string> created = replies(4);
  SimBoard::MccChannel& ch = newest();
  EXPECT_EQ(created.back(), "slot=1 signal receiver active " + std::to_string(ch.timeslot()));
  EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.rx_threshold(), ch.tx_threshold()}),
            std::vector<uint32_t>({2, 1024, 5, 0}));
  EXPECT_EQ(ch.file().flags() & (O_ACCMODE | O_NONBLOCK), O_RDONLY | O_NONBLOCK);

  // Recording from one source, then another: still the one connection,
  // which gets what the channel receives.
  connect(4, 2, 1);
  Fd conn = accepted(server);
  ASSERT_TRUE(conn);
  auto newSource = [&](int seq, int source, char mark) {
    simple(seq, 1, LGCP::Command::alt_disconnect);
    connect(seq + 1, source, 1);
    runner.turn(5);
    EXPECT_FALSE(Fd(accept4(server.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)));
    ch.inject(Bytes{'r', static_cast<unsigned char>(mark)});
    runner.turn(3);
    EXPECT_EQ(transport_test::read_n(conn.get(), 2), std::string("r") + mark);
    EXPECT_THAT(ctl.drain(), testing::Contains("seq=" + std::to_string(seq + 1) + " slot=" + std::to_string(source) +
                                               " success"));
  };
  newSource(50, 3, '1');  // while still connecting
  ASSERT_EQ(static_cast<RecordSlot*>(Slots::instance().slot(1))->state(), RecordSlot::Recording);
  newSource(52, 2, '2');  // connected and recording

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
  EXPECT_EQ(messages(3).back(), "slot=1 signal ioctl stopRecording connectionFail");
}

}  // namespace
}  // namespace slot_test
