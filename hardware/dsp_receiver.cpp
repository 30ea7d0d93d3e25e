#include "hardware/dsp_receiver.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "core/traces.h"
#include "foundation/device_io.h"
#include "hardware/event_records.h"
#include "hardware/device_names.h"
#include "hardware/errno_suffix.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM.h"

float dsproc_bss_event::score() const {
  uint32_t bits = score_bits;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

namespace Hardware {

namespace {

// Requests of "/dev/dsp" in the board's encoding.
constexpr unsigned long DSPROC_CONFIGURE = 0x40146401;
constexpr unsigned long DSPROC_ENABLE = 0x400c6402;
constexpr unsigned long DSPROC_DISABLE = 0x400c6403;
constexpr unsigned long DSPROC_VERSION = 0x40046404;

struct ConfigureRecord {
  be_u32 ts;
  be_u32 feature;
  uint8_t params[12] = {};
};
struct SwitchRecord {
  be_u32 ts;
  be_u32 id;
  be_u32 features;
};
// Parameter layouts of the configure record, from offset 8.
struct VadV2Params {
  be_u16 voiceMs;
  be_u16 silenceMs;
  uint8_t energyDb;
};
struct Words3 {
  be_u32 a, b, c;
};
struct ToneFilterParams {
  be_u16 freq;
  uint8_t enable;
  uint8_t unused;
  be_u16 durationMs;
  int8_t levelDb;
};
struct EventRecord {
  be_u32 ts;
  be_u32 id;
  be_u32 type;
  uint8_t payload[12];
};
struct VadPayload {
  be_u32 mask;
  be_i32 rx;
  be_i32 tx;
};
static_assert(sizeof(ConfigureRecord) == 20 && sizeof(SwitchRecord) == 12, "driver layout");
static_assert(sizeof(EventRecord) == DSProcReceiverService::RecordSize, "driver layout");
static_assert(sizeof(ToneFilterParams) <= 12 && sizeof(VadV2Params) <= 12, "driver layout");

template <class P>
void SetParams(ConfigureRecord& record, const P& params) {
  std::memcpy(record.params, &params, sizeof params);
}

// Receivers in order of construction.
Containers::CyclicList& Receivers() {
  static Containers::CyclicList head;
  return head;
}

std::ostream& PutRecord(std::ostream& out, const EventRecord& r) {
  return out << " timeslot=" << uint32_t(r.ts) << " id=" << uint32_t(r.id) << " type=" << uint32_t(r.type);
}

}  // namespace

// A switchable feature: its bit, where the receiver keeps its state and
// request id, and the names in its log lines.
struct DSProcReceiverService::Switch {
  uint32_t bit;
  int32_t DSProcReceiver::*state;
  uint32_t DSProcReceiver::*id;
  const char* name;
};

DSProcReceiverService* DSProcReceiverService::instance() {
  static DSProcReceiverService service;
  return &service;
}

DSProcReceiverService::DSProcReceiverService() : requestId_(0) { init(); }

void DSProcReceiverService::release() {
  event_.Release();
  requestId_ = 0;
}

void DSProcReceiverService::init() {
  if (is_open())
    return;
  Fd fd(DevIo::open(GetDSPDevName(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    int err = errno;
    std::cerr << "open dsproc fail, VAD proceeding disabled: " << strerror(err) << std::endl;
    return;
  }
  event_.Bind("DSProcReceiverService::OnEvent", &DSProcReceiverService::OnEvent, this);
  event_.Schedule(fd, POLLIN);
}

uint32_t DSProcReceiverService::NextRequestId() {
  if (++requestId_ == 0)
    requestId_ = 1;
  return requestId_;
}

bool DSProcReceiverService::Configure(const void* record, int& err) {
  if (DevIo::ioctl(event_.fd().get(), DSPROC_CONFIGURE, const_cast<void*>(record)) < 0) {
    err = errno;
    return false;
  }
  return true;
}

bool DSProcReceiverService::configureVAD(unsigned ts, const LGCP::VADParams& params) {
  init();
  if (!is_open()) {
    std::cerr << "configure VAD fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  ConfigureRecord record;
  record.ts = ts;
  record.feature = VAD;
  if (DevIo::ioctl(event_.fd().get(), DSPROC_VERSION, nullptr) == 2) {
    if (!params.is_v2()) {
      std::cerr << "DSPROC_CONFIGURE VAD: params not specified for v2: " << " timeslot=" << ts << std::endl;
      return false;
    }
    const TERM::VADParamsV2& v2 = params.get_v2();
    VadV2Params p;
    p.voiceMs = static_cast<uint16_t>(v2.get_voice_th_msec().getValue());
    p.silenceMs = static_cast<uint16_t>(v2.get_silence_th_msec().getValue());
    p.energyDb = static_cast<uint8_t>(v2.get_e_th_dB().getValue());
    SetParams(record, p);
  } else {
    SetParams(record, Words3{3, 127, 0});
  }
  int err = 0;
  if (!Configure(&record, err)) {
    std::cerr << "DSPROC_CONFIGURE VAD fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DSPROC_CONFIGURE VAD" << " ts=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::configureSD(unsigned ts) {
  init();
  if (!is_open()) {
    std::cerr << "configure SD fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  ConfigureRecord record;
  record.ts = ts;
  record.feature = SD;
  int err = 0;
  if (!Configure(&record, err)) {
    std::cerr << "DSPROC_CONFIGURE SD fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DSPROC_CONFIGURE SD" << " ts=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::configureDelays(unsigned ts, unsigned rx, unsigned tx, unsigned selcal) {
  init();
  if (!is_open()) {
    std::cerr << "configure Delays fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  ConfigureRecord record;
  record.ts = ts;
  record.feature = Delays;
  SetParams(record, Words3{rx, tx, selcal});
  int err = 0;
  if (!Configure(&record, err)) {
    std::cerr << "DSPROC_CONFIGURE DELAYS fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DSPROC_CONFIGURE DELAYS" << " ts=" << ts << " rx=" << rx << " tx=" << tx << " selcal=" << selcal
            << std::endl;
  return true;
}

bool DSProcReceiverService::configureRxGain(unsigned ts, signed char gainDb) {
  init();
  if (!is_open()) {
    std::cerr << "Configure Rx gain fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  ConfigureRecord record;
  record.ts = ts;
  record.feature = RxGain;
  record.params[0] = static_cast<uint8_t>(gainDb);
  int err = 0;
  if (!Configure(&record, err)) {
    std::cerr << "DSPROC_CONFIGURE Rx Gain fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DSPROC_CONFIGURE RX GAIN" << " ts=" << ts << " gain_dB=" << int(gainDb) << std::endl;
  return true;
}

bool DSProcReceiverService::configureToneFilter(unsigned ts, unsigned freq, unsigned enable, int durationMs,
                                                int levelDb) {
  init();
  if (!is_open()) {
    std::cerr << "Configure Tone Filter fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  ConfigureRecord record;
  record.ts = ts;
  record.feature = ToneFilter;
  ToneFilterParams p;
  p.freq = static_cast<uint16_t>(freq);
  p.enable = static_cast<uint8_t>(enable);
  p.unused = 0;
  p.durationMs = static_cast<uint16_t>(durationMs);
  p.levelDb = static_cast<int8_t>(levelDb);
  SetParams(record, p);
  int err = 0;
  if (!Configure(&record, err)) {
    std::cerr << "DSPROC_CONFIGURE Tone Filter fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DSPROC_CONFIGURE TONE FILTER" << " ts=" << ts << " freq=" << freq << ", en=" << enable
            << ", dur_th_msec=" << durationMs << ", det_lvl_dB=" << levelDb << std::endl;
  return true;
}

bool DSProcReceiverService::Enable(DSProcReceiver& receiver, const Switch& feature, bool on) {
  int32_t& state = receiver.*feature.state;
  if (state >= 0 && state == int32_t(on))
    return true;
  SwitchRecord record;
  record.ts = receiver.dsproc_timeslot();
  record.features = feature.bit;
  if (on) {
    uint32_t id = NextRequestId();
    record.id = id;
    if (DevIo::ioctl(event_.fd().get(), DSPROC_ENABLE, &record) < 0) {
      int err = errno;
      std::cerr << "DSPROC_ENABLE " << feature.name << " fail:" << " timeslot=" << uint32_t(record.ts)
                << " id=" << id << ErrnoSuffix(err) << std::endl;
      return false;
    }
    receiver.*feature.id = id;
    state = 1;
    std::cerr << "DSPROC_ENABLE " << feature.name << " done:" << " timeslot=" << uint32_t(record.ts) << " id=" << id
              << std::endl;
    return true;
  }
  record.id = 0;
  if (DevIo::ioctl(event_.fd().get(), DSPROC_DISABLE, &record) < 0) {
    int err = errno;
    std::cerr << "DSPROC_DISABLE " << feature.name << " fail:" << " timeslot=" << uint32_t(record.ts)
              << ErrnoSuffix(err) << std::endl;
    return false;
  }
  state = 0;
  std::cerr << "DSPROC_DISABLE " << feature.name << " done:" << " timeslot=" << uint32_t(record.ts) << std::endl;
  return true;
}

bool DSProcReceiverService::enableVAD(DSProcReceiver& receiver, bool on) {
  static const Switch vad{VAD, &DSProcReceiver::vadState_, &DSProcReceiver::vadId_, "VAD"};
  return Enable(receiver, vad, on);
}

bool DSProcReceiverService::enableBSS(DSProcReceiver& receiver, bool on) {
  static const Switch bss{BSS, &DSProcReceiver::bssState_, &DSProcReceiver::bssId_, "BSS"};
  return Enable(receiver, bss, on);
}

bool DSProcReceiverService::enableNG(DSProcReceiver& receiver, bool on) {
  static const Switch ng{NG, &DSProcReceiver::ngState_, &DSProcReceiver::ngId_, "NG"};
  return Enable(receiver, ng, on);
}

bool DSProcReceiverService::enableSelcalSh(DSProcReceiver& receiver, bool on) {
  static const Switch sh{SelcalSh, &DSProcReceiver::selcalShState_, &DSProcReceiver::selcalShId_, "SELCAL_SH"};
  return Enable(receiver, sh, on);
}

bool DSProcReceiverService::enableSD(DSProcReceiver& receiver, bool on) {
  static const Switch sd{SD, &DSProcReceiver::sdState_, &DSProcReceiver::sdId_, "SD"};
  return Enable(receiver, sd, on);
}

bool DSProcReceiverService::enableMute(DSProcReceiver& receiver, bool rx, bool tx) {
  if (receiver.rxMuteState_ >= 0 && receiver.txMuteState_ >= 0 && receiver.rxMuteState_ == int32_t(rx) &&
      receiver.txMuteState_ == int32_t(tx))
    return true;
  SwitchRecord record;
  record.ts = receiver.dsproc_timeslot();
  if (!rx && !tx) {
    record.id = 0;
    record.features = RxMute | TxMute;
    if (DevIo::ioctl(event_.fd().get(), DSPROC_DISABLE, &record) < 0) {
      int err = errno;
      std::cerr << "DSPROC_DISABLE MUTE fail:" << " timeslot=" << uint32_t(record.ts) << ErrnoSuffix(err)
                << std::endl;
      return false;
    }
    receiver.rxMuteState_ = receiver.txMuteState_ = 0;
    std::cerr << "DSPROC_DISABLE MUTE done:" << " timeslot=" << uint32_t(record.ts) << std::endl;
    return true;
  }
  uint32_t id = NextRequestId();
  record.id = id;
  record.features = (rx ? uint32_t(RxMute) : 0u) | (tx ? uint32_t(TxMute) : 0u);
  if (DevIo::ioctl(event_.fd().get(), DSPROC_ENABLE, &record) < 0) {
    int err = errno;
    std::cerr << "DSPROC_ENABLE MUTE fail:" << " timeslot=" << uint32_t(record.ts) << " id=" << id
              << ErrnoSuffix(err) << std::endl;
    return false;
  }
  receiver.rxMuteState_ = rx;
  receiver.txMuteState_ = tx;
  receiver.muteId_ = id;
  std::cerr << "DSPROC_ENABLE MUTE done:" << " timeslot=" << uint32_t(record.ts) << " id=" << id << std::endl;
  return true;
}

bool DSProcReceiverService::disableToneAll(DSProcReceiver& receiver) {
  unsigned ts = receiver.dsproc_timeslot();
  init();
  if (!is_open()) {
    std::cerr << "Disable All Tone fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  SwitchRecord record;
  record.ts = ts;
  record.id = 0;
  record.features = ToneFilter;
  if (DevIo::ioctl(event_.fd().get(), DSPROC_DISABLE, &record) < 0) {
    int err = errno;
    std::cerr << "Disable All Tone fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DISABLE ALL TONE done: " << " ts=" << ts << std::endl;
  return true;
}

void DSProcReceiverService::OnEvent(int fd, short revents) {
  if (!ServiceEventDevice<RecordSize>(fd, revents, "dsproc", [this](const uint8_t* record) { Dispatch(record); }))
    event_.Release();
}

void DSProcReceiverService::Dispatch(const uint8_t* bytes) {
  EventRecord r;
  std::memcpy(&r, bytes, sizeof r);
  const uint32_t ts = r.ts, id = r.id, type = r.type;
  // The VAD payload's words; an SD event's value is the first.
  VadPayload vad;
  std::memcpy(&vad, r.payload, sizeof vad);
  if (traces.events) {
    PutRecord(std::clog << "dsproc event: ", r) << std::endl;
    switch (type) {
    case VAD:
      std::clog << "dsproc vad event: " << " dir_mask=" << uint32_t(vad.mask) << " vad_rx=" << int32_t(vad.rx)
                << " vad_tx=" << int32_t(vad.tx) << std::endl;
      break;
    case SD:
      std::clog << "dsproc sd event: " << " sd_rx=" << int32_t(vad.mask) << std::endl;
      break;
    case BSS:
      std::clog << "dsproc bss event: " << " score=" << reinterpret_cast<const dsproc_bss_event*>(r.payload)->score()
                << std::endl;
      break;
    case Flags: {
      const auto* f = reinterpret_cast<const dsproc_flags_event*>(r.payload);
      std::clog << "dsproc flags event: " << " flags=" << std::hex << uint32_t(f->flags) << ", mask=" << uint32_t(f->mask)
                << std::dec << std::endl;
      break;
    }
    default:
      break;
    }
  }

  DSProcReceiver* receiver = nullptr;
  for (Containers::CyclicList* node : Receivers()) {
    DSProcReceiver* candidate = static_cast<DSProcReceiver::Link*>(node)->owner;
    if (candidate->dsproc_timeslot() == ts) {
      receiver = candidate;
      break;
    }
  }
  if (!receiver) {
    if (traces.events)
      std::cerr << "receive dsproc event from unknown timeslot " << ts << std::endl;
    return;
  }

  switch (type) {
  case VAD:
    if (receiver->vadState_ == 0) {
      if (traces.events)
        PutRecord(std::clog << "ignore spurious dsproc vad event (dsproc disabled): ", r) << std::endl;
    } else if (id == receiver->vadId_) {
      DSProcVADEvent event{(vad.mask & 1) ? int32_t(vad.rx) : -1, (vad.mask & 2) ? int32_t(vad.tx) : -1};
      receiver->dsproc_vad_event(event);
    } else if (traces.events) {
      PutRecord(std::clog << "ignore spurious dsproc vad event: ", r) << " rid=" << receiver->vadId_ << std::endl;
    }
    break;
  case SD:
    if (receiver->sdState_ != 0 && id == receiver->sdId_)
      receiver->dsproc_sd_event(DSProcSDEvent{int32_t(vad.mask)});
    break;
  case BSS:
    if (receiver->bssState_ == 0) {
      if (traces.events)
        PutRecord(std::clog << "ignore spurious dsproc bss event (dsproc disabled): ", r) << std::endl;
    } else {
      receiver->dsproc_bss_event(reinterpret_cast<const dsproc_bss_event*>(r.payload));
    }
    break;
  case ToneFilter:
    receiver->dsproc_tone_flt_event(reinterpret_cast<const dsproc_tone_event*>(r.payload));
    break;
  case Flags:
    receiver->dsproc_flags_event(reinterpret_cast<const dsproc_flags_event*>(r.payload));
    break;
  default:
    break;
  }
}

DSProcReceiver::DSProcReceiver()
    : vadState_(-1), vadId_(0), bssState_(0), bssId_(0), ngState_(0), ngId_(0), selcalShState_(0), selcalShId_(0),
      sdState_(-1), sdId_(0), rxMuteState_(-1), txMuteState_(-1), muteId_(0), delaysSet_(false), rxGainSet_(false) {
  DSProcReceiverService::instance();
  link_.owner = this;
  Receivers().AddTail(&link_);
}

DSProcReceiver::~DSProcReceiver() { link_.Del(); }

bool DSProcReceiver::configureVAD(const LGCP::VADParams& params) {
  return DSProcReceiverService::instance()->configureVAD(dsproc_timeslot(), params);
}
bool DSProcReceiver::enableVAD(bool on) { return DSProcReceiverService::instance()->enableVAD(*this, on); }
bool DSProcReceiver::enableBSS(bool on) { return DSProcReceiverService::instance()->enableBSS(*this, on); }
bool DSProcReceiver::enableNG(bool on) { return DSProcReceiverService::instance()->enableNG(*this, on); }
bool DSProcReceiver::enableSelcalSh(bool on) { return DSProcReceiverService::instance()->enableSelcalSh(*this, on); }
bool DSProcReceiver::configureSD() { return DSProcReceiverService::instance()->configureSD(dsproc_timeslot()); }
bool DSProcReceiver::enableSD(bool on) { return DSProcReceiverService::instance()->enableSD(*this, on); }
bool DSProcReceiver::enableMute(bool rx, bool tx) { return DSProcReceiverService::instance()->enableMute(*this, rx, tx); }

bool DSProcReceiver::configureDelays(unsigned rx, unsigned tx, unsigned selcal) {
  if (!DSProcReceiverService::instance()->configureDelays(dsproc_timeslot(), rx, tx, selcal))
    return false;
  delaysSet_ = rx || tx || selcal;
  return true;
}

bool DSProcReceiver::configureRxGain(signed char gainDb) {
  if (!DSProcReceiverService::instance()->configureRxGain(dsproc_timeslot(), gainDb))
    return false;
  rxGainSet_ = gainDb != 0;
  return true;
}

bool DSProcReceiver::configureToneFilter(unsigned freq, unsigned enable, int durationMs, int levelDb) {
  return DSProcReceiverService::instance()->configureToneFilter(dsproc_timeslot(), freq, enable, durationMs, levelDb);
}

bool DSProcReceiver::disableToneAll() { return DSProcReceiverService::instance()->disableToneAll(*this); }

void DSProcReceiver::CleanBeforeDestroy() {
  if (vadState_ == 1)
    disableVAD();
  if (bssState_ == 1)
    disableBSS();
  if (ngState_ == 1)
    disableNG();
  if (selcalShState_ == 1)
    disableSelcalSh();
  if (delaysSet_)
    configureDelays(0, 0, 0);
  if (rxGainSet_)
    configureRxGain(0);
  disableToneAll();
}

}  // namespace Hardware
