// Aligned PER decoder: edge cases, limits and hostile lengths that must fail
// cleanly (the sweeps over truncated and corrupted vectors are in vectors_test).
#include <gtest/gtest.h>

#include <memory>

#include "asn1/per_decoder.h"
#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;
using ASN1::AbstractData;

namespace {

template <class T>
std::unique_ptr<T> decoded(const std::string& hex, const void* info, bool expectOk = true) {
  std::unique_ptr<T> value(static_cast<T*>(freshValue(info)));
  EXPECT_EQ(decodeHex(hex, *value), expectOk) << hex;
  return value;
}

const ASN1::TypeConstrainedOpenData::InfoType OpenInt = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                         &ASN1::INTEGER::theInfo};

// Ext whose second addition has no record to decode it into.
Rec const NoExtraInfos[] = {&IntRange255::theInfo, &ASN1::IA5String::theInfo, &ASN1::BOOLEAN::theInfo, nullptr};
const ASN1::SEQUENCE::InfoType ExtNoExtra = {
    {&ASN1::SEQUENCE::create, 16}, true, NoExtraInfos, ExtIds, 2, 2, 1, nullptr, nullptr, ExtNames};

// SEQUENCE { e <a type with extensions or an open type>, after IntRange255 }:
// `after` is read wherever the decoder left `e`.
const int PairIds[] = {-1, -1};
const char* const PairNames[] = {"e", "after"};
Rec const RootOnlyPairInfos[] = {&ExtRootOnly, &IntRange255::theInfo};
Rec const ExtPairInfos[] = {&Ext, &IntRange255::theInfo};
Rec const NoExtraPairInfos[] = {&ExtNoExtra, &IntRange255::theInfo};
Rec const ChoicePairInfos[] = {&ChoiceExt, &IntRange255::theInfo};
Rec const TypedPairInfos[] = {&OpenInt, &IntRange255::theInfo};
Rec const OpenPairInfos[] = {&ASN1::OpenData::theInfo, &IntRange255::theInfo};
constexpr ASN1::SEQUENCE::InfoType pair(Rec const* infos) {
  return {{&ASN1::SEQUENCE::create, 16}, false, infos, PairIds, 2, 0, 0, nullptr, nullptr, PairNames};
}
const ASN1::SEQUENCE::InfoType RootOnlyPair = pair(RootOnlyPairInfos), ExtPair = pair(ExtPairInfos),
                               NoExtraPair = pair(NoExtraPairInfos), ChoicePair = pair(ChoicePairInfos),
                               TypedPair = pair(TypedPairInfos), OpenPair = pair(OpenPairInfos);

}  // namespace

TEST(PerDecoder, LengthsIntegersAndEmptyInput) {
  const std::pair<const void*, const char*> refused[] = {
      {&ASN1::BOOLEAN::theInfo, ""}, {&Message, ""}, {&IntRange1023::theInfo, "03"},
      {&ASN1::OCTET_STRING::theInfo, "C00000"},  // fragmented form
      {&ASN1::OCTET_STRING::theInfo, "80"},      // two-octet length cut
      {&ASN1::INTEGER::theInfo, "050000000001"}, {&ASN1::INTEGER::theInfo, "02FF"},
      {&ColorExt, "8000"},  // extension count 0
      {&ASN1::GeneralizedTime::theInfo, "00"}, {&ASN1::BIT_STRING::theInfo, "11ABCD"},
      {&ASN1::OBJECT_IDENTIFIER::theInfo, "022A86"}, {&ASN1::OBJECT_IDENTIFIER::theInfo, "042A8648"},
      {&ASN1::NumericString::theInfo, "01F0"}};  // index 15 of 11
  for (const auto& r : refused) EXPECT_FALSE(decodeAs(r.first, fromHex(r.second))) << r.second;
  EXPECT_TRUE(decodeAs(&ASN1::Null::theInfo, {}));
  EXPECT_TRUE(decodeAs(&Empty, {}));
  EXPECT_EQ(decoded<ASN1::INTEGER>("01FF", &ASN1::INTEGER::theInfo)->getValue(), -1);
  EXPECT_EQ(decoded<ASN1::ENUMERATED>("86A0", &ColorExt)->getValue(), 5);
  EXPECT_EQ(decoded<ASN1::ENUMERATED>("E0", &Color)->getValue(), 3);  // not checked against the maximum
  // Trailing octets after a complete value are ignored.
  EXPECT_TRUE(decodeAs(&Message, fromHex("C00101000540FFFF")));
}

TEST(PerDecoder, SizeLimits) {
  ASN1::OCTET_STRING::InfoType wide = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 20000};
  std::vector<char> at(2 + 16384, 'x'), over(2 + 16385, 'x');
  at[0] = 0x40, at[1] = 0x00;
  over[0] = 0x40, over[1] = 0x01;
  EXPECT_TRUE(decodeAs(&wide, at));
  EXPECT_FALSE(decodeAs(&wide, over));

  std::vector<char> list129 = fromHex("8081");
  for (int i = 0; i < 129; ++i) list129.insert(list129.end(), {1, 1});
  auto list = decoded<Ints>(toHex(list129), &Ints::theInfo, false);
  EXPECT_EQ(list->size(), 0u);  // refused before any element is made

  // A failing element is removed with all after it; those before stay.
  auto partial = decoded<Ints>("03010501060201", &Ints::theInfo, false);
  ASSERT_EQ(partial->size(), 2u);
  EXPECT_EQ((*partial)[1].getValue(), 6);
  // A shorter list decoded into it leaves nothing of the longer one.
  EXPECT_TRUE(decodeHex("010109", *partial));
  ASSERT_EQ(partial->size(), 1u);
  EXPECT_EQ((*partial)[0].getValue(), 9);

  ASN1::MaximumArraySize = 2;
  EXPECT_FALSE(decodeAs(&Ints::theInfo, fromHex("03010101FF02012C")));
  EXPECT_TRUE(decodeAs(&Ints::theInfo, fromHex("020101" "01FF")));
  ASN1::MaximumArraySize = 128;
  ASN1::MaximumStringSize = 4;
  EXPECT_FALSE(decodeAs(&ASN1::IA5String::theInfo, fromHex("0568656C6C6F")));
  ASN1::MaximumStringSize = 16384;

  // More than 128 extension presence bits.
  std::vector<char> manyBits = fromHex("800780" "01C8");
  manyBits.resize(manyBits.size() + 64, char(0xff));
  EXPECT_FALSE(decodeAs(&Ext, manyBits));
  // 128 extension bits are the most: the last one set, its addition unknown.
  std::vector<char> bits128 = fromHex("800780017F");
  bits128.resize(bits128.size() + 15, 0);
  for (char octet : fromHex("01" "0100")) bits128.push_back(octet);
  auto last = decoded<ASN1::SEQUENCE>(toHex(bits128), &Ext);
  EXPECT_EQ(last->extensionMap().size(), 128u);
  std::vector<char> bits129 = fromHex("8007800180");
  bits129.resize(bits129.size() + 16, 0);
  for (char octet : fromHex("80" "0100")) bits129.push_back(octet);
  EXPECT_FALSE(decodeAs(&Ext, bits129));
}

TEST(PerDecoder, ExtensionsAndOpenTypes) {
  // A peer's extension addition that this record does not know.
  auto choice = decoded<ASN1::CHOICE>("800180", &ChoiceExtRootOnly, false);
  EXPECT_EQ(choice->currentSelection(), -2);
  auto roots = decoded<ASN1::SEQUENCE>("8007038001800100", &ExtRootOnly);
  EXPECT_EQ(static_cast<ASN1::INTEGER*>(roots->getField(0))->getValue(), 7);
  decoded<ASN1::SEQUENCE>("800702800100", &ExtRootOnly);

  // A long extension map: the known addition is read, the far unknown one skipped.
  auto wide = decoded<ASN1::SEQUENCE>("800780" "0163" "80000000000000000000000010" "0180" "0100", &Ext);
  EXPECT_EQ(wide->extensionMap().size(), 100u);
  ASSERT_TRUE(wide->hasOptionalField(1));
  EXPECT_TRUE(static_cast<ASN1::BOOLEAN*>(wide->getField(2))->getValue());
  EXPECT_TRUE(wide->hasOptionalField(100));

  // Open-type lengths are checked against the input, and contents stay inside them.
  EXPECT_FALSE(decodeAs(&Ext, fromHex("800702800500")));
  EXPECT_FALSE(decodeAs(&ExtRootOnly, fromHex("800702800500")));
  EXPECT_FALSE(decodeAs(&ChoiceExt, fromHex("800580")));
  EXPECT_FALSE(decodeAs(&ChoiceExt, fromHex("800080")));
  // A root index past the root alternatives does not reach an extension one.
  static const ASN1::CHOICE::InfoType threeRoots = {{&ASN1::CHOICE::create, 0}, true, ChoiceExtInfos, 3, 4, nullptr,
                                                    ChoiceExtNames};
  auto third = decoded<ASN1::CHOICE>("40", &threeRoots);
  EXPECT_EQ(third->currentSelection(), 2);
  EXPECT_FALSE(decodeAs(&threeRoots, fromHex("60")));
  // Unread bits of an open type are skipped.
  auto flag = decoded<ASN1::CHOICE>("8002FF00", &ChoiceExt);
  EXPECT_TRUE(static_cast<ASN1::BOOLEAN*>(flag->getSelection())->getValue());

  // An alternative already in place is decoded into, not replaced.
  ASN1::CHOICE kept(&ChoiceExt);
  ASN1::AbstractData* object = kept.setSelection(0, new ASN1::INTEGER(9, &ASN1::INTEGER::theInfo));
  ASSERT_TRUE(decodeHex("0001FB", kept));
  EXPECT_EQ(kept.getSelection(), object);
  EXPECT_EQ(static_cast<ASN1::INTEGER*>(object)->getValue(), -5);

  ASN1::OpenData open;
  ASSERT_TRUE(decodeHex("0302012C", open));
  EXPECT_FALSE(open.has_data());
  EXPECT_EQ(toHex(*open.get_buf()), "02012C");
  open.grab(new ASN1::INTEGER(0, &ASN1::INTEGER::theInfo));
  ASN1::PERDecoder revisit(nullptr, nullptr);
  ASSERT_TRUE(revisit.do_revisit(open));
  EXPECT_EQ(static_cast<ASN1::INTEGER*>(open.get_data())->getValue(), 300);

  static const ASN1::TypeConstrainedOpenData::InfoType toInt = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                                &ASN1::INTEGER::theInfo};
  static const ASN1::TypeConstrainedOpenData::InfoType toNothing = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                                    nullptr};
  auto typed = decoded<ASN1::TypeConstrainedOpenData>("0402012CFF80", &toInt);
  EXPECT_EQ(static_cast<ASN1::INTEGER*>(typed->get_data())->getValue(), 300);
  EXPECT_FALSE(decodeAs(&toInt, fromHex("0502012C")));
  EXPECT_FALSE(decodeAs(&toNothing, fromHex("0100")));
}

// Every extension addition and open type is left by its length, whatever of
// it was read: the next addition and whatever follows are read where they
// start. The first two vectors are the independent codec's (a peer that knows
// more additions); the others carry octets past what is read of the value.
TEST(PerDecoder, ExtensionsAreLeftByTheirLength) {
  struct Case {
    const ASN1::SEQUENCE::InfoType* info;
    std::string hex;
    std::function<void(ASN1::SEQUENCE&)> check;
  };
  auto inner = [](ASN1::SEQUENCE& pair) -> AbstractData& { return *pair.getField(0); };
  const Case cases[] = {
      // Two additions this record does not know: { 7, a1 300, a2 NULL }, after 42.
      {&RootOnlyPair, "800703800302012C01002A",
       [&](ASN1::SEQUENCE& p) {
         auto& e = static_cast<ASN1::SEQUENCE&>(inner(p));
         EXPECT_EQ(static_cast<ASN1::INTEGER*>(e.getField(0))->getValue(), 7);
         EXPECT_EQ(e.extensionMap().size(), 2u);
       }},
      // A known addition, then one not known: { 7, flag TRUE, more NULL }, after 42.
      {&ExtPair, "80070540018001002A",
       [&](ASN1::SEQUENCE& p) {
         auto& e = static_cast<ASN1::SEQUENCE&>(inner(p));
         ASSERT_TRUE(e.hasOptionalField(1));
         EXPECT_TRUE(static_cast<ASN1::BOOLEAN*>(e.getField(2))->getValue());
         EXPECT_FALSE(e.hasOptionalField(2));
       }},
      // The same with an octet past the BOOLEAN inside its open type.
      {&ExtPair, "8007054002FF0001002A",
       [&](ASN1::SEQUENCE& p) {
         EXPECT_TRUE(static_cast<ASN1::BOOLEAN*>(static_cast<ASN1::SEQUENCE&>(inner(p)).getField(2))->getValue());
       }},
      // A known addition without a record to decode into: skipped.
      {&NoExtraPair, "800702800100" "2A", nullptr},
      // An extension alternative with an octet past its value.
      {&ChoicePair, "8002FF00" "2A",
       [&](ASN1::SEQUENCE& p) {
         auto& c = static_cast<ASN1::CHOICE&>(inner(p));
         ASSERT_EQ(c.currentSelection(), 2);
         EXPECT_TRUE(static_cast<ASN1::BOOLEAN*>(c.getSelection())->getValue());
       }},
      // A typed open type with an octet past its INTEGER.
      {&TypedPair, "0402012CFF" "2A",
       [&](ASN1::SEQUENCE& p) {
         auto& open = static_cast<ASN1::TypeConstrainedOpenData&>(inner(p));
         EXPECT_EQ(static_cast<ASN1::INTEGER*>(open.get_data())->getValue(), 300);
       }},
      // An open type kept undecoded.
      {&OpenPair, "0302012C" "2A",
       [&](ASN1::SEQUENCE& p) { EXPECT_EQ(toHex(*static_cast<ASN1::OpenData&>(inner(p)).get_buf()), "02012C"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    auto pair = decoded<ASN1::SEQUENCE>(c.hex, c.info);
    EXPECT_EQ(static_cast<ASN1::INTEGER*>(pair->getField(1))->getValue(), 42);
    if (c.check) c.check(*pair);
  }
}
