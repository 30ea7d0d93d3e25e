// The generated records and name tables where the wire vectors do not reach them:
// names as they stand, the off-link extension additions, enumeration tables and
// the set of types the two link messages reach.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <typeinfo>

#include "messages/ACP/ACP.h"
#include "messages/LEMZGW/LEMZGW.h"
#include "messages/LGCP/LGCP.h"
#include "messages/MON/MON.h"
#include "messages/TERM/TERM.h"

namespace {

typedef ASN1::AbstractData::InfoType Record;

TEST(MessageRecords, NamesAndExtensionAdditions) {
  EXPECT_STREQ(LGCP::Command::theInfo.selectionNames[14], "protoLemz");
  EXPECT_STREQ(LGCP::CreateParams::theInfo.selectionNames[8], "trunk_bri");
  EXPECT_STREQ(LGCP::CreateParams::theInfo.selectionNames[16], "spi-tdm");
  EXPECT_STREQ(TERM::LemzRadioStatus::theInfo.fieldNames[3], "squelshe");
  EXPECT_STREQ(LGCP::IVAParams::theInfo.fieldNames[0], "det_lvl_dB");

  // Off-link types with extension additions (no wire vectors reach them).
  const TERM::TermParams::InfoType& params = TERM::TermParams::theInfo;
  EXPECT_EQ(params.numFields, 6u);
  EXPECT_EQ(params.numOptional, 6u);
  EXPECT_EQ(params.knownExtensions, 13u);
  for (unsigned i = 6; i < 19; ++i) EXPECT_EQ(params.fieldIds[i], 0);
  EXPECT_STREQ(params.fieldNames[18], "radio-command");
  EXPECT_EQ(TERM::ISDN_NumberType::theInfo.knownExtensions, 1u);
  EXPECT_EQ(ACP::AcpCommand::theInfo.numChoices, 6u);
  EXPECT_EQ(ACP::AcpCommand::theInfo.totalChoices, 17u);
  EXPECT_EQ(ACP::AcpResponse::theInfo.numChoices, 2u);
  EXPECT_EQ(ACP::AcpResponse::theInfo.totalChoices, 9u);
  // An extension addition is present through the extension map only.
  TERM::TermParams value;
  value.set_traceLevel(3);
  EXPECT_TRUE(value.hasOptionalField(6));
  EXPECT_EQ(value.optionalMap().size(), 6u);
  EXPECT_FALSE(value.optionalMap()[0]);
}

TEST(MessageRecords, EnumerationTables) {
  // Values carried in names, gaps and repeats.
  EXPECT_STREQ(TERM::IpQoSDSCP::theInfo.names[23], "count=23");
  EXPECT_EQ(TERM::IpQoSDSCP::theInfo.maxEnumValue, 56u);
  EXPECT_EQ(TERM::ED137CauseCode::radio_invalid_multicast_values, 2015);
  EXPECT_EQ(LEMZGW::ProtoLemzAnalogGainIDV2::min, 11);
  EXPECT_EQ(LEMZGW::ProtoLemzCountersNSizes::theInfo.numNames, 7u);

  // Payload alternative i belongs to the message identifier named by entry i.
  const ASN1::ENUMERATED::InfoType& ids = LEMZGW::ProtoLemzMsgID::theInfo;
  const ASN1::CHOICE::InfoType& payload = LEMZGW::ProtoLemzPacketPayload::theInfo;
  ASSERT_EQ(ids.numNames, 66u);
  ASSERT_EQ(payload.totalChoices, 66u);
  for (unsigned i = 0; i < 66; ++i) {
    std::string name = ids.names[i];
    EXPECT_EQ(name.substr(0, name.find('=')), payload.selectionNames[i]);
  }
}

void reach(const Record* r, std::set<const Record*>& seen) {
  if (!seen.insert(r).second) return;
  std::unique_ptr<ASN1::AbstractData> value(r->create(r));
  if (auto* seq = dynamic_cast<ASN1::SEQUENCE*>(value.get())) {
    for (unsigned i = 0; i < seq->info()->numFields + seq->info()->knownExtensions; ++i)
      reach(seq->info()->fieldInfos[i], seen);
  } else if (auto* choice = dynamic_cast<ASN1::CHOICE*>(value.get())) {
    for (unsigned i = 0; i < choice->info()->totalChoices; ++i) reach(choice->info()->selectionInfos[i], seen);
  } else if (auto* list = dynamic_cast<ASN1::SEQUENCE_OF_Base*>(value.get())) {
    reach(list->info()->itemInfo, seen);
  }
}

TEST(MessageRecords, TypesReachableFromTheLinkMessages) {
  std::set<const Record*> seen;
  reach(&LGCP::Message::theInfo, seen);
  reach(&MON::Message::theInfo, seen);
  std::map<std::string, int> kinds;
  for (const Record* r : seen) {
    // Values made from a record are of its class and keep it when cloned.
    std::unique_ptr<ASN1::AbstractData> value(r->create(r));
    EXPECT_EQ(value->infoPointer(), r);
    if (dynamic_cast<ASN1::SEQUENCE*>(value.get())) ++kinds["SEQUENCE"];
    if (dynamic_cast<ASN1::CHOICE*>(value.get())) ++kinds["CHOICE"];
    if (dynamic_cast<ASN1::ENUMERATED*>(value.get())) ++kinds["ENUMERATED"];
    if (dynamic_cast<ASN1::AbstractString*>(value.get()) && r != &ASN1::IA5String::theInfo) ++kinds["string"];
    std::unique_ptr<ASN1::AbstractData> copy(value->clone());
    const ASN1::AbstractData &original = *value, &cloned = *copy;
    EXPECT_EQ(typeid(cloned), typeid(original));
    EXPECT_TRUE(cloned == original);
  }
  EXPECT_EQ(kinds["SEQUENCE"], 215);
  EXPECT_EQ(kinds["CHOICE"], 61);
  EXPECT_EQ(kinds["ENUMERATED"], 71);
  EXPECT_EQ(kinds["string"], 1);  // the sized IA5String
}

}  // namespace
