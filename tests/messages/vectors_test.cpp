// Differential test against Erlang's asn1: the values that regenerate.py made
// Erlang encode are built here from the type records and must give the same
// octets, and the octets must decode back to the same values.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "messages/LGCP/LGCP.h"
#include "messages/MON/MON.h"
#include "tests/messages/message_fill.h"

namespace {

struct Case {
  std::string type, alternative, variant;
  std::vector<char> octets;
  std::string name() const { return type + " " + alternative + " " + variant; }
};

std::vector<Case> loadCases() {
  std::ifstream in(MESSAGES_VECTORS);
  std::vector<Case> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Case c;
    std::string hex;
    fields >> c.type >> c.alternative >> c.variant >> hex;
    for (std::size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
      c.octets.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
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
  bool full = c.variant == "full";
  if (auto* message = dynamic_cast<MON::Message*>(value.get())) {
    std::string kind = c.alternative.substr(0, c.alternative.find('.'));
    std::string inner = c.alternative.substr(kind.size() + 1);
    MON::PDU& pdu = message->mutable_pdu();
    int k = alternativeIndex(pdu.info(), kind);
    const ASN1::AbstractData::InfoType* record = pdu.info()->selectionInfos[k];
    auto& choice = static_cast<ASN1::CHOICE&>(*pdu.setSelection(k, record->create(record)));
    int id = alternativeIndex(choice.info(), inner);
    MessagesTest::Filler(full, id).fillAlternative(choice, id);
  } else {
    auto& choice = static_cast<ASN1::CHOICE&>(*value);
    int id = alternativeIndex(choice.info(), c.alternative);
    MessagesTest::Filler(full, id).fillAlternative(choice, id);
  }
  return value;
}

std::string hex(const std::vector<char>& octets) {
  std::string out;
  char buf[3];
  for (char c : octets) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

TEST(MessageVectors, CoverEveryAlternativeTwice) {
  std::vector<Case> cases = loadCases();
  auto count = [&](const std::string& type) {
    int n = 0;
    for (const Case& c : cases) n += c.type == type;
    return n;
  };
  EXPECT_EQ(count("LGCP::Command"), 2 * 15);
  EXPECT_EQ(count("LGCP::Signal"), 2 * 23);
  EXPECT_EQ(count("LGCP::IoctlParams"), 2 * 38);
  EXPECT_EQ(count("LGCP::CreateParams"), 2 * 20);
  EXPECT_EQ(count("MON::Message"), 2 * (4 + 4 + 1));
}

TEST(MessageVectors, EncodeAsErlangDoes) {
  for (const Case& c : loadCases()) {
    std::unique_ptr<ASN1::AbstractData> value = build(c);
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    ASSERT_TRUE(ASN1::encode(*value, &env, std::back_inserter(out))) << c.name();
    EXPECT_EQ(hex(out), hex(c.octets)) << c.name();
  }
}

TEST(MessageVectors, DecodeErlangOctets) {
  for (const Case& c : loadCases()) {
    std::unique_ptr<ASN1::AbstractData> expected = build(c);
    std::unique_ptr<ASN1::AbstractData> decoded = emptyValue(c.type);
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    ASSERT_TRUE(ASN1::decode(c.octets.data(), c.octets.data() + c.octets.size(), &env, *decoded, true)) << c.name();
    EXPECT_TRUE(*decoded == *expected) << c.name();
    std::vector<char> again;
    ASSERT_TRUE(ASN1::encode(*decoded, &env, std::back_inserter(again))) << c.name();
    EXPECT_EQ(hex(again), hex(c.octets)) << c.name();
  }
}

}  // namespace
