#include "signalling/frame_printer.h"

#include <cstdarg>
#include <cstdio>

namespace ISDN {

TextOut::TextOut(char* buffer, size_t size) : buffer_(buffer), size_(size), used_(0) {
  if (size_)
    buffer_[0] = 0;
}

int TextOut::print(const char* format, ...) {
  if (used_ + 1 >= size_)
    return 0;
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer_ + used_, size_ - used_, format, args);
  va_end(args);
  if (n <= 0)
    return 0;
  size_t room = size_ - used_ - 1;
  size_t written = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
  used_ += written;
  return static_cast<int>(written);
}

int TextOut::put(char c) {
  if (used_ + 1 >= size_)
    return 0;
  buffer_[used_++] = c;
  buffer_[used_] = 0;
  return 1;
}

namespace {

template <class Row, size_t N>
const Row* find(const Row (&table)[N], unsigned char key) {
  for (const Row& row : table)
    if (row.id == key)
      return &row;
  return nullptr;
}

const char* message_name(unsigned char type) {
  for (const MessageTypeName& row : mtlist)
    if (row.type == type)
      return row.name;
  return nullptr;
}

const char* cause_name(unsigned char value) {
  for (const CauseText& row : cvlist)
    if (row.value == value)
      return row.english;
  return nullptr;
}

// Octets as characters; control octets would break the trace line.
int chars(TextOut& out, const unsigned char* p, const unsigned char* end) {
  int n = 0;
  for (; p < end; ++p)
    n += out.put(*p >= 0x20 && *p < 0x7F ? static_cast<char>(*p) : '.');
  return n;
}

int bits_line(TextOut& out, const char* label, unsigned char octet) {
  int n = out.print("%s", label);
  n += printbits(out, octet, 8, 8);
  return n + out.put('\n');
}

const unsigned char* end_of(const Element& e) { return e.content + e.available; }

int coding_location(TextOut& out, unsigned char octet) {
  int n = out.print("    coding ");
  n += printbits(out, octet, 7, 2);
  n += out.print(" location ");
  return n + printbits(out, octet, 4, 4);
}

// The call reference and message type line; the position of the first
// element, or null when the frame ends first.
const unsigned char* message_header(TextOut& out, const unsigned char* m, const unsigned char* end) {
  const unsigned char* p = m + 1;
  if (p >= end)
    return nullptr;
  unsigned crlen = *p++;
  if (crlen >= static_cast<unsigned>(end - p))
    return nullptr;  // no room for the reference and the message type
  unsigned value = 0;
  bool called = false;
  if (crlen) {
    called = p[0] & 0x80;
    value = p[0] & 0x7F;
    for (unsigned i = 1; i < crlen && i < 4; ++i)
      value = value << 8 | p[i];
  }
  p += crlen;
  unsigned char type = *p++;
  int size = static_cast<int>(end - m);
  if (const char* name = message_name(type))
    out.print("callref %d %s size %d message type %s\n", static_cast<int>(value), called ? "called" : "caller", size,
              name);
  else
    out.print("callref %d %s size %d unknown message type %x!\n", static_cast<int>(value), called ? "called" : "caller",
              size, type);
  return p;
}

void elements(TextOut& out, const unsigned char* p, const unsigned char* end) {
  while (p < end) {
    unsigned char c = *p;
    if (c >= 0x80) {
      switch ((c >> 4) & 7) {
      case 2:
        if (c == 0xA0)
          out.print("  More data\n");
        else if (c == 0xA1)
          out.print("  Sending complete\n");
        break;
      case 1:
        out.print("  Shift %x\n", c & 0x0F);
        break;
      case 3:
        out.print("  Congestion level %x\n", c & 0x0F);
        break;
      case 5:
        out.print("  Repeat indicator %x\n", c & 0x0F);
        break;
      default:
        out.print("  Reserved %x\n", c);
        break;
      }
      ++p;
      continue;
    }
    size_t left = static_cast<size_t>(end - p);
    Element e;
    e.id = c;
    e.length = left > 1 ? p[1] : 0;
    e.content = p + (left > 1 ? 2 : 1);
    size_t room = static_cast<size_t>(end - e.content);
    e.available = e.length < room ? e.length : static_cast<unsigned>(room);
    if (const ElementName* row = find(ielist, c)) {
      out.print("  %s\n", row->name);
      row->printer(out, e);
    } else {
      out.print("  attribute %x attribute size %d\n", c, e.length);
    }
    size_t skip = 2 + static_cast<size_t>(e.length);
    p = skip < left ? p + skip : end;
  }
}

}  // namespace

int printbits(TextOut& out, unsigned char octet, int bit, int count) {
  int n = 0;
  for (int b = bit; b > bit - count && b >= 1; --b)
    n += out.put((octet >> (b - 1)) & 1 ? '1' : '0');
  return n;
}

const unsigned char* skipext(const unsigned char* p, const unsigned char* end) {
  while (p < end)
    if (*p++ & 0x80)
      return p;
  return end;
}

int QuickHex(char* buffer, size_t size, const unsigned char* data, size_t len) {
  TextOut out(buffer, size);
  for (size_t i = 0; i < len; ++i)
    out.print(" %02X", data[i]);
  return static_cast<int>(out.length()) + 1;
}

int general(TextOut& out, const Element& e) {
  int n = 0;
  int number = 3;
  char letter = ' ';
  for (unsigned i = 0; i < e.available; ++i) {
    unsigned char octet = e.content[i];
    n += out.print("    octet %d%c ", number, letter);
    n += printbits(out, octet, 8, 8);
    n += out.put('\n');
    if (octet & 0x80) {
      ++number;
      letter = ' ';
    } else {
      letter = letter == ' ' ? 'a' : static_cast<char>(letter + 1);
    }
  }
  return n;
}

int general_ni1(TextOut& out, const Element& e) { return general(out, e); }

int prchident(TextOut& out, const Element& e) {
  return e.available ? bits_line(out, "    octet 3 ", e.content[0]) : 0;
}

int prcalled(TextOut& out, const Element& e) {
  if (!e.available)
    return 0;
  int n = bits_line(out, "    octet 3 ", e.content[0]);
  n += out.print("    number digits ");
  n += chars(out, e.content + 1, end_of(e));
  return n + out.put('\n');
}

int prcalling(TextOut& out, const Element& e) {
  if (!e.available)
    return 0;
  int n = bits_line(out, "    octet 3 ", e.content[0]);
  const unsigned char* digits = e.content + 1;
  if (!(e.content[0] & 0x80) && e.available > 1) {
    n += bits_line(out, "    octet 3a ", e.content[1]);
    ++digits;
  }
  n += out.print("    number digits ");
  n += chars(out, digits, end_of(e));
  return n + out.put('\n');
}

int prbearer(TextOut& out, const Element& e) {
  const unsigned char* p = e.content;
  const unsigned char* end = end_of(e);
  int n = 0;
  if (p < end)
    n += bits_line(out, "    octet 3  ", *p++);
  if (p >= end)
    return n;
  unsigned char octet4 = *p++;
  n += bits_line(out, "    octet 4  ", octet4);
  if ((octet4 & 0x1F) == 0x18 && p < end)
    n += bits_line(out, "    octet 4.1 ", *p++);
  if (p < end && ((*p >> 5) & 3) == 1) {
    char letter = ' ';
    while (p < end) {
      unsigned char octet = *p++;
      n += out.print("    octet 5%c ", letter);
      n += printbits(out, octet, 8, 8);
      n += out.put('\n');
      if (octet & 0x80)
        break;
      letter = letter == ' ' ? 'a' : static_cast<char>(letter + 1);
    }
  }
  if (p < end && ((*p >> 5) & 3) == 2)
    n += bits_line(out, "    octet 6  ", *p++);
  if (p < end && ((*p >> 5) & 3) == 3)
    n += bits_line(out, "    octet 7  ", *p++);
  return n;
}

int prbearer_ni1(TextOut& out, const Element& e) {
  int n = 0;
  if (e.available < 1)
    return n;
  unsigned char octet = e.content[0];
  n += out.print("    octet 3  ");
  n += printbits(out, octet, 8, 8);
  n += out.print(octet == 0x80   ? " Speech\n"
                 : octet == 0x88 ? " Unrestricted digital information\n"
                 : octet == 0x90 ? " 3.1 kHz audio\n"
                                 : " Unknown information-transfer capability\n");
  if (e.available < 2)
    return n;
  octet = e.content[1];
  n += out.print("    octet 4  ");
  n += printbits(out, octet, 8, 8);
  n += out.print(octet == 0x90 ? " 64 kbps, circuit mode\n" : octet == 0xC0 ? " Packet mode\n" : " Unknown transfer mode\n");
  if (e.available < 3)
    return n;
  octet = e.content[2];
  n += out.print("    octet 5  ");
  n += printbits(out, octet, 8, 8);
  if (octet == 0xA2) {
    n += out.print(" u-law\n");
  } else if (octet == 0x21) {
    n += out.print(" Rate adaption\n");
    if (e.available > 3)
      n += bits_line(out, "    octet 5a ", e.content[3]);
  } else {
    n += out.print(" Unknown UI layer 1 protocol\n");
  }
  return n;
}

int prcause(TextOut& out, const Element& e) {
  if (!e.available)
    return 0;
  const unsigned char* end = end_of(e);
  int n = coding_location(out, e.content[0]);
  const unsigned char* p = skipext(e.content, end);
  if (p >= end)
    return n + out.put('\n');
  unsigned char value = *p++ & 0x7F;
  if (const char* text = cause_name(value))
    n += out.print("  cause value %x : %s \n", value, text);
  else
    n += out.print("Unknown cause type %x!\n", value);
  while (p < end) {
    n += out.print("    diag attribute %d ", *p++ & 0x7F);
    if (p >= end)
      return n + out.put('\n');
    unsigned char rejected = *p++;
    n += out.print(" rej %d ", rejected & 0x7F);
    if ((rejected & 0x80) || p >= end)
      return n + out.put('\n');
    n += out.print(" av %d\n", *p++ & 0x7F);
  }
  return n;
}

int prcause_1tr6(TextOut& out, const Element& e) {
  if (!e.available)
    return out.print("   OK (cause length=0)\n");
  int n = 0;
  if (e.available > 1) {
    n += coding_location(out, e.content[1]);
    n += out.put('\n');
  }
  unsigned char value = e.content[0] & 0x7F;
  for (int i = 0; i < cause_1tr6_len; ++i)
    if (cause_1tr6[i].value == value)
      return n + out.print("  cause value %x : %s \n", value, cause_1tr6[i].text);
  return n + out.print("Unknown cause type %x!\n", value);
}

int prfacility(TextOut& out, const Element& e) {
  if (!e.available)
    return 0;
  const unsigned char* p = e.content;
  const unsigned char* end = end_of(e);
  int n = bits_line(out, "    octet 3 ", *p++);
  while (p < end) {
    n += bits_line(out, "   octet 4 ", *p++);
    if (p >= end)
      break;
    unsigned length = *p++ & 0x7F;
    n += out.print("   octet 5 %d\n", length);
    n += out.print("   contents ");
    for (unsigned i = 0; i < length && p < end; ++i)
      n += out.print("%2x ", *p++);
    n += out.put('\n');
  }
  return n;
}

int display(TextOut& out, const Element& e) {
  int n = out.print("   \"");
  n += chars(out, e.content, end_of(e));
  return n + out.print("\"\n");
}

int prtext(TextOut& out, const Element& e) {
  int n = out.print("    ");
  n += chars(out, e.content, end_of(e));
  return n + out.put('\n');
}

int prcharge(TextOut& out, const Element& e) {
  if (!e.available)
    return 0;
  int n = out.print("    GEA ");
  n += printbits(out, e.content[0], 8, 8);
  n += out.print("  Anzahl: ");
  n += chars(out, e.content + 1, end_of(e));
  return n + out.put('\n');
}

int prfeatureind(TextOut& out, const Element& e) {
  if (!e.available)
    return 0;
  unsigned char octet = e.content[0];
  int n = bits_line(out, "    octet 3  ", octet);
  if ((octet & 0x50) == 0 && e.available > 1) {
    octet = e.content[1];
    n += bits_line(out, "    octet 4  ", octet);
  }
  static const char* const status[] = {"Idle", "Active", "Prompt", "Pending"};
  unsigned value = octet & 0x0F;
  n += out.print("    Status:  %s\n", value < 4 ? status[value] : "(Reserved)");
  return n;
}

int disptext_ni1(TextOut& out, const Element& e) {
  if (!e.available || e.content[0] != 0x80)
    return out.print("    Unknown display type\n");
  const unsigned char* p = e.content + 1;
  const unsigned char* end = end_of(e);
  int n = 0;
  while (end - p >= 2) {
    unsigned char tag = *p++;
    unsigned length = *p++;
    const unsigned char* text_end = length < static_cast<unsigned>(end - p) ? p + length : end;
    if (tag != 0x80 && tag != 0x81) {
      const char* name = nullptr;
      for (const DisplayTag& row : dtaglist)
        if (row.tag == tag)
          name = row.name;
      n += name ? out.print("    %s: ", name) : out.print("    (unknown display tag %2x): ", tag);
      n += chars(out, p, text_end);
      n += out.put('\n');
    }
    p = text_end;
  }
  return n;
}

int dlogframe(const unsigned char* frame, size_t len, int direction, char* buffer, size_t size) {
  TextOut out(buffer, size);
  if (len < 3)
    return 0;
  for (size_t i = 0; i < len; ++i)
    out.print(" %02X", frame[i]);
  out.put('\n');
  out.print("frame %s ", direction ? "network->user" : "user->network");

  unsigned sapi = frame[0] >> 2;
  unsigned tei = frame[1] >> 1;
  unsigned char control = frame[2];
  size_t start;
  if (tei == 127) {
    if (sapi == 63) {
      out.print("tei management:\n");
      return static_cast<int>(out.length());
    }
    if (sapi != 0) {
      out.print("unknown sapi %d broadcast\n", sapi);
      return static_cast<int>(out.length());
    }
    if (control != 0x03) {
      out.print("no UI broadcast\n");
      return static_cast<int>(out.length());
    }
    out.print("broadcast\n");
    start = 3;
  } else if (sapi != 0) {
    out.print("unknown sapi = %d; tei = %d\n", sapi, tei);
    return static_cast<int>(out.length());
  } else if (control & 1) {
    out.print("SFrame tei = %d (", tei);
    for (size_t i = 2; i < len; ++i)
      out.print("%02X ", frame[i]);
    out.print(")\n");
    return static_cast<int>(out.length());
  } else {
    out.print("IFrame tei = %d\n", tei);
    start = 4;
  }

  const unsigned char* end = frame + len;
  if (start >= len) {
    out.print("frame too short\n");
    return static_cast<int>(out.length());
  }
  const unsigned char* message = frame + start;
  if (message[0] != 0x08) {
    out.print("Unknown protocol %x!", message[0]);
    return static_cast<int>(out.length());
  }
  const unsigned char* first = message_header(out, message, end);
  if (!first)
    out.print("frame too short\n");
  else
    elements(out, first, end);
  return static_cast<int>(out.length());
}

}  // namespace ISDN
