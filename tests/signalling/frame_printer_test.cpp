// The LAPD and Q.931 frame printer: texts for hand-built frames, and bounds
// on every read and write for any input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "signalling/frame_printer.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string print(const Bytes& frame, int direction = 0) {
  char buffer[1024];
  int n = ISDN::dlogframe(frame.data(), frame.size(), direction, buffer, sizeof buffer);
  EXPECT_EQ(static_cast<size_t>(n), strlen(buffer));
  return buffer;
}

TEST(FramePrinter, FramesAndTheirMessages) {
  EXPECT_EQ(print({0x02, 0xFF}), "");
  EXPECT_EQ(print({0x02, 0xFF, 0x03, 0x08, 0x01, 0x81, 0x05}, 1),
            " 02 FF 03 08 01 81 05\nframe network->user broadcast\ncallref 1 called size 4 message type SETUP\n");
  EXPECT_EQ(print({0x00, 0x81, 0x01, 0x05}), " 00 81 01 05\nframe user->network SFrame tei = 64 (01 05 )\n");
  EXPECT_EQ(print({0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01, 0xFF}),
            " FC FF 03 0F 12 34 01 FF\nframe user->network tei management:\n");
  EXPECT_EQ(print({0x02, 0xFF, 0x13}), " 02 FF 13\nframe user->network no UI broadcast\n");
  EXPECT_EQ(print({0x04, 0x81, 0x00}), " 04 81 00\nframe user->network unknown sapi = 1; tei = 64\n");
  EXPECT_EQ(print({0x00, 0x81, 0x00, 0x00}), " 00 81 00 00\nframe user->network IFrame tei = 64\nframe too short\n");
  EXPECT_EQ(print({0x00, 0x81, 0x00, 0x00, 0x41, 0x01, 0x01, 0x05}),
            " 00 81 00 00 41 01 01 05\nframe user->network IFrame tei = 64\nUnknown protocol 41!");
  EXPECT_EQ(print({0x00, 0x81, 0x00, 0x00, 0x08, 0x00, 0x34}),
            " 00 81 00 00 08 00 34\nframe user->network IFrame tei = 64\ncallref 0 caller size 3 unknown message type 34!\n");
  // A two-octet call reference is skipped whole.
  EXPECT_EQ(print({0x00, 0x81, 0x00, 0x00, 0x08, 0x02, 0x80, 0x05, 0x4D}),
            " 00 81 00 00 08 02 80 05 4D\nframe user->network IFrame tei = 64\n"
            "callref 5 called size 5 message type RELEASE\n");
  // A longer one shows its first four octets (0x01020304) and is skipped whole.
  EXPECT_EQ(print({0x00, 0x81, 0x00, 0x00, 0x08, 0x05, 0x81, 0x02, 0x03, 0x04, 0x05, 0x4D}),
            " 00 81 00 00 08 05 81 02 03 04 05 4D\nframe user->network IFrame tei = 64\n"
            "callref 16909060 called size 8 message type RELEASE\n");

  const Bytes setup = {0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x05, 0x05, 0xA1, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18, 0x01,
                       0x89, 0x70, 0x05, 0x81, 0x31, 0x32, 0x33, 0x34, 0x08, 0x02, 0x80, 0x90, 0x50, 0x02, 0xAA, 0xBB,
                       0x96, 0x1E, 0x02, 0x02, 0x88};
  EXPECT_EQ(print(setup),
            " 00 81 00 00 08 01 05 05 A1 04 03 80 90 A3 18 01 89 70 05 81 31 32 33 34 08 02 80 90 50 02 AA BB 96"
            " 1E 02 02 88\n"
            "frame user->network IFrame tei = 64\n"
            "callref 5 caller size 33 message type SETUP\n"
            "  Sending complete\n"
            "  Bearer capability\n    octet 3  10000000\n    octet 4  10010000\n    octet 5  10100011\n"
            "  Channel identification\n    octet 3 10001001\n"
            "  Called party number\n    octet 3 10000001\n    number digits 1234\n"
            "  Cause\n    coding 00 location 0000  cause value 10 : Normal call clearing \n"
            "  attribute 50 attribute size 2\n"
            "  Shift 6\n"
            "  Progress indicator\n    octet 3  00000010\n    octet 3a 10001000\n");
}

TEST(FramePrinter, OutputIsBoundedByTheBuffer) {
  Bytes big(700, 0x55);
  big[0] = 0x00;
  big[1] = 0x81;
  big[2] = 0x01;
  char buffer[1024];
  memset(buffer, 'x', sizeof buffer);
  int n = ISDN::dlogframe(big.data(), big.size(), 0, buffer, 1000);
  EXPECT_EQ(n, 999);
  EXPECT_EQ(buffer[999], 0);
  EXPECT_EQ(buffer[1000], 'x');
  char hex[8];
  EXPECT_EQ(ISDN::QuickHex(hex, sizeof hex, big.data() + 1, 1), 4);
  EXPECT_STREQ(hex, " 81");
}

// Random frames, every prefix of a rich message, and each element printer
// on random content, into buffers of every small size; the sanitizers
// catch any read past the frame or write past the buffer.
TEST(FramePrinter, AnyInputStaysInBounds) {
  std::mt19937 random(104);
  std::vector<Bytes> frames;
  for (int i = 0; i < 3000; ++i) {
    Bytes f(random() % 48);
    for (unsigned char& b : f)
      b = static_cast<unsigned char>(random());
    if (f.size() > 4 && i % 2) {
      f[0] = 0x00;
      f[2] &= 0xFE;
      f[4] = 0x08;
    }
    frames.push_back(f);
  }
  const Bytes setup = {0x02, 0xFF, 0x03, 0x08, 0x03, 0x81, 0x02, 0x03, 0x05, 0x04, 0x03, 0x88, 0x18, 0x21,
                       0x1C, 0x07, 0x91, 0xA1, 0x04, 0x02, 0x01, 0x01, 0x02, 0x08, 0x04, 0x00, 0x81, 0x66,
                       0x05, 0x28, 0x03, 0x41, 0x42, 0x43, 0x6C, 0x04, 0x01, 0x80, 0x35, 0x36};
  for (size_t len = 0; len <= setup.size(); ++len)
    frames.push_back(Bytes(setup.begin(), setup.begin() + len));
  for (const Bytes& f : frames) {
    size_t size = 1 + random() % 300;
    std::vector<char> out(size);
    int n = ISDN::dlogframe(f.data(), f.size(), static_cast<int>(random() % 2), out.data(), size);
    ASSERT_LT(static_cast<size_t>(n), size);
    ASSERT_EQ(out[n], 0);
  }

  const ISDN::ElementPrinter printers[] = {
      ISDN::general,  ISDN::general_ni1,  ISDN::prbearer, ISDN::prbearer_ni1, ISDN::prcause,
      ISDN::prcause_1tr6, ISDN::prchident, ISDN::prcalled, ISDN::prcalling, ISDN::prcharge,
      ISDN::prtext,   ISDN::prfeatureind, ISDN::disptext_ni1, ISDN::display, ISDN::prfacility};
  for (int i = 0; i < 3000; ++i) {
    Bytes content(random() % 12);
    for (unsigned char& b : content)
      b = static_cast<unsigned char>(random());
    if (!content.empty() && i % 3 == 0)
      content[0] = 0x80;
    ISDN::Element e{0x04, static_cast<unsigned>(random() % 256), content.data(), static_cast<unsigned>(content.size())};
    size_t size = 1 + random() % 80;
    std::vector<char> out(size);
    ISDN::TextOut text(out.data(), size);
    printers[i % 15](text, e);
    ASSERT_LT(text.length(), size);
    ASSERT_EQ(out[text.length()], 0);
  }
}

// The text after the message header line of an I frame on TEI 64 whose
// SETUP message holds the given elements.
std::string elementsOf(const Bytes& elements) {
  Bytes frame = {0x00, 0x81, 0x00, 0x00, 0x08, 0x00, 0x05};
  frame.insert(frame.end(), elements.begin(), elements.end());
  std::string text = print(frame);
  const std::string header = "message type SETUP\n";
  size_t at = text.find(header);
  return at == std::string::npos ? "no header: " + text : text.substr(at + header.size());
}

// Every row of the message type table by its octet; octets outside it are
// named unknown.
TEST(FramePrinter, EveryMessageTypeByName) {
  struct Row {
    unsigned char type;
    const char* name;
  };
  const Row rows[] = {
      {0x01, "ALERTING"},         {0x02, "CALL PROCEEDING"},      {0x07, "CONNECT"},
      {0x0F, "CONNECT ACKNOWLEDGE"}, {0x03, "PROGRESS"},          {0x05, "SETUP"},
      {0x0D, "SETUP ACKNOWLEDGE"}, {0x24, "HOLD"},                {0x28, "HOLD ACKNOWLEDGE"},
      {0x30, "HOLD REJECT"},      {0x31, "RETRIEVE"},             {0x33, "RETRIEVE ACKNOWLEDGE"},
      {0x37, "RETRIEVE REJECT"},  {0x26, "RESUME"},               {0x2E, "RESUME ACKNOWLEDGE"},
      {0x22, "RESUME REJECT"},    {0x25, "SUSPEND"},              {0x2D, "SUSPEND ACKNOWLEDGE"},
      {0x21, "SUSPEND REJECT"},   {0x20, "USER INFORMATION"},     {0x45, "DISCONNECT"},
      {0x4D, "RELEASE"},          {0x5A, "RELEASE COMPLETE"},     {0x46, "RESTART"},
      {0x4E, "RESTART ACKNOWLEDGE"}, {0x60, "SEGMENT"},           {0x79, "CONGESTION CONTROL"},
      {0x7B, "INFORMATION"},      {0x62, "FACILITY"},             {0x6E, "NOTIFY"},
      {0x7D, "STATUS"},           {0x75, "STATUS ENQUIRY"},
  };
  auto line = [](unsigned type) {
    std::string text = print({0x00, 0x81, 0x00, 0x00, 0x08, 0x00, static_cast<unsigned char>(type)});
    return text.substr(text.find("callref"));
  };
  for (unsigned type = 0; type < 256; ++type) {
    SCOPED_TRACE(type);
    const Row* row = nullptr;
    for (const Row& r : rows)
      if (r.type == type)
        row = &r;
    char expected[80];
    if (row)
      snprintf(expected, sizeof expected, "callref 0 caller size 3 message type %s\n", row->name);
    else
      snprintf(expected, sizeof expected, "callref 0 caller size 3 unknown message type %x!\n", type);
    EXPECT_EQ(line(type), expected);
  }
}

// Every cause value of the table is known, every other one is not; the
// rows with a standard text of their own print it.
TEST(FramePrinter, EveryCauseValue) {
  const unsigned known[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x10, 0x11, 0x12, 0x13, 0x14,
                            0x15, 0x16, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x22, 0x26, 0x27, 0x28, 0x29, 0x2A,
                            0x2B, 0x2C, 0x2E, 0x2F, 0x31, 0x32, 0x35, 0x37, 0x39, 0x3A, 0x3E, 0x3F, 0x41, 0x42,
                            0x45, 0x46, 0x4F, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x5A, 0x5B, 0x5F,
                            0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x6E, 0x6F, 0x7F};
  ASSERT_EQ(sizeof known / sizeof known[0], 67u);
  struct Text {
    unsigned value;
    const char* english;
  };
  const Text texts[] = {{0x01, "Unallocated (unassigned) number"},
                        {0x06, "Channel unacceptable"},
                        {0x10, "Normal call clearing"},
                        {0x11, "User busy"},
                        {0x1F, "Normal, unspecified"},
                        {0x29, "Temporary failure"},
                        {0x66, "Recovery on timer expiry"},
                        {0x7F, "Interworking, unspecified"}};
  // What follows the coding and location of a Cause element with the value.
  auto cause = [](unsigned value) {
    std::string text = elementsOf({0x08, 0x02, 0x80, static_cast<unsigned char>(0x80 | value)});
    const std::string location = "location 0000";
    size_t at = text.find(location);
    return at == std::string::npos ? text : text.substr(at + location.size());
  };
  for (unsigned value = 0; value < 128; ++value) {
    SCOPED_TRACE(value);
    std::string line = cause(value);
    bool isKnown = std::find(std::begin(known), std::end(known), value) != std::end(known);
    char prefix[40];
    snprintf(prefix, sizeof prefix, isKnown ? "  cause value %x : " : "Unknown cause type %x!\n", value);
    EXPECT_EQ(line.substr(0, strlen(prefix)), prefix);
    for (const Text& t : texts) {
      if (t.value == value) {
        EXPECT_EQ(line, prefix + std::string(t.english) + " \n");
      }
    }
  }
}

// The single-octet elements by their type bits 7-5.
TEST(FramePrinter, SingleOctetElements) {
  struct Row {
    unsigned char octet;
    const char* text;
  };
  const Row rows[] = {
      {0x80, "  Reserved 80\n"}, {0x8F, "  Reserved 8f\n"},           {0x91, "  Shift 1\n"},
      {0x9E, "  Shift e\n"},     {0xA0, "  More data\n"},             {0xA1, "  Sending complete\n"},
      {0xA2, ""},                {0xAF, ""},                          {0xB4, "  Congestion level 4\n"},
      {0xC3, "  Reserved c3\n"}, {0xD7, "  Repeat indicator 7\n"},    {0xE2, "  Reserved e2\n"},
      {0xFF, "  Reserved ff\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.octet);
    EXPECT_EQ(elementsOf({r.octet}), r.text);
  }
}

// Every element of codeset 0 by its name; an identifier outside the table
// is shown with its size.
TEST(FramePrinter, EveryElementName) {
  struct Row {
    unsigned char id;
    const char* name;
  };
  const Row rows[] = {
      {0x00, "Segmented message"},          {0x04, "Bearer capability"},
      {0x08, "Cause"},                      {0x10, "Call identity"},
      {0x14, "Call state"},                 {0x18, "Channel identification"},
      {0x1C, "Facility"},                   {0x1E, "Progress indicator"},
      {0x20, "Network-specific facilities"}, {0x27, "Notification indicator"},
      {0x28, "Display"},                    {0x29, "Date/Time"},
      {0x2C, "Keypad facility"},            {0x34, "Signal"},
      {0x40, "Information rate"},           {0x42, "End-to-end delay"},
      {0x43, "Transit delay selection and indication"}, {0x44, "Packet layer binary parameters"},
      {0x45, "Packet layer window size"},   {0x46, "Packet size"},
      {0x47, "Closed user group"},          {0x4A, "Reverse charge indication"},
      {0x6C, "Calling party number"},       {0x6D, "Calling party subaddress"},
      {0x70, "Called party number"},        {0x71, "Called party subaddress"},
      {0x74, "Redirecting number"},         {0x78, "Transit network selection"},
      {0x79, "Restart indicator"},          {0x7C, "Low layer compatibility"},
      {0x7D, "High layer compatibility"},   {0x7E, "User-user"},
      {0x7F, "Escape for extension"},
  };
  for (unsigned id = 0; id < 0x80; ++id) {
    SCOPED_TRACE(id);
    std::string text = elementsOf({static_cast<unsigned char>(id), 0x01, 0x81});
    std::string expected;
    for (const Row& r : rows)
      if (r.id == id)
        expected = "  " + std::string(r.name) + "\n";
    if (expected.empty()) {
      char line[48];
      snprintf(line, sizeof line, "  attribute %x attribute size 1\n", id);
      expected = line;
    }
    EXPECT_EQ(text.substr(0, expected.size()), expected);
  }
}

ISDN::Element element(const Bytes& content) {
  return ISDN::Element{0x00, static_cast<unsigned>(content.size()), content.data(),
                       static_cast<unsigned>(content.size())};
}

// What one element printer writes for the content.
std::string printed(ISDN::ElementPrinter printer, const Bytes& content) {
  char buffer[512];
  ISDN::TextOut out(buffer, sizeof buffer);
  int n = printer(out, element(content));
  EXPECT_EQ(static_cast<size_t>(n), strlen(buffer));
  return buffer;
}

// Each element printer, every branch of it, on hand-built contents.
TEST(FramePrinter, ElementPrinters) {
  struct Row {
    const char* name;
    ISDN::ElementPrinter printer;
    Bytes content;
    const char* text;
  };
  const Row rows[] = {
      {"general", ISDN::general, {0x01, 0x02, 0x83, 0x04},
       "    octet 3  00000001\n    octet 3a 00000010\n    octet 3b 10000011\n    octet 4  00000100\n"},
      {"prcalling", ISDN::prcalling, {0x01, 0x83, '5', '6'},
       "    octet 3 00000001\n    octet 3a 10000011\n    number digits 56\n"},
      {"prcalling", ISDN::prcalling, {0x81, '7'}, "    octet 3 10000001\n    number digits 7\n"},
      {"prbearer", ISDN::prbearer, {0x88, 0x18, 0x8F, 0x21, 0xA3, 0x42, 0x66},
       "    octet 3  10001000\n    octet 4  00011000\n    octet 4.1 10001111\n    octet 5  00100001\n"
       "    octet 5a 10100011\n    octet 6  01000010\n    octet 7  01100110\n"},
      {"prcause", ISDN::prcause, {0x80, 0x90, 0x01, 0x02, 0x03, 0x04, 0x85},
       "    coding 00 location 0000  cause value 10 : Normal call clearing \n"
       "    diag attribute 1  rej 2  av 3\n    diag attribute 4  rej 5 \n"},
      {"prcause", ISDN::prcause, {0x62, 0x83, 0x93},
       "    coding 11 location 0010  cause value 13 : No answer from user (user alerted) \n"},
      {"prfacility", ISDN::prfacility, {0x91, 0xA1, 0x03, 0x02, 0x01, 0x0F},
       "    octet 3 10010001\n   octet 4 10100001\n   octet 5 3\n   contents  2  1  f \n"},
      {"display", ISDN::display, {'A', 'B'}, "   \"AB\"\n"},
      {"prtext", ISDN::prtext, {'5', '5', '5'}, "    555\n"},
      {"prcharge", ISDN::prcharge, {0x81, '1', '2'}, "    GEA 10000001  Anzahl: 12\n"},
      {"prbearer_ni1", ISDN::prbearer_ni1, {0x80, 0x90, 0xA2},
       "    octet 3  10000000 Speech\n    octet 4  10010000 64 kbps, circuit mode\n    octet 5  10100010 u-law\n"},
      {"prbearer_ni1", ISDN::prbearer_ni1, {0x88, 0xC0, 0x21, 0x8F},
       "    octet 3  10001000 Unrestricted digital information\n    octet 4  11000000 Packet mode\n"
       "    octet 5  00100001 Rate adaption\n    octet 5a 10001111\n"},
      {"prbearer_ni1", ISDN::prbearer_ni1, {0x90, 0x80, 0x00},
       "    octet 3  10010000 3.1 kHz audio\n    octet 4  10000000 Unknown transfer mode\n"
       "    octet 5  00000000 Unknown UI layer 1 protocol\n"},
      {"prbearer_ni1", ISDN::prbearer_ni1, {0x81}, "    octet 3  10000001 Unknown information-transfer capability\n"},
      {"prcause_1tr6", ISDN::prcause_1tr6, {}, "   OK (cause length=0)\n"},
      {"prcause_1tr6", ISDN::prcause_1tr6, {0x90, 0x85},
       "    coding 00 location 0101\n  cause value 10 : Facility Not Implemented \n"},
      {"prcause_1tr6", ISDN::prcause_1tr6, {0x02}, "Unknown cause type 2!\n"},
      {"prfeatureind", ISDN::prfeatureind, {0x10}, "    octet 3  00010000\n    Status:  Idle\n"},
      {"prfeatureind", ISDN::prfeatureind, {0x11}, "    octet 3  00010001\n    Status:  Active\n"},
      {"prfeatureind", ISDN::prfeatureind, {0x12}, "    octet 3  00010010\n    Status:  Prompt\n"},
      {"prfeatureind", ISDN::prfeatureind, {0x13}, "    octet 3  00010011\n    Status:  Pending\n"},
      {"prfeatureind", ISDN::prfeatureind, {0x14}, "    octet 3  00010100\n    Status:  (Reserved)\n"},
      {"prfeatureind", ISDN::prfeatureind, {0x80, 0x02},
       "    octet 3  10000000\n    octet 4  00000010\n    Status:  Prompt\n"},
      {"disptext_ni1", ISDN::disptext_ni1, {0x80, 0x8D, 0x03, 'B', 'o', 'b', 0x80, 0x01, 'x', 0x97, 0x01, 'z'},
       "    Calling party name: Bob\n    (unknown display tag 97): z\n"},
      {"disptext_ni1", ISDN::disptext_ni1, {0x81, 0x8D, 0x01, 'B'}, "    Unknown display type\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.name) + " " + std::to_string(r.content.size()));
    EXPECT_EQ(printed(r.printer, r.content), r.text);
  }
}

// The national variants' tables: every 1TR6 cause and every NI-1 display
// tag by its text.
TEST(FramePrinter, NationalCauseAndDisplayTables) {
  struct Cause {
    unsigned char value;
    const char* text;
  };
  const Cause causes[] = {
      {0x01, "Invalid Call Reference"}, {0x03, "Bearer Service Not Implemented"}, {0x07, "Caller Identity unknown"},
      {0x08, "Caller Identity in Use"}, {0x0A, "No Channels available"},      {0x10, "Facility Not Implemented"},
      {0x11, "Facility Not Subscribed"}, {0x20, "Outgoing calls barred"},     {0x21, "User Access Busy"},
      {0x22, "Negative GBG"},           {0x23, "Unknown  GBG"},               {0x25, "No SPV known"},
      {0x35, "Destination not obtainable"}, {0x38, "Number changed"},         {0x39, "Out Of Order"},
      {0x3A, "No User Response"},       {0x3B, "User Busy"},                  {0x3D, "Incoming Barred"},
      {0x3E, "Call Rejected"},          {0x59, "Network Congestion"},         {0x5A, "Remote User initiated"},
      {0x70, "Local Procedure Error"},  {0x71, "Remote Procedure Error"},     {0x72, "Remote User Suspend"},
      {0x73, "Remote User Resumed"},    {0x7F, "User Info Discarded"},
  };
  EXPECT_EQ(ISDN::cause_1tr6_len, 26);
  for (const Cause& c : causes) {
    char expected[80];
    snprintf(expected, sizeof expected, "  cause value %x : %s \n", c.value, c.text);
    EXPECT_EQ(printed(ISDN::prcause_1tr6, {static_cast<unsigned char>(0x80 | c.value)}), expected);
  }
  struct Tag {
    unsigned char tag;
    const char* name;
  };
  const Tag tags[] = {
      {0x82, "Continuation"},         {0x83, "Called address"},        {0x84, "Cause"},
      {0x85, "Progress indicator"},   {0x86, "Notification indicator"}, {0x87, "Prompt"},
      {0x88, "Accumlated digits"},    {0x89, "Status"},                {0x8A, "Inband"},
      {0x8B, "Calling address"},      {0x8C, "Reason"},                {0x8D, "Calling party name"},
      {0x8E, "Called party name"},    {0x8F, "Orignal called name"},   {0x90, "Redirecting name"},
      {0x91, "Connected name"},       {0x92, "Originating restrictions"}, {0x93, "Date & time of day"},
      {0x94, "Call Appearance ID"},   {0x95, "Feature address"},       {0x96, "Redirection name"},
      {0x9E, "Text"},
  };
  for (const Tag& t : tags)
    EXPECT_EQ(printed(ISDN::disptext_ni1, {0x80, t.tag, 0x01, 'q'}), "    " + std::string(t.name) + ": q\n");
}

}  // namespace
