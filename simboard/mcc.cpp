#include "simboard/mcc.h"

#include <cerrno>

#include "simboard/board.h"
#include "simboard/hal.h"

namespace SimBoard {

namespace {
constexpr uint32_t TypeCodes = 4;  // data, BRI, transparent, SS7
}  // namespace

MccChannel::MccChannel(uint64_t number, std::shared_ptr<OpenFile> file, const Request& allocation, int timeslot)
    : FileSession(std::move(file)), number_(number), timeslot_(timeslot), stalled_(false), peer_(nullptr) {
  for (size_t i = 0; i < 5; ++i)
    record_[i] = allocation.u32(4 * i);
}

void MccChannel::stall(bool on) {
  stalled_ = on;
  if (!on)
    pump();
}


Mcc::Mcc() : Device("/dev/mcc/ctl"), nextTimeslot_(256), counts_{32, 8, 32}, routing_(false) {
  on(Allocate, Arg::Pointer, [this](Request& r) {
    if (of(r.file()))
      return r.fail(EBUSY);
    if (r.u32(0) >= TypeCodes)
      return r.fail(EINVAL);
    std::shared_ptr<OpenFile> file;
    for (const auto& f : board()->files())
      if (f.get() == &r.file())
        file = f;
    if (!file)
      return r.fail(EBADF);
    channels_.push_back(std::make_unique<MccChannel>(channels_.size(), file, r, nextTimeslot_++));
    if (onAllocate_)
      onAllocate_(*channels_.back());
    return 0;
  });
  on(Timeslot, Arg::None, [this](Request& r) {
    MccChannel* channel = of(r.file());
    return channel ? channel->timeslot() : r.fail(EINVAL);
  });
  on(Counts, Arg::Pointer, [this](Request& r) {
    for (size_t i = 0; i < 3; ++i)
      r.put_u32(4 * i, counts_[i]);
    return 0;
  });
}

MccChannel* Mcc::by_timeslot(int timeslot) {
  for (auto it = channels_.rbegin(); it != channels_.rend(); ++it)
    if ((*it)->timeslot() == timeslot)
      return it->get();
  return nullptr;
}

void Mcc::set_counts(uint32_t data, uint32_t bri, uint32_t transparent) {
  counts_[0] = data;
  counts_[1] = bri;
  counts_[2] = transparent;
}

void Mcc::join(MccChannel& a, MccChannel& b) {
  a.peer_ = &b;
  b.peer_ = &a;
  pump();
}

void Mcc::closed(OpenFile& file) {
  drop_closed(channels_, KeptChannels, &file, [](MccChannel& c) {
    if (c.peer_)
      c.peer_->peer_ = nullptr;
  });
}

bool Mcc::accepting(OpenFile& file) {
  MccChannel* channel = of(file);
  if (!channel)
    return true;
  if (channel->stalled_)
    return false;
  // Back to back, a frame moves on only when the peer's queue has room,
  // so a peer that does not read blocks this end's writes.
  MccChannel* peer = channel->peer_;
  return !peer || peer->file_->closed() || peer->file_->waiting() == 0;
}

void Mcc::received(OpenFile& file, Bytes&& frame) {
  MccChannel* channel = of(file);
  if (!channel)
    return;
  if (channel->peer_ && !channel->peer_->file_->closed())
    channel->peer_->file_->send(frame);
  if (routing_)
    route(*channel, frame);
  channel->keep_sent(std::move(frame));
}

void Mcc::route(const MccChannel& sender, const Bytes& frame) {
  for (const auto& c : channels_) {
    if (c.get() == &sender || c->file_->closed() || !c->file_->readable())
      continue;
    Hal::Output out = board()->hal().output(c->timeslot());
    if (out.kind == Hal::Kind::Connected && out.source == sender.timeslot())
      c->file_->send(frame);
  }
}

int Mcc::refuse_read(OpenFile& file) const { return of(file) ? 0 : EINVAL; }
int Mcc::refuse_write(OpenFile& file) const { return of(file) ? 0 : EINVAL; }

}  // namespace SimBoard
