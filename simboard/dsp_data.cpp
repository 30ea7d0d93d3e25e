#include "simboard/dsp_data.h"

#include <cerrno>

#include "simboard/board.h"

namespace SimBoard {

namespace {
constexpr size_t KeptChannels = 256;  // closed ones beyond go
}

DspDataChannel::DspDataChannel(std::shared_ptr<OpenFile> file, int timeslot)
    : FileSession(std::move(file)), timeslot_(timeslot) {}


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
  drop_closed(channels_, KeptChannels - 1, nullptr, [](DspDataChannel&) {});
  channels_.push_back(std::make_unique<DspDataChannel>(file, nextChannel_++));
}

void DspData::received(OpenFile& file, Bytes&& frame) {
  if (DspDataChannel* channel = of(file))
    channel->keep_sent(std::move(frame));
}


}  // namespace SimBoard
