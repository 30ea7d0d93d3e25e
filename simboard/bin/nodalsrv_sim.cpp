// The daemon against the simulated board. Every file the daemon reads or
// writes lies under one directory (NODALSRV_SIM_ROOT, or "nodalsrv-sim-root"
// in the working directory); the board's visible state is kept there too,
// in files that are only ever appended to (simboard/record_file.h; each
// with "<name>.old" before it once it has grown): "sim/switch" (the TDM
// switch outputs, after the requests that change them) and "sim/leds" (the
// framer LED byte, after the writes that change it) hold snapshots, each
// ended by an empty line, the last complete one the state; "sim/watchdog"
// holds what the watchdog received, a line for each write, and
// "sim/rtp_ext" the payloads written to the header-extension sessions,
// "<session> <hex bytes>" a line. A peer that binds a datagram socket at
// "sim/lines" is handed the lines of the HDLC channels switched to trunk
// time slots (simboard/line_offers.h). The board adds nothing to the
// daemon's loop.
// Lines written to "sim/control" change the board: "power <byte>" and
// "dip <byte>" set what "/dev/hal" reports, "trunk <0..3> <state 0..6>" an
// E1 trunk's state in its status record and its framer status file,
// "inject <device path> <hex bytes>" sends a record to every reader of the
// device (an event of a driver, such as a "/dev/rtp" session's; for
// "/dev/rtp_ext", the SSRC, the source address and the payload). The file
// is taken when the daemon next asks for the power, DIP or a trunk status
// (every second or two while it runs).
//
// The board has four DSP modems, the synchronous interfaces "hdlc0" and
// "hdlc1", two conference mixer units, and MCC channels without number;
// what an MCC channel sends reaches the channels the switch connects to
// it. Stand-ins for the PPP daemon, the fax programs and the T.38 program
// are written under the root unless files are there already: each notes
// its command line in "sim/programs"; the PPP daemon and the fax receiver
// run until hung up, the fax transfer ends at once reporting one page, the
// T.38 program counts 8 instances and appends what its channel brings to
// "sim/t38.in". Voice prompts go in "usr/local/voice". The modem
// authentication relay listens on NODALSRV_SIM_AUTH_PORT when it is set.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <limits.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "core/startup.h"
#include "foundation/paths.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "simboard/line_offers.h"
#include "simboard/maintenance.h"
#include "simboard/mcc.h"
#include "simboard/mixer.h"
#include "simboard/payload_log.h"
#include "simboard/record_file.h"
#include "simboard/rtp_ext.h"
#include "simboard/status_files.h"
#include "simboard/watchdog.h"

namespace {

void makeDirs(const std::string& path) {
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1))
    mkdir(path.substr(0, pos).c_str(), 0755);
  mkdir(path.c_str(), 0755);
}

void writeNew(const std::string& path, const std::string& text, mode_t mode) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    return;
  std::ofstream(path) << text;
  chmod(path.c_str(), mode);
}

// A shell stand-in that notes how it was started and then does what is given.
std::string standIn(const std::string& root, const char* name, const char* then) {
  return std::string("#!/bin/sh\necho \"") + name + " $*\" >> '" + root + "/sim/programs'\n" + then;
}

void writeStandIns(const std::string& root) {
  const char* untilHungUp = "trap 'exit 0' HUP TERM\nwhile :; do sleep 1 & wait $!; done\n";
  writeNew(root + Paths::kPppd, standIn(root, "pppd", untilHungUp), 0755);
  writeNew(root + Paths::kFaxTransfer, standIn(root, "fax", "exit 1\n"), 0755);
  writeNew(root + Paths::kFaxReceiver, standIn(root, "fax", untilHungUp), 0755);
  std::string t38 =
      "[ \"$1\" = --num-of-instances ] && { echo 8; exit 0; }\nexec cat >> '" + root + "/sim/t38.in'\n";
  writeNew(root + Paths::kT38Program, standIn(root, "t38", t38.c_str()), 0755);
  for (const char* options : {Paths::kPppAnswerOptions, Paths::kPppOriginateOptions, Paths::kPppInterfaceOptions})
    writeNew(root + options, "", 0644);
}

class PublishedBoard : public SimBoard::Board {
public:
  explicit PublishedBoard(const std::string& dir)
      : dir_(dir), lines_(dir + "/lines"), rtpExtSent_(dir + "/rtp_ext"), switchFile_(dir + "/switch", 256 * 1024),
        ledsFile_(dir + "/leds"), watchdogFile_(dir + "/watchdog"), seen_(0), streak_(0), watchdogSeen_(0) {
    publishSwitch();
    rtp_ext().on_sent([this](const SimBoard::RtpExtSession& s, const SimBoard::Bytes& payload) {
      int err = errno;
      rtpExtSent_.add(s.number(), payload);
      errno = err;
    });
  }

  // The requests that read what sim/control sets or change the LEDs take
  // the long way; the others (the switch refresh above all) cost a call and
  // a comparison more than the board's own.
  int ioctl(int fd, unsigned long request, void* arg) override {
    int rc = observed(request) ? observedIoctl(fd, request, arg) : Board::ioctl(fd, request, arg);
    switchRequested();
    return rc;
  }
  int ioctl_value(int fd, unsigned long request, unsigned long value) override {
    int rc = Board::ioctl_value(fd, request, value);
    switchRequested();
    return rc;
  }

  ssize_t write(int fd, const void* buf, size_t count) override {
    std::shared_ptr<SimBoard::OpenFile> file = find(fd);
    ssize_t rc = Board::write(fd, buf, count);
    if (!file || &file->device() != &watchdog())
      return rc;
    int err = errno;
    const std::deque<std::string>& records = watchdog().records();
    uint64_t fresh = watchdog().total() - watchdogSeen_;
    watchdogSeen_ = watchdog().total();
    for (size_t i = records.size() - std::min<uint64_t>(fresh, records.size()); i < records.size(); ++i)
      watchdogFile_.add(records[i] + '\n');
    errno = err;
    return rc;
  }

private:
  static bool observed(unsigned long request) {
    return request == SimBoard::Hal::PowerRead || request == SimBoard::Hal::DipRead ||
           request == SimBoard::Maintenance::Status || request == SimBoard::Hal::LedWrite;
  }

  [[gnu::noinline]] int observedIoctl(int fd, unsigned long request, void* arg) {
    if (request != SimBoard::Hal::LedWrite)
      takeControl();
    int rc = Board::ioctl(fd, request, arg);
    if (request == SimBoard::Hal::LedWrite) {
      int err = errno;
      save(ledsFile_, std::to_string(hal().leds()) + "\n", leds_);
      errno = err;
    }
    return rc;
  }

  // The switch map is written after each request that changes it, except
  // in a long run of changes (the sweep that disables every output when
  // the switch opens), which is written once at its end: at the first
  // request that changes nothing (the refresh follows within the turn).
  // A request that changes nothing after one that changed nothing (the
  // refresh, above all) costs a comparison.
  void switchRequested() {
    if (hal().changes() != seen_ || streak_ != 0)
      publishChanges();
  }

  [[gnu::noinline]] void publishChanges() {
    constexpr int LongRun = 16;
    uint64_t changes = hal().changes();
    bool changed = changes != seen_;
    int err = errno;
    seen_ = changes;
    if (changed ? ++streak_ <= LongRun : streak_ > LongRun)
      publishSwitch();
    if (!changed)
      streak_ = 0;
    lines_.check(*this);
    errno = err;
  }

  void takeControl() {
    std::string path = dir_ + "/control", taken = path + ".taken";
    if (rename(path.c_str(), taken.c_str()) != 0)
      return;
    std::ifstream in(taken);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string what;
      words >> what;
      if (what == "inject") {
        inject(words);
        continue;
      }
      unsigned a = 0, b = 0;
      words >> a >> b;
      if (what == "power")
        hal().set_power(static_cast<uint8_t>(a));
      else if (what == "dip")
        hal().set_dip(static_cast<uint8_t>(a));
      else if (what == "trunk" && a < SimBoard::Maintenance::Trunks) {
        maintenance().status(static_cast<int>(a)).state = b;
        SimBoard::StatusFiles::set_framer(static_cast<int>(a), SimBoard::StatusFiles::framer_for_state(b));
      } else if (!what.empty())
        std::cerr << "nodalsrv-sim: unknown control line: " << line << std::endl;
    }
    remove(taken.c_str());
  }

  void inject(std::istringstream& words) {
    std::string path, hex;
    words >> path;
    SimBoard::Bytes record;
    while (words >> hex)
      record.push_back(static_cast<uint8_t>(strtoul(hex.c_str(), nullptr, 16)));
    if (SimBoard::Device* target = device(path))
      target->inject(record);
    else
      std::cerr << "nodalsrv-sim: no device " << path << std::endl;
  }

  void publishSwitch() {
    std::ostringstream sw;
    for (const auto& entry : hal().outputs()) {
      const SimBoard::Hal::Output& o = entry.second;
      sw << entry.first << ' ';
      switch (o.kind) {
      case SimBoard::Hal::Kind::Connected: sw << "connected " << o.source; break;
      case SimBoard::Hal::Kind::Constant: sw << "constant " << static_cast<int>(o.byte); break;
      case SimBoard::Hal::Kind::Disabled: sw << "disabled"; break;
      case SimBoard::Hal::Kind::Untouched: sw << "untouched"; break;
      }
      sw << '\n';
    }
    save(switchFile_, sw.str(), switch_);
  }

  // Appends the snapshot when it differs from the last one.
  static void save(SimBoard::RecordFile& file, const std::string& text, std::string& last) {
    if (text == last)
      return;
    last = text;
    file.add_snapshot(text);
  }

  std::string dir_;
  SimBoard::LineOffers lines_;
  SimBoard::PayloadLog rtpExtSent_;
  SimBoard::RecordFile switchFile_, ledsFile_, watchdogFile_;
  std::string switch_, leds_;  // the last snapshots written
  uint64_t seen_;  // switch changes when last looked at
  int streak_;     // requests in a row that changed the switch
  uint64_t watchdogSeen_;  // watchdog records written to the file
};

}  // namespace

int main(int argc, char** argv) {
  const char* env = getenv("NODALSRV_SIM_ROOT");
  std::string root = env && *env ? env : "nodalsrv-sim-root";
  makeDirs(root);
  char full[PATH_MAX];
  if (!realpath(root.c_str(), full)) {
    std::cerr << "nodalsrv-sim: cannot use " << root << std::endl;
    return 1;
  }
  root = full;
  for (const char* dir : {"/usr/local/etc/ppp", "/usr/local/voice", "/usr/local/sbin", "/usr/local/bin", "/var/run",
                          "/var/log", "/var/monitoring", "/dev", "/sim"})
    makeDirs(root + dir);
  Paths::set_root(root);
  SimBoard::StatusFiles::write_defaults();
  writeStandIns(root);
  if (const char* port = getenv("NODALSRV_SIM_AUTH_PORT"))
    Paths::set_auth_relay_port(static_cast<unsigned short>(atoi(port)));
  // Each RTP slot holds a few descriptors and the board one more per open
  // device: let the table fill.
  rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  std::clog << "nodalsrv-sim: files under " << root << std::endl;
  // Static, so the board outlives the services that still talk to it
  // while the process exits.
  static PublishedBoard board(root + "/sim");
  board.log().set_capacity(0);  // the request log is for tests: none here
  // Two conference mixer units of 16 TDM channels (switch channels 1024
  // and 1152 up).
  board.mixer().add_unit(0, 16, 32);
  board.mixer().add_unit(1, 16, 32);
  // Frames a channel sends reach the channels connected to it in the switch.
  board.mcc().set_switch_routing(true);
  board.interfaces().add("hdlc0", 96);
  board.interfaces().add("hdlc1", 97);
  return nodalsrv_main(argc, argv);
}
