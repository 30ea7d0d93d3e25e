#include "slots/mixer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/fd.h"
#include "hardware/device_names.h"
#include "slots/mixer_factory.h"
#include "slots/mixer_slots.h"

namespace Mixer {

int mixer_ctl(unsigned long request, void* record) {
  Fd fd(DevIo::open(GetMixerDevName(), O_RDONLY | O_CLOEXEC));
  if (!fd)
    return -1;
  int result = DevIo::ioctl(fd.get(), request, record);
  int err = errno;
  fd.close();
  errno = err;
  return result;
}

namespace {

mix_slot Address(int unit, int number) {
  mix_slot slot;
  slot.unit = unit;
  slot.type = 0;
  slot.number = number;
  return slot;
}

}  // namespace

Mixer::Mixer(MixerFactory& factory, int unit) : factory_(factory), unit_(unit), gone_(false) {}

void Mixer::PutHeader(std::ostream& out) const { out << "mixer [" << unit_ << "]: "; }

MixerSlot* Mixer::Register(MixerSlot* slot) {
  slots_.push_back(slot);
  return slot;
}

void Mixer::UnRegister(MixerSlot* slot) {
  slots_.remove(slot);
  CheckForDestroy();
}

void Mixer::Clear() {
  // Signals only: nothing here takes a slot away while the list is walked.
  for (MixerSlot* slot : slots_)
    slot->OnAbort(0);
  CheckForDestroy();
}

void Mixer::CheckForDestroy() {
  if (gone_ && slots_.empty())
    delete this;
}

bool Mixer::Channel2Slot(LGCP::MixerChannel const& channel, mix_slot& slot) const {
  if (!channel.is_tdm())
    return false;
  slot = Address(unit_, channel.get_tdm().getValue());
  return true;
}

int Mixer::channel2timeslot(int channel) {
  mix_slot slot = Address(unit_, channel);
  int tdm = mixer_ctl(MIX_TDM, &slot);
  if (tdm < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "MIX_TDM dev_no=" << unit_ << " type=" << 0 << " number=" << channel
              << " fail : " << std::strerror(err) << std::endl;
    return -1;
  }
  return tdm;
}

bool Mixer::ClearTX(LGCP::MixerChannel const& channel) {
  mix_slot slot;
  if (!Channel2Slot(channel, slot)) {
    std::clog << ext::header(this) << "ClearTX error: translation fail" << std::endl;
    return false;
  }
  if (mixer_ctl(MIX_RX_CLEAR, &slot) < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "MIX_RX_CLEAR dev_no=" << slot.unit << " type=" << slot.type
              << " number=" << slot.number << " fail : " << std::strerror(err) << std::endl;
    return false;
  }
  return true;
}

void Mixer::Reset() {
  std::clog << ext::header(this) << "clear all inputs" << std::endl;
  int failures = 0;
  for (int n = 0; n < factory_.tdm_channels(); ++n) {
    mix_slot slot = Address(unit_, n);
    if (mixer_ctl(MIX_RX_CLEAR, &slot) < 0)
      ++failures;
  }
  if (failures)
    std::cerr << ext::header(this) << "reset fail: " << failures << " errors." << std::endl;
}

bool Mixer::Add(mix_rx& record) {
  if (mixer_ctl(MIX_RX_ADD, &record) >= 0)
    return true;
  int err = errno;
  std::cerr << ext::header(this) << "MIX_RX_ADD fail : " << std::strerror(err) << std::endl;
  return false;
}

bool Mixer::SetTX(LGCP::MixerOutParams const& params) {
  if (!ClearTX(params.get_channel()))
    return false;
  // ClearTX has translated the summator already: it is a TDM channel.
  mix_rx record;
  Channel2Slot(params.get_channel(), record.rx);
  const auto& inputs = params.get_inputs();
  if (inputs.size() == 0) {
    record.tx = record.rx;
    record.gain = FullGain;
    return Add(record);
  }
  for (const LGCP::MixerInput& input : inputs) {
    if (!Channel2Slot(input.get_channel(), record.tx)) {
      std::clog << ext::header(this) << "SetTX error: translation fail [2]" << std::endl;
      return false;
    }
    record.gain = input.get_gain().getValue();
    if (!Add(record))
      return false;
  }
  return true;
}

bool Mixer::Usable(LGCP::MixerChannel const& channel, int& number, int& tdm) {
  if (!channel.is_tdm())
    return false;
  number = channel.get_tdm().getValue();
  if (number < 0 || number >= factory_.tdm_channels())
    return false;
  tdm = channel2timeslot(number);
  return tdm >= 0;
}

Slot* Mixer::New(LGCP::MixerInParams const& params) {
  int channel, tdm;
  if (!Usable(params.get_channel(), channel, tdm))
    return nullptr;
  auto* slot = new TdmInput(*this, channel, tdm);
  if (params.has_summator()) {
    const LGCP::MixerChannel& summator = params.get_summator();
    if (summator.is_tdm()) {
      slot->set_summator(summator.get_tdm().getValue());
      mix_rx record;
      record.rx = Address(unit_, slot->summator());
      record.tx = Address(unit_, channel);
      record.gain = FullGain;
      Add(record);
    } else {
      // No summator to add the input to; the slot serves without one.
      std::cerr << ext::header(this) << "wrong summator coding !" << std::endl;
    }
  }
  if (params.has_ecm())
    slot->echoCancel(params.get_ecm().get_ec() || params.get_ecm().get_es());
  Register(slot);
  return slot;
}

Slot* Mixer::New(LGCP::MixerOutParams const& params) {
  int channel, tdm;
  if (!SetTX(params) || !Usable(params.get_channel(), channel, tdm))
    return nullptr;
  return Register(new TdmOutput(*this, channel, tdm));
}

void Mixer::StopTones(MixerSlot& slot) {
  auto& tones = dynamic_cast<Hardware::TonecReceiver&>(slot);
  if (!tones.playing())
    return;
  tones.enableSilence();
  tones.disableToneGenerator(true);
}

void Mixer::Release(TdmInput& slot) {
  StopTones(slot);
  if (slot.summator() >= 0) {
    mix_rx record;
    record.rx = Address(unit_, slot.summator());
    record.tx = Address(unit_, slot.channel());
    record.gain = 0;
    if (mixer_ctl(MIX_RX_REMOVE, &record) < 0) {
      int err = errno;
      std::cerr << ext::header(this) << "MIX_RX_REMOVE rx.number=" << slot.summator()
                << " tx.number=" << slot.channel() << " fail : " << std::strerror(err) << std::endl;
    }
  }
  UnRegister(&slot);
}

void Mixer::Release(TdmOutput& slot) {
  StopTones(slot);
  std::clog << ext::header(this) << "clear tdm output " << slot.channel() << std::endl;
  mix_slot address = Address(unit_, slot.channel());
  mixer_ctl(MIX_RX_CLEAR, &address);
  UnRegister(&slot);
}

}  // namespace Mixer
