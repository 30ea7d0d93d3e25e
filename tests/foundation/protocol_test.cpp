#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/protocol.h"

namespace {

typedef std::vector<std::string> Journal;

// A layer that records what reaches it and otherwise keeps the defaults.
struct Layer : Protocol {
  Layer(const std::string& tag, Journal* journal) : tag(tag), journal(journal) {}
  void message(Packet& p) override { note("message"), transmit(p); }
  void receive(Packet& p) override { note("receive"), on_message(p); }
  void local_activate() override { note("activate"), on_activate(); }
  void local_deactivate() override { note("deactivate"), Protocol::local_deactivate(); }
  void local_prepare_head(Packet& p) override { p.reserve_head(headRoom); }
  void note(const char* what) { journal->push_back(tag + "." + what); }

  std::string tag;
  Journal* journal;
  unsigned headRoom = 0;
};

// Two layers, A at the bottom and B on top; the family records its hooks.
struct Stack : ProtocolsFamily {
  Stack() {
    add_protocol_tail(a);
    add_protocol_tail(b);
  }
  void transmit(Packet&) override { journal.push_back("transmit"); }
  void on_message(Packet&) override { journal.push_back("on_message"); }
  void on_activate() override { journal.push_back("on_activate"); }
  void on_deactivated(Protocol* p, Protocol_status s) override {
    reporter = p;
    status = s;
    journal.push_back("on_deactivated:" + s->message());
  }

  Journal journal;
  Layer* a = new Layer("A", &journal);
  Layer* b = new Layer("B", &journal);
  Protocol* reporter = nullptr;
  Protocol_status status;
};

TEST(Protocol, PacketsAndActivationUpDeactivationDownErrorsUp) {
  Stack s;
  Packet p;
  s.a->headRoom = 2;
  s.b->headRoom = 4;  // the top layer reserves last
  s.prepare_head(p);
  EXPECT_EQ(6u, p.headroom());
  s.message(p);
  EXPECT_EQ((Journal{"B.message", "A.message", "transmit"}), s.journal);
  s.journal.clear();
  s.receive(p);
  EXPECT_EQ((Journal{"A.receive", "B.receive", "on_message"}), s.journal);

  s.journal.clear();
  s.activate();
  EXPECT_EQ((Journal{"A.activate", "B.activate", "on_activate"}), s.journal);
  s.journal.clear();
  s.on_activated(s.a);  // only the top layer's report continues
  EXPECT_TRUE(s.journal.empty());

  s.deactivate();
  EXPECT_EQ((Journal{"B.deactivate", "A.deactivate", "on_deactivated:success"}), s.journal);
  EXPECT_EQ(s.a, s.reporter);

  s.journal.clear();
  Protocol_status error = new Protocol_status_error(s.a, "socket gone");
  s.a->on_deactivate(error);
  EXPECT_EQ((Journal{"on_deactivated:socket gone"}), s.journal);
  EXPECT_EQ(s.b, s.reporter);
  EXPECT_EQ(error.get(), s.status.get());  // the same report object
}

}  // namespace
