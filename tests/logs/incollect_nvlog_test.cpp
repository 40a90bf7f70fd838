// Assembly of the NV log image from chunks served by a fake target: good
// sequences, every kind of malformed chunk, and the image's way into the page
// buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "logs/fake_expander.h"
#include "logs/logs.h"
#include "logs/page_builders.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;

bytevec patterned_image(std::size_t size) {
  bytevec image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
  return image;
}

struct assembly {
  nv_image image;
  std::size_t reads;
};

assembly assemble(const std::vector<bytevec> &chunks, bool fail_after = false) {
  testlogs::fake_expander fake;
  for (const bytevec &c : chunks) fake.queue(0xF4, c);
  if (fail_after) fake.queue(0xF4, {}, false);
  std::array<std::uint8_t, kPageBufferSize> page{};
  const nv_image image = incollect_nvlog("/dev/sg-fake", page);
  return {image, fake.requests().size()};
}

TEST(NvAssembly, ChunksJoinIntoTheImage) {
  for (std::size_t size : {1u, 300u, 1000u, 2028u, 2029u, 9000u}) {
    for (std::size_t chunk : {1u, 300u, 2028u}) {
      if (size / chunk > 400) continue;
      const bytevec image = patterned_image(size);
      const auto chunks = testlogs::nv_chunks(image, chunk);
      assembly a = assemble(chunks);
      ASSERT_NE(a.image.data, nullptr) << size << "/" << chunk;
      EXPECT_EQ(a.image.size, size);
      // Only the bytes that can reach the page buffer are kept.
      const std::size_t held = std::min<std::size_t>(size, kPageBufferSize);
      EXPECT_EQ(a.image.held, held);
      EXPECT_EQ(a.reads, chunks.size());
      EXPECT_TRUE(std::equal(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(held),
                             a.image.data))
          << size << "/" << chunk;
      std::free(a.image.data);
    }
  }
}

// Chunk pages of an image of 1000 bytes, for building malformed sequences.
const bytevec kImage = patterned_image(1000);

bytevec chunk(std::size_t from, std::size_t n, std::uint32_t offset, std::uint32_t size = 1000) {
  return testlogs::nv_chunk_page(kImage, from, n, offset, size);
}

bytevec with_page_length(bytevec page, std::uint16_t page_length) {
  testlogs::put_be16(page, 2, page_length);
  return page;
}

struct malformed_case {
  const char *what;
  std::vector<bytevec> chunks;
  std::size_t reads;  // reads made before the assembly gave up
  bool fail_after = false;
};

TEST(NvAssembly, MalformedSequencesGiveNoImageAndStop) {
  const malformed_case cases[] = {
      {"first chunk with a non-zero offset", {chunk(0, 300, 300)}, 1},
      {"zero image_size", {chunk(0, 300, 0, 0)}, 1},
      {"zero image_size in a later chunk", {chunk(0, 300, 0), chunk(300, 300, 300, 0)}, 2},
      {"chunk overruns the image", {chunk(0, 600, 0), chunk(0, 401, 600)}, 2},
      {"first chunk larger than the image", {chunk(0, 300, 0, 200)}, 1},
      {"chunk without data", {chunk(0, 300, 0), chunk(300, 0, 300)}, 2},
      {"page_length 15", {chunk(0, 300, 0), with_page_length(chunk(300, 300, 300), 15)}, 2},
      {"page_length 0", {with_page_length(chunk(0, 300, 0), 0)}, 1},
      {"restart with offset 0 mid-image", {chunk(0, 300, 0), chunk(0, 300, 0)}, 2},
      {"page_length beyond one read",
       {with_page_length(testlogs::nv_chunk_page(patterned_image(3000), 0, 2028, 0, 3000), 2045)},
       1},
      {"later chunk of another image size", {chunk(0, 300, 0), chunk(300, 300, 300, 2000)}, 2},
      {"read fails part-way", {chunk(0, 300, 0), chunk(300, 300, 300)}, 3, true},
      {"no reply at all", {}, 1},
  };
  for (const auto &c : cases) {
    assembly a = assemble(c.chunks, c.fail_after);
    EXPECT_EQ(a.image.data, nullptr) << c.what;
    EXPECT_EQ(a.reads, c.reads) << c.what;
    std::free(a.image.data);
  }
}

// Virtual memory of the process (VmSize), in bytes.
std::size_t virtual_size() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::stoul(line.substr(7)) * 1024;
  }
  return 0;
}

sg_syscalls g_served;
std::size_t g_peak_size = 0;

// Samples the process's size at every read of the assembly, then answers it.
int sampling_ioctl(int fd, unsigned long request, void *arg) {
  g_peak_size = std::max(g_peak_size, virtual_size());
  return g_served.ioctl_fn(fd, request, arg);
}

// A first chunk may declare an image of 4 GiB: the assembly goes on counting
// its chunks while its memory stays that of the bytes it keeps.
TEST(NvAssembly, MemoryDoesNotFollowTheDeclaredImageSize) {
  const bytevec data = patterned_image(6 * 2028);
  testlogs::fake_expander fake;
  fake.queue(0xF4, testlogs::nv_chunk_page(data, 0, 2028, 0, 0xFFFFFFFFu));
  for (std::size_t k = 1; k < 6; ++k) {
    fake.queue(0xF4, testlogs::nv_chunk_page(data, 2028 * k, 2028, 2028 * k, 0xFFFFFFFFu));
  }
  fake.queue(0xF4, testlogs::nv_chunk_page(data, 0, 2028, 6 * 2028, 0));  // the image ends
  g_served = g_sg_syscalls;
  sg_seam_guard sampling(sg_syscalls{g_served.open_fn, sampling_ioctl, g_served.close_fn});
  std::array<std::uint8_t, kPageBufferSize> page{};
  const std::size_t before = virtual_size();
  g_peak_size = before;
  const nv_image image = incollect_nvlog("/dev/sg-fake", page);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(fake.requests().size(), 7u);  // every chunk was taken in
  EXPECT_LT(g_peak_size - before, std::size_t{64} << 20);
}

TEST(NvAssembly, LargestChunkOfOneReadIsAccepted) {
  const bytevec image = patterned_image(2028);
  assembly a = assemble({testlogs::nv_chunk_page(image, 0, 2028, 0, 2028)});
  ASSERT_NE(a.image.data, nullptr);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), a.image.data));
  std::free(a.image.data);
}

// The page buffer after sg_incollect_log of page 0xF4.
std::array<std::uint8_t, kPageBufferSize> fetched(const std::vector<bytevec> &chunks,
                                                   std::string &log_text) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  for (const bytevec &c : chunks) fake.queue(0xF4, c);
  std::array<std::uint8_t, kPageBufferSize> page{};
  sg_incollect_log("/dev/sg-fake", page, 0xF4);
  log_text = log.text();
  return page;
}

TEST(NvFetch, SmallImageFillsOnlyItsBytes) {
  std::string text;
  const bytevec image = patterned_image(5000);
  const auto page = fetched(testlogs::nv_chunks(image, 2000), text);
  EXPECT_EQ(text, "incollect NVlog\n");
  EXPECT_TRUE(std::equal(image.begin(), image.end(), page.begin()));
  EXPECT_TRUE(std::all_of(page.begin() + 5000, page.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(NvFetch, LargeImageFillsThePageBuffer) {
  std::string text;
  const bytevec image = patterned_image(9000);
  const auto page = fetched(testlogs::nv_chunks(image, 2028), text);
  EXPECT_EQ(text, "incollect NVlog\n");
  EXPECT_TRUE(std::equal(page.begin(), page.end(), image.begin()));
}

TEST(NvFetch, NoImageIsLogged) {
  std::string text;
  fetched({chunk(0, 300, 300)}, text);
  EXPECT_EQ(text, "incollect NVlog\nsend expander incollect NVlog fail\n");
}

}  // namespace
