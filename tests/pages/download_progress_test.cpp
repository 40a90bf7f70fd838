// Download progress: on a terminal's standard error under a pseudo-terminal
// (script), nothing on standard error otherwise; standard output, the
// operation log, the audit line and the exit status as without it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::sim_result;
using testsupport::sim_session;

constexpr char kNode[] = "/dev/sgsim0";

using testsupport::read_text;

std::string sample(const char *name) { return std::string(CORVANE_TEST_DATA) + "/../../sim/samples/" + name; }

bool have_script() { return ::access("/usr/bin/script", X_OK) == 0; }

struct shell_run {
  int status = -1;
  std::string seen;    // what the command's standard error showed (terminal or pipe)
  std::string out;     // standard output, redirected to a file
  std::string log;     // captured operation log
  std::string audit;
};

// A word for the shell: the paths of the build and of the test's files may
// hold blanks or quotes.
std::string shell_word(const std::string &word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// corvane under the simulator, its standard output in a file; the command
// line is run by wrap, which decides where standard error goes.
shell_run run_download(const sim_session &s, const std::string &tag, const std::string &file,
                       const std::string &fault, bool terminal) {
  const std::string dir = s.dir() + "/" + tag;
  ::mkdir(dir.c_str(), 0777);
  std::string command = shell_word(EXPANDER_SIM_BIN) + " --preload " + shell_word(EXPANDER_SIM_PRELOAD) +
                        " --state " + shell_word(s.state_dir()) + " --capture " + shell_word(dir + "/capture") +
                        (fault.empty() ? "" : " --fault " + shell_word(fault)) + " -- " +
                        shell_word(testsupport::corvane_path()) + " " + shell_word("download=" + file) + " " +
                        kNode + " > " + shell_word(dir + "/stdout");
  if (terminal) {
    command = "script -qec " + shell_word(command) + " /dev/null < /dev/null > " + shell_word(dir + "/seen");
  } else {
    // The pipe's exit status is cat's: the command's own is kept in a file.
    command = "( " + command + "; echo $? > " + shell_word(dir + "/status") + " ) 2>&1 < /dev/null | cat > " +
              shell_word(dir + "/seen");
  }
  shell_run r;
  const int status = std::system(command.c_str());
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!terminal) r.status = std::atoi(read_text(dir + "/status").c_str());
  r.seen = read_text(dir + "/seen");
  r.out = read_text(dir + "/stdout");
  r.log = testsupport::unstamped(read_text(dir + "/capture/expander_log.txt"));
  r.audit = read_text(dir + "/capture/audit.txt");
  return r;
}

struct progress_case {
  const char *what;
  const char *image;
  const char *fault;
  int status;
  const char *last_drawing;  // the last progress text on the terminal
  const char *err;           // standard error besides the progress
};

TEST(DownloadProgress, OnATerminalOnlyAndNothingElseChanges) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  if (!have_script()) GTEST_SKIP() << "no script(1) to make a pseudo-terminal";
  const progress_case cases[] = {
      {"signed sample", "firmware_104.bin", "", 0, "\rsent 1300 of 1300 bytes 100%, piece 3 of 3\r\n", ""},
      {"second piece refused", "firmware_104.bin", "check:0x04/2", 255,
       "\rsent 512 of 1300 bytes  39%, piece 1 of 3\r\n",
       "/dev/sgsim0: Send diagnostic page 0x04: status Check Condition, Hardware Error, "
       "Additional sense: Internal target failure (sense 4/44/00)\n"},
      {"configuration sample", "config_016.bin", "", 0, "bytes 100%, piece 2 of 2\r\n", ""},
  };
  for (const progress_case &c : cases) {
    // Three runs from the same expander state: a terminal, a pipe, a file.
    sim_session tty_session;
    sim_session pipe_session;
    sim_session file_session;
    const shell_run tty = run_download(tty_session, "tty", sample(c.image), c.fault, true);
    const shell_run pipe = run_download(pipe_session, "pipe", sample(c.image), c.fault, false);
    testsupport::sim_options o;
    if (c.fault[0] != '\0') o.faults = {c.fault};
    const sim_result file = file_session.run({"download=" + sample(c.image), kNode}, o);

    EXPECT_EQ(tty.status, c.status) << c.what;
    EXPECT_EQ(pipe.status, c.status) << c.what;
    EXPECT_EQ(file.status, c.status) << c.what;
    EXPECT_EQ(tty.seen.rfind("\rsent ", 0), 0u) << c.what << tty.seen;
    // On the terminal the reason of a refusal follows the progress line.
    std::string tail = c.last_drawing;
    for (const char *p = c.err; *p != '\0'; ++p) tail += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    EXPECT_GE(tty.seen.size(), tail.size()) << c.what;
    EXPECT_EQ(tty.seen.substr(tty.seen.size() - tail.size()), tail) << c.what << tty.seen;
    EXPECT_EQ(pipe.seen, c.err) << c.what;
    EXPECT_EQ(file.err, c.err) << c.what;
    EXPECT_EQ(tty.out, file.out) << c.what;
    EXPECT_EQ(pipe.out, file.out) << c.what;
    EXPECT_EQ(tty.log, testsupport::unstamped(file.log)) << c.what;
    EXPECT_EQ(pipe.log, testsupport::unstamped(file.log)) << c.what;
    std::string audit;
    for (const std::string &line : file.audit) audit += line + "\n";
    EXPECT_EQ(tty.audit, audit) << c.what;
  }
}

// A refusal deep into a long image, between two drawings: the last line
// before the outcome shows what was accepted, not the last drawing.
TEST(DownloadProgress, LastLineShowsWhatWasAccepted) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  if (!have_script()) GTEST_SKIP() << "no script(1) to make a pseudo-terminal";
  sim_session s;
  const std::string file = s.write_file("long.bin", testsupport::byte_vector(3907 * 512 - 100, 0x5A));
  const shell_run tty = run_download(s, "tty", file, "check:0x04/1001", true);
  EXPECT_EQ(tty.status, 255);
  const std::string last = "\rsent 512000 of 2000284 bytes  25%, piece 1000 of 3907\r\n";
  const std::size_t at = tty.seen.find("/dev/sgsim0: Send diagnostic page 0x04");
  ASSERT_NE(at, std::string::npos) << tty.seen;
  ASSERT_GE(at, last.size());
  EXPECT_EQ(tty.seen.substr(at - last.size(), last.size()), last) << tty.seen;
  EXPECT_EQ(tty.out, "Please Wait for downloading...\nFirmware update failed!\n");
}

}  // namespace
