// expander-sim-image: writes a sample image for the simulated expander.
//   expander-sim-image [--config] [--version XYZ] [--size N] FILE
// A firmware image starts with the firmware signature 50 4D 43 00; the
// simulator takes the three version characters from bytes 8-10. --config
// writes an image without the signature (a configuration image).
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: expander-sim-image [--config] [--version XYZ] [--size N] FILE\n"
    "  --config        a configuration image (no firmware signature)\n"
    "  --version XYZ   the image's version, three characters (default 104)\n"
    "  --size N        the image's length in bytes, 11 to 33554432 (default 1300)\n"
    "  -h, --help      show this text\n"
    "  -V              show the program's version\n";

constexpr char kProgramVersion[] = "expander-sim-image " CORVANE_VERSION "\n";

// The largest image the simulated expander takes.
constexpr unsigned long kMaxSize = 32ul * 1024 * 1024;
constexpr unsigned long kMinSize = 11;  // signature, four zeros, version

enum option_id : int { kOptConfig = 256, kOptVersion, kOptSize };

constexpr struct option kLongOptions[] = {
    {"config", no_argument, nullptr, kOptConfig},
    {"version", required_argument, nullptr, kOptVersion},
    {"size", required_argument, nullptr, kOptSize},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

int usage_error(const char *why, const char *what) {
  std::fprintf(stderr, "expander-sim-image: %s%s\n", why, what);
  std::fputs(kUsage, stderr);
  return 2;
}

bool parse_size(const char *text, unsigned long &size) {
  if (text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char *end = nullptr;
  size = std::strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && size >= kMinSize && size <= kMaxSize;
}

}  // namespace

int main(int argc, char **argv) {
  bool config = false;
  std::string version = "104";
  unsigned long size = 1300;
  // "--version XYZ" sets the image's version, so the program's own version is
  // asked for with --version alone (no value) or -V.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    return std::fputs(kProgramVersion, stdout) < 0 ? 1 : 0;
  }
  opterr = 0;
  int c = 0;
  while ((c = getopt_long(argc, argv, ":hV", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case kOptConfig: config = true; break;
      case kOptVersion:
        version = optarg;
        if (version.size() != 3) return usage_error("the version must be three characters: ", optarg);
        break;
      case kOptSize:
        if (!parse_size(optarg, size)) return usage_error("not a size from 11 to 33554432: ", optarg);
        break;
      case 'h': return std::fputs(kUsage, stdout) < 0 ? 1 : 0;
      case 'V': return std::fputs(kProgramVersion, stdout) < 0 ? 1 : 0;
      case ':': return usage_error("option needs a value: ", argv[optind - 1]);
      default: return usage_error("unknown option ", argv[optind - 1]);
    }
  }
  if (optind >= argc) return usage_error("no file named", "");
  if (argc - optind > 1) return usage_error("one file only; also given: ", argv[optind + 1]);
  const char *file = argv[optind];
  std::vector<unsigned char> image(size);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 31 + 7);
  const unsigned char signature[4] = {0x50, 0x4D, 0x43, 0x00};
  for (std::size_t i = 0; i < 4; ++i) image[i] = config ? static_cast<unsigned char>(0x43 + i) : signature[i];
  std::memset(&image[4], 0, 4);
  std::memcpy(&image[8], version.data(), 3);
  std::FILE *f = std::fopen(file, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "expander-sim-image: cannot write %s: %s\n", file, std::strerror(errno));
    return 1;
  }
  const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
  const int error = errno;
  if (std::fclose(f) != 0 || !written) {
    std::fprintf(stderr, "expander-sim-image: cannot write %s: %s\n", file, std::strerror(written ? errno : error));
    return 1;
  }
  return 0;
}
