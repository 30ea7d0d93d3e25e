// The Q.921 data link: layer-3 and management requests, unnumbered frames,
// the three timers and the state changes they cause.
#include <cstdlib>
#include <iostream>

#include "foundation/ext.h"
#include "signalling/lapd.h"

namespace ISDN {

namespace {
struct ErrorText {
  unsigned code;
  const char* text;
};
const ErrorText ErrorTexts[] = {
    {1, "Supervisory (F = 1)"},
    {2, "DM (F = 1)"},
    {4, "UA (F = 1)"},
    {8, "UA (F = 0)"},
    {16, "Receipt of DM response (F = 0)"},
    {32, "Peer initiated re-establishment - SABME"},
    {64, "Unsuccessful retransmission (N200 times) - SABME"},
    {128, "Unsuccessful retransmission (N200 times) - DISC"},
    {256, "Unsuccessful retransmission (N200 times) - Status enquiry"},
    {512, "Other - N(R) error"},
    {1024, "Other - Receipt of FRMR response"},
    {2048, "Other - Receipt of undefined frame"},
    {4096, "Other - Receipt of I field not permitted"},
    {8192, "Other - Receipt of frame with wrong size"},
    {16384, "Other - N201 error"},
    {32768, "Tei Assign - Tei denied"},
};
const char* const TimerNames[] = {"T200", "T202", "T203"};

const char* const DeactivatedLocally = "success (deactivated locally)";
const char* const UaReceived = "success (UA received)";
const char* const MdlRemoveReceived = "error (MDL-REMOVE received)";
const char* const DiscReceived = "remote error (DISC received)";
const char* const DmReceived = "error (DM received)";
const char* const T200Exhausted = "link error (T200 expired N200 times)";
const char* const T202Exhausted = "link error (T202 expired N202 times)";
}  // namespace

const char* LAPD::error_text(unsigned code) {
  for (const ErrorText& row : ErrorTexts)
    if (row.code == code)
      return row.text;
  return "Other - Unknown";
}

void LAPD::on_error(unsigned code) { on_error(error_text(code)); }

void LAPD::on_error(const char* text) { on_status(new Status(this, text, *this)); }

Smart_pointer<Internal_protocol_status> LAPD::status() const {
  return new Status(const_cast<LAPD*>(this), "current status", *this);
}

void LAPD::deactivated(const char* text, bool success) {
  if (success)
    on_deactivate(new Protocol_status_success(this, text));
  else
    on_deactivate(new Status(this, text, *this));
}

void LAPD::change_state(uint32_t next) {
  bool recovery = (state == 6 && next == 7) || (state == 7 && next == 6);
  if (next != state && log_ >= 2 && (log_ >= 4 || !recovery))
    std::clog << "LAPD[" << id_ << "] : " << "change state " << ext::quoted(statetext(state)) << " -> "
              << ext::quoted(statetext(next)) << std::endl;
  state = next;
  // Frames queued while the link was down go out once it is up.
  if (state == 6)
    QueuedUp = true;
}

// ---- layer-3 and management requests ----

void LAPD::local_activate() {
  used_ = true;
  if (log_ >= 1)
    std::clog << ext::header(this) << "DL-ESTABLISH" << std::endl;
  switch (state) {
  case 0:
    RC = 0;
    if (bri_ && side_ == Side::user) {
      // The TEI request runs; its assignment then establishes the link.
      BeginTeiAssignProcedure();
    } else {
      on_mdl_assign();
    }
    change_state(2);
    break;
  case 1:
    change_state(2);
    break;
  case 3:
    establish_dl();
    L3Initiated = true;
    change_state(4);
    break;
  case 4:
    discard_queue();
    L3Initiated = true;
    break;
  case 6:
  case 7:
    discard_queue();
    establish_dl();
    L3Initiated = true;
    change_state(4);
    break;
  default:
    break;
  }
}

void LAPD::local_deactivate() {
  used_ = true;
  if (log_ >= 2)
    std::clog << ext::header(this) << "DL-RELEASE" << std::endl;
  switch (state) {
  case 3:
    deactivated(DeactivatedLocally, true);
    break;
  case 4:
    discard_queue();
    RC = 0;
    tx_cmd_resp(DISC, true, true);
    stop_timer(TimerT203);
    stop_timer(TimerT202);
    start_timer(TimerT200);
    change_state(3);
    deactivated(DeactivatedLocally, true);
    break;
  case 6:
  case 7:
    discard_queue();
    RC = 0;
    tx_cmd_resp(DISC, true, true);
    if (state == 6)
      stop_timer(TimerT203);
    start_timer(TimerT200);
    change_state(5);
    break;
  default:
    break;
  }
}

void LAPD::mdl_assign(unsigned char tei) {
  if (log_ >= 2)
    std::clog << ext::header(this) << "MDL-ASSIGN" << " (tei=" << unsigned(tei) << ")" << std::endl;
  selfTEI = tei;
  if (state == 2) {
    establish_dl();
    L3Initiated = true;
    change_state(4);
  } else {
    change_state(3);
  }
}

void LAPD::mdl_remove() {
  std::clog << ext::header(this) << "MDL-REMOVE" << std::endl;
  switch (state) {
  case 3:
    discard_queue();
    change_state(0);
    break;
  case 4:
  case 5:
  case 6:
  case 7:
    if (state != 5)
      discard_queue();
    stop_timer(TimerT200);
    if (state == 6)
      stop_timer(TimerT203);
    change_state(0);
    deactivated(MdlRemoveReceived, false);
    break;
  default:
    break;
  }
}

// ---- procedures ----

void LAPD::clear_exception() { peerBusy = ownBusy = rejectException = AckRQ = false; }

void LAPD::establish_dl() {
  clear_exception();
  RC = 0;
  tx_cmd_resp(SABME, true, true);
  stop_timer(TimerT203);
  start_timer(TimerT200);
}

void LAPD::nr_error_recovery() {
  ++stats_.counter[Stats::BadConfirm];
  on_error(512);
  establish_dl();
  L3Initiated = false;
  change_state(4);
}

void LAPD::discard_queue() {
  if (log_ >= 1)
    std::clog << ext::header(this) << "discard queue " << " OutData=" << outq_.count()
              << " AckData=" << ackq_.count() << std::endl;
  outq_.clear();
  ackq_.clear();
}

void LAPD::tx_enquiry() {
  if (log_ >= 4)
    std::clog << ext::header(this) << "tx_enquiry, ownBusy=" << ownBusy << std::endl;
  tx_cmd_resp(ownBusy ? RNR : RR, true, true);
  AckRQ = false;
  start_timer(TimerT200);
}

void LAPD::tx_enquiry_response() {
  if (log_ >= 4)
    std::clog << ext::header(this) << "tx_enquiry_response" << std::endl;
  tx_cmd_resp(ownBusy ? RNR : RR, true, false);
  AckRQ = false;
}

// ---- unnumbered frames ----

void LAPD::log_u(const char* frame, bool command) const {
  if (log_ >= 4)
    std::clog << ext::header(this) << frame << (command ? " command" : " response") << std::endl;
}

void LAPD::on_SABME(bool command, bool p) {
  log_u("SABME", command);
  VS = VA = VR = 0;
  ackq_.clear();
  switch (state) {
  case 3:
    if (Establishable) {
      tx_cmd_resp(UA, p, false);
      clear_exception();
      start_timer(TimerT203);
      change_state(6);
      on_activate();
    } else {
      tx_cmd_resp(DM, p, false);
    }
    break;
  case 4:
    tx_cmd_resp(UA, p, false);
    break;
  case 5:
    tx_cmd_resp(DM, p, false);
    break;
  case 6:
  case 7:
    tx_cmd_resp(UA, p, false);
    clear_exception();
    on_error(32);
    stop_timer(TimerT200);
    start_timer(TimerT203);
    change_state(6);
    on_activate();
    break;
  default:
    break;
  }
}

void LAPD::on_DISC(bool command, bool p) {
  log_u("DISC", command);
  switch (state) {
  case 3:
  case 4:
    tx_cmd_resp(DM, p, false);
    break;
  case 5:
    tx_cmd_resp(UA, p, false);
    break;
  case 6:
  case 7:
    discard_queue();
    tx_cmd_resp(UA, p, false);
    stop_timer(TimerT200);
    if (state == 6)
      stop_timer(TimerT203);
    change_state(3);
    deactivated(DiscReceived, false);
    break;
  default:
    break;
  }
}

void LAPD::on_UA(bool command, bool f) {
  log_u("UA", command);
  // An unsolicited UA leaves an established link's sequence numbers and
  // unacknowledged frames alone.
  if (state == 3 || state == 6 || state == 7) {
    on_error(12);
    return;
  }
  VS = VA = VR = 0;
  ackq_.clear();
  if (state == 4) {
    if (!f) {
      on_error(8);
      return;
    }
    stop_timer(TimerT200);
    start_timer(TimerT203);
    change_state(6);
    on_activate();
  } else if (state == 5) {
    if (!f) {
      on_error(8);
      return;
    }
    stop_timer(TimerT200);
    change_state(3);
    deactivated(UaReceived, true);
  }
}

void LAPD::on_DM(bool command, bool f) {
  log_u("DM", command);
  bool finalResponse = !command && f;
  switch (state) {
  case 3:
    if (!command && !f && Establishable) {
      establish_dl();
      L3Initiated = true;
      change_state(4);
    }
    break;
  case 4:
  case 5:
    if (finalResponse) {
      if (state == 4)
        discard_queue();
      stop_timer(TimerT200);
      change_state(3);
      deactivated(DmReceived, false);
    }
    break;
  case 6:
  case 7:
    if (finalResponse) {
      on_error(2);
      if (state == 6)
        break;
    } else {
      on_error(16);
    }
    establish_dl();
    L3Initiated = false;
    change_state(4);
    break;
  default:
    break;
  }
}

void LAPD::on_FRMR(bool command, bool pf) {
  if (log_ >= 4)
    std::clog << ext::header(this) << "FRMR" << (command ? " command" : " response") << " pf=" << pf << std::endl;
  if (state != 6 && state != 7)
    return;
  on_error(1024);
  establish_dl();
  L3Initiated = false;
  change_state(4);
}

// ---- timers ----

bool& LAPD::timer_flag(TimerId id) { return id == TimerT200 ? T200run : id == TimerT202 ? T202run : T203run; }

// One event serves all three timers: starting one replaces another that
// runs, which is reported.
void LAPD::start_timer(TimerId id) {
  for (TimerId other : {TimerT200, TimerT202, TimerT203}) {
    if (other == id || !timer_flag(other))
      continue;
    std::string text = std::string("trying to start ") + TimerNames[id] + " while " + TimerNames[other] + " running";
    on_error(text.c_str());
    timer_flag(other) = false;
  }
  timer_flag(id) = true;
  timer_.start(id == TimerT200 ? T200 : id == TimerT202 ? T202 : T203);
}

void LAPD::stop_timer(TimerId id) {
  if (!timer_flag(id))
    return;
  timer_flag(id) = false;
  timer_.stop();
}

void LAPD::on_timer() {
  if (T200run) {
    T200run = false;
    ++stats_.counter[Stats::T200Expiries];
    on_T200();
  } else if (T202run) {
    T202run = false;
    ++stats_.counter[Stats::T202Expiries];
    on_T202();
  } else if (T203run) {
    T203run = false;
    ++stats_.counter[Stats::T203Expiries];
    on_T203();
  }
  local_events();
}

void LAPD::on_T200() {
  switch (state) {
  case 4:
    if (RC == N200) {
      discard_queue();
      on_error(64);
      change_state(3);
      deactivated(T200Exhausted, false);
    } else {
      ++RC;
      tx_cmd_resp(SABME, true, true);
      start_timer(TimerT200);
    }
    break;
  case 5:
    if (RC == N200) {
      on_error(128);
      change_state(3);
      deactivated(T200Exhausted, false);
    } else {
      ++RC;
      tx_cmd_resp(DISC, true, true);
      start_timer(TimerT200);
    }
    break;
  case 6:
    RC = 0;
    tx_enquiry();
    RC = 1;
    if (log_ >= 2)
      std::clog << ext::header(this) << "ack expired" << std::endl;
    change_state(7);
    break;
  case 7:
    if (RC == N200) {
      if (log_ >= 2)
        std::clog << ext::header(this) << "ack error !!!" << std::endl;
      on_error(256);
      establish_dl();
      L3Initiated = false;
      change_state(4);
    } else {
      if (log_ >= 2)
        std::clog << ext::header(this) << "ack timeout expired RC=" << RC << std::endl;
      tx_enquiry();
      ++RC;
    }
    break;
  default:
    break;
  }
}

void LAPD::on_T202() {
  if (state != 1 && state != 2)
    return;
  if (RC > N202) {
    state = 0;
    deactivated(T202Exhausted, false);
    return;
  }
  Ri_ = static_cast<unsigned short>(rand());
  tx_identity(Ri_, 127, 1);
  start_timer(TimerT202);
  ++RC;
}

void LAPD::on_T203() {
  std::clog << ext::header(this) << "T203." << std::endl;
  if (state != 6)
    return;
  tx_enquiry();
  RC = 0;
  change_state(7);
}

}  // namespace ISDN
