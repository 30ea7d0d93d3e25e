#include "foundation/syslog_streambuf.h"

#include <cstring>
#include <syslog.h>

#include "foundation/syslog_client.h"

SysLogStreamBuf::SysLogStreamBuf(int facility, int priority) : area_(nullptr), pri_(facility * 8 + priority) {
  setbuf(new char[1024], 1024);
}

SysLogStreamBuf::~SysLogStreamBuf() { delete[] area_; }

std::streambuf* SysLogStreamBuf::setbuf(char* buffer, std::streamsize size) {
  if (size < 2)
    return this;
  sync();
  delete[] area_;
  area_ = buffer;
  setp(area_, area_ + size - 1);
  return this;
}

int SysLogStreamBuf::sync() {
  if (!area_)
    return 0;
  *pptr() = '\0';
  char* text = pbase();
  if (!std::strchr(text, '\n')) {
    if (pptr() != epptr())
      return 0;  // a partial line waits for its end
    log_line(text);
  } else {
    for (char* end; (end = std::strchr(text, '\n')) != nullptr; text = end + 1) {
      *end = '\0';
      log_line(text);
    }
    if (*text)
      log_line(text);
  }
  end_of_flush();
  setp(area_, epptr());
  return 0;
}

int SysLogStreamBuf::overflow(int c) {
  sync();
  if (c == traits_type::eof())
    return traits_type::not_eof(c);
  return sputc(static_cast<char>(c));
}

void SysLogStreamBuf::log_line(const char* line) { ::syslog(pri_, "%s", line); }

ManagedSysLogStreamBuf::ManagedSysLogStreamBuf(int facility, int priority) : SysLogStreamBuf(facility, priority) {
  setbuf(new char[kAreaSize], kAreaSize);
}

void ManagedSysLogStreamBuf::log_line(const char* line) { syslogManager.syslog(pri(), "%s", line); }

void ManagedSysLogStreamBuf::end_of_flush() { syslogManager.sendmsg(); }
