#include "rtp/rtp_factory_base.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/fd.h"
#include "hardware/device_names.h"

namespace {

constexpr unsigned long VOICE_CHANNELS = 0x40045602;  // codec number by value; result: its channels

}  // namespace

int translateCodec(const TERM::Payload& payload) {
  switch (payload.getValue()) {
  case TERM::Payload::ptG711_Alaw: return 8;
  case TERM::Payload::ptG711_Ulaw: return 0;
  case TERM::Payload::ptG723: return 4;
  case TERM::Payload::ptG729: return 18;
  case TERM::Payload::ptG711mcc_Alaw: return 136;
  case TERM::Payload::ptG711mcc_Ulaw: return 128;
  case TERM::Payload::ptG728: return 15;
  default: return 0;
  }
}

int translateCodec(const TERM::Payload& session, const TERM::Payload& override) {
  int value = override.getValue();
  bool g711 = value == TERM::Payload::ptG711_Alaw || value == TERM::Payload::ptG711_Ulaw;
  return translateCodec(g711 && value != session.getValue() ? override : session);
}

bool IsSessionPayload(const TERM::Payload& payload) {
  int value = payload.getValue();
  return (value >= TERM::Payload::ptG711_Alaw && value <= TERM::Payload::ptG711mcc_Ulaw) ||
         value == TERM::Payload::ptG728;
}

RtpFactoryBase::RtpFactoryBase(const char* name) : name_(name) { IQuery(); }

void RtpFactoryBase::IQuery() {
  g729_ = g723_ = g711_ = g711mcc_ = universal_ = 0;
  Fd voice(DevIo::open(GetVoiceDevName(), O_RDONLY | O_CLOEXEC));
  if (!voice) {
    int err = errno;
    std::cerr << ext::header(this) << "device " << ext::quoted(GetVoiceDevName()) << " open fail: " << strerror(err)
              << std::endl;
    return;
  }
  struct {
    Codec codec;
    int* count;
  } const counts[] = {{G729, &g729_}, {G723, &g723_}, {G711, &g711_}, {G711Mcc, &g711mcc_}, {Universal, &universal_}};
  for (const auto& c : counts) {
    int channels = DevIo::ioctl_value(voice.get(), VOICE_CHANNELS, c.codec);
    if (channels > 0)
      *c.count = channels;
  }
}

void RtpFactoryBase::Query(LGCP::Resources& resources) {
  IQuery();
  resources.set_rtp_g729(g729_);
  resources.set_rtp_g723(g723_);
  resources.set_rtp_g711(g711_);
  resources.set_rtp_g711mcc(g711mcc_);
  resources.set_universal(universal_);
}

void RtpFactoryBase::PutHeader(std::ostream& out) const {
  out << name_ << "[" << g723_ << "," << g729_ << "," << g711_ << "," << universal_ << "]: ";
}
