// The LEMZ radio state and its translations: every command from packet to
// report and from the controller's modifier back to a state, the flag
// words, and reports that encode whatever the state holds.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/printer.h"
#include "rtp/lemz_radio_state.h"

namespace {

using RTPSignalling::LemzRadioMapping;
using RTPSignalling::LemzRadioState;

bool encodes(const TERM::RtpRadioRequest& request) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> out;
  return env.encode(request, out) && !out.empty();
}

uint32_t addr(const char* dotted) { return inet_addr(dotted); }

// What a command's record carries besides the flags.
enum Carries : unsigned { Flags = 1, Freq = 2, Session = 4, CallerId = 8, Remote = 16, Squelshe = 32, Rte = 64,
                          StandbyChannel = 128, StandbyAll = 256, Quality = 512 };

// The command/alternative table; the flag commands RV, SH and PW are not in
// the order of their alternatives.
const struct Row {
  int command;
  int alternative;
  unsigned carries;
} Rows[] = {
    {1, 0, Flags},           {2, 1, Freq},      {3, 2, Flags},       {4, 3, Flags},
    {5, 6, Flags},           {6, 4, Flags},     {7, 5, Flags},       {8, 7, Flags},
    {9, 8, Flags | Session | CallerId},         {10, 9, Remote},     {11, 10, Squelshe},
    {12, 11, Rte},           {13, 12, StandbyChannel},               {129, 13, Flags},
    {130, 14, Flags | Session},                 {131, 15, Quality},  {132, 16, Freq | Squelshe | Rte},
    {133, 17, Flags | Session | CallerId},      {134, 18, Remote},   {135, 19, StandbyAll},
};

// A packet of the type with distinct values in every field; squelch, RTE
// and standby values as given.
sig_proto packet(int type, uint8_t squelsh = 50, uint8_t rte = 3, uint8_t standby = 1, uint8_t group = 200) {
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
  case 13: sig_proto_set_gw_adjust_standby(&p, standby); break;
  case 130: sig_proto_set_wm_transmite(&p, session, 0xDEADBEEF); break;
  case 131: sig_proto_set_wm_radio_quality(&p, 2.25f); break;
  case 132: sig_proto_set_wm_chan(&p, 5, 123.5f, squelsh, rte); break;
  case 133: sig_proto_set_wm_selcall_transmite(&p, session, 0xDEADBEEF, "4711", 4); break;
  case 134: sig_proto_set_wm_select_rc_chan(&p, 7, 9); break;
  case 135: sig_proto_set_wm_standby(&p, standby, group, standby); break;
  }
  return p;
}

// The fields a row carries are those of `sent`, the others a fresh state's.
void expectCarried(const LemzRadioState& got, const LemzRadioState& sent, unsigned carries) {
  const LemzRadioState fresh;
  auto from = [&](unsigned bits) -> const LemzRadioState& { return carries & bits ? sent : fresh; };
  const uint32_t LemzRadioState::*words[] = {&LemzRadioState::ptt,    &LemzRadioState::bss,  &LemzRadioState::vad_rx,
                                             &LemzRadioState::vad_tx, &LemzRadioState::sql,  &LemzRadioState::sh,
                                             &LemzRadioState::pwr,    &LemzRadioState::rv,   &LemzRadioState::resv,
                                             &LemzRadioState::selcall, &LemzRadioState::li};
  for (auto w : words)
    EXPECT_EQ(got.*w, from(Flags).*w);
  EXPECT_EQ(got.priority, from(Flags).priority);
  EXPECT_EQ(std::make_pair(got.channel, got.frequency), std::make_pair(from(Freq).channel, from(Freq).frequency));
  EXPECT_EQ(std::make_pair(got.session_addr, got.session_ssrc),
            std::make_pair(from(Session).session_addr, from(Session).session_ssrc));
  EXPECT_STREQ(got.caller_id, from(CallerId).caller_id);
  EXPECT_EQ(std::make_pair(got.remote_no, got.remote_ch), std::make_pair(from(Remote).remote_no, from(Remote).remote_ch));
  EXPECT_EQ(got.squelshe, from(Squelshe).squelshe);
  EXPECT_EQ(got.rte, from(Rte).rte);
  EXPECT_EQ(got.standby_state_channel, from(StandbyChannel | StandbyAll).standby_state_channel);
  EXPECT_EQ(got.standby_group, from(StandbyAll).standby_group);
  EXPECT_EQ(got.standby_state_receiver, from(StandbyAll).standby_state_receiver);
  EXPECT_EQ(got.quality, from(Quality).quality);
}

// Packet -> state -> report -> modifier -> state, for all twenty commands;
// every report encodes.
TEST(LemzRadioState, EveryCommandFromPacketToReportAndBack) {
  for (const Row& row : Rows) {
    SCOPED_TRACE(::testing::Message() << "command " << row.command);
    LemzRadioState received;
    ASSERT_EQ(LemzRadioMapping::DecodeProto(packet(row.command), received), 0);
    TERM::RtpRadioRequest request;
    ASSERT_EQ(LemzRadioMapping::EncodeASN(LemzRadioState(), received, request), 0);
    const TERM::LemzRadioModifier& modifier = request.get_request().get_lemz();
    EXPECT_EQ(modifier.get_params().currentSelection(), row.alternative);
    EXPECT_TRUE(encodes(request));

    LemzRadioState back;
    ASSERT_EQ(LemzRadioMapping::DecodeASN(modifier, back), 0);
    EXPECT_EQ(back.command, row.command);
    EXPECT_EQ(std::make_pair(back.source_addr, back.source_ssrc), std::make_pair(addr("10.9.8.7"), 0x1234u));
    expectCarried(back, received, row.carries);
  }
  LemzRadioState unknown;
  EXPECT_EQ(LemzRadioMapping::DecodeProto(packet(14), unknown), -1);
  EXPECT_EQ(unknown.priority, 3);  // the header is taken all the same
  TERM::RtpRadioRequest request;
  EXPECT_EQ(LemzRadioMapping::EncodeASN(LemzRadioState(), unknown, request), -1);
  EXPECT_FALSE(request.has_request());
  EXPECT_TRUE(encodes(request));  // the status alone
}

// Each header flag lands in its own boolean of the status and of the
// report (its own word of the state between them).
TEST(LemzRadioState, FlagBitsAndBooleans) {
  const struct {
    uint32_t sig_proto::*bit;
    const char* name;
  } cases[] = {{&sig_proto::flag_p, "ptt"}, {&sig_proto::flag_b, "bss"},   {&sig_proto::flag_r, "vad-rx"},
               {&sig_proto::flag_t, "vad-tx"}, {&sig_proto::flag_s, "sql"}, {&sig_proto::flag_sh, "sh"},
               {&sig_proto::flag_pw, "pwr"}, {&sig_proto::flag_rv, "rv"},  {&sig_proto::flag_rs, "resv"}};
  for (const auto& c : cases) {
    sig_proto p;
    sig_proto_init(&p);
    p.type = SIG_PROTO_GW_FLAG;
    p.*c.bit = 1;
    LemzRadioState s;
    LemzRadioMapping::DecodeProto(p, s);
    TERM::RtpRadioRequest request;
    LemzRadioMapping::EncodeASN(s, s, request);
    std::ostringstream out;
    out << request;
    auto count = [&](const std::string& what) {
      size_t n = 0;
      for (size_t at = out.str().find(what); at != std::string::npos; at = out.str().find(what, at + 1))
        ++n;
      return n;
    };
    EXPECT_EQ(count(" TRUE"), 2u) << c.name;
    EXPECT_EQ(count(std::string(" ") + c.name + " TRUE"), 2u) << c.name;
    // And back into the same word from the status and from the modifier.
    LemzRadioState fromStatus, fromModifier;
    LemzRadioMapping::DecodeASN(request.get_status().get_lemz(), fromStatus);
    LemzRadioMapping::DecodeASN(request.get_request().get_lemz(), fromModifier);
    for (const LemzRadioState* back : {&fromStatus, &fromModifier})
      EXPECT_EQ(std::vector<uint32_t>({back->ptt, back->bss, back->vad_rx, back->vad_tx, back->sql, back->sh,
                                       back->pwr, back->rv, back->resv}),
                std::vector<uint32_t>({s.ptt, s.bss, s.vad_rx, s.vad_tx, s.sql, s.sh, s.pwr, s.rv, s.resv}))
          << c.name;
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
  EXPECT_EQ(std::make_pair(fresh.get_squelshe().getValue(), fresh.get_rte().getValue()),
            std::make_pair(int(TERM::RadioSquelshe::no_config), int(TERM::RadioRTE::no_config)));
  EXPECT_EQ(std::make_pair(fresh.get_standby_state_channel().getValue(), fresh.get_standby_state_receiver().getValue()),
            std::make_pair(int(TERM::RadioStandby::active), int(TERM::RadioStandby::active)));
  EXPECT_EQ(fresh.get_flags().get_prio().getValue(), 15);

  // A radio that sends bytes beyond the ranges, in every packet type.
  for (const Row& row : Rows) {
    LemzRadioState received;
    LemzRadioMapping::DecodeProto(packet(row.command, 200, 9, 5, 255), received);
    TERM::RtpRadioRequest report;
    LemzRadioMapping::EncodeASN(received, received, report);
    EXPECT_TRUE(encodes(report)) << row.command;
  }
  LemzRadioState chan;
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_CHAN, 200, 9), chan);
  log.lines.clear();
  TERM::RtpRadioRequest report;
  LemzRadioMapping::EncodeASN(chan, chan, report, &log);
  EXPECT_EQ(log.lines,
            "squelshe 200->0;rte 9->0;standby-state-channel -1->0;standby-group -1->0;"
            "standby-state-receiver -1->0;squelshe 200->0;rte 9->0;");

  LemzRadioState inRange;
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_CHAN, 103, 7), inRange);
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_STANDBY, 0, 0, 1, 255), inRange);
  log.lines.clear();
  LemzRadioMapping::EncodeStatusASN(inRange, report, &log);
  EXPECT_EQ(log.lines, "");
  const TERM::LemzRadioStatus& status = report.get_status().get_lemz();
  EXPECT_EQ(status.get_squelshe().getValue(), TERM::RadioSquelshe::persent_100);
  EXPECT_EQ(status.get_rte().getValue(), TERM::RadioRTE::j3e);
  EXPECT_EQ(status.get_standby_state_channel().getValue(), TERM::RadioStandby::standby);
  EXPECT_EQ(status.get_standby_group().getValue(), 255u);
}

// WM_CHAN: the report carries the packet's frequency as text, its status
// the radio state's own. A controller status sets a full state and leaves
// what it does not carry; gw-set-freq changes the frequency and no flag.
TEST(LemzRadioState, FrequencyTextAndWhatTheControllerRecordsLeave) {
  LemzRadioState radio, chan;
  radio.channel = 2;
  radio.frequency = 40.25f;
  LemzRadioMapping::DecodeProto(packet(SIG_PROTO_WM_CHAN), chan);
  TERM::RtpRadioRequest request;
  LemzRadioMapping::EncodeASN(radio, chan, request);
  const TERM::RadioFrequency& sent = request.get_request().get_lemz().get_params().get_wm_chan().get_freq();
  EXPECT_EQ(std::make_pair(sent.get_channel().getValue(), sent.get_frequency().getValue()),
            std::make_pair(5, std::string("123.500000")));
  const TERM::RadioFrequency& own = request.get_status().get_lemz().get_freq();
  EXPECT_EQ(std::make_pair(own.get_channel().getValue(), own.get_frequency().getValue()),
            std::make_pair(2, std::string("40.250000")));

  LemzRadioState s;
  s.command = 132;
  s.session_addr = addr("10.0.0.5");
  s.session_ssrc = 6;
  std::strcpy(s.caller_id, "99");
  s.quality = 1.5f;
  s.source_addr = addr("10.0.0.7");
  s.source_ssrc = 8;
  TERM::LemzRadioStatus status;
  status.mutable_freq().set_channel(3);
  status.mutable_freq().set_frequency("abc");  // not a number: 0.0
  status.mutable_flags().set_prio(4);
  status.mutable_remote().set_no(7);
  status.set_squelshe(TERM::RadioSquelshe::on);
  status.set_rte(TERM::RadioRTE::a1b);
  status.set_standby_state_channel(TERM::RadioStandby::standby);
  status.set_standby_group(7);
  status.set_standby_state_receiver(TERM::RadioStandby::active);
  LemzRadioMapping::DecodeASN(status, s);
  EXPECT_EQ(std::vector<double>({double(s.command), double(s.channel), s.frequency, double(s.priority),
                                 double(s.remote_no), double(s.squelshe), double(s.rte),
                                 double(s.standby_state_channel), double(s.standby_group),
                                 double(s.standby_state_receiver)}),
            std::vector<double>({0, 3, 0.0, 4, 7, 2, 2, 1, 7, 0}));
  EXPECT_EQ(std::make_pair(s.session_addr, s.session_ssrc), std::make_pair(addr("10.0.0.5"), 6u));
  EXPECT_STREQ(s.caller_id, "99");
  EXPECT_EQ(s.quality, 1.5f);
  EXPECT_EQ(std::make_pair(s.source_addr, s.source_ssrc), std::make_pair(addr("10.0.0.7"), 8u));

  s.ptt = 1;
  s.priority = 2;
  TERM::LemzRadioModifier freq;
  freq.mutable_addr().set_session_addr("10.1.1.1");
  TERM::RadioFrequency& f = freq.mutable_params().select_gw_set_freq().mutable_freq();
  f.set_channel(11);
  f.set_frequency("145.125");
  LemzRadioMapping::DecodeASN(freq, s);
  EXPECT_EQ(std::make_pair(s.command, s.channel), std::make_pair(2, 11));
  EXPECT_EQ(s.frequency, 145.125f);
  EXPECT_EQ(std::make_pair(s.ptt, s.priority), std::make_pair(1u, 2));
  EXPECT_EQ(s.source_addr, addr("10.1.1.1"));
}

}  // namespace
