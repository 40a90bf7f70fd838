// The mandated I/O of the log command and nothing else, to run under the
// simulated expander beside the real command: the same ten requests (each
// opening the node, one SG_IO receive of 2048 bytes, closing it), then the
// given number of log entries of the given size, each appended with
// fopen("a") / fprintf / fclose, the first STAMPED of them after a time
// stamp (time and ctime, as the log's stamped lines need), the user lookup
// of the start line, and the two screen lines.
//   bench-log-floor DEVICE ENTRIES BYTES_PER_ENTRY STAMPED
#include <fcntl.h>
#include <pwd.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// A log page is received into a heap page buffer, as the command does.
void receive(const char *dev, int page) {
  const int fd = open(dev, O_RDONLY);
  if (fd < 0) std::exit(1);
  unsigned char cdb[6] = {0x1C, 0x01, static_cast<unsigned char>(page), 0x08, 0x00, 0x00};
  unsigned char status[2048];
  unsigned char *data = status;
  if (page != 0x82) data = static_cast<unsigned char *>(std::malloc(8500));
  if (data == nullptr) std::exit(1);
  unsigned char sense[32];
  sg_io_hdr_t hdr{};
  hdr.interface_id = 'S';
  hdr.dxfer_direction = SG_DXFER_FROM_DEV;
  hdr.cmd_len = sizeof cdb;
  hdr.mx_sb_len = sizeof sense;
  hdr.dxfer_len = 2048;
  hdr.dxferp = data;
  hdr.cmdp = cdb;
  hdr.sbp = sense;
  hdr.timeout = 60000;
  if (ioctl(fd, SG_IO, &hdr) < 0) std::exit(1);
  close(fd);
  if (data != status) std::free(data);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s DEVICE ENTRIES BYTES_PER_ENTRY STAMPED\n", argv[0]);
    return 2;
  }
  const passwd *user = getpwuid(getuid());
  if (user == nullptr) std::puts("no user name");
  const long entries = std::atol(argv[2]);
  const long stamped = std::atol(argv[4]);
  const std::string entry(static_cast<std::size_t>(std::atol(argv[3])), 'x');
  for (int page : {0x82, 0x82, 0x82, 0x80, 0x82, 0x02, 0x82, 0x0A, 0x82, 0xF3}) receive(argv[1], page);
  for (long i = 0; i < entries; ++i) {
    std::FILE *f = std::fopen("/var/log/expander_log.txt", "a");
    if (f == nullptr) return 1;
    if (i < stamped) {
      const std::time_t now = std::time(nullptr);
      std::fprintf(f, "%.24s ", std::ctime(&now));
    }
    std::fprintf(f, "%s", entry.c_str());
    std::fclose(f);
  }
  std::puts("Active Image:  image0\nImage Version: 103\nActive Data:   data0\nData Version:  015");
  std::puts("log saved in /var/log/expander_log.txt!");
  return 0;
}
