#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "preload/real_calls.h"

namespace simpre {

int real_open(const char *path, int flags, unsigned mode) {
  static open_t fn = next_symbol<open_t>("open");
  return fn(path, flags, mode);
}

int real_close(int fd) {
  static close_t fn = next_symbol<close_t>("close");
  return fn(fd);
}

void append_line(const char *path, const std::string &text) {
  if (path == nullptr || path[0] == '\0') return;
  const int fd = real_open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  write_line(fd, text);
  real_close(fd);
}

void write_line(int fd, const std::string &text) {
  const std::string line = text + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t w = ::write(fd, line.data() + done, line.size() - done);
    if (w <= 0) break;
    done += static_cast<std::size_t>(w);
  }
}

}  // namespace simpre
