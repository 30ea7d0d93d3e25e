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
  void OnDisconnect() override { timer_.reset(); }
  bool OnCommand(LGCP::Command const& cmd) override;

  void ResetTimeOut();
  void PutHeader(std::ostream& out) const { out << "heartbeat: "; }
  bool armed() const { return timer_.pending(); }

private:
  HeartBeatCtl() = default;
  void OnHeartbeatTimeout(Timer*);

  Timer timer_;
};
