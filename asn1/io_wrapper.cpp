#include "asn1/io_wrapper.h"

#include <new>
#include <sstream>

#include "asn1/abstract_data.h"

namespace ASN1 {

void IOWrapper::addState(std::ios_base::iostate state) {
  try {
    stream.setstate(state);
  } catch (const std::ios_base::failure&) {
  }
}

void IOWrapper::do_it() {
  std::ios_base::iostate state = std::ios_base::goodbit;
  try {
    state = do_real_io();
  } catch (const std::bad_alloc&) {
    addState(std::ios_base::badbit);
    if (stream.exceptions() & std::ios_base::badbit) throw;
    return;
  } catch (...) {
    addState(std::ios_base::failbit);
    if (stream.exceptions() & std::ios_base::failbit) throw;
    return;
  }
  if (state != std::ios_base::goodbit) addState(state);
}

std::ios_base::iostate InserterWrapper::do_real_io() {
  std::ostream::sentry guard(out);
  if (!guard) return std::ios_base::goodbit;
  // Printed apart so that an early stop does not mark the caller's stream failed.
  std::ostringstream text;
  value.print_on(text);
  const std::string printed = text.str();
  std::streamsize written = out.rdbuf()->sputn(printed.data(), static_cast<std::streamsize>(printed.size()));
  return written == static_cast<std::streamsize>(printed.size()) ? std::ios_base::goodbit : std::ios_base::badbit;
}

std::ios_base::iostate ExtractorWrapper::do_real_io() {
  std::istream::sentry guard(in);  // skips leading white space
  if (!guard) return std::ios_base::goodbit;
  return value.get_from(in);
}

std::istream& g_extractor(std::istream& stream, AbstractData& value) {
  if (!stream.good()) return stream;
  ExtractorWrapper wrapper(stream, value);
  wrapper.do_it();
  return stream;
}

std::ostream& g_inserter(std::ostream& stream, const AbstractData& value) {
  if (!stream.good()) return stream;
  InserterWrapper wrapper(stream, value);
  wrapper.do_it();
  return stream;
}

}  // namespace ASN1
