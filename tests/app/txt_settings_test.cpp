#include "app/txt_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "temp_dir.h"

namespace {

class TxtSettings : public ::testing::Test {
protected:
    void load(const std::string& text)
    {
        txt_settings_load(dir_.write("QUORVEL.TXT", text).c_str());
    }
    void TearDown() override { txt_settings_load(nullptr); }
    TempDir dir_;
};

std::string str_or_null(const char* s) { return s ? s : "<null>"; }

// What one text gives for one key ("<null>": not stored). Lookups are exact
// and case-sensitive; the first of repeated keys wins; Ctrl-Z ends the file;
// a last key without a value is not stored.
TEST_F(TxtSettings, PairRules)
{
    const char* kPaths = "REGION J\r\nRENDER_WIDTH 640\r\n\tSHADER_PATH   .\\data\\sh\\  \r\n";
    const struct {
        const char* text;
        const char* key;
        const char* want;
    } cases[] = {
        {kPaths, "REGION", "J"},
        {kPaths, "RENDER_WIDTH", "640"},
        {kPaths, "SHADER_PATH", ".\\data\\sh\\"},
        {kPaths, "region", "<null>"},
        {kPaths, "REGIO", "<null>"},
        {kPaths, "REGION ", "<null>"},
        {"A 1\nA 2\n", "A", "1"},
        {"A 1\n\032B 2\n", "A", "1"},
        {"A 1\n\032B 2\n", "B", "<null>"},
        {"A 1\nLONELY", "A", "1"},
        {"A 1\nLONELY", "LONELY", "<null>"},
    };
    for (const auto& c : cases) {
        load(c.text);
        EXPECT_EQ(str_or_null(txt_settings_get_string(c.key)), c.want) << c.key;
    }
    EXPECT_EQ(txt_settings_get_string(nullptr), nullptr);
}

TEST_F(TxtSettings, CommentFamily)
{
    // '#' in key position comments out the rest of its line, CRLF included.
    load("# KEY 5\r\nB 2 #note C 3\nD #\n7 8\n#x\rE 4\n");
    EXPECT_EQ(txt_settings_get_string("KEY"), nullptr);
    EXPECT_EQ(txt_settings_get_int_or("B", 0), 2);
    EXPECT_EQ(txt_settings_get_string("#note"), nullptr) << "a comment swallowed the line";
    EXPECT_EQ(txt_settings_get_string("C"), nullptr);
    // A '#' in value position is a value; the number after it becomes a key.
    EXPECT_EQ(str_or_null(txt_settings_get_string("D")), "#");
    EXPECT_EQ(str_or_null(txt_settings_get_string("7")), "8");
    EXPECT_EQ(txt_settings_get_int_or("E", 0), 4);
}

TEST_F(TxtSettings, CommentEndsAtNulCtrlZAndFF)
{
    load(std::string("#a \0b X 1\nY 2", 13));
    EXPECT_EQ(str_or_null(txt_settings_get_string("b")), "X") << "NUL ends the comment";
    load("#a \377K 9\n");
    EXPECT_EQ(txt_settings_get_int_or("K", 0), 9);
    load("#a\x1a K 9\n");
    EXPECT_EQ(txt_settings_get_string("K"), nullptr) << "Ctrl-Z is the end of the file";
}

TEST_F(TxtSettings, FieldLengthLimits)
{
    std::string k126(126, 'k'), k127(127, 'q'), v126(126, 'v'), v127(127, 'w');
    load(k126 + " " + v126 + "\nAFTER 1\n");
    EXPECT_EQ(str_or_null(txt_settings_get_string(k126.c_str())), v126);
    EXPECT_EQ(txt_settings_get_int_or("AFTER", 0), 1);

    load("BEFORE 1\n" + k127 + " x\nAFTER 1\n");
    EXPECT_EQ(txt_settings_get_int_or("BEFORE", 0), 1) << "entries before an early end stay";
    EXPECT_EQ(txt_settings_get_string(k127.c_str()), nullptr);
    EXPECT_EQ(txt_settings_get_string("AFTER"), nullptr);

    load("BEFORE 1\nKEY " + v127 + "\nAFTER 1\n");
    EXPECT_EQ(txt_settings_get_string("KEY"), nullptr);
    EXPECT_EQ(txt_settings_get_string("AFTER"), nullptr);
}

TEST_F(TxtSettings, HugeTokenEndsTheReading)
{
    load("BEFORE 1\n#" + std::string(1023, 'c') + "\nAFTER 1\n");
    EXPECT_EQ(txt_settings_get_int_or("AFTER", 0), 0) << "1024-character comment token";
    load("BEFORE 1\n#" + std::string(1021, 'c') + "\nAFTER 1\n");
    EXPECT_EQ(txt_settings_get_int_or("AFTER", 0), 1) << "1022-character comment token";
    load("A 1\nB " + std::string(1 << 20, 'z'));
    EXPECT_EQ(txt_settings_get_int_or("A", 0), 1);
    EXPECT_EQ(txt_settings_get_string("B"), nullptr);
}

TEST_F(TxtSettings, AtMost64Pairs)
{
    std::string text;
    for (int k = 0; k < 65; ++k) text += "K" + std::to_string(k) + " " + std::to_string(k) + "\n";
    load(text);
    EXPECT_EQ(txt_settings_get_int_or("K0", -1), 0);
    EXPECT_EQ(txt_settings_get_int_or("K63", -1), 63);
    EXPECT_EQ(txt_settings_get_int_or("K64", -1), -1);
}

TEST_F(TxtSettings, MissingFileEmptiesTheTable)
{
    load("A 1\n");
    txt_settings_load(dir_.file("NOPE.TXT").c_str());
    EXPECT_EQ(txt_settings_get_string("A"), nullptr);
    int32_t out = 77;
    EXPECT_EQ(txt_settings_get_int("A", &out), 0);
    EXPECT_EQ(out, 0) << "the out value is cleared first";
    EXPECT_EQ(txt_settings_get_int_or("A", 42), 42);
}

TEST_F(TxtSettings, BinaryGarbageNeverCrashes)
{
    std::string junk;
    uint32_t seed = 12345;
    for (int k = 0; k < 20000; ++k) {
        seed = seed * 1103515245u + 12345u;
        junk += char(seed >> 16);
    }
    load(junk);
    txt_settings_get_string("REGION");
}

TEST(TxtSettingsParse, QuirkyIntegerParser)
{
    EXPECT_EQ(txt_settings_parse_int("12"), 12);
    EXPECT_EQ(txt_settings_parse_int("-5"), -5);
    EXPECT_EQ(txt_settings_parse_int("5-"), -5);
    EXPECT_EQ(txt_settings_parse_int("1a"), 59);
    EXPECT_EQ(txt_settings_parse_int(""), 0);
    EXPECT_EQ(txt_settings_parse_int("4294967296"), 0) << "32-bit wrap-around";
    EXPECT_EQ(txt_settings_parse_int("2147483648"), INT32_MIN);
    EXPECT_EQ(txt_settings_parse_int("99999999999999999999"), int32_t(1661992959u));
}

}  // namespace
