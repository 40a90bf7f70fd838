// The operation log (an append-only text file) and its time stamp.
#pragma once

#include <cstdio>

// Path of the operation log, with its terminating NUL. Never changed by the
// program; in-process tests point it at a private file of at most 25 characters.
extern char g_log_file_path[26];

// Current time-stamp text: 24 characters of ctime and one blank.
extern char g_cur_time[30];

// Refreshes g_cur_time from the clock.
void get_system_time(void);

// When set, entries are written to this stream instead of the log file, and
// entries that carry a time stamp (they tell of a run, not of the pages) are
// left out. Only the offline page decoder sets it, to standard output.
extern std::FILE *g_log_stream;

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
