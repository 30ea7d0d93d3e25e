#pragma once
// Captures what is written to std::cout, std::cerr and std::clog while alive.
#include <iostream>
#include <sstream>
#include <string>

namespace testing_support {

class LogCapture {
public:
  LogCapture() : out_(std::cout.rdbuf(outBuf_.rdbuf())), err_(std::cerr.rdbuf(errBuf_.rdbuf())),
                 log_(std::clog.rdbuf(logBuf_.rdbuf())) {}
  ~LogCapture() {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
    std::clog.rdbuf(log_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string out() const { return outBuf_.str(); }
  std::string err() const { return errBuf_.str(); }
  std::string log() const { return logBuf_.str(); }
  void clear() {
    outBuf_.str(std::string());
    errBuf_.str(std::string());
    logBuf_.str(std::string());
  }

private:
  std::ostringstream outBuf_, errBuf_, logBuf_;
  std::streambuf* out_;
  std::streambuf* err_;
  std::streambuf* log_;
};

}  // namespace testing_support
