#include "foundation/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <iostream>
#include <sstream>

#include "foundation/regular_file.h"

namespace IniFile {

// ---- SubKey ----

bool SubKey::GetBool(bool def) const {
  if (mValue == "true" || mValue == "yes" || mValue == "1" || mValue == "on")
    return true;
  if (mValue == "false" || mValue == "no" || mValue == "0" || mValue == "off")
    return false;
  return def;
}

void SubKey::SetBool(bool b) { mValue = b ? "yes" : "no"; }

int SubKey::GetInt(int def) const {
  int value = def;
  std::sscanf(mValue.c_str(), "%d", &value);
  return value;
}

void SubKey::SetInt(int i) { mValue = std::to_string(i); }

float SubKey::GetFloat(float def) const {
  float value = def;
  std::sscanf(mValue.c_str(), "%f", &value);
  return value;
}

void SubKey::SetFloat(float f) {
  std::ostringstream text;
  text << f;
  mValue = text.str();
}

void SubKey::Dump(std::ostream& out) const {
  out << "dumping IniFile::SubKey\n"
      << "mValue=\"" << mValue << "\"\n"
      << "mLineNo=" << mLineNo << '\n';
}

// ---- Key ----

SubKey* Key::NewSubKey(const std::string& value, int line) { return mSubKeys.append(new SubKey(value, line)); }

void Key::CheckEmpty() {
  if (mSubKeys.count() == 0)
    NewSubKey("", -1);
}

void Key::Dump(std::ostream& out) const {
  out << "dumping IniFile::Key\n"
      << "mName=\"" << mName << "\"\n"
      << "mSubKeyCount=" << mSubKeys.count() << '\n';
  for (const SubKey& subKey : *this)
    subKey.Dump(out);
}

// ---- SubSection ----

Key& SubSection::operator[](const std::string& name) {
  auto found = mKeyMap.find(name);
  if (found != mKeyMap.end())
    return *found->second;
  Key* key = mKeys.append(new Key(name));
  mKeyMap.emplace(name, key);
  return *key;
}

SubKey* SubSection::NewSubKey(const std::string& key, const std::string& value, int line) {
  return (*this)[key].NewSubKey(value, line);
}

void SubSection::Dump(std::ostream& out) const {
  out << "dumping IniFile::SubSection\n"
      << "mLineNo=\"" << mLineNo << "\"\n"
      << "mKeyCount=" << mKeys.count() << '\n';
  for (const Key& key : *this)
    key.Dump(out);
}

// ---- Section ----

SubSection* Section::NewSubSection(int line) { return mSubSections.append(new SubSection(line)); }

void Section::CheckEmpty() {
  if (mSubSections.count() == 0)
    NewSubSection(-1);
}

void Section::Dump(std::ostream& out) const {
  out << "dumping IniFile::Section\n"
      << "mName=\"" << mName << "\"\n"
      << "mSubSectionCount=" << mSubSections.count() << '\n';
  for (const SubSection& sub : *this)
    sub.Dump(out);
}

// ---- File ----

bool File::Open(const std::string& name) {
  Close();
  mFileName = name;
  Fd fd = OpenRegularFile(name, O_RDONLY);
  if (!fd) {
    // There, but no regular file (a directory, a FIFO, a device): unreadable.
    if (errno == EISDIR || errno == ENXIO)
      std::cerr << "IniFile: error reading \"" << name << "\": " << std::strerror(errno) << std::endl;
    return false;
  }
  __gnu_cxx::stdio_filebuf<char> buf(fd.release(), std::ios::in | std::ios::binary);
  std::istream in(&buf);
  Parse(in);
  return mOpened;
}

void File::Close() {
  if (!mOpened)
    return;
  mSectionMap.clear();
  mSections.clear();
  mOpened = false;
}

Section& File::operator[](const std::string& name) {
  auto found = mSectionMap.find(name);
  if (found != mSectionMap.end())
    return *found->second;
  Section* section = mSections.append(new Section(name));
  mSectionMap.emplace(name, section);
  return *section;
}

SubSection* File::NewSubSection(const std::string& name, int line) { return (*this)[name].NewSubSection(line); }

void File::Dump(std::ostream& out) const {
  out << "dumping IniFile::File\n"
      << "mFileName=\"" << mFileName << "\"\n\n"
      << "mSectionCount=" << mSections.count() << '\n';
  for (const Section& section : *this)
    section.Dump(out);
}

std::istream& operator>>(std::istream& in, File& file) {
  file.Close();
  file.mFileName = "";
  file.Parse(in);
  return in;
}

// One pass over the bytes with a small state machine:
//   0 before the first header or after a broken one, 1 in a header name,
//   2 after "]", 3 at the start of a section line, 4 in a key name,
//   5 after "=" before the value, 6 in a value.
void File::Parse(std::istream& in) {
  enum { Outside, HeaderName, AfterHeader, LineStart, KeyName, BeforeValue, InValue };
  mOpened = true;

  int state = Outside;
  bool comment = false;
  int line = 1;
  SubSection* current = nullptr;
  std::string sectionName, keyName, value;
  int pending = 0;  // blanks seen but not yet known to be inside the text

  auto storeKey = [&] {
    current->NewSubKey(keyName, value, line);
    keyName.clear();
  };

  // A file buffer throws on a read error (EIO): the document
  // then ends at the last whole line read, and the stream is marked bad.
  std::streambuf* buf = in.rdbuf();
  auto next = [&]() -> int {
    try {
      return buf->sbumpc();
    } catch (const std::ios_base::failure& e) {
      std::cerr << "IniFile: error reading \"" << mFileName << "\": " << e.code().message() << std::endl;
      in.setstate(std::ios_base::badbit);
      state = Outside;
      return std::char_traits<char>::eof();
    }
  };
  for (int ch = next(); ch != std::char_traits<char>::eof(); ch = next()) {
    const char c = static_cast<char>(ch);
    if (c == '\r')
      continue;
    if (comment) {
      if (c != '\n')
        continue;
      comment = false;
    }
    switch (state) {
    case Outside:
      if (c == '#') {
        comment = true;
      } else if (c == '[') {
        sectionName.clear();
        state = HeaderName;
      }
      break;
    case HeaderName:
      if (c == '\n') {
        state = Outside;
      } else if (c == ']') {
        current = NewSubSection(sectionName, line);
        state = AfterHeader;
      } else {
        sectionName += c;
      }
      break;
    case AfterHeader:
      if (c == '\n')
        state = LineStart;
      else if (c == '#')
        comment = true;
      break;
    case LineStart:
      if (c == '#') {
        comment = true;
      } else if (c == '\t' || c == '\n' || c == ' ') {
      } else if (c == '[') {
        sectionName.clear();
        state = HeaderName;
      } else {
        keyName.assign(1, c);
        pending = 0;
        state = KeyName;
      }
      break;
    case KeyName:
      if (c == ' ') {
        ++pending;
      } else if (c == '\n') {
        keyName.clear();
        pending = 0;
        state = LineStart;
      } else if (c == '=') {
        value.clear();
        state = BeforeValue;
      } else {
        keyName.append(pending, ' ');
        keyName += c;
        pending = 0;
      }
      break;
    case BeforeValue:
      if (c == ' ') {
      } else if (c == '\n') {
        storeKey();
        state = LineStart;
      } else if (c == '#') {
        comment = true;
      } else {
        value.assign(1, c);
        pending = 0;
        state = InValue;
      }
      break;
    case InValue:
      if (c == ' ') {
        ++pending;
      } else if (c == '\n') {
        storeKey();
        state = LineStart;
      } else if (c == '#') {
        if (pending == 0) {
          value += c;
        } else {
          pending = 0;
          comment = true;
        }
      } else {
        value.append(pending, ' ');
        value += c;
        pending = 0;
      }
      break;
    }
    if (c == '\n')
      ++line;
  }
  if (state == BeforeValue || state == InValue)
    storeKey();
}

}  // namespace IniFile
