#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "oplog/oplog.h"
#include "support/temp_log.h"

namespace {

// "Tue Dec  8 06:23:00 2026 ": ctime's first 24 characters and one blank.
const std::regex kStamp(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4} )");

TEST(RecordeLog, StampOnlyForFlagExactlyOne) {
  testsupport::TempLog log;
  recorde_log("plain\n", 0);
  recorde_log("two\n", 2);
  recorde_log("minus\n", -1);
  EXPECT_EQ(log.text(), "plain\ntwo\nminus\n");

  recorde_log("stamped\n", 1);
  const std::string text = log.text();
  ASSERT_EQ(text.size(), 16u + 25u + 8u);
  EXPECT_TRUE(std::regex_match(text.substr(16, 25), kStamp)) << text;
  EXPECT_EQ(text.substr(41), "stamped\n");
}

TEST(RecordeLog, EmptyTextWithStampWritesOnlyTheStamp) {
  testsupport::TempLog log;
  recorde_log("", 1);
  const std::string text = log.text();
  ASSERT_EQ(text.size(), 25u);
  EXPECT_TRUE(std::regex_match(text, kStamp)) << text;
}

TEST(RecordeLog, UnstampedTextFollowsPreviousEntryAndFileIsCreated) {
  testsupport::TempLog log;
  log.clear();
  recorde_log("\rEnclosure", 0);
  recorde_log(" Status\n\r", 0);
  EXPECT_EQ(log.text(), "\rEnclosure Status\n\r");
}

TEST(RecordeLog, StampMatchesGlobalAndIsRefreshed) {
  testsupport::TempLog log;
  recorde_log("a", 1);
  EXPECT_EQ(std::string(g_cur_time), log.text().substr(0, 25));
  EXPECT_EQ(g_cur_time[25], '\0');
}

// A log that cannot be opened, and one that fails only at the close:
// /dev/full takes every buffered write and fails the flush with ENOSPC. Each
// lost entry is said once, never twice, whether the stamp, the text or only
// the close reported it.
TEST(RecordeLog, EachLostEntryIsSaidOnce) {
  const struct {
    const char *path;
    const char *expected;
  } cases[] = {
      {"/nonexistent-dir/x",
       "open log file /nonexistent-dir/x error\n"
       "open log file /nonexistent-dir/x error\n"
       "open log file /nonexistent-dir/x error\n"},
      {"/dev/full",
       "write log to /dev/full fail\n"
       "write log to /dev/full fail\n"},
  };
  for (const auto &c : cases) {
    testsupport::TempLog log;
    const log_redirect broken(c.path);
    ASSERT_TRUE(broken.ok());
    testing::internal::CaptureStdout();
    recorde_log("one\n", 1);
    recorde_log("two\n", 0);
    recorde_log("", 0);  // nothing to lose but the open
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected) << c.path;
  }
}

}  // namespace
