#pragma once
// An RTP slot: one TDM switch channel joined to one voice session of the
// board's RTP driver ("/dev/rtp"). The driver moves the media; the slot
// holds the session, switches its input as the slot is connected, relays
// the driver's, the tone detector's and the DSP's events as signals, serves
// the controller's ioctls, and sends an RTCP source description when it
// starts and a goodbye when it goes. The radio slots derive from it.
#include <netinet/in.h>
#include <ostream>

#include "core/slot.h"
#include "foundation/event.h"
#include "foundation/fd.h"
#include "hardware/dsp_receiver.h"
#include "hardware/rtp_records.h"
#include "hardware/tonec_receiver.h"

namespace RTPC {
class Msg;
}

class RtpSlot : public Slot, private Hardware::TonecReceiver, private Hardware::DSProcReceiver {
public:
  // Watches a duplicate of the session for the driver's events.
  RtpSlot(int channel, const Fd& session, const rtp_connection_params& params);
  // Sends the goodbye and stops the tone and DSP functions of the channel.
  ~RtpSlot() override;

  void IAfterCreate() override;
  // Releases the session and turns the channel's switch output off.
  bool IBeforeDestroy() override;
  bool Ioctl(LGCP::IoctlParams const& params) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override;
  void IOnOutputRelease() override {}
  void IOnInputRelease() override;
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  char const* GetName() const override { return "rtp"; }

  // Keeps the destination and a duplicate of the socket; sends the source
  // description.
  void startRTPC(const Fd& socket, const sockaddr_in& destination);
  // Encodes the packet and sends it to the RTCP destination without waiting.
  void send(const RTPC::Msg& msg);
  // A new driver session with the slot's parameters on the same channel;
  // the event watch moves to it. False leaves the slot without a session.
  bool restart();
  // Switches the session's input (the radio slots gate it by squelch).
  void SwitchInput(bool on);

  // "rtp[" channel "]: "
  void PutHeader(std::ostream& out) const;

  // The tone and DSP functions of the slot's channel, for its factory.
  Hardware::TonecReceiver& tonec() { return *this; }
  Hardware::DSProcReceiver& dsproc() { return *this; }

  int channel() const { return channel_; }
  const Fd& session() const { return session_; }
  bool input_on() const { return inputOn_; }
  bool input_follows_squelch() const { return inputFollowsSquelch_; }
  void set_input_follows_squelch(bool on) { inputFollowsSquelch_ = on; }

private:
  void tonec_event(const Hardware::TonecReceiver::Params& params) override;
  unsigned tonec_timeslot() const override { return static_cast<unsigned>(channel_); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent& event) override;
  void dsproc_bss_event(const ::dsproc_bss_event* event) override;
  void dsproc_sd_event(const Hardware::DSProcSDEvent& event) override;
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override;
  void dsproc_flags_event(const ::dsproc_flags_event* event) override;
  unsigned dsproc_timeslot() const override { return static_cast<unsigned>(channel_); }

  void OnRtpEvent(int fd, short revents);
  // A request without an argument on the session; false (logged) on failure.
  bool Request(unsigned long request, const char* what);
  // encoder-mode and decoder-mode: the payload type, then a restart.
  bool ChangeCodec(const LGCP::CodecMode& mode, bool encoder);
  bool SetPDEvents(int timeout);
  bool ResetPDEvents();
  // Resets the session's PD events; the request's result (-1 without a session).
  int ResetEvents();

  int channel_;
  Fd session_;
  Event watch_;
  rtp_connection_params params_;
  sockaddr_in rtcpDestination_;
  Fd rtcpSocket_;
  int defaultPayload_;
  bool inputOn_;
  bool inputFollowsSquelch_;
};
