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
  // Most messages fit the stack buffer; the octets reach `out` only on success.
  char octets[256];
  PEREncoder encoder(octets, sizeof octets);
  if (!value.accept(encoder)) return false;
  out.insert(out.end(), encoder.data(), encoder.data() + encoder.octetsWritten());
  return true;
}

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool noEnv) {
  if (encodingRule != per_Aligned || end < begin) return false;
  PERDecoder decoder(begin, end, noEnv ? nullptr : this);
  return value.accept(decoder);
}

}  // namespace ASN1
