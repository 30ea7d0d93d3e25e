#pragma once
// A modem factory on an ephemeral relay port beside the control test rig:
// the controller over loopback TCP, the simulated board with two modems on
// time slots 192 and 193, and the programs under a private root that tests
// replace with scripts. Tests set a modem up by calling its stream request
// (the controller's connect does so end to end).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "foundation/child_wait.h"
#include "foundation/paths.h"
#include "simboard/modem_control.h"
#include "slots/modem_factory.h"
#include "slots/modem_slot.h"
#include "tests/core/control_fixture.h"
#include "tests/foundation/temp_root.h"
#include "tests/foundation/transport_helpers.h"

namespace modem_test {

using Lines = std::vector<std::string>;

// Host-order words, as the authentication client writes them.
inline std::string words(std::initializer_list<uint32_t> values) {
  std::string bytes;
  for (uint32_t v : values)
    bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
  return bytes;
}

inline std::string authRequest(uint32_t session, const std::string& user, const std::string& password) {
  return words({140, 1, session}) + user + std::string(64 - user.size(), '\0') + password +
         std::string(64 - password.size(), '\0');
}

// A body that runs until the program is ended, and the traps for it: one
// that ends on SIGHUP, one that ignores it.
const char* const kRunsOn = "while :; do sleep 1 & wait $!; done\n";
const char* const kEndsOnHangUp = "trap 'exit 0' HUP\n";
const char* const kIgnoresHangUp = "trap '' HUP\n";

class ModemTest : public control_test::ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    // The loop clock moves only when a test moves it; idle turns wait a
    // little real time instead, for the children.
    clock.set_auto_advance(false);
    ChildWait::Activate();
    for (const char* dir : {"/usr/local/sbin", "/usr/local/bin", "/usr/local/etc/ppp"})
      std::filesystem::create_directories(root.path() + dir);
    modemDev().set_modems(2, 192);
    modemDev().clear_failures();
    modemDev().fail_open(0);
    modemDev().set_endless_enumeration(false);
    board.interfaces().remove("hdlc0");
    board.interfaces().remove("hdlc1");
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
  // A connection to the relay.
  Fd client() { return transport_test::connect_to(modems().auth_port()); }

  // A program under the root: a script that sets its traps, writes its
  // argument vector, one entry a line, to "<program>.args", then runs body.
  // Once the arguments are there, its traps are set: a test may signal it.
  void program(const char* path, const std::string& body, const std::string& traps = "") {
    std::string file = root.path() + path;
    std::ofstream(file) << "#!/bin/sh\n"
                        << traps << "printf '%s\\n' \"$0\" \"$@\" > \"$0.tmp\"; mv \"$0.tmp\" \"$0.args\"\n" << body;
    chmod(file.c_str(), 0755);
  }
  // The argument vector the program was started with, once it has written it.
  Lines argsOf(const char* path) {
    std::string file = root.path() + path + ".args";
    until([&] { return std::filesystem::exists(file); });
    Lines args;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
      args.push_back(line);
    return args;
  }

  // Creates a modem slot with params filled by fill.
  template <class Fill>
  void createModem(int seq, int slot, Fill fill) {
    ctl.command(seq, slot, [&](LGCP::Command& c) {
      TERM::ModemParams& p = c.select_create().select_modem();
      p.set_cid("5551234");
      fill(p);
    });
  }
  // Creates a modem slot and sets it up as a stream request would.
  template <class Fill>
  void startModem(int seq, int slot, Fill fill) {
    createModem(seq, slot, fill);
    messages(1);
    modemSlot(slot)->IOnOutputStream();
  }

  // Runs the loop until pred holds (up to about ten seconds of real time).
  template <class Pred>
  bool until(Pred pred) {
    return runner.until(pred, 500);
  }

  // Every message received once n have come, described with details;
  // modemProceeding signals carry theirs: "... auth u/p", "... acct" and
  // the five counters as high:low.
  Lines messages(size_t n) {
    until([&] { return ctl.poll() >= n; });
    Lines lines;
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      testing_support::TestController::decode(payload, msg);
      lines.push_back(testing_support::TestController::describe_details(msg));
      if (!msg.get_pdu().is_signal() || !msg.get_pdu().get_signal().is_modemProceeding())
        continue;
      const TERM::ModemProceeding& p = msg.get_pdu().get_signal().get_modemProceeding();
      if (p.is_auth()) {
        lines.back() += " auth " + p.get_auth().get_username().getValue() + "/" + p.get_auth().get_password().getValue();
        continue;
      }
      const TERM::MdmAccounting& a = p.get_acct();
      lines.back() += " acct";
      for (const BASE::INTEGER64Bits* v : {&a.get_octetsOut(), &a.get_octetsIn(), &a.get_packetsOut(),
                                           &a.get_packetsIn(), &a.get_time()})
        lines.back() += " " + std::to_string(v->get_high().getValue()) + ":" + std::to_string(v->get_low().getValue());
    }
    ctl.payloads().clear();
    return lines;
  }

  // Runs until a message described as line has come (taking the messages
  // before it); false when none does.
  bool received(const std::string& line) {
    Lines seen;
    return until([&] {
      for (const std::string& l : messages(0))
        seen.push_back(l);
      return std::find(seen.begin(), seen.end(), line) != seen.end();
    });
  }

  // The lines logged for children killed so far.
  Lines kills() {
    Lines lines;
    std::istringstream in(logs.err());
    for (std::string line; std::getline(in, line);)
      if (line.find("killing") != std::string::npos)
        lines.push_back(line);
    return lines;
  }

  TempRoot root{"modem"};
  std::unique_ptr<ModemFactory> factory_;
};

}  // namespace modem_test
