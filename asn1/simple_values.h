// NULL, BOOLEAN, INTEGER (plain, with named numbers, fixed range) and ENUMERATED.
#pragma once

#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class Null : public AbstractData {
 public:
  typedef AbstractData::InfoType InfoType;
  static const InfoType theInfo;
  static AbstractData* create(const void* info);

  explicit Null(const void* info = &theInfo) : AbstractData(info, NullKind) {}

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) final;  // the kind names this entry
  bool do_accept(ConstVisitor& visitor) const final;
};

class BOOLEAN : public AbstractData {
 public:
  typedef AbstractData::InfoType InfoType;
  static const InfoType theInfo;
  static AbstractData* create(const void* info);

  explicit BOOLEAN(const void* info = &theInfo) : AbstractData(info, BooleanKind), value(false) {}
  BOOLEAN(bool v, const void* info = &theInfo) : AbstractData(info, BooleanKind), value(v) {}

  bool getValue() const { return value; }
  void setValue(bool v) { value = v; }
  operator bool() const { return value; }
  BOOLEAN& operator=(bool v) { value = v; return *this; }

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) final;  // the kind names this entry
  bool do_accept(ConstVisitor& visitor) const final;

  bool value;
};

class INTEGER : public ConstrainedObject {
 public:
  typedef ConstrainedObject::InfoType InfoType;
  static const InfoType theInfo;  // unconstrained
  static AbstractData* create(const void* info);

  explicit INTEGER(const void* info = &theInfo) : ConstrainedObject(info, IntegerKind), value(0) {}
  INTEGER(int v, const void* info) : ConstrainedObject(info, IntegerKind), value(v) {}

  int getValue() const { return value; }
  void setValue(int v) { value = v; }  // no range check
  INTEGER& operator=(int v) { value = v; return *this; }
  // A record with bounds that start at 0 or above holds unsigned numbers: text,
  // BER and the checks read the 32 bits as such.
  bool holdsUnsigned() const { return info()->type != Unconstrained && info()->lowerLimit >= 0; }
  // The number so read.
  long long numericValue() const {
    return holdsUnsigned() ? static_cast<long long>(static_cast<unsigned>(value)) : value;
  }
  // Within the record's bounds; an unconstrained INTEGER takes every value.
  bool isStrictValid() const;

 protected:
  INTEGER(int v, const void* info, Kind kind) : ConstrainedObject(info, kind), value(v) {}
  int do_compare(const AbstractData& other) const override;

 private:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  int value;
};

class IntegerWithNamedNumber : public INTEGER {
 public:
  struct NameEntry {
    int value;
    const char* name;
  };
  struct NameEntryCmp {
    bool operator()(const NameEntry& entry, int v) const { return entry.value < v; }
  };
  struct InfoType : INTEGER::InfoType {
    const NameEntry* nameEntries;  // sorted by value
    unsigned entryCount;
  };
  static AbstractData* create(const void* info);

  explicit IntegerWithNamedNumber(const void* info) : INTEGER(0, info, OtherKind) {}
  IntegerWithNamedNumber(int v, const void* info) : INTEGER(v, info, OtherKind) {}

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }
  // Stores the name of the value and returns true when the table has one.
  bool getName(std::string& name) const;
  // Takes the number of the first entry named `name`; false (value kept) when none is.
  bool setFromName(const std::string& name);

 private:
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

// An INTEGER whose record is fixed by the template arguments. Its record creates,
// and its clones are, objects of this class, so typed access to them is exact.
template <int type, int lower, unsigned upper>
class Constrained_INTEGER : public INTEGER {
 public:
  static const InfoType theInfo;
  static AbstractData* create(const void* info) { return new Constrained_INTEGER(info); }

  explicit Constrained_INTEGER(const void* info = &theInfo) : INTEGER(0, info) {}
  explicit Constrained_INTEGER(unsigned v, const void* info = &theInfo) : INTEGER(static_cast<int>(v), info) {}

  unsigned getValue() const { return static_cast<unsigned>(INTEGER::getValue()); }
  Constrained_INTEGER& operator=(unsigned v) {
    setValue(static_cast<int>(v));
    return *this;
  }

 private:
  AbstractData* do_clone() const override { return new Constrained_INTEGER(*this); }
};

template <int type, int lower, unsigned upper>
const INTEGER::InfoType Constrained_INTEGER<type, lower, upper>::theInfo = {
    {&Constrained_INTEGER::create, 2}, static_cast<ConstraintType>(type), lower, upper};

class ENUMERATED : public AbstractData {
 public:
  struct InfoType : AbstractData::InfoType {
    bool extendable;
    unsigned maxEnumValue;     // largest value of the root
    const char* const* names;  // "name" or "name=value", in declaration order
    unsigned numNames;
  };
  static AbstractData* create(const void* info);

  explicit ENUMERATED(const void* info) : AbstractData(info, EnumeratedKind), value(0) {}
  ENUMERATED(int v, const void* info) : AbstractData(info, EnumeratedKind), value(v) {}

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }
  int getValue() const { return value; }
  void setValue(int v) { value = v; }
  unsigned getMaximum() const { return info()->maxEnumValue; }
  bool extendable() const { return info()->extendable; }
  // Whole text of the first names entry that carries the value, or null.
  const char* getName() const;
  // Takes the value of the first entry whose whole text is `name`; without one the
  // value becomes maxEnumValue + 1 and the result is false.
  bool setFromName(const std::string& name);
  // Within the root (values up to maxEnumValue).
  bool isStrictlyValid() const { return static_cast<long long>(value) <= static_cast<long long>(getMaximum()); }

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) final;  // the kind names this entry
  bool do_accept(ConstVisitor& visitor) const final;

  int value;
};

}  // namespace ASN1
