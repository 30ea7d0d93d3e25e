#pragma once
// SS7 signalling link control (MTP level 2): signal units in and out,
// initial alignment with proving, and message signal units carried with the
// basic error correction method (positive and negative acknowledgement, a
// retransmission buffer, sequence numbers modulo 128). It is the only layer
// of an SS7 slot's protocol family and the receiver of its HDLC channel:
// MSUs from level 3 come down through message(), accepted MSUs go up
// through on_message(), and every return to idle is reported upward as an
// error status "impossible phasing".
#include <cstdint>
#include <ostream>

#include "foundation/packet.h"
#include "foundation/protocol.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "signalling/clean_queue.h"
#include "signalling/cyclic.h"

namespace SS7 {

class SLC : public Protocol, public HDLC::Notify {
public:
  // The status octet of a link status signal unit.
  struct Indication {
    enum type { SIO = 0, SIN = 1, SIE = 2, SIOS = 3 };
  };
  // A state: what each event does in it. Leaving a state other than idle
  // cancels the running timer.
  struct State {
    enum type { Idle = 0, NotAligned = 1, Aligned = 2, Proving = 3, AlignedReady = 4, InService = 5 };
    explicit State(type t) : id(t) {}
    virtual ~State() = default;
    virtual void on_enter(SLC&) const {}
    virtual void on_leave(SLC& slc) const { slc.stop_timer(); }
    virtual void fisu(SLC&) const {}
    virtual void lssu(SLC&, unsigned) const {}
    virtual void msu(SLC&, Packet&) const {}
    virtual void message(SLC&, Packet&) const {}
    type get_state_id() const { return id; }
    const type id;
  };

  // Trace switches, in the order of the controller's log request.
  struct LogSwitches {
    bool state = false;
    bool raw_receive = false;
    bool raw_transmit = false;
    bool mtp_transmit = false;
    bool mtp_receive = false;
    bool mtp_activate = false;
    bool timers = false;
    bool msu_processing = false;
  };

  struct Statistics {
    unsigned suTx = 0;            // FISUs and MSUs sent
    unsigned suRx = 0;            // units of 3 octets or more received
    unsigned octetsTx = 0;
    unsigned octetsRx = 0;
    unsigned overflows = 0;       // MSUs refused for a full TB
    unsigned rtbCount = 0;        // MSUs in the RTB when the block was read
    unsigned retransmissions = 0; // retransmissions begun
    unsigned nacks = 0;           // negative acknowledgements sent
  };

  // A timer: its duration and what its expiry does.
  struct TimerRecord {
    unsigned ms;
    void (SLC::*expiry)();
  };
  static const TimerRecord T1, T2, T3, T4n, T4e, T5, T6, T7;

  static constexpr unsigned TBLimit = 200;  // MSUs waiting; the ring holds 127 more for retransmission

  SLC();
  ~SLC() override;

  // What the owner sets before adding the link to its family.
  void set_trunk(unsigned trunk) { trunk_ = trunk; }
  void set_slc(unsigned slc) { slc_ = slc; }
  void set_dpc(unsigned dpc) { dpc_ = dpc; }
  void set_opc(unsigned opc) { opc_ = opc; }
  void set_emergency(bool emergency) { emergency_ = emergency; }
  void set_hdlc(GenericHDLC* hdlc) { hdlc_ = hdlc; }
  LogSwitches& log() { return log_; }

  // Protocol.
  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& p) override { p.reserve_head(3); }
  void local_prepare_tail(Packet& p) override { p.reserve_tail(0); }
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& p) override;
  void receive(Packet& p) override;
  void protocol_info(std::ostream& out) const override { out << name_.name(); }

  // HDLC::Notify.
  void on_hdlc_receive(Packet& frame) override { receive(frame); }
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  // The trunk under the link went down (false) or came up (true).
  void OnTrunkHardStatus(bool up);

  unsigned get_state_id() const;
  // The FSN of the last accepted MSU.
  unsigned bsnt() const { return BSNT; }
  Statistics statistics() const;
  void PutHeader(std::ostream& out) const;

  static const char* indication_name(unsigned indication);  // null when unknown
  static const char* state_name(unsigned state);

private:
  struct IdleState;
  struct NotAlignedState;
  struct AlignedState;
  struct ProvingState;
  struct AlignedReadyState;
  struct InServiceState;
  static const State& state(State::type id);

  // Sending.
  bool send(const Packet& payload);
  void fisu();
  void lssu(Indication::type indication);
  void reset();

  // States.
  void next_state(State::type next);
  void start(const TimerRecord& timer, const char* trace);
  void stop_timer() { timer_.stop(); }
  void on_timer() { (this->*expiry_)(); }
  void on_T1() { expired("T1 expired"); }
  void on_T2() { expired("T2 expired"); }
  void on_T3() { expired("T3 expired"); }
  void expired(const char* text);
  void on_T4();
  void on_T5() {}
  void on_T6() {}
  void on_T7();
  void to_idle() { next_state(State::Idle); }

  // In service.
  void enter_service();
  void take_expected();
  void service_fisu();
  void service_msu(Packet& msu);
  bool unexpected_fib();
  bool process_bsnr();
  void nack();
  void retransmit();
  void put_to_tb(Packet& msu);
  void process_tb();
  void log_fields(const char* text) const;

  LogSwitches log_;
  Seq128 BSNR, FSNR;
  unsigned BIBR, FIBR;
  unsigned LI;
  Seq128 BSNT, FSNT;
  unsigned BIBT, FIBT;
  Seq128 expectedBSN;
  unsigned char expectedBIB, expectedFIB;
  bool nackPending_, badBSN_, badFIB_;
  Packet rtb_[128];
  Seq128 rtbFirst_, rtbLast_;
  int rtbCount_;
  CleanQueue<Packet, 327> tb_;
  unsigned trunk_;
  MemberTimer<SLC> timer_;
  void (SLC::*expiry_)();
  const State* current_;
  bool emergency_;
  unsigned slc_, dpc_, opc_;
  Statistics stats_;
  GenericHDLC* hdlc_;
  Protocol_name_str name_;
};

}  // namespace SS7
