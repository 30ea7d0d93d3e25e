#include "foundation/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// "value@line" of every occurrence of a key in one section occurrence.
std::string values(IniFile::File& file, const std::string& section, const std::string& key, int occurrence = 0) {
  std::string result;
  int n = 0;
  for (IniFile::SubSection& sub : file[section])
    if (n++ == occurrence)
      for (IniFile::SubKey& k : sub[key])
        result += (result.empty() ? "" : " ") + ("\"" + k.Value() + "\"@") + std::to_string(k.LineNo());
  return result;
}

std::string keyNames(IniFile::File& file, const std::string& section) {
  std::string names;
  for (IniFile::SubSection& sub : file[section])
    for (IniFile::Key& key : sub)
      names += "[" + key.Name() + "]";
  return names;
}

void parse(IniFile::File& file, const std::string& text) {
  std::istringstream in(text);
  in >> file;
}

}  // namespace

TEST(IniFile, KeysValuesAndComments) {
  IniFile::File file;
  parse(file,
        "[a]\nx = 1 2 \nx=3\n"  // repeated keys keep every occurrence
        "[s]\n"
        "k1=v#w\n"
        "k2=v #w\n"
        "k3=#w\n"
        "k4 = \n"
        "  k 5  = a = b  \n"
        "\tk6=\tx\t\n"
        "  # k7=comment\n"
        "[ a ]\n");
  EXPECT_TRUE(file.IsOpened());
  ASSERT_EQ(1, file["a"].Count());
  EXPECT_EQ(1, file["a"].First()->LineNo());
  EXPECT_EQ("\"1 2\"@2 \"3\"@3", values(file, "a", "x"));
  EXPECT_EQ("\"v#w\"@5", values(file, "s", "k1"));
  EXPECT_EQ("\"v\"@6", values(file, "s", "k2"));
  EXPECT_EQ("\"\"@7", values(file, "s", "k3"));
  EXPECT_EQ("\"\"@8", values(file, "s", "k4"));
  EXPECT_EQ("\"a = b\"@9", values(file, "s", "k 5"));
  EXPECT_EQ("\"\tx\t\"@10", values(file, "s", "k6"));
  EXPECT_EQ("[k1][k2][k3][k4][k 5][k6]", keyNames(file, "s"));
  EXPECT_EQ(12, file[" a "].First()->LineNo());
}

TEST(IniFile, DroppedText) {
  IniFile::File file;
  parse(file,
        "k0=before\n"        // before the first header
        "[a]  # trailing\n"  // 2
        "junk\n"             // no "=": dropped
        "k=v\n"              // 4
        "junk2\n"
        "[b]\n"              // 6
        "[broken\n"          // unterminated header: dropped with what follows
        "k=lost\n"
        "[c]x=ignored\n"     // 9: the rest of a header line is ignored
        "k=last");           // 10: no final line feed
  EXPECT_EQ("[k]", keyNames(file, "a"));
  EXPECT_EQ("\"v\"@4", values(file, "a", "k"));
  EXPECT_EQ("", keyNames(file, "b"));
  EXPECT_EQ("\"last\"@10", values(file, "c", "k"));
  std::string sections;
  for (IniFile::Section& s : file)
    sections += s.Name();
  EXPECT_EQ("abc", sections);
}

TEST(IniFile, CrLfGivesTheSameDocumentAsLf) {
  const std::string lf = "# c\n[a]\nx = 1\n\n[b]\ny=2 #c\n[a]\nx=3\n";
  std::string crlf;
  for (char c : lf)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  IniFile::File one, two;
  parse(one, lf);
  parse(two, crlf);
  std::ostringstream d1, d2;
  one.Dump(d1);
  two.Dump(d2);
  EXPECT_EQ(d1.str(), d2.str());
  EXPECT_EQ("\"3\"@8", values(two, "a", "x", 1));
}

TEST(IniFile, LookupsCreateEmptyNodesAndAMissingFileLeavesAnEmptyDocument) {
  IniFile::File file;
  parse(file, "[a]\n");
  IniFile::Section& missing = file["none"];
  EXPECT_EQ(0, missing.Count());
  EXPECT_EQ(2, file.SectionCount());
  missing.CheckEmpty();
  (*missing.First())["k"].CheckEmpty();
  EXPECT_EQ("\"\"@-1", values(file, "none", "k"));
  EXPECT_TRUE(IniFile::SubKey("on", 1).GetBool(false));  // the document's own bool words

  char path[] = "/tmp/ini-test-XXXXXX";
  close(mkstemp(path));
  std::ofstream(path) << "[traces]\nsignalling.isdn=yes\n";
  IniFile::File real(path);
  unlink(path);
  EXPECT_EQ("\"yes\"@2", values(real, "traces", "signalling.isdn"));
  EXPECT_FALSE(real.Open(std::string(path) + ".missing"));
  EXPECT_FALSE(real.IsOpened());
  EXPECT_EQ(0, real["traces"].Count());
}
