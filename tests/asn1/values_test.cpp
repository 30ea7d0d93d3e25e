// Value classes, constructed values, records and ownership.
#include <gtest/gtest.h>

#include <memory>

#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;

namespace {

// A NULL that counts its destructions, for ownership checks.
int destroyed = 0;
struct Counted : ASN1::Null {
  explicit Counted(const void* info) : ASN1::Null(info) {}
  ~Counted() override { ++destroyed; }
  static ASN1::AbstractData* create(const void* info) { return new Counted(info); }
};
const ASN1::Null::InfoType CountedInfo = {&Counted::create, 5};
const ASN1::SEQUENCE_OF_Base::InfoType CountedList = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &CountedInfo};

}  // namespace

TEST(Values, ScalarsCompare) {
  ASN1::OCTET_STRING high(ASN1::OCTET_STRING::Octets{char(0x80)}), low(ASN1::OCTET_STRING::Octets{0x7f});
  EXPECT_GT(high.compare(low), 0);  // bytes compare unsigned
  EXPECT_LT(ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{1, 2}).compare(high), 0);
  std::unique_ptr<ASN1::BIT_STRING> b3(bits({0xa0}, 3)), b5(bits({0xa0}, 5)), b5high(bits({0xe0}, 5));
  EXPECT_LT(b3->compare(*b5), 0);
  EXPECT_GT(b5high->compare(*b5), 0);

  ASN1::INTEGER minimum(-2147483647 - 1, &ASN1::INTEGER::theInfo), one(1, &ASN1::INTEGER::theInfo);
  EXPECT_LT(minimum.compare(one), 0);  // no overflow in the comparison
  EXPECT_GT(one.compare(minimum), 0);
  IntRangeMax big(4000000000u);
  std::unique_ptr<ASN1::AbstractData> bigCopy(big.clone());
  ASSERT_NE(dynamic_cast<IntRangeMax*>(bigCopy.get()), nullptr);
  EXPECT_EQ(static_cast<IntRangeMax&>(*bigCopy).getValue(), 4000000000u);
  EXPECT_GT(ASN1::IA5String("abc").compare(ASN1::IA5String("ab")), 0);
  // Values of different types are never equal.
  EXPECT_NE(ASN1::INTEGER(0, &ASN1::INTEGER::theInfo).compare(IntRange7(0u)), 0);

  ASN1::ENUMERATED e(&Gapped);
  const std::pair<int, const char*> names[] = {
      {-1, "not-use=-1"}, {0, "zero"}, {8, "cs1=8"}, {9, "nine"}, {1, nullptr}, {10, nullptr}};
  for (const auto& entry : names) {
    e.setValue(entry.first);
    EXPECT_STREQ(e.getName(), entry.second) << entry.first;
  }
}

TEST(Values, GeneralizedTimeAndObjectIdentifierForms) {
  EXPECT_EQ(ASN1::GeneralizedTime("20240102030405.5Z").get(), "20240102030405.500Z");
  EXPECT_EQ(ASN1::GeneralizedTime("20240102030405-0130").mindiff, -90);
  ASN1::GeneralizedTime epoch;
  epoch.set_time_t(86400 + 3661);
  EXPECT_EQ(epoch.get(), "19700102010101");

  ASN1::OBJECT_IDENTIFIER oid(std::vector<unsigned>{1, 2, 840});
  std::vector<char> contents;
  oid.encodeCommon(contents);
  EXPECT_EQ(toHex(contents), "2A8648");
  ASN1::OBJECT_IDENTIFIER back;
  ASSERT_TRUE(back.decodeCommon(contents.data(), contents.size()));
  EXPECT_EQ(back, oid);
  EXPECT_FALSE(back.decodeCommon("\x2a\x86", 2));                  // last octet continues
  EXPECT_FALSE(back.decodeCommon("\x8f\xff\xff\xff\xff\x7f", 6));  // arc beyond 32 bits
}

TEST(Values, SequencePresenceAndFields) {
  // Removing keeps the object; including again finds its old contents.
  ASN1::SEQUENCE message(&Message);
  optional<ASN1::INTEGER>(message, MessageSeq).setValue(42);
  message.removeOptionalField(MessageSeq);
  EXPECT_FALSE(message.hasOptionalField(MessageSeq));
  EXPECT_EQ(optional<ASN1::INTEGER>(message, MessageSeq).getValue(), 42);
  // Presence alone decides between otherwise equal values; copies are deep.
  ASN1::SEQUENCE without(&Message), copy(message);
  EXPECT_EQ(message.compare(without), 1);
  EXPECT_EQ(without.compare(message), -1);
  field<ASN1::INTEGER>(copy, MessageSeq).setValue(43);
  EXPECT_EQ(field<ASN1::INTEGER>(message, MessageSeq).getValue(), 42);
  EXPECT_GT(copy.compare(message), 0);

  // An extension map grows past its first octets, to bits no field stands behind.
  ASN1::SEQUENCE ext(&Ext);
  ext.includeOptionalField(2, 3);
  EXPECT_EQ(ext.extensionMap().size(), 2u);
  EXPECT_NE(ext.getField(3), nullptr);
  ext.includeOptionalField(100);
  EXPECT_EQ(ext.extensionMap().size(), 100u);
  EXPECT_FALSE(ext.hasOptionalField(65));
  ASN1::SEQUENCE other(&Ext);
  other = ext;
  EXPECT_TRUE(other.hasOptionalField(100));
  EXPECT_NE(other.getField(3), ext.getField(3));
  // Shrinking drops the bits past the end; growing again brings clear ones.
  ext.extensionMap().resize(2);
  ext.extensionMap().resize(100);
  EXPECT_FALSE(ext.hasOptionalField(100));
  EXPECT_TRUE(ext.hasOptionalField(2));

  // Records with many fields: swaps move every field.
  ASN1::SEQUENCE entry(&Entry), empty(&Entry);
  fillEntry(entry, 2);
  ASN1::SEQUENCE entryCopy(entry);
  empty.swap(entry);
  EXPECT_EQ(empty.compare(entryCopy), 0);
  EXPECT_EQ(field<ASN1::IA5String>(entry, 0).getValue(), "");

  // A non-optional extension addition is present and made with the value.
  static const unsigned char second[] = {0x40};
  static const ASN1::SEQUENCE::InfoType withDefault = {
      {&ASN1::SEQUENCE::create, 16}, true, ExtInfos, ExtIds, 2, 2, 1, second, nullptr, ExtNames};
  ASN1::SEQUENCE value(&withDefault);
  EXPECT_FALSE(value.hasOptionalField(1));
  EXPECT_TRUE(value.hasOptionalField(2));
  EXPECT_NE(value.getField(3), nullptr);
}

TEST(Values, ChoiceSelection) {
  ASN1::CHOICE c(&ChoiceExt);
  EXPECT_EQ(c.currentSelection(), -1);
  c.setSelection(4, nullptr);  // totalChoices
  EXPECT_FALSE(c.createSelection());
  EXPECT_EQ(c.currentSelection(), -2);
  EXPECT_EQ(c.getSelection(), nullptr);

  select<ASN1::BOOLEAN>(c, 2).setValue(true);
  ASN1::CHOICE copy(c);
  static_cast<ASN1::BOOLEAN*>(copy.getSelection())->setValue(false);  // deep copy
  EXPECT_LT(copy.compare(c), 0);
  select<ASN1::Null>(copy, 3);
  EXPECT_EQ(copy.compare(c), 1);  // selection index difference
}

TEST(Values, ListsOwnTheirElements) {
  destroyed = 0;
  {
    ASN1::SEQUENCE_OF_Base list(&CountedList);
    list.resize(3);
    list.resize(1);
    EXPECT_EQ(destroyed, 2);
    list.insert(list.elements().begin(), 2, ASN1::Null());
    ASN1::SEQUENCE_OF_Base copy(list);
    EXPECT_EQ(copy.size(), 3u);
    copy.clear();  // clones are plain NULLs
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);  // the counted element left in the list, once
  Ints ints, longer;
  ints.push_back(ASN1::INTEGER(3, &ASN1::INTEGER::theInfo));
  longer = ints;
  longer.push_back(ASN1::INTEGER(0, &ASN1::INTEGER::theInfo));
  EXPECT_LT(ints.compare(longer), 0);
}

TEST(Values, FreedStorageIsReusedWithoutDisturbingLiveValues) {
  // Values and the field slots of large records are made and dropped in
  // interleaved order; every live value keeps its contents.
  std::vector<std::unique_ptr<ASN1::INTEGER>> numbers;
  std::vector<std::unique_ptr<ASN1::SEQUENCE>> entries;
  for (int i = 0; i < 3000; ++i) {
    numbers.emplace_back(new ASN1::INTEGER(i, &ASN1::INTEGER::theInfo));
    entries.emplace_back(new ASN1::SEQUENCE(&Entry));
    field<ASN1::INTEGER>(*entries.back(), 3).setValue(i);
  }
  for (int i = 1; i < 3000; i += 2) {
    numbers[i].reset();
    entries[i].reset();
  }
  for (int i = 1; i < 3000; i += 2) {
    numbers[i].reset(new ASN1::INTEGER(-i, &ASN1::INTEGER::theInfo));
    entries[i].reset(new ASN1::SEQUENCE(*entries[i - 1]));
  }
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(numbers[i]->getValue(), i % 2 ? -i : i);
    ASSERT_EQ(field<ASN1::INTEGER>(*entries[i], 3).getValue(), i % 2 ? i - 1 : i);
  }
}

// Present when the program runs under AddressSanitizer, whichever compiler
// built it.
extern "C" int __asan_address_is_poisoned(void const volatile* address) __attribute__((weak));

TEST(Values, SanitizerSeesFreedValues) {
  if (!__asan_address_is_poisoned) GTEST_SKIP() << "not built with AddressSanitizer";
  // The value pool steps aside, so a use after free of a value is reported.
  auto* value = new ASN1::INTEGER(5, &ASN1::INTEGER::theInfo);
  const void* storage = value;
  EXPECT_FALSE(__asan_address_is_poisoned(storage));
  delete value;
  EXPECT_TRUE(__asan_address_is_poisoned(storage));
}

TEST(Values, OpenValuesCompareByContentThenKind) {
  ASN1::OpenData withBuf, withData(new ASN1::INTEGER(5, &ASN1::INTEGER::theInfo));
  withBuf.set_buf(std::vector<char>{1, 2});
  EXPECT_GT(withData.compare(withBuf), 0);
  EXPECT_GT(withBuf.compare(ASN1::OpenData()), 0);
  ASN1::OpenData both(withData);
  both.set_buf(std::vector<char>{9});
  ASN1::OpenData copy(both);  // released with both parts under the leak checker
  EXPECT_TRUE(copy.has_data() && copy.has_buf());
  EXPECT_EQ(copy.compare(withData), 0);

  static const ASN1::TypeConstrainedOpenData::InfoType toColor = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                                  &Color};
  ASN1::TypeConstrainedOpenData typed(&toColor);
  ASSERT_TRUE(typed.has_data());
  EXPECT_EQ(typed.get_data()->infoPointer(), &Color);
}
