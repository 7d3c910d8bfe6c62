// BMP file layout of the screenshot writer: exact bytes and failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "disp/screenshot.h"

namespace {

uint32_t u32(const std::vector<uint8_t>& b, size_t o)
{
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (uint32_t(b[o + 3]) << 24);
}
uint16_t u16(const std::vector<uint8_t>& b, size_t o) { return uint16_t(b[o] | (b[o + 1] << 8)); }

// A picture whose pixel (x, y) is B = x, G = y, R = 0x80, A = 0x11.
struct Picture {
    int w, h, pitch;
    std::vector<uint8_t> px;
    Picture(int w_, int h_, int extra = 0) : w(w_), h(h_), pitch(w_ * 4 + extra)
    {
        px.assign(size_t(pitch) * size_t(h), 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &px[size_t(y) * pitch + size_t(x) * 4];
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = 0x80;
                p[3] = 0x11;
            }
    }
};

// B, G, R of pixel (c, r) of the file's row r (bottom-up).
std::array<uint8_t, 3> file_px(const std::vector<uint8_t>& b, int c, int r)
{
    int w = int(u32(b, 18));
    size_t o = 54 + (size_t(r) * w + c) * 3;
    return {b[o], b[o + 1], b[o + 2]};
}

std::string temp_path(const char* name)
{
    const char* dir = std::getenv("QUORVEL_TEST_BINARY_DIR");
    return std::string(dir ? dir : "/tmp") + "/" + name;
}

}  // namespace

TEST(BmpLayout, HeaderFieldsAndRoundedSizes)
{
    Picture pic(120, 60, 8);
    std::vector<uint8_t> b;
    ASSERT_EQ(disp_screenshot_build_bmp(b, pic.px, pic.w, pic.h, pic.pitch, 5, 3, 101, 50), 1);
    ASSERT_EQ(b.size(), 54u + 3u * 104u * 52u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(u16(b, 26), 1u);   // planes
    EXPECT_EQ(u16(b, 28), 24u);  // bits per pixel
    // Offset and value of every 32-bit field: file size, pixel offset, info
    // size, width and height rounded up to 4, resolution 11800 per metre.
    const std::pair<size_t, uint32_t> fields[] = {{2, 54u + 3u * 104u * 52u},
                                                  {6, 0},
                                                  {10, 54},
                                                  {14, 40},
                                                  {18, 104},
                                                  {22, 52},
                                                  {30, 0},
                                                  {34, 0},
                                                  {38, 11800},
                                                  {42, 11800},
                                                  {46, 0},
                                                  {50, 0}};
    for (const auto& [offset, value] : fields) EXPECT_EQ(u32(b, offset), value) << offset;
}

TEST(BmpLayout, BottomUpRowsInBlueGreenRedWithBlackPadding)
{
    Picture pic(120, 60);
    std::vector<uint8_t> b;
    ASSERT_EQ(disp_screenshot_build_bmp(b, pic.px, pic.w, pic.h, pic.pitch, 5, 3, 101, 50), 1);
    // First file row = bottom row of the rectangle (picture row 3 + 49).
    EXPECT_EQ(file_px(b, 0, 0), (std::array<uint8_t, 3>{5, 52, 0x80}));
    EXPECT_EQ(file_px(b, 100, 0), (std::array<uint8_t, 3>{105, 52, 0x80}));
    EXPECT_EQ(file_px(b, 7, 49), (std::array<uint8_t, 3>{12, 3, 0x80}));
    const std::array<uint8_t, 3> black{0, 0, 0};
    for (int c = 101; c < 104; ++c) EXPECT_EQ(file_px(b, c, 10), black);
    for (int r = 50; r < 52; ++r)
        for (int c = 0; c < 104; c += 17) EXPECT_EQ(file_px(b, c, r), black);
}

TEST(BmpLayout, AlignedRequestKeepsItsSize)
{
    Picture pic(8, 8);
    std::vector<uint8_t> b;
    ASSERT_EQ(disp_screenshot_build_bmp(b, pic.px, pic.w, pic.h, pic.pitch, 0, 0, 8, 4), 1);
    EXPECT_EQ(u32(b, 18), 8u);
    EXPECT_EQ(u32(b, 22), 4u);
    EXPECT_EQ(b.size(), 54u + 96u);
}

TEST(BmpLayout, RectangleOutsideThePictureIsClippedToBlack)
{
    Picture pic(10, 10);
    std::vector<uint8_t> b;
    ASSERT_EQ(disp_screenshot_build_bmp(b, pic.px, pic.w, pic.h, pic.pitch, -2, 8, 4, 4), 1);
    const std::array<uint8_t, 3> black{0, 0, 0};
    // Rows 8 and 9 exist (file rows 3 and 2), rows 10 and 11 do not.
    EXPECT_EQ(file_px(b, 0, 3), black);  // column -2
    EXPECT_EQ(file_px(b, 2, 3), (std::array<uint8_t, 3>{0, 8, 0x80}));
    EXPECT_EQ(file_px(b, 3, 2), (std::array<uint8_t, 3>{1, 9, 0x80}));
    EXPECT_EQ(file_px(b, 3, 1), black);
    EXPECT_EQ(file_px(b, 3, 0), black);
}

TEST(BmpLayout, RectanglesAtTheEndsOfTheIntRangeAreBlackNotWrapped)
{
    Picture pic(4, 4);
    std::vector<uint8_t> b;
    for (auto [x, y] : {std::pair{INT_MAX - 2, 0}, std::pair{INT_MIN + 1, 0},
                        std::pair{0, INT_MAX - 2}, std::pair{0, INT_MIN + 1}}) {
        ASSERT_EQ(disp_screenshot_build_bmp(b, pic.px, 4, 4, 16, x, y, 8, 8), 1);
        EXPECT_EQ(std::count(b.begin() + 54, b.end(), 0), long(b.size() - 54)) << x << "," << y;
    }
}

TEST(BmpLayout, EmptyOversizedOrShortSourceIsRefused)
{
    Picture pic(4, 4);
    std::vector<uint8_t> b;
    EXPECT_EQ(disp_screenshot_build_bmp(b, pic.px, 4, 4, 16, 0, 0, 0, 4), 0);
    EXPECT_EQ(disp_screenshot_build_bmp(b, pic.px, 4, 4, 16, 0, 0, 4, -1), 0);
    EXPECT_EQ(disp_screenshot_build_bmp(b, pic.px, 4, 4, 16, 0, 0, kShotMaxSide + 1, 4), 0);
    EXPECT_EQ(disp_screenshot_build_bmp(b, pic.px, 4, 5, 16, 0, 0, 4, 4), 0);  // 5 rows claimed
    EXPECT_EQ(disp_screenshot_build_bmp(b, pic.px, 4, 4, 12, 0, 0, 4, 4), 0);  // pitch < row
    EXPECT_TRUE(b.empty());
}

TEST(BmpFile, SaveWritesExactBytesAndRefusesUnwritablePaths)
{
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    std::string path = temp_path("shot_save_test.bmp");
    ASSERT_EQ(disp_screenshot_save_file(path, bytes), 1);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> back((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);
    std::remove(path.c_str());
    EXPECT_EQ(disp_screenshot_save_file("/nonexistent-quorvel-dir/a.bmp", bytes), 0);
    EXPECT_EQ(disp_screenshot_save_file(temp_path(""), bytes), 0);  // a folder
}

TEST(ShotRequest, LaterRequestReplacesAndTakeClears)
{
    EXPECT_EQ(disp_screenshot_request("", 0, 0, 4, 4), 0);
    EXPECT_EQ(disp_screenshot_request(std::string(kShotMaxPath + 1, 'a'), 0, 0, 4, 4), 0);
    EXPECT_EQ(disp_screenshot_take(), 0);
    EXPECT_EQ(disp_screenshot_request("a.bmp", 0, 0, 4, 4), 1);
    EXPECT_EQ(disp_screenshot_request("b.bmp", 1, 1, 4, 4), 1);
    EXPECT_EQ(disp_screenshot_take(), 1);
    EXPECT_EQ(disp_screenshot_take(), 0);
}
