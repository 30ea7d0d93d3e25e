// The ED-137 gateway control against the simulated "/dev/rtp_ext" on the
// controlled loop clock: read batches and dedupe, the access rule, the
// controller's records as RX packets, keep-alives and far-end loss.
#include "rtp/ed137_radio_control.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "foundation/ext.h"
#include "tests/rtp/radio_fixture.h"
#include "tests/support/log_capture.h"

using RTPSignalling::ED137RadioGWControl;
using RTPSignalling::ED137RadioParams;
using RTPSignalling::ED137RadioState;
using SimBoard::Bytes;
using namespace radio_testing;

namespace {

struct Recorder : RTPSignalling::IRadioControlNotify {
  std::vector<std::string> reports;
  std::vector<std::string> encoded;  // each report in aligned PER, in hex
  std::vector<int> aborts;
  void RadioControlNotify(TERM::RtpRadioRequest const& r) override {
    std::vector<char> bytes;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    env.encode(r, bytes);
    std::ostringstream hex;
    hex << ext::OutBufInHex(bytes.data(), bytes.size());
    encoded.push_back(hex.str());
    const TERM::ED137RadioModifier& m = r.get_request().get_ed_137();
    const TERM::ED137RadioHeader& h = m.get_params().get_tx().get_header();
    reports.push_back(m.get_addr().get_session_addr().getValue() + "/" +
                      std::to_string(m.get_addr().get_session_ssrc().getValue()) +
                      " ptt=" + std::to_string(h.get_ptt().getValue()) +
                      " id=" + std::to_string(h.get_ptt_id().getValue()));
  }
  void RadioControlNotify(int code) override { aborts.push_back(code); }
};

// Notes the ticks that wrote to the session; exposes the decoding of a
// received record.
struct GWControl : ED137RadioGWControl {
  using ED137RadioGWControl::DecodeProto;
  using ED137RadioGWControl::ED137RadioGWControl;
  SimBoard::RtpExtSession* session = nullptr;
  std::vector<uint32_t> writes;

protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override {
    const uint64_t before = session->sent_total();
    const unsigned long delay = ED137RadioGWControl::ProcessRadioStatus(now, interval);
    if (session->sent_total() > before)
      writes.push_back(static_cast<uint32_t>(now));
    return delay;
  }
};

TERM::RadioStatus status(unsigned squ, int quality = -1, int method = 0) {
  TERM::RadioStatus s;
  TERM::ED137RadioStatus& e = s.select_ed_137();
  e.mutable_header().mutable_squ().setValue(static_cast<int>(squ));
  if (quality >= 0) {
    e.mutable_sqi().set_bss_quality(static_cast<unsigned>(quality));
    e.mutable_sqi().mutable_bss_method().setValue(method);
  }
  return s;
}

TERM::RadioModifier txModifier(unsigned ptt) {
  TERM::RadioModifier m;
  TERM::ED137RadioModifier& e = m.select_ed_137();
  e.mutable_addr().set_session_addr("10.0.0.5");
  e.mutable_addr().set_session_ssrc(4242);
  e.mutable_params().select_tx().mutable_header().mutable_ptt().setValue(static_cast<int>(ptt));
  return m;
}

// The slot's set-up: gateway control, parameters, timer at half the
// silence limit, role 0.
class ED137ControlTest : public RadioFixture {
protected:
  void make(ED137RadioParams params = ED137RadioParams(), uint32_t k = 10) {
    control.reset(new GWControl(6, attach(), init(k)));
    control->session = ext.latest();
    control->SetParams(params);
    control->SetNotify(&recorder);
    control->SetTimerInterval(static_cast<unsigned>(params.keepalive_period * params.keepalive_multiplier) >> 1);
    control->SetTimerEnable(true);
    start = clock.now_ms();
  }
  // A PTT packet from a position, then the loop reads what is queued.
  void ptt(const char* from, uint32_t ssrc, uint8_t pttType, uint8_t id = 0) {
    session().inject(ssrc, address(from), {uint8_t(pttType << 5 | id >> 2), uint8_t(id << 6), 0, 0});
  }
  // Runs until a status tick writes; its time since start.
  uint32_t nextWrite() {
    const size_t n = control->writes.size();
    if (!loop.until([&] { return control->writes.size() > n; }, 100))
      return 0;
    return control->writes.back() - static_cast<uint32_t>(start);
  }
  // With the clock stopped (set_auto_advance(false)): one loop turn at `ms`
  // after the control was made, then what is queued is read.
  void at(uint32_t ms) {
    clock.set_ms(start + ms);
    loop.turn();
    read();
  }

  Recorder recorder;
  std::unique_ptr<GWControl> control;
  uint64_t start = 0;
};

TEST_F(ED137ControlTest, ReportsTheLastStateOfEachSourceOncePerChange) {
  make();
  ptt("10.0.0.5", 77, 1, 3);
  session().inject(77, address("10.0.0.5"), {0x20});  // does not decode: dropped, the run goes on
  ptt("10.0.0.5", 77, 2, 3);  // the same source again: only this one counts
  ptt("10.0.0.9", 78, 1, 4);
  ptt("10.0.0.5", 79, 1, 5);  // another SSRC is another source
  session().inject(80, address("10.0.0.7"), {0x20});  // does not decode: dropped
  read();
  EXPECT_EQ(recorder.reports,
            (std::vector<std::string>{"10.0.0.5/77 ptt=2 id=3", "10.0.0.9/78 ptt=1 id=4", "10.0.0.5/79 ptt=1 id=5"}));

  // The same state again is reported once an interval; a change at once.
  const struct {
    uint32_t advance;
    uint8_t pttType;
    size_t reports;
  } steps[] = {{999, 1, 3}, {0, 0, 4}, {0, 0, 4}, {1000, 0, 5}};
  for (const auto& step : steps) {
    clock.advance(step.advance);
    ptt("10.0.0.5", 79, step.pttType, 5);
    read();
    EXPECT_EQ(recorder.reports.size(), step.reports);
  }
}

// The throttle of an unchanged state starts again at each report: the
// same state every 500 ms is reported every 1000 ms, in every interval; a
// change goes at once and starts the interval again.
TEST_F(ED137ControlTest, AnUnchangedStateIsReportedOnceInEachInterval) {
  clock.set_auto_advance(false);
  clock.set_real_wait(0);
  make();
  const struct {
    uint32_t at;
    uint8_t pttType;
    size_t reports;
  } steps[] = {{100, 1, 1},  {600, 1, 1},  {1100, 1, 2}, {1600, 1, 2}, {2100, 1, 3},
               {2200, 2, 4}, {2300, 1, 5}, {2800, 1, 5}, {3300, 1, 6}, {3800, 1, 6}};
  for (const auto& step : steps) {
    ptt("10.0.0.5", 77, step.pttType);
    at(step.at);
    EXPECT_EQ(recorder.reports.size(), step.reports) << step.at;
  }
  EXPECT_TRUE(recorder.aborts.empty());
}

// The wire's PTT type has three bits, the controller's enumeration five
// values: types 5 to 7 are reported as PTT off, told to the log when the
// trace is on. The expected
// reports were encoded by Erlang's asn1 (erlc -bper) from the values
// {status {ptt-off, squ-off, 0, false, false, false, sqi {rssi, 0}},
// request {addr {"10.0.0.5", 77}, tx {PTT, squ-off, 3, false, false, false}}}.
TEST_F(ED137ControlTest, EveryPttTypeReachesTheControllerAsAValueItDecodes) {
  auto erlang = [](char ptt) {
    return std::string("40 48 00 00 01 00 08 31 30 2E 30 2E 30 2E 35 00 4D 4") + ptt + " 03 00 ";
  };
  const std::vector<std::string> reports = {erlang('0'), erlang('1'), erlang('2'), erlang('3'),
                                            erlang('4'), erlang('0'), erlang('0'), erlang('0')};
  for (bool trace : {false, true}) {
    make();
    control->SetTrace(trace);
    recorder.encoded.clear();
    testing_support::LogCapture log;
    for (uint8_t type = 0; type < 8; ++type) {
      ptt("10.0.0.5", 77, type, 3);
      read();
    }
    ASSERT_EQ(recorder.encoded.size(), reports.size());
    for (size_t i = 0; i < reports.size(); ++i)
      EXPECT_EQ(recorder.encoded[i], reports[i]) << "PTT type " << i;
    std::istringstream text(log.log());
    std::string substitutions;
    for (std::string line; std::getline(text, line);)
      if (line.find("report: ") != std::string::npos)
        substitutions += line + "\n";
    std::string expected;
    for (int type : {5, 6, 7})
      expected += control->GetPrefix() + "report: ptt " + std::to_string(type) + " cannot be sent, sent as 0\n";
    EXPECT_EQ(substitutions, trace ? expected : "");
    EXPECT_EQ(log.log().empty(), !trace);
  }
}

TEST_F(ED137ControlTest, OnlyARadioThatTransmitsTakesPTT) {
  const struct {
    int type, txrxmode;
    bool accepted;
  } cases[] = {{0, 2, false}, {1, 2, false}, {2, 2, true}, {3, 0, true}, {4, 2, true}, {2, 1, false}, {3, 1, false}};
  for (const auto& c : cases) {
    ED137RadioParams p;
    p.type = c.type;
    p.txrxmode = c.txrxmode;
    recorder.reports.clear();
    make(p);
    ptt("10.0.0.5", 1, 1);
    read();
    EXPECT_EQ(recorder.reports.size(), c.accepted ? 1u : 0u) << c.type << "/" << c.txrxmode;
  }
}

TEST_F(ED137ControlTest, KeepAlivesAndFarEndLoss) {
  make();  // defaults: interval 1000, silent for 2000 ms means lost
  // At each tick the loss is told before the keep-alive goes.
  std::vector<uint32_t> keepAlives;
  std::vector<size_t> aborts;
  for (int i = 0; i < 3; ++i) {
    keepAlives.push_back(nextWrite());
    aborts.push_back(recorder.aborts.size());
  }
  EXPECT_EQ(keepAlives, (std::vector<uint32_t>{1000, 2000, 3000}));
  EXPECT_EQ(aborts, (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(recorder.aborts, (std::vector<int>{151, 151}));
  // The first keep-alive: an RX header with every field 0.
  EXPECT_EQ(session().sent().front(), (Bytes{0, 0, 0, 0}));

  // The loop has moved on to the tick at 4000; a packet arrives right after it.
  ptt("10.0.0.5", 1, 0);
  read();
  EXPECT_EQ(recorder.aborts.size(), 3u);
  EXPECT_EQ(nextWrite(), 5000u);
  EXPECT_EQ(recorder.aborts.size(), 3u);
  EXPECT_EQ(nextWrite(), 6000u);  // silent for 2000 ms again
  EXPECT_EQ(recorder.aborts.size(), 4u);
  control->SetTimerEnable(false);
  EXPECT_EQ(nextWrite(), 0u);

  // Without a keep-alive period the far end is never lost; the
  // keep-alives still go.
  ED137RadioParams none;
  none.keepalive_period = 0;
  recorder.aborts.clear();
  make(none);
  control->SetTimerInterval(1000);
  control->SetTimerEnable(true);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(nextWrite(), 1000u * (i + 1));
  EXPECT_TRUE(recorder.aborts.empty());
}

// The far end lives while its packets decode, whether the control takes
// them or not (a receive-only radio takes no PTT); the silence is counted
// from the last of them, at the time its batch was read, and the first
// tick at the limit or after it reports the loss. Lost, it comes back and
// is lost again.
TEST_F(ED137ControlTest, TheFarEndIsLostTheLimitAfterItsLastPacket) {
  clock.set_auto_advance(false);
  clock.set_real_wait(0);
  ED137RadioParams receiveOnly;
  receiveOnly.type = 1;
  make(receiveOnly);  // ticks every 1000 ms, lost after 2000 ms of silence
  enum Packet { None, Ptt, Garbage };
  const struct {
    uint32_t at;
    Packet packet;
    size_t aborts;
  } steps[] = {
      {1000, None, 0}, {1900, Ptt, 0},  {2000, None, 0}, {3000, None, 0}, {3900, Garbage, 0},
      {4000, None, 1},  // 2100 ms after the last packet that decoded
      {4500, Ptt, 1},  {5000, None, 1}, {6000, None, 1}, {7000, None, 2}, {8000, None, 3},
  };
  for (const auto& step : steps) {
    if (step.packet == Ptt)
      ptt("10.0.0.5", 77, 0);
    else if (step.packet == Garbage)
      session().inject(77, address("10.0.0.5"), {0x20});
    at(step.at);
    EXPECT_EQ(recorder.aborts.size(), step.aborts) << step.at;
  }
  EXPECT_TRUE(recorder.reports.empty());
}

// Only what the radio says (an RX packet) counts as a keep-alive: a TX
// packet sent for the controller between two ticks leaves the next
// keep-alive where it was.
TEST_F(ED137ControlTest, OnlyAnRxPacketPutsOffTheKeepAlive) {
  const struct {
    const char* name;
    std::function<bool(ED137RadioGWControl&)> send;
    uint32_t keepAlive;
  } cases[] = {
      {"RX status", [](ED137RadioGWControl& c) { return c.SendASNToChan(status(1)); }, 1310},
      {"TX modifier", [](ED137RadioGWControl& c) { return c.SendASNToChan(txModifier(1)); }, 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    make();
    clock.advance(300);
    ASSERT_TRUE(c.send(*control));
    ASSERT_EQ(session().sent_total(), 1u);
    EXPECT_EQ(nextWrite(), c.keepAlive);
  }
}

TEST_F(ED137ControlTest, AControllerSendDelaysTheNextKeepAlive) {
  make();
  clock.advance(300);
  EXPECT_TRUE(control->SendASNToChan(status(1)));
  ASSERT_EQ(session().sent_total(), 1u);
  // The tick at 1000 finds the last send 700 ms old: the next in 1000 - 700 + 10.
  EXPECT_EQ(nextWrite(), 1310u);
  EXPECT_EQ(session().sent().back(), (Bytes{0x10, 0x00, 0x00, 0x00}));  // squelch open
  EXPECT_TRUE(control->GetSQU());
  EXPECT_EQ(nextWrite(), 2310u);
}

TEST_F(ED137ControlTest, KeepAlivesGoOnAfterATxModifier) {
  make();
  EXPECT_TRUE(control->SendASNToChan(txModifier(1)));
  EXPECT_EQ(session().sent().back(), (Bytes{0x20, 0x00, 0x00, 0x00}));  // a TX header, PTT on
  EXPECT_EQ(session().filter_address(), address("10.0.0.5"));  // PTT on: only the far end is heard
  EXPECT_EQ(nextWrite(), 1000u);
  EXPECT_EQ(nextWrite(), 2000u);
  // The keep-alives repeat the state as RX packets.
  EXPECT_EQ(session().sent_total(), 3u);
  EXPECT_EQ(session().sent().back(), (Bytes{0x20, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(control->SendASNToChan(txModifier(0)));  // PTT off lifts the filter
  EXPECT_FALSE(session().filtered());
}

// The quality index in bits 7-3 of the SQI byte, the method in bits 2-0.
TEST_F(ED137ControlTest, ControllerStatusBecomesAnRxPacket) {
  make();
  EXPECT_TRUE(control->SendASNToChan(status(1, 25, 1)));
  EXPECT_EQ(session().sent().back(), (Bytes{0x10, 0x01, 0x11, 0xC9}));
  // The same status again (K and S given): nothing goes out.
  EXPECT_TRUE(control->SendASNToChan(status(1, 25, 1)));
  EXPECT_EQ(session().sent_total(), 1u);
  // A status without quality sends none.
  EXPECT_TRUE(control->SendASNToChan(status(0)));
  EXPECT_EQ(session().sent().back(), (Bytes{0x00, 0x00, 0x00, 0x00}));
  TERM::RadioModifier lemz;
  lemz.select_lemz();
  EXPECT_FALSE(control->SendASNToChan(lemz));
  EXPECT_EQ(session().sent_total(), 2u);

  // Without K the same state goes out every time.
  make(ED137RadioParams(), 0);
  control->SendASNToChan(status(1));
  control->SendASNToChan(status(1));
  EXPECT_EQ(session().sent_total(), 2u);

  // Received from a radio, the index and the method are read in the same places.
  r2s_proto record;
  r2s_proto_init(&record, R2S_PROTO_TYPE_RX);
  r2s_proto_add_rx_sqi(&record, 25, 1);
  ED137RadioState s;
  EXPECT_EQ(control->DecodeProto(record, s), 0);
  EXPECT_EQ(std::make_pair(s.bss_quality, s.bss_method), std::make_pair(25u, 1u));
}

}  // namespace
