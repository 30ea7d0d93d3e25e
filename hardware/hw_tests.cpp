#include "hardware/hw_tests.h"

#include <cstring>
#include <iomanip>
#include <iostream>
#include <unistd.h>

#include "foundation/ext.h"
#include "hardware/hw_mux.h"

namespace {

// A byte as two upper-case hexadecimal digits.
struct Hex2 {
  explicit Hex2(uint8_t b) : byte(b) {}
  uint8_t byte;
};
std::ostream& operator<<(std::ostream& out, Hex2 h) {
  std::ios::fmtflags flags = out.flags();
  char fill = out.fill('0');
  out << std::hex << std::uppercase << std::setw(2) << unsigned(h.byte);
  out.flags(flags);
  out.fill(fill);
  return out;
}

}  // namespace

HwTests* HwTests::instance() {
  static HwTests tests;
  return &tests;
}

HwTests::HwTests() : bus_(0), first_(0), end_(0), seed_(0), random_{}, randomState_{} {
  initstate_r(1, randomState_, sizeof randomState_, &random_);
}

void HwTests::PutHeader(std::ostream& out) const { out << "bus " << bus_ << ": "; }

void HwTests::Seed(uint32_t seed) { srandom_r(seed, &random_); }

uint8_t HwTests::NextByte() {
  int32_t value = 0;
  random_r(&random_, &value);
  return static_cast<uint8_t>(value & 0xff);
}

bool HwTests::OnCommand(const LGCP::Command& cmd) {
  if (!cmd.is_testBpc())
    return false;
  Test(cmd.get_testBpc());
  return true;
}

void HwTests::Test(const LGCP::BpcTestParams& params) {
  bus_ = params.get_bus().getValue();
  first_ = BusBase + BusSlots * bus_ + params.get_timeslot_start().getValue();
  end_ = first_ + params.get_timeslot_length().getValue();
  seed_ = static_cast<uint32_t>(params.get_seed().getValue());
  Seed(seed_);

  const LGCP::BpcTestMode& mode = params.get_mode();
  HwMux* mux = HwMux::instance();
  if (mode.is_read()) {
    if (Compare("test failed on channel ", " expected ", " read "))
      Success();
  } else if (mode.is_write()) {
    for (uint32_t channel = first_; channel < end_; ++channel)
      mux->Write(static_cast<int>(channel), NextByte());
    usleep(500);
    Seed(seed_);
    if (Compare("write failed on channel ", " write ", " written "))
      Success();
  } else if (mode.is_disconnect()) {
    for (uint32_t channel = first_; channel < end_; ++channel)
      mux->Disable(static_cast<int>(channel));
    usleep(250);
    Success();
  } else {
    Error(LGCP::ErrorCause::invalidParams);
  }
}

bool HwTests::Compare(const char* failed, const char* expected, const char* got) {
  HwMux* mux = HwMux::instance();
  for (uint32_t channel = first_; channel < end_; ++channel) {
    uint8_t want = NextByte();
    uint8_t read = mux->Read(static_cast<int>(channel));
    if (read != want) {
      std::cerr << ext::header(this) << failed << channel % BusSlots << expected << Hex2(want) << got << Hex2(read)
                << std::endl;
      Error(LGCP::ErrorCause::busError);
      return false;
    }
  }
  return true;
}
