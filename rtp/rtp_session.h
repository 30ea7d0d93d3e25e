#pragma once
// The session set-up the RTP factories share: from a create request to a
// slot on a new driver session with its RTCP socket started and its echo
// canceller set. What the factories do differently comes in as the
// function that builds their kind of slot.
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/fd.h"
#include "hardware/rtp_records.h"
#include "messages/LGCP/LGCP.h"

class RtpFactoryBase;
class RtpSlot;

namespace RtpSession {

// Builds the factory's slot on the new session (the slot takes duplicates);
// null declines, and the set-up closes what it opened.
using MakeSlot = std::function<RtpSlot*(int channel, const Fd& session, const rtp_connection_params& params)>;

// Checks the payload, binds the RTCP socket next to the RTP port, fills the
// session parameters, begins the session on a new channel, builds the slot,
// starts RTCP towards the remote RTP port + 1 and sets the echo canceller.
// A request with a radio part binds the RTCP socket without SO_REUSEADDR
// and asks for a channel with BSS when it enables BSS. Null when anything
// fails: the reason is logged after the factory's prefix and nothing stays
// open.
RtpSlot* Create(const RtpFactoryBase& factory, const LGCP::CreateRtpParams& request, const MakeSlot& make);

// Opens "/dev/rtp", begins a session with params and adds the channel (both
// records are updated by the driver). A closed Fd when a step fails, logged
// after prefix.
Fd Begin(const std::string& prefix, rtp_connection_params& params, rtp_channel_info& channel);

// A random SSRC (RFC 3550 asks that sessions do not share them).
uint32_t RandomSsrc();

}  // namespace RtpSession
