// A document written piece by piece must be, byte for byte, what the JSON
// library writes for the same value: one form however a document was made,
// and every string escaped as the library escapes it.
#include "pages/json_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using json_doc::json;

// Writes made through the stream's calls, member by member and element by
// element, the way decode writes its pages.
void write_piecewise(json_doc::stream &s, const json &made) {
  if (made.is_object()) {
    json_doc::open_object(s);
    for (const auto &[name, v] : made.items()) {
      json_doc::key(s, name);
      write_piecewise(s, v);
    }
    json_doc::close(s);
  } else if (made.is_array()) {
    json_doc::open_array(s);
    for (const json &v : made) write_piecewise(s, v);
    json_doc::close(s);
  } else if (made.is_string()) {
    json_doc::value(s, made.get_ref<const std::string &>());
  } else if (made.is_number_unsigned()) {
    json_doc::value(s, made.get<std::uint64_t>());
  } else if (made.is_number_integer()) {
    json_doc::value(s, made.get<std::int64_t>());
  } else if (made.is_boolean()) {
    json_doc::value(s, made.get<bool>());
  } else {
    json_doc::value(s, nullptr);
  }
}

std::string piecewise(const json &made) {
  json_doc::stream s(nullptr);
  write_piecewise(s, made);
  return json_doc::take_text(s);
}

std::string library(const json &made) {
  return made.dump(2, ' ', false, json::error_handler_t::replace);
}

json nested(int levels) {
  json v = json::array({1, "leaf"});
  for (int i = 0; i < levels; ++i) v = json::object({{"level", i}, {"inner", std::move(v)}});
  return v;
}

TEST(JsonStream, LaidOutAsTheLibraryLaysOutTheValue) {
  const struct {
    const char *what;
    json made;
  } cases[] = {
      {"empty object", json::object()},
      {"empty array", json::array()},
      {"empty containers inside", json{{"a", json::object()}, {"b", json::array()}, {"c", {json::array()}}}},
      {"scalars", json{{"t", true}, {"f", false}, {"n", nullptr}, {"s", ""}}},
      {"numbers at their ends",
       json::array({0, -1, INT64_MIN, INT64_MAX, UINT64_MAX, 9007199254740991ull})},
      {"arrays of objects", json::array({json{{"x", 1}}, json{{"y", json::array({2, 3})}}})},
      {"deep nesting", nested(29)},
  };
  for (const auto &c : cases) EXPECT_EQ(piecewise(c.made), library(c.made)) << c.what;
}

// Every kind of byte that needs the library, at every place of a string
// long enough to cross the sixteen-byte steps of the check that decides
// whether it does.
TEST(JsonStream, StringsNeedingEscapeAnywhereGoThroughTheLibrary) {
  const std::string specials[] = {
      std::string(1, '\0'), "\x1f", "\"", "\\", "\x7f", "\x80", "\xff", "\xc3\xa9", "\n", "\t",
      "\xe2\x82",  // a character cut short
  };
  for (const std::string &special : specials) {
    for (std::size_t length : {0u, 1u, 3u, 4u, 7u, 8u, 15u, 16u, 17u, 31u, 33u}) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string text(length, 'x');
        text.insert(at, special);
        const json made = json::array({text});
        ASSERT_EQ(piecewise(made), library(made))
            << "special 0x" << std::hex << int(static_cast<unsigned char>(special[0]))
            << std::dec << " at " << at << " of " << length;
      }
    }
  }
  // Several runs of such bytes in one string, whole and broken UTF-8 among them.
  const std::string mixed[] = {
      "say \"hi\" to \\ and \"bye\"",
      "\xc3\xa9t\xc3\xa9 \xe2\x82\xac\x01\"",
      "\xe2\x82x\xe2\x82\xacy\xff\xc3",
      "\xf0\x9f\x98\x80\"\xf0\x9f\x98",
      "tab\there\nline\r\x7f\x80" "end",
  };
  for (const std::string &text : mixed) {
    const json made = json::array({text, json{{"k", text}}});
    EXPECT_EQ(piecewise(made), library(made)) << text;
  }
  for (std::size_t length = 0; length <= 40; ++length) {
    const json made = json::array({std::string(length, 'q')});
    EXPECT_EQ(piecewise(made), library(made)) << length;
  }
}

TEST(JsonStream, DocumentLargerThanItsRoomIsWhole) {
  json made = json::array();
  for (int i = 0; i < 3000; ++i) made.push_back(json{{"n", i}, {"s", std::string(40, 'a' + i % 26)}});
  made.push_back(std::string(200000, 'z'));
  EXPECT_EQ(piecewise(made), library(made));

  // The same as a document handed to a file in pieces.
  pages_messages_reset(false);
  pages_warning("kept for the document");
  const json header = json{{"document", "test"}};
  std::FILE *file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    json_doc::stream s(file);
    json_doc::open_document(s, header);
    json_doc::key(s, "pages");
    write_piecewise(s, made);
    ASSERT_EQ(json_doc::finish_stream(s, 3), 0);
  }
  json whole = header;
  whole["pages"] = made;
  whole["exit_status"] = 3;
  whole["messages"] = pages_messages();
  pages_messages_reset(true);
  std::rewind(file);
  std::string back;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) back.append(buffer, n);
  std::fclose(file);
  EXPECT_EQ(back, library(whole) + "\n");
}

TEST(JsonStream, MadeValuesAndHeaderSitAtTheirDepth) {
  const json header = json{{"json_format_version", json::array({1, 0})}, {"document", "decode"}};
  const json inner = json{{"list", json::array({1, json{{"k", "v\"q"}}})}, {"empty", json::object()}};
  json_doc::stream s(nullptr);
  json_doc::open_document(s, header);
  json_doc::key(s, "pages");
  json_doc::open_array(s);
  json_doc::value(s, inner);
  json_doc::open_object(s);
  json_doc::code_and_text(s, "severity", 3, "warning");
  json_doc::code_and_text(s, "status", 9, nullptr);
  json_doc::close(s);
  json_doc::close(s);
  json_doc::close(s);
  json whole = header;
  whole["pages"] = json::array({inner, json{{"severity", {{"code", 3}, {"text", "warning"}}},
                                            {"status", {{"code", 9}, {"text", nullptr}}}}});
  EXPECT_EQ(json_doc::take_text(s), library(whole));
}

}  // namespace
