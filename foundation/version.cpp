#include "foundation/version.h"

#include "build_stamp.h"  // written at build time

Version::Version(Type type_, int number_, const char* extra_, const char* user_, const char* date_, const char* tag_,
                 const char* arch_)
    : type(type_), number(number_), extra(extra_), user(user_), date(date_), tag(tag_), arch(arch_) {
  update();
}

const Version Version::current(Version::snapshot, 0, "", NODAL_BUILD_USER, NODAL_BUILD_DATE, NODAL_BUILD_TAG, "ppc");

const char* Version::version_string(int type) {
  switch (type) {
  case snapshot: return "snapshot";
  case test: return "test";
  case release: return "release";
  case unit_test: return "unit-test";
  default: return "unknown";
  }
}

const char* Version::version_suffix(int type) {
  switch (type) {
  case snapshot: return "S";
  case test: return "T";
  case release: return "R";
  case unit_test: return "T";
  default: return "U";
  }
}

std::ostream& operator<<(std::ostream& out, Version::Type type) { return out << Version::version_string(type); }
