#pragma once
// "/dev/dsp-data": the DSP's data channels (the QSIG D channels). Every
// open is one channel: the channel query gives its TDM switch number and
// the descriptor carries its frames, one per read and one per write. Each
// channel keeps a table of B channels that the daemon adds and removes by
// index; the driver gives each one a TDM switch number.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "simboard/device.h"
#include "simboard/file_session.h"

namespace SimBoard {

class DspData;

class DspDataChannel : public FileSession {
public:
  DspDataChannel(std::shared_ptr<OpenFile> file, int timeslot);

  int timeslot() const { return timeslot_; }
  // The B channel table: index -> TDM switch number.
  const std::map<uint32_t, int>& b_channels() const { return bChannels_; }

  // A frame from the line for the daemon to read.
  void inject(const Bytes& frame) { file_->send(frame); }

private:
  friend class DspData;
  int timeslot_;
  std::map<uint32_t, int> bChannels_;
};

class DspData : public Device {
public:
  static constexpr unsigned long Channel = 0x40044211;  // no argument; result: the channel's switch number
  static constexpr unsigned long AddB = 0x8008420f;     // {B channel index, switch number filled in}
  static constexpr unsigned long RemoveB = 0x80084210;  // {B channel index, switch number}
  static constexpr uint32_t BChannels = 30;

  DspData();

  // Channels in order of opening, closed ones included.
  size_t channel_count() const { return channels_.size(); }
  DspDataChannel& channel(size_t index) { return *channels_.at(index); }
  // Switch numbers of the next channel and the next B channel.
  void set_next_timeslots(int channel, int bChannel);

protected:
  void opened(const std::shared_ptr<OpenFile>& file) override;
  void received(OpenFile& file, Bytes&& frame) override;

private:
  DspDataChannel* of(const OpenFile& file) const { return session_of(channels_, file); }

  std::vector<std::unique_ptr<DspDataChannel>> channels_;
  int nextChannel_;
  int nextB_;
};

}  // namespace SimBoard
