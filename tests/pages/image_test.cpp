// corvane-pages image: SHA-256 against the published vectors and sha256sum,
// and the dry run's facts and pieces against what corvane sends.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pages/sha256.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_result;
using testsupport::sim_session;

std::string digest_of(const std::string &text, std::size_t piece) {
  sha256_state s;
  sha256_init(s);
  const auto *p = reinterpret_cast<const std::uint8_t *>(text.data());
  for (std::size_t at = 0; at < text.size(); at += piece) {
    sha256_update(s, {p + at, std::min(piece, text.size() - at)});
  }
  char hex[65];
  sha256_hex(sha256_final(s), hex);
  return hex;
}

TEST(PagesSha256, PublishedVectorsFedInAnyPieces) {
  struct vector_case {
    std::string text;
    const char *digest;
  };
  const vector_case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const vector_case &c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{1000}}) {
      EXPECT_EQ(digest_of(c.text, piece), c.digest) << c.text.size() << " bytes in pieces of " << piece;
    }
  }
}

std::string sha256sum(const std::string &path) {
  std::FILE *p = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  if (p == nullptr) return "";
  char line[200] = {};
  const char *got = std::fgets(line, sizeof line, p);
  ::pclose(p);
  return got != nullptr ? std::string(line, 64) : "";
}

sim_result image(sim_session &s, const std::vector<std::string> &args) {
  testsupport::sim_options o;
  o.program = testsupport::corvane_pages_path();
  std::vector<std::string> all = {"image"};
  all.insert(all.end(), args.begin(), args.end());
  return s.run(all, o);
}

byte_vector pattern(std::size_t n, bool signed_image) {
  byte_vector b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::uint8_t signature[] = {0x50, 0x4D, 0x43, 0x00};
  for (std::size_t i = 0; signed_image && i < 4 && i < n; ++i) b[i] = signature[i];
  return b;
}

struct image_case {
  std::size_t size;
  bool signed_image;
  const char *firmware;  // the firmware line
  const char *pieces;    // the pieces line
  std::vector<std::string> piece_rows;
};

TEST(PagesImage, SizesAroundAPiece) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const char *yes = "firmware: yes (starts with 50 4D 43 00: activation follows the download)\n";
  const char *no = "firmware: no (no 50 4D 43 00 signature: no activation)\n";
  const image_case cases[] = {
      {0, false, no, "pieces:   0 (an empty image: nothing is sent)\n", {}},
      {1, false, no, "pieces:   1 of up to 512 bytes, the last 1 bytes\n",
       {"       0          0  0x00000000            6           10\n"}},
      {3, true, no, "pieces:   1 of up to 512 bytes, the last 3 bytes\n", {}},
      {4, true, yes, "pieces:   1 of up to 512 bytes, the last 4 bytes\n", {}},
      {56, false, no, "pieces:   1 of up to 512 bytes, the last 56 bytes\n", {}},
      {512, true, yes, "pieces:   1 of up to 512 bytes, the last 512 bytes\n",
       {"       0          0  0x00000000          517          521\n"}},
      {513, false, no, "pieces:   2 of up to 512 bytes, the last 1 bytes\n",
       {"       0          0  0x00000000          517          521\n",
        "       1        512  0x00000200            6           10\n"}},
  };
  sim_session s;
  for (const image_case &c : cases) {
    const std::string file = s.write_file("img" + std::to_string(c.size), pattern(c.size, c.signed_image));
    const sim_result r = image(s, {file, "--pieces"});
    EXPECT_EQ(r.status, 0) << c.size << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("size:     " + std::to_string(c.size) + " bytes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.firmware), std::string::npos) << c.size << r.out;
    EXPECT_NE(r.out.find(c.pieces), std::string::npos) << c.size << r.out;
    EXPECT_NE(r.out.find("sha256:   " + sha256sum(file) + "\n"), std::string::npos) << c.size << r.out;
    for (const std::string &row : c.piece_rows) EXPECT_NE(r.out.find(row), std::string::npos) << row << r.out;
    EXPECT_TRUE(r.requests().empty());
  }
}

// The piece rows of --pieces are the pieces corvane sends for the same file.
TEST(PagesImage, PiecesAsCorvaneSendsThem) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  for (const char *sample : {"firmware_104.bin", "config_016.bin"}) {
    sim_session s;
    const std::string file = std::string(CORVANE_TEST_DATA) + "/../../sim/samples/" + sample;
    const sim_result dry = image(s, {"--pieces", file});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("sha256:   " + sha256sum(file) + "\n"), std::string::npos) << dry.out;
    const sim_result sent = s.run({"download=" + file, "/dev/sgsim0"});
    ASSERT_EQ(sent.status, 0) << sent.out;
    std::string rows;
    std::size_t piece = 0;
    for (const auto &q : sent.requests()) {
      const auto cdb = q.bytes("cdb");
      const auto data = q.bytes("data_out");
      if (cdb.at(0) != 0x1D || data.at(0) != 0x04) continue;
      const unsigned offset = (unsigned{data.at(5)} << 24) | (unsigned{data.at(6)} << 16) |
                              (unsigned{data.at(7)} << 8) | data.at(8);
      char row[80];
      std::snprintf(row, sizeof row, "%8zu %10u  0x%08x %12u %12u\n", piece++, offset, offset,
                    (unsigned{data.at(2)} << 8) | data.at(3), (unsigned{cdb.at(3)} << 8) | cdb.at(4));
      rows += row;
    }
    ASSERT_GT(piece, 0u);
    EXPECT_NE(dry.out.find(rows), std::string::npos) << sample << "\n" << rows << dry.out;
    const bool firmware = std::string(sample).rfind("firmware", 0) == 0;
    EXPECT_EQ(dry.out.find("firmware: yes") != std::string::npos, firmware) << dry.out;
  }
}

TEST(PagesImage, UnreadableFile) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const sim_result missing = image(s, {s.dir() + "/none.bin"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "corvane-pages: " + s.dir() + "/none.bin: cannot be opened: No such file or directory\n");
  const sim_result directory = image(s, {s.dir()});
  EXPECT_EQ(directory.status, 1);
  EXPECT_EQ(directory.err, "corvane-pages: " + s.dir() + ": not a regular file\n");
  EXPECT_EQ(image(s, {}).status, 2);
}

}  // namespace
