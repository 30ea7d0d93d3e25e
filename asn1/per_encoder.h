// Aligned PER encoder: appends the packed encoding of a value to a byte vector.
#pragma once

#include <cstddef>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class PEREncoder : public ConstVisitor {
 public:
  // Appends to the vector, whose size follows every write.
  explicit PEREncoder(std::vector<char>& buffer);
  // Writes into the caller's buffer and, once that is full, into storage of its
  // own; the octets are data()..data() + octetsWritten().
  PEREncoder(char* buffer, std::size_t size);
  PEREncoder(const PEREncoder&) = delete;
  PEREncoder& operator=(const PEREncoder&) = delete;

  // Encodes `value` as value.accept(*this) does.
  bool encode(const AbstractData& value);

  const char* data() const { return start; }
  std::size_t octetsWritten() const { return static_cast<std::size_t>(cursor - start); }

  // Primitive writers; bits go out most significant first.
  void encodeSingleBit(bool bit) { encodeMultiBit(bit ? 1u : 0u, 1); }
  void encodeMultiBit(unsigned value, unsigned n) {  // the low n bits, n <= 32
    if (n - 1u < 25u && limit - cursor >= 4) {
      // The bits in use of the last, partly filled octet and the new ones make at
      // most 32 bits, stored as one big-endian word from that octet on; what lies
      // behind the new cursor is not part of the encoding.
      const unsigned used = 8u - bitOffset;  // 0 when the next bit starts an octet
      unsigned char* at = reinterpret_cast<unsigned char*>(cursor) - (used != 0);
      const unsigned total = used + n;
      const unsigned word = (static_cast<unsigned>(used ? at[0] : 0) << 24) | ((value & ((1u << n) - 1u)) << (32 - total));
      at[0] = static_cast<unsigned char>(word >> 24);
      at[1] = static_cast<unsigned char>(word >> 16);
      at[2] = static_cast<unsigned char>(word >> 8);
      at[3] = static_cast<unsigned char>(word);
      cursor = reinterpret_cast<char*>(at) + (total + 7) / 8;
      bitOffset = static_cast<unsigned char>(8 - (total & 7u));
      return;
    }
    encodeMultiBitAcross(value, n);
  }
  void encodeByte(unsigned value);
  void encodeBlock(const char* bytes, std::size_t n);       // aligned octets; n = 0 does not align
  void encodeBitMap(const unsigned char* bits, unsigned n) {  // not aligned
    if (n - 1u < 8u)
      encodeMultiBit(static_cast<unsigned>(bits[0] >> (8 - n)), n);
    else
      encodeLongBitMap(bits, n);
  }
  void byteAlign() { bitOffset = 8; }

  // Constrained whole number lb..ub; false when the value is out of range.
  bool encodeUnsigned(unsigned value, int lb, unsigned ub) {
    unsigned offset = value - static_cast<unsigned>(lb);
    unsigned span = ub - static_cast<unsigned>(lb);
    if (offset > span) return false;
    if (span - 1u < 254u) {  // range 2..255: the bits of the range, not aligned
      encodeMultiBit(offset, CountBits(span + 1));
      return true;
    }
    return encodeUnsignedOtherRange(offset, span);
  }
  // Length determinant; ub above 65535 selects the unconstrained form (below 16384 only).
  bool encodeLength(unsigned len, unsigned lb, unsigned ub) {
    if (ub > 65535 && len < 128 && len >= lb) {  // unconstrained form, one octet
      byteAlign();
      reserve(1);
      *cursor++ = static_cast<char>(len);
      return true;
    }
    return encodeLengthOtherForm(len, lb, ub);
  }
  bool encodeSmallUnsigned(unsigned n);
  // True when the object is to be coded as unconstrained (writes the extension bit of type 3).
  bool encodeConstraint(const ConstrainedObject& object, int value);
  bool encodeConstrainedLength(const ConstrainedObject& object, unsigned len);
  // An open type: the value's own encoding behind an unconstrained length.
  bool encodeAnyType(const AbstractData* value);

  bool do_visit(const Null& value) override;
  bool do_visit(const BOOLEAN& value) override;
  bool do_visit(const INTEGER& value) override;
  bool do_visit(const ENUMERATED& value) override;
  bool do_visit(const OBJECT_IDENTIFIER& value) override;
  bool do_visit(const BIT_STRING& value) override;
  bool do_visit(const OCTET_STRING& value) override;
  bool do_visit(const AbstractString& value) override;
  bool do_visit(const BMPString& value) override;
  bool do_visit(const CHOICE& value) override;
  bool do_visit(const OpenData& value) override;
  bool do_visit(const GeneralizedTime& value) override;
  bool do_visit(const SEQUENCE_OF_Base& value) override;
  bool do_visit(const SEQUENCE& value) override;
  bool preVisitExtensionRoots(const SEQUENCE& value) override;
  bool visitExtensionRoot(const SEQUENCE& value, int index) override;
  bool preVisitExtensions(const SEQUENCE& value) override;
  bool visitKnownExtension(const SEQUENCE& value, int index) override;

 private:
  bool encodeUnconstrainedInteger(int value);
  // The octets of an unconstrained INTEGER near the end of the storage.
  bool encodeLongInteger(unsigned value, unsigned octets);
  // Encodes `value` as accept() does, the kinds that messages are made of
  // without the virtual calls.
  bool encodeValue(const AbstractData& value);
  bool encodeField(const AbstractData& value);
  bool encodeInteger(const INTEGER& value);
  void encodeMultiBitAcross(unsigned value, unsigned n);
  void encodeLongBitMap(const unsigned char* bits, unsigned n);
  bool encodeUnsignedOtherRange(unsigned offset, unsigned span);
  bool encodeLengthOtherForm(unsigned len, unsigned lb, unsigned ub);
  // Room for n more octets behind the cursor.
  void reserve(std::size_t n) {
    if (static_cast<std::size_t>(limit - cursor) < n) grow(n);
  }
  void grow(std::size_t n);

  std::vector<char>* encodedBuffer;  // the caller's vector, or `spill`, or null
  std::vector<char> spill;           // where a full caller's buffer moves to
  char* start;   // first octet of the storage
  char* cursor;  // behind the last octet written (the partly filled one included)
  char* limit;   // end of the storage
  bool appending;  // to the caller's vector
  unsigned char bitOffset;  // free bits in the last octet; 8: the next bit starts a new one
};

// Number of bits that code the values 0..range-1, for ranges up to 2^32.
inline unsigned bitsForRange(unsigned long long range) {
  return range >= 0x100000000ull ? 32 : CountBits(static_cast<unsigned>(range));
}

}  // namespace ASN1
