// Encode and decode of controller link messages, ns per message: a ping, the
// create command of an RTP slot and a full resources report (query signal).
#include <benchmark/benchmark.h>

#include <vector>

#include "asn1/coder_env.h"
#include "messages/ACP/ACP.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM.h"

namespace {

LGCP::Message ping() {
  LGCP::Message m;
  m.set_seq(1);
  m.mutable_pdu().select_command().select_ping();
  return m;
}

LGCP::Message createRtp() {
  LGCP::Message m;
  m.set_seq(4711);
  m.set_slot(129);
  LGCP::CreateRtpParams& rtp = m.mutable_pdu().select_command().select_create().select_rtp();
  TERM::RtpParams& codec = rtp.mutable_codecRTP();
  codec.set_payload(TERM::Payload::ptG729);
  codec.mutable_dhost().set_iaddr("192.168.10.20");
  codec.mutable_dhost().set_port(40000);
  codec.mutable_shost().set_iaddr("192.168.10.1");
  codec.mutable_shost().set_port(40002);
  codec.mutable_jitter().set_start(40);
  codec.mutable_jitter().set_max(120);
  codec.set_pfactor(2);
  codec.set_vad(false);
  codec.set_ssrc(0x12345678u);
  codec.set_ttl(64);
  codec.set_qos_dscp(TERM::IpQoSDSCP::ef);
  rtp.set_txPayload(TERM::Payload::ptG729);
  rtp.set_rxPayload(TERM::Payload::ptG729);
  return m;
}

LGCP::Message resourcesReport() {
  LGCP::Message m;
  m.set_seq(1);
  LGCP::Resources& r = m.mutable_pdu().select_signal().select_query();
  r.set_boardMajor(3);
  r.set_boardMinor(2);
  ACP::VersionInfo& version = r.mutable_drvVersion();
  version.set_type(ACP::BuildType::release);
  version.set_version("4.12.7");
  version.set_date("2024-05-17 10:42");
  version.set_revision(18231);
  r.set_rtp_g729(64);
  r.set_rtp_g723(32);
  r.set_rtp_g711(128);
  r.set_rtp_g711mcc(32);
  r.set_modem(8);
  for (int unit = 0; unit < 4; ++unit) {
    LGCP::MixerResources_subtype mixer;
    mixer.set_unit(unit);
    mixer.set_tdm_inputs(32);
    mixer.set_tdm_outputs(32);
    mixer.set_mixer_inputs(64);
    mixer.set_dpu_per_mixer(2);
    mixer.set_dpu_per_ec(3);
    mixer.set_dpu_per_lms(1);
    r.mutable_mixer().push_back(mixer);
  }
  r.set_mux(true);
  r.set_mcc_data(16);
  r.set_mcc_bri(8);
  r.set_mcc_trans(16);
  for (int bus = 0; bus < 4; ++bus) r.mutable_echoBus().push_back(ASN1::INTEGER(bus, &ASN1::INTEGER::theInfo));
  r.set_t38_instances(8);
  r.set_digital_modems(4);
  r.set_lin16(32);
  r.set_universal(16);
  return m;
}

std::vector<char> encoded(const LGCP::Message& m) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> out;
  if (!ASN1::encode(m, &env, std::back_inserter(out))) out.clear();
  return out;
}

// The octets decode to a message that encodes to the same octets again.
// Besides, every encode and decode of the measured loops must succeed.
bool roundTrips(const std::vector<char>& octets) {
  LGCP::Message back;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  return !octets.empty() && ASN1::decode(octets.data(), octets.data() + octets.size(), &env, back, true) &&
         encoded(back) == octets;
}

void Encode(benchmark::State& state, LGCP::Message (*make)()) {
  const LGCP::Message message = make();
  std::vector<char> out;
  for (auto _ : state) {
    out.clear();
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    bool done = ASN1::encode(message, &env, std::back_inserter(out));
    benchmark::DoNotOptimize(done);
    if (!done) {
      state.SkipWithError("encode failed");
      break;
    }
  }
  if (!state.error_occurred() && !roundTrips(out))
    state.SkipWithError("the octets do not decode back");
  if (!state.error_occurred())
    state.SetLabel(std::to_string(out.size()) + " octets");
}

void Decode(benchmark::State& state, LGCP::Message (*make)()) {
  const std::vector<char> octets = encoded(make());
  if (!roundTrips(octets))
    state.SkipWithError("the octets do not decode back");
  for (auto _ : state) {
    LGCP::Message message;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    bool done = ASN1::decode(octets.data(), octets.data() + octets.size(), &env, message, true);
    benchmark::DoNotOptimize(done);
    if (!done) {
      state.SkipWithError("decode failed");
      break;
    }
  }
}

void EncodeDecode(benchmark::State& state, LGCP::Message (*make)()) {
  const LGCP::Message message = make();
  std::vector<char> out;
  for (auto _ : state) {
    out.clear();
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    bool done = ASN1::encode(message, &env, std::back_inserter(out));
    LGCP::Message back;
    done = ASN1::decode(out.data(), out.data() + out.size(), &env, back, true) && done;
    benchmark::DoNotOptimize(done);
    if (!done) {
      state.SkipWithError("encode or decode failed");
      break;
    }
  }
  if (!state.error_occurred() && !roundTrips(out))
    state.SkipWithError("the octets do not decode back");
}

BENCHMARK_CAPTURE(Encode, ping, ping);
BENCHMARK_CAPTURE(Decode, ping, ping);
BENCHMARK_CAPTURE(EncodeDecode, ping, ping);
BENCHMARK_CAPTURE(Encode, create_rtp, createRtp);
BENCHMARK_CAPTURE(Decode, create_rtp, createRtp);
BENCHMARK_CAPTURE(EncodeDecode, create_rtp, createRtp);
BENCHMARK_CAPTURE(Encode, resources_report, resourcesReport);
BENCHMARK_CAPTURE(Decode, resources_report, resourcesReport);
BENCHMARK_CAPTURE(EncodeDecode, resources_report, resourcesReport);

}  // namespace

BENCHMARK_MAIN();
