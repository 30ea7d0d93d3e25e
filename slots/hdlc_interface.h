#pragma once
// The generic-HDLC requests on the board's synchronous network interfaces
// ("hdlc0", "hdlc1", ...): find them, read the TDM channel an interface is
// on, and switch it between PPP and raw HDLC. Every request goes through
// the device I/O layer on a datagram socket of the caller's.
#include <list>
#include <string>

namespace HdlcIf {

// Request numbers and generic-HDLC settings types of the kernel's interface.
constexpr unsigned long GetIndex = 0x8933;  // SIOCGIFINDEX
constexpr unsigned long GetFlags = 0x8913;  // SIOCGIFFLAGS
constexpr unsigned long SetFlags = 0x8914;  // SIOCSIFFLAGS
constexpr unsigned long WanDev = 0x894A;    // SIOCWANDEV
constexpr unsigned GetIface = 1;            // IF_GET_IFACE
constexpr unsigned ProtoHdlc = 0x2000;      // IF_PROTO_HDLC
constexpr unsigned ProtoPpp = 0x2001;       // IF_PROTO_PPP

// An AF_INET datagram socket for the requests (close-on-exec), -1 on failure.
int OpenSocket();
// The names "hdlc0", "hdlc1", ... up to the first one that does not answer
// its index and flags request, of the point-to-point, non-loopback ones.
std::list<std::string> Scan(int sock);
// The E1 time slot map of the interface (its TDM channel); false on failure.
bool GetChannel(int sock, const std::string& name, int& channel);
// Switches the interface to PPP.
bool SetPpp(int sock, const std::string& name);
// Takes the interface down and back to raw HDLC: null, or the message of
// the step that failed.
const char* RestoreRawHdlc(int sock, const std::string& name);

}  // namespace HdlcIf
