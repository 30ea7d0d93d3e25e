// The start-up steps that reach the subsystems above the control core,
// linked beside each executable's main (core itself cannot depend on them).
#include "core/startup.h"
#include "monitoring/monitoring_ctl.h"
#include "rtp/rtp_ed137_factory.h"
#include "rtp/rtp_factory.h"
#include "rtp/rtp_lemz_factory.h"
#include "signalling/hdlc_slot.h"
#include "signalling/isdn_slot.h"
#include "signalling/pstn_slot.h"
#include "slots/echo_slot.h"
#include "slots/ext_slot.h"
#include "slots/map_slot.h"
#include "slots/mcc_slot.h"
#include "slots/mixer_factory.h"
#include "slots/modem_factory.h"
#include "slots/t38_slot.h"
#include "slots/voice_factory.h"

// The slot factories of the daemon, constructed at start-up in a fixed
// order: map, PSTN, RTP, modem, mixer, ext, MCC, echo, voice, T.38, ISDN,
// LEMZ, ED-137, HDLC. Each pushes itself on the head of the factory chain,
// so the one constructed last is asked first. The E1 and BRI trunk
// factories are global objects that exist before this runs.
void ConstructSlotFactories() {
  MapFactory::instance();
  PstnFactory::instance();
  RtpFactory::instance();
  ModemFactory::instance();
  Mixer::MixerFactory::instance();
  ExtFactory::instance();
  MccFactory::instance();
  EchoFactory::instance();
  VoiceFactory::instance();
  T38SoftFactory::instance();
  IsdnFactory::instance();
  RtpLEMZFactory::instance();
  RtpED137Factory::instance();
  HdlcSlotFactory::instance();
}

CtrlSrv::Service* ConfigureMonitoring(IniFile::File& file) {
  MonitoringCtl& monitoring = MonitoringCtl::instance();
  monitoring.Configure(file);
  return &monitoring;
}
