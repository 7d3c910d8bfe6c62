// Row converters and DXT block decoders against hand-computed colours.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "disp/rstate.h"
#include "disp/tex_decode.h"

namespace {

// A DXT1 block: end colours c0, c1, then one index byte per row.
std::vector<uint8_t> dxt1_block(uint16_t c0, uint16_t c1, uint8_t r0, uint8_t r1 = 0)
{
    return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), r0, r1, 0, 0};
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using Px = std::vector<uint32_t>;

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
    // Red, blue; row 0 indices 0, 1, 2, 3; row 1 all index 0.
    auto px = decode(kSfDxt1, dxt1_block(0xF800, 0x001F, 0xE4), 0, 0, 4, 4, 8);
    // (2 * 248 + 0 + 1) / 3 = 165, (0 + 248 + 1) / 3 = 83
    EXPECT_EQ(Px(px.begin(), px.begin() + 5),
              Px({0xFFF80000, 0xFF0000F8, 0xFFA50053, 0xFF5300A5, 0xFFF80000}));
}

TEST(DxtColour, EqualEndsMakeIndexThreeTransparentInEveryFormat)
{
    // Green 0x07E0 expands to 252 without low-bit replication.
    const auto b = dxt1_block(0x07E0, 0x07E0, 0xFF, 0x00);
    auto px = decode(kSfDxt1, b, 0, 0, 4, 2, 8);
    EXPECT_EQ(std::pair(px[0], px[4]), std::pair(0x0000FC00u, 0xFF00FC00u));
    // DXT3 with full explicit alpha: index 3 still loses its alpha.
    px = decode(kSfDxt3, std::vector<uint8_t>(8, 0xFF) + b, 0, 0, 4, 2, 16);
    EXPECT_EQ(std::pair(px[0], px[4]), std::pair(0x0000FC00u, 0xFF00FC00u));
}

TEST(DxtAlpha, ExplicitFourBitAlphaTimesSeventeenAndInterpolatedAlphaBothModes)
{
    // Row 0 alpha word 0xF0A5 over white, index 0.
    const auto src = std::vector<uint8_t>{0xA5, 0xF0, 0, 0, 0, 0, 0, 0} + dxt1_block(0xFFFF, 0, 0);
    for (int fmt : {kSfDxt2, kSfDxt3}) {
        auto px = decode(fmt, src, 0, 0, 4, 2, 16);
        EXPECT_EQ(Px(px.begin(), px.begin() + 5),
                  Px({0x55F8FCF8, 0xAAF8FCF8, 0x00F8FCF8, 0xFFF8FCF8, 0x00F8FCF8}));
    }
    // Codes 0..7 in the first eight pixels: 3 bits each from the lowest.
    uint64_t codes = 0;
    for (int i = 0; i < 8; ++i) codes |= uint64_t(i) << (3 * i);
    auto block = [&](uint8_t a0, uint8_t a1) {
        std::vector<uint8_t> s = {a0, a1};
        for (int i = 0; i < 6; ++i) s.push_back(uint8_t(codes >> (8 * i)));
        return s + dxt1_block(0xFFFF, 0, 0);
    };
    auto px = decode(kSfDxt5, block(0, 255), 0, 0, 4, 2, 16);
    const uint32_t five[8] = {0, 255, 51, 102, 153, 204, 0, 255};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i] >> 24, five[i]) << i;
    px = decode(kSfDxt4, block(255, 0), 0, 0, 4, 2, 16);
    const uint32_t seven[8] = {255, 0, 218, 182, 145, 109, 72, 36};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i] >> 24, seven[i]) << i;
}

TEST(DxtRect, SmallTextureDecodesOnlyItsPixelsAndAMisalignedRectangleItsOwnWindow)
{
    const auto src = dxt1_block(0xF800, 0x001F, 0x04);  // row 0: indices 0, 1
    std::vector<uint32_t> out(4 + 1, 0x12345678);
    ASSERT_EQ(dxt_decode_rect(std::span(out).first(4), src, 0, 0, 2, 2, 8, kSfDxt1), 1);
    // Nothing is written past the rectangle.
    EXPECT_EQ(out, Px({0xFFF80000, 0xFF0000F8, 0xFFF80000, 0xFFF80000, 0x12345678}));
    // An 8 x 8 DXT1 texture of four solid blocks: red, green / blue, white.
    const auto four = dxt1_block(0xF800, 0, 0) + dxt1_block(0x07E0, 0, 0) +
                      dxt1_block(0x001F, 0, 0) + dxt1_block(0xFFFF, 0, 0);
    auto px = decode(kSfDxt1, four, 2, 2, 4, 4, 16);
    EXPECT_EQ(Px(px.begin(), px.begin() + 4), Px({0xFFF80000, 0xFFF80000, 0xFF00FC00, 0xFF00FC00}));
    EXPECT_EQ(std::pair(px[2 * 4 + 0], px[3 * 4 + 3]), std::pair(0xFF0000F8u, 0xFFF8FCF8u));
}

TEST(DxtRect, HostileSizesAreRefused)
{
    const auto src = dxt1_block(0xF800, 0, 0);
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
    EXPECT_EQ(decode(kSfL8, src, 1, 1, 2, 2, 5),
              Px({0xFF0B0B0B, 0xFF0C0C0C, 0xFF151515, 0xFF161616}));
}

TEST(RowConvert, UnsupportedOrTruncatedGivesZeros)
{
    std::vector<uint8_t> src(64, 0xFF);
    int r = -1;
    for (int fmt : {int(kSfA16B16G16R16), int(kSfR32F), int(kSfA32B32G32R32F), 99, -1}) {
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
