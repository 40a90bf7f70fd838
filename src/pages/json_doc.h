// The one document a corvane-pages run writes with --json, and the messages
// of the run: every reason written to standard error is also kept, with its
// severity, for the document's "messages".
//
// A document is an ordered JSON object: the header ("json_format_version",
// "program", "document", the command's own keys), then "exit_status" and
// "messages" when it is finished. Nothing here throws: the library is built
// without exceptions, strings that are not UTF-8 are written with U+FFFD.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <nlohmann/json.hpp>

namespace json_doc {

using json = nlohmann::ordered_json;

// The format's version, [major, minor]: a minor version adds keys; removing,
// renaming or retyping a key raises the major version.
inline constexpr int kFormatMajor = 1;
inline constexpr int kFormatMinor = 0;

// An empty object with room for keys keys. The ordered object keeps its keys
// in a vector whose elements are copied, not moved, when it grows: an object
// that gets a key after a large value is made with room for all its keys.
json empty_object(std::size_t keys);

// Keys a document's top level holds at most: the header, a command's own
// keys, "exit_status" and "messages".
inline constexpr std::size_t kHeaderKeys = 16;

// A new document of kind ("status", "decode", "image", "capture") with the
// header naming the program, its version and its arguments (argv[1..argc)).
json begin(const char *kind, int argc, char **argv);

// Adds "exit_status" and the run's messages, then writes the document and a
// newline to out and flushes it. 0, or -1 when it could not be written.
int finish(json &doc, int exit_status, std::FILE *out);

// Finishes doc on standard output as finish does; a failure to write it is
// reported on standard error and turns an exit status of 0 into 1.
int finish_document(json &doc, int exit_status);

// The document as text, as finish writes it.
void dump_to(const json &doc, std::FILE *out);

// A SAS address or designator as "0x" and two hex digits a byte.
std::string hex_string(const unsigned char *data, std::size_t n);

}  // namespace json_doc

// The exit status of a run whose standard output was written, or was not:
// a failed write is reported on standard error and turns 0 into 1.
int output_outcome(bool written, int exit_status);

// Writes "corvane-pages: TEXT" to standard error and keeps it as an "error"
// message of the run.
void pages_error(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The same as a "warning".
void pages_warning(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The run's messages so far, as the document's "messages" array.
const json_doc::json &pages_messages();
// Forgets the messages kept, and whether later ones are also written to
// standard error (they are unless told otherwise); for callers that decode
// many inputs in one process.
void pages_messages_reset(bool to_stderr);

// The decode document of several pages (a run without arguments), as decode
// --json writes it; the exit status.
int decode_pages_document(std::span<const std::span<const std::uint8_t>> list, const char *path,
                          std::string &document);
