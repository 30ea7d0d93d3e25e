#include "hardware/spi_ctrl.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "foundation/device_io.h"
#include "messages/ACP/ACP.h"

namespace {

const char* const DeviceName = "/dev/hal";
constexpr unsigned long SPI_WRITE = 0xc0034204;  // {channel, register, data}
constexpr unsigned long SPI_READ = 0xc0034203;   // {channel, register, 255} -> the value

struct RegisterArg {
  uint8_t channel;
  uint8_t address;
  uint8_t data;
};

// Status register bits.
constexpr unsigned Carrier = 0x01;
constexpr unsigned Frame = 0x04;
constexpr unsigned Slip = 0x20;
constexpr unsigned Alarm = 0xc0;

ACP::TrunkState::NamedNumber StateOf(unsigned value) {
  if (!(value & Carrier))
    return ACP::TrunkState::lossCarrier;
  if (!(value & Frame))
    return ACP::TrunkState::lossBF;
  if ((value & Alarm) == 0x80)
    return ACP::TrunkState::rai;
  if ((value & Alarm) == 0xc0)
    return ACP::TrunkState::normal;
  return ACP::TrunkState::ais;
}

bool Valid(int channel) { return channel >= 0 && channel < spiCtrl::Channels; }

}  // namespace

spiCtrl* spiCtrl::instance() {
  static spiCtrl spi;
  return &spi;
}

spiCtrl::spiCtrl() : fd_(-1), present_(true), slipLatch_{} { init_device_and_channels(); }

spiCtrl::~spiCtrl() {
  if (fd_ < 0)
    return;
  poll_.reset();
  for (int channel = 0; channel < Channels; ++channel)
    disable_channel(channel);
  clock(-1);
  DevIo::close(fd_);
  fd_ = -1;
}

void spiCtrl::release() {
  if (fd_ >= 0)
    DevIo::close(fd_);
  fd_ = -1;
  poll_.reset();
  present_ = true;
  for (bool& latch : slipLatch_)
    latch = false;
}

void spiCtrl::init_device_and_channels() {
  if (fd_ >= 0 || !present_)
    return;
  std::clog << "spi: try init" << std::endl;
  fd_ = DevIo::open(DeviceName, O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    std::clog << "spi: /dev/hal open fail" << std::endl;
    return;
  }
  for (int channel = 0; channel < Channels; ++channel) {
    init_channel(channel);
    enable_channel(channel);
  }
}

bool spiCtrl::Usable() {
  init_device_and_channels();
  return fd_ >= 0 && present_;
}

bool spiCtrl::Absent(int err) {
  if (err != ENODEV)
    return false;
  present_ = false;
  poll_.reset();
  std::clog << "spi: hal without spi" << std::endl;
  return true;
}

void spiCtrl::write(unsigned channel, unsigned address, unsigned data) {
  if (fd_ < 0 || !present_)
    return;
  RegisterArg arg{static_cast<uint8_t>(channel), static_cast<uint8_t>(address), static_cast<uint8_t>(data)};
  if (DevIo::ioctl(fd_, SPI_WRITE, &arg) < 0 && !Absent(errno))
    std::clog << "spi: write error: channel=" << channel << " addr=" << address << " data=" << data << std::endl;
}

unsigned spiCtrl::read(unsigned channel, unsigned address) {
  if (fd_ < 0 || !present_)
    return 0;
  RegisterArg arg{static_cast<uint8_t>(channel), static_cast<uint8_t>(address), 255};
  int value = DevIo::ioctl(fd_, SPI_READ, &arg);
  if (value < 0) {
    if (!Absent(errno))
      std::clog << "spi: read error: channel=" << channel << " addr=" << address << std::endl;
    return 0;
  }
  return static_cast<unsigned>(value) & 0xff;
}

void spiCtrl::init_channel(int channel) {
  if (!Usable())
    return;
  if (!Valid(channel)) {
    std::clog << "spi: bad channel for init " << channel << std::endl;
    return;
  }
  unsigned ch = static_cast<unsigned>(channel);
  write(ch, 50, 128);
  write(ch, 48, 8);
  write(ch, RegClock, 48);
  write(ch, 52, 96);
  write(ch, 53, 0);
  write(ch, 54, 0);
  write(ch, 55, 0);
  std::clog << "spi: init channel " << channel << std::endl;
}

void spiCtrl::enable_channel(int channel) {
  if (!Usable())
    return;
  if (!Valid(channel)) {
    std::clog << "spi: bad channel for enable " << channel << std::endl;
    return;
  }
  write(static_cast<unsigned>(channel), RegEnable, 0);
  std::clog << "spi: enable channel " << channel << std::endl;
}

void spiCtrl::disable_channel(int channel) {
  if (!Usable())
    return;
  if (!Valid(channel)) {
    std::clog << "spi: bad channel for disable " << channel << std::endl;
    return;
  }
  write(static_cast<unsigned>(channel), RegEnable, 128);
  std::clog << "spi: disable channel " << channel << std::endl;
}

void spiCtrl::clock(int channel) {
  if (!Usable())
    return;
  if (channel < -1 || channel >= Channels) {
    std::clog << "spi: bad channel for set clock master " << channel << std::endl;
    return;
  }
  for (unsigned ch = 0; ch < Channels; ++ch)
    write(ch, RegClock, 48);
  if (channel == -1) {
    std::clog << "spi: clock master disabled" << std::endl;
    return;
  }
  write(static_cast<unsigned>(channel), RegClock, 56);
  std::clog << "spi: set clock master on channel " << channel << std::endl;
}

void spiCtrl::status() {
  if (!present_)
    return;
  for (int channel = 0; channel < Channels; ++channel) {
    unsigned value = read(static_cast<unsigned>(channel), RegStatus);
    // Found without the interface: the poll ends here, for good.
    if (!present_)
      return;
    int slips = 0;
    if (!(value & Slip))
      slipLatch_[channel] = false;
    else if (!slipLatch_[channel]) {
      slipLatch_[channel] = true;
      slips = 1;
    }

    LGCP::Signal sig;
    ACP::TrunkStatus& ts = sig.select_trunkStatus();
    ts.set_trunk(channel);
    ts.set_state(StateOf(value));
    ts.set_slips(slips);
    ts.set_lossBF(0);
    ts.set_lossCarrier(0);
    ts.set_lossAIS(0);
    ts.set_lossRAI(0);
    ts.set_name("");
    ts.set_clockMaster(false);
    ts.set_type(ACP::TrunkType::bri);
    SendSignal(sig);
  }
  poll_.set(PollMs, &spiCtrl::OnPoll, this);
}

void spiCtrl::OnPoll() { status(); }

void spiCtrl::OnConnect() {
  if (fd_ >= 0 && present_)
    poll_.set(PollMs, &spiCtrl::OnPoll, this);
}

void spiCtrl::OnDisconnect() { poll_.reset(); }
