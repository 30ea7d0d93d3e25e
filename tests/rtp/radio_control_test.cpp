// The radio control base against the simulated "/dev/rtp_ext": the
// session of each type with its request records, device failures with the
// texts operators look for, the source filter, the status timer, the log
// prefix and the local address. The protocol controls' and the radio
// slots' tests run its read loop.
#include "rtp/radio_control.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <net/if.h>
#include <string>
#include <vector>

#include "foundation/device_io.h"
#include "foundation/mux_time.h"
#include "simboard/rtp.h"
#include "tests/rtp/radio_fixture.h"
#include "tests/support/log_capture.h"

using RTPSignalling::RadioControl;
using SimBoard::RtpExt;
using testing_support::LogCapture;
using namespace radio_testing;

namespace {

// Notes the status ticks and answers each with the next planned delay.
class TickingControl : public RadioControl {
public:
  using RadioControl::RadioControl;
  std::vector<uint32_t> ticks;
  std::vector<unsigned long> delays;

protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override {
    ticks.push_back(static_cast<uint32_t>(now));
    return ticks.size() <= delays.size() ? delays[ticks.size() - 1] : interval;
  }
};

class RadioControlTest : public RadioFixture {
protected:
  // The log prefix of control `id` now.
  static std::string Prefix(int id) {
    Mux::timeval tv;
    Mux::gettimeval(tv);
    return "rtp_ext[" + std::to_string(id) + "] " + Mux::timevaltostring(tv) + ":";
  }
  size_t Requests(unsigned long request) { return ext.requests(request).size(); }
};

TEST_F(RadioControlTest, SessionOfEachType) {
  {
    RadioControl own(7, attach(1234), init());
    SimBoard::RtpExtSession& s = session();
    EXPECT_EQ(ext.requests(RtpExt::Init).at(0).in,
              (SimBoard::Bytes{0x01, 0x67, 0, 0, 0, 0, 0, 1, 0, 0, 0, 123, 0, 0, 0, 10, 0, 0, 0, 1}));
    EXPECT_EQ(ext.requests(RtpExt::Attach).at(0).in, SimBoard::words({uint32_t(rtp.get()), 1234}));
    EXPECT_TRUE(s.attached());

    // Stopped and started again around a codec change: a new session.
    EXPECT_TRUE(own.RtpExtStop());
    EXPECT_EQ(std::make_pair(s.detaches(), s.open()), std::make_pair(1u, false));
    EXPECT_TRUE(own.RtpExtStop());  // nothing left to detach
    EXPECT_EQ(Requests(RtpExt::Detach), 1u);
    EXPECT_TRUE(own.RtpExtStart(false));
    ASSERT_NE(&session(), &s);
    EXPECT_TRUE(session().attached());
    EXPECT_EQ(ext.requests(RtpExt::Attach).back().in, SimBoard::words({uint32_t(rtp.get()), 1234}));
  }
  // The destructor closes without detaching.
  EXPECT_EQ(std::make_pair(session().detaches(), session().open()), std::make_pair(0u, false));

  // Its own session, initialised, never attached; stopping leaves it, and
  // only a new session replaces it.
  const size_t attaches = Requests(RtpExt::Attach);
  RadioControl only(init());
  SimBoard::RtpExtSession& o = session();
  EXPECT_TRUE(o.initialised());
  EXPECT_TRUE(only.RtpExtStop());
  EXPECT_TRUE(only.RtpExtStart(false));
  EXPECT_EQ(&session(), &o);
  EXPECT_TRUE(o.open());
  EXPECT_TRUE(only.RtpExtStart(true));
  EXPECT_NE(&session(), &o);
  EXPECT_FALSE(o.open());
  EXPECT_EQ(Requests(RtpExt::Attach), attaches);
  EXPECT_EQ(Requests(RtpExt::Detach), 1u);

  // The slot's RTP session joins another session's extension stream, at
  // construction and at each start.
  rtp_connection_params begun;
  ASSERT_EQ(DevIo::ioctl(rtp.get(), SimBoard::Rtp::BeginSession, &begun), 0);
  rtp_attach_session_params other;
  other.fd_rtp = 9;
  other.pid_rtp = 4321;
  const size_t sessions = ext.session_count();
  LogCapture log;
  RadioControl joined(3, rtp, other);
  EXPECT_TRUE(joined.RtpExtStop());
  EXPECT_TRUE(joined.RtpExtStart(false));
  EXPECT_EQ(ext.session_count(), sessions);
  EXPECT_EQ(log.err(), "");
  const std::vector<SimBoard::LoggedRequest> a = board.device("/dev/rtp")->requests(0xC0085209);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].in, SimBoard::words({9, 4321}));
  EXPECT_EQ(a[1].in, a[0].in);
}

TEST_F(RadioControlTest, DeviceFailuresAreLoggedAndLeaveNoSession) {
  const struct {
    std::function<void()> arrange;
    const char* message;
  } cases[] = {
      {[&] { ext.fail_open(EBUSY); }, "create rtp_ext session fail !!!"},
      {[&] { ext.fail(RtpExt::Init, EIO, 1); }, "init rtp_ext session fail !!!"},
      {[&] { ext.fail(RtpExt::Attach, EIO, 1); }, "attach rtp_ext session fail !!!"},
  };
  for (const auto& c : cases) {
    c.arrange();
    LogCapture log;
    RadioControl control(5, attach(), init());
    ext.fail_open(0);
    EXPECT_EQ(log.err(), Prefix(5) + c.message + "\n");
    EXPECT_EQ(ext.open_count(), 0u);
    EXPECT_TRUE(control.RtpExtStop());  // nothing to detach
  }
  EXPECT_EQ(Requests(RtpExt::Detach), 0u);

  // A failed restart keeps the session there is; a failed detach still closes it.
  RadioControl control(5, attach(), init());
  const SimBoard::RtpExtSession* kept = ext.latest();
  ext.fail(RtpExt::Init, EIO, 1);
  LogCapture log;
  EXPECT_FALSE(control.RtpExtStart(true));
  EXPECT_TRUE(kept->open());
  ext.fail(RtpExt::Detach, EIO, 1);
  EXPECT_TRUE(control.RtpExtStop());
  EXPECT_EQ(ext.open_count(), 0u);
  board.device("/dev/rtp")->fail(0xC0085209, EPERM, 1);
  RadioControl joined(3, rtp, rtp_attach_session_params());
  EXPECT_EQ(log.err(), Prefix(5) + "init rtp_ext session fail !!!\n" + Prefix(5) +
                           "detach rtp_ext session fail !!!\n" + Prefix(3) + "attach rtp session fail !!!\n");
}

// Set twice for one address: one request; lifted when none is set: none.
TEST_F(RadioControlTest, SourceFilter) {
  RadioControl control(2, attach(), init());
  const in_addr a{inet_addr("10.0.0.5")}, b{inet_addr("10.0.0.6")};
  LogCapture log;
  control.UpdateAccess(false, a);
  control.UpdateAccess(true, a);
  control.UpdateAccess(true, a);
  control.UpdateAccess(true, b);
  EXPECT_EQ(ext.requests(RtpExt::Filter).back().in, SimBoard::words({address("10.0.0.6"), 0}));
  ext.fail(RtpExt::Unfilter, EIO, 1);
  control.UpdateAccess(false, b);
  control.UpdateAccess(false, b);
  ext.fail(RtpExt::Filter, EIO, 1);
  control.UpdateAccess(true, a);
  control.UpdateAccess(true, a);  // taken as set although the driver refused
  EXPECT_EQ(std::make_pair(Requests(RtpExt::Filter), Requests(RtpExt::Unfilter)), std::make_pair(size_t(3), size_t(1)));
  EXPECT_EQ(log.err(), Prefix(2) + "reset filer rtp_ext session fail !!!\n" + Prefix(2) +
                           "set filer rtp_ext session fail !!!\n");

  // Lifted, then set again for the address it held: asked again, each time.
  for (int round = 0; round < 2; ++round) {
    control.UpdateAccess(false, a);
    EXPECT_FALSE(session().filtered());
    control.UpdateAccess(true, a);
    EXPECT_TRUE(session().filtered());
    EXPECT_EQ(session().filter_address(), address("10.0.0.5"));
  }
  EXPECT_EQ(std::make_pair(Requests(RtpExt::Filter), Requests(RtpExt::Unfilter)), std::make_pair(size_t(5), size_t(3)));
}

TEST_F(RadioControlTest, StatusTimerTicksWithTheDelayItIsGiven) {
  clock.set_real_wait(1);
  TickingControl control(4, attach(), init());
  control.delays = {250, 40};
  const uint64_t start = clock.now_ms();
  // The interval alone arms nothing: no timer, so the clock does not move.
  control.SetTimerInterval(300);
  loop.turn(3);
  EXPECT_EQ(clock.now_ms(), start);
  control.SetTimerEnable(true);
  loop.until([&] { return control.ticks.size() == 4; }, 100);
  // 300, then the delays the hook returned, then the interval again.
  const uint32_t t = static_cast<uint32_t>(start);
  EXPECT_EQ(control.ticks, (std::vector<uint32_t>{t + 300, t + 550, t + 590, t + 890}));
  control.SetTimerEnable(false);
  const uint64_t stopped = clock.now_ms();
  loop.turn(3);
  EXPECT_EQ(clock.now_ms(), stopped);
  EXPECT_EQ(control.ticks.size(), 4u);
}

TEST_F(RadioControlTest, PrefixAndLocalAddress) {
  clock.set_ms(1700000000123ull);
  RadioControl control(12, attach(), init());
  EXPECT_EQ(control.GetPrefix(), Prefix(12));
  EXPECT_EQ(Prefix(12).substr(Prefix(12).size() - 8), ".123000:");
  RadioControl only(init());
  EXPECT_EQ(only.GetPrefix(), "rtp_ext " + Prefix(0).substr(11));

  // The first interface with a private address, else the loopback address.
  using Interface = SimBoard::Interfaces::Interface;
  const struct {
    std::vector<Interface> interfaces;
    const char* local;
  } cases[] = {
      {{{"lo", address("127.0.0.1"), IFF_UP}}, "127.0.0.1"},
      {{{"eth0", address("8.8.4.4"), IFF_UP}, {"eth1", address("169.254.3.3"), IFF_UP}}, "127.0.0.1"},
      {{{"eth0", address("8.8.4.4"), IFF_UP}, {"eth1", address("172.20.1.2"), IFF_UP},
        {"eth2", address("10.1.1.1"), IFF_UP}},
       "172.20.1.2"},
  };
  for (const auto& c : cases) {
    board.interfaces().set(c.interfaces);
    RadioControl local(1, attach(), init());
    EXPECT_EQ(local.local_addr().GetString(), std::string(c.local) + ":0");
  }
}

}  // namespace
