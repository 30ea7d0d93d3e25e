#include "rtp/rtcp.h"

#include <algorithm>
#include <cstring>

namespace RTPC {

namespace {

void put32(char* p, uint32_t v) {
  p[0] = static_cast<char>(v >> 24);
  p[1] = static_cast<char>(v >> 16);
  p[2] = static_cast<char>(v >> 8);
  p[3] = static_cast<char>(v);
}

unsigned wordAligned(unsigned n) { return (n + 3u) & ~3u; }

// Zero bytes from pos up to the next word boundary; the caller has made
// sure the boundary lies within the buffer.
unsigned pad(char* buffer, unsigned pos) {
  while (pos % 4)
    buffer[pos++] = 0;
  return pos;
}

}  // namespace

unsigned Msg::encode(char* buffer, unsigned size) const {
  if (size < 8)
    return 0;
  unsigned total = 4 + encode_body(buffer + 4, size - 4);
  if (wordAligned(total) <= size)
    total = pad(buffer, total);
  buffer[0] = static_cast<char>(0x80 | (count() & 0x1f));
  buffer[1] = static_cast<char>(pt());
  unsigned words = total / 4 - 1;
  buffer[2] = static_cast<char>(words >> 8);
  buffer[3] = static_cast<char>(words);
  return total;
}

unsigned SDES::encode_body(char* buffer, unsigned size) const {
  if (size < 4)
    return 0;
  put32(buffer, ssrc_);
  unsigned pos = 4;
  if (items_.empty() || size - pos < 8)
    return pos;
  for (const Item& item : items_) {
    unsigned len = static_cast<unsigned>(std::min<size_t>(item.text.size(), 255));
    // Room for the item, the end-of-list byte and padding, counted from a
    // word boundary; and, since the item may start inside a word, the same
    // counted from where it really starts.
    if (size - pos < ((len + 6) & ~3u) || wordAligned(pos + 2 + len + 1) > size)
      break;
    buffer[pos++] = static_cast<char>(item.type);
    buffer[pos++] = static_cast<char>(len);
    std::memcpy(buffer + pos, item.text.data(), len);
    pos += len;
  }
  buffer[pos++] = 0;
  return pad(buffer, pos);
}

unsigned BYE::encode_body(char* buffer, unsigned size) const {
  if (size < 4)
    return 0;
  put32(buffer, ssrc_);
  // The length byte, the text and its padding must end by the last whole
  // word of the buffer.
  unsigned limit = size & ~3u;
  if (reason_.empty() || limit < 8)
    return 4;
  unsigned len = static_cast<unsigned>(std::min<size_t>({limit - 5, reason_.size(), 255}));
  buffer[4] = static_cast<char>(len);
  std::memcpy(buffer + 5, reason_.data(), len);
  return pad(buffer, 5 + len);
}

}  // namespace RTPC
