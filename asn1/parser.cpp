#include "asn1/parser.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <sstream>

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

namespace {

bool isBlank(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool endsName(int c) { return c == ',' || c == '}' || c == ':'; }

// The next character after white space, left unread; EOF at the end.
int peekNonBlank(std::istream& stream) {
  int c = stream.peek();
  while (c != std::char_traits<char>::eof() && isBlank(c)) {
    stream.get();
    c = stream.peek();
  }
  return c;
}

bool readChar(std::istream& stream, char expected) {
  char c;
  return stream >> c && c == expected;
}

// Everything up to `delimiter`, which is consumed; false when it never comes.
bool readUpTo(std::istream& stream, std::string& text, char delimiter) {
  text.clear();
  return std::getline(stream, text, delimiter) && !stream.eof();
}

// A whole decimal number, optionally negative, that fits an int.
bool parseDecimal(const std::string& word, int& value) {
  if (word.empty()) return false;
  const char* digits = word.c_str() + (word[0] == '-');
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
  char* end = nullptr;
  long long v = std::strtoll(word.c_str(), &end, 10);
  if (*end != '\0' || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// The unsigned number at the start of `text`, which must start with a digit.
bool leadingArc(const char* text, unsigned& arc) {
  if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  unsigned long long v = std::strtoull(text, nullptr, 10);
  if (v > 0xffffffffull) return false;
  arc = static_cast<unsigned>(v);
  return true;
}

// Whether a mandatory root field follows field `index` (-1: from the first).
bool mandatoryAfter(const SEQUENCE& value, int index) {
  const SEQUENCE::InfoType* record = value.info();
  for (unsigned i = static_cast<unsigned>(index + 1); i < record->numFields; ++i)
    if (record->fieldIds[i] == -1) return true;
  return false;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

}  // namespace

bool get_id(const char* const* names, unsigned count, const std::string& name, unsigned& index) {
  for (unsigned i = 0; i < count; ++i) {
    if (name == names[i]) {
      index = i;
      return true;
    }
  }
  return false;
}

bool get_string(std::istream& stream, std::string& text) {
  return readChar(stream, '"') && readUpTo(stream, text, '"');
}

bool get_from_string(const std::string& digits, std::vector<char>& octets, unsigned& bits, int base) {
  if (base != 2 && base != 16) return false;
  std::string packed;
  for (char c : digits)
    if (!isBlank(c)) packed += c;
  const unsigned bitsPerDigit = base == 2 ? 1 : 4, perOctet = 8 / bitsPerDigit;
  bits = static_cast<unsigned>(packed.size()) * bitsPerDigit;
  while (packed.size() % perOctet) packed += '0';
  octets.clear();
  for (std::size_t i = 0; i < packed.size(); i += perOctet) {
    unsigned octet = 0;
    for (unsigned k = 0; k < perOctet; ++k) {
      int d = digitValue(packed[i + k]);
      if (d >= base) return false;
      octet = octet * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    octets.push_back(static_cast<char>(octet));
  }
  return true;
}

bool get_value_from(std::istream& stream, std::vector<char>& octets, unsigned& bits) {
  std::string digits;
  char form;
  if (!readChar(stream, '\'') || !readUpTo(stream, digits, '\'') || !(stream >> form)) return false;
  if (form != 'B' && form != 'H') return false;
  return get_from_string(digits, octets, bits, form == 'B' ? 2 : 16);
}

std::istream& operator>>(std::istream& stream, AbstractData& value) { return g_extractor(stream, value); }

bool AbstractData::setFromValueNotation(const std::string& text) {
  std::istringstream stream(text);
  AVNDecoder decoder(stream);
  return accept(decoder);
}

std::ios_base::iostate AbstractData::get_from(std::istream& stream) {
  AVNDecoder decoder(stream);
  return accept(decoder) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::string AVNDecoder::readLetters() {
  std::string letters;
  for (int c = peekNonBlank(*strm); std::isalpha(c); c = peekNonBlank(*strm)) letters += static_cast<char>(strm->get());
  return letters;
}

bool AVNDecoder::readName(std::string& name) {
  name.clear();
  int c = peekNonBlank(*strm);
  if (c == std::char_traits<char>::eof()) {
    strm->setstate(std::ios_base::failbit);
    return false;
  }
  if (endsName(c)) {
    name = static_cast<char>(strm->get());
    return true;
  }
  for (; c != std::char_traits<char>::eof() && !isBlank(c) && !endsName(c); c = strm->peek())
    name += static_cast<char>(strm->get());
  return true;
}

bool AVNDecoder::do_visit(Null&) { return readLetters() == "NULL"; }

bool AVNDecoder::do_visit(BOOLEAN& value) {
  std::string letters = readLetters();
  if (letters != "TRUE" && letters != "FALSE") return false;
  value.setValue(letters == "TRUE");
  return true;
}

bool AVNDecoder::do_visit(INTEGER& value) {
  if (value.holdsUnsigned()) {
    unsigned v;
    if (!(*strm >> v)) return false;
    value.setValue(static_cast<int>(v));
  } else {
    int v;
    if (!(*strm >> v)) return false;
    value.setValue(v);
  }
  return true;
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& value) {
  int c = peekNonBlank(*strm);
  if (std::isdigit(c) || c == '-') return do_visit(static_cast<INTEGER&>(value));
  std::string name;
  return readName(name) && value.setFromName(name);
}

bool AVNDecoder::do_visit(ENUMERATED& value) {
  std::string name;
  if (!readName(name)) return false;
  int number;
  if (parseDecimal(name, number)) {  // the printer writes a value without a name as its number
    value.setValue(number);
    return true;
  }
  return value.setFromName(name);
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& value) {
  std::string text;
  if (!readChar(*strm, '{') || !readUpTo(*strm, text, '}')) return false;
  std::vector<unsigned>& arcs = value.getValue();
  arcs.clear();
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    unsigned arc;
    std::string::size_type open = word.find('(');
    if (leadingArc(word.c_str(), arc) || (open != std::string::npos && leadingArc(word.c_str() + open + 1, arc))) {
      arcs.push_back(arc);
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(word[0]))) return false;  // too large for an arc
    // A name without its number: the next character (the "(" of "name (1)") is dropped.
    char dropped;
    if (!(words >> dropped)) return false;
  }
  return true;
}

bool AVNDecoder::do_visit(OCTET_STRING& value) {
  std::vector<char> octets;
  unsigned bits;
  if (!get_value_from(*strm, octets, bits)) return false;
  value.getValue().swap(octets);
  return true;
}

bool AVNDecoder::do_visit(BIT_STRING& value) {
  std::vector<char> octets;
  unsigned bits;
  if (!get_value_from(*strm, octets, bits)) return false;
  value.setData(reinterpret_cast<const unsigned char*>(octets.data()), bits);
  return true;
}

bool AVNDecoder::do_visit(AbstractString& value) { return get_string(*strm, value.getValue()); }

bool AVNDecoder::do_visit(BMPString& value) {
  std::wstring& text = value.getValue();
  if (peekNonBlank(*strm) == '{') {
    // The printer's form for text the locale cannot hold: { { 0, 0, row, cell }, ... }.
    strm->get();
    text.clear();
    char separator = ',';
    while (separator == ',') {
      unsigned group, plane, row, cell;
      char c1, c2, c3;
      if (!readChar(*strm, '{') || !(*strm >> group >> c1 >> plane >> c2 >> row >> c3 >> cell) || c1 != ',' || c2 != ',' ||
          c3 != ',' || group != 0 || plane != 0 || row > 0xff || cell > 0xff || !readChar(*strm, '}') || !(*strm >> separator))
        return false;
      text += static_cast<wchar_t>(row << 8 | cell);
    }
    return separator == '}';
  }
  std::string multibyte;
  if (!get_string(*strm, multibyte)) return false;
  std::size_t length = std::mbstowcs(nullptr, multibyte.c_str(), 0);
  if (length == static_cast<std::size_t>(-1)) return false;
  text.assign(length, L'\0');
  std::mbstowcs(&text[0], multibyte.c_str(), length);
  return true;
}

bool AVNDecoder::do_visit(CHOICE& value) {
  const CHOICE::InfoType* record = value.info();
  std::string name;
  unsigned index;
  if (!readName(name) || !readChar(*strm, ':') ||
      !get_id(record->selectionNames, record->totalChoices, name, index) || !value.select(static_cast<int>(index)))
    return false;
  return value.getSelection()->accept(*this);
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& value) {
  char c;
  if (!readChar(*strm, '{') || !(*strm >> c)) return false;
  value.clear();
  if (c == '}') return true;
  strm->putback(c);
  for (;;) {
    if (!value.appendDecoded(*this) || !(*strm >> c)) return false;
    if (c == '}') return true;
    if (c != ',') return false;
  }
}

bool AVNDecoder::do_visit(OpenData&) { return false; }
bool AVNDecoder::do_revisit(OpenData&) { return false; }

bool AVNDecoder::do_visit(TypeConstrainedOpenData& value) {
  return value.has_data() && value.get_data()->accept(*this);
}

bool AVNDecoder::do_visit(GeneralizedTime& value) {
  std::string text;
  return get_string(*strm, text) && value.set(text);
}

int AVNDecoder::preVisitExtensionRoots(SEQUENCE& value) {
  char c;
  if (!readChar(*strm, '{') || !(*strm >> c)) return FAIL;
  if (c == '}') return mandatoryAfter(value, -1) ? FAIL : STOP;  // no field: the OPTIONAL ones stay absent
  strm->putback(c);
  std::string name;
  if (!readName(name)) return FAIL;
  fieldNames.push_back(name);
  return CONTINUE;
}

int AVNDecoder::visitExtensionRoot(SEQUENCE& value, int index, int presenceIndex) {
  if (fieldNames.empty()) return FAIL;
  const unsigned i = static_cast<unsigned>(index);
  if (fieldNames.back() != value.info()->fieldNames[i]) return presenceIndex == -1 ? FAIL : CONTINUE;  // absent
  if (presenceIndex != -1) value.includeOptionalField(static_cast<unsigned>(presenceIndex), i);
  AbstractData* field = value.ensureField(i);
  char c;
  if (!field || !field->accept(*this) || !(*strm >> c)) return FAIL;
  if (c == ',' && readName(fieldNames.back())) return CONTINUE;
  if (c != '}' || mandatoryAfter(value, index)) return FAIL;
  fieldNames.pop_back();
  return STOP;  // the OPTIONAL fields and extensions after it stay as they are
}

int AVNDecoder::visitKnownExtension(SEQUENCE& value, int index, int presenceIndex) {
  return visitExtensionRoot(value, index, presenceIndex);
}

bool AVNDecoder::visitUnknownExtensions(SEQUENCE&) {
  // Every field was walked: only a "," right before the closing brace gets here.
  if (fieldNames.empty() || fieldNames.back() != "}") return false;
  fieldNames.pop_back();
  return true;
}

}  // namespace ASN1
