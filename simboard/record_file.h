#pragma once
// A file the simulator keeps for readers outside the process (tests, a
// person with cat) while the daemon's loop runs: each record (one or more
// whole lines) is appended with a single write(2) on a descriptor held open
// with O_APPEND, so a write costs the record and nothing more. No file is
// ever truncated, renamed over another or flushed: on ext4 the first two
// make the writing thread start a flush of the file, which waits on the
// disk. Once the file holds `limit` bytes the next record starts a new one:
// "<path>.old" is removed, the file renamed to it (replacing nothing) and a
// new one created, so both together hold the latest records: at most
// twice `limit` bytes, and more than `limit` once a file has filled.
//
// Readers read "<path>.old" then the file, whole lines only (a record being
// written may show in part), as read_lines() does. A file of snapshots
// (a state rewritten whole) ends each snapshot with an empty line; the
// last complete one is the state (read_snapshot()).
#include <cstddef>
#include <string>

#include "foundation/fd.h"

namespace SimBoard {

class RecordFile {
public:
  // Starts afresh: what an earlier run left at path (and "<path>.old") is
  // removed.
  explicit RecordFile(std::string path, size_t limit = 64 * 1024);

  void add(const std::string& record);
  // Appends a snapshot and the empty line that ends it.
  void add_snapshot(const std::string& snapshot) { add(snapshot + '\n'); }

  const std::string& path() const { return path_; }

private:
  void open();
  void rotate();

  std::string path_;
  size_t limit_;
  Fd fd_;
  size_t size_;     // bytes in the current file
  bool rotateNext_;  // a write came short: its line is left unended
};

// The rotated file's whole lines, then the current file's: every record
// once, also while the file is being rotated. Empty when neither exists.
std::string read_lines(const std::string& path);
// The last complete snapshot of a file of snapshots (without the empty
// line that ends it); empty when there is none yet.
std::string read_snapshot(const std::string& path);

}  // namespace SimBoard
