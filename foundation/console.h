#pragma once
// Terminal modes of standard input, and a short local time stamp.
#include <ostream>

namespace Console {

// Non-canonical input without echo (signals stay on).
void SwitchToBinaryMode();
// Standard input non-blocking.
void SwitchToNonBlockMode();

}  // namespace Console

// Writes the local time as "%d/%m %H:%M:%S"; nothing when it is unavailable.
std::ostream& timestamp(std::ostream& out);
