#include "simboard/wire.h"

#include <cstdio>

namespace SimBoard {

Bytes words(std::initializer_list<uint32_t> values) {
  RecordBuilder b;
  for (uint32_t v : values)
    b.u32(v);
  return b.bytes();
}

RecordBuilder& RecordBuilder::u32(uint32_t v) {
  size_t at = bytes_.size();
  bytes_.resize(at + 4);
  put_be32(&bytes_[at], v);
  return *this;
}

RecordBuilder& RecordBuilder::u16(uint16_t v) {
  size_t at = bytes_.size();
  bytes_.resize(at + 2);
  put_be16(&bytes_[at], v);
  return *this;
}

RecordBuilder& RecordBuilder::u8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

RecordBuilder& RecordBuilder::text(const std::string& s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  return *this;
}

RecordBuilder& RecordBuilder::zeros(size_t n) {
  bytes_.resize(bytes_.size() + n, 0);
  return *this;
}

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string as_hex(const Bytes& bytes) {
  std::string text;
  char cell[4];
  for (uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, "%02x", b);
    if (!text.empty())
      text += ' ';
    text += cell;
  }
  return text;
}

}  // namespace SimBoard
