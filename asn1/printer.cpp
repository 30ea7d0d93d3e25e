#include "asn1/printer.h"

#include <boost/scoped_array.hpp>
#include <cstdlib>
#include <iomanip>
#include <sstream>
#include <string>

#include "asn1/char_strings.h"
#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/io_wrapper.h"
#include "asn1/object_identifier.h"
#include "asn1/octet_strings.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/simple_values.h"

namespace ASN1 {

std::ios_base::iostate AbstractData::print_on(std::ostream& stream) const {
  AVNEncoder printer(stream);
  return accept(printer) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::string AbstractData::asValueNotation() const {
  std::ostringstream text;
  print_on(text);
  return text.str();
}

std::ostream& operator<<(std::ostream& stream, const AbstractData& value) { return g_inserter(stream, value); }

bool AVNEncoder::do_visit(const Null&) { return !!(*strm << "NULL"); }

bool AVNEncoder::do_visit(const BOOLEAN& value) { return !!(*strm << (value.getValue() ? "TRUE" : "FALSE")); }

bool AVNEncoder::do_visit(const INTEGER& value) {
  return !!(*strm << value.numericValue());
}

bool AVNEncoder::do_visit(const IntegerWithNamedNumber& value) {
  std::string name;
  if (!value.getName(name)) return do_visit(static_cast<const INTEGER&>(value));
  return !!(*strm << name);
}

bool AVNEncoder::do_visit(const ENUMERATED& value) {
  if (const char* name = value.getName())
    *strm << name;
  else
    *strm << value.getValue();
  return strm->good();
}

bool AVNEncoder::do_visit(const OBJECT_IDENTIFIER& value) {
  *strm << "{ ";
  for (std::size_t i = 0; i < value.levels() && strm->good(); ++i) *strm << value[i] << ' ';
  return !!(*strm << '}');
}

bool AVNEncoder::do_visit(const BIT_STRING& value) {
  *strm << '\'';
  for (unsigned i = 0; i < value.size() && strm->good(); ++i) *strm << (value[i] ? '1' : '0');
  return !!(*strm << "'B");
}

bool AVNEncoder::printOctets(const char* octets, std::size_t n) {
  *strm << '\'';
  std::ios_base::fmtflags flags = strm->flags();
  *strm << std::hex << std::setfill('0');
  for (std::size_t i = 0; i < n && strm->good(); ++i) {
    if (i) *strm << ' ';
    *strm << std::setw(2) << static_cast<unsigned>(static_cast<unsigned char>(octets[i]));
  }
  strm->flags(flags);
  strm->fill(' ');
  return !!(*strm << "'H");
}

bool AVNEncoder::do_visit(const OCTET_STRING& value) { return printOctets(value.data(), value.size()); }

bool AVNEncoder::do_visit(const AbstractString& value) { return !!(*strm << '"' << value.getValue() << '"'); }

bool AVNEncoder::do_visit(const BMPString& value) {
  const std::wstring& text = value.getValue();
  std::size_t length = std::wcstombs(nullptr, text.c_str(), 0);
  if (length != static_cast<std::size_t>(-1)) {
    boost::scoped_array<char> converted(new char[length + 1]);
    std::wcstombs(converted.get(), text.c_str(), length + 1);
    return !!(*strm << '"' << converted.get() << '"');
  }
  // Not convertible under the current locale: { 0, 0, row, cell } per character.
  *strm << '{';
  for (std::size_t i = 0; i < text.size() && strm->good(); ++i) {
    unsigned code = static_cast<unsigned>(text[i]);
    if (i) *strm << ", ";
    *strm << "{ 0, 0, " << (code >> 8) << ", " << (code & 0xffu) << '}';
  }
  return !!(*strm << '}');
}

bool AVNEncoder::do_visit(const CHOICE& value) {
  const char* name = value.getSelectionName();
  const AbstractData* alternative = value.getSelection();
  if (!name || !alternative) return false;
  *strm << name << " : ";
  return strm->good() && alternative->accept(*this);
}

bool AVNEncoder::do_visit(const OpenData& value) {
  if (value.has_data()) return value.get_data()->accept(*this);
  if (value.has_buf()) return printOctets(value.get_buf()->data(), value.get_buf()->size());
  return false;
}

bool AVNEncoder::do_visit(const GeneralizedTime& value) { return !!(*strm << '"' << value.get() << '"'); }

bool AVNEncoder::do_visit(const SEQUENCE_OF_Base& value) {
  const int outer = indent;
  *strm << "{\n";
  indent += 2;
  const SEQUENCE_OF_Base::Container& elements = value.elements();
  for (std::size_t i = 0; i < elements.size() && strm->good(); ++i) {
    *strm << std::string(static_cast<std::size_t>(indent), ' ');
    if (!elements[i]->accept(*this)) return false;
    if (i + 1 < elements.size()) *strm << ",\n";
  }
  indent -= 2;
  if (!elements.empty() && strm->good()) *strm << '\n';
  *strm << std::string(static_cast<std::size_t>(outer), ' ') << '}';
  return strm->good();
}

bool AVNEncoder::preVisitExtensionRoots(const SEQUENCE&) {
  *strm << "{\n";
  fieldWritten.push_back(false);
  return strm->good();
}

bool AVNEncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<unsigned>(index));
  if (!field) return false;
  if (fieldWritten.back()) *strm << ",\n";
  *strm << std::string(static_cast<std::size_t>(indent + 2), ' ') << value.info()->fieldNames[index] << ' ';
  indent += 2;
  bool printed = field->accept(*this);
  indent -= 2;
  if (!printed) return false;
  fieldWritten.back() = true;
  return strm->good();
}

bool AVNEncoder::visitKnownExtension(const SEQUENCE& value, int index) { return visitExtensionRoot(value, index); }

bool AVNEncoder::afterVisitSequence(const SEQUENCE&) {
  if (fieldWritten.back()) *strm << '\n';
  fieldWritten.pop_back();
  *strm << std::string(static_cast<std::size_t>(indent), ' ') << '}';
  return strm->good();
}

}  // namespace ASN1
