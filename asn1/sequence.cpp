#include "asn1/sequence.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>
#include <memory>

#include "asn1/visitor.h"

namespace ASN1 {

const unsigned SEQUENCE::defaultTag = 0;

void SEQUENCE::BitMap::allocateCleared() {
  bits.heap = static_cast<unsigned char*>(detail::allocate(octets()));
  std::fill(bits.heap, bits.heap + octets(), 0);
}

SEQUENCE::BitMap::BitMap(const BitMap& other) : totalBits(other.totalBits), bits(other.bits) {
  if (onHeap()) {
    bits.heap = static_cast<unsigned char*>(detail::allocate(octets()));
    std::copy(other.bits.heap, other.bits.heap + octets(), bits.heap);
  }
}

SEQUENCE::BitMap& SEQUENCE::BitMap::operator=(const BitMap& other) {
  BitMap copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE::BitMap::swap(BitMap& other) noexcept {
  std::swap(bits, other.bits);
  std::swap(totalBits, other.totalBits);
}

void SEQUENCE::BitMap::resize(unsigned n) {
  unsigned oldOctets = octets(), newOctets = (n + 7u) / 8u;
  if (n > InlineBits && newOctets != oldOctets) {
    unsigned char* grown = static_cast<unsigned char*>(detail::allocate(newOctets));
    const unsigned char* from = data();
    unsigned kept = std::min(oldOctets, newOctets);
    std::copy(from, from + kept, grown);
    std::fill(grown + kept, grown + newOctets, 0);
    if (onHeap()) detail::deallocate(bits.heap, oldOctets);
    bits.heap = grown;
  } else if (n <= InlineBits && onHeap()) {
    unsigned char* heap = bits.heap;
    bits = Storage();
    std::copy(heap, heap + newOctets, bits.held);
    detail::deallocate(heap, oldOctets);
  } else if (newOctets > oldOctets) {
    unsigned char* held = data();
    std::fill(held + oldOctets, held + newOctets, 0);
  }
  totalBits = n;
  if (n % 8) data()[n / 8] &= static_cast<unsigned char>(0xff00u >> (n % 8));
}

bool SEQUENCE::BitMap::anyBitSet() const {
  const unsigned char* octetsHeld = data();
  return std::any_of(octetsHeld, octetsHeld + octets(), [](unsigned char octet) { return octet != 0; });
}

// A clone that throws leaves the copies made so far to the destructor, which runs
// once the delegated constructor is done.
SEQUENCE::FieldVector::FieldVector(const FieldVector& other) : FieldVector(other.count) {
  for (unsigned i = 0; i < count; ++i)
    if (other.slots[i]) slots[i] = other.slots[i]->clone();
}

SEQUENCE::FieldVector& SEQUENCE::FieldVector::operator=(const FieldVector& other) {
  FieldVector copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE::FieldVector::adopt(FieldVector& from) noexcept {
  if (from.isInline()) {
    std::copy(from.inlineSlots, from.inlineSlots + InlineSlots, inlineSlots);
    slots = inlineSlots;
  } else {
    slots = from.slots;
  }
  count = from.count;
  from.slots = from.inlineSlots;
  from.count = 0;
}

void SEQUENCE::FieldVector::swap(FieldVector& other) noexcept {
  FieldVector mine;
  mine.adopt(*this);
  adopt(other);
  other.adopt(mine);
}

void SEQUENCE::FieldVector::allocateSlots() {
  slots = static_cast<AbstractData**>(detail::allocate(count * sizeof(AbstractData*)));
  std::fill(slots, slots + count, nullptr);
}

void SEQUENCE::FieldVector::release() noexcept {
  for (unsigned i = 0; i < count; ++i) delete slots[i];
  if (!isInline()) detail::deallocate(slots, count * sizeof(AbstractData*));
  slots = inlineSlots;
  count = 0;
}

AbstractData* SEQUENCE::create(const void* info) { return new SEQUENCE(info); }

SEQUENCE::SEQUENCE(const void* info)
    : AbstractData(info, SequenceKind),
      fields(static_cast<const InfoType*>(info)->numFields + static_cast<const InfoType*>(info)->knownExtensions),
      optionals(static_cast<const InfoType*>(info)->numOptional) {
  const InfoType* record = this->info();
  const int* ids = record->fieldIds;
  const AbstractData::InfoType* const* infos = record->fieldInfos;
  AbstractData** slots = fields.begin();
  for (unsigned i = 0, n = record->numFields; i < n; ++i)
    if (ids[i] == -1 && infos[i]) slots[i] = infos[i]->create(infos[i]);
  if (record->nonOptionalExtensions) includeNonOptionalExtensions();
}

void SEQUENCE::includeNonOptionalExtensions() {
  const InfoType* record = info();
  extensions.resize(record->knownExtensions);
  std::copy(record->nonOptionalExtensions, record->nonOptionalExtensions + (record->knownExtensions + 7) / 8,
            extensions.data());
  extensions.resize(record->knownExtensions);  // clears bits past the last extension
  for (unsigned k = 0; k < record->knownExtensions; ++k)
    if (extensions[k]) createField(record->numFields + k);
}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
  SEQUENCE copy(other);
  swap(copy);
  return *this;
}

void SEQUENCE::swap(SEQUENCE& other) {
  fields.swap(other.fields);
  optionals.swap(other.optionals);
  extensions.swap(other.extensions);
}

AbstractData* SEQUENCE::createField(unsigned i) {
  const AbstractData::InfoType* fieldInfo = info()->fieldInfos[i];
  if (fieldInfo) fields[i] = fieldInfo->create(fieldInfo);
  return fields[i];
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
bool SEQUENCE::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool SEQUENCE::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
