#include "core/traces.h"

#include <iostream>

#include "foundation/ini_reader.h"

TraceCtl traces;

void TraceCtl::Configure(IniFile::Section& section) {
  for (IniFile::SubSection& sub : section)
    Configure(sub);
}

void TraceCtl::Configure(IniFile::SubSection& section) {
  *this = TraceCtl();
  IniFile::Reader reader("traces: ", std::cerr);
  reader.optional.add(&hdlc, "signalling.hdlc");
  reader.optional.add(&lemzgw, "signalling.lemzgw");
  reader.optional.add(&events, "signalling.events");
  reader.optional.add(&isdn, "signalling.isdn");
  reader.optional.add(&monitoring, "monitoring.internal");
  reader.parse(section);
}
