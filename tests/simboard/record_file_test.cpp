#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "simboard/record_file.h"
#include "tests/support/external_tools.h"

using namespace SimBoard;
using testing_support::readFile;

namespace {

// The inode the path names, 0 when it names nothing.
ino_t inodeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Each record goes at the end of the same file, the bytes before it left as
// they were; what an earlier run left is removed first.
TEST(SimRecordFile, AppendsEachRecordToTheSameFile) {
  testing_support::ScratchDir dir("record-file");
  const std::string path = dir.path() + "/watchdog", old = path + ".old";
  std::ofstream(path) << "START\nPING\n";
  std::ofstream(old) << "PING\n";
  RecordFile file(path, 1024);
  const ino_t inode = inodeOf(path);
  ASSERT_NE(inode, 0u);
  EXPECT_EQ(readFile(path), "");
  EXPECT_EQ(inodeOf(old), 0u);
  std::string expected;
  for (const std::string record : {"START\n", "PING\n", "two\nlines\n", "PING\n", "STOP\n"}) {
    file.add(record);
    expected += record;
    EXPECT_EQ(inodeOf(path), inode) << record;
    EXPECT_EQ(readFile(path), expected) << record;
  }
  EXPECT_EQ(read_lines(path), expected);
}

// Past the limit, a record starts a new file: the full one is renamed to
// "<path>.old" whole, in place of none (the one there before is removed
// first). Neither file outgrows the limit (but for a record larger than
// it, alone in its file), together they hold at least the limit's worth of
// the latest records, and a reader sees each of those once, in order.
TEST(SimRecordFile, RotatesWithoutReplacingAFileAndReadersSeeEachRecordOnce) {
  testing_support::ScratchDir dir("record-file");
  const std::string path = dir.path() + "/rtp_ext", old = path + ".old";
  constexpr size_t Limit = 64;
  RecordFile file(path, Limit);
  std::string history;
  int rotations = 0;
  for (int n = 0; n < 300; ++n) {
    const std::string record = n == 150 ? std::string(99, 'x') + "\n" : "record " + std::to_string(n) + "\n";
    const ino_t before = inodeOf(path);
    const std::string text = readFile(path);
    file.add(record);
    history += record;
    SCOPED_TRACE(n);
    if (inodeOf(path) == before) {
      EXPECT_EQ(readFile(path), text + record);
    } else {
      ++rotations;
      EXPECT_GT(text.size() + record.size(), Limit);
      EXPECT_EQ(inodeOf(old), before);
      EXPECT_EQ(readFile(old), text);
      EXPECT_EQ(readFile(path), record);
    }
    EXPECT_LE(readFile(path).size(), std::max(Limit, record.size()));
    EXPECT_LE(readFile(old).size(), std::max(Limit, size_t(100)));
    const std::string lines = read_lines(path);
    ASSERT_LE(lines.size(), history.size());
    EXPECT_GE(lines.size(), std::min(history.size(), Limit));
    EXPECT_EQ(lines, history.substr(history.size() - lines.size()));
    EXPECT_TRUE(lines.size() == history.size() || history[history.size() - lines.size() - 1] == '\n');
  }
  EXPECT_GT(rotations, 40);
}

// A record being written may show in part: readers leave out a line not
// ended yet, and a snapshot not ended by its empty line, also one cut short
// at the end of the rotated file.
TEST(SimRecordFile, ReadersTakeWholeLinesAndTheLastCompleteSnapshot) {
  testing_support::ScratchDir dir("record-file");
  const std::string lines = dir.path() + "/watchdog";
  RecordFile log(lines, 1024);
  log.add("START\n");
  std::ofstream(lines, std::ios::app) << "PI";
  EXPECT_EQ(read_lines(lines), "START\n");
  EXPECT_EQ(read_lines(dir.path() + "/none"), "");

  const std::string path = dir.path() + "/switch", old = path + ".old";
  RecordFile snapshots(path, 20);
  EXPECT_EQ(read_snapshot(path), "");
  snapshots.add_snapshot("1 a\n2 b\n");
  EXPECT_EQ(read_snapshot(path), "1 a\n2 b\n");
  snapshots.add_snapshot("1 c\n2 d\n");
  EXPECT_EQ(readFile(path), "1 a\n2 b\n\n1 c\n2 d\n\n");
  EXPECT_EQ(read_snapshot(path), "1 c\n2 d\n");
  std::ofstream(path, std::ios::app) << "1 e\n";
  EXPECT_EQ(read_snapshot(path), "1 c\n2 d\n");
  snapshots.add_snapshot("1 f\n");  // past the limit: a new file
  EXPECT_EQ(readFile(old), "1 a\n2 b\n\n1 c\n2 d\n\n1 e\n");
  EXPECT_EQ(read_snapshot(path), "1 f\n");
  snapshots.add_snapshot("");  // a switch with no output set
  EXPECT_EQ(read_snapshot(path), "");
  snapshots.add_snapshot("1 g\n");
  // Between the rename and the new file's first snapshot.
  ASSERT_EQ(::unlink(old.c_str()), 0);
  ASSERT_EQ(::rename(path.c_str(), old.c_str()), 0);
  EXPECT_EQ(read_snapshot(path), "1 g\n");
  EXPECT_EQ(read_lines(path), "1 f\n\n\n1 g\n\n");
}

}  // namespace
