// Writes the seed corpus of the fuzz targets under the directory given:
// <dir>/<target>/<name>. The log pages are the simulated expander's built-in
// ones (and short forms of them, as the page layouts allow); the other seeds
// are the formats the program uses and plain calls of the copy routines.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/page_bytes.h"
#include "model/log_pages.h"

namespace {

using page_bytes::bytevec;
using page_bytes::put_be16;

bool write_seed(const std::string &dir, const std::string &name, const bytevec &bytes) {
  const std::string path = dir + "/" + name;
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bytevec page(int code) {
  bytevec out;
  sim::default_log_page(code, 0, out);
  return out;
}

// The NV log image the built-in chunks carry, and the chunks themselves.
bytevec nv_image(std::vector<bytevec> &chunks) {
  bytevec image;
  bytevec chunk;
  for (unsigned n = 0; sim::default_log_page(0xF4, n, chunk); ++n) {
    chunks.push_back(chunk);
    image.insert(image.end(), chunk.begin() + 20, chunk.end());
  }
  return image;
}

// A seed of the log road: the page selector byte, then the page.
bytevec road(std::uint8_t selector, const bytevec &p, std::size_t keep = SIZE_MAX) {
  bytevec seed{selector};
  seed.insert(seed.end(), p.begin(), p.begin() + static_cast<long>(std::min(keep, p.size())));
  return seed;
}

bool log_road(const std::string &dir) {
  constexpr std::uint8_t kSeal = 0x80;
  std::vector<bytevec> chunks;
  const bytevec image = nv_image(chunks);
  bool ok = write_seed(dir, "ram_log", road(0, page(0x80))) &&
            write_seed(dir, "enclosure_status", road(1, page(0x02))) &&
            write_seed(dir, "additional_element", road(2, page(0x0A))) &&
            write_seed(dir, "sssf_status", road(3, page(0xF3))) &&
            write_seed(dir, "nv_log_image", road(4, image));
  // Short forms: one RAM record (sum sealed by the target), an enclosure page
  // holding the overall element only, an image cut after its header.
  bytevec ram = page(0x80);
  put_be16(ram, 18, 32);
  ok = ok && write_seed(dir, "ram_log_one_record", road(kSeal, ram, 32 + 32));
  bytevec enclosure = page(0x02);
  put_be16(enclosure, 2, 4);
  ok = ok && write_seed(dir, "enclosure_status_overall", road(1, enclosure, 8));
  ok = ok && write_seed(dir, "nv_log_header_only", road(4 | kSeal, image, 120));
  return ok;
}

// Reads of page 0xF4 come in 2048-byte slices.
constexpr std::size_t kSlice = 2048;

bool nv_assembly(const std::string &dir) {
  std::vector<bytevec> chunks;
  const bytevec image = nv_image(chunks);
  bytevec served;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    served.insert(served.end(), chunks[i].begin(), chunks[i].end());
    if (i + 1 < chunks.size()) served.resize((i + 1) * kSlice, 0);
  }
  // The same image in one chunk.
  bytevec whole(20, 0);
  whole[0] = 0xF4;
  put_be16(whole, 2, static_cast<unsigned>(16 + image.size()));
  whole[8] = static_cast<std::uint8_t>(image.size() >> 24);
  whole[9] = static_cast<std::uint8_t>(image.size() >> 16);
  whole[10] = static_cast<std::uint8_t>(image.size() >> 8);
  whole[11] = static_cast<std::uint8_t>(image.size());
  whole.insert(whole.end(), image.begin(), image.end());
  return write_seed(dir, "sim_chunks", served) && write_seed(dir, "one_chunk", whole);
}

// destMax 2048, count 2047, three argument values, the format, "\0", the text.
bytevec format_seed(const std::string &format, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  bytevec seed = {0x07, 0xFF, 0x07, 0xFE, 0x00};
  for (std::uint64_t v : {a, b, c}) {
    for (int i = 0; i < 8; ++i) seed.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  seed.insert(seed.end(), format.begin(), format.end());
  seed.push_back(0);
  const std::string text = "phy 0";
  seed.insert(seed.end(), text.begin(), text.end());
  return seed;
}

bool format(const std::string &dir) {
  const struct {
    const char *name;
    const char *format;
    std::uint64_t a, b, c;
  } seeds[] = {
      {"dump_word", "0x%08x ", 0x9FC01A2C, 0, 0},
      {"line", "%s  SAS device type: %s\n", 0, 0, 0},
      {"versions", "Image Version: %c%c%c\n", '1', '0', '4'},
      {"user", "user name:%s uid:%d gid:%d\n", 0, 1000, 1000},
      {"hex_byte", "%02x", 0xAB, 0, 0},
      {"field", "%-3d ", static_cast<std::uint64_t>(-7), 0, 0},
      {"stars", "[%*.*d]", 12, 5, 42},
      {"sizes", "%hhd %lu %llx", 300, 0xFFFFFFFFFFULL, 0x8000000000000000ULL},
      {"pointer_float", "%p %.3f", 0x1000, 0x400921FB54442D18ULL, 0},
      {"wide", "%ls %lc %I64d", 0, 'W', 5000000000ULL},
  };
  for (const auto &s : seeds) {
    if (!write_seed(dir, s.name, format_seed(s.format, s.a, s.b, s.c))) return false;
  }
  return true;
}

bool bounded_copy(const std::string &dir) {
  constexpr int kRoutines = 11;
  const std::string text = "expander event log line 0123456789";
  for (int r = 0; r < kRoutines; ++r) {
    // dest 0, source 48 (disjoint) and 8 (overlapping), destMax 40, count 20.
    for (std::uint8_t src : {48, 8}) {
      bytevec seed = {static_cast<std::uint8_t>(r), 0, 0, 0, 0, src, 0, 40, 0, 20, 0x5A};
      bytevec arena(100, 0);
      std::copy(text.begin(), text.begin() + 20, arena.begin() + 4);
      std::copy(text.begin(), text.end(), arena.begin() + 48);
      seed.insert(seed.end(), arena.begin(), arena.end());
      const std::string name = "routine" + std::to_string(r) + (src == 8 ? "_overlap" : "");
      if (!write_seed(dir, name, seed)) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR (with one existing folder per target)\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = log_road(dir + "/log_road") && nv_assembly(dir + "/nv_assembly") &&
                  format(dir + "/format") && bounded_copy(dir + "/bounded_copy");
  return ok ? 0 : 1;
}
