#pragma once
// The end of a failed device request's log line: ` errno="<system text>"`.
#include <cstring>
#include <ostream>

#include "foundation/ext.h"

namespace Hardware {

struct ErrnoSuffix {
  explicit ErrnoSuffix(int error) : err(error) {}
  int err;
};

inline std::ostream& operator<<(std::ostream& out, const ErrnoSuffix& e) {
  const char* text = std::strerror(e.err);
  return out << " errno=" << ext::quoted(text);
}

}  // namespace Hardware
