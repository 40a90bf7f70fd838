#include "pages/json_doc.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "bounded/bounded.h"
#include "pages/pages.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace {

json_doc::json &messages() {
  static json_doc::json list = json_doc::json::array();
  return list;
}

bool g_messages_to_stderr = true;

void keep(const char *severity, const char *format, va_list args) {
  char text[kWhySize * 4] = {};
  (void)vsnprintf_truncated_s(text, sizeof text, format, args);
  if (g_messages_to_stderr) std::fprintf(stderr, "corvane-pages: %s\n", text);
  json_doc::json message = json_doc::json::object();
  message["severity"] = severity;
  message["text"] = text;
  messages().push_back(std::move(message));
}

}  // namespace

namespace json_doc {

json empty_object(std::size_t keys) {
  json object = json::object();
  object.get_ref<json::object_t &>().reserve(keys);
  return object;
}

json begin(const char *kind, int argc, char **argv) {
  json doc = empty_object(kHeaderKeys);
  doc["json_format_version"] = json::array({kFormatMajor, kFormatMinor});
  json arguments = json::array();
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
  doc["program"] = json::object();
  doc["program"]["name"] = "corvane-pages";
  doc["program"]["version"] = CORVANE_VERSION;
  doc["program"]["arguments"] = std::move(arguments);
  doc["document"] = kind;
  return doc;
}

void dump_to(const json &doc, std::FILE *out) {
  const std::string text = doc.dump(2, ' ', false, json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
}

int finish(json &doc, int exit_status, std::FILE *out) {
  doc["exit_status"] = exit_status;
  doc["messages"] = pages_messages();
  dump_to(doc, out);
  return std::fflush(out) == 0 && !std::ferror(out) ? 0 : -1;
}

int finish_document(json &doc, int exit_status) {
  return output_outcome(finish(doc, exit_status, stdout) == 0, exit_status);
}

std::string hex_string(const unsigned char *data, std::size_t n) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "0x";
  for (std::size_t i = 0; i < n; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
  }
  return text;
}

}  // namespace json_doc

int output_outcome(bool written, int exit_status) {
  if (written) return exit_status;
  std::fprintf(stderr, "corvane-pages: standard output could not be written: %s\n",
               std::strerror(errno));
  return exit_status == kExitOk ? kExitFailed : exit_status;
}

int finish_text(int exit_status) {
  return output_outcome(std::fflush(stdout) == 0 && !std::ferror(stdout), exit_status);
}

void pages_error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  keep("error", format, args);
  va_end(args);
}

void pages_warning(const char *format, ...) {
  va_list args;
  va_start(args, format);
  keep("warning", format, args);
  va_end(args);
}

const json_doc::json &pages_messages() { return messages(); }

void pages_messages_reset(bool to_stderr) {
  messages() = json_doc::json::array();
  g_messages_to_stderr = to_stderr;
}
