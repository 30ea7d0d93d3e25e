// Differential test against Erlang's asn1: the values that regenerate.py made
// Erlang encode, in aligned PER and in BER, are built here from the type records
// and must give the same octets, and the octets must decode back to the same
// values. The same values read back from their value notation.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "messages/LGCP/LGCP.h"
#include "messages/MON/MON.h"
#include "tests/asn1/test_util.h"
#include "tests/messages/message_fill.h"

namespace {

struct Case {
  std::string type, alternative, variant;
  std::vector<char> octets;
  std::string name() const { return type + " " + alternative + " " + variant; }
};

std::vector<Case> loadCases(const char* rule = "per") {
  std::ifstream in(std::string(MESSAGES_VECTORS_DIR "/") + rule + "_vectors.txt");
  std::vector<Case> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Case c;
    std::string hex;
    fields >> c.type >> c.alternative >> c.variant >> hex;
    if (hex != "-") c.octets = fromHex(hex);
    cases.push_back(c);
  }
  return cases;
}

int alternativeIndex(const ASN1::CHOICE::InfoType* info, const std::string& name) {
  for (unsigned i = 0; i < info->totalChoices; ++i)
    if (name == info->selectionNames[i]) return static_cast<int>(i);
  ADD_FAILURE() << "no alternative " << name;
  return 0;
}

std::unique_ptr<ASN1::AbstractData> emptyValue(const std::string& type) {
  if (type == "LGCP::Command") return std::make_unique<LGCP::Command>();
  if (type == "LGCP::Signal") return std::make_unique<LGCP::Signal>();
  if (type == "LGCP::IoctlParams") return std::make_unique<LGCP::IoctlParams>();
  if (type == "LGCP::CreateParams") return std::make_unique<LGCP::CreateParams>();
  if (type == "MON::Message") return std::make_unique<MON::Message>();
  ADD_FAILURE() << "unknown type " << type;
  return std::make_unique<LGCP::Command>();
}

// The value of a case, filled as regenerate.py fills it.
std::unique_ptr<ASN1::AbstractData> build(const Case& c) {
  std::unique_ptr<ASN1::AbstractData> value = emptyValue(c.type);
  auto* message = dynamic_cast<MON::Message*>(value.get());
  auto* choice = message ? nullptr : static_cast<ASN1::CHOICE*>(value.get());
  std::string name = c.alternative;
  if (message) {  // "kind.alternative"
    MON::PDU& pdu = message->mutable_pdu();
    int k = alternativeIndex(pdu.info(), name.substr(0, name.find('.')));
    name = name.substr(name.find('.') + 1);
    choice = static_cast<ASN1::CHOICE*>(pdu.setSelection(k, freshValue(pdu.info()->selectionInfos[k])));
  }
  int id = alternativeIndex(choice->info(), name);
  MessagesTest::Filler(c.variant == "full", id).fillAlternative(*choice, id);
  return value;
}

TEST(MessageVectors, CoverEveryAlternativeTwice) {
  std::vector<Case> cases = loadCases();
  auto count = [&](const char* type) {
    return std::count_if(cases.begin(), cases.end(), [type](const Case& c) { return c.type == type; });
  };
  EXPECT_EQ(count("LGCP::Command"), 2 * 15);
  EXPECT_EQ(count("LGCP::Signal"), 2 * 23);
  EXPECT_EQ(count("LGCP::IoctlParams"), 2 * 38);
  EXPECT_EQ(count("LGCP::CreateParams"), 2 * 20);
  EXPECT_EQ(count("MON::Message"), 2 * (4 + 4 + 1));
}

TEST(MessageVectors, EncodeAndDecodeAsErlangDoes) {
  const std::pair<const char*, int> rules[] = {{"per", ASN1::CoderEnv::per_Aligned}, {"ber", ASN1::CoderEnv::ber}};
  for (const auto& rule : rules) {
    std::vector<Case> cases = loadCases(rule.first);
    EXPECT_EQ(cases.size(), 2u * (15 + 23 + 38 + 20 + 9)) << rule.first;
    for (const Case& c : cases) {
      std::unique_ptr<ASN1::AbstractData> expected = build(c);
      EXPECT_EQ(encodeHex(*expected, rule.second), toHex(c.octets)) << rule.first << " " << c.name();
      std::unique_ptr<ASN1::AbstractData> decoded = emptyValue(c.type);
      ASSERT_TRUE(decodeInto(c.octets, *decoded, rule.second)) << rule.first << " " << c.name();
      EXPECT_TRUE(*decoded == *expected) << rule.first << " " << c.name();
    }
  }
}

// Cut short anywhere, a message's BER never decodes (its outer length is
// past the end), and the decoder reads nothing beyond what it was given.
TEST(MessageVectors, TruncatedBerNeverDecodes) {
  for (const Case& c : loadCases("ber")) {
    for (std::size_t n = 0; n < c.octets.size(); ++n) {
      std::vector<char> cut(c.octets.begin(), c.octets.begin() + n);
      std::unique_ptr<ASN1::AbstractData> value = emptyValue(c.type);
      EXPECT_FALSE(decodeInto(cut, *value, ASN1::CoderEnv::ber)) << c.name() << " cut to " << n;
    }
  }
}

// What the printer writes for a message reads back, through the value-notation
// rule of the coder entry, into an equal message.
TEST(MessageVectors, ValueNotationReadsBack) {
  for (const Case& c : loadCases()) {
    std::unique_ptr<ASN1::AbstractData> expected = build(c);
    std::vector<char> text;
    ASSERT_TRUE(encode(*expected, text, ASN1::CoderEnv::avn)) << c.name();
    EXPECT_EQ(std::string(text.begin(), text.end()), expected->asValueNotation());
    std::unique_ptr<ASN1::AbstractData> parsed = emptyValue(c.type);
    ASSERT_TRUE(decodeInto(text, *parsed, ASN1::CoderEnv::avn)) << c.name() << "\n" << *expected;
    EXPECT_TRUE(*parsed == *expected) << c.name() << "\n" << *parsed << "\n" << *expected;
  }
}

}  // namespace
