#include "asn1/object_identifier.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

const OBJECT_IDENTIFIER::InfoType OBJECT_IDENTIFIER::theInfo = {&OBJECT_IDENTIFIER::create, 6};

AbstractData* OBJECT_IDENTIFIER::create(const void* info) { return new OBJECT_IDENTIFIER(info); }

namespace {
void appendBase128(std::vector<char>& bytes, unsigned long long arc) {
  char groups[10];
  int n = 0;
  do {
    groups[n++] = static_cast<char>(arc & 0x7f);
    arc >>= 7;
  } while (arc);
  while (n > 1) bytes.push_back(static_cast<char>(groups[--n] | 0x80));
  bytes.push_back(groups[0]);
}
}  // namespace

void OBJECT_IDENTIFIER::encodeCommon(std::vector<char>& bytes) const {
  if (value.empty()) return;
  unsigned long long first = 40ull * value[0] + (value.size() > 1 ? value[1] : 0);
  appendBase128(bytes, first);
  for (std::size_t i = 2; i < value.size(); ++i) appendBase128(bytes, value[i]);
}

bool OBJECT_IDENTIFIER::decodeCommon(const char* bytes, std::size_t n) {
  value.clear();
  if (n == 0) return true;
  if (bytes[n - 1] & 0x80) return false;
  unsigned long long sub = 0;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char octet = static_cast<unsigned char>(bytes[i]);
    sub = (sub << 7) | (octet & 0x7f);
    if (sub > 0xffffffffull + 80) return false;  // no arc fits
    if (octet & 0x80) continue;
    if (value.empty()) {
      unsigned a0 = sub < 40 ? 0 : (sub < 80 ? 1 : 2);
      if (sub - 40ull * a0 > 0xffffffffull) return false;
      value.push_back(a0);
      value.push_back(static_cast<unsigned>(sub - 40ull * a0));
    } else {
      if (sub > 0xffffffffull) return false;
      value.push_back(static_cast<unsigned>(sub));
    }
    sub = 0;
  }
  return true;
}

int OBJECT_IDENTIFIER::do_compare(const AbstractData& other) const {
  const std::vector<unsigned>& that = boost::polymorphic_downcast<const OBJECT_IDENTIFIER*>(&other)->value;
  std::size_t n = std::min(value.size(), that.size());
  for (std::size_t i = 0; i < n; ++i)
    if (value[i] != that[i]) return value[i] < that[i] ? -1 : 1;
  return value.size() < that.size() ? -1 : (value.size() > that.size() ? 1 : 0);
}

AbstractData* OBJECT_IDENTIFIER::do_clone() const { return new OBJECT_IDENTIFIER(*this); }
bool OBJECT_IDENTIFIER::do_accept(Visitor& visitor) { return visitor.do_visit(*this); }
bool OBJECT_IDENTIFIER::do_accept(ConstVisitor& visitor) const { return visitor.do_visit(*this); }

}  // namespace ASN1
