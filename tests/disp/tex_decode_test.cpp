// Row converters and DXT block decoders against hand-computed colours.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "disp/rstate.h"
#include "disp/tex_decode.h"

namespace {

// A DXT1 block: end colours c0, c1, then one index byte per row.
std::array<uint8_t, 8> dxt1_block(uint16_t c0, uint16_t c1, uint8_t r0, uint8_t r1 = 0,
                                  uint8_t r2 = 0, uint8_t r3 = 0)
{
    return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), r0, r1, r2, r3};
}

std::vector<uint32_t> decode(int fmt, const std::vector<uint8_t>& src, int x, int y, int w, int h,
                             int pitch, int* result = nullptr)
{
    std::vector<uint32_t> out(size_t(w) * size_t(h), 0xDEADBEEF);
    int r = tex_row_convert(fmt, out, src, x, y, w, h, pitch);
    if (result) *result = r;
    return out;
}

}  // namespace

TEST(DxtColour, FourColourModeInterpolatesThirds)
{
    auto b = dxt1_block(0xF800, 0x001F, 0xE4);  // red, blue; row 0 indices 0,1,2,3
    std::vector<uint8_t> src(b.begin(), b.end());
    auto px = decode(kSfDxt1, src, 0, 0, 4, 4, 8);
    EXPECT_EQ(px[0], 0xFFF80000u);
    EXPECT_EQ(px[1], 0xFF0000F8u);
    EXPECT_EQ(px[2], 0xFFA50053u);  // (2*248+0+1)/3 = 165, (0+248+1)/3 = 83
    EXPECT_EQ(px[3], 0xFF5300A5u);
    EXPECT_EQ(px[4], 0xFFF80000u);  // row 1: all index 0
}

TEST(DxtColour, EqualEndsMakeIndexThreeTransparentInEveryFormat)
{
    // Green 0x07E0 expands to 252 without low-bit replication.
    auto b = dxt1_block(0x07E0, 0x07E0, 0xFF, 0x00);
    std::vector<uint8_t> dxt1(b.begin(), b.end());
    auto px = decode(kSfDxt1, dxt1, 0, 0, 4, 2, 8);
    EXPECT_EQ(px[0], 0x0000FC00u);
    EXPECT_EQ(px[4], 0xFF00FC00u);
    // DXT3 with full explicit alpha: index 3 still loses its alpha.
    std::vector<uint8_t> dxt3(8, 0xFF);
    dxt3.insert(dxt3.end(), b.begin(), b.end());
    px = decode(kSfDxt3, dxt3, 0, 0, 4, 2, 16);
    EXPECT_EQ(px[0], 0x0000FC00u);
    EXPECT_EQ(px[4], 0xFF00FC00u);
}

TEST(DxtAlpha, ExplicitFourBitAlphaTimesSeventeen)
{
    std::vector<uint8_t> src = {0xA5, 0xF0, 0, 0, 0, 0, 0, 0};  // row 0 word 0xF0A5
    auto c = dxt1_block(0xFFFF, 0x0000, 0);                     // white, index 0
    src.insert(src.end(), c.begin(), c.end());
    for (int fmt : std::initializer_list<int>{kSfDxt2, kSfDxt3}) {
        auto px = decode(fmt, src, 0, 0, 4, 2, 16);
        EXPECT_EQ(px[0], 0x55F8FCF8u);
        EXPECT_EQ(px[1], 0xAAF8FCF8u);
        EXPECT_EQ(px[2], 0x00F8FCF8u);
        EXPECT_EQ(px[3], 0xFFF8FCF8u);
        EXPECT_EQ(px[4], 0x00F8FCF8u);
    }
}

TEST(DxtAlpha, InterpolatedAlphaBothModes)
{
    // Codes 0..7 in the first eight pixels: 3 bits each from the lowest.
    uint64_t codes = 0;
    for (int i = 0; i < 8; ++i) codes |= uint64_t(i) << (3 * i);
    auto block = [&](uint8_t a0, uint8_t a1) {
        std::vector<uint8_t> s = {a0, a1};
        for (int i = 0; i < 6; ++i) s.push_back(uint8_t(codes >> (8 * i)));
        auto c = dxt1_block(0xFFFF, 0, 0);
        s.insert(s.end(), c.begin(), c.end());
        return s;
    };
    auto px = decode(kSfDxt5, block(0, 255), 0, 0, 4, 2, 16);
    const uint32_t five[8] = {0, 255, 51, 102, 153, 204, 0, 255};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i] >> 24, five[i]) << i;
    px = decode(kSfDxt4, block(255, 0), 0, 0, 4, 2, 16);
    const uint32_t seven[8] = {255, 0, 218, 182, 145, 109, 72, 36};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i] >> 24, seven[i]) << i;
}

TEST(DxtRect, SmallTextureDecodesOnlyItsPixels)
{
    auto b = dxt1_block(0xF800, 0x001F, 0x04);  // row 0: indices 0, 1
    std::vector<uint8_t> src(b.begin(), b.end());
    std::vector<uint32_t> out(4 + 1, 0x12345678);
    ASSERT_EQ(dxt_decode_rect(std::span(out).first(4), src, 0, 0, 2, 2, 8, kSfDxt1), 1);
    EXPECT_EQ(out[0], 0xFFF80000u);
    EXPECT_EQ(out[1], 0xFF0000F8u);
    EXPECT_EQ(out[2], 0xFFF80000u);
    EXPECT_EQ(out[4], 0x12345678u);  // nothing written past the rectangle
}

TEST(DxtRect, MisalignedRectangleReadsItsOwnWindow)
{
    // An 8 x 8 DXT1 texture of four solid blocks: red, green / blue, white.
    std::vector<uint8_t> src;
    const uint16_t top[2] = {0xF800, 0x07E0}, bottom[2] = {0x001F, 0xFFFF};
    for (uint16_t c : top) {
        auto b = dxt1_block(c, 0, 0);
        src.insert(src.end(), b.begin(), b.end());
    }
    for (uint16_t c : bottom) {
        auto b = dxt1_block(c, 0, 0);
        src.insert(src.end(), b.begin(), b.end());
    }
    auto px = decode(kSfDxt1, src, 2, 2, 4, 4, 16);
    EXPECT_EQ(px[0], 0xFFF80000u);
    EXPECT_EQ(px[1], 0xFFF80000u);
    EXPECT_EQ(px[2], 0xFF00FC00u);
    EXPECT_EQ(px[3], 0xFF00FC00u);
    EXPECT_EQ(px[2 * 4 + 0], 0xFF0000F8u);
    EXPECT_EQ(px[3 * 4 + 3], 0xFFF8FCF8u);
}

TEST(DxtRect, HostileSizesAreRefused)
{
    auto b = dxt1_block(0xF800, 0, 0);
    std::vector<uint8_t> src(b.begin(), b.end());
    int r = -1;
    auto px = decode(kSfDxt1, src, 0, 0, 8, 4, 8, &r);  // needs two blocks
    EXPECT_EQ(r, 0);
    EXPECT_EQ(px[0], 0u);
    decode(kSfDxt5, src, 0, 0, 4, 4, 16, &r);  // truncated 16-byte block
    EXPECT_EQ(r, 0);
    decode(kSfDxt1, src, 0, 4, 4, 4, 8, &r);  // second block row absent
    EXPECT_EQ(r, 0);
    decode(kSfDxt1, src, -1, 0, 4, 4, 8, &r);
    EXPECT_EQ(r, 0);
    std::vector<uint32_t> small(3);
    EXPECT_EQ(dxt_decode_rect(small, src, 0, 0, 2, 2, 8, kSfDxt1), 0);
    EXPECT_EQ(dxt_decode_rect(small, src, 0, 0, 1, 1, 8, kSfA8R8G8B8), 0);
}

TEST(RowConvert, SixteenBitFormatsReplicateLowBits)
{
    auto one = [](int fmt, std::vector<uint8_t> src) {
        return decode(fmt, src, 0, 0, 1, 1, int(src.size()))[0];
    };
    uint16_t v = 0x8000 | (31 << 10) | (16 << 5) | 1;
    EXPECT_EQ(one(kSfA1R5G5B5, {uint8_t(v), uint8_t(v >> 8)}), 0xFFFF8009u);
    EXPECT_EQ(one(kSfX1R5G5B5, {uint8_t(v), uint8_t((v >> 8) & 0x7F)}), 0x00FF8009u);
    v = (63 << 5) | 2;
    EXPECT_EQ(one(kSfR5G6B5, {uint8_t(v), uint8_t(v >> 8)}), 0xFF00FF12u);
    EXPECT_EQ(one(kSfA4R4G4B4, {0x34, 0x12}), 0x11223344u);
    EXPECT_EQ(one(kSfR8G8B8, {1, 2, 3}), 0xFF030201u);
    EXPECT_EQ(one(kSfA8, {0x40}), 0x40FFFFFFu);
    EXPECT_EQ(one(kSfL8, {0x40}), 0xFF404040u);
    EXPECT_EQ(one(kSfA8L8, {0x40, 0x80}), 0x80404040u);
    EXPECT_EQ(one(kSfX8R8G8B8, {4, 3, 2, 1}), 0x01020304u);
}

TEST(RowConvert, RowsAdvanceByPitchAndStartAtXY)
{
    // 3 x 3 L8 picture with a pitch of 5 bytes; read the 2 x 2 at (1, 1).
    std::vector<uint8_t> src = {0, 1, 2, 9, 9, 10, 11, 12, 9, 9, 20, 21, 22};
    auto px = decode(kSfL8, src, 1, 1, 2, 2, 5);
    EXPECT_EQ(px[0], 0xFF0B0B0Bu);
    EXPECT_EQ(px[1], 0xFF0C0C0Cu);
    EXPECT_EQ(px[2], 0xFF151515u);
    EXPECT_EQ(px[3], 0xFF161616u);
}

TEST(RowConvert, UnsupportedOrTruncatedGivesZeros)
{
    std::vector<uint8_t> src(64, 0xFF);
    int r = -1;
    for (int fmt : std::initializer_list<int>{kSfA16B16G16R16, kSfR32F, kSfA32B32G32R32F, 99, -1}) {
        auto px = decode(fmt, src, 0, 0, 2, 2, 16, &r);
        EXPECT_EQ(r, 0) << fmt;
        EXPECT_EQ(px[3], 0u) << fmt;
    }
    auto px = decode(kSfA8R8G8B8, src, 0, 0, 4, 5, 16, &r);  // 5 rows of 16 bytes > 64
    EXPECT_EQ(r, 0);
    EXPECT_EQ(px[0], 0u);
    decode(kSfA8R8G8B8, src, 2, 0, 4, 1, 16, &r);  // row runs past the pitch
    EXPECT_EQ(r, 0);
}

// Random rectangles, pitches and source sizes for every format: the
// converters either decode or refuse, and never read or write out of bounds
// (the sanitizer build checks).
TEST(RowConvert, HostileRectanglesNeverReadPastTheSource)
{
    uint32_t s = 7;
    auto next = [&](uint32_t mod) {
        s = s * 1664525u + 1013904223u;
        return int((s >> 8) % mod);
    };
    for (int iter = 0; iter < 4000; ++iter) {
        const int fmt = next(26) - 1;
        std::vector<uint8_t> src(size_t(next(300)), 0xA5);
        const int w = next(12) - 1, h = next(12) - 1;
        std::vector<uint32_t> dst(size_t(next(150)));
        int r = tex_row_convert(fmt, dst, src, next(20) - 2, next(20) - 2, w, h, next(80) - 4);
        if (r) {
            ASSERT_GT(w, 0);
            ASSERT_LE(size_t(w) * size_t(h), dst.size());
        }
    }
}
