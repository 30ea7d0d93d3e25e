// Checks of a value against the constraints its records state, and a tracer
// that names the first fault and the path down to it.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

namespace detail {
// The two verdicts share their walk; `strict` picks the rules of the root only.
class ConstraintChecker : public ConstVisitor {
 public:
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

 protected:
  explicit ConstraintChecker(bool strict) : strict(strict) {}

 private:
  // The verdict of the value's own checks (its class's members, not the walk's).
  template <class Value>
  bool checks(const Value& value) const {
    return strict ? value.isStrictlyValid() : value.isValid();
  }

  const bool strict;
};
}  // namespace detail

// Valid: what an extensible type may carry beyond its root passes.
class ValidChecker : public detail::ConstraintChecker {
 public:
  ValidChecker() : ConstraintChecker(false) {}
};

// Strictly valid: only what the root of each type allows.
class StrictlyValidChecker : public detail::ConstraintChecker {
 public:
  StrictlyValidChecker() : ConstraintChecker(true) {}
};

// Stops at the first fault and keeps its path (".field", ".alternative",
// "[element]") and message.
class InvalidTracer : public ConstVisitor {
 public:
  std::string str() const { return text.str(); }

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
  std::ostringstream text;
};

// Writes prefix, path and message of the first fault and a line end, and returns
// false; a value without fault writes nothing.
bool trace_invalid(std::ostream& stream, const char* prefix, const AbstractData& value);

}  // namespace ASN1
