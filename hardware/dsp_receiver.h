#pragma once
// The DSP processing device "/dev/dsp": voice activity and signal
// detection, BSS scoring, noise gate, SELCAL shaping, mute, delays, receive
// gain and tone filters per time slot. DSProcReceiverService owns the
// device, switches the features and hands each event record to the
// receiver that owns the record's time slot; DSProcReceiver is the base a
// slot inherits to use the features and get the events.
#include <cstdint>

#include "foundation/cyclic_list.h"
#include "foundation/device_io.h"
#include "foundation/event.h"
#include "hardware/board_order.h"

namespace LGCP {
class VADParams;
}

// Event payloads as the driver lays them out (board order).
struct dsproc_bss_event {
  Hardware::be_u32 score_bits;  // IEEE single precision
  float score() const;
};
struct dsproc_tone_event {
  Hardware::be_u32 tone;
  uint8_t present;  // non-zero while the tone is present
  uint8_t unused[3];
};
struct dsproc_flags_event {
  Hardware::be_u32 flags;
  Hardware::be_u32 mask;
};

namespace Hardware {

// -1 for a direction the event carries no value for.
struct DSProcVADEvent {
  int32_t vad_rx;
  int32_t vad_tx;
};
struct DSProcSDEvent {
  int32_t sd_rx;
};

class DSProcReceiver;

class DSProcReceiverService : private DevIo::Holder {
public:
  // Feature bits: the feature codes of the requests and the event types.
  enum Feature : uint32_t {
    VAD = 1, SD = 2, RxMute = 4, TxMute = 8, BSS = 16, Delays = 32, RxGain = 64, NG = 128,
    ToneFilter = 256, Flags = 512, SelcalSh = 1024
  };
  // Size of one event record.
  static constexpr unsigned RecordSize = 24;

  static DSProcReceiverService* instance();

  // Opens the device and watches it, unless it is open already.
  void init();
  bool is_open() const { return static_cast<bool>(event_.fd()); }
  uint32_t last_request_id() const { return requestId_; }

  bool configureVAD(unsigned ts, const LGCP::VADParams& params);
  bool configureSD(unsigned ts);
  bool configureDelays(unsigned ts, unsigned rx, unsigned tx, unsigned selcal);
  bool configureRxGain(unsigned ts, signed char gainDb);
  bool configureToneFilter(unsigned ts, unsigned freq, unsigned enable, int durationMs, int levelDb);

  bool enableVAD(DSProcReceiver& receiver, bool on);
  bool enableBSS(DSProcReceiver& receiver, bool on);
  bool enableNG(DSProcReceiver& receiver, bool on);
  bool enableSelcalSh(DSProcReceiver& receiver, bool on);
  bool enableSD(DSProcReceiver& receiver, bool on);
  bool enableMute(DSProcReceiver& receiver, bool rx, bool tx);
  bool disableToneAll(DSProcReceiver& receiver);

  void OnEvent(int fd, short revents);

private:
  struct Switch;

  DSProcReceiverService();

  // A new board: the device closed and the request ids afresh; then
  // construction's opening.
  void release() override;
  void restart() override { init(); }

  uint32_t NextRequestId();
  bool Enable(DSProcReceiver& receiver, const Switch& feature, bool on);
  // Sends a configure record; the log lines are the caller's.
  bool Configure(const void* record, int& err);
  void Dispatch(const uint8_t* record);

  Event event_;
  uint32_t requestId_;
};

class DSProcReceiver {
public:
  // Joins the dispatch list at its end (and makes sure the service exists).
  DSProcReceiver();
  virtual ~DSProcReceiver();
  DSProcReceiver(const DSProcReceiver&) = delete;
  DSProcReceiver& operator=(const DSProcReceiver&) = delete;

  // What the slot implements.
  virtual void dsproc_vad_event(const DSProcVADEvent& event) = 0;
  virtual void dsproc_bss_event(const ::dsproc_bss_event* event) = 0;
  virtual void dsproc_sd_event(const DSProcSDEvent& event) = 0;
  virtual void dsproc_tone_flt_event(const ::dsproc_tone_event* event) = 0;
  virtual void dsproc_flags_event(const ::dsproc_flags_event* event) = 0;
  // The switch channel under which the device knows the slot's time slot.
  virtual unsigned dsproc_timeslot() const = 0;

  bool configureVAD(const LGCP::VADParams& params);
  bool enableVAD(bool on);
  bool disableVAD() { return enableVAD(false); }
  bool enableBSS(bool on);
  bool disableBSS() { return enableBSS(false); }
  bool enableNG(bool on);
  bool disableNG() { return enableNG(false); }
  bool enableSelcalSh(bool on);
  bool disableSelcalSh() { return enableSelcalSh(false); }
  bool configureSD();
  bool enableSD(bool on);
  bool disableSD() { return enableSD(false); }
  bool enableMute(bool rx, bool tx);
  bool disableMute() { return enableMute(false, false); }
  // Remember whether a non-zero setting is left for CleanBeforeDestroy.
  bool configureDelays(unsigned rx, unsigned tx, unsigned selcal);
  bool configureRxGain(signed char gainDb);
  bool configureToneFilter(unsigned freq, unsigned enable, int durationMs, int levelDb);
  bool disableToneAll();
  // Stops the device working on the time slot; slots call it before they go.
  void CleanBeforeDestroy();

  // Feature states: -1 unknown, 0 off, 1 on.
  int32_t vad_state() const { return vadState_; }
  uint32_t vad_id() const { return vadId_; }
  int32_t bss_state() const { return bssState_; }
  int32_t ng_state() const { return ngState_; }
  int32_t selcal_sh_state() const { return selcalShState_; }
  int32_t sd_state() const { return sdState_; }
  uint32_t sd_id() const { return sdId_; }
  int32_t rx_mute_state() const { return rxMuteState_; }
  int32_t tx_mute_state() const { return txMuteState_; }
  bool delays_set() const { return delaysSet_; }
  bool rx_gain_set() const { return rxGainSet_; }

private:
  friend class DSProcReceiverService;
  // The dispatch list's node, with the way back to its receiver.
  struct Link : Containers::CyclicList {
    DSProcReceiver* owner = nullptr;
  };

  int32_t vadState_;
  uint32_t vadId_;
  int32_t bssState_;
  uint32_t bssId_;
  int32_t ngState_;
  uint32_t ngId_;
  int32_t selcalShState_;
  uint32_t selcalShId_;
  int32_t sdState_;
  uint32_t sdId_;
  int32_t rxMuteState_;
  int32_t txMuteState_;
  uint32_t muteId_;
  bool delaysSet_;
  bool rxGainSet_;
  Link link_;
};

}  // namespace Hardware
