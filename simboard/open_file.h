#pragma once
// The simulator's end of one open of a simulated device. The daemon holds
// the other end of a SOCK_SEQPACKET socket pair, so its poll loop sees real
// readiness: one datagram is one event record or one frame.
#include <cstdint>
#include <deque>
#include <sys/types.h>
#include <utility>

#include "simboard/wire.h"

namespace SimBoard {

class Device;
class FileSession;

class OpenFile {
public:
  OpenFile(Device& device, int simFd, ino_t inode, int flags, uint64_t id);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  Device& device() const { return device_; }
  int flags() const { return flags_; }  // as the daemon opened it
  bool readable() const;
  bool writable() const;
  uint64_t id() const { return id_; }   // order of opening on the board
  ino_t inode() const { return inode_; }
  // The daemon has closed every descriptor of its end.
  bool closed() const { return simFd_ < 0; }
  int sim_fd() const { return simFd_; }
  // The model's record of this file (a channel, a session), if it keeps one.
  FileSession* session() const { return session_; }

  // Simulator to daemon, in order. What does not fit in the socket waits
  // here and moves on as the daemon reads; nothing ever blocks.
  void send(Bytes datagram);
  // The daemon's read at this point of the stream fails with err.
  void send_read_error(int err);
  // Moves waiting datagrams into the socket; true when none is left waiting.
  bool flush();
  size_t waiting() const { return waiting_.size(); }
  // Datagrams the daemon has read (or failed to read) so far.
  uint64_t consumed() const { return consumed_; }

  // Daemon to simulator: takes one datagram the daemon wrote.
  bool receive(Bytes& datagram);

  // The line: gives a peer a descriptor of the simulator's end (-1 when the
  // file is closed). From then on the board takes nothing the daemon writes
  // and sends it nothing: the peer reads and writes the frames itself. The
  // board keeps a descriptor of its own, so a peer ends the line (the
  // daemon's end sees the hang-up) with shutdown(), not by closing.
  int hand_over();
  bool external() const { return external_; }

  // A full line: what the daemon wrote is set aside, and its end (daemonFd,
  // one of its descriptors) is filled up, so that its writes fail with
  // EAGAIN at once and poll reports no POLLOUT. Emptying it lets receive()
  // take the daemon's frames again, the filling dropped; taking them makes
  // the daemon's end writable.
  void fill(int daemonFd);
  void empty() { full_ = false; }
  bool full() const { return full_; }
  // The daemon's next `times` writes fail with err (and write nothing).
  void fail_writes(int err, int times = 1);
  // The daemon's next write takes only the first `bytes` of what it gives.
  void cut_next_write(size_t bytes) { writeCut_ = static_cast<ssize_t>(bytes); }

  // The daemon's read and write on its end (a descriptor of this file).
  ssize_t daemon_read(int fd, void* buf, size_t count);
  ssize_t daemon_write(int fd, const void* buf, size_t count);

  // The daemon's end has been closed (the socket reports a hang-up).
  bool hung_up() const;
  void close();

private:
  friend class FileSession;
  struct Item {
    Bytes data;
    int error;
  };

  // One datagram out of the socket, filling included.
  bool take(Bytes& datagram);

  Device& device_;
  int simFd_;
  ino_t inode_;
  int flags_;
  uint64_t id_;
  std::deque<Item> waiting_;
  uint64_t delivered_;  // datagrams put into the socket
  uint64_t consumed_;   // datagrams the daemon has read
  std::deque<std::pair<uint64_t, int>> readErrors_;  // datagram number -> errno
  int writeError_;
  int writeErrorTimes_;
  ssize_t writeCut_;  // -1: the next write is taken whole
  bool external_;
  bool full_;
  std::deque<Bytes> backlog_;  // the daemon's frames set aside by fill()
  uint64_t fillers_;           // datagrams of filling still in the socket
  FileSession* session_;
};

}  // namespace SimBoard
