// The signalling slots end to end: a controller creates them in
// nodalsrv-sim, and an SS7 link on E1 time slot 16 carries MTP3 messages
// between the controller and libss7 on the simulated line.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/signalling/libss7_peer.h"
#include "tests/signalling/peer_loop.h"
#include "tests/support/line_listener.h"
#include "tests/support/loop_runner.h"
#include "tests/support/sim_e2e.h"

// libss7 keeps its links after ss7_destroy: what it keeps is not our leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

using namespace peer_test;
using testing_support::exchange;
using testing_support::TestController;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr unsigned OurPc = 1, PeerPc = 2, Link = 0;

class SignallingE2E : public testing_support::SimE2E {
protected:
  void userData(int seq, int slot, const Bytes& bytes) {
    SimE2E::userData(seq, slot, std::vector<char>(bytes.begin(), bytes.end()));
  }
};

// The controller plays MTP3 over the PSTN slot: it tests the link once in
// service and answers libss7's link test and traffic restart.
TEST_F(SignallingE2E, Ss7LinkOnTimeSlot16CarriesMsusToAndFromAPeer) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  ASSERT_TRUE(lines.bound());
  trunk(1, 1, 16);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::SS7Params& s = p.select_pstn().select_ss7();
    s.set_trunk(1);
    s.set_slc(Link);
    s.set_dpc(PeerPc);
    s.set_opc(OurPc);
    s.set_emergency(true);
  });
  connect(3, 1, 2);
  EXPECT_EQ(exchange(ctl, 6), (Lines{"seq=1 slot=1 success", "slot=1 signal transmitter active 16",
                                     "slot=1 signal receiver active 16", "seq=2 slot=2 success",
                                     "slot=2 signal receiver active -1", "seq=3 slot=1 success"}));
  std::string text;
  Fd line = lines.take(text, testing_support::SimWait);
  ASSERT_TRUE(line);
  EXPECT_EQ(text.substr(0, 3), "16 ");

  testing_support::LoopRunner loop;
  Capture capture(LinkTypeMtp2);
  Ss7Peer peer(line, PeerPc, OurPc, Link, capture);
  int seq = 10;
  bool activated = false, answered = false;
  std::vector<Bytes> fromPeer;
  // What the controller receives: the link's state and the peer's MSUs.
  auto controller = [&] {
    ctl.poll();
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      if (!TestController::decode(payload, msg) || !msg.get_pdu().is_signal())
        continue;
      const LGCP::Signal& s = msg.get_pdu().get_signal();
      if (s.is_activated()) {
        activated = true;
        userData(seq++, 2, sltm(PeerPc, OurPc, Link, {0x11, 0x22, 0x33}));
      } else if (s.is_userData()) {
        Bytes m(s.get_userData().begin(), s.get_userData().end());
        fromPeer.push_back(m);
        Bytes answer = answer_for(m);
        if (!answer.empty())
          userData(seq++, 2, answer);
        answered = answered || heading(m) == SltaHeading;
      }
    }
    ctl.payloads().clear();
    return activated && answered && peer.saw(SS7_EVENT_UP);
  };
  ASSERT_TRUE(within(loop, 30, controller));
  EXPECT_NE(fromPeer.end(), std::find_if(fromPeer.begin(), fromPeer.end(), [](const Bytes& m) {
              return heading(m) == SltmHeading;
            }));
  destroy(seq, 2);
  ASSERT_TRUE(within(loop, 10, [&] { return peer.saw(MTP2_LINK_DOWN); }));
  expect_clean_decode(capture, {"SLTM", "SLTA"});
}

// Every other signalling kind is created, the raw HDLC slot wired to a
// trunk, and all destroyed.
TEST_F(SignallingE2E, EveryKindIsCreated) {
  trunk(1, 1, 20);
  ASSERT_EQ(exchange(ctl, 3).size(), 3u);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::HdlcParams& h = p.select_hdlcParams();
    h.set_trunk(1);
    h.set_log(0);
    h.set_address(7);
  });
  create(3, 3, [](LGCP::CreateParams& p) {
    LGCP::IsdnParams& i = p.select_isdn();
    i.set_type(LGCP::IsdnType::bri);
    i.set_trunk(1);
    i.set_log(0);
    i.mutable_side().select_user();
  });
  create(4, 4, [](LGCP::CreateParams& p) {
    LGCP::AtsQsigParams& q = p.select_ats_qsig();
    q.mutable_side().select_user();
    q.set_log(0);
  });
  create(5, 5, [](LGCP::CreateParams& p) {
    LGCP::AtsQsigBParams& b = p.select_ats_qsig_b();
    b.set_slot(4);
    b.set_subslot(1);
  });
  create(6, 6, [](LGCP::CreateParams& p) { p.select_pstn().select_cas().set_trunk(1); });
  EXPECT_EQ(exchange(ctl, 5), (Lines{"seq=2 slot=2 success", "seq=3 slot=3 success", "seq=4 slot=4 success",
                                     "seq=5 slot=5 success", "seq=6 slot=6 success"}));
  connect(7, 1, 2);
  EXPECT_EQ(exchange(ctl, 2), (Lines{"slot=2 signal receiver active -1", "seq=7 slot=1 success"}));
  EXPECT_TRUE(d.eventually("/sim/switch", "20 connected "));
  for (int slot : {5, 4, 3, 6, 2})
    destroy(10 + slot, slot);
  Lines gone = exchange(ctl, 10);
  EXPECT_EQ(std::count_if(gone.begin(), gone.end(), [](const std::string& l) { return l.find(" success") != std::string::npos; }),
            10);
}

}  // namespace
