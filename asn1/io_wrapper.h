// Guard around a formatted stream operation, value output or input: nothing
// happens on a stream that is not good, and an exception raised inside becomes
// stream state (and is thrown on when the stream's exception mask asks for it).
#pragma once

#include <ios>
#include <istream>
#include <ostream>

namespace ASN1 {

class AbstractData;

class IOWrapper {
 public:
  explicit IOWrapper(std::ios& s) : stream(s) {}
  virtual ~IOWrapper() {}
  void do_it();

 protected:
  // Returns the state bits to add to the stream.
  virtual std::ios_base::iostate do_real_io() = 0;

  std::ios& stream;

 private:
  void addState(std::ios_base::iostate state);
};

class InserterWrapper : public IOWrapper {
 public:
  InserterWrapper(std::ostream& s, const AbstractData& v) : IOWrapper(s), out(s), value(v) {}

 private:
  std::ios_base::iostate do_real_io() override;

  std::ostream& out;
  const AbstractData& value;
};

class ExtractorWrapper : public IOWrapper {
 public:
  ExtractorWrapper(std::istream& s, AbstractData& v) : IOWrapper(s), in(s), value(v) {}

 private:
  std::ios_base::iostate do_real_io() override;

  std::istream& in;
  AbstractData& value;
};

std::ostream& g_inserter(std::ostream& stream, const AbstractData& value);
std::istream& g_extractor(std::istream& stream, AbstractData& value);

}  // namespace ASN1
