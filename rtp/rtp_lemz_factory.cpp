#include "rtp/rtp_lemz_factory.h"

#include <iostream>
#include <unistd.h>

#include "asn1/printer.h"
#include "foundation/ext.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtp_lemz_slot.h"
#include "rtp/rtp_session.h"

namespace {

// The RTP header-extension profile of the LEMZ signalling.
constexpr uint16_t LemzProfile = 0x1337;

}  // namespace

RtpLEMZFactory& RtpLEMZFactory::instance() {
  static RtpLEMZFactory factory;
  return factory;
}

RtpLEMZFactory::RtpLEMZFactory() : capacity_("rtp ext LEMZ") { capacity_.IQuery(); }

Slot* RtpLEMZFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_rtp())
    return nullptr;
  const TERM::RtpParams& rtp = params.get_rtp().get_codecRTP();
  if (!rtp.has_radio() || !rtp.get_radio().get_status().is_lemz())
    return nullptr;
  std::clog << ext::header(this) << "do create rtp ext LEMZ: " << rtp << std::endl;
  const TERM::RtpRadioRequest& radio = rtp.get_radio();

  RtpSession::Variant variant;
  variant.reuseAddress = false;
  variant.channelFlags = RtpExtSlot::ChannelFlags(radio);
  RtpSlot* made = RtpSession::Create(
      capacity_, params.get_rtp(), variant,
      [&](int channel, const Fd& session, const rtp_connection_params& p) -> RtpSlot* {
        const bool e2mMode = rtp.has_rtp_e2m() && rtp.get_rtp_e2m().has_mode();
        const TERM::RtpExtMode* mode = e2mMode ? &rtp.get_rtp_e2m().get_mode() : nullptr;
        if (mode && mode->is_only_rtp()) {
          rtp_attach_session_params attach;
          attach.fd_rtp = mode->get_only_rtp().get_fd().getValue();
          attach.pid_rtp = mode->get_only_rtp().get_pid().getValue();
          return new RtpLEMZRadioGWSlot(channel, session, p, attach);
        }
        if (mode && !mode->is_both_rtp_and_rtp_ext())
          return nullptr;  // an alternative this daemon does not know
        rtp_ext_init_params init;
        init.etype = LemzProfile;
        // The slot attaches with its own duplicate of the session.
        rtp_ext_attach_session_params attach;
        attach.fd_rtp = session.get();
        attach.pid_rtp = getpid();
        return new RtpLEMZRadioGWSlot(channel, session, p, attach, init, true);
      });
  RtpLEMZRadioGWSlot* slot = static_cast<RtpLEMZRadioGWSlot*>(made);
  if (!slot)
    return nullptr;
  slot->ConfigureRadio(radio);
  return slot;
}
