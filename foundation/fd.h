#pragma once
// An owned file descriptor: copies hold their own duplicate, destruction closes.

class Fd {
public:
  Fd() : fd_(-1) {}
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd& other) : fd_(other.dup()) {}
  Fd& operator=(const Fd& other) {
    if (this != &other) {
      close();
      fd_ = other.dup();
    }
    return *this;
  }
  // Leaves errno alone when there is nothing to close.
  ~Fd() {
    if (fd_ >= 0)
      close();
  }

  int dup() const;
  int close();
  bool NonBlock() const;

  int get() const { return fd_; }
  // Gives up ownership without closing.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Takes ownership of fd, closing the one held.
  void reset(int fd = -1) {
    if (fd != fd_) {
      close();
      fd_ = fd;
    }
  }
  explicit operator bool() const { return fd_ >= 0; }

private:
  int fd_;
};

bool NonBlockMode(int fd);
bool BlockMode(int fd);
// Returns true when setting the flag FAILED, false on success.
bool SetCloexec(int fd, bool on);
