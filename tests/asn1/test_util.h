// Small helpers shared by the ASN.1 runtime tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "tests/asn1/test_types.h"

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

inline bool encode(const ASN1::AbstractData& value, std::vector<char>& out) {
  ASN1::CoderEnv env;
  return ASN1::encode(value, &env, std::back_inserter(out));
}

inline std::vector<char> encodeOrDie(const ASN1::AbstractData& value) {
  std::vector<char> out;
  EXPECT_TRUE(encode(value, out)) << value;
  return out;
}

inline std::string encodeHex(const ASN1::AbstractData& value) { return toHex(encodeOrDie(value)); }

inline bool decodeInto(const std::vector<char>& bytes, ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  return ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, value, true);
}

// A default value of the same type.
inline ASN1::AbstractData* freshValue(const ASN1::AbstractData& like) {
  return like.info()->create(like.infoPointer());
}

inline ASN1::BIT_STRING* bits(std::vector<unsigned char> bytes, unsigned n) {
  auto* b = new ASN1::BIT_STRING;
  b->setData(bytes.data(), n);
  return b;
}

inline std::vector<int> range(int first, int last) {
  std::vector<int> values;
  for (int v = first; v <= last; ++v) values.push_back(v);
  return values;
}

// Message seq 7, slot 33, command create trunk { trunk 1, timeslot 1 }.
inline void createTrunk(ASN1::SEQUENCE& message) {
  using namespace TestTypes;
  ASN1::CHOICE& cmd = messageCommand(message, 7, 33);
  ASN1::SEQUENCE& trunk = select<ASN1::SEQUENCE>(select<ASN1::CHOICE>(cmd, CommandCreate), 1);
  field<ASN1::INTEGER>(trunk, 0).setValue(1);
  field<ASN1::INTEGER>(trunk, 1).setValue(1);
}
