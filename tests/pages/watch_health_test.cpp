// corvane-pages health and metrics under the simulator: each fault raises
// exactly its verdict and reason, empty slots raise nothing, and the
// exposition and the JSON verdict of the built-in expander match their
// golden files.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logs/page_builders.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;

constexpr char kNode[] = "/dev/sgsim0";
constexpr char kId[] = "naa.5001405c00000001";

// Page 0x02: overall element, then one element per status byte 0.
byte_vector enclosure_page(std::uint8_t overall, const std::vector<std::uint8_t> &elements) {
  byte_vector p{0x02, 0, 0, 0, 0, 0, 0, 1, overall, 0, 0, 0};
  for (std::uint8_t b0 : elements) p.insert(p.end(), {b0, 0, 0, 0});
  testlogs::put_be16(p, 2, static_cast<std::uint32_t>(p.size() - 4));
  return p;
}

// Page 0xF3: one record per PHY, byte 4 its error bits.
byte_vector sssf_page(const std::vector<std::uint8_t> &err_bits) {
  byte_vector p{0xF3, 0, 0, 0};
  for (std::size_t i = 0; i < err_bits.size(); ++i) {
    p.insert(p.end(), {static_cast<std::uint8_t>(i), 0xBA, 0x00, 0x10, err_bits[i], 0, 0, 0});
  }
  testlogs::put_be16(p, 2, static_cast<std::uint32_t>(p.size() - 4));
  return p;
}

testlogs::record event(std::uint32_t sev, std::int32_t n, std::uint32_t code) {
  return {sev, 0x000A8000, static_cast<std::uint32_t>(n) * 1000u, static_cast<std::uint32_t>(n), code, 0, 0, 0};
}

// Healthy pages: OK elements beside every status that is never a fault
// (unsupported, not installed, unknown, not available, no access, reserved).
struct healthy {
  std::uint8_t overall = 0x01;
  std::vector<std::uint8_t> elements{0x01, 0x01, 0x00, 0x05, 0x06, 0x07, 0x08, 0x0B, 0x45, 0x01};
  std::vector<std::uint8_t> phys{0, 0, 0, 0};
  std::vector<testlogs::record> events{event(4, 1, 0x004F0002), event(3, 2, 0x00350008), event(5, 3, 0x001D000D)};

  sim_options options() const {
    sim_options o;
    o.program = testsupport::corvane_pages_path();
    o.pages[0x02] = enclosure_page(overall, elements);
    o.pages[0xF3] = sssf_page(phys);
    o.pages[0x80] = testlogs::ram_page(events);
    return o;
  }
};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

struct health_case {
  const char *what;
  healthy pages;
  std::vector<std::string> extra_args;
  int status;
  std::vector<std::string> reasons;  // lines after the summary
};

health_case with(const char *what, void (*change)(healthy &), int status, std::vector<std::string> reasons,
                 std::vector<std::string> args = {}) {
  healthy h;
  change(h);
  return {what, h, args, status, reasons};
}

std::string r(const char *verdict, const std::string &text) { return std::string(kId) + " " + verdict + ": " + text; }

TEST(WatchHealth, EachFaultRaisesExactlyItsVerdictAndReason) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const std::vector<health_case> cases = {
      with("healthy, with empty slots and other non-faults", [](healthy &) {}, 0, {}),
      with("critical element", [](healthy &h) { h.elements[1] = 0x02; }, 2, {r("CRITICAL", "element 1 Critical")}),
      with("unrecoverable element", [](healthy &h) { h.elements[0] = 0x04; }, 2,
           {r("CRITICAL", "element 0 Unrecoverable")}),
      with("noncritical element", [](healthy &h) { h.elements[9] = 0x03; }, 1,
           {r("WARNING", "element 9 Noncritical")}),
      with("predicted failure of a working element", [](healthy &h) { h.elements[1] = 0x41; }, 1,
           {r("WARNING", "element 1 OK, predicted failure")}),
      with("critical overall element", [](healthy &h) { h.overall = 0x02; }, 2,
           {r("CRITICAL", "element overall Critical")}),
      with("PHY in error", [](healthy &h) { h.phys[2] = 0x02; }, 1, {r("WARNING", "phy 2 in error (sxl)")}),
      with("PHY in every error state", [](healthy &h) { h.phys[3] = 0x07; }, 1,
           {r("WARNING", "phy 3 in error (emip, sxl, sssf)")}),
      with("critical event", [](healthy &h) { h.events.push_back(event(1, 4, 0x00690005)); }, 2,
           {r("CRITICAL", "event 4 critical error: SOCIO_NMI: Watchdog first timeout")}),
      with("error event of an unknown code", [](healthy &h) { h.events.push_back(event(2, 5, 0x00110001)); }, 1,
           {r("WARNING", "event 5 error: event code 0x00110001")}),
      with("accepted element ignored", [](healthy &h) { h.elements[1] = 0x02; }, 0, {}, {"--ignore", "1"}),
      with("accepted element of this expander ignored", [](healthy &h) { h.elements[1] = 0x02; }, 0, {},
           {"--ignore=9," + std::string(kId) + ":1"}),
      with("accepted overall element ignored", [](healthy &h) { h.overall = 0x04; }, 0, {}, {"--ignore", "overall"}),
      with("another expander's element is not this one's", [](healthy &h) { h.elements[1] = 0x02; }, 2,
           {r("CRITICAL", "element 1 Critical")}, {"--ignore", "naa.5000000000000009:1"}),
  };
  for (const health_case &c : cases) {
    sim_session s;
    std::vector<std::string> args = {"health"};
    args.insert(args.end(), c.extra_args.begin(), c.extra_args.end());
    args.push_back(kNode);
    const sim_result res = s.run(args, c.pages.options());
    EXPECT_EQ(res.status, c.status) << c.what << "\n" << res.out << res.err;
    const std::vector<std::string> lines = lines_of(res.out);
    ASSERT_FALSE(lines.empty()) << c.what;
    const char *names[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    EXPECT_EQ(lines[0].rfind(std::string("CORVANE ") + names[c.status] + " - 1 expander: " + kId + " " +
                                 names[c.status],
                             0),
              0u)
        << c.what << ": " << lines[0];
    EXPECT_NE(lines[0].find(" | '" + std::string(kId) + " elements_critical'="), std::string::npos) << c.what;
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), c.reasons) << c.what;
    EXPECT_TRUE(res.audit.empty()) << c.what;
  }
}

TEST(WatchHealth, UnreadablePagesAndNodesAreUnknown) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  sim_options o = healthy{}.options();
  o.faults = {"check:0xf3/*"};
  sim_result res = s.run({"health", kNode}, o);
  EXPECT_EQ(res.status, 3) << res.out;
  EXPECT_EQ(lines_of(res.out).back(), r("UNKNOWN", "page 0xF3 could not be read"));

  // A critical finding outranks an unreadable page.
  o.pages[0x02] = enclosure_page(0x01, {0x02});
  res = s.run({"health", kNode}, o);
  EXPECT_EQ(res.status, 2) << res.out;

  res = s.run({"health", "/dev/sgsim7"}, healthy{}.options());
  EXPECT_EQ(res.status, 3) << res.out;
  EXPECT_EQ(lines_of(res.out)[0], "CORVANE UNKNOWN - 0 expanders; 1 unreadable");

  res = s.run({"health", "--ignore", "x1", kNode}, healthy{}.options());
  EXPECT_EQ(res.status, 3);
  EXPECT_NE(res.err.find("--ignore x1: not a list of elements"), std::string::npos) << res.err;
}

// Output with the values of the run's clock masked.
std::string masked(const std::string &text) {
  static const std::regex clock(R"(^(corvane_collection_(timestamp|duration)_seconds\{[^}]*\}) .*$)",
                                std::regex::multiline);
  return std::regex_replace(text, clock, "$1 X");
}

std::string golden(const char *name) { return testsupport::read_text(std::string(CORVANE_TEST_DATA) + "/watch/" + name); }

TEST(WatchGolden, MetricsAndHealthJsonOfTheBuiltInExpanderThroughTwoPaths) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  sim_options o;
  o.program = testsupport::corvane_pages_path();
  o.nodes = 2;
  const sim_result m = s.run({"metrics", "/dev/sgsim0", "/dev/sgsim1"}, o);
  EXPECT_EQ(m.status, 0) << m.err;
  EXPECT_EQ(masked(m.out), golden("metrics.prom"));
  // Every page once for the expander, one identity request for the second path.
  EXPECT_EQ(m.requests().size(), 8u);

  const sim_result h = s.run({"health", "--json", "/dev/sgsim0", "/dev/sgsim1"}, o);
  EXPECT_EQ(h.status, 2) << h.err;
  EXPECT_EQ(h.out, golden("health.json"));

  // No series twice.
  std::set<std::string> series;
  for (const std::string &line : lines_of(m.out)) {
    if (line.empty() || line[0] == '#') continue;
    EXPECT_TRUE(series.insert(line.substr(0, line.rfind(' '))).second) << line;
  }
}

}  // namespace
