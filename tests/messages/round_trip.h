// A link value comes back equal from its value notation and from BER.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/asn1/test_util.h"

namespace MessagesTest {

inline void expectRoundTrips(const ASN1::AbstractData& value) {
  std::unique_ptr<ASN1::AbstractData> parsed(freshValue(value));
  EXPECT_TRUE(parsed->setFromValueNotation(value.asValueNotation()) && *parsed == value) << value;
  std::vector<char> ber;
  ASSERT_TRUE(encode(value, ber, ASN1::CoderEnv::ber)) << value;
  std::unique_ptr<ASN1::AbstractData> decoded(freshValue(value));
  EXPECT_TRUE(decodeInto(ber, *decoded, ASN1::CoderEnv::ber) && *decoded == value) << toHex(ber) << "\n" << value;
}

}  // namespace MessagesTest
