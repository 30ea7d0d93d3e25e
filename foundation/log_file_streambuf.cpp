#include "foundation/log_file_streambuf.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>

#include "foundation/mux_time.h"
#include "foundation/regular_file.h"

namespace {

bool localNow(Mux::timeval& tv, tm& local) {
  Mux::mux_gettimeofday(tv);
  time_t seconds = tv.tv_sec;
  return localtime_r(&seconds, &local) != nullptr;
}

}  // namespace

LogFileStreamBuf::LogFileStreamBuf(const std::string& directory)
    : area_(nullptr), directory_(directory), hour_(-1), lineOpen_(false) {
  setbuf(new char[16], 16);
  NewFile();
}

LogFileStreamBuf::~LogFileStreamBuf() {
  sync();
  delete[] area_;
}

void LogFileStreamBuf::NewFile() {
  file_.reset();
  Mux::timeval tv;
  tm local;
  if (localNow(tv, local))
    open(local);
}

void LogFileStreamBuf::open(const tm& local) {
  file_.reset();
  hour_ = local.tm_hour;
  char name[64];
  std::strftime(name, sizeof name, "%Y_%m_%d-%H", &local);
  // Appending keeps what an earlier run wrote in the same hour.
  Fd fd = OpenRegularFile(directory_ + "/" + name + ".log", O_WRONLY | O_CREAT | O_APPEND);
  if (fd)
    file_.reset(new __gnu_cxx::stdio_filebuf<char>(fd.release(), std::ios::out | std::ios::app));
}

void LogFileStreamBuf::put(const char* text, size_t length) {
  if (file_)
    file_->sputn(text, static_cast<std::streamsize>(length));
}

void LogFileStreamBuf::flush() {
  if (file_)
    file_->pubsync();
}

std::streambuf* LogFileStreamBuf::setbuf(char* buffer, std::streamsize size) {
  if (size < 2)
    return this;
  sync();
  delete[] area_;
  area_ = buffer;
  setp(area_, area_ + size);
  return this;
}

int LogFileStreamBuf::sync() {
  if (!area_)
    return 0;
  const char* text = pbase();
  const char* end = pptr();
  setp(area_, epptr());

  if (lineOpen_) {
    const char* lineEnd = static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(end - text)));
    if (!lineEnd) {
      put(text, static_cast<size_t>(end - text));
      flush();
      return 0;
    }
    put(text, static_cast<size_t>(lineEnd + 1 - text));
    text = lineEnd + 1;
    lineOpen_ = false;
  }

  Mux::timeval tv = {0, 0};
  tm local = {};
  if (localNow(tv, local) && local.tm_hour != hour_)
    open(local);

  char prefix[32];
  const int prefixLength = std::snprintf(prefix, sizeof prefix, "%02d:%02d:%05ld: ", local.tm_min, local.tm_sec,
                                         static_cast<long>(tv.tv_usec));
  while (text < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(end - text)));
    const char* pieceEnd = lineEnd ? lineEnd + 1 : end;
    put(prefix, static_cast<size_t>(prefixLength));
    put(text, static_cast<size_t>(pieceEnd - text));
    if (!lineEnd)
      lineOpen_ = true;
    text = pieceEnd;
  }
  flush();
  return 0;
}

int LogFileStreamBuf::overflow(int c) {
  sync();
  if (c == traits_type::eof())
    return traits_type::not_eof(c);
  return sputc(static_cast<char>(c));
}
