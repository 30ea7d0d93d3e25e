// The LAPD and Q.931 frame printer: texts for hand-built frames, and bounds
// on every read and write for any input.
#include <gtest/gtest.h>

#include <cstring>
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

}  // namespace
