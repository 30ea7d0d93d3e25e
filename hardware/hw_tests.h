#pragma once
// The TDM bus test on the controller's `testBpc` command: writes, reads
// back or disables a run of time slots of one bus through the TDM switch,
// with a byte pattern given by a seed. The pattern is the low byte of each
// value of the C library's random() after srandom(seed); the generator
// state is the service's own, so other users of random() neither disturb
// the pattern nor are disturbed by it.
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "core/ctrl_service.h"

class HwTests : public CtrlSrv::Service {
public:
  // Switch outputs of the TDM buses: 8192 + 128 * bus + time slot.
  static constexpr uint32_t BusBase = 8192;
  static constexpr uint32_t BusSlots = 128;

  static HwTests* instance();

  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command& cmd) override;
  void PutHeader(std::ostream& out) const;

  // The pattern generator.
  void Seed(uint32_t seed);
  uint8_t NextByte();

  uint32_t first_channel() const { return first_; }
  uint32_t end_channel() const { return end_; }

private:
  HwTests();

  // Reads the run back against the pattern; false (after the log line) on
  // the first difference.
  bool Compare(const char* failed, const char* expected, const char* got);
  void Test(const LGCP::BpcTestParams& params);

  uint32_t bus_;
  uint32_t first_;
  uint32_t end_;
  uint32_t seed_;
  random_data random_;
  char randomState_[128];  // the size of the default generator's state
};
