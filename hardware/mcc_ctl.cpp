#include "hardware/mcc_ctl.h"

#include <fcntl.h>

#include "foundation/device_io.h"

namespace MccCtl {

Fd Open(int flags) { return Fd(DevIo::open(DeviceName, flags)); }

bool Allocate(const Fd& fd, const Allocation& allocation) {
  AllocationRecord record;
  record.type = allocation.type;
  record.packetSize = allocation.packetSize;
  record.reserved = 0;
  record.rxThreshold = allocation.rxThreshold;
  record.txThreshold = allocation.txThreshold;
  return DevIo::ioctl(fd.get(), MCC_ALLOCATE, &record) >= 0;
}

int Timeslot(const Fd& fd) { return DevIo::ioctl(fd.get(), MCC_TIMESLOT, nullptr); }

bool QueryCounts(Counts& counts) {
  Fd fd = Open(O_RDONLY | O_CLOEXEC);
  if (!fd)
    return false;
  Hardware::be_i32 words[4];
  if (DevIo::ioctl(fd.get(), MCC_COUNTS, words) < 0)
    return false;
  counts.data = words[0];
  counts.bri = words[1];
  counts.transparent = words[2];
  return true;
}

}  // namespace MccCtl
