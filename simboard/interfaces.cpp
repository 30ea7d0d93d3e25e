#include "simboard/interfaces.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if.h>
#include <linux/sockios.h>
#include <netinet/in.h>

namespace SimBoard {

namespace {

const char HdlcPrefix[] = "hdlc";

std::string nameOf(const ifreq& req) { return std::string(req.ifr_name, strnlen(req.ifr_name, IFNAMSIZ)); }

bool hdlcRequest(unsigned long request, const std::string& name) {
  return (request == SIOCGIFINDEX || request == SIOCGIFFLAGS || request == SIOCSIFFLAGS || request == SIOCWANDEV) &&
         name.compare(0, sizeof HdlcPrefix - 1, HdlcPrefix) == 0;
}

void putAddress(sockaddr& to, uint32_t address) {
  sockaddr_in in;
  std::memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  std::memcpy(&to, &in, sizeof in);
}

}  // namespace

HdlcInterface::HdlcInterface(std::string name, int index, uint32_t slotMap)
    : name_(std::move(name)), index_(index), flags_(IFF_POINTOPOINT | IFF_NOARP), protocol_(IF_PROTO_HDLC),
      encoding_(0), parity_(0), slotMap_(slotMap) {}

void HdlcInterface::fail(unsigned long request, int err, int times) { failures_[request] = {err, times}; }

int HdlcInterface::answer(unsigned long request, void* arg) {
  auto failure = failures_.find(request);
  if (failure != failures_.end()) {
    int err = failure->second.first;
    if (failure->second.second > 0 && --failure->second.second == 0)
      failures_.erase(failure);
    errno = err;
    return -1;
  }
  ifreq& req = *static_cast<ifreq*>(arg);
  switch (request) {
  case SIOCGIFINDEX: req.ifr_ifindex = index_; return 0;
  case SIOCGIFFLAGS: req.ifr_flags = flags_; return 0;
  case SIOCSIFFLAGS: flags_ = req.ifr_flags; return 0;
  default: break;
  }
  if_settings& s = req.ifr_settings;
  if (s.type == IF_GET_IFACE) {
    // The interface reports E1 settings; a buffer too small is refused.
    s.type = IF_IFACE_E1;
    if (s.size < sizeof(te1_settings)) {
      s.size = sizeof(te1_settings);
      errno = ENOBUFS;
      return -1;
    }
    te1_settings settings{};
    settings.slot_map = slotMap_;
    std::memcpy(s.ifs_ifsu.te1, &settings, sizeof settings);
    s.size = sizeof(te1_settings);
    return 0;
  }
  if (flags_ & IFF_UP) {
    errno = EBUSY;  // the protocol changes only while the interface is down
    return -1;
  }
  if (s.type == IF_PROTO_PPP) {
    protocol_ = IF_PROTO_PPP;
    return 0;
  }
  if (s.type == IF_PROTO_HDLC && s.size >= sizeof(raw_hdlc_proto) && s.ifs_ifsu.raw_hdlc) {
    raw_hdlc_proto proto;
    std::memcpy(&proto, s.ifs_ifsu.raw_hdlc, sizeof proto);
    protocol_ = IF_PROTO_HDLC;
    encoding_ = proto.encoding;
    parity_ = proto.parity;
    return 0;
  }
  errno = EINVAL;
  return -1;
}

HdlcInterface& Interfaces::add(const std::string& name, uint32_t slotMap) {
  remove(name);
  hdlc_.push_back(std::make_unique<HdlcInterface>(name, static_cast<int>(hdlc_.size()) + 10, slotMap));
  return *hdlc_.back();
}

HdlcInterface* Interfaces::find(const std::string& name) const {
  for (const auto& i : hdlc_)
    if (i->name() == name)
      return i.get();
  return nullptr;
}

void Interfaces::remove(const std::string& name) {
  hdlc_.erase(std::remove_if(hdlc_.begin(), hdlc_.end(),
                             [&](const std::unique_ptr<HdlcInterface>& i) { return i->name() == name; }),
              hdlc_.end());
}

Interfaces::Interfaces(RequestLog& log) : log_(log), list_{{"lo", 0x7F000001u, IFF_UP | IFF_LOOPBACK | IFF_RUNNING}} {}

bool Interfaces::handles(unsigned long request, const void* arg) {
  if (request == SIOCGIFCONF || request == SIOCGIFADDR || request == SIOCGIFFLAGS)
    return true;
  return arg && hdlcRequest(request, nameOf(*static_cast<const ifreq*>(arg)));
}

int Interfaces::request(unsigned long request, void* arg) {
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  if (request == SIOCGIFCONF) {
    ifconf& conf = *static_cast<ifconf*>(arg);
    const size_t room = conf.ifc_len > 0 ? static_cast<size_t>(conf.ifc_len) / sizeof(ifreq) : 0;
    size_t n = 0;
    for (; n < list_.size() && n < room; ++n) {
      ifreq& r = conf.ifc_req[n];
      std::memset(&r, 0, sizeof r);
      std::strncpy(r.ifr_name, list_[n].name.c_str(), IFNAMSIZ - 1);
      putAddress(r.ifr_addr, list_[n].address);
    }
    conf.ifc_len = static_cast<int>(n * sizeof(ifreq));
    return 0;
  }
  ifreq& req = *static_cast<ifreq*>(arg);
  const std::string name = nameOf(req);
  if (hdlcRequest(request, name))
    return hdlc_request(request, arg);
  for (const Interface& i : list_) {
    if (i.name != name)
      continue;
    if (request == SIOCGIFADDR)
      putAddress(req.ifr_addr, i.address);
    else
      req.ifr_flags = static_cast<short>(i.flags);
    return 0;
  }
  errno = ENODEV;
  return -1;
}

int Interfaces::hdlc_request(unsigned long request, void* arg) {
  ifreq& req = *static_cast<ifreq*>(arg);
  const std::string name = nameOf(req);
  const if_settings& settings = req.ifr_settings;
  const uint8_t* buffer = request == SIOCWANDEV ? reinterpret_cast<const uint8_t*>(settings.ifs_ifsu.raw_hdlc) : nullptr;
  const size_t size = buffer ? std::min<size_t>(settings.size, 128) : 0;
  LoggedRequest* entry = log_.next();
  if (entry) {
    entry->device = name;
    entry->number = request;
    entry->byValue = false;
    entry->value = request == SIOCWANDEV    ? settings.type
                   : request == SIOCSIFFLAGS ? static_cast<unsigned short>(req.ifr_flags)
                                             : 0;
    entry->in.assign(buffer, buffer + size);
  }
  HdlcInterface* iface = find(name);
  int result = -1;
  if (iface)
    result = iface->answer(request, arg);
  else
    errno = ENODEV;
  const int err = errno;
  if (entry) {
    entry->out.assign(buffer, buffer + size);
    entry->result = result;
    entry->error = result < 0 ? err : 0;
  }
  errno = err;
  return result;
}

}  // namespace SimBoard
