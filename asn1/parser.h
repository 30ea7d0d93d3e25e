// Value-notation parser: fills a value of a known type from the text the printer
// writes.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class AVNDecoder : public Visitor {
 public:
  explicit AVNDecoder(std::istream& stream) : strm(&stream) {}

  bool do_visit(Null& value) override;
  bool do_visit(BOOLEAN& value) override;
  bool do_visit(INTEGER& value) override;
  bool do_visit(IntegerWithNamedNumber& value) override;
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
  // Letters up to the first other character, blanks between them skipped.
  std::string readLetters();
  // A name: a run of characters ended by white space, ",", "}" or ":" (which
  // stays unread); a name starting at one of the three is that one character.
  bool readName(std::string& name);

  std::istream* strm;
  std::vector<std::string> fieldNames;  // per SEQUENCE being read: the name read last
};

// The index below `count` of the first name equal to `name`.
bool get_id(const char* const* names, unsigned count, const std::string& name, unsigned& index);
// A double quote, then everything up to the next one (consumed, not stored).
bool get_string(std::istream& stream, std::string& text);
// The quoted forms 'digits'B and 'digits'H: the octets (the last one padded with
// zero bits) and the number of bits the digits give.
bool get_value_from(std::istream& stream, std::vector<char>& octets, unsigned& bits);
bool get_from_string(const std::string& digits, std::vector<char>& octets, unsigned& bits, int base);

// Reads a value through the input guard; failure sets failbit on the stream.
std::istream& operator>>(std::istream& stream, AbstractData& value);

}  // namespace ASN1
