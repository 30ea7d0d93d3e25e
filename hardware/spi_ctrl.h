#pragma once
// The eight trunk line channels whose registers are reached over the
// board's SPI bus through "/dev/hal": initialised and enabled when the
// service is created, one of them optionally the clock master, and, while
// the controller is connected, each channel's status register polled every
// second and reported as a `trunkStatus` signal of trunk type `bri`. A
// device without the SPI interface (ENODEV) switches the service off.
#include <cstdint>

#include "core/ctrl_service.h"
#include "foundation/device_io.h"
#include "foundation/timer.h"

class spiCtrl : public CtrlSrv::Service, private DevIo::Holder {
public:
  static constexpr int Channels = 8;
  static constexpr unsigned PollMs = 1000;
  // Registers.
  static constexpr unsigned RegStatus = 51;
  static constexpr unsigned RegEnable = 50;
  static constexpr unsigned RegClock = 87;

  static spiCtrl* instance();

  void write(unsigned channel, unsigned address, unsigned data);
  unsigned read(unsigned channel, unsigned address);
  void init_channel(int channel);
  void enable_channel(int channel);
  void disable_channel(int channel);
  // Makes the channel (0..7) the clock master; -1 for none.
  void clock(int channel);
  // One poll of all channels.
  void status();

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command&) override { return false; }

  bool is_open() const { return fd_ >= 0; }
  bool present() const { return present_; }
  bool polling() const { return poll_.pending(); }

private:
  spiCtrl();
  ~spiCtrl() override;

  // A new board: the device closed, the interface taken as present and no
  // slip seen, the poll stopped; then construction's initialisation.
  void release() override;
  void restart() override { init_device_and_channels(); }

  void init_device_and_channels();
  // The device opened (tried when closed) and the interface present.
  bool Usable();
  // A request failed: ENODEV switches the interface off for good.
  bool Absent(int err);
  void OnPoll();

  int fd_;
  Timer poll_;
  bool present_;
  // One slip latch per channel: a slip is reported once while the bit stays set.
  bool slipLatch_[Channels];
};
