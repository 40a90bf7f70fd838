#include "sg/download_progress.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "sg/download_piece.h"

namespace {

std::int64_t now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::uint64_t pieces_of(std::uint64_t size) {
  return size / download_piece::kPieceSize + (size % download_piece::kPieceSize != 0 ? 1 : 0);
}

void draw(download_progress &p) {
  p.drawn_pieces = p.pieces;
  const auto sent = static_cast<unsigned long long>(p.sent);
  const auto pieces = static_cast<unsigned long long>(p.pieces);
  if (p.total == 0) {
    std::fprintf(stderr, "\rsent %llu bytes, %llu pieces", sent, pieces);
    return;
  }
  const auto percent = static_cast<unsigned>(p.sent >= p.total ? 100 : p.sent * 100 / p.total);
  std::fprintf(stderr, "\rsent %llu of %llu bytes %3u%%, piece %llu of %llu", sent,
               static_cast<unsigned long long>(p.total), percent, pieces,
               static_cast<unsigned long long>(pieces_of(p.total)));
}

}  // namespace

download_progress::download_progress(std::FILE *image) : shown(isatty(STDERR_FILENO) == 1) {
  struct stat st {};
  if (image != nullptr && fstat(fileno(image), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    total = static_cast<std::uint64_t>(st.st_size);
  }
}

download_progress::~download_progress() { progress_end(*this); }

void progress_end(download_progress &p) {
  if (p.drawn && p.drawn_pieces != p.pieces) draw(p);
  if (p.drawn) std::fputs("\n", stderr);
  p.drawn = false;
}

void progress_piece(download_progress &p, std::size_t n) {
  p.sent += n;
  p.pieces += 1;
  if (!p.shown) return;
  const std::int64_t now = now_ms();
  const bool last = p.total != 0 && p.sent >= p.total;
  if (p.last_ms >= 0 && !last && now - p.last_ms < kProgressIntervalMs) return;
  draw(p);
  p.last_ms = now;
  p.drawn = true;
}
