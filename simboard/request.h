#pragma once
// One ioctl as a simulated driver sees it, and the bounded log of every
// request the daemon made.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "simboard/wire.h"

namespace SimBoard {

class OpenFile;

class Request {
public:
  Request(OpenFile& file, unsigned long number, void* pointer, unsigned long value, bool byValue, size_t size)
      : file_(file), number_(number), pointer_(static_cast<uint8_t*>(pointer)), value_(value),
        byValue_(byValue), size_(size), error_(0) {}

  OpenFile& file() const { return file_; }
  unsigned long number() const { return number_; }
  // The argument size: encoded in the request number, or known to the device.
  size_t size() const { return size_; }
  // How the daemon passed the argument: by value (ioctl_value) or by pointer.
  bool by_value() const { return byValue_; }
  // The argument as the driver receives it: the value, or the pointer's bits.
  unsigned long value() const { return value_; }
  bool has_pointer() const { return !byValue_ && pointer_ != nullptr; }
  // The pointer argument's bytes (null for a value).
  uint8_t* bytes() const { return has_pointer() ? pointer_ : nullptr; }

  // Fields of a pointer argument in the board's byte order. Access outside
  // the encoded size is a fault of the device model and throws.
  uint32_t u32(size_t offset) const { return be32(at(offset, 4)); }
  int32_t i32(size_t offset) const { return static_cast<int32_t>(u32(offset)); }
  uint16_t u16(size_t offset) const { return be16(at(offset, 2)); }
  uint8_t u8(size_t offset) const { return *at(offset, 1); }
  void put_u32(size_t offset, uint32_t v) { put_be32(at(offset, 4), v); }
  void put_u16(size_t offset, uint16_t v) { put_be16(at(offset, 2), v); }
  void put_u8(size_t offset, uint8_t v) { *at(offset, 1) = v; }

  // Ends the request with a failure: the ioctl returns -1 with errno = err.
  int fail(int err) {
    error_ = err;
    return -1;
  }
  int error() const { return error_; }

private:
  uint8_t* at(size_t offset, size_t width) const {
    if (!has_pointer() || offset + width > size_)
      outside();
    return pointer_ + offset;
  }
  [[noreturn]] static void outside();

  OpenFile& file_;
  unsigned long number_;
  uint8_t* pointer_;
  unsigned long value_;
  bool byValue_;
  size_t size_;
  int error_;
};

// What the log keeps of one request.
struct LoggedRequest {
  std::string device;
  unsigned long number = 0;
  bool byValue = false;
  unsigned long value = 0;  // the by-value argument (0 for a pointer)
  Bytes in;                 // the pointer argument before the request (encoded size)
  Bytes out;                // and after it
  int result = 0;
  int error = 0;            // errno of a failed request

  // The word at offset of the argument as the daemon passed it.
  uint32_t word(size_t offset) const { return offset + 4 <= in.size() ? be32(&in[offset]) : 0; }
};

// A ring of the latest requests. Entries are filled in place, so once the
// ring has gone round a request's entry costs no allocation.
class RequestLog {
public:
  // The kept requests, oldest first.
  class Entries {
  public:
    class const_iterator {
    public:
      using iterator_category = std::forward_iterator_tag;
      using value_type = LoggedRequest;
      using difference_type = std::ptrdiff_t;
      using pointer = const LoggedRequest*;
      using reference = const LoggedRequest&;
      const_iterator(const Entries& entries, size_t index) : entries_(&entries), index_(index) {}
      reference operator*() const { return (*entries_)[index_]; }
      pointer operator->() const { return &(*entries_)[index_]; }
      const_iterator& operator++() {
        ++index_;
        return *this;
      }
      bool operator==(const const_iterator& other) const { return index_ == other.index_; }
      bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

    private:
      const Entries* entries_;
      size_t index_;
    };

    size_t size() const { return log_.count_; }
    bool empty() const { return log_.count_ == 0; }
    const LoggedRequest& operator[](size_t i) const {
      return log_.ring_[(log_.head_ + i) % log_.ring_.size()];
    }
    const LoggedRequest& front() const { return (*this)[0]; }
    const LoggedRequest& back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return const_iterator(*this, 0); }
    const_iterator end() const { return const_iterator(*this, size()); }

  private:
    friend class RequestLog;
    explicit Entries(const RequestLog& log) : log_(log) {}
    const RequestLog& log_;
  };

  explicit RequestLog(size_t capacity = 16384) : capacity_(capacity), total_(0), head_(0), count_(0) {}
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // The entry for the next request, to be filled in (null when nothing is
  // kept); the oldest one makes way at the capacity.
  LoggedRequest* next() {
    ++total_;
    return capacity_ ? take_entry() : nullptr;
  }
  // Whether requests are kept (nodalsrv-sim keeps none).
  bool keeping() const { return capacity_ != 0; }
  void clear() {
    head_ = 0;
    count_ = 0;
  }
  void set_capacity(size_t capacity);

  Entries entries() const { return Entries(*this); }
  // Those to one device, and of one request number on it.
  std::vector<LoggedRequest> on(const std::string& device) const;
  std::vector<LoggedRequest> on(const std::string& device, unsigned long number) const;
  // Requests made since the log was created, also those no longer kept.
  uint64_t total() const { return total_; }

private:
  LoggedRequest* take_entry();

  size_t capacity_;
  uint64_t total_;
  std::vector<LoggedRequest> ring_;
  size_t head_;   // the oldest kept entry
  size_t count_;  // entries kept
};

}  // namespace SimBoard
