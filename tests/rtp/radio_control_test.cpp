#include "rtp/radio_control.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <net/if.h>
#include <string>
#include <vector>

#include "foundation/mux_time.h"
#include "tests/rtp/radio_fixture.h"
#include "tests/support/log_capture.h"

using RTPSignalling::RadioControl;
using SimBoard::RtpExt;
using testing_support::LogCapture;
using namespace radio_testing;

namespace {

// Records the status ticks and answers each with the next planned delay.
class TickingControl : public RadioControl {
public:
  using RadioControl::RadioControl;
  std::vector<uint32_t> ticks;
  std::vector<unsigned long> delays;

protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override {
    ticks.push_back(static_cast<uint32_t>(now));
    if (ticks.size() <= delays.size())
      return delays[ticks.size() - 1];
    return interval;
  }
};

class RadioControlTest : public RadioFixture {};

std::string timeNow() {
  Mux::timeval tv;
  Mux::gettimeval(tv);
  return Mux::timevaltostring(tv);
}

TEST_F(RadioControlTest, SessionOfEachType) {
  {
    RadioControl own(7, attach(1234), init());
    SimBoard::RtpExtSession& s = ext.session(0);
    EXPECT_EQ(ext.requests(RtpExt::Init).at(0).in,
              (SimBoard::Bytes{0x01, 0x67, 0, 0, 0, 0, 0, 1, 0, 0, 0, 123, 0, 0, 0, 10, 0, 0, 0, 1}));
    EXPECT_EQ(ext.requests(RtpExt::Attach).at(0).in, SimBoard::words({uint32_t(rtp.get()), 1234}));
    EXPECT_TRUE(s.attached());
    EXPECT_TRUE(own.ext_event().attached());

    // Stopped and started again around a codec change: a new session.
    EXPECT_TRUE(own.RtpExtStop());
    EXPECT_EQ(s.detaches(), 1u);
    EXPECT_FALSE(s.open());
    EXPECT_FALSE(own.ext_event().attached());
    EXPECT_TRUE(own.RtpExtStop());  // nothing left to detach
    EXPECT_EQ(ext.requests(RtpExt::Detach).size(), 1u);
    EXPECT_TRUE(own.RtpExtStart(false));
    EXPECT_TRUE(ext.session(1).attached());
    EXPECT_TRUE(own.ext_event().attached());
  }
  EXPECT_FALSE(ext.session(1).open());  // the destructor closes without detaching
  EXPECT_EQ(ext.session(1).detaches(), 0u);

  RadioControl only(init());
  EXPECT_FALSE(ext.session(2).attached());
  EXPECT_TRUE(only.RtpExtStop());
  EXPECT_TRUE(ext.session(2).open());  // only the attached kind stops

  // The slot's RTP session joins another session's extension stream.
  rtp_attach_session_params other;
  other.fd_rtp = 9;
  other.pid_rtp = 4321;
  LogCapture log;
  RadioControl joined(3, rtp, other);
  EXPECT_EQ(ext.session_count(), 3u);
  const std::vector<SimBoard::LoggedRequest> a = board.device("/dev/rtp")->requests(0xC0085209);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].in, SimBoard::words({9, 4321}));
}

TEST_F(RadioControlTest, DeviceFailuresAreLoggedAndLeaveNoSession) {
  struct Case {
    std::function<void()> arrange;
    const char* message;
  } cases[] = {
      {[&] { ext.fail_open(EBUSY); }, "create rtp_ext session fail !!!"},
      {[&] { ext.fail(RtpExt::Init, EIO, 1); }, "init rtp_ext session fail !!!"},
      {[&] { ext.fail(RtpExt::Attach, EIO, 1); }, "attach rtp_ext session fail !!!"},
  };
  for (const Case& c : cases) {
    c.arrange();
    LogCapture log;
    RadioControl control(5, attach(), init());
    ext.fail_open(0);
    EXPECT_EQ(log.err(), "rtp_ext[5] " + timeNow() + ":" + c.message + "\n");
    EXPECT_FALSE(control.ext_fd());
    EXPECT_FALSE(control.ext_event().attached());
    EXPECT_EQ(ext.open_count(), 0u);
  }

  // A failed restart keeps the session there is.
  RadioControl control(5, attach(), init());
  const int before = control.ext_fd().get();
  ext.fail(RtpExt::Init, EIO, 1);
  LogCapture log;
  EXPECT_FALSE(control.RtpExtStart(true));
  EXPECT_EQ(control.ext_fd().get(), before);
  EXPECT_EQ(ext.open_count(), 1u);

  ext.fail(RtpExt::Detach, EIO, 1);
  EXPECT_TRUE(control.RtpExtStop());
  EXPECT_NE(log.err().find(":detach rtp_ext session fail !!!\n"), std::string::npos);
  EXPECT_EQ(ext.open_count(), 0u);

  board.device("/dev/rtp")->fail(0xC0085209, EPERM, 1);
  log.clear();
  RadioControl joined(3, rtp, rtp_attach_session_params());
  EXPECT_EQ(log.err(), "rtp_ext[3] " + timeNow() + ":attach rtp session fail !!!\n");
}

TEST_F(RadioControlTest, SourceFilter) {
  RadioControl control(2, attach(), init());
  SimBoard::RtpExtSession& s = ext.session(0);
  in_addr a{inet_addr("10.0.0.5")}, b{inet_addr("10.0.0.6")};
  struct Step {
    bool set;
    in_addr source;
    size_t filters, unfilters;
    bool filtered;
  } steps[] = {
      {false, a, 0, 0, false},  // nothing to lift
      {true, a, 1, 0, true},
      {true, a, 1, 0, true},  // the same address again: no request
      {true, b, 2, 0, true},
      {false, a, 2, 1, false},
      {false, a, 2, 1, false},
  };
  for (const Step& step : steps) {
    control.UpdateAccess(step.set, step.source);
    EXPECT_EQ(ext.requests(RtpExt::Filter).size(), step.filters);
    EXPECT_EQ(ext.requests(RtpExt::Unfilter).size(), step.unfilters);
    EXPECT_EQ(s.filtered(), step.filtered);
    EXPECT_EQ(control.filter_active(), step.filtered);
  }
  control.UpdateAccess(true, b);
  EXPECT_EQ(s.filter_address(), address("10.0.0.6"));
  EXPECT_EQ(ext.requests(RtpExt::Filter).back().in, SimBoard::words({address("10.0.0.6"), 0}));
  // The driver drops the other sources' packets.
  EXPECT_FALSE(s.inject(1, address("10.0.0.5"), {0x20, 0x00}));
  EXPECT_TRUE(s.inject(1, address("10.0.0.6"), {0x20, 0x00}));

  LogCapture log;
  ext.fail(RtpExt::Unfilter, EIO, 1);
  control.UpdateAccess(false, b);
  ext.fail(RtpExt::Filter, EIO, 1);
  control.UpdateAccess(true, a);
  EXPECT_TRUE(control.filter_active());  // kept although the driver refused
  const std::string prefix = "rtp_ext[2] " + timeNow() + ":";
  EXPECT_EQ(log.err(), prefix + "reset filer rtp_ext session fail !!!\n" + prefix +
                           "set filer rtp_ext session fail !!!\n");
}

TEST_F(RadioControlTest, PrefixAndLocalAddress) {
  clock.set_ms(1700000000123ull);
  RadioControl control(12, attach(), init());
  EXPECT_EQ(control.GetPrefix(), "rtp_ext[12] " + timeNow() + ":");
  EXPECT_EQ(timeNow().substr(timeNow().size() - 7), ".123000");
  RadioControl only(init());
  EXPECT_EQ(only.GetPrefix(), "rtp_ext " + timeNow() + ":");

  // The first interface with a private address, else the loopback address.
  using Interface = SimBoard::Interfaces::Interface;
  struct Case {
    std::vector<Interface> interfaces;
    const char* local;
  } cases[] = {
      {{{"lo", address("127.0.0.1"), IFF_UP}}, "127.0.0.1"},
      {{{"eth0", address("8.8.4.4"), IFF_UP}, {"eth1", address("169.254.3.3"), IFF_UP}}, "127.0.0.1"},
      {{{"eth0", address("8.8.4.4"), IFF_UP}, {"eth1", address("172.20.1.2"), IFF_UP},
        {"eth2", address("10.1.1.1"), IFF_UP}},
       "172.20.1.2"},
  };
  for (const Case& c : cases) {
    board.interfaces().set(c.interfaces);
    RadioControl local(1, attach(), init());
    EXPECT_EQ(local.local_addr().GetString(), std::string(c.local) + ":0");
  }
}

TEST_F(RadioControlTest, StatusTimerTicksWithTheDelayItIsGiven) {
  TickingControl control(4, attach(), init());
  control.delays = {250, 40};
  const uint64_t start = clock.now_ms();
  control.SetTimerInterval(300);
  EXPECT_FALSE(control.timer_pending());  // the interval alone arms nothing
  control.SetTimerEnable(true);
  loop.until([&] { return control.ticks.size() == 4; });
  ASSERT_EQ(control.ticks.size(), 4u);
  // 300, then the delays the hook returned, then the interval again.
  EXPECT_EQ(control.ticks[0], static_cast<uint32_t>(start + 300));
  EXPECT_EQ(control.ticks[1], static_cast<uint32_t>(start + 550));
  EXPECT_EQ(control.ticks[2], static_cast<uint32_t>(start + 590));
  EXPECT_EQ(control.ticks[3], static_cast<uint32_t>(start + 890));
  control.SetTimerEnable(false);
  EXPECT_FALSE(control.timer_pending());
  clock.advance(5000);
  loop.turn();
  EXPECT_EQ(control.ticks.size(), 4u);
}

}  // namespace
