#include "simboard/dsp.h"

#include <cerrno>
#include <cstring>

namespace SimBoard {

namespace {
// Features each request may name.
constexpr uint32_t Configurable = Dsp::Vad | Dsp::Sd | Dsp::Delays | Dsp::RxGain | Dsp::ToneFilter;
constexpr uint32_t Switchable =
    Dsp::Vad | Dsp::Sd | Dsp::RxMute | Dsp::TxMute | Dsp::Bss | Dsp::Ng | Dsp::ToneFilter | Dsp::SelcalSh;
}  // namespace

Dsp::Dsp() : Device("/dev/dsp"), version_(1) {
  on(Configure, Arg::Pointer, [](Request& r) {
    uint32_t feature = r.u32(4);
    // One feature per configure request.
    if (!(feature & Configurable) || (feature & (feature - 1)))
      return r.fail(EINVAL);
    return 0;
  });
  on(Enable, Arg::Pointer, [this](Request& r) {
    uint32_t bits = r.u32(8);
    if (!bits || (bits & ~Switchable) || r.u32(4) == 0)
      return r.fail(EINVAL);
    Channel& ch = channels_[r.u32(0)];
    ch.features |= bits;
    ch.id = r.u32(4);
    return 0;
  });
  on(Disable, Arg::Pointer, [this](Request& r) {
    uint32_t bits = r.u32(8);
    if (!bits || (bits & ~Switchable))
      return r.fail(EINVAL);
    channels_[r.u32(0)].features &= ~bits;
    return 0;
  });
  on(Version, Arg::None, [this](Request&) { return version_; });
}

uint32_t Dsp::features(uint32_t timeslot) const {
  auto ch = channels_.find(timeslot);
  return ch == channels_.end() ? 0 : ch->second.features;
}

uint32_t Dsp::last_id(uint32_t timeslot) const {
  auto ch = channels_.find(timeslot);
  return ch == channels_.end() ? 0 : ch->second.id;
}

Bytes Dsp::event(uint32_t ts, uint32_t id, uint32_t type, uint32_t w12, uint32_t w16, uint32_t w20) {
  return words({ts, id, type, w12, w16, w20});
}

size_t Dsp::vad(uint32_t ts, uint32_t id, uint32_t mask, int32_t rx, int32_t tx) {
  return inject(event(ts, id, Vad, mask, static_cast<uint32_t>(rx), static_cast<uint32_t>(tx)));
}

size_t Dsp::sd(uint32_t ts, uint32_t id, int32_t rx) { return inject(event(ts, id, Sd, static_cast<uint32_t>(rx))); }

size_t Dsp::bss(uint32_t ts, uint32_t id, float score) {
  uint32_t bits;
  std::memcpy(&bits, &score, sizeof bits);
  return inject(event(ts, id, Bss, bits));
}

size_t Dsp::tone(uint32_t ts, uint32_t id, uint32_t tone, uint8_t present) {
  // The presence flag is the one byte at offset 16; the rest of its word is padding.
  Bytes record = event(ts, id, ToneFilter, tone);
  record[16] = present;
  return inject(record);
}

size_t Dsp::flags(uint32_t ts, uint32_t id, uint32_t flags, uint32_t mask) {
  return inject(event(ts, id, Flags, flags, mask));
}

}  // namespace SimBoard
