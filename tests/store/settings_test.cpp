// The arcade settings store: its files and checksums, round trips, bad and hostile copies, and
// the rows applied back to their variables.
#include "store/settings.h"
#include "plat/byte_order.h"
#include "temp_dir.h"

#include <tuple>

namespace {

std::string le_bytes(uint32_t v)
{
    uint8_t b[4];
    plat_le_put32(b, v);
    return std::string(b, b + 4);
}

uint32_t crc_of(const std::string& s)
{
    return crc32_table(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { settings_free(); }
    void TearDown() override { settings_free(); }
    std::string stem() const { return dir_.file("game"); }
    // A CFG copy with a matching (or given) CRC file.
    void write_copy(int k, const std::string& cfg) { write_copy(k, cfg, le_bytes(crc_of(cfg))); }
    void write_copy(int k, const std::string& cfg, const std::string& crc)
    {
        dir_.write("game" + std::to_string(k) + ".CFG", cfg);
        dir_.write("game" + std::to_string(k) + ".CRC", crc);
    }
    std::string cfg(int k) const { return dir_.read("game" + std::to_string(k) + ".CFG"); }
    void load(const SettingRow* rows = nullptr, uint32_t n = 0)
    {
        settings_free();
        ASSERT_EQ(settings_load(stem().c_str(), rows, n), 1);
    }
    TempDir dir_;
};

int32_t get_int(const char* name)
{
    int32_t v = -12345;
    return settings_get_int(name, &v) ? v : -12345;
}

std::string get_string(const char* name)
{
    const char* s = settings_get_string(name);
    return s ? s : "<null>";
}

TEST_F(SettingsStore, FileHelpersAndAnEmptyStoreFindsNothingAndSettersRefuseWhatCannotBeStored)
{
    EXPECT_EQ(settings_file_crc(dir_.write("e.CFG", "").c_str()), 0u);
    EXPECT_EQ(settings_file_size(dir_.write("s.CFG", "12345").c_str()), 5);
    EXPECT_EQ(settings_file_size(dir_.file("none").c_str()), 0);
    EXPECT_EQ(settings_file_crc(dir_.file("none").c_str()), 0u);
    std::string big(12 * 16384 + 1, 'x');  // read in pieces, the last of one byte
    EXPECT_EQ(settings_file_crc(dir_.write("big", big).c_str()), 0x1D16DCAAu);  // zlib's crc32
    ASSERT_EQ(
        settings_write_crc(dir_.write("abc.CFG", "abc").c_str(), dir_.file("abc.CRC").c_str()), 1);
    EXPECT_EQ(dir_.read("abc.CRC"), std::string("\xC2\x41\x24\x35", 4));
    EXPECT_EQ(settings_write_crc(dir_.file("none").c_str(), dir_.file("n.CRC").c_str()), 0);
    // The CRC-32 check value; the bitwise variant's values come from the same sum taken MSB first
    // with 0x7C mirrored (0x3E000000), a way that gives zlib's values with CRC-32's polynomial.
    const auto* check = reinterpret_cast<const uint8_t*>("123456789abc");
    EXPECT_EQ(
        std::tuple(crc32_table(check, 9), crc32_bitwise(check, 9), crc32_bitwise(check + 9, 3)),
        std::tuple(0xCBF43926u, 0xFFFFFFC2u, 0xFFFFFF48u));
    int32_t out = 99;
    EXPECT_EQ(settings_get_int("golng", &out), 0);
    EXPECT_EQ(out, 99) << "out value untouched";
    EXPECT_EQ(std::tuple(settings_get_int_or("golng", 5), get_string("golng"),
                         settings_get_int_default("golng"), settings_reset_int("golng")),
              std::tuple(5, "<null>", 0, 0));
    const std::string long_name(SETTINGS_MAX_NAME + 1, 'n');
    for (const char* name : {long_name.c_str(), "", "two words", (const char*)nullptr})
        EXPECT_EQ(settings_set_int(name, 1), 0) << (name ? name : "null");
    EXPECT_EQ(settings_set_int(long_name.c_str() + 1, 1), 1);  // the longest name
    EXPECT_EQ(settings_set_string("s", nullptr), 0);
    EXPECT_EQ(settings_set_string("s", "line\nbreak"), 0);
    EXPECT_EQ(settings_set_string("s", std::string(SETTINGS_MAX_VALUE + 1, 'v').c_str()), 0);
    EXPECT_EQ(settings_set_string("s", std::string(SETTINGS_MAX_VALUE, 'v').c_str()), 1);
    EXPECT_EQ(settings_load(nullptr, nullptr, 0), 0);
    EXPECT_EQ(settings_load(long_name.c_str(), nullptr, 0), 0);
}

TEST_F(SettingsStore, RoundTripOfAllTypes)
{
    load();
    ASSERT_EQ(settings_set_int("coins", -42), 1);
    ASSERT_EQ(settings_set_float("gain", 0.25f), 1);
    ASSERT_EQ(settings_set_string("title", "two words  here"), 1);
    ASSERT_EQ(settings_set_string("blank", ""), 1);
    ASSERT_EQ(settings_set_int("after", 7), 1);
    settings_save();
    load();
    float f = 0;
    ASSERT_EQ(settings_get_float("gain", &f), 1);
    // An empty string must not shift the next line.
    EXPECT_EQ(
        std::tuple(get_int("coins"), f, get_string("title"), get_string("blank"), get_int("after")),
        std::tuple(-42, 0.25f, "two words  here", "", 7));
}

TEST_F(SettingsStore, ExtraSettingInFileIsKeptAndATypeChangeReplacesTheValue)
{
    write_copy(0, "sndvol\t0\t3\nmine\t0\t77\n");
    load(settings_rows_for_region(1), settings_row_count_for_region(1));
    // The file's value beats the row's; a reset gives the row's default.
    EXPECT_EQ(std::tuple(get_int("sndvol"), settings_get_int_default("sndvol"), get_int("mine")),
              std::tuple(3, 16, 77));
    EXPECT_EQ(settings_reset_int("sndvol"), 16);
    EXPECT_EQ(get_int("sndvol"), 16);
    EXPECT_NE(cfg(1).find("mine\t0\t77\n"), std::string::npos);
    // A string in the file meets an integer row: no value may stay a string.
    write_copy(0, "golng\t2\tabc\n");
    load(settings_rows_for_region(0), settings_row_count_for_region(0));
    EXPECT_EQ(std::tuple(get_string("golng"), get_int("golng"), settings_get_int_default("golng")),
              std::tuple("<null>", 0, 0));
    EXPECT_NE(cfg(0).find("golng\t0\t0\n"), std::string::npos);
}

// A copy failing its CRC gives way to the other (a = 2), both written anew. With its CRC right
// but not readable whole, what came before the fault stays; an oversized copy is not read at all.
// Both bad: the defaults.
TEST_F(SettingsStore, BadCopyFamily)
{
    const std::string edited = "a\t0\t9\n", truncated = "a\t0\t1\nb\t0\t",
                      long_name = "a\t0\t1\n" + std::string(SETTINGS_MAX_NAME + 1, 'n') +
                                  "\t0\t1\nb\t0\t2\n",
                      oversized = "a\t0\t5\n" + std::string(size_t(SETTINGS_MAX_FILE_BYTES), ' '),
                      no_file = "<no CRC file>";
    const auto own = [](const std::string& cfg) { return le_bytes(crc_of(cfg)); };
    const struct {
        const char* what;
        std::string cfg0, crc0;
        int a;
    } cases[] = {
        {"edited without its CRC", edited, own("a\t0\t2\n"), 2},
        {"CRC file missing", edited, no_file, 2},
        {"CRC file short", edited, own(edited).substr(0, 3), 2},
        {"CRC file empty", edited, "", 2},
        {"truncated CFG", "a\t0\t", own(edited), 2},
        {"truncated last line", truncated, own(truncated), 1},
        {"over-long name", long_name, own(long_name), 1},
        {"oversized", oversized, own(oversized), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir_.write("game0.CFG", c.cfg0);
        std::filesystem::remove(dir_.file("game0.CRC"));
        if (c.crc0 != no_file) dir_.write("game0.CRC", c.crc0);
        write_copy(1, "a\t0\t2\n");
        load();
        const std::string want = "a\t0\t" + std::to_string(c.a) + "\n";
        EXPECT_EQ(std::tuple(get_int("a"), get_int("b"), cfg(0), dir_.read("game0.CRC")),
                  std::tuple(c.a, -12345, want, own(want)));
    }
    write_copy(0, "sndvol\t0\t1\n", le_bytes(0));
    write_copy(1, "sndvol\t0\t2\n", "xx");
    load(settings_rows_for_region(2), settings_row_count_for_region(2));
    EXPECT_EQ(get_int("sndvol"), 16);
}

TEST_F(SettingsStore, HostileButCheckedFiles)
{
    // The CRC matches, so these are read up to their first fault, and what was read is written
    // back; none may crash or overrun.
    const std::pair<std::string, std::string> cases[] = {
        {std::string(5000, 'n') + "\t0\t1\nok\t0\t1\n", ""},       // over-long name
        {"s\t2\t" + std::string(5000, 'v') + "\nok\t0\t1\n", ""},  // over-long string
        {"x\tzz\t1\n", ""},                                        // type not a number
        {"x\t7\t5\n", ""},  // unknown type: its value is a name without a type
        {"s 2  two  words\r\nt\t2\t\r\n", "s\t2\ttwo  words\nt\t2\t\n"},  // blanks, CRLF
        {std::string("a\t0\t1\0\nb\t2\tz\n", 14), "a\t0\t1\n"},  // a NUL byte ends the text
        {std::string(2000, '\n') + "\t\t\t", ""},
    };
    for (const auto& [text, kept] : cases) {
        write_copy(0, text);
        std::filesystem::remove(dir_.file("game1.CFG"));
        load();
        EXPECT_EQ(cfg(0), kept) << text.substr(0, 12);
    }
    write_copy(0, "x\t0\tnotanumber\ny\t1\tjunk\nz\t0\t99999999999\nw\t0\t-12abc\n");
    load();
    float f = 1;
    EXPECT_EQ(settings_get_float("y", &f), 1);
    EXPECT_EQ(std::tuple(get_int("x"), get_int("z"), get_int("w"), f),
              std::tuple(0, INT32_MAX, -12, 0.0f));
}

TEST_F(SettingsStore, ApplyWritesVariablesBack)
{
    SettingRow* rows = settings_rows_for_region(3);
    uint32_t n = settings_row_count_for_region(3);
    load(rows, n);
    int32_t* sndvol = static_cast<int32_t*>(rows[0].variable);
    int32_t* ioacmax = static_cast<int32_t*>(rows[3].variable);
    int32_t keep_snd = *sndvol, keep_io = *ioacmax;
    *sndvol = 5;
    *ioacmax = 1;
    settings_apply_flagged(rows, n);
    EXPECT_EQ(get_int("sndvol"), 5);
    EXPECT_EQ(get_int("ioacmax"), 44000) << "flag-0 rows are left alone";
    settings_apply_all(rows, n);
    EXPECT_EQ(get_int("ioacmax"), 1);
    EXPECT_NE(cfg(1).find("ioacmax\t0\t1\n"), std::string::npos);
    *sndvol = keep_snd;
    *ioacmax = keep_io;
}

}  // namespace
