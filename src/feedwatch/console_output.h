// The monitor's console output: printf-style formats written to standard
// output through one buffer that is flushed after each datagram.
//
// The formats are the classic runtime's: %d takes a signed 32-bit number, %u
// and %lu an unsigned 32-bit one, %x and %X print an unsigned 32-bit number
// in lower- or upper-case hexadecimal, %c a character, %s a narrow string and
// %S a UTF-16 string (printed as UTF-8).  In a wide format, %s takes a UTF-16
// string.  No flags, widths or precisions are used by the monitor.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace feedwatch {

// One argument of a console format.
class FormatArg {
 public:
  enum class Type { kSigned, kUnsigned, kChar, kText, kText16 };

  FormatArg() = default;
  FormatArg(std::int32_t v) : type_(Type::kSigned), number_(static_cast<std::uint32_t>(v)) {}
  FormatArg(std::uint32_t v) : type_(Type::kUnsigned), number_(v) {}
  FormatArg(char c) : type_(Type::kChar), number_(static_cast<unsigned char>(c)) {}
  FormatArg(const char* s) : type_(Type::kText), text_(s) {}
  FormatArg(std::string_view s) : type_(Type::kText), text_(s) {}
  FormatArg(const std::string& s) : type_(Type::kText), text_(s) {}
  FormatArg(std::u16string_view s) : type_(Type::kText16), text16_(s) {}
  FormatArg(const std::u16string& s) : type_(Type::kText16), text16_(s) {}

  Type type() const { return type_; }
  std::uint32_t number() const { return number_; }
  std::string_view text() const { return text_; }
  std::u16string_view text16() const { return text16_; }

 private:
  Type type_ = Type::kUnsigned;
  std::uint32_t number_ = 0;
  std::string_view text_;
  std::u16string_view text16_;
};

// Appends `format` with its placeholders filled from `args` to `out`.  With
// `wide`, %s takes a UTF-16 string.  A UTF-16 string ends at its first zero
// unit.  With `visible_controls`, the control characters of the texts and
// characters filled in (%s, %S, %c) are shown as escapes (see
// portable/visible_controls.h); the format's own text is copied as it is.
void append_formatted(std::string& out, std::string_view format, std::span<const FormatArg> args,
                      bool wide = false, bool visible_controls = false);

// Appends UTF-16 text as UTF-8, up to its first zero unit; an unpaired
// surrogate becomes U+FFFD.
void append_utf8(std::string& out, std::u16string_view text);

// The console: everything the monitor prints goes through it, into a buffer
// written to the stream by flush().
class Console {
 public:
  // Writes to `stream` (standard output in the program).  With
  // `visible_controls` (a terminal), texts filled into the formats, which
  // may come from a datagram, show their control characters as escapes.
  explicit Console(std::FILE* stream, bool visible_controls = false);
  // Flushes what is still buffered.
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // ConsolePrint: formatted narrow text.
  template <class... Args>
  void print(std::string_view format, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> a{FormatArg(args)...};
    print_args(format, a);
  }

  // ConsolePrintWide: a UTF-16 format whose %s takes a UTF-16 string.
  template <class... Args>
  void print_wide(std::u16string_view format, const Args&... args) {
    std::string narrow;
    append_utf8(narrow, format);
    const std::array<FormatArg, sizeof...(Args)> a{FormatArg(args)...};
    append(narrow, a, true);
  }

  // ConsolePrint with its arguments already gathered.
  void print_args(std::string_view format, std::span<const FormatArg> args) {
    append(format, args, false);
  }

  // Writes the buffered text to the stream and flushes the stream.  Returns
  // 0, or the platform's error number of the first write that failed: after
  // one, nothing more is written.
  int flush();

 private:
  void append(std::string_view format, std::span<const FormatArg> args, bool wide);
  void write_pending();

  std::FILE* stream_;
  bool visible_controls_;
  std::string pending_;
  int error_ = 0;
};

// Reports a failure that ends the monitor on standard error ("Error:
// <text>"); returns the monitor's exit status for it, -1.
int report_failure(std::string_view text);

// Reports a console that could not be written ("Error: cannot write output:
// <reason>"); returns -1.
int report_output_failure(int error);

}  // namespace feedwatch
