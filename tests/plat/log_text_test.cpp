// The escape of names and texts in log lines: C0 and C1 controls, well-formed UTF-8, malformed
// and cut sequences, and the line escaped whole.
#include "plat/log_text.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using LogCases = std::pair<std::string, std::string>[];

// C0 and C1 controls are escaped and every other byte kept. A terminal may take 0x9b, alone or
// as U+009B, for the start of a control sequence; continuation bytes 0x80..0x9f of well-formed
// characters are theirs, not C1 controls; a malformed or cut sequence keeps its bytes, but a byte
// 0x80..0x9f in it is a raw C1 byte: an overlong form of U+009B, a surrogate or a code point past
// U+10FFFF hides none.
TEST(PlatLogText, ControlsAreEscapedUtf8KeptMalformedBytesHideNoRawC1AndALineEndsOnce)
{
    const LogCases cases = {
        {"a\nb", "a\\nb"},
        {"\r\t", "\\r\\t"},
        {std::string("\x1b[2J\x7f\x01", 6) + '\0', "\\x1b[2J\\x7f\\x01\\x00"},
        {"a\\b \"c\"", "a\\b \"c\""},  // a backslash is a character of a name
        {"a\xc2\x9b[2Jb", "a\\u009b[2Jb"},
        {"\xc2\x80\xc2\x9f", "\\u0080\\u009f"},
        {"\x9b[2J\x80\x9f", "\\x9b[2J\\x80\\x9f"},
        {"\xc2\xa0\xc2\xbf", "\xc2\xa0\xc2\xbf"},     // U+00A0 and U+00BF are no controls
        {"\xa0\xbf", "\xa0\xbf"},                     // nor raw bytes past 0x9f
        {"保存しました。", "保存しました。"},         // e4 bf 9d, e5 ad 98, e3 81 97 ...
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},     // U+1F600
        {"\xed\x9f\xbf", "\xed\x9f\xbf"},             // U+D7FF, the last before the surrogates
        {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},     // U+10FFFF
        {"\xe0\xa0\x80", "\xe0\xa0\x80"},             // U+0800, the first of three bytes
        {"\xe3\x81", "\xe3\\x81"},                    // cut at the end
        {"\xe3\x81-", "\xe3\\x81-"},                  // cut before ASCII
        {"\xc2", "\xc2"},                             // a lead byte alone
        {"\xc2\x1b", "\xc2\\x1b"},                    // a lead byte before a C0 control
        {"\xc0\x9b", "\xc0\\x9b"},                    // overlong, two bytes
        {"\xe0\x82\x9b", "\xe0\\x82\\x9b"},           // overlong, three bytes
        {"\xed\xa0\x80", "\xed\xa0\\x80"},            // a surrogate
        {"\xf4\x90\x80\x80", "\xf4\\x90\\x80\\x80"},  // past U+10FFFF
        {"\xf5\x80", "\xf5\\x80"},                    // no lead byte at all
        {"\xe3\xc2\x9b", "\xe3\\u009b"},              // a cut sequence, then a whole one
    };
    for (const auto& [text, logged] : cases) EXPECT_EQ(plat_log_escape(text), logged) << logged;
    // A log line is escaped whole, whatever part of it came from outside, and ends with one newline.
    EXPECT_EQ(plat_log_text("res: texture \"%s\" skipped: %s", "a\x1b]0;T\x07" "b", "why\n"),
              "res: texture \"a\\x1b]0;T\\x07b\" skipped: why\\n\n");
    EXPECT_EQ(plat_log_text("%d %s", 7, "保存"), "7 保存\n");
    const std::string wide(5000, 'x');
    EXPECT_EQ(plat_log_text("%s", wide.c_str()), wide + "\n");
}

}  // namespace
