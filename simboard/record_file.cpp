#include "simboard/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace SimBoard {

namespace {

std::string rotatedPath(const std::string& path) { return path + ".old"; }

// What the descriptor holds up to its last line end.
std::string wholeLines(const Fd& fd) {
  std::string text;
  if (!fd)
    return text;
  char buf[16384];
  ssize_t n;
  while ((n = ::read(fd.get(), buf, sizeof buf)) > 0)
    text.append(buf, static_cast<size_t>(n));
  size_t end = text.rfind('\n');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

// The path still names the file opened (or still names none).
bool stillNamed(const Fd& fd, const std::string& path) {
  struct stat named, opened;
  bool exists = ::stat(path.c_str(), &named) == 0;
  if (!fd)
    return !exists;
  return exists && ::fstat(fd.get(), &opened) == 0 && opened.st_ino == named.st_ino && opened.st_dev == named.st_dev;
}

// The whole lines of the rotated file and of the current one. A rotation
// between the two opens would pair the file rotated away with the new one:
// the rotated path then names another file, and both are opened again.
// Once both are open, a later rotation takes nothing from what they hold.
std::pair<std::string, std::string> readBoth(const std::string& path) {
  for (int tries = 0;; ++tries) {
    Fd older(::open(rotatedPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    Fd current(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (stillNamed(older, rotatedPath(path)) || tries == 100)
      return {wholeLines(older), wholeLines(current)};
  }
}

}  // namespace

RecordFile::RecordFile(std::string path, size_t limit)
    : path_(std::move(path)), limit_(limit), size_(0), rotateNext_(false) {
  ::unlink(rotatedPath(path_).c_str());
  ::unlink(path_.c_str());
  open();
}

void RecordFile::open() {
  fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  struct stat st;
  size_ = fd_ && ::fstat(fd_.get(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

void RecordFile::add(const std::string& record) {
  if (rotateNext_ || (size_ > 0 && size_ + record.size() > limit_))
    rotate();
  if (!fd_)
    open();
  if (!fd_)
    return;
  ssize_t n = ::write(fd_.get(), record.data(), record.size());
  if (n > 0)
    size_ += static_cast<size_t>(n);
  rotateNext_ = n > 0 && static_cast<size_t>(n) < record.size();
}

// Removing the rotated file replaces nothing and the rename then has no
// file to replace: neither starts a flush. The rotated file was last
// written a whole file's worth of records ago.
void RecordFile::rotate() {
  rotateNext_ = false;
  ::unlink(rotatedPath(path_).c_str());
  fd_.reset();
  ::rename(path_.c_str(), rotatedPath(path_).c_str());
  open();
}

std::string read_lines(const std::string& path) {
  std::pair<std::string, std::string> files = readBoth(path);
  return files.first + files.second;
}

std::string read_snapshot(const std::string& path) {
  std::pair<std::string, std::string> files = readBoth(path);
  std::string last;
  // Each file apart: a snapshot is never split between them.
  for (const std::string* text : {&files.first, &files.second}) {
    std::string building;
    for (size_t start = 0, end; (end = text->find('\n', start)) != std::string::npos; start = end + 1) {
      if (end == start) {
        last = building;
        building.clear();
      } else {
        building.append(*text, start, end + 1 - start);
      }
    }
  }
  return last;
}

}  // namespace SimBoard
