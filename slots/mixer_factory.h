#pragma once
// The conference mixer's slot factory. It learns the mixer units from the
// device only when the resources report is built; until then no mixer
// slot can be made.
#include <vector>

#include "core/slot_factory.h"

namespace Mixer {

class Mixer;

class MixerFactory : public SlotFactory {
public:
  static constexpr int MaxUnits = 100;

  static MixerFactory& instance();
  MixerFactory();
  // Units with slots left go when their last slot does.
  ~MixerFactory() override;

  char const* GetName() const override { return "Mixer"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  // Rediscovers the units, then reports one `mixer` entry per unit.
  void Query(LGCP::Resources& resources) override;

  void RefreshResources();
  // The known unit with that number that is not gone, or null.
  Mixer* findMixer(int unit) const;

  // The smallest TDM channel count over the units of the last discovery;
  // -1 before any.
  int tdm_channels() const { return tdmChannels_; }

private:
  std::vector<Mixer*> units_;
  int mixerInputs_;
  int tdmChannels_;
};

}  // namespace Mixer
