// The firmware operations against a scripted device behind the seam.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sg/fake_sg.h"
#include "sg/sg.h"
#include "support/temp_log.h"

namespace {

using bytes_t = std::vector<std::uint8_t>;

bytes_t status_page(std::uint8_t image, const char *iv, std::uint8_t data, const char *dv) {
  bytes_t p(36, 0);
  p[0] = 0x82;
  p[4] = image;
  for (int i = 0; i < 3; ++i) {
    p[6 + i] = static_cast<std::uint8_t>(iv[i]);
    p[33 + i] = static_cast<std::uint8_t>(dv[i]);
  }
  p[32] = data;
  return p;
}

std::string without_stamp(const std::string &text) { return text.size() < 25 ? text : text.substr(25); }

struct query_case {
  const char *name;
  std::vector<fakesg::answer> script;
  int result;
  const char *block;  // nullptr: nothing shown
};

class FirmwareQuery : public testing::TestWithParam<query_case> {};

TEST_P(FirmwareQuery, ShowsBlockFromSecondRead) {
  testsupport::TempLog log;
  fakesg::scope fake(GetParam().script);
  testing::internal::CaptureStdout();
  const int result = firmware_query("/dev/sgX");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, GetParam().result);
  ASSERT_EQ(fakesg::g_state.seen.size(), 2u);
  for (const auto &r : fakesg::g_state.seen) EXPECT_EQ(r.cdb[2], 0x82);
  const std::string block = GetParam().block != nullptr ? GetParam().block : "";
  EXPECT_EQ(out, block);
  EXPECT_EQ(without_stamp(log.text()), block);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FirmwareQuery,
    testing::Values(
        query_case{"Typical",
                   {fakesg::page(status_page(6, "103", 2, "015")),
                    fakesg::page(status_page(6, "103", 2, "015"))},
                   0,
                   "Active Image:  image1\nImage Version: 103\nActive Data:   data1\nData Version:  015\n"},
        query_case{"FirstReadFailsSecondCounts",
                   {fakesg::ioctl_fails(), fakesg::page(status_page(5, "A1b", 1, "xyz"))},
                   0,
                   "Active Image:  image0\nImage Version: A1b\nActive Data:   data0\nData Version:  xyz\n"},
        query_case{"FirstGoodSecondRefused",
                   {fakesg::page(status_page(6, "103", 2, "015")), fakesg::status(0x02)},
                   -1,
                   nullptr},
        query_case{"EmptyPage", {fakesg::page({}), fakesg::page({})}, -1, nullptr},
        query_case{"NegativeNumbers",
                   {fakesg::page(status_page(3, "103", 0, "015")),
                    fakesg::page(status_page(3, "103", 0, "015"))},
                   0,
                   "Active Image:  image-2\nImage Version: 103\nActive Data:   data-1\nData Version:  015\n"},
        query_case{"HighNumbersAreUnsigned",
                   {fakesg::page(status_page(0xFF, "\x01\x7f\xfe", 0xFF, "\t\x80z")),
                    fakesg::page(status_page(0xFF, "\x01\x7f\xfe", 0xFF, "\t\x80z"))},
                   0,
                   "Active Image:  image250\nImage Version: \x01\x7f\xfe\nActive Data:   data254\n"
                   "Data Version:  \t\x80z\n"}),
    [](const testing::TestParamInfo<query_case> &info) { return info.param.name; });

TEST(FirmwareQueryNul, NulVersionCharactersShowAsBlanksAndKeepTheBlock) {
  testsupport::TempLog log;
  bytes_t page = status_page(6, "1\0" "3", 2, "\0\0\0");
  fakesg::scope fake({fakesg::page(page), fakesg::page(page)});
  testing::internal::CaptureStdout();
  ASSERT_EQ(firmware_query("/dev/sgX"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Active Image:  image1\nImage Version: 1 3\nActive Data:   data1\nData Version:     \n");
}

// A file with the given bytes in the log's private directory.
std::string write_image(const testsupport::TempLog &log, const bytes_t &content) {
  const std::string path = log.dir() + "/image.bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
  return path;
}

// Images that cannot be sent whole are refused before any request: the
// reason goes to standard error only, the screen and the log stay silent
// (the caller reports the failure).
TEST(FirmwareDownload, RefusesBeforeSending) {
  testsupport::TempLog log;
  const std::string fifo = log.dir() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Sparse: one byte more than the 32-bit piece offset can address.
  const std::string huge = log.dir() + "/huge.bin";
  std::ofstream(huge).put('x');
  ASSERT_EQ(truncate(huge.c_str(), 0x100000001LL), 0);
  const std::string empty = write_image(log, {});
  struct refusal {
    std::string file;
    std::string reason;
  };
  const refusal cases[] = {
      {empty, empty + ": the image is empty; nothing was sent\n"},
      {log.dir(), log.dir() + ": not a regular file; nothing was sent\n"},
      {fifo, fifo + ": not a regular file; nothing was sent\n"},
      {"/dev/zero", "/dev/zero: not a regular file; nothing was sent\n"},
      {huge, huge + ": 4294967297 bytes, more than a download can address (4294967296 at most); nothing was sent\n"},
  };
  for (const refusal &c : cases) {
    const std::string before = log.text();
    fakesg::scope fake;
    g_fw_flag = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(firmware_download(c.file.c_str(), "/dev/sgX"), -1) << c.file;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.reason);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.file;
    EXPECT_EQ(log.text(), before) << c.file;
    EXPECT_TRUE(fakesg::g_state.seen.empty()) << c.file;
    EXPECT_EQ(g_fw_flag, 0);
  }
  unlink(fifo.c_str());
  unlink(huge.c_str());
}

// The largest image the offset can address is taken: its last piece goes
// to offset 0xFFFFFE00. Only the first piece is let through here.
TEST(FirmwareDownload, LargestAddressableImageIsTaken) {
  testsupport::TempLog log;
  const std::string path = write_image(log, {0x50, 0x4D, 0x43, 0x00});
  ASSERT_EQ(truncate(path.c_str(), 0x100000000LL), 0);
  fakesg::scope fake({fakesg::answer{}, fakesg::answer{}, fakesg::status(0x02)});
  g_fw_flag = 0;
  EXPECT_EQ(firmware_download(path.c_str(), "/dev/sgX"), -1);  // the second piece refused
  EXPECT_EQ(fakesg::g_state.seen.size(), 3u);
  EXPECT_EQ(g_fw_flag, 1);
  unlink(path.c_str());
}

TEST(FirmwareDownload, MissingImageSendsNothing) {
  testsupport::TempLog log;
  fakesg::scope fake;
  testing::internal::CaptureStdout();
  EXPECT_EQ(firmware_download("", "/dev/sgX"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Open file  error\n");
  EXPECT_EQ(without_stamp(log.text()), "Open file  error\n");
  EXPECT_TRUE(fakesg::g_state.seen.empty());
}

struct piece_case {
  const char *name;
  std::size_t size;
  bytes_t head;
  int flag;
  std::vector<std::size_t> lengths;
};

class FirmwareDownloadPieces : public testing::TestWithParam<piece_case> {};

TEST_P(FirmwareDownloadPieces, PiecesAndSignature) {
  testsupport::TempLog log;
  bytes_t image(GetParam().size);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
  for (std::size_t i = 0; i < GetParam().head.size() && i < image.size(); ++i) image[i] = GetParam().head[i];
  const std::string path = write_image(log, image);
  fakesg::scope fake;
  g_fw_flag = 0;
  ASSERT_EQ(firmware_download(path.c_str(), "/dev/sgX"), 0);
  EXPECT_EQ(g_fw_flag, GetParam().flag);
  ASSERT_EQ(fakesg::g_state.seen.size(), 1 + GetParam().lengths.size());
  std::size_t offset = 0;
  for (std::size_t i = 0; i < GetParam().lengths.size(); ++i) {
    const bytes_t &sent = fakesg::g_state.seen[1 + i].sent;
    const std::size_t n = GetParam().lengths[i];
    ASSERT_EQ(sent.size(), n + 9);
    EXPECT_EQ(bytes_t(sent.begin(), sent.begin() + 9),
              (bytes_t{0x04, 0x00, static_cast<std::uint8_t>((n + 5) >> 8), static_cast<std::uint8_t>(n + 5),
                       0x01, 0x00, static_cast<std::uint8_t>(offset >> 16),
                       static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset)}));
    EXPECT_EQ(bytes_t(sent.begin() + 9, sent.end()),
              bytes_t(image.begin() + static_cast<long>(offset), image.begin() + static_cast<long>(offset + n)));
    offset += n;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, FirmwareDownloadPieces,
    testing::Values(piece_case{"ShortSignatureIsNone", 3, {0x50, 0x4D, 0x43}, 0, {3}},
                    piece_case{"Signed", 4, {0x50, 0x4D, 0x43, 0x00}, 1, {4}},
                    piece_case{"NearlySigned", 600, {0x50, 0x4D, 0x43, 0x01}, 0, {512, 88}},
                    piece_case{"Full", 512, {0x50, 0x4D, 0x43, 0x00}, 1, {512}},
                    piece_case{"OneOver", 513, {}, 0, {512, 1}},
                    piece_case{"ThreeFull", 1536, {}, 0, {512, 512, 512}}),
    [](const testing::TestParamInfo<piece_case> &info) { return info.param.name; });

TEST(FirmwareSwap, FirstListRefusedKeepsSecondBack) {
  fakesg::scope fake({fakesg::status(0x02)});
  EXPECT_EQ(firmware_swap("/dev/sgX"), -1);
  ASSERT_EQ(fakesg::g_state.seen.size(), 1u);
  EXPECT_EQ(fakesg::g_state.seen[0].sent, (bytes_t{0x91, 0x00, 0x00, 0x02, 0x01, 0x00}));
}

TEST(FirmwareSwap, SendsBothListsInOrder) {
  fakesg::scope fake;
  EXPECT_EQ(firmware_swap("/dev/sgX"), 0);
  ASSERT_EQ(fakesg::g_state.seen.size(), 2u);
  EXPECT_EQ(fakesg::g_state.seen[1].sent, (bytes_t{0x91, 0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(fakesg::g_state.seen[1].cdb, (bytes_t{0x1D, 0x10, 0x00, 0x00, 0x05, 0x00}));
}

TEST(ExpanderReset, ReadsStatusTwiceWhateverTheyReturn) {
  fakesg::scope fake({fakesg::answer{}, fakesg::ioctl_fails(), fakesg::open_fails()});
  EXPECT_EQ(expander_reset("/dev/sgX"), 0);
  ASSERT_EQ(fakesg::g_state.seen.size(), 3u);
  EXPECT_EQ(fakesg::g_state.seen[0].sent, (bytes_t{0x04, 0x00, 0x00, 0x02, 0x02, 0x01}));
  EXPECT_EQ(fakesg::g_state.seen[1].cdb[2], 0x82);
  EXPECT_EQ(fakesg::g_state.seen[2].open_flags, 0);  // a read, whose open failed
  EXPECT_FALSE(fakesg::g_state.seen[2].issued);
}

TEST(ExpanderReset, RefusedResetSendsNothingElse) {
  fakesg::scope fake({fakesg::status(0x02)});
  EXPECT_EQ(expander_reset("/dev/sgX"), -1);
  EXPECT_EQ(fakesg::g_state.seen.size(), 1u);
}

}  // namespace
