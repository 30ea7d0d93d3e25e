#include "simboard/hal.h"

#include <cerrno>

namespace SimBoard {

namespace {
bool valid(int32_t channel) { return channel >= 0 && channel < Hal::Channels; }
}  // namespace

Hal::Hal()
    : Device("/dev/hal"), outputs_(Channels), changes_(0), clockSource_(-1), spiPresent_(true), spi_{}, dip_(0),
      power_(2), leds_(0), ledWrites_(0) {
  on(Connect, Arg::Pointer, [this](Request& r) {
    int32_t destination = r.i32(0), source = r.i32(4);
    if (!valid(destination) || !valid(source))
      return r.fail(EINVAL);
    set(destination, Kind::Connected, source, 0);
    return 0;
  });
  on(Disable, Arg::Pointer, [this](Request& r) {
    int32_t channel = r.i32(0);
    if (!valid(channel))
      return r.fail(EINVAL);
    set(channel, Kind::Disabled, -1, 0);
    ++outputs_[channel].disables;
    return 0;
  });
  on(Write, Arg::Pointer, [this](Request& r) {
    int32_t channel = r.i32(0);
    uint32_t byte = r.u32(4);
    if (!valid(channel) || byte > 255)
      return r.fail(EINVAL);
    set(channel, Kind::Constant, -1, static_cast<uint8_t>(byte));
    return 0;
  });
  on(Read, Arg::Pointer, [this](Request& r) {
    int32_t channel = r.i32(0);
    if (!valid(channel))
      return r.fail(EINVAL);
    r.put_u32(4, byte_on(channel));
    return 0;
  });
  on(ClockSelect, Arg::Pointer, [this](Request& r) {
    clockSource_ = r.i32(0);
    return 0;
  });
  auto spiCheck = [this](Request& r) {
    if (!spiPresent_)
      return ENODEV;
    return r.u8(0) < SpiChannels ? 0 : EINVAL;
  };
  on(SpiWrite, Arg::Pointer, [this, spiCheck](Request& r) {
    if (int err = spiCheck(r))
      return r.fail(err);
    spi_[r.u8(0)][r.u8(1)] = r.u8(2);
    return 0;
  });
  on(SpiRead, Arg::Pointer, [this, spiCheck](Request& r) {
    if (int err = spiCheck(r))
      return r.fail(err);
    return int(spi_[r.u8(0)][r.u8(1)]);
  });
  on(DipRead, Arg::Pointer, [this](Request& r) {
    r.put_u8(0, dip_);
    return 0;
  });
  on(PowerRead, Arg::Pointer, [this](Request& r) {
    r.put_u8(0, power_);
    return 0;
  });
  on(LedWrite, Arg::Pointer, [this](Request& r) {
    leds_ = r.u8(0);
    ++ledWrites_;
    return 0;
  });
}

void Hal::set(int32_t channel, Kind kind, int source, uint8_t byte) {
  Output& out = outputs_[channel];
  if (out.kind == kind && out.source == source && out.byte == byte)
    return;
  out.kind = kind;
  out.source = source;
  out.byte = byte;
  ++changes_;
}

Hal::Output Hal::output(int channel) const { return valid(channel) ? outputs_[channel] : Output(); }

std::map<int, Hal::Output> Hal::outputs() const {
  std::map<int, Output> set;
  for (int channel = 0; channel < Channels; ++channel)
    if (outputs_[channel].kind != Kind::Untouched)
      set.emplace_hint(set.end(), channel, outputs_[channel]);
  return set;
}

uint8_t Hal::byte_on(int channel) const {
  // Follows connections; a loop of connections reads idle.
  for (int hops = 0; hops < 16; ++hops) {
    auto in = inputs_.find(channel);
    if (in != inputs_.end())
      return in->second;
    Output out = output(channel);
    if (out.kind == Kind::Constant)
      return out.byte;
    if (out.kind != Kind::Connected)
      break;
    channel = out.source;
  }
  return 0xff;
}

void Hal::set_input(int channel, int byte) {
  if (byte < 0)
    inputs_.erase(channel);
  else
    inputs_[channel] = static_cast<uint8_t>(byte);
}

}  // namespace SimBoard
