#pragma once
// Supervises the controller: every command that passes the server's checks
// restarts a 120000 ms timer; when it runs out the controller is dropped.
// Answers `ping`, whose only purpose is to keep the link alive.
#include <ostream>

#include "core/ctrl_service.h"
#include "foundation/timer.h"

class HeartBeatCtl : public CtrlSrv::Service {
public:
  static constexpr unsigned TimeoutMs = 120000;

  static HeartBeatCtl& instance();

  void OnConnect() override {}
  void OnDisconnect() override { timer_.stop(); }
  bool OnCommand(LGCP::Command const& cmd) override;

  void ResetTimeOut();
  void PutHeader(std::ostream& out) const { out << "heartbeat: "; }
  bool armed() const { return timer_.running(); }

private:
  HeartBeatCtl() : timer_(this, &HeartBeatCtl::OnHeartbeatTimeout) {}
  void OnHeartbeatTimeout();

  // Restarted by every command: kept here, so a restart allocates nothing.
  MemberTimer<HeartBeatCtl> timer_;
};
