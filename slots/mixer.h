#pragma once
// One unit of the conference mixer: its number, the slots made on it, and
// the summator programming those slots need. A unit that a later discovery
// no longer finds is marked gone: its slots are told (abort 0) and it is
// deleted once the last of them has gone.
#include <list>
#include <ostream>

#include "messages/LGCP/LGCP.h"
#include "slots/mixer_device.h"

class Slot;

namespace Mixer {

class MixerFactory;
class MixerSlot;
class TdmInput;
class TdmOutput;

class Mixer {
public:
  static constexpr int FullGain = 32767;

  Mixer(MixerFactory& factory, int unit);
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  int unit() const { return unit_; }
  bool gone() const { return gone_; }
  void set_gone(bool gone) { gone_ = gone; }
  const std::list<MixerSlot*>& slots() const { return slots_; }

  // The slots, or none when the parameters cannot be served.
  Slot* New(LGCP::MixerOutParams const& params);
  Slot* New(LGCP::MixerInParams const& params);
  // Undoes a slot's programming and unregisters it.
  void Release(TdmInput& slot);
  void Release(TdmOutput& slot);

  MixerSlot* Register(MixerSlot* slot);
  // May delete the unit (see CheckForDestroy).
  void UnRegister(MixerSlot* slot);
  // Sends abort 0 to every slot, then CheckForDestroy.
  void Clear();
  // Deletes the unit when it is gone and has no slot left.
  void CheckForDestroy();

  // The device address of a channel; false for an RTP channel.
  bool Channel2Slot(LGCP::MixerChannel const& channel, mix_slot& slot) const;
  // The TDM switch channel of a mixer channel, -1 on failure.
  int channel2timeslot(int channel);
  // Empties the summator of the channel.
  bool ClearTX(LGCP::MixerChannel const& channel);
  // Empties every summator of the unit.
  void Reset();
  // Programs the output's summator with its inputs.
  bool SetTX(LGCP::MixerOutParams const& params);

  void PutHeader(std::ostream& out) const;

private:
  // The mixer channel of a new slot (a `tdm` channel below the factory's
  // TDM channel count) and its TDM switch channel; false when unusable.
  bool Usable(LGCP::MixerChannel const& channel, int& number, int& tdm);
  bool Add(mix_rx& record);
  void StopTones(MixerSlot& slot);

  MixerFactory& factory_;
  int unit_;
  bool gone_;
  std::list<MixerSlot*> slots_;
};

}  // namespace Mixer
