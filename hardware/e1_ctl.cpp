#include "hardware/e1_ctl.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/board_order.h"
#include "hardware/device_names.h"
#include "hardware/event_records.h"
#include "messages/ACP/ACP.h"

namespace {

const char* const CasDeviceName = "/dev/e1-cas";

// Requests of "/dev/maintenance".
constexpr unsigned long E1_SYNC_STATUS = 0xc0504d03;  // the status record of one trunk
constexpr unsigned long E1_SET_TCLK = 0xc0044d0b;     // the mask, by value
constexpr unsigned long E1_CLOCK_SOURCE = 0xc0044d0a;  // the source, by value
// Requests of "/dev/e1-cas".
constexpr unsigned long CAS_OPEN = 0x80044300;     // the trunk, by value
constexpr unsigned long CAS_CLOSE = 0x80044301;    // the trunk, by value
constexpr unsigned long CAS_CHANNEL = 0xc0104304;  // channel control record
constexpr unsigned long CAS_GET = 0xc00c4303;      // channel record

// Zero when made: the fields' own defaults.
struct StatusRecord {
  Hardware::be_u32 trunk;
  uint8_t unread1[32] = {};
  Hardware::be_u32 slips;
  Hardware::be_u32 lossBF;
  Hardware::be_u32 lossCarrier;
  Hardware::be_u32 lossAIS;
  Hardware::be_u32 lossRAI;
  uint8_t unread2[20] = {};
  Hardware::be_u32 state;
};
struct ChannelRecord {
  Hardware::be_u32 path;
  Hardware::be_u32 timeslot;
  uint8_t rx;
  uint8_t tx;
  uint8_t unused[2];
};
struct ChannelControl {
  ChannelRecord channel;
  Hardware::be_u32 disable;  // 0 enables the time slot with the tx code
};
static_assert(sizeof(StatusRecord) == 80 && sizeof(ChannelRecord) == E1Ctl::CasRecordSize &&
                  sizeof(ChannelControl) == 16,
              "driver layout");

ChannelRecord Channel(uint32_t trunk, uint32_t timeslot, uint8_t tx = 0) {
  ChannelRecord r;
  r.path = trunk;
  r.timeslot = timeslot;
  r.rx = 0;
  r.tx = tx;
  r.unused[0] = r.unused[1] = 0;
  return r;
}

}  // namespace

E1Ctl* E1Ctl::instance() {
  static E1Ctl e1;
  return &e1;
}

E1Ctl::E1Ctl() : maintenance_(-1), casOpen_{}, tclk_(0) {}

E1Ctl::~E1Ctl() {
  if (maintenance_ >= 0)
    DevIo::close(maintenance_);
}

void E1Ctl::release() {
  if (maintenance_ >= 0)
    DevIo::close(maintenance_);
  maintenance_ = -1;
  status_.reset();
  casEvent_.Release();
  cas_.reset();
  for (bool& open : casOpen_)
    open = false;
  tclk_ = 0;
}

bool E1Ctl::OpenMaintenance() {
  if (maintenance_ < 0)
    maintenance_ = DevIo::open(GetMaintenance(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  return maintenance_ >= 0;
}

void E1Ctl::OnConnect() {
  SendStatus();
  status_.set(StatusMs, &E1Ctl::OnCheckStatus, this);
  tclk_ = 0;
  SetTclk();
  CheckOpenCas();
}

void E1Ctl::OnDisconnect() {
  for (uint32_t trunk = 0; trunk < Trunks; ++trunk)
    if (casOpen_[trunk])
      CasClose(trunk, 0);
}

void E1Ctl::OnCheckStatus(Timer*) {
  SendStatus();
  CheckOpenCas();
  status_.set(StatusMs, &E1Ctl::OnCheckStatus, this);
}

bool E1Ctl::OnCommand(const LGCP::Command& cmd) {
  if (cmd.is_trunkCfg()) {
    TrunkCfg(cmd.get_trunkCfg());
  } else if (cmd.is_ioctl()) {
    const LGCP::IoctlParams& params = cmd.get_ioctl();
    if (CheckOpenCas() && params.is_cas())
      CasCommand(params.get_cas());
  } else {
    return false;
  }
  // Outcomes show in the log and in the `cas` signals only.
  Success();
  return true;
}

void E1Ctl::SendStatus() {
  if (!OpenMaintenance())
    return;
  for (uint32_t trunk = 0; trunk < Trunks; ++trunk) {
    StatusRecord record;  // all zero
    record.trunk = trunk;
    if (DevIo::ioctl(maintenance_, E1_SYNC_STATUS, &record) < 0) {
      int err = errno;
      std::cerr << ext::header(this) << "synchronization status read fail, trunk = " << trunk
                << " cause = " << strerror(err) << std::endl;
      continue;
    }
    LGCP::Signal sig;
    ACP::TrunkStatus& ts = sig.select_trunkStatus();
    ts.set_trunk(static_cast<int>(trunk));
    ts.set_state(static_cast<ACP::TrunkState::NamedNumber>(uint32_t(record.state)));
    ts.set_slips(static_cast<int>(uint32_t(record.slips)));
    ts.set_lossBF(static_cast<int>(uint32_t(record.lossBF)));
    ts.set_lossCarrier(static_cast<int>(uint32_t(record.lossCarrier)));
    ts.set_lossAIS(static_cast<int>(uint32_t(record.lossAIS)));
    ts.set_lossRAI(static_cast<int>(uint32_t(record.lossRAI)));
    ts.set_name("");
    ts.set_clockMaster(false);
    ts.set_type(ACP::TrunkType::e1);
    SendSignal(sig);
  }
}

void E1Ctl::TrunkCfg(const LGCP::TrunkCfg& cfg) {
  int trunk = cfg.get_trunk().getValue();
  if (trunk < 0)
    return;
  // The mask has bits for trunks 0 to 31 only.
  if (trunk < 32) {
    uint32_t bit = uint32_t(1) << trunk;
    if (cfg.get_mode().getValue() == LGCP::TrunkMode::slave)
      tclk_ |= bit;
    else
      tclk_ &= ~bit;
  }
  SetTclk();
}

void E1Ctl::SetTclk() {
  if (!OpenMaintenance())
    return;
  if (DevIo::ioctl_value(maintenance_, E1_SET_TCLK, tclk_) < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to set TCLK [cause=" << strerror(err) << "]" << std::endl;
    return;
  }
  std::clog << ext::header(this) << "TCLT = 0x" << std::hex << tclk_ << std::dec << std::endl;
}

void E1Ctl::select_source(int source) {
  if (!OpenMaintenance() || DevIo::ioctl_value(maintenance_, E1_CLOCK_SOURCE, static_cast<unsigned long>(source)) < 0)
    std::cerr << ext::header(this) << "fail to set clock source" << std::endl;
}

bool E1Ctl::CheckOpenCas() {
  if (cas_)
    return true;
  cas_.reset(DevIo::open(CasDeviceName, O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!cas_)
    return false;
  std::clog << ext::header(this) << "cas interface opened!" << std::endl;
  casEvent_.Bind("E1/Cas", &E1Ctl::OnUpdateCas, this);
  casEvent_.Schedule(cas_, POLLIN);
  return true;
}

void E1Ctl::OnUpdateCas(int fd, short revents) {
  ChannelRecord record;
  ssize_t n = (revents & POLLIN) ? DevIo::read(fd, &record, sizeof record) : -1;
  if (n == static_cast<ssize_t>(sizeof record))
    SendCas(record.path, record.timeslot, record.rx, record.tx);
  // A hang-up counts once the records before it are read.
  bool whole = n == static_cast<ssize_t>(sizeof record);
  if (Hardware::EventDeviceGone(whole ? 0 : revents, n == 0, "E1/Cas")) {
    casEvent_.Release();
    cas_.close();  // opened again by the next check
  }
}

void E1Ctl::SendCas(uint32_t path, uint32_t timeslot, int rx, int tx) {
  LGCP::Signal sig;
  LGCP::CasSignalling& cas = sig.select_cas();
  cas.mutable_channel().set_path(static_cast<int>(path));
  cas.mutable_channel().set_timeslot(static_cast<int>(timeslot));
  cas.set_rx(rx);
  cas.set_tx(tx);
  SendSignal(sig);
}

void E1Ctl::CasCommand(const LGCP::CasCommand& cmd) {
  // A negative path or time slot becomes a large number: out of range.
  uint32_t trunk = static_cast<uint32_t>(cmd.get_channel().get_path().getValue());
  uint32_t timeslot = static_cast<uint32_t>(cmd.get_channel().get_timeslot().getValue());
  const LGCP::CasCommandSignal& signal = cmd.get_cmd();
  if (signal.is_open())
    CasOpen(trunk, timeslot, signal.get_open().getValue());
  else if (signal.is_set())
    CasOpen(trunk, timeslot, signal.get_set().getValue());
  else if (signal.is_close())
    CasClose(trunk, timeslot);
  else if (signal.is_get())
    CasGet(trunk, timeslot);
}

void E1Ctl::CasOpen(uint32_t trunk, uint32_t timeslot, int code) {
  if (trunk >= Trunks)
    return;
  if (!casOpen_[trunk]) {
    int result = DevIo::ioctl_value(cas_.get(), CAS_OPEN, trunk);
    SendCas(trunk, 0, result, 0);
    if (result < 0) {
      std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - fail(" << result << ")"
                << std::endl;
      return;
    }
    std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - ok" << std::endl;
    casOpen_[trunk] = true;
  } else {
    SendCas(trunk, 0, 0, 0);
  }
  if (timeslot == 0 || timeslot == 16)
    return;
  ChannelControl control;
  control.channel = Channel(trunk, timeslot, static_cast<uint8_t>(code & 0xf));
  control.disable = 0;
  int result = DevIo::ioctl(cas_.get(), CAS_CHANNEL, &control);
  if (result < 0) {
    SendCas(trunk, timeslot, result, 0);
    return;
  }
  ReportChannel(trunk, timeslot);
}

void E1Ctl::CasClose(uint32_t trunk, uint32_t timeslot) {
  if (trunk >= Trunks || !casOpen_[trunk])
    return;
  if (timeslot == 0) {
    int result = DevIo::ioctl_value(cas_.get(), CAS_CLOSE, trunk);
    if (result == 0)
      result = 1;
    SendCas(trunk, 0, result, 0);
    if (result >= 0)
      casOpen_[trunk] = false;
  } else if (timeslot != 16) {
    ChannelControl control;
    control.channel = Channel(trunk, timeslot);
    control.disable = 1;
    int result = DevIo::ioctl(cas_.get(), CAS_CHANNEL, &control);
    if (result < 0)
      SendCas(trunk, timeslot, result, 0);
    else
      SendCas(trunk, timeslot, -1, 1);
  }
}

void E1Ctl::CasGet(uint32_t trunk, uint32_t timeslot) {
  if (trunk >= Trunks || !casOpen_[trunk])
    return;
  ReportChannel(trunk, timeslot);
}

void E1Ctl::ReportChannel(uint32_t trunk, uint32_t timeslot) {
  ChannelRecord record = Channel(trunk, timeslot);
  int result = DevIo::ioctl(cas_.get(), CAS_GET, &record);
  if (result < 0)
    SendCas(trunk, timeslot, result, 0);
  else
    SendCas(trunk, timeslot, record.rx, record.tx);
}
