// BER encoder with definite lengths, and the visitors it measures values with.
// Tags are record words: (class byte << 16) | number, context class 0x80.
#pragma once

#include <vector>

#include "asn1/choice.h"
#include "asn1/sequence.h"
#include "asn1/visitor.h"

namespace ASN1 {

const unsigned NoTag = 0xffffffffu;  // the value's own record tag
const unsigned ContextClass = 0x800000u;

// Tag of field i: automatic (context i), each type's own, or the record's table.
inline unsigned fieldTag(const SEQUENCE::InfoType* record, unsigned i) {
  if (!record->tags) return ContextClass | i;
  if (record->tags == &SEQUENCE::defaultTag) return record->fieldInfos[i]->tag;
  return record->tags[i];
}
inline unsigned alternativeTag(const CHOICE::InfoType* record, unsigned i) {
  return record->tags ? record->tags[i] : ContextClass | i;
}

// Contents octets of an int in minimal two's complement (1 to 4).
unsigned getIntegerDataLength(int value);
// Contents length of a value.
unsigned getDataLength(const AbstractData& value);
// Length of the complete encoding under `tag`; tag 0 writes no identifier and length.
unsigned getObjectLength(const AbstractData& value, unsigned tag);

class BEREncoder : public ConstVisitor {
 public:
  explicit BEREncoder(std::vector<char>& out) : encodedBuffer(&out), tag(NoTag) {}

  // Identifier and length octets under the pending tag, which is then used up.
  void encodeHeader(const AbstractData& value);

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
  bool preVisitExtensionRoots(const SEQUENCE& value) override;
  bool visitExtensionRoot(const SEQUENCE& value, int index) override;
  bool visitKnownExtension(const SEQUENCE& value, int index) override;

 private:
  bool encodeAs(const AbstractData& value, unsigned valueTag) {
    tag = valueTag;
    return value.accept(*this);
  }
  // The header of the explicit tag around a CHOICE's alternative or an open
  // type's contents: the pending tag, else the record's; none for tag 0.
  void encodeExplicitTag(const AbstractData& value);
  void encodeInteger(long long value, unsigned octets);
  void append(const char* octets, std::size_t n) { encodedBuffer->insert(encodedBuffer->end(), octets, octets + n); }

  std::vector<char>* encodedBuffer;
  unsigned tag;  // for the next value written; NoTag: its own
};

// Contents length of a value as the encoder writes it.
class DataLengthCounter : public ConstVisitor {
 public:
  DataLengthCounter() : length(0) {}
  unsigned getLength() const { return length; }

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
  bool visitExtensionRoot(const SEQUENCE& value, int index) override;
  bool visitKnownExtension(const SEQUENCE& value, int index) override;

 private:
  unsigned length;
};

// False for the constructed kinds: SEQUENCE, SEQUENCE OF, and the explicit tag
// written around a CHOICE or an open type.
class PrimitiveChecker : public ConstVisitor {
 public:
  bool do_visit(const CHOICE& value) override;
  bool do_visit(const OpenData& value) override;
  bool do_visit(const SEQUENCE_OF_Base& value) override;
  bool preVisitExtensionRoots(const SEQUENCE& value) override;
};

}  // namespace ASN1
