#pragma once
// Fake slots, a fake factory and a probe service for the control core tests.
// The fakes write every hook call to a shared journal ("01:fake
// IHwConnectReceiver 00:fake") so that a test sees which side did what.
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/ctrl_service.h"
#include "core/slot.h"
#include "core/slot_factory.h"

namespace control_test {

using Journal = std::vector<std::string>;

class FakeSlot : public Slot {
public:
  struct Options {
    int tx = -1, rx = -1;        // transmit and receive channels
    bool output = true;          // IOnOutputStream
    bool input = true;           // IOnInputStream
    int priority = 0;
    bool releaseLater = false;   // IBeforeDestroy returns false
    bool releaseInHook = false;  // and has released by then (calls on_release)
    bool hwFail = false;         // the hardware hooks fail without touching the switch
    bool result = true;          // IActivate, IDeactivate, IUserData, Ioctl
    bool announce = false;       // IAfterCreate announces the output stream
    std::function<void(const FakeSlot&)> deleted;  // called by the destructor
  };

  FakeSlot(const Options& options, Journal* journal) : options_(options), journal_(journal) {}
  ~FakeSlot() override {
    note("deleted");
    if (options_.deleted)
      options_.deleted(*this);
  }

  char const* GetName() const override { return "fake"; }
  int GetConnectionPriority() override { return options_.priority; }
  int IGetTransmitChannel() override { return options_.tx; }
  int IGetReceiveChannel() override { return options_.rx; }
  bool IOnOutputStream() override { return note("IOnOutputStream"), options_.output; }
  bool IOnInputStream() override { return note("IOnInputStream"), options_.input; }
  void IOnOutputRelease() override { note("IOnOutputRelease"); }
  void IOnInputRelease() override { note("IOnInputRelease"); }
  void IAfterCreate() override {
    note("IAfterCreate");
    if (options_.announce)
      OnChangeOutputStream(true);
  }
  bool IBeforeDestroy() override {
    note("IBeforeDestroy");
    if (options_.releaseInHook)
      return on_release(), false;
    return !options_.releaseLater;
  }
  bool IActivate(TERM::TermActivateParams const&) override { return note("IActivate"), options_.result; }
  bool IDeactivate() override { return note("IDeactivate"), options_.result; }
  bool IUserData(std::vector<char> const& data) override {
    return note("IUserData " + std::string(data.begin(), data.end())), options_.result;
  }
  bool Ioctl(LGCP::IoctlParams const&) override { return note("Ioctl"), options_.result; }
  bool IHwConnectTransmitter(Slot& r) override {
    return hw("IHwConnectTransmitter", r) && Slot::IHwConnectTransmitter(r);
  }
  bool IHwConnectReceiver(Slot& s) override { return hw("IHwConnectReceiver", s) && Slot::IHwConnectReceiver(s); }
  bool IHwDisconnectTransmitter(Slot& r) override {
    return hw("IHwDisconnectTransmitter", r) && Slot::IHwDisconnectTransmitter(r);
  }
  bool IHwDisconnectReceiver(Slot& s) override {
    return hw("IHwDisconnectReceiver", s) && Slot::IHwDisconnectReceiver(s);
  }

  Options& options() { return options_; }

private:
  void note(const std::string& what, const Slot* other = nullptr) const {
    if (!journal_)
      return;
    std::ostringstream line;
    line << *this << ' ' << what;
    if (other)
      line << ' ' << *other;
    journal_->push_back(line.str());
  }
  bool hw(const char* what, const Slot& other) const { return note(what, &other), !options_.hwFail; }

  Options options_;
  Journal* journal_;
};

// Makes a FakeSlot for every `ext` create (channels from its transmitter and
// receiver values) while `accept` holds.
class FakeFactory : public SlotFactory {
public:
  explicit FakeFactory(Journal* journal = nullptr, int g711 = 0) : journal_(journal), g711_(g711) {}

  char const* GetName() const override { return "fake"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override {
    ++asked;
    if (!accept || !params.is_ext())
      return nullptr;
    FakeSlot::Options options = slotOptions;
    options.tx = params.get_ext().get_transmitter().getValue();
    options.rx = params.get_ext().get_receiver().getValue();
    return new FakeSlot(options, journal_);
  }
  void Query(LGCP::Resources& r) override { r.set_rtp_g711(r.get_rtp_g711().getValue() + g711_); }
  void SelfSignal(LGCP::Signal const& sig) override { selfSignals.push_back(sig.getSelectionName()); }

  bool accept = true;
  int asked = 0;                  // create requests it has seen
  FakeSlot::Options slotOptions;  // for the slots it makes
  std::vector<std::string> selfSignals;

private:
  Journal* journal_;
  int g711_;
};

// A service that takes every `display` command and answers it as `answer`
// says (success by default); it records the signals other services send and
// its connection events.
class ProbeService : public CtrlSrv::Service {
public:
  // The one bound to the control server.
  static ProbeService& instance() {
    static ProbeService probe;
    return probe;
  }
  void reset() {
    answer = [this] { Success(); };
    connects = disconnects = 0;
    signals.clear();
    received.clear();
  }

  void OnConnect() override { ++connects; }
  void OnDisconnect() override { ++disconnects; }
  bool OnCommand(LGCP::Command const& cmd) override {
    if (cmd.is_display() && answer)
      answer();
    return cmd.is_display();
  }
  void OnSignal(LGCP::Signal const& sig) override {
    std::string text = sig.getSelectionName() ? sig.getSelectionName() : "?";
    if (sig.is_receiver() || sig.is_transmitter()) {
      const LGCP::Stream& s = sig.is_receiver() ? sig.get_receiver() : sig.get_transmitter();
      text += s.is_active() ? " active " + std::to_string(s.get_active().getValue()) : " inactive";
    }
    signals.push_back(text);
    received.push_back(sig);
  }

  std::function<void()> answer;
  int connects = 0;
  int disconnects = 0;
  std::vector<std::string> signals;  // "receiver active 8201", "abort"
  std::vector<LGCP::Signal> received;
};

}  // namespace control_test
