// corvane-pages check and verify over the simulated expander's scenarios a
// firmware rollout meets: each ends with its documented exit status and its
// reason, and nothing that did not take effect is ever reported as done.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;

using args_t = std::vector<std::string>;

struct scenario {
  const char *name;
  args_t launcher;                 // layout and quirks, given to every run
  std::vector<args_t> before;      // corvane runs that bring the expander into the scenario
  unsigned pause_ms;               // wait after them
  args_t command;                  // the corvane-pages command
  int status;                      // its exit status
  const char *says;                // on standard output or error
};

byte_vector image(bool firmware, const char *version, std::size_t size = 1200) {
  byte_vector b(size, 0x5A);
  const byte_vector head = firmware ? byte_vector{0x50, 0x4D, 0x43, 0x00} : byte_vector{'C', 'D', 'E', 'F'};
  std::copy(head.begin(), head.end(), b.begin());
  std::fill(b.begin() + 4, b.begin() + 8, 0);
  std::copy(version, version + 3, b.begin() + 8);
  return b;
}

// "@name" in an argument stands for the image file of that name.
args_t with_files(const args_t &args, const std::map<std::string, std::string> &files) {
  args_t out;
  for (const std::string &a : args) {
    std::string v = a;
    for (const auto &[name, path] : files) {
      const auto at = v.find("@" + name);
      if (at != std::string::npos) v.replace(at, name.size() + 1, path);
    }
    out.push_back(v);
  }
  return out;
}

class CheckVerify : public testing::TestWithParam<scenario> {
 protected:
  void SetUp() override { CORVANE_SKIP_WITHOUT_PROGRAM_EXEC(); }
};

TEST_P(CheckVerify, EndsWithItsStatusAndReason) {
  const scenario &s = GetParam();
  sim_session session;
  std::map<std::string, std::string> files = {
      {"fw103", session.write_file("fw103.bin", image(true, "103"))},
      {"fw105", session.write_file("fw105.bin", image(true, "105"))},
      {"fw102", session.write_file("fw102.bin", image(true, "102"))},
      {"cfg017", session.write_file("cfg017.bin", image(false, "017"))},
      {"cfg015", session.write_file("cfg015.bin", image(false, "015"))},
      {"empty", session.write_file("empty.bin", {})},
      {"cut", session.write_file("cut.bin", {0x50, 0x4D, 0x43})},
      {"fifo", session.dir() + "/fifo"},
      {"dir", session.dir()},
  };
  ASSERT_EQ(::mkfifo(files["fifo"].c_str(), 0600), 0);
  sim_options o;
  o.launcher = s.launcher;
  for (const args_t &step : s.before) {
    const sim_result r = session.run(with_files(step, files), o);
    ASSERT_EQ(r.status, 0) << s.name << ": " << step[0] << "\n" << r.out << r.err;
  }
  if (s.pause_ms != 0) ::usleep(s.pause_ms * 1000);
  o.program = testsupport::corvane_pages_path();
  const sim_result r = session.run(with_files(s.command, files), o);
  EXPECT_EQ(r.status, s.status) << s.name << "\n" << r.out << r.err;
  EXPECT_NE((r.out + r.err).find(s.says), std::string::npos) << s.name << "\n" << r.out << r.err;
  const std::string name = s.name;
  const bool usage_error = name.find("bad_") != std::string::npos || name.find("missing_argument") != std::string::npos ||
                           name.find("needs_expect") != std::string::npos;
  if (!usage_error && r.status == s.status) {
    // The same run with --json: one document with the same exit status.
    args_t json = with_files(s.command, files);
    json.insert(json.begin() + 1, "--json");
    const sim_result j = session.run(json, o);
    EXPECT_EQ(j.status, s.status) << s.name << " --json\n" << j.out << j.err;
    EXPECT_NE(j.out.find("\"exit_status\": " + std::to_string(s.status)), std::string::npos) << s.name << j.out;
  }
  // Nothing check or verify does changes the expander.
  for (const auto &req : r.requests()) EXPECT_NE(req.get("cdb").substr(0, 2), "1d") << s.name;
}

const args_t kTwoPaths = {"--nodes", "2"};
const args_t kIgnore = {"--quirk", "ignore-activation"};
const args_t kOldImage = {"--quirk", "old-image-after-reset"};
const args_t kSilent1 = {"--quirk", "silent-after-reset=1"};
const args_t kSilent5 = {"--quirk", "silent-after-reset=5"};
const args_t kDownload105 = {"download=@fw105", "/dev/sgsim0"};
const args_t kReset = {"reset", "/dev/sgsim0"};

const scenario kScenarios[] = {
    // check: before a download
    {"check_same_version", {}, {}, 0, {"check", "@fw103", "/dev/sgsim0", "--expect", "103"}, 2,
     "nothing to do: the active firmware image is 103 already"},
    {"check_upgrade", {}, {}, 0, {"check", "@fw105", "/dev/sgsim0", "--expect", "105"}, 0,
     "would change the expander: the active firmware image is 103, not 105"},
    {"check_older_image", {}, {}, 0, {"check", "--expect", "102", "@fw102", "/dev/sgsim0"}, 0,
     "the active firmware image is 103, not 102"},
    {"check_without_expect", {}, {}, 0, {"check", "@fw105", "/dev/sgsim0"}, 0, "image kind:    firmware"},
    {"check_configuration", {}, {}, 0, {"check", "@cfg017", "/dev/sgsim0", "--expect", "017"}, 0,
     "the active data image is 015, not 017"},
    {"check_configuration_in_place", {}, {}, 0, {"check", "@cfg015", "/dev/sgsim0", "--expect", "015"}, 2,
     "the active data image is 015 already"},
    {"check_firmware_version_is_not_data", {}, {}, 0, {"check", "@fw105", "/dev/sgsim0", "--expect", "015"}, 0,
     "the active firmware image is 103, not 015"},
    {"check_empty_image_reason", {}, {}, 0, {"check", "@empty", "/dev/sgsim0"}, 3, "empty: nothing to send"},
    {"check_truncated_image", {}, {}, 0, {"check", "@cut", "/dev/sgsim0", "--expect", "105"}, 3,
     "3 bytes, too short to tell firmware from configuration"},
    {"check_missing_image", {}, {}, 0, {"check", "@fw105.missing", "/dev/sgsim0"}, 3,
     "cannot be opened: No such file or directory"},
    {"check_fifo_image", {}, {}, 0, {"check", "@fifo", "/dev/sgsim0"}, 3, "not a regular file"},
    {"check_directory_image", {}, {}, 0, {"check", "@dir", "/dev/sgsim0"}, 3, "not a regular file"},
    {"check_missing_device", {}, {}, 0, {"check", "@fw105", "/dev/sgsim7"}, 3,
     "refused: /dev/sgsim7: cannot open: No such file or directory"},
    {"check_silent_device", kSilent5, {kReset}, 0, {"check", "@fw105", "/dev/sgsim0", "--expect", "105"}, 3,
     "refused: /dev/sgsim0: "},
    {"check_second_path_sees_the_change", kTwoPaths, {{"download=@fw105", "/dev/sgsim1"}}, 0,
     {"check", "@fw105", "/dev/sgsim0", "--expect", "105"}, 2, "is 105 already"},
    {"check_bad_version_is_an_error_not_nothing_to_do", {}, {}, 0,
     {"check", "@fw105", "/dev/sgsim0", "--expect", "1050"}, 1, "three printable characters"},
    {"check_missing_argument", {}, {}, 0, {"check", "@fw105"}, 1, "check takes an image and a device"},
    // verify: after a download
    {"verify_upgrade", {}, {kDownload105}, 0, {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "1"}, 0,
     "verified: /dev/sgsim0 runs firmware image 105 (image1)"},
    {"verify_no_download", {}, {}, 0, {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "1"}, 4,
     "runs firmware image 103 (image0), not 105"},
    {"verify_activation_ignored", kIgnore, {kDownload105}, 0,
     {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "1"}, 4, "runs firmware image 103 (image0), not 105"},
    {"verify_silent_within_timeout", kSilent1, {kDownload105, kReset}, 0,
     {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "6"}, 0, "verified: /dev/sgsim0 runs firmware image 105"},
    {"verify_silent_beyond_timeout", kSilent5, {kDownload105, kReset}, 0,
     {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "1"}, 1, "did not answer within 1 s"},
    {"verify_silent_reason", kSilent5, {kReset}, 0, {"verify", "/dev/sgsim0", "--expect", "103", "--timeout", "0"},
     1, "DID_NO_CONNECT"},
    {"verify_back_with_old_image", kOldImage, {kDownload105, kReset}, 0,
     {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "1"}, 4, "runs firmware image 103 (image0), not 105"},
    {"verify_two_paths", kTwoPaths, {{"download=@fw105", "/dev/sgsim1"}}, 0,
     {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "1"}, 0, "verified: /dev/sgsim0 runs firmware image 105"},
    {"verify_data_after_reset", {}, {{"download=@cfg017", "/dev/sgsim0"}, kReset}, 0,
     {"verify", "/dev/sgsim0", "--data", "--expect", "017", "--timeout", "1"}, 0,
     "verified: /dev/sgsim0 runs data image 017 (data1)"},
    {"verify_data_without_reset", {}, {{"download=@cfg017", "/dev/sgsim0"}}, 0,
     {"verify", "/dev/sgsim0", "--data", "--expect", "017", "--timeout", "0"}, 4, "runs data image 015 (data0), not 017"},
    {"verify_data_back_with_old_image", kOldImage, {{"download=@cfg017", "/dev/sgsim0"}, kReset}, 0,
     {"verify", "/dev/sgsim0", "--data", "--expect", "017", "--timeout", "1"}, 4, "not 017"},
    {"verify_missing_device", {}, {}, 0, {"verify", "/dev/sgsim7", "--expect", "105", "--timeout", "0"}, 1,
     "cannot open: No such file or directory"},
    {"verify_needs_expect", {}, {}, 0, {"verify", "/dev/sgsim0"}, 2, "verify needs --expect VERSION"},
    {"verify_bad_timeout", {}, {}, 0, {"verify", "/dev/sgsim0", "--expect", "105", "--timeout", "5s"}, 2,
     "--timeout takes whole seconds"},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, CheckVerify, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<scenario> &info) { return std::string(info.param.name); });

}  // namespace
