#include "hardware/tonec_receiver.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/device_io.h"
#include "hardware/event_records.h"
#include "hardware/board_order.h"
#include "hardware/device_names.h"
#include "hardware/errno_suffix.h"
#include "messages/TERM/TERM.h"

namespace Dtmf {

const unsigned freq1[4] = {697, 770, 852, 941};
const unsigned freq2[4] = {1209, 1336, 1477, 1633};
const char strRep[4][4] = {{'1', '2', '3', 'A'}, {'4', '5', '6', 'B'}, {'7', '8', '9', 'C'}, {'*', '0', '#', 'D'}};

namespace {
std::map<std::pair<unsigned, unsigned>, char> BuildValidator() {
  std::map<std::pair<unsigned, unsigned>, char> keys;
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      keys[{freq1[row], freq2[column]}] = strRep[row][column];
  return keys;
}
}  // namespace

const std::map<std::pair<unsigned, unsigned>, char> tonesValidator = BuildValidator();

}  // namespace Dtmf

namespace Hardware {

namespace {

// Requests of "/dev/dtmf" in the board's encoding.
constexpr unsigned long DTMF_CONFIGURE_DETECTOR = 0x40144202;
constexpr unsigned long DTMF_ENABLE_DETECTOR = 0x40084203;
constexpr unsigned long DTMF_DISABLE_DETECTOR = 0x40044204;
constexpr unsigned long DTMF_DIAL = 0x400c4205;
constexpr unsigned long CHANNEL_LMS_ON = 0x40044206;
constexpr unsigned long CHANNEL_LMS_OFF = 0x40044207;
constexpr unsigned long DTMF_REJECTION_ENABLE = 0x40044209;
constexpr unsigned long DTMF_REJECTION_DISABLE = 0x4004420a;
constexpr unsigned long IVA_DETECTOR_ENABLE = 0x4004420b;
constexpr unsigned long IVA_DETECTOR_DISABLE = 0x4004420c;
constexpr unsigned long IVA_CONFIGURE_DETECTOR = 0x4008420d;
constexpr unsigned long SELCAL_DIAL = 0x400c420e;

struct DetectorRecord {
  be_u32 ts, twist, ratio, silence, noise;
};
struct EnableRecord {
  be_u32 ts, id;
};
struct DialRecord {
  be_u32 ts;
  be_u16 freq1, freq2, amp1, amp2;
};
struct IvaRecord {
  be_u32 ts;
  be_i32 levelDb;
};
struct SelcalRecord {
  be_u32 ts;
  be_u16 amp;
  char signs[4];
  uint8_t zero[2] = {};
};
struct EventRecord {
  be_u32 code, ts, timestamp, id;
};
static_assert(sizeof(DetectorRecord) == 20 && sizeof(DialRecord) == 12 && sizeof(SelcalRecord) == 12,
              "driver layout");
static_assert(sizeof(EventRecord) == TonecReceiverService::RecordSize, "driver layout");

// Default amplitudes and durations of a digit string.
constexpr int DigitAmplitude = 16384;
constexpr int DigitMs = 70;
// The ring-back cadence.
constexpr unsigned short RingFrequency = 1425;
constexpr unsigned short RingAmplitude = 2048;
constexpr unsigned RingToneMs = 1000;
constexpr unsigned RingPauseMs = 3000;
constexpr int SelcalAmplitude = 12000;

Containers::CyclicList& Receivers() {
  static Containers::CyclicList head;
  return head;
}

std::ostream& PutRecord(std::ostream& out, const EventRecord& r) {
  return out << " timestamp=" << uint32_t(r.timestamp) << " timeslot=" << uint32_t(r.ts)
             << " code=" << uint32_t(r.code) << " id=" << uint32_t(r.id);
}

int OrDefault(bool present, const ASN1::INTEGER& value, int fallback) {
  return present ? value.getValue() : fallback;
}

}  // namespace

TonecReceiverService* TonecReceiverService::instance() {
  static TonecReceiverService service;
  return &service;
}

TonecReceiverService::TonecReceiverService() : requestId_(0) { init(); }

void TonecReceiverService::release() {
  event_.Release();
  requestId_ = 0;
}

void TonecReceiverService::init() {
  if (is_open())
    return;
  Fd fd(DevIo::open(GetDTMFDevName(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    int err = errno;
    std::cerr << "open tonec fail, DTMF proceeding disabled: " << strerror(err) << std::endl;
    return;
  }
  event_.Bind("TonecReceiverService::OnEvent", &TonecReceiverService::OnEvent, this);
  event_.Schedule(fd, POLLIN);
}

bool TonecReceiverService::configureDTMF(unsigned ts, const LGCP::DTMFParams& params) {
  init();
  if (!is_open()) {
    std::cerr << "configure DTMF fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  const LGCP::DTMFParams_threshold& t = params.get_threshold();
  DetectorRecord record;
  record.ts = ts;
  record.twist = static_cast<uint32_t>(t.get_twist().getValue());
  record.ratio = static_cast<uint32_t>(t.get_ratio().getValue());
  record.silence = static_cast<uint32_t>(params.get_level().get_silence().getValue());
  record.noise = static_cast<uint32_t>(t.get_noise().getValue());
  if (DevIo::ioctl(event_.fd().get(), DTMF_CONFIGURE_DETECTOR, &record) < 0) {
    int err = errno;
    std::cerr << "DTMF_CONFIGURE_DETECTOR fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "DTMF_CONFIGURE_DETECTOR" << " ts=" << ts << " twist=" << uint32_t(record.twist)
            << " ratio=" << uint32_t(record.ratio) << " noise=" << uint32_t(record.noise)
            << " silence=" << uint32_t(record.silence) << std::endl;
  return true;
}

bool TonecReceiverService::SwitchByValue(unsigned long request, unsigned ts, const char* head) {
  if (DevIo::ioctl_value(event_.fd().get(), request, ts) < 0) {
    int err = errno;
    std::cerr << head << " fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << head << "[" << ts << "] ok" << std::endl;
  return true;
}

bool TonecReceiverService::echoCancel(unsigned ts, bool on) {
  return on ? SwitchByValue(CHANNEL_LMS_ON, ts, "CHANNEL_LMS_ON") : SwitchByValue(CHANNEL_LMS_OFF, ts, "CHANNEL_LMS_OFF");
}

bool TonecReceiverService::enableDTMFReject(unsigned ts, bool on) {
  return on ? SwitchByValue(DTMF_REJECTION_ENABLE, ts, "DTMF_REJECTION_ENABLE")
            : SwitchByValue(DTMF_REJECTION_DISABLE, ts, "DTMF_REJECTION_DISABLE");
}

bool TonecReceiverService::enableDTMF(TonecReceiver& receiver, bool on) {
  if (receiver.detectorEvents_ == on)
    return true;
  unsigned ts = receiver.tonec_timeslot();
  if (on) {
    if (++requestId_ == 0)
      requestId_ = 1;
    uint32_t id = requestId_;
    EnableRecord record;
    record.ts = ts;
    record.id = id;
    if (DevIo::ioctl(event_.fd().get(), DTMF_ENABLE_DETECTOR, &record) < 0) {
      int err = errno;
      std::cerr << "DTMF_ENABLE_DETECTOR fail:" << " timeslot=" << ts << " id=" << id << ErrnoSuffix(err)
                << std::endl;
      return false;
    }
    receiver.requestId_ = id;
    receiver.detectorEvents_ = true;
    std::cerr << "DTMF_ENABLE_DETECTOR done:" << " timeslot=" << ts << " id=" << id << std::endl;
    return true;
  }
  if (DevIo::ioctl_value(event_.fd().get(), DTMF_DISABLE_DETECTOR, ts) < 0) {
    int err = errno;
    std::cerr << "DTMF_DISABLE_DETECTOR fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  receiver.detectorEvents_ = false;
  std::cerr << "DTMF_DISABLE_DETECTOR done:" << " timeslot=" << ts << std::endl;
  return true;
}

bool TonecReceiverService::enableToneGenerator(unsigned ts, unsigned short freq1, unsigned short freq2,
                                               unsigned short amp1, unsigned short amp2) {
  DialRecord record;
  record.ts = ts;
  record.freq1 = freq1;
  record.freq2 = freq2;
  record.amp1 = amp1;
  record.amp2 = amp2;
  if (DevIo::ioctl(event_.fd().get(), DTMF_DIAL, &record) < 0) {
    int err = errno;
    std::cerr << "DTMF_DIAL fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  return true;
}

bool TonecReceiverService::configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params) {
  unsigned ts = receiver.tonec_timeslot();
  init();
  if (!is_open()) {
    std::cerr << "configure IVA fail: (interface not opened)" << " timeslot=" << ts << std::endl;
    return false;
  }
  IvaRecord record;
  record.ts = ts;
  record.levelDb = params.get_det_lvl_dB().getValue();
  if (DevIo::ioctl(event_.fd().get(), IVA_CONFIGURE_DETECTOR, &record) < 0) {
    int err = errno;
    std::cerr << "IVA_CONFIGURE_DETECTOR fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
    return false;
  }
  std::clog << "IVA_CONFIGURE_DETECTOR" << " ts=" << ts << " det_lvl_dB=" << int32_t(record.levelDb) << std::endl;
  return true;
}

bool TonecReceiverService::enableIVA(TonecReceiver& receiver, bool on) {
  unsigned ts = receiver.tonec_timeslot();
  bool done = on ? SwitchByValue(IVA_DETECTOR_ENABLE, ts, "IVA_DETECTOR_ENABLE")
                 : SwitchByValue(IVA_DETECTOR_DISABLE, ts, "IVA_DETECTOR_DISABLE");
  if (done)
    receiver.detectorEvents_ = on;
  return done;
}

void TonecReceiverService::translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command) {
  unsigned ts = receiver.tonec_timeslot();
  const std::string& signs = command.get_signs().getValue();
  if (signs.size() < 4) {
    std::cerr << "SELCAL_DIAL fail:" << " timeslot=" << ts << " incorect signs:" << signs << std::endl;
    return;
  }
  SelcalRecord record;
  record.ts = ts;
  record.amp = static_cast<uint16_t>(OrDefault(command.has_amp(), command.get_amp(), SelcalAmplitude));
  std::memcpy(record.signs, signs.data(), sizeof record.signs);
  if (DevIo::ioctl(event_.fd().get(), SELCAL_DIAL, &record) < 0) {
    int err = errno;
    std::cerr << "SELCAL_DIAL fail:" << " timeslot=" << ts << ErrnoSuffix(err) << std::endl;
  }
}

void TonecReceiverService::OnEvent(int fd, short revents) {
  if (!ServiceEventDevice<RecordSize>(fd, revents, "tonec", [this](const uint8_t* record) { Dispatch(record); }))
    event_.Release();
}

void TonecReceiverService::Dispatch(const uint8_t* bytes) {
  EventRecord r;
  std::memcpy(&r, bytes, sizeof r);
  PutRecord(std::clog << "dtmf event: ", r) << std::endl;
  for (Containers::CyclicList* node : Receivers()) {
    TonecReceiver* receiver = static_cast<TonecReceiver::Link*>(node)->owner;
    if (receiver->tonec_timeslot() != uint32_t(r.ts))
      continue;
    if (!receiver->detectorEvents_)
      PutRecord(std::clog << "ignore spurious dtmf event (DTMF disabled): ", r) << std::endl;
    else if (uint32_t(r.id) == receiver->requestId_)
      receiver->tonec_event(TonecReceiver::Params{r.code, r.timestamp});
    else
      PutRecord(std::clog << "ignore spurious dtmf event: ", r) << " rid=" << receiver->requestId_ << std::endl;
    return;
  }
  std::cerr << "receive tonec event from unknown timeslot " << uint32_t(r.ts) << std::endl;
}

TonecReceiver::TonecReceiver()
    : detectorEvents_(false), playing_(false), requestId_(0), ivaOn_(false), dtmfOn_(false), dtmfRejectOn_(false) {
  TonecReceiverService::instance();
  link_.owner = this;
  Receivers().AddTail(&link_);
}

TonecReceiver::~TonecReceiver() { link_.Del(); }

bool TonecReceiver::configureDTMF(const LGCP::DTMFParams& params) {
  return TonecReceiverService::instance()->configureDTMF(tonec_timeslot(), params);
}

bool TonecReceiver::echoCancel(bool on) { return TonecReceiverService::instance()->echoCancel(tonec_timeslot(), on); }

bool TonecReceiver::enableDTMF(bool on) {
  if (!TonecReceiverService::instance()->enableDTMF(*this, on))
    return false;
  dtmfOn_ = on;
  return true;
}

bool TonecReceiver::disableDTMF() { return enableDTMF(false); }

bool TonecReceiver::enableDTMFReject(bool on) {
  if (!TonecReceiverService::instance()->enableDTMFReject(tonec_timeslot(), on))
    return false;
  dtmfRejectOn_ = on;
  return true;
}

bool TonecReceiver::configureIVA(const LGCP::IVAParams& params) {
  return TonecReceiverService::instance()->configureIVA(*this, params);
}

bool TonecReceiver::enableIVA(bool on) {
  if (!TonecReceiverService::instance()->enableIVA(*this, on))
    return false;
  ivaOn_ = on;
  return true;
}

void TonecReceiver::translateSelcal(const TERM::SelcalCommand& command) {
  TonecReceiverService::instance()->translateSelcal(*this, command);
}

bool TonecReceiver::enableToneGenerator(unsigned short freq1, unsigned short freq2, unsigned short amp1,
                                        unsigned short amp2) {
  return TonecReceiverService::instance()->enableToneGenerator(tonec_timeslot(), freq1, freq2, amp1, amp2);
}

bool TonecReceiver::enableSilence() { return enableToneGenerator(1000, 1000, 0, 0); }

bool TonecReceiver::disableToneGenerator(bool force) {
  if (!force && !playing_)
    return false;
  if (playing_) {
    generator_.reset();
    playing_ = false;
  }
  return enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::translateDTMF(const LGCP::TranslateDtmfParams& params) {
  digits_ = params;
  if (playing_)
    return;
  playing_ = true;
  on_DTMFPauseFinish();
}

void TonecReceiver::on_DTMFPauseFinish() {
  auto& digits = digits_.mutable_digits();
  if (digits.size() == 0) {
    disableToneGenerator(true);
    tone_gen_complete();
    return;
  }
  const LGCP::DualTone& tone = digits[0];
  enableToneGenerator(static_cast<unsigned short>(tone.get_freq1().getValue()),
                      static_cast<unsigned short>(tone.get_freq2().getValue()),
                      static_cast<unsigned short>(OrDefault(digits_.has_amp1(), digits_.get_amp1(), DigitAmplitude)),
                      static_cast<unsigned short>(OrDefault(digits_.has_amp2(), digits_.get_amp2(), DigitAmplitude)));
  digits.erase(digits.begin());
  int ms = OrDefault(digits_.has_toneDuration(), digits_.get_toneDuration(), DigitMs);
  generator_.set(static_cast<unsigned>(ms), &TonecReceiver::on_DTMFToneFinish, this);
}

void TonecReceiver::on_DTMFToneFinish() {
  enableSilence();
  int ms = OrDefault(digits_.has_pauseDuration(), digits_.get_pauseDuration(), DigitMs);
  generator_.set(static_cast<unsigned>(ms), &TonecReceiver::on_DTMFPauseFinish, this);
}

void TonecReceiver::activateAudibleCall() {
  // The cadence takes the generator over: a digit string still playing is
  // abandoned, so that later strings and cancelAudibleCall work again.
  playing_ = false;
  on_waitPauseFinish();
}

void TonecReceiver::on_waitPauseFinish() {
  enableToneGenerator(RingFrequency, 0, RingAmplitude, RingAmplitude);
  generator_.set(RingToneMs, &TonecReceiver::on_waitToneFinish, this);
}

void TonecReceiver::on_waitToneFinish() {
  enableSilence();
  generator_.set(RingPauseMs, &TonecReceiver::on_waitPauseFinish, this);
}

void TonecReceiver::cancelAudibleCall() {
  if (playing_)
    return;
  generator_.reset();
  enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::CleanBeforeDestroy() {
  if (dtmfOn_)
    disableDTMF();
  if (ivaOn_)
    enableIVA(false);
  if (dtmfRejectOn_)
    enableDTMFReject(false);
}

}  // namespace Hardware
