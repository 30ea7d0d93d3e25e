#pragma once
#include "foundation/packet.h"

// Gives p at least n octets of head room, moving its data into a packet of
// its own when the caller left too little.
inline void ensure_head_room(Packet& p, unsigned n) {
  if (p.headroom() >= n)
    return;
  Packet roomy;
  roomy.reserve_head(n);
  roomy.put(p);
  p = roomy;
}
