// Small helpers shared by the ASN.1 runtime and message tests: coding through
// the coder entry, with octets as hex text ("C00105").
#pragma once

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/asn1.h"

inline std::string toHex(const std::vector<char>& bytes) {
  std::string hex;
  char digits[3];
  for (char b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(b));
    hex += digits;
  }
  return hex;
}

inline std::vector<char> fromHex(const std::string& hex) {
  std::vector<char> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Rule 2 (aligned PER) unless another is named.
inline bool encode(const ASN1::AbstractData& value, std::vector<char>& out, int rule = ASN1::CoderEnv::per_Aligned) {
  ASN1::CoderEnv env(rule);
  return ASN1::encode(value, &env, std::back_inserter(out));
}

// The encoding in hex, or "FAIL" when the value does not encode.
inline std::string encodeHex(const ASN1::AbstractData& value, int rule = ASN1::CoderEnv::per_Aligned) {
  std::vector<char> out;
  return encode(value, out, rule) ? toHex(out) : "FAIL";
}

inline bool decodeInto(const std::vector<char>& bytes, ASN1::AbstractData& value,
                       int rule = ASN1::CoderEnv::per_Aligned) {
  ASN1::CoderEnv env(rule);
  return ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, value, true);
}
inline bool decodeHex(const std::string& hex, ASN1::AbstractData& value, int rule = ASN1::CoderEnv::per_Aligned) {
  return decodeInto(fromHex(hex), value, rule);
}

// A default value of the same type, or of the type of a record.
inline ASN1::AbstractData* freshValue(const void* info) {
  return static_cast<const ASN1::AbstractData::InfoType*>(info)->create(info);
}
inline ASN1::AbstractData* freshValue(const ASN1::AbstractData& like) { return freshValue(like.infoPointer()); }
inline bool decodeAs(const void* info, const std::vector<char>& bytes, int rule = ASN1::CoderEnv::per_Aligned) {
  std::unique_ptr<ASN1::AbstractData> value(freshValue(info));
  return decodeInto(bytes, *value, rule);
}

inline ASN1::BIT_STRING* bits(std::vector<unsigned char> bytes, unsigned n) {
  auto* b = new ASN1::BIT_STRING;
  b->setData(bytes.data(), n);
  return b;
}
