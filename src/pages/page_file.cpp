// A page file as given to the decoder: a whole binary page, or ASCII hex.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "pages/pages.h"

int check_whole_page(std::span<const std::uint8_t> page, why_span why) {
  if (page.empty()) {
    sprintf_s(why.data(), why.size(), "empty: no page in it");
    return -1;
  }
  if (page.size() < page_header::kSize) {
    sprintf_s(why.data(), why.size(), "%zu bytes, too short for the 4-byte page header",
              page.size());
    return -1;
  }
  const std::size_t declared = page_header::declared_size(page);
  if (declared > page.size()) {
    sprintf_s(why.data(), why.size(),
              "page_length %zu declares %zu bytes, the file holds only %zu (truncated page)",
              declared - page_header::kSize, declared, page.size());
    return -1;
  }
  return 0;
}

int open_regular_file(int dir_fd, const char *path, bool follow, std::uint64_t max, why_span why) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  guard::fd fd(openat(dir_fd, path, flags));
  if (fd.value < 0) {
    if (errno == ELOOP && !follow) {
      sprintf_s(why.data(), why.size(), "a symbolic link: a capture directory holds only its own files");
    } else {
      sprintf_s(why.data(), why.size(), "cannot be opened: %s", std::strerror(errno));
    }
    return -1;
  }
  struct stat st {};
  if (fstat(fd.value, &st) != 0) {
    sprintf_s(why.data(), why.size(), "cannot be examined: %s", std::strerror(errno));
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    sprintf_s(why.data(), why.size(), "not a regular file");
    return -1;
  }
  if (static_cast<std::uint64_t>(st.st_size) > max) {
    sprintf_s(why.data(), why.size(), "%lld bytes, larger than %llu", static_cast<long long>(st.st_size),
              static_cast<unsigned long long>(max));
    return -1;
  }
  const int value = fd.value;
  fd.value = -1;
  return value;
}

long load_page_file(const char *path, std::span<std::uint8_t, kMaxPageBytes> out, why_span why,
                    int dir_fd) {
  const int fd = open_regular_file(dir_fd, path, dir_fd == AT_FDCWD, kMaxHexText, why);
  if (fd < 0) return -1;
  guard::file file(fdopen(fd, "rb"));
  if (file.value == nullptr) {
    close(fd);
    sprintf_s(why.data(), why.size(), "cannot be opened: %s", std::strerror(errno));
    return -1;
  }
  guard::heap<std::uint8_t> content(static_cast<std::uint8_t *>(std::malloc(kMaxHexText + 1)));
  if (content.value == nullptr) {
    sprintf_s(why.data(), why.size(), "no memory to read it");
    return -1;
  }
  const std::size_t n = std::fread(content.value, 1, kMaxHexText + 1, file.value);
  if (std::ferror(file.value)) {
    sprintf_s(why.data(), why.size(), "cannot be read: %s", std::strerror(errno));
    return -1;
  }
  if (n == 0) {
    sprintf_s(why.data(), why.size(), "empty: no page in it");
    return -1;
  }
  if (n > kMaxHexText) {
    sprintf_s(why.data(), why.size(), "larger than %zu bytes: no page file", kMaxHexText);
    return -1;
  }
  const std::span<const std::uint8_t> bytes_read(content.value, n);
  if (looks_like_text(bytes_read)) {
    return parse_hex_text({reinterpret_cast<const char *>(content.value), n}, out, why);
  }
  if (n > out.size()) {
    sprintf_s(why.data(), why.size(), "%zu bytes, longer than any page (%zu)", n, out.size());
    return -1;
  }
  memcpy_s(out.data(), out.size(), content.value, n);
  return static_cast<long>(n);
}
