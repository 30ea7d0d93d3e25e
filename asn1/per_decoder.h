// Aligned PER decoder: fills a value from the packed encoding in a byte range.
// Every read is checked against what remains of the input.
#pragma once

#include <cstddef>

#include "asn1/visitor.h"

namespace ASN1 {

class PERDecoder : public Visitor {
 public:
  struct memento_type {
    const char* position;
    unsigned char bitOffset;
  };

  PERDecoder(const char* begin, const char* end, CoderEnv* env = nullptr)
      : env(env), endPosition(end), position(begin), bitOffset(8) {}

  // Decodes `value` as value.accept(*this) does.
  bool decode(AbstractData& value);

  memento_type get_memento() const { return memento_type{position, bitOffset}; }
  void rollback(const memento_type& memento) {
    position = memento.position;
    bitOffset = memento.bitOffset;
  }
  std::size_t getBitsLeft() const { return static_cast<std::size_t>(endPosition - position) * 8 + bitOffset - 8; }
  std::size_t getOctetsLeft() const { return static_cast<std::size_t>(endPosition - position); }
  const char* getPosition() const { return position; }
  // Moves to p (at most the end of the input), at an octet boundary.
  void setPosition(const char* p);
  void byteAlign();

  // Primitive readers: the int-valued ones give 0 for success and -1 for failure.
  bool decodeSingleBit() {  // 0 when no bit is left
    if (position == endPosition) return false;
    --bitOffset;
    bool bit = (static_cast<unsigned char>(*position) >> bitOffset) & 1u;
    if (bitOffset == 0) {
      ++position;
      bitOffset = 8;
    }
    return bit;
  }
  int decodeMultiBit(unsigned n, unsigned& value) {
    if (n - 1u < 25u) {
      if (endPosition - position >= 4) {  // up to 25 bits lie within the next four octets
        value = peekBits() >> (32u - n);
        skipBits(n);
        return 0;
      }
      if (n < bitOffset && position != endPosition) {  // within the current octet
        bitOffset = static_cast<unsigned char>(bitOffset - n);
        value = (static_cast<unsigned char>(*position) >> bitOffset) & ((1u << n) - 1u);
        return 0;
      }
    }
    return decodeMultiBitNearEnd(n, value);
  }
  bool decodeBitMap(unsigned char* bits, unsigned n) {
    if (n - 1u < 8u) {
      unsigned octet = 0;
      if (decodeMultiBit(n, octet) < 0) return false;
      *bits = static_cast<unsigned char>(octet << (8 - n));
      return true;
    }
    return decodeLongBitMap(bits, n);
  }
  std::size_t decodeBlock(char* buffer, std::size_t n);  // octets copied
  int decodeUnsigned(int lb, unsigned ub, unsigned& value) {
    unsigned span = ub - static_cast<unsigned>(lb);
    if (span - 1u < 254u) {  // range 2..255: the bits of the range, not aligned
      unsigned offset = 0;
      if (decodeMultiBit(CountBits(span + 1), offset) < 0) return -1;
      value = static_cast<unsigned>(lb) + offset;
      return 0;
    }
    return decodeUnsignedOtherRange(lb, ub, value);
  }
  int decodeLength(unsigned lb, unsigned ub, unsigned& len) {
    if (ub > 65535) {  // unconstrained form; a length below 128 is one octet
      byteAlign();
      if (position != endPosition && !(*position & 0x80)) {
        len = static_cast<unsigned char>(*position++);
        return 0;
      }
    }
    return decodeLengthOtherForm(lb, ub, len);
  }
  int decodeSmallUnsigned(unsigned& n);
  int decodeConstrainedLength(const ConstrainedObject& object, unsigned& len);

  bool do_visit(Null& value) override;
  bool do_visit(BOOLEAN& value) override;
  bool do_visit(INTEGER& value) override;
  bool do_visit(ENUMERATED& value) override;
  bool do_visit(OBJECT_IDENTIFIER& value) override;
  bool do_visit(OCTET_STRING& value) override;
  bool do_visit(BIT_STRING& value) override;
  bool do_visit(AbstractString& value) override;
  bool do_visit(BMPString& value) override;
  bool do_visit(CHOICE& value) override;
  bool do_visit(SEQUENCE_OF_Base& value) override;
  bool do_visit(OpenData& value) override;
  bool do_revisit(OpenData& value) override;
  bool do_visit(TypeConstrainedOpenData& value) override;
  bool do_visit(GeneralizedTime& value) override;
  bool do_visit(SEQUENCE& value) override;
  int preVisitExtensionRoots(SEQUENCE& value) override;
  int visitExtensionRoot(SEQUENCE& value, int index, int presenceIndex) override;
  int preVisitExtensions(SEQUENCE& value) override;
  int visitKnownExtension(SEQUENCE& value, int index, int presenceIndex) override;
  bool visitUnknownExtensions(SEQUENCE& value) override;

 private:
  // With four octets left: the next bits at the top of a word, at least 25 of
  // them; skipBits() moves past up to that many.
  unsigned peekBits() const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(position);
    return ((unsigned(p[0]) << 24) | (unsigned(p[1]) << 16) | (unsigned(p[2]) << 8) | p[3]) << (8u - bitOffset);
  }
  void skipBits(unsigned n) {
    const unsigned used = 8u - bitOffset + n;
    position += used / 8u;
    bitOffset = static_cast<unsigned char>(8u - used % 8u);
  }
  int decodeMultiBitNearEnd(unsigned n, unsigned& value);
  bool decodeLongBitMap(unsigned char* bits, unsigned n);
  int decodeUnsignedOtherRange(int lb, unsigned ub, unsigned& value);
  int decodeLengthOtherForm(unsigned lb, unsigned ub, unsigned& len);
  // Reads an unconstrained length and checks that many octets remain; leaves the
  // position on the first of them.
  bool decodeOpenTypeLength(unsigned& len);
  // Decodes `value` from the next `len` octets only, then moves past them.
  bool decodeWithin(AbstractData& value, unsigned len);
  // Decodes `value` as accept() does, the kinds that messages are made of
  // without the virtual calls.
  bool decodeValue(AbstractData& value);
  bool decodeField(AbstractData& value);
  bool decodeInteger(INTEGER& value);
  bool decodeUnconstrainedInteger(INTEGER& value);
  // The unconstrained forms that decodeUnconstrainedInteger leaves, in full.
  bool decodeLongInteger(INTEGER& value);

  CoderEnv* env;
  const char* endPosition;
  const char* position;
  unsigned char bitOffset;  // unread bits of the current octet; 8: untouched
};

}  // namespace ASN1
