#include "foundation/packet.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>

_Packet::_Packet(const _Packet& other)
    : count(0), data(area + other.headroom()), tail(area + other.headroom() + other.length()) {
  memcpy(data, other.data, other.length());
}

PacketPool& packet_pool() {
  // Zero-initialised storage: its pages are committed only when a block is used.
  static PacketPool pool;
  return pool;
}

namespace {
// Built before main, like every other static of the daemon.
[[maybe_unused]] const PacketPool& poolAtStart = packet_pool();
}  // namespace

namespace {
// An idle pool gives back the memory of its used blocks, at most every 10 s
// and once at least 16 blocks have been used since the last time:
// first-freed, first-reused order walks through every block, so without
// this each block's first page would stay resident for good.
constexpr unsigned TrimBlocks = 16;
constexpr long long TrimIntervalMs = 10000;
long long lastTrimMs = -TrimIntervalMs;

long long coarse_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

void smart_dispose(_Packet* packet) {
  PacketPool& pool = packet_pool();
  pool.deallocate(packet);
  if (pool.touched() >= TrimBlocks && pool.available() == PacketPool::capacity) {
    long long now = coarse_ms();
    if (now - lastTrimMs >= TrimIntervalMs) {
      pool.release_idle_memory();
      lastTrimMs = now;
    }
  }
}

_Packet* Packet::new_buffer() {
  _Packet* b = packet_pool().allocate();
  if (!b)
    throw std::bad_alloc();
  return new (b) _Packet;
}

_Packet* Packet::prepare_for_modify() {
  _Packet* shared = p_.operator->();  // a null handle ends the process
  if (shared->count <= 1)
    return shared;
  _Packet* own = packet_pool().allocate();
  if (!own)
    throw std::bad_alloc();
  new (own) _Packet(*shared);
  p_ = own;  // releases one reference of the shared buffer
  return own;
}

void Packet::reserve_head(unsigned n) {
  if (null()) {
    passert(n <= packet_max_size, "length>packet_max_size");
    _Packet* b = new_buffer();
    b->data = b->tail = b->area + n;
    p_ = b;
    return;
  }
  passert(n <= packet_max_size, "length>packet_max_size");
  passert(n <= p_.get()->tailroom(), "new_len>packet_max_size");
  _Packet* b = prepare_for_modify();
  b->data += n;
  b->tail += n;
}

bool Packet::take(unsigned head, unsigned leave) {
  passert(head <= packet_max_size, "length>packet_max_size");
  p_.release();  // first: its buffer may be the one to take
  if (packet_pool().available() <= leave)
    return false;
  _Packet* b = new_buffer();
  b->data = b->tail = b->area + head;
  p_ = b;
  return true;
}

void Packet::reserve_tail(unsigned n) {
  passert(n <= packet_max_size, "len>packet_max_size");
  if (null()) {
    _Packet* b = new_buffer();
    b->data = b->tail = b->area + packet_max_size - n;
    p_ = b;
    return;
  }
  passert(n <= p_.get()->headroom(), "_tailroom()+len <= packet_max_size");
  _Packet* b = prepare_for_modify();
  b->data -= n;
  b->tail -= n;
}

void Packet::put(const void* bytes, unsigned n) {
  _Packet* b = prepare_put(n);
  if (n)
    memcpy(b->tail, bytes, n);
  b->tail += n;
  check("put");
}

void Packet::put(const Packet& other) {
  unsigned n = other.length();
  if (n == 0)
    return;
  // Through a handle of its own: other may share this very buffer.
  Packet source(other);
  put(source.data(), n);
}

bool Packet::put(const std::string& s) {
  if (s.size() > 255) {
    std::cerr << "Packet::put: string of " << s.size() << " octets refused, max 255" << std::endl;
    return false;
  }
  put(static_cast<unsigned char>(s.size()));
  put(s.data(), static_cast<unsigned>(s.size()));
  return true;
}

unsigned char Packet::pull() {
  passert(!null(), "null packet");
  if (p_.get()->length() == 0)
    return 0;
  _Packet* b = prepare_for_modify();
  return *b->data++;
}

void Packet::pull(void* to, unsigned n) {
  passert(!null(), "null packet");
  passert(n <= p_.get()->length(), "len<=_length()");
  _Packet* b = prepare_for_modify();
  if (to && n)
    memcpy(to, b->data, n);
  b->data += n;
}

std::string Packet::pull_string() {
  unsigned n = pull();
  std::string s;
  s.reserve(n);
  for (unsigned i = 0; i < n; ++i)
    s.push_back(static_cast<char>(pull()));
  return s;
}

void Packet::trim(unsigned n) {
  passert(!null(), "null packet");
  passert(n <= p_.get()->length(), "len<=_length()");
  prepare_for_modify()->tail -= n;
}

unsigned char Packet::operator[](unsigned i) const {
  passert(!null(), "null packet");
  passert(i < p_.get()->length(), "index out of range");
  return p_.get()->data[i];
}

unsigned char* Packet::tail_room() {
  passert(!null(), "null packet");
  return prepare_for_modify()->tail;
}

void Packet::extend(unsigned n) {
  _Packet* b = prepare_put(n);
  b->tail += n;
  check("put");
}

Packet Packet::sub(unsigned start, unsigned len) const {
  passert(!null(), "null packet");
  passert(start <= length(), "start<=_length()");
  passert(len <= length() - start, "start+len<=_length()");  // no wrap-around
  Packet copy(*this);
  _Packet* b = copy.prepare_for_modify();  // always a buffer of its own
  b->data += start;
  b->tail = b->data + len;
  return copy;
}

std::string Packet::text() const {
  if (null())
    return "(null)";
  const _Packet* b = p_.get();
  if (!b->valid())
    return "(bad)";
  std::string out;
  out.reserve(b->length() * 3);
  char hex[4];
  for (const unsigned char* q = b->data; q < b->tail; ++q) {
    if (q != b->data)
      out += ' ';
    snprintf(hex, sizeof hex, "%02X", *q);
    out += hex;
  }
  return out;
}

bool Packet::dump(std::ostream& out) const {
  if (null())
    return false;
  const _Packet* b = p_.get();
  out << "head=" << b->headroom() << ", data=" << b->length() << ", tail=" << b->tailroom();
  return true;
}

bool Packet::dump_context(std::ostream& out) {
  if (null() || !p_.get()->valid())
    return false;
  const _Packet* b = prepare_for_modify();
  if (b->length() == 0)
    return true;
  out << "dump:";
  std::ios_base::fmtflags flags = out.flags();
  out << std::hex;
  for (const unsigned char* q = b->data; q < b->tail; ++q)
    out << ' ' << static_cast<unsigned>(*q);
  out.flags(flags);
  return true;
}

void Packet::check(const char* op) {
  if (null())
    check_failed("after \"%s\" packet is null", op);
  const _Packet* b = prepare_for_modify();
  const unsigned char* end = b->area + packet_max_size;
  if (b->data < b->area || b->data > end)
    check_failed("after \"%s\" fdata invalid", op);
  if (b->tail < b->area || b->tail > end)
    check_failed("after \"%s\" ftail invalid", op);
  if (b->data > b->tail)
    check_failed("after \"%s\" fdata>ftail", op);
}

void Packet::check_failed(const char* format, const char* op) {
  char message[256];
  snprintf(message, sizeof message, format, op);
  std::clog << "packet check fail" << std::endl << message << std::endl << "terminate." << std::endl;
  std::terminate();
}

void Packet::assertion_failed(const char* text) const {
  std::clog << "PACKET ASSERTION FAILED!" << std::endl << text << std::endl;
  PacketInfo(*this).put(std::clog);
  std::clog << std::endl;
  std::terminate();
}

PacketInfo::PacketInfo(const Packet& packet)
    : null_(packet.null()), valid_(false), head_(0), length_(0), tail_(0) {
  if (null_)
    return;
  const _Packet* b = packet.p_.get();
  head_ = static_cast<unsigned>(b->data - b->area);
  length_ = static_cast<unsigned>(b->tail - b->data);
  tail_ = static_cast<unsigned>(b->area + packet_max_size - b->tail);
  valid_ = b->valid();
  if (valid_)
    bytes_.assign(b->data, b->tail);
}

void PacketInfo::put(std::ostream& out) const {
  if (null_) {
    out << "(null)";
    return;
  }
  out << "head=" << head_ << ", data=" << length_ << ", tail=" << tail_ << std::endl;
  if (!valid_) {
    out << "can't dump packet: wrong pointers";
    return;
  }
  if (length_ == 0)
    return;
  out << "dump:" << std::endl;
  std::ios_base::fmtflags flags = out.flags();
  out << std::hex;
  for (unsigned char c : bytes_)
    out << ' ' << static_cast<unsigned>(c);
  out.flags(flags);
  out << std::endl;
}
