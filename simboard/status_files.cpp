#include "simboard/status_files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "foundation/paths.h"

namespace SimBoard {
namespace StatusFiles {

void write(const std::string& path, const std::string& text) {
  std::string full = Paths::resolve(path);
  for (size_t slash = full.find('/', 1); slash != std::string::npos; slash = full.find('/', slash + 1))
    ::mkdir(full.substr(0, slash).c_str(), 0755);
  std::ofstream(full, std::ios::out | std::ios::trunc) << text;
}

void remove(const std::string& path) { std::remove(Paths::resolve(path).c_str()); }

std::string framer_text(const Framer& framer) {
  std::ostringstream text;
  text << "PEB22554 framer status\n"
       << "Current state           : " << framer.state << "\n"
       << "Loss of Signal          : " << (framer.signalLoss ? "yes" : "no") << "\n"
       << "Loss of Frame Alignment : " << (framer.frameLoss ? "yes" : "no") << "\n"
       << "Receive Slip Negative   : " << framer.negativeSlips << "\n"
       << "Receive Slip Positive   : " << framer.positiveSlips << "\n";
  return text.str();
}

Framer framer_for_state(uint32_t state) {
  static const char* const texts[] = {"Synchronized", "FAS Loss", "No Carrier", "AIS", "RAI"};
  Framer framer;
  framer.state = state < 5 ? texts[state] : "Unknown";
  framer.signalLoss = state == 2;
  framer.frameLoss = state == 1 || state == 2;
  return framer;
}

void set_framer(int k, const Framer& framer) {
  write(Paths::kFramerStatusDir + std::to_string(k), framer_text(framer));
}

void write_defaults() {
  write(Paths::kBuildVersion, "nodalsrv-sim build 1\n");
  write(Paths::kBootVersion, "boot 1.1.4 (simulated)\n");
  write(Paths::kFpgaVersion, "fpga 3.2\n");
  write(Paths::kBoardVersion, "simulated board rev B\n");
  write(Paths::kTemperature, "41 C\n");
  write(Paths::kVoiceDriverVersion, "voice 2.6.1 sim 2024-05-01\n");
  for (int k = 0; k < 4; ++k)
    set_framer(k, Framer());
}

}  // namespace StatusFiles
}  // namespace SimBoard
