#include "foundation/ini_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

using IniFile::File;

namespace {

struct KeyLine {
  std::string value;
  int line;
  bool operator==(const KeyLine& o) const { return value == o.value && line == o.line; }
};

std::ostream& operator<<(std::ostream& out, const KeyLine& k) { return out << '"' << k.value << "\"@" << k.line; }

void parse(File& file, const std::string& text) {
  std::istringstream in(text);
  in >> file;
}

std::vector<KeyLine> values(File& file, const std::string& section, const std::string& key, int occurrence = 0) {
  std::vector<KeyLine> result;
  IniFile::Section& s = file[section];
  int n = 0;
  for (IniFile::SubSection& sub : s) {
    if (n++ != occurrence)
      continue;
    for (IniFile::SubKey& k : sub[key])
      result.push_back({k.Value(), k.LineNo()});
  }
  return result;
}

std::vector<std::string> keyNames(File& file, const std::string& section) {
  std::vector<std::string> names;
  for (IniFile::SubSection& sub : file[section])
    for (IniFile::Key& key : sub)
      names.push_back(key.Name());
  return names;
}

}  // namespace

TEST(IniFile, RepeatedKeysKeepEveryOccurrenceWithItsLine) {
  File file;
  parse(file, "[a]\nx = 1 2 \nx=3\n");
  EXPECT_TRUE(file.IsOpened());
  ASSERT_EQ(1, file["a"].Count());
  EXPECT_EQ(1, file["a"].First()->LineNo());
  EXPECT_EQ((std::vector<KeyLine>{{"1 2", 2}, {"3", 3}}), values(file, "a", "x"));
}

TEST(IniFile, ValuesCommentsAndBlanks) {
  File file;
  parse(file,
        "[s]\n"
        "k1=v#w\n"
        "k2=v #w\n"
        "k3=#w\n"
        "k4 = \n"
        "  k 5  = a = b  \n"
        "\tk6=\tx\t\n"
        "k7=  a  b # c\n"
        "  # k8=comment\n"
        "[ a ]\n");
  EXPECT_EQ((std::vector<KeyLine>{{"v#w", 2}}), values(file, "s", "k1"));
  EXPECT_EQ((std::vector<KeyLine>{{"v", 3}}), values(file, "s", "k2"));
  EXPECT_EQ((std::vector<KeyLine>{{"", 4}}), values(file, "s", "k3"));
  EXPECT_EQ((std::vector<KeyLine>{{"", 5}}), values(file, "s", "k4"));
  EXPECT_EQ((std::vector<KeyLine>{{"a = b", 6}}), values(file, "s", "k 5"));
  EXPECT_EQ((std::vector<KeyLine>{{"\tx\t", 7}}), values(file, "s", "k6"));
  EXPECT_EQ((std::vector<KeyLine>{{"a  b", 8}}), values(file, "s", "k7"));
  EXPECT_EQ((std::vector<std::string>{"k1", "k2", "k3", "k4", "k 5", "k6", "k7"}), keyNames(file, "s"));
  ASSERT_EQ(1, file[" a "].Count());
  EXPECT_EQ(10, file[" a "].First()->LineNo());
}

TEST(IniFile, DroppedText) {
  File file;
  parse(file,
        "k0=before\n"       // before the first header: ignored
        "[a]  # trailing\n"  // 2
        "junk\n"             // no "=": dropped
        "k=v\n"              // 4
        "junk2\n"
        "[b]\n"              // 6
        "[broken\n"          // unterminated header: dropped with what follows
        "k=lost\n"
        "[c]x=ignored\n"     // 9: rest of the header line ignored
        "k=last");           // 10: no final line feed
  EXPECT_EQ((std::vector<std::string>{"k"}), keyNames(file, "a"));
  EXPECT_EQ((std::vector<KeyLine>{{"v", 4}}), values(file, "a", "k"));
  EXPECT_EQ(1, file["b"].Count());
  EXPECT_EQ(0, file["b"].First()->KeyCount());
  EXPECT_EQ((std::vector<KeyLine>{{"last", 10}}), values(file, "c", "k"));
  // Sections in order of first appearance; the lookups above added none
  // except those already there.
  std::vector<std::string> sections;
  for (IniFile::Section& s : file)
    sections.push_back(s.Name());
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), sections);
}

TEST(IniFile, CrLfGivesTheSameDocumentAsLf) {
  const std::string lf = "# c\n[a]\nx = 1\n\n[b]\ny=2 #c\n[a]\nx=3\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n')
      crlf += '\r';
    crlf += c;
  }
  File one, two;
  parse(one, lf);
  parse(two, crlf);
  std::ostringstream d1, d2;
  one.Dump(d1);
  two.Dump(d2);
  EXPECT_EQ(d1.str(), d2.str());
  EXPECT_EQ(2, one["a"].Count());
  EXPECT_EQ((std::vector<KeyLine>{{"3", 8}}), values(two, "a", "x", 1));
}

TEST(IniFile, LookupsCreateEmptyNodesAndCheckEmptyFillsThem) {
  File file;
  parse(file, "[a]\n");
  IniFile::Section& missing = file["none"];
  EXPECT_EQ(0, missing.Count());
  EXPECT_EQ(2, file.SectionCount());
  missing.CheckEmpty();
  ASSERT_EQ(1, missing.Count());
  EXPECT_EQ(-1, missing.First()->LineNo());
  IniFile::Key& key = (*missing.First())["k"];
  EXPECT_EQ(0, key.Count());
  key.CheckEmpty();
  key.CheckEmpty();
  ASSERT_EQ(1, key.Count());
  EXPECT_EQ("", key.First()->Value());
  EXPECT_EQ(-1, key.First()->LineNo());
}

TEST(IniFile, SubKeyTypedAccess) {
  IniFile::SubKey k("on", 1);
  EXPECT_TRUE(k.GetBool(false));
  k = IniFile::SubKey("off", 1);
  EXPECT_FALSE(k.GetBool(true));
  k = IniFile::SubKey("True", 1);
  EXPECT_TRUE(k.GetBool(true));
  EXPECT_FALSE(k.GetBool(false));
  k.SetBool(false);
  EXPECT_EQ("no", k.Value());
  EXPECT_EQ(7, k.GetInt(7));
  k.SetInt(-42);
  EXPECT_EQ(-42, k.GetInt(0));
  k.SetFloat(2.5f);
  EXPECT_EQ("2.5", k.Value());
  EXPECT_FLOAT_EQ(2.5f, k.GetFloat(0));
}

TEST(IniFile, OpenReadsAFileAndAMissingFileLeavesAnEmptyDocument) {
  char dir[] = "/tmp/ini-test-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string path = std::string(dir) + "/server.conf";
  std::ofstream(path) << "[traces]\nsignalling.isdn=yes\n";

  File file(path);
  EXPECT_TRUE(file.IsOpened());
  EXPECT_EQ(path, file.FileName());
  EXPECT_EQ((std::vector<KeyLine>{{"yes", 2}}), values(file, "traces", "signalling.isdn"));

  EXPECT_FALSE(file.Open(path + ".missing"));
  EXPECT_FALSE(file.IsOpened());
  EXPECT_EQ(0, file.SectionCount());
  EXPECT_EQ(0, file["traces"].Count());

  std::remove(path.c_str());
  rmdir(dir);
}

TEST(IniFile, Dump) {
  File file;
  parse(file, "[a]\nk=v\n");
  std::ostringstream out;
  file.Dump(out);
  EXPECT_EQ(
      "dumping IniFile::File\n"
      "mFileName=\"\"\n"
      "\n"
      "mSectionCount=1\n"
      "dumping IniFile::Section\n"
      "mName=\"a\"\n"
      "mSubSectionCount=1\n"
      "dumping IniFile::SubSection\n"
      "mLineNo=\"1\"\n"
      "mKeyCount=1\n"
      "dumping IniFile::Key\n"
      "mName=\"k\"\n"
      "mSubKeyCount=1\n"
      "dumping IniFile::SubKey\n"
      "mValue=\"v\"\n"
      "mLineNo=2\n",
      out.str());
}
