#pragma once
// The Q.921 (LAPD) data link of an ISDN D channel in multiple-frame
// operation, modulo 128, for the user or the network side, on a
// primary-rate link with a fixed TEI or on a basic-rate link where the user
// side obtains its TEI from the network. It is the only layer of its
// owner's protocol family: layer-3 messages come down through message(),
// frames come up from the HDLC channel, built frames leave through the
// owner's GenericHDLC, and received layer-3 messages, establishment,
// release and management errors go up through the Protocol callbacks.
#include <cstdint>
#include <ostream>

#include "foundation/packet.h"
#include "foundation/protocol.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "messages/ACP/ACP.h"
#include "signalling/clean_queue.h"
#include "signalling/cyclic.h"

namespace ISDN {

struct Side {
  enum type { user = 0, network = 1 };
};
std::ostream& operator<<(std::ostream& out, Side::type side);

// The text of a link state 0..7; "(unknown)" beyond.
const char* statetext(unsigned state);

// The frame printer's output for the "rx:" and "tx: " trace lines.
extern char logbuf[1024];

// The Q.921 state variables (state k is Q.921 state k+1).
struct LAPDFullState {
  uint32_t state = 3;
  int selfTEI = 0;
  int selfSAPI = 0;
  int peerTEI = 0;
  int peerSAPI = 0;
  int RC = 0;
  bool peerBusy = false;
  bool ownBusy = false;
  bool rejectException = false;
  bool L3Initiated = false;
  bool Establishable = true;
  bool QueuedUp = false;
  bool RetrRQ = false;
  bool AckRQ = false;
  bool T200run = false;
  bool T202run = false;
  bool T203run = false;
  Seq128 VS, VA, VR;

  // The seven "   - " lines of a status report.
  void out(std::ostream& out) const;
};

class LAPD : public Protocol, private LAPDFullState, public HDLC::Notify {
public:
  class Notify {
  public:
    virtual ~Notify() = default;
    virtual void OnLAPD_FlowStatusChange(LAPD* lapd) = 0;
  };

  struct FlowStatus {
    enum Type { clear = 0, busy = 1 };
  };

  struct Stats {
    enum Counter {
      T200Expiries,
      T202Expiries,
      T203Expiries,
      Errors,
      Retrains,
      OutOverflows,
      AckOverflows,
      L3Messages,
      IFramesUp,
      EmptyMessages,
      OutOfSequence,
      BadConfirm,
      Count
    };
    uint32_t counter[Count] = {};
    uint32_t operator[](Counter c) const { return counter[c]; }
  };

  // A report with the link's state record at the moment it was made.
  class Status : public Protocol_status_error {
  public:
    Status(Protocol* reporter, const std::string& text, const LAPDFullState& state)
        : Protocol_status_error(reporter, text), state_(state) {}
    void out(std::ostream& out) const override;
    const LAPDFullState& state() const { return state_; }

  private:
    LAPDFullState state_;
  };

  // Frame codes: the S frames by their type, the U frames by their control octet.
  enum Code { RR = 0, RNR = 1, REJ = 2, SABME = 0x6F, DISC = 0x43, UA = 0x63, DM = 0x0F, UI = 0x03, FRMR = 0x87, XID = 0xAF };

  static constexpr unsigned T200 = 1000, T202 = 2000, T203 = 10000;
  static constexpr int N200 = 3;
  static constexpr int N202 = 3;  // identity requests after the first
  static constexpr unsigned Window = 7;

  LAPD(Side::type side, unsigned log);
  ~LAPD() override;

  // What the owner sets before activating the link.
  void set_side(Side::type side);
  void set_id(unsigned id) { id_ = id; }
  void set_log(unsigned log) { log_ = log; }
  void set_notify(Notify* notify) { notify_ = notify; }
  void set_hdlc(GenericHDLC* hdlc) { hdlc_ = hdlc; }
  // Basic-rate operation; the user side then starts without a TEI.
  void change_to_bri();

  Side::type side() const { return side_; }
  unsigned id() const { return id_; }
  unsigned log() const { return log_; }
  bool bri() const { return bri_; }
  FlowStatus::Type flow_status() const { return flow_; }
  const Stats& stats() const { return stats_; }
  const LAPDFullState& full_state() const { return *this; }
  unsigned out_queue() const { return outq_.count(); }
  unsigned ack_queue() const { return ackq_.count(); }

  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& p) override { p.reserve_head(4); }
  void local_prepare_tail(Packet& p) override { p.reserve_tail(0); }
  void local_activate() override;    // DL-ESTABLISH
  void local_deactivate() override;  // DL-RELEASE
  void message(Packet& p) override;  // DL-DATA
  void receive(Packet& frame) override;
  virtual void PutHeader(std::ostream& out) const;

  void on_hdlc_receive(Packet& frame) override { receive(frame); }
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override { local_events(); }

  virtual void mdl_assign(unsigned char tei);
  virtual void on_mdl_assign() {}
  virtual void mdl_remove();
  // MDL-ERROR indication: the code's text goes up as a Status.
  virtual void on_error(unsigned code);
  void on_error(const char* text);

  Smart_pointer<Internal_protocol_status> status() const;
  const char* state_text() const { return statetext(state); }

  // TEI management and statistics.
  void BeginTeiAssignProcedure();
  void tx_identity(unsigned short Ri, int Ai, unsigned char type);
  void on_UI(Packet& info);
  bool GetInfo(ACP::IsdnLinkInfo& info) const;
  void show_stat();

  static const char* error_text(unsigned code);

private:
  enum TimerId { TimerT200, TimerT202, TimerT203 };

  // Frames out.
  bool tx_cmd_resp(unsigned code, bool pf, bool command);
  bool tx_iframe(const Packet& message, bool poll);
  bool xmit(Packet& frame);
  void trace(const char* label, const Packet& frame, bool toUser) const;

  // Frames in.
  void on_supervisory(unsigned type, bool command, bool pf, Seq128 nr);
  void on_ICOM(Packet& info, bool p, Seq128 ns, Seq128 nr);
  void on_SABME(bool command, bool p);
  void on_DISC(bool command, bool p);
  void on_UA(bool command, bool f);
  void on_DM(bool command, bool f);
  void on_FRMR(bool command, bool pf);
  void log_u(const char* frame, bool command) const;

  // Procedures.
  void local_events();
  void queued_up();
  void establish_dl();
  void clear_exception();
  void nr_error_recovery();
  void discard_queue();
  void tx_enquiry();
  void tx_enquiry_response();
  void change_state(uint32_t next);
  void set_flow(FlowStatus::Type status);
  void deactivated(const char* text, bool success);
  bool nr_valid(Seq128 nr) const { return VA <= nr <= VS; }

  // The one timer serving T200, T202 and T203.
  void start_timer(TimerId id);
  void stop_timer(TimerId id);
  bool& timer_flag(TimerId id);
  void on_timer();
  void on_T200();
  void on_T202();
  void on_T203();

  Side::type side_;
  Stats stats_;
  Notify* notify_;
  FlowStatus::Type flow_;
  mutable ACP::IsdnLinkInfo lastInfo_;
  mutable bool infoGiven_;
  unsigned id_;
  unsigned log_;
  bool bri_;
  bool used_;  // activated at least once
  unsigned short Ri_;
  MemberTimer<LAPD> timer_;
  CleanQueue<Packet, 135> outq_;
  CleanQueue<Packet, 7> ackq_;
  Protocol_name_str name_;
  GenericHDLC* hdlc_;
};

}  // namespace ISDN
