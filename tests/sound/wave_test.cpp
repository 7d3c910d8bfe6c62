// The WAVE reader against good files and against truncated or hostile ones.
#include <gtest/gtest.h>

#include "sound/wave.h"
#include "tools/gen/wave_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pcm(size_t n) { return Bytes(n, 0x11); }

TEST(Wave, ReadsFormatExtraBytesAndSkipsForeignChunks)
{
    WaveSpec ext;
    ext.tag = 0xFFFE;
    ext.extra.assign(22, 7);
    ext.list_chunk = true;
    WaveFile w{};
    const Bytes file = wave_bytes(ext, pcm(262144));
    ASSERT_TRUE(wave_parse(file, &w));
    EXPECT_EQ(std::tuple(w.tag, w.extra, w.data_size, file[w.data_offset]),
              std::tuple(0xFFFE, Bytes(22, 7), 262144u, 0x11));

    ASSERT_TRUE(wave_parse(wave_bytes(WaveSpec{}, pcm(3)), &w));  // odd size, pad byte
    EXPECT_TRUE(w.extra.empty());
    EXPECT_EQ(w.data_size, 3u);
}

TEST(Wave, RefusesTruncatedAndHostileFiles)
{
    const Bytes good = wave_bytes(WaveSpec{}, pcm(64));  // fmt at 12, data at 36
    WaveSpec ext;
    ext.tag = 0xFFFE;
    ext.extra.assign(22, 0);
    const Bytes good_ext = wave_bytes(ext, pcm(64));  // cbSize at 36
    struct Row {
        const char* name;
        const Bytes& from;
        size_t keep;  // bytes kept from the start
        size_t at;    // then `width` bytes there set to `value`, little-endian
        int width;
        uint32_t value;
        const char* why;  // the reason the log line gives
    };
    const size_t all = good.size();
    const char* run_past = "a chunk runs past the end of the RIFF chunk";
    const char* riff_size = "a RIFF size that does not fit the file";
    const Row rows[] = {
        {"empty", good, 0, 0, 0, 0, "shorter than a RIFF header"},
        {"header only", good, 11, 0, 0, 0, "shorter than a RIFF header"},
        {"not RIFF", good, all, 0, 1, 'X', "not a RIFF WAVE file"},
        {"not WAVE", good, all, 8, 1, 'X', "not a RIFF WAVE file"},
        {"RIFF longer than the file", good, all, 4, 4, 0xFFFFFFF0u, riff_size},
        {"RIFF shorter than its form", good, all, 4, 4, 2, riff_size},
        {"cut inside the samples", good, all - 10, 0, 0, 0, riff_size},
        {"data longer than RIFF", good, all, 40, 4, 1000, run_past},
        {"empty data", good, all, 40, 4, 0, "an empty \"data\" chunk"},
        {"short fmt", good, all, 16, 4, 12, "a \"fmt \" chunk shorter than 16 bytes"},
        {"fmt past RIFF", good, all, 16, 4, 0x7FFFFFFFu, run_past},
        {"cbSize past fmt", good_ext, good_ext.size(), 36, 1, 200,
         "extra format bytes past the end of the \"fmt \" chunk"},
        {"no data", good, all, 36, 1, 'X', "no \"data\" chunk"},
        {"no fmt", good, all, 12, 1, 'X', "no \"fmt \" chunk"},
    };
    for (const Row& r : rows) {
        Bytes b(r.from.begin(), r.from.begin() + ptrdiff_t(r.keep));
        for (int i = 0; i < r.width; ++i) b[r.at + size_t(i)] = uint8_t(r.value >> (8 * i));
        WaveFile w{};
        const char* why = nullptr;
        EXPECT_FALSE(wave_parse(b, &w, &why)) << r.name;
        EXPECT_STREQ(why, r.why) << r.name;
    }
}

}  // namespace
