// corvane-pages' command line, its input files and its JSON: usage errors by
// convention, only regular files read, a failed standard output reported,
// status and decode in text and JSON agreeing field by field.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "pages/status.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using nlohmann::json;
using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;

constexpr char kNode[] = "/dev/sgsim0";

sim_options pages_program(sim_options o = {}) {
  o.program = testsupport::corvane_pages_path();
  return o;
}

json parse(const std::string &text) { return json::parse(text, nullptr, false); }

struct line_case {
  std::vector<std::string> args;
  int status;
  bool prints;  // something on standard output
};

TEST(PagesCommandLine, UsageByConvention) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string file = s.write_file("p.bin", {0x02, 0, 0, 0});
  const line_case cases[] = {
      {{"--help"}, 0, true},
      {{"-h"}, 0, true},
      {{"--version"}, 0, true},
      {{"decode", "--help"}, 0, true},
      {{}, 2, false},
      {{"--json"}, 2, false},
      {{"frob"}, 2, false},
      {{"decode"}, 2, false},
      {{"decode", "--page"}, 2, false},
      {{"decode", file, "--page"}, 2, false},
      {{"decode", "--page", "0x1g", file}, 2, false},
      {{"decode", "--page", "256", file}, 2, false},
      {{"decode", "--page", "-1", file}, 2, false},
      {{"decode", "--bogus", file}, 2, false},
      {{"decode", "--pieces", file}, 2, false},
      {{"image"}, 2, false},
      {{"image", file, file}, 2, false},
      {{"image", "--page", "2", file}, 2, false},
      {{"status"}, 2, false},
      {{"status", kNode, kNode}, 2, false},
      {{"capture", s.dir() + "/c"}, 2, false},
      {{"capture", s.dir() + "/c", kNode, "x"}, 2, false},
      {{"metrics", "--help"}, 0, true},
      {{"metrics", "--bogus"}, 2, false},
      {{"metrics", "--textfile"}, 2, false},
      {{"metrics", "--textfile", s.dir(), "--textfile", s.dir()}, 2, false},
      {{"events", "--version"}, 0, true},
      {{"events", kNode}, 2, false},
      {{"events", "--state"}, 2, false},
      {{"events", kNode, kNode, "--state", s.dir() + "/st"}, 2, false},
      {{"events", kNode, "--state", ""}, 2, false},
      // A check's wrong command line is UNKNOWN to a monitoring system.
      {{"health", "--help"}, 0, true},
      {{"health", "--bogus"}, 3, false},
      {{"health", "--ignore"}, 3, false},
  };
  for (const line_case &c : cases) {
    const sim_result r = s.run(c.args, pages_program());
    std::string shown;
    for (const std::string &a : c.args) shown += a + " ";
    EXPECT_EQ(r.status, c.status) << shown << r.err;
    EXPECT_EQ(!r.out.empty(), c.prints) << shown << r.out;
    if (c.status == 2 || c.status == 3) {
      EXPECT_NE(r.err.find("usage: corvane-pages"), std::string::npos) << shown;
    }
    EXPECT_TRUE(r.requests().empty()) << shown;
  }
  EXPECT_FALSE(testsupport::read_text(s.dir() + "/c").size() > 0);
}

TEST(PagesCommandLine, FailedStandardOutputIsAnError) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string file = s.write_file("image.bin", {1, 2, 3});
  const std::string err = s.dir() + "/err";
  const std::vector<std::string> commands = {"--version", "image " + file,
                                             "image --json " + file};
  for (const std::string &command : commands) {
    // The build tree's path may hold a blank.
    const std::string line = "'" + std::string(CORVANE_PAGES_BIN) + "' " + command + " >/dev/full 2>'" + err + "'";
    const int status = std::system(line.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 1) << command;
    EXPECT_NE(testsupport::read_text(err).find("standard output could not be written"),
              std::string::npos)
        << command;
  }
}

struct odd_input_case {
  const char *what;
  const char *expect;  // part of the reason
};

// A capture directory holding a FIFO, a link out of it and a device node:
// none is read and decode ends.
TEST(PagesInputFiles, OnlyRegularFilesInsideTheCapture) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string dir = s.dir() + "/capture";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  const std::string outside = s.write_file("outside.bin", {0x80, 0, 0, 0});
  ASSERT_EQ(mkfifo((dir + "/page_80.bin").c_str(), 0644), 0);
  ASSERT_EQ(symlink(outside.c_str(), (dir + "/page_02.bin").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", (dir + "/page_0a.bin").c_str()), 0);
  ASSERT_EQ(mkdir((dir + "/page_f3.bin").c_str(), 0755), 0);
  const sim_result r = s.run({"decode", dir}, pages_program());
  EXPECT_EQ(r.status, 1);
  const odd_input_case cases[] = {
      {"/page_80.bin: ", "not a regular file"},
      {"/page_02.bin: ", "a symbolic link"},
      {"/page_0a.bin: ", "a symbolic link"},
      {"/page_f3.bin: ", "not a regular file"},
  };
  for (const odd_input_case &c : cases) {
    EXPECT_NE(r.err.find(dir + c.what + c.expect), std::string::npos) << c.what << r.err;
  }
  const sim_result zero = s.run({"image", "/dev/zero"}, pages_program());
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.err, "corvane-pages: /dev/zero: not a regular file\n");
  const sim_result fifo = s.run({"decode", dir + "/page_80.bin"}, pages_program());
  EXPECT_EQ(fifo.status, 1);
  EXPECT_NE(fifo.err.find("not a regular file"), std::string::npos);
}

TEST(PagesStatus, TextAndJsonAgree) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const sim_result text = s.run({"status", kNode}, pages_program());
  const sim_result doc = s.run({"status", "--json", kNode}, pages_program());
  ASSERT_EQ(text.status, 0) << text.err;
  ASSERT_EQ(doc.status, 0) << doc.err;
  const json j = parse(doc.out);
  ASSERT_FALSE(j.is_discarded()) << doc.out;
  EXPECT_EQ(j["json_format_version"], json::array({1, 0}));
  EXPECT_EQ(j["document"], "status");
  EXPECT_EQ(j["exit_status"], 0);
  EXPECT_EQ(j["program"]["arguments"], json::array({"status", "--json", kNode}));
  const json &id = j["status"]["identity"];
  for (const char *key : {"vendor", "product", "revision", "serial"}) {
    const std::string label = std::string(key) + ":";
    const std::size_t at = text.out.find("\n" + label);
    ASSERT_NE(at, std::string::npos) << key;
    const std::size_t end = text.out.find('\n', at + 1);
    std::string value = text.out.substr(at + 1 + label.size(), end - at - 1 - label.size());
    value.erase(0, value.find_first_not_of(' '));
    EXPECT_EQ(id[key], value) << key;
  }
  EXPECT_NE(text.out.find("designator: " + id["designator"]["value"].get<std::string>() + " (" +
                          id["designator"]["type"]["text"].get<std::string>() + ")"),
            std::string::npos);
  for (const json &image : j["status"]["firmware_images"]) {
    const std::string line = "firmware:  " + image["name"].get<std::string>() + "  version " +
                             image["version"].get<std::string>() +
                             (image["active"].get<bool>() ? "  (active)" : "");
    EXPECT_NE(text.out.find(line + "\n"), std::string::npos) << line;
  }
  ASSERT_EQ(j["status"]["firmware_images"].size(), 2u);
  EXPECT_TRUE(j["status"]["firmware_images"][0]["active"].get<bool>());
  EXPECT_FALSE(j["status"]["firmware_images"][1]["active"].get<bool>());
  EXPECT_TRUE(text.requests().size() >= 4u);
}

struct status_fault_case {
  const char *fault;
  int status;
  bool images;  // the firmware images are known
};

TEST(PagesStatus, EveryFaultClassIsReported) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const status_fault_case cases[] = {
      {"open:*", 1, false},
      {"check:0x82/*", 1, false},
      {"ioctl:0x82/*", 1, false},
      {"short:0x82/*=20", 1, false},  // the images' entries never arrived
      {"check:1", 0, true},  // the first INQUIRY refused: identity partly unknown
  };
  for (const status_fault_case &c : cases) {
    sim_session s;
    sim_options o = pages_program();
    o.faults = {c.fault};
    const sim_result r = s.run({"status", "--json", kNode}, o);
    EXPECT_EQ(r.status, c.status) << c.fault << r.err;
    const json j = parse(r.out);
    ASSERT_FALSE(j.is_discarded()) << c.fault << r.out;
    EXPECT_EQ(j["exit_status"], c.status) << c.fault;
    EXPECT_EQ(j["status"]["firmware_images"].is_array(), c.images) << c.fault;
    EXPECT_FALSE(r.err.empty()) << c.fault;
    // Every line on standard error is one of the document's messages.
    EXPECT_EQ(j["messages"].size(), static_cast<std::size_t>(std::count(r.err.begin(), r.err.end(), '\n')))
        << c.fault << r.err;
  }
}

// A firmware status page of 48 bytes declaring `declared` bytes, both
// firmware and both data images numbered.
byte_vector status_page(std::size_t declared) {
  byte_vector p(48, 0);
  p[0] = 0x82;
  p[2] = static_cast<std::uint8_t>((declared - 4) >> 8);
  p[3] = static_cast<std::uint8_t>(declared - 4);
  p[4] = 5, p[16] = 6, p[32] = 1, p[44] = 2;
  for (std::size_t at : {6u, 18u, 33u, 45u}) p[at] = '1', p[at + 1] = '0', p[at + 2] = '7';
  return p;
}

struct page_length_case {
  std::size_t declared;
  const char *fault;   // nullptr: none
  int status;
  int data_images;     // -1: no images shown
  const char *says;    // on standard error; nullptr: nothing
};

// The images come from the bytes the page declares and that arrived: an
// entry past the declared length is no image, a page declaring too little or
// cut short on the wire shows none and fails with its reason.
TEST(PagesStatus, PageLengthDecidesTheImagesShown) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const page_length_case cases[] = {
      {48, nullptr, 0, 2, nullptr},
      {40, nullptr, 0, 1, nullptr},
      {8, nullptr, 1, -1, "declares 8 bytes"},
      {48, "short:0x82/*=44", 1, -1, "44 of 2048 bytes delivered"},
      {40, "short:0x82/*=39", 1, -1, "(40 bytes needed)"},
  };
  for (const page_length_case &c : cases) {
    sim_session s;
    sim_options o = pages_program();
    o.pages[0x82] = status_page(c.declared);
    if (c.fault != nullptr) o.faults = {c.fault};
    const sim_result r = s.run({"status", "--json", kNode}, o);
    const std::string what = std::to_string(c.declared) + " " + (c.fault != nullptr ? c.fault : "");
    EXPECT_EQ(r.status, c.status) << what << r.err;
    const json j = parse(r.out);
    ASSERT_FALSE(j.is_discarded()) << what << r.out;
    const json &data = j["status"]["data_images"];
    if (c.data_images < 0) {
      EXPECT_TRUE(data.is_null() && j["status"]["firmware_images"].is_null()) << what << r.out;
    } else {
      ASSERT_TRUE(data.is_array()) << what << r.out;
      EXPECT_EQ(data.size(), static_cast<std::size_t>(c.data_images)) << what << r.out;
      EXPECT_EQ(j["status"]["firmware_images"].size(), 2u) << what;
    }
    if (c.says != nullptr) {
      EXPECT_NE(r.err.find(c.says), std::string::npos) << what << r.err;
    } else {
      EXPECT_EQ(r.err, "") << what;
    }
  }
}

// Decoded text lines, one page at a time and a whole capture, against the
// "lines" of the JSON document: the same lines in the same order.
TEST(PagesDecodeJson, LinesAgreeWithTheTextForEveryPage) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string dir = s.dir() + "/capture";
  ASSERT_EQ(s.run({"capture", dir, kNode}, pages_program()).status, 0);
  std::vector<std::vector<std::string>> inputs = {{dir}};
  for (const char *name : {"page_82.bin", "page_80.bin", "page_02.bin", "page_0a.bin", "page_f3.bin"}) {
    inputs.push_back({dir + "/" + name});
  }
  inputs.push_back({dir + "/page_f4_0.bin", dir + "/page_f4_1.bin", dir + "/page_f4_2.bin",
                    dir + "/page_f4_3.bin"});
  for (const std::vector<std::string> &paths : inputs) {
    std::vector<std::string> text_args = {"decode"};
    text_args.insert(text_args.end(), paths.begin(), paths.end());
    std::vector<std::string> json_args = text_args;
    json_args.insert(json_args.begin() + 1, "--json");
    const sim_result text = s.run(text_args, pages_program());
    const sim_result doc = s.run(json_args, pages_program());
    EXPECT_EQ(text.status, 0) << paths[0] << text.err;
    EXPECT_EQ(doc.status, 0) << paths[0] << doc.err;
    const json j = parse(doc.out);
    ASSERT_FALSE(j.is_discarded()) << paths[0];
    std::string joined;
    for (const json &page : j["pages"]) {
      EXPECT_EQ(page["outcome"], "decoded") << paths[0];
      for (const json &line : page["lines"]) joined += line.get<std::string>() + "\n";
    }
    EXPECT_EQ(joined, text.out) << paths[0];
  }
}

TEST(PagesDecodeJson, FirmwareStatusPageImages) {
  // Active image 1 (byte 4 = 6), the other image 0 (byte 16 = 5), active
  // data 0, the other data 1 (byte 44 = 2).
  byte_vector page(48, 0);
  page[0] = 0x82;
  page[3] = 44;
  page[4] = 6;
  page[6] = 'B';
  page[7] = '0';
  page[8] = '2';
  page[16] = 5;
  page[18] = 'A';
  page[19] = 0;
  page[20] = '1';
  page[32] = 1;
  page[33] = '0';
  page[34] = '1';
  page[35] = '5';
  page[44] = 2;
  page[45] = '0';
  page[46] = '1';
  page[47] = '4';
  const firmware_images images = parse_firmware_images(page);
  EXPECT_EQ(images.firmware[0].number, 1);
  EXPECT_STREQ(images.firmware[0].version.data(), "B02");
  EXPECT_TRUE(images.firmware[0].active);
  EXPECT_EQ(images.firmware[1].number, 0);
  EXPECT_STREQ(images.firmware[1].version.data(), "A 1");
  EXPECT_FALSE(images.firmware[1].active);
  EXPECT_TRUE(images.data[1].reported);
  EXPECT_EQ(images.data[1].number, 1);
  EXPECT_STREQ(images.data[1].version.data(), "014");
  // Cut before the second entries: they are not reported, nothing is read
  // past the page.
  const firmware_images cut = parse_firmware_images(std::span(page).first(16));
  EXPECT_FALSE(cut.firmware[1].reported);
  EXPECT_FALSE(cut.data[1].reported);
  EXPECT_TRUE(cut.data[0].reported);
}

}  // namespace

namespace {

// A page cut short on the wire is saved as it arrived, never padded, and the
// manifest (text and JSON) says how short; a refused read gives its reason.
TEST(PagesCaptureOutcomes, ShortAndRefusedReads) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string dir = s.dir() + "/short";
  sim_options o = pages_program();
  o.faults = {"short:0x80/*=100", "check:0x0a/*"};
  const sim_result r = s.run({"capture", "--json", dir, kNode}, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::read_text(dir + "/page_80.bin").size(), 100u);
  const std::string manifest = testsupport::read_text(dir + "/manifest.txt");
  EXPECT_NE(manifest.find("page_80.bin           100  short: 100 of 448 bytes\n"), std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("page 0x0a          -                       -  refused or failed: /dev/sgsim0: "),
            std::string::npos)
      << manifest;
  const json doc = parse(testsupport::read_text(dir + "/manifest.json"));
  ASSERT_FALSE(doc.is_discarded());
  bool found = false;
  for (const json &read : doc["manifest"]["reads"]) {
    if (read["read"] != "page 0x80") continue;
    found = true;
    EXPECT_EQ(read["bytes"], 100);
    EXPECT_EQ(read["outcome"], "short: 100 of 448 bytes");
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(parse(r.out)["manifest"], doc["manifest"]);
}

}  // namespace

namespace {

// decode --hex gives text that decode reads back to the same decoding, page
// by page, and that sg_ses --inhex reads as the page.
TEST(PagesDecodeHex, ReadsBackToTheSameDecoding) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string dir = s.dir() + "/capture";
  ASSERT_EQ(s.run({"capture", dir, kNode}, pages_program()).status, 0);
  for (const char *name : {"page_82.bin", "page_80.bin", "page_02.bin", "page_0a.bin", "page_f3.bin"}) {
    const std::string page = dir + "/" + name;
    const sim_result hex = s.run({"decode", "--hex", page}, pages_program());
    ASSERT_EQ(hex.status, 0) << name << hex.err;
    EXPECT_EQ(hex.out.rfind("# page 0x", 0), 0u) << name;
    const std::string hex_file = s.write_file(std::string(name) + ".hex",
                                              byte_vector(hex.out.begin(), hex.out.end()));
    const sim_result from_hex = s.run({"decode", hex_file}, pages_program());
    const sim_result from_binary = s.run({"decode", page}, pages_program());
    EXPECT_EQ(from_hex.status, 0) << name << from_hex.err;
    EXPECT_EQ(from_hex.out, from_binary.out) << name;
  }
  const sim_result both = s.run({"decode", "--hex", "--json", dir}, pages_program());
  EXPECT_EQ(both.status, 2);
  if (std::system("command -v sg_ses >/dev/null 2>&1") != 0) GTEST_SKIP() << "sg_ses is not installed";
  const sim_result hex = s.run({"decode", "--hex", dir + "/page_00.bin"}, pages_program());
  const std::string hex_file = s.write_file("page_00.hex", byte_vector(hex.out.begin(), hex.out.end()));
  const std::string listed = s.dir() + "/listed.txt";
  ASSERT_EQ(std::system(("sg_ses --inhex=" + hex_file + " --status --page=0 >" + listed).c_str()), 0);
  const std::string text = testsupport::read_text(listed);
  EXPECT_NE(text.find("Enclosure Status/Control (SES) [ec,es] [0x2]"), std::string::npos) << text;
  EXPECT_NE(text.find("[0xf4]"), std::string::npos) << text;
}

}  // namespace

namespace {

struct unchecked_case {
  const char *what;
  std::vector<std::string> files;  // names in the capture; the first is spoilt
  std::size_t spoil_at;            // byte flipped so that the check fails
  const char *shown;               // a line only the unchecked decoding shows
};

// A page that fails its check: refused without --unchecked, decoded and
// marked with it, in text and JSON alike; the exit status still says so.
TEST(PagesDecodeUnchecked, FailingPagesDecodedAndMarked) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string dir = s.dir() + "/capture";
  ASSERT_EQ(s.run({"capture", dir, kNode}, pages_program()).status, 0);
  const unchecked_case cases[] = {
      {"RAM log byte sum", {"page_80.bin"}, 40, "\"TOPD: COMPLETED in portmgr\""},
      {"NV header CRC",
       {"page_f4_0.bin", "page_f4_1.bin", "page_f4_2.bin", "page_f4_3.bin"},
       20 + 30,
       "Event Log Content in flash"},
  };
  for (const unchecked_case &c : cases) {
    std::vector<std::string> paths;
    for (const std::string &name : c.files) {
      std::string bytes = testsupport::read_text(dir + "/" + name);
      if (paths.empty()) bytes[c.spoil_at] = static_cast<char>(bytes[c.spoil_at] ^ 0xFF);
      paths.push_back(s.write_file(std::string("spoilt_") + name, byte_vector(bytes.begin(), bytes.end())));
    }
    std::vector<std::string> plain = {"decode"};
    plain.insert(plain.end(), paths.begin(), paths.end());
    std::vector<std::string> unchecked = plain;
    unchecked.insert(unchecked.begin() + 1, "--unchecked");
    std::vector<std::string> as_json = unchecked;
    as_json.insert(as_json.begin() + 1, "--json");
    const sim_result refused = s.run(plain, pages_program());
    const sim_result shown = s.run(unchecked, pages_program());
    const sim_result doc = s.run(as_json, pages_program());
    EXPECT_EQ(refused.status, 1) << c.what;
    EXPECT_EQ(refused.out.find(c.shown), std::string::npos) << c.what;
    EXPECT_EQ(shown.status, 1) << c.what;
    EXPECT_NE(shown.out.find("(unchecked: the page fails its check; decoded all the same)\n"),
              std::string::npos)
        << c.what;
    EXPECT_NE(shown.out.find(c.shown), std::string::npos) << c.what;
    EXPECT_NE(shown.err.find("decoded unchecked"), std::string::npos) << c.what;
    const json j = parse(doc.out);
    ASSERT_FALSE(j.is_discarded()) << c.what;
    ASSERT_EQ(j["pages"].size(), 1u) << c.what;
    EXPECT_EQ(j["pages"][0]["unchecked"], true) << c.what;
    EXPECT_EQ(j["pages"][0]["outcome"], "decoded") << c.what;
    std::string joined;
    for (const json &line : j["pages"][0]["lines"]) joined += line.get<std::string>() + "\n";
    EXPECT_EQ(joined, shown.out) << c.what;
  }
}

}  // namespace

namespace {

struct designator_case {
  const char *what;
  byte_vector page;  // device identification page 0x83
  bool found;
  int type;
  std::string value;
};

TEST(PagesStatus, DesignatorPicking) {
  const designator_case cases[] = {
      {"none", {0x0d, 0x83, 0x00, 0x00}, false, -1, ""},
      {"one vendor specific", {0x0d, 0x83, 0x00, 0x06, 0x02, 0x00, 0x00, 0x02, 0xab, 0xcd}, true, 0, "0xabcd"},
      {"NAA after T10 preferred",
       {0x0d, 0x83, 0x00, 0x10, 0x02, 0x01, 0x00, 0x02, 0x41, 0x42, 0x01, 0x03, 0x00, 0x04, 0x50, 0x01,
        0x40, 0x5c},
       true, 3, "0x5001405c"},
      {"descriptor running past the page ignored",
       {0x0d, 0x83, 0x00, 0x08, 0x01, 0x03, 0x00, 0x08, 0x50, 0x01}, false, -1, ""},
  };
  for (const designator_case &c : cases) {
    expander_identity id;
    EXPECT_EQ(pick_designator(c.page, id), c.found) << c.what;
    EXPECT_EQ(id.designator_type, c.type) << c.what;
    EXPECT_EQ(json_doc::hex_string(id.designator.data(), id.designator_size), "0x" + c.value.substr(c.value.empty() ? 0 : 2))
        << c.what;
  }
}

}  // namespace
