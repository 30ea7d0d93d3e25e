#include "slots/echo_slot.h"

#include <iostream>

void EchoSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

EchoFactory& EchoFactory::instance() {
  static EchoFactory factory;
  return factory;
}

EchoFactory::EchoFactory() { Scan(); }

void EchoFactory::Scan() {
  for (unsigned char& flag : present_)
    flag = 0;
  std::clog << "Scanning echo channels ..." << std::endl;
}

Slot* EchoFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_echo())
    return nullptr;
  const LGCP::EchoParams& p = params.get_echo();
  unsigned bus = static_cast<unsigned>(p.get_bus().getValue());
  unsigned channel = static_cast<unsigned>(p.get_channel().getValue());
  if (bus >= Buses || !present_[bus] || channel >= BusChannels)
    return nullptr;
  return new EchoSlot((bus << 5) + channel);
}

void EchoFactory::Query(LGCP::Resources& resources) {
  for (unsigned bus = 0; bus < Buses; ++bus)
    if (present_[bus]) {
      ASN1::INTEGER value;
      value.setValue(static_cast<int>(bus));
      resources.mutable_echoBus().push_back(value);
    }
}
