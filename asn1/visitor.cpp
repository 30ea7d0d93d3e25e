#include "asn1/visitor.h"

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

bool ConstVisitor::do_visit(const AbstractData&) { return true; }
bool ConstVisitor::do_visit(const Null& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const BOOLEAN& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const INTEGER& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const IntegerWithNamedNumber& value) { return do_visit(static_cast<const INTEGER&>(value)); }
bool ConstVisitor::do_visit(const ENUMERATED& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const OBJECT_IDENTIFIER& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const BIT_STRING& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const OCTET_STRING& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const AbstractString& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const BMPString& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const CHOICE& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const OpenData& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const GeneralizedTime& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::do_visit(const SEQUENCE_OF_Base& value) { return do_visit(static_cast<const AbstractData&>(value)); }
bool ConstVisitor::preVisitExtensionRoots(const SEQUENCE& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::visitExtensionRoot(const SEQUENCE&, int) { return false; }
bool ConstVisitor::preVisitExtensions(const SEQUENCE&) { return true; }
bool ConstVisitor::visitKnownExtension(const SEQUENCE&, int) { return false; }
bool ConstVisitor::afterVisitSequence(const SEQUENCE&) { return true; }

bool ConstVisitor::visit(const SEQUENCE& value) {
  const SEQUENCE::InfoType* record = value.info();
  if (!preVisitExtensionRoots(value)) return false;
  // The record is constant: its counts and ids are read once.
  const int* ids = record->fieldIds;
  const unsigned numFields = record->numFields, numOptional = record->numOptional;
  for (unsigned i = 0; i < numFields; ++i) {
    int id = ids[i];
    if (id != -1 && !value.hasOptionalField(static_cast<unsigned>(id))) continue;
    if (!visitExtensionRoot(value, static_cast<int>(i))) return false;
  }
  if (value.extensionMap().size() == 0) return afterVisitSequence(value);
  if (!preVisitExtensions(value)) return false;
  for (unsigned i = numFields, presence = numOptional; i < value.fieldCount(); ++i, ++presence) {
    if (value.hasOptionalField(presence) && !visitKnownExtension(value, static_cast<int>(i))) return false;
  }
  return afterVisitSequence(value);
}

bool Visitor::do_visit(IntegerWithNamedNumber& value) { return do_visit(static_cast<INTEGER&>(value)); }
int Visitor::preVisitExtensionRoots(SEQUENCE&) { return CONTINUE; }
int Visitor::visitExtensionRoot(SEQUENCE&, int, int) { return FAIL; }
int Visitor::preVisitExtensions(SEQUENCE&) { return CONTINUE; }
int Visitor::visitKnownExtension(SEQUENCE&, int, int) { return FAIL; }
bool Visitor::visitUnknownExtensions(SEQUENCE&) { return true; }

bool Visitor::visit(SEQUENCE& value) {
  const SEQUENCE::InfoType* record = value.info();
  int roots = preVisitExtensionRoots(value);
  if (roots == FAIL || roots == STOP) return roots == STOP;
  // The record is constant: its counts and ids are read once.
  const int* ids = record->fieldIds;
  const unsigned numFields = record->numFields, numOptional = record->numOptional;
  for (unsigned i = 0; i < numFields; ++i) {
    int code = visitExtensionRoot(value, static_cast<int>(i), ids[i]);
    if (code == FAIL || code == STOP) return code == STOP;
  }
  if (roots != CONTINUE) return true;
  int code = preVisitExtensions(value);
  if (code != CONTINUE) return code != FAIL;
  for (unsigned i = numFields, presence = numOptional; i < value.fieldCount(); ++i, ++presence) {
    code = visitKnownExtension(value, static_cast<int>(i), static_cast<int>(presence));
    if (code != CONTINUE) return code != FAIL;
  }
  return visitUnknownExtensions(value);
}

}  // namespace ASN1
