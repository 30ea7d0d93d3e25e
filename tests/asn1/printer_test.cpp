// Value-notation printer: the exact layout of fields, single values and nested
// containers, and streams that stay usable when a print stops.
#include <gtest/gtest.h>

#include <clocale>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "asn1/io_wrapper.h"
#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;

namespace {
std::string printed(const ASN1::AbstractData& value) {
  std::ostringstream out;
  out << value;
  EXPECT_TRUE(out.good());
  return out.str();
}
}  // namespace

// The trace samples of whole messages are in tests/messages/print_test.cpp.
TEST(Printer, FieldsAndSeparators) {
  ASN1::SEQUENCE answer(&Message);  // slot absent
  optional<ASN1::INTEGER>(answer, MessageSeq).setValue(7);
  ASN1::CHOICE& response = select<ASN1::CHOICE>(field<ASN1::CHOICE>(answer, MessagePdu), PduResponse);
  select<ASN1::ENUMERATED>(response, 1).setValue(4);
  EXPECT_EQ(printed(answer), "{\n  seq 7,\n  pdu response : error : unexpectedMsgType\n}");

  // Only the last field present: no comma anywhere, no blank at a line's end.
  ASN1::SEQUENCE onlyPdu(&Message);
  select<ASN1::Null>(field<ASN1::CHOICE>(onlyPdu, MessagePdu), PduSignal);
  EXPECT_EQ(printed(onlyPdu), "{\n  pdu signal : NULL\n}");
}

TEST(Printer, SingleValues) {
  EXPECT_EQ(printed(ASN1::OBJECT_IDENTIFIER(std::vector<unsigned>{1, 2, 840})), "{ 1 2 840 }");
  EXPECT_EQ(printed(ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{0, char(0xa0), char(0xff)})), "'00 a0 ff'H");
  EXPECT_EQ(printed(ASN1::OCTET_STRING()), "''H");
  EXPECT_EQ(printed(*std::unique_ptr<ASN1::BIT_STRING>(bits({0x80, 0x40}, 10))), "'1000000001'B");
  std::setlocale(LC_CTYPE, "C");
  EXPECT_EQ(printed(ASN1::BMPString(std::wstring{wchar_t(0x410), wchar_t(0x411)})),
            "{{ 0, 0, 4, 16}, { 0, 0, 4, 17}}");
  EXPECT_EQ(printed(ASN1::BMPString(L"ok")), "\"ok\"");

  EXPECT_EQ(printed(ASN1::BOOLEAN(true)), "TRUE");
  EXPECT_EQ(printed(IntRangeMax(3000000000u)), "3000000000");
  EXPECT_EQ(printed(ASN1::INTEGER(-1, &IntSigned::theInfo)), "-1");
  EXPECT_EQ(printed(ASN1::ENUMERATED(8, &Gapped)), "cs1=8");
  EXPECT_EQ(printed(ASN1::ENUMERATED(12, &ColorExt)), "12");
  EXPECT_EQ(printed(ASN1::IA5String("say \"hi\"")), "\"say \"hi\"\"");
  ASN1::OpenData raw;
  raw.set_buf(std::vector<char>{0x0a});
  EXPECT_EQ(printed(raw), "'0a'H");

  static const ASN1::IntegerWithNamedNumber::NameEntry entries[] = {{-5, "low"}, {0, "zero"}, {7, "high"}};
  static const ASN1::IntegerWithNamedNumber::InfoType named = {
      {{&ASN1::IntegerWithNamedNumber::create, 2}, ASN1::Unconstrained, 0, 0xffffffffu}, entries, 3};
  EXPECT_EQ(printed(ASN1::IntegerWithNamedNumber(-5, &named)), "low");
  EXPECT_EQ(printed(ASN1::IntegerWithNamedNumber(3, &named)), "3");
}

TEST(Printer, ContainersNestAndCloseAtTheirOwnDepth) {
  EXPECT_EQ(printed(ASN1::SEQUENCE(&Empty)), "{\n}");
  EXPECT_EQ(printed(Ints()), "{\n}");

  ASN1::SEQUENCE worked(&Worked);
  select<ASN1::SEQUENCE>(field<ASN1::CHOICE>(worked, 2), 3);
  EXPECT_EQ(printed(worked), "{\n  c a3 : {\n  }\n}");

  ASN1::SEQUENCE_OF_Base choices(&Entries);
  choices.resize(1);
  ASN1::SEQUENCE& entry = static_cast<ASN1::SEQUENCE&>(choices.element(0));
  fillEntry(entry, 2);
  field<ASN1::SEQUENCE_OF_Base>(entry, 4).resize(1);
  EXPECT_EQ(printed(choices),
            "{\n"
            "  {\n"
            "    name \"port-2\",\n"
            "    kind blue,\n"
            "    count 200,\n"
            "    total -14,\n"
            "    codes {\n"
            "      2\n"
            "    },\n"
            "    label '02 01 02'H\n"
            "  }\n"
            "}");

  static const ASN1::SEQUENCE_OF_Base::InfoType choiceList = {
      {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xffffffffu}, &ChoiceExt};
  ASN1::SEQUENCE_OF_Base list(&choiceList);
  list.resize(2);
  select<ASN1::INTEGER>(static_cast<ASN1::CHOICE&>(list.element(0)), 0).setValue(1);
  select<ASN1::BOOLEAN>(static_cast<ASN1::CHOICE&>(list.element(1)), 2).setValue(true);
  EXPECT_EQ(printed(list), "{\n  num : 1,\n  flag : TRUE\n}");
}

TEST(Printer, StreamsStayUsable) {
  std::ostringstream out;
  out << ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{0, 0x0f}) << ' ' << 26 << std::setw(4) << 5;
  EXPECT_EQ(out.str(), "'00 0f'H 26   5");
  std::ostringstream direct;
  direct.fill('*');
  EXPECT_EQ(ASN1::OCTET_STRING(ASN1::OCTET_STRING::Octets{0x1f}).print_on(direct), std::ios_base::goodbit);
  direct << 31 << std::setw(3) << 1;
  EXPECT_EQ(direct.str(), "'1f'H31  1");

  // A print that stops keeps what it wrote, and the stream goes on working.
  ASN1::SEQUENCE unselected(&Message);
  optional<ASN1::INTEGER>(unselected, MessageSeq).setValue(3);
  std::ostringstream trace;
  trace << unselected << "|next";
  EXPECT_TRUE(trace.good());
  EXPECT_EQ(trace.str(), "{\n  seq 3,\n  pdu |next");
  std::ostringstream raw;
  EXPECT_EQ(unselected.print_on(raw), std::ios_base::failbit);
  EXPECT_EQ(unselected.asValueNotation(), "{\n  seq 3,\n  pdu ");
  EXPECT_EQ(printed(ASN1::OpenData()), "");

  std::ostringstream failed;
  failed.setstate(std::ios_base::failbit);
  failed << ASN1::Null();
  failed.clear();
  EXPECT_EQ(failed.str(), "");
}

TEST(Printer, ExceptionsBecomeStreamState) {
  struct Throwing : ASN1::IOWrapper {
    explicit Throwing(std::ios& s) : ASN1::IOWrapper(s) {}
    std::ios_base::iostate do_real_io() override { throw std::runtime_error("print"); }
  };
  std::ostringstream quiet, loud;
  Throwing(quiet).do_it();
  EXPECT_TRUE(quiet.fail() && !quiet.bad());
  loud.exceptions(std::ios_base::failbit);
  EXPECT_THROW(Throwing(loud).do_it(), std::runtime_error);
  EXPECT_TRUE(loud.fail());
}
