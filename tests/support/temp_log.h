// Points the operation log at a private file for one test and restores the
// real path afterwards, so no test writes the host's log.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include "oplog/oplog.h"

namespace testsupport {

class TempLog {
 public:
  TempLog() {
    char dir_template[] = "/tmp/cvtXXXXXX";
    const char *made = mkdtemp(dir_template);
    dir_ = made != nullptr ? made : "/tmp";
    path_ = dir_ + "/log";  // 19 characters: fits the 26-byte path
    redirect_ = std::make_unique<log_redirect>(path_.c_str());
    if (!redirect_->ok()) std::abort();  // never fall back to the host's log
  }
  ~TempLog() {
    redirect_.reset();
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  TempLog(const TempLog &) = delete;
  TempLog &operator=(const TempLog &) = delete;

  const std::string &path() const { return path_; }
  const std::string &dir() const { return dir_; }

  // The whole log as written so far ("" when it does not exist).
  std::string text() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  void clear() const { unlink(path_.c_str()); }

 private:
  std::string dir_;
  std::string path_;
  std::unique_ptr<log_redirect> redirect_;
};

}  // namespace testsupport
