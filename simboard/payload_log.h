#pragma once
// A file of "<session> <hex bytes>" lines, one for each payload the daemon
// writes to a session, appended as it comes: a write costs its own line
// whatever the number of sessions or payloads so far. The file is a
// RecordFile (simboard/record_file.h): it and "<path>.old" hold the latest
// lines, between `limit` bytes and twice that.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "simboard/record_file.h"
#include "simboard/wire.h"

namespace SimBoard {

class PayloadLog {
public:
  explicit PayloadLog(std::string path, size_t limit = 64 * 1024) : file_(std::move(path), limit) {}

  void add(uint64_t session, const Bytes& payload);

private:
  RecordFile file_;
};

}  // namespace SimBoard
