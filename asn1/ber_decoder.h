// BER decoder: fills a value from identifier, length and contents octets. The
// input is untrusted: every length is tested against what remains of it, and a
// constructed value's contents bound everything read inside them.
#pragma once

#include <cstddef>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class BERDecoder : public Visitor {
 public:
  BERDecoder(const char* begin, const char* end, CoderEnv* env = nullptr)
      : env(env), position(begin), endPosition(end), tagPassCount(0) {}

  // One identifier and definite length (the indefinite form reads as 0 in a
  // primitive encoding); false, with the position put back, when they are
  // malformed or the length exceeds the input. Tag numbers above 0xFFFF, lengths
  // of more than four octets and constructed encodings of indefinite length are
  // refused.
  bool decodeHeader(unsigned& tag, bool& primitive, unsigned& length);
  // The same for `value`: the tag must be the value's record tag unless a tag
  // pass is pending (it is then used up), and the form must be the value's.
  bool decodeHeader(const AbstractData& value, unsigned& length, bool constructed = false);
  // Copies up to n octets; the count copied.
  unsigned decodeBlock(char* destination, unsigned n);
  // Reads the explicit tag (when the CHOICE has one) and selects the alternative
  // from the next identifier, which is left unread; `contentsEnd` is where the
  // CHOICE's encoding ends.
  bool decodeChoicePreamle(CHOICE& value, const char*& contentsEnd);

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
  int preVisitExtensionRoots(SEQUENCE& value) override;
  int visitExtensionRoot(SEQUENCE& value, int index, int presenceIndex) override;
  int visitKnownExtension(SEQUENCE& value, int index, int presenceIndex) override;
  bool visitUnknownExtensions(SEQUENCE& value) override;

 private:
  std::size_t octetsLeft() const { return static_cast<std::size_t>(endPosition - position); }
  // A primitive value's contents as a two's complement number that fits 32 bits:
  // signed, or unsigned for a holder of unsigned numbers.
  bool decodeInteger(const AbstractData& value, bool holdsUnsigned, int& number);
  // Reads an open type's header, and moves back to it unless it is an explicit tag
  // of its own; the contained value's encoding lies within [position, `contentsEnd`).
  bool decodeOpenHeader(const OpenData& value, const char*& contentsEnd);
  // Decodes `value` from the octets up to `limit` and moves to `limit`.
  bool decodeWithin(AbstractData& value, const char* limit);

  CoderEnv* env;
  const char* position;
  const char* endPosition;               // of the innermost contents being read
  std::vector<const char*> sequenceEnds;  // outer ends, one per SEQUENCE being read
  unsigned tagPassCount;                  // identifiers that may carry a field or alternative tag
};

}  // namespace ASN1
