// corvane-pages events: sends the expander's RAM log entries the system log
// has not yet received, each once, and records what was sent in a state file.
//
// An entry is known by its whole record (all 32 bytes: severity, time to the
// microsecond, sequence number, event code and parameters). The state file
// lists the records of the last log read, all of them sent; a record of the
// new log that the list holds is taken as sent (each listed record matches
// once), every other one is sent. A wrap drops records from the list, a
// cleared log or a reset empties it, and new records carry a time the list
// has not seen.
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "decode/event_messages.h"
#include "decode/time_text.h"
#include "pages/pages.h"
#include "pages/watch.h"

namespace {

constexpr char kStateHeading[] = "corvane-pages events state 1";
constexpr char kUsage[] = "usage: corvane-pages events DEVICE --state FILE\n";

std::string record_key(const watch_event &e) {
  std::string key;
  for (std::uint32_t w : e.words) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", w);
    key += hex;
  }
  return key;
}

int syslog_priority(int severity) {
  switch (severity) {
    case 1: return LOG_CRIT;
    case 2: return LOG_ERR;
    case 3: return LOG_WARNING;
    case 4: return LOG_INFO;
    case 5: return LOG_DEBUG;
    default: return LOG_NOTICE;  // "Disables logging", reserved and unknown levels
  }
}

struct events_state {
  std::string expander;               // empty: nothing recorded yet
  std::map<std::string, int> sent;    // record key -> times listed
};

bool is_key(const std::string &s) {
  if (s.size() != 64) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// 1 when read, 0 when there is no state file, -1 (with why) when it cannot
// be read or is not one.
int read_state(const char *path, events_state &st, std::string &why) {
  std::FILE *f = std::fopen(path, "r");
  if (f == nullptr) {
    if (errno == ENOENT) return 0;
    why = std::string("cannot be read: ") + std::strerror(errno);
    return -1;
  }
  char line[256];
  int n = 0;
  bool bad = false;
  while (!bad && std::fgets(line, sizeof line, f) != nullptr) {
    ++n;
    std::string text(line);
    if (text.empty() || text.back() != '\n') {
      bad = true;
      break;
    }
    text.pop_back();
    if (n == 1) {
      bad = text != kStateHeading;
    } else if (text.rfind("expander ", 0) == 0 && st.expander.empty() && text.size() > 9) {
      st.expander = text.substr(9);
    } else if (text.rfind("sent ", 0) == 0 && is_key(text.substr(5))) {
      ++st.sent[text.substr(5)];
    } else {
      bad = true;
    }
  }
  const bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  if (read_error || bad || n == 0 || st.expander.empty()) {
    why = "is not a state file of corvane-pages events (line " + std::to_string(n) + ")";
    return -1;
  }
  return 1;
}

void send_entry(const watch_snapshot &s, const watch_event &e) {
  char time_text[kTimeTextMax + 1] = {};
  ustoymdhmsmsus(e.time_us(), time_text);
  const char *severity = find_severity_name(e.severity());
  char level[16];
  std::snprintf(level, sizeof level, "level %d", e.severity());
  const char *message = find_event_message(e.event_code());
  char code[48];
  std::snprintf(code, sizeof code, "event code 0x%08x", e.event_code());
  syslog(syslog_priority(e.severity()),
         "expander %s event %d (%s) at %s: %s%s%s params 0x%08x 0x%08x 0x%08x",
         s.identity.id.c_str(), e.number(), severity != nullptr ? severity : level, time_text,
         message != nullptr ? "\"" : "", message != nullptr ? message : code,
         message != nullptr ? "\"" : "", e.words[5], e.words[6], e.words[7]);
}

// Reads the state file and the expander's RAM log, refusing a state file
// that records another expander. kExitOk, or kExitFailed when nothing is sent.
int read_before_sending(const char *dev, const char *state_path, events_state &st, watch_snapshot &s) {
  std::string why;
  if (read_state(state_path, st, why) < 0) {
    std::fprintf(stderr, "corvane-pages: %s %s; nothing sent\n", state_path, why.c_str());
    return kExitFailed;
  }
  if (!watch_read_identity(dev, s)) {
    std::fprintf(stderr, "corvane-pages: %s: %s; nothing sent\n", dev, s.identity_read.why.c_str());
    return kExitFailed;
  }
  if (!st.expander.empty() && st.expander != s.identity.id) {
    std::fprintf(stderr,
                 "corvane-pages: %s records expander %s, but %s is expander %s; nothing sent\n",
                 state_path, st.expander.c_str(), dev, s.identity.id.c_str());
    return kExitFailed;
  }
  watch_read_pages(dev, need_events, s);
  if (!s.events_read.ok) {
    std::fprintf(stderr, "corvane-pages: %s: %s; nothing sent\n", dev, s.events_read.why.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

// Sends the entries the state does not list and returns the next state file's
// text, which lists them all.
std::string send_new_entries(const watch_snapshot &s, events_state &st, unsigned &sent, unsigned &known) {
  std::string next = std::string(kStateHeading) + "\nexpander " + s.identity.id + "\n";
  openlog("corvane-pages", LOG_PID, LOG_DAEMON);
  for (const watch_event &e : s.events) {
    const std::string key = record_key(e);
    next += "sent " + key + "\n";
    const auto listed = st.sent.find(key);
    if (listed != st.sent.end() && listed->second > 0) {
      --listed->second;
      ++known;
      continue;
    }
    send_entry(s, e);
    ++sent;
  }
  closelog();
  return next;
}

}  // namespace

int write_file_atomically(const std::string &path, const std::string &text, std::string &why) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    why = "cannot make a temporary file beside it: " + std::string(std::strerror(errno));
    return -1;
  }
  std::size_t done = 0;
  bool ok = fchmod(fd, 0644) == 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  const int saved = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    why = "cannot be written: " + std::string(std::strerror(ok ? errno : saved));
    ::unlink(temp.c_str());
    return -1;
  }
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    (void)fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

int events_command(int argc, char **argv) {
  constexpr std::array<watch_option, 1> kOptions{{{"state", true}}};
  watch_args args;
  if (const int end = watch_options(argc, argv, kUsage, kExitUsage, kOptions, args); end >= 0) return end;
  const std::vector<const char *> &states = args.values[0];
  const char *why_usage = nullptr;
  if (args.operands.size() != 1) {
    why_usage = "events takes one device";
  } else if (states.size() != 1 || states[0][0] == '\0') {
    why_usage = "events needs one --state FILE";
  }
  if (why_usage != nullptr) {
    std::fprintf(stderr, "corvane-pages: %s\n", why_usage);
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const char *dev = args.operands[0].c_str();
  const char *state_path = states[0];

  events_state st;
  watch_snapshot s;
  if (const int refused = read_before_sending(dev, state_path, st, s); refused != kExitOk) return refused;
  unsigned sent = 0;
  unsigned known = 0;
  const std::string next = send_new_entries(s, st, sent, known);

  std::string why;
  if (write_file_atomically(state_path, next, why) != 0) {
    std::fprintf(stderr,
                 "corvane-pages: %s %s; %u entries were sent and will be sent again by the next run\n",
                 state_path, why.c_str(), sent);
    return kExitFailed;
  }
  std::printf("corvane-pages events: expander %s: %u entries sent, %u sent before\n",
              s.identity.id.c_str(), sent, known);
  return kExitOk;
}
