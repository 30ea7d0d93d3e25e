#pragma once
// The base of every simulated device model: its path, its request table,
// failure injection, and the traffic of its open files.
//
// A model is one class per device: its constructor names the path and adds
// each request with on(number, form, handler), the number being the board's
// literal constant; the handler reads the argument with the Request's
// offset readers (big-endian), writes results back the same way, and
// returns the request's result or r.fail(errno). Event devices give tests
// an operation that builds the record and calls inject(); devices that
// take writes override received(). Board::add() (or a line in the Board
// constructor for a standard device) makes it reachable.
//
// Cost: a request reaches its handler without a system call, and traffic
// moves only for the file the daemon read or wrote, so a model adds nothing
// to the daemon's hot paths but its own handlers. A model's accessors that
// show traffic call pump() first (it polls every file; tests only).
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simboard/open_file.h"
#include "simboard/request.h"

namespace SimBoard {

class Board;

class Device {
public:
  using Handler = std::function<int(Request&)>;
  // How a request takes its argument; a request made the other way fails
  // with EFAULT, so a daemon that passes a pointer for a value is caught.
  enum class Arg { None, Pointer, Value };

  explicit Device(std::string path);
  virtual ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  const std::string& path() const { return path_; }

  // Test controls. A missing device fails every open with ENOENT; fail_open
  // makes every open fail with err until called with 0. fail() makes the
  // request fail with err `times` times (-1: until cleared).
  void set_present(bool present) { present_ = present; }
  bool present() const { return present_; }
  void fail_open(int err) { openError_ = err; }
  void fail(unsigned long request, int err, int times = -1);
  void clear_failures() { failures_.clear(); }

  // What the daemon did with the device.
  uint64_t opens() const { return opens_; }   // successful opens so far
  size_t open_count() const;                  // open now
  std::vector<std::shared_ptr<OpenFile>> files() const;  // open now, oldest first
  std::vector<LoggedRequest> requests() const;           // kept in the board's log
  std::vector<LoggedRequest> requests(unsigned long number) const;

  // The argument size of a request: the size the request number encodes,
  // else the one given to on().
  size_t argument_size(unsigned long request) const {
    const Entry* entry = find(request);
    return entry ? entry->size : request_size(request);
  }

  // Sends one record to every open file of the device that reads; returns
  // the number of files it went to. A model whose reads carry more than
  // the record (a source, a session) reads it its own way.
  virtual size_t inject(const Bytes& record);

protected:
  // size: the argument size of a request whose number does not encode it.
  void on(unsigned long request, Arg form, Handler handler, size_t size = 0);
  Board* board() const { return board_; }
  // Lets the board move what can move (used by accessors that read traffic).
  void pump() const;

  // The send buffer of the daemon's end (0: the system's default). A small
  // one lets a test stall a channel with a few frames.
  virtual int send_buffer() const { return 0; }
  virtual void opened(const std::shared_ptr<OpenFile>&) {}
  // The daemon's end is gone; what it wrote has been taken.
  virtual void closed(OpenFile&) {}
  // Whether the model takes what the daemon wrote now (false leaves it in
  // the socket, which then fills up and blocks the daemon's writes).
  virtual bool accepting(OpenFile&) { return true; }
  // One datagram the daemon wrote; dropped unless a model keeps it.
  virtual void received(OpenFile&, Bytes&&) {}
  // An errno for a read or write the device refuses in its present state.
  virtual int refuse_read(OpenFile&) const { return 0; }
  virtual int refuse_write(OpenFile&) const { return 0; }

private:
  friend class Board;
  friend class FileSession;
  struct Entry {
    Arg form;
    Handler handler;
    size_t size;  // the argument size
    // Whether the argument comes the way the request takes it.
    bool takes(const void* pointer, bool byValue) const {
      return form == Arg::Pointer ? !byValue && pointer : form != Arg::Value || byValue;
    }
  };
  struct Failure {
    int error;
    int times;
  };

  // A request on one of the device's files, errno set when it fails. The
  // usual case (a known request made the right way, no failure set) goes
  // straight to its handler.
  int request(OpenFile& file, unsigned long number, void* pointer, unsigned long value, bool byValue) {
    const Entry* entry = find(number);
    if (!entry || !failures_.empty() || !entry->takes(pointer, byValue))
      return refused(file, number, pointer, value, byValue, entry);
    Request req(file, number, pointer, value, byValue, entry->size);
    int result = entry->handler(req);
    if (result < 0)
      errno = req.error();
    return result;
  }
  // The rest: failures set by the test, unknown requests, arguments passed
  // the wrong way.
  int refused(OpenFile& file, unsigned long number, void* pointer, unsigned long value, bool byValue,
              const Entry* entry);
  int dispatch(const Entry* entry, Request& request) {
    if (!failures_.empty() && failing(request))
      return -1;
    if (!entry)
      return request.fail(EINVAL);
    if (!entry->takes(request.bytes(), request.by_value()))
      return request.fail(EFAULT);
    return entry->handler(request);
  }
  // Fails the request when a failure is set for it.
  bool failing(Request& request);
  // Moves the file's traffic; true when the model left some for later.
  bool service(OpenFile& file, bool closing);

  std::string path_;
  Board* board_;
  bool present_;
  int openError_;
  uint64_t opens_;
  // The request's entry, or null. The same request usually comes many
  // times in a row (the switch refresh): the last one found is kept.
  const Entry* find(unsigned long request) const {
    return lastEntry_ && lastRequest_ == request ? lastEntry_ : find_other(request);
  }
  const Entry* find_other(unsigned long request) const;

  std::map<unsigned long, Entry> requests_;
  // The entry found last and its request, kept here so that the usual
  // case costs no load from the table.
  mutable unsigned long lastRequest_ = 0;
  mutable const Entry* lastEntry_ = nullptr;
  std::map<unsigned long, Failure> failures_;
};

}  // namespace SimBoard
