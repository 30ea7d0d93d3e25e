#pragma once
// What both sides of a Q.921 link write and read alike: the address
// octets, the I-frame header, and the TEI management messages (SAPI 63,
// group TEI, UI frames carrying the management entity, a reference Ri,
// the message type and an action indicator Ai).
#include "foundation/packet.h"

namespace ISDN {
namespace Lapd {

enum TeiMessage { IdentityRequest = 1, IdentityAssigned, IdentityDenied, CheckRequest, CheckResponse, IdentityRemove,
                  IdentityVerify };
constexpr unsigned char ManagementEntity = 0x0F;
constexpr int GroupTEI = 127;
// The longest information field a frame carries (N201).
constexpr unsigned N201 = 260;

inline void put_address(Packet& frame, unsigned sapi, bool cr, unsigned tei) {
  frame.put(static_cast<unsigned char>(sapi << 2 | (cr ? 2 : 0)));
  frame.put(static_cast<unsigned char>(tei << 1 | 1));
}

// Writes address, N(S) and N(R) in front of a layer-3 message.
inline void push_iframe_header(Packet& frame, unsigned char address1, unsigned tei, unsigned ns, unsigned nr, bool p) {
  frame.push(static_cast<unsigned char>(nr << 1 | (p ? 1 : 0)));
  frame.push(static_cast<unsigned char>(ns << 1));
  frame.push(static_cast<unsigned char>(tei << 1 | 1));
  frame.push(address1);
}

// A TEI management frame; the network side sends commands (C/R = 1).
inline void put_identity(Packet& frame, bool fromNetwork, unsigned short ri, int ai, unsigned char type) {
  put_address(frame, 63, fromNetwork, GroupTEI);
  frame.put(0x03);
  frame.put(ManagementEntity);
  frame.put16(ri);
  frame.put(type);
  frame.put(static_cast<unsigned char>(ai << 1 | 1));
}

// The fields of a management message (a UI frame's information field);
// false when it is too short to hold them.
struct Identity {
  unsigned short ri;
  unsigned type;
  int ai;
};
inline bool read_identity(const Packet& info, Identity& out) {
  if (info.length() <= 4)
    return false;
  const unsigned char* d = info.data();
  out.ri = static_cast<unsigned short>(d[1] | d[2] << 8);
  out.type = d[3];
  out.ai = d[4] >> 1;
  return true;
}

}  // namespace Lapd
}  // namespace ISDN
