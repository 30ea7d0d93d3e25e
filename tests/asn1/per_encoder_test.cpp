// Aligned PER encoder: hand-computed vectors for the rules no independent codec
// shares, and every way an encoding fails.
#include <gtest/gtest.h>

#include <memory>

#include "asn1/per_encoder.h"
#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;

namespace {

template <class F>
std::string written(F write) {
  std::vector<char> out;
  ASN1::PEREncoder encoder(out);
  write(encoder);
  return toHex(out);
}

const ASN1::INTEGER::InfoType LowerBoundOnly = {{&ASN1::INTEGER::create, 2}, ASN1::PartiallyConstrained, 10,
                                                0xffffffffu};
const ASN1::OCTET_STRING::InfoType SmallOctets = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 7};

}  // namespace

TEST(PerEncoder, PrimitiveWriters) {
  for (auto small : {std::make_pair(63u, "7E"), std::make_pair(64u, "800140"), std::make_pair(300u, "8002012C")})
    EXPECT_EQ(written([&](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(small.first); }), small.second);
  EXPECT_EQ(written([](ASN1::PEREncoder& e) { EXPECT_TRUE(e.encodeLength(16383, 0, 0xffffffffu)); }), "BFFF");
  EXPECT_EQ(written([](ASN1::PEREncoder& e) { EXPECT_FALSE(e.encodeLength(16384, 0, 0x7fffffffu)); }), "");
  EXPECT_EQ(written([](ASN1::PEREncoder& e) { EXPECT_FALSE(e.encodeLength(3, 4, 9)); }), "");
  EXPECT_EQ(written([](ASN1::PEREncoder& e) {
              e.encodeSingleBit(true);
              EXPECT_FALSE(e.encodeUnsigned(8, 0, 7));
              EXPECT_TRUE(e.encodeUnsigned(static_cast<unsigned>(-3), -5, 5));  // offset 2 in 4 bits
              e.encodeBlock("", 0);  // no alignment for nothing
              e.encodeSingleBit(true);
            }),
            "94");
  EXPECT_EQ(written([](ASN1::PEREncoder& e) {
              const unsigned char map[] = {0xff, 0xa0};
              e.encodeSingleBit(false);
              e.encodeBitMap(map, 11);
              e.encodeByte(0x55);
            }),
            "7FD055");
}

TEST(PerEncoder, RulesThatDepartFromX691) {
  // An extension value of an ENUMERATED: small number value + 1, then value in 0..value.
  EXPECT_EQ(encodeHex(ASN1::ENUMERATED(5, &ColorExt)), "86A0");
  // A lower bound alone is ignored: two's complement as if unconstrained.
  EXPECT_EQ(encodeHex(ASN1::INTEGER(12, &LowerBoundOnly)), "010C");
  // One or two octets follow a constrained length without alignment.
  EXPECT_EQ(encodeHex(ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{1, 2}, &SmallOctets)), "402040");
  // A short constrained string: each character in 8 bits, not aligned.
  EXPECT_EQ(encodeHex(ASN1::IA5String("ab", &PairText)), "985880");
  // A value that writes no bits gives no octets.
  EXPECT_EQ(encodeHex(ASN1::Null()), "");
  // Enumerations with explicit values carry the value itself.
  EXPECT_EQ(encodeHex(ASN1::ENUMERATED(8, &Gapped)), "80");
  // An open type: the value's encoding, or one zero octet for nothing; undecoded octets travel on.
  EXPECT_EQ(encodeHex(ASN1::OpenData(new ASN1::INTEGER(300, &ASN1::INTEGER::theInfo))), "0302012C");
  EXPECT_EQ(encodeHex(ASN1::OpenData(new ASN1::Null)), "0100");
  ASN1::OpenData raw;
  raw.set_buf(std::vector<char>{7, 8});
  EXPECT_EQ(encodeHex(raw), "020708");
  EXPECT_EQ(encodeHex(ASN1::GeneralizedTime("20240102030405.25Z")), "13"
                                                                         "32303234303130323033303430352E3235305A");
  EXPECT_EQ(encodeHex(ASN1::IA5String("\xe9")), "01E9");  // octet form, no alphabet check
}

TEST(PerEncoder, FailuresLeaveTheOutputUntouched) {
  const std::vector<char> before = {1, 2};
  auto fails = [&](const ASN1::AbstractData& value) {
    std::vector<char> out = before;
    EXPECT_FALSE(encode(value, out)) << value;
    EXPECT_EQ(out, before);
  };

  // Fails half way, after the name went into the scratch buffer.
  ASN1::SEQUENCE entry(&Entry);
  fillEntry(entry, 1);
  field<ASN1::ENUMERATED>(entry, 1).setValue(3);
  fails(entry);

  fails(ASN1::INTEGER(8, &IntRange7::theInfo));
  fails(ASN1::ENUMERATED(-1, &Color));
  fails(ASN1::NumericString("12a"));
  fails(ASN1::IA5String(std::string(16384, 'x')));
  fails(ASN1::OCTET_STRING(16384, 'x'));
  fails(ASN1::IA5String("", &ShortText));
  fails(ASN1::BMPString(std::wstring(1, wchar_t(0x10000))));
  fails(ASN1::OBJECT_IDENTIFIER(std::vector<unsigned>(60, 0xffffffffu)));

  fails(ASN1::CHOICE(&ChoiceExt));  // no selection
  // A selection without its object, in the root and among the extensions; one beyond the alternatives.
  for (int id : {1, 3}) {
    ASN1::CHOICE noObject(&ChoiceExt);
    noObject.setSelection(id, nullptr);
    fails(noObject);
  }
  ASN1::CHOICE beyondRoot(&Pdu);
  beyondRoot.setSelection(3, new ASN1::Null);
  fails(beyondRoot);

  // Extension bits that no field object stands behind.
  ASN1::SEQUENCE unknownBit(&Ext), knownBitNoField(&Ext);
  unknownBit.includeOptionalField(9);
  fails(unknownBit);
  knownBitNoField.includeOptionalField(2, 99);
  fails(knownBitNoField);
  ASN1::SEQUENCE noMarker(&Message);
  select<ASN1::Null>(field<ASN1::CHOICE>(noMarker, MessagePdu), PduSignal);
  noMarker.includeOptionalField(5);
  fails(noMarker);

  std::vector<char> out = before;
  ASN1::CoderEnv other(3);
  EXPECT_FALSE(ASN1::encode(ASN1::Null(), &other, std::back_inserter(out)));
  EXPECT_FALSE(ASN1::encode(ASN1::Null(), static_cast<ASN1::CoderEnv*>(nullptr), std::back_inserter(out)));
  EXPECT_EQ(out, before);
  ASN1::CoderEnv per;
  EXPECT_TRUE(ASN1::encode(ASN1::Null(), &per, std::back_inserter(out)));
  EXPECT_EQ(out, before);
}

TEST(PerEncoder, ExtensionAdditionsOfAChoiceTravelAsOpenTypes) {
  ASN1::CHOICE text(&ChoiceExt);
  select<ASN1::AbstractString>(text, 1) = std::string(200, 'z');
  EXPECT_EQ(encodeHex(text).substr(0, 8), "4080C87A");  // index 1 then the aligned length 200

  // An open type longer than 127 octets takes a two-octet length; this one also
  // outgrows the encoder's first buffer.
  ASN1::OpenData open(new ASN1::IA5String(std::string(300, 'q')));
  std::string hex = encodeHex(open);
  EXPECT_EQ(hex.size(), 2u * 304);
  EXPECT_EQ(hex.substr(0, 10), "812E812C71");
  EXPECT_EQ(hex.substr(hex.size() - 4), "7171");
  std::vector<char> out{'\x55'};
  ASN1::PEREncoder appending(out);
  ASSERT_TRUE(open.accept(appending));
  EXPECT_EQ(toHex(out), "55" + hex);
}
