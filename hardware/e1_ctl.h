#pragma once
// The board's four E1 trunks: once the controller has connected, the
// synchronisation status of every trunk is read from "/dev/maintenance"
// every second and sent as a `trunkStatus` signal; `trunkCfg` sets which
// trunks take their transmit clock from the line (the TCLK mask); slotless
// `ioctl` commands open, close, set and read channel-associated signalling
// on "/dev/e1-cas", whose changes go to the controller as `cas` signals.
#include <cstdint>
#include <ostream>

#include "core/ctrl_service.h"
#include "foundation/device_io.h"
#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/timer.h"

class E1Ctl : public CtrlSrv::Service, private DevIo::Holder {
public:
  static constexpr int Trunks = 4;
  static constexpr unsigned StatusMs = 1000;
  static constexpr unsigned CasRecordSize = 12;

  static E1Ctl* instance();

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& cmd) override;

  void OnCheckStatus(Timer*);
  void OnUpdateCas(int fd, short revents);
  void select_source(int source);
  void PutHeader(std::ostream& out) const { out << "E1: "; }

  uint32_t tclk_mask() const { return tclk_; }
  bool cas_open(int trunk) const { return casOpen_[trunk]; }
  bool cas_device_open() const { return static_cast<bool>(cas_); }
  bool polling() const { return status_.pending(); }

private:
  E1Ctl();
  ~E1Ctl() override;

  // A new board: both devices closed, no trunk open, the mask clear and
  // nothing polled, as constructed.
  void release() override;

  // "/dev/maintenance", opened when closed; false when it does not open.
  bool OpenMaintenance();
  void SendStatus();
  void SetTclk();
  void TrunkCfg(const LGCP::TrunkCfg& cfg);
  bool CheckOpenCas();
  void CasCommand(const LGCP::CasCommand& cmd);
  void CasOpen(uint32_t trunk, uint32_t timeslot, int code);
  void CasClose(uint32_t trunk, uint32_t timeslot);
  void CasGet(uint32_t trunk, uint32_t timeslot);
  // Reads a time slot's codes and reports them, or the failure in rx.
  void ReportChannel(uint32_t trunk, uint32_t timeslot);
  void SendCas(uint32_t path, uint32_t timeslot, int rx, int tx);

  int maintenance_;
  Timer status_;
  Fd cas_;
  Event casEvent_;
  bool casOpen_[Trunks];
  uint32_t tclk_;
};
