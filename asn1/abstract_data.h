// Base of every ASN.1 value: a pointer to the constant info record that gives the
// value its type, and the virtual compare, clone and visitor entries.
#pragma once

#include <ios>
#include <iosfwd>
#include <string>

#include "asn1/allocator.h"
#include "asn1/types.h"

namespace ASN1 {

class AbstractData : public detail::Allocator<AbstractData> {
 public:
  // Head of every info record.
  struct InfoType {
    CreateFun create;
    unsigned tag;  // (class << 16) | number
  };
  // The visitor entry (do_visit overload) that the value's class takes, so that
  // a coder may reach the common kinds without the two virtual calls of accept();
  // OtherKind for the rest. The classes of a kind mark their do_accept final,
  // except INTEGER, whose subclass with named numbers is of OtherKind.
  enum Kind : unsigned char { OtherKind, NullKind, BooleanKind, IntegerKind, EnumeratedKind, ChoiceKind, SequenceKind };

  virtual ~AbstractData() {}

  const InfoType* info() const { return static_cast<const InfoType*>(info_); }
  const void* infoPointer() const { return info_; }
  Kind kind() const { return kind_; }

  // Negative, 0 or positive; values of different types order by record address.
  int compare(const AbstractData& other) const;
  AbstractData* clone() const { return do_clone(); }
  bool accept(Visitor& visitor) { return do_accept(visitor); }
  bool accept(ConstVisitor& visitor) const { return do_accept(visitor); }

  // Value-notation output (printer.cpp).
  std::ios_base::iostate print_on(std::ostream& stream) const;
  std::string asValueNotation() const;
  // Value-notation input (parser.cpp): true, or goodbit, when the text reads.
  bool setFromValueNotation(const std::string& text);
  std::ios_base::iostate get_from(std::istream& stream);

  // Constraint checks (validity.cpp). Valid admits what an extensible type may
  // carry beyond its root; strictly valid only what the root allows.
  bool isValid() const;
  bool isStrictlyValid() const;

  bool operator==(const AbstractData& other) const { return compare(other) == 0; }
  bool operator!=(const AbstractData& other) const { return compare(other) != 0; }
  bool operator<(const AbstractData& other) const { return compare(other) < 0; }
  bool operator>(const AbstractData& other) const { return compare(other) > 0; }
  bool operator<=(const AbstractData& other) const { return compare(other) <= 0; }
  bool operator>=(const AbstractData& other) const { return compare(other) >= 0; }

 protected:
  explicit AbstractData(const void* info, Kind kind = OtherKind) : info_(info), kind_(kind) {}
  AbstractData(const AbstractData& other) = default;
  // Assignment copies contents only: the record is fixed at construction.
  AbstractData& operator=(const AbstractData&) { return *this; }

 private:
  virtual int do_compare(const AbstractData& other) const = 0;
  virtual AbstractData* do_clone() const = 0;
  virtual bool do_accept(Visitor& visitor) = 0;
  virtual bool do_accept(ConstVisitor& visitor) const = 0;

  const void* info_;
  Kind kind_;
};

// A value whose record carries a constraint: on the value for INTEGER, on the size
// for strings, BIT STRING, OCTET STRING and SEQUENCE OF.
class ConstrainedObject : public AbstractData {
 public:
  struct InfoType : AbstractData::InfoType {
    ConstraintType type;
    int lowerLimit;       // signed for INTEGER, unsigned for sizes
    unsigned upperLimit;  // 0xffffffff: no upper bound
  };

  const InfoType* info() const { return static_cast<const InfoType*>(infoPointer()); }
  ConstraintType constraintType() const { return info()->type; }
  int getLowerLimit() const { return info()->lowerLimit; }
  unsigned getUpperLimit() const { return info()->upperLimit; }

 protected:
  explicit ConstrainedObject(const void* info, Kind kind = OtherKind) : AbstractData(info, kind) {}
};

}  // namespace ASN1
