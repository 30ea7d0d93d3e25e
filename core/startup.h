#pragma once
// The daemon's start-up: configuration, signals, options, factories and
// services, the controller acceptor and the event loop.

namespace CtrlSrv {
class Service;
}
namespace IniFile {
class File;
}

// Runs the daemon; returns its exit status.
int nodalsrv_main(int argc, char** argv);

// Defined beside each executable's main, which links the libraries above
// the core. Constructs the slot factories in their start-up order:
void ConstructSlotFactories();
// Builds the monitoring service and hands it the configuration; returns
// the service, which start-up binds last.
CtrlSrv::Service* ConfigureMonitoring(IniFile::File& file);

// Binds the control services in start-up order: heartbeat, slots, board
// test, bus clock, E1, SPI line channels, then `last` (the monitoring
// service) when given.
void BindControlServices(CtrlSrv::Service* last);

// The work that the SIGUSR2 and SIGHUP handlers ask for, done on the loop.
void CheckSignals();
void CheckDumpStatus();
void CheckUpdateResources();
