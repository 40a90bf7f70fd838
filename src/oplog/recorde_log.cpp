#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/guards.h"
#include "oplog/oplog.h"

char g_log_file_path[26] = "/var/log/expander_log.txt";
unsigned g_log_entries = 0;
unsigned g_log_lost = 0;

namespace {

// The log holds user names and device paths: readable by its owner and the
// group that reads system logs, as the rotation creates it.
constexpr mode_t kLogMode = 0640;

// The first lost entry of a run says so on standard output, as it always
// did, and why on standard error; later ones are only counted.
void lose_entry(const char *format, const char *what, int error) {
  if (g_log_lost++ != 0) return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::printf(format, g_log_file_path);
#pragma GCC diagnostic pop
  std::fprintf(stderr, "%s: %s: %s\n", g_log_file_path, what,
               error != 0 ? std::strerror(error) : "unknown error");
}

// Opens the log for append; a log created here gets kLogMode (or less, as
// the caller's umask has it).
std::FILE *open_log() {
  const mode_t saved = ::umask(0);
  ::umask(saved | (0666 & ~kLogMode));
  std::FILE *f = std::fopen(g_log_file_path, "a");
  const int error = errno;
  ::umask(saved);
  errno = error;
  return f;
}

}  // namespace

// Opens the log for append on every call, so no handle outlives an entry and
// another process's appends may fall between two entries of a run. The text
// may only reach the file when the stream is flushed at the close (a full
// disk reports its error there), so the close's result counts as a write's.
void recorde_log(const char *text, int stamp) {
  if (g_log_stream != nullptr) {
    std::fputs(text != nullptr ? text : "", g_log_stream);
    return;
  }
  ++g_log_entries;
  guard::file log(open_log());
  if (log.value == nullptr) {
    lose_entry("open log file %s error\n", "cannot open", errno);
    return;
  }
  int error = 0;
  int stamp_result = 0;
  if (stamp == 1) {
    get_system_time();
    stamp_result = std::fprintf(log.value, "%s", g_cur_time);
    if (stamp_result < 0) error = errno;
  }
  const int text_result = std::fprintf(log.value, "%s", text != nullptr ? text : "");
  if (text_result < 0 && error == 0) error = errno;
  const int close_result = std::fclose(log.value);
  if (close_result != 0 && error == 0) error = errno;
  log.value = nullptr;
  if (stamp_result < 0 || text_result < 0 || close_result != 0) {
    lose_entry("write log to %s fail\n", "cannot write", error);
  }
}

bool log_loss_report() {
  if (g_log_lost == 0) return false;
  std::fprintf(stderr, "%s: %u of %u entries lost\n", g_log_file_path, g_log_lost, g_log_entries);
  return true;
}
