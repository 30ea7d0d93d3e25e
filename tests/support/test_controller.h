#pragma once
// A controller for tests: sends LGCP::Message values over a TpktClient and
// decodes what comes back. Messages are also described in one short line
// ("seq=7 slot=5 success", "slot=3 signal transmitter active 12",
// "error unexpectedMsgType") so that tests compare whole exchanges.
//
// Header only: it needs the message modules, which the support library
// does not link; a test that includes it links `messages`.
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM.h"
#include "tests/support/tpkt_client.h"

namespace testing_support {

class TestController : public TpktClient {
public:
  // Encodes the message in aligned PER and sends it in one frame.
  bool send(const LGCP::Message& msg) {
    std::vector<char> bytes;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    return env.encode(msg, bytes) && send_payload(std::string(bytes.begin(), bytes.end()));
  }

  // Sends a command with `seq` and `slot` when they are not negative; fill
  // selects and fills the command, e.g. [](LGCP::Command& c) { c.select_ping(); }.
  template <class Fill>
  bool command(int seq, int slot, Fill fill) {
    LGCP::Message msg;
    if (seq >= 0)
      msg.set_seq(seq);
    if (slot >= 0)
      msg.set_slot(static_cast<unsigned>(slot));
    fill(msg.mutable_pdu().select_command());
    return send(msg);
  }

  // Takes every payload received so far and describes each (with details
  // when asked); an undecodable one is "undecodable".
  std::vector<std::string> drain(bool details = false) {
    poll();
    std::vector<std::string> lines;
    for (const std::string& payload : payloads()) {
      LGCP::Message msg;
      lines.push_back(!decode(payload, msg) ? "undecodable" : details ? describe_details(msg) : describe(msg));
    }
    payloads().clear();
    return lines;
  }

  static bool decode(const std::string& payload, LGCP::Message& msg) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    return env.decode(payload.data(), payload.data() + payload.size(), msg, true);
  }

  static std::string describe(const LGCP::Message& msg) {
    std::string text;
    if (msg.has_seq())
      text += "seq=" + std::to_string(msg.get_seq().getValue()) + " ";
    if (msg.has_slot())
      text += "slot=" + std::to_string(msg.get_slot().getValue()) + " ";
    const LGCP::PDU& pdu = msg.get_pdu();
    if (pdu.is_response()) {
      const LGCP::Response& r = pdu.get_response();
      if (r.is_success())
        return text + "success";
      const char* name = r.get_error().getName();
      return text + "error " + (name ? name : std::to_string(r.get_error().getValue()));
    }
    if (pdu.is_signal()) {
      const LGCP::Signal& s = pdu.get_signal();
      text += "signal ";
      text += s.getSelectionName() ? s.getSelectionName() : "?";
      if (s.is_receiver() || s.is_transmitter()) {
        const LGCP::Stream& stream = s.is_receiver() ? s.get_receiver() : s.get_transmitter();
        text += stream.is_active() ? " active " + std::to_string(stream.get_active().getValue()) : " inactive";
      }
      return text;
    }
    const char* name = pdu.get_command().getSelectionName();
    return text + "command " + (name ? name : "?");
  }

  // describe() with what it leaves out of some signals: a userData signal's
  // bytes as text, an abort's code, an ED-137 rtpExt report's far end, a
  // LEMZ one's command and source, an ioctl signal's response (and a
  // stopRecording's cause).
  static std::string describe_details(const LGCP::Message& msg) {
    std::string line = describe(msg);
    if (!msg.get_pdu().is_signal())
      return line;
    const LGCP::Signal& sig = msg.get_pdu().get_signal();
    if (sig.is_userData())
      line += " " + std::string(sig.get_userData());
    if (sig.is_abort())
      line += " " + std::to_string(sig.get_abort().getValue());
    if (sig.is_rtpExt() && sig.get_rtpExt().has_request() && sig.get_rtpExt().get_request().is_ed_137())
      line += " " + sig.get_rtpExt().get_request().get_ed_137().get_addr().get_session_addr().getValue();
    if (sig.is_rtpExt() && sig.get_rtpExt().has_request() && sig.get_rtpExt().get_request().is_lemz()) {
      const TERM::LemzRadioModifier& m = sig.get_rtpExt().get_request().get_lemz();
      const char* command = m.get_params().getSelectionName();
      line += std::string(" ") + (command ? command : "?") + " " + m.get_addr().get_session_addr().getValue();
    }
    if (sig.is_ioctl()) {
      const LGCP::IoctlResponse& r = sig.get_ioctl();
      line += std::string(" ") + (r.getSelectionName() ? r.getSelectionName() : "?");
      if (r.is_stopRecording())
        line += std::string(" ") + (r.get_stopRecording().getName() ? r.get_stopRecording().getName() : "?");
    }
    return line;
  }
};

}  // namespace testing_support
