#pragma once
// A text file of "<session> <hex bytes>" lines, one for each payload the
// daemon writes to a session, appended as it comes: a write costs the same
// whatever the number of sessions. Once the appended lines outgrow both the
// slack and twice what is kept (the last `kept` payloads of each session),
// the file is rewritten with the kept lines of the sessions still open.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "simboard/wire.h"

namespace SimBoard {

class PayloadLog {
public:
  // open(session) tells whether a session is still open (asked on rewriting).
  PayloadLog(std::string path, std::function<bool(uint64_t)> open, size_t kept = 8, size_t slack = 64 * 1024);

  void add(uint64_t session, const Bytes& payload);

private:
  void rewrite();

  std::string path_;
  std::function<bool(uint64_t)> open_;
  size_t kept_, slack_;
  std::map<uint64_t, std::deque<std::string>> lines_;  // the kept lines, by session
  size_t keptBytes_;
  size_t fileBytes_;
  std::ofstream out_;
};

}  // namespace SimBoard
