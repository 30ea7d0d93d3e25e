// The signalling slots end to end: a controller creates them in
// nodalsrv-sim, and an SS7 link on E1 time slot 16 carries MTP3 messages
// between the controller and an independent MTP2/MTP3 implementation
// (libss7, through its public API only) on the simulated line, run by our
// event loop on the real clock. libss7 reads and writes frames with two FCS
// octets behind them: the shim between it and the line adds or strips
// them, keeps every frame in the capture, and paces libss7's writes to one
// signal unit a millisecond (about the rate of a 64 kbit/s time slot;
// libss7 repeats FISUs as fast as it may). How each kind of link ends when
// it is disconnected or the controller goes is seen on the line; where
// libss7 is not needed, the test itself plays the far end.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libss7.h>
}

#include "foundation/event.h"
#include "foundation/fd.h"
#include "messages/ACP/ACP.h"
#include "tests/signalling/peer_harness.h"
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

// MTP3 network test messages (ITU): service information octet, routing
// label (DPC, OPC and SLS in 32 bits, low octet first), heading, SLC and
// length of the test pattern, test pattern.
constexpr uint8_t SltmHeading = 0x11, SltaHeading = 0x21, TraHeading = 0x17;

inline std::vector<uint8_t> sltm(unsigned dpc, unsigned opc, unsigned slc, const std::vector<uint8_t>& pattern) {
  uint32_t label = (dpc & 0x3FFF) | (opc & 0x3FFF) << 14 | (slc & 15) << 28;
  std::vector<uint8_t> m(7 + pattern.size());
  const uint8_t head[] = {0x81, uint8_t(label), uint8_t(label >> 8), uint8_t(label >> 16), uint8_t(label >> 24),
                          SltmHeading, uint8_t(pattern.size() << 4 | (slc & 15))};
  std::copy(head, head + 7, m.begin());
  std::copy(pattern.begin(), pattern.end(), m.begin() + 7);
  return m;
}

// The heading of a network management (SI 0) or test (SI 1) message.
inline uint8_t heading(const std::vector<uint8_t>& msu) { return msu.size() > 5 && (msu[0] & 15) < 2 ? msu[5] : 0; }

// What MTP3 answers to a test message (the acknowledgement) and to the
// traffic restart allowed of a restarting neighbour (its own): the same
// message with the point codes swapped; empty for anything else.
inline std::vector<uint8_t> answer_for(const std::vector<uint8_t>& msu) {
  uint8_t h = heading(msu);
  if (h != SltmHeading && h != TraHeading)
    return {};
  std::vector<uint8_t> a = msu;
  uint32_t label = uint32_t(a[1]) | uint32_t(a[2]) << 8 | uint32_t(a[3]) << 16 | uint32_t(a[4]) << 24;
  uint32_t dpc = label & 0x3FFF, opc = label >> 14 & 0x3FFF;
  label = (label & 0xF0000000u) | opc | dpc << 14;
  for (int i = 0; i < 4; ++i)
    a[1 + i] = uint8_t(label >> (8 * i));
  if (h == SltmHeading)
    a[5] = SltaHeading;
  return a;
}

class Ss7Peer {
public:
  // The peer is point code pc; our end is adjacent, on signalling link slc.
  Ss7Peer(Fd line, unsigned pc, unsigned adjacent, unsigned slc, Capture& capture)
      : line_(std::move(line)), capture_(capture) {
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair);
    peerFd_ = pair[0];
    shimFd_ = pair[1];
    ss7_set_message(quiet);
    ss7_set_error(quiet);
    ss7_ = ss7_new(SS7_ITU);
    ss7_set_network_ind(ss7_, SS7_NI_NAT);
    ss7_set_pc(ss7_, pc);
    ss7_add_link(ss7_, SS7_TRANSPORT_DAHDIDCHAN, peerFd_, static_cast<int>(slc), adjacent);
    fromLine_.Bind("ss7 line", &Ss7Peer::on_line, this);
    fromLine_.Schedule(line_, POLLIN);
    fromPeer_.Bind("ss7 peer", &Ss7Peer::on_peer_wrote, this);
    fromPeer_.Schedule(Fd(::dup(shimFd_)), POLLIN);
    toPeer_.Bind("ss7 peer reads", &Ss7Peer::on_peer_readable, this);
    toPeer_.Schedule(Fd(::dup(peerFd_)), POLLIN);
    ss7_start(ss7_);
    tick_.start(1);
  }
  ~Ss7Peer() { close(); }
  Ss7Peer(const Ss7Peer&) = delete;
  Ss7Peer& operator=(const Ss7Peer&) = delete;

  // The peer goes away: libss7 and every descriptor of its side close, and
  // the line ends.
  void close() {
    if (!ss7_)
      return;
    tick_.stop();
    fromLine_.Release();
    fromPeer_.Release();
    toPeer_.Release();
    ss7_destroy(ss7_);
    ss7_ = nullptr;
    ::close(peerFd_);
    ::close(shimFd_);
    ::shutdown(line_.get(), SHUT_RDWR);
    line_.close();
  }

  bool up = false;    // libss7 has reported the link up
  bool down = false;  // and then down
  std::vector<Bytes> fromUs;  // the frames our end sent, in order

private:
  static void quiet(struct ss7*, char*) {}

  void on_line(int fd, short) {
    uint8_t frame[300];
    ssize_t n = ::recv(fd, frame, sizeof frame - 2, MSG_DONTWAIT);
    if (n <= 0)
      return;
    capture_.add(frame, static_cast<size_t>(n));
    fromUs.emplace_back(frame, frame + n);
    frame[n] = frame[n + 1] = 0;
    ::send(shimFd_, frame, static_cast<size_t>(n) + 2, MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  void on_peer_wrote(int fd, short) {
    uint8_t frame[300];
    ssize_t n = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT);
    if (n <= 2)
      return;
    capture_.add(frame, static_cast<size_t>(n - 2));
    ::send(line_.get(), frame, static_cast<size_t>(n - 2), MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  void on_peer_readable(int, short) {
    ss7_read(ss7_, peerFd_);
    take_events();
  }
  void on_tick() {
    if (ss7_pollflags(ss7_, peerFd_) & POLLOUT)
      ss7_write(ss7_, peerFd_);
    timeval* next = ss7_schedule_next(ss7_);
    timeval now;
    gettimeofday(&now, nullptr);
    if (next && (next->tv_sec < now.tv_sec || (next->tv_sec == now.tv_sec && next->tv_usec <= now.tv_usec)))
      ss7_schedule_run(ss7_);
    take_events();
    tick_.start(1);
  }
  void take_events() {
    while (ss7_event* e = ss7_check_event(ss7_)) {
      down = down || (up && e->e == SS7_EVENT_DOWN);
      up = up || e->e == SS7_EVENT_UP;
    }
  }

  Fd line_;
  Capture& capture_;
  int peerFd_ = -1;  // libss7's end
  int shimFd_ = -1;
  struct ss7* ss7_ = nullptr;
  Event fromLine_, fromPeer_, toPeer_;
  MemberTimer<Ss7Peer> tick_{this, &Ss7Peer::on_tick};
};

// The far end of a line played by the test frame by frame.
struct RawLine {
  explicit RawLine(Fd line) : fd(std::move(line)) {}
  // Takes the frames that have come; false once the line has ended.
  bool read() {
    uint8_t frame[300];
    ssize_t n;
    while ((n = ::recv(fd.get(), frame, sizeof frame, MSG_DONTWAIT)) > 0)
      received.emplace_back(frame, frame + n);
    ended = ended || n == 0;
    return !ended;
  }
  // The frame has come since the first `from` frames.
  bool got(const Bytes& frame, size_t from = 0) {
    read();
    return std::find(received.begin() + static_cast<ptrdiff_t>(std::min(from, received.size())), received.end(),
                     frame) != received.end();
  }
  bool send(const Bytes& frame) {
    return ::send(fd.get(), frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
           static_cast<ssize_t>(frame.size());
  }

  Fd fd;
  std::vector<Bytes> received;
  bool ended = false;
};

constexpr unsigned OurPc = 1, PeerPc = 2, Link = 0;

// A PSTN slot's Q.921 link, user side of a primary-rate trunk.
void priUser(LGCP::PstnParams& p) {
  LGCP::IsdnParams& i = p.select_isdn();
  i.set_type(LGCP::IsdnType::pri);
  i.set_trunk(1);
  i.set_log(0);
  i.mutable_side().select_user();
}

class SignallingE2E : public testing_support::SimE2E {
protected:
  void userData(int seq, int slot, const Bytes& bytes) {
    SimE2E::userData(seq, slot, std::vector<char>(bytes.begin(), bytes.end()));
  }

  // Slot n on an E1 time slot and slot n + 1 a PSTN slot with the
  // parameters fill gives, connected as its receiver (the commands numbered
  // as their slots); the line the PSTN slot's channel was wired to.
  template <class Fill>
  Fd pstnOnTimeSlot(testing_support::LineListener& lines, int n, unsigned timeslot, Fill fill) {
    trunk(n, n, timeslot);
    create(n + 1, n + 1, [&](LGCP::CreateParams& p) { fill(p.select_pstn()); });
    connect(n + 2, n, static_cast<unsigned>(n + 1));
    std::string ts = std::to_string(timeslot), trunkSlot = std::to_string(n), pstn = std::to_string(n + 1);
    EXPECT_EQ(exchange(ctl, 6), (Lines{"seq=" + trunkSlot + " slot=" + trunkSlot + " success",
                                       "slot=" + trunkSlot + " signal transmitter active " + ts,
                                       "slot=" + trunkSlot + " signal receiver active " + ts,
                                       "seq=" + pstn + " slot=" + pstn + " success",
                                       "slot=" + pstn + " signal receiver active -1",
                                       "seq=" + std::to_string(n + 2) + " slot=" + trunkSlot + " success"}));
    std::string text;
    Fd line = lines.take(text, testing_support::SimWait);
    EXPECT_EQ(text.substr(0, ts.size() + 1), ts + " ");
    return line;
  }
  template <class Fill>
  Fd pstnOnTimeSlot16(testing_support::LineListener& lines, Fill fill) {
    return pstnOnTimeSlot(lines, 1, 16, fill);
  }
  // A raw HDLC slot for station address 7.
  void hdlcSlot(int seq, int slot) {
    create(seq, slot, [](LGCP::CreateParams& p) {
      LGCP::HdlcParams& h = p.select_hdlcParams();
      h.set_trunk(1);
      h.set_log(0);
      h.set_address(7);
    });
  }
  Fd ss7OnTimeSlot16(testing_support::LineListener& lines) {
    return pstnOnTimeSlot16(lines, [](LGCP::PstnParams& p) {
      LGCP::SS7Params& s = p.select_ss7();
      s.set_trunk(1);
      s.set_slc(Link);
      s.set_dpc(PeerPc);
      s.set_opc(OurPc);
      s.set_emergency(true);
    });
  }

  // Takes what the controller has received: each message is kept in
  // `heard`, described with details (an ss7LinkInfo report with the link's
  // state), and the signals are returned.
  std::vector<LGCP::Signal> listen() {
    std::vector<LGCP::Signal> signals;
    ctl.poll();
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      if (!TestController::decode(payload, msg))
        continue;
      heard.push_back(TestController::describe_details(msg));
      if (!msg.get_pdu().is_signal())
        continue;
      const LGCP::Signal& s = msg.get_pdu().get_signal();
      if (s.is_ioctl() && s.get_ioctl().is_ss7LinkInfo()) {
        const char* state = s.get_ioctl().get_ss7LinkInfo().get_ss7state().getName();
        heard.back() += std::string(" ") + (state ? state : "?");
      }
      signals.push_back(s);
    }
    ctl.payloads().clear();
    return signals;
  }
  // The controller heard the line.
  bool heardOf(const std::string& line) { return listen(), std::count(heard.begin(), heard.end(), line) > 0; }

  // The controller plays MTP3 over slot 2: once the link is in service it
  // tests it, and it answers the peer's link test and traffic restart.
  // True once the link has been tested both ways.
  bool mtp3() {
    for (const LGCP::Signal& s : listen()) {
      deactivated = deactivated || s.is_deactivated();
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
    return activated && answered;
  }
  // Slot 2's SS7 link on E1 time slot 16, with libss7 as the peer on its
  // line, brought into service and tested both ways; null when it failed.
  std::unique_ptr<Ss7Peer> ss7InService(testing_support::LineListener& lines, testing_support::LoopRunner& loop,
                                        Capture& capture) {
    EXPECT_TRUE(lines.bound());
    Fd line = ss7OnTimeSlot16(lines);
    if (!line)
      return nullptr;
    auto peer = std::make_unique<Ss7Peer>(std::move(line), PeerPc, OurPc, Link, capture);
    if (!within(loop, 30, [&] { return mtp3() && peer->up; }))
      return nullptr;
    return peer;
  }
  // The n messages the controller heard up to and including the line;
  // empty while the line has not come.
  Lines heardUpTo(const std::string& line, size_t n) const {
    auto end = std::find(heard.begin(), heard.end(), line);
    if (end == heard.end())
      return {};
    return Lines(end - std::min<ptrdiff_t>(static_cast<ptrdiff_t>(n) - 1, end - heard.begin()), end + 1);
  }

  int seq = 10;
  bool activated = false, answered = false, deactivated = false;
  std::vector<Bytes> fromPeer;
  Lines heard;
};

// MSUs both ways between the controller, as MTP3, and the peer.
TEST_F(SignallingE2E, Ss7LinkOnTimeSlot16CarriesMsusToAndFromAPeer) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  testing_support::LoopRunner loop;
  Capture capture(LinkTypeMtp2);
  std::unique_ptr<Ss7Peer> peer = ss7InService(lines, loop, capture);
  ASSERT_TRUE(peer);
  EXPECT_NE(fromPeer.end(), std::find_if(fromPeer.begin(), fromPeer.end(), [](const Bytes& m) {
              return heading(m) == SltmHeading;
            }));
  // The peer goes: the link fails and says so.
  peer->close();
  ASSERT_TRUE(within(loop, 10, [&] { return mtp3(), deactivated; }));
  expect_clean_decode(capture, {"SLTM", "SLTA"});
}

// Disconnected from its time slot, a running SS7 link leaves service: it
// sends SIOS and the peer sees the link fail; the controller hears the
// link's reports, the state in them idle, then `deactivated`, before the
// answer to the disconnect.
TEST_F(SignallingE2E, Ss7LinkDisconnectedFromItsTimeSlotLeavesService) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  testing_support::LoopRunner loop;
  Capture capture(LinkTypeMtp2);
  std::unique_ptr<Ss7Peer> peer = ss7InService(lines, loop, capture);
  ASSERT_TRUE(peer);

  heard.clear();
  size_t before = peer->fromUs.size();
  ctl.command(20, 2, [](LGCP::Command& c) { c.select_disconnect(); });
  ASSERT_TRUE(within(loop, 10, [&] { return mtp3(), !heardUpTo("seq=20 slot=2 success", 1).empty(); }));
  EXPECT_EQ(heardUpTo("seq=20 slot=2 success", 5),
            (Lines{"slot=2 signal ioctl ss7LinkInfo idle", "slot=2 signal ioctl hdlcLinkInfo",
                   "slot=2 signal ioctl ss7LinkInfo idle", "slot=2 signal deactivated", "seq=20 slot=2 success"}));
  ASSERT_TRUE(within(loop, 10, [&] { return mtp3(), peer->down; }));
  // On the line: FISUs of the link in service, then SIOS.
  auto unit = peer->fromUs.begin() + static_cast<ptrdiff_t>(before);
  while (unit != peer->fromUs.end() && unit->size() == 3 && (*unit)[2] == 0)
    ++unit;
  ASSERT_NE(unit, peer->fromUs.end());
  EXPECT_EQ(*unit, (Bytes{0xFF, 0xFF, 0x01, 0x03}));
  expect_clean_decode(capture, {"SLTM", "SLTA"});
}

// The Q.921 link of a PSTN slot (user side, primary rate) the same way:
// disconnected, it releases the link on the line (DISC), and once the peer
// has answered (UA) the controller hears its reports and `deactivated`.
TEST_F(SignallingE2E, IsdnLinkDisconnectedFromItsTimeSlotIsReleased) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  ASSERT_TRUE(lines.bound());
  RawLine peer(pstnOnTimeSlot16(lines, priUser));
  ASSERT_TRUE(peer.fd);
  testing_support::LoopRunner loop;
  const Bytes sabme = {0x00, 0x01, 0x7F}, disc = {0x00, 0x01, 0x53}, ua = {0x00, 0x01, 0x73};
  ASSERT_TRUE(within(loop, 10, [&] { return peer.got(sabme); }));
  ASSERT_TRUE(peer.send(ua));
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("slot=2 signal activated"); }));

  heard.clear();
  size_t before = peer.received.size();
  ctl.command(20, 2, [](LGCP::Command& c) { c.select_disconnect(); });
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("seq=20 slot=2 success") && peer.got(disc, before); }));
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "slot=2 signal deactivated"), 0);  // not before the answer
  ASSERT_TRUE(peer.send(ua));
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("slot=2 signal deactivated"); }));
  EXPECT_EQ(heardUpTo("slot=2 signal deactivated", 3),
            (Lines{"slot=2 signal ioctl isdnLinkInfo", "slot=2 signal ioctl hdlcLinkInfo",
                   "slot=2 signal deactivated"}));
}

// A raw HDLC slot disconnected from its time slot closes its channel: the
// line ends there. Packages the controller sends meanwhile wait, and go out
// on the line of the next connection.
TEST_F(SignallingE2E, HdlcSlotDisconnectedFromItsTimeSlotClosesItsChannel) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  ASSERT_TRUE(lines.bound());
  trunk(1, 1, 20);
  hdlcSlot(2, 2);
  connect(3, 1, 2);
  EXPECT_EQ(exchange(ctl, 6), (Lines{"seq=1 slot=1 success", "slot=1 signal transmitter active 20",
                                     "slot=1 signal receiver active 20", "seq=2 slot=2 success",
                                     "slot=2 signal receiver active -1", "seq=3 slot=1 success"}));
  std::string text;
  RawLine first(lines.take(text, testing_support::SimWait));
  ASSERT_TRUE(first.fd);
  EXPECT_EQ(text.substr(0, 3), "20 ");
  auto packages = [&](int seq, const Bytes& body) {
    ctl.command(seq, 2, [&](LGCP::Command& c) {
      LGCP::HdlcPackage package;
      package.set_body(std::vector<char>(body.begin(), body.end()));
      c.select_ioctl().select_hdlcPackages().push_back(package);
    });
  };

  testing_support::LoopRunner loop;
  ASSERT_TRUE(first.send({0x00, 0x07, 0x00, 0x11, 0x00}));
  packages(4, {0xAA});
  ASSERT_TRUE(within(loop, 10, [&] {
    return heardOf("seq=4 slot=2 success") && first.got({0x00, 0x07, 0x00, 0xAA});
  }));
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "slot=2 signal ioctl hdlcPackages"), 1);

  ctl.command(5, 2, [](LGCP::Command& c) { c.select_disconnect(); });
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("seq=5 slot=2 success") && !first.read(); }));
  packages(6, {0xBB});
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("seq=6 slot=2 success"); }));
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "slot=2 signal ioctl hdlcPackages"), 1);

  connect(7, 1, 2);
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("seq=7 slot=1 success"); }));
  RawLine second(lines.take(text, testing_support::SimWait));
  ASSERT_TRUE(second.fd);
  ASSERT_TRUE(within(loop, 10, [&] { return second.got({0x00, 0x07, 0x20, 0xBB}); }));
  EXPECT_EQ(second.received, std::vector<Bytes>{(Bytes{0x00, 0x07, 0x20, 0xBB})});
}

// The controller goes with every link running: each slot ends its link on
// the line before its channel closes, the SS7 link with SIOS, the Q.921
// link with DISC; the raw HDLC slot's line just ends.
TEST_F(SignallingE2E, ControllerLossEndsEveryLinkOnTheLine) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  ASSERT_TRUE(lines.bound());
  RawLine ss7(ss7OnTimeSlot16(lines));
  RawLine isdn(pstnOnTimeSlot(lines, 4, 17, priUser));
  trunk(7, 7, 20);
  hdlcSlot(8, 8);
  connect(9, 7, 8);
  EXPECT_EQ(exchange(ctl, 6).back(), "seq=9 slot=7 success");
  std::string text;
  RawLine hdlc(lines.take(text, testing_support::SimWait));
  ASSERT_TRUE(ss7.fd && isdn.fd && hdlc.fd);

  testing_support::LoopRunner loop;
  const Bytes sio = {0xFF, 0xFF, 0x01, 0x00}, sios = {0xFF, 0xFF, 0x01, 0x03};
  const Bytes sabme = {0x00, 0x01, 0x7F}, disc = {0x00, 0x01, 0x53}, ua = {0x00, 0x01, 0x73};
  ASSERT_TRUE(within(loop, 10, [&] { return ss7.got(sio) && isdn.got(sabme); }));
  ASSERT_TRUE(isdn.send(ua));
  ASSERT_TRUE(within(loop, 10, [&] { return heardOf("slot=5 signal activated"); }));
  size_t ss7Before = ss7.received.size(), isdnBefore = isdn.received.size();

  ctl.close();
  ASSERT_TRUE(within(loop, 10, [&] { return !ss7.read() && !isdn.read() && !hdlc.read(); }));
  // SIOS as the link goes down with the disconnect, and again as the slot goes.
  std::vector<Bytes> ss7End(ss7.received.begin() + static_cast<ptrdiff_t>(ss7Before), ss7.received.end());
  EXPECT_FALSE(ss7End.empty());
  EXPECT_EQ(ss7End, std::vector<Bytes>(ss7End.size(), sios));
  EXPECT_EQ(std::vector<Bytes>(isdn.received.begin() + static_cast<ptrdiff_t>(isdnBefore), isdn.received.end()),
            std::vector<Bytes>{disc});
  EXPECT_TRUE(hdlc.received.empty());
}

// Every other signalling kind is created, the raw HDLC slot wired to a
// trunk, and all destroyed.
TEST_F(SignallingE2E, EveryKindIsCreated) {
  trunk(1, 1, 20);
  ASSERT_EQ(exchange(ctl, 3).size(), 3u);
  hdlcSlot(2, 2);
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
  EXPECT_TRUE(d.shows("/sim/switch", "20 connected "));
  for (int slot : {5, 4, 3, 6, 2})
    destroy(10 + slot, slot);
  Lines gone = exchange(ctl, 10);
  EXPECT_EQ(std::count_if(gone.begin(), gone.end(), [](const std::string& l) { return l.find(" success") != std::string::npos; }),
            10);
}

}  // namespace
