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

// The work that the SIGUSR2 and SIGHUP handlers ask for, done on the loop.
void CheckSignals();
void CheckDumpStatus();
void CheckUpdateResources();
