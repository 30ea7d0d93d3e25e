#include "simboard/payload_log.h"

#include <cstdio>

namespace SimBoard {

PayloadLog::PayloadLog(std::string path, std::function<bool(uint64_t)> open, size_t kept, size_t slack)
    : path_(std::move(path)), open_(std::move(open)), kept_(kept), slack_(slack), keptBytes_(0), fileBytes_(0) {}

void PayloadLog::add(uint64_t session, const Bytes& payload) {
  std::string line = std::to_string(session) + ' ' + as_hex(payload) + '\n';
  std::deque<std::string>& lines = lines_[session];
  lines.push_back(line);
  keptBytes_ += line.size();
  if (lines.size() > kept_) {
    keptBytes_ -= lines.front().size();
    lines.pop_front();
  }
  fileBytes_ += line.size();
  if (fileBytes_ > slack_ && fileBytes_ > 2 * keptBytes_) {
    rewrite();
    return;
  }
  if (!out_.is_open())
    out_.open(path_, std::ios::app);
  out_ << line << std::flush;
}

void PayloadLog::rewrite() {
  std::string text;
  for (auto it = lines_.begin(); it != lines_.end();) {
    if (!open_(it->first)) {
      it = lines_.erase(it);
      continue;
    }
    for (const std::string& line : it->second)
      text += line;
    ++it;
  }
  keptBytes_ = fileBytes_ = text.size();
  out_.close();
  std::ofstream(path_ + ".new") << text;
  std::rename((path_ + ".new").c_str(), path_.c_str());
}

}  // namespace SimBoard
