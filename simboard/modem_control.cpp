#include "simboard/modem_control.h"

#include <cerrno>

namespace SimBoard {

namespace {
constexpr size_t PairSize = 8;   // {modem, value}
constexpr size_t ParamSize = 12; // {modem, offset, value}
}  // namespace

ModemControl::ModemControl() : Device("/dev/mctl"), endless_(false) {
  set_modems(4, 192);
  on(Allocate, Arg::None, [this](Request& r) {
    for (const Modem& m : modems_)
      if (m.holder == &r.file())
        return r.fail(EBUSY);
    for (size_t n = 0; n < modems_.size(); ++n)
      if (!modems_[n].holder) {
        modems_[n] = Modem{modems_[n].timeslot, &r.file(), 0, {}, 0, Call::None};
        return static_cast<int>(n);
      }
    return r.fail(EAGAIN);
  });
  on(Timeslot, Arg::None, [this](Request& r) {
    for (const Modem& m : modems_)
      if (m.holder == &r.file())
        return m.timeslot;
    return r.fail(EINVAL);
  });
  on(Enumerate, Arg::Value, [this](Request& r) {
    long next = static_cast<long>(static_cast<int>(r.value())) + 1;
    if (!endless_ && (next < 0 || next >= static_cast<long>(modems_.size())))
      return r.fail(ENODEV);
    return static_cast<int>(next);
  });
  on(SetDdm, Arg::Pointer, [this](Request& r) {
    Modem* m = held(r);
    if (!m)
      return r.fail(EINVAL);
    m->ddm = r.u32(4);
    return 0;
  }, PairSize);
  on(ResetDmp, Arg::Pointer, [this](Request& r) {
    Modem* m = held(r);
    if (!m)
      return r.fail(EINVAL);
    m->params.clear();
    ++m->resets;
    return 0;
  }, PairSize);
  on(SetDmp, Arg::Pointer, [this](Request& r) {
    Modem* m = held(r);
    if (!m)
      return r.fail(EINVAL);
    m->params[r.i32(4)] = r.i32(8);
    return 0;
  }, ParamSize);
  onCall(Answer, Call::Answer);
  onCall(Originate, Call::Originate);
  onCall(FaxOriginate, Call::FaxOriginate);
}

void ModemControl::onCall(unsigned long request, Call call) {
  on(request, Arg::Pointer, [this, call](Request& r) {
    Modem* m = held(r);
    if (!m)
      return r.fail(EINVAL);
    m->call = call;
    return 0;
  }, PairSize);
}

void ModemControl::set_modems(size_t count, int firstTimeslot) {
  modems_.assign(count, Modem());
  for (size_t n = 0; n < count; ++n)
    modems_[n].timeslot = firstTimeslot + static_cast<int>(n);
}

size_t ModemControl::allocated() const {
  pump();
  size_t n = 0;
  for (const Modem& m : modems_)
    n += m.holder ? 1 : 0;
  return n;
}

ModemControl::Modem* ModemControl::held(Request& r) {
  uint32_t n = r.u32(0);
  return n < modems_.size() && modems_[n].holder == &r.file() ? &modems_[n] : nullptr;
}

void ModemControl::closed(OpenFile& file) {
  for (Modem& m : modems_)
    if (m.holder == &file)
      m.holder = nullptr;
}

}  // namespace SimBoard
