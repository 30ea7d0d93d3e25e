#pragma once
// Readable trace text of one LAPD frame and the Q.931 message it carries.
// Everything is written into the caller's buffer: reads stay within the
// frame, writes within the buffer (the text is cut short, never overrun),
// and nothing is allocated.
#include <cstddef>

namespace ISDN {

// Where the printers write: a fixed buffer that always holds a
// NUL-terminated text.
class TextOut {
public:
  TextOut(char* buffer, size_t size);

  // printf-style; returns the characters written (fewer when the buffer is full).
  int print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int put(char c);
  size_t length() const { return used_; }

private:
  char* buffer_;
  size_t size_;
  size_t used_;
};

// An information element as the printers see it: the identifier octet, the
// length octet as sent, and the content that is really there (octet 3 on).
struct Element {
  unsigned char id;
  unsigned length;
  const unsigned char* content;
  unsigned available;  // content octets inside the frame
};

typedef int (*ElementPrinter)(TextOut& out, const Element& e);

struct MessageTypeName {
  unsigned char type;
  const char* name;
};
struct CauseText {
  unsigned char value;
  const char* english;
  const char* german;
};
struct ElementName {
  unsigned char id;
  const char* name;
  ElementPrinter printer;
};
struct DisplayTag {
  unsigned char tag;
  const char* name;
};
struct Cause1TR6 {
  unsigned char value;
  const char* text;
};

// Q.931 tables used by the decoder.
extern const MessageTypeName mtlist[32];
extern const CauseText cvlist[67];
extern const ElementName ielist[33];
// The NI-1 and 1TR6 variants, printable on their own.
extern const ElementName ielist_ni1[21];
extern const ElementName ielist_ni1_cs5[2];
extern const ElementName ielist_ni1_cs6[1];
extern const DisplayTag dtaglist[22];
extern const ElementName we_0[10];
extern const ElementName we_6[7];
extern const Cause1TR6 cause_1tr6[26];
extern const int cause_1tr6_len;

// Writes the text of a frame of len octets; direction non-zero labels it
// "network->user". Frames under 3 octets give an empty text. Returns the
// length of the text.
int dlogframe(const unsigned char* frame, size_t len, int direction, char* buffer, size_t size);

// Element printers: the lines of one element, without a NUL.
int general(TextOut& out, const Element& e);
int general_ni1(TextOut& out, const Element& e);
int prbearer(TextOut& out, const Element& e);
int prbearer_ni1(TextOut& out, const Element& e);
int prcause(TextOut& out, const Element& e);
int prcause_1tr6(TextOut& out, const Element& e);
int prchident(TextOut& out, const Element& e);
int prcalled(TextOut& out, const Element& e);
int prcalling(TextOut& out, const Element& e);
int prcharge(TextOut& out, const Element& e);
int prtext(TextOut& out, const Element& e);
int prfeatureind(TextOut& out, const Element& e);
int disptext_ni1(TextOut& out, const Element& e);
int display(TextOut& out, const Element& e);
int prfacility(TextOut& out, const Element& e);

// count characters '1'/'0' for the bits of octet from bit `bit` (8 the
// most significant) downwards.
int printbits(TextOut& out, unsigned char octet, int bit, int count);
// The position after the first octet at or after p (and before end) whose
// bit 8 is set; end when there is none.
const unsigned char* skipext(const unsigned char* p, const unsigned char* end);
// A blank and two upper-case hex digits per octet; returns the length
// written including the NUL.
int QuickHex(char* buffer, size_t size, const unsigned char* data, size_t len);

}  // namespace ISDN
