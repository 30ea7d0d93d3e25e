#pragma once
// Reading whole event records from a non-blocking board device.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "foundation/device_io.h"

namespace Hardware {

// Reads records of Size bytes until the device has none left and hands each
// to dispatch. A read of nothing, or of part of a record (logged and
// dropped), also ends the reading: the driver delivers whole records, and a
// read of nothing would otherwise repeat for ever. name is the device's
// name in the log lines ("dsproc", "tonec").
template <size_t Size, class Dispatch>
void ReadEventRecords(int fd, const char* name, Dispatch dispatch) {
  for (;;) {
    uint8_t record[Size];
    ssize_t n = DevIo::read(fd, record, sizeof record);
    if (n < 0) {
      int err = errno;
      if (err != EAGAIN)
        std::cerr << "fail to read from " << name << ": " << strerror(err) << std::endl;
      return;
    }
    if (n == 0)
      return;
    if (n < static_cast<ssize_t>(sizeof record)) {
      std::cerr << "short " << name << " event record dropped: " << n << " bytes" << std::endl;
      return;
    }
    dispatch(record);
  }
}

}  // namespace Hardware
