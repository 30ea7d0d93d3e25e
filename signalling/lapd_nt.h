#pragma once
// The network side of a basic-rate D channel shared by up to eight
// terminals. LAPD_NT plays the network's TEI management entity (assigns
// TEIs 64 to 126, checks them every minute, removes duplicated and
// unknown ones) and keeps one LAPD_NT_user per terminal: a simplified
// multiple-frame entity that acknowledges, polls and retransmits on its
// own. SETUP messages from layer 3 go out as UI frames on the group TEI;
// other messages go to the terminal whose last message carried the same
// call reference. Frames come in through receive() and leave through
// transmit(), down the owner's stack.
#include <cstdint>
#include <ostream>

#include "foundation/packet.h"
#include "foundation/protocol.h"
#include "foundation/timer.h"
#include "signalling/clean_queue.h"

namespace ISDN {

class LAPD_NT;

class LAPD_NT_user {
public:
  static constexpr unsigned PollTime = 10000;  // idle poll in state 1
  static constexpr unsigned T200 = 1000;       // answer time in state 2
  static constexpr unsigned CheckTime = 2000;  // answer time of a TEI check
  static constexpr int N200 = 3;

  enum State { Unassigned = 0, Assigned = 1, WaitAnswer = 2 };

  LAPD_NT_user();
  LAPD_NT_user(const LAPD_NT_user&) = delete;
  LAPD_NT_user& operator=(const LAPD_NT_user&) = delete;

  void set_lapd(LAPD_NT* owner) { owner_ = owner; }
  void set_log(unsigned log) { log_ = log; }

  void assign();
  void unassign();
  void checking();
  // One frame for this terminal, address first; cr is the frame's C/R bit
  // (0 for the terminal's commands).
  void receive(Packet& frame, bool cr);
  // Takes a layer-3 message for the call this terminal is in.
  bool message(Packet& p);
  void on_timer();
  void retransmit();
  bool ack_queue(unsigned char nr);
  void set_busy();
  void set_unbusy();
  void PutHeader(std::ostream& out) const;

  int state() const { return state_; }
  unsigned char tei() const { return tei_; }
  bool check() const { return check_; }
  bool busy() const { return busy_; }
  unsigned char call_reference() const { return callref_; }
  unsigned short check_ri() const { return checkRi_; }
  void set_tei(unsigned char tei) { tei_ = tei; }
  void set_check_ri(unsigned short ri) { checkRi_ = ri; }
  unsigned out_queue() const { return outq_.count(); }
  unsigned ack_count() const { return ackq_.count(); }

private:
  void on_I(Packet& info, unsigned char ns, unsigned char nr, bool p);
  void on_RR(unsigned char nr, bool pf, bool cr);
  void on_RNR(unsigned char nr, bool pf, bool cr);
  void on_REJ(unsigned char nr, bool pf, bool cr);
  void on_SABME(bool p);
  void on_DM();
  void on_DISC(bool p);
  void on_FRMR();
  void on_XID();
  void on_check_timer();
  void answer_poll(bool pf, bool cr);
  void acknowledged(unsigned char nr);
  void tx_frame(unsigned char code, bool pf, bool command);
  bool tx_I(Packet& p, unsigned char nr, unsigned char ns);
  void send_queued();
  void log_line(const char* text) const;

  bool check_;
  LAPD_NT* owner_;
  unsigned char vr_, va_, vs_;
  unsigned char tei_;
  int state_;
  MemberTimer<LAPD_NT_user> mainTimer_;
  MemberTimer<LAPD_NT_user> checkTimer_;
  int rc_;
  unsigned char callref_;
  bool busy_;
  unsigned log_;
  CleanQueue<Packet, 135> outq_;
  CleanQueue<Packet, 7> ackq_;
  unsigned short checkRi_;
};

class LAPD_NT : public Protocol {
public:
  static constexpr unsigned Terminals = 8;
  static constexpr unsigned CheckPeriod = 60000;

  LAPD_NT();
  ~LAPD_NT() override;

  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& p) override { p.reserve_head(4); }
  void local_prepare_tail(Packet& p) override { p.reserve_tail(0); }
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& p) override;
  void receive(Packet& frame) override;

  void set_log(unsigned log);
  unsigned log() const { return log_; }
  void check_all_Tei();
  void tx_identity(unsigned short Ri, int Ai, unsigned char type);
  void on_tei_procedure(Packet& info);
  LAPD_NT_user* find_Tei(unsigned char tei);
  LAPD_NT_user* find_free_Tei(unsigned char ai);
  void send_to_layer3(Packet& p) { on_message(p); }
  void send_to_layer1(Packet& p) { transmit(p); }
  void PutHeader(std::ostream& out) const;

  LAPD_NT_user& user(unsigned i) { return users_[i]; }

private:
  void remove_tei(int ai);
  void on_check_period() { check_all_Tei(); }

  LAPD_NT_user users_[Terminals];
  MemberTimer<LAPD_NT> timer_;
  unsigned log_;
  Protocol_name_str name_;
};

}  // namespace ISDN
