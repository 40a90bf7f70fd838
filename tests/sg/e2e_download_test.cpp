// Downloads through the real binary: the pieces on the wire, the signature,
// activation, refusals and the messages, log and audit lines that follow.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_event;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;
using testsupport::unstamped;

constexpr const char *kNode = "/dev/sgsim0";

byte_vector image(std::size_t size, bool with_signature) {
  byte_vector b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + 5);
  const std::uint8_t sig[] = {0x50, 0x4D, 0x43, 0x00};
  for (std::size_t i = 0; i < 4 && i < size; ++i) b[i] = with_signature ? sig[i] : b[i] | 0x80;
  return b;
}

std::string audit(const std::string &file, const std::string &info) {
  return testsupport::audit_line("dev:/dev/sgsim0,file:" + file + ",info:" + info);
}

std::vector<sim_event> pieces(const sim_result &r) {
  std::vector<sim_event> out;
  for (const sim_event &e : r.requests()) {
    const byte_vector data = e.bytes("data_out");
    if (!data.empty() && data[0] == 0x04) out.push_back(e);
  }
  return out;
}

// Piece i of img as it must travel: header, then its bytes.
void expect_piece(const sim_event &e, const byte_vector &img, std::size_t offset, std::size_t n) {
  const std::size_t len = n + 9;
  EXPECT_EQ(e.bytes("cdb"), (byte_vector{0x1D, 0x10, 0x00, static_cast<std::uint8_t>(len >> 8),
                                         static_cast<std::uint8_t>(len), 0x00}));
  EXPECT_EQ(e.get("dxfer_len"), std::to_string(len));
  byte_vector want = {0x04, 0x00, static_cast<std::uint8_t>((n + 5) >> 8), static_cast<std::uint8_t>(n + 5), 0x01,
                      static_cast<std::uint8_t>(offset >> 24), static_cast<std::uint8_t>(offset >> 16),
                      static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset)};
  want.insert(want.end(), img.begin() + static_cast<long>(offset), img.begin() + static_cast<long>(offset + n));
  EXPECT_EQ(e.bytes("data_out"), want);
}

struct piece_case {
  const char *name;
  std::size_t size;
  bool with_signature;
  std::vector<std::size_t> lengths;  // image bytes per piece
};

class E2eDownloadPieces : public testing::TestWithParam<piece_case> {};

TEST_P(E2eDownloadPieces, PiecesThenActivationWhenSigned) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const piece_case &c = GetParam();
  const byte_vector img = image(c.size, c.with_signature);
  const std::string file = s.write_file("fw.bin", img);
  const sim_result r = s.run({"download=" + file, kNode});
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  const auto requests = r.requests();
  ASSERT_GE(requests.size(), 1u);
  EXPECT_EQ(requests[0].bytes("cdb"), (byte_vector{0x1C, 0x01, 0x82, 0x08, 0x00, 0x00}));
  const auto sent = pieces(r);
  ASSERT_EQ(sent.size(), c.lengths.size());
  std::size_t offset = 0;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    expect_piece(sent[i], img, offset, c.lengths[i]);
    offset += c.lengths[i];
  }
  const bool activates = c.with_signature && c.size >= 4;
  ASSERT_EQ(requests.size(), 1 + sent.size() + (activates ? 2 : 0));
  if (activates) {
    EXPECT_EQ(requests[requests.size() - 2].bytes("data_out"), (byte_vector{0x91, 0x00, 0x00, 0x02, 0x01, 0x00}));
    EXPECT_EQ(requests[requests.size() - 2].bytes("cdb")[4], 0x06);
    EXPECT_EQ(requests.back().bytes("data_out"), (byte_vector{0x91, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(requests.back().bytes("cdb")[4], 0x05);
  }
  const std::string swap = activates ? "Swap active rom...\n" : "";
  EXPECT_EQ(r.out, "Please Wait for downloading...\n" + swap + "Firmware update success!\n");
  EXPECT_EQ(unstamped(r.log), testsupport::user_line() + testsupport::corvane_path() + " download=" + file +
                                  " /dev/sgsim0\nPlease Wait for downloading...\n" + swap +
                                  "Firmware update success!\n");
  EXPECT_EQ(r.audit, std::vector<std::string>{audit(file, "Firmware update success!")});
  EXPECT_TRUE(r.leaks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Images, E2eDownloadPieces,
    testing::Values(piece_case{"OneByte", 1, false, {1}},
                    piece_case{"Full", 512, false, {512}}, piece_case{"FullSigned", 512, true, {512}},
                    piece_case{"OneOver", 513, false, {512, 1}}, piece_case{"OneOverSigned", 513, true, {512, 1}},
                    piece_case{"TwoFullAndSome", 1100, true, {512, 512, 76}}),
    [](const testing::TestParamInfo<piece_case> &info) { return info.param.name; });

TEST(E2eDownload, SignatureNeedsItsFourthByteZero) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  byte_vector img = image(40, true);
  img[3] = 0x01;
  const sim_result r = s.run({"download=" + s.write_file("fw.bin", img), kNode});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.requests().size(), 2u);  // status read and one piece, no activation
  EXPECT_EQ(r.out, "Please Wait for downloading...\nFirmware update success!\n");
}

TEST(E2eDownload, PieceAtSixteenMebibytesCarriesItsOffset) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const byte_vector img = image(16777216 + 1, false);
  sim_options o;
  o.transcript_data = 9;  // keep the piece headers only
  const sim_result r = s.run({"download=" + s.write_file("big.bin", img), kNode}, o);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto sent = pieces(r);
  ASSERT_EQ(sent.size(), 32769u);
  EXPECT_EQ(sent.back().bytes("data_out"), (byte_vector{0x04, 0x00, 0x00, 0x06, 0x01, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(sent[32767].bytes("data_out"), (byte_vector{0x04, 0x00, 0x02, 0x05, 0x01, 0x00, 0xFF, 0xFE, 0x00}));
  struct stat st {};
  ASSERT_EQ(::stat((s.state_dir() + "/received.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 16777217);  // the expander assembled every piece in place
}

TEST(E2eDownload, ThirdPieceRefusedStopsTheDownload) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string file = s.write_file("fw.bin", image(2000, true));
  sim_options o;
  o.faults = {"check:0x04/3"};
  const sim_result r = s.run({"download=" + file, kNode}, o);
  EXPECT_EQ(r.status, 255);
  const auto sent = pieces(r);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].get("result"), "good");
  EXPECT_EQ(sent[1].get("result"), "good");
  EXPECT_EQ(sent[2].get("result"), "check");
  EXPECT_EQ(r.requests().size(), 4u);  // nothing after the refused piece
  EXPECT_EQ(r.out, "Please Wait for downloading...\nFirmware update failed!\n");
  EXPECT_NE(unstamped(r.log).find("Please Wait for downloading...\nFirmware update failed!\n"), std::string::npos);
  EXPECT_EQ(r.audit, std::vector<std::string>{audit(file, "Firmware update failed!")});
  EXPECT_TRUE(r.leaks.empty());
}

TEST(E2eDownload, FirstActivationListRefusedKeepsTheOldImage) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string file = s.write_file("fw.bin", image(600, true));
  sim_options o;
  o.faults = {"check:0x91/1"};
  const sim_result r = s.run({"download=" + file, kNode}, o);
  EXPECT_EQ(r.status, 255);
  const auto requests = r.requests();
  ASSERT_EQ(requests.size(), 4u);  // status read, two pieces, first list only
  EXPECT_EQ(requests.back().bytes("data_out")[0], 0x91);
  EXPECT_EQ(requests.back().get("result"), "check");
  EXPECT_EQ(r.out, "Please Wait for downloading...\nSwap active rom...\nSwap active rom failed!\n");
  EXPECT_EQ(r.out.find("Firmware update success!"), std::string::npos);
  EXPECT_EQ(r.audit, std::vector<std::string>{audit(file, "Swap active rom failed!")});
  const sim_result q = s.run({"query", kNode});
  EXPECT_NE(q.out.find("Active Image:  image0\nImage Version: 103\n"), std::string::npos) << q.out;
}

TEST(E2eDownload, SignedImageThenQueryShowsTheOtherImage) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  byte_vector img = image(700, true);
  img[8] = '2';
  img[9] = '0';
  img[10] = '7';
  const std::string file = s.write_file("fw.bin", img);
  ASSERT_EQ(s.run({"download=" + file, kNode}).status, 0);
  const sim_result q = s.run({"query", kNode});
  EXPECT_EQ(q.out, "Active Image:  image1\nImage Version: 207\nActive Data:   data0\nData Version:  015\n");
}

struct file_error_case {
  const char *name;
  const char *file;  // relative to the session directory; "" for an empty name
  const char *message_format;
  std::size_t requests;
};

class E2eDownloadFileError : public testing::TestWithParam<file_error_case> {};

TEST_P(E2eDownloadFileError, ReportsTheFileAndFails) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string file = GetParam().file[0] == '\0' ? "" : s.dir() + "/" + GetParam().file;
  const sim_result r = s.run({"download=" + file, kNode});
  EXPECT_EQ(r.status, 255);
  const std::string message = std::string(GetParam().message_format) + file + " error\n";
  EXPECT_EQ(r.out, "Please Wait for downloading...\n" + message + "Firmware update failed!\n");
  EXPECT_NE(unstamped(r.log).find("Please Wait for downloading...\n" + message + "Firmware update failed!\n"),
            std::string::npos)
      << r.log;
  EXPECT_EQ(r.requests().size(), GetParam().requests);
  EXPECT_EQ(r.audit, std::vector<std::string>{audit(file, "Firmware update failed!")});
  EXPECT_TRUE(r.leaks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, E2eDownloadFileError,
    testing::Values(file_error_case{"Missing", "absent.bin", "Open file ", 0},
                    file_error_case{"EmptyName", "", "Open file ", 0}),
    [](const testing::TestParamInfo<file_error_case> &info) { return info.param.name; });

// An image that cannot be sent whole is refused before any request reaches
// the expander: the usual failure outcome on screen, in the log and in the
// audit trail, the reason on standard error.
TEST(E2eDownloadRefusal, NothingIsSent) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string empty = s.write_file("empty.bin", {});
  const std::string fifo = s.dir() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct refusal {
    std::string file;
    std::string reason;
  };
  const refusal cases[] = {
      {empty, ": the image is empty; nothing was sent\n"},
      {s.dir(), ": not a regular file; nothing was sent\n"},
      {fifo, ": not a regular file; nothing was sent\n"},
      {"/dev/zero", ": not a regular file; nothing was sent\n"},
  };
  for (const refusal &c : cases) {
    const sim_result r = s.run({"download=" + c.file, kNode});
    EXPECT_EQ(r.status, 255) << c.file;
    EXPECT_EQ(r.err, c.file + c.reason);
    EXPECT_EQ(r.out, "Please Wait for downloading...\nFirmware update failed!\n") << c.file;
    EXPECT_EQ(unstamped(r.log), testsupport::user_line() + testsupport::corvane_path() + " download=" + c.file +
                                    " /dev/sgsim0\nPlease Wait for downloading...\nFirmware update failed!\n");
    EXPECT_TRUE(r.requests().empty()) << c.file;
    EXPECT_EQ(r.audit, std::vector<std::string>{audit(c.file, "Firmware update failed!")});
  }
}

}  // namespace
