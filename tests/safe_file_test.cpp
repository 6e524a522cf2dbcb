// Guards writing a file whole, as every picture Vantor writes is: the old file stays intact while
// the new bytes go into a temporary beside it, which replaces it only when whole and is dropped
// otherwise (a failure, a signal before the rename); a link stays a link; and a device or FIFO is
// written in place and never replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "host/SafeFile.h"
#include "support/Program.h"

namespace {

// `text` written to `path` through SafeFile; the error, or "" when it was committed. With
// `abort`, the abort descriptor is readable at the commit.
std::string writeThrough(const std::string& path, const std::string& text, bool abort = false) {
  int wake[2];
  if (pipe(wake) != 0 || (abort && write(wake[1], "x", 1) != 1)) {
    return "no pipe";
  }
  SafeFile file;
  std::string error;
  if (file.open(path, &error)) {
    std::fputs(text.c_str(), file.stream());
    file.commit(&error, wake[0]);
  }
  close(wake[0]);
  close(wake[1]);
  return error;
}

TEST(SafeFile, AFileIsReplacedOnlyWhenTheNewOneIsWholeAndKeepsItsMode) {
  TemporaryFolder folder;
  const std::string path = folder.path() + "/shot.png";
  ASSERT_TRUE(writeBytes(path, "earlier work"));
  chmod(path.c_str(), 0640);
  {
    SafeFile file;
    std::string error;
    ASSERT_TRUE(file.open(path, &error)) << error;
    std::fputs("new", file.stream());
    const std::vector<std::string> beside = entriesOf(folder.path());  // ".shot.png.XXXXXX" first
    EXPECT_EQ(std::pair(beside.size(), beside[0].rfind(".shot.png.", 0)), std::pair(2ul, 0ul));
    EXPECT_EQ(readFile(path), "earlier work");
  }  // gone without a commit: dropped
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"shot.png"});
  EXPECT_EQ(writeThrough(path, "new", true),
            "cannot write '" + path + "': Interrupted system call");
  EXPECT_EQ(readFile(path), "earlier work");
  EXPECT_EQ(writeThrough(path, "new"), "");
  EXPECT_EQ(readFile(path), "new");
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"shot.png"});
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  const mode_t mask = umask(022);
  EXPECT_EQ(writeThrough(folder.path() + "/new.png", "x"), "");
  umask(mask);
  ASSERT_EQ(stat((folder.path() + "/new.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u) << "as fopen would make it";
}

TEST(SafeFile, ALinkStaysALinkAndDevicesAndFifosAreWrittenInPlace) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png", link = folder.path() + "/link.png";
  ASSERT_TRUE(writeBytes(file, "earlier work"));
  std::filesystem::create_symlink("shot.png", link);
  EXPECT_EQ(writeThrough(link, "new"), "");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFile(file), "new");
  EXPECT_EQ(SafeFile::temporaryFolder(link), folder.path());

  const std::string fifo = folder.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // so that opening it to write
  ASSERT_GE(reader, 0);                                          // does not wait
  EXPECT_EQ(writeThrough(fifo, "through"), "");
  char received[16] = {};
  EXPECT_EQ(read(reader, received, sizeof received), 7);
  close(reader);
  EXPECT_EQ(std::pair(std::string(received), std::filesystem::is_fifo(fifo)),
            std::pair(std::string("through"), true));
  EXPECT_EQ(SafeFile::temporaryFolder(fifo), "");

  EXPECT_EQ(writeThrough("/dev/full", "x"), "cannot write '/dev/full': No space left on device");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
