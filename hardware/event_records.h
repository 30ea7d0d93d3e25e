#pragma once
// Reading whole event records from a non-blocking board device, and
// noticing a device that is gone.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <poll.h>

#include "foundation/device_io.h"

namespace Hardware {

// Reads records of Size bytes until the device has none left and hands each
// to dispatch. A read of part of a record (logged and dropped) also ends
// the reading: the driver delivers whole records. Returns false at end of
// file (a read of nothing). name is the device's name in the log lines
// ("dsproc", "tonec").
template <size_t Size, class Dispatch>
bool ReadEventRecords(int fd, const char* name, Dispatch dispatch) {
  for (;;) {
    uint8_t record[Size];
    ssize_t n = DevIo::read(fd, record, sizeof record);
    if (n < 0) {
      int err = errno;
      if (err != EAGAIN)
        std::cerr << "fail to read from " << name << ": " << strerror(err) << std::endl;
      return true;
    }
    if (n == 0)
      return false;
    if (n < static_cast<ssize_t>(sizeof record)) {
      std::cerr << "short " << name << " event record dropped: " << n << " bytes" << std::endl;
      return true;
    }
    dispatch(record);
  }
}

// Whether a device is gone: hung up, in error, or at end of file. Poll
// reports such a descriptor on every turn from then on, so its watcher
// stops watching it (the next use opens the device again); logged here.
inline bool EventDeviceGone(short revents, bool atEnd, const char* name) {
  if (!atEnd && !(revents & (POLLHUP | POLLERR | POLLNVAL)))
    return false;
  bool hungUp = revents & (POLLHUP | POLLERR | POLLNVAL);
  std::cerr << name << ": device " << (hungUp ? "hung up" : "at end of file") << ", closed until its next use"
            << std::endl;
  return true;
}

// Services a poll of an event device: reads what it has; false when it is
// gone (see EventDeviceGone).
template <size_t Size, class Dispatch>
bool ServiceEventDevice(int fd, short revents, const char* name, Dispatch dispatch) {
  bool atEnd = (revents & POLLIN) && !ReadEventRecords<Size>(fd, name, dispatch);
  return !EventDeviceGone(revents, atEnd, name);
}

}  // namespace Hardware
