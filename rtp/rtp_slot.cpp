#include "rtp/rtp_slot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <sys/socket.h>

#include "asn1/printer.h"
#include "core/rtp_event.h"
#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/errno_suffix.h"
#include "hardware/hw_mux.h"
#include "messages/TERM/TERM.h"
#include "rtp/rtcp.h"
#include "rtp/rtp_requests.h"
#include "rtp/rtp_session.h"

namespace {

// The fixed texts of the source description.
const char* const SdesName = "Corvala Meshvane";
const char* const SdesEmail = "support@corvala-meshvane.example";
const char* const SdesPhone = "+1 555 0100";

constexpr unsigned RtcpBufferSize = 1024;

}  // namespace

RtpSlot::RtpSlot(int channel, const Fd& session, const rtp_connection_params& params)
    : channel_(channel), session_(session), params_(params), rtcpDestination_(), defaultPayload_(params.rx_pt),
      inputOn_(false), inputFollowsSquelch_(false) {
  rtcpDestination_.sin_family = AF_INET;
  watch_.Bind("RtpSlot::OnRtpEvent", &RtpSlot::OnRtpEvent, this);
  watch_.Schedule(session_, POLLIN);
}

RtpSlot::~RtpSlot() {
  send(RTPC::BYE(params_.ssrc, "session end"));
  rtcpSocket_.close();
  Hardware::TonecReceiver::CleanBeforeDestroy();
  Hardware::DSProcReceiver::CleanBeforeDestroy();
}

void RtpSlot::PutHeader(std::ostream& out) const { out << "rtp[" << channel_ << "]: "; }

void RtpSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool RtpSlot::IBeforeDestroy() {
  Request(RtpRequest::Release1, "release");
  Request(RtpRequest::Release2, "release");
  Request(RtpRequest::Release3, "release");
  ResetEvents();
  // The watch's duplicate would keep the session open.
  watch_.Release();
  session_.close();
  HwMux::instance()->Disable(channel_);
  return true;
}

bool RtpSlot::Request(unsigned long request, const char* what) {
  if (!session_)
    return false;
  if (DevIo::ioctl(session_.get(), request, nullptr) < 0) {
    int err = errno;
    std::cerr << ext::header(this) << what << " fail:" << Hardware::ErrnoSuffix(err) << std::endl;
    return false;
  }
  return true;
}

void RtpSlot::SwitchInput(bool on) {
  Request(on ? RtpRequest::InputOn : RtpRequest::InputOff, on ? "input on" : "input off");
  inputOn_ = on;
}

bool RtpSlot::IOnInputStream() {
  if (!inputFollowsSquelch_)
    SwitchInput(true);
  return true;
}

void RtpSlot::IOnInputRelease() { SwitchInput(false); }

void RtpSlot::startRTPC(const Fd& socket, const sockaddr_in& destination) {
  rtcpDestination_ = destination;
  rtcpSocket_ = socket;
  RTPC::SDES sdes(params_.ssrc);
  sdes.add(RTPC::SDES::Item::CNAME, SdesName);
  sdes.add(RTPC::SDES::Item::EMAIL, SdesEmail);
  sdes.add(RTPC::SDES::Item::PHONE, SdesPhone);
  send(sdes);
}

void RtpSlot::send(const RTPC::Msg& msg) {
  char buffer[RtcpBufferSize];
  unsigned length = msg.encode(buffer, sizeof buffer);
  if (length == 0 || !rtcpSocket_)
    return;
  ::sendto(rtcpSocket_.get(), buffer, length, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&rtcpDestination_),
           sizeof rtcpDestination_);
}

bool RtpSlot::restart() {
  // The old session goes whole: the watch's duplicate too.
  watch_.Release();
  session_.close();
  rtp_channel_info channel;
  channel.tdm = channel_;
  channel.dev_no = -1;
  channel.chn = -1;
  channel.reserved = 0;
  std::ostringstream prefix;
  PutHeader(prefix);
  Fd session = RtpSession::Begin(prefix.str(), params_, channel);
  if (!session)
    return false;
  session_.reset(session.release());
  watch_.Schedule(session_, POLLIN);
  // A new session starts with its input off.
  if (inputOn_)
    SwitchInput(true);
  return true;
}

void RtpSlot::OnRtpEvent(int fd, short revents) {
  // An end of file or an error without data would be reported on every turn.
  auto lost = [this] {
    std::cerr << ext::header(this) << "rtp session lost, events no longer read" << std::endl;
    watch_.Release();
  };
  if (!(revents & POLLIN)) {
    if (revents & (POLLERR | POLLHUP | POLLNVAL))
      lost();
    return;
  }
  rtp_event event;
  ssize_t n;
  while ((n = DevIo::read(fd, &event, sizeof event)) == static_cast<ssize_t>(sizeof event)) {
    std::clog << ext::header(this) << "rtp event: " << " type=" << uint32_t(event.type) << std::endl;
    processRtpEvent(event);
  }
  if (n == 0) {
    lost();
  } else if (n < 0 && errno != EAGAIN) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to read from rtp: " << strerror(err) << std::endl;
  }
}

bool RtpSlot::SetPDEvents(int timeout) {
  RtpRequest::PdSetRecord record;
  record.type = 1;
  record.timeout = static_cast<uint32_t>(timeout);
  record.timeout2 = static_cast<uint32_t>(timeout);
  if (!session_ || DevIo::ioctl(session_.get(), RtpRequest::SetEvents, &record) < 0) {
    int err = session_ ? errno : EBADF;
    std::cerr << ext::header(this) << "RTP SET EVENT PD fail:" << Hardware::ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << ext::header(this) << "RTP SET EVENT PD " << "timeout=" << timeout << std::endl;
  return true;
}

int RtpSlot::ResetEvents() {
  if (!session_) {
    errno = EBADF;
    return -1;
  }
  RtpRequest::ResetRecord record;
  record.events = 1;
  return DevIo::ioctl(session_.get(), RtpRequest::ResetEvents, &record);
}

bool RtpSlot::ResetPDEvents() {
  if (ResetEvents() < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "RTP RESET EVENT PD fail:" << Hardware::ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << ext::header(this) << "RTP RESET EVENT PD" << std::endl;
  return true;
}

bool RtpSlot::ChangeCodec(const LGCP::CodecMode& mode, bool encoder) {
  std::ostringstream line;
  line << ext::header(this) << "do restart RTP session (change tx payload):" << mode;
  int type = mode.getValue() == LGCP::CodecMode::alaw   ? 8
             : mode.getValue() == LGCP::CodecMode::ulaw ? 0
                                                        : defaultPayload_;
  Hardware::be_u16& current = encoder ? params_.tx_pt : params_.rx_pt;
  if (current == type) {
    std::clog << line.str() << " - Nothing to do" << std::endl;
    return true;
  }
  current = static_cast<uint16_t>(type);
  if (!restart()) {
    std::clog << line.str() << std::endl;
    std::cerr << ext::header(this) << "fail to restart RTP session!" << std::endl;
    return false;
  }
  std::clog << line.str() << (encoder ? " - OK" : "") << std::endl;
  return true;
}

bool RtpSlot::Ioctl(LGCP::IoctlParams const& p) {
  Hardware::TonecReceiver& tone = *this;
  Hardware::DSProcReceiver& dsp = *this;
  switch (p.currentSelection()) {
  case LGCP::IoctlParams::alt_echoSuppressor: return tone.echoCancel(p.get_echoSuppressor().getValue());
  case LGCP::IoctlParams::alt_activateWaitTone: tone.activateAudibleCall(); return true;
  case LGCP::IoctlParams::alt_deactivateWaitTone: tone.cancelAudibleCall(); return true;
  case LGCP::IoctlParams::alt_translateDTMF: tone.translateDTMF(p.get_translateDTMF()); return true;
  case LGCP::IoctlParams::alt_dtmf_params: return tone.configureDTMF(p.get_dtmf_params());
  case LGCP::IoctlParams::alt_dtmf_enable: return tone.enableDTMF(p.get_dtmf_enable().getValue());
  case LGCP::IoctlParams::alt_encoder_mode: return ChangeCodec(p.get_encoder_mode(), true);
  case LGCP::IoctlParams::alt_decoder_mode: return ChangeCodec(p.get_decoder_mode(), false);
  case LGCP::IoctlParams::alt_vad_params: return dsp.configureVAD(p.get_vad_params());
  case LGCP::IoctlParams::alt_vad_enable: return dsp.enableVAD(p.get_vad_enable().getValue());
  case LGCP::IoctlParams::alt_vad_disable: return dsp.disableVAD();
  case LGCP::IoctlParams::alt_dtmf_reject_enable: return tone.enableDTMFReject(p.get_dtmf_reject_enable().getValue());
  case LGCP::IoctlParams::alt_sd_params: return dsp.configureSD();
  case LGCP::IoctlParams::alt_sd_enable: return dsp.enableSD(p.get_sd_enable().getValue());
  case LGCP::IoctlParams::alt_sd_disable: return dsp.disableSD();
  case LGCP::IoctlParams::alt_pd_enable: return SetPDEvents(p.get_pd_enable().get_timeout().getValue());
  case LGCP::IoctlParams::alt_pd_disable: return ResetPDEvents();
  case LGCP::IoctlParams::alt_rx_gain:
    dsp.configureRxGain(static_cast<signed char>(p.get_rx_gain().get_gainDB().getValue() & 0xff));
    return true;
  case LGCP::IoctlParams::alt_tone_filter: {
    const LGCP::ToneFilter& f = p.get_tone_filter();
    dsp.configureToneFilter(static_cast<unsigned>(f.get_freq().getValue()), f.get_enable().getValue() ? 1u : 0u,
                            f.get_duration_th_msec().getValue(), f.get_det_level_dB().getValue());
    return true;
  }
  case LGCP::IoctlParams::alt_selcal: tone.translateSelcal(p.get_selcal()); return true;
  default: return false;
  }
}

void RtpSlot::tonec_event(const Hardware::TonecReceiver::Params& params) { processTonecEvent(params); }
void RtpSlot::dsproc_vad_event(const Hardware::DSProcVADEvent& event) { processVADEvent(event); }
void RtpSlot::dsproc_bss_event(const ::dsproc_bss_event* event) { processBSSEvent(event); }
void RtpSlot::dsproc_sd_event(const Hardware::DSProcSDEvent& event) { processSDEvent(event); }
void RtpSlot::dsproc_tone_flt_event(const ::dsproc_tone_event* event) { processToneFltEvent(event); }
void RtpSlot::dsproc_flags_event(const ::dsproc_flags_event* event) { processFlagsEvent(event); }
