// Where the operation log's entries go: the log file, or a stream set in its
// place, and the guard that sets either for a scope.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "oplog/oplog.h"
#include "support/temp_log.h"

namespace {

// The whole of a temporary stream's contents.
std::string stream_text(std::FILE *f) {
  std::fflush(f);
  std::string out;
  std::rewind(f);
  char buf[256];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  return out;
}

struct entry {
  const char *text;
  int stamp;
};

// Every entry reaches the stream as its text alone: a stamped one keeps its
// text and loses only its stamp, and the log file is not touched.
TEST(LogStream, EveryEntryGoesToTheStreamWithoutItsStamp) {
  const struct {
    const char *what;
    std::initializer_list<entry> entries;
    const char *expected;
  } cases[] = {
      {"unstamped", {{"a\n", 0}, {"b", 2}}, "a\nb"},
      {"stamped", {{"Month out of range\n", 1}}, "Month out of range\n"},
      {"mixed, in order", {{"x", 0}, {"y\n", 1}, {"\rz\n\r", 0}}, "xy\n\rz\n\r"},
      {"empty and null texts", {{"", 1}, {nullptr, 0}, {"end", 0}}, "end"},
  };
  for (const auto &c : cases) {
    testsupport::TempLog log;
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
      const log_redirect to_stream(f);
      EXPECT_EQ(g_log_stream, f);
      for (const entry &e : c.entries) recorde_log(e.text, e.stamp);
    }
    EXPECT_EQ(stream_text(f), c.expected) << c.what;
    EXPECT_EQ(log.text(), "") << c.what;
    std::fclose(f);
  }
}

TEST(LogStream, SetterReturnsThePreviousStream) {
  std::FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::FILE *before = set_log_stream(f);
  EXPECT_EQ(set_log_stream(stdout), f);
  EXPECT_EQ(set_log_stream(before), stdout);
  EXPECT_EQ(g_log_stream, before);
  std::fclose(f);
}

// Guards nest: each puts back the path and the stream it found.
TEST(LogStream, GuardsRestoreWhatTheyFound) {
  testsupport::TempLog log;
  const std::string outer(g_log_file_path);
  std::FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    const log_redirect to_stream(f);
    {
      const log_redirect to_file("/tmp/cvl-nested");
      ASSERT_TRUE(to_file.ok());
      EXPECT_EQ(g_log_stream, nullptr);  // a file guard sends entries to its file
      EXPECT_STREQ(g_log_file_path, "/tmp/cvl-nested");
    }
    EXPECT_EQ(g_log_stream, f);
    EXPECT_EQ(std::string(g_log_file_path), outer);
    recorde_log("kept\n", 0);
  }
  EXPECT_EQ(g_log_stream, nullptr);
  EXPECT_EQ(std::string(g_log_file_path), outer);
  recorde_log("file\n", 0);
  EXPECT_EQ(stream_text(f), "kept\n");
  EXPECT_EQ(log.text(), "file\n");
  std::fclose(f);
}

// A path that does not fit the 26 bytes is refused whole: never cut short
// into another file's name.
TEST(LogStream, PathThatDoesNotFitChangesNothing) {
  testsupport::TempLog log;
  const std::string before(g_log_file_path);
  const struct {
    const char *path;
    bool fits;
  } cases[] = {
      {"/tmp/abcdefghijklmnopqrst", true},    // 25 characters
      {"/tmp/abcdefghijklmnopqrstu", false},  // 26
      {"/tmp/a-much-longer-name-than-the-log-path-holds", false},
  };
  for (const auto &c : cases) {
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
      const log_redirect to_stream(f);
      const log_redirect to_file(c.path);
      EXPECT_EQ(to_file.ok(), c.fits) << c.path;
      EXPECT_EQ(std::string(g_log_file_path), c.fits ? c.path : before) << c.path;
      EXPECT_EQ(g_log_stream, c.fits ? nullptr : f) << c.path;
    }
    EXPECT_EQ(std::string(g_log_file_path), before);
    std::fclose(f);
  }
  EXPECT_FALSE(set_log_file_path(nullptr));
  EXPECT_EQ(std::string(g_log_file_path), before);
}

}  // namespace
