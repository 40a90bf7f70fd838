// The lock file a device's changing commands share: under the host's lock
// directory, named after the node's device number, never after its path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/device_lock.h"
#include "support/foreign_exec.h"

namespace {

TEST(DeviceLockPath, NamedAfterTheDeviceNumber) {
  char path[128] = {};
  ASSERT_TRUE(device_lock_path("/dev/null", path, sizeof path));
  // /dev/null is character device 1:3, with no SCSI identity.
  EXPECT_STREQ(path, "/run/corvane/corvane-c1:3.lock");
  // Another path to the same node shares the lock.
  char other[128] = {};
  ASSERT_TRUE(device_lock_path("/dev/../dev/null", other, sizeof other));
  EXPECT_STREQ(other, path);
}

TEST(DeviceLockPath, NodeThatCannotBeExaminedHasNone) {
  char path[128] = {};
  EXPECT_FALSE(device_lock_path("/dev/no-such-node-here", path, sizeof path));
  EXPECT_FALSE(device_lock_path(nullptr, path, sizeof path));
  EXPECT_EQ(device_lock_take("/dev/no-such-node-here"), -1);
}

// Points the lock directory at a private place for one test.
struct private_lock_dir {
  std::string parent;
  std::string dir;
  char saved[sizeof g_lock_dir];
  private_lock_dir() {
    char tmpl[] = "/tmp/cvlockXXXXXX";
    const char *made = mkdtemp(tmpl);
    parent = made != nullptr ? made : "/tmp";
    dir = parent + "/corvane";
    std::memcpy(saved, g_lock_dir, sizeof saved);
    set(dir);
  }
  void set(const std::string &d) {
    std::memset(g_lock_dir, 0, sizeof g_lock_dir);
    std::memcpy(g_lock_dir, d.c_str(), std::min(d.size(), sizeof g_lock_dir - 1));
  }
  ~private_lock_dir() {
    std::memcpy(g_lock_dir, saved, sizeof saved);
    std::system(("rm -rf '" + parent + "'").c_str());
  }
};

std::string lock_of(const char *dev) {
  char path[256] = {};
  EXPECT_TRUE(device_lock_path(dev, path, sizeof path));
  return path;
}

// The directory is made for root alone, the file for its owner alone, and the
// holder's pid is written into it.
TEST(DeviceLockTake, PrivateDirectoryAndFileNamingTheHolder) {
  private_lock_dir d;
  testing::internal::CaptureStderr();
  const int fd = device_lock_take("/dev/null");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(stat(d.dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(lock_of("/dev/null").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  char text[64] = {};
  ASSERT_GT(pread(fd, text, sizeof text - 1, 0), 0);
  EXPECT_EQ(std::atoi(text), static_cast<int>(getpid()));
  close(fd);
}

// Where no lock can be taken the command goes on, and the reason given is
// the one that stopped it.
TEST(DeviceLockTake, RightReasonWhenNoLockCanBeTaken) {
  private_lock_dir d;
  // A link planted where the lock file goes is not followed.
  ASSERT_EQ(mkdir(d.dir.c_str(), 0700), 0);
  ASSERT_EQ(symlink("/tmp/elsewhere", lock_of("/dev/null").c_str()), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(device_lock_take("/dev/null"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot lock /dev/null against another corvane (Too many levels of symbolic links), going on without "
            "the lock\n");
  // A directory that cannot be made: its parent is a plain file.
  const std::string file = d.parent + "/plain";
  std::fclose(std::fopen(file.c_str(), "w"));
  d.set(file + "/corvane");
  testing::internal::CaptureStderr();
  EXPECT_EQ(device_lock_take("/dev/null"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot lock /dev/null against another corvane (Not a directory), going on without the lock\n");
}

// Another user can neither hold the lock nor plant a lock file of their own.
TEST(DeviceLockTake, UnprivilegedUserCannotMakeItWait) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();  // forks
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  private_lock_dir d;
  const int first = device_lock_take("/dev/null");
  ASSERT_GE(first, 0);
  close(first);
  const std::string path = lock_of("/dev/null");
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    const int fd = open(path.c_str(), O_RDONLY);
    _exit(fd < 0 && errno == EACCES ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another user reached the lock file";

  // A lock file that is not root's own is not taken as a lock.
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(device_lock_take("/dev/null"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot lock /dev/null against another corvane (Operation not permitted), going on without the lock\n");
}

}  // namespace
