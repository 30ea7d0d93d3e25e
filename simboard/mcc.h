#pragma once
// "/dev/mcc/ctl": the multi-channel controller. Every open may allocate one
// channel; the descriptor then carries the channel's frames, one per read
// and one per write, in the directions its open mode allows. Two channels
// can be joined back to back so that what one end of a link sends, the
// other receives; with switch routing on, what a channel sends also reaches
// the channels whose TDM switch output carries its time slot.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "simboard/device.h"
#include "simboard/file_session.h"

namespace SimBoard {

class MccChannel : public FileSession {
public:
  MccChannel(uint64_t number, std::shared_ptr<OpenFile> file, const Request& allocation, int timeslot);

  uint64_t number() const { return number_; }  // 0 for the first channel allocated
  // The allocation record as the daemon gave it.
  uint32_t type() const { return record_[0]; }
  uint32_t packet_size() const { return record_[1]; }
  uint32_t reserved() const { return record_[2]; }
  uint32_t rx_threshold() const { return record_[3]; }
  uint32_t tx_threshold() const { return record_[4]; }
  // The channel's TDM switch number (the time slot request's result).
  int timeslot() const { return timeslot_; }

  // A frame from the line for the daemon to read; a read error in its place.
  void inject(const Bytes& frame) { file_->send(frame); }
  void inject_read_error(int err) { file_->send_read_error(err); }
  // The driver ends the channel: the daemon's end sees a hang-up, and its
  // reads find nothing more.
  void hang_up() { file_->close(); }
  // The daemon's next writes fail with err.
  void fail_writes(int err, int times = 1) { file_->fail_writes(err, times); }
  // The daemon's next write takes only the first `bytes` of its frame.
  void cut_next_write(size_t bytes) { file_->cut_next_write(bytes); }
  // A stalled channel takes no frames: the daemon's writes fill the socket
  // and then fail with EAGAIN; un-stalling takes them and POLLOUT returns.
  void stall(bool on);
  bool stalled() const { return stalled_; }
  MccChannel* peer() const { return peer_; }

private:
  friend class Mcc;

  uint64_t number_;
  uint32_t record_[5];
  int timeslot_;
  bool stalled_;
  MccChannel* peer_;
};

class Mcc : public Device {
public:
  static constexpr unsigned long Allocate = 0x40144d00;  // 20-byte allocation record
  static constexpr unsigned long Timeslot = 0x20004d02;  // result: the channel's switch number
  static constexpr unsigned long Counts = 0x80104d03;    // words 0..2: data, BRI, transparent

  Mcc();

  // Channels in order of allocation, closed ones included (in a long run
  // the oldest closed ones go once more than KeptChannels are held).
  size_t channel_count() const { return channels_.size(); }
  MccChannel& channel(size_t index) { return *channels_.at(index); }
  MccChannel* by_timeslot(int timeslot);
  // The time slot the next allocation gets (later ones count up from it).
  void set_next_timeslot(int timeslot) { nextTimeslot_ = timeslot; }
  // What the channel count request reports.
  void set_counts(uint32_t data, uint32_t bri, uint32_t transparent);
  // Called with each channel as it is allocated, before the daemon can
  // write to it (a test takes its line there).
  void on_allocate(std::function<void(MccChannel&)> hook) { onAllocate_ = std::move(hook); }
  // Joins two channels back to back: each one's frames go to the other.
  void join(MccChannel& a, MccChannel& b);
  // Frames go on through the TDM switch as well (off at the start).
  void set_switch_routing(bool on) { routing_ = on; }

  // Send buffer of a channel's descriptor (the system rounds it up): room
  // for the 8192-byte writes of a voice player.
  static constexpr int SendBuffer = 32768;
  static constexpr size_t KeptChannels = 256;

protected:
  int send_buffer() const override { return SendBuffer; }
  void closed(OpenFile& file) override;
  bool accepting(OpenFile& file) override;
  void received(OpenFile& file, Bytes&& frame) override;
  int refuse_read(OpenFile& file) const override;
  int refuse_write(OpenFile& file) const override;

private:
  MccChannel* of(const OpenFile& file) const { return session_of(channels_, file); }
  // Passes a frame to the readable channels whose switch output carries
  // the sender's time slot.
  void route(const MccChannel& sender, const Bytes& frame);

  std::vector<std::unique_ptr<MccChannel>> channels_;
  std::function<void(MccChannel&)> onAllocate_;
  int nextTimeslot_;
  uint32_t counts_[3];
  bool routing_;
};

}  // namespace SimBoard
