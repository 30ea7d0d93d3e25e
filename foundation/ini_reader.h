#pragma once
// Declarative, validated reading of one section occurrence into program
// variables: bind each variable to a key as required or optional, then
// parse(). Missing, malformed and repeated keys are reported, with their
// line numbers, on the caller's stream.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "foundation/ini_file.h"

namespace IniFile {

// A symbol table for an enumeration: name/value pairs ended by a null name.
template <class T>
struct Symbol {
  const char* name;
  T value;
};

namespace Private {

// Converts the text of one key into a bound variable.
class KeyValue {
public:
  KeyValue() : set(false) {}
  virtual ~KeyValue() = default;
  virtual const char* name() const = 0;
  // True when the text is valid; only then is the variable written.
  virtual bool do_parse(const char* text) = 0;

  bool set;  // the key was read and converted
};

template <class T>
class TKeyValueBase : public KeyValue {
public:
  TKeyValueBase(T* variable, const char* name) : variable_(variable), name_(name) {}
  const char* name() const override { return name_; }

protected:
  T* variable_;
  const char* name_;
};

// Enumerations: a name of the table, or else a number (decimal, 0x hex,
// leading-zero octal) that fills the whole text.
template <class T>
class TKeyValue : public TKeyValueBase<T> {
  static_assert(std::is_enum<T>::value, "keys are read as bool, std::string or an enumeration");

public:
  TKeyValue(T* variable, const char* name, const Symbol<T>* symbols)
      : TKeyValueBase<T>(variable, name), symbols_(symbols) {}

  bool do_parse(const char* text) override {
    for (const Symbol<T>* s = symbols_; s && s->name; ++s) {
      if (std::strcmp(s->name, text) == 0) {
        *this->variable_ = s->value;
        return true;
      }
    }
    char* end = nullptr;
    errno = 0;
    long long number = std::strtoll(text, &end, 0);
    if (*text == '\0' || *end != '\0' || errno == ERANGE)
      return false;
    long long low, high;
    range(low, high);
    if (number < low || number > high)
      return false;
    *this->variable_ = static_cast<T>(static_cast<Raw>(number));
    return true;
  }

private:
  typedef typename std::underlying_type<T>::type Raw;

  // The values the enumeration can hold: those of the smallest bit field
  // that holds every value of the table (any value of the underlying type
  // without a table). Storing anything else would be undefined.
  void range(long long& low, long long& high) const {
    low = static_cast<long long>(std::numeric_limits<Raw>::min());
    high = static_cast<long long>(std::numeric_limits<Raw>::max());
    if (!symbols_ || !symbols_->name)
      return;
    long long least = 0, most = 0;
    for (const Symbol<T>* s = symbols_; s->name; ++s) {
      const long long v = static_cast<long long>(static_cast<Raw>(s->value));
      least = v < least ? v : least;
      most = v > most ? v : most;
    }
    const long long need = least < 0 && -(least + 1) > most ? -(least + 1) : most;
    long long mask = 0;
    while (mask < need)
      mask = mask * 2 + 1;
    high = mask;
    low = least < 0 ? -high - 1 : 0;
  }

  const Symbol<T>* symbols_;
};

// Exactly "true", "yes", "enabled", "enable", "1" or "false", "no",
// "disabled", "disable", "0".
template <>
class TKeyValue<bool> : public TKeyValueBase<bool> {
public:
  TKeyValue(bool* variable, const char* name, const Symbol<bool>*) : TKeyValueBase<bool>(variable, name) {}
  bool do_parse(const char* text) override;
};

// Any text, the empty one included.
template <>
class TKeyValue<std::string> : public TKeyValueBase<std::string> {
public:
  TKeyValue(std::string* variable, const char* name, const Symbol<std::string>*)
      : TKeyValueBase<std::string>(variable, name) {}
  bool do_parse(const char* text) override {
    *variable_ = text;
    return true;
  }
};

}  // namespace Private

class Reader {
public:
  // An ordered list of owned key parsers.
  class Field {
  public:
    // Binds a variable to a key; the returned flag tells after parse()
    // whether the key was given and valid.
    template <class T>
    bool& add(T* variable, const char* name, const Symbol<T>* symbols = nullptr) {
      Private::KeyValue* kv = new Private::TKeyValue<T>(variable, name, symbols);
      add(kv);
      return kv->set;
    }
    void add(Private::KeyValue* kv) { list_.emplace_back(kv); }

    typedef std::vector<std::unique_ptr<Private::KeyValue>>::const_iterator const_iterator;
    const_iterator begin() const { return list_.begin(); }
    const_iterator end() const { return list_.end(); }

  private:
    std::vector<std::unique_ptr<Private::KeyValue>> list_;
  };

  Reader(const std::string& prefix, std::ostream& out) : prefix_(prefix), out_(out) {}

  // Reads every bound key of the section occurrence; false as soon as a
  // required key is missing, invalid or repeated.
  bool parse(SubSection& section);

  Field required;
  Field optional;

private:
  std::string prefix_;
  std::ostream& out_;
};

}  // namespace IniFile
