// Encodes values built from hand-laid records and compares them, bit for bit, with
// the vectors that an independent aligned PER codec produced from vectors/TestTypes.asn;
// decodes the vectors back into equal values.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;
using ASN1::AbstractData;

namespace {

typedef std::function<AbstractData*()> Builder;

template <class T, class V>
Builder value(V v, const void* info = &T::theInfo) {
  return [v, info] { return new T(v, info); };
}
Builder integer(int v, const void* info = &ASN1::INTEGER::theInfo) {
  return [v, info] { return new ASN1::INTEGER(v, info); };
}
Builder enumerated(int v, const void* info) {
  return [v, info] { return new ASN1::ENUMERATED(v, info); };
}
Builder octets(std::size_t n) {
  return [n] {
    auto* s = new ASN1::OCTET_STRING;
    for (std::size_t i = 0; i < n; ++i) s->getValue().push_back(static_cast<char>(i % 256));
    return s;
  };
}
Builder letters(std::size_t n) {
  return [n] {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += static_cast<char>('a' + i % 26);
    return new ASN1::IA5String(text);
  };
}
Builder ints(std::vector<int> values) {
  return [values] {
    auto* list = new Ints;
    for (int v : values) list->push_back(ASN1::INTEGER(v, &ASN1::INTEGER::theInfo));
    return list;
  };
}
template <class F>
Builder sequence(const ASN1::SEQUENCE::InfoType& info, F fill) {
  return [&info, fill] {
    auto* seq = new ASN1::SEQUENCE(&info);
    fill(*seq);
    return seq;
  };
}
template <class F>
Builder choice(const ASN1::CHOICE::InfoType& info, F fill) {
  return [&info, fill] {
    auto* c = new ASN1::CHOICE(&info);
    fill(*c);
    return c;
  };
}
Builder ext(const char* note, int flag, bool extra) {
  return sequence(Ext, [=](ASN1::SEQUENCE& s) {
    field<ASN1::INTEGER>(s, 0).setValue(7);
    if (note) optional<ASN1::AbstractString>(s, 0) = note;
    if (flag >= 0) optional<ASN1::BOOLEAN>(s, 1).setValue(flag != 0);
    if (extra) optional<ASN1::Null>(s, 2);
  });
}
Builder message(int seq, int slot, std::function<void(ASN1::CHOICE&)> pdu) {
  return sequence(Message, [=](ASN1::SEQUENCE& m) {
    if (seq >= 0) optional<ASN1::INTEGER>(m, MessageSeq).setValue(seq);
    if (slot >= 0) optional<ASN1::INTEGER>(m, MessageSlot).setValue(slot);
    pdu(field<ASN1::CHOICE>(m, MessagePdu));
  });
}
std::function<void(ASN1::CHOICE&)> command(int id) {
  return [id](ASN1::CHOICE& pdu) { select<AbstractData>(select<ASN1::CHOICE>(pdu, PduCommand), id); };
}

const std::map<std::string, Builder>& builders() {
  static const std::map<std::string, Builder> table = {
      {"bool_true", value<ASN1::BOOLEAN>(true)},
      {"bool_false", value<ASN1::BOOLEAN>(false)},
      {"int_0", integer(0)},
      {"int_127", integer(127)},
      {"int_128", integer(128)},
      {"int_m1", integer(-1)},
      {"int_m128", integer(-128)},
      {"int_m129", integer(-129)},
      {"int_65536", integer(65536)},
      {"int_max", integer(2147483647)},
      {"int_min", integer(-2147483647 - 1)},
      {"range1_1", integer(1, &IntRange1::theInfo)},
      {"range7_5", integer(5, &IntRange7::theInfo)},
      {"range255_200", integer(200, &IntRange255::theInfo)},
      {"range256_256", integer(256, &IntRange256)},
      {"range1023_1023", integer(1023, &IntRange1023::theInfo)},
      {"range65535_65535", integer(65535, &IntRange65535::theInfo)},
      {"range65536_0", integer(0, &IntRange65536)},
      {"range65536_65536", integer(65536, &IntRange65536)},
      {"rangemax_0", integer(0, &IntRangeMax::theInfo)},
      {"rangemax_255", integer(255, &IntRangeMax::theInfo)},
      {"rangemax_256", integer(256, &IntRangeMax::theInfo)},
      {"rangemax_16777216", integer(16777216, &IntRangeMax::theInfo)},
      {"rangemax_max", integer(-1, &IntRangeMax::theInfo)},
      {"signed_m1", integer(-1, &IntSigned::theInfo)},
      {"signed_m128", integer(-128, &IntSigned::theInfo)},
      {"offset_112000", integer(112000, &IntOffset::theInfo)},
      {"offset_399975", integer(399975, &IntOffset::theInfo)},
      {"from1_3", integer(3, &IntFrom1::theInfo)},
      {"ext_in_root", integer(3, &IntExt)},
      {"ext_outside", integer(100, &IntExt)},
      {"color_blue", enumerated(2, &Color)},
      {"colorext_green", enumerated(1, &ColorExt)},
      {"octets_0", octets(0)},
      {"octets_1", value<ASN1::OCTET_STRING>(ASN1::OCTET_STRING::Octets{char(0xab)})},
      {"octets_2", value<ASN1::OCTET_STRING>(ASN1::OCTET_STRING::Octets{1, 2})},
      {"octets_3", value<ASN1::OCTET_STRING>(ASN1::OCTET_STRING::Octets{1, 2, 3})},
      {"octets_127", octets(127)},
      {"octets_128", octets(128)},
      {"octets_200", octets(200)},
      {"octets_16383", octets(16383)},
      {"text_empty", value<ASN1::IA5String>("")},
      {"text_hello", value<ASN1::IA5String>("hello")},
      {"text_16383", letters(16383)},
      {"shorttext_abc", value<ASN1::IA5String>("abc", &ShortText)},
      {"digits", value<ASN1::NumericString>("12 345")},
      {"printable", value<ASN1::PrintableString>("Ab1 ?")},
      {"visible", value<ASN1::VisibleString>("x~y")},
      {"bits_10", [] { return bits({0x80, 0x40}, 10); }},
      {"bits_17", [] { return bits({0xab, 0xcd, 0x80}, 17); }},
      {"oid", value<ASN1::OBJECT_IDENTIFIER>(std::vector<unsigned>{1, 2, 840})},
      {"time", [] { return new ASN1::GeneralizedTime(2024, 1, 2, 3, 4, 5, 0, 0, true); }},
      {"bmp", value<ASN1::BMPString>(std::wstring{wchar_t(0x410), wchar_t(0x411)})},
      {"ints_empty", ints({})},
      {"ints_3", ints({1, -1, 300})},
      {"ints_128", ints(range(1, 128))},
      {"colors_2",
       [] {
         auto* list = new ASN1::SEQUENCE_OF_Base(&Colors);
         list->append(ASN1::ENUMERATED(1, &Color));
         list->append(ASN1::ENUMERATED(2, &Color));
         return list;
       }},
      {"empty", sequence(Empty, [](ASN1::SEQUENCE&) {})},
      {"worked", sequence(Worked, [](ASN1::SEQUENCE& s) { select<ASN1::SEQUENCE>(field<ASN1::CHOICE>(s, 2), 3); })},
      {"worked_ext", sequence(Worked,
                              [](ASN1::SEQUENCE& s) {
                                optional<ASN1::INTEGER>(s, 0).setValue(5);
                                optional<ASN1::BOOLEAN>(s, 1).setValue(true);
                                select<ASN1::Null>(field<ASN1::CHOICE>(s, 2), 14);
                              })},
      {"single", choice(Single, [](ASN1::CHOICE& c) { select<ASN1::INTEGER>(c, 0).setValue(6); })},
      {"ext_roots_only", ext(nullptr, -1, false)},
      {"ext_note", ext("hi", -1, false)},
      {"ext_both", ext(nullptr, 1, true)},
      {"ext_last", ext(nullptr, -1, true)},
      {"choiceext_num", choice(ChoiceExt, [](ASN1::CHOICE& c) { select<ASN1::INTEGER>(c, 0).setValue(-5); })},
      {"choiceext_flag", choice(ChoiceExt, [](ASN1::CHOICE& c) { select<ASN1::BOOLEAN>(c, 2).setValue(true); })},
      {"choiceext_none", choice(ChoiceExt, [](ASN1::CHOICE& c) { select<ASN1::Null>(c, 3); })},
      {"msg_query", message(-1, -1, command(CommandQuery))},
      {"msg_ping", message(-1, -1, command(CommandPing))},
      {"msg_ping_seq", message(1, -1, command(CommandPing))},
      {"msg_success", message(1, 5, [](ASN1::CHOICE& pdu) {
         select<ASN1::Null>(select<ASN1::CHOICE>(pdu, PduResponse), 0);
       })},
      {"msg_error", message(7, 5, [](ASN1::CHOICE& pdu) {
         select<ASN1::ENUMERATED>(select<ASN1::CHOICE>(pdu, PduResponse), 1).setValue(4);
       })},
      {"msg_create", sequence(Message, [](ASN1::SEQUENCE& m) { createTrunk(m); })},
      {"msg_userdata", sequence(Message, [](ASN1::SEQUENCE& m) {
         ASN1::CHOICE& cmd = messageCommand(m, 7, 33);
         select<ASN1::OCTET_STRING>(cmd, CommandUserData) = ASN1::OCTET_STRING::Octets{1, 2, char(0xff)};
       })},
      {"report", sequence(Report, [](ASN1::SEQUENCE& r) { fillReport(r, 20); })},
  };
  return table;
}

// X.691 writes one zero octet for a complete encoding without bits; this coder
// writes nothing (and reads either).
std::string ownEncoding(const std::string& name, const std::string& hex) { return name == "empty" ? "" : hex; }

std::map<std::string, std::string> loadVectors() {
  std::ifstream file(ASN1_VECTORS_FILE);
  std::map<std::string, std::string> vectors;
  std::string name, hex;
  while (file >> name >> hex) vectors[name] = hex;
  return vectors;
}

}  // namespace

TEST(PerVectors, EveryVectorHasAValueAndEveryValueAVector) {
  std::map<std::string, std::string> vectors = loadVectors();
  ASSERT_EQ(vectors.size(), 76u);
  for (const auto& entry : vectors) EXPECT_EQ(builders().count(entry.first), 1u) << entry.first;
  for (const auto& entry : builders()) EXPECT_EQ(vectors.count(entry.first), 1u) << entry.first;
}

TEST(PerVectors, EncodingsMatchTheIndependentCodec) {
  for (const auto& entry : loadVectors()) {
    std::unique_ptr<AbstractData> value(builders().at(entry.first)());
    EXPECT_EQ(toHex(encodeOrDie(*value)), ownEncoding(entry.first, entry.second)) << entry.first;
  }
}

TEST(PerVectors, DecodingGivesBackTheValueAndItsEncoding) {
  for (const auto& entry : loadVectors()) {
    std::unique_ptr<AbstractData> expected(builders().at(entry.first)());
    std::unique_ptr<AbstractData> decoded(freshValue(*expected));
    std::vector<char> bytes = fromHex(entry.second);
    ASSERT_TRUE(decodeInto(bytes, *decoded)) << entry.first;
    EXPECT_EQ(decoded->compare(*expected), 0) << entry.first << "\n" << *decoded << "\n" << *expected;
    EXPECT_EQ(toHex(encodeOrDie(*decoded)), ownEncoding(entry.first, entry.second)) << entry.first;
  }
}
