#pragma once
// Fields of the board drivers' argument and event records. The board is
// big-endian: these types store their value in that order whatever the
// host, so a record built from them has the drivers' exact layout (no
// padding: every field has alignment 1).
#include <cstdint>
#include <type_traits>

namespace Hardware {

template <class T>
class BigEndian {
  static_assert(std::is_integral<T>::value, "integral fields only");

public:
  BigEndian() : bytes_{} {}
  BigEndian(T value) { *this = value; }
  BigEndian& operator=(T value) {
    using U = typename std::make_unsigned<T>::type;
    U v = static_cast<U>(value);
    for (int i = sizeof(T) - 1; i >= 0; --i) {
      bytes_[i] = static_cast<uint8_t>(v & 0xff);
      v = static_cast<U>(v >> 8);
    }
    return *this;
  }
  operator T() const {
    using U = typename std::make_unsigned<T>::type;
    U v = 0;
    for (unsigned i = 0; i < sizeof(T); ++i)
      v = static_cast<U>((v << 8) | bytes_[i]);
    return static_cast<T>(v);
  }

private:
  uint8_t bytes_[sizeof(T)];
};

using be_u16 = BigEndian<uint16_t>;
using be_i16 = BigEndian<int16_t>;
using be_u32 = BigEndian<uint32_t>;
using be_i32 = BigEndian<int32_t>;

static_assert(sizeof(be_u32) == 4 && alignof(be_u32) == 1, "board fields are packed");

}  // namespace Hardware
