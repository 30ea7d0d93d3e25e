// BER codec: golden encodings beyond the independent vectors (high tag numbers,
// open types, long lengths), what the decoder tolerates, and hostile input it
// must refuse. Sweeps of truncated and random input are in vectors_test.
#include <gtest/gtest.h>

#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;
using ASN1::AbstractData;

namespace {

const int Ber = ASN1::CoderEnv::ber;

// CHOICE { small [31] INTEGER, large [200] BOOLEAN }, tags in a table.
Rec const HighInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo};
const unsigned HighTags[] = {0x80001f, 0x8000c8};
const char* const HighNames[] = {"small", "large"};
const ASN1::CHOICE::InfoType High = {{&ASN1::CHOICE::create, 0}, false, HighInfos, 2, 2, HighTags, HighNames};

// SEQUENCE { open <INTEGER>, raw <open type> OPTIONAL }
const ASN1::TypeConstrainedOpenData::InfoType OpenInt = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                         &ASN1::INTEGER::theInfo};
const ASN1::TypeConstrainedOpenData::InfoType OpenNothing = {{&ASN1::TypeConstrainedOpenData::create, 0}, nullptr};
Rec const OpensInfos[] = {&OpenInt, &ASN1::OpenData::theInfo};
const int OpensIds[] = {-1, 0};
const char* const OpensNames[] = {"open", "raw"};
const ASN1::SEQUENCE::InfoType Opens = {
    {&ASN1::SEQUENCE::create, 16}, false, OpensInfos, OpensIds, 2, 0, 1, nullptr, nullptr, OpensNames};

Builder trunk(int t, int slot) {
  return made<ASN1::SEQUENCE>(Trunk, [=](ASN1::SEQUENCE& s) {
    field<ASN1::INTEGER>(s, 0).setValue(t);
    field<ASN1::INTEGER>(s, 1).setValue(slot);
  });
}

const ASN1::SEQUENCE_OF_Base::InfoType Trunks = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &Trunk};
const ASN1::SEQUENCE_OF_Base::InfoType RootChoices = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &ChoiceExtRootOnly};

std::string repeat(const std::string& hex, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += hex;
  return out;
}

}  // namespace

TEST(Ber, GoldenEncodingsReadBack) {
  struct Case {
    Builder value;
    std::string hex;
  };
  const Case cases[] = {
      {[] { return new ASN1::BOOLEAN(true); }, "0101FF"},
      {[] { return new ASN1::INTEGER(128, &ASN1::INTEGER::theInfo); }, "02020080"},
      {[] { return new ASN1::INTEGER(-129, &ASN1::INTEGER::theInfo); }, "0202FF7F"},
      {[] { return new ASN1::INTEGER(0, &ASN1::INTEGER::theInfo); }, "020100"},
      {[] { return new ASN1::ENUMERATED(-1, &Gapped); }, "0A01FF"},  // read back signed
      {[] { return bits({0xab, 0xcd}, 16); }, "030300ABCD"},
      {[] { return bits({0x80, 0x40}, 10); }, "0303068040"},
      {[] { return bits({}, 0); }, "030100"},
      {trunk(5, 1), "3006800105810101"},
      {[] { return new ASN1::OCTET_STRING(200, 'A'); }, "0481C8" + repeat("41", 200)},
      {[] { return new ASN1::OCTET_STRING(256, 'A'); }, "04820100" + repeat("41", 256)},
      // The explicit tags around the CHOICEs are constructed whatever their alternative.
      {made<ASN1::SEQUENCE>(Message,
                            [](ASN1::SEQUENCE& m) {
                              optional<ASN1::INTEGER>(m, MessageSeq).setValue(7);
                              optional<ASN1::INTEGER>(m, MessageSlot).setValue(5);
                              ASN1::CHOICE& pdu = field<ASN1::CHOICE>(m, MessagePdu);
                              select<ASN1::ENUMERATED>(select<ASN1::CHOICE>(pdu, PduResponse), 1).setValue(4);
                            }),
       "300D800107810105A205A103810104"},
      {made<ASN1::CHOICE>(High, [](ASN1::CHOICE& c) { select<ASN1::INTEGER>(c, 0).setValue(5); }), "9F1F0105"},
      {made<ASN1::CHOICE>(High, [](ASN1::CHOICE& c) { select<ASN1::BOOLEAN>(c, 1).setValue(true); }), "9F814801FF"},
      {made<ASN1::SEQUENCE>(Opens,
                            [](ASN1::SEQUENCE& s) {
                              static_cast<ASN1::INTEGER*>(field<ASN1::OpenData>(s, 0).get_data())->setValue(5);
                              optional<ASN1::OpenData>(s, 0).set_buf(std::vector<char>{5, 0});
                            }),
       "3009A003020105A1020500"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<AbstractData> value(c.value());
    EXPECT_EQ(encodeHex(*value, Ber), c.hex);
    std::unique_ptr<AbstractData> decoded(freshValue(*value));
    ASSERT_TRUE(decodeHex(c.hex, *decoded, Ber)) << c.hex;
    EXPECT_EQ(decoded->compare(*value), 0) << c.hex << "\n" << *decoded;
  }

  // The raw open type keeps the octets; with a value to read them into, they decode.
  ASN1::OpenData raw(new ASN1::BOOLEAN);
  raw.set_buf(std::vector<char>{1, 1, char(0xff)});
  ASN1::BERDecoder none(nullptr, nullptr);
  ASSERT_TRUE(none.do_revisit(raw));
  EXPECT_TRUE(static_cast<ASN1::BOOLEAN*>(raw.get_data())->getValue());
}

// The independent decoder of the vectors reads some of these otherwise; each
// such case says how, and why this decoder keeps its own reading.
TEST(Ber, DecoderToleratesAndRefuses) {
  struct Case {
    std::string hex;
    Builder expected;  // null: refused
    const void* info;
    const char* independent;  // where it reads otherwise: its reading, then why this one stands
  };
  const Case cases[] = {
      {"0481050102030405", [] { return new ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{1, 2, 3, 4, 5}); },
       &ASN1::OCTET_STRING::theInfo, nullptr},
      {"0580", [] { return new ASN1::Null; }, &ASN1::Null::theInfo,
       "refused: the indefinite form is read as length 0 where no contents can follow"},
      {"050100", [] { return new ASN1::Null; }, &ASN1::Null::theInfo, "refused: a NULL skips its contents"},
      {"3003810102", trunk(0, 2), &Trunk, "refused: a mandatory field not there keeps its default"},
      {"3009800101810102820100", trunk(1, 2), &Trunk,
       "refused: fields a SEQUENCE does not know are skipped, extensible or not"},
      {"0102FF00", [] { return new ASN1::BOOLEAN(false); }, &ASN1::BOOLEAN::theInfo,
       "refused: the last contents octet decides"},
      {"02050080000000", [] { return new IntRangeMax(0x80000000u); }, &IntRangeMax::theInfo, nullptr},
      {"0201FF", [] { return new IntRangeMax(4294967295u); }, &IntRangeMax::theInfo,
       "-1, out of range: a range from 0 holds unsigned numbers, and FF is how they were written"},
      {"0A01FF", [] { return new ASN1::ENUMERATED(-1, &Color); }, &Color,
       "refused: values are checked by the validity checks, not by the decoders"},
      {"30800201010000", nullptr, &Ints::theInfo, "{1}: the indefinite form of a constructed value is not read"},
      {"02050100000001", nullptr, &ASN1::INTEGER::theInfo, "4294967297: a number wider than 32 bits is refused"},
      {"020500FFFFFFFF", nullptr, &ASN1::INTEGER::theInfo, nullptr},  // 2^32 - 1: too wide for a signed value
      {"048500000000010000", nullptr, &ASN1::OCTET_STRING::theInfo,
       "00: a length in more than four octets is refused"},
      {"1F8480800001", nullptr, &ASN1::INTEGER::theInfo, nullptr},     // tag number above 0xFFFF
      {"1F9080808080020105", nullptr, &ASN1::INTEGER::theInfo, nullptr},  // the same, 2 once cut to 32 bits
      {"0484FFFFFFFF00", nullptr, &ASN1::OCTET_STRING::theInfo, nullptr},  // length beyond the input
      {"04030102", nullptr, &ASN1::OCTET_STRING::theInfo, nullptr},
      {"03020800", nullptr, &ASN1::BIT_STRING::theInfo, "empty: eight unused bits are refused"},
      {"030107", nullptr, &ASN1::BIT_STRING::theInfo, nullptr},
      {"0100", nullptr, &ASN1::BOOLEAN::theInfo, nullptr},
      {"0200", nullptr, &ASN1::INTEGER::theInfo, "0: an INTEGER without contents octets is refused"},
      {"1E03004100", nullptr, &ASN1::BMPString::theInfo, nullptr},  // odd length
      {"24030401AA", nullptr, &ASN1::OCTET_STRING::theInfo,
       "AA: strings are read in the primitive form only, the one the encoder writes"},
      {"0101FF", nullptr, &ASN1::INTEGER::theInfo, nullptr},               // another type's tag
      {"300380050102030405", nullptr, &Trunk, nullptr},                 // a field longer than its SEQUENCE
      {"3007A205A104810104", nullptr, &Message, nullptr},               // an alternative longer than its explicit tag
      {"810105", nullptr, &Single, nullptr},                            // no such alternative, not extendable
      {"020105", nullptr, &OpenNothing, nullptr},                       // an open type with nothing to decode into
  };
  for (const Case& c : cases) {
    std::unique_ptr<AbstractData> value(freshValue(c.info));
    bool ok = decodeHex(c.hex, *value, Ber);
    ASSERT_EQ(ok, c.expected != nullptr) << c.hex << " " << (c.independent ? c.independent : "");
    if (ok) {
      EXPECT_EQ(value->compare(*std::unique_ptr<AbstractData>(c.expected())), 0) << c.hex << "\n" << *value;
    }
  }

  // An extendable CHOICE keeps an alternative it does not know as unknown.
  ASN1::CHOICE choice(&ChoiceExtRootOnly);
  ASSERT_TRUE(decodeHex("8201FF", choice, Ber));
  EXPECT_EQ(choice.currentSelection(), ASN1::CHOICE::UNKNOWN_SELECTION);
  EXPECT_EQ(choice.getSelection(), nullptr);
}

TEST(Ber, FailedEncodingLeavesTheOutputAlone) {
  std::vector<char> out{'x'};
  ASN1::SEQUENCE unselected(&Message);
  EXPECT_FALSE(encode(unselected, out, Ber));
  EXPECT_FALSE(encode(ASN1::OpenData(), out, Ber));
  EXPECT_EQ(out, std::vector<char>{'x'});
}

// What the decoder does not know is left by its length: the element after it
// is read where it starts.
TEST(Ber, UnknownContentsAreLeftByTheirLength) {
  // { trunk 1, timeslot 2, [2] NULL } then { trunk 3, timeslot 4 }.
  ASN1::SEQUENCE_OF_Base trunks(&Trunks);
  ASSERT_TRUE(decodeHex("3013" "3009800101810102820100" "3006800103810104", trunks, Ber));
  ASSERT_EQ(trunks.size(), 2u);
  EXPECT_EQ(trunks.element(1).compare(*std::unique_ptr<AbstractData>(trunk(3, 4)())), 0) << trunks;

  // An alternative the extendable CHOICE does not know, then num 5.
  ASN1::SEQUENCE_OF_Base choices(&RootChoices);
  ASSERT_TRUE(decodeHex("3006" "8201FF" "800105", choices, Ber));
  ASSERT_EQ(choices.size(), 2u);
  auto& second = static_cast<ASN1::CHOICE&>(choices.element(1));
  ASSERT_EQ(second.currentSelection(), 0);
  EXPECT_EQ(static_cast<ASN1::INTEGER*>(second.getSelection())->getValue(), 5);
}
