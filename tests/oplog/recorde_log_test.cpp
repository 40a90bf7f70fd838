#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
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

// A log that cannot be opened or written: the first lost entry of the run
// prints its message on standard output and why on standard error; the
// later ones are counted, and the count is told once at the end.
// /dev/full takes every buffered write and fails the flush at the close with
// ENOSPC, so an error reported only at the close counts too.
TEST(RecordeLog, LostEntriesSaidOnceAndCounted) {
  struct lost_case {
    const char *path;
    const char *out;
    const char *err;
    unsigned lost;  // an empty entry written to /dev/full loses nothing
  };
  const lost_case cases[] = {
      {"/nonexistent-dir/x", "open log file /nonexistent-dir/x error\n",
       "/nonexistent-dir/x: cannot open: No such file or directory\n"
       "/nonexistent-dir/x: 3 of 3 entries lost\n", 3},
      {"/dev/full", "write log to /dev/full fail\n",
       "/dev/full: cannot write: No space left on device\n"
       "/dev/full: 2 of 3 entries lost\n", 2},
  };
  for (const lost_case &c : cases) {
    testsupport::TempLog log;
    const log_redirect broken(c.path);
    ASSERT_TRUE(broken.ok());
    g_log_lost = 0;
    g_log_entries = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    recorde_log("one\n", 1);
    recorde_log("two\n", 0);
    recorde_log("", 0);
    const bool lost = log_loss_report();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(lost);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(g_log_lost, c.lost);
    g_log_lost = 0;
    g_log_entries = 0;
  }
}

// Entries that reach the file are counted, none lost; nothing is said.
TEST(RecordeLog, WrittenEntriesAreNotLost) {
  testsupport::TempLog log;
  g_log_lost = 0;
  g_log_entries = 0;
  testing::internal::CaptureStderr();
  recorde_log("one\n", 1);
  recorde_log("two\n", 0);
  EXPECT_FALSE(log_loss_report());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(g_log_entries, 2u);
  EXPECT_EQ(g_log_lost, 0u);
  g_log_entries = 0;
}

// A log created by its first entry is readable by its owner and group only,
// whatever the caller's umask allows beyond that.
TEST(RecordeLog, CreatedReadableByOwnerAndGroupOnly) {
  testsupport::TempLog log;
  log.clear();
  const mode_t saved = umask(0);
  recorde_log("first\n", 1);
  umask(saved);
  struct stat st {};
  ASSERT_EQ(stat(log.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  g_log_entries = 0;
}

}  // namespace
