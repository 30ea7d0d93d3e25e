#pragma once
// Every absolute file-system path the daemon uses, in one place. The daemon
// opens them through resolve(), which prefixes a root directory; the root is
// empty in the daemon and is set only by tests and the simulated board, so
// that they can run the daemon's code against a private directory tree.
// Board character devices are not listed here: they go through the device
// I/O layer.
#include <string>

namespace Paths {

// Configuration.
constexpr const char* kConfigFile = "/usr/local/etc/server.conf";
constexpr const char* kConfigDir = "/usr/local/etc/";

// Run-time state and logging.
constexpr const char* kRunDir = "/var/run/";           // + name + ".pid"
constexpr const char* kPidSuffix = ".pid";
constexpr const char* kStatusFile = "/var/log/server-status";
constexpr const char* kSyslogSocket = "/dev/log";
constexpr const char* kConsole = "/dev/console";

// Process table.
constexpr const char* kProcDir = "/proc";
constexpr const char* kProcStatFormat = "/proc/%d/stat";

// Board and software versions, sensors.
constexpr const char* kBuildVersion = "/var/version";
constexpr const char* kBootVersion = "/var/u-boot-version";
constexpr const char* kFpgaVersion = "/var/fpga-version";
constexpr const char* kBoardVersion = "/var/board-version";
constexpr const char* kTemperature = "/proc/temperature";
constexpr const char* kVoiceDriverVersion = "/proc/voice/version";
constexpr const char* kFramerStatusDir = "/proc/driver/hdlc/peb22554/";  // + framer index

// Monitoring file tree.
constexpr const char* kMonitoringDir = "/var/monitoring/";
constexpr const char* kMonDip = "/var/monitoring/dip";
constexpr const char* kMonPowerStatus = "/var/monitoring/powerstatus";
constexpr const char* kMonConfigVersion = "/var/monitoring/config_version";
constexpr const char* kMonBoard = "/var/monitoring/board";      // + position
constexpr const char* kMonEmPhone = "/var/monitoring/emphone";  // + id
constexpr const char* kMonTermCountsDir = "/var/monitoring/term_cnts/";
constexpr const char* kMonTermCountsRouter = "/var/monitoring/term_cnts/router";
constexpr const char* kMonTermCountsController = "/var/monitoring/term_cnts/controller";
constexpr const char* kMonTermCountsServer = "/var/monitoring/term_cnts/server";
constexpr const char* kMonTermCountsBoard = "/var/monitoring/term_cnts/board";  // + ownerId
constexpr const char* kMonControllerDir = "/var/monitoring/controller/";  // + address + "/status"
constexpr const char* kMonControllerSelf = "/var/monitoring/controller/self";

// Programs and their files.
constexpr const char* kPppd = "/usr/local/sbin/pppd";
constexpr const char* kPppAnswerOptions = "/usr/local/etc/ppp/aoptions";
constexpr const char* kPppOriginateOptions = "/usr/local/etc/ppp/coptions";
constexpr const char* kPppInterfaceOptions = "/usr/local/etc/ppp/ioptions";
constexpr const char* kT38Program = "/usr/local/sbin/t38";
constexpr const char* kFaxTransfer = "/usr/local/sbin/fax";
constexpr const char* kFaxReceiver = "/usr/local/bin/fax";
constexpr const char* kFaxFileFormat = "/var/fax-%H-%M-%S.g3";  // strftime format
constexpr const char* kVoiceDir = "/usr/local/voice/";           // + phrase name

// The loopback TCP port of the modem authentication relay: 52000 in the
// daemon; tests and the simulated board move it (0 takes an ephemeral port).
constexpr unsigned short kAuthRelayPort = 52000;
unsigned short auth_relay_port();
void set_auth_relay_port(unsigned short port);

// The path as the process must open it: the root followed by the path.
std::string resolve(const std::string& path);

// The root that resolve() prefixes ("" by default). Only tests and the
// simulated board set it.
const std::string& root();
void set_root(const std::string& dir);

}  // namespace Paths
