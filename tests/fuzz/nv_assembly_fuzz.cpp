// The NV log assembly through the pass-through seam: every read of page 0xF4
// is answered with the next 2048-byte slice of the input (a short last slice
// fills the start of the buffer); once the input is used up, the request
// fails at the ioctl, as a device that stopped answering would.
//
// The bytes of an assembled image that the log road uses (at most the page
// buffer's size) are then read, so that an image shorter than it claims to
// be is caught, and placed in the page buffer as the log road does.
#include <scsi/sg.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/sizes.h"
#include "logs/logs.h"
#include "scratch_log.h"
#include "sg/sg_seam.h"

namespace {

constexpr int kFakeDescriptor = 3;

struct device_script {
  const std::uint8_t *data = nullptr;
  std::size_t size = 0;
  std::size_t used = 0;
  int open_descriptors = 0;
};

device_script g_device;

int fake_open(const char *, int) {
  ++g_device.open_descriptors;
  return kFakeDescriptor;
}

int fake_ioctl(int, unsigned long, void *arg) {
  auto *hdr = static_cast<sg_io_hdr_t *>(arg);
  if (g_device.used >= g_device.size) {
    errno = EIO;
    return -1;
  }
  const std::size_t left = g_device.size - g_device.used;
  std::size_t n = left < kReceiveSize ? left : kReceiveSize;
  if (n > hdr->dxfer_len) n = hdr->dxfer_len;
  if (hdr->dxfer_direction == SG_DXFER_FROM_DEV) {
    std::memcpy(hdr->dxferp, g_device.data + g_device.used, n);
  }
  g_device.used += left < kReceiveSize ? left : kReceiveSize;
  hdr->status = 0;
  hdr->host_status = 0;
  hdr->driver_status = 0;
  hdr->resid = static_cast<int>(hdr->dxfer_len - n);
  return 0;
}

int fake_close(int) {
  --g_device.open_descriptors;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::use_scratch_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzzsupport::reset_scratch_log();
  g_device = {data, size, 0, 0};
  sg_seam_guard seam({fake_open, fake_ioctl, fake_close});

  auto *page_bytes = new std::uint8_t[kPageBufferSize]();
  const page_span page(page_bytes, kPageBufferSize);
  const nv_image image = incollect_nvlog("/dev/sgfuzz", page);
  if (g_device.open_descriptors != 0) std::abort();  // a request left its descriptor open
  if ((image.data == nullptr) != (image.size == 0)) std::abort();
  if (image.data != nullptr) {
    // Reads every image byte the log road uses: the first kPageBufferSize.
    const std::size_t held = image.size < page.size() ? image.size : page.size();
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < held; ++i) sum += image.data[i];
    std::memcpy(page.data(), image.data, held);
    page[0] ^= static_cast<std::uint8_t>(sum);
    std::free(image.data);
  }
  delete[] page_bytes;
  return 0;
}
