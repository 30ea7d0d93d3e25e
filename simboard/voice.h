#pragma once
// "/dev/voice": the voice driver answers how many channels the board has
// for a codec (the codec number by value, the count as the result).
#include <cstdint>
#include <map>

#include "simboard/device.h"

namespace SimBoard {

class Voice : public Device {
public:
  static constexpr unsigned long Channels = 0x40045602;
  enum Codec : uint32_t { G711 = 1, G723 = 2, G729 = 4, G711Mcc = 8, Universal = 65 };

  // Starts with the counts of reset().
  Voice();

  // G.711 1024, G.723 256, G.729 256, G.711-MCC 64, universal 1024.
  void reset();

  // What the request answers for a codec; a negative count makes it fail
  // with that errno (-EIO: EIO). Other codec numbers fail with EINVAL.
  void set_channels(uint32_t codec, int count) { counts_[codec] = count; }

private:
  std::map<uint32_t, int> counts_;
};

}  // namespace SimBoard
