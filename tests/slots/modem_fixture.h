#pragma once
// A modem factory on an ephemeral relay port beside the control test rig:
// the controller over loopback TCP, the simulated board with two modems on
// time slots 192 and 193, and the programs under a private root that tests
// replace with scripts. Ext slots of the fake factory are the modems' peers.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "foundation/child_wait.h"
#include "foundation/paths.h"
#include "simboard/modem_control.h"
#include "slots/auth_client.h"
#include "slots/modem_factory.h"
#include "slots/modem_slot.h"
#include "tests/core/control_fixture.h"
#include "tests/foundation/temp_root.h"

namespace modem_test {

// Host-order words, as the authentication client writes them.
inline std::string words(std::initializer_list<uint32_t> values) {
  std::string bytes;
  for (uint32_t v : values)
    bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
  return bytes;
}

inline std::string authRequest(uint32_t session, const std::string& user, const std::string& password) {
  std::string record = words({140, 1, session});
  record += user.substr(0, 64) + std::string(64 - std::min<size_t>(user.size(), 64), '\0');
  record += password.substr(0, 64) + std::string(64 - std::min<size_t>(password.size(), 64), '\0');
  return record;
}

// The authentication client's end of a relay connection.
class AuthPeer {
public:
  explicit AuthPeer(unsigned short port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  bool connected() const { return connected_; }
  void send(const std::string& bytes) { ASSERT_EQ(::write(fd_.get(), bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  void shutdown() { ::shutdown(fd_.get(), SHUT_WR); }
  // What has arrived, without waiting; closed() once the daemon has closed.
  std::string take() {
    char buf[1024];
    pollfd p{fd_.get(), POLLIN, 0};
    while (::poll(&p, 1, 0) > 0) {
      ssize_t n = ::read(fd_.get(), buf, sizeof buf);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      received_.append(buf, size_t(n));
    }
    std::string out;
    out.swap(received_);
    return out;
  }
  bool closed() {
    received_ += take();
    return closed_;
  }

private:
  Fd fd_;
  bool connected_ = false;
  bool closed_ = false;
  std::string received_;
};

class ModemTest : public control_test::ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    // The loop clock moves only when a test moves it; idle turns wait a
    // little real time instead, for the children.
    clock.set_auto_advance(false);
    ChildWait::Activate();
    for (const char* dir : {"/usr/local/sbin", "/usr/local/bin", "/usr/local/etc/ppp"})
      mkdirs(root.path() + dir);
    modemDev().set_modems(2, 192);
    modemDev().clear_failures();
    modemDev().fail_open(0);
    modemDev().set_endless_enumeration(false);
    board.hdlc().remove("hdlc0");
    board.hdlc().remove("hdlc1");
    Paths::set_auth_relay_port(0);
    factory_ = std::make_unique<ModemFactory>();
    board.log().clear();
  }
  void TearDown() override {
    ControlTest::TearDown();  // the controller goes: every slot with it
    factory_.reset();
  }

  SimBoard::ModemControl& modemDev() { return board.modems(); }
  ModemFactory& modems() { return *factory_; }
  ModemSlot* modemSlot(unsigned n) { return dynamic_cast<ModemSlot*>(Slots::instance().slot(n)); }

  // A program under the root: a script that writes its argument vector,
  // one entry a line, to "<program>.args", then runs body.
  void program(const char* path, const std::string& body) {
    std::string file = root.path() + path;
    std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$0.tmp\"; mv \"$0.tmp\" \"$0.args\"\n" << body;
    chmod(file.c_str(), 0755);
  }
  // The argument vector the program was started with, once it has written it.
  std::vector<std::string> argsOf(const char* path) {
    std::string file = root.path() + path + ".args";
    struct stat st;
    until([&] { return stat(file.c_str(), &st) == 0; });
    std::vector<std::string> args;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
      args.push_back(line);
    return args;
  }

  // Creates a modem slot with params filled by fill, and an ext slot at
  // number+1 that the modem is connected to (which sets the modem up).
  template <class Fill>
  void createModem(int seq, int slot, Fill fill, bool connect = true) {
    ctl.command(seq, slot, [&](LGCP::Command& c) {
      TERM::ModemParams& p = c.select_create().select_modem();
      p.set_cid("5551234");
      p.set_cdid("100");
      fill(p);
    });
    if (!connect)
      return;
    create(seq + 100, slot + 1, 5, 8200);
    this->connect(seq + 200, slot, unsigned(slot + 1));
  }

  // Runs the loop until pred holds (up to about ten seconds of real time).
  template <class Pred>
  bool until(Pred pred) {
    return runner.until(pred, 500);
  }

  // Every message received once n have come, described; signals carry
  // their values: "slot=3 signal abort 512", "... modemProceeding auth u/p",
  // "... modemProceeding acct oo.high:low oi... po... pi... t...".
  std::vector<std::string> messages(size_t n) {
    until([&] { return ctl.poll() >= n; });
    std::vector<std::string> lines;
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      EXPECT_TRUE(testing_support::TestController::decode(payload, msg));
      lines.push_back(describe(msg));
    }
    ctl.payloads().clear();
    return lines;
  }

  // Runs until a message described as line has come (taking the messages
  // before it); false when none does.
  bool received(const std::string& line) {
    std::vector<std::string> seen;
    return until([&] {
      for (const std::string& l : messages(0))
        seen.push_back(l);
      return std::find(seen.begin(), seen.end(), line) != seen.end();
    });
  }

  static std::string describe(const LGCP::Message& msg) {
    std::string text = testing_support::TestController::describe(msg);
    if (!msg.get_pdu().is_signal())
      return text;
    const LGCP::Signal& s = msg.get_pdu().get_signal();
    if (s.is_abort())
      return text + " " + std::to_string(s.get_abort().getValue());
    if (!s.is_modemProceeding())
      return text;
    const TERM::ModemProceeding& p = s.get_modemProceeding();
    if (p.is_auth())
      return text + " auth " + p.get_auth().get_username().getValue() + "/" + p.get_auth().get_password().getValue();
    std::ostringstream acct;
    auto put = [&](const BASE::INTEGER64Bits& v) {
      acct << " " << v.get_high().getValue() << ":" << v.get_low().getValue();
    };
    const TERM::MdmAccounting& a = p.get_acct();
    put(a.get_octetsOut());
    put(a.get_octetsIn());
    put(a.get_packetsOut());
    put(a.get_packetsIn());
    put(a.get_time());
    return text + " acct" + acct.str();
  }

  static void mkdirs(const std::string& path) {
    for (size_t pos = 1; pos != std::string::npos; pos = path.find('/', pos + 1))
      mkdir(path.substr(0, pos).c_str(), 0755);
    mkdir(path.c_str(), 0755);
  }

  TempRoot root{"modem"};
  std::unique_ptr<ModemFactory> factory_;
};

}  // namespace modem_test
