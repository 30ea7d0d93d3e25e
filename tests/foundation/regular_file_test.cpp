// The daemon's own files open only as regular files, never blocking: a
// FIFO without its other end, a socket, a device or a directory at the path
// is a failure to open, told by errno.
#include "foundation/regular_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/support/external_tools.h"

namespace {

const int kRead = O_RDONLY;
const int kWrite = O_WRONLY | O_CREAT | O_TRUNC;

// A listening Unix socket bound at path.
Fd boundSocket(const std::string& path) {
  Fd s(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un a = {};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  if (bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s.get(), 1) != 0)
    s.close();
  return s;
}

}  // namespace

TEST(OpenRegularFile, RefusesEveryOtherKindOfFileForReadingAndWriting) {
  testing_support::ScratchDir dir("regular");
  const std::string fifo = dir.path() + "/fifo", sock = dir.path() + "/socket";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
  Fd bound = boundSocket(sock);
  ASSERT_TRUE(bound);
  struct {
    std::string path;
    int flags;
    int error;
  } const cases[] = {
      {fifo, kRead, ENXIO},  // no writer: a plain open would wait for one
      {fifo, kWrite, ENXIO},  // no reader
      {sock, kRead, ENXIO},
      {sock, kWrite, ENXIO},
      {"/dev/null", kRead, ENXIO},
      {"/dev/null", kWrite, ENXIO},
      {dir.path(), kRead, EISDIR},
      {dir.path(), kWrite, EISDIR},
      {dir.path() + "/missing", kRead, ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + (c.flags == kRead ? " read" : " write"));
    errno = 0;
    Fd fd = OpenRegularFile(c.path, c.flags);
    EXPECT_FALSE(fd);
    EXPECT_EQ(c.error, errno);
  }

  // A FIFO whose other end is open would open: it is refused all the same,
  // and nothing reaches the reader.
  Fd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(reader);
  errno = 0;
  EXPECT_FALSE(OpenRegularFile(fifo, kWrite));
  EXPECT_EQ(ENXIO, errno);
  char byte;
  EXPECT_EQ(0, ::read(reader.get(), &byte, 1));  // end of file, no byte
  struct stat st;
  ASSERT_EQ(0, stat(fifo.c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(OpenRegularFile, OpensRegularFilesWithTheGivenFlags) {
  testing_support::ScratchDir dir("regular");
  const std::string path = dir.path() + "/file";
  {
    Fd fd = OpenRegularFile(path, kWrite, 0600);  // created
    ASSERT_TRUE(fd);
    EXPECT_EQ(5, ::write(fd.get(), "hello", 5));
    EXPECT_EQ(FD_CLOEXEC, fcntl(fd.get(), F_GETFD) & FD_CLOEXEC);
  }
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  {
    Fd fd = OpenRegularFile(path, O_WRONLY | O_APPEND);
    ASSERT_TRUE(fd);
    EXPECT_EQ(1, ::write(fd.get(), "!", 1));
  }
  {
    Fd fd = OpenRegularFile(path, kRead);
    ASSERT_TRUE(fd);
    char text[16] = {};
    EXPECT_EQ(6, ::read(fd.get(), text, sizeof text));
    EXPECT_STREQ("hello!", text);
    EXPECT_EQ(O_RDONLY, fcntl(fd.get(), F_GETFL) & O_ACCMODE);
  }
  {
    Fd fd = OpenRegularFile(path, kWrite);  // truncated
    ASSERT_TRUE(fd);
  }
  EXPECT_EQ("", testing_support::readFile(path));
}
