#pragma once
// The control core's test bench with the signalling slot factories, and
// trunk time slots of the test's own: an E1 or BRI line slot that names its
// trunk, time slot and switch channel, as the trunk slots do.
#include <string>
#include <vector>

#include "core/slots.h"
#include "messages/ACP/ACP.h"
#include "signalling/hdlc_slot.h"
#include "signalling/isdn_slot.h"
#include "signalling/pstn_slot.h"
#include "simboard/mcc.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/slots/slot_fixture.h"

namespace signalling_test {

using lapd_test::Bytes;

class LineSlot : public Slot {
public:
  LineSlot(int channel, int trunk, int timeslot) : channel_(channel), trunk_(trunk), timeslot_(timeslot) {}
  int GetTrunk() override { return trunk_; }
  int GetTrunkTimeSlot() override { return timeslot_; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  char const* GetName() const override { return "line"; }

private:
  int channel_, trunk_, timeslot_;
};

// `trunk` creates give E1 time slots (channel 32 x trunk + time slot),
// `trunk_bri` creates BRI channels (4 x trunk + channel).
class LineFactory : public SlotFactory {
public:
  char const* GetName() const override { return "lines"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override {
    bool bri = params.is_trunk_bri();
    if (!params.is_trunk() && !bri)
      return nullptr;
    const LGCP::TrunkParams& p = bri ? params.get_trunk_bri() : params.get_trunk();
    int trunk = p.get_trunk().getValue(), ts = p.get_timeslot().getValue();
    return new LineSlot(bri ? 4 * trunk + ts : 32 * trunk + ts, trunk, ts);
  }
  void Query(LGCP::Resources&) override {}
};

// The parameters of an ISDN PSTN slot on trunk 1, log level 0.
inline LGCP::PstnParams isdnParams(LGCP::IsdnType::NamedNumber type, bool network) {
  LGCP::PstnParams params;
  LGCP::IsdnParams& i = params.select_isdn();
  i.set_type(type);
  i.set_trunk(1);
  i.set_log(0);
  if (network)
    i.mutable_side().select_network();
  else
    i.mutable_side().select_user();
  return params;
}

class SignallingTest : public slot_test::SlotTest {
protected:
  void SetUp() override {
    SlotTest::SetUp();
    board.mcc().clear_failures();
    board.mcc().set_present(true);
    board.mcc().on_allocate(nullptr);
    probe.signals.clear();
    probe.received.clear();
  }

  void line(int seq, int slot, int trunk, int timeslot, bool bri = false) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::TrunkParams& t = bri ? p.select_trunk_bri() : p.select_trunk();
      t.set_trunk(trunk);
      t.set_timeslot(timeslot);
    });
  }
  void userData(int seq, int slot, const Bytes& bytes) {
    send(seq, slot, [&](LGCP::Command& c) { c.select_userData() = std::vector<char>(bytes.begin(), bytes.end()); });
  }
  template <class Fill>
  void ioctl(int seq, int slot, Fill fill) {
    send(seq, slot, [&](LGCP::Command& c) { fill(c.select_ioctl()); });
  }
  template <class T>
  T* as(unsigned n) {
    return dynamic_cast<T*>(Slots::instance().slot(n));
  }
  SimBoard::MccChannel& newest() { return board.mcc().channel(board.mcc().channel_count() - 1); }
  // Slot 2 on E1 time slot 16, connected as the source of slot 1; its
  // replies and signals, and as many unread messages before, go.
  void connectTimeSlot16(size_t unread = 0) {
    line(2, 2, 0, 16);
    connect(3, 2, 1);
    ASSERT_EQ(replies(4 + unread).size(), 4 + unread);
    runner.turn(2);
  }
  // The frames the daemon wrote to a channel, in hex.
  static std::vector<std::string> sent(SimBoard::MccChannel& ch) {
    std::vector<std::string> out;
    for (const Bytes& f : ch.sent())
      out.push_back(lapd_test::hex(f));
    return out;
  }

  // The ioctl responses sent since the last call, by alternative name.
  std::vector<std::string> reports() {
    std::vector<std::string> names;
    for (const LGCP::Signal& s : probe.received)
      if (s.is_ioctl())
        names.push_back(s.get_ioctl().getSelectionName());
    probe.received.clear();
    return names;
  }
  // The last ioctl response of the alternative, null when none came.
  const LGCP::IoctlResponse* last(int alternative) const {
    for (auto it = probe.received.rbegin(); it != probe.received.rend(); ++it)
      if (it->is_ioctl() && it->get_ioctl().currentSelection() == alternative)
        return &it->get_ioctl();
    return nullptr;
  }
  // The bytes of the userData signals sent so far.
  std::vector<Bytes> userDataUp() const {
    std::vector<Bytes> up;
    for (const LGCP::Signal& s : probe.received)
      if (s.is_userData())
        up.emplace_back(s.get_userData().begin(), s.get_userData().end());
    return up;
  }

  LineFactory lines;
  PstnFactory pstn;
  IsdnFactory isdn;
  HdlcSlotFactory hdlcs;
};

}  // namespace signalling_test
