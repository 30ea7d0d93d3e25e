#include "asn1/ber_encoder.h"

#include "asn1/char_strings.h"
#include "asn1/generalized_time.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_strings.h"
#include "asn1/open_data.h"
#include "asn1/sequence_of.h"
#include "asn1/simple_values.h"

namespace ASN1 {

namespace {

unsigned tagNumber(unsigned tag) { return tag & 0xffffu; }

// One octet, or for numbers from 31 on, one more per base-128 digit.
unsigned identifierLength(unsigned tag) {
  unsigned number = tagNumber(tag), n = 1;
  if (number < 31) return n;
  for (; number; number >>= 7) ++n;
  return n;
}

unsigned lengthLength(unsigned length) {
  unsigned n = 1;
  if (length >= 128)
    for (; length; length >>= 8) ++n;
  return n;
}

// An unsigned number above 2^31 - 1 needs a leading zero octet to stay positive.
unsigned integerLength(long long contents) {
  return contents > 0x7fffffffll ? 5 : getIntegerDataLength(static_cast<int>(contents));
}

bool isPrimitive(const AbstractData& value) {
  PrimitiveChecker checker;
  return value.accept(checker);
}

}  // namespace

unsigned getIntegerDataLength(int value) {
  if (value >= -128 && value <= 127) return 1;
  if (value >= -32768 && value <= 32767) return 2;
  if (value >= -8388608 && value <= 8388607) return 3;
  return 4;
}

unsigned getDataLength(const AbstractData& value) {
  DataLengthCounter counter;
  value.accept(counter);
  return counter.getLength();
}

unsigned getObjectLength(const AbstractData& value, unsigned tag) {
  unsigned length = getDataLength(value);
  return tag == 0 ? length : identifierLength(tag) + lengthLength(length) + length;
}

void BEREncoder::encodeHeader(const AbstractData& value) {
  const unsigned t = tag == NoTag ? value.info()->tag : tag;
  tag = NoTag;
  unsigned char first = static_cast<unsigned char>((t >> 16) & 0xc0u);
  if (!isPrimitive(value)) first |= 0x20;
  const unsigned number = tagNumber(t);
  if (number < 31) {
    encodedBuffer->push_back(static_cast<char>(first | number));
  } else {
    encodedBuffer->push_back(static_cast<char>(first | 31));
    for (int shift = static_cast<int>(identifierLength(t) - 2) * 7; shift >= 0; shift -= 7)
      encodedBuffer->push_back(static_cast<char>(((number >> shift) & 0x7f) | (shift ? 0x80 : 0)));
  }
  const unsigned length = getDataLength(value);
  if (length < 128) {
    encodedBuffer->push_back(static_cast<char>(length));
    return;
  }
  const unsigned n = lengthLength(length) - 1;
  encodedBuffer->push_back(static_cast<char>(0x80 | n));
  for (int shift = static_cast<int>(n - 1) * 8; shift >= 0; shift -= 8)
    encodedBuffer->push_back(static_cast<char>(length >> shift));
}

void BEREncoder::encodeExplicitTag(const AbstractData& value) {
  if (tag == NoTag) tag = value.info()->tag;
  if (tag != 0)
    encodeHeader(value);
  else
    tag = NoTag;
}

void BEREncoder::encodeInteger(long long value, unsigned octets) {
  for (int shift = static_cast<int>(octets - 1) * 8; shift >= 0; shift -= 8)
    encodedBuffer->push_back(static_cast<char>(value >> shift));
}

bool BEREncoder::do_visit(const Null& value) {
  encodeHeader(value);
  return true;
}

bool BEREncoder::do_visit(const BOOLEAN& value) {
  encodeHeader(value);
  encodedBuffer->push_back(static_cast<char>(value.getValue() ? 0xff : 0x00));
  return true;
}

bool BEREncoder::do_visit(const INTEGER& value) {
  encodeHeader(value);
  long long contents = value.numericValue();
  encodeInteger(contents, integerLength(contents));
  return true;
}

bool BEREncoder::do_visit(const ENUMERATED& value) {
  encodeHeader(value);
  encodeInteger(value.getValue(), getIntegerDataLength(value.getValue()));
  return true;
}

bool BEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  encodeHeader(value);
  value.encodeCommon(*encodedBuffer);
  return true;
}

bool BEREncoder::do_visit(const BIT_STRING& value) {
  encodeHeader(value);
  encodedBuffer->push_back(static_cast<char>((8 - value.size() % 8) % 8));  // unused bits of the last octet
  const std::vector<unsigned char>& octets = value.getData();
  encodedBuffer->insert(encodedBuffer->end(), octets.begin(), octets.begin() + (value.size() + 7) / 8);
  return true;
}

bool BEREncoder::do_visit(const OCTET_STRING& value) {
  encodeHeader(value);
  append(value.data(), value.size());
  return true;
}

bool BEREncoder::do_visit(const AbstractString& value) {
  encodeHeader(value);
  append(value.c_str(), value.size());
  return true;
}

bool BEREncoder::do_visit(const BMPString& value) {
  encodeHeader(value);
  for (wchar_t c : value.getValue()) {
    encodedBuffer->push_back(static_cast<char>(static_cast<unsigned>(c) >> 8));
    encodedBuffer->push_back(static_cast<char>(c));
  }
  return true;
}

bool BEREncoder::do_visit(const GeneralizedTime& value) {
  encodeHeader(value);
  const std::string text = value.get();
  append(text.data(), text.size());
  return true;
}

bool BEREncoder::do_visit(const CHOICE& value) {
  const CHOICE::InfoType* record = value.info();
  const AbstractData* alternative = value.getSelection();
  const int id = value.currentSelection();
  if (!alternative || id < 0 || static_cast<unsigned>(id) >= record->totalChoices) return false;
  encodeExplicitTag(value);
  return encodeAs(*alternative, alternativeTag(record, static_cast<unsigned>(id)));
}

bool BEREncoder::do_visit(const OpenData& value) {
  if (!value.has_data() && !value.has_buf()) return false;
  encodeExplicitTag(value);
  if (value.has_data()) return encodeAs(*value.get_data(), NoTag);
  append(value.get_buf()->data(), value.get_buf()->size());
  return true;
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
  encodeHeader(value);
  for (const AbstractData* element : value.elements())
    if (!encodeAs(*element, NoTag)) return false;
  return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
  encodeHeader(value);
  return true;
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<unsigned>(index));
  return field && encodeAs(*field, fieldTag(value.info(), static_cast<unsigned>(index)));
}

bool BEREncoder::visitKnownExtension(const SEQUENCE& value, int index) { return visitExtensionRoot(value, index); }

bool DataLengthCounter::do_visit(const Null&) { return true; }

bool DataLengthCounter::do_visit(const BOOLEAN&) {
  length += 1;
  return true;
}

bool DataLengthCounter::do_visit(const INTEGER& value) {
  length += integerLength(value.numericValue());
  return true;
}

bool DataLengthCounter::do_visit(const ENUMERATED& value) {
  length += getIntegerDataLength(value.getValue());
  return true;
}

bool DataLengthCounter::do_visit(const OBJECT_IDENTIFIER& value) {
  std::vector<char> contents;
  value.encodeCommon(contents);
  length += static_cast<unsigned>(contents.size());
  return true;
}

bool DataLengthCounter::do_visit(const BIT_STRING& value) {
  length += (value.size() + 7) / 8 + 1;
  return true;
}

bool DataLengthCounter::do_visit(const OCTET_STRING& value) {
  length += static_cast<unsigned>(value.size());
  return true;
}

bool DataLengthCounter::do_visit(const AbstractString& value) {
  length += static_cast<unsigned>(value.size());
  return true;
}

bool DataLengthCounter::do_visit(const BMPString& value) {
  length += 2 * static_cast<unsigned>(value.size());
  return true;
}

bool DataLengthCounter::do_visit(const GeneralizedTime& value) {
  length += static_cast<unsigned>(value.get().size());
  return true;
}

bool DataLengthCounter::do_visit(const CHOICE& value) {
  const AbstractData* alternative = value.getSelection();
  const int id = value.currentSelection();
  if (alternative && id >= 0 && static_cast<unsigned>(id) < value.info()->totalChoices)
    length += getObjectLength(*alternative, alternativeTag(value.info(), static_cast<unsigned>(id)));
  return true;
}

bool DataLengthCounter::do_visit(const OpenData& value) {
  // Everything written after the open type's own header.
  if (value.has_data())
    length += getObjectLength(*value.get_data(), value.get_data()->info()->tag);
  else if (value.has_buf())
    length += static_cast<unsigned>(value.get_buf()->size());
  return true;
}

bool DataLengthCounter::do_visit(const SEQUENCE_OF_Base& value) {
  for (const AbstractData* element : value.elements()) length += getObjectLength(*element, element->info()->tag);
  return true;
}

bool DataLengthCounter::visitExtensionRoot(const SEQUENCE& value, int index) {
  if (const AbstractData* field = value.getField(static_cast<unsigned>(index)))
    length += getObjectLength(*field, fieldTag(value.info(), static_cast<unsigned>(index)));
  return true;
}

bool DataLengthCounter::visitKnownExtension(const SEQUENCE& value, int index) {
  return visitExtensionRoot(value, index);
}

bool PrimitiveChecker::do_visit(const CHOICE&) { return false; }
bool PrimitiveChecker::do_visit(const OpenData&) { return false; }
bool PrimitiveChecker::do_visit(const SEQUENCE_OF_Base&) { return false; }
bool PrimitiveChecker::preVisitExtensionRoots(const SEQUENCE&) { return false; }

}  // namespace ASN1
