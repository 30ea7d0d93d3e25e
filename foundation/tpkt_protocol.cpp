#include "foundation/tpkt_protocol.h"

#include <algorithm>
#include <iostream>

#include "foundation/profile.h"

namespace {
Profile::Point messagePoint("Tpkt_protocol::message");
}

void Tpkt_protocol::reset() {
  timer_.reset();
  frame_ = Packet();
  state_ = idle;
}

void Tpkt_protocol::local_deactivate() {
  reset();
  on_deactivate(new Protocol_status_success(this, "TPKT deactivated"));
}

void Tpkt_protocol::message(Packet& p) {
  messagePoint.begin();
  unsigned n = p.length();
  if (n > MaxPayload) {
    std::cerr << name().name() << " TPKT payload too big, length = " << n << " max = " << MaxPayload
              << ", not sent." << std::endl;
    messagePoint.end();
    return;
  }
  p.push16_b(static_cast<unsigned short>(n + HeaderSize));
  p.push(0x00);
  p.push(0x03);
  messagePoint.end();
  transmit(p);
}

void Tpkt_protocol::start_frame() {
  frame_ = Packet();
  frame_.reserve_head(0);
}

void Tpkt_protocol::deliver() {
  Packet frame = frame_;
  frame_ = Packet();
  state_ = idle;
  on_message(frame);
}

void Tpkt_protocol::receive(Packet& p) {
  while (p.length() > 0) {
    switch (state_) {
    case idle:
      if (p.pull() == 0x03)
        state_ = wait_r;
      else
        std::clog << name().name() << " bad TPKT packet start." << std::endl;
      break;
    case wait_r:
      if (p.pull() == 0x00) {
        state_ = len_1;
      } else {
        std::clog << name().name() << " bad TPKT reserved." << std::endl;
        state_ = idle;
      }
      break;
    case len_1:
      remaining_ = p.pull();
      state_ = len_2;
      break;
    case len_2:
      remaining_ = (remaining_ << 8) + p.pull();
      if (remaining_ < HeaderSize) {
        std::clog << "TPKT too small " << remaining_ << std::endl;
        state_ = idle;
        break;
      }
      remaining_ -= HeaderSize;
      if (remaining_ > 0 && remaining_ == p.length()) {
        // The rest of the chunk is exactly this payload (the usual case of
        // one message per read): handed up as it is, without a copy.
        reset();
        Packet whole = p;
        p = Packet();
        on_message(whole);
        break;
      }
      start_frame();
      if (remaining_ > frame_.tailroom()) {
        std::clog << "TPKT length too big, received = " << remaining_ << " max = " << frame_.tailroom()
                  << std::endl;
        frame_ = Packet();
        state_ = ignore;
      } else if (remaining_ == 0) {
        deliver();  // an empty payload is complete at once
      } else {
        state_ = body;
      }
      break;
    case body: {
      unsigned n = std::min<unsigned>(remaining_, p.length());
      p.pull(frame_.tail_room(), n);
      frame_.extend(n);
      remaining_ -= n;
      if (remaining_ == 0)
        deliver();
      break;
    }
    case ignore: {
      unsigned n = std::min<unsigned>(remaining_, p.length());
      p.pull(nullptr, n);
      remaining_ -= n;
      if (remaining_ == 0)
        state_ = idle;
      break;
    }
    }
  }
  if (state_ == idle)
    timer_.reset();
  else
    timer_.set(PartialFrameMs, &Tpkt_protocol::on_timeout, this);
}

void Tpkt_protocol::on_timeout() {
  std::clog << " TPKT packet timeout." << std::endl;
  reset();
}
