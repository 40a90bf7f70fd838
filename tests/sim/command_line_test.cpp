// The simulator's command lines: help and version write nothing else, every
// malformed command line is a usage error (exit 2) that writes nothing, and
// the launcher says why a command cannot run.
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

namespace {

namespace fs = std::filesystem;

struct ran {
  int status = -1;
  std::string out, err;
};

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs argv in dir (its working directory), standard output and error kept
// outside dir so that dir shows only what the program wrote.
ran run_in(const std::string &dir, const std::string &io, const std::vector<std::string> &argv) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open((io + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = ::open((io + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (::chdir(dir.c_str()) != 0) _exit(126);
    std::vector<char *> raw;
    for (const std::string &a : argv) raw.push_back(const_cast<char *>(a.c_str()));
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    _exit(125);
  }
  ran r;
  int ws = 0;
  if (::waitpid(pid, &ws, 0) == pid && WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
  r.out = slurp(io + "/out");
  r.err = slurp(io + "/err");
  return r;
}

class SimCommandLine : public testing::Test {
 protected:
  void SetUp() override {
    CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
    char tmpl[] = "/tmp/cvsimcliXXXXXX";
    root_ = ::mkdtemp(tmpl);
    work_ = root_ + "/work";
    io_ = root_ + "/io";
    fs::create_directories(work_);
    fs::create_directories(io_);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }
  std::vector<std::string> written() const {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(work_)) names.push_back(e.path().filename().string());
    return names;
  }
  ran image(std::vector<std::string> args) const {
    args.insert(args.begin(), EXPANDER_SIM_IMAGE_BIN);
    return run_in(work_, io_, args);
  }
  ran sim(std::vector<std::string> args) const {
    args.insert(args.begin(), {EXPANDER_SIM_BIN, "--preload", EXPANDER_SIM_PRELOAD, "--state", root_ + "/state"});
    return run_in(work_, io_, args);
  }
  std::string root_, work_, io_;
};

struct informational {
  const char *name;
  std::vector<std::string> args;
  const char *starts;
};

TEST_F(SimCommandLine, HelpAndVersionPrintAndWriteNothing) {
  const std::vector<informational> image_cases = {
      {"--help", {"--help"}, "usage: expander-sim-image"},
      {"-h", {"-h"}, "usage: expander-sim-image"},
      {"--version", {"--version"}, "expander-sim-image "},
      {"-V", {"-V"}, "expander-sim-image "},
  };
  for (const auto &c : image_cases) {
    const ran r = image(c.args);
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_EQ(r.out.rfind(c.starts, 0), 0u) << c.name << ": " << r.out;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_TRUE(written().empty()) << c.name << " wrote a file";
  }
  const std::vector<informational> sim_cases = {
      {"--help", {"--help"}, "usage: expander-sim"},
      {"-h", {"-h"}, "usage: expander-sim"},
      {"--version", {"--version"}, "expander-sim "},
      {"--help before a command", {"--help", "--", "/bin/false"}, "usage: expander-sim"},
  };
  for (const auto &c : sim_cases) {
    const ran r = sim(c.args);
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_EQ(r.out.rfind(c.starts, 0), 0u) << c.name << ": " << r.out;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_FALSE(fs::exists(root_ + "/state")) << c.name << " made the state";
  }
}

struct refused {
  const char *name;
  std::vector<std::string> args;
  const char *says;
};

TEST_F(SimCommandLine, ImageUsageErrorsExitTwoAndWriteNothing) {
  const std::vector<refused> cases = {
      {"two files", {"a", "b"}, "one file only"},
      {"no file", {"--config"}, "no file"},
      {"size with letters", {"--size", "12abc", "f"}, "12abc"},
      {"size too small", {"--size", "10", "f"}, "not a size"},
      {"size negative", {"--size", "-5", "f"}, "not a size"},
      {"size too large", {"--size", "33554433", "f"}, "not a size"},
      {"size empty", {"--size=", "f"}, "not a size"},
      {"size without a value", {"f", "--size"}, "needs a value"},
      {"version of two characters", {"--version", "10", "f"}, "three characters"},
      {"unknown option", {"--bogus", "f"}, "unknown option --bogus"},
      {"unknown short option", {"-x", "f"}, "unknown option"},
  };
  for (const auto &c : cases) {
    const ran r = image(c.args);
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_TRUE(written().empty()) << c.name << " wrote a file";
  }
}

TEST_F(SimCommandLine, ImageWritesWhatItIsAskedFor) {
  ASSERT_EQ(image({"--config", "--version", "017", "--size=64", "cfg.bin"}).status, 0);
  const std::string cfg = slurp(work_ + "/cfg.bin");
  ASSERT_EQ(cfg.size(), 64u);
  EXPECT_NE(cfg.substr(0, 4), std::string("PMC\0", 4));
  EXPECT_EQ(cfg.substr(8, 3), "017");
  ASSERT_EQ(image({"fw.bin"}).status, 0);
  const std::string fw = slurp(work_ + "/fw.bin");
  ASSERT_EQ(fw.size(), 1300u);
  EXPECT_EQ(fw.substr(0, 4), std::string("PMC\0", 4));
  EXPECT_EQ(fw.substr(8, 3), "104");
  const ran r = image({"missing-dir/x.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write missing-dir/x.bin: No such file or directory"), std::string::npos) << r.err;
}

TEST_F(SimCommandLine, LauncherUsageErrorsExitTwoAndRunNothing) {
  const std::string ran_mark = root_ + "/ran";
  const std::vector<std::string> command = {"--", "/bin/sh", "-c", "touch '" + ran_mark + "'"};
  const std::vector<refused> cases = {
      {"unknown option", {"--bogus"}, "unknown option --bogus"},
      {"unknown short option", {"-q"}, "unknown option -q"},
      {"nodes with letters", {"--nodes", "2x"}, "--nodes: not a valid number: '2x'"},
      {"nodes zero", {"--nodes", "0"}, "--nodes: not a valid number"},
      {"nodes too many", {"--nodes", "1001"}, "--nodes: not a valid number"},
      {"nodes negative", {"--nodes=-1"}, "--nodes: not a valid number"},
      {"transcript-data with letters", {"--transcript-data", "1k"}, "--transcript-data: not a valid number"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), command.begin(), command.end());
    const ran r = sim(args);
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(fs::exists(ran_mark)) << c.name << " ran the command";
  }
  // A value missing at the end, and no command at all.
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"--state"}, std::vector<std::string>{"--reset-state"},
        std::vector<std::string>{"--reset-state", "--"}}) {
    const ran r = sim(args);
    EXPECT_EQ(r.status, 2) << args.front();
  }
  EXPECT_NE(sim({"--reset-state", "--"}).err.find("no command to run"), std::string::npos);
}

TEST_F(SimCommandLine, LauncherSaysWhyACommandCannotRun) {
  const ran missing = sim({"--", "no-such-program-here"});
  EXPECT_EQ(missing.status, 127);
  EXPECT_NE(missing.err.find("cannot run no-such-program-here: No such file or directory"), std::string::npos)
      << missing.err;
  EXPECT_NE(missing.err.find("give its full path"), std::string::npos) << missing.err;
  const std::string plain = root_ + "/not-executable";
  std::ofstream(plain) << "data\n";
  fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
  const ran denied = sim({"--", plain});
  EXPECT_EQ(denied.status, 126);
  EXPECT_NE(denied.err.find("cannot run " + plain + ": Permission denied"), std::string::npos) << denied.err;
}

}  // namespace
