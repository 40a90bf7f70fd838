// corvane-pages decode's input: hex text and the whole-page check in process,
// and hostile files through the program: one clear line each on standard
// error, a non-zero exit after the others are decoded, nothing invented.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "logs/logs.h"
#include "model/log_pages.h"
#include "pages/pages.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"
#include "support/temp_log.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_result;
using testsupport::sim_session;

struct hex_case {
  const char *text;
  long result;  // bytes, or -1
  std::vector<std::uint8_t> bytes;
  const char *why;  // part of the reason when result is -1
};

TEST(PagesHexText, Table) {
  const hex_case cases[] = {
      {"80 00 00 04", 4, {0x80, 0x00, 0x00, 0x04}, ""},
      {"8 0 a F", 4, {0x08, 0x00, 0x0A, 0x0F}, ""},
      {"80000004\n", 4, {0x80, 0x00, 0x00, 0x04}, ""},
      {"# saved page\n02,00 ,00\t01 # trailing\r\n  ff", 5, {0x02, 0x00, 0x00, 0x01, 0xFF}, ""},
      {"", 0, {}, ""},
      {"# only a comment", 0, {}, ""},
      {"80 000 04", -1, {}, "line 1: odd number of hex digits"},
      {"80 00\n0g", -1, {}, "line 2: 'g' is not a hex digit"},
      {"80 0x04", -1, {}, "'x' is not a hex digit"},
      {"00 01 02 03 04 05 06 07 08", -1, {}, "more than 8 bytes"},
  };
  for (const hex_case &c : cases) {
    std::array<std::uint8_t, 8> out{};
    std::array<char, kWhySize> why{};
    const long n = parse_hex_text({c.text, std::strlen(c.text)}, out, why);
    EXPECT_EQ(n, c.result) << c.text;
    if (n >= 0) {
      EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + n), c.bytes) << c.text;
    } else {
      EXPECT_NE(std::string(why.data()).find(c.why), std::string::npos) << c.text << ": " << why.data();
    }
  }
}

TEST(PagesHexText, TextOrBinary) {
  const std::uint8_t text[] = {'8', '0', ' ', '#', '\t', '\n', '\r', '~'};
  const std::uint8_t page[] = {0x80, 0x00, 0x00, 0x04};
  const std::uint8_t nul[] = {'8', 0x00};
  EXPECT_TRUE(looks_like_text(text));
  EXPECT_FALSE(looks_like_text(page));
  EXPECT_FALSE(looks_like_text(nul));
}

TEST(PagesWholePage, Table) {
  struct whole_case {
    std::vector<std::uint8_t> bytes;
    int result;
    const char *why;
  };
  const whole_case cases[] = {
      {{}, -1, "empty"},
      {{0x80, 0x00, 0x00}, -1, "3 bytes, too short"},
      {{0x02, 0x00, 0x00, 0x00}, 0, ""},
      {{0x02, 0x00, 0x00, 0x02, 0x01, 0x02}, 0, ""},
      {{0x02, 0x00, 0x00, 0x03, 0x01, 0x02}, -1, "page_length 3 declares 7 bytes, the file holds only 6"},
      {{0x02, 0x00, 0xFF, 0xFF}, -1, "declares 65539 bytes"},
  };
  for (const whole_case &c : cases) {
    std::array<char, kWhySize> why{};
    EXPECT_EQ(check_whole_page(c.bytes, why), c.result) << c.why;
    if (c.result != 0) {
      EXPECT_NE(std::string(why.data()).find(c.why), std::string::npos) << why.data();
    }
  }
}

std::string hex_of(const byte_vector &bytes) {
  std::string text = "# page as hex, 16 bytes a line\n";
  char cell[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(cell, sizeof cell, "%02x%c", bytes[i], i % 16 == 15 ? '\n' : ' ');
    text += cell;
  }
  return text + "\n";
}

byte_vector text_bytes(const std::string &text) { return byte_vector(text.begin(), text.end()); }

byte_vector default_page(int code, unsigned chunk = 0) {
  byte_vector page;
  sim::default_log_page(code, chunk, page);
  return page;
}

sim_result decode(sim_session &s, const std::vector<std::string> &args) {
  testsupport::sim_options o;
  o.program = testsupport::corvane_pages_path();
  std::vector<std::string> all = {"decode"};
  all.insert(all.end(), args.begin(), args.end());
  return s.run(all, o);
}

std::size_t lines(const std::string &text) {
  std::size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

struct hostile_case {
  const char *name;
  byte_vector content;
  const char *reason;  // part of the one stderr line
};

std::vector<hostile_case> hostile_files() {
  byte_vector beyond = {0x02, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00};
  byte_vector code_0x41 = {0x41, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00};
  return {
      {"empty.bin", {}, "empty: no page in it"},
      {"three.bin", {0x80, 0x00, 0x00}, "3 bytes, too short for the 4-byte page header"},
      {"beyond.bin", beyond, "page_length 64 declares 68 bytes, the file holds only 8"},
      {"odd.hex", text_bytes("80 00 00 04\n00 000 00 00\n"), "line 2: odd number of hex digits"},
      {"nonhex.hex", text_bytes("80 00 00 04\n00 00 zz 00\n"), "line 2: 'z' is not a hex digit"},
      {"code41.bin", code_0x41, "page code 0x41 is none of the pages corvane decodes"},
      {"nvchunk.bin", {0xF4, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00},
       "NV chunk does not continue the crash log image"},
  };
}

TEST(PagesDecodeHostile, EachBadFileGetsOneLineAndTheOthersAreDecoded) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string good = s.write_file("page_02.bin", default_page(0x02));
  const sim_result alone = decode(s, {good});
  ASSERT_EQ(alone.status, 0) << alone.err;
  ASSERT_FALSE(alone.out.empty());
  for (const hostile_case &c : hostile_files()) {
    const std::string bad = s.write_file(c.name, c.content);
    const sim_result r = decode(s, {bad, good});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.err, "corvane-pages: " + bad + ": " + r.err.substr(17 + bad.size())) << c.name;
    EXPECT_EQ(lines(r.err), 1u) << c.name << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << r.err;
    EXPECT_EQ(r.out, alone.out) << c.name;  // nothing of the bad file, all of the good one
  }
}

TEST(PagesDecodeHostile, UnreadableAndMissingFiles) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const sim_result r = decode(s, {s.dir() + "/none.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("none.bin: cannot be opened: No such file or directory"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  const sim_result usage = decode(s, {});
  EXPECT_EQ(usage.status, 2);
  const sim_result bad_code = decode(s, {"--page", "0x100", s.dir()});
  EXPECT_EQ(bad_code.status, 2);
}

TEST(PagesDecodeHostile, PageLongerThanARead) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  // 64 KiB: page_length 0xFFFC. corvane's read would bring its first 2048 bytes.
  byte_vector big = default_page(0x02);
  big.resize(65536, 0x11);
  big[2] = 0xFF;
  big[3] = 0xFC;
  const sim_result r = decode(s, {s.write_file("big.bin", big)});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("page of 65536 bytes: corvane reads its first 2048"), std::string::npos) << r.err;
  // The log road in process, given what a read of the page brings.
  testsupport::TempLog log;
  std::vector<std::uint8_t> page(kPageBufferSize, 0);
  std::copy_n(big.begin(), kReceiveSize, page.begin());
  EXPECT_EQ(decode_log_page(const_page_span(page.data(), kPageBufferSize), 0x02), 0);
  EXPECT_EQ(r.out, log.text());
}

TEST(PagesDecodeHostile, EveryPageCode) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  std::vector<std::string> files;
  for (int code = 0; code <= 0xFF; ++code) {
    const byte_vector page = {static_cast<std::uint8_t>(code), 0, 0, 4, 0, 0, 0, 0};
    files.push_back(s.write_file("code_" + std::to_string(code) + ".bin", page));
  }
  const sim_result r = decode(s, files);
  EXPECT_EQ(r.status, 1);
  // The six decoded pages pass or fail their check on their own; every other
  // code is named once.
  EXPECT_EQ(lines(r.err), 250u + 1u) << r.err;  // 0xF4: a chunk without data
  for (int code = 0; code <= 0xFF; ++code) {
    char text[80];
    std::snprintf(text, sizeof text, "code_%d.bin: page code 0x%02X is none", code, code);
    const bool decoded =
        code == 0x80 || code == 0x02 || code == 0x0A || code == 0xF3 || code == 0xF4 || code == 0x82;
    EXPECT_EQ(r.err.find(text) != std::string::npos, !decoded) << code;
  }
  EXPECT_NE(r.out.find("\nincollect RAM log\n"), std::string::npos);
  EXPECT_NE(r.out.find("Active Image:  image-5\nImage Version:    \n"), std::string::npos);
  EXPECT_NE(r.out.find("Enclosure Status Page(0x02)"), std::string::npos);
}

TEST(PagesDecodeFiles, HexBinaryForcedCodeAndChunkFiles) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  std::vector<std::string> binary;
  std::vector<std::string> hex;
  for (int code : {0x80, 0x02, 0x0A, 0xF3}) {
    binary.push_back(s.write_file("b" + std::to_string(code), default_page(code)));
    hex.push_back(s.write_file("h" + std::to_string(code), text_bytes(hex_of(default_page(code)))));
  }
  std::vector<std::string> chunks;
  for (unsigned n = 0; n < 4; ++n) chunks.push_back(s.write_file("c" + std::to_string(n), default_page(0xF4, n)));
  std::vector<std::string> all = binary;
  all.insert(all.end(), chunks.begin(), chunks.end());
  const sim_result b = decode(s, all);
  const sim_result h = decode(s, hex);
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(h.status, 0) << h.err;
  EXPECT_EQ(b.out.substr(0, h.out.size()), h.out);
  EXPECT_NE(b.out.find("incollect NVlog\nregisters("), std::string::npos);

  // --page decodes by the code given, whatever byte 0 holds.
  byte_vector relabelled = default_page(0x02);
  relabelled[0] = 0x00;
  const sim_result forced = decode(s, {"--page", "0x02", s.write_file("r", relabelled)});
  const sim_result plain = decode(s, {binary[1]});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(forced.out, plain.out);

  // Chunks that stop before the image is whole: named, nothing decoded.
  const sim_result partial = decode(s, {chunks[0], chunks[1], chunks[2]});
  EXPECT_EQ(partial.status, 1);
  EXPECT_EQ(partial.out, "");
  EXPECT_NE(partial.err.find(chunks[2] + ": the NV crash log chunks end after 768 of 908 image bytes"),
            std::string::npos)
      << partial.err;
}

}  // namespace
