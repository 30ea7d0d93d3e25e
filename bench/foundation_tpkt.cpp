// Round trips through the controller's connection path: a client writes a
// frame, one loop turn lets the daemon's side read it, hand the payload on
// and answer, and the client reads the answer. TpktEcho goes through the
// controller acceptor (socket stream layer + TPKT + receiver); PlainEcho is
// the ceiling: the same loop and socket with a bare read and write.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/control_net.h"
#include "foundation/event.h"
#include "foundation/multiplexer.h"

namespace {

int connect_client(unsigned short port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    abort();
  int on = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return s;
}

bool write_all(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// False when the connection ends first.
bool read_all(int fd, char* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = recv(fd, buf + got, n - got, 0);
    if (r <= 0)
      return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

// One round trip: the request written, one loop turn, the answer read
// back whole.
bool round_trip(int client, const std::string& request, std::string& answer) {
  if (!write_all(client, request))
    return false;
  multiplexer.run_turn();
  return read_all(client, &answer[0], answer.size());
}

std::string frame(size_t payload) {
  std::string f(payload + 4, 'p');
  f[0] = 3;
  f[1] = 0;
  f[2] = static_cast<char>((payload + 4) >> 8);
  f[3] = static_cast<char>(payload + 4);
  return f;
}

struct Echo : Control::Notify {
  Control::Service* service = nullptr;
  bool connected = false;
  unsigned long messages = 0;
  void OnConnect() override { connected = true; }
  void OnDisconnect() override { connected = false; }
  void OnMessage(char const* data, int length) override {
    ++messages;
    service->Send(data, length);
  }
};

void BM_TpktEcho(benchmark::State& state) {
  Control::AcceptorNet acceptor(0, false);
  Echo echo;
  echo.service = &acceptor;
  acceptor.Bind(&echo);
  acceptor.Activate();
  multiplexer.run_begin(false, true);
  int client = connect_client(acceptor.bound_port());
  for (int i = 0; i < 100 && !echo.connected; ++i)
    multiplexer.run_turn();
  if (!echo.connected)
    state.SkipWithError("not connected");
  std::string request = frame(static_cast<size_t>(state.range(0)));
  std::string answer(request.size(), '\0');
  for (auto _ : state)
    if (!round_trip(client, request, answer)) {
      state.SkipWithError("no echo");
      break;
    }
  if (!state.error_occurred() && (answer != request || echo.messages != static_cast<unsigned long>(state.iterations())))
    state.SkipWithError("echo differs");
  if (!state.error_occurred())
    state.SetItemsProcessed(state.iterations());
  close(client);
  acceptor.Deactivate();
  multiplexer.run_end();
}
BENCHMARK(BM_TpktEcho)->Arg(8)->Arg(200)->Arg(4000);

struct PlainEcho {
  Event event;
  char buf[65536];
  bool failed = false;  // a read or write went wrong
  void OnEvent(int fd, short revents) {
    if (!(revents & POLLIN))
      return;
    ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0 || send(fd, buf, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
      failed = true;
  }
};

void BM_PlainEcho(benchmark::State& state) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    abort();
  int client = connect_client(ntohs(a.sin_port));
  Fd server(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  int on = 1;
  setsockopt(server.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  PlainEcho echo;
  echo.event.Bind("PlainEcho", &PlainEcho::OnEvent, &echo);
  echo.event.Schedule(server, POLLIN);
  multiplexer.run_begin(false, true);
  std::string request = frame(static_cast<size_t>(state.range(0)));
  std::string answer(request.size(), '\0');
  for (auto _ : state)
    if (echo.failed || !round_trip(client, request, answer)) {
      state.SkipWithError("no echo");
      break;
    }
  if (!state.error_occurred() && (answer != request || echo.failed))
    state.SkipWithError("echo differs");
  if (!state.error_occurred())
    state.SetItemsProcessed(state.iterations());
  echo.event.Release();
  multiplexer.run_end();
  close(client);
  close(listener);
}
BENCHMARK(BM_PlainEcho)->Arg(8)->Arg(200)->Arg(4000);

}  // namespace

BENCHMARK_MAIN();
