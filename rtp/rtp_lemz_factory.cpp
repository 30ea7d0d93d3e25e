#include "rtp/rtp_lemz_factory.h"

#include <iostream>
#include <unistd.h>

#include "asn1/printer.h"
#include "foundation/ext.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtp_lemz_slot.h"

namespace {

// The RTP header-extension profile of the LEMZ signalling.
constexpr uint16_t LemzProfile = 0x1337;

}  // namespace

RtpLEMZFactory& RtpLEMZFactory::instance() {
  static RtpLEMZFactory factory;
  return factory;
}

Slot* RtpLEMZFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_rtp())
    return nullptr;
  const TERM::RtpParams& rtp = params.get_rtp().get_codecRTP();
  if (!rtp.has_radio() || !rtp.get_radio().get_status().is_lemz())
    return nullptr;
  std::clog << ext::header(this) << "do create rtp ext LEMZ: " << rtp << std::endl;
  const TERM::RtpExtMode* mode =
      rtp.has_rtp_e2m() && rtp.get_rtp_e2m().has_mode() ? &rtp.get_rtp_e2m().get_mode() : nullptr;
  return RtpExtSlot::Create(
      *this, params.get_rtp(), [&](int channel, const Fd& session, const rtp_connection_params& p) -> RtpSlot* {
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
        rtp_ext_attach_session_params attach;  // the slot names its own session
        attach.pid_rtp = getpid();
        return new RtpLEMZRadioGWSlot(channel, session, p, attach, init, true);
      });
}
