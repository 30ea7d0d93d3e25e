#include "asn1/octet_strings.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

const BIT_STRING::InfoType BIT_STRING::theInfo = {{&BIT_STRING::create, 3}, Unconstrained, 0, 0xffffffffu};
const OCTET_STRING::InfoType OCTET_STRING::theInfo = {{&OCTET_STRING::create, 4}, Unconstrained, 0, 0xffffffffu};

AbstractData* BIT_STRING::create(const void* info) { return new BIT_STRING(info); }

void BIT_STRING::resize(unsigned bits) {
  bitData.resize((bits + 7u) / 8u, 0);
  totalBits = bits;
  if (bits % 8) bitData.back() &= static_cast<unsigned char>(0xff00u >> (bits % 8));
}

bool BIT_STRING::operator[](unsigned i) const {
  return i < totalBits && (bitData[i / 8] & (0x80u >> (i % 8)));
}

void BIT_STRING::set(unsigned i) {
  if (i < totalBits) bitData[i / 8] |= static_cast<unsigned char>(0x80u >> (i % 8));
}

void BIT_STRING::clear(unsigned i) {
  if (i < totalBits) bitData[i / 8] &= static_cast<unsigned char>(~(0x80u >> (i % 8)));
}

void BIT_STRING::setData(const unsigned char* bytes, unsigned bits) {
  bitData.assign(bytes, bytes + (bits + 7u) / 8u);
  totalBits = bits;
}

int BIT_STRING::do_compare(const AbstractData& other) const {
  const BIT_STRING& that = *boost::polymorphic_downcast<const BIT_STRING*>(&other);
  std::size_t n = std::min(bitData.size(), that.bitData.size());
  for (std::size_t i = 0; i < n; ++i) {
    int a = bitData[i], b = that.bitData[i], x = a ^ b;
    if (x) return (a & x) - (b & x);
  }
  return totalBits < that.totalBits ? -1 : (totalBits > that.totalBits ? 1 : 0);
}

AbstractData* BIT_STRING::do_clone() const { return new BIT_STRING(*this); }
bool BIT_STRING::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool BIT_STRING::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

AbstractData* OCTET_STRING::create(const void* info) { return new OCTET_STRING(info); }
int OCTET_STRING::do_compare(const AbstractData& other) const {
  const Octets& that = boost::polymorphic_downcast<const OCTET_STRING*>(&other)->octets;
  return lexicographic_compare_bytes(octets.data(), octets.data() + octets.size(), that.data(),
                                     that.data() + that.size());
}
AbstractData* OCTET_STRING::do_clone() const { return new OCTET_STRING(*this); }
bool OCTET_STRING::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool OCTET_STRING::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
