#pragma once
// Diagnostic texts of the RTP driver's vocabulary: error codes, an error
// holder, printers of its records, and a stack trace printer.
#include <cstdint>
#include <ostream>

#include "hardware/rtp_records.h"

// An RTP error code with the system error number current at construction.
class RtpErr {
public:
  explicit RtpErr(int code);
  // Writes the system error text of the captured error number.
  void Put(std::ostream& out) const;

  int32_t error() const { return errno_; }
  int32_t code() const { return code_; }

private:
  int32_t errno_;
  int32_t code_;
};

std::ostream& operator<<(std::ostream& out, const RtpErr& err);

// The text of an RTP error code; unknown codes share one static buffer.
const char* RTPStrError(int code);

std::ostream& operator<<(std::ostream& out, const rtp_connection_params& p);
std::ostream& operator<<(std::ostream& out, const rtp_attach_session_params& p);
std::ostream& operator<<(std::ostream& out, const rtp_ext_attach_session_params& p);
std::ostream& operator<<(std::ostream& out, const rtp_ext_init_params& p);
std::ostream& operator<<(std::ostream& out, const rtp_channel_info& p);

// Prints a backtrace of at most 10 frames on standard output.
void print_trace();
