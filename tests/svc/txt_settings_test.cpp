// The settings text: pairs, comments and length limits, binary garbage, a missing file, and the
// integer parser.
#include "svc/txt_settings.h"
#include "svc/txt_settings_local.h"
#include "temp_dir.h"

#include <cstring>
#include <set>
#include <string_view>
#include <vector>

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

constexpr std::string_view TXT_SETTINGS_TEST_SEPARATORS = " \t\r\n\v\f";

// One key's value per text ("<null>": none): exact lookups, the first of repeated keys wins,
// Ctrl-Z ends the file, a last key without a value is not stored, 64 pairs at most.
TEST_F(TxtSettings, PairCommentAndLengthRulesAndAMissingFileEmptiesTheTable)
{
    const std::string paths = "REGION J\r\nRENDER_WIDTH 640\r\n\tSHADER_PATH   .\\data\\sh\\  \r\n";
    const std::string comments = "# KEY 5\r\nB 2 #note C 3\nD #\n7 8\n#x\rE 4\n";
    const std::string k126(126, 'k'), k127(127, 'q'), v126(126, 'v');
    const std::string fits = k126 + " " + v126 + "\nAFTER 1\n",
                      long_key = "BEFORE 1\n" + k127 + " x\nAFTER 1\n",
                      long_value = "BEFORE 1\nKEY " + std::string(127, 'w') + "\nAFTER 1\n",
                      huge = "A 1\nB " + std::string(1 << 20, 'z');
    std::string pairs65;
    for (int k = 0; k < 65; ++k)
        pairs65 += "K" + std::to_string(k) + " " + std::to_string(k) + "\n";
    const struct {
        std::string text;
        std::vector<std::pair<std::string, std::string>> keys;  // key, value
    } cases[] = {
        {paths, {{"REGION", "J"}, {"RENDER_WIDTH", "640"}, {"SHADER_PATH", ".\\data\\sh\\"}}},
        {paths, {{"region", "<null>"}, {"REGIO", "<null>"}, {"REGION ", "<null>"}}},
        {"A 1\nA 2\n", {{"A", "1"}}},
        {"A 1\n\032B 2\n", {{"A", "1"}, {"B", "<null>"}}},
        {"A 1\nLONELY", {{"A", "1"}, {"LONELY", "<null>"}}},
        // '#' in key position comments out the rest of its line, CRLF included; in value
        // position it is a value, and the number after it becomes a key.
        {comments, {{"KEY", "<null>"}, {"B", "2"}, {"#note", "<null>"}, {"C", "<null>"}}},
        {comments, {{"D", "#"}, {"7", "8"}, {"E", "4"}}},
        // A comment ends at NUL and 0xFF; Ctrl-Z ends the file.
        {std::string("#a \0b X 1\nY 2", 13), {{"b", "X"}}},
        {"#a \377K 9\n", {{"K", "9"}}},
        {"#a\x1a K 9\n", {{"K", "<null>"}}},
        // 126 characters fit; a longer key or value, or a token of 1,024 characters, ends the
        // reading, and the entries before it stay.
        {fits, {{k126, v126}, {"AFTER", "1"}}},
        {long_key, {{"BEFORE", "1"}, {k127, "<null>"}, {"AFTER", "<null>"}}},
        {long_value, {{"KEY", "<null>"}, {"AFTER", "<null>"}}},
        {"BEFORE 1\n#" + std::string(1023, 'c') + "\nAFTER 1\n", {{"AFTER", "<null>"}}},
        {"BEFORE 1\n#" + std::string(1021, 'c') + "\nAFTER 1\n", {{"AFTER", "1"}}},
        {huge, {{"A", "1"}, {"B", "<null>"}}},
        // At most 64 pairs are kept.
        {pairs65, {{"K0", "0"}, {"K63", "63"}, {"K64", "<null>"}}},
    };
    for (const auto& c : cases) {
        load(c.text);
        for (const auto& [key, want] : c.keys)
            EXPECT_EQ(str_or_null(txt_settings_get_string(key.c_str())), want) << key;
    }
    EXPECT_EQ(txt_settings_get_string(nullptr), nullptr);
    // A missing file empties the table.
    load("A 1\n");
    txt_settings_load(dir_.file("NOPE.TXT").c_str());
    EXPECT_EQ(txt_settings_get_string("A"), nullptr);
    int32_t out = 77;
    EXPECT_EQ(txt_settings_get_int("A", &out), 0);
    EXPECT_EQ(out, 0) << "the out value is cleared first";
    EXPECT_EQ(txt_settings_get_int_or("A", 42), 42);
}

// Garbage after a valid start: the pairs before it read back, keys the text
// never names are absent (their readers keep their defaults, whatever an
// earlier text said), at most 64 keys answer, and every value fits its field.
TEST_F(TxtSettings, BinaryGarbageKeepsTheValidPartAndTheLimits)
{
    const std::string head = "RENDER_WIDTH 640\nSHADER_PATH sh/\n";
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return uint8_t(seed >> 16);
    };
    auto any_bytes = [&] {
        std::string junk;
        for (int k = 0; k < 20000; ++k) junk += char(next());
        return junk;
    };
    // Words of every byte but the separators, Ctrl-Z and NUL, of lo to hi bytes.
    auto binary_words = [&](int lo, int hi) {
        std::string junk;
        for (int w = 0; w < 400; ++w) {
            const int len = lo + next() % (hi - lo + 1);
            for (int k = 0; k < len;) {
                const uint8_t c = next();
                if (c == 0 || c == 26 ||
                    TXT_SETTINGS_TEST_SEPARATORS.find(char(c)) != std::string_view::npos)
                    continue;
                junk += char(c);
                ++k;
            }
            junk += " \t\r\n"[next() % 4];
        }
        return junk;
    };
    const struct {
        const char* what;
        std::string junk;
        int want_keys;  // keys that answer; -1: any number up to 64
    } cases[] = {
        {"every byte value", any_bytes(), -1},
        // Far more pairs than the table holds.
        {"short binary words", binary_words(8, 57), TXT_SETTINGS_MAX_ENTRIES},
        // Words up to one byte too long for a field: the first of those ends the reading.
        {"long binary words", binary_words(120, 127), -1},
        {"one endless token", std::string(5000, '\x9c'), 2},
    };
    // An earlier text that fills the table, its last two entries naming real keys.
    std::string earlier;
    for (int k = 0; k < TXT_SETTINGS_MAX_ENTRIES - 2; ++k)
        earlier += "P" + std::to_string(k) + " 1\n";
    earlier += "ENABLE_VSYNC 0\nFONT_DATA_PATH f/\n";
    for (const auto& c : cases) {
        ASSERT_EQ(c.junk.find("ENABLE_VSYNC"), std::string::npos);
        load(earlier);
        ASSERT_EQ(txt_settings_get_int_or("ENABLE_VSYNC", 1), 0);
        const std::string text = head + c.junk;
        load(text);
        EXPECT_EQ(txt_settings_get_int_or("RENDER_WIDTH", 0), 640) << c.what;
        EXPECT_EQ(str_or_null(txt_settings_get_string("SHADER_PATH")), "sh/") << c.what;
        EXPECT_EQ(txt_settings_get_int_or("ENABLE_VSYNC", 1), 1) << c.what;
        EXPECT_EQ(txt_settings_get_string("FONT_DATA_PATH"), nullptr) << c.what;
        // Every token of the text asked for as a key.
        std::set<std::string> answering;
        size_t at = 0;
        while ((at = text.find_first_not_of(TXT_SETTINGS_TEST_SEPARATORS, at)) !=
               std::string::npos) {
            const size_t end =
                std::min(text.find_first_of(TXT_SETTINGS_TEST_SEPARATORS, at), text.size());
            const std::string key = text.substr(at, end - at);
            at = end;
            const char* v = txt_settings_get_string(key.c_str());
            if (!v) continue;
            answering.insert(key.c_str());
            EXPECT_GT(std::strlen(v), 0u) << c.what;
            EXPECT_LT(std::strlen(v), size_t(TXT_SETTINGS_FIELD_SIZE - 1)) << c.what;
        }
        EXPECT_LE(answering.size(), size_t(TXT_SETTINGS_MAX_ENTRIES)) << c.what;
        if (c.want_keys >= 0) EXPECT_EQ(answering.size(), size_t(c.want_keys)) << c.what;
    }
}

TEST(TxtSettingsParse, QuirkyIntegerParser)
{
    // 4294967296 wraps around to 0 in 32 bits.
    const std::pair<const char*, int32_t> cases[] = {{"12", 12}, {"-5", -5}, {"5-", -5},
                                                     {"1a", 59}, {"", 0},    {"4294967296", 0}};
    for (const auto& [text, want] : cases) EXPECT_EQ(txt_settings_parse_int(text), want) << text;
    EXPECT_EQ(txt_settings_parse_int("2147483648"), INT32_MIN);
    EXPECT_EQ(txt_settings_parse_int("99999999999999999999"), int32_t(1661992959u));
}

}  // namespace
