#include "asn1/ber_decoder.h"

#include <algorithm>

#include "asn1/ber_encoder.h"
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

bool BERDecoder::decodeHeader(unsigned& tag, bool& primitive, unsigned& length) {
  const char* const start = position;
  auto refuse = [this, start] {
    position = start;
    return false;
  };
  if (octetsLeft() == 0) return refuse();
  const unsigned char identifier = static_cast<unsigned char>(*position++);
  primitive = (identifier & 0x20) == 0;
  unsigned number = identifier & 0x1fu;
  if (number == 31) {
    number = 0;
    for (bool more = true; more;) {
      if (octetsLeft() == 0) return refuse();
      const unsigned char digit = static_cast<unsigned char>(*position++);
      number = (number << 7) | (digit & 0x7fu);
      if (number > 0xffff) return refuse();
      more = (digit & 0x80) != 0;
    }
  }
  tag = (static_cast<unsigned>(identifier >> 6) << 22) | number;
  if (octetsLeft() == 0) return refuse();
  const unsigned char first = static_cast<unsigned char>(*position++);
  length = first;
  if (first & 0x80) {
    const unsigned n = first & 0x7fu;
    // The indefinite form (n = 0) reads as length 0 where it cannot carry contents;
    // a constructed value's contents in that form are not read.
    if ((n == 0 && !primitive) || n > 4 || n > octetsLeft()) return refuse();
    length = 0;
    for (unsigned k = 0; k < n; ++k) length = (length << 8) | static_cast<unsigned char>(*position++);
  }
  if (length > octetsLeft()) return refuse();
  return true;
}

bool BERDecoder::decodeHeader(const AbstractData& value, unsigned& length, bool constructed) {
  const char* const start = position;
  unsigned tag;
  bool primitive;
  if (!decodeHeader(tag, primitive, length)) return false;
  const bool tagPasses = tagPassCount > 0 || tag == value.info()->tag;
  if (tagPassCount > 0) --tagPassCount;
  if (!tagPasses || primitive == constructed) {
    position = start;
    return false;
  }
  return true;
}

unsigned BERDecoder::decodeBlock(char* destination, unsigned n) {
  const unsigned count = static_cast<unsigned>(std::min<std::size_t>(n, octetsLeft()));
  std::copy(position, position + count, destination);
  position += count;
  return count;
}

bool BERDecoder::decodeWithin(AbstractData& value, const char* limit) {
  const char* const outerEnd = endPosition;
  endPosition = limit;
  const bool ok = value.accept(*this);
  endPosition = outerEnd;
  position = limit;
  return ok;
}

bool BERDecoder::decodeInteger(const AbstractData& value, bool holdsUnsigned, int& number) {
  unsigned length;
  if (!decodeHeader(value, length) || length == 0) return false;
  const unsigned char* octets = reinterpret_cast<const unsigned char*>(position);
  position += length;
  // Octets before the last four only extend the sign, or put a zero before an
  // unsigned number: a number wider than 32 bits is refused.
  const unsigned wide = length > 4 ? length - 4 : 0;
  const unsigned char fill = (holdsUnsigned && octets[0] == 0) || !(octets[wide] & 0x80) ? 0x00 : 0xff;
  for (unsigned k = 0; k < wide; ++k)
    if (octets[k] != fill) return false;
  unsigned bits = (octets[wide] & 0x80) ? ~0u : 0u;  // sign extension
  for (unsigned k = wide; k < length; ++k) bits = (bits << 8) | octets[k];
  number = static_cast<int>(bits);
  return true;
}

bool BERDecoder::do_visit(Null& value) {
  unsigned length;
  if (!decodeHeader(value, length)) return false;
  position += length;
  return true;
}

bool BERDecoder::do_visit(BOOLEAN& value) {
  unsigned length;
  if (!decodeHeader(value, length) || length == 0) return false;
  value.setValue(position[length - 1] != 0);
  position += length;
  return true;
}

bool BERDecoder::do_visit(INTEGER& value) {
  int number;
  if (!decodeInteger(value, value.holdsUnsigned(), number)) return false;
  value.setValue(number);
  return true;
}

bool BERDecoder::do_visit(ENUMERATED& value) {
  int number;
  if (!decodeInteger(value, false, number)) return false;
  value.setValue(number);
  return true;
}

bool BERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  unsigned length;
  if (!decodeHeader(value, length)) return false;
  const char* contents = position;
  position += length;
  return value.decodeCommon(contents, length);
}

bool BERDecoder::do_visit(BIT_STRING& value) {
  unsigned length;
  if (!decodeHeader(value, length) || length == 0) return false;
  const unsigned unused = static_cast<unsigned char>(*position);
  if (unused > 7 || (length == 1 && unused != 0)) return false;
  const unsigned bits = (length - 1) * 8 - unused;
  if (bits > MaximumStringSize) return false;
  value.setData(reinterpret_cast<const unsigned char*>(position + 1), bits);
  position += length;
  return true;
}

bool BERDecoder::do_visit(OCTET_STRING& value) {
  unsigned length;
  if (!decodeHeader(value, length) || length > MaximumStringSize) return false;
  value.resize(length);
  return decodeBlock(value.getValue().data(), length) == length;
}

bool BERDecoder::do_visit(AbstractString& value) {
  unsigned length;
  if (!decodeHeader(value, length) || length > MaximumStringSize) return false;
  value.getValue().assign(position, length);
  position += length;
  return true;
}

bool BERDecoder::do_visit(BMPString& value) {
  unsigned length;
  if (!decodeHeader(value, length) || length % 2 != 0 || length / 2 > MaximumStringSize) return false;
  std::wstring& text = value.getValue();
  text.resize(length / 2);
  const unsigned char* octets = reinterpret_cast<const unsigned char*>(position);
  for (unsigned i = 0; i < length / 2; ++i) text[i] = static_cast<wchar_t>(octets[2 * i] << 8 | octets[2 * i + 1]);
  position += length;
  return true;
}

bool BERDecoder::do_visit(GeneralizedTime& value) {
  unsigned length;
  if (!decodeHeader(value, length)) return false;
  const std::string text(position, length);
  position += length;
  return value.set(text);
}

bool BERDecoder::decodeChoicePreamle(CHOICE& value, const char*& contentsEnd) {
  const char* const start = position;
  unsigned tag, length;
  bool primitive;
  if (!decodeHeader(tag, primitive, length)) return false;
  contentsEnd = position + length;
  if (tagPassCount > 0 || value.info()->tag != 0) {  // an explicit tag: the alternative lies within
    tagPassCount = 0;
    const char* const outerEnd = endPosition;
    endPosition = contentsEnd;
    const char* const inner = position;
    const bool read = decodeHeader(tag, primitive, length);
    endPosition = outerEnd;
    if (!read) {
      position = start;
      return false;
    }
    position = inner;
  } else {
    position = start;
  }
  if (!value.setID(tag & 0xffffu, tag >> 16)) return value.currentSelection() == CHOICE::UNKNOWN_SELECTION;
  if (alternativeTag(value.info(), static_cast<unsigned>(value.currentSelection())) != 0) tagPassCount = 1;
  return true;
}

bool BERDecoder::do_visit(CHOICE& value) {
  const char* contentsEnd;
  if (!decodeChoicePreamle(value, contentsEnd)) return false;
  if (!value.getSelection()) {  // an alternative this record does not know
    position = contentsEnd;
    return value.info()->extendable;
  }
  return decodeWithin(*value.getSelection(), contentsEnd);
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& value) {
  unsigned length;
  if (!decodeHeader(value, length, true)) return false;
  value.clear();
  const char* const contentsEnd = position + length;
  const char* const outerEnd = endPosition;
  endPosition = contentsEnd;
  bool ok = true;
  while (ok && position != contentsEnd) ok = value.size() < MaximumArraySize && value.appendDecoded(*this);
  endPosition = outerEnd;
  position = contentsEnd;
  return ok;
}

bool BERDecoder::decodeOpenHeader(const OpenData& value, const char*& contentsEnd) {
  const char* const start = position;
  unsigned tag, length;
  bool primitive;
  if (!decodeHeader(tag, primitive, length)) return false;
  const bool explicitTag = tagPassCount > 0 || value.info()->tag != 0;
  tagPassCount = 0;
  contentsEnd = position + length;
  if (!explicitTag) position = start;  // the header is the contained value's own
  return true;
}

bool BERDecoder::do_visit(OpenData& value) {
  const char* contentsEnd;
  if (!decodeOpenHeader(value, contentsEnd)) return false;
  value.set_buf(position, contentsEnd);
  position = contentsEnd;
  return true;
}

bool BERDecoder::do_revisit(OpenData& value) {
  if (!value.has_data() || !value.has_buf()) return false;
  const OpenData::Buffer& octets = *value.get_buf();
  BERDecoder inner(octets.data(), octets.data() + octets.size(), env);
  return value.get_data()->accept(inner);
}

bool BERDecoder::do_visit(TypeConstrainedOpenData& value) {
  const char* contentsEnd;
  if (!value.has_data() || !decodeOpenHeader(value, contentsEnd)) return false;
  return decodeWithin(*value.get_data(), contentsEnd);
}

int BERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
  unsigned length;
  if (!decodeHeader(value, length, true)) return FAIL;
  sequenceEnds.push_back(endPosition);
  endPosition = position + length;
  return CONTINUE;
}

int BERDecoder::visitExtensionRoot(SEQUENCE& value, int index, int presenceIndex) {
  const bool optional = presenceIndex != -1;
  if (position == endPosition) return optional ? CONTINUE : FAIL;
  const SEQUENCE::InfoType* record = value.info();
  const unsigned i = static_cast<unsigned>(index);
  const unsigned expected = fieldTag(record, i);
  const char* const start = position;
  unsigned tag, length;
  bool primitive;
  if (!decodeHeader(tag, primitive, length)) return FAIL;
  position = start;
  if (expected != 0 && tag != expected) return CONTINUE;  // absent; a mandatory field keeps its default
  if (optional) value.includeOptionalField(static_cast<unsigned>(presenceIndex), i);
  AbstractData* field = value.ensureField(i);
  if (!field) return optional ? CONTINUE : FAIL;
  // The field's own tag replaces the type's; an untagged field (a CHOICE or open
  // type) reads its alternative's or contents' header itself.
  if (record->tags != &SEQUENCE::defaultTag && expected != 0) tagPassCount = 1;
  const char* const outerEnd = endPosition;
  const std::size_t depth = sequenceEnds.size();
  const bool ok = field->accept(*this);
  tagPassCount = 0;
  if (ok) return CONTINUE;
  if (optional) value.removeOptionalField(static_cast<unsigned>(presenceIndex));
  if (expected != 0) return FAIL;
  // An untagged CHOICE or open type that did not match: the octets belong to a later field.
  position = start;
  endPosition = outerEnd;
  sequenceEnds.resize(depth);
  return CONTINUE;
}

int BERDecoder::visitKnownExtension(SEQUENCE& value, int index, int presenceIndex) {
  return visitExtensionRoot(value, index, presenceIndex);
}

bool BERDecoder::visitUnknownExtensions(SEQUENCE&) {
  if (sequenceEnds.empty()) return false;
  position = endPosition;  // fields this record does not know are skipped
  endPosition = sequenceEnds.back();
  sequenceEnds.pop_back();
  return true;
}

}  // namespace ASN1
