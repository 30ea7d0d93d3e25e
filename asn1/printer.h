// Value-notation printer: writes a value as text, the form of every trace.
#pragma once

#include <ostream>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class AVNEncoder : public ConstVisitor {
 public:
  explicit AVNEncoder(std::ostream& stream) : strm(&stream), indent(0) {}

  bool do_visit(const Null& value) override;
  bool do_visit(const BOOLEAN& value) override;
  bool do_visit(const INTEGER& value) override;
  bool do_visit(const IntegerWithNamedNumber& value) override;
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
  bool afterVisitSequence(const SEQUENCE& value) override;

 private:
  bool printOctets(const char* octets, std::size_t n);

  std::ostream* strm;
  int indent;
  std::vector<bool> fieldWritten;  // one entry per SEQUENCE being printed
};

// Prints the value. The text goes through a private buffer, so a print that stops
// early (a CHOICE without selection, an empty open type) writes what it had and
// leaves the caller's stream usable.
std::ostream& operator<<(std::ostream& stream, const AbstractData& value);

}  // namespace ASN1
