#pragma once
// Stream helpers for log lines and status output: hex dumps, hex numbers,
// object headers, quoting and fixed-width text tables.
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/measure.h"

namespace ext {

class OutBufInHex {
public:
  OutBufInHex(const void* begin, const void* end)
      : begin_(static_cast<const uint8_t*>(begin)), end_(static_cast<const uint8_t*>(end)) {}
  OutBufInHex(const void* begin, size_t size)
      : begin_(static_cast<const uint8_t*>(begin)), end_(static_cast<const uint8_t*>(begin) + size) {}
  void Put(std::ostream& out) const;

private:
  const uint8_t* begin_;
  const uint8_t* end_;
};

class OutUnsignedInHex {
public:
  OutUnsignedInHex(unsigned value, int width) : value_(value), width_(width) {}
  void Put(std::ostream& out) const;

private:
  unsigned value_;
  int width_;
};

template <class T>
class OutObjHeader {
public:
  explicit OutObjHeader(const T* obj) : obj_(obj) {}
  void Put(std::ostream& out) const { obj_->PutHeader(out); }

private:
  const T* obj_;
};

template <class T>
OutObjHeader<T> header(const T* obj) {
  return OutObjHeader<T>(obj);
}

template <class T>
class OutQuoted {
public:
  explicit OutQuoted(const T& value) : value_(&value) {}
  void Put(std::ostream& out) const { out << '"' << *value_ << '"'; }

private:
  const T* value_;
};

template <class T>
OutQuoted<T> quoted(const T& value) {
  return OutQuoted<T>(value);
}

inline std::ostream& operator<<(std::ostream& out, const OutBufInHex& v) {
  v.Put(out);
  return out;
}
inline std::ostream& operator<<(std::ostream& out, const OutUnsignedInHex& v) {
  v.Put(out);
  return out;
}
template <class T>
std::ostream& operator<<(std::ostream& out, const OutObjHeader<T>& v) {
  v.Put(out);
  return out;
}
template <class T>
std::ostream& operator<<(std::ostream& out, const OutQuoted<T>& v) {
  v.Put(out);
  return out;
}

// A text table of fixed-width columns; cells are centred.
class Table {
public:
  class Sentry {
  public:
    Sentry(std::ostream& out, Table& table) : out_(&out), table_(&table) {}
    Sentry(const Sentry&) = delete;
    Sentry& operator=(const Sentry&) = delete;
    ~Sentry() { table_->finalize(*out_); }

    Sentry& operator<<(const char* text) {
      cell_ << text;
      return *this;
    }
    Sentry& operator<<(const std::string& text) {
      cell_ << text;
      return *this;
    }
    Sentry& operator<<(unsigned int value) {
      cell_ << value;
      return *this;
    }
    Sentry& operator<<(int value) {
      cell_ << value;
      return *this;
    }
    Sentry& operator<<(const Measure& m) {
      m.put(cell_);
      return *this;
    }
    Sentry& operator<<(Sentry& (*manip)(Sentry&)) { return manip(*this); }

    std::ostream& out() { return *out_; }
    Table& table() { return *table_; }
    // Takes the collected cell text and empties the collector.
    std::string take() {
      std::string text = cell_.str();
      cell_.str(std::string());
      return text;
    }

  private:
    std::ostream* out_;
    Table* table_;
    std::ostringstream cell_;
  };

  Table() : next_(0), open_(false) {}
  Table(int w1) : Table() { add(w1); }
  Table(int w1, int w2) : Table(w1) { add(w2); }
  Table(int w1, int w2, int w3) : Table(w1, w2) { add(w3); }
  Table(int w1, int w2, int w3, int w4) : Table(w1, w2, w3) { add(w4); }
  Table(int w1, int w2, int w3, int w4, int w5) : Table(w1, w2, w3, w4) { add(w5); }
  Table(int w1, int w2, int w3, int w4, int w5, int w6) : Table(w1, w2, w3, w4, w5) { add(w6); }
  Table(int w1, int w2, int w3, int w4, int w5, int w6, int w7) : Table(w1, w2, w3, w4, w5, w6) { add(w7); }

  void add(int width) { widths_.push_back(width); }
  void init() { resetrow(); }
  void resetrow() {
    next_ = 0;
    open_ = false;
  }
  void row(std::ostream& out, const std::string& text);
  void finalize(std::ostream& out);
  void delimeter(std::ostream& out);
  void gap(std::ostream& out);

private:
  void border(std::ostream& out, char corner, char fill);

  std::vector<int> widths_;
  uint32_t next_;
  bool open_;
};

Table::Sentry& nextrow(Table::Sentry& s);
Table::Sentry& beginrow(Table::Sentry& s);
Table::Sentry& delimeter(Table::Sentry& s);

}  // namespace ext
