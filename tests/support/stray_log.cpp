// A safety net under every in-process test: before the first test runs, the
// operation log is pointed at a private file, so a test that forgets its own
// TempLog writes there instead of the host's /var/log/expander_log.txt. At the
// end the file must be empty: anything in it was logged by a test that did
// not isolate itself, and the run fails naming the first lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "oplog/oplog.h"

namespace {

class StrayLog : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[] = "/tmp/cvsXXXXXX";
    if (mkdtemp(dir) == nullptr) {
      std::fprintf(stderr, "no private directory for the operation log\n");
      std::abort();
    }
    dir_ = dir;
    path_ = dir_ + "/log";  // 19 characters: fits the 26-byte path
    redirect_ = std::make_unique<log_redirect>(path_.c_str());
    if (!redirect_->ok()) std::abort();
  }
  void TearDown() override {
    redirect_.reset();
    std::FILE *f = std::fopen(path_.c_str(), "r");
    std::string first;
    if (f != nullptr) {
      char buf[512] = {};
      first.assign(buf, std::fread(buf, 1, sizeof buf - 1, f));
      std::fclose(f);
    }
    unlink(path_.c_str());
    rmdir(dir_.c_str());
    EXPECT_EQ(first, "") << "a test wrote the operation log without a private log of its own";
  }

 private:
  std::string dir_;
  std::string path_;
  std::unique_ptr<log_redirect> redirect_;
};

const auto *const g_stray_log = ::testing::AddGlobalTestEnvironment(new StrayLog);

}  // namespace
