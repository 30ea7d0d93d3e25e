#pragma once
// The build's version record.
#include <ostream>

class Version {
public:
  enum Type { snapshot = 0, test = 1, release = 2, unit_test = 3 };

  Version(Type type, int number, const char* extra, const char* user, const char* date, const char* tag,
          const char* arch);

  void update() {}
  // Writes the build tag alone.
  void put(std::ostream& out) const { out << tag; }

  static const char* version_string(int type);
  static const char* version_suffix(int type);

  Type type;
  int number;
  const char* extra;
  const char* user;
  const char* date;
  const char* tag;
  const char* arch;

  static const Version current;
};

std::ostream& operator<<(std::ostream& out, Version::Type type);
inline std::ostream& operator<<(std::ostream& out, const Version& v) {
  v.put(out);
  return out;
}
