#pragma once
// The trace switches of the "traces" configuration section. Each area reads
// its switch directly before it writes a trace line.
#include "foundation/ini_file.h"

class TraceCtl {
public:
  TraceCtl() = default;

  // Every occurrence of the section in file order; the last one decides.
  void Configure(IniFile::Section& section);
  // One occurrence: all switches off, then the keys that turn them on.
  void Configure(IniFile::SubSection& section);

  bool hdlc = false;        // "signalling.hdlc"
  bool lemzgw = false;      // "signalling.lemzgw"
  bool events = false;      // "signalling.events"
  bool isdn = false;        // "signalling.isdn"
  bool monitoring = false;  // "monitoring.internal"
};

extern TraceCtl traces;
