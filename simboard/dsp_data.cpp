#include "simboard/dsp_data.h"

#include <cerrno>

#include "simboard/board.h"

namespace SimBoard {

namespace {
constexpr size_t KeptFrames = 1024;
constexpr size_t KeptChannels = 256;  // closed ones beyond go
}

DspDataChannel::DspDataChannel(DspData& device, std::shared_ptr<OpenFile> file, int timeslot)
    : device_(device), file_(std::move(file)), timeslot_(timeslot) {}

bool DspDataChannel::open() const {
  device_.pump();
  return !file_->closed();
}

const std::deque<Bytes>& DspDataChannel::sent() const {
  device_.pump();
  return sent_;
}

void DspDataChannel::line_full(bool full) { device_.board()->set_line_full(*file_, full); }

DspData::DspData() : Device("/dev/dsp-data"), nextChannel_(640), nextB_(768) {
  on(Channel, Arg::None, [this](Request& r) {
    DspDataChannel* channel = of(r.file());
    return channel ? channel->timeslot() : r.fail(EBADF);
  });
  on(AddB, Arg::Pointer, [this](Request& r) {
    DspDataChannel* channel = of(r.file());
    uint32_t index = r.u32(0);
    if (!channel || index >= BChannels)
      return r.fail(EINVAL);
    if (channel->bChannels_.count(index))
      return r.fail(EBUSY);
    channel->bChannels_[index] = nextB_;
    r.put_u32(4, static_cast<uint32_t>(nextB_++));
    return 0;
  });
  on(RemoveB, Arg::Pointer, [this](Request& r) {
    DspDataChannel* channel = of(r.file());
    auto b = channel ? channel->bChannels_.find(r.u32(0)) : std::map<uint32_t, int>::iterator();
    if (!channel || b == channel->bChannels_.end() || b->second != r.i32(4))
      return r.fail(EINVAL);
    channel->bChannels_.erase(b);
    return 0;
  });
}

void DspData::set_next_timeslots(int channel, int bChannel) {
  nextChannel_ = channel;
  nextB_ = bChannel;
}

void DspData::opened(const std::shared_ptr<OpenFile>& file) {
  for (auto it = channels_.begin(); channels_.size() >= KeptChannels && it != channels_.end();)
    it = (*it)->file_->closed() ? channels_.erase(it) : it + 1;
  channels_.push_back(std::make_unique<DspDataChannel>(*this, file, nextChannel_++));
}

void DspData::received(OpenFile& file, Bytes&& frame) {
  DspDataChannel* channel = of(file);
  if (!channel)
    return;
  if (channel->sent_.size() >= KeptFrames)
    channel->sent_.pop_front();
  channel->sent_.push_back(std::move(frame));
}

DspDataChannel* DspData::of(const OpenFile& file) const {
  for (const auto& c : channels_)
    if (c->file_.get() == &file)
      return c.get();
  return nullptr;
}

}  // namespace SimBoard
