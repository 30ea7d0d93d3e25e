// SEQUENCE values: root fields, OPTIONAL fields with a presence map, and extension
// additions with an extension presence map.
#pragma once

#include <vector>

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

  // Presence bits, most significant bit of the first octet first.
  class BitMap {
   public:
    BitMap() : totalBits(0) {}
    unsigned size() const { return totalBits; }
    bool operator[](unsigned i) const { return i < totalBits && (bitData[i / 8] & (0x80u >> (i % 8))); }
    void set(unsigned i) {
      if (i < totalBits) bitData[i / 8] |= static_cast<unsigned char>(0x80u >> (i % 8));
    }
    void clear(unsigned i) {
      if (i < totalBits) bitData[i / 8] &= static_cast<unsigned char>(~(0x80u >> (i % 8)));
    }
    void resize(unsigned n);
    bool any() const;
    const unsigned char* data() const { return bitData.data(); }
    unsigned char* data() { return bitData.data(); }
    int compare(const BitMap& other) const;

   private:
    unsigned totalBits;
    std::vector<unsigned char> bitData;
  };

  // Owns its non-null elements.
  class FieldVector : public std::vector<AbstractData*> {
   public:
    FieldVector() {}
    FieldVector(const FieldVector& other);
    FieldVector& operator=(const FieldVector& other);
    ~FieldVector();
  };

  static AbstractData* create(const void* info);

  explicit SEQUENCE(const void* info);
  SEQUENCE(const SEQUENCE& other) = default;
  SEQUENCE& operator=(const SEQUENCE& other);
  void swap(SEQUENCE& other);

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }

  // Presence indexes: 0..numOptional-1 for OPTIONAL root fields, numOptional + k for extension k.
  bool hasOptionalField(unsigned presenceIndex) const;
  void includeOptionalField(unsigned presenceIndex, unsigned fieldIndex);
  void includeOptionalField(unsigned presenceIndex);
  void removeOptionalField(unsigned presenceIndex);
  // Field index of a presence index, or -1 when the record has no such field.
  int fieldIndexOf(unsigned presenceIndex) const;

  unsigned fieldCount() const { return static_cast<unsigned>(fields.size()); }
  AbstractData* getField(unsigned i) { return i < fields.size() ? fields[i] : nullptr; }
  const AbstractData* getField(unsigned i) const { return i < fields.size() ? fields[i] : nullptr; }
  // The field object, created from its record when the slot is empty; null when it cannot be.
  AbstractData* ensureField(unsigned i);

  const BitMap& optionalMap() const { return optionals; }
  BitMap& optionalMap() { return optionals; }
  const BitMap& extensionMap() const { return extensions; }
  BitMap& extensionMap() { return extensions; }

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  FieldVector fields;
  BitMap optionals;
  BitMap extensions;
};

}  // namespace ASN1
