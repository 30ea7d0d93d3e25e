// The authentication relay with a test client writing host-order words:
// framing across and within writes, impossible sizes, bad records, the
// records sent down on activation to the client of the slot's session, a
// client closing inside its handler, and a connection the relay has no
// descriptor left to watch.
#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tests/slots/modem_fixture.h"

namespace {

// When set, the next write of a whole record of this type fails with EINTR
// before writing anything, as a write interrupted by a signal does.
uint32_t interruptedRecord = 0;

}  // namespace

// Every write of this test program passes here.
extern "C" ssize_t write(int fd, const void* data, size_t size) {
  uint32_t head[2];
  if (interruptedRecord && size >= sizeof head) {
    std::memcpy(head, data, sizeof head);
    if (head[0] == size && head[1] == interruptedRecord) {
      interruptedRecord = 0;
      errno = EINTR;
      return -1;
    }
  }
  return syscall(SYS_write, fd, data, size);
}

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using transport_test::peer_closed;
using transport_test::read_n;
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
      // The records the daemon sends are not taken from the client.
      {words({16, 2, 0, 1}), "03:dsp-modem: auth accept, ignored."},
      {words({36, 3, 0, 0, 1, 2, 3, 4, 1500}), "03:dsp-modem: auth ip, ignored."},
      // The largest record there can be is read whole.
      {words({512, 0x1ff, 0}) + std::string(500, 'x'), "03:dsp-modem: unknown request from portslave: 0x1ff"},
  };
  for (const auto& c : cases) {
    std::string record = c.record;
    uint32_t size = static_cast<uint32_t>(record.size());
    record.replace(0, 4, reinterpret_cast<const char*>(&size), 4);
    logs.clear();
    send_all(peer.get(), record);
    EXPECT_TRUE(until([&] { return logs.err().find(c.message) != std::string::npos; })) << c.message;
    EXPECT_EQ(logs.err().find("\n"), logs.err().size() - 1) << "one message only: " << logs.err();
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

TEST_F(RelayTest, InterruptedWriteIsRetried) {
  Fd peer = connected();
  send_all(peer.get(), authRequest(0, "alice", "secret"));
  messages(1);
  interruptedRecord = AuthAccept;
  ctl.command(2, 3, [](LGCP::Command& c) {
    TERM::ModemUserParameters& m = c.select_activate().select_modem();
    m.set_remoteAddr("10.1.2.3");
    m.set_netmask("255.255.255.0");
    m.set_gateway("10.1.2.1");
    m.set_dns("10.9.9.9");
    m.set_mtu(1500);
  });
  EXPECT_THAT(messages(1), ElementsAre("seq=2 slot=3 success"));
  EXPECT_EQ(interruptedRecord, 0u);
  EXPECT_EQ(read_n(peer.get(), 52), words({16, 2, 0, 1}) + words({36, 3, 0, 0, inet_addr("10.1.2.3"),
                                                                   inet_addr("255.255.255.0"), inet_addr("10.1.2.1"),
                                                                   inet_addr("10.9.9.9"), 1500}));
}

// A client serves the session of the last record it sent: its session
// moves with each record, and a slot's activation goes to the client of
// that slot's own session, not to any client that has one.
TEST_F(RelayTest, AClientsSessionFollowsItsLastRecord) {
  startModem(2, 5, [](TERM::ModemParams&) {});  // modem 1
  EXPECT_EQ(messages(2).size(), 2u);
  auto activate = [&](int seq, int slot, const char* remote) {
    ctl.command(seq, slot, [&](LGCP::Command& c) {
      TERM::ModemUserParameters& m = c.select_activate().select_modem();
      m.set_remoteAddr(remote);
      m.set_netmask("255.255.255.0");
      m.set_gateway("10.1.2.1");
      m.set_dns("10.9.9.9");
      m.set_mtu(1500);
    });
  };
  auto records = [](uint32_t session, const char* remote) {
    return words({16, 2, session, 1}) + words({36, 3, session, 0, inet_addr(remote), inet_addr("255.255.255.0"),
                                               inet_addr("10.1.2.1"), inet_addr("10.9.9.9"), 1500});
  };

  Fd first = connected();
  send_all(first.get(), authRequest(0, "ann", "a") + words({64, 4, 1, 9, 9, 9, 0, 1, 0, 2, 0, 3, 0, 4, 5, 9}));
  EXPECT_THAT(messages(2), ElementsAre("slot=3 signal modemProceeding auth ann/a",
                                       "slot=5 signal modemProceeding acct 0:1 0:2 0:3 0:4 0:5"));
  activate(3, 5, "10.1.2.5");
  EXPECT_THAT(messages(1), ElementsAre("seq=3 slot=5 success"));
  EXPECT_EQ(read_n(first.get(), 52), records(1, "10.1.2.5"));

  Fd second = connected();
  send_all(second.get(), authRequest(0, "bob", "b"));
  EXPECT_THAT(messages(1), ElementsAre("slot=3 signal modemProceeding auth bob/b"));
  activate(4, 3, "10.1.2.3");
  EXPECT_THAT(messages(1), ElementsAre("seq=4 slot=3 success"));
  EXPECT_EQ(read_n(second.get(), 52), records(0, "10.1.2.3"));
  EXPECT_EQ(transport_test::read_some(first.get(), 0), "");
  EXPECT_THAT(logs.log(), testing::Not(HasSubstr("send error")));
}

TEST_F(RelayTest, ConnectionThatCannotBeWatchedIsClosed) {
  // A client served and one gone first: the sanitizers learn the types
  // they check on the way while they can still open their probes.
  connected().close();
  ASSERT_TRUE(until([&] { return modems().clients().empty(); }));
  Fd first = connected();
  Fd peer = client();  // waiting in the listener's queue
  // One descriptor left: the accepted connection takes it, and the loop's
  // duplicate of it cannot be made. Restored as soon as the relay is done.
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  Fd lowestFree(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(lowestFree.get()) + 1;
  lowestFree.close();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  const bool taken = until([&] {
    return logs.err().find(" refused: ") != std::string::npos || modems().clients().size() > 1;
  });
  setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_TRUE(taken);
  EXPECT_TRUE(peer_closed(peer.get()));
  EXPECT_EQ(modems().clients().size(), 1u);
  EXPECT_THAT(logs.err(), testing::ContainsRegex("modem\\[2,1\\]: auth connection from 127\\.0\\.0\\.1:[0-9]+ refused: "
                                                 "Too many open files\n$"));
  // With descriptors again, connections are served.
  connected();
  EXPECT_FALSE(peer_closed(first.get(), 0));
}

TEST_F(RelayTest, ClientClosingWhileItsRecordIsHandled) {
  Fd peer = connected();
  send_all(peer.get(), authRequest(0, "bye", "now"));
  ::shutdown(peer.get(), SHUT_WR);
  EXPECT_THAT(messages(1), ElementsAre("slot=3 signal modemProceeding auth bye/now"));
  EXPECT_TRUE(until([&] { return modems().clients().empty(); }));
}

}  // namespace modem_test
