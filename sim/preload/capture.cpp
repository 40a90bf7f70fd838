// Interposed fopen and syslog: with a capture directory, the operation log
// and the audit lines land there instead of on the host, so the program can
// run without root and tests stay isolated.
#include <syslog.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "door/sim_env.h"
#include "preload/real_calls.h"

namespace simpre {
namespace {

const char *g_ident;                 // from openlog; null: the program's name
int g_facility = LOG_USER;

const char *capture_dir() {
  const char *v = std::getenv(sim::env::kCapture);
  return v != nullptr && v[0] != '\0' ? v : nullptr;
}

bool log_unopenable() {
  const char *v = std::getenv(sim::env::kLogUnopenable);
  return v != nullptr && std::strcmp(v, "1") == 0;
}

std::FILE *open_stream(const char *path, const char *mode, const char *libc_name) {
  static fopen_t fn = nullptr;
  if (fn == nullptr) fn = next_symbol<fopen_t>(libc_name);
  if (path != nullptr && std::strcmp(path, sim::env::kHostLogPath) == 0) {
    if (log_unopenable()) {
      errno = EACCES;
      return nullptr;
    }
    if (const char *dir = capture_dir()) {
      const std::string captured = std::string(dir) + "/" + sim::env::kCapturedLog;
      return fn(captured.c_str(), mode);
    }
  }
  return fn(path, mode);
}

const char *facility_name(int facility) {
  static const char *const names[] = {"kern", "user", "mail", "daemon", "auth", "syslog", "lpr", "news",
                                      "uucp", "cron", "authpriv", "ftp", "12", "13", "14", "15",
                                      "local0", "local1", "local2", "local3", "local4", "local5",
                                      "local6", "local7"};
  const unsigned i = static_cast<unsigned>(facility) >> 3;
  return i < sizeof names / sizeof names[0] ? names[i] : "?";
}

const char *priority_name(int priority) {
  static const char *const names[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};
  return names[priority & LOG_PRIMASK];
}

// One audit line: "FACILITY.PRIORITY IDENT: MESSAGE".
void capture_line(const char *dir, int pri, const char *format, va_list ap) {
  char *message = nullptr;
  if (vasprintf(&message, format, ap) < 0) return;
  const int facility = (pri & LOG_FACMASK) != 0 ? (pri & LOG_FACMASK) : g_facility;
  const char *ident = g_ident != nullptr ? g_ident : program_invocation_short_name;
  const std::string line = std::string(facility_name(facility)) + "." + priority_name(pri) + " " + ident +
                           ": " + message;
  std::free(message);
  append_line((std::string(dir) + "/" + sim::env::kCapturedAudit).c_str(), line);
}

void any_vsyslog(int pri, const char *format, va_list ap) {
  if (const char *dir = capture_dir()) {
    capture_line(dir, pri, format, ap);
    return;
  }
  static vsyslog_t fn = next_symbol<vsyslog_t>("vsyslog");
  fn(pri, format, ap);
}

}  // namespace
}  // namespace simpre

using namespace simpre;

// The interposed C library functions stay visible; everything else is hidden.
#pragma GCC visibility push(default)
extern "C" {

std::FILE *fopen(const char *path, const char *mode) { return open_stream(path, mode, "fopen"); }
std::FILE *fopen64(const char *path, const char *mode) { return open_stream(path, mode, "fopen64"); }

void openlog(const char *ident, int option, int facility) {
  if (capture_dir() != nullptr) {
    g_ident = ident;
    g_facility = facility != 0 ? facility : LOG_USER;
    return;
  }
  static openlog_t fn = next_symbol<openlog_t>("openlog");
  fn(ident, option, facility);
}

void closelog(void) {
  if (capture_dir() != nullptr) {
    g_ident = nullptr;
    g_facility = LOG_USER;
    return;
  }
  static closelog_t fn = next_symbol<closelog_t>("closelog");
  fn();
}

void vsyslog(int pri, const char *format, va_list ap) { any_vsyslog(pri, format, ap); }

void syslog(int pri, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  any_vsyslog(pri, format, ap);
  va_end(ap);
}

void __vsyslog_chk(int pri, int, const char *format, va_list ap) { any_vsyslog(pri, format, ap); }

void __syslog_chk(int pri, int, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  any_vsyslog(pri, format, ap);
  va_end(ap);
}

}  // extern "C"
#pragma GCC visibility pop
