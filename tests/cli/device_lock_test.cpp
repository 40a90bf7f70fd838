// The lock file a device's changing commands share: under the host's lock
// directory, named after the node's device number, never after its path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cli/device_lock.h"

namespace {

TEST(DeviceLockPath, NamedAfterTheDeviceNumber) {
  char path[128] = {};
  ASSERT_TRUE(device_lock_path("/dev/null", path, sizeof path));
  EXPECT_STREQ(path, "/run/lock/corvane-c1:3.lock");  // /dev/null is character device 1:3
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

}  // namespace
