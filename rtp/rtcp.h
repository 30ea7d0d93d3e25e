#pragma once
// The two RTCP packets an RTP slot sends of its own: a source description
// when its session starts and a goodbye when it ends. Each carries one SSRC
// in the RFC 3550 layout (version 2, no padding bit); every write stays
// within the buffer it is given, whatever its size.
#include <cstdint>
#include <string>
#include <vector>

namespace RTPC {

class Msg {
public:
  virtual ~Msg() = default;
  virtual int pt() const = 0;
  virtual int count() const = 0;
  // Writes the body that follows the 4-byte header, padded to whole words;
  // returns its length, 0 when it does not fit.
  virtual unsigned encode_body(char* buffer, unsigned size) const = 0;

  // The whole packet: its length in bytes, 0 when size is below 8.
  unsigned encode(char* buffer, unsigned size) const;
};

class SDES : public Msg {
public:
  struct Item {
    enum Type { END = 0, CNAME = 1, NAME = 2, EMAIL = 3, PHONE = 4, LOC = 5, TOOL = 6, NOTE = 7, PRIV = 8 };
    Type type;
    std::string text;
  };

  explicit SDES(uint32_t ssrc) : ssrc_(ssrc) {}
  void add(Item::Type type, const std::string& text) { items_.push_back(Item{type, text}); }

  int pt() const override { return 202; }
  int count() const override { return 1; }
  // The SSRC and the items that fit, in order (text cut to 255 bytes), the
  // end-of-list byte and padding. An item that does not fit ends the list.
  unsigned encode_body(char* buffer, unsigned size) const override;

private:
  uint32_t ssrc_;
  std::vector<Item> items_;
};

class BYE : public Msg {
public:
  BYE(uint32_t ssrc, std::string reason) : ssrc_(ssrc), reason_(std::move(reason)) {}

  int pt() const override { return 203; }
  int count() const override { return 1; }
  // The SSRC, then the reason (cut to 255 bytes and to the room left) with
  // its length byte, and padding; an empty reason gives the SSRC alone.
  unsigned encode_body(char* buffer, unsigned size) const override;

private:
  uint32_t ssrc_;
  std::string reason_;
};

}  // namespace RTPC
