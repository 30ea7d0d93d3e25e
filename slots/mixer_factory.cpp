#include "slots/mixer_factory.h"

#include <algorithm>

#include "slots/mixer.h"

namespace Mixer {

MixerFactory& MixerFactory::instance() {
  static MixerFactory factory;
  return factory;
}

MixerFactory::MixerFactory() : mixerInputs_(-1), tdmChannels_(-1) {}

MixerFactory::~MixerFactory() {
  for (Mixer* unit : units_) {
    unit->set_gone(true);
    unit->CheckForDestroy();
  }
}

Mixer* MixerFactory::findMixer(int unit) const {
  for (Mixer* m : units_)
    if (m->unit() == unit && !m->gone())
      return m;
  return nullptr;
}

Slot* MixerFactory::INewSlot(LGCP::CreateParams const& params) {
  if (params.is_mixerOut()) {
    Mixer* unit = findMixer(params.get_mixerOut().get_unit().getValue());
    return unit ? unit->New(params.get_mixerOut()) : nullptr;
  }
  if (params.is_mixerIn()) {
    Mixer* unit = findMixer(params.get_mixerIn().get_unit().getValue());
    return unit ? unit->New(params.get_mixerIn()) : nullptr;
  }
  return nullptr;
}

void MixerFactory::RefreshResources() {
  for (Mixer* unit : units_)
    unit->set_gone(true);
  mixerInputs_ = -1;
  tdmChannels_ = -1;
  mix_units record;
  record.unit = -1;
  record.tdmChannels = 0;
  record.unused = 0;
  record.mixerInputs = 0;
  // The record carries the last unit found into the next request.
  for (int found = 0; found < MaxUnits && mixer_ctl(MIX_UNITS, &record) >= 0; ++found) {
    if (mixerInputs_ < 0 || record.mixerInputs < mixerInputs_)
      mixerInputs_ = record.mixerInputs;
    if (tdmChannels_ < 0 || record.tdmChannels < tdmChannels_)
      tdmChannels_ = record.tdmChannels;
    auto known = std::find_if(units_.begin(), units_.end(),
                              [&](Mixer* m) { return m->unit() == record.unit && m->gone(); });
    if (known != units_.end()) {
      (*known)->set_gone(false);
      continue;
    }
    if (findMixer(record.unit))
      continue;  // reported twice in one walk
    auto* unit = new Mixer(*this, record.unit);
    units_.push_back(unit);
    unit->Reset();
  }
  std::vector<Mixer*> gone;
  for (Mixer* unit : units_)
    if (unit->gone())
      gone.push_back(unit);
  units_.erase(std::remove_if(units_.begin(), units_.end(), [](Mixer* m) { return m->gone(); }), units_.end());
  for (Mixer* unit : gone)
    unit->Clear();  // deletes the unit now or with its last slot
}

void MixerFactory::Query(LGCP::Resources& resources) {
  RefreshResources();
  auto& list = resources.mutable_mixer();
  list.clear();
  for (Mixer* unit : units_) {
    LGCP::MixerResources_subtype entry;
    entry.set_unit(unit->unit());
    entry.set_tdm_inputs(std::max(tdmChannels_, 0));
    entry.set_tdm_outputs(std::max(tdmChannels_, 0));
    entry.set_mixer_inputs(std::max(mixerInputs_, 0));
    entry.set_dpu_per_mixer(770);
    entry.set_dpu_per_ec(17);
    entry.set_dpu_per_lms(24);
    list.push_back(entry);
  }
}

}  // namespace Mixer
