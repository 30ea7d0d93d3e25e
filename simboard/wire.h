#pragma once
// The board's byte order as the simulated drivers see it: offset readers and
// writers for argument and event records, and builders for the records a
// test injects. The drivers' records are big-endian.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace SimBoard {

using Bytes = std::vector<uint8_t>;

inline uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline void put_be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline void put_be16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

// A record of big-endian 32-bit words, e.g. words({3, 512, 0, 1, 4}).
Bytes words(std::initializer_list<uint32_t> values);

// Builds a record field by field in the board's byte order.
class RecordBuilder {
public:
  RecordBuilder& u32(uint32_t v);
  RecordBuilder& u16(uint16_t v);
  RecordBuilder& u8(uint8_t v);
  RecordBuilder& text(const std::string& s);  // the characters, no terminator
  RecordBuilder& zeros(size_t n);
  const Bytes& bytes() const { return bytes_; }
  operator const Bytes&() const { return bytes_; }

private:
  Bytes bytes_;
};

// The bytes as text ("" for none): the watchdog's and tests' view of a write.
std::string as_text(const Bytes& bytes);
// "0a 1b ..." for messages of failed checks.
std::string as_hex(const Bytes& bytes);

// The argument size encoded in a request number (13 bits above the type byte).
inline size_t request_size(unsigned long request) { return (request >> 16) & 0x1fff; }

}  // namespace SimBoard
