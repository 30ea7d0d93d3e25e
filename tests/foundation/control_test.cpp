#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/control_net.h"
#include "tests/foundation/transport_helpers.h"

using testing_support::TestClock;
using namespace transport_test;
typedef Control::Service::State State;
typedef std::vector<std::string> Strings;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Receiver : Control::Notify {
  Receiver(Control::Service* s, TestClock* c) : service(s), clock(c) {}
  void OnConnect() override {
    ++connects;
    connectedAt = clock->now_ms();
  }
  void OnDisconnect() override {
    EXPECT_EQ(State::Connecting, service->state());
    ++disconnects;
    disconnectedAt = clock->now_ms();
  }
  void OnMessage(char const* data, int length) override {
    messages.emplace_back(data, static_cast<size_t>(length));
    if (echo)
      service->Send(data, length);
  }

  Control::Service* service;
  TestClock* clock;
  uint64_t connectedAt = 0, disconnectedAt = 0;
  bool echo = false;
  int connects = 0, disconnects = 0;
  Strings messages;
};

// The controller's acceptor on an ephemeral port; time moves only when told.
struct Controller : Rig {
  Control::AcceptorNetCheckConnection service{0};
  Receiver receiver{&service, &clock};

  explicit Controller(bool activate = true) {
    service.service_name("server");
    service.Bind(&receiver);
    if (activate) {
      EXPECT_TRUE(service.Activate());
    }
  }
  Fd connect() {
    Fd c = connect_to(service.bound_port());
    int before = receiver.connects;
    EXPECT_TRUE(until([&] { return receiver.connects > before; }));
    return c;
  }
  // Lets the stream layer read what the client wrote.
  void absorb() {
    uint32_t reads = service.get_read_measure().counter();
    until([&] { return service.get_read_measure().counter() > reads; });
  }
};

TEST(ControlAcceptor, ControllerExchangesWholePayloads) {
  Controller c;
  Fd client = c.connect();
  EXPECT_TRUE(has(c.log.out(), "new connection from 127.0.0.1:"));
  EXPECT_EQ("127.0.0.1:" + std::to_string(local_port(client.get())), c.service.peer_name());

  // A frame split over three reads; then garbage and two frames in one write.
  send_all(client.get(), std::string("\x03\x00", 2));
  c.absorb();
  send_all(client.get(), std::string("\x00\x07" "AB", 4));
  c.absorb();
  EXPECT_TRUE(c.receiver.messages.empty());
  send_all(client.get(), "C");
  send_all(client.get(), "\x7f" + tpkt("one") + tpkt("three"));
  ASSERT_TRUE(c.until([&] { return c.receiver.messages.size() == 3; }));
  EXPECT_EQ((Strings{"ABC", "one", "three"}), c.receiver.messages);
  EXPECT_TRUE(has(c.log.log(), "(no name) bad TPKT packet start."));

  // Answers go back framed, also from inside OnMessage.
  EXPECT_TRUE(c.service.Send("xyz", 3));
  EXPECT_EQ(tpkt("xyz"), read_n(client.get(), 7));
  c.receiver.echo = true;
  send_all(client.get(), tpkt("echo"));
  ASSERT_TRUE(c.until([&] { return c.receiver.messages.size() == 4; }));
  EXPECT_EQ(tpkt("echo"), read_n(client.get(), 8));

  // A payload no frame can carry is refused and nothing reaches the wire.
  std::string huge(65532, 'h');
  EXPECT_FALSE(c.service.Send(huge.data(), static_cast<int>(huge.size())));
  EXPECT_TRUE(has(c.log.err(), "Control::Service::Send() refuse payload of 65532 octets, max 65531."));
}

TEST(ControlAcceptor, ClosedOrDroppedControllerAndItsReturn) {
  Controller c;
  Fd client = c.connect();
  client.close();
  ASSERT_TRUE(c.until([&] { return c.service.state() == State::Deactivating; }));
  EXPECT_EQ(0, c.receiver.disconnects);  // not from inside the read
  EXPECT_TRUE(has(c.log.err(), "control connection 127.0.0.1:"));
  c.log.clear();
  EXPECT_FALSE(c.service.Send("x", 1));  // silently while Deactivating
  c.loop.turn();
  EXPECT_EQ(1, c.receiver.disconnects);
  EXPECT_FALSE(c.service.Send("x", 1));
  EXPECT_EQ("Control::Service::Send() ignore Send request in Connecting state.\n", c.log.err());

  // Back again, then dropped as the heartbeat does: the controller sees the
  // close at once, every duplicate of its socket is gone, and it returns.
  Fd again = c.connect();
  int before = open_descriptors();
  c.service.Disconnect();
  EXPECT_TRUE(peer_closed(again.get()));
  EXPECT_EQ(before - 3, open_descriptors());  // stream layer, its event, the watched copy
  c.loop.turn();
  EXPECT_EQ(2, c.receiver.disconnects);
  Fd third = c.connect();
  EXPECT_EQ(3, c.receiver.connects);
}

TEST(ControlAcceptor, SecondControllerIsRefusedAndTheCheckDropsALeavingFirst) {
  Controller c;
  Fd first = c.connect();
  Fd second = connect_to(c.service.bound_port());
  ASSERT_TRUE(c.until([&] { return c.service.checking(); }));
  EXPECT_TRUE(peer_closed(second.get()));
  EXPECT_TRUE(has(c.log.err(), "refuse connection from 127.0.0.1:"));
  EXPECT_TRUE(has(c.log.err(), "CheckConnectionState CheckConnection\n"));
  // A healthy connection reads an open congestion state: checking ends.
  c.clock.advance(Control::AcceptorNetCheckConnection::CheckMs);
  c.loop.turn();
  EXPECT_FALSE(c.service.checking());
  EXPECT_TRUE(has(c.log.err(), "CheckConnectionState Idle\n"));

  // Once the client is in FIN_WAIT2 the daemon's side has left established.
  shutdown(first.get(), SHUT_WR);
  tcp_info info = {};
  for (int i = 0; i < 100000 && info.tcpi_state != TCP_FIN_WAIT2; ++i) {
    socklen_t len = sizeof info;
    getsockopt(first.get(), IPPROTO_TCP, TCP_INFO, &info, &len);
  }
  ASSERT_EQ(TCP_FIN_WAIT2, info.tcpi_state);
  c.clock.advance(Control::AcceptorNetCheckConnection::CheckMs);
  c.loop.turn();  // timers come before descriptors: the check sees it first
  EXPECT_TRUE(has(c.log.err(), "connection from " + c.service.peer_name() + " closed: tcp socket change state."));
  EXPECT_TRUE(peer_closed(first.get()));
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
  Control::Service* service;
  Event event;
  void OnEvent(int fd, short revents) {
    char c;
    if ((revents & POLLIN) && read(fd, &c, 1) == 1)
      service->Disconnect();
  }
};

TEST(ControlAcceptor, ConnectionArrivingDuringTearDownIsClosedAtOnce) {
  Controller c(false);
  // Attached before the acceptor's listening event, so serviced first in a turn.
  Dropper dropper{&c.service, {}};
  Pipe pipe;
  dropper.event.Bind("Dropper", &Dropper::OnEvent, &dropper);
  dropper.event.Schedule(pipe.rd, POLLIN);
  ASSERT_TRUE(c.service.Activate());
  Fd first = c.connect();
  Fd second = connect_to(c.service.bound_port());
  pollfd pending = {listening_socket(c.service.bound_port()), POLLIN, 0};
  ASSERT_EQ(1, poll(&pending, 1, 2000));
  ASSERT_EQ(1, write(pipe.wr.get(), "x", 1));
  c.loop.turn();  // the drop, then the accept while Deactivating
  EXPECT_EQ(State::Deactivating, c.service.state());
  EXPECT_TRUE(peer_closed(second.get()));
  EXPECT_TRUE(peer_closed(first.get()));
  c.loop.turn();
  EXPECT_EQ(1, c.receiver.disconnects);
  EXPECT_EQ(1, c.receiver.connects);
}

TEST(ControlAcceptor, BusyPortIsRetriedEveryFiveSeconds) {
  Rig r;
  Fd blocker = listener();
  unsigned short port = local_port(blocker.get());
  Control::AcceptorNet service(port);
  const std::string line = "can't bind to socket: \"Address already in use\"  waiting...\n";
  EXPECT_TRUE(service.Activate());
  r.clock.advance(Control::AcceptorNet::BindRetryMs - 1);
  r.loop.turn();
  EXPECT_EQ(line, r.log.err());
  r.clock.advance(1);
  r.loop.turn();
  EXPECT_EQ(line + line, r.log.err());
  blocker.close();
  r.clock.advance(Control::AcceptorNet::BindRetryMs);
  r.loop.turn();
  EXPECT_EQ(port, service.bound_port());
}

TEST(ControlConnector, ConnectsExchangesAndReconnectsAfterALoss) {
  Rig r(false, true);
  Fd agent = listener();
  Control::ConnectorNet service("127.0.0.1:" + std::to_string(local_port(agent.get())));
  Receiver receiver(&service, &r.clock);
  service.Bind(&receiver);
  ASSERT_TRUE(service.Activate());
  ASSERT_TRUE(r.until([&] { return receiver.connects == 1; }));
  EXPECT_TRUE(has(r.log.out() + r.log.log(), "connected to 127.0.0.1:"));
  Fd link(accept4(agent.get(), nullptr, nullptr, SOCK_CLOEXEC));
  send_all(link.get(), tpkt("report"));
  ASSERT_TRUE(r.until([&] { return receiver.messages.size() == 1; }));
  EXPECT_TRUE(service.Send("item", 4));
  EXPECT_EQ(tpkt("item"), read_n(link.get(), 8));

  // The agent goes away: the connector tries again 10000 ms later.
  link.close();
  ASSERT_TRUE(r.until([&] { return receiver.connects == 2; }));
  EXPECT_EQ(receiver.disconnectedAt + Control::ConnectorNet::ReconnectMs, receiver.connectedAt);
  Fd again(accept4(agent.get(), nullptr, nullptr, SOCK_CLOEXEC));
  service.Deactivate();  // closes the connection without a report
  EXPECT_TRUE(peer_closed(again.get()));
  r.loop.turn(3);
  EXPECT_EQ(1, receiver.disconnects);
}

TEST(ControlConnector, RetriesSevenTimesFastThenSlowWithoutLeaking) {
  Rig r;
  unsigned short port = closed_port();
  std::string address = "127.0.0.1:" + std::to_string(port);
  Control::ConnectorNet service("127.0.0.1", port);
  Receiver receiver(&service, &r.clock);
  service.Bind(&receiver);
  // Each failed attempt leaves one line naming the address: refused at once
  // ("can't connect to", 20000 ms) or through an error event (15000 ms).
  auto failures = [&] {
    size_t n = 0;
    for (size_t at = r.log.err().find(address); at != std::string::npos; at = r.log.err().find(address, at + 1))
      ++n;
    return n;
  };
  auto slowDelay = [&] {
    const std::string text = r.log.err();
    size_t last = text.rfind('\n', text.size() - 2);
    return text.compare(last == std::string::npos ? 0 : last + 1, 17, "can't connect to ") == 0
               ? Control::ConnectorNet::ConnectFailedMs
               : Control::ConnectorNet::ErrorEventMs;
  };
  int baseline = open_descriptors();
  ASSERT_TRUE(service.Activate());
  ASSERT_TRUE(r.until([&] { return failures() == 1; }));
  for (size_t attempt = 1; attempt < 10; ++attempt) {
    unsigned delay = attempt <= 7 ? Control::ConnectorNet::FastRetryMs : slowDelay();
    r.clock.advance(delay - 1);
    r.loop.turn();
    EXPECT_EQ(attempt, failures()) << "retried early, attempt " << attempt;
    r.clock.advance(1);
    ASSERT_TRUE(r.until([&] { return failures() == attempt + 1; })) << attempt;
    EXPECT_GE(baseline, open_descriptors()) << "attempt " << attempt;
  }
  EXPECT_EQ(State::Connecting, service.state());
}

}  // namespace
