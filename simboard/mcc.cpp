#include "simboard/mcc.h"

#include <cerrno>

#include "simboard/board.h"
#include "simboard/hal.h"

namespace SimBoard {

namespace {
constexpr size_t KeptFrames = 1024;
constexpr uint32_t TypeCodes = 4;  // data, BRI, transparent, SS7
}  // namespace

MccChannel::MccChannel(uint64_t number, std::shared_ptr<OpenFile> file, const Request& allocation, int timeslot)
    : number_(number), file_(std::move(file)), timeslot_(timeslot), stalled_(false), peer_(nullptr),
      device_(&file_->device()), sentTotal_(0) {
  for (size_t i = 0; i < 5; ++i)
    record_[i] = allocation.u32(4 * i);
}

void MccChannel::stall(bool on) {
  stalled_ = on;
  if (!on)
    static_cast<Mcc*>(device_)->pump();
}

void MccChannel::line_full(bool full) { static_cast<Mcc*>(device_)->board()->set_line_full(*file_, full); }

bool MccChannel::open() const {
  static_cast<Mcc*>(device_)->pump();
  return !file_->closed();
}

const std::deque<Bytes>& MccChannel::sent() const {
  static_cast<Mcc*>(device_)->pump();
  return sent_;
}

uint64_t MccChannel::sent_total() const {
  static_cast<Mcc*>(device_)->pump();
  return sentTotal_;
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

MccChannel* Mcc::of(const OpenFile& file) const {
  for (const auto& c : channels_)
    if (c->file_.get() == &file)
      return c.get();
  return nullptr;
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

void Mcc::closed(OpenFile&) {
  for (auto it = channels_.begin(); channels_.size() > KeptChannels && it != channels_.end();) {
    // The file being closed now is not marked closed yet, but has hung up.
    if (!(*it)->file_->closed() && !(*it)->file_->hung_up()) {
      ++it;
      continue;
    }
    if ((*it)->peer_)
      (*it)->peer_->peer_ = nullptr;
    it = channels_.erase(it);
  }
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
  ++channel->sentTotal_;
  if (channel->peer_ && !channel->peer_->file_->closed())
    channel->peer_->file_->send(frame);
  if (routing_)
    route(*channel, frame);
  if (channel->sent_.size() >= KeptFrames)
    channel->sent_.pop_front();
  channel->sent_.push_back(std::move(frame));
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
