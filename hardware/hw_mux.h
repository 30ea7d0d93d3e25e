#pragma once
// The board's TDM switch behind "/dev/hal": connects a source channel to a
// destination output, lets an output carry a constant byte, disables
// outputs, and reads the byte on a channel. Outputs 8192..10239 (the TDM
// buses) are mirrored; a deferred call re-disables, 128 outputs a loop
// turn, the mirrored outputs that should be disabled.
#include <cstdint>

#include "foundation/device_io.h"
#include "foundation/dpc.h"

class HwMux : private DevIo::Holder {
public:
  static constexpr int MirrorBase = 8192;
  static constexpr int MirrorSize = 2048;
  static constexpr uint16_t Constant = 65534;  // the output carries a constant byte
  static constexpr uint16_t Disabled = 65535;  // the output is disabled
  // Outputs looked at per turn of the loop. The loop runs deferred calls
  // twice a turn, so each call takes half: a sweep lasts 16 turns.
  static constexpr int RefreshPerTurn = 128;
  static constexpr int RefreshSlice = RefreshPerTurn / 2;  // per deferred call
  static constexpr unsigned char FreeByte = 213;  // what a disconnected output carries

  static HwMux* instance();

  // Opens and initialises the device when it is not open yet.
  bool IsOpened();
  bool Connect(int source, int destination);
  bool Disconnect(int destination);
  bool Disable(int channel);
  bool Write(int channel, unsigned char value);
  // The byte on the channel, 255 on any failure.
  unsigned char Read(int channel);
  // Re-disables output MirrorBase + index when its mirror says disabled.
  void RefreshChannel(int index);
  void OnDPC();
  void Reset() {}

  // State, for the status dump and tests.
  int fd() const { return fd_; }
  uint16_t mirror(int index) const { return mirror_[index]; }
  uint32_t cursor() const { return cursor_; }
  bool refreshing() const { return dpc_.active(); }

private:
  HwMux();
  ~HwMux() override;

  // A new board: the device closed, the mirror as constructed; then
  // construction's opening.
  void release() override;
  void restart() override;
  HwMux(const HwMux&) = delete;
  HwMux& operator=(const HwMux&) = delete;

  // The mirror entry of an output, or null when the output has none.
  uint16_t* Entry(int channel);
  bool Usable(int channel);

  int fd_;
  uint16_t mirror_[MirrorSize];
  uint32_t cursor_;
  Dpc dpc_;
};
