#pragma once
// A stream buffer that writes hourly log files "<dir>/%Y_%m_%d-%H.log", each
// line prefixed with the minute, second and microseconds of the flush that
// wrote it ("mm:ss:uuuuu: "). The file changes with the first flush of a new
// hour; an existing file of the hour is appended to.
#include <fstream>
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

  char* area_;
  std::filebuf file_;
  std::string directory_;
  int hour_;
  bool lineOpen_;
};
