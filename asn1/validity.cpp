#include "asn1/validity.h"

#include <cstring>

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

namespace {

// Size rules, sizes compared as unsigned numbers. Strictly valid takes both
// bounds; valid ignores an extensible upper bound, and with `fixedUpperOnly`
// (BIT and OCTET STRING) every upper bound but a fixed one.
bool sizeValid(const ConstrainedObject& object, std::size_t size, bool strict, bool fixedUpperOnly) {
  const ConstrainedObject::InfoType* record = object.info();
  if (size < static_cast<unsigned>(record->lowerLimit)) return false;
  const bool upperApplies =
      strict || (fixedUpperOnly ? record->type == FixedConstraint : record->type != ExtendableConstraint);
  return !upperApplies || size <= record->upperLimit;
}

// The tracer's size message for `kind`; sizes above the upper bound are reported
// for a fixed constraint only.
bool traceSize(std::ostream& text, const char* kind, const ConstrainedObject& object, std::size_t size) {
  const ConstrainedObject::InfoType* record = object.info();
  if (size < static_cast<unsigned>(record->lowerLimit)) {
    text << " This " << kind << " has size " << size << " smaller than its lower bound " << record->lowerLimit;
    return false;
  }
  if (record->type == FixedConstraint && size > record->upperLimit) {
    text << " This " << kind << " has size " << size << " greater than its upper bound " << record->upperLimit;
    return false;
  }
  return true;
}

bool listValid(const SEQUENCE_OF_Base& list, bool strict) {
  if (!sizeValid(list, list.size(), strict, false)) return false;
  for (const AbstractData* element : list.elements())
    if (!(strict ? element->isStrictlyValid() : element->isValid())) return false;
  return true;
}

bool charactersValid(const AbstractString& value) { return value.first_illegal_at() == value.size(); }

template <class Checker>
bool check(const AbstractData& value) {
  Checker checker;
  return value.accept(checker);
}

}  // namespace

bool AbstractData::isValid() const { return check<ValidChecker>(*this); }
bool AbstractData::isStrictlyValid() const { return check<StrictlyValidChecker>(*this); }

bool INTEGER::isStrictValid() const {
  const InfoType* record = info();
  if (record->type == Unconstrained) return true;
  const long long v = numericValue();
  return v >= record->lowerLimit && v <= static_cast<long long>(record->upperLimit);
}

std::size_t AbstractString::first_illegal_at() const {
  const InfoType* record = info();
  if (record->characterSetSize == 0) return size();
  for (std::size_t i = 0; i < value.size(); ++i)
    if (!std::memchr(record->characterSet, value[i], record->characterSetSize)) return i;
  return size();
}

bool AbstractString::isValid() const { return sizeValid(*this, size(), false, false) && charactersValid(*this); }
bool AbstractString::isStrictlyValid() const { return sizeValid(*this, size(), true, false) && charactersValid(*this); }

unsigned BMPString::first_illegal_at() const {
  unsigned i = 0;
  while (i < value.size() && legalCharacter(value[i])) ++i;
  return i;
}

bool BMPString::isValid() const { return sizeValid(*this, size(), false, false) && first_illegal_at() == size(); }
bool BMPString::isStrictlyValid() const {
  return sizeValid(*this, size(), true, false) && first_illegal_at() == size();
}

bool GeneralizedTime::isStrictlyValid() const {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 && hour <= 24 && minute >= 0 &&
         minute <= 59 && second >= 0 && second <= 59 && mindiff >= -720 && mindiff <= 720;
}

bool CHOICE::isValid() const {
  const InfoType* record = info();
  if (choiceID < 0 || !choice || static_cast<unsigned>(choiceID) >= record->totalChoices) return false;
  return (static_cast<unsigned>(choiceID) < record->numChoices || record->extendable) && choice->isValid();
}

bool CHOICE::isStrictlyValid() const {
  return choiceID >= 0 && choice && static_cast<unsigned>(choiceID) < info()->numChoices &&
         choice->isStrictlyValid();
}

bool SEQUENCE_OF_Base::isValid() const { return listValid(*this, false); }
bool SEQUENCE_OF_Base::isStrictlyValid() const { return listValid(*this, true); }

bool OpenData::isValid() const { return data ? data->isValid() : buf != nullptr; }
bool OpenData::isStrictlyValid() const { return data ? data->isStrictlyValid() : buf != nullptr; }

namespace detail {

bool ConstraintChecker::do_visit(const Null&) { return true; }
bool ConstraintChecker::do_visit(const BOOLEAN&) { return true; }
bool ConstraintChecker::do_visit(const INTEGER& value) {
  return value.isStrictValid() || (!strict && value.constraintType() == ExtendableConstraint);
}
bool ConstraintChecker::do_visit(const ENUMERATED& value) {
  return value.isStrictlyValid() || (!strict && value.extendable());
}
bool ConstraintChecker::do_visit(const OBJECT_IDENTIFIER& value) { return value.levels() > 0; }
bool ConstraintChecker::do_visit(const BIT_STRING& value) { return sizeValid(value, value.size(), strict, true); }
bool ConstraintChecker::do_visit(const OCTET_STRING& value) { return sizeValid(value, value.size(), strict, true); }
bool ConstraintChecker::do_visit(const AbstractString& value) { return checks(value); }
bool ConstraintChecker::do_visit(const BMPString& value) { return checks(value); }
bool ConstraintChecker::do_visit(const CHOICE& value) { return checks(value); }
bool ConstraintChecker::do_visit(const OpenData& value) { return checks(value); }
bool ConstraintChecker::do_visit(const GeneralizedTime& value) { return value.isStrictlyValid(); }
bool ConstraintChecker::do_visit(const SEQUENCE_OF_Base& value) { return checks(value); }
bool ConstraintChecker::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<unsigned>(index));
  return !field || checks(*field);
}
bool ConstraintChecker::visitKnownExtension(const SEQUENCE& value, int index) {
  return visitExtensionRoot(value, index);
}

}  // namespace detail

bool InvalidTracer::do_visit(const Null&) { return true; }
bool InvalidTracer::do_visit(const BOOLEAN&) { return true; }

bool InvalidTracer::do_visit(const INTEGER& value) {
  const INTEGER::InfoType* record = value.info();
  if (record->type == Unconstrained) return true;
  const long long v = value.numericValue();
  if (v < record->lowerLimit) {
    text << " The INTEGER value " << v << " is smaller than lower bound " << record->lowerLimit;
    return false;
  }
  if (record->type != ExtendableConstraint && v > static_cast<long long>(record->upperLimit)) {
    text << " The INTEGER value " << v << " is greater than upper bound " << record->upperLimit;
    return false;
  }
  return true;
}

bool InvalidTracer::do_visit(const ENUMERATED& value) {
  if (value.isStrictlyValid()) return true;
  text << " This ENUMERATED has invalid value " << value.getValue();
  return false;
}

bool InvalidTracer::do_visit(const OBJECT_IDENTIFIER& value) {
  if (value.levels() > 0) return true;
  text << " This OBJECT IDENTIFIER is not assigned";
  return false;
}

bool InvalidTracer::do_visit(const BIT_STRING& value) { return traceSize(text, "BIT STRING", value, value.size()); }
bool InvalidTracer::do_visit(const OCTET_STRING& value) {
  return traceSize(text, "OCTET STRING", value, value.size());
}

bool InvalidTracer::do_visit(const AbstractString& value) {
  if (!traceSize(text, "AbstractString", value, value.size())) return false;
  const std::size_t at = value.first_illegal_at();
  if (at == value.size()) return true;
  text << " The character '" << value.getValue()[at] << "' is not valid for the string";
  return false;
}

bool InvalidTracer::do_visit(const BMPString& value) {
  if (!traceSize(text, "BMPString", value, value.size())) return false;
  const unsigned at = value.first_illegal_at();
  if (at == value.size()) return true;
  text << " The character '" << static_cast<unsigned>(value.getValue()[at]) << "' is not valid for the string";
  return false;
}

bool InvalidTracer::do_visit(const CHOICE& value) {
  const char* name = value.getSelectionName();
  const AbstractData* alternative = value.getSelection();
  if (value.currentSelection() == CHOICE::UNKNOWN_SELECTION) {
    text << " This selection is not understood by this decoder";
    return false;
  }
  if (!name || !alternative) {
    text << " This CHOICE is not selected";
    return false;
  }
  text << '.' << name;
  return alternative->accept(*this);
}

bool InvalidTracer::do_visit(const OpenData& value) {
  if (value.has_data()) return value.get_data()->accept(*this);
  if (value.has_buf()) return true;
  text << " This Open Type does not contain any valid data";
  return false;
}

bool InvalidTracer::do_visit(const GeneralizedTime& value) {
  if (value.isStrictlyValid()) return true;
  text << " This GeneralizedTime is not valid";
  return false;
}

bool InvalidTracer::do_visit(const SEQUENCE_OF_Base& value) {
  if (!traceSize(text, "SEQUENCE OF", value, value.size())) return false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    InvalidTracer element;
    if (!value.element(i).accept(element)) {
      text << '[' << i << ']' << element.str();
      return false;
    }
  }
  return true;
}

bool InvalidTracer::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<unsigned>(index));
  InvalidTracer inner;
  if (!field || field->accept(inner)) return true;
  text << '.' << value.info()->fieldNames[index] << inner.str();
  return false;
}

bool InvalidTracer::visitKnownExtension(const SEQUENCE& value, int index) { return visitExtensionRoot(value, index); }

bool trace_invalid(std::ostream& stream, const char* prefix, const AbstractData& value) {
  InvalidTracer tracer;
  if (value.accept(tracer)) return true;
  stream << prefix << tracer.str() << std::endl;
  return false;
}

}  // namespace ASN1
