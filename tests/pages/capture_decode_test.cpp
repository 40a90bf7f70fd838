// corvane-pages against the simulated expander: a capture is read-only, its
// decoding equals the decoded text corvane log writes against the same
// expander byte for byte (and, for the NV crash log, what the log road writes
// in process), and a replay of the capture gives corvane log the same screen
// and log.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "logs/logs.h"
#include "logs/page_builders.h"
#include "model/log_pages.h"
#include "support/foreign_exec.h"
#include "support/sim_device.h"
#include "support/sim_run.h"
#include "support/temp_log.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;

constexpr char kNode[] = "/dev/sgsim0";

using testsupport::read_text;

bool exists(const std::string &path) { return std::ifstream(path).good(); }

sim_options with_program(sim_options o) {
  o.program = testsupport::corvane_pages_path();
  return o;
}

// The decoded pages of a corvane log run: its operation log from the RAM
// log's heading on (the start lines and the version block carry the run).
// The log from the version block on, its time stamp aside: what decode of
// the capture gives.
std::string decoded_part(const sim_result &r) {
  const std::size_t at = r.log.find("\nincollect RAM log\n");
  const std::size_t block = r.log.rfind("Active Image:  ", at);
  if (at == std::string::npos || block == std::string::npos) return "";
  return r.log.substr(block);
}

// The NV crash log as the log road writes it in process, against the same
// chunks served by the same model.
std::string nv_text_in_process(const std::vector<byte_vector> &chunks) {
  testsupport::TempLog log;
  testsupport::sim_device_options options;
  options.nv_chunks = chunks;
  testsupport::sim_device device(options);
  EXPECT_EQ(incollect_log(testsupport::sim_device::kNode, 0xF4), 0);
  return log.text();
}

std::vector<byte_vector> default_chunks() {
  std::vector<byte_vector> chunks;
  byte_vector chunk;
  for (unsigned n = 0; sim::default_log_page(0xF4, n, chunk); ++n) chunks.push_back(chunk);
  return chunks;
}

// The default crash log image cut into more, smaller chunks.
std::vector<byte_vector> rechunked(std::size_t chunk_data) {
  byte_vector image;
  for (const byte_vector &c : default_chunks()) {
    const std::size_t length = (std::size_t{c.at(2)} << 8 | c.at(3)) + 4;
    image.insert(image.end(), c.begin() + 20, c.begin() + static_cast<long>(length));
  }
  return testlogs::nv_chunks(image, chunk_data);
}

// The transcript of a capture: INQUIRY and RECEIVE DIAGNOSTIC RESULTS only,
// nothing sent to the device, every node opened read-only.
void expect_read_only(const sim_result &r) {
  ASSERT_FALSE(r.requests().empty());
  for (const auto &q : r.requests()) {
    const auto cdb = q.bytes("cdb");
    ASSERT_FALSE(cdb.empty());
    EXPECT_TRUE(cdb[0] == 0x12 || cdb[0] == 0x1C) << q.get("cdb");
    EXPECT_EQ(q.get("dxfer_direction"), "-3") << q.get("cdb");
    EXPECT_EQ(q.get("data_out"), "") << q.get("cdb");
  }
  for (const auto &o : testsupport::events_of(r.transcript, "open")) {
    const long flags = std::strtol(o.get("flags").c_str(), nullptr, 16);
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY) << o.get("flags");
  }
  EXPECT_TRUE(r.leaks.empty());
}

struct page_set_case {
  const char *what;
  std::map<int, byte_vector> pages;   // empty: the built-in set
  std::vector<byte_vector> chunks;
};

std::vector<page_set_case> page_sets() {
  std::map<int, byte_vector> pages;
  for (int code : {0x80, 0x02, 0x0A, 0xF3}) sim::default_log_page(code, 0, pages[code]);
  return {{"built-in pages", {}, default_chunks()},
          {"pages with an NV log of 100-byte chunks", pages, rechunked(100)}};
}

TEST(PagesCapture, DecodeEqualsTheLogCommandAndTheInProcessNvRoad) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  for (const page_set_case &c : page_sets()) {
    sim_session s;
    sim_options served;
    served.pages = c.pages;
    if (!c.pages.empty()) served.nv_chunks = c.chunks;
    const std::string dir = s.dir() + "/capture";
    const sim_result cap = s.run({"capture", dir, kNode}, with_program(served));
    ASSERT_EQ(cap.status, 0) << c.what << cap.err;
    EXPECT_EQ(cap.err, "") << c.what;
    expect_read_only(cap);
    for (std::size_t n = 0; n < c.chunks.size(); ++n) {
      EXPECT_TRUE(exists(dir + "/page_f4_" + std::to_string(n) + ".bin")) << c.what << n;
    }
    EXPECT_FALSE(exists(dir + "/page_f4_" + std::to_string(c.chunks.size()) + ".bin")) << c.what;

    const sim_result log = s.run({"log", kNode}, served);
    ASSERT_EQ(log.status, 0) << c.what;
    const std::string nv = nv_text_in_process(c.chunks);
    ASSERT_NE(nv.find("registers("), std::string::npos) << c.what;

    const sim_result dec = s.run({"decode", dir}, with_program({}));
    EXPECT_EQ(dec.status, 0) << c.what << dec.err;
    EXPECT_EQ(dec.err, "") << c.what;
    ASSERT_FALSE(decoded_part(log).empty()) << c.what;
    EXPECT_EQ(dec.out, decoded_part(log) + nv) << c.what;
    EXPECT_TRUE(dec.requests().empty()) << c.what;
  }
}

TEST(PagesCapture, ManifestNamesDeviceFilesAndOutcomes) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string dir = s.dir() + "/capture";
  ASSERT_EQ(s.run({"capture", dir, kNode}, with_program({})).status, 0);
  const std::string manifest = read_text(dir + "/manifest.txt");
  for (const char *line :
       {"device:   /dev/sgsim0\n", "vendor:   SIMUL\n", "product:  SES EXPANDER\n", "revision: 0103\n",
        "serial:   SIM0000001\n", "page 0x82          page_82.bin            48  saved\n",
        "page 0xf4 chunk 3  page_f4_3.bin         160  saved\n",
        "nv crash log       -                       -  complete image of 908 bytes\n"}) {
    EXPECT_NE(manifest.find(line), std::string::npos) << line << manifest;
  }
  EXPECT_NE(manifest.find("vpd 0x83           vpd_83.bin             16  saved"), std::string::npos);
  EXPECT_EQ(read_text(dir + "/page_82.bin").size(), 48u);
}

TEST(PagesCapture, ReplayGivesTheLogCommandTheSameScreenAndLog) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  for (const page_set_case &c : page_sets()) {
    sim_session original;
    sim_options served;
    served.pages = c.pages;
    if (!c.pages.empty()) served.nv_chunks = c.chunks;
    const std::string dir = original.dir() + "/capture";
    ASSERT_EQ(original.run({"capture", dir, kNode}, with_program(served)).status, 0) << c.what;
    const sim_result before = original.run({"log", kNode}, served);

    sim_session replay;  // another expander state: the captured 0x82 page is served
    sim_options replayed;
    replayed.pages_dir = dir;
    const sim_result after = replay.run({"log", kNode}, replayed);
    EXPECT_EQ(after.status, before.status) << c.what;
    EXPECT_EQ(after.out, before.out) << c.what;
    EXPECT_EQ(testsupport::unstamped(after.log), testsupport::unstamped(before.log)) << c.what;

    // The replayed expander captures to the same files.
    const std::string again = replay.dir() + "/again";
    ASSERT_EQ(replay.run({"capture", again, kNode}, with_program(replayed)).status, 0) << c.what;
    for (const char *name : {"page_00.bin", "page_82.bin", "page_80.bin", "page_02.bin",
                             "page_0a.bin", "page_f3.bin", "page_f4_0.bin"}) {
      EXPECT_EQ(read_text(again + "/" + name), read_text(dir + "/" + name)) << c.what << name;
    }
  }
}

struct refusal_case {
  const char *fault;
  int status;
  const char *stderr_text;    // part of standard error ("" for none)
  const char *manifest_text;  // part of the manifest
};

TEST(PagesCapture, RefusedPagesAreRecordedAndJudged) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const refusal_case cases[] = {
      {"check:0x0A/*", 0, "page 0x0a: status Check Condition",
       "page 0x0a          -                       -  refused or failed: /dev/sgsim0: Receive "
       "diagnostic results page 0x0a: status Check Condition"},
      {"check:0xF4/3", 0, "page 0xf4: status Check Condition",
       "nv crash log       -                       -  no complete image: a read failed"},
      {"check:0x82/*", 1, "the firmware status page (0x82) could not be read",
       "page 0x82          -                       -  refused"},
      {"check:0x80/*,check:0x02/*,check:0x0A/*,check:0xF3/*,check:0xF4/*", 1,
       "no log page (0x80, 0x02, 0x0A, 0xF3, 0xF4) could be read", "page 0xf3          -"},
  };
  for (const refusal_case &c : cases) {
    sim_session s;
    sim_options o = with_program({});
    o.faults = {c.fault};
    const std::string dir = s.dir() + "/capture";
    const sim_result r = s.run({"capture", dir, kNode}, o);
    EXPECT_EQ(r.status, c.status) << c.fault << r.err;
    if (c.stderr_text[0] == '\0') {
      EXPECT_EQ(r.err, "") << c.fault;
    } else {
      EXPECT_NE(r.err.find(c.stderr_text), std::string::npos) << c.fault << r.err;
    }
    EXPECT_NE(read_text(dir + "/manifest.txt").find(c.manifest_text), std::string::npos) << c.fault;
    expect_read_only(r);
  }
}

TEST(PagesCapture, MissingNodeAndUsedDirectoryFail) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const sim_result missing = s.run({"capture", s.dir() + "/m", "/dev/sgsim7"}, with_program({}));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("/dev/sgsim7: the firmware status page (0x82) could not be read"),
            std::string::npos)
      << missing.err;
  const sim_result used = s.run({"capture", s.dir(), kNode}, with_program({}));
  EXPECT_EQ(used.status, 1);
  EXPECT_NE(used.err.find("not empty"), std::string::npos) << used.err;
  EXPECT_TRUE(used.requests().empty());
}

}  // namespace
