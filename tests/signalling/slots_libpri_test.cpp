// Our Q.921 links against an independent Q.931/Q.921 implementation
// (libpri, through its public API only) on the line of the PSTN slot in
// each of its ISDN modes and of the ISDN slot (simulated board, real clock,
// bounded in time): the link comes up, a SETUP given as userData is
// answered by a CONNECT that comes back up, and tshark decodes every frame.
// libpri reads frames with two FCS octets behind them and writes them with
// two, which its callbacks strip.
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <memory>

extern "C" {
#include <libpri.h>
}

#include "foundation/event.h"
#include "simboard/board.h"
#include "simboard/mcc.h"
#include "tests/signalling/peer_harness.h"
#include "tests/signalling/slot_fixture.h"
#include "tests/support/log_capture.h"

// libpri has no call to free a D channel: what it keeps is not our leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

using namespace peer_test;
using signalling_test::Bytes;
using signalling_test::isdnParams;
using signalling_test::LineSlot;

namespace {

// Q.931 messages for calls with libpri: the type of CONNECT, a SETUP from
// the user side of a primary-rate link, and a SETUP on a basic-rate link.
constexpr uint8_t Connect = 0x07;
const std::vector<uint8_t> PriSetupFromUser = {0x08, 0x02, 0x00, 0x01, 0x05, 0xA1, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18,
                                               0x03, 0xA9, 0x83, 0x81, 0x70, 0x05, 0x81, 0x31, 0x32, 0x33, 0x34};
const std::vector<uint8_t> BriSetup = {0x08, 0x01, 0x01, 0x05, 0xA1, 0x04, 0x03, 0x80, 0x90, 0xA3,
                                       0x18, 0x01, 0x89, 0x70, 0x05, 0x81, 0x31, 0x32, 0x33, 0x34};

// The message type of a Q.931 message, 0 when it has none.
inline uint8_t message_type(const std::vector<uint8_t>& m) {
  return m.size() > 2 && m.size() > 2u + m[1] ? m[2 + m[1]] : 0;
}

// libpri on its end of the pair: it reads frames with two FCS octets behind
// them and writes them with two, which are stripped here.
class PriPeer {
public:
  PriPeer(int fd, bool bri, int nodetype, Capture& capture) : fd_(fd), capture_(capture) {
    pri_set_message(quiet);
    pri_set_error(quiet);
    pri_ = bri ? pri_new_bri_cb(fd, 0, nodetype, PRI_SWITCH_EUROISDN_E1, io_read, io_write, this)
               : pri_new_cb(fd, nodetype, PRI_SWITCH_EUROISDN_E1, io_read, io_write, this);
    event_.Bind("libpri", &PriPeer::on_readable, this);
    event_.Schedule(Fd(::dup(fd)), POLLIN);
    reschedule();
  }
  ~PriPeer() { event_.Release(); }

private:
  static void quiet(struct pri*, char*) {}
  static int io_read(struct pri* pri, void* buf, int len) {
    PriPeer* self = static_cast<PriPeer*>(pri_get_userdata(pri));
    ssize_t n = ::read(self->fd_, buf, static_cast<size_t>(len - 2));
    if (n <= 0)
      return static_cast<int>(n);
    self->capture_.add(buf, static_cast<size_t>(n));
    static_cast<uint8_t*>(buf)[n] = static_cast<uint8_t*>(buf)[n + 1] = 0;
    return static_cast<int>(n + 2);
  }
  static int io_write(struct pri* pri, void* buf, int len) {
    PriPeer* self = static_cast<PriPeer*>(pri_get_userdata(pri));
    self->capture_.add(buf, static_cast<size_t>(len - 2));
    return ::write(self->fd_, buf, static_cast<size_t>(len - 2)) < 0 ? -1 : len;
  }
  void on_readable(int, short) {
    handle(pri_check_event(pri_));
    reschedule();
  }
  void on_timer() {
    handle(pri_schedule_run(pri_));
    reschedule();
  }
  void reschedule() {
    const timeval* next = pri_schedule_next(pri_);
    if (!next) {
      timer_.stop();
      return;
    }
    timeval now;
    gettimeofday(&now, nullptr);
    long long ms = (next->tv_sec - now.tv_sec) * 1000LL + (next->tv_usec - now.tv_usec) / 1000;
    timer_.start(ms > 0 ? static_cast<unsigned>(ms) : 0);
  }
  // A call that rings is answered: CONNECT coming back shows that our SETUP was understood.
  void handle(pri_event* e) {
    if (e && e->e == PRI_EVENT_RING)
      pri_answer(pri_, e->ring.call, e->ring.channel, 1);
  }

  int fd_;
  Capture& capture_;
  struct pri* pri_;
  Event event_;
  MemberTimer<PriPeer> timer_{this, &PriPeer::on_timer};
};

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
