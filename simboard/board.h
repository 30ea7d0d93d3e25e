#pragma once
// The simulated board: a device I/O backend that stands in for the board's
// character devices. Constructing a Board installs it (every DevIo call goes
// to it until it is destroyed); it starts with the standard device models.
//
// An open of a simulated device returns one end of a SOCK_SEQPACKET socket
// pair; the simulator keeps the other. A request finds its open file in a
// table indexed by the descriptor, without a system call: the board enters
// the descriptors it hands out and their duplicates (DevIo::dup), and takes
// out those closed through the device I/O layer (Fd::close) at once, so a
// number reused for something else is looked up afresh. A descriptor it
// has never seen is looked up once by the socket's inode; one that is not
// the board's is remembered as such until it is closed, so the system's own
// sockets (the network interface requests, the asynchronous copier's reads
// and writes) go to the system calls without a look-up each time. The
// network interface requests are answered by the board for any socket
// (those naming an "hdlcN" interface from its HDLC interfaces). pump() also
// checks the table against the descriptors' inodes, for numbers closed
// otherwise.
//
// Installing the board is a new board for the process-wide services that
// hold devices (DevIo::Holder): they close what they held of the previous
// one and start again on this one, as at start-up. A test that wants the
// services to find the board in some state at their start sets it up in
// the constructor's setup function, which runs before the installation.
//
// Nothing here blocks or uses threads, and nothing polls on the request
// path: what the daemon writes is taken right after its write, what waits
// for room moves on after the daemon's read, and hang-ups are noticed on
// every open and whenever a test asks (pump()).
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "foundation/device_io.h"
#include "simboard/device.h"
#include "simboard/interfaces.h"
#include "simboard/request.h"

namespace SimBoard {

class Dsp;
class DspData;
class Dtmf;
class E1Cas;
class Hal;
class Maintenance;
class Mcc;
class Mixer;
class RtpExt;
class ModemControl;
class Rtp;
class Voice;
class Watchdog;

class Board : public DevIo::Backend {
public:
  explicit Board(const std::function<void(Board&)>& setup = nullptr);
  ~Board() override;
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // The standard device models.
  Hal& hal() { return *hal_; }
  Mcc& mcc() { return *mcc_; }
  Watchdog& watchdog() { return *watchdog_; }
  Maintenance& maintenance() { return *maintenance_; }
  E1Cas& e1cas() { return *e1cas_; }
  Dsp& dsp() { return *dsp_; }
  Dtmf& dtmf() { return *dtmf_; }
  Mixer& mixer() { return *mixer_; }
  RtpExt& rtp_ext() { return *rtpExt_; }
  // The network interfaces the daemon's interface requests see, the
  // synchronous HDLC interfaces among them (none at first).
  Interfaces& interfaces() { return interfaces_; }
  ModemControl& modems() { return *modems_; }
  DspData& dsp_data() { return *dspData_; }
  Rtp& rtp() { return *rtp_; }
  Voice& voice() { return *voice_; }

  // Adds a device model (a later one replaces one with the same path).
  template <class T>
  T& add(std::unique_ptr<T> device) {
    T& added = *device;
    attach(std::unique_ptr<Device>(std::move(device)));
    return added;
  }
  Device* device(const std::string& path) const;

  RequestLog& log() { return log_; }
  const RequestLog& log() const { return log_; }

  // Delivers waiting records, takes what the daemon wrote, notices closes.
  void pump();
  // Times the board has looked at every open file (pump(), opens).
  uint64_t sweeps() const { return sweeps_; }
  // Files open now, in order of opening.
  const std::vector<std::shared_ptr<OpenFile>>& files() const { return files_; }
  // The open file behind a daemon descriptor, or null.
  std::shared_ptr<OpenFile> find(int fd) const;
  // Descriptors looked up with a system call so far (those the board had
  // not seen, or had forgotten).
  uint64_t lookups() const { return lookups_; }
  // Fills or empties the line of a file (OpenFile::fill); a file whose
  // daemon end is gone stays as it is.
  void set_line_full(OpenFile& file, bool full);

  int open(const char* path, int flags) override;
  int ioctl(int fd, unsigned long request, void* arg) override {
    return this->request(fd, request, arg, reinterpret_cast<unsigned long>(arg), false);
  }
  int ioctl_value(int fd, unsigned long request, unsigned long value) override {
    return this->request(fd, request, nullptr, value, true);
  }
  ssize_t read(int fd, void* buf, size_t count) override;
  ssize_t write(int fd, const void* buf, size_t count) override;
  // A duplicate stands for what the original does.
  int dup(int fd) override;
  // The number is free: a later open or dup() may take it for another file.
  int close(int fd) override;

private:
  // A new open file of the device.
  int connect(Device& device, int flags);
  void attach(std::unique_ptr<Device> device);
  // A descriptor the board has entered, with no log kept, goes straight to
  // its device; the rest takes the long way.
  [[gnu::always_inline]] int request(int fd, unsigned long number, void* pointer, unsigned long value, bool byValue) {
    OpenFile* file = known(fd);
    if (!file || log_.keeping())
      return other_request(fd, number, pointer, value, byValue);
    log_.next();  // counted only
    return file->device().request(*file, number, pointer, value, byValue);
  }
  int other_request(int fd, unsigned long number, void* pointer, unsigned long value, bool byValue);
  // A request on a descriptor that is not the board's.
  int system_request(int fd, unsigned long number, void* pointer, unsigned long value, bool byValue);
  // A request kept in the log, with its argument before and after.
  int logged_request(OpenFile& file, unsigned long number, void* pointer, unsigned long value, bool byValue);
  // What a descriptor number stands for: an open file of the board, or
  // (foreign) something that is not the board's; neither when unknown.
  struct alignas(32) Number {  // a power of two in size: the table's bound is a shift
    std::shared_ptr<OpenFile> file;
    bool foreign = false;
  };
  Number& number(int fd) {
    if (static_cast<size_t>(fd) >= byFd_.size())
      byFd_.resize(static_cast<size_t>(fd) + 1);
    return byFd_[static_cast<size_t>(fd)];
  }
  // The open file behind a descriptor the board has entered, or null.
  OpenFile* known(int fd) const {
    if (static_cast<size_t>(fd) >= byFd_.size())
      return nullptr;
    OpenFile* file = byFd_[static_cast<size_t>(fd)].file.get();
    return file && !file->closed() ? file : nullptr;
  }
  // The open file behind a descriptor, without a system call once known.
  OpenFile* lookup(int fd) {
    if (OpenFile* file = known(fd))
      return file;
    if (fd >= 0 && static_cast<size_t>(fd) < byFd_.size() && byFd_[static_cast<size_t>(fd)].foreign)
      return nullptr;
    return find_unknown(fd);
  }
  // A descriptor not in the table yet: looked up by its socket's inode.
  OpenFile* find_unknown(int fd);
  // Moves what can move and notices hang-ups.
  void move_traffic();
  // Lets the device take what the daemon wrote; a file whose device does
  // not take it now is held and tried again after every read and pump().
  void service(OpenFile& file);
  void retry_held();
  void forget(const std::shared_ptr<OpenFile>& file);

  std::vector<std::unique_ptr<Device>> devices_;
  std::vector<std::shared_ptr<OpenFile>> files_;
  std::map<ino_t, std::weak_ptr<OpenFile>> byInode_;
  std::vector<Number> byFd_;  // indexed by the daemon's descriptor
  std::vector<std::shared_ptr<OpenFile>> held_;
  RequestLog log_;
  uint64_t nextId_;
  uint64_t lookups_ = 0;
  uint64_t sweeps_ = 0;
  bool pumping_;
  DevIo::Backend* previous_;
  Hal* hal_;
  Mcc* mcc_;
  Watchdog* watchdog_;
  Maintenance* maintenance_;
  E1Cas* e1cas_;
  Dsp* dsp_;
  Dtmf* dtmf_;
  Mixer* mixer_;
  RtpExt* rtpExt_;
  Interfaces interfaces_;
  ModemControl* modems_;
  DspData* dspData_;
  Rtp* rtp_;
  Voice* voice_;
};

}  // namespace SimBoard
