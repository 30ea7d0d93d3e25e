// Our SS7 link on an HDLC channel of the simulated board against libss7 on
// the channel's line, on the real clock and bounded in time. The exchange
// is kept as an MTP2 capture that tshark must decode cleanly.
#include <gtest/gtest.h>

#include "signalling/slc.h"
#include "simboard/board.h"
#include "simboard/mcc.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/signalling/libss7_peer.h"
#include "tests/signalling/peer_loop.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"

// libss7 keeps its links after ss7_destroy: what it keeps is not our leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

using namespace lapd_test;
using namespace peer_test;
using SS7::SLC;

namespace {

constexpr unsigned OurPc = 1, PeerPc = 2, Link = 0;

// MTP3 above our link, as far as the test needs it: it tests the link once
// in service, and answers the peer's link tests and its traffic restart.
struct Mtp3 : Upper {
  int tests = 0;
  void on_activated(Protocol* p) override {
    Upper::on_activated(p);
    from_above(top(), sltm(PeerPc, OurPc, Link, {0xA5, 0x5A, 0x01}));
  }
  void on_message(Packet& p) override {
    Upper::on_message(p);
    Bytes answer = answer_for(up.back());
    if (!answer.empty()) {
      ++tests;
      from_above(top(), answer);
    }
  }
};

}  // namespace

TEST(SlcLibss7, AlignsCarriesMsusBothWaysAndFailsWhenThePeerCloses) {
  SimBoard::Board board;
  testing_support::LogCapture quiet;
  testing_support::LoopRunner loop;
  Capture capture(LinkTypeMtp2);

  HDLC hdlc;
  HDLC::Params params = hdlc.params();
  params.tdm = 16;
  hdlc.set_params(params);
  SLC* slc = new SLC;
  slc->set_hdlc(&hdlc);
  slc->set_emergency(true);
  hdlc.bind(slc);
  Mtp3 mtp3;
  mtp3.add_protocol_tail(slc);
  ASSERT_TRUE(hdlc.activate());
  Ss7Peer peer(board.mcc().channel(0).line(), PeerPc, OurPc, Link, capture);

  mtp3.activate();
  ASSERT_TRUE(within(loop, 30, [&] { return mtp3.activations > 0 && peer.saw(SS7_EVENT_UP); }));
  EXPECT_EQ(slc->get_state_id(), SLC::State::InService);
  ASSERT_TRUE(within(loop, 10, [&] { return mtp3.tests > 0; }));

  // Our test message got the peer's answer.
  ASSERT_TRUE(within(loop, 10, [&] {
    for (const Bytes& m : mtp3.up)
      if (heading(m) == SltaHeading)
        return true;
    return false;
  }));
  SLC::Statistics s = slc->statistics();
  EXPECT_GT(s.suRx, 0u);
  EXPECT_EQ(s.overflows, 0u);

  peer.close();
  ASSERT_TRUE(within(loop, 10, [&] { return slc->get_state_id() == SLC::State::Idle; }));
  EXPECT_EQ(mtp3.ends.back(), "impossible phasing");
  expect_clean_decode(capture, {"SLTM", "SLTA"});
}
