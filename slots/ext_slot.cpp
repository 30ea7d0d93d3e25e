#include "slots/ext_slot.h"

#include "hardware/hw_mux.h"
#include "slots/map_slot.h"

bool ExtSlot::IBeforeDestroy() {
  HwMux::instance()->Disable(receive_);
  return true;
}

bool ExtSlot::IActivate(TERM::TermActivateParams const&) {
  OnChangeInputStream(true);
  // The channel carries the idle byte until a source is connected; one
  // that is connected already keeps its path.
  if (!source())
    HwMux::instance()->Disconnect(receive_);
  return true;
}

bool ExtSlot::IDeactivate() {
  OnChangeInputStream(false);
  HwMux::instance()->Disable(receive_);
  return true;
}

ExtFactory& ExtFactory::instance() {
  static ExtFactory factory;
  return factory;
}

Slot* ExtFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_ext())
    return nullptr;
  const LGCP::ExtParams& p = params.get_ext();
  int transmit = p.get_transmitter().getValue();
  int receive = p.get_receiver().getValue();
  for (int value : {transmit, receive})
    if (value < 0 || value >= MapFactory::SharedChannels)
      return nullptr;
  return new ExtSlot(MapSlot::SharedBase + transmit, MapSlot::SharedBase + receive);
}
