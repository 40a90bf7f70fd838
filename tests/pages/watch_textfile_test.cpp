// metrics --textfile replaces its file atomically: a reader that reads it
// over and over while metrics rewrites it a thousand times only ever sees a
// whole exposition.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

constexpr int kRewrites = 1000;
constexpr long kReads = 100000;
constexpr char kLast[] = "corvane_unidentified_devices 0\n";
constexpr char kFirst[] = "# HELP corvane_expander_info ";

std::string quoted(const std::string &s) { return "'" + s + "'"; }

bool whole(const std::string &text) {
  return text.rfind(kFirst, 0) == 0 && text.size() > sizeof kLast &&
         text.compare(text.size() - (sizeof kLast - 1), sizeof kLast - 1, kLast) == 0;
}

TEST(WatchTextfile, ReaderNeverSeesAPartialFile) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  testsupport::sim_session s;
  const std::string dir = s.dir() + "/textfile";
  std::filesystem::create_directory(dir);
  const std::string file = dir + "/corvane.prom";
  const std::string one = quoted(EXPANDER_SIM_BIN) + " --preload " + quoted(EXPANDER_SIM_PRELOAD) + " --state " +
                          quoted(s.state_dir()) + " --capture " + quoted(s.dir()) + " --nodes 2 -- " +
                          quoted(CORVANE_PAGES_BIN) + " metrics --textfile " + quoted(dir) +
                          " /dev/sgsim0 /dev/sgsim1";
  ASSERT_EQ(std::system(one.c_str()), 0);
  const std::string loop = "i=1; while [ $i -le " + std::to_string(kRewrites - 1) + " ]; do " + one +
                           " || exit 1; i=$((i + 1)); done";
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }

  long reads = 0;
  long partial = 0;
  // Changes of the file's inode from one read to the next: a freed inode
  // number is soon used again, so distinct numbers would undercount.
  long changes = 0;
  ino_t last = 0;
  int status = -1;
  bool writing = true;
  std::string text;
  char buf[65536];
  while (writing || reads < kReads) {
    if (writing && waitpid(writer, &status, WNOHANG) == writer) writing = false;
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << "the file vanished at read " << reads;
    struct stat st {};
    ::fstat(fd, &st);
    if (reads > 0 && st.st_ino != last) ++changes;
    last = st.st_ino;
    text.clear();
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    ++reads;
    if (!whole(text)) ++partial;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(partial, 0) << "of " << reads << " reads";
  // The reads met many versions of the file, so they did overlap the rewrites.
  EXPECT_GT(changes, 50) << "of " << reads << " reads";
  std::size_t left = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir)) left += e.path().filename() != "corvane.prom";
  EXPECT_EQ(left, 0u) << "temporary files left behind";
}

}  // namespace
