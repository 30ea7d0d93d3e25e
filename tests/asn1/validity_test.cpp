// Validity checks: the verdicts valid and strictly valid per kind, and the
// tracer's path and message for the first fault.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/asn1/test_types.h"
#include "tests/asn1/test_util.h"

using namespace TestTypes;
using ASN1::AbstractData;

namespace {

const ASN1::OCTET_STRING::InfoType PairOctets = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 1, 2};
const ASN1::BMPString::InfoType Latin = {{{&ASN1::BMPString::create, 30}, ASN1::Unconstrained, 0, 0xffffffffu},
                                         0,
                                         0xff,
                                         16,
                                         16};

std::string traced(const AbstractData& value, const char* prefix = "") {
  std::ostringstream out;
  bool passed = ASN1::trace_invalid(out, prefix, value);
  EXPECT_EQ(passed, out.str().empty());
  return out.str();
}

Builder integer(int v, const void* info) {
  return [=] { return new ASN1::INTEGER(v, info); };
}

}  // namespace

TEST(Validity, VerdictsAndTracerMessages) {
  struct Case {
    const char* what;
    Builder value;
    bool valid, strict;
    std::string trace;  // empty: the tracer passes it
  };
  const Case cases[] = {
      {"range overflow", integer(1024, &IntRange1023::theInfo), false, false,
       " The INTEGER value 1024 is greater than upper bound 1023\n"},
      {"signed in range", integer(-1, &IntSigned::theInfo), true, true, ""},
      {"signed below", integer(-129, &IntSigned::theInfo), false, false,
       " The INTEGER value -129 is smaller than lower bound -128\n"},
      {"extensible beyond", integer(9, &IntExt), true, false, ""},
      {"unconstrained negative", integer(-5, &ASN1::INTEGER::theInfo), true, true, ""},
      {"unsigned above 2^31", integer(-1294967296, &IntRangeMax::theInfo), true, true, ""},
      {"extendable enum beyond", [] { return new ASN1::ENUMERATED(20, &ErrorCause); }, true, false,
       " This ENUMERATED has invalid value 20\n"},
      {"enum beyond", [] { return new ASN1::ENUMERATED(5, &Color); }, false, false,
       " This ENUMERATED has invalid value 5\n"},
      {"negative named enum", [] { return new ASN1::ENUMERATED(-1, &Gapped); }, true, true, ""},
      {"character outside", [] { return new ASN1::IA5String(std::string(1, char(200))); }, false, false,
       " The character '\xc8' is not valid for the string\n"},
      {"digit string letter", [] { return new ASN1::NumericString("12a"); }, false, false,
       " The character 'a' is not valid for the string\n"},
      {"string too short", [] { return new ASN1::AbstractString(&ShortText, ""); }, false, false,
       " This AbstractString has size 0 smaller than its lower bound 1\n"},
      {"string too long", [] { return new ASN1::AbstractString(&PairText, "abc"); }, false, false,
       " This AbstractString has size 3 greater than its upper bound 2\n"},
      {"octets too long", [] { return new ASN1::OCTET_STRING(3, 'a', &PairOctets); }, false, false,
       " This OCTET STRING has size 3 greater than its upper bound 2\n"},
      {"wide character outside", [] { return new ASN1::BMPString(L"a\x410", &Latin); }, false, false,
       " The character '1040' is not valid for the string\n"},
      {"no arcs", [] { return new ASN1::OBJECT_IDENTIFIER; }, false, false,
       " This OBJECT IDENTIFIER is not assigned\n"},
      {"hour 24", [] { return new ASN1::GeneralizedTime(2024, 1, 2, 24, 0, 0, 0, 0, true); }, true, true, ""},
      {"month 13", [] { return new ASN1::GeneralizedTime(2024, 13, 2, 3, 0, 0, 0, 0, true); }, false, false,
       " This GeneralizedTime is not valid\n"},
      {"no selection", [] { return new ASN1::CHOICE(&ChoiceExt); }, false, false, " This CHOICE is not selected\n"},
      {"unknown selection", [] { return new ASN1::CHOICE(&ChoiceExt, ASN1::CHOICE::UNKNOWN_SELECTION); }, false,
       false, " This selection is not understood by this decoder\n"},
      {"extension alternative",
       made<ASN1::CHOICE>(ChoiceExt, [](ASN1::CHOICE& c) { select<ASN1::BOOLEAN>(c, 2); }), true, false, ""},
      {"empty open type", [] { return new ASN1::OpenData; }, false, false,
       " This Open Type does not contain any valid data\n"},
      {"third element", made<ASN1::SEQUENCE_OF_Base>(Colors,
                                                    [](ASN1::SEQUENCE_OF_Base& list) {
                                                      list.append(ASN1::ENUMERATED(0, &Color));
                                                      list.append(ASN1::ENUMERATED(1, &Color));
                                                      list.append(ASN1::ENUMERATED(7, &Color));
                                                    }),
       false, false, "[2] This ENUMERATED has invalid value 7\n"},
      // An absent field is not looked at; a present one is, down the path.
      {"absent field", made<ASN1::SEQUENCE>(Message,
                                            [](ASN1::SEQUENCE& m) {
                                              optional<ASN1::INTEGER>(m, MessageSlot).setValue(2000);
                                              m.removeOptionalField(MessageSlot);
                                              select<ASN1::Null>(field<ASN1::CHOICE>(m, MessagePdu), PduSignal);
                                            }),
       true, true, ""},
      {"nested field", made<ASN1::SEQUENCE>(Message,
                                            [](ASN1::SEQUENCE& m) {
                                              createTrunk(m);
                                              optional<ASN1::INTEGER>(m, MessageSlot).setValue(2000);
                                            }),
       false, false, ".slot The INTEGER value 2000 is greater than upper bound 1023\n"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<AbstractData> value(c.value());
    EXPECT_EQ(value->isValid(), c.valid) << c.what;
    EXPECT_EQ(value->isStrictlyValid(), c.strict) << c.what;
    EXPECT_EQ(traced(*value), c.trace) << c.what;
  }

  ASN1::SEQUENCE message(&Message);
  createTrunk(message);
  EXPECT_EQ(traced(message, "msg"), "");
  static_cast<ASN1::CHOICE&>(*message.getField(MessagePdu)).setSelection(ASN1::CHOICE::NO_SELECTION, nullptr);
  EXPECT_EQ(traced(message, "msg"), "msg.pdu This CHOICE is not selected\n");
}
