#include <cstdio>

#include "common/guards.h"
#include "oplog/oplog.h"

char g_log_file_path[26] = "/var/log/expander_log.txt";

// Opens the log for append on every call, so no handle outlives an entry and
// another process's appends may fall between two entries of a run. The text
// may only reach the file when the stream is flushed at the close (a full
// disk reports its error there), so the close's result counts as a write's.
void recorde_log(const char *text, int stamp) {
  if (g_log_stream != nullptr) {
    std::fputs(text != nullptr ? text : "", g_log_stream);
    return;
  }
  guard::file log(std::fopen(g_log_file_path, "a"));
  if (log.value == nullptr) {
    std::printf("open log file %s error\n", g_log_file_path);
    return;
  }
  int stamp_result = 0;
  if (stamp == 1) {
    get_system_time();
    stamp_result = std::fprintf(log.value, "%s", g_cur_time);
  }
  int text_result = std::fprintf(log.value, "%s", text != nullptr ? text : "");
  const int close_result = std::fclose(log.value);
  log.value = nullptr;
  if (stamp_result < 0 || text_result < 0 || close_result != 0) {
    std::printf("write log to %s fail\n", g_log_file_path);
  }
}
