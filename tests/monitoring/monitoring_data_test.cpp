#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "foundation/paths.h"
#include "monitoring/monitoring_data.h"
#include "tests/foundation/temp_root.h"
#include "tests/monitoring/tree.h"
#include "tests/support/log_capture.h"

namespace monitoring_test {
namespace {

std::vector<unsigned char> bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

std::string describe(const FramerDataHolder& f) {
  std::ostringstream out;
  out << f.state() << " c=" << f.connected() << " los=" << f.signal_loss() << " lfa=" << f.frame_alignment_loss()
      << " slips=" << f.negative_slips() << "/" << f.positive_slips();
  return out.str();
}

TEST(FramerDataHolder, DriverTextAndTrunkStates) {
  FramerDataHolder framer(1, "/proc/driver/hdlc/peb22554/0");
  EXPECT_EQ(describe(framer), "absent c=0 los=1 lfa=1 slips=0/0");
  const std::string carrierLoss = "Current state           : No Carrier";
  const std::string twoStates =
      std::string("Current state           : AIS") + '\0' + "Current state           : RAI";
  struct Step {
    std::string text;
    bool changed;
    const char* after;
  } steps[] = {
      {"Current state           : Synchronized\nLoss of Signal          : no\n"
       "Loss of Frame Alignment : no\nReceive Slip Negative   : 3\nReceive Slip Positive   : -2\n",
       true, "Synchronized c=1 los=0 lfa=0 slips=3/-2"},
      {"Current state           : Synchronized\nLoss of Signal          : no\n", false,
       "Synchronized c=1 los=0 lfa=0 slips=3/-2"},
      // Any value other than exactly "yes" clears a flag; labels need their spaces.
      {"header\nLoss of Signal          : yes\nLoss of Frame Alignment : YES\nCurrent state : AIS\n", true,
       "Synchronized c=1 los=1 lfa=0 slips=3/-2"},
      {carrierLoss, true, "No Carrier c=0 los=1 lfa=0 slips=3/-2"},
      // Text after a NUL byte is not read.
      {twoStates, true, "AIS c=1 los=1 lfa=0 slips=3/-2"},
      {twoStates, false, "AIS c=1 los=1 lfa=0 slips=3/-2"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(framer.setFramerStatus(bytes(s.text)), s.changed) << s.text;
    EXPECT_EQ(describe(framer), s.after) << s.text;
  }

  // Trunk states from the controller's signals; flags and slips stay.
  struct State {
    ACP::TrunkState::NamedNumber state;
    bool changed;
    const char* after;
  } states[] = {
      {ACP::TrunkState::lossCarrier, true, "No Carrier c=0 los=1 lfa=0 slips=3/-2"},
      {ACP::TrunkState::lossCarrier, false, "No Carrier c=0 los=1 lfa=0 slips=3/-2"},
      {ACP::TrunkState::lossBF, true, "FAS Loss c=1 los=1 lfa=0 slips=3/-2"},
      {ACP::TrunkState::disabled, true, "Unknown c=1 los=1 lfa=0 slips=3/-2"},
      {ACP::TrunkState::unknown, false, "Unknown c=1 los=1 lfa=0 slips=3/-2"},
  };
  for (const State& s : states) {
    EXPECT_EQ(framer.setFramerStatus(ACP::TrunkState(s.state)), s.changed) << s.state;
    EXPECT_EQ(describe(framer), s.after) << s.state;
  }
}

TEST(NetIfDataHolder, RunningStateOverTheLastThreeSamples) {
  struct Case {
    std::vector<int> samples;
    std::vector<int> states;   // after each sample
    std::vector<bool> changes;
  } cases[] = {
      {{1, 0, 1}, {0, 0, 1}, {true, false, true}},
      {{1, 0, 0}, {0, 0, 0}, {true, false, false}},
      {{1, 1, 0, 0, 1, 1}, {0, 1, 1, 0, 0, 1}, {true, true, false, true, false, true}},
  };
  for (const Case& c : cases) {
    NetIfDataHolder netif(2, "eth0");
    EXPECT_EQ(netif.state(), -1);
    for (size_t i = 0; i < c.samples.size(); ++i) {
      EXPECT_EQ(netif.setNetIfStatus(c.samples[i]), c.changes[i]) << i;
      EXPECT_EQ(netif.state(), c.states[i]) << i;
      EXPECT_EQ(netif.oper_status(), c.states[i] == 1 ? 1 : 2);
      EXPECT_EQ(netif.admin_status(), netif.oper_status());
    }
  }
  // The loopback interface runs.
  NetIfDataHolder lo(1, "lo");
  EXPECT_TRUE(lo.updateNetIf());
  EXPECT_TRUE(lo.updateNetIf());
  EXPECT_EQ(lo.state(), 1);
}

TEST(MonitoringDataHolder, FileTreeAndChangeDetection) {
  TempRoot root("mondata");
  testing_support::LogCapture logs;
  mkdir((root.path() + "/var/monitoring").c_str(), 0755);
  std::ofstream(root.path() + "/var/monitoring/stale") << "x";
  {
    MonitoringDataHolder data;
    EXPECT_FALSE(exists("/var/monitoring/stale"));
    EXPECT_TRUE(exists("/var/monitoring/term_cnts/"));

    EXPECT_TRUE(data.setDipValue(0));  // the first reading always counts
    EXPECT_FALSE(data.setDipValue(0));
    EXPECT_EQ(readFile("/var/monitoring/dip"), "0");
    EXPECT_FALSE(data.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::unknown)));
    EXPECT_FALSE(exists("/var/monitoring/powerstatus"));
    EXPECT_TRUE(data.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::main)));
    EXPECT_TRUE(data.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::both)));
    EXPECT_EQ(readFile("/var/monitoring/powerstatus"), "3");
    EXPECT_TRUE(data.setConfigVersion(0x1a, 0xff));
    EXPECT_FALSE(data.setConfigVersion(0x1a, 0xff));
    EXPECT_EQ(readFile("/var/monitoring/config_version"), "0000001a-00000000000000ff");
    EXPECT_TRUE(data.setTemperature("41"));
    EXPECT_FALSE(data.setTemperature("41"));
    EXPECT_TRUE(data.setTemperature(std::string("41\0", 3)));

    // Another controller's address: its own directory and file, no "self".
    LGCP::ControllerInfo other;
    other.mutable_host().set_iaddr("10.9.9.9");
    other.set_status(HSP::ControllerStatus::active);
    EXPECT_FALSE(data.setControllerStatus(other));
    EXPECT_EQ(readFile("/var/monitoring/controller/10.9.9.9/status"), "2");
    EXPECT_FALSE(exists("/var/monitoring/controller/self"));

    // Counters: one entry per owner (and owner id); no file without an id.
    LGCP::DisplayParams display;
    LGCP::TermCounter& counter = display.select_termCounter();
    counter.set_owner(LGCP::TermCounterOwner::extBoard);
    counter.set_cnt(4);
    data.setDisplayStatus(display);
    counter.set_owner(LGCP::TermCounterOwner::router);
    counter.set_cnt(-1);
    data.setDisplayStatus(display);
    counter.set_cnt(9);
    data.setDisplayStatus(display);
    ASSERT_EQ(data.term_counters().size(), 2u);
    EXPECT_EQ(data.term_counters().back().get_cnt().getValue(), 9);
    EXPECT_EQ(readFile("/var/monitoring/term_cnts/router"), "9");
    EXPECT_FALSE(exists("/var/monitoring/term_cnts/board"));

    // Settings merge by oid or by section, name and index.
    MON::SnmpSetCommands& settings = display.select_snmp_set();
    auto add = [&](int uniq, const char* oid, const char* section, int index, const char* value) {
      MON::SnmpSetCommand c;
      c.set_uniq(uniq);
      if (oid) {
        c.mutable_id().select_oid() = oid;
      } else {
        MON::IniName& name = c.mutable_id().select_name();
        name.set_section(section);
        name.set_name("mask");
        name.set_index(index);
      }
      c.set_value(value);
      settings.mutable_commands().push_back(c);
    };
    add(1, "1.3.6.1", nullptr, 0, "a");
    add(2, nullptr, "net", 2, "b");
    add(3, nullptr, "net", 3, "c");
    add(4, "1.3.6.1", nullptr, 0, "d");
    add(5, nullptr, "net", 2, "e");
    data.setDisplayStatus(display);
    ASSERT_EQ(data.snmp_settings().get_commands().size(), 3u);
    EXPECT_EQ(data.snmp_settings().get_commands()[0].get_value().getValue(), "d");
    EXPECT_EQ(data.snmp_settings().get_commands()[1].get_value().getValue(), "e");
    EXPECT_EQ(readFile("/var/monitoring/net/2/mask"), "e");
    EXPECT_EQ(readFile("/var/monitoring/net/3/mask"), "c");

    // A board whose file cannot be created still joins the list.
    mkdir((root.path() + "/var/monitoring/board4").c_str(), 0755);
    LGCP::BoardStatusParams& board = display.select_board().select_boardStatus();
    board.set_position(4);
    data.setDisplayStatus(display);
    board.set_position(5);
    data.setDisplayStatus(display);
    EXPECT_EQ(data.boards().size(), 2u);
    EXPECT_NE(logs.log().find("FAIL create temporary file </var/monitoring/board4> with code=21"), std::string::npos);
    LGCP::EmPhoneStatusParams& phone = display.select_emPhone().select_phoneStatus();
    phone.set_id(6);
    mkdir((root.path() + "/var/monitoring/emphone6").c_str(), 0755);
    data.setDisplayStatus(display);
    EXPECT_EQ(data.phones().size(), 1u);
  }
  EXPECT_FALSE(exists("/var/monitoring/dip"));  // emptied at the end
  EXPECT_FALSE(exists("/var/monitoring/emphone6"));
}

}  // namespace
}  // namespace monitoring_test
