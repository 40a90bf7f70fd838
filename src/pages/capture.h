// The manifest of one capture: facts about the device, then one line per read
// with the file it went into, its size and what happened.
#pragma once

#include <cstdio>

struct capture_identity {
  char vendor[17] = {};    // standard INQUIRY bytes 8-15
  char product[33] = {};   // bytes 16-31
  char revision[5] = {};   // bytes 32-35
  char serial[256] = {};   // unit serial number page 0x80
};

// "# corvane-pages capture", time, device, vendor, product, revision, serial
// and the heading of the read lines.
void manifest_header(std::FILE *out, const char *time, const char *dev,
                     const capture_identity &id);

// One read: what was read, the file saved (nullptr for none), its size and
// the outcome.
void manifest_read(std::FILE *out, const char *what, const char *file, long size,
                   const char *outcome);
