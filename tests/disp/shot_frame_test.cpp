// Screenshot of a drawn frame, headless, and the writer's failure paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "disp/rstate.h"
#include "disp/screenshot.h"
#include "disp_fixture.h"
#include "plat/gfx_draw.h"

namespace {

std::vector<std::string> g_boxes;
void record_box(const char* caption, const char* text)
{
    g_boxes.push_back(std::string(caption) + "|" + text);
}

std::string out_path(const char* name)
{
    const char* dir = std::getenv("QUORVEL_TEST_BINARY_DIR");
    return std::string(dir ? dir : "/tmp") + "/" + name;
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

// File pixel (c, r), bottom-up rows, as 0xRRGGBB.
uint32_t bmp_px(const std::vector<uint8_t>& b, int c, int r)
{
    int w = b[18] | (b[19] << 8);
    size_t o = 54 + (size_t(r) * size_t(w) + size_t(c)) * 3;
    return uint32_t(b[o]) | (uint32_t(b[o + 1]) << 8) | (uint32_t(b[o + 2]) << 16);
}

// An untextured quad covering pixels [x0, x1) x [y0, y1).
void draw_quad(int x0, int y0, int x1, int y1, uint32_t color)
{
    TexVertexA* v = tex_get_vertex_scratch_a();
    const float xs[4] = {float(x0), float(x1), float(x0), float(x1)};
    const float ys[4] = {float(y0), float(y0), float(y1), float(y1)};
    for (int i = 0; i < 4; ++i) {
        v[i].x = xs[i] - 0.5f;
        v[i].y = ys[i] - 0.5f;
        v[i].color = color;
        v[i].u0 = v[i].v0 = v[i].u1 = v[i].v1 = 0.0f;
    }
    disp_set_rstate_key_fvf(rstate_key_make(0, 0, 0, 0, 2, 5, 7, 0, 0) | kRsCacheReset, 0x244);
    disp_set_lvf_decl(disp_fvf_to_lvf(0x244));
    tex_set_stage(0, nullptr, 0);
    gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, 4, 2, tex_get_manager(), GFX_FMT_INDEX16,
                                  v, sizeof(TexVertexA));
}

}  // namespace

class ShotFrameTest : public DispDevice {
protected:
    void SetUp() override
    {
        DispDevice::SetUp();
        g_boxes.clear();
        DispLinks links = disp_links();
        links.message_box = record_box;
        disp_set_links(links);
        disp_screenshot_take();
    }
};

TEST_F(ShotFrameTest, WritesTheRequestedRectangleOfTheFrame)
{
    const std::string path = out_path("shot_frame.bmp");
    std::remove(path.c_str());
    gfx_begin_scene();
    disp_clear(5, 0xFF102030);
    draw_quad(8, 8, 28, 18, 0xFF3366CC);
    ASSERT_EQ(disp_screenshot_request(path, 4, 4, 30, 20), 1);
    ASSERT_EQ(disp_screenshot_take(), 1);
    const uint32_t served = disp_screenshot_count();
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 1);
    EXPECT_EQ(disp_screenshot_count(), served + 1);
    gfx_end_scene();

    auto b = read_file(path);
    ASSERT_EQ(b.size(), 54u + 3u * 32u * 20u);
    // Target (x, y) is file pixel (x - 4, 4 + 19 - y).
    auto at = [&](int x, int y) { return bmp_px(b, x - 4, 23 - y) | 0xFF000000u; };
    EXPECT_TRUE(Near(at(10, 10), 0xFF3366CC)) << std::hex << at(10, 10);
    EXPECT_TRUE(Near(at(8, 8), 0xFF3366CC));
    EXPECT_TRUE(Near(at(27, 17), 0xFF3366CC));
    EXPECT_TRUE(Near(at(7, 8), 0xFF102030));
    EXPECT_TRUE(Near(at(28, 17), 0xFF102030));
    EXPECT_TRUE(Near(at(10, 18), 0xFF102030));
    EXPECT_TRUE(Near(at(5, 5), 0xFF102030));
    EXPECT_EQ(bmp_px(b, 30, 0), 0u);  // widened columns are black
    EXPECT_EQ(bmp_px(b, 31, 19), 0u);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "保存しました。|" + path);
    std::remove(path.c_str());
}

TEST_F(ShotFrameTest, LongPathIsKeptWhole)
{
    const std::string dir = out_path("") + std::string(150, 'd') + "/" + std::string(150, 'e');
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + std::string(40, 'f') + ".bmp";
    ASSERT_GT(path.size(), 300u) << path;
    ASSERT_EQ(disp_screenshot_request(path, 0, 0, 4, 4), 1);
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 1);
    EXPECT_TRUE(exists(path));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "保存しました。|" + path);
    std::filesystem::remove_all(out_path("") + std::string(150, 'd'));
}

TEST_F(ShotFrameTest, RectanglePastTheTargetIsClipped)
{
    const std::string path = out_path("shot_clip.bmp");
    gfx_begin_scene();
    disp_clear(5, 0xFFFFFFFF);
    ASSERT_EQ(disp_screenshot_request(path, kTestWidth - 2, -3, 8, 8), 1);
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 1);
    gfx_end_scene();
    auto b = read_file(path);
    ASSERT_EQ(b.size(), 54u + 3u * 8u * 8u);
    EXPECT_TRUE(Near(bmp_px(b, 0, 0) | 0xFF000000u, 0xFFFFFFFF));  // target (62, 4)
    EXPECT_EQ(bmp_px(b, 2, 0), 0u);                                // x 64: outside
    EXPECT_EQ(bmp_px(b, 0, 7), 0u);                                // y -3: outside
    std::remove(path.c_str());
}

TEST_F(ShotFrameTest, FailuresWriteNoFileAndShowNoMessage)
{
    // Unwritable path.
    ASSERT_EQ(disp_screenshot_request("/nonexistent-quorvel-dir/x.bmp", 0, 0, 8, 8), 1);
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 0);
    // Empty rectangle.
    const std::string path = out_path("shot_fail.bmp");
    std::remove(path.c_str());
    ASSERT_EQ(disp_screenshot_request(path, 0, 0, 0, 8), 1);
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 0);
    // A surface that is not 32-bit colour.
    ASSERT_EQ(disp_screenshot_request(path, 0, 0, 8, 8), 1);
    SurfRecord depth;
    ASSERT_EQ(tex_surface_create(&depth, GFX_FMT_D16, 8, 8), 1);
    EXPECT_EQ(disp_screenshot_write(&depth), 0);
    tex_surface_release(&depth);
    TexRecord rt;
    if (tex_create_render_target(&rt, GFX_FMT_R5G6B5, 8, 8)) {
        SurfRecord s = {rt.surface, 8, 8, GFX_FMT_R5G6B5, 16, kSurfKindColor};
        EXPECT_EQ(disp_screenshot_write(&s), 0);
        tex_release(&rt);
    }
    EXPECT_EQ(disp_screenshot_write(nullptr), 0);
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(g_boxes.empty());
}

// With antialiasing the picture is resolved before it is read.
class ShotFrameMsaaTest : public ShotFrameTest {
protected:
    void Configure(D3d9BootDesc& desc) override { desc.settings.antialias_samples = 4; }
};

TEST_F(ShotFrameMsaaTest, MultisampledFrameIsWritten)
{
    const std::string path = out_path("shot_msaa.bmp");
    EXPECT_EQ(disp_get_present_params()->samples, 4);
    gfx_begin_scene();
    disp_clear(5, 0xFF000000);
    draw_quad(0, 0, 16, 16, 0xFF80FF40);
    ASSERT_EQ(disp_screenshot_request(path, 0, 0, 32, 32), 1);
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 1);
    gfx_end_scene();
    auto b = read_file(path);
    ASSERT_EQ(b.size(), 54u + 3u * 32u * 32u);
    EXPECT_TRUE(Near(bmp_px(b, 8, 31 - 8) | 0xFF000000u, 0xFF80FF40));
    EXPECT_TRUE(Near(bmp_px(b, 20, 31 - 20) | 0xFF000000u, 0xFF000000));
    std::remove(path.c_str());
}
