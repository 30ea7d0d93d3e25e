// Slot connections: the logical links, the stream announcements, the side
// that takes the hardware step, and the paths through the simulated switch.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "core/slot_connect.h"
#include "simboard/hal.h"
#include "tests/core/control_fixture.h"

using SimBoard::Hal;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;

namespace control_test {

class ConnectTest : public ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    create(1, 1, 3, 8200);
    create(2, 2, 4, 8201);
    create(3, 3, 5, 8202);
    ASSERT_EQ(replies(3).size(), 3u);
    x = slot(1), y = slot(2), z = slot(3);
    journal.clear();
    board.log().clear();
  }
  // The switch requests since the log was cleared: "connect 8201<-3", "free 8201".
  std::vector<std::string> switched() {
    std::vector<std::string> lines;
    for (const SimBoard::LoggedRequest& r : board.hal().requests()) {
      if (r.number == Hal::Connect)
        lines.push_back("connect " + std::to_string(r.word(0)) + "<-" + std::to_string(r.word(4)));
      else if (r.number == Hal::Write)
        lines.push_back("free " + std::to_string(r.word(0)));
    }
    board.log().clear();
    return lines;
  }

  // Forgets the hook calls, the switch requests and the messages so far.
  void forget() {
    journal.clear();
    switched();
    ctl.drain();
  }

  FakeSlot *x = nullptr, *y = nullptr, *z = nullptr;
};

TEST_F(ConnectTest, ConnectThroughTheSwitchAndAnnounceStreams) {
  connect(1, 1, 2);
  EXPECT_THAT(replies(3), ElementsAre("slot=1 signal transmitter active 3", "slot=2 signal receiver active 8201",
                                      "seq=1 slot=1 success"));
  EXPECT_THAT(journal, ElementsAre("01:fake IOnOutputStream", "02:fake IOnInputStream",
                                   "02:fake IHwConnectReceiver 01:fake"));
  EXPECT_THAT(switched(), ElementsAre("connect 8201<-3"));

  // Once more: nothing happens. A second receiver: no new transmitter announcement.
  journal.clear();
  connect(2, 1, 2);
  connect(3, 1, 3);
  EXPECT_THAT(replies(3), ElementsAre("seq=2 slot=1 success", "slot=3 signal receiver active 8202",
                                      "seq=3 slot=1 success"));
  EXPECT_EQ(x->receivers().size(), 2u);
  switched();

  // Disconnect: on a tie the source takes the hardware step; again: success, nothing else.
  simple(4, 2, LGCP::Command::alt_disconnect);
  simple(5, 2, LGCP::Command::alt_disconnect);
  EXPECT_THAT(replies(2), ElementsAre("seq=4 slot=2 success", "seq=5 slot=2 success"));
  EXPECT_THAT(journal, ElementsAre("03:fake IOnInputStream", "03:fake IHwConnectReceiver 01:fake",
                                   "01:fake IHwDisconnectTransmitter 02:fake", "02:fake IOnInputRelease"));
  EXPECT_THAT(switched(), ElementsAre("free 8201"));
}

// A receiver moved to a new source loses the old path first; when the new
// hardware step fails its link follows its (absent) hardware path.
TEST_F(ConnectTest, AFailedMoveLeavesTheReceiverUnlinked) {
  ASSERT_TRUE(Connect(*x, *y));
  z->options().hwFail = true;
  z->options().priority = 1;  // so that z takes the hardware step and fails it
  forget();
  connect(1, 3, 2);
  EXPECT_THAT(replies(2), ElementsAre("slot=3 signal transmitter active 5", "seq=1 slot=3 error connectFail"));
  EXPECT_THAT(journal, ElementsAre("03:fake IOnOutputStream", "01:fake IHwDisconnectTransmitter 02:fake",
                                   "03:fake IHwConnectTransmitter 02:fake", "01:fake IOnOutputRelease",
                                   "02:fake IOnInputRelease", "03:fake IOnOutputRelease"));
  EXPECT_THAT(switched(), ElementsAre("free 8201"));
  EXPECT_EQ(y->source(), nullptr);
  EXPECT_THAT(x->receivers(), IsEmpty());
  EXPECT_THAT(z->receivers(), IsEmpty());

  // A switch failure on a fresh connection.
  board.hal().fail(Hal::Connect, EIO, 1);
  connect(2, 1, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=1 error connectFail"));
  EXPECT_EQ(y->source(), nullptr);
}

TEST_F(ConnectTest, TheSideWithTheHigherPriorityActs) {
  y->options().priority = 1;
  ASSERT_TRUE(Connect(*x, *y));
  ASSERT_TRUE(Disconnect(*y));
  x->options().priority = 2;
  ASSERT_TRUE(Connect(*x, *y));
  EXPECT_THAT(journal, Contains("02:fake IHwDisconnectReceiver 01:fake"));
  EXPECT_THAT(journal, Contains("01:fake IHwConnectTransmitter 02:fake"));
  journal.clear();
  // A failed hardware disconnect still parts the two.
  x->options().hwFail = true;
  ctl.drain();
  simple(1, 2, LGCP::Command::alt_disconnect);
  EXPECT_THAT(replies(1), ElementsAre("seq=1 slot=2 error disconnectFail"));
  EXPECT_EQ(y->source(), nullptr);
  EXPECT_THAT(journal, ElementsAre("01:fake IHwDisconnectTransmitter 02:fake", "02:fake IOnInputRelease",
                                   "01:fake IOnOutputRelease"));
}

TEST_F(ConnectTest, RefusedStreamsAndStreamsTurnedOff) {
  x->options().output = false;
  EXPECT_FALSE(Connect(*x, *y));
  x->options().output = true;
  y->options().input = false;
  EXPECT_FALSE(Connect(*x, *y));
  y->options().input = true;

  // A stream turned off parts the link; it is announced once.
  ASSERT_TRUE(Connect(*x, *y));
  ctl.drain();
  x->OnChangeOutputStream(false);
  EXPECT_THAT(x->receivers(), IsEmpty());
  ASSERT_TRUE(Connect(*x, *y));
  y->OnChangeInputStream(false);
  y->OnChangeInputStream(false);
  EXPECT_EQ(y->source(), nullptr);
  EXPECT_THAT(quiet(), ElementsAre("slot=1 signal transmitter inactive", "slot=1 signal transmitter active 3",
                                   "slot=2 signal receiver inactive"));
}

// A receiver moved to another source: the old path goes before the new one
// is made, and the old source's output is released when the receiver was
// its last, not while it keeps another.
TEST_F(ConnectTest, AMovedReceiverReleasesTheOldSourceWhenItWasTheLast) {
  ASSERT_TRUE(Connect(*x, *y));
  forget();
  connect(1, 3, 2);
  EXPECT_THAT(replies(2), ElementsAre("slot=3 signal transmitter active 5", "seq=1 slot=3 success"));
  EXPECT_THAT(journal, ElementsAre("03:fake IOnOutputStream", "01:fake IHwDisconnectTransmitter 02:fake",
                                   "02:fake IHwConnectReceiver 03:fake", "01:fake IOnOutputRelease"));
  EXPECT_THAT(switched(), ElementsAre("free 8201", "connect 8201<-5"));
  EXPECT_EQ(y->source(), z);
  EXPECT_THAT(x->receivers(), IsEmpty());
  EXPECT_THAT(z->receivers(), ElementsAre(y));

  // Back to x while z keeps x as a receiver: z's output stays.
  ASSERT_TRUE(Connect(*z, *x));
  forget();
  connect(2, 1, 2);
  EXPECT_THAT(replies(1), ElementsAre("seq=2 slot=1 success"));
  EXPECT_THAT(journal, ElementsAre("01:fake IOnOutputStream", "03:fake IHwDisconnectTransmitter 02:fake",
                                   "02:fake IHwConnectReceiver 01:fake"));
  EXPECT_THAT(switched(), ElementsAre("free 8201", "connect 8201<-3"));
  EXPECT_THAT(z->receivers(), ElementsAre(x));
}

// An output stream turned off parts every receiver, then is announced once.
TEST_F(ConnectTest, AStreamTurnedOffPartsEveryReceiver) {
  ASSERT_TRUE(Connect(*x, *y));
  ASSERT_TRUE(Connect(*x, *z));
  forget();
  x->OnChangeOutputStream(false);
  EXPECT_THAT(x->receivers(), IsEmpty());
  EXPECT_EQ(y->source(), nullptr);
  EXPECT_EQ(z->source(), nullptr);
  EXPECT_THAT(switched(), UnorderedElementsAre("free 8201", "free 8202"));
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back(), "01:fake IOnOutputRelease");
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "01:fake IOnOutputRelease"), 1);
  EXPECT_THAT(quiet(), ElementsAre("slot=1 signal transmitter inactive"));
}

}  // namespace control_test
