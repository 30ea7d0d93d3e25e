#pragma once
// What a device model keeps for one open file of its own (a channel, a
// session): the file, whether the daemon still holds it, and what the
// daemon wrote to it (the last 1024 datagrams). The accessors let the
// board move traffic first (tests only).
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "foundation/fd.h"
#include "simboard/board.h"
#include "simboard/device.h"
#include "simboard/open_file.h"

namespace SimBoard {

class FileSession {
public:
  explicit FileSession(std::shared_ptr<OpenFile> file) : file_(std::move(file)), sentTotal_(0) {
    file_->session_ = this;
  }
  ~FileSession() {
    if (file_->session_ == this)
      file_->session_ = nullptr;
  }
  FileSession(const FileSession&) = delete;
  FileSession& operator=(const FileSession&) = delete;

  OpenFile& file() const { return *file_; }
  // The daemon still holds a descriptor of the file.
  bool open() const {
    pump();
    return !file_->closed();
  }
  // Datagrams the daemon wrote, oldest first, and how many in all.
  const std::deque<Bytes>& sent() const {
    pump();
    return sent_;
  }
  uint64_t sent_total() const {
    pump();
    return sentTotal_;
  }
  // The line of a frame channel: a descriptor of the socket pair's far end
  // for a peer, which from then on reads what the daemon writes and writes
  // what it reads (sent() and the model's inject no longer see that
  // traffic); shutdown() on it ends the line.
  Fd line() { return Fd(file_->hand_over()); }
  // A full line: the daemon's writes fail with EAGAIN at once and its end
  // reports no POLLOUT until the line is emptied (its frames then move on).
  void line_full(bool full);

protected:
  // Lets the board move what can move.
  void pump() const { file_->device().pump(); }
  void keep_sent(Bytes&& datagram) {
    ++sentTotal_;
    if (sent_.size() >= KeptDatagrams)
      sent_.pop_front();
    sent_.push_back(std::move(datagram));
  }

  std::shared_ptr<OpenFile> file_;

private:
  static constexpr size_t KeptDatagrams = 1024;
  std::deque<Bytes> sent_;
  uint64_t sentTotal_;
};

inline void FileSession::line_full(bool full) { file_->device().board()->set_line_full(*file_, full); }

// The session of a file of the model that keeps sessions of type T, or
// null; found from the file, whatever the number of sessions.
template <class T>
T* session_of(const std::vector<std::unique_ptr<T>>&, const OpenFile& file) {
  return static_cast<T*>(file.session());
}

// Drops the oldest sessions whose file is closed, or is the one closing
// now (not marked closed yet; null for none), while more than keep are
// held; gone runs on each before it goes.
template <class T, class Gone>
void drop_closed(std::vector<std::unique_ptr<T>>& sessions, size_t keep, const OpenFile* closing, Gone gone) {
  for (auto it = sessions.begin(); sessions.size() > keep && it != sessions.end();) {
    if (!(*it)->file().closed() && &(*it)->file() != closing) {
      ++it;
      continue;
    }
    gone(**it);
    it = sessions.erase(it);
  }
}

}  // namespace SimBoard
