// The life of a modem slot's child with real scripts: its own end, a
// program that cannot run, destruction by SIGHUP or by SIGKILL after the
// time-out on the loop clock, the controller lost while a slot waits, a
// digital modem set up again after its child ended, and the fax programs.
#include <gmock/gmock.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <linux/if.h>
#include <unistd.h>

#include "tests/slots/modem_fixture.h"

using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;

namespace modem_test {

TEST_F(ModemTest, ChildEndsByItself) {
  program("/usr/local/sbin/pppd", "exit 3\n");
  createModem(1, 3, [](TERM::ModemParams&) {});
  createModem(2, 5, [](TERM::ModemParams& p) { p.set_execfile("/missing/pppd"); });
  messages(2);
  modemSlot(3)->IOnOutputStream();
  modemSlot(5)->IOnOutputStream();
  Lines seen = messages(6);
  EXPECT_THAT(seen, Contains("slot=3 signal abort 768"));
  EXPECT_THAT(seen, Contains("slot=5 signal abort 512"));
  // The slot stays until destroyed, which then completes at once.
  simple(3, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(messages(2), ElementsAre("seq=0 slot=3 success", "seq=3 slot=3 success"));
}

TEST_F(ModemTest, DestroyHangsUpThenKillsAfterTimeOut) {
  program("/usr/local/sbin/pppd", kRunsOn, kEndsOnHangUp);
  program("/usr/local/sbin/stubborn", kRunsOn, kIgnoresHangUp);
  createModem(1, 3, [](TERM::ModemParams&) {});
  createModem(2, 5, [](TERM::ModemParams& p) { p.set_execfile("/usr/local/sbin/stubborn"); });
  messages(2);
  modemSlot(3)->IOnOutputStream();
  modemSlot(5)->IOnOutputStream();
  messages(4);
  argsOf("/usr/local/sbin/pppd");
  argsOf("/usr/local/sbin/stubborn");

  // One that honours SIGHUP ends before any time passes on the loop clock.
  simple(3, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=3 success"));

  // One that ignores it holds the answer for 5000 ms, then is killed.
  simple(4, 5, LGCP::Command::alt_destroy);
  runner.turn(20);
  clock.advance(4999);
  runner.turn(3);
  EXPECT_THAT(ctl.drain(), IsEmpty());
  clock.advance(1);
  EXPECT_THAT(messages(1), ElementsAre("seq=4 slot=5 success"));
  EXPECT_THAT(modems().modem_slots(), IsEmpty());
  EXPECT_EQ(modemDev().allocated(), 0u);
  // Killed once, by the time-out; the slot's end does not signal it again.
  EXPECT_EQ(kills(), Lines{"05:dsp-modem: pppd isn't terminated, killing ..."});
}

// The loop's clock, whose pause without descriptors (the one after the
// controller is lost) lasts until the child has ended and been reaped.
class PauseUntilReaped : public testing_support::TestClock {
public:
  PauseUntilReaped(uint64_t nowMs, pid_t child) : TestClock(nowMs), child_(child) { set_auto_advance(false); }
  int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    if (count > 0)
      return TestClock::poll(fds, count, timeoutMs);
    for (int i = 0; i < 2000 && ::kill(child_, 0) == 0; ++i)
      ::usleep(10000);
    return TestClock::poll(fds, count, timeoutMs);
  }

private:
  pid_t child_;
};

TEST_F(ModemTest, ControllerLostWhileASlotWaitsForItsChild) {
  program("/usr/local/sbin/pppd", kRunsOn, kIgnoresHangUp);
  program("/usr/local/sbin/ppp2", kRunsOn, kEndsOnHangUp);
  createModem(1, 3, [](TERM::ModemParams&) {});
  createModem(2, 5, [](TERM::ModemParams& p) { p.set_execfile("/usr/local/sbin/ppp2"); });
  messages(2);
  modemSlot(3)->IOnOutputStream();
  modemSlot(5)->IOnOutputStream();
  argsOf("/usr/local/sbin/pppd");
  argsOf("/usr/local/sbin/ppp2");
  Fd peer = client();
  transport_test::send_all(peer.get(), authRequest(0, "u", "p"));
  ASSERT_TRUE(received("slot=3 signal modemProceeding auth u/p"));

  // Slot 5's child ends on the hang-up and is reaped in the pause: its pid
  // is no longer its own, and only slot 3's child is killed.
  PauseUntilReaped pause(clock.now_ms(), modemSlot(5)->pid());
  ctl.close();
  ASSERT_TRUE(until([] { return Slots::instance().slots().empty(); }));
  EXPECT_THAT(modems().modem_slots(), IsEmpty());
  EXPECT_EQ(kills(), Lines{"03:dsp-modem: pppd isn't terminated, killing ..."});
  // The deleted slot is no longer reachable through its session.
  transport_test::send_all(peer.get(), authRequest(0, "u", "p"));
  EXPECT_TRUE(until([&] { return logs.err().find("receive auth request for unknown session 0") != std::string::npos; }));
}

// A digital modem whose PPP daemon ended sets up again on the next stream
// request: a new daemon on the same interface, which the destruction then
// hangs up and waits for, before the interface goes back to raw HDLC.
TEST_F(ModemTest, DigitalModemSetsUpAgainAfterItsChildEnded) {
  // The first run ends at once; later ones run until hung up.
  program("/usr/local/sbin/pppd", "if [ ! -e \"$0.ran\" ]; then : > \"$0.ran\"; exit 3; fi\n" + std::string(kRunsOn),
          kEndsOnHangUp);
  SimBoard::HdlcInterface& hdlc0 = board.interfaces().add("hdlc0", 96);
  LGCP::Resources resources;
  modems().Query(resources);
  startModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddm8BIT));
  });
  EXPECT_TRUE(received("slot=3 signal abort 768"));
  EXPECT_EQ(modemSlot(3)->pid(), -1);

  std::remove((root.path() + "/usr/local/sbin/pppd.args").c_str());
  modemSlot(3)->IOnOutputStream();
  EXPECT_GT(modemSlot(3)->pid(), 0);
  EXPECT_THAT(argsOf("/usr/local/sbin/pppd"),
              ElementsAre(root.path() + "/usr/local/sbin/pppd", "file", root.path() + "/usr/local/etc/ppp/ioptions", "hdlc0",
                          "remotenumber", "5551234"));
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_PPP));

  simple(2, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(messages(1), ElementsAre("seq=2 slot=3 success"));
  EXPECT_THAT(logs.err(), HasSubstr("03:digital-modem: sent HUP to pppd.\n"));
  EXPECT_THAT(logs.log(), HasSubstr("03:digital-modem: pppd terminated with code 0\n"));
  EXPECT_THAT(kills(), IsEmpty());
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_HDLC));
  EXPECT_THAT(modems().free_interfaces(), ElementsAre("hdlc0"));
}

// The controller lost while a digital modem waits for a PPP daemon that
// ignores the hang-up: the daemon is killed and reaped, and the interface
// goes down, back to raw HDLC and free, as after a destroy.
TEST_F(ModemTest, ControllerLostWhileADigitalModemWaitsForItsChild) {
  program("/usr/local/sbin/pppd", kRunsOn, kIgnoresHangUp);
  SimBoard::HdlcInterface& hdlc0 = board.interfaces().add("hdlc0", 96);
  LGCP::Resources resources;
  modems().Query(resources);
  startModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_ddm().push_back(TERM::DigitalDataModeEnum(TERM::DigitalDataModeEnum::ddmV110));
  });
  argsOf("/usr/local/sbin/pppd");
  const pid_t child = modemSlot(3)->pid();
  ASSERT_GT(child, 0);
  hdlc0.set_flags(static_cast<short>(hdlc0.flags() | IFF_UP));

  ctl.close();
  ASSERT_TRUE(until([] { return Slots::instance().slots().empty(); }));
  EXPECT_EQ(kills(), Lines{"03:digital-modem: pppd isn't terminated, killing ..."});
  EXPECT_TRUE(until([&] { return ::kill(child, 0) != 0; }));
  EXPECT_EQ(hdlc0.flags() & IFF_UP, 0);
  EXPECT_EQ(hdlc0.protocol(), unsigned(IF_PROTO_HDLC));
  EXPECT_THAT(modems().free_interfaces(), ElementsAre("hdlc0"));
  EXPECT_THAT(modems().modem_slots(), IsEmpty());
  if (::kill(child, 0) == 0)
    ::kill(child, SIGKILL);  // nothing left running after a failure
}

TEST_F(ModemTest, FaxTransferReportsPagesThenAborts) {
  program("/usr/local/sbin/fax", "exit 3\n");
  startModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_fax();
    for (int i = 0; i < 62; ++i)
      p.mutable_execargs().push_back(ASN1::IA5String("a" + std::to_string(i)));
  });
  Lines expected = {root.path() + "/usr/local/sbin/fax", "-m", "0"};
  for (int i = 0; i < 60; ++i)
    expected.push_back("a" + std::to_string(i));
  EXPECT_THAT(argsOf("/usr/local/sbin/fax"), ElementsAreArray(expected));
  EXPECT_THAT(messages(4), ElementsAre("slot=3 signal transmitter active 192", "slot=3 signal receiver active 192",
                                       "slot=3 signal modemProceeding acct 0:0 0:3 0:0 0:0 0:0",
                                       "slot=3 signal abort 768"));
  // The program took the modem over: the daemon holds no descriptor of it.
  EXPECT_EQ(modemDev().allocated(), 0u);
}

// The transfer's end: its exit code is the page count, and only an end by
// a signal is a failed transfer.
TEST_F(ModemTest, FaxTransferEndsByExitOrBySignal) {
  struct Case {
    const char* body;
    int status;
    bool failed;
    int pages;
  } const cases[] = {
      {"exit 3\n", 768, false, 3},
      {"exit 0\n", 0, false, 0},
      {"exit 255\n", 65280, false, 255},
      {"kill -9 $$\n", 9, true, 0},
  };
  int slot = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    program("/usr/local/sbin/fax", c.body);
    logs.clear();
    startModem(slot, slot, [](TERM::ModemParams& p) {
      p.mutable_fax();
      p.mutable_execargs().push_back(ASN1::IA5String("send"));
    });
    const std::string s = "slot=" + std::to_string(slot) + " signal ";
    EXPECT_THAT(messages(4), ElementsAre(s + "transmitter active 192", s + "receiver active 192",
                                         s + "modemProceeding acct 0:0 0:" + std::to_string(c.pages) + " 0:0 0:0 0:0",
                                         s + "abort " + std::to_string(c.status)));
    const std::string header = (slot < 10 ? "0" : "") + std::to_string(slot) + ":dsp-modem: ";
    EXPECT_THAT(logs.log(), HasSubstr(header + "fax terminated with code " + std::to_string(c.status) + "\n"));
    EXPECT_EQ(logs.log().find("fax transfer failed") != std::string::npos, c.failed);
    EXPECT_THAT(logs.log(), HasSubstr(header + "pages received: " + std::to_string(c.pages) + "\n"));
    simple(slot + 1, slot, LGCP::Command::alt_destroy);
    EXPECT_TRUE(received("seq=" + std::to_string(slot + 1) + " slot=" + std::to_string(slot) + " success"));
    slot += 2;
  }
}

// A transfer hung up by its slot's destruction still reports its pages:
// the controller hears the accounting, then the answer to its destroy, and
// no abort.
TEST_F(ModemTest, DestroyedFaxTransferReportsItsPagesBeforeTheAnswer) {
  program("/usr/local/sbin/fax", kRunsOn, "trap 'exit 4' HUP\n");
  startModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_fax();
    p.mutable_execargs().push_back(ASN1::IA5String("send"));
  });
  EXPECT_EQ(messages(2).size(), 2u);
  argsOf("/usr/local/sbin/fax");
  simple(2, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(messages(2), ElementsAre("slot=3 signal modemProceeding acct 0:0 0:4 0:0 0:0 0:0", "seq=2 slot=3 success"));
  EXPECT_THAT(logs.log(), HasSubstr("03:dsp-modem: pages received: 4\n"));
  EXPECT_THAT(messages(0), IsEmpty());
  EXPECT_THAT(kills(), IsEmpty());
}

TEST_F(ModemTest, FaxReceiverEndsWithItsSlot) {
  program("/usr/local/bin/fax", kRunsOn, kEndsOnHangUp);
  setenv("TZ", "UTC", 1);
  tzset();
  clock.set_ms(1700000000000ull + (14 * 3600 + 5 * 60 + 9 - 1700000000 % 86400) * 1000ull);  // 14:05:09 UTC
  startModem(1, 3, [](TERM::ModemParams& p) { p.mutable_fax(); });
  EXPECT_THAT(argsOf("/usr/local/bin/fax"), ElementsAre(root.path() + "/usr/local/bin/fax", "-m", "0", "receive",
                                                        root.path() + "/var/fax-14-05-09.g3"));
  // The receiver is watched: the destruction hangs it up and waits for it.
  simple(2, 3, LGCP::Command::alt_destroy);
  EXPECT_TRUE(received("seq=2 slot=3 success"));
  EXPECT_THAT(logs.err(), HasSubstr("03:dsp-modem: sent HUP to pppd."));
}

// A hang-up handler like the daemon's (it only notes the signal), in
// place for the life of the object.
class DaemonHangUpHandler {
public:
  DaemonHangUpHandler() {
    struct sigaction noted = {};
    noted.sa_handler = [](int) {};
    noted.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &noted, &previous_);
  }
  ~DaemonHangUpHandler() { sigaction(SIGHUP, &previous_, nullptr); }

private:
  struct sigaction previous_;
};

TEST_F(ModemTest, FaxReceiverDestroyedWithinItsFirstSecond) {
  DaemonHangUpHandler handler;
  program("/usr/local/bin/fax", kRunsOn, kEndsOnHangUp);
  startModem(1, 3, [](TERM::ModemParams& p) { p.mutable_fax(); });
  simple(2, 3, LGCP::Command::alt_destroy);
  // The child waits a second before it executes the receiver: the hang-up
  // must end it there and then, not fall to the daemon's handler. The loop
  // clock stands still, so the 5000 ms time-out cannot answer the destroy.
  EXPECT_TRUE(received("seq=2 slot=3 success"));
  EXPECT_THAT(kills(), IsEmpty());
}

TEST_F(ModemTest, FaxOriginateKeepsTheModem) {
  startModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_fax();
    p.mutable_originate();
  });
  EXPECT_EQ(messages(2).size(), 2u);
  std::vector<SimBoard::LoggedRequest> faxed = modemDev().requests(SimBoard::ModemControl::FaxOriginate);
  ASSERT_EQ(faxed.size(), 1u);
  EXPECT_EQ(faxed[0].word(4), 0xffffffffu);
  EXPECT_EQ(modemSlot(3)->pid(), -1);
  EXPECT_EQ(modemDev().allocated(), 1u);

  // A refused request ends the set-up with `abort` and its errno.
  modemDev().fail(SimBoard::ModemControl::FaxOriginate, EIO);
  startModem(2, 5, [](TERM::ModemParams& p) {
    p.mutable_fax();
    p.mutable_originate();
  });
  EXPECT_TRUE(received("slot=5 signal abort 5"));
  EXPECT_THAT(logs.err(), HasSubstr("05:dsp-modem: originate failed : Input/output error"));
}

}  // namespace modem_test
