#pragma once
// The text files that the board's firmware and drivers provide beside the
// character devices: the version files, the temperature sensor, the voice
// driver's version and the E1 framers' status files. They are plain files
// under the path root (foundation/paths.h), written here as the board
// would show them.
#include <cstdint>
#include <string>

namespace SimBoard {
namespace StatusFiles {

// What a framer's status file shows.
struct Framer {
  std::string state = "Synchronized";
  bool signalLoss = false;
  bool frameLoss = false;
  int negativeSlips = 0;
  int positiveSlips = 0;
};

// Writes a file under the root, creating its directories.
void write(const std::string& path, const std::string& text);
// Removes a file under the root.
void remove(const std::string& path);

// The driver's status text of a framer, and what it shows for a trunk state
// (the numbers of the E1 status records: 0 normal .. 6 disabled).
std::string framer_text(const Framer& framer);
Framer framer_for_state(uint32_t state);
// Framer k (0..3): "/proc/driver/hdlc/peb22554/" + k.
void set_framer(int k, const Framer& framer);

// Every file with a plausible content, the four framers synchronised.
void write_defaults();

}  // namespace StatusFiles
}  // namespace SimBoard
