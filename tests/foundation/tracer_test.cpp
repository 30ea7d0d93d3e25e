#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/tpkt_tracer.h"
#include "tests/foundation/transport_helpers.h"

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
  Rig r;
  TPKTTracer tracer;
  Mirror mirror;
  mirror.tracer = &tracer;
  tracer.SetReceiver(&mirror);
  ASSERT_TRUE(tracer.Listen(0));
  std::vector<Fd> clients;
  for (size_t i = 0; i < 5; ++i) {  // one at a time: the backlog is 1
    clients.push_back(connect_to(tracer.port()));
    ASSERT_TRUE(r.until([&] { return tracer.clients() == i + 1; }));
  }
  EXPECT_NE(std::string::npos, r.log.log().find("ACP connection open from 127.0.0.1:"));

  send_all(clients[0].get(), std::string("\x03\x00\x00\x07" "ABC", 7));
  ASSERT_TRUE(r.until([&] { return mirror.payloads.size() == 1; }));
  EXPECT_EQ("ABC", mirror.payloads[0]);

  // From inside the receiver Send answers only the client being served; an
  // empty frame is skipped and 512 octets is the largest payload taken.
  mirror.answer = "ok";
  send_all(clients[1].get(), tpkt("") + tpkt(std::string(512, 'm')));
  ASSERT_TRUE(r.until([&] { return mirror.payloads.size() == 2; }));
  EXPECT_EQ(512u, mirror.payloads[1].size());
  EXPECT_EQ(tpkt("ok"), read_some(clients[1].get()));
  EXPECT_EQ("", read_some(clients[0].get(), 0));

  // A wrong version and a payload of 513 octets close those clients only.
  send_all(clients[3].get(), std::string("\x04\x00\x00\x07", 4));
  send_all(clients[4].get(), tpkt(std::string(513, 'L')));
  ASSERT_TRUE(r.until([&] { return tracer.clients() == 3; }));
  EXPECT_TRUE(peer_closed(clients[3].get()));
  EXPECT_TRUE(peer_closed(clients[4].get()));

  // Outside a data event Send goes to every client.
  tracer.Send("xyz", 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(std::string("\x03\x00\x00\x07" "xyz", 7), read_some(clients[i].get()));
}

}  // namespace
