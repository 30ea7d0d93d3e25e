// SEQUENCE values: root fields, OPTIONAL fields with a presence map, and extension
// additions with an extension presence map.
#pragma once

#include <cstddef>

#include "asn1/abstract_data.h"

namespace ASN1 {

class SEQUENCE : public AbstractData {
 public:
  struct InfoType : AbstractData::InfoType {
    bool extendable;
    const AbstractData::InfoType* const* fieldInfos;  // root fields, then known extensions
    const int* fieldIds;                              // root: -1 mandatory, else presence bit
    unsigned numFields;                               // root fields
    unsigned knownExtensions;
    unsigned numOptional;
    const unsigned char* nonOptionalExtensions;  // extensions a new value holds, or null
    const unsigned* tags;                        // null: automatic tags
    const char* const* fieldNames;
  };
  // Address used as `tags` to take every field type's own tag.
  static const unsigned defaultTag;

  // Presence bits, most significant bit of the first octet first. Maps of up to
  // 64 bits, which are all but the oddest, are held in the object itself.
  class BitMap {
   public:
    BitMap() : totalBits(0), bits() {}
    explicit BitMap(unsigned n) : totalBits(n), bits() {  // n clear bits
      if (onHeap()) allocateCleared();
    }
    BitMap(const BitMap& other);
    BitMap& operator=(const BitMap& other);
    ~BitMap() {
      if (onHeap()) detail::deallocate(bits.heap, octets());
    }
    void swap(BitMap& other) noexcept;

    unsigned size() const { return totalBits; }
    bool operator[](unsigned i) const { return i < totalBits && (data()[i / 8] & (0x80u >> (i % 8))); }
    void set(unsigned i) {
      if (i < totalBits) data()[i / 8] |= static_cast<unsigned char>(0x80u >> (i % 8));
    }
    void clear(unsigned i) {
      if (i < totalBits) data()[i / 8] &= static_cast<unsigned char>(~(0x80u >> (i % 8)));
    }
    // New bits are clear; bits dropped from the end are cleared.
    void resize(unsigned n);
    bool any() const { return totalBits != 0 && anyBitSet(); }
    // The first 32 bits (those there are) at the top of a word, the first bit highest.
    unsigned leadingBits() const {
      const unsigned char* octets = data();  // at least four octets, in the object or not
      unsigned word = (unsigned(octets[0]) << 24) | (unsigned(octets[1]) << 16) | (unsigned(octets[2]) << 8) | octets[3];
      return totalBits >= 32 ? word : word & ~(0xffffffffu >> totalBits);
    }
    // Sets the first 32 bits (those there are) from the top of `word`; the bits
    // past the end stay clear.
    void setLeadingBits(unsigned word) {
      if (totalBits < 32) word &= ~(0xffffffffu >> totalBits);
      unsigned char* octets = data();
      octets[0] = static_cast<unsigned char>(word >> 24);
      octets[1] = static_cast<unsigned char>(word >> 16);
      octets[2] = static_cast<unsigned char>(word >> 8);
      octets[3] = static_cast<unsigned char>(word);
    }
    const unsigned char* data() const { return onHeap() ? bits.heap : bits.held; }
    unsigned char* data() { return onHeap() ? bits.heap : bits.held; }
    int compare(const BitMap& other) const;

   private:
    static const unsigned InlineBits = 64;
    bool onHeap() const { return totalBits > InlineBits; }
    bool anyBitSet() const;
    void allocateCleared();
    unsigned octets() const { return (totalBits + 7u) / 8u; }

    unsigned totalBits;
    union Storage {
      unsigned char held[InlineBits / 8];
      unsigned char* heap;  // octets() octets from the pool
    } bits;
  };

  // The field slots, one per field of the record, empty when made; owns its
  // non-null elements. The slots of small records are held in the object itself.
  class FieldVector {
   public:
    typedef AbstractData* value_type;
    typedef AbstractData** iterator;
    typedef AbstractData* const* const_iterator;

    FieldVector() : slots(inlineSlots), count(0), inlineSlots() {}
    explicit FieldVector(std::size_t n) : slots(inlineSlots), count(static_cast<unsigned>(n)), inlineSlots() {
      if (n > InlineSlots) allocateSlots();
    }
    FieldVector(const FieldVector& other);
    FieldVector& operator=(const FieldVector& other);
    ~FieldVector() { release(); }
    void swap(FieldVector& other) noexcept;

    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    AbstractData*& operator[](std::size_t i) { return slots[i]; }
    AbstractData* operator[](std::size_t i) const { return slots[i]; }
    iterator begin() { return slots; }
    iterator end() { return slots + count; }
    const_iterator begin() const { return slots; }
    const_iterator end() const { return slots + count; }

   private:
    static const unsigned InlineSlots = 4;
    bool isInline() const { return slots == inlineSlots; }
    // Takes count empty slots from the pool.
    void allocateSlots();
    void release() noexcept;
    // Takes over the slots of `from`, which is left empty; this one must be empty.
    void adopt(FieldVector& from) noexcept;

    AbstractData** slots;  // inlineSlots, or count slots from the pool
    unsigned count;
    AbstractData* inlineSlots[InlineSlots];
  };

  static AbstractData* create(const void* info);

  explicit SEQUENCE(const void* info);
  SEQUENCE(const SEQUENCE& other) = default;
  SEQUENCE& operator=(const SEQUENCE& other);
  void swap(SEQUENCE& other);

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }

  // Presence indexes: 0..numOptional-1 for OPTIONAL root fields, numOptional + k for extension k.
  bool hasOptionalField(unsigned presenceIndex) const {
    unsigned numOptional = info()->numOptional;
    return presenceIndex < numOptional ? optionals[presenceIndex] : extensions[presenceIndex - numOptional];
  }
  void includeOptionalField(unsigned presenceIndex, unsigned fieldIndex);
  void includeOptionalField(unsigned presenceIndex);
  void removeOptionalField(unsigned presenceIndex);
  // Field index of a presence index, or -1 when the record has no such field.
  int fieldIndexOf(unsigned presenceIndex) const;

  unsigned fieldCount() const { return static_cast<unsigned>(fields.size()); }
  AbstractData* getField(unsigned i) { return i < fields.size() ? fields[i] : nullptr; }
  const AbstractData* getField(unsigned i) const { return i < fields.size() ? fields[i] : nullptr; }
  // The field object, created from its record when the slot is empty; null when it cannot be.
  AbstractData* ensureField(unsigned i) {
    if (i >= fields.size()) return nullptr;
    return fields[i] ? fields[i] : createField(i);
  }

  const BitMap& optionalMap() const { return optionals; }
  BitMap& optionalMap() { return optionals; }
  const BitMap& extensionMap() const { return extensions; }
  BitMap& extensionMap() { return extensions; }

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) final;  // the kind names this entry
  bool do_accept(ConstVisitor& visitor) const final;
  // Fills the empty slot i from its record; null when the record has none.
  AbstractData* createField(unsigned i);
  // Marks and makes the extension additions that a new value holds.
  void includeNonOptionalExtensions();

  FieldVector fields;
  BitMap optionals;
  BitMap extensions;
};

}  // namespace ASN1
