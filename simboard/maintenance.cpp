#include "simboard/maintenance.h"

#include <cerrno>

namespace SimBoard {

Maintenance::Maintenance() : Device("/dev/maintenance"), status_{}, tclkMask_(0), tclkWrites_(0), clockSource_(-1) {
  on(Status, Arg::Pointer, [this](Request& r) {
    uint32_t trunk = r.u32(0);
    if (trunk >= Trunks)
      return r.fail(EINVAL);
    for (size_t at = 4; at < r.size(); ++at)
      r.put_u8(at, Filler);
    const TrunkStatus& s = status_[trunk];
    r.put_u32(36, s.slips);
    r.put_u32(40, s.lossBF);
    r.put_u32(44, s.lossCarrier);
    r.put_u32(48, s.lossAIS);
    r.put_u32(52, s.lossRAI);
    r.put_u32(76, s.state);
    return 0;
  });
  on(SetTclk, Arg::Value, [this](Request& r) {
    tclkMask_ = static_cast<uint32_t>(r.value());
    ++tclkWrites_;
    return 0;
  });
  on(SelectSource, Arg::Value, [this](Request& r) {
    clockSource_ = static_cast<int>(r.value());
    return 0;
  });
}

}  // namespace SimBoard
