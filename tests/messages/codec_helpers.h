// Aligned PER encode and decode as the links do them, with octets as hex text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "asn1/coder_env.h"

namespace MessagesTest {

// "C0 01 07" for the octets C0 01 07; "FAIL" when the value does not encode.
inline std::string encodeHex(const ASN1::AbstractData& value) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> out;
  if (!ASN1::encode(value, &env, std::back_inserter(out))) return "FAIL";
  std::string text;
  char buf[4];
  for (char c : out) {
    std::snprintf(buf, sizeof buf, text.empty() ? "%02X" : " %02X", static_cast<unsigned char>(c));
    text += buf;
  }
  return text;
}

// Decodes hex text ("C0 01 07") into a freshly constructed value.
inline bool decodeHex(const std::string& hex, ASN1::AbstractData& value) {
  std::vector<char> octets;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
    octets.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  return ASN1::decode(octets.data(), octets.data() + octets.size(), &env, value, true);
}

}  // namespace MessagesTest
