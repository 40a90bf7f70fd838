// Piecewise building of one log line in a text buffer.
#include <cstdarg>
#include <cstring>

#include "bounded/bounded.h"
#include "ses/ses_decode.h"

void line_append(text_span text, std::size_t *length, const char *format, ...) {
  if (*length >= text.size() - 1) return;  // full: nothing more fits
  va_list args;
  va_start(args, format);
  vsprintf_s(text.data() + *length, text.size() - *length, format, args);
  va_end(args);
  *length += strnlen(text.data() + *length, text.size() - *length);
}
