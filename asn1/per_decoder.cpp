#include "asn1/per_decoder.h"

#include <algorithm>
#include <memory>

#include "asn1/char_strings.h"
#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_strings.h"
#include "asn1/open_data.h"
#include "asn1/per_encoder.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/simple_values.h"

namespace ASN1 {

namespace {
const unsigned UnconstrainedUpper = 0x7fffffffu;
}

void PERDecoder::setPosition(const char* p) {
  position = p < endPosition ? p : endPosition;
  bitOffset = 8;
}

void PERDecoder::byteAlign() {
  if (bitOffset != 8) {
    ++position;
    bitOffset = 8;
  }
}

int PERDecoder::decodeMultiBitNearEnd(unsigned n, unsigned& value) {
  if (n > 32 || n > getBitsLeft()) return -1;
  if (n == 0) {
    value = 0;
    return 0;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(position);
  if (n < bitOffset) {  // within the current octet
    bitOffset = static_cast<unsigned char>(bitOffset - n);
    value = (*p >> bitOffset) & ((1u << n) - 1u);
    return 0;
  }
  // The bits lie within at most five octets, all of them inside the input.
  unsigned used = 8u - bitOffset + n;
  unsigned octets = (used + 7u) / 8u;
  unsigned long long word = 0;
  for (unsigned k = 0; k < octets; ++k) word = (word << 8) | p[k];
  value = static_cast<unsigned>((word >> (8u * octets - used)) & ((1ull << n) - 1u));
  position += used / 8u;
  bitOffset = static_cast<unsigned char>(8u - used % 8u);
  return 0;
}

bool PERDecoder::decodeLongBitMap(unsigned char* bits, unsigned n) {
  if (n > getBitsLeft()) return false;
  unsigned octet = 0;
  for (; n >= 8; n -= 8) {
    decodeMultiBit(8, octet);
    *bits++ = static_cast<unsigned char>(octet);
  }
  if (n > 0) {
    decodeMultiBit(n, octet);
    *bits = static_cast<unsigned char>(octet << (8 - n));
  }
  return true;
}

std::size_t PERDecoder::decodeBlock(char* buffer, std::size_t n) {
  if (n == 0) return 0;
  byteAlign();
  std::size_t count = std::min(n, getOctetsLeft());
  std::copy(position, position + count, buffer);
  position += count;
  return count;
}

int PERDecoder::decodeUnsignedOtherRange(int lb, unsigned ub, unsigned& value) {
  unsigned span = ub - static_cast<unsigned>(lb);
  if (span == 0) {
    value = static_cast<unsigned>(lb);
    return 0;
  }
  unsigned offset = 0;
  if (span < 255) {  // range up to 255: the bits of the range, not aligned
    if (decodeMultiBit(CountBits(span + 1), offset) < 0) return -1;
    value = static_cast<unsigned>(lb) + offset;
    return 0;
  }
  if (getBitsLeft() == 0) return -1;
  unsigned bits = bitsForRange(span + 1ull);
  if (bits > 16) {
    unsigned octets = 0;
    if (decodeLength(1, (bits + 7) / 8, octets) < 0) return -1;
    bits = 8 * octets;
  } else if (bits > 8) {
    bits = 16;
  }
  byteAlign();
  if (decodeMultiBit(bits, offset) < 0) return -1;
  value = static_cast<unsigned>(lb) + offset;
  return 0;
}

int PERDecoder::decodeLengthOtherForm(unsigned lb, unsigned ub, unsigned& len) {
  if (ub <= 65535) return decodeUnsigned(static_cast<int>(lb), ub, len);
  byteAlign();
  unsigned first = 0, second = 0;
  if (decodeMultiBit(8, first) < 0) return -1;
  if ((first & 0x80u) == 0) {
    len = first;
    return 0;
  }
  if ((first & 0x40u) != 0 || decodeMultiBit(8, second) < 0) return -1;  // fragmented form or truncated
  len = ((first & 0x3fu) << 8) | second;
  return 0;
}

int PERDecoder::decodeSmallUnsigned(unsigned& n) {
  if (getBitsLeft() == 0) return -1;
  if (!decodeSingleBit()) return decodeMultiBit(6, n);
  unsigned octets = 0;
  if (decodeLength(0, UnconstrainedUpper, octets) < 0 || octets > 4) return -1;
  byteAlign();
  return decodeMultiBit(8 * octets, n);
}

int PERDecoder::decodeConstrainedLength(const ConstrainedObject& object, unsigned& len) {
  const ConstrainedObject::InfoType* record = object.info();
  bool unconstrained = record->type == Unconstrained || record->type == PartiallyConstrained;
  if (record->type == ExtendableConstraint) {
    if (getBitsLeft() == 0) return -1;
    unconstrained = decodeSingleBit();
  }
  if (unconstrained) return decodeLength(0, UnconstrainedUpper, len);
  return decodeLength(static_cast<unsigned>(record->lowerLimit), record->upperLimit, len);
}

bool PERDecoder::decodeOpenTypeLength(unsigned& len) {
  if (decodeLength(0, UnconstrainedUpper, len) < 0) return false;
  byteAlign();
  return len <= getOctetsLeft();
}

bool PERDecoder::decodeWithin(AbstractData& value, unsigned len) {
  const char* openEnd = position + len;
  const char* savedEnd = endPosition;
  endPosition = openEnd;  // the contents may not reach beyond their own octets
  bool ok = value.accept(*this);
  endPosition = savedEnd;
  setPosition(openEnd);
  return ok;
}

bool PERDecoder::do_visit(Null&) { return true; }

bool PERDecoder::do_visit(BOOLEAN& value) {
  if (getBitsLeft() == 0) return false;
  value.setValue(decodeSingleBit());
  return true;
}

// The common INTEGERs in line: a range of up to 255 values, and an unconstrained
// number of 1 to 4 octets.
__attribute__((always_inline)) inline bool PERDecoder::decodeInteger(INTEGER& value) {
  const INTEGER::InfoType* record = value.info();
  if (record->type == FixedConstraint) {
    const unsigned span = record->upperLimit - static_cast<unsigned>(record->lowerLimit);
    unsigned offset = 0;
    if (span - 1u < 254u) {
      if (decodeMultiBit(CountBits(span + 1), offset) < 0) return false;
      value.setValue(static_cast<int>(static_cast<unsigned>(record->lowerLimit) + offset));
      return true;
    }
  } else if (record->type != ExtendableConstraint) {
    return decodeUnconstrainedInteger(value);
  }
  return PERDecoder::do_visit(value);
}

// One length octet of 1 to 4 and that many two's complement octets behind it,
// at the top of a word and shifted down with the sign.
__attribute__((always_inline)) inline bool PERDecoder::decodeUnconstrainedInteger(INTEGER& value) {
  const char* at = position + (bitOffset != 8);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(at);
  const std::size_t left = static_cast<std::size_t>(endPosition - at);
  const unsigned octets = left ? p[0] : 0;
  if (octets - 1u < 4u && left > octets) {
    unsigned word = 0;
    if (left >= 5) {
      word = (unsigned(p[1]) << 24) | (unsigned(p[2]) << 16) | (unsigned(p[3]) << 8) | p[4];
    } else {
      for (unsigned k = 1; k <= octets; ++k) word |= unsigned(p[k]) << (32 - 8 * k);
    }
    position = at + 1 + octets;
    bitOffset = 8;
    value.setValue(static_cast<int>(word) >> (32 - 8 * octets));
    return true;
  }
  return decodeLongInteger(value);
}

__attribute__((always_inline)) inline bool PERDecoder::decodeValue(AbstractData& value) {
  switch (value.kind()) {
    case AbstractData::NullKind:
      return true;
    case AbstractData::IntegerKind:
      return decodeInteger(static_cast<INTEGER&>(value));
    case AbstractData::BooleanKind:
      return PERDecoder::do_visit(static_cast<BOOLEAN&>(value));
    case AbstractData::EnumeratedKind:
      return PERDecoder::do_visit(static_cast<ENUMERATED&>(value));
    case AbstractData::ChoiceKind:
      return PERDecoder::do_visit(static_cast<CHOICE&>(value));
    case AbstractData::SequenceKind:
      return PERDecoder::do_visit(static_cast<SEQUENCE&>(value));
    default:
      return value.accept(*this);
  }
}

// Most fields and list elements are INTEGERs: tested before the table of the kinds.
__attribute__((always_inline)) inline bool PERDecoder::decodeField(AbstractData& value) {
  if (value.kind() == AbstractData::IntegerKind) return decodeInteger(static_cast<INTEGER&>(value));
  return decodeValue(value);
}

bool PERDecoder::do_visit(INTEGER& value) {
  const INTEGER::InfoType* record = value.info();
  bool constrained = record->type == FixedConstraint;
  if (record->type == ExtendableConstraint) {
    if (getBitsLeft() == 0) return false;
    constrained = !decodeSingleBit();
  }
  if (constrained) {
    unsigned v = 0;
    if (decodeUnsigned(record->lowerLimit, record->upperLimit, v) < 0) return false;
    value.setValue(static_cast<int>(v));
    return true;
  }
  return decodeUnconstrainedInteger(value);
}

bool PERDecoder::decodeLongInteger(INTEGER& value) {
  unsigned octets = 0, v = 0;
  if (decodeLength(0, UnconstrainedUpper, octets) < 0 || octets > 4) return false;
  if (octets == 0) {
    value.setValue(0);
    return true;
  }
  if (octets > getOctetsLeft()) return false;  // the length left the position aligned
  const unsigned char* p = reinterpret_cast<const unsigned char*>(position);
  for (unsigned k = 0; k < octets; ++k) v = (v << 8) | p[k];
  position += octets;
  if (octets < 4 && (v & (1u << (8 * octets - 1)))) v |= ~0u << (8 * octets);  // sign extension
  value.setValue(static_cast<int>(v));
  return true;
}

bool PERDecoder::do_visit(ENUMERATED& value) {
  unsigned v = 0;
  if (value.extendable()) {
    if (getBitsLeft() == 0) return false;
    if (decodeSingleBit()) {
      unsigned n = 0;
      if (decodeSmallUnsigned(n) < 0 || n == 0 || decodeUnsigned(0, n - 1, v) < 0) return false;
      value.setValue(static_cast<int>(v));
      return true;
    }
  }
  if (decodeUnsigned(0, value.getMaximum(), v) < 0) return false;
  value.setValue(static_cast<int>(v));
  return true;
}

bool PERDecoder::decode(AbstractData& value) { return decodeValue(value); }

bool PERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  unsigned len = 0;
  if (decodeLength(0, 255, len) < 0) return false;
  byteAlign();
  if (len > getOctetsLeft()) return false;
  const char* contents = position;
  position += len;
  return value.decodeCommon(contents, len);
}

bool PERDecoder::do_visit(BIT_STRING& value) {
  unsigned bits = 0;
  if (decodeConstrainedLength(value, bits) < 0 || bits > MaximumStringSize || bits > getBitsLeft()) return false;
  if (bits > 16) {
    byteAlign();
    std::size_t octets = (bits + 7u) / 8u;
    if (octets > getOctetsLeft()) return false;
    value.setData(reinterpret_cast<const unsigned char*>(position), bits);
    position += octets;
    return true;
  }
  unsigned char data[2] = {0, 0};
  decodeBitMap(data, bits);
  value.setData(data, bits);
  return true;
}

bool PERDecoder::do_visit(OCTET_STRING& value) {
  unsigned len = 0;
  if (decodeConstrainedLength(value, len) < 0 || len > MaximumStringSize) return false;
  unsigned octets = 0;
  if (len == 1 || len == 2) {
    if (decodeMultiBit(8 * len, octets) < 0) return false;
    value.resize(len);
    if (len == 2) value[0] = static_cast<char>(octets >> 8);
    value[len - 1] = static_cast<char>(octets);
    return true;
  }
  if (len == 0) {
    value.resize(0);
    return true;
  }
  byteAlign();
  if (len > getOctetsLeft()) return false;
  value.getValue().assign(position, position + len);
  position += len;
  return true;
}

bool PERDecoder::do_visit(AbstractString& value) {
  const AbstractString::InfoType* record = value.info();
  unsigned len = 0;
  if (decodeConstrainedLength(value, len) < 0 || len > MaximumStringSize) return false;
  std::string& text = value.getValue();
  unsigned b = record->charSetAlignedBits;
  if (record->type == Unconstrained || static_cast<unsigned long long>(record->upperLimit) * b > 16) {
    if (b == 8) {
      if (len == 0) {
        text.clear();
        return true;
      }
      byteAlign();
      if (len > getOctetsLeft()) {
        text.clear();
        return false;
      }
      text.assign(position, position + len);
      position += len;
      return true;
    }
    byteAlign();
  }
  if (static_cast<unsigned long long>(len) * b > getBitsLeft()) return false;
  bool byCode = record->canonicalSetBits <= b && record->canonicalSetBits > 4;
  text.resize(len);
  for (unsigned i = 0; i < len; ++i) {
    unsigned bits = 0;
    decodeMultiBit(b, bits);
    if (byCode) {
      text[i] = static_cast<char>(bits);
    } else {
      if (bits >= record->characterSetSize) return false;
      text[i] = record->characterSet[bits];
    }
  }
  return true;
}

bool PERDecoder::do_visit(BMPString& value) {
  const BMPString::InfoType* record = value.info();
  unsigned len = 0;
  if (decodeConstrainedLength(value, len) < 0 || len > MaximumStringSize) return false;
  if (record->type == Unconstrained || static_cast<unsigned long long>(record->upperLimit) * 16 > 16) byteAlign();
  if (static_cast<unsigned long long>(len) * 16 > getBitsLeft()) return false;
  std::wstring& text = value.getValue();
  text.resize(len);
  for (unsigned i = 0; i < len; ++i) {
    unsigned code = 0;
    decodeMultiBit(16, code);
    text[i] = static_cast<wchar_t>(record->firstChar + code);
  }
  return true;
}

bool PERDecoder::do_visit(GeneralizedTime& value) {
  unsigned len = 0;
  if (decodeLength(0, UnconstrainedUpper, len) < 0 || len == 0) return false;
  byteAlign();
  if (len > getOctetsLeft()) return false;
  value.set(std::string(position, position + len));
  position += len;
  return true;
}

bool PERDecoder::do_visit(CHOICE& value) {
  const CHOICE::InfoType* record = value.info();
  if (position == endPosition) return false;
  const unsigned numChoices = record->numChoices;
  const unsigned extensionBit = record->extendable ? 1u : 0u;
  unsigned index = 0;
  unsigned openLength = 0;
  bool open = false;
  if (numChoices - 2u < 254u && endPosition - position >= 4) {
    // The extension bit and the index in the bits of the range, read at once.
    const unsigned bits = peekBits();
    open = extensionBit && (bits >> 31);
    if (!open) {
      const unsigned indexBits = CountBits(numChoices);
      index = (bits << extensionBit) >> (32 - indexBits);
      skipBits(extensionBit + indexBits);
    } else {
      skipBits(1);
    }
  } else {
    open = extensionBit && decodeSingleBit();
    if (!open && numChoices > 1 && decodeUnsigned(0, numChoices - 1, index) < 0) return false;
  }
  // A root index past the root alternatives (three alternatives, index 3) is
  // not an extension alternative.
  if (!open && index >= numChoices) return false;
  if (open) {
    unsigned k = 0;
    if (decodeSmallUnsigned(k) < 0) return false;
    if (k >= record->totalChoices - record->numChoices) {  // an extension this record does not know
      value.setSelection(CHOICE::UNKNOWN_SELECTION, nullptr);
      return false;
    }
    index = record->numChoices + k;
    if (!decodeOpenTypeLength(openLength)) return false;
  }
  if (!value.select(static_cast<int>(index))) return false;
  AbstractData& alternative = *value.getSelection();
  return open ? decodeWithin(alternative, openLength) : decodeValue(alternative);
}

bool PERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  unsigned count = 0;
  if (decodeConstrainedLength(value, count) < 0 || count > MaximumArraySize) return false;
  if (value.size() > count) value.resize(count);
  // Elements are made as the input reaches them, in room taken at once.
  SEQUENCE_OF_Base::Container& items = value.elements();
  items.reserve(count);
  const AbstractData::InfoType* itemInfo = value.info()->itemInfo;
  for (unsigned i = 0; i < count; ++i) {
    if (i == items.size()) items.push_back(itemInfo->create(itemInfo));  // no reallocation: reserved
    if (!decodeField(*items[i])) {
      value.resize(i);
      return false;
    }
  }
  return true;
}

bool PERDecoder::do_visit(OpenData& value) {
  unsigned len = 0;
  if (!decodeOpenTypeLength(len)) return false;
  value.set_buf(position, position + len);
  position += len;
  return true;
}

bool PERDecoder::do_revisit(OpenData& value) {
  if (!value.has_data() || !value.has_buf()) return false;
  const OpenData::Buffer& octets = *value.get_buf();
  PERDecoder inner(octets.data(), octets.data() + octets.size(), env);
  return value.get_data()->accept(inner);
}

bool PERDecoder::do_visit(TypeConstrainedOpenData& value) {
  unsigned len = 0;
  if (!decodeOpenTypeLength(len) || !value.has_data()) return false;
  return decodeWithin(*value.get_data(), len);
}

int PERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
  const SEQUENCE::InfoType* record = value.info();
  bool extensions = false;
  if (record->extendable) {
    if (getBitsLeft() == 0) return FAIL;
    extensions = decodeSingleBit();
  }
  if (!decodeBitMap(value.optionalMap().data(), record->numOptional)) return FAIL;
  return extensions ? CONTINUE : NO_EXTENSION;
}

int PERDecoder::visitExtensionRoot(SEQUENCE& value, int index, int presenceIndex) {
  if (presenceIndex != -1 && !value.optionalMap()[static_cast<unsigned>(presenceIndex)]) return CONTINUE;
  AbstractData* field = value.ensureField(static_cast<unsigned>(index));
  return field && field->accept(*this) ? CONTINUE : FAIL;
}

int PERDecoder::preVisitExtensions(SEQUENCE& value) {
  unsigned n = 0;
  if (decodeSmallUnsigned(n) < 0 || n >= MaximumArraySize) return FAIL;
  SEQUENCE::BitMap& map = value.extensionMap();
  map.resize(n + 1);
  return decodeBitMap(map.data(), n + 1) ? CONTINUE : FAIL;
}

int PERDecoder::visitKnownExtension(SEQUENCE& value, int index, int presenceIndex) {
  if (!value.hasOptionalField(static_cast<unsigned>(presenceIndex))) return CONTINUE;
  unsigned len = 0;
  if (!decodeOpenTypeLength(len)) return FAIL;
  AbstractData* field = value.ensureField(static_cast<unsigned>(index));
  if (!field) {
    setPosition(position + len);
    return CONTINUE;
  }
  return decodeWithin(*field, len) ? CONTINUE : FAIL;
}

bool PERDecoder::visitUnknownExtensions(SEQUENCE& value) {
  const SEQUENCE::BitMap& map = value.extensionMap();
  for (unsigned k = value.info()->knownExtensions; k < map.size(); ++k) {
    if (!map[k]) continue;
    unsigned len = 0;
    if (!decodeOpenTypeLength(len)) return false;
    position += len;
  }
  return true;
}

// The walk of Visitor::visit. The extension bit and the presence bits of up to
// 24 OPTIONAL fields are read at once and tested in a word.
bool PERDecoder::do_visit(SEQUENCE& value) {
  const SEQUENCE::InfoType* record = value.info();
  const unsigned numFields = record->numFields, numOptional = record->numOptional;
  const bool extendable = record->extendable;
  const int* const ids = record->fieldIds;
  SEQUENCE::BitMap& optionals = value.optionalMap();
  const unsigned leading = numOptional + (extendable ? 1u : 0u);
  if (leading > 25 || optionals.size() != numOptional) return visit(value);
  unsigned bits = 0;
  if (leading != 0 && decodeMultiBit(leading, bits) < 0) return false;
  const bool extensions = extendable && (bits >> numOptional) != 0;
  // The presence bits at the top of a word, the first OPTIONAL field's highest.
  const unsigned present = numOptional ? bits << (32 - numOptional) : 0;
  optionals.setLeadingBits(present);
  for (unsigned i = 0; i < numFields; ++i) {
    const int id = ids[i];
    if (id != -1 && (static_cast<unsigned>(id) >= numOptional || !((present << id) & 0x80000000u))) continue;
    AbstractData* field = value.ensureField(i);
    if (!field || !decodeField(*field)) return false;
  }
  if (!extensions) return true;
  if (PERDecoder::preVisitExtensions(value) == FAIL) return false;
  for (unsigned i = numFields, k = numOptional; i < value.fieldCount(); ++i, ++k)
    if (PERDecoder::visitKnownExtension(value, static_cast<int>(i), static_cast<int>(k)) == FAIL) return false;
  return PERDecoder::visitUnknownExtensions(value);
}

}  // namespace ASN1
