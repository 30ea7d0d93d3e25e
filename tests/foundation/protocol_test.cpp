#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/protocol.h"

namespace {

typedef std::vector<std::string> Journal;

// A layer that records what reaches it and passes things on by the defaults.
class Layer : public Protocol {
public:
  Layer(const std::string& tag, Journal* journal) : tag_(tag), journal_(journal) {}
  ~Layer() override { journal_->push_back(tag_ + ".deleted"); }

  void message(Packet& p) override {
    journal_->push_back(tag_ + ".message");
    transmit(p);
  }
  void receive(Packet& p) override {
    journal_->push_back(tag_ + ".receive");
    on_message(p);
  }
  void local_activate() override {
    journal_->push_back(tag_ + ".activate");
    on_activate();
  }
  void local_deactivate() override {
    journal_->push_back(tag_ + ".deactivate");
    Protocol::local_deactivate();
  }
  void local_prepare_head(Packet& p) override {
    journal_->push_back(tag_ + ".prepare");
    p.reserve_head(headRoom);
  }
  Protocol_status local_initialize() override {
    journal_->push_back(tag_ + ".initialize");
    if (failInit)
      return new Protocol_status_error(this, tag_ + " failed");
    return Protocol::local_initialize();
  }
  void fail(const std::string& why) { on_deactivate(new Protocol_status_error(this, why)); }

  unsigned headRoom = 0;
  bool failInit = false;

private:
  std::string tag_;
  Journal* journal_;
};

class Family : public ProtocolsFamily {
public:
  explicit Family(Journal* journal) : journal_(journal) {}
  void transmit(Packet&) override { journal_->push_back("family.transmit"); }
  void on_message(Packet&) override { journal_->push_back("family.on_message"); }
  void on_activated(Protocol* p) override {
    journal_->push_back("family.on_activated");
    ProtocolsFamily::on_activated(p);
  }
  void on_activate() override { journal_->push_back("family.on_activate"); }
  void on_deactivated(Protocol* p, Protocol_status s) override {
    reporter = p;
    status = s;
    journal_->push_back("family.on_deactivated:" + s->message());
  }

  Protocol* reporter = nullptr;
  Protocol_status status;

private:
  Journal* journal_;
};

struct Stack {
  Journal journal;
  Family family{&journal};
  Layer* a = new Layer("A", &journal);
  Layer* b = new Layer("B", &journal);
  Stack() {
    family.add_protocol_tail(a);
    family.add_protocol_tail(b);
  }
};

TEST(Protocol, PacketsTravelDownAndUp) {
  Stack s;
  Packet p;
  s.b->headRoom = 4;
  s.family.prepare_head(p);
  EXPECT_EQ((Journal{"A.prepare", "B.prepare"}), s.journal);
  EXPECT_EQ(4u, p.headroom());
  s.journal.clear();

  s.family.message(p);
  EXPECT_EQ((Journal{"B.message", "A.message", "family.transmit"}), s.journal);
  s.journal.clear();
  s.family.receive(p);
  EXPECT_EQ((Journal{"A.receive", "B.receive", "family.on_message"}), s.journal);

  Journal journal;
  Family empty(&journal);
  empty.message(p);
  EXPECT_TRUE(journal.empty());
}

TEST(Protocol, ActivationUpAndDeactivationDown) {
  Stack s;
  s.family.activate();
  EXPECT_EQ((Journal{"A.activate", "B.activate", "family.on_activated", "family.on_activate"}), s.journal);
  s.journal.clear();
  // Only the top layer's report continues the outer stack.
  s.family.on_activated(s.a);
  EXPECT_EQ((Journal{"family.on_activated"}), s.journal);
  s.journal.clear();

  s.family.deactivate();
  EXPECT_EQ((Journal{"B.deactivate", "A.deactivate", "family.on_deactivated:success"}), s.journal);
  EXPECT_EQ(s.a, s.family.reporter);
  EXPECT_EQ(s.a, s.family.status->reporter());
}

TEST(Protocol, ErrorsTravelUpAsTheSameReport) {
  Stack s;
  s.a->fail("socket gone");
  EXPECT_EQ((Journal{"family.on_deactivated:socket gone"}), s.journal);
  EXPECT_EQ(s.b, s.family.reporter);
  EXPECT_FALSE(s.family.status->success());
  EXPECT_EQ(s.a, s.family.status->reporter());
}

TEST(Protocol, InitializeStopsAtTheFirstFailure) {
  Stack s;
  s.a->failInit = true;
  Protocol_status st = s.family.initialize();
  EXPECT_EQ((Journal{"A.initialize"}), s.journal);
  EXPECT_FALSE(st->success());
  EXPECT_EQ("A failed", st->message());

  s.a->failInit = false;
  EXPECT_TRUE(s.family.initialize()->success());

  Journal journal;
  Family empty(&journal);
  Protocol_status none = empty.initialize();
  EXPECT_FALSE(none->success());
  EXPECT_EQ("error", none->message());
}

TEST(Protocol, NamesSearchAndOwnership) {
  Journal journal;
  {
    Family f(&journal);
    Layer* a = new Layer("A", &journal);
    Layer* b = new Layer("B", &journal);
    f.add_protocol_tail(b);
    f.add_protocol_head(a);  // below b
    EXPECT_EQ(a, f.bottom());
    EXPECT_STREQ("(no name)", a->name().name());
    EXPECT_EQ(nullptr, f.search(Protocol_name_null()));
    EXPECT_TRUE(Protocol_name_str("x").compare(Protocol_name_str("x")));
    EXPECT_FALSE(Protocol_name_str("x").compare(Protocol_name_null()));
    EXPECT_STREQ("(no name)", Protocol_name_str(nullptr).name());
    delete a;  // a layer leaves its owner's list when destroyed
    EXPECT_EQ(1u, f.layer_count());
    EXPECT_EQ(nullptr, b->below());
  }
  EXPECT_EQ((Journal{"A.deleted", "B.deleted"}), journal);
}

TEST(ProtocolDeath, NullReportEndsTheProcess) {
  Journal journal;
  Layer a("A", &journal);
  EXPECT_DEATH(a.on_deactivate(Protocol_status()), "SMART POINTER ASSERTION!");
}

}  // namespace
