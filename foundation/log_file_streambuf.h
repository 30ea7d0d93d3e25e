#pragma once
// A stream buffer that writes hourly log files "<dir>/%Y_%m_%d-%H.log", each
// line prefixed with the minute, second and microseconds of the flush that
// wrote it ("mm:ss:uuuuu: "). The file changes with the first flush of a new
// hour; an existing file of the hour is appended to. Something other than a
// regular file at the hour's name is not written to: that hour's lines are
// lost.
#include <ext/stdio_filebuf.h>
#include <memory>
#include <streambuf>
#include <string>

class LogFileStreamBuf : public std::streambuf {
public:
  explicit LogFileStreamBuf(const std::string& directory);
  ~LogFileStreamBuf() override;
  LogFileStreamBuf(const LogFileStreamBuf&) = delete;
  LogFileStreamBuf& operator=(const LogFileStreamBuf&) = delete;

  // Opens the file of the current hour.
  void NewFile();

protected:
  // Takes ownership of a buffer from new[]; sizes below 2 are ignored.
  std::streambuf* setbuf(char* buffer, std::streamsize size) override;
  int sync() override;
  int overflow(int c) override;

private:
  void open(const struct tm& local);
  void put(const char* text, size_t length);
  void flush();

  char* area_;
  std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> file_;  // null while no file is open
  std::string directory_;
  int hour_;
  bool lineOpen_;
};
