#include "portable/visible_controls.h"

namespace portable {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// UTF-8 encodes U+0080 to U+009F as 0xC2 followed by the code point's low byte.
constexpr char kC1Lead = '\xC2';

bool is_c1_second_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 && byte <= 0x9F;
}

void append_hex(std::string& out, const char* prefix, unsigned char byte) {
  out += prefix;
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

}  // namespace

void append_visible(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) {
      append_hex(out, "\\x", byte);
    } else if (text[i] == kC1Lead && i + 1 < text.size() && is_c1_second_byte(text[i + 1])) {
      append_hex(out, "\\u00", static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
}

}  // namespace portable
