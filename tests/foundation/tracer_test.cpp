#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/cyclic_list.h"
#include "foundation/tpkt_tracer.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;
using namespace transport_test;

namespace {

struct Mirror : TPKTTracer::Receiver {
  TPKTTracer* tracer = nullptr;
  std::string answer;
  std::vector<std::string> payloads;
  void OnTrace(const void* data, unsigned length) override {
    payloads.emplace_back(static_cast<const char*>(data), length);
    if (!answer.empty())
      tracer->Send(answer.data(), static_cast<unsigned>(answer.size()));
  }
};

struct TracerFixture {
  TestClock clock;
  LoopRunner loop;
  LogCapture log;
  TPKTTracer tracer;
  Mirror mirror;
  TracerFixture() {
    clock.set_auto_advance(false);
    mirror.tracer = &tracer;
    tracer.SetReceiver(&mirror);
    EXPECT_TRUE(tracer.Listen(0));
  }
  Fd client() {
    Fd c = connect_to(tracer.port());
    size_t before = tracer.clients();
    EXPECT_TRUE(loop.until([&] { return tracer.clients() > before; }, 500));
    return c;
  }
  bool until(const std::function<bool()>& pred) { return loop.until(pred, 500); }
};

TEST(TPKTTracer, ReceivesFramesAndAnswersTheClientBeingServed) {
  TracerFixture f;
  Fd a = f.client();
  Fd b = f.client();
  EXPECT_NE(std::string::npos, f.log.log().find("ACP connection open from 127.0.0.1:"));

  send_all(a.get(), std::string("\x03\x00\x00\x07" "ABC", 7));
  ASSERT_TRUE(f.until([&] { return f.mirror.payloads.size() == 1; }));
  EXPECT_EQ("ABC", f.mirror.payloads[0]);

  // An empty frame is skipped; a 512-octet payload is the largest taken.
  f.mirror.answer = "ok";
  send_all(b.get(), tpkt("") + tpkt(std::string(512, 'm')));
  ASSERT_TRUE(f.until([&] { return f.mirror.payloads.size() == 2; }));
  EXPECT_EQ(512u, f.mirror.payloads[1].size());
  EXPECT_EQ(tpkt("ok"), read_some(b.get()));
  EXPECT_EQ("", read_some(a.get(), 0));

  // Outside a data event Send goes to every client.
  Fd c = f.client();
  f.tracer.Send("xyz", 3);
  for (Fd* client : {&a, &b, &c})
    EXPECT_EQ(std::string("\x03\x00\x00\x07" "xyz", 7), read_some(client->get()));
}

TEST(TPKTTracer, ProtocolFaultsCloseOnlyThatClient) {
  TracerFixture f;
  Fd good = f.client();
  Fd badVersion = f.client();
  Fd tooLong = f.client();
  send_all(badVersion.get(), std::string("\x04\x00\x00\x07", 4));
  send_all(tooLong.get(), tpkt(std::string(513, 'L')));
  ASSERT_TRUE(f.until([&] { return f.tracer.clients() == 1; }));
  EXPECT_TRUE(peer_closed(badVersion.get()));
  EXPECT_TRUE(peer_closed(tooLong.get()));
  EXPECT_TRUE(f.mirror.payloads.empty());

  good.close();
  ASSERT_TRUE(f.until([&] { return f.tracer.clients() == 0; }));
  Fd next = f.client();
  send_all(next.get(), tpkt("again"));
  ASSERT_TRUE(f.until([&] { return f.mirror.payloads.size() == 1; }));
}

struct Item {
  virtual ~Item() = default;
  int value;
  Containers::CyclicList link;
  explicit Item(int v) : value(v) {}
};

std::vector<int> walk(Containers::CyclicList& ring) {
  std::vector<int> values;
  for (Containers::CyclicList::TIterator i = ring.begin(); i != ring.end(); ++i)
    values.push_back(Containers::offset<Item>(*i, &Item::link)->value);
  return values;
}

TEST(CyclicList, InsertIterateAndRemove) {
  Containers::CyclicList ring;
  EXPECT_TRUE(ring.begin() == ring.end());
  EXPECT_TRUE(ring.Empty());
  Item a(1), b(2), c(3);
  ring.AddTail(&a.link);
  ring.AddTail(&b.link);
  ring.AddHead(&c.link);
  EXPECT_EQ((std::vector<int>{3, 1, 2}), walk(ring));
  b.link.Del();
  EXPECT_EQ((std::vector<int>{3, 1}), walk(ring));
  EXPECT_TRUE(b.link.Empty());
  Containers::CyclicList::InternalAdd(&b.link, &c.link, &a.link);  // between c and a
  EXPECT_EQ((std::vector<int>{3, 2, 1}), walk(ring));
  Containers::CyclicList::InternalDel(c.link.prev, c.link.next);
  EXPECT_EQ((std::vector<int>{2, 1}), walk(ring));
}

}  // namespace
