// Entry point: records who runs what, dispatches one command word to its
// operation, reports the outcome on screen, in the operation log and, for
// downloads and resets, in the system log.
#include <signal.h>
#include <syslog.h>

#include <cerrno>
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
#include "sg/interruption.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

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
  // The progress on standard error comes after this line, also when standard
  // output is a pipe.
  std::fflush(stdout);
  int signo = 0;
  if (firmware_download(file, dev) != 0 || (signo = interruption_signal()) != 0) {
    if (signo != 0) {
      std::fprintf(stderr, "%s: download interrupted by %s: the image was sent, the activation was not\n", dev,
                   interruption_name(signo));
    }
    report("Firmware update failed!");
    audit_update(user, dev, file, "Firmware update failed!");
    return -1;
  }
  if (g_fw_flag == 1) {
    report("Swap active rom...");
    // Both activation lists go out whatever arrives in between; an
    // interruption is acted on after them.
    if (firmware_swap(dev) != 0 || (signo = interruption_signal()) != 0) {
      if (signo != 0) {
        std::fprintf(stderr, "%s: download interrupted by %s during the activation, after both lists were accepted\n",
                     dev, interruption_name(signo));
      }
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
  int signo = interruption_signal();
  int result = -1;
  if (signo != 0) {
    std::fprintf(stderr, "%s: reset interrupted by %s: nothing was sent\n", dev, interruption_name(signo));
  } else if ((result = expander_reset(dev)) == 0 && (signo = interruption_signal()) != 0) {
    std::fprintf(stderr, "%s: reset interrupted by %s after the reset was accepted\n", dev,
                 interruption_name(signo));
  }
  if (result != 0 || signo != 0) {
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
  if (g_log_lost != 0) {
    std::puts("log not saved in /var/log/expander_log.txt!");
    return -1;
  }
  std::puts("log saved in /var/log/expander_log.txt!");
  return 0;
}

// Standard output took everything written to it; says why on standard error
// when it did not.
bool screen_written() {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int error = errno;
  std::fprintf(stderr, "standard output: cannot write: %s\n", error != 0 ? std::strerror(error) : "write error");
  return false;
}

// Ends a run: the count of lost log entries, and a failure when the screen
// output was lost.
int finish(int result) {
  (void)log_loss_report();
  if (!screen_written()) return -1;
  return result;
}

int dispatch(const user_entry &user, const char *word, const char *dev) {
  if (std::strcmp(word, "query") == 0) return run_query(dev);
  // The commands that change the expander hold its lock to their end, and
  // hold interruptions back until they can stop cleanly.
  if (std::strstr(word, kDownloadWord) == word) {
    const guard::fd lock(device_lock_take(dev));
    interruption_hold();
    return run_download(user, word + kDownloadWordLen, dev);
  }
  if (std::strcmp(word, "reset") == 0) {
    const guard::fd lock(device_lock_take(dev));
    interruption_hold();
    return run_reset(user, dev);
  }
  if (std::strcmp(word, "log") == 0) return run_log(dev);
  usage();
  return -1;
}

}  // namespace

int main(int argc, char **argv) {
  // A closed pipe on standard output must not end the program (least of all
  // during a download): the write fails instead, and the run says so.
  ::signal(SIGPIPE, SIG_IGN);
  g_sg_reason_stream = stderr;
  user_entry user{};
  lookup_user(&user);
  log_start(user, argc, argv);

  if (argc != 3) {
    usage();
    return finish(-1);
  }
  return finish(dispatch(user, argv[1], argv[2]));
}
