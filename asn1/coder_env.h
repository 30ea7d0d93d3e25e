// The one entry from values to bytes and back: a coder environment names the
// encoding rule, encode() and decode() run the matching visitor.
#pragma once

#include <algorithm>
#include <cstring>
#include <iterator>
#include <loki/AssocVector.h>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class CoderEnv {
 public:
  enum EncodingRule { avn = 0, ber = 1, per_Aligned = 2 };

  // Orders module names by their characters.
  struct StringListeralCmp {
    typedef const char* first_argument_type;
    typedef const char* second_argument_type;
    typedef bool result_type;
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
  };
  typedef Loki::AssocVector<const char*, Module*, StringListeralCmp> ModuleMap;

  explicit CoderEnv(int rule = per_Aligned) : encodingRule(rule) {}

  int get_encodingRule() const { return encodingRule; }
  void set_encodingRule(int rule) { encodingRule = rule; }

  // Registry for open-type lookup; the name must outlive the environment.
  void insert(const char* name, Module* module) { modules[name] = module; }
  Module* find(const char* name) const;

  // Appends the encoding to `out`, or leaves it untouched and returns false.
  bool encode(const AbstractData& value, std::vector<char>& out);
  bool encodeBER(const AbstractData& value, std::vector<char>& out);
  bool encodeAVN(const AbstractData& value, std::vector<char>& out);
  // Fills a freshly constructed `value`; trailing octets are ignored. With `noEnv`
  // the decoder works without this environment.
  bool decode(const char* begin, const char* end, AbstractData& value, bool noEnv);

 private:
  // The rules other than aligned PER.
  bool encodeOther(const AbstractData& value, std::vector<char>& out);
  bool decodeOther(const char* begin, const char* end, AbstractData& value, bool noEnv);

  int encodingRule;
  ModuleMap modules;
};

namespace detail {
// The vector behind a back-inserter: the standard names its pointer `container`.
struct BackInserterAccess : std::back_insert_iterator<std::vector<char>> {
  static std::vector<char>& of(const std::back_insert_iterator<std::vector<char>>& it) {
    return *(it.*&BackInserterAccess::container);
  }
};
}  // namespace detail

// Writes the encoding to `out` only when the whole value encodes.
template <class OutputIterator>
bool encode(const AbstractData& value, CoderEnv* env, OutputIterator out) {
  std::vector<char> scratch;
  if (!env || !env->encode(value, scratch)) return false;
  std::copy(scratch.begin(), scratch.end(), out);
  return true;
}

// Appending to a byte vector needs no scratch: a failed encoding is cut off again.
inline bool encode(const AbstractData& value, CoderEnv* env, std::back_insert_iterator<std::vector<char>> out) {
  return env && env->encode(value, detail::BackInserterAccess::of(out));
}

inline bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value, bool noEnv) {
  return env && env->decode(begin, end, value, noEnv);
}

}  // namespace ASN1
