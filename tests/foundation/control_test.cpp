#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/control_net.h"
#include "foundation/multiplexer.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;
using namespace transport_test;
typedef Control::Service::State State;

namespace {

struct Receiver : Control::Notify {
  explicit Receiver(Control::Service* s, TestClock* c = nullptr) : service(s), clock(c) {}
  void OnConnect() override {
    ++connects;
    connectedAt = clock ? clock->now_ms() : 0;
  }
  void OnDisconnect() override {
    EXPECT_EQ(State::Connecting, service->state());
    ++disconnects;
    disconnectedAt = clock ? clock->now_ms() : 0;
  }
  void OnMessage(char const* data, int length) override {
    messages.emplace_back(data, static_cast<size_t>(length));
    if (echo)
      service->Send(data, length);
  }

  Control::Service* service;
  TestClock* clock;
  uint64_t connectedAt = 0;
  uint64_t disconnectedAt = 0;
  bool echo = false;
  int connects = 0;
  int disconnects = 0;
  std::vector<std::string> messages;
};

// A controller acceptor on an ephemeral port, driven by the test clock.
struct Controller {
  TestClock clock;
  LoopRunner loop;
  LogCapture log;
  Control::AcceptorNetCheckConnection service{0};
  Receiver receiver{&service};
  unsigned short port = 0;

  Controller() {
    clock.set_auto_advance(false);
    service.service_name("server");
    service.Bind(&receiver);
    EXPECT_TRUE(service.Activate());
    port = service.bound_port();
  }
  Fd connect() {
    Fd c = connect_to(port);
    int before = receiver.connects;
    EXPECT_TRUE(loop.until([&] { return receiver.connects > before; }, 500));
    return c;
  }
  bool turn_until(const std::function<bool()>& pred) { return loop.until(pred, 500); }
  // Lets the stream layer read whatever the client wrote.
  void absorb() {
    uint32_t reads = service.get_read_measure().counter();
    turn_until([&] { return service.get_read_measure().counter() > reads; });
  }
};

TEST(ControlAcceptor, ControllerExchangesWholePayloads) {
  Controller c;
  Fd client = c.connect();
  EXPECT_EQ(State::Connected, c.service.state());
  EXPECT_NE(std::string::npos, c.log.out().find("new connection from 127.0.0.1:"));
  EXPECT_EQ("127.0.0.1:" + std::to_string(local_port(client.get())), c.service.peer_name());

  // A frame split over three reads.
  send_all(client.get(), std::string("\x03\x00", 2));
  c.absorb();
  send_all(client.get(), std::string("\x00\x07" "AB", 4));
  c.absorb();
  EXPECT_TRUE(c.receiver.messages.empty());
  send_all(client.get(), "C");
  ASSERT_TRUE(c.turn_until([&] { return c.receiver.messages.size() == 1; }));
  EXPECT_EQ("ABC", c.receiver.messages[0]);

  // Garbage, then three frames (one of them empty) in one write.
  send_all(client.get(), "\x7f" + tpkt("one") + tpkt("") + tpkt("three"));
  ASSERT_TRUE(c.turn_until([&] { return c.receiver.messages.size() == 4; }));
  EXPECT_EQ((std::vector<std::string>{"ABC", "one", "", "three"}), c.receiver.messages);
  EXPECT_NE(std::string::npos, c.log.log().find("(no name) bad TPKT packet start."));

  // Answers travel back framed; an answer sent from inside OnMessage too.
  EXPECT_TRUE(c.service.Send("xyz", 3));
  EXPECT_EQ(tpkt("xyz"), read_n(client.get(), 7));
  c.receiver.echo = true;
  send_all(client.get(), tpkt(std::string(4000, 'e')));
  ASSERT_TRUE(c.turn_until([&] { return c.receiver.messages.size() == 5; }));
  EXPECT_TRUE(tpkt(std::string(4000, 'e')) == read_n(client.get(), 4004));

  // A payload no frame can carry is refused; nothing reaches the wire.
  std::string huge(65532, 'h');
  EXPECT_FALSE(c.service.Send(huge.data(), static_cast<int>(huge.size())));
  EXPECT_NE(std::string::npos, c.log.err().find("Control::Service::Send() refuse payload of 65532 octets, max 65531."));
  EXPECT_TRUE(c.service.Send(huge.data(), 65531));
  EXPECT_TRUE(tpkt(huge.substr(1)) == read_n(client.get(), 65535));
  EXPECT_EQ(State::Connected, c.service.state());
}

TEST(ControlAcceptor, PartialFrameTimesOutAndTheStreamResynchronises) {
  Controller c;
  Fd client = c.connect();
  send_all(client.get(), std::string("\x03\x00\x00\x09" "ab", 6));
  c.absorb();
  c.clock.advance(2999);
  c.loop.turn();
  EXPECT_EQ(std::string::npos, c.log.log().find("TPKT packet timeout"));
  c.clock.advance(1);
  c.loop.turn();
  EXPECT_NE(std::string::npos, c.log.log().find(" TPKT packet timeout."));
  send_all(client.get(), tpkt("fresh"));
  ASSERT_TRUE(c.turn_until([&] { return !c.receiver.messages.empty(); }));
  EXPECT_EQ((std::vector<std::string>{"fresh"}), c.receiver.messages);
  EXPECT_EQ(State::Connected, c.service.state());
}

TEST(ControlAcceptor, PeerCloseIsReportedOnTheNextTurn) {
  Controller c;
  Fd client = c.connect();
  client.close();
  ASSERT_TRUE(c.turn_until([&] { return c.service.state() == State::Deactivating; }));
  EXPECT_EQ(0, c.receiver.disconnects);
  EXPECT_NE(std::string::npos, c.log.err().find("control connection 127.0.0.1:"));
  // Meanwhile sending does nothing, silently.
  c.log.clear();
  EXPECT_FALSE(c.service.Send("x", 1));
  EXPECT_EQ("", c.log.err());
  c.loop.turn();
  EXPECT_EQ(1, c.receiver.disconnects);
  EXPECT_EQ(State::Connecting, c.service.state());
  EXPECT_FALSE(c.service.Send("x", 1));
  EXPECT_EQ("Control::Service::Send() ignore Send request in Connecting state.\n", c.log.err());

  // The controller comes back and is served again.
  Fd again = c.connect();
  send_all(again.get(), tpkt("back"));
  ASSERT_TRUE(c.turn_until([&] { return !c.receiver.messages.empty(); }));
  EXPECT_EQ(2, c.receiver.connects);
}

TEST(ControlAcceptor, DroppedControllerSeesTheCloseAndMayReconnect) {
  Controller c;
  Fd client = c.connect();
  int before = open_descriptors();
  c.service.Disconnect();  // as the heartbeat does
  EXPECT_TRUE(peer_closed(client.get()));
  EXPECT_EQ(before - 3, open_descriptors());  // stream layer, its event, the watched duplicate
  c.loop.turn();
  EXPECT_EQ(1, c.receiver.disconnects);
  Fd again = c.connect();
  EXPECT_EQ(2, c.receiver.connects);
  EXPECT_EQ(State::Connected, c.service.state());
}

TEST(ControlAcceptor, SecondControllerIsRefusedAndTheFirstIsProbed) {
  Controller c;
  Fd first = c.connect();
  Fd second = connect_to(c.port);
  ASSERT_TRUE(c.turn_until([&] { return c.service.checking(); }));
  EXPECT_TRUE(peer_closed(second.get()));
  EXPECT_NE(std::string::npos, c.log.err().find("refuse connection from 127.0.0.1:"));
  EXPECT_NE(std::string::npos, c.log.err().find("CheckConnectionState CheckConnection\n"));
  EXPECT_EQ(1, c.receiver.connects);

  // A healthy connection reads an open congestion state: checking ends.
  c.clock.advance(Control::AcceptorNetCheckConnection::CheckMs);
  c.loop.turn();
  EXPECT_FALSE(c.service.checking());
  EXPECT_NE(std::string::npos, c.log.err().find("CheckConnectionState Idle\n"));
  EXPECT_EQ(State::Connected, c.service.state());
  send_all(first.get(), tpkt("still here"));
  ASSERT_TRUE(c.turn_until([&] { return !c.receiver.messages.empty(); }));
}

TEST(ControlAcceptor, CheckDropsAConnectionThatLeftEstablished) {
  Controller c;
  Fd client = c.connect();
  shutdown(client.get(), SHUT_WR);
  // Once the client is in FIN_WAIT2 the daemon's side has left established.
  tcp_info info;
  for (int i = 0; i < 100000; ++i) {
    socklen_t len = sizeof info;
    getsockopt(client.get(), IPPROTO_TCP, TCP_INFO, &info, &len);
    if (info.tcpi_state == TCP_FIN_WAIT2)
      break;
  }
  ASSERT_EQ(TCP_FIN_WAIT2, info.tcpi_state);
  c.clock.advance(Control::AcceptorNetCheckConnection::CheckMs);
  c.loop.turn();  // timers come before the descriptors: the check sees it first
  EXPECT_NE(std::string::npos,
            c.log.err().find("connection from " + c.service.peer_name() + " closed: tcp socket change state."));
  EXPECT_TRUE(peer_closed(client.get()));
  c.loop.turn();
  EXPECT_EQ(1, c.receiver.disconnects);
}

// Finds the acceptor's listening socket among this process's descriptors.
int listening_socket(unsigned short port) {
  for (int fd = 3; fd < 1024; ++fd) {
    int on = 0;
    socklen_t len = sizeof on;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &on, &len) == 0 && on && local_port(fd) == port)
      return fd;
  }
  return -1;
}

struct Dropper {
  Control::Service* service = nullptr;
  Event event;
  void OnEvent(int fd, short revents) {
    char c;
    if ((revents & POLLIN) && read(fd, &c, 1) == 1)
      service->Disconnect();
  }
};

TEST(ControlAcceptor, ConnectionArrivingDuringTearDownIsClosedAtOnce) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  // Serviced before the acceptor's listening event within a turn.
  Dropper dropper;
  int pipefd[2];
  ASSERT_EQ(0, pipe2(pipefd, O_CLOEXEC));
  Fd pipeRead(pipefd[0]), pipeWrite(pipefd[1]);
  dropper.event.Bind("Dropper", &Dropper::OnEvent, &dropper);
  dropper.event.Schedule(pipeRead, POLLIN);

  Control::AcceptorNetCheckConnection service(0);
  Receiver receiver(&service);
  dropper.service = &service;
  service.Bind(&receiver);
  ASSERT_TRUE(service.Activate());
  Fd first = connect_to(service.bound_port());
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 1; }, 500));

  Fd second = connect_to(service.bound_port());
  pollfd ready = {listening_socket(service.bound_port()), POLLIN, 0};
  ASSERT_EQ(1, poll(&ready, 1, 2000));
  ASSERT_EQ(1, write(pipefd[1], "x", 1));
  loop.turn();  // the drop, then the accept while Deactivating
  EXPECT_EQ(State::Deactivating, service.state());
  EXPECT_TRUE(peer_closed(second.get()));
  EXPECT_TRUE(peer_closed(first.get()));
  loop.turn();
  EXPECT_EQ(1, receiver.disconnects);
  EXPECT_EQ(1, receiver.connects);
  EXPECT_FALSE(service.checking());
}

TEST(ControlAcceptor, SendOutsideAConnectionAndBusyPort) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  Fd blocker = listener();
  unsigned short port = local_port(blocker.get());
  Control::AcceptorNet service(port);
  Receiver receiver(&service);
  service.Bind(&receiver);
  EXPECT_FALSE(service.Send("x", 1));
  EXPECT_EQ("Control::Service::Send() ignore Send request in Idle state.\n", log.err());
  log.clear();

  // The port is taken: one line every 5000 ms until it is free.
  EXPECT_TRUE(service.Activate());
  EXPECT_EQ("can't bind to socket: \"Address already in use\"  waiting...\n", log.err());
  clock.advance(Control::AcceptorNet::BindRetryMs - 1);
  loop.turn();
  EXPECT_EQ(0u, service.bound_port());
  clock.advance(1);
  loop.turn();
  EXPECT_EQ(2u, log.err().size() / std::string("can't bind to socket: \"Address already in use\"  waiting...\n").size());
  blocker.close();
  clock.advance(Control::AcceptorNet::BindRetryMs);
  loop.turn();
  EXPECT_EQ(port, service.bound_port());
  Fd client = connect_to(port);
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 1; }, 500));

  // Deactivation stops listening; the attached connection stays.
  service.Deactivate();
  EXPECT_EQ(State::Idle, service.state());
  EXPECT_EQ(0u, service.bound_port());
  EXPECT_STREQ("Unknown", Control::GetTextNotation(static_cast<State::Type>(7)));
}

TEST(INet4Addr, ParsesPrintsAndCompares) {
  INet4::Addr a;
  int port = 0;
  EXPECT_TRUE(a.Assign("10.1.2.3:20001", &port));
  EXPECT_EQ(20001, port);
  EXPECT_EQ("10.1.2.3:20001", a.GetString());
  EXPECT_EQ((std::vector<unsigned char>{10, 1, 2, 3}), a.GetVector());
  EXPECT_TRUE(a.Assign("192.168.0.9", &port));
  EXPECT_EQ(-1, port);
  EXPECT_EQ("192.168.0.9:20001", a.GetString());  // the port stays
  // The port is stored even when the address does not parse; the address stays.
  EXPECT_FALSE(a.Assign("no.such.host:7", &port));
  EXPECT_EQ("192.168.0.9:7", a.GetString());
  INet4::Addr b;
  b.Assign(a.sockaddr().sin_addr.s_addr);
  EXPECT_FALSE(a.IsEqual(b));
  b.SetPort(7);
  EXPECT_TRUE(a.IsEqual(b));
  b.Reset();
  EXPECT_EQ("0.0.0.0:0", b.GetString());
}

// An agent process: a listener the connector reaches.
struct Agent {
  Fd listen = listener();
  unsigned short port = local_port(listen.get());
  Fd accept(int timeoutMs = 2000) {
    pollfd p = {listen.get(), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
      return Fd();
    return Fd(accept4(listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
  }
};

TEST(ControlConnector, ConnectsExchangesAndReconnectsAfterALoss) {
  TestClock clock;
  LoopRunner loop;
  LogCapture log;
  Agent agent;
  Control::ConnectorNet service("127.0.0.1:" + std::to_string(agent.port));
  Receiver receiver(&service, &clock);
  service.service_name("127.0.0.1");
  service.Bind(&receiver);
  ASSERT_TRUE(service.Activate());
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 1; }, 500));
  EXPECT_TRUE(log.out().find("connected to 127.0.0.1:" + std::to_string(agent.port) + ".") != std::string::npos ||
              log.log().find("already connected to 127.0.0.1:") != std::string::npos);
  Fd link = agent.accept();
  ASSERT_TRUE(static_cast<bool>(link));

  send_all(link.get(), tpkt("report"));
  ASSERT_TRUE(loop.until([&] { return receiver.messages.size() == 1; }, 500));
  EXPECT_TRUE(service.Send("item", 4));
  EXPECT_EQ(tpkt("item"), read_n(link.get(), 8));

  // The agent goes away: the connector tries again 10000 ms later.
  link.close();
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 2; }, 500));
  EXPECT_EQ(1, receiver.disconnects);
  EXPECT_EQ(receiver.disconnectedAt + Control::ConnectorNet::ReconnectMs, receiver.connectedAt);
  Fd again = agent.accept();
  ASSERT_TRUE(static_cast<bool>(again));

  // Deactivation closes the connection without a report.
  service.Deactivate();
  EXPECT_TRUE(peer_closed(again.get()));
  loop.turn(3);
  EXPECT_EQ(1, receiver.disconnects);
}

TEST(ControlConnector, RetriesSevenTimesFastThenSlowWithoutLeaking) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  unsigned short port = closed_port();
  std::string address = "127.0.0.1:" + std::to_string(port);
  Control::ConnectorNet service("127.0.0.1", port);
  Receiver receiver(&service);
  service.Bind(&receiver);

  // Each failed attempt leaves one line naming the address.
  auto failures = [&] {
    const std::string text = log.err();
    size_t n = 0;
    for (size_t at = text.find(address); at != std::string::npos; at = text.find(address, at + 1))
      ++n;
    return n;
  };
  // Refused at once (connect fails: 20000 ms) or through an error event (15000 ms).
  auto slowDelay = [&] {
    const std::string text = log.err();
    size_t last = text.rfind("\n", text.size() - 2);
    last = last == std::string::npos ? 0 : last + 1;
    return text.compare(last, 17, "can't connect to ") == 0 ? Control::ConnectorNet::ConnectFailedMs
                                                             : Control::ConnectorNet::ErrorEventMs;
  };
  int baseline = open_descriptors();
  ASSERT_TRUE(service.Activate());
  ASSERT_TRUE(loop.until([&] { return failures() == 1; }, 500));
  for (size_t attempt = 1; attempt < 10; ++attempt) {
    unsigned delay = attempt <= 7 ? Control::ConnectorNet::FastRetryMs : slowDelay();
    clock.advance(delay - 1);
    loop.turn();
    EXPECT_EQ(attempt, failures()) << "retried early, attempt " << attempt;
    clock.advance(1);
    ASSERT_TRUE(loop.until([&] { return failures() == attempt + 1; }, 500)) << attempt;
    EXPECT_GE(baseline, open_descriptors()) << "attempt " << attempt;
  }
  EXPECT_EQ(0, receiver.connects);
  EXPECT_EQ(State::Connecting, service.state());
}

}  // namespace
