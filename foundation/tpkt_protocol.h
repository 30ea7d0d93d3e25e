#pragma once
// TPKT framing (RFC 1006): each message travels as 03 00, a big-endian
// 16-bit length of the whole frame (header included), then the payload.
// Down, the layer prepends the header in the packet's head room; up, it
// reassembles the byte stream and hands every complete payload on, one
// message per call. Framing errors are logged and resynchronised, never
// fatal; a frame left incomplete for 3000 ms is dropped.
#include <cstdint>

#include "foundation/protocol.h"
#include "foundation/timer.h"

class Tpkt_protocol : public Protocol {
public:
  static constexpr unsigned HeaderSize = 4;
  static constexpr unsigned MaxPayload = 65535 - HeaderSize;
  static constexpr unsigned PartialFrameMs = 3000;

  enum State { idle = 0, wait_r = 1, len_1 = 2, len_2 = 3, body = 4, ignore = 5 };

  Tpkt_protocol() : remaining_(0), state_(idle) {}

  void local_prepare_head(Packet& p) override { p.reserve_head(HeaderSize); }
  void local_prepare_tail(Packet& p) override { p.reserve_tail(0); }
  void local_activate() override { reset(); }
  void local_deactivate() override;
  // Frames p and passes it down. A payload over MaxPayload octets cannot be
  // framed: it is refused with an error line and nothing is sent.
  void message(Packet& p) override;
  // Consumes every byte of p (p may be left null); each complete payload
  // goes up through on_message, exactly the payload's bytes, in stream order.
  void receive(Packet& p) override;

  void reset();
  State state() const { return state_; }
  bool timer_pending() const { return timer_.pending(); }

private:
  void on_timeout();
  void start_frame();
  void deliver();

  uint32_t remaining_;
  Timer timer_;
  State state_;
  Packet frame_;
};
