#include "pages/json_stream.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "pages/pages.h"

namespace json_doc {

namespace {

// Room for text before it is handed to the file.
constexpr std::size_t kRoom = 16 * 1024;
constexpr unsigned kIndent = 2;

void drain(stream &s) {
  if (s.file == nullptr || s.used == 0) return;
  if (std::fwrite(s.text.get(), 1, s.used, s.file) != s.used) s.write_failed = true;
  s.used = 0;
}

// Makes room for n more bytes: hands the text to the file, or without a file
// (or for a piece larger than the room) makes the room larger.
[[gnu::noinline]] void make_room(stream &s, std::size_t n) {
  drain(s);
  if (n <= s.size - s.used) return;
  const std::size_t size = std::max(s.size * 2, s.used + n);
  std::unique_ptr<char[]> larger(new char[size]);
  if (s.used > 0) std::memcpy(larger.get(), s.text.get(), s.used);
  s.text = std::move(larger);
  s.size = size;
}

// Room for n more bytes, where they go.
inline char *room(stream &s, std::size_t n) {
  if (n > s.size - s.used) make_room(s, n);
  char *at = s.text.get() + s.used;
  s.used += n;
  return at;
}

// The first and the last sizeof(Word) of n bytes, which overlap or meet
// when n is at most twice that.
template <typename Word>
inline void copy_ends(char *to, const char *from, std::size_t n) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

// memcpy for the short pieces a document is made of (keys, separators and
// indentation, numbers) without a call.
inline void copy_bytes(char *to, const char *from, std::size_t n) {
  if (n >= 8 && n <= 16) {
    copy_ends<std::uint64_t>(to, from, n);
  } else if (n >= 4 && n < 8) {
    copy_ends<std::uint32_t>(to, from, n);
  } else if (n < 4) {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  } else {
    std::memcpy(to, from, n);
  }
}

inline void put(stream &s, const char *bytes, std::size_t n) { copy_bytes(room(s, n), bytes, n); }

inline void put(stream &s, std::string_view bytes) { put(s, bytes.data(), bytes.size()); }

inline void put(stream &s, char c) { *room(s, 1) = c; }

// The separator, a new line and the indentation of the levels the documents
// reach: one copy an item.
constexpr std::string_view kBreaks =
    ",\n                                                                "
    "                                                                ";

static_assert(2 + kMaxDepth * kIndent <= kBreaks.size(), "every level's indentation is in kBreaks");

// A new line and the indentation of level.
std::string_view line_break(int level) {
  return kBreaks.substr(1, 1 + static_cast<std::size_t>(level) * kIndent);
}

// What comes before a member or an element: the separator from the one
// before, a new line and the indentation of the level.
std::string_view next_item(stream &s) {
  if (s.depth == 0) return {};
  const auto level = static_cast<std::size_t>(s.depth);
  const bool first = !s.has_members[level];
  s.has_members[level] = true;
  return first ? line_break(s.depth) : kBreaks.substr(0, 2 + level * kIndent);
}

// What comes before a value: nothing after its key, the element's separator
// in an array.
std::string_view value_prefix(stream &s) {
  if (s.after_key) {
    s.after_key = false;
    return {};
  }
  return next_item(s);
}

void begin_value(stream &s) { put(s, value_prefix(s)); }

// Sixteen bytes as one vector (SSE2 or NEON as the compiler picks).
using bytes16 = unsigned char __attribute__((vector_size(16)));

// Whether any of the sixteen bytes is one a JSON string cannot hold as it
// is: a control character, the quote, the backslash, or one past ASCII
// (whose UTF-8 the library checks).
inline bool any_escaped(bytes16 v) {
  const auto flagged = (v < 0x20) | (v > 0x7E) | (v == '"') | (v == '\\');
  std::uint64_t halves[2];
  std::memcpy(halves, &flagged, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

bool needs_escape(std::string_view text) {
  std::size_t i = 0;
  bytes16 v;
  for (; text.size() - i >= sizeof v; i += sizeof v) {
    std::memcpy(&v, text.data() + i, sizeof v);
    if (any_escaped(v)) return true;
  }
  // The last bytes, the rest of the vector filled with a harmless letter.
  v = bytes16{} + static_cast<unsigned char>('a');
  copy_bytes(reinterpret_cast<char *>(&v), text.data() + i, text.size() - i);
  return any_escaped(v);
}

// prefix, then text in quotes, then suffix, with one look for room.
void quoted(stream &s, std::string_view prefix, std::string_view text, std::string_view suffix) {
  char *at = room(s, prefix.size() + text.size() + suffix.size() + 2);
  copy_bytes(at, prefix.data(), prefix.size());
  at += prefix.size();
  *at++ = '"';
  copy_bytes(at, text.data(), text.size());
  at += text.size();
  *at++ = '"';
  copy_bytes(at, suffix.data(), suffix.size());
}

// A value as the library writes it, at the stream's depth.
void serialized(stream &s, const json &made) {
  s.escaped.clear();
  s.serializer.dump(made, true, false, kIndent, static_cast<unsigned>(s.depth) * kIndent);
  put(s, s.escaped);
}

bool escaped_byte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b > 0x7E || c == '"' || c == '\\';
}

// A string some of whose bytes need the library: the bytes between them are
// copied, and each run of such bytes is escaped by the library's serializer
// (without the quotes it puts around a string). A run holds every byte past
// ASCII next to it, so a UTF-8 sequence, whole or cut short, reaches the
// library in one piece, as it would in the whole string.
void escaped_text(stream &s, std::string_view text) {
  put(s, '"');
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    while (end < text.size() && !escaped_byte(text[end])) ++end;
    put(s, text.substr(at, end - at));
    at = end;
    while (end < text.size() && escaped_byte(text[end])) ++end;
    if (end == at) break;
    s.scratch.get_ref<std::string &>().assign(text.substr(at, end - at));
    s.escaped.clear();
    s.serializer.dump(s.scratch, false, false, 0, 0);
    put(s, std::string_view(s.escaped).substr(1, s.escaped.size() - 2));
    at = end;
  }
  put(s, '"');
}

void string_text(stream &s, std::string_view prefix, std::string_view text) {
  if (!needs_escape(text)) {
    quoted(s, prefix, text, {});
    return;
  }
  put(s, prefix);
  escaped_text(s, text);
}

void open(stream &s, char opening, char closing) {
  begin_value(s);
  put(s, opening);
  if (s.depth + 1 >= kMaxDepth) return;  // never reached by the documents made here
  ++s.depth;
  s.has_members[static_cast<std::size_t>(s.depth)] = false;
  s.closing[static_cast<std::size_t>(s.depth)] = closing;
}

template <typename Number>
void number_text(stream &s, Number number) {
  begin_value(s);
  if (number >= 0 && number < 10) {  // most of a page's numbers are codes and bits
    put(s, static_cast<char>('0' + number));
    return;
  }
  char digits[24];
  const auto made = std::to_chars(digits, digits + sizeof digits, number);
  put(s, digits, static_cast<std::size_t>(made.ptr - digits));
}

}  // namespace

stream::stream(std::FILE *to)
    : text(new char[kRoom]),
      size(kRoom),
      file(to),
      serializer(nlohmann::detail::output_adapter<char>(escaped), ' ', json::error_handler_t::replace),
      scratch(std::string()) {}

std::string take_text(stream &s) {
  std::string whole(s.text.get(), s.used);
  s.used = 0;
  return whole;
}

void open_object(stream &s) { open(s, '{', '}'); }
void open_array(stream &s) { open(s, '[', ']'); }

void close(stream &s) {
  if (s.depth == 0) return;
  const auto level = static_cast<std::size_t>(s.depth);
  --s.depth;
  if (s.has_members[level]) put(s, line_break(s.depth));
  put(s, s.closing[level]);
}

void key(stream &s, std::string_view name) {
  quoted(s, next_item(s), name, ": ");
  s.after_key = true;
}

void value(stream &s, std::string_view text) { string_text(s, value_prefix(s), text); }

void value(stream &s, std::uint64_t number) { number_text(s, number); }
void value(stream &s, std::int64_t number) { number_text(s, number); }

void value(stream &s, bool flag) {
  begin_value(s);
  put(s, flag ? std::string_view("true") : std::string_view("false"));
}

void value(stream &s, std::nullptr_t) {
  begin_value(s);
  put(s, "null");
}

void value(stream &s, const json &made) {
  begin_value(s);
  serialized(s, made);
}

void code_and_text(stream &s, std::string_view name, unsigned code, const char *text) {
  key(s, name);
  open_object(s);
  member(s, "code", code);
  key(s, "text");
  if (text != nullptr) {
    value(s, text);
  } else {
    value(s, nullptr);
  }
  close(s);
}

void open_document(stream &s, const json &header) {
  open_object(s);
  for (const auto &[name, made] : header.items()) member(s, name, made);
}

int finish_stream(stream &s, int exit_status) {
  member(s, "exit_status", exit_status);
  member(s, "messages", pages_messages());
  while (s.depth > 0) close(s);
  put(s, '\n');
  drain(s);
  if (s.file == nullptr) return 0;
  return !s.write_failed && std::fflush(s.file) == 0 && !std::ferror(s.file) ? 0 : -1;
}

int finish_stream_document(stream &s, int exit_status) {
  return output_outcome(finish_stream(s, exit_status) == 0, exit_status);
}

}  // namespace json_doc
