// Text taken from a datagram, made safe to show on a terminal: a control
// character written there could retitle, clear or reprogram the terminal, so
// it is shown as an escape instead.
#pragma once

#include <string>
#include <string_view>

namespace portable {

// Appends the UTF-8 `text` to `out` with every control character but tab and
// line feed made visible: C0 characters and DEL as "\x" and two lower-case
// hexadecimal digits ("\x1b" for ESC), C1 characters (U+0080 to U+009F) as
// "\u" and four ("\u009b").  Every other byte is copied as it is.
void append_visible(std::string& out, std::string_view text);

}  // namespace portable
