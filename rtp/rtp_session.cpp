#include "rtp/rtp_session.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <sstream>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include "asn1/printer.h"
#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/inet4_addr.h"
#include "hardware/device_names.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtp_factory_base.h"
#include "rtp/rtp_requests.h"
#include "rtp/rtp_slot.h"

namespace RtpSession {

namespace {

// The address word of dotted text, in network order; false when it does
// not parse.
bool AddressOf(const TERM::HostAddress& host, uint32_t& address) {
  INet4::Addr addr;
  if (!addr.Assign(host.get_iaddr().getValue()))
    return false;
  address = ntohl(addr.sockaddr().sin_addr.s_addr);
  return true;
}

}  // namespace

uint32_t RandomSsrc() {
  uint32_t value;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value))
    return value;
  static std::mt19937 fallback(static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ (static_cast<uint64_t>(getpid()) << 20)));
  return fallback();
}

Fd Begin(const std::string& prefix, rtp_connection_params& params, rtp_channel_info& channel) {
  Fd session(DevIo::open(GetRtpDevName(), O_RDONLY | O_CLOEXEC));
  if (!session) {
    int err = errno;
    std::cerr << prefix << "device " << ext::quoted(GetRtpDevName()) << " open fail: " << strerror(err) << std::endl;
    return Fd();
  }
  if (DevIo::ioctl(session.get(), RtpRequest::BeginSession, &params) < 0) {
    std::cerr << prefix << "begin session fail !!! " << std::endl;
    return Fd();
  }
  if (DevIo::ioctl(session.get(), RtpRequest::AddChannel, &channel) < 0) {
    std::cerr << prefix << "add channel fail !!!" << std::endl;
    return Fd();
  }
  return session;
}

RtpSlot* Create(const RtpFactoryBase& factory, const LGCP::CreateRtpParams& request, const MakeSlot& make) {
  const TERM::RtpParams& p = request.get_codecRTP();
  if (!IsSessionPayload(p.get_payload())) {
    std::clog << ext::header(&factory) << "rtp do not created: payload " << p.get_payload() << "not found"
              << std::endl;
    return nullptr;
  }

  const TERM::HostAddress& remote = p.get_dhost();
  const TERM::HostAddress& local = p.has_shost() ? p.get_shost() : remote;
  const uint16_t remotePort = static_cast<uint16_t>(remote.get_port().getValue());
  const uint16_t rtcpPort = static_cast<uint16_t>(local.get_port().getValue() + 1);
  Fd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket) {
    int err = errno;
    std::clog << ext::header(&factory) << "rtp do not created: can not create socket [errno=" << strerror(err) << "]"
              << std::endl;
    return nullptr;
  }
  if (!p.has_radio()) {
    int on = 1;
    setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_addr.s_addr = htonl(INADDR_ANY);
  bound.sin_port = htons(rtcpPort);
  if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&bound), sizeof bound) < 0) {
    int err = errno;
    std::clog << ext::header(&factory) << "rtp do not created: can not bind socket [errno=" << strerror(err)
              << ", port=" << rtcpPort << "]" << std::endl;
    return nullptr;
  }

  rtp_connection_params params;
  params.ttl = p.has_ttl() ? static_cast<uint32_t>(p.get_ttl().getValue()) : 0u;
  params.dscp = p.has_qos_dscp() ? (p.get_qos_dscp().getValue() << 2) & 0xfc : -1;
  uint32_t remoteAddress = 0, localAddress = 0;
  const TERM::HostAddress* bad = !AddressOf(remote, remoteAddress)                        ? &remote
                                 : p.has_shost() && !AddressOf(local, localAddress) ? &local
                                                                                    : nullptr;
  if (bad) {
    std::clog << ext::header(&factory) << "rtp do not created: invalid address "
              << ext::quoted(bad->get_iaddr().getValue()) << std::endl;
    return nullptr;
  }
  params.dhost_addr = remoteAddress;
  params.dhost_port = remotePort;
  params.shost_addr = localAddress;
  params.shost_port = static_cast<uint16_t>(local.get_port().getValue());
  params.packet_factor = p.has_pfactor() ? static_cast<uint16_t>(p.get_pfactor().getValue() & 0xffff) : 0;
  params.rx_pt = static_cast<uint16_t>(translateCodec(p.get_payload(), request.get_rxPayload()));
  params.tx_pt = static_cast<uint16_t>(translateCodec(p.get_payload(), request.get_txPayload()));
  params.vad = p.has_vad() && p.get_vad().getValue() ? 1 : 0;
  params.crate = p.has_crate() && p.get_crate().getValue() != 0 ? 1 : 0;
  params.ssrc = p.has_ssrc() ? static_cast<uint32_t>(p.get_ssrc().getValue()) : RandomSsrc();

  rtp_channel_info channel;
  channel.tdm = -1;
  channel.dev_no = -1;
  channel.chn = -1;
  const bool bss = p.has_radio() && p.get_radio().has_bss_enable() && p.get_radio().get_bss_enable().getValue();
  channel.reserved = bss ? 1u : 0u;
  std::ostringstream prefix;
  prefix << ext::header(&factory);
  Fd session = Begin(prefix.str(), params, channel);
  if (!session)
    return nullptr;
  RtpSlot* slot = make(channel.tdm, session, params);
  if (!slot)
    return nullptr;

  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = htonl(remoteAddress);
  destination.sin_port = htons(static_cast<uint16_t>(remotePort + 1));
  slot->startRTPC(socket, destination);
  if (p.has_echo() && p.get_echo().get_suppressor().getValue())
    slot->tonec().echoCancel(p.get_echo().get_canceller().getValue());
  return slot;
}

}  // namespace RtpSession
