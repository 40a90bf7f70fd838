// The launcher's own checks and the preloaded library's report of
// descriptors left open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_transcript.h"

namespace {

struct launch_result {
  int status = -1;
  std::string err;
};

launch_result launch(const std::vector<std::string> &args, const std::string &dir,
                     const std::string &preload = EXPANDER_SIM_PRELOAD) {
  std::vector<std::string> argv = {EXPANDER_SIM_BIN, "--preload", preload};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string err_path = dir + "/stderr";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    std::vector<char *> raw;
    for (const std::string &a : argv) raw.push_back(const_cast<char *>(a.c_str()));
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    _exit(127);
  }
  launch_result r;
  int ws = 0;
  if (::waitpid(pid, &ws, 0) == pid && WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
  std::ifstream in(err_path);
  std::ostringstream text;
  text << in.rdbuf();
  r.err = text.str();
  return r;
}

// Whether two ELF files are for the same processor (e_machine, bytes 18-19).
bool same_processor(const std::string &a, const std::string &b) {
  const auto machine = [](const std::string &path) {
    char header[20] = {};
    std::ifstream(path, std::ios::binary).read(header, sizeof header);
    return std::string(header + 18, 2);
  };
  return machine(a) == machine(b);
}

class SimLauncher : public testing::Test {
 protected:
  void SetUp() override {
    CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
    char tmpl[] = "/tmp/cvlaunchXXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;
};

TEST_F(SimLauncher, RefusesABadFaultRuleBeforeRunningAnything) {
  const launch_result r = launch({"--state", dir_ + "/s", "--fault", "check:zero", "--", "/bin/true"}, dir_);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("bad fault rule 'check:zero'"), std::string::npos) << r.err;
}

TEST_F(SimLauncher, NeedsACommandAfterTheOptions) {
  EXPECT_EQ(launch({"--state", dir_ + "/s"}, dir_).status, 2);
  EXPECT_EQ(launch({"--state", dir_ + "/s", "--"}, dir_).status, 2);
  EXPECT_EQ(launch({"--bogus", "--", "/bin/true"}, dir_).status, 2);
}

// Without its library the command would reach the real devices, log and
// syslog: the launcher stops before running it.
TEST_F(SimLauncher, RefusesToRunWithoutItsLibrary) {
  const std::string ran = dir_ + "/ran";
  const launch_result r =
      launch({"--state", dir_ + "/s", "--", "/bin/sh", "-c", "touch '" + ran + "'"}, dir_, dir_ + "/missing.so");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot open the preload library " + dir_ + "/missing.so"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(ran));
}

// The dynamic loader splits LD_PRELOAD at blanks and colons; a library whose
// directory name holds one is still loaded. The command opens a simulated
// node, which exists only when the library is in place; it touches nothing
// of the machine's either way.
class SimLauncherPreloadPath : public SimLauncher, public testing::WithParamInterface<const char *> {};

TEST_P(SimLauncherPreloadPath, LoadsTheLibraryFromThere) {
  const std::string lib_dir = dir_ + "/" + GetParam();
  std::filesystem::create_directories(lib_dir);
  const std::string lib = lib_dir + "/libexpander_sim_preload.so";
  std::filesystem::copy_file(EXPANDER_SIM_PRELOAD, lib);
  const std::string transcript = dir_ + "/transcript";
  const launch_result r = launch({"--state", dir_ + "/s", "--transcript", transcript, "--", "/bin/sh", "-c",
                                  "exec 3</dev/sgsim0 && exec 3<&-"},
                                 dir_, lib);
  std::ifstream in(transcript);
  std::ostringstream text;
  text << in.rdbuf();
  const auto opens = testsupport::events_of(testsupport::parse_sim_events(text.str()), "open");
  if (!same_processor("/bin/sh", lib)) {
    GTEST_SKIP() << "the system shell is not of this build's processor; the library cannot load into it";
  }
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("cannot be preloaded"), std::string::npos) << r.err;
  ASSERT_EQ(opens.size(), 1u) << text.str();
  EXPECT_EQ(opens[0].get("path"), "/dev/sgsim0");
}

INSTANTIATE_TEST_SUITE_P(Names, SimLauncherPreloadPath, testing::Values("plain", "with blank", "with:colon"));

// A shell that keeps one node open when it exits (bash leaves through exit,
// so the library's exit report runs): the library names the descriptor.
TEST_F(SimLauncher, ReportsNodeDescriptorsLeftOpen) {
  const std::string transcript = dir_ + "/transcript";
  const launch_result r = launch({"--state", dir_ + "/s", "--transcript", transcript, "--", "/bin/bash", "-c",
                                  "exec 3</dev/sgsim0; exec 4</dev/sgsim0; exec 3<&-"},
                                 dir_);
  std::ifstream in(transcript);
  std::ostringstream text;
  text << in.rdbuf();
  const auto events = testsupport::parse_sim_events(text.str());
  if (testsupport::events_of(events, "open").empty()) {
    GTEST_SKIP() << "the system shell is not of this build's processor; the library did not load";
  }
  EXPECT_EQ(r.status, 0) << r.err;
  const auto leaks = testsupport::events_of(events, "leak");
  ASSERT_EQ(leaks.size(), 1u) << text.str();
  EXPECT_EQ(leaks[0].get("fd"), "4");
  EXPECT_EQ(leaks[0].get("path"), "/dev/sgsim0");
  EXPECT_NE(r.err.find("descriptor 4 (/dev/sgsim0) left open at exit"), std::string::npos) << r.err;
}

}  // namespace
