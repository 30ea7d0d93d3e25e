#pragma once
// The running state of one network interface, smoothed over its last three
// samples, with the operational and administrative status derived from it
// (1 running, 2 not).
#include <list>
#include <string>

#include "foundation/fd.h"

class NetIfDataHolder {
public:
  NetIfDataHolder(int ifindex, const std::string& name);

  // Samples the interface's running flag; true when the smoothed state changed.
  bool updateNetIf();
  // Adds one sample (1 running, 0 not); true when the smoothed state changed.
  bool setNetIfStatus(int sample);
  // A socket for the interface name and flag requests: an ordinary IPv4
  // datagram socket, which needs no privilege and closes at once (closing a
  // packet socket waits for the kernel's network synchronisation, tens of
  // milliseconds on the loop).
  static Fd RequestSocket();

  int state() const { return state_; }  // -1 not yet sampled, 0 not running, 1 running
  int oper_status() const { return operStatus_; }
  int admin_status() const { return adminStatus_; }
  int ifindex() const { return ifindex_; }
  const std::string& name() const { return name_; }

private:
  int state_;
  int operStatus_;
  int adminStatus_;
  std::list<int> samples_;
  int ifindex_;
  std::string name_;
};
