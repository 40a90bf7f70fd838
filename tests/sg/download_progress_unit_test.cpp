// The progress line's drawing rule in process: the first and the last piece
// are always drawn, the ones between at most once per interval.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "sg/download_progress.h"

namespace {

// Standard error goes to a private file for one scope.
class stderr_to_file {
 public:
  stderr_to_file() {
    std::fflush(stderr);
    saved_ = ::dup(2);
    std::FILE *f = std::tmpfile();
    file_ = f;
    ::dup2(::fileno(f), 2);
  }
  ~stderr_to_file() {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    std::fclose(file_);
  }
  std::string text() {
    std::fflush(stderr);
    std::rewind(file_);
    std::string s;
    for (int c; (c = std::fgetc(file_)) != EOF;) s.push_back(static_cast<char>(c));
    return s;
  }

 private:
  int saved_ = -1;
  std::FILE *file_ = nullptr;
};

std::size_t count(const std::string &text, char c) {
  std::size_t n = 0;
  for (char x : text) n += x == c;
  return n;
}

TEST(DownloadProgressLine, FirstAndLastDrawnTheRestRateLimited) {
  constexpr std::size_t kPieces = 2000;
  stderr_to_file err;
  const auto start = std::chrono::steady_clock::now();
  {
    download_progress p(nullptr);
    p.shown = true;  // as on a terminal
    p.total = kPieces * 512 - 100;
    for (std::size_t i = 0; i + 1 < kPieces; ++i) progress_piece(p, 512);
    progress_piece(p, 412);
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start).count();
  const std::string text = err.text();
  EXPECT_EQ(text.rfind("\rsent 512 of 1023900 bytes   0%, piece 1 of 2000", 0), 0u) << text;
  const std::string last = "\rsent 1023900 of 1023900 bytes 100%, piece 2000 of 2000\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  EXPECT_EQ(count(text, '\n'), 1u);
  EXPECT_LE(count(text, '\r'), 2u + static_cast<std::size_t>(elapsed / kProgressIntervalMs));
}

TEST(DownloadProgressLine, NothingWhenNotShown) {
  stderr_to_file err;
  {
    download_progress p(nullptr);
    p.shown = false;
    for (int i = 0; i < 10; ++i) progress_piece(p, 512);
    EXPECT_EQ(p.sent, 5120u);
    EXPECT_EQ(p.pieces, 10u);
  }
  EXPECT_EQ(err.text(), "");
}

}  // namespace
