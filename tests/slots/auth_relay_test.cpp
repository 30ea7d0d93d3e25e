// The authentication relay with a test client writing host-order words:
// framing across and within writes, impossible sizes, bad records, the
// records sent down on activation, and a client closing inside its handler.
#include <gmock/gmock.h>

#include "tests/slots/modem_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace modem_test {

class RelayTest : public ModemTest {
protected:
  void SetUp() override {
    ModemTest::SetUp();
    program("/usr/local/sbin/pppd", "exec sleep 30\n");
    createModem(1, 3, [](TERM::ModemParams&) {}, false);
    messages(1);
    modemSlot(3)->IOnOutputStream();  // modem 0
    messages(2);
  }
  // A connected client, once the relay has taken it.
  std::unique_ptr<AuthPeer> client() {
    size_t before = modems().clients().size();
    auto peer = std::make_unique<AuthPeer>(modems().auth_port());
    EXPECT_TRUE(until([&] { return modems().clients().size() > before; }));
    return peer;
  }
};

TEST_F(RelayTest, RecordsAcrossAndWithinWrites) {
  auto peer = client();
  const std::string acct = words({64, 4, 0, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8, 600, 9});
  peer->send(authRequest(0, std::string(64, 'n'), "pw") + acct);
  EXPECT_THAT(messages(2), ElementsAre("slot=3 signal modemProceeding auth " + std::string(64, 'n') + "/pw",
                                       "slot=3 signal modemProceeding acct 1:2 3:4 5:6 7:8 0:600"));
  const std::string auth = authRequest(0, "alice", "secret");
  peer->send(auth.substr(0, 2));
  runner.turn(3);
  peer->send(auth.substr(2, 60));
  runner.turn(3);
  EXPECT_THAT(ctl.drain(), IsEmpty());
  peer->send(auth.substr(62));
  EXPECT_THAT(messages(1), ElementsAre("slot=3 signal modemProceeding auth alice/secret"));
}

TEST_F(RelayTest, ImpossibleSizesCloseTheConnection) {
  for (uint32_t size : {3u, 11u, 513u}) {
    SCOPED_TRACE(size);
    auto peer = client();
    peer->send(words({size, 1, 0}) + std::string(16, '\0'));
    EXPECT_TRUE(until([&] { return peer->closed(); }));
    EXPECT_TRUE(until([&] { return modems().clients().empty(); }));
  }
  EXPECT_THAT(ctl.drain(), IsEmpty());
}

TEST_F(RelayTest, BadRecordsAreLoggedAndDropped) {
  auto peer = client();
  struct {
    std::string record;
    const char* message;
  } cases[] = {
      {authRequest(0, "a", "b").substr(0, 139), "03:dsp-modem: auth request, invalid size: 139"},
      {words({60, 4, 0}) + std::string(48, '\0'), "03:dsp-modem: auth accounting, invalid size: 60"},
      {words({12, 7, 0}), "03:dsp-modem: unknown request from portslave: 0x7"},
      {words({16, 2, 0, 1}), "03:dsp-modem: auth accept, ignored."},
      {words({12, 3, 0}), "03:dsp-modem: auth ip, ignored."},
      {words({12, 1, 9}), "receive auth request for unknown session 9"},
  };
  for (const auto& c : cases) {
    std::string record = c.record;
    uint32_t size = static_cast<uint32_t>(record.size());
    record.replace(0, 4, reinterpret_cast<const char*>(&size), 4);
    peer->send(record);
    EXPECT_TRUE(until([&] { return logs.err().find(c.message) != std::string::npos; })) << c.message;
  }
  EXPECT_THAT(ctl.drain(), IsEmpty());
  EXPECT_FALSE(peer->closed());
}

TEST_F(RelayTest, ActivationSendsAcceptAndAddresses) {
  auto activate = [&](int seq) {
    ctl.command(seq, 3, [](LGCP::Command& c) {
      TERM::ModemUserParameters& m = c.select_activate().select_modem();
      m.set_remoteAddr("10.1.2.3");
      m.set_netmask("255.255.255.0");
      m.set_gateway("10.1.2.1");
      m.set_dns("10.9.9.9");
      m.set_mtu(1500);
    });
  };
  // No client has this session yet.
  activate(2);
  EXPECT_THAT(messages(1), ElementsAre("seq=2 slot=3 success"));
  EXPECT_THAT(logs.log(), HasSubstr("send error: unknown auth 0 session."));

  auto peer = client();
  peer->send(authRequest(0, "alice", "secret"));
  messages(1);
  activate(3);
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=3 success"));
  std::string down;
  until([&] { return (down += peer->take()).size() >= 52; });
  EXPECT_EQ(down, words({16, 2, 0, 1}) + words({36, 3, 0, 0, htonl(0x0a010203), htonl(0xffffff00), htonl(0x0a010201),
                                                htonl(0x0a090909), 1500}));
  ctl.command(4, 3, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  EXPECT_THAT(messages(1), ElementsAre("seq=4 slot=3 error unsupported"));
  EXPECT_THAT(logs.err(), HasSubstr("03:dsp-modem: modem's activation requests parameter."));
}

TEST_F(RelayTest, ClientClosingWhileItsRecordIsHandled) {
  auto peer = client();
  peer->send(authRequest(0, "bye", "now"));
  peer->shutdown();
  EXPECT_THAT(messages(1), ElementsAre("slot=3 signal modemProceeding auth bye/now"));
  EXPECT_TRUE(until([&] { return modems().clients().empty(); }));
  EXPECT_THAT(logs.log(), testing::ContainsRegex("auth client 127\\.0\\.0\\.1:[0-9]+ disconnected\\."));
}

}  // namespace modem_test
