// The LEMZ radio state and its translations: every command from packet to
// report and from the controller's modifier back to a state, the flag
// words, and reports that encode whatever the state holds.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "rtp/lemz_radio_state.h"

namespace {

using RTPSignalling::LemzRadioMapping;
using RTPSignalling::LemzRadioState;
using Params = TERM::LemzRadioModifierParams;

bool encodes(const TERM::RtpRadioRequest& request) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> out;
  return env.encode(request, out) && !out.empty();
}

uint32_t addr(const char* dotted) { return inet_addr(dotted); }

// What a row's record carries besides the flags.
enum Carries : unsigned {
  Flags = 1,
  Freq = 2,
  Session = 4,
  CallerId = 8,
  Remote = 16,
  Squelshe = 32,
  Rte = 64,
  StandbyChannel = 128,
  StandbyAll = 256,
  Quality = 512,
};

struct Row {
  int command;
  int alternative;
  unsigned carries;
};

// The command/alternative table; the flag commands RV, SH and PW are not in
// the order of their alternatives.
const Row Rows[] = {
    {1, 0, Flags},
    {2, 1, Freq},
    {3, 2, Flags},
    {4, 3, Flags},
    {5, 6, Flags},
    {6, 4, Flags},
    {7, 5, Flags},
    {8, 7, Flags},
    {9, 8, Flags | Session | CallerId},
    {10, 9, Remote},
    {11, 10, Squelshe},
    {12, 11, Rte},
    {13, 12, StandbyChannel},
    {129, 13, Flags},
    {130, 14, Flags | Session},
    {131, 15, Quality},
    {132, 16, Freq | Squelshe | Rte},
    {133, 17, Flags | Session | CallerId},
    {134, 18, Remote},
    {135, 19, StandbyAll},
};

// A packet of the type with distinct values in every field.
sig_proto packet(int type, uint8_t squelsh = 50, uint8_t rte = 3) {
  sig_proto p;
  sig_proto_init(&p);
  p.type = static_cast<uint32_t>(type);
  p.source_addr = addr("10.9.8.7");
  p.source_ssrc = 0x1234;
  sig_proto_set_base(&p, 3, 1, 1, 0, 1, 0, 1, 0, 1, 0, 2, 300);
  const in_addr session = {addr("10.0.0.5")};
  switch (type) {
  case 2: sig_proto_set_gw_adjust_chan(&p, 5, 123.5f); break;
  case 9: sig_proto_set_gw_selcall(&p, "4711", 4); break;
  case 10: sig_proto_set_gw_select_rc_chan(&p, 7, 9); break;
  case 11: sig_proto_set_gw_adjust_squelsh(&p, squelsh); break;
  case 12: sig_proto_set_gw_adjust_rte(&p, rte); break;
  case 13: sig_proto_set_gw_adjust_standby(&p, 1); break;
  case 130: sig_proto_set_wm_transmite(&p, session, 0xDEADBEEF); break;
  case 131: sig_proto_set_wm_radio_quality(&p, 2.25f); break;
  case 132: sig_proto_set_wm_chan(&p, 5, 123.5f, squelsh, rte); break;
  case 133: sig_proto_set_wm_selcall_transmite(&p, session, 0xDEADBEEF, "4711", 4); break;
  case 134: sig_proto_set_wm_select_rc_chan(&p, 7, 9); break;
  case 135: sig_proto_set_wm_standby(&p, 1, 200, 1); break;
  }
  return p;
}

void expectCarried(const LemzRadioState& got, const LemzRadioState& sent, unsigned carries) {
  const LemzRadioState fresh;
  const LemzRadioState& flags = carries & Flags ? sent : fresh;
  EXPECT_EQ(got.priority, flags.priority);
  const uint32_t LemzRadioState::*words[] = {&LemzRadioState::ptt, &LemzRadioState::bss, &LemzRadioState::vad_rx,
                                             &LemzRadioState::vad_tx, &LemzRadioState::sql, &LemzRadioState::sh,
                                             &LemzRadioState::pwr, &LemzRadioState::rv, &LemzRadioState::resv,
                                             &LemzRadioState::selcall, &LemzRadioState::li};
  for (auto w : words)
    EXPECT_EQ(got.*w, flags.*w);
  const LemzRadioState& freq = carries & Freq ? sent : fresh;
  EXPECT_EQ(got.channel, freq.channel);
  EXPECT_EQ(got.frequency, freq.frequency);
  const LemzRadioState& session = carries & Session ? sent : fresh;
  EXPECT_EQ(got.session_addr, session.session_addr);
  EXPECT_EQ(got.session_ssrc, session.session_ssrc);
  EXPECT_STREQ(got.caller_id, (carries & CallerId ? sent : fresh).caller_id);
  const LemzRadioState& remote = carries & Remote ? sent : fresh;
  EXPECT_EQ(got.remote_no, remote.remote_no);
  EXPECT_EQ(got.remote_ch, remote.remote_ch);
  EXPECT_EQ(got.squelshe, (carries & Squelshe ? sent : fresh).squelshe);
  EXPECT_EQ(got.rte, (carries & Rte ? sent : fresh).rte);
  EXPECT_EQ(got.standby_state_channel, (carries & (StandbyChannel | StandbyAll) ? sent : fresh).standby_state_channel);
  EXPECT_EQ(got.standby_group, (carries & StandbyAll ? sent : fresh).standby_group);
  EXPECT_EQ(got.standby_state_receiver, (carries & StandbyAll ? sent : fresh).standby_state_receiver);
  EXPECT_EQ(got.quality, (carries & Quality ? sent : fresh).quality);
}

// Packet -> state -> report -> modifier -> state, for all twenty commands.
TEST(LemzRadioState, EveryCommandFromPacketToReportAndBack) {
  for (const Row& row : Rows) {
    SCOPED_TRACE(::testing::Message() << "command " << row.command);
    LemzRadioState received;
    ASSERT_EQ(LemzRadioMapping::DecodeProto(packet(row.command), received), 0);
    EXPECT_EQ(received.command, row.command);

    TERM::RtpRadioRequest request;
    ASSERT_EQ(LemzRadioMapping::EncodeASN(LemzRadioState(), received, request), 0);
    ASSERT_TRUE(request.has_request());
    const TERM::LemzRadioModifier& modifier = request.get_request().get_lemz();
    EXPECT_EQ(modifier.get_params().currentSelection(), row.alternative);
    EXPECT_EQ(modifier.get_addr().get_session_addr().getValue(), "10.9.8.7");
    EXPECT_EQ(modifier.get_addr().get_session_ssrc().getValue(), 0x1234u);
    EXPECT_TRUE(encodes(request));

    LemzRadioState back;
    ASSERT_EQ(LemzRadioMapping::DecodeASN(modifier, back), 0);
    EXPECT_EQ(back.command, row.command);
    EXPECT_EQ(back.source_addr, addr("10.9.8.7"));
    EXPECT_EQ(back.source_ssrc, 0x1234u);
    expectCarried(back, received, row.carries);
  }
  LemzRadioState unknown;
  sig_proto p = packet(14);
  EXPECT_EQ(LemzRadioMapping::DecodeProto(p, unknown), -1);
  EXPECT_EQ(unknown.priority, 3);  // the header is taken all the same
  TERM::RtpRadioRequest request;
  EXPECT_EQ(LemzRadioMapping::EncodeASN(LemzRadioState(), unknown, request), -1);
  EXPECT_FALSE(request.has_request());
  EXPECT_TRUE(encodes(request));
}

// Each header flag lands in its own word and its own boolean, both ways.
TEST(LemzRadioState, FlagWordsAndBooleans) {
  using Getter = const ASN1::BOOLEAN& (TERM::RadioFlags::*)() const;
  const struct {
    uint32_t sig_proto::*bit;
    uint32_t LemzRadioState::*word;
    Getter flag;
  } cases[] = {
      {&sig_proto::flag_p, &LemzRadioState::ptt, &TERM::RadioFlags::get_ptt},
      {&sig_proto::flag_b, &LemzRadioState::bss, &TERM::RadioFlags::get_bss},
      {&sig_proto::flag_r, &LemzRadioState::vad_rx, &TERM::RadioFlags::get_vad_rx},
      {&sig_proto::flag_t, &LemzRadioState::vad_tx, &TERM::RadioFlags::get_vad_tx},
      {&sig_proto::flag_s, &LemzRadioState::sql, &TERM::RadioFlags::get_sql},
      {&sig_proto::flag_sh, &LemzRadioState::sh, &TERM::RadioFlags::get_sh},
      {&sig_proto::flag_pw, &LemzRadioState::pwr, &TERM::RadioFlags::get_pwr},
      {&sig_proto::flag_rv, &LemzRadioState::rv, &TERM::RadioFlags::get_rv},
      {&sig_proto::flag_rs, &LemzRadioState::resv, &TERM::RadioFlags::get_resv},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SCOPED_TRACE(i);
    sig_proto p;
    sig_proto_init(&p);
    p.type = SIG_PROTO_GW_FLAG;
    p.*cases[i].bit = 1;
    LemzRadioState s;
    LemzRadioMapping::DecodeProto(p, s);
    TERM::RtpRadioRequest request;
    LemzRadioMapping::EncodeASN(s, s, request);
    const TERM::RadioFlags& status = request.get_status().get_lemz().get_flags();
    const TERM::RadioFlags& modifier = request.get_request().get_lemz().get_params().get_gw_set_flags().get_flags();
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
      const Getter flag = cases[k].flag;
      EXPECT_EQ(s.*cases[k].word, k == i ? 1u : 0u) << k;
      EXPECT_EQ((status.*flag)().getValue(), k == i) << k;
      EXPECT_EQ((modifier.*flag)().getValue(), k == i) << k;
    }
    LemzRadioState back;
    LemzRadioMapping::DecodeASN(request.get_status().get_lemz(), back);
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k)
      EXPECT_EQ(back.*cases[k].word, k == i ? 1u : 0u) << k;
  }
}

class Collect : public LemzRadioMapping::SubstitutionLog {
public:
  void Substituted(const char* field, long value, long sent) override {
    lines += std::string(field) + " " + std::to_string(value) + "->" + std::to_string(sent) + ";";
  }
  std::string lines;
};

// Values the controller's records cannot hold (never set, or beyond their
// range) go out as 0 and are logged; values in range go out as they are.
TEST(LemzRadioState, ReportsEncodeWhateverTheStateHolds) {
  Collect log;
  TERM::RtpRadioRequest request;
  LemzRadioMapping::EncodeStatusASN(LemzRadioState(), request, &log);
  EXPECT_TRUE(encodes(request));
  EXPECT_EQ(log.lines,
            "squelshe -1->0;rte -1->0;standby-state-channel -1->0;standby-group -1->0;standby-state-receiver -1->0;");
  const TERM::LemzRadioStatus& fresh = request.get_status().get_lemz();
  EXPECT_EQ(fresh.get_squelshe().getValue(), TERM::RadioSquelshe::no_config);
  EXPECT_EQ(fresh.get_standby_state_receiver().getValue(), TERM::RadioStandby::active);
  EXPECT_EQ(fresh.get_flags().get_prio().getValue(), 15);

  // A radio that sends bytes beyond the ranges, in every packet type.
  for (const Row& row : Rows) {
    SCOPED_TRACE(::testing::Message() << "command " << row.command);
    sig_proto p = packet(row.command, 200, 9);
    if (row.command == 135)
      sig_proto_set_wm_standby(&p, 5, 255, 7);
    if (row.command == 13)
      sig_proto_set_gw_adjust_standby(&p, 5);
    LemzRadioState received;
    LemzRadioMapping::DecodeProto(p, received);
    TERM::RtpRadioRequest report;
    LemzRadioMapping::EncodeASN(received, received, report);
    EXPECT_TRUE(encodes(report));
  }

  LemzRadioState chan;
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_CHAN, 200, 9), chan);
  log.lines.clear();
  TERM::RtpRadioRequest report;
  LemzRadioMapping::EncodeASN(chan, chan, report, &log);
  EXPECT_EQ(log.lines,
            "squelshe 200->0;rte 9->0;standby-state-channel -1->0;standby-group -1->0;"
            "standby-state-receiver -1->0;squelshe 200->0;rte 9->0;");
  EXPECT_EQ(report.get_request().get_lemz().get_params().get_wm_chan().get_squelshe().getValue(), 0);

  LemzRadioState inRange;
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_CHAN, 103, 7), inRange);
  inRange.standby_state_channel = 1;
  inRange.standby_group = 255;
  inRange.standby_state_receiver = 0;
  log.lines.clear();
  LemzRadioMapping::EncodeASN(inRange, inRange, report, &log);
  EXPECT_EQ(log.lines, "");
  const TERM::LemzRadioStatus& status = report.get_status().get_lemz();
  EXPECT_EQ(status.get_squelshe().getValue(), TERM::RadioSquelshe::persent_100);
  EXPECT_EQ(status.get_rte().getValue(), TERM::RadioRTE::j3e);
  EXPECT_EQ(status.get_standby_state_channel().getValue(), TERM::RadioStandby::standby);
  EXPECT_EQ(status.get_standby_group().getValue(), 255u);
  EXPECT_TRUE(encodes(report));
}

TEST(LemzRadioState, FrequencyTextAndWhatTheControllerRecordsLeave) {
  // WM_CHAN: the modifier carries the packet's frequency, the status the
  // radio state's own.
  LemzRadioState radio;
  radio.channel = 2;
  radio.frequency = 40.25f;
  LemzRadioState chan;
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_CHAN), chan);
  TERM::RtpRadioRequest request;
  LemzRadioMapping::EncodeASN(radio, chan, request);
  const TERM::RadioFrequency& sent = request.get_request().get_lemz().get_params().get_wm_chan().get_freq();
  EXPECT_EQ(sent.get_channel().getValue(), 5);
  EXPECT_EQ(sent.get_frequency().getValue(), "123.500000");
  EXPECT_EQ(request.get_status().get_lemz().get_freq().get_frequency().getValue(), "40.250000");
  EXPECT_EQ(request.get_status().get_lemz().get_freq().get_channel().getValue(), 2);

  // A status sets a full state and leaves session, caller ID, quality and source.
  LemzRadioState s;
  s.command = 132;
  s.session_addr = addr("10.0.0.5");
  std::strcpy(s.caller_id, "99");
  s.quality = 1.5f;
  s.source_ssrc = 8;
  TERM::LemzRadioStatus status;
  status.mutable_freq().set_channel(3);
  status.mutable_freq().set_frequency("abc");
  status.mutable_flags().set_prio(4);
  status.set_squelshe(TERM::RadioSquelshe::on);
  status.set_standby_group(7);
  LemzRadioMapping::DecodeASN(status, s);
  EXPECT_EQ(s.command, 0);
  EXPECT_EQ(s.channel, 3);
  EXPECT_EQ(s.frequency, 0.0f);
  EXPECT_EQ(s.priority, 4);
  EXPECT_EQ(s.squelshe, 2);
  EXPECT_EQ(s.standby_group, 7);
  EXPECT_EQ(s.session_addr, addr("10.0.0.5"));
  EXPECT_STREQ(s.caller_id, "99");
  EXPECT_EQ(s.quality, 1.5f);
  EXPECT_EQ(s.source_ssrc, 8u);

  // gw-set-freq changes the frequency and no flag.
  s.ptt = 1;
  s.priority = 2;
  TERM::LemzRadioModifier freq;
  freq.mutable_addr().set_session_addr("10.1.1.1");
  TERM::RadioFrequency& f = freq.mutable_params().select_gw_set_freq().mutable_freq();
  f.set_channel(11);
  f.set_frequency("145.125");
  LemzRadioMapping::DecodeASN(freq, s);
  EXPECT_EQ(s.command, 2);
  EXPECT_EQ(s.channel, 11);
  EXPECT_EQ(s.frequency, 145.125f);
  EXPECT_EQ(s.ptt, 1u);
  EXPECT_EQ(s.priority, 2);
  EXPECT_EQ(s.source_addr, addr("10.1.1.1"));
}

}  // namespace
