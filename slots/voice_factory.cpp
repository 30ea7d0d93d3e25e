#include "slots/voice_factory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/ext.h"
#include "hardware/mcc_ctl.h"
#include "messages/TERM/TERM.h"
#include "slots/voice_slots.h"

namespace {

std::string dhost2str(TERM::HostAddress const& host) {
  return std::string(host.get_iaddr()) + ":" + std::to_string(host.get_port().getValue());
}

}  // namespace

VoiceFactory& VoiceFactory::instance() {
  static VoiceFactory factory;
  return factory;
}

Slot* VoiceFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_voice())
    return nullptr;
  const LGCP::VoiceParams& voice = params.get_voice();
  if (voice.is_record())
    return CreateRecord(dhost2str(voice.get_record()));
  if (voice.is_player())
    return CreatePlay(voice.get_player());
  return nullptr;
}

bool VoiceFactory::OpenChannel(bool forWriting, Fd& channel, int& timeslot) {
  channel.reset(MccCtl::Open((forWriting ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC).release());
  if (!channel) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to open /dev/mcc/ctl device for "
              << (forWriting ? "writing: " : "reading: ") << std::strerror(err) << std::endl;
    return false;
  }
  // Players send in large blocks, recorders receive in them.
  MccCtl::Allocation allocation{MccCtl::Transparent, 1024, forWriting ? 0u : 5u, forWriting ? 5u : 0u};
  if (!MccCtl::Allocate(channel, allocation)) {
    int err = errno;
    std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << std::strerror(err) << std::endl;
    return false;
  }
  timeslot = MccCtl::Timeslot(channel);
  if (timeslot < 0) {
    std::cerr << ext::header(this) << "MCC_TIMESLOT request failed." << std::endl;
    return false;
  }
  return true;
}

Slot* VoiceFactory::CreateRecord(const std::string& peer) {
  Fd channel;
  int timeslot;
  if (!OpenChannel(false, channel, timeslot))
    return nullptr;
  return new RecordSlot(peer, timeslot, channel);
}

Slot* VoiceFactory::CreatePlay(LGCP::PlayerParams const& params) {
  if (!params.is_network() && !params.is_file())
    return nullptr;
  Fd channel;
  int timeslot;
  if (!OpenChannel(true, channel, timeslot))
    return nullptr;
  if (params.is_network()) {
    const LGCP::PlayerParams_network& n = params.get_network();
    return new PlaySlotNetwork(timeslot, channel, dhost2str(n.get_host()), static_cast<uint32_t>(n.get_id().getValue()));
  }
  const LGCP::PlayerParams_file& f = params.get_file();
  std::vector<std::string> names;
  for (const ASN1::IA5String& name : f.get_name())
    names.push_back(name);
  return new PlaySlotFile(timeslot, channel, std::move(names), static_cast<uint32_t>(f.get_repeat().getValue()));
}
