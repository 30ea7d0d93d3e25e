#include "core/heartbeat.h"

#include <iostream>

#include "core/ctrl_server.h"

HeartBeatCtl& HeartBeatCtl::instance() {
  static HeartBeatCtl heartbeat;
  return heartbeat;
}

bool HeartBeatCtl::OnCommand(LGCP::Command const& cmd) {
  ResetTimeOut();
  if (!cmd.is_ping())
    return false;
  Success();
  return true;
}

void HeartBeatCtl::ResetTimeOut() { timer_.start(TimeoutMs); }

void HeartBeatCtl::OnHeartbeatTimeout() {
  std::clog << "heartbeat timeout!!!" << std::endl;
  ctrlServer.OnHeartbeatTimeout();
}
