#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "monitoring/monitoring_data.h"
#include "tests/foundation/temp_root.h"
#include "tests/monitoring/tree.h"
#include "tests/support/log_capture.h"

namespace monitoring_test {
namespace {

std::string describe(const FramerDataHolder& f) {
  std::ostringstream out;
  out << f.state() << " c=" << f.connected() << " los=" << f.signal_loss() << " lfa=" << f.frame_alignment_loss()
      << " slips=" << f.negative_slips() << "/" << f.positive_slips();
  return out.str();
}

TEST(FramerDataHolder, DriverTextAndTrunkStates) {
  FramerDataHolder framer(1, "/proc/driver/hdlc/peb22554/0");
  const std::string twoStates =
      std::string("Current state           : AIS") + '\0' + "Current state           : RAI";
  struct Step {
    std::string text;  // empty: the trunk state instead
    ACP::TrunkState::NamedNumber state;
    bool changed;
    const char* after;
  } steps[] = {
      {"Current state           : Synchronized\nLoss of Signal          : no\n"
       "Loss of Frame Alignment : no\nReceive Slip Negative   : 3\nReceive Slip Positive   : -2\n",
       ACP::TrunkState::unknown, true, "Synchronized c=1 los=0 lfa=0 slips=3/-2"},
      {"Current state           : Synchronized\n", ACP::TrunkState::unknown, false,
       "Synchronized c=1 los=0 lfa=0 slips=3/-2"},
      // Any value other than exactly "yes" clears a flag; labels need their spaces.
      {"header\nLoss of Signal          : yes\nLoss of Frame Alignment : YES\nCurrent state : AIS\n",
       ACP::TrunkState::unknown, true, "Synchronized c=1 los=1 lfa=0 slips=3/-2"},
      {"Current state           : No Carrier", ACP::TrunkState::unknown, true, "No Carrier c=0 los=1 lfa=0 slips=3/-2"},
      // Text after a NUL byte is not read.
      {twoStates, ACP::TrunkState::unknown, true, "AIS c=1 los=1 lfa=0 slips=3/-2"},
      // Trunk states from the controller's signals; flags and slips stay.
      {"", ACP::TrunkState::lossCarrier, true, "No Carrier c=0 los=1 lfa=0 slips=3/-2"},
      {"", ACP::TrunkState::lossCarrier, false, "No Carrier c=0 los=1 lfa=0 slips=3/-2"},
      {"", ACP::TrunkState::lossBF, true, "FAS Loss c=1 los=1 lfa=0 slips=3/-2"},
      {"", ACP::TrunkState::disabled, true, "Unknown c=1 los=1 lfa=0 slips=3/-2"},
  };
  for (const Step& s : steps) {
    bool changed = s.text.empty() ? framer.setFramerStatus(ACP::TrunkState(s.state))
                                  : framer.setFramerStatus(std::vector<unsigned char>(s.text.begin(), s.text.end()));
    EXPECT_EQ(changed, s.changed) << s.after;
    EXPECT_EQ(describe(framer), s.after);
  }
}

// Every trunk state in turn, each giving its own text: the loss of carrier
// alone clears connected; disabled reads as the unknown state.
TEST(FramerDataHolder, EveryTrunkStateText) {
  FramerDataHolder framer(2, "/proc/driver/hdlc/peb22554/1");
  struct {
    ACP::TrunkState::NamedNumber state;
    const char* text;
    bool connected;
    bool changed;
  } states[] = {
      {ACP::TrunkState::normal, "Synchronized", true, true}, {ACP::TrunkState::lossBF, "FAS Loss", true, true},
      {ACP::TrunkState::lossCarrier, "No Carrier", false, true}, {ACP::TrunkState::ais, "AIS", true, true},
      {ACP::TrunkState::rai, "RAI", true, true},                 {ACP::TrunkState::unknown, "Unknown", true, true},
      {ACP::TrunkState::disabled, "Unknown", true, false},        {ACP::TrunkState::rai, "RAI", true, true},
      {ACP::TrunkState::normal, "Synchronized", true, true},
  };
  for (const auto& s : states) {
    EXPECT_EQ(framer.setFramerStatus(ACP::TrunkState(s.state)), s.changed) << s.state;
    EXPECT_EQ(framer.state(), s.text) << s.state;
    EXPECT_EQ(framer.connected(), s.connected) << s.state;
  }
}

TEST(NetIfDataHolder, RunningStateOverTheLastThreeSamples) {
  NetIfDataHolder netif(2, "eth0");
  const int samples[] = {1, 1, 0, 0, 1, 1};
  const int states[] = {0, 1, 1, 0, 0, 1};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(netif.setNetIfStatus(samples[i]), i == 0 || states[i] != states[i - 1]) << i;
    EXPECT_EQ(netif.state(), states[i]) << i;
    EXPECT_EQ(netif.oper_status(), states[i] == 1 ? 1 : 2);
    EXPECT_EQ(netif.admin_status(), states[i] == 1 ? 1 : 2);
  }
  // The loopback interface runs.
  NetIfDataHolder lo(1, "lo");
  lo.updateNetIf();
  lo.updateNetIf();
  EXPECT_EQ(lo.state(), 1);
}

// A daemon run as an ordinary user finds and samples the interfaces too.
TEST(NetIfDataHolder, FoundAndSampledWithoutPrivilege) {
  TempRoot root("netif");
  EXPECT_EXIT(
      {
        if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
          _exit(3);
        MonitoringDataHolder data;
        auto lo = std::find_if(data.interfaces().begin(), data.interfaces().end(),
                               [](const NetIfDataHolder& n) { return n.name() == "lo"; });
        if (lo == data.interfaces().end())
          _exit(1);
        lo->updateNetIf();
        lo->updateNetIf();
        _exit(lo->state() == 1 ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(MonitoringDataHolder, FileTreeAndChangeDetection) {
  TempRoot root("mondata");
  testing_support::LogCapture logs;
  mkdir((root.path() + "/var/monitoring").c_str(), 0755);
  std::ofstream(root.path() + "/var/monitoring/stale") << "x";
  {
    MonitoringDataHolder data;
    EXPECT_FALSE(exists("/var/monitoring/stale"));

    EXPECT_TRUE(data.setDipValue(0));  // the first reading always counts
    EXPECT_FALSE(data.setDipValue(0));
    EXPECT_TRUE(data.setConfigVersion(0x1a, 0xff));
    EXPECT_FALSE(data.setConfigVersion(0x1a, 0xff));

    // Another controller's address: its own directory and file, no "self".
    LGCP::DisplayParams display;
    LGCP::ControllerInfo& other = display.select_controller();
    other.mutable_host().set_iaddr("10.9.9.9");
    other.set_status(HSP::ControllerStatus::active);
    data.setDisplayStatus(display);
    EXPECT_EQ(readFile("/var/monitoring/controller/10.9.9.9/status"), "2");
    EXPECT_FALSE(exists("/var/monitoring/controller/self"));

    // Counters: one entry per owner (and owner id); no file without an id.
    LGCP::TermCounter& counter = display.select_termCounter();
    counter.set_owner(LGCP::TermCounterOwner::extBoard);
    data.setDisplayStatus(display);
    counter.set_owner(LGCP::TermCounterOwner::router);
    for (int cnt : {-1, 9}) {
      counter.set_cnt(cnt);
      data.setDisplayStatus(display);
    }
    ASSERT_EQ(data.term_counters().size(), 2u);
    EXPECT_EQ(data.term_counters().back().get_cnt().getValue(), 9);
    EXPECT_EQ(readFile("/var/monitoring/term_cnts/router"), "9");
    EXPECT_FALSE(exists("/var/monitoring/term_cnts/board"));

    // Settings merge by oid or by section, name and index.
    MON::SnmpSetCommands& settings = display.select_snmp_set();
    auto add = [&](const char* oid, int index, const char* value) {
      MON::SnmpSetCommand c;
      if (oid) {
        c.mutable_id().select_oid() = oid;
      } else {
        MON::IniName& name = c.mutable_id().select_name();
        name.set_section("net");
        name.set_name("mask");
        name.set_index(index);
      }
      c.set_value(value);
      settings.mutable_commands().push_back(c);
    };
    add("1.3.6.1", 0, "a");
    add(nullptr, 2, "b");
    add(nullptr, 3, "c");
    add("1.3.6.1", 0, "d");
    add(nullptr, 2, "e");
    data.setDisplayStatus(display);
    std::string values;
    for (const MON::SnmpSetCommand& c : data.snmp_settings().get_commands())
      values += c.get_value().getValue();
    EXPECT_EQ(values, "dec");
    EXPECT_EQ(readFile("/var/monitoring/net/2/mask"), "e");

    // A board or phone whose file cannot be created still joins its list;
    // a FIFO without a reader, which a plain open would wait for, is such
    // a file too.
    mkdir((root.path() + "/var/monitoring/board4").c_str(), 0755);
    mkdir((root.path() + "/var/monitoring/emphone6").c_str(), 0755);
    ASSERT_EQ(0, mkfifo((root.path() + "/var/monitoring/board6").c_str(), 0644));
    LGCP::BoardStatusParams& board = display.select_board().select_boardStatus();
    for (int position : {4, 5, 6}) {
      board.set_position(position);
      data.setDisplayStatus(display);
    }
    EXPECT_EQ(data.boards().size(), 3u);
    EXPECT_NE(logs.log().find("FAIL create temporary file </var/monitoring/board4> with code=21"), std::string::npos);
    EXPECT_NE(logs.log().find("FAIL create temporary file </var/monitoring/board6> with code=6"), std::string::npos);
    display.select_emPhone().select_phoneStatus().set_id(6);
    data.setDisplayStatus(display);
    EXPECT_EQ(data.phones().size(), 1u);

    // The controller went: its board files go and the boards are forgotten,
    // but only when the directory is there to be cleared.
    std::system(("mv " + root.path() + "/var/monitoring " + root.path() + "/var/away").c_str());
    data.ClearControllerFiles();
    EXPECT_EQ(data.boards().size(), 3u);
    std::system(("mv " + root.path() + "/var/away " + root.path() + "/var/monitoring").c_str());
    data.ClearControllerFiles();
    EXPECT_TRUE(data.boards().empty());
    EXPECT_FALSE(exists("/var/monitoring/board5"));
    EXPECT_FALSE(exists("/var/monitoring/board6"));
    EXPECT_TRUE(exists("/var/monitoring/emphone6"));
  }
  EXPECT_FALSE(exists("/var/monitoring/dip"));  // emptied at the end
}

// The cached values with a file: each change, and only a change, writes
// it; each part of the configuration version counts on its own.
TEST(MonitoringDataHolder, EveryChangeOfEachPartWritesItsFile) {
  TempRoot root("mondata");
  MonitoringDataHolder data;
  EXPECT_FALSE(data.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::unknown)));  // the initial value
  EXPECT_FALSE(exists("/var/monitoring/powerstatus"));
  struct {
    LGCP::POWERStatus::NamedNumber status;
    bool changed;
    const char* file;
  } powers[] = {{LGCP::POWERStatus::standby, true, "1"}, {LGCP::POWERStatus::main, true, "2"},
                {LGCP::POWERStatus::both, true, "3"},    {LGCP::POWERStatus::both, false, "3"},
                {LGCP::POWERStatus::unknown, true, "0"}};
  for (const auto& p : powers) {
    EXPECT_EQ(data.setPowerStatus(LGCP::POWERStatus(p.status)), p.changed) << p.status;
    EXPECT_EQ(readFile("/var/monitoring/powerstatus"), p.file) << p.status;
  }
  struct {
    int dip;
    bool changed;
    const char* file;
  } dips[] = {{255, true, "255"}, {255, false, "255"}, {0, true, "0"}, {7, true, "7"}};
  for (const auto& d : dips) {
    EXPECT_EQ(data.setDipValue(d.dip), d.changed) << d.dip;
    EXPECT_EQ(readFile("/var/monitoring/dip"), d.file) << d.dip;
  }
  struct {
    unsigned long first;
    unsigned long long second;
    bool changed;
    const char* file;
  } versions[] = {
      {0x1a, 0xff, true, "0000001a-00000000000000ff"},  {0x1a, 0xff, false, "0000001a-00000000000000ff"},
      {0x1a, 0x100, true, "0000001a-0000000000000100"}, {0x1b, 0x100, true, "0000001b-0000000000000100"},
      {0x1b, 0x100, false, "0000001b-0000000000000100"},
      {0xffffffff, ~0ull, true, "ffffffff-ffffffffffffffff"},  // back to the initial value is a change too
      {0, ~0ull, true, "00000000-ffffffffffffffff"},
  };
  for (const auto& v : versions) {
    EXPECT_EQ(data.setConfigVersion(v.first, v.second), v.changed) << v.file;
    EXPECT_EQ(readFile("/var/monitoring/config_version"), v.file);
    EXPECT_EQ(data.config_first(), static_cast<uint32_t>(v.first));
  }
}

// Every address's status has its file; the result tells the monitoring
// service only of a change of the board's own address.
TEST(MonitoringDataHolder, ControllerStatusResultOnlyForTheOwnAddress) {
  TempRoot root("mondata");
  MonitoringDataHolder data;
  const std::string own = DottedAddress(data.own_address());
  const std::string other = "192.0.2.7";  // never a board's own: not a private address
  struct {
    const std::string& address;
    HSP::ControllerStatus::NamedNumber status;
    bool result;
  } steps[] = {
      {other, HSP::ControllerStatus::ok, false},      // new, not own
      {own, HSP::ControllerStatus::active, true},     // new, own
      {own, HSP::ControllerStatus::active, false},    // unchanged
      {other, HSP::ControllerStatus::standby, false}, // changed, not own
      {other, HSP::ControllerStatus::standby, false},
      {own, HSP::ControllerStatus::notrun, true},     // changed, own
  };
  for (const auto& s : steps) {
    LGCP::ControllerInfo info;
    info.mutable_host().set_iaddr(s.address);
    info.set_status(s.status);
    EXPECT_EQ(data.setControllerStatus(info), s.result) << s.address << " " << s.status;
    EXPECT_EQ(readFile("/var/monitoring/controller/" + s.address + "/status"), std::to_string(s.status));
  }
  EXPECT_EQ(data.own_controller_status().getValue(), HSP::ControllerStatus::notrun);
  EXPECT_EQ(readFile("/var/monitoring/controller/self/status"), "5");
}

}  // namespace
}  // namespace monitoring_test
