#pragma once
#include "foundation/packet.h"

// Gives p at least n octets of head room, moving its data into a packet of
// its own when the caller left too little; false when that needs a buffer
// and the pool has none.
inline bool ensure_head_room(Packet& p, unsigned n) {
  if (p.headroom() >= n)
    return true;
  Packet roomy;
  if (!roomy.take(n))
    return false;
  roomy.put(p);
  p = roomy;
  return true;
}
