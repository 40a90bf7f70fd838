// Writes the largest page set into a directory for expander-sim --pages:
//   bench-make-pages DIR [far]
#include <cstdio>
#include <cstring>
#include <string>

#include "max_pages.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [far]\n", argv[0]);
    return 2;
  }
  const bool far = argc > 2 && std::strcmp(argv[2], "far") == 0;
  const auto pages = benchpages::max_page_set(far ? benchpages::stamps::far_future
                                                  : benchpages::stamps::present_day);
  for (const auto &[code, bytes] : pages) {
    char name[32];
    std::snprintf(name, sizeof name, "/page_%02x.bin", code);
    const std::string path = std::string(argv[1]) + name;
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
      std::perror(path.c_str());
      return 1;
    }
    std::fclose(f);
  }
  return 0;
}
