// The watch readers on hostile and edge-case pages: they never read past
// what arrived, refuse what cannot be the page, and find SES nodes in sysfs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logs/page_builders.h"
#include "pages/watch.h"

namespace {

using bytes_t = std::vector<std::uint8_t>;

struct count_case {
  const char *what;
  bytes_t page;
  bool ok;
  std::size_t items;
};

TEST(WatchParse, EnclosureStatusStaysWithinDeclaredAndHeldBytes) {
  const std::vector<count_case> cases = {
      {"overall and two elements", {0x02, 0, 0, 16, 0, 0, 0, 0, 1, 0, 0, 0, 0x45, 0, 0, 0, 2, 0, 0, 0}, true, 3},
      {"declares more than arrived", {0x02, 0, 0, 200, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0}, true, 2},
      {"declares less than arrived", {0x02, 0, 0, 8, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0}, true, 1},
      {"partial element dropped", {0x02, 0, 0, 10, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0}, true, 1},
      {"header only", {0x02, 0, 0, 4, 0, 0, 0, 0}, false, 0},
      {"another page", {0x03, 0, 0, 8, 0, 0, 0, 0, 1, 0, 0, 0}, false, 0},
      {"nothing", {}, false, 0},
  };
  for (const count_case &c : cases) {
    std::vector<watch_element> out;
    std::string why;
    EXPECT_EQ(parse_enclosure_status(c.page, out, why), c.ok) << c.what;
    if (!c.ok) continue;
    ASSERT_EQ(out.size(), c.items) << c.what;
    EXPECT_EQ(out[0].index, -1) << c.what;
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i].index, static_cast<int>(i) - 1) << c.what;
  }
  std::vector<watch_element> out;
  std::string why;
  ASSERT_TRUE(parse_enclosure_status(cases[0].page, out, why));
  EXPECT_EQ(out[1].status, 5);
  EXPECT_TRUE(out[1].predicted_failure);
  EXPECT_EQ(out[2].status, 2);
}

TEST(WatchParse, SssfRecordsAndTheirFields) {
  const bytes_t page = {0xF3, 0, 0, 16, 0xFF, 0xBA, 0, 0, 0x05, 0, 0, 0, 0x01, 0x00, 0, 0, 0x02, 0, 0, 0, 0xFF};
  std::vector<watch_phy> out;
  std::string why;
  ASSERT_TRUE(parse_sssf_status(page, out, why));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].phy_id, 127);
  EXPECT_EQ(out[0].sxl_rate, 0xB);
  EXPECT_EQ(out[0].sspl_rate, 0xA);
  EXPECT_TRUE(out[0].emip_err);
  EXPECT_FALSE(out[0].sxl_err);
  EXPECT_TRUE(out[0].sssf_err);
  EXPECT_EQ(out[1].phy_id, 1);
  EXPECT_TRUE(out[1].sxl_err);
  EXPECT_FALSE(out[1].emip_err);
  EXPECT_FALSE(parse_sssf_status(bytes_t{0xF3, 0}, out, why));
}

TEST(WatchParse, RamLogNeedsItsChecksumAndWholeRecords) {
  const testlogs::record a{1, 2, 3, 4, 5, 6, 7, 8};
  const testlogs::record b{0x00050002, 0, 0, 0xFFFFFFFF, 0, 0, 0, 9};
  const bytes_t good = testlogs::ram_page({a, b});
  std::vector<watch_event> out;
  std::string why;
  ASSERT_TRUE(parse_ram_log(good, out, why)) << why;
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].words, a);
  EXPECT_EQ(out[1].severity(), 2);
  EXPECT_EQ(out[1].number(), -1);

  bytes_t bad_sum = good;
  bad_sum[33] ^= 0x10;
  bytes_t cut = good;
  cut.resize(good.size() - 1);
  bytes_t zero_length = good;
  zero_length[2] = zero_length[3] = 0;
  bytes_t too_many = good;
  testlogs::put_be16(too_many, 18, 32 * 3);
  for (const auto &[what, page, reason] : std::vector<std::tuple<const char *, bytes_t, const char *>>{
           {"checksum", bad_sum, "checksum does not match"},
           {"last byte missing", cut, "declares more records than it holds"},
           {"page_length 0", zero_length, "too short"},
           {"record_bytes past the page", too_many, "declares more records than it holds"}}) {
    EXPECT_FALSE(parse_ram_log(page, out, why)) << what;
    EXPECT_NE(why.find(reason), std::string::npos) << what << ": " << why;
  }
  // A remainder of record_bytes is ignored, as the log command does.
  bytes_t remainder = testlogs::ram_page({a});
  testlogs::put_be16(remainder, 18, 32 + 7);
  ASSERT_TRUE(parse_ram_log(remainder, out, why)) << why;
  EXPECT_EQ(out.size(), 1u);
}

TEST(WatchParse, IdentityFromDesignatorsAndSerial) {
  watch_identity id;
  std::string why;
  // A T10 vendor designator first, then the NAA one of the logical unit.
  const bytes_t vpd83 = {0x0D, 0x83, 0, 24, 0x02, 0x01, 0, 4, 'A', 'B', 'C', 'D',
                         0x01, 0x03, 0, 8,   0x50, 0x01, 0x40, 0x5C, 0, 0, 0, 0x2A};
  ASSERT_TRUE(parse_device_id(vpd83, id, why)) << why;
  EXPECT_EQ(id.id, "naa.5001405c0000002a");
  // A port's NAA designator (association 1) is not the expander's.
  EXPECT_FALSE(parse_device_id(bytes_t{0x0D, 0x83, 0, 12, 0x01, 0x13, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8}, id, why));
  // A designator running past the page ends the walk.
  EXPECT_FALSE(parse_device_id(bytes_t{0x0D, 0x83, 0, 8, 0x01, 0x03, 0, 40, 1, 2, 3, 4}, id, why));

  ASSERT_TRUE(parse_unit_serial(bytes_t{0x0D, 0x80, 0, 6, ' ', 'S', '1', 0x07, ' ', ' '}, id, why));
  EXPECT_EQ(id.serial, "S1.");
  EXPECT_FALSE(parse_unit_serial(bytes_t{0x0D, 0x80, 0, 2, ' ', ' '}, id, why));
}

TEST(WatchParse, SesNodesAreTheScsiGenericDevicesOfType13) {
  char tmpl[] = "/tmp/cvsysXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  const auto node = [&](const char *name, const char *type) {
    const std::string dir = root + "/class/scsi_generic/" + name + "/device";
    std::filesystem::create_directories(dir);
    if (type != nullptr) std::ofstream(dir + "/type") << type;
  };
  node("sg10", "13\n");
  node("sg2", "13\n");
  node("sg1", "0\n");     // a disk
  node("sg3", nullptr);   // no type
  node("sgx", "13\n");    // not a node name
  EXPECT_EQ(watch_ses_nodes(root.c_str()), (std::vector<std::string>{"/dev/sg2", "/dev/sg10"}));
  EXPECT_TRUE(watch_ses_nodes((root + "/none").c_str()).empty());
  std::filesystem::remove_all(root);
}

TEST(WatchParse, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
  char tmpl[] = "/tmp/cvatomXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  std::string why;
  ASSERT_EQ(write_file_atomically(dir + "/f", "one\n", why), 0) << why;
  ASSERT_EQ(write_file_atomically(dir + "/f", "two\n", why), 0) << why;
  std::ifstream in(dir + "/f");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "two\n");
  std::size_t files = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1u);
  EXPECT_NE(write_file_atomically(dir + "/missing/f", "x", why), 0);
  EXPECT_NE(why.find("temporary file"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
