// The front end through the real binary: argument counts, command words, the
// usage text, the start-up lines, exit statuses and an unwritable log.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_run;
using testsupport::unstamped;

constexpr const char kUsage[] =
    "Expander Command Line Tool  Ver 1.03 June 22 2020\n"
    "\n"
    "Usage: dastrel <commands> sg_name\n"
    "----------------------------------------\n"
    "Commands: \n"
    "          query                 --- Query the expander firmware version\n"
    "          download=filename     --- Update firmware or config\n"
    "          reset                 --- reset expander\n"
    "          log                   --- incollect log\n"
    "Example:./corvane query /dev/sgX\n"
    "\n";

std::string command_line(const std::vector<std::string> &args) {
  std::string line = testsupport::corvane_path();
  for (const std::string &a : args) line += " " + a;
  return line + "\n";
}

// A rejected command line: usage on screen, start-up lines and usage in the
// log, each entry stamped, nothing sent anywhere.
void expect_usage(const std::vector<std::string> &args) {
  const sim_result r = sim_run(args);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, kUsage);
  EXPECT_EQ(unstamped(r.log), testsupport::user_line() + command_line(args) + kUsage);
  EXPECT_EQ(testsupport::stamped_lines(r.log), 3u);
  EXPECT_TRUE(r.transcript.empty());
  EXPECT_TRUE(r.audit.empty());
}

class E2eRejected : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(E2eRejected, PrintsAndLogsUsage) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  expect_usage(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    ArgumentCounts, E2eRejected,
    testing::Values(std::vector<std::string>{}, std::vector<std::string>{"query"},
                    std::vector<std::string>{"query", "/dev/sgsim0", "extra"},
                    std::vector<std::string>{"reset", "/dev/sgsim0", "a", "b"}));

INSTANTIATE_TEST_SUITE_P(
    CommandWords, E2eRejected,
    testing::Values(std::vector<std::string>{"Query", "/dev/sgsim0"}, std::vector<std::string>{"RESET", "/dev/sgsim0"},
                    std::vector<std::string>{"query ", "/dev/sgsim0"}, std::vector<std::string>{"Log", "/dev/sgsim0"},
                    std::vector<std::string>{"xdownload=fw.bin", "/dev/sgsim0"},
                    std::vector<std::string>{"Download=fw.bin", "/dev/sgsim0"},
                    std::vector<std::string>{"download", "/dev/sgsim0"},
                    std::vector<std::string>{"", "/dev/sgsim0"}));

// The bounded append empties the buffer when a piece does not fit; what is
// appended after that starts afresh.
TEST(E2eFrontEnd, OverlongCommandLineKeepsOnlyWhatFollowsTheOverflow) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const std::size_t path = testsupport::corvane_path().size();
  ASSERT_LT(path, 2000u);
  // Path, blank and word make 2046 characters; the next blank makes 2047,
  // the most the 2048-byte buffer holds; the device path overflows.
  const std::string word(2046 - path - 1, 'w');
  const sim_result r = sim_run({word, "/dev/sgsim0", "tail"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(unstamped(r.log), testsupport::user_line() + " tail\n" + kUsage);
}

TEST(E2eFrontEnd, CommandLineOfExactly2047CharactersIsLoggedWhole) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const std::size_t path = testsupport::corvane_path().size();
  const std::string word(2046 - path - 1, 'w');
  const sim_result fits = sim_run({word});
  EXPECT_EQ(unstamped(fits.log), testsupport::user_line() + command_line({word}) + kUsage);
  // One more character and the final line end no longer fits: the entry is
  // its stamp alone, and the usage entry's stamp follows on the same line.
  const sim_result over = sim_run({word + "w"});
  EXPECT_NE(unstamped(over.log), testsupport::user_line() + kUsage);
  EXPECT_EQ(unstamped(unstamped(over.log)), testsupport::user_line() + kUsage);
  EXPECT_EQ(testsupport::stamped_lines(over.log), 2u);
}

TEST(E2eFrontEnd, DownloadWithEmptyName) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const sim_result r = sim_run({"download=", "/dev/sgsim0"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Please Wait for downloading...\nOpen file  error\nFirmware update failed!\n");
  EXPECT_TRUE(r.transcript.empty());
  EXPECT_EQ(r.audit, std::vector<std::string>{testsupport::audit_line("dev:/dev/sgsim0,file:,info:Firmware update failed!")});
}

struct unwritable_case {
  std::vector<std::string> args;
  std::string screen;  // the whole screen output
  std::string err;     // standard error between the log's reason and the count
  unsigned entries;    // entries the run tried to write
  int status;
};

// A log that cannot be opened: the first entry says so on screen, as it
// always did, and why on standard error; the others are counted, and the
// count ends standard error. Every command keeps its outcome and status but
// log, which no longer claims to have saved anything.
TEST(E2eFrontEnd, UnwritableLogSaidOnceAndCounted) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const std::string e = "open log file /var/log/expander_log.txt error\n";
  const std::string block = "Active Image:  image0\nImage Version: 103\nActive Data:   data0\nData Version:  015\n";
  const unwritable_case cases[] = {
      {{"query", "/dev/sgsim0"}, e + block, "", 3, 0},
      {{"reset", "/dev/sgsim0"}, e + "expander reset success!\n", "", 3, 0},
      {{"download=/nonexistent/fw.bin", "/dev/sgsim0"},
       e + "Please Wait for downloading...\nOpen file /nonexistent/fw.bin error\nFirmware update failed!\n",
       "/nonexistent/fw.bin: cannot open: No such file or directory\n", 5, 255},
      {{"bogus", "/dev/sgsim0"}, e + kUsage, "", 3, 255},
  };
  for (const unwritable_case &c : cases) {
    sim_options o;
    o.log_unopenable = true;
    const sim_result r = sim_run(c.args, o);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.out, c.screen) << c.args[0];
    const std::string n = std::to_string(c.entries);
    EXPECT_EQ(r.err, "/var/log/expander_log.txt: cannot open: Permission denied\n" + c.err +
                         "/var/log/expander_log.txt: " + n + " of " + n + " entries lost\n")
        << c.args[0];
    EXPECT_EQ(r.log, "") << c.args[0];
  }
}

// log with nothing saved ends with a line that says so, and fails.
TEST(E2eFrontEnd, LogCommandWithUnwritableLogSaysNotSaved) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options o;
  o.log_unopenable = true;
  const sim_result r = sim_run({"log", "/dev/sgsim0"}, o);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out.rfind("open log file /var/log/expander_log.txt error\n", 0), 0u) << r.out;
  const std::string last = "log not saved in /var/log/expander_log.txt!\n";
  ASSERT_GE(r.out.size(), last.size());
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
  EXPECT_EQ(r.out.find("log saved"), std::string::npos);
  EXPECT_EQ(r.out.find("open log file", 1), std::string::npos) << "said once";
  EXPECT_NE(r.err.find(" entries lost\n"), std::string::npos) << r.err;
}

TEST(E2eFrontEnd, QueryExitsZeroAndLogsBehindTheStartUpLines) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const sim_result r = sim_run({"query", "/dev/sgsim0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(unstamped(r.log), testsupport::user_line() + command_line({"query", "/dev/sgsim0"}) + r.out);
  EXPECT_EQ(testsupport::stamped_lines(r.log), 3u);
}

// A real uid without a password-database entry is named by its number.
TEST(E2eFrontEnd, UserWithoutPasswdEntryIsNamedByNumber) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  constexpr int kUid = 54321;
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  if (::getpwuid(kUid) != nullptr) GTEST_SKIP() << "uid " << kUid << " has an entry here";
  sim_options o;
  o.run_as_uid = kUid;
  const sim_result r = sim_run({"reset", "/dev/sgsim0"}, o);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(unstamped(r.log), "user name:54321 uid:54321 gid:54321\n" + r.program + " reset /dev/sgsim0\n" +
                                  "expander reset success!\n");
  EXPECT_EQ(r.audit, std::vector<std::string>{"user.info corvane: 54321 dev:/dev/sgsim0,info:expander reset success!"});
}

}  // namespace
