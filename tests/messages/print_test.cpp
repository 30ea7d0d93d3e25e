// Messages in the value notation of the traces.
#include <gtest/gtest.h>

#include <sstream>

#include "asn1/printer.h"
#include "asn1/validity.h"
#include "messages/LEMZGW/LEMZGW.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM.h"
#include "tests/messages/round_trip.h"

namespace {

// Every value printed here also reads back, from this text and from BER.
std::string print(const ASN1::AbstractData& value) {
  MessagesTest::expectRoundTrips(value);
  std::ostringstream out;
  out << value;
  return out.str();
}

LGCP::Message answer(unsigned seq, unsigned slot) {
  LGCP::Message message;
  message.set_seq(seq);
  message.set_slot(slot);
  return message;
}

TEST(MessagePrinting, CommandsAndResponses) {
  LGCP::Message create = answer(7, 33);
  LGCP::TrunkParams& trunk = create.mutable_pdu().select_command().select_create().select_trunk();
  trunk.set_trunk(1);
  trunk.set_timeslot(1);
  EXPECT_EQ(print(create),
            "{\n"
            "  seq 7,\n"
            "  slot 33,\n"
            "  pdu command : create : trunk : {\n"
            "    trunk 1,\n"
            "    timeslot 1\n"
            "  }\n"
            "}");

  LGCP::Message success = answer(7, 33);
  success.mutable_pdu().select_response().select_success();
  EXPECT_EQ(print(success), "{\n  seq 7,\n  slot 33,\n  pdu response : success : NULL\n}");

  LGCP::Message error = answer(7, 33);
  error.mutable_pdu().select_response().select_error() = LGCP::ErrorCause::unexpectedMsgType;
  EXPECT_EQ(print(error), "{\n  seq 7,\n  slot 33,\n  pdu response : error : unexpectedMsgType\n}");

  LGCP::Message data = answer(7, 33);
  data.mutable_pdu().select_command().select_userData() = ASN1::OCTET_STRING::Octets{1, 2, '\xff'};
  EXPECT_EQ(print(data), "{\n  seq 7,\n  slot 33,\n  pdu command : userData : '01 02 ff'H\n}");
}

// Every field of the report under its own name, in order; a list at its depth.
TEST(MessagePrinting, ResourcesReport) {
  LGCP::Resources report;
  report.set_boardMajor(1);
  report.set_rtp_g711mcc(6);
  report.set_mux(true);
  report.set_mcc_trans(11);
  report.mutable_echoBus().push_back(ASN1::INTEGER(7, &ASN1::INTEGER::theInfo));
  report.set_universal(-1);
  EXPECT_EQ(print(report),
            "{\n"
            "  boardMajor 1,\n"
            "  boardMinor 0,\n"
            "  rtp-g729 0,\n"
            "  rtp-g723 0,\n"
            "  rtp-g711 0,\n"
            "  rtp-g711mcc 6,\n"
            "  modem 0,\n"
            "  mixer {\n"
            "  },\n"
            "  mux TRUE,\n"
            "  mcc-data 0,\n"
            "  mcc-bri 0,\n"
            "  mcc-trans 11,\n"
            "  echoBus {\n"
            "    7\n"
            "  },\n"
            "  t38-instances 0,\n"
            "  digital-modems 0,\n"
            "  lin16 0,\n"
            "  universal -1\n"
            "}");
}

TEST(MessagePrinting, EnumerationNamesCarryTheirValues) {
  EXPECT_EQ(print(TERM::IpQoSDSCP(TERM::IpQoSDSCP::ef)), "ef=46");
  EXPECT_EQ(print(TERM::IpQoSDSCP(TERM::IpQoSDSCP::le)), "le");
  EXPECT_EQ(print(TERM::RadioStandby(TERM::RadioStandby::not_use)), "not-use=-1");
  EXPECT_EQ(print(TERM::RadioSquelshe(TERM::RadioSquelshe::persent_0)), "persent_0");
  EXPECT_EQ(print(LEMZGW::ProtoLemzMsgID(LEMZGW::ProtoLemzMsgID::ali_server_p1)), "ali-server-p1=13056");
  LEMZGW::ProtoLemzGwRadioState state;
  state.setValue(3);  // no name carries 3
  EXPECT_EQ(print(state), "3");
  // Repeated values print the first name that carries them.
  EXPECT_EQ(print(LEMZGW::ProtoLemzAnalogGainIDV1(LEMZGW::ProtoLemzAnalogGainIDV1::min)), "rtx1");
  EXPECT_EQ(print(LEMZGW::ProtoLemzAnalogGainIDV1(LEMZGW::ProtoLemzAnalogGainIDV1::max)), "rsh");  // 10
}

// Text read into a controller message: fields in order, names ended by the
// punctuation after them, the printer's multi-line form alike; a field out of
// order is refused.
TEST(MessageParsing, SampleInputs) {
  LGCP::Message connect;
  ASSERT_TRUE(connect.setFromValueNotation("{ seq 7, slot 33, pdu command : connect : 13 }"));
  LGCP::Message expected = answer(7, 33);
  expected.mutable_pdu().select_command().select_connect().setValue(13);
  EXPECT_TRUE(connect == expected) << connect;
  LGCP::Message again;
  ASSERT_TRUE(again.setFromValueNotation(expected.asValueNotation()));
  EXPECT_TRUE(again == expected);
  LGCP::Message compact;
  ASSERT_TRUE(compact.setFromValueNotation("{seq 7,slot 33,pdu response:error:unexpectedMsgType}"));
  EXPECT_EQ(compact.get_pdu().get_response().get_error().getValue(), LGCP::ErrorCause::unexpectedMsgType);

  LGCP::Message disordered;
  EXPECT_FALSE(disordered.setFromValueNotation("{ slot 33, seq 7, pdu command : ping : NULL }"));
}

// The tracer names the first field out of its range by its path.
TEST(MessagePrinting, InvalidValueTrace) {
  LGCP::Message create = answer(7, 33);
  LGCP::TrunkParams& trunk = create.mutable_pdu().select_command().select_create().select_trunk();
  trunk.set_trunk(1);
  trunk.set_timeslot(40);
  std::ostringstream out;
  EXPECT_FALSE(ASN1::trace_invalid(out, "msg", create));
  EXPECT_EQ(out.str(), "msg.pdu.command.create.trunk.timeslot The INTEGER value 40 is greater than upper bound 31\n");
  EXPECT_FALSE(create.isValid());
  trunk.set_timeslot(31);
  EXPECT_TRUE(create.isStrictlyValid());
}

}  // namespace
