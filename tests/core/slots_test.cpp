// The slot registry through the controller's commands: create, destroy
// (at once and delayed), commands on slots being destroyed, the resources
// report and the clean-up when the controller goes away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "core/slot_connect.h"
#include "messages/TERM/TERM.h"
#include "simboard/hal.h"
#include "tests/core/control_fixture.h"

using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;

namespace control_test {

TEST_F(ControlTest, CreateAsksTheNewestFactoryAndRefusesABusyNumber) {
  factory.accept = false;
  create(1, 3, 5, 8200);
  EXPECT_THAT(replies(1), ElementsAre("seq=1 slot=3 error insufficientResources"));
  FakeFactory& newer = another();
  newer.slotOptions.announce = true;
  factory.accept = true;
  create(2, 3, 5, 8200);
  EXPECT_THAT(replies(2), ElementsAre("seq=2 slot=3 success", "slot=3 signal transmitter active 5"));
  EXPECT_THAT(newer.slots(), ElementsAre(slot(3)));
  EXPECT_THAT(journal, ElementsAre("03:fake IAfterCreate"));

  // A slot that releases at once is reported gone before the new one is answered.
  create(3, 3, 6, 8201);
  EXPECT_THAT(replies(3), ElementsAre("seq=0 slot=3 success", "seq=3 slot=3 success",
                                      "slot=3 signal transmitter active 6"));
  // One whose release is pending keeps the number busy until it completes.
  slot(3)->options().releaseLater = true;
  create(4, 3, 7, 8202);
  create(5, 3, 7, 8202);
  EXPECT_THAT(replies(2), ElementsAre("seq=4 slot=3 error slotIdBusy", "seq=5 slot=3 error destroyInProgress"));
  slot(3)->on_release();
  EXPECT_THAT(replies(1), ElementsAre("seq=0 slot=3 success"));
  create(6, 3, 7, 8202);
  EXPECT_THAT(replies(2), ElementsAre("seq=6 slot=3 success", "slot=3 signal transmitter active 7"));
}

TEST_F(ControlTest, DelayedDestroyAndReleaseInsideTheHook) {
  create(1, 3, 5, 8200);
  factory.slotOptions.releaseLater = true;
  create(2, 4, 6, 8201);
  EXPECT_EQ(replies(2).size(), 2u);
  FakeSlot* pending = slot(4);
  journal.clear();
  simple(3, 4, LGCP::Command::alt_destroy);
  EXPECT_THAT(quiet(), IsEmpty());

  // Every command on a slot being destroyed is refused, and a second
  // Destroy does not run its release again.
  simple(4, 4, LGCP::Command::alt_destroy);
  connect(5, 4, 3);
  connect(6, 3, 4);
  simple(7, 4, LGCP::Command::alt_disconnect);
  simple(8, 4, LGCP::Command::alt_deactivate);
  EXPECT_THAT(replies(5), ElementsAre("seq=4 slot=4 error destroyInProgress", "seq=5 slot=4 error destroyInProgress",
                                      "seq=6 slot=3 error destroyInProgress", "seq=7 slot=4 error destroyInProgress",
                                      "seq=8 slot=4 error destroyInProgress"));
  EXPECT_FALSE(Slots::instance().Destroy(pending));
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "04:fake IBeforeDestroy"), 1);

  // The release answers the waiting destroy.
  pending->on_release();
  EXPECT_THAT(replies(1), ElementsAre("seq=3 slot=4 success"));
  EXPECT_THAT(Slots::instance().slots(), ElementsAre(slot(3)));
  connect(9, 3, 4);
  EXPECT_THAT(replies(1), ElementsAre("seq=9 slot=3 error slotNotExists"));

  // A slot that reports a pending release but completes it from inside its
  // own hook is gone at once.
  slot(3)->options().releaseInHook = true;
  simple(10, 3, LGCP::Command::alt_destroy);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=3 success", "seq=10 slot=3 success"));
  EXPECT_THAT(Slots::instance().slots(), IsEmpty());
}

TEST_F(ControlTest, SlotCommandsAnswerByTheSlotsResult) {
  factory.slotOptions.result = false;
  create(1, 3, 5, 8200);
  ctl.command(2, 3, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  ctl.command(3, 3, [](LGCP::Command& c) { c.select_userData() = std::vector<char>{'h', 'i'}; });
  ctl.command(4, 3, [](LGCP::Command& c) { c.select_ioctl().select_dtmf_disable(); });
  EXPECT_THAT(replies(4), ElementsAre("seq=1 slot=3 success", "seq=2 slot=3 error unsupported",
                                      "seq=3 slot=3 error unsupported", "seq=4 slot=3 error unsupported"));
  EXPECT_THAT(journal, ElementsAre("03:fake IAfterCreate", "03:fake IActivate", "03:fake IUserData hi",
                                   "03:fake Ioctl"));
}

TEST_F(ControlTest, QueryReportsEveryFactorysPart) {
  another(4);
  another(2);
  simple(1, -1, LGCP::Command::alt_query);
  runner.until([&] { return ctl.poll() >= 2; }, 100);
  LGCP::Message report;
  ASSERT_TRUE(testing_support::TestController::decode(ctl.payloads().at(1), report));
  const LGCP::Resources& r = report.get_pdu().get_signal().get_query();
  EXPECT_EQ(r.get_rtp_g711().getValue(), 6);
  EXPECT_TRUE(r.get_mux().getValue());
}

TEST_F(ControlTest, ControllerLossDestroysEverySlot) {
  std::map<uint32_t, uint64_t> deletedAt;
  factory.slotOptions.deleted = [&](const FakeSlot& s) { deletedAt[s.id()] = clock.now_ms(); };
  for (int n = 0; n < 10; ++n)
    create(n, 20 + n, n, 8200 + n);
  EXPECT_EQ(replies(10).size(), 10u);
  connect(11, 20, 21);
  EXPECT_EQ(replies(3).size(), 3u);
  slot(25)->options().releaseLater = true;
  simple(12, 25, LGCP::Command::alt_destroy);
  slot(27)->options().releaseLater = true;
  slot(28)->options().releaseInHook = true;
  EXPECT_THAT(quiet(), IsEmpty());

  uint64_t lost = clock.now_ms();
  ctl.close();
  ASSERT_TRUE(runner.until([&] { return probe.disconnects == 1; }, 100));
  EXPECT_THAT(factory.slots(), IsEmpty());
  ASSERT_EQ(deletedAt.size(), 10u);
  // Eight at once (one of them released inside its hook); the two still
  // releasing after the pause.
  uint64_t first = deletedAt[20];
  EXPECT_GE(first, lost);
  for (auto& [id, at] : deletedAt)
    EXPECT_EQ(at - first, id == 25 || id == 27 ? uint64_t(Slots::ReleasePauseMs) : 0u) << id;
  EXPECT_THAT(journal, Contains("21:fake IOnInputRelease"));
}

TEST_F(ControlTest, ThePauseAfterControllerLossOutlastsSignals) {
  // Signals that cut the pause's waits short (a child's end, a re-scan
  // request) do not shorten it: the slot still releasing is deleted a whole
  // second after the others.
  std::map<uint32_t, uint64_t> deletedAt;
  factory.slotOptions.deleted = [&](const FakeSlot& s) { deletedAt[s.id()] = clock.now_ms(); };
  create(1, 1, 3, 8200);
  create(2, 2, 4, 8201);
  EXPECT_EQ(replies(2).size(), 2u);
  slot(2)->options().releaseLater = true;
  clock.interrupt_waits({40, 160});
  ctl.close();
  ASSERT_TRUE(runner.until([&] { return probe.disconnects == 1; }, 100));
  ASSERT_EQ(deletedAt.size(), 2u);
  EXPECT_EQ(deletedAt[2] - deletedAt[1], uint64_t(Slots::ReleasePauseMs));
}

// A destroy parts the slot from its source and from every receiver before its
// release starts, also when the release completes later: nothing keeps a
// path through the switch to or from a slot that is going.
TEST_F(ControlTest, DestroyPartsEveryLinkBeforeTheRelease) {
  for (int n = 1; n <= 4; ++n)
    create(n, n, n + 2, 8199 + n);
  EXPECT_EQ(replies(4).size(), 4u);
  FakeSlot *x = slot(1), *y = slot(2), *z = slot(3), *w = slot(4);
  ASSERT_TRUE(Connect(*w, *x));
  ASSERT_TRUE(Connect(*x, *y));
  ASSERT_TRUE(Connect(*x, *z));
  ctl.drain();
  journal.clear();
  x->options().releaseLater = true;
  simple(5, 1, LGCP::Command::alt_destroy);
  EXPECT_THAT(quiet(), IsEmpty());

  EXPECT_EQ(x->source(), nullptr);
  EXPECT_THAT(x->receivers(), IsEmpty());
  EXPECT_THAT(w->receivers(), IsEmpty());
  EXPECT_EQ(y->source(), nullptr);
  EXPECT_EQ(z->source(), nullptr);
  for (int output : {8200, 8201, 8202})
    EXPECT_EQ(board.hal().output(output).kind, SimBoard::Hal::Kind::Constant) << output;
  // From the source first, then each receiver (in the list's order), then the release.
  ASSERT_EQ(journal.size(), 9u);
  EXPECT_THAT(Journal(journal.begin(), journal.begin() + 3),
              ElementsAre("04:fake IHwDisconnectTransmitter 01:fake", "01:fake IOnInputRelease",
                          "04:fake IOnOutputRelease"));
  EXPECT_THAT(Journal(journal.begin() + 3, journal.begin() + 7),
              UnorderedElementsAre("01:fake IHwDisconnectTransmitter 02:fake", "02:fake IOnInputRelease",
                                   "01:fake IHwDisconnectTransmitter 03:fake", "03:fake IOnInputRelease"));
  EXPECT_THAT(Journal(journal.begin() + 7, journal.end()),
              ElementsAre("01:fake IOnOutputRelease", "01:fake IBeforeDestroy"));

  journal.clear();
  x->on_release();
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=1 success"));
  EXPECT_THAT(journal, ElementsAre("01:fake deleted"));
}

TEST_F(ControlTest, ADeletedSlotLeavesNoLinkBehind) {
  create(1, 1, 3, 8200);
  create(2, 2, 4, 8201);
  create(3, 3, 5, 8202);
  EXPECT_EQ(replies(3).size(), 3u);
  FakeSlot* one = slot(1);
  one->options().releaseLater = true;
  EXPECT_FALSE(Slots::instance().Destroy(one));
  // Links a slot type makes by itself while the release is pending.
  ASSERT_TRUE(Connect(*one, *slot(2)));
  ASSERT_TRUE(Connect(*slot(3), *one));
  journal.clear();
  one->on_release();
  EXPECT_EQ(slot(2)->source(), nullptr);
  EXPECT_THAT(slot(3)->receivers(), IsEmpty());
  EXPECT_EQ(board.hal().output(8201).kind, SimBoard::Hal::Kind::Constant);
  EXPECT_EQ(board.hal().output(8200).kind, SimBoard::Hal::Kind::Constant);
  EXPECT_THAT(journal, Contains("02:fake IOnInputRelease"));
  EXPECT_THAT(journal, Contains("03:fake IOnOutputRelease"));
  EXPECT_EQ(journal.back(), "01:fake deleted");
}

}  // namespace control_test
