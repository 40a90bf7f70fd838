#include <ctime>

#include "bounded/bounded.h"
#include "oplog/oplog.h"

char g_cur_time[30];

// The stamp is the first 24 characters of ctime (local time, without its line
// end) followed by one blank: 25 characters in all.
void get_system_time(void) {
  std::time_t now = std::time(nullptr);
  memset_s(g_cur_time, sizeof g_cur_time, 0, sizeof g_cur_time);
  const char *text = std::ctime(&now);
  if (text != nullptr) strncpy_s(g_cur_time, sizeof g_cur_time, text, 24);
  strcat_s(g_cur_time, sizeof g_cur_time, " ");
}
