// T.38 slots: the program's command line and its cap, the channel as its
// standard input and released with it, its end reported as abort with the
// wait status, a failed exec, SIGTERM at destruction, and the instance
// count.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "foundation/child_wait.h"
#include "simboard/mcc.h"
#include "slots/t38_slot.h"
#include "tests/foundation/temp_root.h"
#include "tests/slots/slot_fixture.h"

using testing::ElementsAre;

namespace slot_test {
namespace {

class T38Slots : public SlotTest {
protected:
  void SetUp() override {
    SlotTest::SetUp();
    ChildWait::Activate();
    std::filesystem::create_directories(root.path() + "/usr/local/sbin");
  }
  // Installs the stand-in program: `body` runs after it has answered the
  // instance count with `instances` (nothing when empty).
  void program(const std::string& body, const std::string& instances = "12") {
    std::string path = root.path() + "/usr/local/sbin/t38";
    std::ofstream(path) << "#!/bin/sh\n"
                        << "if [ \"$1\" = --num-of-instances ]; then\n"
                        << (instances.empty() ? "" : "  echo " + instances + "\n") << "  exit 0\nfi\n"
                        << body << "\n";
    chmod(path.c_str(), 0755);
  }
  std::string file(const std::string& name) {
    std::ifstream in(root.path() + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Runs the loop until pred holds, for at most 10 s of real time: the
  // child runs on its own.
  bool await(const std::function<bool()>& pred) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred() && std::chrono::steady_clock::now() < end)
      runner.turn();
    return pred();
  }
  void t38(int seq, int slot, std::vector<std::string> args) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::T38Soft& t = p.select_t38soft();
      t.mutable_dhost().set_iaddr("10.1.2.3");
      t.mutable_dhost().set_port(4000);
      t.mutable_shost().set_port(5000);
      t.set_rx_packet_size(160);
      t.set_rx_threshold(2);
      t.set_tx_threshold(3);
      for (const std::string& a : args)
        t.mutable_args().push_back(ASN1::IA5String(a));
    });
  }
  SimBoard::MccChannel& newest() { return board.mcc().channel(board.mcc().channel_count() - 1); }

  TempRoot root{"t38"};
  T38SoftFactory factory_;
};

TEST_F(T38Slots, RunsTheProgramOnTheChannelAndReportsItsEnd) {
  program("printf '%s\\n' \"$@\" > " + root.path() + "/args\nhead -c 5 > " + root.path() + "/stdin\nexit 3");
  std::vector<std::string> args;
  for (int i = 0; i < 30; ++i)
    args.push_back("a" + std::to_string(i));
  t38(1, 1, args);
  std::vector<std::string> created = replies(3);
  SimBoard::MccChannel& ch = newest();
  std::string ts = std::to_string(ch.timeslot());
  EXPECT_THAT(created, ElementsAre("seq=1 slot=1 success", "slot=1 signal transmitter active " + ts,
                                   "slot=1 signal receiver active " + ts));
  EXPECT_EQ(std::vector<uint32_t>({ch.type(), ch.packet_size(), ch.rx_threshold(), ch.tx_threshold()}),
            std::vector<uint32_t>({2, 160, 2, 3}));

  // The first 27 arguments follow the fixed ones.
  std::vector<std::string> expected{"--child", "--remote", "10.1.2.3/4000/5000"};
  expected.insert(expected.end(), args.begin(), args.begin() + 27);
  std::string lines;
  for (const std::string& a : expected)
    lines += a + "\n";
  ASSERT_TRUE(await([&] { return file("args") == lines; })) << file("args");

  // A frame at the driver reaches the program's standard input.
  ch.inject(SimBoard::Bytes{'f', 'a', 'x', '!', '!'});
  ASSERT_TRUE(await([&] { return ctl.poll() > 0; }));
  EXPECT_EQ(file("stdin"), "fax!!");
  EXPECT_THAT(messages(1), ElementsAre("slot=1 signal abort 768"));
  // The reaped pid may be another process's by now: it is not signalled.
  EXPECT_EQ(static_cast<T38SoftSlot*>(Slots::instance().slot(1))->pid(), -1);
  // The channel was the program's alone: it ended with the program.
  EXPECT_FALSE(ch.open());
}

// Exit handlers of this process note when they run in another one.
pid_t handlersOwner;
char handlersMark[256];
void MarkForeignExit() {
  if (getpid() != handlersOwner)
    close(open(handlersMark, O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
}

TEST_F(T38Slots, AProgramThatDoesNotStartEndsWith1005) {
  // The child leaves without running the daemon's exit handlers.
  handlersOwner = getpid();
  std::string mark = root.path() + "/exit-handlers-ran";
  snprintf(handlersMark, sizeof handlersMark, "%s", mark.c_str());
  std::atexit(MarkForeignExit);
  t38(1, 1, {});  // no program installed
  ASSERT_EQ(replies(3).size(), 3u);
  ASSERT_TRUE(await([&] { return ctl.poll() > 0; }));
  EXPECT_THAT(messages(1), ElementsAre("slot=1 signal abort 60672"));
  EXPECT_FALSE(std::filesystem::exists(mark));
}

TEST_F(T38Slots, DestroyTerminatesTheProgram) {
  program("exec cat > /dev/null");
  t38(1, 1, {});
  ASSERT_EQ(replies(3).size(), 3u);
  SimBoard::MccChannel& ch = newest();
  int pid = static_cast<T38SoftSlot*>(Slots::instance().slot(1))->pid();
  destroy(2, 1);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=1 success", "seq=2 slot=1 success"));
  // SIGTERM (15) ends it; the slot is gone and sends nothing.
  std::string ended = "terminate child process, pid=" + std::to_string(pid) + " status=15\n";
  ASSERT_TRUE(await([&] { return logs.log().find(ended) != std::string::npos; })) << logs.log();
  EXPECT_THAT(messages(1, 10), testing::IsEmpty());
  EXPECT_FALSE(ch.open());  // released with the program
}

// The program's end is logged as an exit with its code or as a signal
// with its number, and reaches the controller as the whole wait status.
TEST_F(T38Slots, TheProgramsEndIsLoggedByHowItEnded) {
  struct Case {
    const char* body;
    int status;
    std::string line;
  } const cases[] = {
      {"exit 3", 768, "t38 daemon terminated with code=3"},
      {"exit 0", 0, "t38 daemon terminated with code=0"},
      {"kill -KILL $$", 9, "t38 daemon terminated by signal=9"},
      {"kill -TERM $$", 15, "t38 daemon terminated by signal=15"},
  };
  int slot = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    program(c.body);
    logs.clear();
    t38(slot, slot, {});
    ASSERT_EQ(replies(3).size(), 3u);
    ASSERT_TRUE(await([&] { return ctl.poll() > 0; }));
    EXPECT_THAT(messages(1), ElementsAre("slot=" + std::to_string(slot) + " signal abort " + std::to_string(c.status)));
    const std::string log = logs.log();
    EXPECT_NE(log.find("0" + std::to_string(slot) + ":t38 soft: " + c.line + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("t38 daemon terminated"), log.rfind("t38 daemon terminated")) << log;
    ++slot;
  }
}

TEST_F(T38Slots, InstancesAreWhatTheProgramSays) {
  LGCP::Resources r;
  program("");
  factory_.Query(r);
  EXPECT_EQ(r.get_t38_instances().getValue(), 12);
  program("", "");
  factory_.Query(r);
  EXPECT_EQ(r.get_t38_instances().getValue(), 0);
}

}  // namespace
}  // namespace slot_test
