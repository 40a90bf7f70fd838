#include "model/state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sim {

namespace {

std::string state_file(const std::string &dir) { return dir + "/state.txt"; }
std::string image_file(const std::string &dir) { return dir + "/received.bin"; }

std::string hex(const version_t &v) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x%02x%02x", v[0], v[1], v[2]);
  return text;
}

bool unhex(const std::string &s, version_t &v) {
  if (s.size() != 6) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    char *end = nullptr;
    const std::string two = s.substr(2 * i, 2);
    const unsigned long b = std::strtoul(two.c_str(), &end, 16);
    if (*end != '\0') return false;
    v[i] = static_cast<std::uint8_t>(b);
  }
  return true;
}

void apply(expander_state &s, const std::string &key, const std::string &value) {
  const int n = std::atoi(value.c_str());
  if (key == "active_image") s.active_image = n == 1 ? 1 : 0;
  if (key == "active_data") s.active_data = n == 1 ? 1 : 0;
  if (key == "swap_armed") s.swap_armed = n == 1;
  if (key == "resets") s.resets = static_cast<unsigned>(n);
  if (key == "booted_image") s.booted_image = n == 1 ? 1 : 0;
  if (key == "silent_until_ms") s.silent_until_ms = std::strtoull(value.c_str(), nullptr, 10);
  if (key == "image_version_0") unhex(value, s.image_version[0]);
  if (key == "image_version_1") unhex(value, s.image_version[1]);
  if (key == "data_version_0") unhex(value, s.data_version[0]);
  if (key == "data_version_1") unhex(value, s.data_version[1]);
}

}  // namespace

std::uint64_t wall_clock_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

state_stamp stamp_state(const std::string &dir) {
  struct stat st {};
  if (::stat(state_file(dir).c_str(), &st) != 0) return {};
  return {static_cast<std::uint64_t>(st.st_ino), static_cast<std::uint64_t>(st.st_size),
          static_cast<std::uint64_t>(st.st_ctim.tv_sec) * 1000000000u + static_cast<std::uint64_t>(st.st_ctim.tv_nsec)};
}

bool make_state_dir(const std::string &dir) {
  if (dir.empty()) return false;
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

expander_state load_state(const std::string &dir) {
  expander_state s;
  std::FILE *f = std::fopen(state_file(dir).c_str(), "r");
  if (f == nullptr) return s;
  char line[256];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const auto eq = text.find('=');
    if (eq != std::string::npos) apply(s, text.substr(0, eq), text.substr(eq + 1));
  }
  std::fclose(f);
  return s;
}

bool save_state(const std::string &dir, const expander_state &s) {
  const std::string tmp = state_file(dir) + ".tmp";
  std::FILE *f = std::fopen(tmp.c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f, "active_image=%d\nimage_version_0=%s\nimage_version_1=%s\n", s.active_image,
               hex(s.image_version[0]).c_str(), hex(s.image_version[1]).c_str());
  std::fprintf(f, "active_data=%d\ndata_version_0=%s\ndata_version_1=%s\n", s.active_data,
               hex(s.data_version[0]).c_str(), hex(s.data_version[1]).c_str());
  std::fprintf(f, "swap_armed=%d\nresets=%u\n", s.swap_armed ? 1 : 0, s.resets);
  std::fprintf(f, "booted_image=%d\nsilent_until_ms=%llu\n", s.booted_image,
               static_cast<unsigned long long>(s.silent_until_ms));
  const bool written = std::fclose(f) == 0;
  return written && std::rename(tmp.c_str(), state_file(dir).c_str()) == 0;
}

std::uint64_t received_size(const std::string &dir) {
  struct stat st {};
  if (::stat(image_file(dir).c_str(), &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

bool store_piece(const std::string &dir, std::uint64_t offset, const std::uint8_t *data, std::size_t n) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (offset == 0 ? O_TRUNC : 0);
  const int fd = ::open(image_file(dir).c_str(), flags, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = ::pwrite(fd, data + done, n - done, static_cast<off_t>(offset + done));
    if (w <= 0) break;
    done += static_cast<std::size_t>(w);
  }
  ::close(fd);
  return done == n;
}

std::vector<std::uint8_t> received_head(const std::string &dir, std::size_t n) {
  std::vector<std::uint8_t> head(n);
  const int fd = ::open(image_file(dir).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  const ssize_t r = ::pread(fd, head.data(), n, 0);
  ::close(fd);
  head.resize(r > 0 ? static_cast<std::size_t>(r) : 0);
  return head;
}

void drop_received(const std::string &dir) { ::unlink(image_file(dir).c_str()); }

}  // namespace sim
