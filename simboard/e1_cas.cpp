#include "simboard/e1_cas.h"

#include <cerrno>

namespace SimBoard {

E1Cas::E1Cas() : Device("/dev/e1-cas"), open_{}, slots_{} {
  on(OpenTrunk, Arg::Value, [this](Request& r) {
    if (r.value() >= Trunks)
      return r.fail(EINVAL);
    open_[r.value()] = true;
    return 0;
  });
  on(CloseTrunk, Arg::Value, [this](Request& r) {
    if (r.value() >= Trunks || !open_[r.value()])
      return r.fail(EINVAL);
    open_[r.value()] = false;
    for (Slot& s : slots_[r.value()])
      s.enabled = false;
    return 0;
  });
  // Channel requests need a valid time slot of a trunk whose CAS is open.
  auto check = [this](Request& r) {
    uint32_t trunk = r.u32(0), ts = r.u32(4);
    if (trunk >= Trunks || ts >= Timeslots)
      return EINVAL;
    return open_[trunk] ? 0 : ENXIO;
  };
  on(Channel, Arg::Pointer, [this, check](Request& r) {
    if (int err = check(r))
      return r.fail(err);
    Slot& s = slots_[r.u32(0)][r.u32(4)];
    uint32_t flag = r.u32(12);
    if (flag > 1)
      return r.fail(EINVAL);
    s.enabled = flag == 0;
    if (s.enabled)
      s.tx = r.u8(9);
    return 0;
  });
  on(ReadChannel, Arg::Pointer, [this, check](Request& r) {
    if (int err = check(r))
      return r.fail(err);
    const Slot& s = slots_[r.u32(0)][r.u32(4)];
    r.put_u8(8, s.rx);
    r.put_u8(9, s.tx);
    return 0;
  });
}

size_t E1Cas::line_change(int trunk, int timeslot, uint8_t rx) {
  Slot& s = slots_.at(trunk).at(timeslot);
  s.rx = rx;
  return inject(record(trunk, timeslot, rx, s.tx));
}

Bytes E1Cas::record(uint32_t path, uint32_t timeslot, uint8_t rx, uint8_t tx) {
  return RecordBuilder().u32(path).u32(timeslot).u8(rx).u8(tx).zeros(2);
}

}  // namespace SimBoard
