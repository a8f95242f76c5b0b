#include "feedwatch/console_output.h"

#include <charconv>

#include "platform/system.h"
#include "portable/visible_controls.h"
#include "portable/error_line.h"

namespace feedwatch {
namespace {

// Past this much buffered text, the console writes even before a flush.
constexpr std::size_t kBufferLimit = 1 << 16;

void append_unsigned(std::string& out, std::uint32_t v, int base, bool upper) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, v, base).ptr;
  if (upper) {
    for (char* c = digits; c != end; ++c) {
      if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
    }
  }
  out.append(digits, end);
}

void append_signed(std::string& out, std::int32_t v) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  out.append(digits, end);
}

void append_code_point(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void append_argument(std::string& out, char conversion, const FormatArg& arg, bool wide) {
  switch (conversion) {
    case 'd': append_signed(out, static_cast<std::int32_t>(arg.number())); break;
    case 'u': append_unsigned(out, arg.number(), 10, false); break;
    case 'x': append_unsigned(out, arg.number(), 16, false); break;
    case 'X': append_unsigned(out, arg.number(), 16, true); break;
    case 'c': out.push_back(static_cast<char>(arg.number())); break;
    case 's':
      if (wide) {
        append_utf8(out, arg.text16());
      } else {
        const std::string_view s = arg.text();
        out.append(s.substr(0, s.find('\0')));
      }
      break;
    case 'S': append_utf8(out, arg.text16()); break;
    default: break;
  }
}

// The conversions that fill in text, which may come from a datagram.
bool is_text(char conversion) {
  return conversion == 's' || conversion == 'S' || conversion == 'c';
}

}  // namespace

void append_utf8(std::string& out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size() && text[i] != u'\0'; ++i) {
    const char16_t u = text[i];
    if (is_high_surrogate(u) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      append_code_point(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
      append_code_point(out, 0xFFFD);
    } else {
      append_code_point(out, u);
    }
  }
}

void append_formatted(std::string& out, std::string_view format, std::span<const FormatArg> args,
                      bool wide, bool visible_controls) {
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < format.size()) {
    const std::size_t percent = format.find('%', i);
    if (percent == std::string_view::npos || percent + 1 >= format.size()) {
      out.append(format.substr(i));
      return;
    }
    out.append(format.substr(i, percent - i));
    std::size_t c = percent + 1;
    if (format[c] == '%') {
      out.push_back('%');
      i = c + 1;
      continue;
    }
    if (format[c] == 'l' && c + 1 < format.size()) ++c;
    if (next < args.size()) {
      if (visible_controls && is_text(format[c])) {
        std::string text;
        append_argument(text, format[c], args[next++], wide);
        portable::append_visible(out, text);
      } else {
        append_argument(out, format[c], args[next++], wide);
      }
    }
    i = c + 1;
  }
}

Console::Console(std::FILE* stream, bool visible_controls)
    : stream_(stream), visible_controls_(visible_controls) {}

Console::~Console() { flush(); }

void Console::append(std::string_view format, std::span<const FormatArg> args, bool wide) {
  append_formatted(pending_, format, args, wide, visible_controls_);
  if (pending_.size() >= kBufferLimit) write_pending();
}

void Console::write_pending() {
  if (error_ == 0) error_ = platform::write_output(stream_, pending_);
  pending_.clear();
}

int Console::flush() {
  write_pending();
  if (error_ == 0) error_ = platform::flush_output(stream_);
  return error_;
}

int report_failure(std::string_view text) {
  portable::write_error_line(text);
  return -1;
}

int report_output_failure(int error) {
  return report_failure(platform::output_failure_text(error));
}

}  // namespace feedwatch
