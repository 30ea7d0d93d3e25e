#pragma once
// What the data-link tests share: frames as byte strings, a channel that
// records what a link sends, a family on top that records what comes up,
// a loop whose clock the test moves, and the ends of a lossy line.
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "foundation/protocol.h"
#include "hardware/hdlc.h"
#include "tests/support/test_clock.h"

namespace lapd_test {

using Bytes = std::vector<uint8_t>;

inline Packet packet_of(const Bytes& bytes, unsigned head = 8) {
  Packet p;
  p.reserve_head(head);
  if (!bytes.empty())
    p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
  return p;
}

// Hands a layer a frame from below, or a message from above.
inline void from_below(Protocol* layer, const Bytes& frame) {
  Packet p = packet_of(frame);
  layer->receive(p);
}
inline void from_above(Protocol* layer, const Bytes& message) {
  Packet p = packet_of(message);
  layer->message(p);
}

inline Bytes bytes_of(const Packet& p) { return Bytes(p.data(), p.data() + p.length()); }

// Holds the pool's free buffers, all of them or all but `leave`, while it
// lives.
struct PoolHog {
  std::vector<Packet> held;
  explicit PoolHog(unsigned leave = 0) {
    for (Packet p; packet_pool().available() > leave && p.take(0);)
      held.push_back(p);
  }
};

inline std::string hex(const Bytes& b) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t v : b) {
    if (!s.empty())
      s += ' ';
    s += digits[v >> 4];
    s += digits[v & 15];
  }
  return s;
}

// The frames in hex, taken out of the list.
inline std::vector<std::string> take_hex(std::vector<Bytes>& frames) {
  std::vector<std::string> out;
  for (const Bytes& b : frames)
    out.push_back(hex(b));
  frames.clear();
  return out;
}

// The channel under a link: keeps every frame it is given, or refuses them.
struct RecordingHdlc : GenericHDLC {
  std::vector<Bytes> sent;
  bool refuse = false;
  bool hdlc_transmit(Packet& frame) override {
    if (refuse)
      return false;
    sent.push_back(bytes_of(frame));
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return !refuse; }
  std::vector<std::string> take() { return take_hex(sent); }
};

// The family a link is the only layer of; frames leaving its bottom (the
// network-side link sends through the stack) are recorded too.
struct Upper : ProtocolsFamily {
  std::vector<Bytes> up;
  std::vector<Bytes> down;
  std::vector<std::string> statuses;  // management errors
  std::vector<std::string> ends;      // deactivation reasons
  int activations = 0;

  void on_message(Packet& p) override { up.push_back(bytes_of(p)); }
  void transmit(Packet& p) override { down.push_back(bytes_of(p)); }
  void on_activated(Protocol*) override { ++activations; }
  void on_deactivated(Protocol*, Protocol_status s) override { ends.push_back(s->message()); }
  void on_status(Protocol_status s) override { statuses.push_back(s->message()); }
  std::vector<std::string> take_down() { return take_hex(down); }
};

// The loop's timers on a clock that only the test moves.
class Clocked {
public:
  // Fires every timer due within ms from now, in order, moving the clock
  // from one expiry to the next.
  void advance(unsigned ms) {
    uint64_t target = clock_.now_ms() + ms;
    for (;;) {
      uint32_t wait = multiplexer.timers_schedule();
      uint64_t now = clock_.now_ms();
      if (now >= target)
        return;
      uint64_t step = target - now;
      if (multiplexer.timer_count() && wait < step)
        step = wait;
      clock_.advance(step);
    }
  }
  uint64_t now_ms() const { return clock_.now_ms(); }

private:
  testing_support::TestClock clock_;
};

// One end of two links back to back, its layer the only one of a family:
// what the layer sends is kept and waits in flight for the test to deliver
// it, unless a seeded random choice drops it.
template <class Layer>
struct LossyEnd : GenericHDLC {
  Upper upper;
  Layer* layer;
  std::mt19937* random;
  unsigned dropPercent = 0;
  std::deque<Bytes> inFlight;
  std::vector<Bytes> log;  // every frame sent, dropped or not
  unsigned sent = 0;       // messages layer 3 has sent

  LossyEnd(Layer* l, std::mt19937* r) : layer(l), random(r) {
    l->set_hdlc(this);
    upper.add_protocol_tail(l);
  }
  bool hdlc_transmit(Packet& frame) override {
    log.push_back(bytes_of(frame));
    if ((*random)() % 100 >= dropPercent)
      inFlight.push_back(log.back());
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
  // Layer 3 sends message number `sent`: the prefix and the number in two octets.
  void send(Bytes message) {
    message.push_back(static_cast<uint8_t>(sent >> 8));
    message.push_back(static_cast<uint8_t>(sent++));
    from_above(layer, message);
  }
  // One frame to the other end; false when none waits.
  bool deliver(LossyEnd& to) {
    if (inFlight.empty())
      return false;
    Bytes f = inFlight.front();
    inFlight.pop_front();
    from_below(to.layer, f);
    return true;
  }
  // One frame each way; false when none waited at either end.
  static bool exchange(LossyEnd& a, LossyEnd& b) {
    bool moved = a.deliver(b);
    return b.deliver(a) || moved;
  }
  // The numbers of the messages that came up, in order.
  std::vector<unsigned> received() const {
    std::vector<unsigned> numbers;
    for (const Bytes& m : upper.up)
      numbers.push_back(m.size() >= 2 ? unsigned(m[m.size() - 2]) << 8 | m.back() : ~0u);
    return numbers;
  }
};

}  // namespace lapd_test
