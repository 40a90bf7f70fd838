// corvane-pages: capture of an expander's pages, their offline decoding
// through the log road's own decoders, and a dry run of a download.
#pragma once

#include <cstddef>
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
// number of page bytes, or -1 with the reason in why.
long load_page_file(const char *path, std::span<std::uint8_t, kMaxPageBytes> out, why_span why);

// Checks that bytes hold a whole page: at least its 4-byte header and the
// page_length + 4 bytes it declares. 0, or -1 with the reason in why.
int check_whole_page(std::span<const std::uint8_t> bytes, why_span why);

// The commands; each returns the program's exit status.
int decode_command(int argc, char **argv);
int capture_command(const char *dir, const char *dev);
int image_command(const char *file, bool pieces);
int check_command(int argc, char **argv);   // argv[0] is "check"
int verify_command(int argc, char **argv);  // argv[0] is "verify"

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a page, file or device failed
inline constexpr int kExitUsage = 2;   // the command line was wrong
// check: 0 the download would change the expander, 2 nothing to do, 3 the
// image or the device cannot be used, 1 any other error (a wrong command
// line too: 2 would read as "nothing to do").
inline constexpr int kExitCheckNothingToDo = 2;
inline constexpr int kExitCheckRefused = 3;
inline constexpr int kExitCheckError = 1;
// verify: 0 verified, 4 the expander answers with another version, 1 it did
// not answer in time (kExitFailed).
inline constexpr int kExitVerifyOtherVersion = 4;
