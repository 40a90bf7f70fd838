// The operation log (an append-only text file) and its time stamp.
#pragma once

#include <cstdio>

// Path of the operation log, with its terminating NUL. Never changed by
// corvane; set only through set_log_file_path or a log_redirect (tests, fuzz
// targets and benchmarks point it at a private file of at most 25 characters).
extern char g_log_file_path[26];

// Current time-stamp text: 24 characters of ctime and one blank.
extern char g_cur_time[30];

// Refreshes g_cur_time from the clock.
void get_system_time(void);

// When set, every entry is written to this stream instead of the log file,
// as its text alone: a stamped entry loses its time stamp (the stream shows
// what was decoded, the same for every run), not its text. Null, the log
// file, in corvane; set only through set_log_stream or a log_redirect (the
// offline page decoder points it at standard output, fuzz targets at a
// stream they keep open).
extern std::FILE *g_log_stream;

// Sends the entries to stream, or to the log file when stream is null.
// Returns the stream set before.
std::FILE *set_log_stream(std::FILE *stream);

// Points the log file at path. False, and nothing changed, when path with its
// terminator does not fit g_log_file_path.
bool set_log_file_path(const char *path);

// Points the operation log elsewhere for the guard's life and back where it
// was afterwards: at a file (a path) or at a stream. A path that does not fit
// changes nothing and leaves ok() false; the caller must not go on then.
struct log_redirect {
  explicit log_redirect(const char *path);
  explicit log_redirect(std::FILE *stream);
  log_redirect(const log_redirect &) = delete;
  log_redirect &operator=(const log_redirect &) = delete;
  ~log_redirect();
  bool ok() const { return ok_; }

 private:
  char saved_path_[sizeof g_log_file_path];
  std::FILE *saved_stream_;
  bool ok_;
};

// Appends text to the operation log; stamp == 1 puts a fresh time stamp in
// front. The file is opened and closed on each call, and created 0640 when
// missing. The first entry of a run that is lost prints "open log file %s
// error\n" or "write log to %s fail\n" on standard output and its reason on
// standard error; later lost entries are only counted (g_log_lost).
void recorde_log(const char *text, int stamp);

// Entries of this run written to the log file or lost (not those sent to
// g_log_stream), and how many of them were lost.
extern unsigned g_log_entries;
extern unsigned g_log_lost;

// When entries were lost, says how many on standard error, once, at the end
// of a run ("<path>: N of M entries lost"); returns whether any were.
bool log_loss_report();
