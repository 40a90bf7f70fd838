// corvane-pages events under the simulator: a scripted life of an expander's
// RAM log (new entries, none, wraps, a clear, a reset, the state file lost,
// a crash between sending and recording) against the captured system log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "logs/page_builders.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testlogs::record;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;

constexpr char kNode[] = "/dev/sgsim0";
constexpr char kCrashVariable[] = "EXPANDER_SIM_CRASH_AT_RENAME";
constexpr std::uint64_t kDay = 86400ull * 1000000ull;
constexpr std::uint64_t kBoot1 = 739000ull * kDay;        // some day in the 2020s
constexpr std::uint64_t kBoot2 = 739000ull * kDay + 5000;  // after a reset

// An entry: sequence number n, logged at base + n seconds, with severity sev.
record entry(std::uint64_t base, std::int32_t n, std::uint32_t sev = 4, std::uint32_t code = 0x004F0002) {
  const std::uint64_t t = base + static_cast<std::uint64_t>(n) * 1000000ull;
  return {sev, static_cast<std::uint32_t>(t >> 32), static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(n),
          code, 0, 0, 0};
}

std::vector<record> entries(std::uint64_t base, int from, int to) {
  std::vector<record> out;
  for (int n = from; n <= to; ++n) out.push_back(entry(base, n));
  return out;
}

std::vector<record> operator+(std::vector<record> a, const std::vector<record> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// "boot:number" of each entry the run sent, from the captured audit lines.
std::vector<std::string> sent(const sim_result &r) {
  std::vector<std::string> out;
  for (const std::string &line : r.audit) {
    const std::size_t at = line.find(" event ");
    const std::size_t time = line.find(" at ");
    if (at == std::string::npos || time == std::string::npos) continue;
    const std::string number = line.substr(at + 7, line.find(' ', at + 7) - at - 7);
    // Boot 2 starts 5 ms after boot 1, so its times end in 005:000.
    out.push_back((line.find(" 005:000:", time) != std::string::npos ? "2:" : "1:") + number);
  }
  return out;
}

std::vector<std::string> tagged(const char *boot, int from, int to) {
  std::vector<std::string> out;
  for (int n = from; n <= to; ++n) out.push_back(std::string(boot) + std::to_string(n));
  return out;
}

struct step {
  const char *what;
  std::vector<record> log;
  std::vector<std::string> expect;  // entries the run sends, in log order
  enum { run, delete_state, crash } action = run;
  bool resend = false;              // entries sent again: the documented windows
  int status = 0;
};

class WatchEvents : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv(kCrashVariable); }
};

TEST_F(WatchEvents, ScriptedLogLifeSendsEachEntryOnceOutsideTheDocumentedWindows) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string state = s.dir() + "/events.state";
  const std::vector<step> script = {
      {"first run: every entry", entries(kBoot1, 1, 5), tagged("1:", 1, 5)},
      {"nothing new", entries(kBoot1, 1, 5), {}},
      {"three new entries", entries(kBoot1, 1, 8), tagged("1:", 6, 8)},
      {"nothing new again", entries(kBoot1, 1, 8), {}},
      {"log wraps: old entries dropped, new ones added", entries(kBoot1, 4, 12), tagged("1:", 9, 12)},
      {"nothing new after the wrap", entries(kBoot1, 4, 12), {}},
      {"wrap past everything seen but one", entries(kBoot1, 12, 15), tagged("1:", 13, 15)},
      {"log cleared", {}, {}},
      {"entries after the clear", entries(kBoot1, 16, 17), tagged("1:", 16, 17)},
      {"expander reset: numbers start again at 1", entries(kBoot2, 1, 2), tagged("2:", 1, 2)},
      {"nothing new after the reset", entries(kBoot2, 1, 2), {}},
      {"one more after the reset", entries(kBoot2, 1, 3), tagged("2:", 3, 3)},
      {"state file deleted: the log is sent again", entries(kBoot2, 1, 3), tagged("2:", 1, 3), step::delete_state,
       true},
      {"nothing new after the state was rebuilt", entries(kBoot2, 1, 3), {}},
      {"crash between sending and recording", entries(kBoot2, 1, 5), tagged("2:", 4, 5), step::crash, false, -1},
      {"the crashed run's entries are sent again", entries(kBoot2, 1, 5), tagged("2:", 4, 5), step::run, true},
      {"nothing new after the crash", entries(kBoot2, 1, 5), {}},
      {"two identical entries count twice",
       entries(kBoot2, 1, 5) + std::vector<record>{entry(kBoot2, 6), entry(kBoot2, 6)}, {"2:6", "2:6"}},
      {"nothing new with the twins", entries(kBoot2, 1, 5) + std::vector<record>{entry(kBoot2, 6), entry(kBoot2, 6)},
       {}},
      {"one twin wraps out", entries(kBoot2, 2, 5) + std::vector<record>{entry(kBoot2, 6)}, {}},
      {"a new entry after the twin left", entries(kBoot2, 2, 5) + std::vector<record>{entry(kBoot2, 6), entry(kBoot2, 7)},
       {"2:7"}},
      {"log cleared again", {}, {}},
      {"entries after the second clear", entries(kBoot2, 8, 9), tagged("2:", 8, 9)},
  };
  std::map<std::string, int> deliveries;
  std::map<std::string, int> allowed_repeats;
  for (const step &st : script) {
    sim_options o;
    o.program = testsupport::corvane_pages_path();
    o.pages[0x80] = testlogs::ram_page(st.log);
    if (st.action == step::delete_state) std::remove(state.c_str());
    if (st.action == step::crash) setenv(kCrashVariable, "/events.state", 1);
    const sim_result r = s.run({"events", kNode, "--state", state}, o);
    unsetenv(kCrashVariable);
    EXPECT_EQ(r.status, st.status) << st.what << "\n" << r.err;
    const std::vector<std::string> got = sent(r);
    EXPECT_EQ(got, st.expect) << st.what;
    for (const std::string &e : got) {
      ++deliveries[e];
      if (st.resend) ++allowed_repeats[e];
    }
  }
  // Every entry once, the twins (two entries of one content) twice, plus the
  // documented repeats.
  ASSERT_EQ(deliveries.size(), 17u + 9u);
  for (const auto &[e, times] : deliveries) {
    EXPECT_EQ(times, (e == "2:6" ? 2 : 1) + allowed_repeats[e]) << e;
  }
}

TEST_F(WatchEvents, PrioritiesFollowTheSeverities) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  sim_options o;
  o.program = testsupport::corvane_pages_path();
  o.pages[0x80] = testlogs::ram_page({entry(kBoot1, 1, 1), entry(kBoot1, 2, 2), entry(kBoot1, 3, 3),
                                      entry(kBoot1, 4, 4), entry(kBoot1, 5, 5), entry(kBoot1, 6, 6),
                                      entry(kBoot1, 7, 0x00050009, 0x00690005)});
  const sim_result r = s.run({"events", kNode, "--state", s.dir() + "/st"}, o);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> want = {"daemon.crit", "daemon.err",    "daemon.warning", "daemon.info",
                                         "daemon.debug", "daemon.notice", "daemon.notice"};
  ASSERT_EQ(r.audit.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(r.audit[i].rfind(want[i] + " corvane-pages: expander naa.5001405c00000001 event " +
                                   std::to_string(i + 1) + " (",
                               0),
              0u)
        << r.audit[i];
  }
  EXPECT_NE(r.audit[6].find("(level 9)"), std::string::npos) << r.audit[6];
  EXPECT_NE(r.audit[6].find("\"SOCIO_NMI: Watchdog first timeout\" params 0x00000000"), std::string::npos)
      << r.audit[6];
}

struct refusal_case {
  const char *what;
  std::string state_text;
  const char *err;
};

TEST_F(WatchEvents, StateFilesItCannotTrustSendNothing) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const std::string key(64, 'a');
  const std::vector<refusal_case> cases = {
      {"not a state file", "hello\n", "is not a state file of corvane-pages events"},
      {"a newer format", "corvane-pages events state 2\nexpander naa.5001405c00000001\n",
       "is not a state file of corvane-pages events"},
      {"cut short", "corvane-pages events state 1\nexpander naa.5001405c00000001\nsent " + key.substr(0, 10),
       "is not a state file of corvane-pages events"},
      {"another expander", "corvane-pages events state 1\nexpander naa.5000000000000009\nsent " + key + "\n",
       "records expander naa.5000000000000009, but /dev/sgsim0 is expander naa.5001405c00000001"},
  };
  for (const refusal_case &c : cases) {
    sim_session s;
    const std::string state = s.dir() + "/st";
    std::ofstream(state) << c.state_text;
    sim_options o;
    o.program = testsupport::corvane_pages_path();
    o.pages[0x80] = testlogs::ram_page(entries(kBoot1, 1, 3));
    const sim_result r = s.run({"events", kNode, "--state", state}, o);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find("nothing sent"), std::string::npos) << c.what;
    EXPECT_TRUE(r.audit.empty()) << c.what;
    EXPECT_EQ(testsupport::read_text(state), c.state_text) << c.what;
  }
}

TEST_F(WatchEvents, UnreadableLogSendsNothingAndKeepsTheState) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string state = s.dir() + "/st";
  sim_options o;
  o.program = testsupport::corvane_pages_path();
  o.pages[0x80] = testlogs::ram_page(entries(kBoot1, 1, 3));
  ASSERT_EQ(s.run({"events", kNode, "--state", state}, o).status, 0);
  const std::string before = testsupport::read_text(state);
  std::vector<std::uint8_t> bad_sum = testlogs::ram_page(entries(kBoot1, 1, 4));
  bad_sum[40] ^= 1;
  for (const auto &[what, page, faults] :
       std::vector<std::tuple<const char *, std::vector<std::uint8_t>, std::vector<std::string>>>{
           {"checksum wrong", bad_sum, {}},
           {"page refused", testlogs::ram_page(entries(kBoot1, 1, 4)), {"check:0x80/*"}}}) {
    o.pages[0x80] = page;
    o.faults = faults;
    const sim_result r = s.run({"events", kNode, "--state", state}, o);
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_TRUE(r.audit.empty()) << what;
    EXPECT_EQ(testsupport::read_text(state), before) << what;
  }
}

}  // namespace
