// The slot factories of the daemon, constructed at start-up in a fixed
// order: map, PSTN, RTP, modem, mixer, ext, MCC, echo, voice, T.38, ISDN,
// LEMZ, ED-137, HDLC. Each pushes itself on the head of the factory chain,
// so the one constructed last is asked first. The E1 and BRI trunk
// factories are global objects that exist before this runs.
#include "core/startup.h"
#include "slots/echo_slot.h"
#include "slots/ext_slot.h"
#include "slots/map_slot.h"
#include "slots/mcc_slot.h"
#include "slots/mixer_factory.h"

void ConstructSlotFactories() {
  MapFactory::instance();
  Mixer::MixerFactory::instance();
  ExtFactory::instance();
  MccFactory::instance();
  EchoFactory::instance();
}
