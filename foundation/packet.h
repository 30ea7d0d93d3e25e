#pragma once
// Packets: handles on reference-counted 64 KiB buffers from one fixed pool
// of 1024. A buffer keeps head room in front of its data and tail room
// behind it, so layers add headers and trailers in place. Copies of a
// handle share the buffer; a write through a handle whose buffer is shared
// first gives that handle a private copy. A broken precondition ends the
// process with a report; an empty pool raises std::bad_alloc, except where
// a buffer is taken with take(), which says so instead.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/packet_pool.h"
#include "foundation/smart_pointer.h"

constexpr unsigned packet_max_size = 65536;

// Buffers that input which may be refused leaves in the pool: user data
// from the controller, which the links queue, stops taking buffers here,
// so that the controller link and the frames the links build and read go
// on working when queues fill the pool.
constexpr unsigned packet_reserve = 32;

// One buffer: start of area <= data <= tail <= end of area.
class _Packet {
public:
  _Packet() : count(0), data(area + packet_max_size), tail(area + packet_max_size) {}
  // Same head room and length as other; only the data bytes are copied.
  _Packet(const _Packet& other);
  _Packet& operator=(const _Packet&) = delete;

  void smart_ref() { ++count; }
  unsigned smart_unref() { return count ? --count : 0; }

  unsigned headroom() const { return static_cast<unsigned>(data - area); }
  unsigned length() const { return static_cast<unsigned>(tail - data); }
  unsigned tailroom() const { return static_cast<unsigned>(area + packet_max_size - tail); }
  bool valid() const {
    return data >= area && data <= area + packet_max_size && tail >= area && tail <= area + packet_max_size &&
           data <= tail;
  }

  uint32_t count;
  unsigned char* data;
  unsigned char* tail;
  unsigned char area[packet_max_size];
};

// Returns a buffer whose last handle went away to the pool.
void smart_dispose(_Packet* packet);

typedef List_allocator<_Packet, 1024, Dummy_critical_section> PacketPool;
PacketPool& packet_pool();

class Packet;

// A snapshot of a packet for the failure report.
class PacketInfo {
public:
  explicit PacketInfo(const Packet& packet);
  void put(std::ostream& out) const;

private:
  bool null_;
  bool valid_;
  unsigned head_, length_, tail_;
  std::vector<unsigned char> bytes_;
};

class Packet {
public:
  Packet() = default;

  bool null() const { return p_.null(); }
  unsigned length() const { return p_ ? p_.get()->length() : 0; }
  unsigned headroom() const { return p_ ? p_.get()->headroom() : 0; }
  unsigned tailroom() const { return p_ ? p_.get()->tailroom() : 0; }
  // True when another handle shares the buffer.
  bool shared() const { return p_ && p_.get()->count > 1; }

  // Room in front of (reserve_head) or behind (reserve_tail) an empty
  // window; a null packet takes a new buffer.
  void reserve_head(unsigned n);
  void reserve_tail(unsigned n);
  // A new buffer for this handle (what it held is let go) with n octets
  // of head room and no data, taken only while more than `leave` buffers
  // are free: otherwise false, and the handle is null.
  bool take(unsigned head, unsigned leave = 0);

  void push(unsigned char byte) {
    _Packet* b = prepare_push();
    *--b->data = byte;
    check("push");
  }
  void push16_b(unsigned short v) {
    push(static_cast<unsigned char>(v));
    push(static_cast<unsigned char>(v >> 8));
  }

  void put(unsigned char byte) {
    _Packet* b = prepare_put(1);
    *b->tail++ = byte;
    check("put");
  }
  void put16_b(unsigned short v) {
    put(static_cast<unsigned char>(v >> 8));
    put(static_cast<unsigned char>(v));
  }
  void put16(unsigned short v) {
    put(static_cast<unsigned char>(v));
    put(static_cast<unsigned char>(v >> 8));
  }
  // Appends n bytes.
  void put(const void* bytes, unsigned n);
  void put(const Packet& other);
  // One length byte, then the characters. A string over 255 octets does not
  // fit the length byte: it is refused (error line, nothing appended, false).
  bool put(const std::string& s);

  // The first byte, removed; 0 from an empty packet.
  unsigned char pull();
  unsigned short pull16_b() {
    unsigned hi = pull();
    return static_cast<unsigned short>((hi << 8) | pull());
  }
  unsigned short pull16_l() {
    unsigned lo = pull();
    return static_cast<unsigned short>(lo | (pull() << 8));
  }
  // Removes n bytes from the front, copied to `to` unless it is null.
  void pull(void* to, unsigned n);
  std::string pull_string();
  // Removes n bytes from the end.
  void trim(unsigned n);

  // Byte i of the data.
  unsigned char operator[](unsigned i) const;
  // The data (null for a null packet); read-only, never unshares.
  const unsigned char* data() const { return p_ ? p_.get()->data : nullptr; }
  // Where appended bytes go (a write access); extend() then takes n of them
  // into the data. For readers that fill the tail room directly.
  unsigned char* tail_room();
  void extend(unsigned n);

  // A packet of its own holding bytes start .. start+len-1, at the same
  // positions in its buffer.
  Packet sub(unsigned start, unsigned len) const;

  std::string text() const;
  bool dump(std::ostream& out) const;
  bool dump_context(std::ostream& out);
  void check(const char* op);
  void passert(bool cond, const char* text) const {
    if (!cond)
      assertion_failed(text);
  }
  void passert(bool cond, const std::string& text) const {
    if (!cond)
      assertion_failed(text.c_str());
  }

private:
  friend class PacketInfo;

  // Write access: unshares the buffer first (copy-on-write).
  _Packet* prepare_for_modify();
  _Packet* prepare_push() {
    passert(!null(), "null packet");
    passert(1 <= p_.get()->headroom(), "len<=_headroom()");
    return prepare_for_modify();
  }
  _Packet* prepare_put(unsigned n) {
    passert(!null(), "null packet");
    passert(n <= p_.get()->tailroom(), "len<=_tailroom()");
    return prepare_for_modify();
  }
  [[noreturn]] void assertion_failed(const char* text) const;
  [[noreturn]] static void check_failed(const char* format, const char* op);
  static _Packet* new_buffer();

  Smart_pointer<_Packet> p_;
};
