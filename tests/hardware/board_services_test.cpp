#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>

#include "hardware/hw_mux.h"
#include "simboard/hal.h"
#include "tests/hardware/services_fixture.h"

using SimBoard::Hal;
using testing::ElementsAre;
using testing::HasSubstr;

namespace services_test {
namespace {

void BpcTest(testing_support::TestController& ctl, int seed, int mode, unsigned bus, unsigned start,
             unsigned length) {
  ctl.command(1, -1, [&](LGCP::Command& c) {
    LGCP::BpcTestParams& p = c.select_testBpc();
    p.set_bus(bus);
    p.set_seed(seed);
    LGCP::BpcTestMode& m = p.mutable_mode();
    m.setSelection(mode, m.info()->selectionInfos[mode]->create(m.info()->selectionInfos[mode]));
    p.set_timeslot_start(start);
    p.set_timeslot_length(length);
  });
}

void ClockCfg(testing_support::TestController& ctl, LGCP::ClkSel0::NamedNumber sel, LGCP::BExtEn::NamedNumber bext,
              int source) {
  ctl.command(2, -1, [&](LGCP::Command& c) {
    LGCP::ClockCfg& cfg = c.select_clockCfg();
    cfg.set_clkSel0(sel);
    cfg.set_bextEn(bext);
    cfg.set_source(source);
  });
}

}  // namespace

TEST(HwTestsPattern, IsTheLibraryRandomSequenceAndKeepsItsOwnState) {
  HwTests* tests = HwTests::instance();
  for (unsigned seed : {1u, 0xffffffffu}) {
    srandom(seed);
    std::vector<int> expected, pattern;
    for (int i = 0; i < 300; ++i)
      expected.push_back(static_cast<int>(random() & 0xff));
    tests->Seed(seed);
    for (int i = 0; i < 300; ++i) {
      pattern.push_back(tests->NextByte());
      srandom(7);  // another user of the library's generator
    }
    EXPECT_EQ(pattern, expected) << "seed " << seed;
  }
}

TEST_F(ServicesTest, BusTestWritesReadsAndDisablesItsRun) {
  Connect();
  Received();
  // Bus 1, time slots 10..12: outputs 8330..8332 carry that seed's pattern.
  BpcTest(ctl, 99, LGCP::BpcTestMode::alt_write, 1, 10, 3);
  EXPECT_THAT(Await(1), ElementsAre("seq=1 success"));
  HwTests::instance()->Seed(99);
  for (int channel = 8330; channel <= 8332; ++channel) {
    EXPECT_EQ(board.hal().output(channel).kind, Hal::Kind::Constant);
    EXPECT_EQ(board.hal().output(channel).byte, HwTests::instance()->NextByte());
  }

  // The same seed reads back; another one fails on the first time slot.
  BpcTest(ctl, 99, LGCP::BpcTestMode::alt_read, 1, 10, 3);
  EXPECT_THAT(Await(1), ElementsAre("seq=1 success"));
  HwTests::instance()->Seed(5);
  unsigned first = HwTests::instance()->NextByte();
  logs.clear();
  BpcTest(ctl, 5, LGCP::BpcTestMode::alt_read, 1, 10, 3);
  EXPECT_THAT(Await(1), ElementsAre("seq=1 error busError"));
  char line[80];
  std::snprintf(line, sizeof line, "bus 1: test failed on channel 10 expected %02X read %02X\n", first,
                board.hal().byte_on(8330));
  EXPECT_EQ(logs.err(), line);

  // A write whose third channel reads back wrong: nothing read after it.
  board.hal().set_input(8332, 0x5a);
  board.log().clear();
  BpcTest(ctl, 99, LGCP::BpcTestMode::alt_write, 1, 10, 5);
  EXPECT_THAT(Await(1), ElementsAre("seq=1 error busError"));
  EXPECT_EQ(board.hal().requests(Hal::Write).size(), 5u);
  EXPECT_EQ(board.hal().requests(Hal::Read).size(), 3u);

  // Disconnect disables the run.
  BpcTest(ctl, 0, LGCP::BpcTestMode::alt_disconnect, 1, 10, 2);
  EXPECT_THAT(Await(1), ElementsAre("seq=1 success"));
  EXPECT_EQ(board.hal().output(8331).kind, Hal::Kind::Disabled);
  EXPECT_EQ(board.hal().output(8332).kind, Hal::Kind::Constant);
}

TEST_F(ServicesTest, ClockSourcesAsTheBoardSeesThem) {
  Connect();
  EXPECT_EQ(board.hal().clock_source(), BusCtl::FreeRun);  // the default at connect
  Received();
  struct {
    LGCP::ClkSel0::NamedNumber sel;
    LGCP::BExtEn::NamedNumber bext;
    int source, selected;
  } const cases[] = {{LGCP::ClkSel0::internal, LGCP::BExtEn::enabled, 2, 4},
                     {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2, 2},
                     {LGCP::ClkSel0::external, LGCP::BExtEn::disabled, 1, 5}};
  for (const auto& c : cases) {
    ClockCfg(ctl, c.sel, c.bext, c.source);
    EXPECT_THAT(Await(1), ElementsAre("seq=2 success"));
    EXPECT_EQ(board.hal().clock_source(), c.selected);
  }

  // A failed request: still success, and the log says so.
  board.hal().fail(Hal::ClockSelect, EIO, 1);
  logs.clear();
  ClockCfg(ctl, LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 3);
  EXPECT_THAT(Await(1), ElementsAre("seq=2 success"));
  EXPECT_THAT(logs.err(), HasSubstr("clkctl: HW_CLOCK_SELECT fail.\n"));
  EXPECT_EQ(board.hal().clock_source(), 5);

  // The controller goes: back to free-running, and the line channels stop polling.
  Disconnect();
  EXPECT_EQ(board.hal().clock_source(), 4);
  EXPECT_FALSE(spiCtrl::instance()->polling());
}

TEST_F(ServicesTest, DisabledClockControlRefusesAndLeavesTheClock) {
  BusCtl::instance()->DisableControl();
  Connect();
  Received();
  ClockCfg(ctl, LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2);
  EXPECT_THAT(Await(1), ElementsAre("seq=2 error unsupported"));
  Disconnect();
  EXPECT_TRUE(board.hal().requests(Hal::ClockSelect).empty());
  EXPECT_FALSE(BusCtl::instance()->IsOpen());
}

// "/dev/hal" is missing when the services start.
class HalMissingTest : public ServicesTest {
protected:
  HalMissingTest() : ServicesTest([](SimBoard::Board& b) { b.hal().set_present(false); }) {}
};

TEST_F(HalMissingTest, ClockAndLineChannelsWaitForTheDevice) {
  EXPECT_FALSE(spiCtrl::instance()->is_open());
  Connect();
  EXPECT_FALSE(spiCtrl::instance()->polling());
  Received();
  logs.clear();
  ClockCfg(ctl, LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2);
  EXPECT_THAT(Await(1), ElementsAre("seq=2 success"));
  EXPECT_EQ(logs.err(), "clkctl: set clock source fail: code 1.\n");

  // The device appears: the next request opens it; the line channels are
  // initialised by the clock fallback and poll from the next connection.
  board.hal().set_present(true);
  ClockCfg(ctl, LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2);
  EXPECT_THAT(Await(1), ElementsAre("seq=2 success"));
  EXPECT_EQ(board.hal().clock_source(), 2);
  EXPECT_FALSE(spiCtrl::instance()->is_open());
  spiCtrl::instance()->clock(-1);
  EXPECT_EQ(board.hal().spi_register(7, 52), 96);
  Disconnect();
  Connect();
  EXPECT_TRUE(spiCtrl::instance()->polling());
}

TEST_F(ServicesTest, LineChannelsAreInitialisedAndTakeTheClockMaster) {
  Hal& hal = board.hal();
  for (int ch = 0; ch < 8; ++ch)
    EXPECT_EQ(hal.spi_register(ch, 50), 0) << ch;  // enabled
  std::vector<unsigned> order;
  for (const SimBoard::LoggedRequest& r : hal.requests(Hal::SpiWrite))
    if (r.in[0] == 0)
      order.push_back(r.in[1] * 1000u + r.in[2]);
  EXPECT_THAT(order, ElementsAre(50128, 48008, 87048, 52096, 53000, 54000, 55000, 50000));
  // The descriptor does not leak into child processes.
  ASSERT_FALSE(hal.files().empty());
  for (const auto& file : hal.files())
    EXPECT_TRUE(file->flags() & O_CLOEXEC);

  spiCtrl::instance()->clock(3);
  for (int ch = 0; ch < 8; ++ch)
    EXPECT_EQ(hal.spi_register(ch, 87), ch == 3 ? 56 : 48) << ch;
  board.log().clear();
  spiCtrl::instance()->clock(8);
  spiCtrl::instance()->init_channel(-1);
  EXPECT_TRUE(hal.requests().empty());
}

TEST_F(ServicesTest, LineStatusIsPolledEverySecondWithAConnectedController) {
  Hal& hal = board.hal();
  const uint8_t status[8] = {0xc5, 0x85, 0x45, 0x01, 0x04, 0xe5, 0xe5, 0xc5};
  for (int ch = 0; ch < 8; ++ch)
    hal.set_spi_register(ch, spiCtrl::RegStatus, status[ch]);
  Connect();
  EXPECT_EQ(Received().size(), 4u);  // the E1 trunks' status only
  EXPECT_TRUE(After(999).empty());
  std::vector<std::string> first = After(1);
  ASSERT_EQ(first.size(), 12u);  // the E1 trunks', then the line channels'
  const char* const expected[8] = {"0 normal slips=0", "1 rai slips=0", "2 ais slips=0", "3 lossBF slips=0",
                                   "4 lossCarrier slips=0", "5 normal slips=1", "6 normal slips=1",
                                   "7 normal slips=0"};
  for (int ch = 0; ch < 8; ++ch)
    EXPECT_EQ(first[4 + ch], std::string("trunkStatus ") + expected[ch] + " bf=0 carrier=0 ais=0 rai=0 bri");
  EXPECT_EQ(Watcher::instance().signals.size(), 16u);  // the others saw them too

  // Each channel keeps its own latch: a slip held shows once, a new one again.
  hal.set_spi_register(6, spiCtrl::RegStatus, 0xc5);
  hal.set_spi_register(7, spiCtrl::RegStatus, 0xe5);
  std::vector<std::string> second = After(1000);
  ASSERT_EQ(second.size(), 12u);
  EXPECT_EQ(second[4 + 5], "trunkStatus 5 normal slips=0 bf=0 carrier=0 ais=0 rai=0 bri");
  EXPECT_EQ(second[4 + 6], "trunkStatus 6 normal slips=0 bf=0 carrier=0 ais=0 rai=0 bri");
  EXPECT_EQ(second[4 + 7], "trunkStatus 7 normal slips=1 bf=0 carrier=0 ais=0 rai=0 bri");
  hal.set_spi_register(6, spiCtrl::RegStatus, 0xe5);
  EXPECT_EQ(After(1000).at(4 + 6), "trunkStatus 6 normal slips=1 bf=0 carrier=0 ais=0 rai=0 bri");

  // The interface goes (ENODEV): the poll stops for good, nothing more is written.
  hal.set_spi_present(false);
  EXPECT_EQ(After(1000).size(), 4u);  // the E1 trunks only
  board.log().clear();
  spiCtrl::instance()->clock(2);
  EXPECT_TRUE(hal.requests().empty());
  EXPECT_EQ(After(1000).size(), 4u);
}

}  // namespace services_test
