// Our Q.921 links against an independent Q.931/Q.921 implementation
// (libpri, through its public API only) on the line of the PSTN slot in
// each of its ISDN modes and of the ISDN slot (simulated board, real clock,
// bounded in time): the link comes up, a SETUP given as userData is
// answered by a CONNECT that comes back up, and tshark decodes every frame.
#include <gtest/gtest.h>

#include <memory>

#include "simboard/board.h"
#include "simboard/mcc.h"
#include "tests/signalling/libpri_peer.h"
#include "tests/signalling/slot_fixture.h"
#include "tests/support/log_capture.h"

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
    connected = connected || message_type(Bytes(p.data(), p.data() + p.length())) == Connect;
    PstnSlot::on_message(p);
  }
  bool connected = false;
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

// On the network side of a basic-rate bus the slot's link assigns libpri's
// TEI, routes the SETUP and has the terminal answer a TEI check.
TEST(SlotsLibpri, PstnSlotInEachIsdnMode) {
  struct Case {
    const char* name;
    LGCP::IsdnType::NamedNumber type;
    bool network;
    int peerNode;
    const std::vector<uint8_t>& setup;
    std::vector<std::string> frames;
  };
  const Case cases[] = {
      {"primary rate, user side", LGCP::IsdnType::pri, false, PRI_NETWORK, PriSetupFromUser, {"SABME"}},
      {"primary rate, network side", LGCP::IsdnType::pri, true, PRI_CPE, PriSetupFromUser, {"SABME"}},
      {"basic rate, user side", LGCP::IsdnType::bri, false, PRI_NETWORK, BriSetup,
       {"Identity Request", "Identity Assigned"}},
      {"basic rate, network side", LGCP::IsdnType::bri, true, PRI_CPE, BriSetup,
       {"Identity Request", "Identity Assigned", "Identity Check Response"}},
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
    if (slot.lapd()) {
      ASSERT_TRUE(within(b.loop, 15, [&] { return slot.lapd()->full_state().state == 6; }));
    }
    ASSERT_TRUE(slot.IUserData(std::vector<char>(c.setup.begin(), c.setup.end())));
    ASSERT_TRUE(within(b.loop, 15, [&] { return slot.connected; }));
    if (ISDN::LAPD_NT* nt = slot.lapd_nt()) {
      ASSERT_NE(nt->find_Tei(64), nullptr);
      nt->check_all_Tei();
      ASSERT_TRUE(within(b.loop, 15, [&] { return nt->find_Tei(64) && !nt->find_Tei(64)->check(); }));
    }
    std::vector<std::string> frames = c.frames;
    frames.insert(frames.end(), {"SETUP", "CONNECT"});
    expect_clean_decode(b.capture, frames);
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
