#include "asn1/per_encoder.h"

#include <algorithm>
#include <cstring>

#include "asn1/char_strings.h"
#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_strings.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/simple_values.h"

namespace ASN1 {

namespace {
const unsigned UnconstrainedUpper = 0x7fffffffu;
}

PEREncoder::PEREncoder(std::vector<char>& buffer)
    : encodedBuffer(&buffer),
      start(buffer.data()),
      cursor(buffer.data() + buffer.size()),
      limit(cursor),
      appending(true),
      bitOffset(8) {}

PEREncoder::PEREncoder(char* buffer, std::size_t size)
    : encodedBuffer(nullptr), start(buffer), cursor(buffer), limit(buffer + size), appending(false), bitOffset(8) {}

void PEREncoder::grow(std::size_t n) {
  std::size_t written = octetsWritten();
  if (appending) {  // exactly what is written, so that the size stays right
    encodedBuffer->resize(written + n);
    start = encodedBuffer->data();
    cursor = start + written;
    limit = cursor + n;
    return;
  }
  std::size_t wanted = written + std::max(n, std::max<std::size_t>(written, 64));
  if (encodedBuffer != &spill) {
    spill.resize(wanted);
    if (written) std::memcpy(spill.data(), start, written);
    encodedBuffer = &spill;
  } else {
    spill.resize(wanted);
  }
  start = spill.data();
  cursor = start + written;
  limit = start + wanted;
}

void PEREncoder::encodeMultiBitAcross(unsigned value, unsigned n) {
  if (n == 0) return;
  if (n < 32) value &= (1u << n) - 1u;
  unsigned fresh = bitOffset == 8 ? n : (n < bitOffset ? 0 : n - bitOffset);
  reserve((fresh + 7) / 8);
  if (bitOffset != 8) {  // fill the last octet first
    unsigned char& last = reinterpret_cast<unsigned char&>(cursor[-1]);
    if (n < bitOffset) {
      last = static_cast<unsigned char>(last | (value << (bitOffset - n)));
      bitOffset = static_cast<unsigned char>(bitOffset - n);
      return;
    }
    n -= bitOffset;
    last = static_cast<unsigned char>(last | (value >> n));
    bitOffset = 8;
  }
  for (; n >= 8; n -= 8) *cursor++ = static_cast<char>(value >> (n - 8));
  if (n > 0) {
    *cursor++ = static_cast<char>(value << (8 - n));
    bitOffset = static_cast<unsigned char>(8 - n);
  }
}

void PEREncoder::encodeByte(unsigned value) {
  byteAlign();
  reserve(1);
  *cursor++ = static_cast<char>(value);
}

void PEREncoder::encodeBlock(const char* bytes, std::size_t n) {
  if (n == 0) return;
  byteAlign();
  reserve(n);
  std::memcpy(cursor, bytes, n);
  cursor += n;
}

void PEREncoder::encodeLongBitMap(const unsigned char* bits, unsigned n) {
  if (n <= 32) {  // one write of up to four octets
    unsigned octets = (n + 7) / 8, word = 0;
    for (unsigned i = 0; i < octets; ++i) word = (word << 8) | bits[i];
    encodeMultiBitAcross(word >> (8 * octets - n), n);
    return;
  }
  for (unsigned i = 0; i < n / 8; ++i) encodeMultiBit(bits[i], 8);
  if (n % 8) encodeMultiBit(static_cast<unsigned>(bits[n / 8] >> (8 - n % 8)), n % 8);
}

bool PEREncoder::encodeUnsignedOtherRange(unsigned offset, unsigned span) {
  if (span == 0) return true;
  unsigned long long range = span + 1ull;
  if (range <= 255) {
    encodeMultiBit(offset, bitsForRange(range));
  } else if (range == 256) {
    byteAlign();
    encodeMultiBit(offset, 8);
  } else if (range <= 65536) {
    byteAlign();
    encodeMultiBit(offset, 16);
  } else {
    unsigned maxOctets = (bitsForRange(range) + 7) / 8;
    unsigned octets = offset == 0 ? 1 : (bitsForRange(offset + 1ull) + 7) / 8;
    if (!encodeLength(octets, 1, maxOctets)) return false;
    byteAlign();
    encodeMultiBit(offset, 8 * octets);
  }
  return true;
}

bool PEREncoder::encodeLengthOtherForm(unsigned len, unsigned lb, unsigned ub) {
  if (len < lb || len > ub) return false;
  if (ub <= 65535) return encodeUnsigned(len, static_cast<int>(lb), ub);
  byteAlign();
  if (len < 128) {
    encodeMultiBit(len, 8);
  } else if (len < 16384) {
    encodeMultiBit(len | 0x8000u, 16);
  } else {
    return false;  // would need fragmentation
  }
  return true;
}

bool PEREncoder::encodeSmallUnsigned(unsigned n) {
  if (n < 64) {
    encodeMultiBit(n, 7);
    return true;
  }
  unsigned octets = n < 0x100u ? 1 : (n < 0x10000u ? 2 : (n < 0x1000000u ? 3 : 4));
  encodeSingleBit(true);
  encodeLength(octets, 0, UnconstrainedUpper);
  byteAlign();
  encodeMultiBit(n, 8 * octets);
  return true;
}

bool PEREncoder::encodeConstraint(const ConstrainedObject& object, int value) {
  const ConstrainedObject::InfoType* record = object.info();
  switch (record->type) {
    case FixedConstraint:
      return false;
    case ExtendableConstraint: {
      bool outside = record->lowerLimit < 0
                         ? (value < record->lowerLimit ||
                            (record->upperLimit <= 0x7fffffffu && value > static_cast<int>(record->upperLimit)))
                         : (static_cast<unsigned>(value) < static_cast<unsigned>(record->lowerLimit) ||
                            static_cast<unsigned>(value) > record->upperLimit);
      encodeSingleBit(outside);
      return outside;
    }
    default:
      return true;
  }
}

bool PEREncoder::encodeConstrainedLength(const ConstrainedObject& object, unsigned len) {
  if (encodeConstraint(object, static_cast<int>(len))) return encodeLength(len, 0, UnconstrainedUpper);
  return encodeLength(len, static_cast<unsigned>(object.getLowerLimit()), object.getUpperLimit());
}

bool PEREncoder::encodeAnyType(const AbstractData* value) {
  // The value is written in place behind one octet kept for its length, which
  // moves it on by one more octet when the length needs two.
  byteAlign();
  reserve(1);
  std::size_t lengthAt = octetsWritten();
  *cursor++ = 0;
  if (value && !value->accept(*this)) return false;
  byteAlign();
  std::size_t length = octetsWritten() - lengthAt - 1;
  if (length == 0) {  // an empty encoding is one zero bit
    reserve(1);
    *cursor++ = 0;
    length = 1;
  }
  if (length >= 16384) return false;  // would need fragmentation
  if (length < 128) {
    start[lengthAt] = static_cast<char>(length);
    return true;
  }
  reserve(1);
  std::memmove(start + lengthAt + 2, start + lengthAt + 1, length);
  ++cursor;
  start[lengthAt] = static_cast<char>(0x80u | (length >> 8));
  start[lengthAt + 1] = static_cast<char>(length);
  return true;
}

// The length (one octet) and the two's complement octets, aligned: the
// magnitude's bits and a sign bit.
__attribute__((always_inline)) inline bool PEREncoder::encodeUnconstrainedInteger(int value) {
  const unsigned u = static_cast<unsigned>(value);
  const unsigned magnitude = value < 0 ? ~u : u;
  const unsigned octets = (32 - static_cast<unsigned>(__builtin_clz(magnitude | 1u))) / 8 + 1;
  byteAlign();
  if (limit - cursor < 5) return encodeLongInteger(u, octets);
  // The octets at the top of a word, stored whole; what lies behind the new
  // cursor is not part of the encoding.
  unsigned char* out = reinterpret_cast<unsigned char*>(cursor);
  const unsigned word = u << (32 - 8 * octets);
  out[0] = static_cast<unsigned char>(octets);
  out[1] = static_cast<unsigned char>(word >> 24);
  out[2] = static_cast<unsigned char>(word >> 16);
  out[3] = static_cast<unsigned char>(word >> 8);
  out[4] = static_cast<unsigned char>(word);
  cursor = reinterpret_cast<char*>(out) + 1 + octets;
  return true;
}

bool PEREncoder::encodeLongInteger(unsigned value, unsigned octets) {
  reserve(1 + octets);
  char* out = cursor;
  out[0] = static_cast<char>(octets);
  for (unsigned k = 1; k <= octets; ++k) out[k] = static_cast<char>(value >> (8 * (octets - k)));
  cursor = out + 1 + octets;
  return true;
}

// The common INTEGERs in line: a range of up to 255 values, and an unconstrained number.
__attribute__((always_inline)) inline bool PEREncoder::encodeInteger(const INTEGER& value) {
  const INTEGER::InfoType* record = value.info();
  if (record->type == FixedConstraint) {
    const unsigned offset = static_cast<unsigned>(value.getValue()) - static_cast<unsigned>(record->lowerLimit);
    const unsigned span = record->upperLimit - static_cast<unsigned>(record->lowerLimit);
    if (span - 1u < 254u && offset <= span) {
      encodeMultiBit(offset, CountBits(span + 1));
      return true;
    }
  } else if (record->type != ExtendableConstraint) {
    return encodeUnconstrainedInteger(value.getValue());
  }
  return PEREncoder::do_visit(value);
}

__attribute__((always_inline)) inline bool PEREncoder::encodeValue(const AbstractData& value) {
  switch (value.kind()) {
    case AbstractData::NullKind:
      return true;
    case AbstractData::IntegerKind:
      return encodeInteger(static_cast<const INTEGER&>(value));
    case AbstractData::BooleanKind:
      return PEREncoder::do_visit(static_cast<const BOOLEAN&>(value));
    case AbstractData::EnumeratedKind:
      return PEREncoder::do_visit(static_cast<const ENUMERATED&>(value));
    case AbstractData::ChoiceKind:
      return PEREncoder::do_visit(static_cast<const CHOICE&>(value));
    case AbstractData::SequenceKind:
      return PEREncoder::do_visit(static_cast<const SEQUENCE&>(value));
    default:
      return value.accept(*this);
  }
}

// Most fields and list elements are INTEGERs: tested before the table of the kinds.
__attribute__((always_inline)) inline bool PEREncoder::encodeField(const AbstractData& value) {
  if (value.kind() == AbstractData::IntegerKind) return encodeInteger(static_cast<const INTEGER&>(value));
  return encodeValue(value);
}

bool PEREncoder::encode(const AbstractData& value) { return encodeValue(value); }

bool PEREncoder::do_visit(const Null&) { return true; }

bool PEREncoder::do_visit(const BOOLEAN& value) {
  encodeSingleBit(value.getValue());
  return true;
}

bool PEREncoder::do_visit(const INTEGER& value) {
  const INTEGER::InfoType* record = value.info();
  bool unconstrained = record->type == FixedConstraint ? false
                       : record->type == ExtendableConstraint ? encodeConstraint(value, value.getValue())
                                                              : true;
  if (unconstrained) return encodeUnconstrainedInteger(value.getValue());
  return encodeUnsigned(static_cast<unsigned>(value.getValue()), record->lowerLimit, record->upperLimit);
}

bool PEREncoder::do_visit(const ENUMERATED& value) {
  int v = value.getValue();
  unsigned maximum = value.getMaximum();
  bool inRoot = v < 0 || static_cast<unsigned>(v) <= maximum;
  if (value.extendable()) {
    encodeSingleBit(!inRoot);
    if (!inRoot) {
      unsigned u = static_cast<unsigned>(v);
      return encodeSmallUnsigned(u + 1) && encodeUnsigned(u, 0, u);
    }
  }
  return encodeUnsigned(static_cast<unsigned>(v), 0, maximum);
}

bool PEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> contents;
  value.encodeCommon(contents);
  if (contents.size() > 255 || !encodeLength(static_cast<unsigned>(contents.size()), 0, 255)) return false;
  encodeBlock(contents.data(), contents.size());
  return true;
}

bool PEREncoder::do_visit(const BIT_STRING& value) {
  unsigned bits = value.size();
  if (!encodeConstrainedLength(value, bits)) return false;
  const std::vector<unsigned char>& data = value.getData();
  if (bits > 16)
    encodeBlock(reinterpret_cast<const char*>(data.data()), data.size());
  else
    encodeBitMap(data.data(), bits);
  return true;
}

bool PEREncoder::do_visit(const OCTET_STRING& value) {
  std::size_t n = value.size();
  if (n > 0xffffffffu || !encodeConstrainedLength(value, static_cast<unsigned>(n))) return false;
  const unsigned char* octets = reinterpret_cast<const unsigned char*>(value.data());
  if (n == 1)
    encodeMultiBit(octets[0], 8);
  else if (n == 2)
    encodeMultiBit((octets[0] << 8) | octets[1], 16);
  else
    encodeBlock(value.data(), n);
  return true;
}

bool PEREncoder::do_visit(const AbstractString& value) {
  const AbstractString::InfoType* record = value.info();
  const std::string& text = value.getValue();
  if (text.size() > 0xffffffffu || !encodeConstrainedLength(value, static_cast<unsigned>(text.size()))) return false;
  unsigned b = record->charSetAlignedBits;
  if (record->type == Unconstrained || static_cast<unsigned long long>(record->upperLimit) * b > 16) {
    if (b == 8) {
      encodeBlock(text.data(), text.size());
      return true;
    }
    byteAlign();
  }
  bool byCode = record->canonicalSetBits <= b && record->canonicalSetBits > 4;
  for (char c : text) {
    if (byCode) {
      encodeMultiBit(static_cast<unsigned char>(c), b);
      continue;
    }
    const char* set = record->characterSet;
    unsigned index = 0;
    while (index < record->characterSetSize && set[index] != c) ++index;
    if (index == record->characterSetSize) return false;
    encodeMultiBit(index, b);
  }
  return true;
}

bool PEREncoder::do_visit(const BMPString& value) {
  const BMPString::InfoType* record = value.info();
  const std::wstring& text = value.getValue();
  if (text.size() > 0xffffffffu || !encodeConstrainedLength(value, static_cast<unsigned>(text.size()))) return false;
  if (record->type == Unconstrained || static_cast<unsigned long long>(record->upperLimit) * 16 > 16) byteAlign();
  for (wchar_t c : text) {
    unsigned code = static_cast<unsigned>(c);
    if (code < record->firstChar || code > record->lastChar) return false;  // does not fit in 16 bits
    encodeMultiBit(code - record->firstChar, 16);
  }
  return true;
}

bool PEREncoder::do_visit(const CHOICE& value) {
  const CHOICE::InfoType* record = value.info();
  int id = value.currentSelection();
  const AbstractData* alternative = value.getSelection();
  if (id < 0 || !alternative) return false;
  const unsigned index = static_cast<unsigned>(id), numChoices = record->numChoices;
  if (index >= numChoices) {
    if (!record->extendable) return false;
    encodeSingleBit(true);
    return encodeSmallUnsigned(index - numChoices) && encodeAnyType(alternative);
  }
  // A root alternative: the clear extension bit and the index, written together
  // when the index takes the bits of its range.
  const unsigned extensionBit = record->extendable ? 1u : 0u;
  if (numChoices - 2u < 254u)
    encodeMultiBit(index, extensionBit + CountBits(numChoices));
  else if (extensionBit)
    encodeSingleBit(false);
  if (numChoices >= 256 && !encodeUnsigned(index, 0, numChoices - 1)) return false;
  return encodeValue(*alternative);
}

bool PEREncoder::do_visit(const OpenData& value) {
  if (value.has_data() || !value.has_buf()) return encodeAnyType(value.get_data());
  // Octets that were never decoded travel on unchanged.
  const OpenData::Buffer& octets = *value.get_buf();
  if (octets.empty()) return encodeAnyType(nullptr);
  if (!encodeLength(static_cast<unsigned>(octets.size() < 0x80000000u ? octets.size() : 0x80000000u), 0,
                    UnconstrainedUpper))
    return false;
  encodeBlock(octets.data(), octets.size());
  return true;
}

bool PEREncoder::do_visit(const GeneralizedTime& value) {
  std::string text = value.get();
  if (!encodeLength(static_cast<unsigned>(text.size()), 0, UnconstrainedUpper)) return false;
  encodeBlock(text.data(), text.size());
  return true;
}

bool PEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  if (value.size() > 0xffffffffu || !encodeConstrainedLength(value, static_cast<unsigned>(value.size()))) return false;
  for (const AbstractData* element : value.elements())
    if (!encodeField(*element)) return false;
  return true;
}

bool PEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
  const SEQUENCE::InfoType* record = value.info();
  bool extensions = value.extensionMap().any();
  if (record->extendable)
    encodeSingleBit(extensions);
  else if (extensions)
    return false;  // a type without extension marker carries no extensions
  encodeBitMap(value.optionalMap().data(), record->numOptional);
  return true;
}

bool PEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<unsigned>(index));
  return field && field->accept(*this);
}

bool PEREncoder::preVisitExtensions(const SEQUENCE& value) {
  const SEQUENCE::BitMap& map = value.extensionMap();
  if (!map.any()) return true;
  // Every extension bit must stand for a field this value holds.
  for (unsigned k = 0; k < map.size(); ++k) {
    if (map[k] && !value.getField(value.info()->numFields + k)) return false;
  }
  if (!encodeSmallUnsigned(map.size() - 1)) return false;
  encodeBitMap(map.data(), map.size());
  return true;
}

bool PEREncoder::visitKnownExtension(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<unsigned>(index));
  return field && encodeAnyType(field);
}

// The walk of ConstVisitor::visit. The extension bit and the presence bits of up
// to 24 OPTIONAL fields are written at once and tested in a word.
bool PEREncoder::do_visit(const SEQUENCE& value) {
  const SEQUENCE::InfoType* record = value.info();
  const unsigned numFields = record->numFields, numOptional = record->numOptional;
  const bool extendable = record->extendable;
  const int* const ids = record->fieldIds;
  const SEQUENCE::BitMap& optionals = value.optionalMap();
  if (numOptional > 24 || optionals.size() != numOptional) return visit(value);
  const bool extensions = value.extensionMap().any();
  if (extensions && !extendable) return false;  // a type without extension marker carries no extensions
  // The presence bits at the top of a word, the first OPTIONAL field's highest.
  const unsigned present = optionals.leadingBits();
  const unsigned leading = numOptional + (extendable ? 1u : 0u);
  if (leading) encodeMultiBit((extensions ? 1u << numOptional : 0u) | (numOptional ? present >> (32 - numOptional) : 0u), leading);
  for (unsigned i = 0; i < numFields; ++i) {
    const int id = ids[i];
    if (id != -1) {
      bool fieldPresent = static_cast<unsigned>(id) < numOptional ? ((present << id) & 0x80000000u) != 0
                                                                  : value.hasOptionalField(static_cast<unsigned>(id));
      if (!fieldPresent) continue;
    }
    const AbstractData* field = value.getField(i);
    if (!field || !encodeField(*field)) return false;
  }
  if (!extensions) return true;
  if (!PEREncoder::preVisitExtensions(value)) return false;
  for (unsigned i = numFields, k = numOptional; i < value.fieldCount(); ++i, ++k)
    if (value.hasOptionalField(k) && !PEREncoder::visitKnownExtension(value, static_cast<int>(i))) return false;
  return true;
}

}  // namespace ASN1
