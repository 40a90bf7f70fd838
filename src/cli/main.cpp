// Entry point: records who runs what, dispatches one command word to its
// operation, reports the outcome on screen, in the operation log and, for
// downloads and resets, in the system log.
#include <syslog.h>

#include <cstdio>
#include <cstring>

#include "bounded/bounded.h"
#include "cli/device_lock.h"
#include "cli/usage.h"
#include "cli/user_entry.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "common/sizes.h"
#include "logs/logs.h"
#include "oplog/oplog.h"
#include "sg/sg.h"

namespace {

constexpr char kDownloadWord[] = "download=";
constexpr std::size_t kDownloadWordLen = sizeof kDownloadWord - 1;

// Logs the message with a line end, then prints it with puts.
void report(const char *message) {
  char text[kTextSize] = {};
  sprintf_s(text, sizeof text, "%s\n", message);
  recorde_log(text, 1);
  std::puts(message);
}

void audit_update(const user_entry &user, const char *dev, const char *file, const char *info) {
  syslog(LOG_INFO, "%s dev:%s,file:%s,info:%s", user.name, dev, file, info);
}

void audit_reset(const user_entry &user, const char *dev, const char *info) {
  syslog(LOG_INFO, "%s dev:%s,info:%s", user.name, dev, info);
}

// The two start-up lines: the invoking user, then the command line as received.
void log_start(const user_entry &user, int argc, char **argv) {
  char text[kTextSize] = {};
  sprintf_s(text, sizeof text, "user name:%s uid:%d gid:%d\n", user.name,
            static_cast<int>(user.uid), static_cast<int>(user.gid));
  recorde_log(text, 1);

  memset_s(text, sizeof text, 0, sizeof text);
  strcpy_s(text, sizeof text, argc > 0 && argv[0] != nullptr ? argv[0] : "");
  for (int i = 1; i < argc; ++i) {
    strcat_s(text, sizeof text, " ");
    strcat_s(text, sizeof text, argv[i]);
  }
  strcat_s(text, sizeof text, "\n");
  recorde_log(text, 1);
}

int run_query(const char *dev) {
  if (firmware_query(dev) == 0) return 0;
  report("Firmware Version query failed!");
  return -1;
}

int run_download(const user_entry &user, const char *file, const char *dev) {
  report("Please Wait for downloading...");
  if (firmware_download(file, dev) != 0) {
    report("Firmware update failed!");
    audit_update(user, dev, file, "Firmware update failed!");
    return -1;
  }
  if (g_fw_flag == 1) {
    report("Swap active rom...");
    if (firmware_swap(dev) != 0) {
      report("Swap active rom failed!");
      audit_update(user, dev, file, "Swap active rom failed!");
      return -1;
    }
  }
  report("Firmware update success!");
  audit_update(user, dev, file, "Firmware update success!");
  return 0;
}

int run_reset(const user_entry &user, const char *dev) {
  if (expander_reset(dev) != 0) {
    report("expander reset failed!");
    audit_reset(user, dev, "expander reset failed!");
    return -1;
  }
  report("expander reset success!");
  audit_reset(user, dev, "expander reset success!");
  return 0;
}

// Collects every page whatever became of the ones before; never fails.
// A page that fails gives "incollect expander <dev> <what> faild" on screen.
int run_log(const char *dev) {
  (void)firmware_query(dev);
  for (const log_page &page : kLogPages) {
    if (incollect_log(dev, page.code) != 0) {
      std::printf("incollect expander %s %s faild\n", dev, page.label);
    }
  }
  std::puts("log saved in /var/log/expander_log.txt!");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  user_entry user{};
  lookup_user(&user);
  log_start(user, argc, argv);

  if (argc != 3) {
    usage();
    return -1;
  }
  const char *word = argv[1];
  const char *dev = argv[2];

  if (std::strcmp(word, "query") == 0) return run_query(dev);
  // The commands that change the expander hold its lock to their end.
  if (std::strstr(word, kDownloadWord) == word) {
    const guard::fd lock(device_lock_take(dev));
    return run_download(user, word + kDownloadWordLen, dev);
  }
  if (std::strcmp(word, "reset") == 0) {
    const guard::fd lock(device_lock_take(dev));
    return run_reset(user, dev);
  }
  if (std::strcmp(word, "log") == 0) return run_log(dev);
  usage();
  return -1;
}
