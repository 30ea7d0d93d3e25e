// The authentication relay with a test client writing host-order words:
// framing across and within writes, impossible sizes, bad records, the
// records sent down on activation, and a client closing inside its handler.
#include <gmock/gmock.h>

#include "tests/slots/modem_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using transport_test::peer_closed;
using transport_test::send_all;

namespace modem_test {

class RelayTest : public ModemTest {
protected:
  void SetUp() override {
    ModemTest::SetUp();
    program("/usr/local/sbin/pppd", "exec sleep 30\n");
    startModem(1, 3, [](TERM::ModemParams&) {});  // modem 0
    messages(2);
  }
  // A connected client, once the relay has taken it.
  Fd connected() {
    size_t before = modems().clients().size();
    Fd peer = client();
    EXPECT_TRUE(until([&] { return modems().clients().size() > before; }));
    return peer;
  }
};

TEST_F(RelayTest, RecordsAcrossAndWithinWrites) {
  Fd peer = connected();
  // A name filling its field is read within it; counters go high word first.
  const std::string acct = words({64, 4, 0, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8, 600, 9});
  send_all(peer.get(), authRequest(0, std::string(64, 'n'), "pw") + acct);
  EXPECT_THAT(messages(2), ElementsAre("slot=3 signal modemProceeding auth " + std::string(64, 'n') + "/pw",
                                       "slot=3 signal modemProceeding acct 1:2 3:4 5:6 7:8 0:600"));
  const std::string auth = authRequest(0, "alice", "secret");
  for (size_t at : {0, 2, 62}) {
    EXPECT_THAT(ctl.drain(), IsEmpty());
    send_all(peer.get(), auth.substr(at, at == 0 ? 2 : at == 2 ? 60 : std::string::npos));
    runner.turn(3);
  }
  EXPECT_THAT(messages(1), ElementsAre("slot=3 signal modemProceeding auth alice/secret"));
}

TEST_F(RelayTest, ImpossibleSizesCloseTheConnection) {
  for (uint32_t size : {3u, 11u, 513u}) {
    SCOPED_TRACE(size);
    Fd peer = connected();
    send_all(peer.get(), words({size, 1, 0}).substr(0, 11));  // no more than a record of 11 holds
    EXPECT_TRUE(until([&] { return peer_closed(peer.get(), 0); }));
    EXPECT_TRUE(until([&] { return modems().clients().empty(); }));
  }
  EXPECT_THAT(ctl.drain(), IsEmpty());
}

TEST_F(RelayTest, BadRecordsAreLoggedAndDropped) {
  Fd peer = connected();
  struct {
    std::string record;
    const char* message;
  } cases[] = {
      {authRequest(0, "a", "b").substr(0, 139), "03:dsp-modem: auth request, invalid size: 139"},
      {words({60, 4, 0}) + std::string(48, '\0'), "03:dsp-modem: auth accounting, invalid size: 60"},
      {words({12, 7, 0}), "03:dsp-modem: unknown request from portslave: 0x7"},
      {words({12, 1, 9}), "receive auth request for unknown session 9"},
  };
  for (const auto& c : cases) {
    std::string record = c.record;
    uint32_t size = static_cast<uint32_t>(record.size());
    record.replace(0, 4, reinterpret_cast<const char*>(&size), 4);
    send_all(peer.get(), record);
    EXPECT_TRUE(until([&] { return logs.err().find(c.message) != std::string::npos; })) << c.message;
  }
  EXPECT_THAT(ctl.drain(), IsEmpty());
  EXPECT_FALSE(peer_closed(peer.get(), 0));
}

// (The records an activation sends down are checked end to end.)
TEST_F(RelayTest, ActivationWithoutAClientOrModemParameters) {
  ctl.command(2, 3, [](LGCP::Command& c) { c.select_activate().select_modem().set_remoteAddr("10.1.2.3"); });
  EXPECT_THAT(messages(1), ElementsAre("seq=2 slot=3 success"));
  EXPECT_THAT(logs.log(), HasSubstr("send error: unknown auth 0 session."));
  ctl.command(3, 3, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=3 error unsupported"));
}

TEST_F(RelayTest, ClientClosingWhileItsRecordIsHandled) {
  Fd peer = connected();
  send_all(peer.get(), authRequest(0, "bye", "now"));
  ::shutdown(peer.get(), SHUT_WR);
  EXPECT_THAT(messages(1), ElementsAre("slot=3 signal modemProceeding auth bye/now"));
  EXPECT_TRUE(until([&] { return modems().clients().empty(); }));
}

}  // namespace modem_test
