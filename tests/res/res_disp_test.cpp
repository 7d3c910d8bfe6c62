// Model groups loaded through the pump with the display's own services on a hidden window,
// and the fatal error screen (its process exit replaced) on bad files.
#include "res_fixture.h"
#include "hostile_files.h"
#include "app/err_screen.h"
#include "app/err_screen_local.h"
#include "app/disp_main.h"
#include "disp/disp_wire_table.h"
#include "disp/tex.h"
#include "plat/gfx.h"
#include "plat/time.h"

#include <array>

namespace {

int g_exit_code = -1;
void record_exit(int code) { g_exit_code = code; }

constexpr uint32_t RES_DISP_CHECKER_A = 0xFF2040C0u, RES_DISP_CHECKER_B = 0xFFFFFFFFu;

class ResDisp : public ::testing::Test {
protected:
    static constexpr int RES_DISP_W = 320, RES_DISP_H = 160;
    void SetUp() override
    {
        window_ = gfx_test_window_create(RES_DISP_W, RES_DISP_H);
        ASSERT_NE(window_, nullptr);
        ASSERT_EQ(disp_boot(window_, 0, RES_DISP_W, RES_DISP_H, 32, nullptr), 1);
        for (int i = 0; i < 3; i++) resload_set_model_folder(i, dir_.file("").c_str());
        err_info_clear();
        err_screen_set_exit_hook(record_exit);
        g_exit_code = -1;
    }
    void TearDown() override
    {
        plat_time_set_manual(0);
        err_screen_set_exit_hook(nullptr);
        err_info_clear();
        disp_shutdown();
        gfx_test_window_destroy(window_);
    }

    void write(const std::string& group, const qvw::Bytes& bytes)
    {
        dir_.write(group + ".bin", std::string(bytes.begin(), bytes.end()));
    }
    // A textured quad and a cube on a 64 x 32 checker texture, with a crop.
    static qvw::Bytes good_group()
    {
        return group_of({{qvw::MAGIC_TEX,
                          qvw::tex_chunk("quad.png", qvw::png_checker(64, 32, RES_DISP_CHECKER_A,
                                                                      RES_DISP_CHECKER_B))},
                         {qvw::MAGIC_CROP, qvw::crop_chunk({{"left", "quad.png", 0, 0, 0.5f, 1}})},
                         {qvw::MAGIC_MODEL, model_bytes(qvw::sample_quad())},
                         {qvw::MAGIC_MODEL, model_bytes(qvw::sample_cube())}});
    }
    // Pumps until the loader goes idle or stops on a fatal error; the last result.
    static int pump_all()
    {
        int r = RESLOAD_CONTINUE;
        for (int i = 0; i < 1000 && r == RESLOAD_CONTINUE; i++) r = resload_pump(90.0f);
        return r;
    }

    TempDir dir_;
    void* window_ = nullptr;
};

}  // namespace

TEST_F(ResDisp, GroupsBecomeDeviceObjectsAndAMarkReleasesThem)
{
    write("g1", good_group());
    write("g2", good_group());
    const int live = disp_wire_live_objects();
    const uint32_t tex_bytes = res_tex_bytes(), vb_bytes = res_vertex_bytes();
    ResMark mark;
    res_mark(mark);
    ASSERT_TRUE(resload_request("g1", 0));
    ASSERT_TRUE(resload_request("g2", 0));
    EXPECT_EQ(pump_all(), RESLOAD_IDLE);
    // Per group: one texture and four buffers (two meshes).
    EXPECT_EQ(std::tuple(err_info_get()->code, disp_wire_live_objects(), res_tex_bytes()),
              std::tuple(0, live + 10, tex_bytes + 2 * 64 * 32 * 4));

    const ResHandle tex = res_tex_find("g1", "quad");
    const TexRecord* rec = disp_wire_texture(res_tex_get_record(tex)->id);
    ASSERT_NE(rec, nullptr);
    EXPECT_NE(rec->texture, nullptr);
    EXPECT_EQ(std::tuple(rec->real_w, rec->real_h, res_tex_read_texel(tex, 0, 0),
                         res_tex_read_texel(tex, 8, 0)),
              std::tuple(64, 32, RES_DISP_CHECKER_A, RES_DISP_CHECKER_B));
    EXPECT_EQ(res_crop_get(res_crop_find("g1", "left"))->tex, tex);
    for (const char* name : {"quad", "cube"}) {
        const MeshBuffers* mb = res_mesh_get_object(res_mesh_find("g1", name));
        ASSERT_NE(mb, nullptr) << name;
        EXPECT_EQ(
            std::pair(disp_wire_buffer_bytes(mb->vb).size(), disp_wire_buffer_bytes(mb->ib).size()),
            std::pair(size_t(mb->vertex_count) * mb->stride, size_t(mb->index_count) * 2))
            << name;
        EXPECT_TRUE(disp_wire_vertex_buffer(mb->vb) && disp_wire_index_buffer(mb->ib, 2)) << name;
    }
    const MeshBuffers* quad = res_mesh_get_object(res_mesh_find("g1", "quad"));
    EXPECT_EQ(quad->lvf, 5);  // the vertex format number of position, normal and one uv set
    EXPECT_EQ(quad->subsets[0].slot_tex[0], tex);  // bound when the queue drained

    // A release in the middle of a load gives up the rest of the queue.
    ResMark mid;
    res_mark(mid);
    write("g3", good_group());
    ASSERT_TRUE(resload_request("g3", 0));
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // takes the request
    EXPECT_EQ(resload_step(), RESLOAD_CONTINUE);  // opens g3 and reads its texture
    EXPECT_EQ(disp_wire_live_objects(), live + 11);
    res_release_to_mark(mid);
    EXPECT_EQ(resload_pending(), 0u);
    EXPECT_EQ(resload_step(), RESLOAD_IDLE);
    EXPECT_EQ(res_tex_find("g3", "quad"), 0u);

    res_release_to_mark(mark);
    EXPECT_EQ(std::tuple(disp_wire_live_objects(), res_tex_bytes(), res_vertex_bytes(),
                         res_mesh_find("g1", "quad")),
              std::tuple(live, tex_bytes, vb_bytes, 0u));
    EXPECT_FALSE(resload_group_loaded("g2"));
}

TEST_F(ResDisp, BadFilesReachTheErrorScreenAndTheLoaderGoesOn)
{
    // The screen's 30 seconds pass on the manual clock without drawing.
    plat_time_set_manual(1);
    disp_set_render_enable(0);
    qvw::Bytes cut = good_group();
    cut.resize(cut.size() - 5);  // the last chunk's data ends early
    write("cut", cut);
    write("good", good_group());
    ASSERT_TRUE(resload_request("cut", 0));
    ASSERT_TRUE(resload_request("good", 0));
    EXPECT_EQ(pump_all(), RESLOAD_FATAL);
    EXPECT_EQ(
        std::tuple(g_exit_code, err_info_get()->code, err_info_get()->detail, resload_get_status()),
        std::tuple(1, RESLOAD_FATAL_CODE, RESLOAD_ERR_DATA, RESLOAD_FATAL));
    EXPECT_STREQ(err_info_get()->text, "cut");
    // What the cut file registered before its bad chunk stays registered.
    EXPECT_NE(res_tex_find("cut", "quad"), 0u);

    g_exit_code = -1;
    err_info_clear();
    EXPECT_EQ(pump_all(), RESLOAD_IDLE);
    EXPECT_EQ(std::tuple(g_exit_code, resload_get_status()), std::tuple(-1, RESLOAD_IDLE));
    EXPECT_NE(res_mesh_find("good", "cube"), 0u);
}

TEST_F(ResDisp, TextureRectangleWritesInEveryForm)
{
    const ResHandle h = res_tex_create("t", "img", 4, 2, RES_TEX_FORMAT_ARGB32, false);
    ASSERT_NE(h, 0u);
    const uint32_t argb[2] = {0x80112233u, 0xFF445566u};
    EXPECT_EQ(res_tex_set_image(h, 0, 0, 2, 1, argb), 1);
    // Own format: 32-bit words, here one row of two.
    const uint32_t raw[2] = {0x01020304u, 0xA0B0C0D0u};
    const auto* raw_bytes = reinterpret_cast<const uint8_t*>(raw);
    EXPECT_EQ(res_tex_set_image_raw(h, 2, 0, 2, 1, raw_bytes, sizeof raw), 1);
    // Blue, green, red bytes, or the low 24 bits of a word; written opaque.
    const uint8_t bgr[6] = {0x33, 0x22, 0x11, 0x66, 0x55, 0x44};
    EXPECT_EQ(res_tex_set_image_rgb(h, 0, 1, 2, 1, bgr, 3), 1);
    const uint32_t words[2] = {0x00ABCDEFu, 0x12345678u};
    EXPECT_EQ(res_tex_set_image_rgb(h, 2, 1, 2, 1, reinterpret_cast<const uint8_t*>(words), 4), 1);
    std::array<uint32_t, 8> got{};
    ASSERT_EQ(res_tex_read_image(h, 0, 0, 4, 2, got.data()), 1);
    EXPECT_EQ(got, (std::array<uint32_t, 8>{0x80112233u, 0xFF445566u, 0x01020304u, 0xA0B0C0D0u,
                                            0xFF112233u, 0xFF445566u, 0xFFABCDEFu, 0xFF345678u}));
    // Outside the texture, a bad pixel size or a wrong byte count: refused.
    EXPECT_EQ(res_tex_set_image_rgb(h, 3, 1, 2, 1, bgr, 3), 0);
    EXPECT_EQ(res_tex_set_image_rgb(h, 0, 0, 1, 1, bgr, 2), 0);
    EXPECT_EQ(res_tex_set_image_raw(h, 0, 0, 2, 1, raw_bytes, 4), 0);
    EXPECT_EQ(res_tex_set_image_raw(0, 0, 0, 2, 1, raw_bytes, sizeof raw), 0);
}

// The budget counts the bytes the device texture holds (rounded up to powers
// of two, with its chain when mipmapped), refuses from the header alone, and
// a release gives the bytes back.
TEST_F(ResDisp, TheTextureBudgetCountsWhatTheDeviceHoldsAndRefusesFromTheHeader)
{
    ResMark mark;
    res_mark(mark);
    const uint64_t before = res_tex_held_bytes();
    const qvw::Bytes png = qvw::png_checker(3, 5, RES_DISP_CHECKER_A, RES_DISP_CHECKER_B);
    ASSERT_NE(res_tex_load_mem("b", "one.png", png.data(), uint32_t(png.size()), false), 0u);
    EXPECT_EQ(res_tex_held_bytes() - before, 4u * 8 * 4);
    ASSERT_NE(res_tex_load_mem("b", "two.png", png.data(), uint32_t(png.size()), true), 0u);
    EXPECT_EQ(res_tex_held_bytes() - before, 4u * 8 * 4 + (32u + 8 + 2 + 1) * 4);
    // 8192 x 8192 is the whole budget; the data behind the header would not
    // even decode, so only a refusal from the header names the budget.
    const std::vector<uint8_t> huge = huge_png(8192, 8192);
    const std::string path = dir_.write("huge.png", std::string(huge.begin(), huge.end()));
    testing::internal::CaptureStderr();
    EXPECT_EQ(res_tex_load_file("b", path.c_str(), false), 0u);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("huge.png\" skipped: its 268435456 bytes pass the texture budget"),
              std::string::npos)
        << log;
    res_release_to_mark(mark);
    EXPECT_EQ(res_tex_held_bytes(), before);
}
