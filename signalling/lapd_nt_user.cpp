// One terminal of the network-side basic-rate link: a simplified
// multiple-frame entity that sends every I frame with P = 1, polls an idle
// terminal and retransmits on its own.
#include <iostream>

#include "foundation/ext.h"
#include "signalling/head_room.h"
#include "signalling/lapd_frames.h"
#include "signalling/lapd_nt.h"

namespace ISDN {

using namespace Lapd;

namespace {
enum Code : unsigned char { RR = 0x01, RNR = 0x05, REJ = 0x09, SABME = 0x6F, DM = 0x0F, DISC = 0x43, UA = 0x63,
                            FRMR = 0x87, XID = 0xAF };
unsigned char mod128(int v) { return static_cast<unsigned char>(v & 127); }
}  // namespace

LAPD_NT_user::LAPD_NT_user()
    : check_(false),
      owner_(nullptr),
      vr_(0),
      va_(0),
      vs_(0),
      tei_(0),
      state_(Unassigned),
      mainTimer_(this, &LAPD_NT_user::on_timer),
      checkTimer_(this, &LAPD_NT_user::on_check_timer),
      rc_(0),
      callref_(0),
      busy_(false),
      log_(0),
      checkRi_(0) {}

void LAPD_NT_user::PutHeader(std::ostream& out) const {
  out << "LAPD_user(NT BRI)[";
  if (state_ == Unassigned)
    out << "unassigned]:";
  else
    out << "Tei=" << unsigned(tei_) << (state_ == Assigned ? ",assigned" : ",wait_answer") << (check_ ? ",check" : "")
        << (busy_ ? ",busy" : "") << "]";
}

void LAPD_NT_user::log_line(const char* text) const {
  if (log_ >= 2)
    std::clog << ext::header(this) << text << std::endl;
}

void LAPD_NT_user::assign() {
  if (check_ && state_ != Unassigned) {
    log_line("checked");
    check_ = false;
    checkTimer_.stop();
    return;
  }
  log_line("assigned");
  vr_ = va_ = vs_ = 0;
  state_ = Assigned;
  tx_frame(SABME, true, true);
  busy_ = false;
  check_ = false;
  checkTimer_.stop();
  outq_.clear();
  ackq_.clear();
  rc_ = 0;
  mainTimer_.start(PollTime);
}

// The queues are emptied here too: a gone terminal pins no packets.
void LAPD_NT_user::unassign() {
  log_line("unassigned");
  state_ = Unassigned;
  check_ = false;
  mainTimer_.stop();
  checkTimer_.stop();
  outq_.clear();
  ackq_.clear();
}

void LAPD_NT_user::checking() {
  if (state_ == Unassigned)
    return;
  log_line("checking started");
  check_ = true;
  checkTimer_.start(CheckTime);
}

void LAPD_NT_user::on_check_timer() { unassign(); }

// ---- frames out ----

// A U or S frame (code its control octet); an S frame carries V(R).
void LAPD_NT_user::tx_frame(unsigned char code, bool pf, bool command) {
  Packet frame;
  if (!frame.take(0))
    return;  // no buffer: not sent
  owner_->prepare_head(frame);
  put_address(frame, 0, command, tei_);
  if ((code & 3) == 1) {
    frame.put(code);
    frame.put(static_cast<unsigned char>(vr_ << 1 | (pf ? 1 : 0)));
  } else {
    frame.put(static_cast<unsigned char>(code | (pf ? 0x10 : 0)));
  }
  owner_->send_to_layer1(frame);
}

// The header goes on the message itself: the acknowledgement queue keeps
// whole frames. False when it found no room and no buffer: nothing sent.
bool LAPD_NT_user::tx_I(Packet& p, unsigned char nr, unsigned char ns) {
  if (!ensure_head_room(p, 4))
    return false;
  push_iframe_header(p, 0x02, tei_, ns, nr, true);
  Packet copy = p;
  owner_->send_to_layer1(copy);
  return true;
}

bool LAPD_NT_user::message(Packet& p) {
  if (state_ == Unassigned || callref_ != (p[2] & 0x7F))
    return false;
  if (busy_) {
    if (outq_.count() >= 128)
      outq_.get(nullptr);
    outq_.put(p);
    return true;
  }
  if (!tx_I(p, vr_, vs_))
    return true;  // taken, but lost for want of a buffer
  if (ackq_.count() == ackq_.size())
    ackq_.get(nullptr);
  ackq_.put(p);
  vs_ = mod128(vs_ + 1);
  state_ = WaitAnswer;
  mainTimer_.start(T200);
  return true;
}

void LAPD_NT_user::retransmit() {
  log_line("retransmit queue");
  for (unsigned n = ackq_.count(); n > 0; --n) {
    Packet frame;
    ackq_.get(&frame);
    Packet copy = frame;
    owner_->send_to_layer1(copy);
    ackq_.put(frame);
  }
}

// ---- frames in ----

void LAPD_NT_user::receive(Packet& frame, bool cr) {
  unsigned len = frame.length();
  const unsigned char* d = frame.data();
  unsigned char c = d[2];
  if ((c & 1) == 0) {
    if (cr)
      return;
    unsigned char nr = 0;
    bool p = false;
    if (len > 3) {
      nr = d[3] >> 1;
      p = d[3] & 1;
    }
    unsigned char ns = c >> 1;
    frame.pull(nullptr, len > 3 ? 4 : 3);
    on_I(frame, ns, nr, p);
    return;
  }
  if ((c & 3) == 1) {
    if ((c != RR && c != RNR && c != REJ) || len < 4)
      return;
    unsigned char nr = d[3] >> 1;
    bool pf = d[3] & 1;
    if (c == RR)
      on_RR(nr, pf, cr);
    else if (c == RNR)
      on_RNR(nr, pf, cr);
    else
      on_REJ(nr, pf, cr);
    return;
  }
  bool pf = c & 0x10;
  switch (c & 0xEF) {
  case SABME:
    if (!cr)
      on_SABME(pf);
    break;
  case DM:
    if (cr)
      on_DM();
    break;
  case DISC:
    if (!cr)
      on_DISC(pf);
    break;
  case FRMR:
    if (cr)
      on_FRMR();
    break;
  case XID:
    on_XID();
    break;
  default:
    break;
  }
}

void LAPD_NT_user::acknowledged(unsigned char nr) {
  if (ack_queue(nr)) {
    state_ = Assigned;
    mainTimer_.start(PollTime);
  } else {
    unassign();
  }
}

void LAPD_NT_user::on_I(Packet& info, unsigned char ns, unsigned char nr, bool p) {
  log_line("received I frame");
  bool deliver = false;
  if (ns == vr_) {
    vr_ = mod128(vr_ + 1);
    if (p)
      tx_frame(RR, true, false);
    if (info.length() <= 3)
      return;
    callref_ = info[2] & 0x7F;
    deliver = true;
  } else {
    tx_frame(REJ, p, false);
  }
  acknowledged(nr);
  // Passed up last: layer 3 may answer at once.
  if (deliver)
    owner_->send_to_layer3(info);
}

void LAPD_NT_user::answer_poll(bool pf, bool cr) {
  if (pf && !cr)
    tx_frame(RR, true, false);
}

void LAPD_NT_user::on_RR(unsigned char nr, bool pf, bool cr) {
  log_line("received RR frame");
  answer_poll(pf, cr);
  if (!ack_queue(nr)) {
    unassign();
    return;
  }
  state_ = Assigned;
  mainTimer_.start(PollTime);
  set_unbusy();
}

void LAPD_NT_user::on_RNR(unsigned char nr, bool pf, bool cr) {
  log_line("received RNR frame");
  set_busy();
  answer_poll(pf, cr);
  acknowledged(nr);
}

void LAPD_NT_user::on_REJ(unsigned char nr, bool pf, bool cr) {
  log_line("received REJ frame");
  answer_poll(pf, cr);
  if (!ack_queue(mod128(nr - 1))) {
    unassign();
    return;
  }
  retransmit();
  set_unbusy();
  state_ = WaitAnswer;
  rc_ = 0;
  mainTimer_.start(T200);
}

void LAPD_NT_user::on_SABME(bool p) {
  log_line("received SABME frame");
  vr_ = va_ = vs_ = 0;
  if (p)
    tx_frame(UA, true, false);
  ackq_.clear();
  set_unbusy();
}

void LAPD_NT_user::on_DISC(bool p) {
  log_line("received DISC frame");
  if (p)
    tx_frame(UA, true, false);
  unassign();
}

void LAPD_NT_user::on_DM() {
  log_line("received DM frame");
  unassign();
}

void LAPD_NT_user::on_FRMR() {
  log_line("received FRMR frame");
  unassign();
}

void LAPD_NT_user::on_XID() { log_line("received XID frame"); }

// V(A) holds the last acknowledged N(S), that is N(R) - 1.
bool LAPD_NT_user::ack_queue(unsigned char nr) {
  log_line("ack queue");
  if (nr == va_)
    return true;
  bool valid = vs_ >= va_ ? nr >= va_ : !(vs_ < nr && nr < va_);
  if (!valid)
    return false;
  va_ = mod128(nr - 1);
  unsigned oldest = mod128(vs_ - static_cast<int>(ackq_.count()));
  for (unsigned n = mod128(nr - static_cast<int>(oldest)); n > 0 && ackq_.get(nullptr); --n) {
  }
  return true;
}

void LAPD_NT_user::set_busy() {
  if (!busy_)
    log_line("set busy");
  busy_ = true;
}

void LAPD_NT_user::set_unbusy() {
  if (busy_)
    log_line("set unbusy");
  busy_ = false;
  if (outq_.empty()) {
    state_ = Assigned;
    mainTimer_.start(PollTime);
    return;
  }
  send_queued();
}

// Messages held for a busy terminal, as far as the window allows.
void LAPD_NT_user::send_queued() {
  Packet p;
  while (ackq_.count() < ackq_.size() && outq_.get(&p)) {
    if (!tx_I(p, vr_, vs_)) {
      outq_.append(p);
      break;
    }
    vs_ = mod128(vs_ + 1);
    ackq_.put(p);
  }
  rc_ = 0;
  state_ = WaitAnswer;
  mainTimer_.start(T200);
}

void LAPD_NT_user::on_timer() {
  if (state_ == Assigned) {
    state_ = WaitAnswer;
    tx_frame(RR, true, true);
    rc_ = 0;
    mainTimer_.start(T200);
  } else if (state_ == WaitAnswer) {
    if (rc_ == N200) {
      log_line("T200 expiried N200 times");
      unassign();
      return;
    }
    ++rc_;
    // Nothing waits for acknowledgement: poll again.
    if (ackq_.empty())
      tx_frame(RR, true, true);
    else
      retransmit();
    mainTimer_.start(T200);
  }
}

}  // namespace ISDN
