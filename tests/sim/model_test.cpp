// The expander model: fault rules, page service, persistent state, and the
// real corvane_core operations run in-process against it.
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/faults.h"
#include "model/model.h"
#include "model/state.h"
#include "sg/sg.h"
#include "support/sim_device.h"
#include "support/temp_log.h"
#include "support/foreign_exec.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_device;
using testsupport::sim_device_options;

TEST(SimFaultRules, AcceptsTheDocumentedForms) {
  for (const char *rules : {"check:3", "ioctl:0x04/2=5", "open:*", "short:1=16", "delay:2=10", "check:1=5/24/00",
                            "ioctl:0x82/*", "check:1;ioctl:2,open:3", ""}) {
    std::string why;
    EXPECT_TRUE(sim::faults_valid(rules, why)) << rules << ": " << why;
  }
}

TEST(SimFaultRules, RefusesMalformedRules) {
  for (const char *rules : {"bad", "check", "check:0", "open:0x82/1", "check:1=5/24", "ioctl:x", "nope:1",
                            "short:-1", "check:0x100/1", "ioctl:1=", "check:1,bogus:2"}) {
    std::string why;
    EXPECT_FALSE(sim::faults_valid(rules, why)) << rules;
    EXPECT_NE(why.find("bad fault rule"), std::string::npos);
  }
}

TEST(SimFaultRules, PageQualifiedRuleCountsOnlyThatPage) {
  std::vector<sim::fault_rule> rules;
  std::string why;
  ASSERT_TRUE(sim::parse_faults("check:0x82/2", rules, why));
  EXPECT_FALSE(sim::match_fault(rules, sim::fault_kind::check, 2, 0x80, 2).has_value());
  EXPECT_FALSE(sim::match_fault(rules, sim::fault_kind::check, 3, 0x82, 1).has_value());
  EXPECT_TRUE(sim::match_fault(rules, sim::fault_kind::check, 3, 0x82, 2).has_value());
  EXPECT_FALSE(sim::match_fault(rules, sim::fault_kind::ioctl, 3, 0x82, 2).has_value());
}

TEST(SimFaults, NthOfAPageFailsAndOthersPass) {
  sim_device_options o;
  o.faults = "check:0x82/2";
  o.pages[0x80] = {0x80, 0x00, 0x00, 0x00};
  sim_device dev(o);
  std::array<std::uint8_t, kReceiveSize> buf{};
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), 0);
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x80, buf), 0);
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), -1);
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), 0);
}

// As with the real driver, the bytes the target did not send come back as zeros.
TEST(SimFaults, ShortTransferDeliversOnlyItsBytes) {
  sim_device_options o;
  o.faults = "short:1=4";
  sim_device dev(o);
  std::array<std::uint8_t, kReceiveSize> buf;
  buf.fill(0xEE);
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), 0);
  EXPECT_EQ(buf[0], 0x82);
  EXPECT_EQ(buf[3], 44);
  for (std::size_t i = 4; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << "byte " << i;
  EXPECT_EQ(dev.requests()[0].get("delivered"), "4");
}

TEST(SimFaults, CheckConditionLeavesTheBufferUntouched) {
  sim_device_options o;
  o.faults = "check:1";
  sim_device dev(o);
  std::array<std::uint8_t, kReceiveSize> buf;
  buf.fill(0xEE);
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), -1);
  for (std::uint8_t b : buf) ASSERT_EQ(b, 0xEE);
}

// An answer later than the request's 60 s timeout arrives with GOOD status but
// a timed-out transport; the program does not take it for a success.
TEST(SimFaults, AnswerPastTheTimeoutIsATimedOutTransport) {
  sim_device_options o;
  o.faults = "delay:1=60000";
  sim_device dev(o);
  std::array<std::uint8_t, kReceiveSize> buf{};
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), -1);
  EXPECT_EQ(dev.requests().at(0).get("host_status"), "3");
  EXPECT_EQ(dev.requests().at(0).get("status"), "0");
  EXPECT_EQ(dev.open_descriptors(), 0);
}

TEST(SimFaults, OpenAndCheckValuesAreUsed) {
  sim_device_options o;
  o.faults = "open:1=13,check:1=3/11/00,delay:2=1";
  sim_device dev(o);
  EXPECT_EQ(g_sg_syscalls.open_fn(sim_device::kNode, O_RDONLY), -1);
  EXPECT_EQ(errno, EACCES);
  std::array<std::uint8_t, kReceiveSize> buf{};
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), -1);
  const auto first = dev.requests().at(0);
  EXPECT_EQ(first.get("result"), "check");
  EXPECT_EQ(first.bytes("sense")[2], 0x03);
  EXPECT_EQ(first.bytes("sense")[12], 0x11);
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x82, buf), 0);  // delayed, then good
  EXPECT_EQ(dev.open_descriptors(), 0);
}

TEST(SimPages, NvLogChunksFollowEachOtherAndWrap) {
  sim_device_options o;
  o.nv_chunks = {{0xF4, 0, 0, 1, 0xA0}, {0xF4, 0, 0, 1, 0xA1}, {0xF4, 0, 0, 1, 0xA2}};
  sim_device dev(o);
  std::array<std::uint8_t, kReceiveSize> buf{};
  for (std::uint8_t want : {0xA0, 0xA1, 0xA2, 0xA0, 0xA1}) {
    ASSERT_EQ(sg_query_cmd(sim_device::kNode, 0xF4, buf), 0);
    EXPECT_EQ(buf[4], want);
  }
}

TEST(SimPages, SupportedPagesListWhatIsServed) {
  sim_device_options o;
  o.pages[0x02] = {0x02, 0, 0, 0};
  o.nv_chunks = {{0xF4, 0, 0, 0}};
  sim_device dev(o);
  std::array<std::uint8_t, kReceiveSize> buf{};
  ASSERT_EQ(sg_query_cmd(sim_device::kNode, 0x00, buf), 0);
  EXPECT_EQ(byte_vector(buf.begin(), buf.begin() + 8), (byte_vector{0x00, 0x00, 0x00, 0x04, 0x00, 0x02, 0x82, 0xF4}));
  EXPECT_EQ(sg_query_cmd(sim_device::kNode, 0x80, buf), -1);  // not in the directory
}

byte_vector image_with_version(bool with_signature, const char *version, std::size_t size) {
  byte_vector b(size, 0x5A);
  const std::uint8_t sig[] = {0x50, 0x4D, 0x43, 0x00};
  for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = with_signature ? sig[i] : 0x11;
  for (int i = 0; i < 3; ++i) b[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(version[i]);
  return b;
}

std::string write_file(const std::string &path, const byte_vector &b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(b.data()), static_cast<long>(b.size()));
  return path;
}

std::string query_screen() {
  testing::internal::CaptureStdout();
  EXPECT_EQ(firmware_query(sim_device::kNode), 0);
  return testing::internal::GetCapturedStdout();
}

// The real operations in-process: a configuration image takes effect at the
// reset, a firmware image at the activation, each swapping to the other slot.
TEST(SimState, OperationsChangeWhatTheStatusPageShows) {
  testsupport::TempLog log;
  sim_device dev;
  g_fw_flag = 0;
  const std::string config = write_file(log.dir() + "/cfg.bin", image_with_version(false, "016", 900));
  testing::internal::CaptureStdout();
  ASSERT_EQ(firmware_download(config.c_str(), sim_device::kNode), 0);
  ASSERT_EQ(expander_reset(sim_device::kNode), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(query_screen(), "Active Image:  image0\nImage Version: 103\nActive Data:   data1\nData Version:  016\n");

  const std::string fw = write_file(log.dir() + "/fw.bin", image_with_version(true, "110", 1500));
  ASSERT_EQ(firmware_download(fw.c_str(), sim_device::kNode), 0);
  EXPECT_EQ(g_fw_flag, 1);
  ASSERT_EQ(firmware_swap(sim_device::kNode), 0);
  EXPECT_EQ(query_screen(), "Active Image:  image1\nImage Version: 110\nActive Data:   data1\nData Version:  016\n");
  EXPECT_EQ(firmware_swap(sim_device::kNode), -1);  // nothing received to activate
  g_fw_flag = 0;
}

TEST(SimState, SurvivesBetweenModels) {
  const std::string dir = testing::TempDir() + "sim_state_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  const byte_vector piece = [] {
    byte_vector p = {0x04, 0x00, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00};
    const byte_vector img = image_with_version(true, "321", 11);
    p.insert(p.end(), img.begin(), img.end());
    return p;
  }();
  auto send = [](sim::model *m, byte_vector list) {
    const std::array<std::uint8_t, 6> cdb = {0x1D, 0x10, 0x00, 0x00, static_cast<std::uint8_t>(list.size()), 0x00};
    return sim::model_execute(m, {cdb, sim::direction::to_device, list}).kind;
  };
  {
    sim::model *m = sim::model_open({dir, "", ""});
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(send(m, piece), sim::outcome::good);
    EXPECT_EQ(send(m, {0x91, 0x00, 0x00, 0x02, 0x01, 0x00}), sim::outcome::good);
    sim::model_close(m);
  }
  sim::model *m = sim::model_open({dir, "", ""});
  EXPECT_EQ(send(m, {0x91, 0x00, 0x00, 0x01, 0x00}), sim::outcome::good);  // armed in the earlier model
  byte_vector page(64, 0);
  const std::array<std::uint8_t, 6> cdb = {0x1C, 0x01, 0x82, 0x00, 0x40, 0x00};
  const sim::outcome o = sim::model_execute(m, {cdb, sim::direction::from_device, page});
  EXPECT_EQ(o.data_len, 48u);
  EXPECT_EQ(page[4], 6);
  EXPECT_EQ(byte_vector(page.begin() + 6, page.begin() + 9), (byte_vector{'3', '2', '1'}));
  EXPECT_EQ(page[16], 5);  // the image it left
  sim::model_close(m);
  std::filesystem::remove_all(dir);
}

TEST(SimState, UnusableStateDirectoryRefusesTheModel) {
  EXPECT_EQ(sim::model_open({"/proc/no-such-dir/state", "", ""}), nullptr);
  EXPECT_EQ(sim::model_open({"", "", ""}), nullptr);
  EXPECT_EQ(sim::model_open({testing::TempDir(), "", "check:"}), nullptr);
}

// Two processes sharing one state directory, each sending resets as fast as
// it can: every reset is counted, no change of the state is lost to the
// other process's request.
TEST(SimState, TwoProcessesAtOnceLoseNoChange) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();  // forks
  const std::string dir = testing::TempDir() + "sim_shared_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  constexpr int kRounds = 300;
  auto send = [](sim::model *m, byte_vector list) {
    const std::array<std::uint8_t, 6> cdb = {0x1D, 0x10, 0x00, 0x00, static_cast<std::uint8_t>(list.size()), 0x00};
    return sim::model_execute(m, {cdb, sim::direction::to_device, list}).kind;
  };
  pid_t children[2];
  for (pid_t &child : children) {
    child = ::fork();
    if (child == 0) {
      sim::model *m = sim::model_open({dir, "", ""});
      if (m == nullptr) ::_exit(2);
      int failed = 0;
      for (int i = 0; i < kRounds; ++i) {
        if (send(m, {0x04, 0x00, 0x00, 0x02, 0x02, 0x01}) != sim::outcome::good) ++failed;
      }
      sim::model_close(m);
      ::_exit(failed == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(sim::load_state(dir).resets, 2u * kRounds);
  std::filesystem::remove_all(dir);
}

}  // namespace
