#include "rtp/rtp_ed137_factory.h"

#include <iostream>

#include "asn1/printer.h"
#include "foundation/ext.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtp_ed137_slot.h"

namespace {

// The driver's record for the session: profile 0x0167 and the words
// {1, 123, K, S}, K the keep-alive period in packets (of packet_factor x
// 10 ms, 2 when 0) times sigtime, S sigtime (1 when 0).
rtp_ext_init_params InitParams(const RTPSignalling::ED137RadioParams& radio, uint16_t packetFactor) {
  const uint32_t p = packetFactor ? packetFactor : 2;
  const uint32_t sigtime = static_cast<uint32_t>(radio.sigtime);
  uint32_t k = static_cast<uint32_t>(radio.keepalive_period) / (p * 10);
  if (sigtime)
    k *= sigtime;
  rtp_ext_init_params init;
  init.etype = 0x0167;
  init.words[0] = 1;
  init.words[1] = 123;
  init.words[2] = k;
  init.words[3] = sigtime ? sigtime : 1;
  return init;
}

}  // namespace

RtpED137Factory& RtpED137Factory::instance() {
  static RtpED137Factory factory;
  return factory;
}

Slot* RtpED137Factory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_rtp())
    return nullptr;
  const TERM::RtpParams& rtp = params.get_rtp().get_codecRTP();
  if (!rtp.has_radio() || !rtp.get_radio().get_status().is_ed_137())
    return nullptr;
  std::clog << ext::header(this) << "do create rtp ext ED137: " << rtp << std::endl;
  const TERM::ED137RadioStatus& status = rtp.get_radio().get_status().get_ed_137();
  RTPSignalling::ED137RadioParams radio;
  if (status.has_radio_response())
    radio.Init(status.get_radio_response());
  return RtpExtSlot::Create(*this, params.get_rtp(),
                            [&](int channel, const Fd& session, const rtp_connection_params& p) {
                              rtp_ext_attach_session_params attach;  // the slot names its own session
                              attach.pid_rtp = -1;
                              return new RtpED137RadioGWSlot(channel, session, p, attach,
                                                             InitParams(radio, p.packet_factor), radio);
                            });
}
