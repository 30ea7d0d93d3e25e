// The two visitor interfaces through which coders, printers and checkers read and
// fill values. SEQUENCE values come to do_visit(), which by default walks them with
// visit() through the hooks; a coder may walk them itself.
#pragma once

#include "asn1/types.h"

namespace ASN1 {

// Reads values (encoders, printers). Every hook returns true to go on.
class ConstVisitor {
 public:
  virtual ~ConstVisitor() {}
  virtual bool do_visit(const AbstractData& value);
  virtual bool do_visit(const Null& value);
  virtual bool do_visit(const BOOLEAN& value);
  virtual bool do_visit(const INTEGER& value);
  virtual bool do_visit(const IntegerWithNamedNumber& value);
  virtual bool do_visit(const ENUMERATED& value);
  virtual bool do_visit(const OBJECT_IDENTIFIER& value);
  virtual bool do_visit(const BIT_STRING& value);
  virtual bool do_visit(const OCTET_STRING& value);
  virtual bool do_visit(const AbstractString& value);
  virtual bool do_visit(const BMPString& value);
  virtual bool do_visit(const CHOICE& value);
  virtual bool do_visit(const OpenData& value);
  virtual bool do_visit(const GeneralizedTime& value);
  virtual bool do_visit(const SEQUENCE_OF_Base& value);
  virtual bool do_visit(const SEQUENCE& value) { return visit(value); }
  virtual bool preVisitExtensionRoots(const SEQUENCE& value);
  virtual bool visitExtensionRoot(const SEQUENCE& value, int index);
  virtual bool preVisitExtensions(const SEQUENCE& value);
  virtual bool visitKnownExtension(const SEQUENCE& value, int index);
  virtual bool afterVisitSequence(const SEQUENCE& value);

  // Root fields (absent OPTIONAL ones skipped), then the present extensions.
  bool visit(const SEQUENCE& value);
};

// Fills values (decoders). The SEQUENCE hooks return one of the walk codes.
class Visitor {
 public:
  enum WalkCode { FAIL = 0, STOP = 1, NO_EXTENSION = 2, CONTINUE = 3 };

  virtual ~Visitor() {}
  virtual bool do_visit(Null& value) = 0;
  virtual bool do_visit(BOOLEAN& value) = 0;
  virtual bool do_visit(INTEGER& value) = 0;
  virtual bool do_visit(IntegerWithNamedNumber& value);
  virtual bool do_visit(ENUMERATED& value) = 0;
  virtual bool do_visit(OBJECT_IDENTIFIER& value) = 0;
  virtual bool do_visit(OCTET_STRING& value) = 0;
  virtual bool do_visit(BIT_STRING& value) = 0;
  virtual bool do_visit(AbstractString& value) = 0;
  virtual bool do_visit(BMPString& value) = 0;
  virtual bool do_visit(CHOICE& value) = 0;
  virtual bool do_visit(SEQUENCE_OF_Base& value) = 0;
  virtual bool do_visit(OpenData& value) = 0;
  virtual bool do_revisit(OpenData& value) = 0;
  virtual bool do_visit(TypeConstrainedOpenData& value) = 0;
  virtual bool do_visit(GeneralizedTime& value) = 0;
  virtual bool do_visit(SEQUENCE& value) { return visit(value); }
  virtual int preVisitExtensionRoots(SEQUENCE& value);
  virtual int visitExtensionRoot(SEQUENCE& value, int index, int presenceIndex);
  virtual int preVisitExtensions(SEQUENCE& value);
  virtual int visitKnownExtension(SEQUENCE& value, int index, int presenceIndex);
  virtual bool visitUnknownExtensions(SEQUENCE& value);

  bool visit(SEQUENCE& value);
};

}  // namespace ASN1
