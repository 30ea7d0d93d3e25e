#include "asn1/sequence.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>
#include <memory>

#include "asn1/visitor.h"

namespace ASN1 {

const unsigned SEQUENCE::defaultTag = 0;

void SEQUENCE::BitMap::resize(unsigned n) {
  bitData.resize((n + 7u) / 8u, 0);
  totalBits = n;
  if (n % 8) bitData.back() &= static_cast<unsigned char>(0xff00u >> (n % 8));
}

bool SEQUENCE::BitMap::any() const {
  return std::any_of(bitData.begin(), bitData.end(), [](unsigned char octet) { return octet != 0; });
}

SEQUENCE::FieldVector::FieldVector(const FieldVector& other) : std::vector<AbstractData*>(other.size(), nullptr) {
  try {
    for (std::size_t i = 0; i < other.size(); ++i)
      if (other[i]) (*this)[i] = other[i]->clone();
  } catch (...) {
    for (AbstractData* field : *this) delete field;
    throw;
  }
}

SEQUENCE::FieldVector& SEQUENCE::FieldVector::operator=(const FieldVector& other) {
  FieldVector copy(other);
  std::vector<AbstractData*>::swap(copy);
  return *this;
}

SEQUENCE::FieldVector::~FieldVector() {
  for (AbstractData* field : *this) delete field;
}

AbstractData* SEQUENCE::create(const void* info) { return new SEQUENCE(info); }

SEQUENCE::SEQUENCE(const void* info) : AbstractData(info) {
  const InfoType* record = this->info();
  fields.resize(record->numFields + record->knownExtensions, nullptr);
  optionals.resize(record->numOptional);
  for (unsigned i = 0; i < record->numFields; ++i)
    if (record->fieldIds[i] == -1) ensureField(i);
  if (record->nonOptionalExtensions) {
    extensions.resize(record->knownExtensions);
    std::copy(record->nonOptionalExtensions, record->nonOptionalExtensions + (record->knownExtensions + 7) / 8,
              extensions.data());
    extensions.resize(record->knownExtensions);  // clears bits past the last extension
    for (unsigned k = 0; k < record->knownExtensions; ++k)
      if (extensions[k]) ensureField(record->numFields + k);
  }
}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
  SEQUENCE copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE::swap(SEQUENCE& other) {
  fields.swap(other.fields);
  std::swap(optionals, other.optionals);
  std::swap(extensions, other.extensions);
}

AbstractData* SEQUENCE::ensureField(unsigned i) {
  if (i >= fields.size()) return nullptr;
  if (!fields[i]) {
    const AbstractData::InfoType* fieldInfo = info()->fieldInfos[i];
    if (fieldInfo) fields[i] = fieldInfo->create(fieldInfo);
  }
  return fields[i];
}

bool SEQUENCE::hasOptionalField(unsigned presenceIndex) const {
  unsigned numOptional = info()->numOptional;
  return presenceIndex < numOptional ? optionals[presenceIndex] : extensions[presenceIndex - numOptional];
}

void SEQUENCE::includeOptionalField(unsigned presenceIndex, unsigned fieldIndex) {
  unsigned numOptional = info()->numOptional;
  if (presenceIndex < numOptional) {
    optionals.set(presenceIndex);
  } else {
    unsigned bit = presenceIndex - numOptional;
    if (extensions.size() <= bit) extensions.resize(bit + 1);
    extensions.set(bit);
  }
  ensureField(fieldIndex);
}

void SEQUENCE::includeOptionalField(unsigned presenceIndex) {
  int fieldIndex = fieldIndexOf(presenceIndex);
  includeOptionalField(presenceIndex, fieldIndex < 0 ? fieldCount() : static_cast<unsigned>(fieldIndex));
}

void SEQUENCE::removeOptionalField(unsigned presenceIndex) {
  unsigned numOptional = info()->numOptional;
  if (presenceIndex < numOptional)
    optionals.clear(presenceIndex);
  else
    extensions.clear(presenceIndex - numOptional);
}

int SEQUENCE::fieldIndexOf(unsigned presenceIndex) const {
  const InfoType* record = info();
  if (presenceIndex >= record->numOptional) {
    unsigned k = presenceIndex - record->numOptional;
    return k < record->knownExtensions ? static_cast<int>(record->numFields + k) : -1;
  }
  for (unsigned i = 0; i < record->numFields; ++i)
    if (record->fieldIds[i] == static_cast<int>(presenceIndex)) return static_cast<int>(i);
  return -1;
}

namespace {
// Present on both sides: the values decide; otherwise the presence does.
int compareFields(bool mine, const AbstractData* a, bool theirs, const AbstractData* b) {
  if (mine && theirs) {
    if (a && b) return a->compare(*b);
    return int(a != nullptr) - int(b != nullptr);
  }
  return int(mine) - int(theirs);
}
}  // namespace

int SEQUENCE::do_compare(const AbstractData& other) const {
  const SEQUENCE& that = *boost::polymorphic_downcast<const SEQUENCE*>(&other);
  const InfoType* record = info();
  for (unsigned i = 0; i < record->numFields; ++i) {
    int id = record->fieldIds[i];
    bool mine = id == -1 || optionals[id], theirs = id == -1 || that.optionals[id];
    if (int result = compareFields(mine, fields[i], theirs, that.fields[i])) return result;
  }
  for (unsigned k = 0; k < record->knownExtensions; ++k) {
    unsigned i = record->numFields + k;
    if (int result = compareFields(extensions[k], fields[i], that.extensions[k], that.fields[i])) return result;
  }
  return 0;
}

AbstractData* SEQUENCE::do_clone() const { return new SEQUENCE(*this); }
bool SEQUENCE::do_accept(Visitor& visitor) { return visitor.visit(*this); }
bool SEQUENCE::do_accept(ConstVisitor& visitor) const { return visitor.visit(*this); }

}  // namespace ASN1
