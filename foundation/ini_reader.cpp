#include "foundation/ini_reader.h"

namespace IniFile {

namespace Private {

bool TKeyValue<bool>::do_parse(const char* text) {
  static const char* const yes[] = {"true", "yes", "enabled", "enable", "1"};
  static const char* const no[] = {"false", "no", "disabled", "disable", "0"};
  for (const char* word : yes) {
    if (std::strcmp(word, text) == 0) {
      *variable_ = true;
      return true;
    }
  }
  for (const char* word : no) {
    if (std::strcmp(word, text) == 0) {
      *variable_ = false;
      return true;
    }
  }
  return false;
}

}  // namespace Private

namespace {

void putLines(std::ostream& out, const Key& key) {
  for (const SubKey& sub : key)
    out << ' ' << sub.LineNo();
}

}  // namespace

bool Reader::parse(SubSection& section) {
  for (const auto& field : required) {
    Key& key = section[field->name()];
    switch (key.Count()) {
    case 0:
      out_ << prefix_ << "required key \"" << field->name() << "\" not present, line " << section.LineNo()
           << std::endl;
      return false;
    case 1: {
      key.CheckEmpty();
      const SubKey& sub = *key.First();
      field->set = field->do_parse(sub.Value().c_str());
      if (!field->set) {
        out_ << prefix_ << "required key \"" << field->name() << "\" has invalid value=\"" << sub.Value()
             << "\", line " << sub.LineNo() << std::endl;
        return false;
      }
      break;
    }
    case 2:
      out_ << prefix_ << "required key \"" << field->name() << "\" is duplicated!" << std::endl
           << prefix_ << " first occurence at " << key.First()->LineNo() << " line." << std::endl
           << prefix_ << " second occurence at " << key.First()->Next()->LineNo() << " line." << std::endl;
      return false;
    default:
      out_ << prefix_ << "required key \"" << field->name() << "\" specified more than once:";
      putLines(out_, key);
      out_ << " lines" << std::endl;
      return false;
    }
  }

  for (const auto& field : optional) {
    Key& key = section[field->name()];
    field->set = false;
    switch (key.Count()) {
    case 0:
      break;
    case 1: {
      key.CheckEmpty();
      const SubKey& sub = *key.First();
      field->set = field->do_parse(sub.Value().c_str());
      if (!field->set)
        out_ << prefix_ << "optional key \"" << field->name() << "\" has invalid value=\"" << sub.Value()
             << "\", line " << sub.LineNo() << ". Key will be ignored." << std::endl;
      break;
    }
    case 2:
      out_ << prefix_ << "optional key \"" << field->name() << "\" is duplicated!" << std::endl
           << prefix_ << " first occurence at " << key.First()->LineNo() << " line." << std::endl
           << prefix_ << " second occurence at " << key.First()->Next()->LineNo()
           << " line. Both keys will be ignored." << std::endl;
      break;
    default:
      out_ << prefix_ << "optional key \"" << field->name() << "\" specified more than once:";
      putLines(out_, key);
      out_ << " lines. All keys will be ignored." << std::endl;
      break;
    }
  }
  return true;
}

}  // namespace IniFile
