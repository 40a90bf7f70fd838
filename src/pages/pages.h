// corvane-pages: capture of an expander's pages, their offline decoding
// through the log road's own decoders, and a dry run of a download.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <span>

// Largest page a file may hold: page_length is 16 bits, after 4 header bytes.
inline constexpr std::size_t kMaxPageBytes = 0xFFFF + 4;
// Largest hex text read: three characters a byte and generous comments.
inline constexpr std::size_t kMaxHexText = 1 << 20;
// Room for one line of explanation.
inline constexpr std::size_t kWhySize = 160;

using why_span = std::span<char, kWhySize>;

// Parses ASCII hex: bytes as 1- or 2-digit tokens or as runs of digit pairs,
// separated by whitespace or commas; '#' starts a comment to the line end.
// Returns the number of bytes stored in out, or -1 with the reason in why
// (a character that is no hex digit, a run with an odd number of digits,
// more bytes than out holds).
long parse_hex_text(std::span<const char> text, std::span<std::uint8_t> out, why_span why);

// True when every byte is printable ASCII or whitespace: the file is hex text.
bool looks_like_text(std::span<const std::uint8_t> content);

// Reads a page file, binary or hex, into out (kMaxPageBytes bytes): the
// number of page bytes, or -1 with the reason in why. A path relative to the
// directory dir_fd (a capture directory) is never a symbolic link.
long load_page_file(const char *path, std::span<std::uint8_t, kMaxPageBytes> out, why_span why,
                    int dir_fd = AT_FDCWD);

// Opens path (relative to dir_fd) for reading without blocking, following a
// final symbolic link only when follow is set, and checks with fstat that it
// is a regular file of at most max bytes: the descriptor, or -1 with the
// reason in why.
int open_regular_file(int dir_fd, const char *path, bool follow, std::uint64_t max, why_span why);

// Checks that bytes hold a whole page: at least its 4-byte header and the
// page_length + 4 bytes it declares. 0, or -1 with the reason in why.
int check_whole_page(std::span<const std::uint8_t> bytes, why_span why);

// The whole command line and whether the run writes one JSON document.
struct run_args {
  int argc;
  char **argv;
  bool json;
};

// The commands; each returns the program's exit status. page is --page's
// code, or -1.
// hex prints each page's bytes (print_hex_page) instead of decoding them;
// unchecked decodes a page that fails its check all the same, marked so.
int decode_command(std::span<char *> paths, int page, const run_args &run, bool hex = false,
                   bool unchecked = false);

// A page's bytes as hex text that decode and sg_ses --inhex read back: a
// '#' comment naming the page, then 16 bytes a line, two digits each.
void print_hex_page(std::FILE *out, const char *path, std::span<const std::uint8_t> bytes);
int capture_command(const char *dir, const char *dev, const run_args &run);
int image_command(const char *file, bool pieces, const run_args &run);

// "0xNN" or a decimal number of 0 to 255, the whole text; -1 otherwise.
int parse_page_code(const char *text);

// Ends a text run: standard output is flushed, and a failure to write it is
// reported on standard error and turns an exit status of 0 into 1.
int finish_text(int exit_status);

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a page, file or device failed
inline constexpr int kExitUsage = 2;   // the command line was wrong
