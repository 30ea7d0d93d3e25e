// The Q.921 data link's management side: the user side's TEI request, the
// TEI management frames, received UI frames and the statistics reports.
#include <cstdlib>
#include <iostream>

#include "foundation/ext.h"
#include "signalling/lapd.h"
#include "signalling/lapd_frames.h"

namespace ISDN {

using namespace Lapd;

namespace {
const char* running(bool on) { return on ? "running" : "stopped"; }
}  // namespace

void LAPDFullState::out(std::ostream& o) const {
  o << "   - state: " << statetext(state) << '\n'
    << "   - self: TEI=" << selfTEI << ", SAPI=" << selfSAPI << ", busy=" << ownBusy << '\n'
    << "   - peer: TEI=" << peerTEI << ", SAPI=" << peerSAPI << ", busy=" << peerBusy << '\n'
    << "   - counters: VS=" << unsigned(VS) << ", VA=" << unsigned(VA) << ", VR=" << unsigned(VR) << ", RC=" << RC
    << '\n'
    << "   - internal signals: AckRQ=" << AckRQ << ", RetrRQ=" << RetrRQ << ", QueuedUp=" << QueuedUp << '\n'
    << "   - flags: L3Initiated=" << L3Initiated << ", Establishable=" << Establishable
    << ", RejectException=" << rejectException << '\n'
    << "   - timers: T200 " << running(T200run) << ", T202 " << running(T202run) << ", T203 " << running(T203run);
}

void LAPD::Status::out(std::ostream& o) const {
  o << message() << '\n';
  state_.out(o);
}

void LAPD::BeginTeiAssignProcedure() {
  if (!bri_ || side_ != Side::user)
    return;
  change_state(1);
  on_mdl_assign();
  Ri_ = static_cast<unsigned short>(rand());
  tx_identity(Ri_, GroupTEI, IdentityRequest);
  RC = 0;
  stop_timer(TimerT200);
  stop_timer(TimerT203);
  start_timer(TimerT202);
}

void LAPD::tx_identity(unsigned short Ri, int Ai, unsigned char type) {
  Packet frame;
  if (!bri_ || !frame.take(0))
    return;
  prepare_head(frame);
  put_identity(frame, side_ == Side::network, Ri, Ai, type);
  xmit(frame);
}

void LAPD::on_UI(Packet& info) {
  if (!bri_ || !info.length())
    return;
  if (log_ >= 4)
    std::clog << ext::header(this) << "on_UI()" << std::endl;
  const unsigned char* d = info.data();
  if (d[0] != ManagementEntity) {
    if (side_ == Side::user) {
      if (state == 4)
        change_state(3);
      if (state == 3) {
        establish_dl();
        L3Initiated = true;
        change_state(4);
      }
    }
    on_message(info);
    return;
  }
  Identity m;
  if (!read_identity(info, m))
    return;
  const unsigned short ri = m.ri;
  const int ai = m.ai;
  if (log_ >= 4)
    std::clog << ext::header(this) << "on_UI() type=" << m.type << " Ai=" << ai << std::endl;
  switch (m.type) {
  case IdentityAssigned:
    if ((state == 1 || state == 2) && ri == Ri_) {
      // T202 first, so that the establishment's T200 does not replace it.
      stop_timer(TimerT202);
      mdl_assign(static_cast<unsigned char>(ai));
    }
    break;
  case IdentityDenied:
    if ((state == 1 || state == 2) && ri == Ri_) {
      if (log_ >= 2) {
        if (ai == GroupTEI)
          std::clog << ext::header(this) << "ASP returned: All TEI's used" << std::endl;
        else
          std::clog << ext::header(this) << "ASP returned: TEI " << ai << " denied" << std::endl;
      }
      on_error(32768);
    }
    break;
  case CheckRequest:
    if (state > 2 && (ai == GroupTEI || ai == selfTEI))
      tx_identity(Ri_, selfTEI, CheckResponse);
    break;
  case IdentityRemove:
    // Only a TEI held can be removed: a request under way goes on as it is.
    if (state > 2 && (ai == GroupTEI || ai == selfTEI)) {
      mdl_remove();
      BeginTeiAssignProcedure();
    }
    break;
  default:
    break;
  }
}

bool LAPD::GetInfo(ACP::IsdnLinkInfo& info) const {
  info.set_msuTxCount(static_cast<int>(stats_[Stats::L3Messages]));
  info.set_msuRxCount(static_cast<int>(stats_[Stats::IFramesUp]));
  info.set_mT200(static_cast<int>(stats_[Stats::T200Expiries]));
  info.set_mT203(static_cast<int>(stats_[Stats::T203Expiries]));
  info.set_errors(static_cast<int>(stats_[Stats::Errors]));
  info.set_retrains(static_cast<int>(stats_[Stats::Retrains]));
  info.set_rejected(static_cast<int>(stats_[Stats::OutOfSequence]));
  info.set_badconfirm(static_cast<int>(stats_[Stats::BadConfirm]));
  info.set_outOverflows(static_cast<int>(stats_[Stats::OutOverflows]));
  info.set_ackOverflows(static_cast<int>(stats_[Stats::AckOverflows]));
  info.set_lapdState(static_cast<ACP::LAPDState::NamedNumber>(state));
  info.set_rc(RC);
  info.set_peerBusy(peerBusy);
  info.set_ownBusy(ownBusy);
  info.set_rejException(rejectException);
  info.set_ackPending(false);
  info.set_l3Initiated(L3Initiated);
  info.set_establishable(Establishable);
  info.set_queuedUpRQ(QueuedUp);
  info.set_retrRQ(RetrRQ);
  info.set_ackRQ(AckRQ);
  info.set_t200run(T200run);
  info.set_t203run(T203run);
  info.set_vs(static_cast<int>(unsigned(VS)));
  info.set_va(static_cast<int>(unsigned(VA)));
  info.set_vr(static_cast<int>(unsigned(VR)));
  info.set_queueOut(static_cast<int>(outq_.count()));
  info.set_queueAck(static_cast<int>(ackq_.count()));
  if (infoGiven_ && info == lastInfo_)
    return false;
  lastInfo_ = info;
  infoGiven_ = true;
  return true;
}

void LAPD::show_stat() {
  std::cout << " - current state: " << '\n';
  full_state().out(std::cout);
  std::cout << '\n'
            << " - statistics: " << '\n'
            << "   - timers expire count: T200: " << stats_[Stats::T200Expiries]
            << ", T202: " << stats_[Stats::T202Expiries] << ", T203: " << stats_[Stats::T203Expiries] << '\n'
            << "   - errors: " << stats_[Stats::Errors] << ", retrains: " << stats_[Stats::Retrains] << '\n'
            << "   - queue overflows: out: " << stats_[Stats::OutOverflows] << ", ack: " << stats_[Stats::AckOverflows]
            << std::endl;
}

}  // namespace ISDN
