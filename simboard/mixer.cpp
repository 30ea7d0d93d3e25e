#include "simboard/mixer.h"

#include <algorithm>
#include <cerrno>

namespace SimBoard {

Mixer::Mixer() : Device("/dev/mixer") {
  on(RxClear, Arg::Pointer, [this](Request& r) {
    Unit* u;
    int summator;
    if (int err = address(r, 0, u, summator))
      return r.fail(err);
    u->summators.erase(summator);
    return 0;
  });
  on(RxAdd, Arg::Pointer, [this](Request& r) {
    Unit* u;
    int summator, input;
    if (int err = pair(r, u, summator, input))
      return r.fail(err);
    u->summators[summator][input] = r.i32(24);
    return 0;
  });
  on(RxRemove, Arg::Pointer, [this](Request& r) {
    Unit* u;
    int summator, input;
    if (int err = pair(r, u, summator, input))
      return r.fail(err);
    auto s = u->summators.find(summator);
    if (s == u->summators.end() || !s->second.erase(input))
      return r.fail(ENOENT);
    if (s->second.empty())
      u->summators.erase(s);
    return 0;
  });
  on(Tdm, Arg::Pointer, [this](Request& r) {
    Unit* u;
    int number;
    if (int err = address(r, 0, u, number))
      return r.fail(err);
    return u->tdmBase + number;
  });
  on(Units, Arg::Pointer, [this](Request& r) {
    int after = r.i32(0);
    auto next = units_.begin();
    if (after != -1) {
      next = std::find_if(units_.begin(), units_.end(), [after](const Unit& u) { return u.number == after; });
      if (next != units_.end())
        ++next;
    }
    if (next == units_.end())
      return r.fail(ENODEV);
    r.put_u32(0, static_cast<uint32_t>(next->number));
    r.put_u32(4, static_cast<uint32_t>(next->tdmChannels));
    r.put_u32(8, 0);
    r.put_u32(12, static_cast<uint32_t>(next->mixerInputs));
    return 0;
  });
}

Mixer::Unit& Mixer::add_unit(int number, int tdmChannels, int mixerInputs, int tdmBase) {
  remove_unit(number);
  Unit u;
  u.number = number;
  u.tdmChannels = tdmChannels;
  u.mixerInputs = mixerInputs;
  u.tdmBase = tdmBase >= 0 ? tdmBase : 1024 + 128 * number;
  units_.push_back(u);
  return units_.back();
}

void Mixer::remove_unit(int number) {
  units_.erase(std::remove_if(units_.begin(), units_.end(), [number](const Unit& u) { return u.number == number; }),
               units_.end());
}

Mixer::Unit* Mixer::unit(int number) {
  for (Unit& u : units_)
    if (u.number == number)
      return &u;
  return nullptr;
}

std::map<int, int> Mixer::summator(int unit, int number) {
  Unit* u = this->unit(unit);
  if (!u || !u->summators.count(number))
    return {};
  return u->summators[number];
}

int Mixer::pair(const Request& r, Unit*& unit, int& summator, int& input) {
  Unit* other;
  if (int err = address(r, 0, unit, summator))
    return err;
  if (int err = address(r, 12, other, input))
    return err;
  return unit == other ? 0 : EXDEV;
}

int Mixer::address(const Request& r, size_t offset, Unit*& unit, int& number) {
  unit = this->unit(r.i32(offset));
  if (!unit)
    return ENODEV;
  number = r.i32(offset + 8);
  if (r.i32(offset + 4) != 0 || number < 0 || number >= unit->tdmChannels)
    return EINVAL;
  return 0;
}

}  // namespace SimBoard
