// expander-sim-image: writes a sample image for the simulated expander.
//   expander-sim-image [--config] [--version XYZ] [--size N] FILE
// A firmware image starts with the firmware signature 50 4D 43 00; the
// simulator takes the three version characters from bytes 8-10. --config
// writes an image without the signature (a configuration image).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  bool config = false;
  std::string version = "104";
  long size = 1300;
  const char *file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--config") == 0) {
      config = true;
    } else if (std::strcmp(argv[i], "--version") == 0 && i + 1 < argc) {
      version = argv[++i];
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      size = std::atol(argv[++i]);
    } else {
      file = argv[i];
    }
  }
  if (file == nullptr || version.size() != 3 || size < 11) {
    std::fputs("usage: expander-sim-image [--config] [--version XYZ] [--size N>=11] FILE\n", stderr);
    return 2;
  }
  std::vector<unsigned char> image(static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 31 + 7);
  const unsigned char signature[4] = {0x50, 0x4D, 0x43, 0x00};
  for (int i = 0; i < 4; ++i) image[static_cast<std::size_t>(i)] = config ? static_cast<unsigned char>(0x43 + i) : signature[i];
  std::memset(&image[4], 0, 4);
  std::memcpy(&image[8], version.data(), 3);
  std::FILE *f = std::fopen(file, "wb");
  if (f == nullptr || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "expander-sim-image: cannot write %s\n", file);
    return 1;
  }
  return 0;
}
