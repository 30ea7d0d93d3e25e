#include "asn1/coder_env.h"

#include <sstream>

#include "asn1/ber_decoder.h"
#include "asn1/ber_encoder.h"
#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"

namespace ASN1 {

Module* CoderEnv::find(const char* name) const {
  ModuleMap::const_iterator found = modules.find(name);
  return found == modules.end() ? nullptr : found->second;
}

bool CoderEnv::encodeBER(const AbstractData& value, std::vector<char>& out) {
  std::vector<char> scratch;
  BEREncoder encoder(scratch);
  if (!value.accept(encoder)) return false;
  out.insert(out.end(), scratch.begin(), scratch.end());
  return true;
}

bool CoderEnv::encodeAVN(const AbstractData& value, std::vector<char>& out) {
  std::ostringstream text;
  if (value.print_on(text) != std::ios_base::goodbit) return false;
  const std::string written = text.str();
  out.insert(out.end(), written.begin(), written.end());
  return true;
}

bool CoderEnv::encode(const AbstractData& value, std::vector<char>& out) {
  if (encodingRule != per_Aligned) return encodeOther(value, out);
  // Most messages fit the stack buffer; the octets reach `out` only on success.
  char octets[256];
  PEREncoder encoder(octets, sizeof octets);
  if (!encoder.encode(value)) return false;
  out.insert(out.end(), encoder.data(), encoder.data() + encoder.octetsWritten());
  return true;
}

bool CoderEnv::encodeOther(const AbstractData& value, std::vector<char>& out) {
  if (encodingRule == ber) return encodeBER(value, out);
  if (encodingRule == avn) return encodeAVN(value, out);
  return false;
}

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool noEnv) {
  if (end < begin) return false;
  if (encodingRule != per_Aligned) return decodeOther(begin, end, value, noEnv);
  PERDecoder decoder(begin, end, noEnv ? nullptr : this);
  return decoder.decode(value);
}

bool CoderEnv::decodeOther(const char* begin, const char* end, AbstractData& value, bool noEnv) {
  if (encodingRule == ber) {
    BERDecoder decoder(begin, end, noEnv ? nullptr : this);
    return value.accept(decoder);
  }
  if (encodingRule == avn) return value.setFromValueNotation(std::string(begin, end));
  return false;
}

}  // namespace ASN1
