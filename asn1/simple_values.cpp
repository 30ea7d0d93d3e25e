#include "asn1/simple_values.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>
#include <cstdlib>
#include <cstring>

#include "asn1/visitor.h"

namespace ASN1 {

const Null::InfoType Null::theInfo = {&Null::create, 5};
const BOOLEAN::InfoType BOOLEAN::theInfo = {&BOOLEAN::create, 1};
const INTEGER::InfoType INTEGER::theInfo = {{&INTEGER::create, 2}, Unconstrained, 0, 0xffffffffu};

namespace {
int compareInts(int a, int b) { return a < b ? -1 : (a > b ? 1 : 0); }
}  // namespace

AbstractData* Null::create(const void* info) { return new Null(info); }
int Null::do_compare(const AbstractData&) const { return 0; }
AbstractData* Null::do_clone() const { return new Null(*this); }
bool Null::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool Null::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

AbstractData* BOOLEAN::create(const void* info) { return new BOOLEAN(info); }
int BOOLEAN::do_compare(const AbstractData& other) const {
  return int(value) - int(boost::polymorphic_downcast<const BOOLEAN*>(&other)->value);
}
AbstractData* BOOLEAN::do_clone() const { return new BOOLEAN(*this); }
bool BOOLEAN::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool BOOLEAN::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

AbstractData* INTEGER::create(const void* info) { return new INTEGER(info); }
int INTEGER::do_compare(const AbstractData& other) const {
  return compareInts(value, boost::polymorphic_downcast<const INTEGER*>(&other)->value);
}
AbstractData* INTEGER::do_clone() const { return new INTEGER(*this); }
bool INTEGER::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool INTEGER::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

AbstractData* IntegerWithNamedNumber::create(const void* info) { return new IntegerWithNamedNumber(info); }
bool IntegerWithNamedNumber::getName(std::string& name) const {
  const InfoType* record = info();
  const NameEntry* end = record->nameEntries + record->entryCount;
  const NameEntry* found = std::lower_bound(record->nameEntries, end, getValue(), NameEntryCmp());
  if (found == end || found->value != getValue()) return false;
  name = found->name;
  return true;
}
AbstractData* IntegerWithNamedNumber::do_clone() const { return new IntegerWithNamedNumber(*this); }
bool IntegerWithNamedNumber::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool IntegerWithNamedNumber::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

AbstractData* ENUMERATED::create(const void* info) { return new ENUMERATED(info); }
bool IntegerWithNamedNumber::setFromName(const std::string& name) {
  const InfoType* record = info();
  for (unsigned i = 0; i < record->entryCount; ++i) {
    if (name == record->nameEntries[i].name) {
      setValue(record->nameEntries[i].value);
      return true;
    }
  }
  return false;
}

namespace {
// The first names entry for which `match`(entry text, entry value) holds, or -1.
template <class Match>
int findEntry(const ENUMERATED::InfoType* record, Match match, long& entryValue) {
  entryValue = -1;
  for (unsigned i = 0; i < record->numNames; ++i) {
    const char* equals = std::strchr(record->names[i], '=');
    entryValue = equals ? std::strtol(equals + 1, nullptr, 10) : entryValue + 1;
    if (match(record->names[i], entryValue)) return static_cast<int>(i);
  }
  return -1;
}
}  // namespace

const char* ENUMERATED::getName() const {
  long entryValue;
  int found = findEntry(info(), [this](const char*, long v) { return v == value; }, entryValue);
  return found < 0 ? nullptr : info()->names[found];
}

bool ENUMERATED::setFromName(const std::string& name) {
  long entryValue;
  bool found = findEntry(info(), [&name](const char* text, long) { return name == text; }, entryValue) >= 0;
  value = found ? static_cast<int>(entryValue) : static_cast<int>(getMaximum() + 1);
  return found;
}
int ENUMERATED::do_compare(const AbstractData& other) const {
  return compareInts(value, boost::polymorphic_downcast<const ENUMERATED*>(&other)->value);
}
AbstractData* ENUMERATED::do_clone() const { return new ENUMERATED(*this); }
bool ENUMERATED::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool ENUMERATED::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
