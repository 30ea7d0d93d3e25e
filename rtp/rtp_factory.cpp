#include "rtp/rtp_factory.h"

#include <iostream>

#include "asn1/printer.h"
#include "foundation/ext.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtp_session.h"
#include "rtp/rtp_slot.h"

RtpFactory& RtpFactory::instance() {
  static RtpFactory factory;
  return factory;
}

Slot* RtpFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_rtp() || params.get_rtp().get_codecRTP().has_radio())
    return nullptr;
  std::clog << ext::header(this) << "do create rtp: " << params.get_rtp().get_codecRTP() << std::endl;
  return RtpSession::Create(*this, params.get_rtp(), [](int channel, const Fd& session, const rtp_connection_params& p) {
    return new RtpSlot(channel, session, p);
  });
}
