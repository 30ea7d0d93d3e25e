// Value-notation parser: the accepted forms of each kind, names ended by the
// printer's punctuation, refusals, and the stream entry.
#include <gtest/gtest.h>

#include <clocale>
#include <sstream>

#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;
using ASN1::AbstractData;

namespace {

// SEQUENCE { a INTEGER OPTIONAL, b BOOLEAN OPTIONAL }
Rec const OptionsInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo};
const int OptionsIds[] = {0, 1};
const char* const OptionsNames[] = {"a", "b"};
const ASN1::SEQUENCE::InfoType Options = {
    {&ASN1::SEQUENCE::create, 16}, false, OptionsInfos, OptionsIds, 2, 0, 2, nullptr, nullptr, OptionsNames};

std::unique_ptr<AbstractData> parsed(const void* info, const std::string& text, bool expectOk = true) {
  std::unique_ptr<AbstractData> value(freshValue(info));
  EXPECT_EQ(value->setFromValueNotation(text), expectOk) << text;
  return value;
}

}  // namespace

TEST(Parser, AcceptedForms) {
  struct Case {
    const char* text;
    const void* info;
    Builder expected;
  };
  const Case cases[] = {
      {"'0101'B", &ASN1::BIT_STRING::theInfo, [] { return bits({0x50}, 4); }},
      {"'1'B", &ASN1::BIT_STRING::theInfo, [] { return bits({0x80}, 1); }},
      {"'01 a0'H", &ASN1::OCTET_STRING::theInfo,
       [] { return new ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{1, char(0xa0)}); }},
      {"'F'H", &ASN1::OCTET_STRING::theInfo, [] { return new ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{char(0xf0)}); }},
      {"{ }", &Ints::theInfo, [] { return new Ints; }},
      {"{ }", &Empty, [] { return new ASN1::SEQUENCE(&Empty); }},
      {"{ }", &Options, [] { return new ASN1::SEQUENCE(&Options); }},  // the OPTIONAL fields absent
      {"{ b TRUE }", &Options, made<ASN1::SEQUENCE>(Options, [](ASN1::SEQUENCE& s) {
         optional<ASN1::BOOLEAN>(s, 1).setValue(true);
       })},
      {"{ id 7 }", &Ext,
       [] {
         auto* s = new ASN1::SEQUENCE(&Ext);
         field<ASN1::INTEGER>(*s, 0).setValue(7);
         return s;
       }},
      {"N U L L", &ASN1::Null::theInfo, [] { return new ASN1::Null; }},
      {" FALSE", &ASN1::BOOLEAN::theInfo, [] { return new ASN1::BOOLEAN(false); }},
      {"\"a \" b\"", &ASN1::IA5String::theInfo, [] { return new ASN1::IA5String("a "); }},
      {"4294967295", &IntRangeMax::theInfo, [] { return new IntRangeMax(4294967295u); }},
      {"-129", &ASN1::INTEGER::theInfo, [] { return new ASN1::INTEGER(-129, &ASN1::INTEGER::theInfo); }},
      {"cs1=8", &Gapped, [] { return new ASN1::ENUMERATED(8, &Gapped); }},
      {"not-use=-1", &Gapped, [] { return new ASN1::ENUMERATED(-1, &Gapped); }},
      {"12", &ColorExt, [] { return new ASN1::ENUMERATED(12, &ColorExt); }},  // a value without a name
      {"{ iso(1) member-body (2) 840 }", &ASN1::OBJECT_IDENTIFIER::theInfo,
       [] { return new ASN1::OBJECT_IDENTIFIER(std::vector<unsigned>{1, 2, 840}); }},
      {"\"20240102030405.5Z\"", &ASN1::GeneralizedTime::theInfo,
       [] { return new ASN1::GeneralizedTime(2024, 1, 2, 3, 4, 5, 500, 0, true); }},
      {"{{ 0, 0, 4, 16}, { 0, 0, 4, 17}}", &ASN1::BMPString::theInfo,
       [] { return new ASN1::BMPString(std::wstring{wchar_t(0x410), wchar_t(0x411)}); }},
      // Names end at ",", "}" and ":" as well as at white space.
      {"{red,blue}", &Colors,
       [] {
         auto* list = new ASN1::SEQUENCE_OF_Base(&Colors);
         list->append(ASN1::ENUMERATED(0, &Color));
         list->append(ASN1::ENUMERATED(2, &Color));
         return list;
       }},
      {"{ seq 7, slot 33, pdu command: create: trunk: { trunk 1, timeslot 1 } }", &Message,
       [] {
         auto* m = new ASN1::SEQUENCE(&Message);
         createTrunk(*m);
         return m;
       }},
      // A "," before the closing brace, once every field is walked.
      {"{ id 7, }", &Ext,
       [] {
         auto* s = new ASN1::SEQUENCE(&Ext);
         field<ASN1::INTEGER>(*s, 0).setValue(7);
         return s;
       }},
  };
  std::setlocale(LC_CTYPE, "C");
  for (const Case& c : cases) {
    std::unique_ptr<AbstractData> expected(c.expected());
    EXPECT_EQ(parsed(c.info, c.text)->compare(*expected), 0) << c.text;
  }
  // The printer's own multi-line form reads the same.
  ASN1::SEQUENCE message(&Message);
  createTrunk(message);
  EXPECT_EQ(parsed(&Message, message.asValueNotation())->compare(message), 0);
}

TEST(Parser, Refusals) {
  const std::pair<const char*, const void*> cases[] = {
      {"{ slot 33, seq 7, pdu command : ping : NULL }", &Message},  // fields out of order
      {"{ seq 7 }", &Message},                                      // a mandatory field missing
      {"{ }", &Message},
      {"{ seq 7, slot 1, pdu signal : NULL, extra 1 }", &Message},  // a name no field carries
      {"{ seq 7; pdu signal : NULL }", &Message},
      {"{ pdu signal NULL }", &Message},  // no ":" after the alternative
      {"{ pdu telegram : NULL }", &Message},
      {"NUL", &ASN1::Null::theInfo},
      {"true", &ASN1::BOOLEAN::theInfo},
      {"x", &ASN1::INTEGER::theInfo},
      {"purple", &Color},
      {"{ 1 2", &ASN1::OBJECT_IDENTIFIER::theInfo},
      {"{ 99999999999 }", &ASN1::OBJECT_IDENTIFIER::theInfo},
      {"'0102'X", &ASN1::OCTET_STRING::theInfo},
      {"'1G'H", &ASN1::OCTET_STRING::theInfo},
      {"'-1'H", &ASN1::OCTET_STRING::theInfo},
      {"'012'B", &ASN1::BIT_STRING::theInfo},
      {"\"open", &ASN1::IA5String::theInfo},
      {"\"2024\"", &ASN1::GeneralizedTime::theInfo},
      {"{ 1; 2 }", &Ints::theInfo},
      {"{ 1, 2", &Ints::theInfo},
      {"{{ 0, 0, 300, 1}}", &ASN1::BMPString::theInfo},
      {"", &ASN1::Null::theInfo},
  };
  for (const auto& c : cases) parsed(c.second, c.first, false);

  ASN1::OpenData open;
  EXPECT_FALSE(open.setFromValueNotation("'01'H"));
}

TEST(Parser, NamesAndStreams) {
  ASN1::ENUMERATED color(1, &Color);
  EXPECT_FALSE(color.setFromName("purple"));
  EXPECT_EQ(color.getValue(), 3);  // maxEnumValue + 1
  ASN1::ENUMERATED gapped(0, &Gapped);
  EXPECT_TRUE(gapped.setFromName("again=8"));
  EXPECT_EQ(gapped.getValue(), 8);

  static const ASN1::IntegerWithNamedNumber::NameEntry entries[] = {{-5, "low"}, {0, "zero"}, {7, "high"}};
  static const ASN1::IntegerWithNamedNumber::InfoType named = {
      {{&ASN1::IntegerWithNamedNumber::create, 2}, ASN1::Unconstrained, 0, 0xffffffffu}, entries, 3};
  static const ASN1::SEQUENCE_OF_Base::InfoType namedList = {
      {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &named};
  ASN1::SEQUENCE_OF_Base list(&namedList);
  ASSERT_TRUE(list.setFromValueNotation("{high,-3,low}"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(static_cast<ASN1::INTEGER&>(list.element(0)).getValue(), 7);
  EXPECT_EQ(static_cast<ASN1::INTEGER&>(list.element(1)).getValue(), -3);
  EXPECT_EQ(static_cast<ASN1::INTEGER&>(list.element(2)).getValue(), -5);
  ASN1::IntegerWithNamedNumber number(4, &named);
  EXPECT_FALSE(number.setFromName("middle"));
  EXPECT_EQ(number.getValue(), 4);

  // Two values in a row, then a failure that marks the stream.
  std::istringstream in("  7 {1, 2}  oops");
  ASN1::INTEGER first;
  Ints second;
  ASN1::BOOLEAN third;
  EXPECT_TRUE(in >> first >> second);
  EXPECT_EQ(first.getValue(), 7);
  EXPECT_EQ(second.size(), 2u);
  EXPECT_FALSE(in >> third);
  in.clear();
  std::istringstream again("TRUE");
  EXPECT_EQ(third.get_from(again), std::ios_base::goodbit);
  EXPECT_TRUE(third.getValue());
}
