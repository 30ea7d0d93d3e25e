#pragma once
// Fields of the board drivers' argument and event records. The board is
// big-endian: these types store their value in that order whatever the
// host, so a record built from them has the drivers' exact layout (no
// padding: every field has alignment 1).
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Hardware {

template <class T>
class BigEndian {
  static_assert(std::is_integral<T>::value, "integral fields only");

public:
  BigEndian() : bytes_{} {}
  BigEndian(T value) { *this = value; }
  // The field is written and read whole, in one access: a driver that
  // reads the word right after it was written gets it straight from the
  // store (byte stores read back as one word would stall the reader).
  BigEndian& operator=(T value) {
    U v = big(static_cast<U>(value));
    std::memcpy(bytes_, &v, sizeof v);
    return *this;
  }
  operator T() const {
    U v;
    std::memcpy(&v, bytes_, sizeof v);
    return static_cast<T>(big(v));
  }

private:
  using U = typename std::make_unsigned<T>::type;

  // Host order to the board's and back (the same swap both ways).
  static U big(U v) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if constexpr (sizeof(U) == 2)
      return __builtin_bswap16(v);
    else if constexpr (sizeof(U) == 4)
      return __builtin_bswap32(v);
    else if constexpr (sizeof(U) == 8)
      return __builtin_bswap64(v);
#endif
    return v;
  }

  uint8_t bytes_[sizeof(T)];
};

using be_u16 = BigEndian<uint16_t>;
using be_i16 = BigEndian<int16_t>;
using be_u32 = BigEndian<uint32_t>;
using be_i32 = BigEndian<int32_t>;

static_assert(sizeof(be_u32) == 4 && alignof(be_u32) == 1, "board fields are packed");

}  // namespace Hardware
