// Text forms of the LEMZ radio signalling records, for traces, and the
// comparisons made on them.
#include "rtp/sig_proto.h"

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Appends formatted lines to a buffer, cutting what does not fit.
class Text {
public:
  Text(char* buffer, size_t size) : buffer_(buffer), size_(size) { std::memset(buffer, 0, size); }

  __attribute__((format(printf, 2, 3))) void line(const char* format, ...) {
    if (used_ + 1 >= size_)
      return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer_ + used_, size_ - used_, format, args);
    va_end(args);
    if (n > 0)
      used_ += static_cast<size_t>(n) < size_ - used_ ? static_cast<size_t>(n) : size_ - used_ - 1;
  }

  int length() const { return static_cast<int>(used_); }

private:
  char* buffer_;
  size_t size_;
  size_t used_ = 0;
};

void printCallerId(Text& t, const char* label, const char* id, uint8_t n) {
  t.line("%s : \n", label);
  for (int i = 0; i < n; ++i)
    t.line("[%d] : 0x%02X,\n", i, static_cast<unsigned char>(id[i]));
}

const char* dotted(in_addr a, char (&text)[INET_ADDRSTRLEN]) {
  if (!inet_ntop(AF_INET, &a, text, sizeof text))
    text[0] = '\0';
  return text;
}

// The type line, the flags and, unless only the flags are asked for,
// priority and status; false when the payload lines are not wanted.
bool printBase(Text& t, const sig_proto& r, int mode) {
  if (mode & SIG_PROTO_PRINT_TYPE_NAME) {
    const char* name = sig_proto_find_name_by_id(sig_proto_packet_const_name, static_cast<int>(r.type));
    if (name)
      t.line("type      : %s,\n", name);
    else
      t.line("type      : 0x%08lX,\n", static_cast<unsigned long>(r.type));
  } else if (mode & SIG_PROTO_PRINT_TYPE_HEX) {
    t.line("type      : 0x%08lX,\n", static_cast<unsigned long>(r.type));
  }
  auto lu = [](uint32_t v) { return static_cast<unsigned long>(v); };
  t.line("flag_t   : %lu,\n", lu(r.flag_t));
  t.line("flag_p   : %lu,\n", lu(r.flag_p));
  t.line("flag_r   : %lu,\n", lu(r.flag_r));
  t.line("flag_s   : %lu,\n", lu(r.flag_s));
  t.line("flag_b   : %lu,\n", lu(r.flag_b));
  t.line("flag_rv  : %lu,\n", lu(r.flag_rv));
  t.line("flag_sh  : %lu,\n", lu(r.flag_sh));
  t.line("flag_rs  : %lu,\n", lu(r.flag_rs));
  t.line("flag_pw  : %lu,\n", lu(r.flag_pw));
  t.line("flag_c   : %lu,\n", lu(r.flag_c));
  if (mode & SIG_PROTO_PRINT_FLAGS_ONLY)
    return false;
  t.line("priority : %lu,\n", static_cast<unsigned long>(r.priority));
  t.line("status   : %lu,\n", static_cast<unsigned long>(r.status));
  return true;
}

void sprintf_base(Text&, const sig_proto&) {}

void sprintf_gw_adjust_chan(Text& t, const sig_proto& r) {
  t.line("gw_adjust_chan.id   : %lu,\n", static_cast<unsigned long>(r.gw_adjust_chan.id));
  t.line("gw_adjust_chan.freq : %4.4f,\n", static_cast<double>(r.gw_adjust_chan.freq));
}

void sprintf_gw_selcall(Text& t, const sig_proto& r) {
  t.line("gw_sel_call.callerID_length: %d,\n", r.gw_sel_call.callerID_length);
  printCallerId(t, "gw_sel_call.callerID", r.gw_sel_call.callerID, r.gw_sel_call.callerID_length);
}

void sprintf_gw_select_rc_chan(Text& t, const sig_proto& r) {
  t.line("gw_select_rc_chan.interface : %d,\n", r.gw_select_rc_chan.interface);
  t.line("gw_select_rc_chan.channel   : %d,\n", r.gw_select_rc_chan.channel);
}

void sprintf_gw_adjust_squelsh(Text& t, const sig_proto& r) {
  t.line("gw_adjust_squelsh.squelsh   : %d,\n", r.gw_adjust_squelsh.squelsh);
}

void sprintf_gw_adjust_rte(Text& t, const sig_proto& r) { t.line("gw_adjust_rte.rte   : %d,\n", r.gw_adjust_rte.rte); }

void sprintf_gw_adjust_standby(Text& t, const sig_proto& r) {
  t.line("gw_adjust_standby.state   : %d,\n", r.gw_adjust_standby.state);
}

void sprintf_wm_trans(Text& t, const sig_proto& r) {
  char addr[INET_ADDRSTRLEN];
  t.line("wm_trans.session_addr : %s,\n", dotted(r.wm_trans.session_addr, addr));
  t.line("wm_trans.ssrc         : 0x%08lX,\n", static_cast<unsigned long>(r.wm_trans.ssrc));
}

void sprintf_wm_radio_qulity(Text& t, const sig_proto& r) {
  t.line("wm_radio_quality.radio_quality : %4.5f,\n", static_cast<double>(r.wm_radio_quality.radio_quality));
}

void sprintf_wm_chan(Text& t, const sig_proto& r) {
  t.line("wm_chan.id   : %lu,\n", static_cast<unsigned long>(r.wm_chan.id));
  t.line("wm_chan.freq : %4.4f,\n", static_cast<double>(r.wm_chan.freq));
  t.line("wm_chan.squelsh : %d,\n", r.wm_chan.squelsh);
  t.line("wm_chan.rte     : %d,\n", r.wm_chan.rte);
}

void sprintf_wm_selcall(Text& t, const sig_proto& r) {
  const sig_proto_wm_sel_call_trans& s = r.wm_sel_call_trans;
  char addr[INET_ADDRSTRLEN];
  t.line("wm_sel_call_trans.session_addr : %s,\n", dotted(s.session_addr, addr));
  t.line("wm_sel_call_trans.ssrc         : 0x%08lX,\n", static_cast<unsigned long>(s.ssrc));
  t.line("wm_sel_call_trans.callerID_length: %d,\n", s.callerID_length);
  printCallerId(t, "wm_sel_call_trans.callerID", s.callerID, s.callerID_length);
}

void sprintf_wm_select_rc_chan(Text& t, const sig_proto& r) {
  t.line("wm_select_rc_chan.interface : %d,\n", r.wm_select_rc_chan.interface);
  t.line("wm_select_rc_chan.channel   : %d,\n", r.wm_select_rc_chan.channel);
}

void sprintf_wm_standby(Text& t, const sig_proto& r) {
  t.line("wm_standby.state           : %d,\n", r.wm_standby.state);
  t.line("wm_standby.group           : %d,\n", r.wm_standby.group);
  t.line("wm_standby.receiver_state  : %d,\n", r.wm_standby.receiver_state);
}

const struct {
  uint32_t type;
  void (*print)(Text&, const sig_proto&);
} sig_proto_sprintf_table[] = {
    {0, sprintf_base},
    {SIG_PROTO_GW_FLAG, sprintf_base},
    {SIG_PROTO_GW_ADJUST_CHAN, sprintf_gw_adjust_chan},
    {SIG_PROTO_GW_FLAG_PTT, sprintf_base},
    {SIG_PROTO_GW_FLAG_BSS, sprintf_base},
    {SIG_PROTO_GW_FLAG_RV, sprintf_base},
    {SIG_PROTO_GW_FLAG_SH, sprintf_base},
    {SIG_PROTO_GW_FLAG_PW, sprintf_base},
    {SIG_PROTO_GW_FLAG_RS, sprintf_base},
    {SIG_PROTO_GW_SEL_CALL, sprintf_gw_selcall},
    {SIG_PROTO_GW_SELECT_RC_CHAN, sprintf_gw_select_rc_chan},
    {SIG_PROTO_GW_ADJUST_SQUELSHE, sprintf_gw_adjust_squelsh},
    {SIG_PROTO_GW_ADJUST_RTE, sprintf_gw_adjust_rte},
    {SIG_PROTO_GW_ADJUST_STANDBY, sprintf_gw_adjust_standby},
    {SIG_PROTO_WM_FLAG, sprintf_base},
    {SIG_PROTO_WM_TRANS, sprintf_wm_trans},
    {SIG_PROTO_WM_RADIO_QUALITY, sprintf_wm_radio_qulity},
    {SIG_PROTO_WM_CHAN, sprintf_wm_chan},
    {SIG_PROTO_WM_SEL_CALL_TRANS, sprintf_wm_selcall},
    {SIG_PROTO_WM_SELECT_RC_CHAN, sprintf_wm_select_rc_chan},
    {SIG_PROTO_WM_STANDBY, sprintf_wm_standby},
};

}  // namespace

int sprintf_sig_proto(char* buffer, size_t size, const sig_proto* record, int mode) {
  if (!buffer || !record || size < 1)
    return 0;
  for (const auto& entry : sig_proto_sprintf_table) {
    if (entry.type != record->type)
      continue;
    Text text(buffer, size);
    if (printBase(text, *record, mode))
      entry.print(text, *record);
    return text.length();
  }
  return 0;
}

namespace {

int comparePrinted(const sig_proto* a, const sig_proto* b, int mode) {
  if (!a || !b)
    return -1;
  constexpr size_t TextSize = 8192;
  // A type without a printer leaves its text untouched: empty, not what
  // the stack held.
  char ta[TextSize];
  char tb[TextSize];
  ta[0] = tb[0] = '\0';
  int la = sprintf_sig_proto(ta, TextSize, a, mode);
  int lb = sprintf_sig_proto(tb, TextSize, b, mode);
  if (la != lb)
    return lb - la;
  return std::strncmp(ta, tb, TextSize);
}

}  // namespace

int cmp_sig_proto(const sig_proto* a, const sig_proto* b) { return comparePrinted(a, b, SIG_PROTO_PRINT_TYPE_HEX); }

int cmp_sig_proto_flags(const sig_proto* a, const sig_proto* b) {
  return comparePrinted(a, b, SIG_PROTO_PRINT_FLAGS_ONLY);
}
