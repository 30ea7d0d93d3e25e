#include "slots/hdlc_interface.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <linux/if.h>
#include <linux/sockios.h>
#include <sys/socket.h>

#include "foundation/device_io.h"

namespace HdlcIf {

static_assert(GetIndex == SIOCGIFINDEX && GetFlags == SIOCGIFFLAGS && SetFlags == SIOCSIFFLAGS &&
                  WanDev == SIOCWANDEV,
              "interface request numbers");
static_assert(GetIface == IF_GET_IFACE && ProtoHdlc == IF_PROTO_HDLC && ProtoPpp == IF_PROTO_PPP,
              "generic-HDLC settings types");
// The E1 settings hold the time slot map in the word at offset 12.
static_assert(offsetof(te1_settings, slot_map) == 12, "E1 settings layout");
static_assert(sizeof(raw_hdlc_proto) == 4, "raw HDLC protocol record");

namespace {

constexpr unsigned SettingsSize = 128;
constexpr int MaxInterfaces = 256;

ifreq named(const std::string& name) {
  ifreq req;
  std::memset(&req, 0, sizeof req);
  std::strncpy(req.ifr_name, name.c_str(), IFNAMSIZ - 1);
  return req;
}

// SIOCWANDEV with a settings type and a buffer of size bytes.
bool wanDev(int sock, const std::string& name, unsigned type, void* buffer, unsigned size) {
  ifreq req = named(name);
  req.ifr_settings.type = type;
  req.ifr_settings.size = size;
  req.ifr_settings.ifs_ifsu.raw_hdlc = static_cast<raw_hdlc_proto*>(buffer);
  return DevIo::ioctl(sock, WanDev, &req) == 0;
}

}  // namespace

int OpenSocket() { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }

std::list<std::string> Scan(int sock) {
  std::list<std::string> names;
  for (int n = 0; n < MaxInterfaces; ++n) {
    const std::string name = "hdlc" + std::to_string(n);
    ifreq req = named(name);
    if (DevIo::ioctl(sock, GetIndex, &req) < 0)
      break;
    req = named(name);
    if (DevIo::ioctl(sock, GetFlags, &req) < 0)
      break;
    if ((req.ifr_flags & IFF_POINTOPOINT) && !(req.ifr_flags & IFF_LOOPBACK))
      names.push_back(name);
  }
  return names;
}

bool GetChannel(int sock, const std::string& name, int& channel) {
  alignas(uint32_t) unsigned char settings[SettingsSize] = {};
  if (!wanDev(sock, name, GetIface, settings, SettingsSize))
    return false;
  uint32_t slotMap;
  std::memcpy(&slotMap, settings + offsetof(te1_settings, slot_map), sizeof slotMap);
  channel = static_cast<int>(slotMap);
  return true;
}

bool SetPpp(int sock, const std::string& name) {
  uint32_t none = 0;
  return wanDev(sock, name, ProtoPpp, &none, sizeof none);
}

const char* RestoreRawHdlc(int sock, const std::string& name) {
  ifreq req = named(name);
  if (DevIo::ioctl(sock, GetFlags, &req) < 0)
    return "SIOCGIFFLAGS fail!!!";
  req.ifr_flags = static_cast<short>(req.ifr_flags & ~IFF_UP);
  if (DevIo::ioctl(sock, SetFlags, &req) < 0)
    return "SIOCSIFFLAGS fail!!!";
  raw_hdlc_proto proto{0, 0};
  return wanDev(sock, name, ProtoHdlc, &proto, sizeof proto) ? nullptr : "SIOCWANDEV/IF_PROTO_HDLC fail!";
}

}  // namespace HdlcIf
