// The mandated I/O of a download and nothing else, to run under the
// simulated expander beside the real command: the image read with one fread
// per byte, the firmware status page received once, then one String Out
// request per 512-byte piece (each opening the node, one SG_IO send,
// closing it).
//   bench-download-floor DEVICE FILE
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void request(const char *dev, int flags, int direction, unsigned char *cdb, unsigned char *data,
             unsigned len) {
  const int fd = open(dev, flags);
  if (fd < 0) std::exit(1);
  unsigned char sense[32];
  sg_io_hdr_t hdr{};
  hdr.interface_id = 'S';
  hdr.dxfer_direction = direction;
  hdr.cmd_len = 6;
  hdr.mx_sb_len = sizeof sense;
  hdr.dxfer_len = len;
  hdr.dxferp = data;
  hdr.cmdp = cdb;
  hdr.sbp = sense;
  hdr.timeout = 60000;
  if (ioctl(fd, SG_IO, &hdr) < 0) std::exit(1);
  close(fd);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DEVICE FILE\n", argv[0]);
    return 2;
  }
  std::FILE *image = std::fopen(argv[2], "rb");
  if (image == nullptr) return 1;
  unsigned char param[2048] = {};
  unsigned char status_cdb[6] = {0x1C, 0x01, 0x82, 0x08, 0x00, 0x00};
  request(argv[1], O_RDONLY, SG_DXFER_FROM_DEV, status_cdb, param, sizeof param);
  std::uint32_t offset = 0;
  std::size_t count = 0;
  for (;;) {
    unsigned char byte = 0;
    const bool at_end = std::fread(&byte, 1, 1, image) != 1;
    if (!at_end) param[9 + count++] = byte;
    if (count < 512 && !at_end) continue;
    if (count == 0) break;
    param[0] = 0x04;
    param[1] = 0;
    param[2] = static_cast<unsigned char>((count + 5) >> 8);
    param[3] = static_cast<unsigned char>(count + 5);
    param[4] = 0x01;
    for (int i = 0; i < 4; ++i) param[5 + i] = static_cast<unsigned char>(offset >> (24 - 8 * i));
    offset += static_cast<std::uint32_t>(count);
    const unsigned len = static_cast<unsigned>(count + 9);
    unsigned char cdb[6] = {0x1D, 0x10, 0x00, static_cast<unsigned char>(len >> 8),
                            static_cast<unsigned char>(len), 0x00};
    request(argv[1], O_RDWR, SG_DXFER_TO_DEV, cdb, param, len);
    count = 0;
    if (at_end) break;
  }
  std::fclose(image);
  return 0;
}
