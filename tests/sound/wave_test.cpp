// The WAVE reader against good files and against truncated or hostile ones.
#include <gtest/gtest.h>

#include "sound/wave.h"
#include "tools/gen/wave_file.h"

#include <functional>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pcm(size_t n) { return Bytes(n, 0x11); }
void set32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST(Wave, ReadsFormatExtraBytesAndSkipsForeignChunks)
{
    WaveSpec ext;
    ext.tag = 0xFFFE;
    ext.extra.assign(22, 7);
    ext.list_chunk = true;
    WaveFile w{};
    const Bytes file = wave_bytes(ext, pcm(262144));
    ASSERT_TRUE(wave_parse(file, &w));
    EXPECT_EQ(w.tag, 0xFFFE);
    EXPECT_EQ(w.extra, Bytes(22, 7));
    EXPECT_EQ(w.data_size, 262144u);
    EXPECT_EQ(file[w.data_offset], 0x11);

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
    const std::vector<std::pair<const char*, std::function<Bytes()>>> cases = {
        {"empty", [] { return Bytes{}; }},
        {"header only", [&] { return Bytes(good.begin(), good.begin() + 11); }},
        {"not RIFF",
         [&] {
             Bytes b = good;
             b[0] = 'X';
             return b;
         }},
        {"not WAVE",
         [&] {
             Bytes b = good;
             b[8] = 'X';
             return b;
         }},
        {"RIFF longer than the file",
         [&] {
             Bytes b = good;
             set32(b, 4, 0xFFFFFFF0u);
             return b;
         }},
        {"cut inside the samples",
         [&] {
             Bytes b = good;
             b.resize(b.size() - 10);
             return b;
         }},
        {"data longer than RIFF",
         [&] {
             Bytes b = good;
             set32(b, 40, 1000);
             return b;
         }},
        {"empty data",
         [&] {
             Bytes b = good;
             set32(b, 40, 0);
             return b;
         }},
        {"short fmt",
         [&] {
             Bytes b = good;
             set32(b, 16, 12);
             return b;
         }},
        {"fmt past RIFF",
         [&] {
             Bytes b = good;
             set32(b, 16, 0x7FFFFFFFu);
             return b;
         }},
        {"cbSize past fmt",
         [&] {
             Bytes b = good_ext;
             b[36] = 200;
             return b;
         }},
        {"no data",
         [&] {
             Bytes b = good;
             b[36] = 'X';
             return b;
         }},
        {"no fmt",
         [&] {
             Bytes b = good;
             b[12] = 'X';
             return b;
         }},
    };
    for (const auto& [name, make] : cases) {
        WaveFile w{};
        const Bytes b = make();
        EXPECT_FALSE(wave_parse(b, &w)) << name;
    }
}

}  // namespace
