// The NV log assembly through the pass-through seam: every read of page 0xF4
// is answered with the next 2048-byte slice of the input (a short last slice
// fills the start of the buffer); once the input is used up, the request
// fails at the ioctl, as a device that stopped answering would.
//
// The result is compared with a model of the assembly rules worked out from
// the slices alone: the first chunk (chunk_offset 0) gives the image size;
// each chunk appends page_length - 16 data bytes; the assembly fails on an
// image_size of 0, a later chunk before the first, a second first chunk, a
// chunk of another image size, one without data, one longer than a read or
// one that would run past the image. The image bytes the log road uses (at
// most the page buffer's size) must be the chunks' data in order.
#include <scsi/sg.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

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

std::uint32_t be(const std::uint8_t *p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

struct expected_image {
  bool present = false;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> first;  // the first kPageBufferSize bytes at most
};

// The assembly as the rules above give it, from the slices of the input.
expected_image model_assembly(const std::uint8_t *data, std::size_t size) {
  constexpr std::uint32_t kMaxPageLength = kReceiveSize - 4;
  expected_image e;
  bool started = false;
  std::uint64_t gathered = 0;
  for (std::size_t at = 0;; at += kReceiveSize) {
    std::array<std::uint8_t, kReceiveSize> slice{};
    if (at < size) std::memcpy(slice.data(), data + at, std::min(kReceiveSize, size - at));
    const std::uint32_t page_length = be(slice.data() + 2, 2);
    const std::uint32_t chunk_offset = be(slice.data() + 4, 4);
    const std::uint32_t image_size = be(slice.data() + 8, 4);
    if (image_size == 0) return {};
    if (chunk_offset == 0) {
      if (started) return {};
      started = true;
      e.size = image_size;
    } else if (!started) {
      return {};
    }
    if (image_size != e.size) return {};
    if (page_length <= 16 || page_length > kMaxPageLength) return {};
    const std::uint32_t chunk_data = page_length - 16;
    if (chunk_data > e.size - gathered) return {};
    for (std::uint32_t i = 0; i < chunk_data && e.first.size() < kPageBufferSize; ++i) {
      e.first.push_back(slice[20 + i]);
    }
    gathered += chunk_data;
    if (gathered == e.size) {
      e.present = true;
      return e;
    }
  }
}

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "nv assembly fuzz: the assembly gave %s\n", what);
  std::abort();
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
  if (g_device.open_descriptors != 0) fail("a descriptor left open");
  const expected_image want = model_assembly(data, size);
  if ((image.data != nullptr) != want.present) fail(want.present ? "no image" : "an image");
  if (image.data != nullptr) {
    if (image.size != want.size) fail("an image of another size");
    // Reads every image byte the log road uses: the first kPageBufferSize.
    const std::size_t held = image.size < page.size() ? image.size : page.size();
    if (held != want.first.size() || std::memcmp(image.data, want.first.data(), held) != 0) {
      fail("other image bytes");
    }
    std::memcpy(page.data(), image.data, held);
    std::free(image.data);
  } else if (image.size != 0) {
    fail("a size without an image");
  }
  delete[] page_bytes;
  return 0;
}
