#include <cstring>

#include "oplog/oplog.h"

// corvane never sets it: its entries always go to the log file.
std::FILE *g_log_stream = nullptr;

std::FILE *set_log_stream(std::FILE *stream) {
  std::FILE *before = g_log_stream;
  g_log_stream = stream;
  return before;
}

bool set_log_file_path(const char *path) {
  if (path == nullptr) return false;
  const std::size_t len = strnlen(path, sizeof g_log_file_path);
  if (len >= sizeof g_log_file_path) return false;
  std::memset(g_log_file_path, 0, sizeof g_log_file_path);
  std::memcpy(g_log_file_path, path, len);
  return true;
}

log_redirect::log_redirect(const char *path) : saved_stream_(set_log_stream(nullptr)) {
  std::memcpy(saved_path_, g_log_file_path, sizeof saved_path_);
  ok_ = set_log_file_path(path);
  if (!ok_) set_log_stream(saved_stream_);
}

log_redirect::log_redirect(std::FILE *stream) : saved_stream_(set_log_stream(stream)), ok_(true) {
  std::memcpy(saved_path_, g_log_file_path, sizeof saved_path_);
}

log_redirect::~log_redirect() {
  std::memcpy(g_log_file_path, saved_path_, sizeof saved_path_);
  set_log_stream(saved_stream_);
}
