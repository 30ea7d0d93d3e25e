// OBJECT IDENTIFIER values: a sequence of unsigned 32-bit arcs.
#pragma once

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OBJECT_IDENTIFIER : public AbstractData {
 public:
  typedef AbstractData::InfoType InfoType;
  static const InfoType theInfo;
  static AbstractData* create(const void* info);

  explicit OBJECT_IDENTIFIER(const void* info = &theInfo) : AbstractData(info) {}
  OBJECT_IDENTIFIER(const std::vector<unsigned>& arcs, const void* info = &theInfo) : AbstractData(info), value(arcs) {}

  const std::vector<unsigned>& getValue() const { return value; }
  std::vector<unsigned>& getValue() { return value; }
  std::size_t levels() const { return value.size(); }
  unsigned operator[](std::size_t i) const { return value[i]; }

  // BER contents octets: the first two arcs joined as 40 * a0 + a1, base-128 arcs.
  void encodeCommon(std::vector<char>& bytes) const;
  // Rebuilds the arcs from n contents octets; false for malformed contents.
  bool decodeCommon(const char* bytes, std::size_t n);

 private:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

  std::vector<unsigned> value;
};

}  // namespace ASN1
