#include "simboard/rtp.h"

#include <cerrno>

namespace SimBoard {

RtpSession::RtpSession(uint64_t number, std::shared_ptr<OpenFile> file)
    : FileSession(std::move(file)), number_(number), begun_(false), params_(), channel_(-1), channelRecord_(),
      input_(false), pd_(false), pdTimeout_(0) {}

void RtpSession::event(uint32_t type, uint32_t value, uint32_t timeout) {
  inject(Rtp::event_record(type, value, timeout));
}

void RtpSession::inject(const Bytes& record) { file_->send(record); }

void RtpSession::inject_read_error(int err) { file_->send_read_error(err); }

Rtp::Rtp() : Device("/dev/rtp"), closed_(0), opened_(0), first_(4096), count_(1024) {
  on_session(BeginSession, Arg::Pointer, [](RtpSession& s, Request& r) {
    if (s.begun_)
      return r.fail(EBUSY);
    RtpSessionParams& p = s.params_;
    p.dhost_addr = r.u32(offsetof(RtpSessionParams, dhost_addr));
    p.dhost_port = r.u16(offsetof(RtpSessionParams, dhost_port));
    p.reserved1 = r.u16(offsetof(RtpSessionParams, reserved1));
    p.shost_addr = r.u32(offsetof(RtpSessionParams, shost_addr));
    p.shost_port = r.u16(offsetof(RtpSessionParams, shost_port));
    p.rx_pt = r.u16(offsetof(RtpSessionParams, rx_pt));
    p.tx_pt = r.u16(offsetof(RtpSessionParams, tx_pt));
    p.packet_factor = r.u16(offsetof(RtpSessionParams, packet_factor));
    p.vad = r.u8(offsetof(RtpSessionParams, vad));
    p.crate = r.u8(offsetof(RtpSessionParams, crate));
    p.reserved2 = r.u16(offsetof(RtpSessionParams, reserved2));
    p.ssrc = r.u32(offsetof(RtpSessionParams, ssrc));
    p.reserved3 = r.u32(offsetof(RtpSessionParams, reserved3));
    p.reserved4 = r.u32(offsetof(RtpSessionParams, reserved4));
    p.ttl = r.u32(offsetof(RtpSessionParams, ttl));
    p.dscp = r.i32(offsetof(RtpSessionParams, dscp));
    s.begun_ = true;
    return 0;
  });
  on_session(AddChannel, Arg::Pointer, [this](RtpSession& s, Request& r) {
    if (!s.begun_)
      return r.fail(EINVAL);
    if (s.channel_ >= 0)
      return r.fail(EBUSY);
    RtpChannelRecord& c = s.channelRecord_;
    c.tdm = r.i32(offsetof(RtpChannelRecord, tdm));
    c.dev_no = r.i32(offsetof(RtpChannelRecord, dev_no));
    c.chn = r.i32(offsetof(RtpChannelRecord, chn));
    c.flags = r.u32(offsetof(RtpChannelRecord, flags));
    int channel = c.tdm;
    if (channel >= 0) {
      if (channel < first_ || channel >= first_ + count_)
        return r.fail(EINVAL);
      if (byChannel_.count(channel))
        return r.fail(EBUSY);
    } else {
      for (channel = first_; channel < first_ + count_ && byChannel_.count(channel); ++channel) {
      }
      if (channel == first_ + count_)
        return r.fail(ENOSPC);
    }
    s.channel_ = channel;
    byChannel_[channel] = &s;
    r.put_u32(offsetof(RtpChannelRecord, tdm), static_cast<uint32_t>(channel));
    return 0;
  });
  auto input = [](bool on) {
    return [on](RtpSession& s, Request& r) {
      if (s.channel_ < 0)
        return r.fail(EINVAL);
      s.input_ = on;
      return 0;
    };
  };
  on_session(InputOn, Arg::None, input(true));
  on_session(InputOff, Arg::None, input(false));
  on_session(SetEvents, Arg::Pointer, [](RtpSession& s, Request& r) {
    if (!s.begun_ || r.u32(0) != 1)
      return r.fail(EINVAL);
    s.pd_ = true;
    s.pdTimeout_ = r.u32(8);
    return 0;
  });
  on_session(ResetEvents, Arg::Pointer, [](RtpSession& s, Request& r) {
    if (!s.begun_)
      return r.fail(EINVAL);
    if (r.i32(0) == 1)
      s.pd_ = false;
    return 0;
  });
  for (unsigned long release : {Release1, Release2, Release3})
    on_session(release, Arg::None, [](RtpSession& s, Request& r) { return s.begun_ ? 0 : r.fail(EINVAL); });
  on_session(AttachSession, Arg::Pointer, [](RtpSession& s, Request& r) { return s.begun_ ? 0 : r.fail(EINVAL); });
}

void Rtp::on_session(unsigned long request, Arg form, SessionHandler handler) {
  on(request, form, [this, request, handler](Request& r) {
    RtpSession* session = of(r.file());
    if (!session)
      return r.fail(EBADF);
    session->requests_.push_back(request);
    return handler(*session, r);
  });
}

void Rtp::set_channels(int first, int count) {
  first_ = first;
  count_ = count;
}

RtpSession* Rtp::of(const OpenFile& file) const {
  auto found = byFile_.find(&file);
  return found == byFile_.end() ? nullptr : found->second;
}

RtpSession* Rtp::by_channel(int channel) {
  pump();
  auto found = byChannel_.find(channel);
  return found == byChannel_.end() ? nullptr : found->second;
}

Bytes Rtp::event_record(uint32_t type, uint32_t value, uint32_t timeout) {
  return words({type, value, timeout, 0, 0, 0, 0, 0, 0});
}

void Rtp::opened(const std::shared_ptr<OpenFile>& file) {
  sessions_.push_back(std::make_unique<RtpSession>(opened_++, file));
  byFile_[file.get()] = sessions_.back().get();
}

void Rtp::closed(OpenFile& file) {
  RtpSession* session = of(file);
  if (!session)
    return;
  byFile_.erase(&file);
  auto holder = byChannel_.find(session->channel_);
  if (holder != byChannel_.end() && holder->second == session)
    byChannel_.erase(holder);
  // The oldest closed sessions go; the one closing now is marked closed
  // only after this.
  ++closed_;
  for (auto it = sessions_.begin(); closed_ > KeptSessions && it != sessions_.end();) {
    if ((*it)->file_->closed()) {
      it = sessions_.erase(it);
      --closed_;
    } else {
      ++it;
    }
  }
}

}  // namespace SimBoard
