// Progress of a download on standard error, for a person watching a
// terminal: bytes sent of the image size, percent and pieces, redrawn on one
// line a few times a second. Nothing is written when standard error is not a
// terminal, so scripts and logs see what they always saw.
#pragma once

#include <cstdint>
#include <cstdio>

struct download_progress {
  bool shown = false;         // standard error is a terminal
  std::uint64_t total = 0;    // image size in bytes; 0 when unknown
  std::uint64_t sent = 0;     // image bytes accepted so far
  std::uint64_t pieces = 0;   // pieces accepted so far
  std::int64_t last_ms = -1;  // monotonic time of the last drawing; -1 before the first
  bool drawn = false;
  std::uint64_t drawn_pieces = 0;  // pieces shown by the last drawing

  // Starts for the image being read from image (its size from fstat).
  explicit download_progress(std::FILE *image);
  download_progress(const download_progress &) = delete;
  download_progress &operator=(const download_progress &) = delete;
  // Ends the progress line, so the outcome message starts on a line of its own.
  ~download_progress();
};

// Counts an accepted piece of n image bytes and redraws the line when the
// last drawing is old enough, and always for the first and the last piece.
void progress_piece(download_progress &p, std::size_t n);

// Ends the line if one was drawn, first redrawing it when pieces were
// accepted since, so that it shows what was accepted; the next drawing
// starts a new one.
void progress_end(download_progress &p);

// Least time between two drawings, in milliseconds.
inline constexpr std::int64_t kProgressIntervalMs = 250;
