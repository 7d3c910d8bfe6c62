// The escape of names and texts in log lines.
#include "plat/log_text.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(PlatLogText, ControlCharactersAreEscapedAndEveryOtherByteKept)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a\nb", "a\\nb"},
        {"\r\t", "\\r\\t"},
        {std::string("\x1b[2J\x7f\x01", 6) + '\0', "\\x1b[2J\\x7f\\x01\\x00"},
        {"a\\b \"c\"", "a\\b \"c\""},  // a backslash is a character of a name
        {"保存しました。", "保存しました。"}};
    for (const auto& [text, logged] : cases) EXPECT_EQ(plat_log_escape(text), logged);
}

}  // namespace
