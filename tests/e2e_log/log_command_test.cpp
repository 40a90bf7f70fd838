// The log command through the real binary under the simulated expander: the
// requests it makes, the whole decoded log of the built-in page set, and the
// failure of single pages and of every page.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/log_pages.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_run;

constexpr char kNode[] = "/dev/sgsim0";
constexpr char kVersionBlock[] =
    "Active Image:  image0\nImage Version: 103\nActive Data:   data0\nData Version:  015\n";
constexpr char kSaved[] = "log saved in /var/log/expander_log.txt!\n";

std::string read_data(const std::string &name) {
  std::ifstream in(std::string(CORVANE_TEST_DATA) + "/logs/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The log without its two start lines (user and command line), unstamped.
std::string collected(const sim_result &r) {
  const std::string text = testsupport::unstamped(r.log);
  const std::size_t first = text.find('\n');
  const std::size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
  return second == std::string::npos ? "" : text.substr(second + 1);
}

std::vector<int> requested_pages(const sim_result &r) {
  std::vector<int> pages;
  for (const auto &q : r.requests()) pages.push_back(q.bytes("cdb").at(2));
  return pages;
}

TEST(E2eLog, RequestOrder) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const sim_result r = sim_run({"log", kNode});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(requested_pages(r),
            (std::vector<int>{0x82, 0x82, 0x82, 0x80, 0x82, 0x02, 0x82, 0x0A, 0x82, 0xF3}));
  for (const auto &q : r.requests()) {
    const auto cdb = q.bytes("cdb");
    EXPECT_EQ(cdb, (std::vector<std::uint8_t>{0x1C, 0x01, cdb.at(2), 0x08, 0x00, 0x00}));
    EXPECT_EQ(q.get("dxfer_len"), "2048");
    EXPECT_EQ(q.get("result"), "good");
  }
  EXPECT_TRUE(r.leaks.empty());
}

TEST(E2eLog, DefaultPageSetWholeLog) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const sim_result r = sim_run({"log", kNode});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, std::string(kVersionBlock) + kSaved);
  // Only the start lines and the version block carry a time stamp.
  EXPECT_EQ(testsupport::stamped_lines(r.log), 3u);
  const std::string text = testsupport::unstamped(r.log);
  EXPECT_EQ(text.rfind("user name:", 0), 0u);
  const std::string command_line = testsupport::corvane_path() + " log " + kNode + "\n";
  EXPECT_NE(text.find('\n' + command_line), std::string::npos);
  const std::string expected = read_data("default_log.expected");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(collected(r), expected);
}

// The decoded text of one page in the expected log, found by its first and
// the next page's first line.
struct page_part {
  int code;
  const char *begins;     // first text of the page's part
  const char *fail_line;  // what the screen shows when the page fails
  const char *fail_log;   // what the log shows instead of the page
};

const page_part kParts[] = {
    {0x80, "\nincollect RAM log\n", "incollect expander /dev/sgsim0 RAM log faild\n",
     "\nincollect RAM log\nsend expander incollect RAM log fail\n\rcheck log fail\n\r"},
    {0x02, "\rEnclosure Status Page(0x02)\n",
     "incollect expander /dev/sgsim0 PAGE code 0x02 faild\n",
     "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
    {0x0A, "\nAdditional element status diagnostic page: (0x0A)\n",
     "incollect expander /dev/sgsim0 PAGE code 0x0A faild\n",
     "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
    {0xF3, " \nSSSF status Page(0xF3)\n", "incollect expander /dev/sgsim0 PAGE code 0xF3 faild\n",
     "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
};

// The expected log with page i's part replaced by replacement.
std::string with_part_replaced(const std::string &expected, std::size_t i,
                               const std::string &replacement) {
  const std::size_t from = expected.find(kParts[i].begins);
  const std::size_t to =
      i + 1 < std::size(kParts) ? expected.find(kParts[i + 1].begins) : expected.size();
  if (from == std::string::npos || to == std::string::npos) return "";
  return expected.substr(0, from) + replacement + expected.substr(to);
}

TEST(E2eLog, PageThatCannotBeRead) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const std::string expected = read_data("default_log.expected");
  for (std::size_t i = 0; i < std::size(kParts); ++i) {
    sim_options options;
    char rule[32];
    std::snprintf(rule, sizeof rule, "check:0x%02X/1", kParts[i].code);
    options.faults = {rule};
    const sim_result r = sim_run({"log", kNode}, options);
    EXPECT_EQ(r.status, 0) << rule;
    EXPECT_EQ(r.out, std::string(kVersionBlock) + kParts[i].fail_line + kSaved) << rule;
    EXPECT_EQ(collected(r), with_part_replaced(expected, i, kParts[i].fail_log)) << rule;
  }
}

TEST(E2eLog, RamLogChecksumMismatch) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options options;
  for (int code : {0x80, 0x02, 0x0A, 0xF3}) sim::default_log_page(code, 0, options.pages[code]);
  options.pages[0x80].at(32 + 5) ^= 0x01;  // one byte of the first record
  const sim_result r = sim_run({"log", kNode}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kVersionBlock) + kParts[0].fail_line + kSaved);
  EXPECT_EQ(collected(r), with_part_replaced(read_data("default_log.expected"), 0,
                                             "\nincollect RAM log\ncheck log fail\n\r"));
}

TEST(E2eLog, EveryPageFailing) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options options;
  options.faults = {"check:0x80/*", "check:0x02/*", "check:0x0A/*", "check:0xF3/*"};
  const sim_result r = sim_run({"log", kNode}, options);
  EXPECT_EQ(r.status, 0);
  std::string screen = kVersionBlock;
  std::string log = kVersionBlock;
  for (const page_part &part : kParts) {
    screen += part.fail_line;
    log += part.fail_log;
  }
  EXPECT_EQ(r.out, screen + kSaved);
  EXPECT_EQ(collected(r), log);
}

}  // namespace
