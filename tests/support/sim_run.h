// Runs the real corvane binary under the simulated expander from a test and
// collects everything it left behind: screen output, exit status, the
// captured operation log and audit lines, the request transcript and the
// descriptors it left open. Works the same for a native and an emulated
// (aarch64) build: only the paths the build passes in are used.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/sim_transcript.h"

namespace testsupport {

using byte_vector = std::vector<std::uint8_t>;

struct sim_options {
  std::vector<std::string> faults;     // fault rules, e.g. "check:0x04/3"
  std::map<int, byte_vector> pages;    // raw pages to serve instead of the built-in set
  std::vector<byte_vector> nv_chunks;  // page 0xF4 chunks (with pages, or alone)
  bool log_unopenable = false;         // the operation log fails to open
  long transcript_data = -1;           // bytes of sent data kept per request (-1: all)
  int run_as_uid = -1;                 // run with this real uid (needs root); the programs
                                       // are run from copies any user can reach
  std::string transcript;              // transcript file shared with other runs ("": the run's own)
  std::string program;                 // the program to run; empty for corvane
  std::string pages_dir;               // an existing page directory to serve (e.g. a capture)
  int nodes = 0;                       // simulated nodes (0: the simulator's default)
  std::vector<std::string> launcher;   // further launcher options (--expanders 2, --quirk ...)
};

// A run started in the background, collected by sim_session::finish.
struct sim_pending {
  int pid = -1;
  std::string run_dir;
  std::string transcript;
  std::string program;  // the program run
  // True once the run has written text to its standard error.
  std::string err_so_far() const;
  // True when the run has ended (not yet collected).
  bool ended() const;
};

struct sim_result {
  std::string program;             // the program run, as it appears in the log
  std::string out;                 // standard output
  std::string err;                 // standard error
  int status = -1;                 // exit status, -1 when killed by a signal
  std::string log;                 // captured operation log of this run
  std::vector<std::string> audit;  // captured audit lines: "user.info corvane: ..."
  std::vector<sim_event> transcript;
  std::vector<sim_event> leaks;    // descriptors left open at exit

  std::vector<sim_event> requests() const { return events_of(transcript, "sgio"); }
};

// The operation log with the 25-character time stamps removed from the start
// of the lines that carry one.
std::string unstamped(const std::string &log);
// Number of lines of log that begin with a time stamp.
std::size_t stamped_lines(const std::string &log);

// Writes page_XX.bin files (and page_f4_N.bin chunks) into dir.
void write_pages_dir(const std::string &dir, const std::map<int, byte_vector> &pages,
                     const std::vector<byte_vector> &nv_chunks);

// A private directory with expander state that lasts for several runs.
class sim_session {
 public:
  sim_session();
  ~sim_session();
  sim_session(const sim_session &) = delete;
  sim_session &operator=(const sim_session &) = delete;

  // Runs corvane with args (argv[0] is the binary's path) under the simulator.
  sim_result run(const std::vector<std::string> &args, const sim_options &options = {});
  // The same, started in the background; finish waits for it and collects it.
  sim_pending start(const std::vector<std::string> &args, const sim_options &options = {});
  sim_result finish(const sim_pending &pending);
  // Writes a file into the session directory and returns its path.
  std::string write_file(const std::string &name, const byte_vector &content) const;
  const std::string &dir() const { return dir_; }
  std::string state_dir() const { return dir_ + "/state"; }

 private:
  std::string dir_;
  int runs_ = 0;
};

// One run in a fresh session.
sim_result sim_run(const std::vector<std::string> &args, const sim_options &options = {});

// The path of the corvane binary as it appears in the logged command line.
// The whole file as bytes ("" when it cannot be read).
std::string read_text(const std::string &path);

std::string corvane_path();
// The path of the corvane-pages binary.
std::string corvane_pages_path();

// The login name of the user running the tests, as corvane names it.
std::string user_name();
// The first start-up line corvane logs for that user.
std::string user_line();
// "user.info corvane: NAME " followed by text: an audit line as captured.
std::string audit_line(const std::string &text);

}  // namespace testsupport
