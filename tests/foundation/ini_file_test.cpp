#include "foundation/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/log_capture.h"

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

TEST(IniFile, KeysValuesCommentsAndDroppedText) {
  IniFile::File file;
  parse(file,
        "k0=before\n"  // before the first header: dropped
        "[a]  # trailing\nx = 1 2 \nx=3\n"  // repeated keys keep every occurrence
        "junk\n"                            // no "=": dropped
        "[s]\n"
        "k1=v#w\n"
        "k2=v #w\n"
        "k3=#w\n"
        "  k 5  = a = b  \n"
        "\tk6=\tx\t\n"
        "  # k7=comment\n"
        "[broken\n"  // unterminated header: dropped with what follows
        "k=lost\n"
        "[c]x=ignored\n"  // the rest of a header line is ignored
        "k=last");        // no final line feed
  EXPECT_TRUE(file.IsOpened());
  EXPECT_EQ(2, file["a"].First()->LineNo());
  EXPECT_EQ("\"1 2\"@3 \"3\"@4", values(file, "a", "x"));
  EXPECT_EQ("[x]", keyNames(file, "a"));
  EXPECT_EQ("\"v#w\"@7", values(file, "s", "k1"));
  EXPECT_EQ("\"v\"@8", values(file, "s", "k2"));
  EXPECT_EQ("\"\"@9", values(file, "s", "k3"));
  EXPECT_EQ("\"a = b\"@10", values(file, "s", "k 5"));
  EXPECT_EQ("\"\tx\t\"@11", values(file, "s", "k6"));
  EXPECT_EQ("[k1][k2][k3][k 5][k6]", keyNames(file, "s"));
  EXPECT_EQ("\"last\"@16", values(file, "c", "k"));
  std::string sections;
  for (IniFile::Section& s : file)
    sections += s.Name();
  EXPECT_EQ("asc", sections);
}

TEST(IniFile, LookupsCreateEmptyNodesAndAMissingFileLeavesAnEmptyDocument) {
  IniFile::File file;
  parse(file, "[a]\n");
  IniFile::Section& missing = file["none"];
  EXPECT_EQ(0, missing.Count());
  missing.CheckEmpty();  // gives it an empty occurrence to look into
  (*missing.First())["k"].CheckEmpty();
  EXPECT_EQ("\"\"@-1", values(file, "none", "k"));
  EXPECT_EQ(2, file.SectionCount());

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

namespace {

// Hands out its text, then fails the next read as a file buffer does on EIO.
class FailingBuf : public std::streambuf {
public:
  explicit FailingBuf(std::string text) : text_(std::move(text)) { setg(&text_[0], &text_[0], &text_[0] + text_.size()); }

protected:
  int_type underflow() override { throw std::ios_base::failure("read", std::error_code(EIO, std::generic_category())); }

private:
  std::string text_;
};

}  // namespace

// A read error ends the document at the last whole line read, with one log
// line; a directory reads nothing and leaves an empty document.
TEST(IniFile, AReadErrorEndsTheDocumentWhereItStands) {
  testing_support::LogCapture log;
  FailingBuf buf("[a]\nx=1\n[b]\ny=2\nz=half");
  std::istream in(&buf);
  IniFile::File file;
  in >> file;
  EXPECT_TRUE(in.bad());
  EXPECT_TRUE(file.IsOpened());
  EXPECT_EQ("\"1\"@2", values(file, "a", "x"));
  EXPECT_EQ("\"2\"@4", values(file, "b", "y"));
  EXPECT_EQ("[y]", keyNames(file, "b"));  // the unfinished line is not stored
  EXPECT_EQ("IniFile: error reading \"\": Input/output error\n", log.err());

  log.clear();
  char dir[] = "/tmp/ini-dir-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  IniFile::File fromDir;
  fromDir.Open(dir);
  rmdir(dir);
  EXPECT_EQ(0, fromDir.SectionCount());
  EXPECT_EQ(0, fromDir["traces"].Count());
  EXPECT_EQ("IniFile: error reading \"" + std::string(dir) + "\": Is a directory\n", log.err());
}

// Whatever is at the path but no regular file is unreadable, without
// waiting (a plain open of a FIFO waits for a writer): one log line and an
// empty document.
TEST(IniFile, ANonRegularFileIsUnreadable) {
  char dir[] = "/tmp/ini-fifo-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string fifo = std::string(dir) + "/server.conf";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
  for (const std::string& path : {fifo, std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    testing_support::LogCapture log;
    IniFile::File file;
    EXPECT_FALSE(file.Open(path));
    EXPECT_FALSE(file.IsOpened());
    EXPECT_EQ(0, file.SectionCount());
    EXPECT_EQ(0, file["traces"].Count());
    EXPECT_EQ("IniFile: error reading \"" + path + "\": No such device or address\n", log.err());
  }
  unlink(fifo.c_str());
  rmdir(dir);
}
