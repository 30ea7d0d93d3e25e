#pragma once
// The daemon's start-up: configuration, signals, options, factories and
// services, the controller acceptor and the event loop.

// Runs the daemon; returns its exit status.
int nodalsrv_main(int argc, char** argv);

// Constructs the slot factories in their start-up order (defined beside
// each executable's main, which links the slot libraries).
void ConstructSlotFactories();

// The work that the SIGUSR2 and SIGHUP handlers ask for, done on the loop.
void CheckSignals();
void CheckDumpStatus();
void CheckUpdateResources();
