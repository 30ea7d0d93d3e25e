#include "core/traces.h"

#include <gtest/gtest.h>

#include <sstream>

// The switches as "hdlc lemzgw events isdn monitoring" digits after a
// TraceCtl that started with every switch on read the text; its messages.
static std::string configure(const std::string& text, std::string* messages = nullptr) {
  IniFile::File file;
  std::istringstream in(text);
  in >> file;
  TraceCtl ctl;
  ctl.hdlc = ctl.lemzgw = ctl.events = ctl.isdn = ctl.monitoring = true;
  testing::internal::CaptureStderr();
  ctl.Configure(file["traces"]);
  if (messages)
    *messages = testing::internal::GetCapturedStderr();
  else
    testing::internal::GetCapturedStderr();
  return std::to_string(ctl.hdlc) + std::to_string(ctl.lemzgw) + std::to_string(ctl.events) +
         std::to_string(ctl.isdn) + std::to_string(ctl.monitoring);
}

TEST(Traces, SectionsKeysAndBadValues) {
  EXPECT_FALSE(traces.hdlc || traces.lemzgw || traces.events || traces.isdn || traces.monitoring);
  EXPECT_EQ("11111", configure("[traces]\nsignalling.hdlc=true\nsignalling.lemzgw=enable\n"
                               "signalling.events=enabled\nsignalling.isdn=1\nmonitoring.internal=yes\n"));
  // Each occurrence starts from all off: the last one decides.
  EXPECT_EQ("00100", configure("[traces]\nsignalling.hdlc=yes\n[other]\n[traces]\nsignalling.events=yes\n"));
  // Without the section nothing is touched (start-up resets the switches first).
  EXPECT_EQ("11111", configure("[other]\nsignalling.hdlc=no\n"));

  std::string messages;
  EXPECT_EQ("00000", configure("[traces]\nsignalling.hdlc=on\nsignalling.isdn=yes\n\nsignalling.isdn=yes\n", &messages));
  EXPECT_EQ(
      "traces: optional key \"signalling.hdlc\" has invalid value=\"on\", line 2. Key will be ignored.\n"
      "traces: optional key \"signalling.isdn\" is duplicated!\n"
      "traces:  first occurence at 3 line.\n"
      "traces:  second occurence at 5 line. Both keys will be ignored.\n",
      messages);
}
