// Complete encodings of controller link and agent link messages, built and
// read through the generated typed accessors.
#include <gtest/gtest.h>

#include <utility>

#include "messages/LEMZGW/LEMZGW.h"
#include "messages/LGCP/LGCP.h"
#include "messages/MON/MON.h"
#include "messages/TERM/TERM.h"
#include "tests/asn1/test_util.h"
#include "tests/messages/round_trip.h"

using MessagesTest::expectRoundTrips;

namespace {

TEST(ControllerMessages, CompleteEncodingsBothWays) {
  LGCP::Message query, ping, pingSeq, success, error;
  query.mutable_pdu().select_command().select_query();
  ping.mutable_pdu().select_command().select_ping();
  pingSeq = ping;
  pingSeq.set_seq(1);
  success.set_seq(1);
  success.set_slot(5);
  success.mutable_pdu().select_response().select_success();
  error.set_seq(7);
  error.set_slot(5);
  error.mutable_pdu().select_response().select_error() = LGCP::ErrorCause::unexpectedMsgType;
  const std::pair<const LGCP::Message*, const char*> cases[] = {
      {&query, "0000"}, {&ping, "0600"}, {&pingSeq, "80010118"}, {&success, "C00101000540"}, {&error, "C00107000564"}};
  for (const auto& c : cases) {
    EXPECT_EQ(encodeHex(*c.first), c.second);
    LGCP::Message back;
    ASSERT_TRUE(decodeHex(c.second, back)) << c.second;
    EXPECT_TRUE(back == *c.first) << c.second;
    expectRoundTrips(*c.first);
  }
}

TEST(ControllerMessages, DecodeAsTheControlServerDoes) {
  LGCP::Message ping;
  ASSERT_TRUE(decodeHex("80010118", ping));
  EXPECT_FALSE(ping.has_slot());
  EXPECT_TRUE(ping.get_pdu().get_command().is_ping());
  LGCP::Message error;
  ASSERT_TRUE(decodeHex("C00107000564", error));
  EXPECT_EQ(error.get_pdu().get_response().get_error().getValue(), LGCP::ErrorCause::unexpectedMsgType);
  // What a message does not hold reads as a default value, never as a null object.
  EXPECT_EQ(ping.get_slot().getValue(), 0u);
  EXPECT_EQ(ping.get_pdu().get_response().currentSelection(), ASN1::CHOICE::NO_SELECTION);
  EXPECT_FALSE(ping.get_pdu().get_command().get_create().is_rtp());
  ping.removeOptionalField(0);
  EXPECT_EQ(ping.get_seq().getValue(), 0);

  // A command whose extension bit names an alternative this module does not know.
  LGCP::Message unknown;
  EXPECT_FALSE(decodeHex("08000100", unknown));
}

TEST(ControllerMessages, IncompleteAndOutOfRangeValuesDoNotEncode) {
  LGCP::Message message;  // no pdu alternative selected yet
  EXPECT_EQ(encodeHex(message), "FAIL");

  message.mutable_pdu().select_command().select_connect().setValue(1023);
  message.set_slot(1024);  // stored as it is, refused by the encoder
  EXPECT_EQ(encodeHex(message), "FAIL");
  message.set_slot(1023);
  EXPECT_EQ(encodeHex(message), "4003FF0403FF");
}

// (Every alternative of the command, signal, ioctl and create choices is in the
// differential vectors of vectors_test.cpp.)
TEST(ControllerMessages, ChoiceIndexesAndExtensions) {
  LGCP::RtpEvent rtp;  // a single root alternative: no index on the wire
  LGCP::RtpPDEvent& pd = rtp.select_pd();
  pd.set_value(1);
  pd.set_timeout(2);
  EXPECT_EQ(encodeHex(rtp), "01010102");
  expectRoundTrips(rtp);

  LGCP::TonecCode done;  // the extension addition travels as an open type
  done.select_dtmfDone();
  EXPECT_EQ(encodeHex(done), "800100");
  LGCP::TonecCode decoded;
  ASSERT_TRUE(decodeHex("800100", decoded));
  EXPECT_TRUE(decoded.is_dtmfDone());
  expectRoundTrips(done);
}

TEST(ParameterTypes, RtpParamsAndEnumerations) {
  TERM::RtpParams rtp;  // extension bit and 12 presence bits, then the payload
  rtp.set_payload(TERM::Payload::ptG729);
  rtp.mutable_dhost().set_iaddr("a");
  rtp.mutable_dhost().set_port(5000);
  EXPECT_EQ(encodeHex(rtp), "00018001611388");
  rtp.set_dname("xy");  // the one sized string: 1..64 characters
  EXPECT_EQ(encodeHex(rtp), "20018001611388047879");
  expectRoundTrips(rtp);
  rtp.set_dname("");
  EXPECT_EQ(encodeHex(rtp), "FAIL");

  EXPECT_EQ(encodeHex(TERM::IpQoSDSCP(TERM::IpQoSDSCP::ef)), "B8");  // value 46 in 6 bits (0..56)
  EXPECT_EQ(encodeHex(TERM::RadioSquelshe(TERM::RadioSquelshe::persent_100)), "CE");  // 103 in 7 bits
  EXPECT_EQ(encodeHex(TERM::ED137CauseCode(TERM::ED137CauseCode::radio_no_permissions)), "000833");  // 0..2099
  TERM::RadioStandby standby(TERM::RadioStandby::not_use);  // -1: outside 0..1
  EXPECT_EQ(encodeHex(standby), "FAIL");
  expectRoundTrips(standby);  // -1 in BER and by its name
  standby = TERM::RadioStandby::standby;
  EXPECT_EQ(encodeHex(standby), "80");
}

TEST(RadioPackets, ListsAndEnumerations) {
  LEMZGW::ProtoLemzPackets packets;
  EXPECT_EQ(encodeHex(packets), "0000");

  // 0..13056 in 16 aligned bits
  EXPECT_EQ(encodeHex(LEMZGW::ProtoLemzMsgID(LEMZGW::ProtoLemzMsgID::gw_get_id)), "001001");
  LEMZGW::ProtoLemzGwRadioState state(LEMZGW::ProtoLemzGwRadioState::selCh);
  EXPECT_EQ(encodeHex(state), "70");
  state.setValue(3);  // no name, still inside 0..14
  EXPECT_EQ(encodeHex(state), "18");
  expectRoundTrips(state);  // printed as the number
  LEMZGW::ProtoLemzAnalogGainIDV1 gain(LEMZGW::ProtoLemzAnalogGainIDV1::fake);  // 0..255
  EXPECT_EQ(encodeHex(gain), "00FF");

  // A packet list announcing 129 packets is refused before any is made.
  LEMZGW::ProtoLemzPackets tooMany;
  EXPECT_FALSE(decodeHex("008081", tooMany));
  EXPECT_EQ(tooMany.get_packets().size(), 0u);
}

TEST(AgentMessages, Encodings) {
  MON::Message ping;  // no extension bit, no presence bit: the 2-bit pdu index first
  ping.mutable_pdu().select_command().select_ping();
  EXPECT_EQ(encodeHex(ping), "18");

  MON::SnmpTrapsink sink;
  sink.set_host("ho");
  sink.set_port(162);
  EXPECT_EQ(encodeHex(sink), "4002686F0200A2");
  expectRoundTrips(ping);
  expectRoundTrips(sink);
  MON::SnmpTrapsink back;
  ASSERT_TRUE(decodeHex("4002686F0200A2", back));
  EXPECT_EQ(back.get_host().getValue(), "ho");
  EXPECT_EQ(back.get_port().getValue(), 162);
}

}  // namespace
