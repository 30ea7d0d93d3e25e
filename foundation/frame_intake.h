#pragma once
// Frames read from a device one per read, each into a packet of its own.
// When the pool has no buffer free the frame is read all the same, into a
// scratch buffer, and dropped: a device must not stay readable with a frame
// nobody takes, and running out of buffers costs the frame, never the
// process. Drops are counted; the first of each run of drops is the one to
// log.
#include <sys/types.h>

#include "foundation/packet.h"

class FrameIntake {
public:
  // One read from fd, its result; what it read is in `frame`, or was
  // dropped (`frame` null) when no buffer was free.
  ssize_t read(int fd, Packet& frame);
  // The last read dropped a frame after frames that were taken.
  bool drops_began() const { return dropsBegan_; }
  unsigned long dropped() const { return dropped_; }

private:
  unsigned long dropped_ = 0;
  bool dropping_ = false;
  bool dropsBegan_ = false;
};
