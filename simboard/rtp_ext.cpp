#include "simboard/rtp_ext.h"

#include <algorithm>
#include <cerrno>

#include "simboard/board.h"

namespace SimBoard {

namespace {
const char* const RtpDevice = "/dev/rtp";
}  // namespace

RtpExtSession::RtpExtSession(uint64_t number, std::shared_ptr<OpenFile> file)
    : FileSession(std::move(file)), number_(number), initialised_(false), attached_(false), attachedFd_(-1),
      attachedPid_(0), attachedFile_(0), detaches_(0), filtered_(false), filterAddress_(0), injected_(0) {}

bool RtpExtSession::inject(uint32_t ssrc, uint32_t address, const Bytes& payload) {
  if (filtered_ && address != filterAddress_)
    return false;
  forget_read();
  sources_.push_back(Source{ssrc, address});
  ++injected_;
  file_->send(payload);
  return true;
}

size_t RtpExtSession::queued() const {
  const_cast<RtpExtSession*>(this)->forget_read();
  return sources_.size();
}

void RtpExtSession::forget_read() {
  const uint64_t unread = injected_ - file_->consumed();
  while (sources_.size() > unread)
    sources_.pop_front();
}

RtpExt::RtpExt() : Device("/dev/rtp_ext"), opened_(0) {
  on(Init, Arg::Pointer, [this](Request& r) {
    RtpExtSession* s = of(r.file());
    if (!s)
      return r.fail(EBADF);
    s->init_.etype = r.u16(0);
    for (size_t i = 0; i < 4; ++i)
      s->init_.words[i] = r.u32(4 + 4 * i);
    s->initialised_ = true;
    return 0;
  });
  on(Attach, Arg::Pointer, [this](Request& r) {
    RtpExtSession* s = of(r.file());
    if (!s || !s->initialised_)
      return r.fail(EINVAL);
    // The descriptor must name an RTP session open now.
    std::shared_ptr<OpenFile> rtp = board()->find(r.i32(0));
    if (!rtp || rtp->device().path() != RtpDevice)
      return r.fail(EBADF);
    s->attached_ = true;
    s->attachedFd_ = r.i32(0);
    s->attachedPid_ = r.i32(4);
    s->attachedFile_ = rtp->id();
    return 0;
  });
  on(Detach, Arg::Pointer, [this](Request& r) {
    RtpExtSession* s = of(r.file());
    if (!s || !s->attached_)
      return r.fail(EINVAL);
    s->attached_ = false;
    ++s->detaches_;
    return 0;
  });
  on(NextSource, Arg::Pointer, [this](Request& r) {
    RtpExtSession* s = of(r.file());
    if (!s)
      return r.fail(EBADF);
    s->forget_read();
    if (s->sources_.empty()) {
      for (size_t i = 0; i < 3; ++i)
        r.put_u32(4 * i, 0);
      return r.fail(EAGAIN);
    }
    r.put_u32(0, s->sources_.front().ssrc);
    r.put_u32(4, s->sources_.front().address);
    r.put_u32(8, 0);
    return 0;
  });
  on(Filter, Arg::Pointer, [this](Request& r) {
    RtpExtSession* s = of(r.file());
    if (!s)
      return r.fail(EBADF);
    s->filtered_ = true;
    s->filterAddress_ = r.u32(0);
    return 0;
  });
  on(Unfilter, Arg::Pointer, [this](Request& r) {
    RtpExtSession* s = of(r.file());
    if (!s)
      return r.fail(EBADF);
    s->filtered_ = false;
    s->filterAddress_ = 0;
    return 0;
  });
}

size_t RtpExt::inject(const Bytes& record) {
  if (record.size() < 8)
    return 0;
  const Bytes payload(record.begin() + 8, record.end());
  size_t queued = 0;
  for (const auto& s : sessions_)
    if (s->initialised_ && s->open() && s->inject(be32(&record[0]), be32(&record[4]), payload))
      ++queued;
  return queued;
}

RtpExtSession* RtpExt::by_number(uint64_t number) const {
  // Sessions are held in order of opening, which numbers them.
  auto it = std::lower_bound(sessions_.begin(), sessions_.end(), number,
                             [](const std::unique_ptr<RtpExtSession>& s, uint64_t n) { return s->number() < n; });
  return it != sessions_.end() && (*it)->number() == number ? it->get() : nullptr;
}

void RtpExt::opened(const std::shared_ptr<OpenFile>& file) {
  sessions_.push_back(std::make_unique<RtpExtSession>(opened_++, file));
}

void RtpExt::closed(OpenFile& file) { drop_closed(sessions_, KeptSessions, &file, [](RtpExtSession&) {}); }

void RtpExt::received(OpenFile& file, Bytes&& payload) {
  RtpExtSession* s = of(file);
  if (!s)
    return;
  if (onSent_)
    onSent_(*s, payload);
  s->keep_sent(std::move(payload));
}

}  // namespace SimBoard
