// The built-in images: formats, glyph layout, and bytes equal to a fresh run.
#include "tools/gen/background_image.h"
#include "plat/embedded.h"
#include "tools/gen/font_image.h"
#include "tools/gen/image_file.h"
#include "test_files.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

const FontSources faces{QUORVEL_LATIN_FACE, QUORVEL_KANA_FACE};

struct Decoded {
    int width = 0, height = 0;
    uint32_t format = 0;  // the file's own layout, PNG_FORMAT_*
    std::vector<unsigned char> rgba;
};

Decoded decode_png(std::span<const unsigned char> bytes)
{
    Decoded d;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return d;
    d.format = image.format;
    image.format = PNG_FORMAT_RGBA;
    d.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, d.rgba.data(), 0, nullptr)) {
        d.width = int(image.width);
        d.height = int(image.height);
    }
    return d;
}

// One font image reduced to its alpha plane and cell grid.
struct FontPlane {
    int width, height, cell_w, cell_h;
    std::vector<unsigned char> alpha;

    int cells() const { return 16 * (height / cell_h); }
    bool ink(int x, int y) const { return alpha[size_t(y) * width + x] != 0; }

    // Inked pixels of the cell, and the lowest row that has any (-1 for none).
    std::pair<int, int> cell_ink(int index) const
    {
        const int x0 = (index % 16) * cell_w, y0 = (index / 16) * cell_h;
        int n = 0, lowest = -1;
        for (int y = 0; y < cell_h; ++y)
            for (int x = x0; x < x0 + cell_w; ++x)
                if (ink(x, y0 + y)) ++n, lowest = y;
        return {n, lowest};
    }
    int ink_in_cell(int index) const { return cell_ink(index).first; }
    int lowest_ink_row(int index) const { return cell_ink(index).second; }

    int ink_outside_grid() const
    {
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (x >= 16 * cell_w || y >= (height / cell_h) * cell_h) n += ink(x, y);
        return n;
    }
};

FontPlane plane_from_dds(std::span<const unsigned char> dds)
{
    FontPlane p{128, 128, 8, 16, {}};
    for (size_t i = 0; i < 128 * 128; ++i) p.alpha.push_back(dds[128 + 2 * i + 1]);
    return p;
}

FontPlane plane_from_png(std::span<const unsigned char> png, int cell_w, int cell_h)
{
    const Decoded d = decode_png(png);
    FontPlane p{d.width, d.height, cell_w, cell_h, {}};
    for (size_t i = 0; i + 3 < d.rgba.size(); i += 4) p.alpha.push_back(d.rgba[i + 3]);
    return p;
}

std::vector<unsigned char> built_f1632()
{
    const char* dir = std::getenv("QUORVEL_TEST_BINARY_DIR");
    return test_file_bytes(std::string(dir ? dir : ".") + "/data/font/f1632.png");
}

class FontLayout : public ::testing::TestWithParam<int> {
protected:
    FontPlane plane() const
    {
        switch (GetParam()) {
        case 0: return plane_from_dds(embedded_font1_dds());
        case 1: return plane_from_png(embedded_font6x11_png(), 6, 11);
        default: return plane_from_png(built_f1632(), 16, 32);
        }
    }
};

TEST_P(FontLayout, AsciiGlyphsSitInTheirCells)
{
    const FontPlane p = plane();
    ASSERT_FALSE(p.alpha.empty());
    EXPECT_EQ(p.ink_in_cell(font_glyph_index_single(' ')), 0);
    for (int c = 33; c < 127; ++c)
        EXPECT_GT(p.ink_in_cell(font_glyph_index_single(c)), 0) << "no glyph for code " << c;
    EXPECT_EQ(p.ink_in_cell(font_glyph_index_single(127)), 0);
    EXPECT_EQ(p.ink_in_cell(96), 0) << "code 128 is no character";
    EXPECT_EQ(p.ink_outside_grid(), 0);
    // One baseline for the whole font: descenders reach below capitals.
    const int a = p.lowest_ink_row(font_glyph_index_single('A'));
    EXPECT_EQ(a, p.lowest_ink_row(font_glyph_index_single('H')));
    EXPECT_GT(p.lowest_ink_row(font_glyph_index_single('g')), a);
    EXPECT_GT(p.lowest_ink_row(font_glyph_index_single('p')), a);
}

TEST_P(FontLayout, HiraganaWhereverTheImageHasRoom)
{
    const FontPlane p = plane();
    ASSERT_FALSE(p.alpha.empty());
    int drawn = 0;
    for (int d = font_kana_first_trail; d <= font_kana_last_trail; ++d) {
        const int index = font_glyph_index_double(0x82, d);
        if (index < p.cells()) {
            EXPECT_GT(p.ink_in_cell(index), 0) << "no hiragana at index " << index;
            ++drawn;
        }
    }
    const int expected[] = {31, 79, 83};  // indices 97..127, 97..175, 97..179
    EXPECT_EQ(drawn, expected[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(Images, FontLayout, ::testing::Values(0, 1, 2));

TEST(FontImages, MissingFaceGivesNoImage)
{
    const FontSources missing{"/nonexistent/face.ttf", QUORVEL_KANA_FACE};
    EXPECT_TRUE(font_image_font1_dds(missing).empty());
    EXPECT_TRUE(font_image_font6x11_png({QUORVEL_LATIN_FACE, "/nonexistent/kana.ttf"}).empty());
    // A file that is no font at all.
    const std::string not_a_face = std::string(QUORVEL_TEST_SOURCE_FILE);
    EXPECT_TRUE(font_image_f1632_png({not_a_face, not_a_face}).empty());
}

TEST(Background, IsAnOpaqueRgbPictureWithManyColours)
{
    const Decoded d = decode_png(embedded_background_png());
    ASSERT_EQ((std::array{d.width, d.height}),
              (std::array{background_image_size, background_image_size}));
    EXPECT_EQ(d.format, uint32_t(PNG_FORMAT_RGB));  // 8-bit, no alpha
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 3 < d.rgba.size(); i += 4)
        colours.insert(uint32_t(d.rgba[i]) << 16 | uint32_t(d.rgba[i + 1]) << 8 | d.rgba[i + 2]);
    EXPECT_GT(colours.size(), 20000u);
    // Sky above, meadow below.
    const unsigned char* top = &d.rgba[(size_t(8) * d.width + d.width / 2) * 4];
    const unsigned char* bottom = &d.rgba[(size_t(d.height - 8) * d.width + d.width / 2) * 4];
    EXPECT_GT(top[2], top[0]);
    EXPECT_GT(bottom[1], bottom[2]);
}

TEST(Embedded, BytesMatchAFreshGeneratorRun)
{
    using Bytes = std::vector<unsigned char>;
    const auto bytes = [](std::span<const unsigned char> s) { return Bytes(s.begin(), s.end()); };
    EXPECT_TRUE(bytes(embedded_font1_dds()) == font_image_font1_dds(faces));
    EXPECT_TRUE(bytes(embedded_font6x11_png()) == font_image_font6x11_png(faces));
    EXPECT_TRUE(bytes(embedded_background_png()) == background_image_png());
    EXPECT_TRUE(built_f1632() == font_image_f1632_png(faces));
}

TEST(ImageEncode, RefusesPixelsThatDoNotMatchTheSize)
{
    const std::vector<unsigned char> pixels(10 * 10 * 3);
    EXPECT_FALSE(image_encode_png(10, 10, 3, pixels).empty());
    EXPECT_TRUE(image_encode_png(10, 11, 3, pixels).empty());
    EXPECT_TRUE(image_encode_png(10, 10, 5, pixels).empty());
    EXPECT_TRUE(image_encode_png(0, 10, 3, {}).empty());
    EXPECT_TRUE(image_encode_dds_a8l8(10, 10, pixels).empty());
    EXPECT_EQ(image_encode_dds_a8l8(4, 2, std::vector<unsigned char>(8)).size(), 128u + 16u);
}

}  // namespace
