#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/cyclic_list.h"
#include "foundation/tpkt_tracer.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

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

TEST(TPKTTracer, ServesClientsAndClosesOnlyAFaultyOne) {
  testing_support::TestClock clock;
  clock.set_auto_advance(false);
  testing_support::LoopRunner loop;
  testing_support::LogCapture log;
  TPKTTracer tracer;
  Mirror mirror;
  mirror.tracer = &tracer;
  tracer.SetReceiver(&mirror);
  ASSERT_TRUE(tracer.Listen(0));
  std::vector<Fd> clients;
  for (size_t i = 0; i < 5; ++i) {  // one at a time: the backlog is 1
    clients.push_back(connect_to(tracer.port()));
    ASSERT_TRUE(loop.until([&] { return tracer.clients() == i + 1; }, 500));
  }
  EXPECT_NE(std::string::npos, log.log().find("ACP connection open from 127.0.0.1:"));

  send_all(clients[0].get(), std::string("\x03\x00\x00\x07" "ABC", 7));
  ASSERT_TRUE(loop.until([&] { return mirror.payloads.size() == 1; }, 500));
  EXPECT_EQ("ABC", mirror.payloads[0]);

  // From inside the receiver Send answers only the client being served; an
  // empty frame is skipped and 512 octets is the largest payload taken.
  mirror.answer = "ok";
  send_all(clients[1].get(), tpkt("") + tpkt(std::string(512, 'm')));
  ASSERT_TRUE(loop.until([&] { return mirror.payloads.size() == 2; }, 500));
  EXPECT_EQ(512u, mirror.payloads[1].size());
  EXPECT_EQ(tpkt("ok"), read_some(clients[1].get()));
  EXPECT_EQ("", read_some(clients[0].get(), 0));

  // A wrong version and a payload of 513 octets close those clients only.
  send_all(clients[3].get(), std::string("\x04\x00\x00\x07", 4));
  send_all(clients[4].get(), tpkt(std::string(513, 'L')));
  ASSERT_TRUE(loop.until([&] { return tracer.clients() == 3; }, 500));
  EXPECT_TRUE(peer_closed(clients[3].get()));
  EXPECT_TRUE(peer_closed(clients[4].get()));

  // Outside a data event Send goes to every client.
  tracer.Send("xyz", 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(std::string("\x03\x00\x00\x07" "xyz", 7), read_some(clients[i].get()));
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
  Item a(1), b(2), c(3);
  ring.AddTail(&a.link);
  ring.AddTail(&b.link);
  ring.AddHead(&c.link);
  EXPECT_EQ((std::vector<int>{3, 1, 2}), walk(ring));
  b.link.Del();
  EXPECT_TRUE(b.link.Empty());
  Containers::CyclicList::InternalAdd(&b.link, &c.link, &a.link);  // between c and a
  EXPECT_EQ((std::vector<int>{3, 2, 1}), walk(ring));
  Containers::CyclicList::InternalDel(c.link.prev, c.link.next);
  EXPECT_EQ((std::vector<int>{2, 1}), walk(ring));
}

}  // namespace
