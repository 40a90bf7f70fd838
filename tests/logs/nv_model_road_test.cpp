// The NV crash log road end to end in process: the simulated expander model
// serves the chunks through the pass-through layer; incollect_log assembles,
// checks and decodes them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "logs/logs.h"
#include "logs/page_builders.h"
#include "model/log_pages.h"
#include "support/sim_device.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;
using testsupport::sim_device;
using testsupport::sim_device_options;

std::string read_data(const std::string &name) {
  std::ifstream in(std::string(CORVANE_TEST_DATA) + "/logs/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<int> requested_pages(const sim_device &device) {
  std::vector<int> pages;
  for (const auto &r : device.requests()) pages.push_back(r.bytes("cdb").at(2));
  return pages;
}

TEST(NvModelRoad, DefaultCrashLogAssembledCheckedAndDecoded) {
  testsupport::TempLog log;
  sim_device device;
  EXPECT_EQ(incollect_log(sim_device::kNode, 0xF4), 0);
  EXPECT_EQ(requested_pages(device), (std::vector<int>{0x82, 0xF4, 0xF4, 0xF4, 0xF4}));
  EXPECT_EQ(device.open_descriptors(), 0);
  const std::string expected = read_data("default_nvlog.expected");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(log.text(), expected);
}

// The model's default chunks, as the expander serves them.
std::vector<bytevec> default_chunks() {
  std::vector<bytevec> chunks;
  bytevec chunk;
  for (unsigned n = 0; sim::default_log_page(0xF4, n, chunk); ++n) chunks.push_back(chunk);
  return chunks;
}

struct hostile_case {
  const char *what;
  void (*spoil)(std::vector<bytevec> &chunks);
  std::size_t nv_reads;
};

// The model serves the chunks in a ring: after the last it starts again at
// the first, which reaches the assembler as a restart of the image.
const hostile_case kHostile[] = {
    {"last chunk missing: the ring restarts the image",
     [](std::vector<bytevec> &c) { c.pop_back(); }, 4},
    {"first chunk missing: a later chunk first", [](std::vector<bytevec> &c) { c.erase(c.begin()); },
     1},
    {"image smaller than the first chunk's data",
     [](std::vector<bytevec> &c) {
       testlogs::put_be32(c[1], 8, 100);
       testlogs::put_be32(c[0], 8, 100);
     },
     1},
    {"chunk without data",
     [](std::vector<bytevec> &c) { testlogs::put_be16(c[2], 2, 16); }, 3},
    {"header CRC spoiled in the first chunk", [](std::vector<bytevec> &c) { c[0][20 + 116] ^= 0x80; },
     4},
};

TEST(NvModelRoad, HostileChunkSequencesFailThePage) {
  for (const auto &c : kHostile) {
    testsupport::TempLog log;
    sim_device_options options;
    options.nv_chunks = default_chunks();
    c.spoil(options.nv_chunks);
    sim_device device(options);
    EXPECT_EQ(incollect_log(sim_device::kNode, 0xF4), -1) << c.what;
    const auto pages = requested_pages(device);
    EXPECT_EQ(pages.size(), 1 + c.nv_reads) << c.what;
    EXPECT_EQ(device.open_descriptors(), 0) << c.what;
    const std::string text = log.text();
    EXPECT_EQ(text.find("registers("), std::string::npos) << c.what;
    EXPECT_NE(text.find("check log fail\n\r"), std::string::npos) << c.what;
  }
}

}  // namespace
