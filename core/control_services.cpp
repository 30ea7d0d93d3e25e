// The control services in the order start-up binds them; apart from the
// rest of start-up, so that what runs the services without the daemon's
// main (benchmarks) binds them the same way.
#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/slots.h"
#include "core/startup.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"

void BindControlServices(CtrlSrv::Service* last) {
  ctrlServer.Bind(&HeartBeatCtl::instance());
  ctrlServer.Bind(&Slots::instance());
  ctrlServer.Bind(HwTests::instance());
  ctrlServer.Bind(BusCtl::instance());
  ctrlServer.Bind(E1Ctl::instance());
  ctrlServer.Bind(spiCtrl::instance());
  if (last)
    ctrlServer.Bind(last);
}
