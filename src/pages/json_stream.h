// A JSON document written as it is made, for documents too large to build
// as values first (decode's pages, their events and lines). The layout is
// exactly the one json_doc::dump_to gives the same value (two spaces a level,
// "key": value, empty containers as {} and []), so a document has one form
// however it was written. Strings are escaped by the JSON library's own
// serializer; a string that needs no escape (printable ASCII without a quote
// or a backslash) is copied as it is.
//
// Usage: open_document with the header, then key/value calls, open_* and
// close_* for nested objects and arrays, then finish_stream. Nothing here
// throws; a failed write to the file is remembered and reported at the end.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "pages/json_doc.h"

namespace json_doc {

// Levels of nesting a stream holds; deeper values are written as values.
inline constexpr int kMaxDepth = 32;

struct stream {
  // The text written: its first used bytes, the rest room for more. Handed
  // to file when the room runs out and at the end; without a file it grows
  // and holds the whole document.
  std::unique_ptr<char[]> text;
  std::size_t size = 0;      // bytes text holds
  std::size_t used = 0;
  std::FILE *file = nullptr;
  std::string escaped;       // the serializer's output, copied into text
  nlohmann::detail::serializer<json> serializer;
  json scratch;              // a string value handed to the serializer
  std::array<bool, kMaxDepth> has_members{};
  std::array<char, kMaxDepth> closing{};
  int depth = 0;
  bool after_key = false;    // a key was written, its value comes next
  bool write_failed = false;

  // to: the file the document goes to, or nullptr to keep it in text.
  explicit stream(std::FILE *to);
  stream(const stream &) = delete;
  stream &operator=(const stream &) = delete;
};

// The document kept by a stream without a file, once finished.
std::string take_text(stream &s);

void open_object(stream &s);
void open_array(stream &s);
// Closes the innermost open object or array.
void close(stream &s);

// The next member's key, in the innermost open object. Keys are the
// program's own snake_case words and are written as they are.
void key(stream &s, std::string_view name);

// A value: an array element, or the value of the key just written.
void value(stream &s, std::string_view text);
inline void value(stream &s, const char *text) { value(s, std::string_view(text)); }
inline void value(stream &s, const std::string &text) { value(s, std::string_view(text)); }
void value(stream &s, std::uint64_t number);
void value(stream &s, std::int64_t number);
inline void value(stream &s, int number) { value(s, std::int64_t{number}); }
inline void value(stream &s, unsigned number) { value(s, std::uint64_t{number}); }
void value(stream &s, bool flag);
void value(stream &s, std::nullptr_t);
// A value already made, laid out at the stream's depth.
void value(stream &s, const json &made);

// key and value together.
template <typename Value>
void member(stream &s, std::string_view name, const Value &v) {
  key(s, name);
  value(s, v);
}

// The text's code and its words, or null for text when there is none.
void code_and_text(stream &s, std::string_view name, unsigned code, const char *text);

// Opens the document's top-level object and writes the members of header
// (made by begin).
void open_document(stream &s, const json &header);

// Adds "exit_status" and the run's messages, closes the document, writes it
// with its newline and flushes the file; 0, or -1 when it could not be written.
int finish_stream(stream &s, int exit_status);

// finish_stream on standard output, as finish_document does for a value.
int finish_stream_document(stream &s, int exit_status);

}  // namespace json_doc
