// SS7 link control: signal units in and out, the states of alignment and
// the timers. The procedures of the in-service state are in slc_service.cpp.
#include "signalling/slc.h"

#include <algorithm>
#include <iostream>

#include "foundation/ext.h"

namespace SS7 {

namespace {

const char* const IndicationNames[] = {"out of alignment", "normal alignment", "emergency alignment",
                                       "out of service"};
const char* const StateNames[] = {"idle", "not aligned", "aligned", "proving", "aligned ready", "worked"};

bool alignment(unsigned indication) { return indication == SLC::Indication::SIN || indication == SLC::Indication::SIE; }

}  // namespace

const SLC::TimerRecord SLC::T1 = {45000, &SLC::on_T1};
const SLC::TimerRecord SLC::T2 = {7000, &SLC::on_T2};
const SLC::TimerRecord SLC::T3 = {1500, &SLC::on_T3};
const SLC::TimerRecord SLC::T4n = {8200, &SLC::on_T4};
const SLC::TimerRecord SLC::T4e = {500, &SLC::on_T4};
const SLC::TimerRecord SLC::T5 = {100, &SLC::on_T5};
const SLC::TimerRecord SLC::T6 = {4500, &SLC::on_T6};
const SLC::TimerRecord SLC::T7 = {12000, &SLC::on_T7};

// ---- the states ----

struct SLC::IdleState : State {
  explicit IdleState(type id = Idle) : State(id) {}
  void on_enter(SLC& s) const override {
    s.reset();
    s.lssu(Indication::SIOS);
    s.on_deactivate(new Protocol_status_error(&s, "impossible phasing"));
  }
  void on_leave(SLC&) const override {}
  void lssu(SLC& s, unsigned indication) const override {
    if (indication == Indication::SIO)
      s.next_state(Aligned);
    else if (alignment(indication))
      s.next_state(Proving);
  }
};

struct SLC::NotAlignedState : IdleState {
  NotAlignedState() : IdleState(NotAligned) {}
  void on_enter(SLC& s) const override {
    s.reset();
    s.start(T2, nullptr);
    s.lssu(Indication::SIO);
  }
  void on_leave(SLC& s) const override { s.stop_timer(); }
};

struct SLC::AlignedState : State {
  AlignedState() : State(Aligned) {}
  void on_enter(SLC& s) const override {
    s.start(T3, "set T3");
    s.lssu(s.emergency_ ? Indication::SIE : Indication::SIN);
  }
  void lssu(SLC& s, unsigned indication) const override {
    if (alignment(indication))
      s.next_state(Proving);
  }
};

struct SLC::ProvingState : State {
  explicit ProvingState(type id = Proving) : State(id) {}
  void on_enter(SLC& s) const override {
    s.start(s.emergency_ ? T4e : T4n, "set T4");
    s.lssu(s.emergency_ ? Indication::SIE : Indication::SIN);
  }
  void lssu(SLC& s, unsigned indication) const override {
    if (!alignment(indication))
      s.to_idle();
  }
  void fisu(SLC& s) const override { s.next_state(InService); }
  void msu(SLC& s, Packet&) const override { s.next_state(InService); }
};

struct SLC::AlignedReadyState : ProvingState {
  AlignedReadyState() : ProvingState(AlignedReady) {}
  void on_enter(SLC& s) const override {
    s.start(T1, nullptr);
    s.fisu();
  }
};

struct SLC::InServiceState : State {
  InServiceState() : State(InService) {}
  void on_enter(SLC& s) const override { s.enter_service(); }
  void lssu(SLC& s, unsigned indication) const override {
    const char* name = indication_name(indication);
    std::cerr << ext::header(&s) << "receive lssu: ";
    if (name)
      std::cerr << name;
    else
      std::cerr << "unknown:" << std::hex << indication << std::dec;
    std::cerr << " BSN=" << unsigned(s.BSNR) << " BIB=" << s.BIBR << " FSN=" << unsigned(s.FSNR)
              << " FIB=" << s.FIBR << std::endl;
    s.to_idle();
  }
  void fisu(SLC& s) const override { s.service_fisu(); }
  void msu(SLC& s, Packet& p) const override { s.service_msu(p); }
  void message(SLC& s, Packet& p) const override { s.put_to_tb(p); }
};

const SLC::State& SLC::state(State::type id) {
  static const IdleState idle;
  static const NotAlignedState notAligned;
  static const AlignedState aligned;
  static const ProvingState proving;
  static const AlignedReadyState alignedReady;
  static const InServiceState inService;
  static const State* const all[] = {&idle, &notAligned, &aligned, &proving, &alignedReady, &inService};
  return *all[id];
}

const char* SLC::indication_name(unsigned indication) {
  return indication < 4 ? IndicationNames[indication] : nullptr;
}

const char* SLC::state_name(unsigned state) { return state < 6 ? StateNames[state] : "unknown"; }

// ---- the link ----

SLC::SLC()
    : BIBR(0), FIBR(0), LI(0), BIBT(1), FIBT(1), expectedBIB(1), expectedFIB(1), nackPending_(false),
      badBSN_(false), badFIB_(false), rtbLast_(127), rtbCount_(0), trunk_(0), timer_(this, &SLC::on_timer),
      expiry_(&SLC::on_T5), current_(&state(State::Idle)), emergency_(false), slc_(0), dpc_(0), opc_(0),
      hdlc_(nullptr), name_("MTP/L2") {
  BSNT = FSNT = 127;
}

SLC::~SLC() = default;

void SLC::PutHeader(std::ostream& out) const {
  out << "SS7/L2 " << "[" << "dpc=" << dpc_ << ", slc=" << slc_ << ", trunk=" << trunk_ << "] " << "("
      << state_name(get_state_id()) << ")" << ": ";
}

unsigned SLC::get_state_id() const { return current_->get_state_id(); }

SLC::Statistics SLC::statistics() const {
  Statistics copy = stats_;
  copy.rtbCount = static_cast<unsigned>(rtbCount_);
  return copy;
}

void SLC::local_activate() {
  if (get_state_id() == State::Idle) {
    if (log_.mtp_activate)
      std::clog << ext::header(this) << "local_activate: executing..." << std::endl;
    next_state(State::NotAligned);
    return;
  }
  if (log_.mtp_activate)
    std::clog << ext::header(this) << "local_activate: ignored." << std::endl;
  if (get_state_id() == State::InService)
    on_activate();
}

void SLC::local_deactivate() {
  if (log_.mtp_activate)
    std::clog << ext::header(this) << "local_deactivate()" << std::endl;
  to_idle();
}

void SLC::message(Packet& p) {
  if (log_.mtp_transmit)
    std::clog << ext::header(this) << " mtp tx " << ext::OutBufInHex(p.data(), p.length()) << std::endl;
  current_->message(*this, p);
}

void SLC::receive(Packet& p) {
  if (log_.raw_receive)
    std::clog << ext::header(this) << " rx raw " << ext::OutBufInHex(p.data(), p.length()) << std::endl;
  stats_.octetsRx += p.length();
  if (p.length() < 3) {
    std::cerr << ext::header(this) << "ignore packet, length too small " << p.text() << std::endl;
    return;
  }
  unsigned char header[3];
  p.pull(header, 3);
  BSNR = header[0] & 127;
  BIBR = header[0] >> 7;
  FSNR = header[1] & 127;
  FIBR = header[1] >> 7;
  LI = header[2];
  unsigned remaining = p.length();
  unsigned n = std::min(remaining, 63u);
  if (LI != n) {
    std::cerr << ext::header(this) << "invalid packet length," << " expected = " << LI << ", received = " << remaining
              << std::endl;
    if (n == 63) {
      std::cerr << ext::header(this) << "can't truncate signalling unit." << std::endl;
    } else if (LI < n) {
      std::cerr << ext::header(this) << "truncate " << n - LI << " octet(s) : " << p.text() << std::endl;
      p.trim(n - LI);
    }
  }
  LI = p.length();
  ++stats_.suRx;
  if (LI == 0)
    current_->fisu(*this);
  else if (LI > 2)
    current_->msu(*this, p);
  else
    current_->lssu(*this, p[0]);
}

void SLC::on_hdlc_error(Cause::Type cause) {
  std::clog << ext::header(this) << "hdlc error [cause=" << cause << "]" << std::endl;
  // The channel is closed: the link has lost its transport.
  if (get_state_id() != State::Idle)
    to_idle();
}

void SLC::on_hdlc_ready() {
  if (log_.raw_transmit)
    std::clog << ext::header(this) << "hdlc ready" << std::endl;
  if (get_state_id() == State::InService)
    process_tb();
}

void SLC::OnTrunkHardStatus(bool up) {
  if (up || get_state_id() == State::Idle)
    return;
  std::clog << ext::header(this) << " transport OFF by low level terminated" << std::endl;
  to_idle();
}

// ---- signal units out ----

bool SLC::send(const Packet& payload) {
  if (!hdlc_) {
    std::clog << ext::header(this) << "no HDLC interface attached!!!" << std::endl;
    return false;
  }
  Packet frame;
  if (!frame.take(3))
    return false;  // no buffer: as if the channel refused it
  frame.put(payload);
  frame.push(static_cast<unsigned char>(std::min(payload.length(), 63u)));
  frame.push(static_cast<unsigned char>(FIBT << 7 | FSNT));
  frame.push(static_cast<unsigned char>(BIBT << 7 | BSNT));
  if (!hdlc_->hdlc_transmit(frame)) {
    if (log_.raw_transmit)
      std::clog << ext::header(this) << " tx full!" << std::endl;
    return false;
  }
  if (log_.raw_transmit)
    std::clog << ext::header(this) << " tx raw " << ext::OutBufInHex(frame.data(), frame.length()) << std::endl;
  ++stats_.suTx;
  stats_.octetsTx += frame.length();
  return true;
}

void SLC::fisu() { send(Packet()); }

void SLC::lssu(Indication::type indication) {
  Packet frame;
  if (!hdlc_ || !frame.take(0))
    return;
  frame.put(0xFF);
  frame.put(0xFF);
  frame.put(0x01);
  frame.put(static_cast<unsigned char>(indication));
  hdlc_->hdlc_transmit(frame);
}

void SLC::reset() {
  for (int i = 0; i < rtbCount_; ++i)
    rtb_[(unsigned(rtbFirst_) + i) & 127] = Packet();
  rtbFirst_ = 0;
  rtbLast_ = 127;
  rtbCount_ = 0;
  nackPending_ = badBSN_ = badFIB_ = false;
  BSNT = FSNT = 127;
  BIBT = FIBT = 1;
}

// ---- states and timers ----

void SLC::next_state(State::type next) {
  const State& to = state(next);
  if (log_.state)
    std::clog << "SS7/L2 " << "[" << "dpc=" << dpc_ << ", slc=" << slc_ << ", trunk=" << trunk_ << "]" << ": "
              << "change state from " << ext::quoted(state_name(get_state_id())) << " to "
              << ext::quoted(state_name(next)) << std::endl;
  current_->on_leave(*this);
  current_ = &to;
  current_->on_enter(*this);
}

void SLC::start(const TimerRecord& timer, const char* trace) {
  if (trace && log_.timers)
    std::clog << ext::header(this) << trace << std::endl;
  expiry_ = timer.expiry;
  timer_.start(timer.ms);
}

void SLC::expired(const char* text) {
  if (log_.timers)
    std::clog << ext::header(this) << text << std::endl;
  to_idle();
}

void SLC::on_T4() {
  if (log_.timers)
    std::clog << ext::header(this) << "T4 expired." << std::endl;
  next_state(State::AlignedReady);
}

void SLC::on_T7() {
  if (log_.timers)
    std::clog << ext::header(this) << "T7 expired: " << rtbCount_ << " packets in RTB." << std::endl;
  to_idle();
}

}  // namespace SS7
