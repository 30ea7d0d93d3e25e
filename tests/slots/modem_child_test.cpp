// The life of a modem slot's child with real scripts: its own end, a
// program that cannot run, destruction by SIGHUP or by SIGKILL after the
// time-out on the loop clock, and the controller lost while a slot waits.
#include <gmock/gmock.h>

#include "tests/slots/modem_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace modem_test {

TEST_F(ModemTest, ChildEndsByItself) {
  program("/usr/local/sbin/pppd", "exit 3\n");
  createModem(1, 3, [](TERM::ModemParams&) {}, false);
  createModem(2, 5, [](TERM::ModemParams& p) { p.set_execfile("/missing/pppd"); }, false);
  EXPECT_EQ(messages(2).size(), 2u);
  modemSlot(3)->IOnOutputStream();
  modemSlot(5)->IOnOutputStream();
  std::vector<std::string> seen = messages(6);
  EXPECT_THAT(seen, testing::Contains("slot=3 signal abort 768"));
  EXPECT_THAT(seen, testing::Contains("slot=5 signal abort 512"));
  EXPECT_THAT(logs.log(), HasSubstr("03:dsp-modem: pppd terminated with code 768"));
  // The slot stays until destroyed, which then completes at once.
  EXPECT_EQ(modemSlot(3)->pid(), -1);
  simple(3, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(messages(2), ElementsAre("seq=0 slot=3 success", "seq=3 slot=3 success"));
}

TEST_F(ModemTest, DestroyHangsUpThenKillsAfterTimeOut) {
  program("/usr/local/sbin/pppd", "trap 'exit 0' HUP\nwhile :; do sleep 1 & wait $!; done\n");
  program("/usr/local/sbin/stubborn", "trap '' HUP\nwhile :; do sleep 1 & wait $!; done\n");
  createModem(1, 3, [](TERM::ModemParams&) {}, false);
  createModem(2, 5, [](TERM::ModemParams& p) { p.set_execfile("/usr/local/sbin/stubborn"); }, false);
  messages(2);
  modemSlot(3)->IOnOutputStream();
  modemSlot(5)->IOnOutputStream();
  messages(4);
  argsOf("/usr/local/sbin/pppd");
  argsOf("/usr/local/sbin/stubborn");

  // One that honours SIGHUP ends before any time passes on the loop clock.
  simple(3, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=3 success"));
  EXPECT_THAT(logs.err(), HasSubstr("03:dsp-modem: sent HUP to pppd."));

  // One that ignores it holds the answer for 5000 ms, then is killed.
  simple(4, 5, LGCP::Command::alt_destroy);
  runner.turn(20);
  clock.advance(4999);
  runner.turn(3);
  EXPECT_THAT(ctl.drain(), IsEmpty());
  clock.advance(1);
  EXPECT_THAT(messages(1), ElementsAre("seq=4 slot=5 success"));
  EXPECT_THAT(logs.err(), HasSubstr("05:dsp-modem: pppd terminate timeout!\n05:dsp-modem: pppd isn't terminated, killing ..."));
  EXPECT_THAT(modems().modem_slots(), IsEmpty());
  EXPECT_EQ(modemDev().allocated(), 0u);
}

TEST_F(ModemTest, ControllerLostWhileASlotWaitsForItsChild) {
  program("/usr/local/sbin/pppd", "trap '' HUP\nwhile :; do sleep 1 & wait $!; done\n");
  createModem(1, 3, [](TERM::ModemParams&) {}, false);
  messages(1);
  modemSlot(3)->IOnOutputStream();
  argsOf("/usr/local/sbin/pppd");
  AuthPeer peer(modems().auth_port());
  ASSERT_TRUE(peer.connected());
  peer.send(authRequest(0, "u", "p"));
  messages(3);

  ctl.close();
  ASSERT_TRUE(until([] { return Slots::instance().slots().empty(); }));
  EXPECT_THAT(modems().modem_slots(), IsEmpty());
  // The deleted slot is no longer reachable through its session.
  peer.send(authRequest(0, "u", "p"));
  ASSERT_TRUE(until([&] { return logs.err().find("unknown session 0") != std::string::npos; }));
  EXPECT_THAT(logs.err(), HasSubstr("modem[2,0]: receive auth request for unknown session 0"));
}

}  // namespace modem_test
