// The Q.921 data link: frames in and out, the pending-work step and the
// acknowledgement, retransmission and sending procedures.
#include "signalling/lapd.h"

#include <iostream>

#include "foundation/ext.h"
#include "signalling/frame_printer.h"
#include "signalling/lapd_frames.h"

namespace ISDN {

char logbuf[1024];

namespace {
const char* const StateTexts[] = {"TEI unassigned",   "Assign awaiting TEI", "Establish awaiting TEI",
                                  "TEI assigned",     "Awaiting establishment", "Awaiting release",
                                  "Multiple frame established", "Timer recovery"};
}  // namespace

std::ostream& operator<<(std::ostream& out, Side::type side) {
  return out << (side == Side::network ? "network" : "user");
}

const char* statetext(unsigned state) { return state < 8 ? StateTexts[state] : "(unknown)"; }

LAPD::LAPD(Side::type side, unsigned log)
    : side_(side),
      notify_(nullptr),
      flow_(FlowStatus::clear),
      infoGiven_(false),
      id_(0),
      log_(log),
      bri_(false),
      used_(false),
      Ri_(0),
      timer_(this, &LAPD::on_timer),
      name_("ISDN::LAPD"),
      hdlc_(nullptr) {}

LAPD::~LAPD() = default;

void LAPD::set_side(Side::type side) {
  side_ = side;
  if (bri_ && !used_)
    state = side_ == Side::user ? 0 : 3;
}

void LAPD::change_to_bri() {
  bri_ = true;
  if (!used_)
    state = side_ == Side::user ? 0 : 3;
}

void LAPD::PutHeader(std::ostream& out) const {
  out << "LAPD[" << id_ << "] " << "(" << state_text() << ")" << ": ";
}

// ---- frames out ----

// A frame that finds no buffer is not sent, as if the channel refused it.
bool LAPD::tx_cmd_resp(unsigned code, bool pf, bool command) {
  Packet frame;
  if (!frame.take(0))
    return false;
  prepare_head(frame);
  Lapd::put_address(frame, selfSAPI, command == (side_ == Side::network), selfTEI);
  if (code <= REJ) {
    frame.put(static_cast<unsigned char>(code << 2 | 1));
    frame.put(static_cast<unsigned char>(unsigned(VR) << 1 | (pf ? 1 : 0)));
  } else {
    frame.put(static_cast<unsigned char>(code | (pf ? 0x10 : 0)));
  }
  return xmit(frame);
}

// The queues keep the bare layer-3 message; each transmission writes the
// header on a copy, so a retransmitted frame carries the current V(S), V(R).
bool LAPD::tx_iframe(const Packet& message, bool poll) {
  Packet frame;
  if (!frame.take(4))
    return false;
  frame.put(message);
  Lapd::push_iframe_header(frame, static_cast<unsigned char>(selfSAPI << 2 | (side_ == Side::network ? 2 : 0)),
                           selfTEI, VS, VR, poll);
  return xmit(frame);
}

bool LAPD::xmit(Packet& frame) {
  if (!hdlc_) {
    if (log_ >= 4)
      std::clog << ext::header(this) << "no HDLC device attached!!!" << std::endl;
    return false;
  }
  if (!hdlc_->hdlc_transmit(frame)) {
    std::clog << ext::header(this) << "tx full" << std::endl;
    return false;
  }
  if (log_ >= 3)
    trace("tx: ", frame, side_ == Side::network);
  return true;
}

void LAPD::trace(const char* label, const Packet& frame, bool toUser) const {
  dlogframe(frame.data(), frame.length(), toUser ? 1 : 0, logbuf, sizeof logbuf);
  std::clog << ext::header(this) << label << logbuf << std::endl;
}

// ---- frames in ----

void LAPD::receive(Packet& frame) {
  unsigned len = frame.length();
  if (len < 2)
    return;
  if (log_ >= 3)
    trace("rx:", frame, side_ == Side::user);
  const unsigned char* d = frame.data();
  bool command = side_ == Side::user ? (d[0] & 2) != 0 : (d[0] & 2) == 0;
  peerSAPI = d[0] >> 2;
  if (d[0] & 1)
    return;
  peerTEI = d[1] >> 1;
  if (!(d[1] & 1))
    return;
  if (bri_ && side_ == Side::user && peerTEI < 127 && peerTEI != selfTEI)
    return;
  // A frame without its control octet, or an S frame without N(R).
  unsigned char c = len > 2 ? d[2] : 0;
  if (len < 3 || ((c & 3) == 1 && len < 4)) {
    on_error(8192);
    return;
  }
  if ((c & 3) == 1) {
    unsigned type = (c >> 2) & 3;
    if (type != 3)
      on_supervisory(type, command, d[3] & 1, d[3] >> 1);
  } else if ((c & 1) == 0) {
    Seq128 ns = c >> 1, nr;
    bool p = false;
    if (len > 3) {
      nr = d[3] >> 1;
      p = d[3] & 1;
    }
    frame.pull(nullptr, len > 3 ? 4 : 3);
    on_ICOM(frame, p, ns, nr);
  } else {
    bool pf = c & 0x10;
    switch (c & 0xEF) {
    case SABME:
      on_SABME(command, pf);
      break;
    case DISC:
      on_DISC(command, pf);
      break;
    case UA:
      on_UA(command, pf);
      break;
    case DM:
      on_DM(command, pf);
      break;
    case FRMR:
      on_FRMR(command, pf);
      break;
    case UI:
      frame.pull(nullptr, 3);
      on_UI(frame);
      break;
    default:
      break;
    }
  }
  local_events();
}

void LAPD::on_supervisory(unsigned type, bool command, bool pf, Seq128 nr) {
  if (state != 6 && state != 7)
    return;
  if (log_ >= 4)
    std::clog << ext::header(this) << (type == RR ? "RR " : type == RNR ? "RNR " : "REJ ")
              << (command ? "command" : "response") << " pf=" << pf << std::endl;
  peerBusy = type == RNR;
  bool valid = nr_valid(nr);
  if (state == 6) {
    if (pf && command) {
      tx_enquiry_response();
    } else if (pf) {
      if (type == RR) {
        if (log_ >= 4)
          std::clog << ext::header(this) << "receive RR (solicited response) in MFE_EST" << std::endl;
      } else {
        on_error(1);
      }
    }
    if (!valid) {
      nr_error_recovery();
      return;
    }
    if (type == RR) {
      if (nr == VS) {
        VA = nr;
        stop_timer(TimerT200);
        start_timer(TimerT203);
      } else if (nr != VA) {
        VA = nr;
        start_timer(TimerT200);
      }
    } else if (type == REJ) {
      VA = nr;
      RetrRQ = QueuedUp = true;
      stop_timer(TimerT200);
      start_timer(TimerT203);
    } else {
      VA = nr;
      stop_timer(TimerT203);
      start_timer(TimerT200);
    }
    return;
  }
  // Timer recovery.
  if (command && pf)
    tx_enquiry_response();
  if (command || !pf) {
    if (valid) {
      VA = nr;
      return;
    }
    if (type == RR && log_ >= 4)
      std::clog << ext::header(this) << "receive RR with out of order N(R)" << std::endl;
    nr_error_recovery();
    return;
  }
  if (!valid) {
    nr_error_recovery();
    return;
  }
  if (type == RNR) {
    start_timer(TimerT200);
  } else {
    stop_timer(TimerT200);
    start_timer(TimerT203);
  }
  VA = nr;
  RetrRQ = QueuedUp = true;
  change_state(6);
}

void LAPD::on_ICOM(Packet& info, bool p, Seq128 ns, Seq128 nr) {
  if (state != 6 && state != 7)
    return;
  if (log_ >= 4)
    std::clog << ext::header(this) << "I N(S)=" << unsigned(ns) << " N(R)=" << unsigned(nr) << " p=" << p << std::endl;
  bool deliver = false;
  if (!ownBusy) {
    if (ns == VR) {
      ++VR;
      rejectException = false;
      ++stats_.counter[Stats::IFramesUp];
      if (p) {
        tx_cmd_resp(RR, true, false);
        AckRQ = false;
      } else {
        AckRQ = true;
      }
      deliver = true;
    } else {
      ++stats_.counter[Stats::OutOfSequence];
      if (!rejectException) {
        rejectException = true;
        tx_cmd_resp(REJ, p, false);
        AckRQ = false;
      } else if (p) {
        tx_cmd_resp(RR, true, false);
        AckRQ = false;
      }
    }
  } else if (p) {
    tx_cmd_resp(RNR, true, false);
    AckRQ = false;
  }
  if (nr_valid(nr)) {
    if (state == 6 && !peerBusy) {
      if (nr == VS) {
        stop_timer(TimerT200);
        start_timer(TimerT203);
      } else if (nr != VA) {
        start_timer(TimerT200);
      }
    }
    VA = nr;
  } else {
    nr_error_recovery();
  }
  // Passed up last: layer 3 may answer at once with new messages.
  if (deliver)
    on_message(info);
}

// ---- pending work ----

void LAPD::local_events() {
  unsigned outstanding = VS - VA;
  unsigned acknowledged = 0;
  while (ackq_.count() > outstanding) {
    ackq_.get(nullptr);
    ++acknowledged;
  }
  if (log_ >= 3) {
    if (acknowledged)
      std::clog << ext::header(this) << "acknowledge " << acknowledged << " frames" << " VS=" << unsigned(VS)
                << " VA=" << unsigned(VA) << std::endl;
    if (outq_.empty())
      std::clog << ext::header(this) << "outgoing queue empty." << std::endl;
  }

  if (RetrRQ) {
    if (log_ >= 1 && !ackq_.empty())
      std::clog << ext::header(this) << "retransmission " << ackq_.count() << " VS=" << unsigned(VS)
                << " VA=" << unsigned(VA) << std::endl;
    VS = VA;
    Packet message;
    while (ackq_.get_last(&message)) {
      outq_.append(message);
      ++stats_.counter[Stats::Retrains];
    }
    RetrRQ = false;
  }

  queued_up();

  if (AckRQ && (state == 6 || state == 7) && tx_cmd_resp(RR, false, false))
    AckRQ = false;

  if (outq_.count() < 65)
    set_flow(FlowStatus::clear);
}

void LAPD::queued_up() {
  while (QueuedUp) {
    QueuedUp = false;
    switch (state) {
    case 6: {
      if (peerBusy || unsigned(VS - VA) == Window) {
        QueuedUp = true;
        return;
      }
      Packet message;
      if (!outq_.preview(&message))
        return;
      if (!tx_iframe(message, false)) {
        QueuedUp = true;
        return;
      }
      outq_.get(nullptr);
      if (!ackq_.put(message)) {
        std::clog << ext::header(this) << "ack queue overflow!" << std::endl;
        ++stats_.counter[Stats::AckOverflows];
      }
      ++VS;
      AckRQ = false;
      if (!T200run) {
        stop_timer(TimerT203);
        start_timer(TimerT200);
      }
      if (!outq_.empty())
        QueuedUp = true;
      break;
    }
    case 7:
      QueuedUp = true;
      return;
    case 4:
      if (!L3Initiated)
        QueuedUp = true;
      return;
    default:
      return;
    }
  }
}

void LAPD::message(Packet& p) {
  ++stats_.counter[Stats::L3Messages];
  if (!p.length()) {
    ++stats_.counter[Stats::EmptyMessages];
    return;
  }
  if (outq_.count() > 127) {
    std::clog << ext::header(this) << "discard outgoing message: buffer overflow" << std::endl;
    ++stats_.counter[Stats::OutOverflows];
    return;
  }
  if (log_ >= 3) {
    if (outq_.count() > 7)
      std::clog << ext::header(this) << "outgoing queue size = " << outq_.count()
                << " tx counter = " << stats_[Stats::L3Messages] << std::endl;
    std::clog << ext::header(this) << "add to tx queue: " << p.text() << std::endl;
  }
  outq_.put(p);
  QueuedUp = true;
  if (state == 0) {
    // Without a TEI the basic-rate user side asks for one.
    if (bri_ && side_ == Side::user)
      BeginTeiAssignProcedure();
    else
      change_state(1);
  }
  if (outq_.count() > 88)
    set_flow(FlowStatus::busy);
  local_events();
}

void LAPD::set_flow(FlowStatus::Type status) {
  if (status == flow_)
    return;
  flow_ = status;
  if (notify_)
    notify_->OnLAPD_FlowStatusChange(this);
}

}  // namespace ISDN
