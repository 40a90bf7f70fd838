#include "support/sim_run.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace {

constexpr unsigned kRunLimitSeconds = 300;  // a hung run is killed, not waited for forever


std::vector<std::string> read_lines(const std::string &path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// A directory anyone may write, so a run under another uid can use it.
void make_open_dir(const std::string &path) {
  ::mkdir(path.c_str(), 0777);
  ::chmod(path.c_str(), 0777);
}

bool is_digit_at(const std::string &s, std::size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; }

// "Tue Dec  8 06:23:00 2026 " at pos.
bool stamp_at(const std::string &s, std::size_t pos) {
  if (pos + 25 > s.size()) return false;
  const std::string t = s.substr(pos, 25);
  return t[3] == ' ' && t[7] == ' ' && t[10] == ' ' && t[13] == ':' && t[16] == ':' && t[19] == ' ' &&
         t[24] == ' ' && is_digit_at(t, 9) && is_digit_at(t, 11) && is_digit_at(t, 20) && is_digit_at(t, 23);
}

// The programs one run starts: the launcher, its preload library and corvane.
struct run_programs {
  std::string launcher = EXPANDER_SIM_BIN;
  std::string preload = EXPANDER_SIM_PRELOAD;
  std::string corvane = CORVANE_BIN;
};

// Copies the programs into a new directory that every user can reach (mode
// 0755 under /tmp), for a run under another uid: the build tree may lie below
// a directory only its owner can enter, such as /root.
run_programs reachable_copies(const std::string &dir) {
  const run_programs built;
  run_programs copies;
  ::mkdir(dir.c_str(), 0755);
  ::chmod(dir.c_str(), 0755);
  const auto copy = [&](const std::string &from) {
    const std::string to = dir + "/" + std::filesystem::path(from).filename().string();
    std::error_code ignored;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ignored);
    ::chmod(to.c_str(), 0755);
    return to;
  };
  copies.launcher = copy(built.launcher);
  copies.preload = copy(built.preload);
  copies.corvane = copy(built.corvane);
  return copies;
}

std::vector<std::string> launcher_argv(const run_programs &programs, const std::string &run_dir,
                                       const std::string &state, const sim_options &o,
                                       const std::vector<std::string> &args) {
  const std::string transcript = o.transcript.empty() ? run_dir + "/transcript" : o.transcript;
  std::vector<std::string> argv = {programs.launcher, "--preload", programs.preload,
                                   "--state",         state,        "--capture",
                                   run_dir + "/capture", "--transcript", transcript};
  if (!o.pages_dir.empty()) {
    argv.insert(argv.end(), {"--pages", o.pages_dir});
  } else if (!o.pages.empty() || !o.nv_chunks.empty()) {
    const std::string pages = run_dir + "/pages";
    make_open_dir(pages);
    write_pages_dir(pages, o.pages, o.nv_chunks);
    argv.insert(argv.end(), {"--pages", pages});
  }
  for (const std::string &f : o.faults) argv.insert(argv.end(), {"--fault", f});
  if (o.log_unopenable) argv.push_back("--log-unopenable");
  if (o.nodes > 0) argv.insert(argv.end(), {"--nodes", std::to_string(o.nodes)});
  if (o.transcript_data >= 0) argv.insert(argv.end(), {"--transcript-data", std::to_string(o.transcript_data)});
  argv.insert(argv.end(), o.launcher.begin(), o.launcher.end());
  argv.push_back("--");
  argv.push_back(o.program.empty() ? programs.corvane : o.program);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

[[noreturn]] void exec_child(const std::string &run_dir, const std::vector<std::string> &argv, int uid) {
  const int out = ::open((run_dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const int err = ::open((run_dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const int in = ::open("/dev/null", O_RDONLY);
  if (out < 0 || err < 0 || in < 0) _exit(126);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  if (uid >= 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(static_cast<gid_t>(uid)) != 0 ||
        ::setuid(static_cast<uid_t>(uid)) != 0) {
      _exit(125);
    }
  }
  ::alarm(kRunLimitSeconds);
  std::vector<char *> raw;
  for (const std::string &a : argv) raw.push_back(const_cast<char *>(a.c_str()));
  raw.push_back(nullptr);
  ::execv(raw[0], raw.data());
  _exit(127);
}

}  // namespace

std::string read_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string corvane_path() { return CORVANE_BIN; }

std::string corvane_pages_path() { return CORVANE_PAGES_BIN; }

std::string user_name() {
  const passwd *pw = ::getpwuid(::getuid());
  return pw != nullptr ? pw->pw_name : std::to_string(::getuid());
}

std::string user_line() {
  const passwd *pw = ::getpwuid(::getuid());
  const unsigned gid = pw != nullptr ? pw->pw_gid : ::getgid();
  return "user name:" + user_name() + " uid:" + std::to_string(::getuid()) + " gid:" + std::to_string(gid) + "\n";
}

std::string audit_line(const std::string &text) { return "user.info corvane: " + user_name() + " " + text; }

std::string unstamped(const std::string &log) {
  std::string out;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find('\n', pos);
    end = end == std::string::npos ? log.size() : end + 1;
    const std::size_t skip = stamp_at(log, pos) ? 25 : 0;
    out += log.substr(pos + skip, end - pos - skip);
    pos = end;
  }
  return out;
}

std::size_t stamped_lines(const std::string &log) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < log.size();) {
    if (stamp_at(log, pos)) ++n;
    const std::size_t end = log.find('\n', pos);
    pos = end == std::string::npos ? log.size() : end + 1;
  }
  return n;
}

void write_pages_dir(const std::string &dir, const std::map<int, byte_vector> &pages,
                     const std::vector<byte_vector> &nv_chunks) {
  auto write = [&](const std::string &name, const byte_vector &b) {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
  };
  char name[40];
  for (const auto &[code, bytes] : pages) {
    std::snprintf(name, sizeof name, "page_%02x.bin", code & 0xFF);
    write(name, bytes);
  }
  for (std::size_t i = 0; i < nv_chunks.size(); ++i) write("page_f4_" + std::to_string(i) + ".bin", nv_chunks[i]);
}

sim_session::sim_session() {
  char tmpl[] = "/tmp/cvsimXXXXXX";
  const char *made = ::mkdtemp(tmpl);
  dir_ = made != nullptr ? made : "/tmp";
  make_open_dir(dir_);
  make_open_dir(state_dir());
}

sim_session::~sim_session() {
  std::error_code ignored;
  if (dir_ != "/tmp") std::filesystem::remove_all(dir_, ignored);
}

std::string sim_session::write_file(const std::string &name, const byte_vector &content) const {
  const std::string path = dir_ + "/" + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
  ::chmod(path.c_str(), 0666);
  return path;
}

std::string sim_pending::err_so_far() const { return read_text(run_dir + "/stderr"); }

bool sim_pending::ended() const {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

sim_pending sim_session::start(const std::vector<std::string> &args, const sim_options &options) {
  const std::string run_dir = dir_ + "/run" + std::to_string(++runs_);
  make_open_dir(run_dir);
  make_open_dir(run_dir + "/capture");
  // The session directory is open to all (0777), so the copies go there.
  const run_programs programs =
      options.run_as_uid >= 0 ? reachable_copies(run_dir + "/programs") : run_programs{};
  const std::vector<std::string> argv = launcher_argv(programs, run_dir, state_dir(), options, args);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) exec_child(run_dir, argv, options.run_as_uid);
  return {pid, run_dir, options.transcript.empty() ? run_dir + "/transcript" : options.transcript,
          options.program.empty() ? programs.corvane : options.program};
}

sim_result sim_session::finish(const sim_pending &pending) {
  int wstatus = 0;
  sim_result r;
  r.program = pending.program;
  if (pending.pid > 0 && ::waitpid(pending.pid, &wstatus, 0) == pending.pid && WIFEXITED(wstatus)) {
    r.status = WEXITSTATUS(wstatus);
  }
  r.out = read_text(pending.run_dir + "/stdout");
  r.err = read_text(pending.run_dir + "/stderr");
  r.log = read_text(pending.run_dir + "/capture/expander_log.txt");
  r.audit = read_lines(pending.run_dir + "/capture/audit.txt");
  r.transcript = parse_sim_events(read_text(pending.transcript));
  r.leaks = events_of(r.transcript, "leak");
  return r;
}

sim_result sim_session::run(const std::vector<std::string> &args, const sim_options &options) {
  return finish(start(args, options));
}

sim_result sim_run(const std::vector<std::string> &args, const sim_options &options) {
  sim_session session;
  return session.run(args, options);
}

}  // namespace testsupport
