// Query and reset through the real binary under the simulated expander.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_run;
using testsupport::unstamped;

constexpr const char *kNode = "/dev/sgsim0";

byte_vector status_page(std::uint8_t image, byte_vector iv, std::uint8_t data, byte_vector dv) {
  byte_vector p(40, 0);
  p[0] = 0x82;
  p[3] = 36;
  p[4] = image;
  p[32] = data;
  for (std::size_t i = 0; i < 3; ++i) {
    p[6 + i] = iv[i];
    p[33 + i] = dv[i];
  }
  return p;
}

struct page_case {
  const char *name;
  byte_vector page;
  int status;
  std::string screen;
};

class E2eQueryPage : public testing::TestWithParam<page_case> {};

TEST_P(E2eQueryPage, ShowsTheStatusPageAsGiven) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options o;
  o.pages[0x82] = GetParam().page;
  const sim_result r = sim_run({"query", kNode}, o);
  EXPECT_EQ(r.status, GetParam().status);
  EXPECT_EQ(r.out, GetParam().screen);
  const std::string log = unstamped(r.log);
  const std::string header = testsupport::user_line() + testsupport::corvane_path() + " query /dev/sgsim0\n";
  EXPECT_EQ(log, header + GetParam().screen);
  // Start-up lines and the block's (or the failure's) first line carry stamps.
  EXPECT_EQ(testsupport::stamped_lines(r.log), 3u);
  EXPECT_TRUE(r.audit.empty());
  EXPECT_TRUE(r.leaks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, E2eQueryPage,
    testing::Values(
        page_case{"Typical", status_page(6, {'1', '0', '3'}, 2, {'0', '1', '5'}), 0,
                  "Active Image:  image1\nImage Version: 103\nActive Data:   data1\nData Version:  015\n"},
        page_case{"ImageByteFive", status_page(5, {'a', 'b', 'c'}, 1, {'x', 'y', 'z'}), 0,
                  "Active Image:  image0\nImage Version: abc\nActive Data:   data0\nData Version:  xyz\n"},
        page_case{"BelowFiveAndDataZero", status_page(3, {'1', '0', '3'}, 0, {'0', '1', '5'}), 0,
                  "Active Image:  image-2\nImage Version: 103\nActive Data:   data-1\nData Version:  015\n"},
        page_case{"NonPrintableVersions", status_page(6, {0x07, 0xFF, 0x7F}, 2, {'\t', 0x80, 0x1B}), 0,
                  "Active Image:  image1\nImage Version: \x07\xff\x7f\nActive Data:   data1\n"
                  "Data Version:  \t\x80\x1b\n"},
        page_case{"PageCodeZero", [] {
                    byte_vector p(40, 0x36);
                    p[0] = 0;
                    return p;
                  }(),
                  255, "Firmware Version query failed!\n"},
        page_case{"EmptyPage", {}, 255, "Firmware Version query failed!\n"}),
    [](const testing::TestParamInfo<page_case> &info) { return info.param.name; });

TEST(E2eQuery, PageLongerThanTheTransferArrivesCut) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options o;
  byte_vector page = status_page(6, {'1', '0', '3'}, 2, {'0', '1', '5'});
  page.resize(3000, 0xEE);
  o.pages[0x82] = page;
  const sim_result r = sim_run({"query", kNode}, o);
  EXPECT_EQ(r.status, 0);
  for (const auto &q : r.requests()) {
    EXPECT_EQ(q.get("delivered"), "2048");
    EXPECT_EQ(q.get("host_status"), "0");
  }
}

TEST(E2eQuery, FirstReadFailingSecondSucceeding) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  for (const char *fault : {"ioctl:1", "check:1", "open:1", "short:1=0"}) {
    sim_options o;
    o.faults = {fault};
    const sim_result r = sim_run({"query", kNode}, o);
    EXPECT_EQ(r.status, 0) << fault;
    EXPECT_EQ(r.out, "Active Image:  image0\nImage Version: 103\nActive Data:   data0\nData Version:  015\n")
        << fault;
  }
}

TEST(E2eReset, RefusedResetSendsNothingElse) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options o;
  o.faults = {"check:0x04/1"};
  const sim_result r = sim_run({"reset", kNode}, o);
  EXPECT_EQ(r.status, 255);
  ASSERT_EQ(r.requests().size(), 1u);
  EXPECT_EQ(r.requests()[0].get("result"), "check");
  EXPECT_EQ(r.out, "expander reset failed!\n");
  EXPECT_NE(unstamped(r.log).find(" reset /dev/sgsim0\nexpander reset failed!\n"), std::string::npos) << r.log;
  EXPECT_EQ(r.audit, std::vector<std::string>{testsupport::audit_line("dev:/dev/sgsim0,info:expander reset failed!")});
  EXPECT_TRUE(r.leaks.empty());
}

struct missing_case {
  const char *word;
  std::string screen;
  int status;
  std::vector<std::string> audit;
};

class E2eMissingNode : public testing::TestWithParam<missing_case> {};

// A node that does not exist: no request reaches any device.
TEST_P(E2eMissingNode, EveryCommandFailsWithoutARequest) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  testsupport::sim_session s;
  std::string word = GetParam().word;
  std::string file;
  if (word == "download=") {
    file = s.write_file("fw.bin", byte_vector(700, 0x11));
    word += file;
  }
  const sim_result r = s.run({word, "/dev/sgsim7"});
  EXPECT_EQ(r.status, GetParam().status);
  EXPECT_EQ(r.out, GetParam().screen);
  EXPECT_TRUE(r.requests().empty());
  std::vector<std::string> audit = GetParam().audit;
  for (std::string &a : audit) {
    if (const auto at = a.find("FILE"); at != std::string::npos) a.replace(at, 4, file);
  }
  EXPECT_EQ(r.audit, audit);
  EXPECT_TRUE(r.leaks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, E2eMissingNode,
    testing::Values(
        missing_case{"query", "Firmware Version query failed!\n", 255, {}},
        missing_case{"download=",
                     "Please Wait for downloading...\nFirmware update failed!\n",
                     255,
                     {testsupport::audit_line("dev:/dev/sgsim7,file:FILE,info:Firmware update failed!")}},
        missing_case{"reset", "expander reset failed!\n", 255,
                     {testsupport::audit_line("dev:/dev/sgsim7,info:expander reset failed!")}},
        missing_case{"log",
                     "incollect expander /dev/sgsim7 RAM log faild\n"
                     "incollect expander /dev/sgsim7 PAGE code 0x02 faild\n"
                     "incollect expander /dev/sgsim7 PAGE code 0x0A faild\n"
                     "incollect expander /dev/sgsim7 PAGE code 0xF3 faild\n"
                     "log saved in /var/log/expander_log.txt!\n",
                     0,
                     {}}),
    [](const testing::TestParamInfo<missing_case> &info) {
      std::string n = info.param.word;
      return n == "download=" ? std::string("download") : n;
    });

}  // namespace
