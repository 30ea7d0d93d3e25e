// The PSTN slot in each of its ISDN modes, and the ISDN slot, with libpri
// on the line of their channel (simulated board, real clock, bounded in
// time): the link comes up, a SETUP given as userData is answered by a
// CONNECT that comes back up, and tshark decodes every frame.
#include <gtest/gtest.h>

#include <memory>

#include "simboard/board.h"
#include "simboard/mcc.h"
#include "tests/signalling/libpri_peer.h"
#include "tests/signalling/peer_loop.h"
#include "tests/signalling/slot_fixture.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"

// libpri has no call to free a D channel: what it keeps is not our leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

using namespace peer_test;
using signalling_test::Bytes;
using signalling_test::isdnParams;
using signalling_test::LineSlot;

namespace {

// A PSTN slot that keeps what its link passes up (no controller here).
class RecordingPstn : public PstnSlot {
public:
  using PstnSlot::PstnSlot;
  void on_message(Packet& p) override {
    up.emplace_back(p.data(), p.data() + p.length());
    PstnSlot::on_message(p);
  }
  bool got(uint8_t type) const {
    for (const Bytes& m : up)
      if (message_type(m) == type)
        return true;
    return false;
  }
  std::vector<Bytes> up;
};

struct Bench {
  SimBoard::Board board;
  testing_support::LogCapture quiet;
  testing_support::LoopRunner loop;
  Capture capture;
  Fd line;
  Bench() {
    board.mcc().on_allocate([this](SimBoard::MccChannel& ch) { line = ch.line(); });
  }
};

}  // namespace

TEST(SlotsLibpri, PstnSlotInEachIsdnMode) {
  struct Case {
    const char* name;
    LGCP::IsdnType::NamedNumber type;
    bool network;
    int peerNode;
    const std::vector<uint8_t>& setup;
  };
  const Case cases[] = {
      {"primary rate, user side", LGCP::IsdnType::pri, false, PRI_NETWORK, PriSetupFromUser},
      {"basic rate, user side", LGCP::IsdnType::bri, false, PRI_NETWORK, BriSetup},
      {"basic rate, network side", LGCP::IsdnType::bri, true, PRI_CPE, BriSetup},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    RecordingPstn slot(isdnParams(c.type, c.network));
    bool bri = c.type == LGCP::IsdnType::bri;
    LineSlot trunk(bri ? 5 : 16, bri ? 1 : 0, bri ? 1 : 16);
    ASSERT_TRUE(slot.IHwConnectReceiver(trunk));
    if (bri) {
      ASSERT_TRUE(slot.IHwConnectTransmitter(trunk));
    }
    ASSERT_TRUE(b.line);
    std::unique_ptr<PriPeer> peer(new PriPeer(b.line.get(), bri, c.peerNode, b.capture));
    if (!c.network) {
      ASSERT_TRUE(within(b.loop, 15, [&] { return slot.lapd()->full_state().state == 6; }));
    }
    ASSERT_TRUE(slot.IUserData(std::vector<char>(c.setup.begin(), c.setup.end())));
    ASSERT_TRUE(within(b.loop, 15, [&] { return slot.got(Connect); }));
    expect_clean_decode(b.capture, {"SETUP", "CONNECT"});
    peer.reset();
  }
}

TEST(SlotsLibpri, IsdnSlot) {
  Bench b;
  IsdnFactory factory;
  LGCP::CreateParams params;
  params.select_isdn() = isdnParams(LGCP::IsdnType::pri, false).get_isdn();
  std::unique_ptr<Slot> slot(factory.INewSlot(params));
  ASSERT_TRUE(slot && b.line);
  auto* isdnSlot = static_cast<IsdnSlot*>(slot.get());
  PriPeer peer(b.line.get(), false, PRI_NETWORK, b.capture);
  isdnSlot->IActivate(TERM::TermActivateParams());
  ASSERT_TRUE(within(b.loop, 15, [&] { return isdnSlot->lapd()->full_state().state == 6; }));
  ASSERT_TRUE(isdnSlot->IUserData(std::vector<char>(PriSetupFromUser.begin(), PriSetupFromUser.end())));
  // The CONNECT is the first I frame the link passes up.
  ASSERT_TRUE(within(b.loop, 15, [&] { return isdnSlot->lapd()->stats()[ISDN::LAPD::Stats::IFramesUp] > 0; }));
  expect_clean_decode(b.capture, {"SETUP", "CONNECT"});
}
