// Colour words: channel order, the float form and back, the alpha and shift edits.
#include <cstdint>
#include <vector>

#include "vm_test_util.h"

namespace {

struct VmColorCase {
    uint32_t word;
    uint32_t r, g, b, a;
};

TEST(VmColor, ChannelsReadInArgbOrderEveryFamilyAgreesAndPackingGivesTheWordBack)
{
    const VmColorCase cases[] = {
        {0x12345678u, 0x34, 0x56, 0x78, 0x12},
        {0xFF000000u, 0x00, 0x00, 0x00, 0xFF},
        {0x00FFFFFFu, 0xFF, 0xFF, 0xFF, 0x00},
        {0x80FF8040u, 0xFF, 0x80, 0x40, 0x80},
    };
    for (const VmColorCase& c : cases) {
        const uint32_t w = c.word;
        EXPECT_EQ(std::vector({color_r(w), color_g(w), color_b(w), color_a(w)}),
                  std::vector({c.r, c.g, c.b, c.a}))
            << std::hex << w;
        EXPECT_EQ(std::vector({color_ch_r(w), color_ch_g(w), color_ch_b(w), color_ch_a(w)}),
                  std::vector({int(c.r), int(c.g), int(c.b), int(c.a)}))
            << std::hex << w;
        float f[4];
        color_to_f4(f, w);
        const std::vector<float> floats(f, f + 4);
        EXPECT_EQ(floats, std::vector({c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, c.a / 255.0f}))
            << std::hex << w;
        EXPECT_EQ(std::vector({color_ch_rf(w), color_ch_gf(w), color_ch_bf(w), color_ch_af(w)}),
                  floats);
        EXPECT_EQ(std::vector({color_r_f(w), color_g_f(w), color_b_f(w), color_a_f(w)}), floats);
        EXPECT_EQ(color_pack_argb(c.r, c.g, c.b, c.a), w);
    }
}

TEST(VmColor, EveryByteSurvivesTheFloatFormOutOfRangeIsClampedAndAlphaIsMasked)
{
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t word = color_pack_argb(v, 255 - v, v ^ 0x5Au, (v * 7) & 0xFFu);
        float f[4];
        color_to_f4(f, word);
        ASSERT_EQ(color_from_f4(f[0], f[1], f[2], f[3]), word) << v;
    }
    EXPECT_EQ(color_from_f4(-1.0f, 2.0f, std::nanf(""), 0.5f), 0x7F00FF00u);
    EXPECT_EQ(color_set_alpha(0x12345678u, 0), 0x00345678u);
    EXPECT_EQ(color_set_alpha(0x00345678u, 0x1AB), 0xAB345678u);
    // Shifted by 9 the channels empty and the alpha stays; the count is taken modulo 32.
    std::vector<uint32_t> shifted;
    for (int n : {1, 9, 32, 33, -1}) shifted.push_back(color_shift(0x80FF8040u, n));
    EXPECT_EQ(shifted, (std::vector<uint32_t>{0x807F4020u, 0x80000000u, 0x80FF8040u, 0x807F4020u,
                                              0x80000000u}));
}

}  // namespace
