#include "asn1/coder_env.h"

#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"

namespace ASN1 {

Module* CoderEnv::find(const char* name) const {
  ModuleMap::const_iterator found = modules.find(name);
  return found == modules.end() ? nullptr : found->second;
}

bool CoderEnv::encode(const AbstractData& value, std::vector<char>& out) {
  if (encodingRule != per_Aligned) return false;
  std::size_t before = out.size();
  PEREncoder encoder(out);
  if (value.accept(encoder)) return true;
  out.resize(before);
  return false;
}

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool noEnv) {
  if (encodingRule != per_Aligned || end < begin) return false;
  PERDecoder decoder(begin, end, noEnv ? nullptr : this);
  return value.accept(decoder);
}

}  // namespace ASN1
