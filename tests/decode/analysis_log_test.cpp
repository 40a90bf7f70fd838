#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>

#include "decode/decode.h"
#include "decode/event_line.h"
#include "support/temp_log.h"

namespace {

using work_buffer = std::array<std::uint8_t, kWorkBufferSize>;
using record_words = std::array<std::uint32_t, 8>;  // severity, time high/low, number, code, p1-p3

// Records lie in the work buffer in host order, as log_check leaves them.
void put_record(work_buffer &work, std::size_t index, const record_words &words) {
  std::memcpy(work.data() + index * 32, words.data(), 32);
}

struct line_case {
  record_words words;
  const char *line;
};

const line_case kLines[] = {
    {{0, 0, 0, 0, 0, 0, 0, 0},
     "0   0000/01/01 00:00:00 000:000 Disables logging 0x00000000 0x00000000 0x00000000 "
     "0x00000000 \n"},
    // High half of the severity word ignored; time_high 1 is 2^32 microseconds.
    {{0x00050002, 1, 0, 5, 0x001A0001, 0xDEADBEEF, 1, 0xFFFFFFFF},
     "5   0000/01/01 01:11:34 967:296 error \"LINK SMPINIT: init\" 0xdeadbeef 0x00000001 "
     "0xffffffff \n"},
    // Unknown level shown as its low half; a code past its module's table.
    {{0xFFFF0007, 0, 999, 1234, 0x002A0004, 0, 0, 0},
     "1234 0000/01/01 00:00:00 000:999 0x00000007 0x002a0004 0x00000000 0x00000000 "
     "0x00000000 \n"},
    // Negative number; a module that is not in the dictionary.
    {{0x0000FFFF, 0, 1000000, 0xFFFFFFFF, 0x00110001, 0x10, 0x200, 0x3000},
     "-1  0000/01/01 00:00:01 000:000 0x0000ffff 0x00110001 0x00000010 0x00000200 "
     "0x00003000 \n"},
    // The message's own trailing blank stays inside the quotes.
    {{0x00000001, 0, 0, 12, 0x001D001D, 0, 0, 0},
     "12  0000/01/01 00:00:00 000:000 critical error \"Spinup: SATA Drive SPINUP failed \" "
     "0x00000000 0x00000000 0x00000000 \n"},
    {{0x00010003, 0xFFFFFFFF, 0xFFFFFFFF, 0x80000000, 0x001A00E1, 0, 0, 0},
     "-2147483648 584554/01/18 08:01:49 551:615 warning \"PACK: ECC Error\" 0x00000000 "
     "0x00000000 0x00000000 \n"},
    {{4, 0, 0, 100, 0x001A00E2, 0, 0, 0},
     "100 0000/01/01 00:00:00 000:000 info 0x001a00e2 0x00000000 0x00000000 0x00000000 \n"},
    {{5, 0, 0, 2147483647, 0x00100000, 0, 0, 0},
     "2147483647 0000/01/01 00:00:00 000:000 debugging \"OSF: Unused\" 0x00000000 "
     "0x00000000 0x00000000 \n"},
    {{6, 0, 0, -99u, 0xFFFF0000, 0, 0, 0},
     "-99 0000/01/01 00:00:00 000:000 reserved 0xffff0000 0x00000000 0x00000000 "
     "0x00000000 \n"},
    {{0x00060008, 0, 0, 0, 0x002A0003, 0, 0, 0},
     "0   0000/01/01 00:00:00 000:000 0x00000008 \"SAHA: Req retry\" 0x00000000 0x00000000 "
     "0x00000000 \n"},
};

TEST(AnalysisLog, EveryColumnByteForByte) {
  for (int page : {0x80, 0xF4}) {
    for (const line_case &c : kLines) {
      testsupport::TempLog log;
      work_buffer work{};
      put_record(work, 0, c.words);
      EXPECT_EQ(analysis_log(work, 1, page), 0);
      EXPECT_EQ(log.text(), c.line);
    }
  }
}

TEST(AnalysisLog, OneLinePerRecordInOrder) {
  testsupport::TempLog log;
  work_buffer work{};
  std::string want;
  for (std::size_t i = 0; i < std::size(kLines); ++i) {
    put_record(work, i, kLines[i].words);
    want += kLines[i].line;
  }
  EXPECT_EQ(analysis_log(work, static_cast<int>(std::size(kLines)), 0x80), 0);
  EXPECT_EQ(log.text(), want);
}

TEST(AnalysisLog, ZeroOrNegativeCountWritesNothing) {
  work_buffer work{};
  put_record(work, 0, kLines[1].words);
  for (int count : {0, -1, INT_MIN}) {
    testsupport::TempLog log;
    EXPECT_EQ(analysis_log(work, count, 0x80), 0);
    EXPECT_EQ(log.text(), "");
  }
}

std::size_t count_lines(const std::string &text) {
  std::size_t n = 0;
  for (char ch : text) n += ch == '\n';
  return n;
}

TEST(AnalysisLog, CountAboveTheBufferDecodesTheFirstTwoHundred) {
  work_buffer work{};
  for (std::uint32_t i = 0; i < 200; ++i) put_record(work, i, {0, 0, 0, i + 1, 0, 0, 0, 0});
  for (int count : {199, 200, 201, 1000, INT_MAX}) {
    testsupport::TempLog log;
    EXPECT_EQ(analysis_log(work, count, 0xF4), 0);
    const std::string text = log.text();
    const std::size_t want = count < 200 ? 199u : 200u;
    ASSERT_EQ(count_lines(text), want) << count;
    const std::size_t last = text.rfind('\n', text.size() - 2) + 1;
    EXPECT_EQ(text.substr(last, 4), want == 200 ? "200 " : "199 ");
  }
}

TEST(AnalysisLog, OtherPagesWriteNothing) {
  work_buffer work{};
  put_record(work, 0, kLines[1].words);
  for (int page : {0x82, 0x00, 0x04, 0x91, 0x180, -1}) {
    testsupport::TempLog log;
    EXPECT_EQ(analysis_log(work, 1, page), 0) << page;
    EXPECT_EQ(log.text(), "") << page;
  }
}

TEST(AnalysisByte, UnknownFieldKindLeavesTextAsItWas) {
  std::array<char, kTextSize> field{};
  std::strcpy(field.data(), "kept");
  for (int kind : {0, 3, 9, -1, 100}) {
    analysis_byte(0x001A0001, 0, kind, field);
    EXPECT_STREQ(field.data(), "kept") << kind;
  }
}

TEST(AnalysisByte, TimeReadsSecondValueOnlyForTime) {
  std::array<char, kTextSize> field{};
  analysis_byte(0, 1000, kFieldTime, field);
  EXPECT_STREQ(field.data(), "0000/01/01 00:00:00 001:000 ");
  analysis_byte(7, 1000, kFieldNumber, field);
  EXPECT_STREQ(field.data(), "7   ");
  analysis_byte(7, 1000, kFieldParam2, field);
  EXPECT_STREQ(field.data(), "0x00000007 ");
}

}  // namespace
