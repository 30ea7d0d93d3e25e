#include "hardware/hw_mux.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "foundation/device_io.h"
#include "hardware/board_order.h"

namespace {

const char* const DeviceName = "/dev/hal";

// Requests of "/dev/hal" in the board's encoding.
constexpr unsigned long HAL_CONNECT = 0x80084d02;  // {destination, source}
constexpr unsigned long HAL_DISABLE = 0x80044d03;  // {channel}
constexpr unsigned long HAL_WRITE = 0xc0084d04;    // {channel, byte}
constexpr unsigned long HAL_READ = 0xc0084d05;     // {channel, 255} -> byte in the second word

struct ChannelArg {
  Hardware::be_i32 channel;
};
struct PairArg {
  Hardware::be_i32 first;
  Hardware::be_i32 second;
};

}  // namespace

HwMux* HwMux::instance() {
  static HwMux mux;
  return &mux;
}

HwMux::HwMux() : fd_(-1), cursor_(0) {
  for (uint16_t& entry : mirror_)
    entry = Disabled;
  dpc_.Bind(this, &HwMux::OnDPC);
  restart();
}

HwMux::~HwMux() {
  if (fd_ >= 0)
    DevIo::close(fd_);
  fd_ = -1;
}

void HwMux::release() {
  if (fd_ >= 0)
    DevIo::close(fd_);
  fd_ = -1;
  dpc_.Deactivate();
  cursor_ = 0;
  for (uint16_t& entry : mirror_)
    entry = Disabled;
}

void HwMux::restart() {
  std::clog << "hwMux: init" << std::endl;
  IsOpened();
}

bool HwMux::IsOpened() {
  if (fd_ >= 0)
    return true;
  fd_ = DevIo::open(DeviceName, O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    std::clog << "hwMux: can't open device: " << strerror(err) << std::endl;
    return false;
  }
  std::clog << "hwMux: device opened" << std::endl;
  for (int i = 0; i < MirrorSize; ++i) {
    ChannelArg arg;
    arg.channel = MirrorBase + i;
    DevIo::ioctl(fd_, HAL_DISABLE, &arg);
    mirror_[i] = Disabled;
  }
  cursor_ = 0;
  dpc_.Activate();
  usleep(500);
  return true;
}

uint16_t* HwMux::Entry(int channel) {
  // Outputs beyond the mirrored range are passed to the driver unrecorded.
  if (channel < MirrorBase || channel >= MirrorBase + MirrorSize)
    return nullptr;
  return &mirror_[channel - MirrorBase];
}

bool HwMux::Usable(int channel) { return IsOpened() && channel >= 0; }

bool HwMux::Connect(int source, int destination) {
  if (!IsOpened() || source < 0 || destination < 0) {
    std::clog << "hwMux: ERROR not opened" << std::endl;
    return false;
  }
  if (uint16_t* entry = Entry(destination))
    *entry = static_cast<uint16_t>(source);
  PairArg arg;
  arg.first = destination;
  arg.second = source;
  if (DevIo::ioctl(fd_, HAL_CONNECT, &arg) < 0) {
    int err = errno;
    std::clog << "hwMux: connect " << source << " -> " << destination << " failed: " << strerror(err)
              << std::endl;
    return false;
  }
  return true;
}

bool HwMux::Disconnect(int destination) {
  if (!Usable(destination))
    return false;
  if (uint16_t* entry = Entry(destination))
    *entry = Constant;
  PairArg arg;
  arg.first = destination;
  arg.second = FreeByte;
  if (DevIo::ioctl(fd_, HAL_WRITE, &arg) < 0) {
    int err = errno;
    std::clog << "hwMux: disconnect failed " << destination << " : " << strerror(err) << std::endl;
    return false;
  }
  return true;
}

bool HwMux::Disable(int channel) {
  if (!Usable(channel))
    return false;
  if (uint16_t* entry = Entry(channel))
    *entry = Disabled;
  ChannelArg arg;
  arg.channel = channel;
  if (DevIo::ioctl(fd_, HAL_DISABLE, &arg) < 0) {
    int err = errno;
    std::clog << "hwMux: disable failed " << channel << " : " << strerror(err) << std::endl;
    return false;
  }
  return true;
}

bool HwMux::Write(int channel, unsigned char value) {
  if (!Usable(channel))
    return false;
  if (uint16_t* entry = Entry(channel))
    *entry = Constant;
  PairArg arg;
  arg.first = channel;
  arg.second = value;
  if (DevIo::ioctl(fd_, HAL_WRITE, &arg) < 0) {
    int err = errno;
    std::clog << "hwMux: write failed " << channel << " <- " << "0x" << std::hex << unsigned(value) << std::dec
              << " : " << strerror(err) << std::endl;
    return false;
  }
  return true;
}

unsigned char HwMux::Read(int channel) {
  if (!Usable(channel))
    return 255;
  PairArg arg;
  arg.first = channel;
  arg.second = 255;
  if (DevIo::ioctl(fd_, HAL_READ, &arg) < 0) {
    int err = errno;
    std::clog << "hwMux: read failed " << channel << " -> " << "0x" << std::hex << uint32_t(int32_t(arg.second)) << std::dec
              << " : " << strerror(err) << std::endl;
    return 255;
  }
  return static_cast<unsigned char>(int32_t(arg.second) & 0xff);
}

void HwMux::RefreshChannel(int index) {
  if (index < 0 || index >= MirrorSize || mirror_[index] != Disabled)
    return;
  ChannelArg arg;
  arg.channel = MirrorBase + index;
  DevIo::ioctl(fd_, HAL_DISABLE, &arg);
}

void HwMux::OnDPC() {
  if (fd_ < 0)
    return;
  for (int i = 0; i < RefreshSlice; ++i) {
    cursor_ = (cursor_ + 1) % MirrorSize;
    RefreshChannel(static_cast<int>(cursor_));
  }
}
