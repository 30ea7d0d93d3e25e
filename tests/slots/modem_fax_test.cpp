// Fax calls on DSP modems: the transfer program's argument vector, pages
// and end; the receiver's time-stamped file and its end with the slot; an
// outgoing fax the modem starts without a program.
#include <gmock/gmock.h>

#include <cstdlib>
#include <ctime>

#include "tests/slots/modem_fixture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

namespace modem_test {

TEST_F(ModemTest, FaxTransferReportsPagesThenAborts) {
  program("/usr/local/sbin/fax", "exit 3\n");
  createModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_fax();
    for (int i = 0; i < 62; ++i)
      p.mutable_execargs().push_back(ASN1::IA5String("a" + std::to_string(i)));
  }, false);
  messages(1);
  modemSlot(3)->IOnOutputStream();
  std::vector<std::string> expected = {root.path() + "/usr/local/sbin/fax", "-m", "0"};
  for (int i = 0; i < 60; ++i)
    expected.push_back("a" + std::to_string(i));
  EXPECT_THAT(argsOf("/usr/local/sbin/fax"), ElementsAreArray(expected));
  EXPECT_THAT(messages(4), ElementsAre("slot=3 signal transmitter active 192", "slot=3 signal receiver active 192",
                                       "slot=3 signal modemProceeding acct 0:0 0:3 0:0 0:0 0:0",
                                       "slot=3 signal abort 768"));
  EXPECT_THAT(logs.log(), HasSubstr("03:dsp-modem: fax transfer executed modem=0 ts=192"));
  EXPECT_THAT(logs.log(), HasSubstr("03:dsp-modem: fax terminated with code 768\n03:dsp-modem: pages received: 3"));
  EXPECT_THAT(logs.log(), testing::Not(HasSubstr("fax transfer failed")));
  // The program took the modem over: the daemon holds no descriptor of it.
  EXPECT_EQ(modemDev().allocated(), 0u);
}

TEST_F(ModemTest, FaxReceiverEndsWithItsSlot) {
  program("/usr/local/bin/fax", "trap 'exit 0' HUP\nwhile :; do sleep 1 & wait $!; done\n");
  setenv("TZ", "UTC", 1);
  tzset();
  clock.set_ms(1700000000000ull + (14 * 3600 + 5 * 60 + 9 - 1700000000 % 86400) * 1000ull);  // 14:05:09 UTC
  createModem(1, 3, [](TERM::ModemParams& p) { p.mutable_fax(); }, false);
  messages(1);
  modemSlot(3)->IOnOutputStream();
  EXPECT_THAT(argsOf("/usr/local/bin/fax"), ElementsAre(root.path() + "/usr/local/bin/fax", "-m", "0", "receive",
                                                        root.path() + "/var/fax-14-05-09.g3"));
  EXPECT_THAT(logs.log(), HasSubstr("03:dsp-modem: fax receiver executed modem=0 ts=192"));
  // The receiver is watched: the destruction hangs it up and waits for it.
  EXPECT_GT(modemSlot(3)->pid(), 0);
  simple(2, 3, LGCP::Command::alt_destroy);
  EXPECT_TRUE(received("seq=2 slot=3 success"));
  EXPECT_THAT(logs.err(), HasSubstr("03:dsp-modem: sent HUP to pppd."));
}

TEST_F(ModemTest, FaxOriginateKeepsTheModem) {
  createModem(1, 3, [](TERM::ModemParams& p) {
    p.mutable_fax();
    p.mutable_originate();
  }, false);
  messages(1);
  modemSlot(3)->IOnOutputStream();
  EXPECT_EQ(messages(2).size(), 2u);
  std::vector<SimBoard::LoggedRequest> faxed = modemDev().requests(SimBoard::ModemControl::FaxOriginate);
  ASSERT_EQ(faxed.size(), 1u);
  EXPECT_EQ(faxed[0].word(0), 0u);
  EXPECT_EQ(faxed[0].word(4), 0xffffffffu);
  EXPECT_EQ(modemSlot(3)->pid(), -1);
  EXPECT_EQ(modemDev().allocated(), 1u);

  modemDev().fail(SimBoard::ModemControl::FaxOriginate, EIO);
  createModem(2, 5, [](TERM::ModemParams& p) {
    p.mutable_fax();
    p.mutable_originate();
  }, false);
  messages(1);
  modemSlot(5)->IOnOutputStream();
  EXPECT_THAT(messages(3), testing::Contains("slot=5 signal abort 5"));
  EXPECT_THAT(logs.err(), HasSubstr("05:dsp-modem: originate failed : Input/output error"));
}

}  // namespace modem_test
