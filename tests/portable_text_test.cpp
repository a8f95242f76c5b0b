// Text that both programs read from a file or show from a datagram: dotted
// IPv4 addresses read strictly, and control characters made visible.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/sockets.h"
#include "portable/dotted_address.h"
#include "portable/visible_controls.h"

namespace {

// Every address accepted reads back as the same text; everything the classic
// conversion reads loosely, or not at all, is refused.
TEST(StrictDottedAddress, FourDecimalNumbersAndNothingElse) {
  for (const char* text : {"0.0.0.0", "10.0.0.15", "1.2.3.4", "255.255.255.255"}) {
    const std::optional<platform::Ipv4> address = portable::strict_dotted_address(text);
    ASSERT_TRUE(address) << text;
    EXPECT_EQ(platform::dotted(*address), text);
  }
  for (const char* text :
       {"", "111", "10.0.l.1", "10.9", "1.2.3", "1.2.3.4.", "1.2.3.4.5", "256.0.0.1", "1.2.3.1000",
        "010.0.0.1", "0x7f.0.0.1", " 1.2.3.4", "1.2.3.4 ", "1..3.4", "1.2.3.-4", "+1.2.3.4"}) {
    EXPECT_FALSE(portable::strict_dotted_address(text)) << '"' << text << '"';
  }
}

TEST(VisibleControls, EveryControlButTabAndLineFeedShowsEscaped) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"CCSERVER01", "CCSERVER01"},
      {"a\tb\nc", "a\tb\nc"},
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
      {"\x1b[2J\r\x7f", "\\x1b[2J\\x0d\\x7f"},
      {std::string_view("\0\x1f", 2), "\\x00\\x1f"},
      {"\xc2\x80 \xc2\x9b\xc2\x9f", "\\u0080 \\u009b\\u009f"},
      {"\xc2\xa0\xc3\xa9\xe2\x82\xac", "\xc2\xa0\xc3\xa9\xe2\x82\xac"},  // NBSP, e acute, euro
      {"\\x1b", "\\x1b"},                                                // already text
      {"\xc2", "\xc2"},                                                  // cut short
  };
  for (const auto& [text, shown] : cases) {
    std::string out = "> ";
    portable::append_visible(out, text);
    EXPECT_EQ(out, "> " + std::string(shown)) << text;
  }
}

}  // namespace
