#include "rtp/rtp_ed137_factory.h"

#include <iostream>

#include "asn1/printer.h"
#include "foundation/ext.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtp_ed137_slot.h"
#include "rtp/rtp_session.h"

RtpED137Factory& RtpED137Factory::instance() {
  static RtpED137Factory factory;
  return factory;
}

RtpED137Factory::RtpED137Factory() : capacity_("rtp ext ED137") { capacity_.IQuery(); }

rtp_ext_init_params RtpED137Factory::InitParams(const RTPSignalling::ED137RadioParams& radio,
                                                uint16_t packetFactor) {
  const uint32_t p = packetFactor ? packetFactor : 2;
  const uint32_t sigtime = static_cast<uint32_t>(radio.sigtime);
  uint32_t k = static_cast<uint32_t>(radio.keepalive_period) / (p * 10);
  if (sigtime)
    k *= sigtime;
  rtp_ext_init_params init;
  init.etype = 0x0167;
  init.reserved = 0;
  init.words[0] = 1;
  init.words[1] = 123;
  init.words[2] = k;
  init.words[3] = sigtime ? sigtime : 1;
  return init;
}

Slot* RtpED137Factory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_rtp())
    return nullptr;
  const TERM::RtpParams& rtp = params.get_rtp().get_codecRTP();
  if (!rtp.has_radio() || !rtp.get_radio().get_status().is_ed_137())
    return nullptr;
  std::clog << ext::header(this) << "do create rtp ext ED137: " << rtp << std::endl;
  const TERM::RtpRadioRequest& radio = rtp.get_radio();
  const TERM::ED137RadioStatus& status = radio.get_status().get_ed_137();
  RTPSignalling::ED137RadioParams radioParams;
  if (status.has_radio_response())
    radioParams.Init(status.get_radio_response());

  RtpSession::Variant variant;
  variant.reuseAddress = false;
  variant.channelFlags = RtpExtSlot::ChannelFlags(radio);
  RtpSlot* made = RtpSession::Create(
      capacity_, params.get_rtp(), variant, [&](int channel, const Fd& session, const rtp_connection_params& p) {
        // The slot attaches with its own duplicate of the session.
        rtp_ext_attach_session_params attach;
        attach.fd_rtp = session.get();
        attach.pid_rtp = -1;
        return new RtpED137RadioGWSlot(channel, session, p, attach, InitParams(radioParams, p.packet_factor),
                                       radioParams);
      });
  RtpED137RadioGWSlot* slot = static_cast<RtpED137RadioGWSlot*>(made);
  if (!slot)
    return nullptr;
  slot->ConfigureRadio(radio);
  return slot;
}
