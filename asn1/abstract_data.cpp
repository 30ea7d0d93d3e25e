#include "asn1/abstract_data.h"

#include <functional>

namespace ASN1 {

unsigned MaximumArraySize = 128;
unsigned MaximumStringSize = 16384;

int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2, const char* last2) {
  for (; first1 != last1 && first2 != last2; ++first1, ++first2) {
    int a = static_cast<unsigned char>(*first1), b = static_cast<unsigned char>(*first2);
    if (a != b) return a - b;
  }
  if (first1 != last1) return 1;
  if (first2 != last2) return -1;
  return 0;
}

int AbstractData::compare(const AbstractData& other) const {
  // A value's compare assumes an argument of its own type.
  if (info_ != other.info_) return std::less<const void*>()(info_, other.info_) ? -1 : 1;
  return do_compare(other);
}

}  // namespace ASN1
