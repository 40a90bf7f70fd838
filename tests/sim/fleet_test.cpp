// Several simulated expanders: the layout of expanders and nodes, each
// expander's own identity and state, and the misbehaviours a firmware
// rollout must catch, seen through the real corvane.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "model/fleet.h"
#include "model/model.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;

struct layout_case {
  const char *name;
  const char *expanders, *nodes, *paths, *quirk_rules;
  std::vector<unsigned> node_expander;  // empty: refused
};

TEST(SimFleetLayout, NodesReachTheirExpanders) {
  const std::vector<layout_case> cases = {
      {"default: one expander, one node", "", "", "", "", {0}},
      {"nodes share the one expander", "", "3", "", "", {0, 0, 0}},
      {"one node per expander", "3", "", "", "", {0, 1, 2}},
      {"extra nodes wrap", "2", "5", "", "", {0, 1, 0, 1, 0}},
      {"a second path to expander 1", "3", "4", "3=1", "", {0, 1, 2, 1}},
      {"paths override", "2", "2", "0=1,1=0", "", {1, 0}},
      {"quirks of a named and the first expander", "2", "", "", "1:ignore-activation,old-image-after-reset", {0, 1}},
      {"expanders zero", "0", "", "", "", {}},
      {"expanders with letters", "2x", "", "", "", {}},
      {"too many expanders", "101", "", "", "", {}},
      {"path to a missing expander", "2", "", "1=2", "", {}},
      {"path from a missing node", "2", "", "2=0", "", {}},
      {"path without expander", "2", "", "1=", "", {}},
      {"quirk of a missing expander", "2", "", "", "2:ignore-activation", {}},
      {"unknown quirk", "", "", "", "explode", {}},
      {"silence without seconds", "", "", "", "silent-after-reset", {}},
      {"silence of zero", "", "", "", "silent-after-reset=0", {}},
      {"value on a flag quirk", "", "", "", "ignore-activation=1", {}},
  };
  for (const auto &c : cases) {
    sim::fleet f;
    std::string why;
    const bool ok = sim::parse_fleet(c.expanders, c.nodes, c.paths, c.quirk_rules, f, why);
    EXPECT_EQ(ok, !c.node_expander.empty()) << c.name << ": " << why;
    if (ok) {
      EXPECT_EQ(f.node_expander, c.node_expander) << c.name;
    } else {
      EXPECT_FALSE(why.empty()) << c.name;
    }
  }
  sim::fleet f;
  std::string why;
  ASSERT_TRUE(sim::parse_fleet("3", "", "", "2:silent-after-reset=7,1:ignore-activation", f, why));
  EXPECT_EQ(f.behaviour[2].silent_after_reset_s, 7u);
  EXPECT_TRUE(f.behaviour[1].ignore_activation);
  EXPECT_FALSE(f.behaviour[0].ignore_activation);
}

// The serial number (VPD 0x80) and designator (VPD 0x83) each expander answers.
std::pair<std::string, std::string> identity(const sim::config &cfg) {
  sim::model *m = sim::model_open(cfg);
  EXPECT_NE(m, nullptr);
  std::pair<std::string, std::string> id;
  for (const std::uint8_t page : {0x80, 0x83}) {
    const std::array<std::uint8_t, 6> cdb = {0x12, 0x01, page, 0x00, 0xFF, 0x00};
    std::array<std::uint8_t, 255> data{};
    const sim::outcome o = sim::model_execute(m, {cdb, sim::direction::from_device, data});
    EXPECT_EQ(o.kind, sim::outcome::good);
    (page == 0x80 ? id.first : id.second) = std::string(data.begin() + 4, data.begin() + static_cast<long>(o.data_len));
  }
  sim::model_close(m);
  return id;
}

TEST(SimFleetLayout, EachExpanderHasItsOwnIdentityAndStateAndTheFirstIsTheSingleOne) {
  char tmpl[] = "/tmp/cvfleetXXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  sim::fleet f;
  std::string why;
  ASSERT_TRUE(sim::parse_fleet("3", "", "", "", f, why));
  sim::config single;
  single.state_dir = dir + "/single";
  const auto first = identity(sim::expander_config(f, 0, dir + "/a", "", ""));
  EXPECT_EQ(first, identity(single));
  EXPECT_EQ(first.first, "SIM0000001");
  EXPECT_EQ(sim::expander_config(f, 0, dir + "/a", "", "").state_dir, dir + "/a");
  std::vector<std::string> states = {dir + "/a"};
  for (unsigned e = 1; e < 3; ++e) {
    const auto other = identity(sim::expander_config(f, e, dir + "/a", "", ""));
    EXPECT_NE(other.first, first.first) << e;
    EXPECT_NE(other.second, first.second) << e;
    states.push_back(sim::expander_config(f, e, dir + "/a", "", "").state_dir);
    EXPECT_NE(states[e], states[e - 1]);
  }
  EXPECT_EQ(identity(sim::expander_config(f, 2, dir + "/a", "", "")).first, "SIM0000003");
  std::filesystem::remove_all(dir);
}

// corvane's query block for the simulated versions.
std::string query_block(int image, const char *version, int data, const char *data_version) {
  return "Active Image:  image" + std::to_string(image) + "\nImage Version: " + version +
         "\nActive Data:   data" + std::to_string(data) + "\nData Version:  " + data_version + "\n";
}

class SimFleet : public testing::Test {
 protected:
  void SetUp() override { CORVANE_SKIP_WITHOUT_PROGRAM_EXEC(); }
  sim_result run(const std::vector<std::string> &args, std::vector<std::string> launcher = {}) {
    sim_options o;
    o.launcher = layout_;
    o.launcher.insert(o.launcher.end(), launcher.begin(), launcher.end());
    return session_.run(args, o);
  }
  std::string image(const char *name, bool config, const char *version) {
    byte_vector b(1200, 0x5A);
    const byte_vector head = config ? byte_vector{'C', 'D', 'E', 'F'} : byte_vector{0x50, 0x4D, 0x43, 0x00};
    std::copy(head.begin(), head.end(), b.begin());
    std::fill(b.begin() + 4, b.begin() + 8, 0);
    std::copy(version, version + 3, b.begin() + 8);
    return session_.write_file(name, b);
  }
  sim_session session_;
  std::vector<std::string> layout_;
};

TEST_F(SimFleet, TwoPathsReachOneExpanderAndOtherExpandersStayApart) {
  layout_ = {"--expanders", "2", "--nodes", "3", "--path", "2=0"};
  const std::string fw = image("fw.bin", false, "105");
  ASSERT_EQ(run({"download=" + fw, "/dev/sgsim2"}).status, 0);
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(1, "105", 0, "015"));
  EXPECT_EQ(run({"query", "/dev/sgsim2"}).out, query_block(1, "105", 0, "015"));
  EXPECT_EQ(run({"query", "/dev/sgsim1"}).out, query_block(0, "103", 0, "015"));
  // A node past the layout does not exist.
  EXPECT_EQ(run({"query", "/dev/sgsim3"}).status, 255);
}

// Each misbehaviour: what corvane reports and what the expander then runs.
TEST_F(SimFleet, IgnoredActivationReportsSuccessAndKeepsTheOldImage) {
  layout_ = {"--quirk", "ignore-activation"};
  const sim_result r = run({"download=" + image("fw.bin", false, "105"), "/dev/sgsim0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Firmware update success!"), std::string::npos);
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(0, "103", 0, "015"));
}

TEST_F(SimFleet, OldImageAfterResetUndoesTheActivationAndTheConfiguration) {
  layout_ = {"--quirk", "0:old-image-after-reset"};
  ASSERT_EQ(run({"download=" + image("fw.bin", false, "105"), "/dev/sgsim0"}).status, 0);
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(1, "105", 0, "015"));
  ASSERT_EQ(run({"reset", "/dev/sgsim0"}).status, 0);
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(0, "103", 0, "015"));
  ASSERT_EQ(run({"download=" + image("cfg.bin", true, "017"), "/dev/sgsim0"}).status, 0);
  ASSERT_EQ(run({"reset", "/dev/sgsim0"}).status, 0);
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(0, "103", 0, "015"));
}

TEST_F(SimFleet, WithoutQuirksAResetKeepsTheNewImageAndTakesTheConfiguration) {
  ASSERT_EQ(run({"download=" + image("fw.bin", false, "105"), "/dev/sgsim0"}).status, 0);
  ASSERT_EQ(run({"download=" + image("cfg.bin", true, "017"), "/dev/sgsim0"}).status, 0);
  ASSERT_EQ(run({"reset", "/dev/sgsim0"}).status, 0);
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(1, "105", 1, "017"));
}

TEST_F(SimFleet, SilentAfterResetAnswersNothingThenComesBack) {
  layout_ = {"--expanders", "2", "--quirk", "1:silent-after-reset=1"};
  const sim_result reset = run({"reset", "/dev/sgsim1"});
  EXPECT_EQ(reset.status, 0);
  const sim_result silent = run({"query", "/dev/sgsim1"});
  EXPECT_EQ(silent.status, 255);
  ASSERT_FALSE(silent.requests().empty());
  for (const auto &req : silent.requests()) EXPECT_EQ(req.get("host_status"), "1");
  // The other expander answers meanwhile.
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).status, 0);
  ::usleep(1200 * 1000);
  EXPECT_EQ(run({"query", "/dev/sgsim1"}).out, query_block(0, "103", 0, "015"));
}

TEST_F(SimFleet, ResetStateResetsEveryExpander) {
  layout_ = {"--expanders", "2"};
  const std::string fw = image("fw.bin", false, "105");
  ASSERT_EQ(run({"download=" + fw, "/dev/sgsim0"}).status, 0);
  ASSERT_EQ(run({"download=" + fw, "/dev/sgsim1"}).status, 0);
  EXPECT_EQ(run({"query", "/dev/sgsim1"}, {"--reset-state"}).out, query_block(0, "103", 0, "015"));
  EXPECT_EQ(run({"query", "/dev/sgsim0"}).out, query_block(0, "103", 0, "015"));
}

}  // namespace
