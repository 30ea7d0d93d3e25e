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
