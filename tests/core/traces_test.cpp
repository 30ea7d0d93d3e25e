#include "core/traces.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Switches {
  bool hdlc, lemzgw, events, isdn, monitoring;
};

Switches configure(const std::string& text, std::string* messages = nullptr) {
  IniFile::File file;
  std::istringstream in(text);
  in >> file;
  TraceCtl ctl;
  ctl.hdlc = ctl.lemzgw = ctl.events = ctl.isdn = ctl.monitoring = true;
  testing::internal::CaptureStderr();
  ctl.Configure(file["traces"]);
  std::string err = testing::internal::GetCapturedStderr();
  if (messages)
    *messages = err;
  return {ctl.hdlc, ctl.lemzgw, ctl.events, ctl.isdn, ctl.monitoring};
}

}  // namespace

TEST(Traces, StartOff) {
  TraceCtl ctl;
  EXPECT_FALSE(ctl.hdlc || ctl.lemzgw || ctl.events || ctl.isdn || ctl.monitoring);
  EXPECT_FALSE(traces.hdlc || traces.lemzgw || traces.events || traces.isdn || traces.monitoring);
}

TEST(Traces, OneKeyTurnsOnItsSwitchAlone) {
  Switches s = configure("[traces]\nsignalling.isdn=yes\n");
  EXPECT_TRUE(s.isdn);
  EXPECT_FALSE(s.hdlc || s.lemzgw || s.events || s.monitoring);
}

TEST(Traces, EveryKey) {
  Switches s = configure(
      "[traces]\n"
      "signalling.hdlc=true\n"
      "signalling.lemzgw=enable\n"
      "signalling.events=enabled\n"
      "signalling.isdn=1\n"
      "monitoring.internal=yes\n");
  EXPECT_TRUE(s.hdlc && s.lemzgw && s.events && s.isdn && s.monitoring);
}

TEST(Traces, TheLastSectionDecides) {
  Switches s = configure("[traces]\nsignalling.hdlc=yes\nsignalling.events=yes\n[other]\n[traces]\nsignalling.events=yes\n");
  EXPECT_FALSE(s.hdlc);
  EXPECT_TRUE(s.events);
}

TEST(Traces, MissingSectionChangesNothing) {
  Switches s = configure("[other]\nsignalling.hdlc=no\n");
  EXPECT_TRUE(s.hdlc && s.lemzgw && s.events && s.isdn && s.monitoring);
}

TEST(Traces, BadValuesAreReportedAndLeaveTheSwitchOff) {
  std::string messages;
  Switches s = configure("[traces]\nsignalling.hdlc=on\nsignalling.isdn=yes\n\nsignalling.isdn=yes\n", &messages);
  EXPECT_FALSE(s.hdlc);
  EXPECT_FALSE(s.isdn);
  EXPECT_EQ(
      "traces: optional key \"signalling.hdlc\" has invalid value=\"on\", line 2. Key will be ignored.\n"
      "traces: optional key \"signalling.isdn\" is duplicated!\n"
      "traces:  first occurence at 3 line.\n"
      "traces:  second occurence at 5 line. Both keys will be ignored.\n",
      messages);
}
