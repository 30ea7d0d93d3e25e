#include "simboard/dtmf.h"

#include <cerrno>

#include "foundation/mux_time.h"

namespace SimBoard {

Dtmf::Dtmf() : Device("/dev/dtmf") {
  on(ConfigureDetector, Arg::Pointer, [](Request&) { return 0; });
  on(EnableDetector, Arg::Pointer, [this](Request& r) {
    if (r.u32(4) == 0)
      return r.fail(EINVAL);
    Channel& ch = channels_[r.u32(0)];
    ch.dtmf = true;
    ch.id = r.u32(4);
    return 0;
  });
  on(DisableDetector, Arg::Value, [this](Request& r) {
    channels_[static_cast<uint32_t>(r.value())].dtmf = false;
    return 0;
  });
  on(Dial, Arg::Pointer, [this](Request& r) {
    Tone tone{Mux::milliseconds(), r.u16(4), r.u16(6), r.u16(8), r.u16(10)};
    channels_[r.u32(0)].tones.push_back(tone);
    return 0;
  });
  by_value(LmsOn, &Channel::lms, true);
  by_value(LmsOff, &Channel::lms, false);
  by_value(RejectOn, &Channel::reject, true);
  by_value(RejectOff, &Channel::reject, false);
  by_value(IvaOn, &Channel::iva, true);
  by_value(IvaOff, &Channel::iva, false);
  on(IvaConfigure, Arg::Pointer, [](Request&) { return 0; });
  on(SelcalDial, Arg::Pointer, [this](Request& r) {
    std::string signs;
    for (size_t at = 6; at < 10; ++at)
      signs += static_cast<char>(r.u8(at));
    channels_[r.u32(0)].selcals.push_back(signs);
    return 0;
  });
}

void Dtmf::by_value(unsigned long request, bool Channel::*flag, bool on) {
  this->on(request, Arg::Value, [this, flag, on](Request& r) {
    channels_[static_cast<uint32_t>(r.value())].*flag = on;
    return 0;
  });
}

Bytes Dtmf::record(uint32_t code, uint32_t ts, uint32_t timestamp, uint32_t id) {
  return words({code, ts, timestamp, id});
}

size_t Dtmf::event(uint32_t code, uint32_t ts, uint32_t timestamp, uint32_t id) {
  return inject(record(code, ts, timestamp, id));
}

}  // namespace SimBoard
