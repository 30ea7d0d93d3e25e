// BIT STRING and OCTET STRING values.
#pragma once

#include <string>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class BIT_STRING : public ConstrainedObject {
 public:
  typedef ConstrainedObject::InfoType InfoType;
  static const InfoType theInfo;  // unconstrained
  static AbstractData* create(const void* info);

  explicit BIT_STRING(const void* info = &theInfo) : ConstrainedObject(info), totalBits(0) {}

  unsigned size() const { return totalBits; }
  // Grows with zero bits or drops bits from the end.
  void resize(unsigned bits);
  bool operator[](unsigned i) const;
  void set(unsigned i);
  void clear(unsigned i);
  // Most significant bit first, (size()+7)/8 octets.
  const std::vector<unsigned char>& getData() const { return bitData; }
  void setData(const unsigned char* bytes, unsigned bits);

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  unsigned totalBits;
  std::vector<unsigned char> bitData;
};

class OCTET_STRING : public ConstrainedObject {
 public:
  typedef ConstrainedObject::InfoType InfoType;
  typedef std::vector<char> Octets;
  typedef Octets::iterator iterator;
  typedef Octets::const_iterator const_iterator;
  static const InfoType theInfo;  // unconstrained
  static AbstractData* create(const void* info);

  explicit OCTET_STRING(const void* info = &theInfo) : ConstrainedObject(info) {}
  OCTET_STRING(std::size_t count, char fill, const void* info = &theInfo) : ConstrainedObject(info), octets(count, fill) {}
  OCTET_STRING(const Octets& v, const void* info = &theInfo) : ConstrainedObject(info), octets(v) {}

  OCTET_STRING& operator=(const Octets& v) {
    octets = v;
    return *this;
  }
  const Octets& getValue() const { return octets; }
  Octets& getValue() { return octets; }
  operator Octets() const { return octets; }
  operator std::string() const { return std::string(octets.begin(), octets.end()); }

  std::size_t size() const { return octets.size(); }
  bool empty() const { return octets.empty(); }
  void resize(std::size_t n) { octets.resize(n); }
  char& operator[](std::size_t i) { return octets[i]; }
  char operator[](std::size_t i) const { return octets[i]; }
  iterator begin() { return octets.begin(); }
  iterator end() { return octets.end(); }
  const_iterator begin() const { return octets.begin(); }
  const_iterator end() const { return octets.end(); }
  const char* data() const { return octets.data(); }

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  Octets octets;
};

}  // namespace ASN1
