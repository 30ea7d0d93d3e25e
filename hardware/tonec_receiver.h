#pragma once
// The tone device "/dev/dtmf": DTMF and IVA detectors, DTMF rejection, the
// echo canceller, a two-frequency tone generator and a SELCAL generator per
// time slot. TonecReceiverService owns the device and hands each detector
// event to the receiver that owns the event's time slot; TonecReceiver is
// the base a slot inherits to use these functions, play digit strings and
// the ring-back cadence, and get the events.
#include <cstdint>
#include <map>
#include <utility>

#include "foundation/cyclic_list.h"
#include "foundation/device_io.h"
#include "foundation/event.h"
#include "foundation/timer.h"
#include "messages/LGCP/LGCP.h"

namespace TERM {
class SelcalCommand;
}

namespace Dtmf {
// The DTMF keys after ITU-T Q.23: row frequencies, column frequencies and
// the key of each pair.
extern const unsigned freq1[4];
extern const unsigned freq2[4];
extern const char strRep[4][4];
extern const std::map<std::pair<unsigned, unsigned>, char> tonesValidator;
}  // namespace Dtmf

namespace Hardware {

class TonecReceiver;

class TonecReceiverService : private DevIo::Holder {
public:
  static constexpr unsigned RecordSize = 16;

  static TonecReceiverService* instance();

  // Opens the device and watches it, unless it is open already.
  void init();
  bool is_open() const { return static_cast<bool>(event_.fd()); }
  uint32_t last_request_id() const { return requestId_; }

  bool configureDTMF(unsigned ts, const LGCP::DTMFParams& params);
  bool echoCancel(unsigned ts, bool on);
  bool enableDTMFReject(unsigned ts, bool on);
  bool enableDTMF(TonecReceiver& receiver, bool on);
  bool enableToneGenerator(unsigned ts, unsigned short freq1, unsigned short freq2, unsigned short amp1,
                           unsigned short amp2);
  bool configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params);
  bool enableIVA(TonecReceiver& receiver, bool on);
  void translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command);

  void OnEvent(int fd, short revents);

private:
  TonecReceiverService();

  // A new board: the device closed and the request ids afresh; then
  // construction's opening.
  void release() override;
  void restart() override { init(); }

  // A request that takes the time slot by value, logged as head + "[ts] ok".
  bool SwitchByValue(unsigned long request, unsigned ts, const char* head);
  void Dispatch(const uint8_t* record);

  Event event_;
  uint32_t requestId_;
};

class TonecReceiver {
public:
  // One detector event of the receiver's time slot.
  struct Params {
    uint32_t code;
    uint32_t timestamp;
  };

  // Joins the dispatch list at its end (and makes sure the service exists).
  TonecReceiver();
  virtual ~TonecReceiver();
  TonecReceiver(const TonecReceiver&) = delete;
  TonecReceiver& operator=(const TonecReceiver&) = delete;

  virtual void tonec_event(const Params& params) = 0;
  // The switch channel under which the device knows the slot's time slot.
  virtual unsigned tonec_timeslot() const = 0;
  // A digit string has been played to its end.
  virtual void tone_gen_complete() {}

  bool configureDTMF(const LGCP::DTMFParams& params);
  bool echoCancel(bool on);
  bool enableDTMF(bool on);
  bool disableDTMF();
  bool enableDTMFReject(bool on);
  bool configureIVA(const LGCP::IVAParams& params);
  bool enableIVA(bool on);
  void translateSelcal(const TERM::SelcalCommand& command);
  bool enableToneGenerator(unsigned short freq1, unsigned short freq2, unsigned short amp1, unsigned short amp2);
  bool enableSilence();
  // Without force it acts only while a digit string plays: it ends the
  // string and switches the generator off.
  bool disableToneGenerator(bool force);

  // Plays the digits as tone and pause pairs on the generator.
  void translateDTMF(const LGCP::TranslateDtmfParams& params);
  // Ring-back: 1425 Hz for 1000 ms, silence for 3000 ms, repeated.
  void activateAudibleCall();
  void cancelAudibleCall();
  void CleanBeforeDestroy();

  // Generator timer steps.
  void on_waitPauseFinish();
  void on_waitToneFinish();
  void on_DTMFPauseFinish();
  void on_DTMFToneFinish();

  bool detector_events() const { return detectorEvents_; }
  uint32_t request_id() const { return requestId_; }
  bool playing() const { return playing_; }
  bool iva_on() const { return ivaOn_; }
  bool dtmf_on() const { return dtmfOn_; }
  bool dtmf_reject_on() const { return dtmfRejectOn_; }

private:
  friend class TonecReceiverService;
  struct Link : Containers::CyclicList {
    TonecReceiver* owner = nullptr;
  };

  bool detectorEvents_;
  Timer generator_;
  bool playing_;
  uint32_t requestId_;
  LGCP::TranslateDtmfParams digits_;
  Link link_;
  bool ivaOn_;
  bool dtmfOn_;
  bool dtmfRejectOn_;
};

}  // namespace Hardware
