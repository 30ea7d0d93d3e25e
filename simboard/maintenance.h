#pragma once
// "/dev/maintenance": the E1 framers' synchronisation status of the four
// trunks, the TCLK mask (which trunks take their transmit clock from the
// line) and the framers' clock source.
#include <array>
#include <cstdint>

#include "simboard/device.h"

namespace SimBoard {

class Maintenance : public Device {
public:
  static constexpr unsigned long Status = 0xc0504d03;        // 80-byte status record of one trunk
  static constexpr unsigned long SetTclk = 0xc0044d0b;       // the mask, by value
  static constexpr unsigned long SelectSource = 0xc0044d0a;  // the source number, by value
  static constexpr int Trunks = 4;
  // Bytes the driver puts in the parts of the record the daemon must not read.
  static constexpr uint8_t Filler = 0xee;

  // What a status request reports; state takes the trunk state numbers
  // (normal 0, lossBF 1, lossCarrier 2, ais 3, rai 4, unknown 5, disabled 6).
  struct TrunkStatus {
    uint32_t state = 0;
    uint32_t slips = 0;
    uint32_t lossBF = 0;
    uint32_t lossCarrier = 0;
    uint32_t lossAIS = 0;
    uint32_t lossRAI = 0;
  };

  Maintenance();

  TrunkStatus& status(int trunk) { return status_.at(trunk); }
  uint32_t tclk_mask() const { return tclkMask_; }
  int tclk_writes() const { return tclkWrites_; }
  int clock_source() const { return clockSource_; }  // -1 before any

private:
  std::array<TrunkStatus, Trunks> status_;
  uint32_t tclkMask_;
  int tclkWrites_;
  int clockSource_;
};

}  // namespace SimBoard
