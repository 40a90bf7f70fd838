// Points the operation log at a private file for one test and restores the
// real path afterwards, so no test writes the host's log.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
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
    std::memcpy(saved_, g_log_file_path, sizeof saved_);
    std::memset(g_log_file_path, 0, sizeof g_log_file_path);
    std::memcpy(g_log_file_path, path_.c_str(), path_.size());
  }
  ~TempLog() {
    std::memcpy(g_log_file_path, saved_, sizeof saved_);
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
  char saved_[26];
};

}  // namespace testsupport
