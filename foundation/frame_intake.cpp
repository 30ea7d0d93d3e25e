#include "foundation/frame_intake.h"

#include "foundation/device_io.h"

ssize_t FrameIntake::read(int fd, Packet& frame) {
  dropsBegan_ = false;
  if (frame.take(0)) {
    ssize_t n = DevIo::read(fd, frame.tail_room(), frame.tailroom());
    if (n > 0) {
      frame.extend(static_cast<unsigned>(n));
      dropping_ = false;
    }
    return n;
  }
  static unsigned char scratch[packet_max_size];
  ssize_t n = DevIo::read(fd, scratch, sizeof scratch);
  if (n > 0) {
    ++dropped_;
    dropsBegan_ = !dropping_;
    dropping_ = true;
  }
  return n;
}
