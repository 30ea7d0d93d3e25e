#include "hardware/rtp_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <iostream>

RtpErr::RtpErr(int code) : errno_(errno), code_(code) {}

void RtpErr::Put(std::ostream& out) const { out << strerror(errno_); }

std::ostream& operator<<(std::ostream& out, const RtpErr& err) {
  err.Put(out);
  return out;
}

const char* RTPStrError(int code) {
  static const struct {
    int code;
    const char* text;
  } texts[] = {
      {0, "No error"},
      {0x3000002, "Parameter out of range"},
      {0x3000004, "Memory allocation failed"},
      {0x3000008, "Allocated buffer too small"},
      {0x3000101, "Maximum number of contexts exceeded"},
      {0x3000102, "Context destroyed or never created"},
      {0x3000103, "Socket not open for reading or writing"},
      {0x3000104, "Can't obtain a new socket"},
      {0x3000105, "Can't bind socket"},
      {0x3000106, "Unable to set socket option"},
      {0x3000107, "Unable to write to socket"},
      {0x3000108, "Unable to read from socket"},
      {0x3000109, "Socket does not belong to session"},
      {0x300010a, "Change not allowed during open session"},
      {0x300010b, "Invalid address specified"},
      {0x300010c, "Invalid port specified"},
      {0x300010e, "Unable to close session"},
      {0x300010f, "No such membership info"},
      {0x3000110, "Invalid rtpprofile specified"},
      {0x3000111, "no data to receive at socket"},
      {0x3000112, "Packet looped back"},
      {0x3000113, "CSRC list not yet set"},
      {0x3000114, "2 CSRCs on list have same SSRC"},
      {0x3000115, "Packet has incorrect format"},
      {0x3000116, "Person not session member"},
      {0x3000117, "Person data protected"},
      {0x3000118, "No such sender in current session"},
      {0x3000119, "No such SDES field"},
      {0x300011a, "Encryption / decryption function not set"},
      {0x300011b, "Packet was unsuccessfully decrypted"},
      {0x300011c, "End of iterating list"},
      {0x300011d, "Not allowed to recurse"},
      {0x300011e, "SSRC in use"},
      {0x300011f, "Couldn't get socket name"},
      {0x3000120, "No such contributor"},
      {0x3000121, "CSRC list full"},
      {0x3000122, "Don't send this packet now"},
  };
  for (const auto& t : texts)
    if (t.code == code)
      return t.text;
  static char unknown[64];
  snprintf(unknown, sizeof unknown, "Unknown RTP Error %d", code);
  return unknown;
}

namespace {

// "  name\n  {\n" fields "  }\n": every line indented by two blanks.
class Block {
public:
  Block(std::ostream& out, const char* name) : out_(out) { out_ << "  " << name << "\n  {\n"; }
  ~Block() { out_ << "  }\n"; }
  template <class T>
  Block& field(const char* label, T value) {
    out_ << "  " << label << value << "\n";
    return *this;
  }

private:
  std::ostream& out_;
};

}  // namespace

std::ostream& operator<<(std::ostream& out, const rtp_connection_params& p) {
  Block(out, "rtp_connection_params")
      .field(" packet_factor = ", uint16_t(p.packet_factor))
      .field(" rx_pt = ", uint16_t(p.rx_pt))
      .field(" tx_pt = ", uint16_t(p.tx_pt))
      .field(" ssrc = ", uint32_t(p.ssrc));
  return out;
}

std::ostream& operator<<(std::ostream& out, const rtp_attach_session_params& p) {
  Block(out, "rtp_attach_session_params").field(" fd_rtp = ", int32_t(p.fd_rtp)).field(" pid_rtp = ", int32_t(p.pid_rtp));
  return out;
}

std::ostream& operator<<(std::ostream& out, const rtp_ext_attach_session_params& p) {
  Block(out, "rtp_ext_attach_session_params")
      .field(" fd_rtp = ", int32_t(p.fd_rtp))
      .field(" pid_rtp = ", int32_t(p.pid_rtp));
  return out;
}

std::ostream& operator<<(std::ostream& out, const rtp_ext_init_params& p) {
  Block(out, "rtp_ext_init_params").field(" etype = ", uint16_t(p.etype));
  return out;
}

std::ostream& operator<<(std::ostream& out, const rtp_channel_info& p) {
  return out << "rtp_channel_info" << " {" << " tdm=" << int32_t(p.tdm) << " dev_no=" << int32_t(p.dev_no)
             << " chn=" << int32_t(p.chn) << " }";
}

void print_trace() {
  void* frames[10];
  int count = backtrace(frames, 10);
  char** symbols = backtrace_symbols(frames, count);
  char line[64];
  snprintf(line, sizeof line, "Obtained %zd stack frames.\n", static_cast<ssize_t>(count));
  std::cout << line;
  for (int i = 0; symbols && i < count; ++i)
    std::cout << symbols[i] << "\n";
  std::cout.flush();
  free(symbols);
}
