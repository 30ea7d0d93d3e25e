#include "simboard/hal.h"

#include <cerrno>

namespace SimBoard {

namespace {
bool valid(int32_t channel) { return channel >= 0 && channel < Hal::Channels; }
}  // namespace

Hal::Hal() : Device("/dev/hal"), clockSource_(-1), spiPresent_(true), spi_{} {
  on(Connect, Arg::Pointer, [this](Request& r) {
    int32_t destination = r.i32(0), source = r.i32(4);
    if (!valid(destination) || !valid(source))
      return r.fail(EINVAL);
    Output& out = outputs_[destination];
    out.kind = Kind::Connected;
    out.source = source;
    return 0;
  });
  on(Disable, Arg::Pointer, [this](Request& r) {
    int32_t channel = r.i32(0);
    if (!valid(channel))
      return r.fail(EINVAL);
    Output& out = outputs_[channel];
    out.kind = Kind::Disabled;
    out.source = -1;
    ++out.disables;
    return 0;
  });
  on(Write, Arg::Pointer, [this](Request& r) {
    int32_t channel = r.i32(0);
    uint32_t byte = r.u32(4);
    if (!valid(channel) || byte > 255)
      return r.fail(EINVAL);
    Output& out = outputs_[channel];
    out.kind = Kind::Constant;
    out.source = -1;
    out.byte = static_cast<uint8_t>(byte);
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
}

Hal::Output Hal::output(int channel) const {
  auto out = outputs_.find(channel);
  return out == outputs_.end() ? Output() : out->second;
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
