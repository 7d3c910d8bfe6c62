// The whole display: start and stop orders, bands, enables, clears; the program without a display.
#include "svc/txt_settings.h"
#include "child_proc.h"
#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/screenshot.h"
#include "disp/tex.h"
#include "frame_fixture.h"
#include "hit/hit.h"
#include "disp/obj.h"
#include "obj2d/spr.h"
#include "obj3d/obj3d.h"
#include "res/res_env.h"
#include "temp_dir.h"

TEST_F(DispFrame, StartsTheDeviceFirstAndStopsEveryModuleInReverse)
{
    EXPECT_EQ(take_log(),
              "d3d9_boot resload_boot shader_init font_boot obj_module_init line2d_type_register "
              "tri2d_type_register obj2d_type_register prim3d_line_type_register "
              "prim3d_tri_type_register qspr_type_register obj3d_type_register balls_hit_boot "
              "hitcyl_init motion_pool_reset fla_pool_reset hit_init movie_init "
              "scene_set_defaults disp_reset");
    // The 3D object types keep their numbers 11 to 15 behind the held ones.
    EXPECT_EQ(std::pair(obj3d_type_number(OBJ3D_PRIMLIST), obj3d_type_number(OBJ3D_MESHLIST)),
              std::pair(11, 15));
    disp_shutdown();
    EXPECT_EQ(take_log(),
              "movie_term hit_term fla_pool_reset_again motion_pool_term hitcyl_term "
              "balls_hit_reset obj3d_term qspr_type_unregister prim3d_tri_term prim3d_line_term "
              "obj2d_type_term tri2d_term line2d_term obj_module_term font_shutdown shader_term "
              "resload_shutdown d3d9_shutdown");
    EXPECT_FALSE(d3d9_booted());
    disp_shutdown();  // a second stop does nothing
    EXPECT_EQ(take_log(), "");
    ASSERT_EQ(disp_boot(window_, 0, FRAME_FIXTURE_W, FRAME_FIXTURE_H, 32, nullptr), 1);
}

TEST_F(DispFrame, ClearsPresentsAndRunsTheHitPassEveryFrameAndTheEnablesLeaveOnlyWhatTheySay)
{
    disp_set_clear_color(0x00336699);
    const uint64_t presents = gfx_get_counters()->presents;
    for (int i = 0; i < 3; ++i) disp_update(nullptr);
    EXPECT_EQ(gfx_get_counters()->presents, presents + 3);
    EXPECT_EQ(app_disp_frame_count(), 3u);
    EXPECT_EQ(pixel(5, 5) & 0xFFFFFFu, 0x336699u);
    disp_set_scene_pass_enable(0);
    EXPECT_EQ(frame_log(), "band 5-25");
    // Render off: nothing drawn, nothing presented, texts do not pile up.
    disp_set_render_enable(0);
    const int32_t list = disp_get_text_drawlist();
    textlist_printf(list, 0, 0, 16, 10, 10, 0xFFFFFFFF, "%s", "queued");
    const auto counts = [] {
        return std::pair(gfx_get_counters()->presents, app_disp_frame_count());
    };
    const auto before = counts();
    EXPECT_EQ(frame_log(), "");
    EXPECT_EQ(counts(), before);
    EXPECT_EQ(textlist_get(list)[0], TEXTLIST_END_MARK);
    // A ray added by an update callback is resolved, and its callback called, in the same display
    // frame; a display reset empties the pools.
    static int calls;
    calls = 0;
    const Vec3 c = {0, 0, 0}, o = {-5, 0, 0}, v = {10, 0, 0};
    hit_target_add_sphere(&c, 1, nullptr, 1, 1, 0, 0);
    hit_ray_add_callback(
        &o, &v, 10, HIT_ANY_GROUP, 0, [](HitResult*, HitTarget*) { calls++; }, 0);
    disp_update(nullptr);
    EXPECT_EQ(calls, 1);
    disp_reset();
    EXPECT_EQ(hit_target_count() + hit_ray_count(), 0);
}

namespace {
int g_callbacks;
void count_callback() { ++g_callbacks; }

// Paints the back band's area red and the middle band's area green with scissored clears, as
// drawing would.
void paint_bands(int lo, int)
{
    GfxRect r = lo == 85 ? GfxRect{0, 0, 40, 40} : GfxRect{40, 0, 80, 40};
    if (lo != 85 && lo != 31) return;
    gfx_set_render_state(GFX_RS_SCISSORTESTENABLE, 1);
    gfx_set_scissor_rect(&r);
    gfx_clear(GFX_CLEAR_TARGET, lo == 85 ? 0xFFFF0000u : 0xFF00FF00u, 1.0f, 0);
    GfxRect full = {0, 0, 320, 160};
    gfx_set_scissor_rect(&full);
}
const DispProbe FRAME_PAINT_PROBE = {nullptr, paint_bands, nullptr, nullptr};
}  // namespace

// The depth-only clear between the bands keeps what the bands before it drew.
TEST_F(DispFrame, AScreenshotHoldsOnlyWhatLiesBehindTheFirst3dBandsAndTheDepthClearKeepsIt)
{
    TempDir dir;
    disp_set_clear_color(0x00000080);
    app_disp_set_probe(&FRAME_PAINT_PROBE);
    ASSERT_EQ(disp_screenshot_request(dir.file("shot.bmp"), 0, 0, 80, 40), 1);
    g_callbacks = 0;
    disp_update(count_callback);
    EXPECT_EQ(g_callbacks, 1);
    const std::string bmp = dir.read("shot.bmp");
    ASSERT_EQ(bmp.size(), 54u + 3u * 80u * 40u);
    // Bottom-up rows of B, G, R: row 29 from the bottom is picture row 10.
    auto rgb = [&](int x, int y) {
        const size_t at = 54 + 3 * (size_t(40 - 1 - y) * 80 + size_t(x));
        return uint32_t(uint8_t(bmp[at + 2])) << 16 | uint32_t(uint8_t(bmp[at + 1])) << 8 |
               uint8_t(bmp[at]);
    };
    EXPECT_EQ(rgb(10, 10), 0xFF0000u);  // the back band
    EXPECT_EQ(rgb(50, 10), 0x000080u);  // the middle band came after the picture
    EXPECT_EQ(pixel(10, 10) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(pixel(50, 10) & 0xFFFFFFu, 0x00FF00u);
    // Without a depth surface the depth-only clear clears nothing at all.
    tex_set_depth_target(nullptr);
    EXPECT_EQ(disp_clear(3, 0xFF0000FFu), GFX_OK);
    EXPECT_EQ(pixel(10, 10) & 0xFFFFFFu, 0xFF0000u);
}

TEST(DispFrameNoDevice, AFailedDeviceStartIsReportedAndNothingCrashes)
{
    const ResEnv before = res_env();
    EXPECT_EQ(disp_boot(nullptr, 0, 320, 160, 32, nullptr), 0);
    EXPECT_TRUE(app_disp_booted());
    const int32_t list = disp_get_text_drawlist();
    textlist_printf(list, 0, 0, 16, 10, 10, 0xFFFFFFFF, "%s", "no device");
    disp_update(nullptr);
    disp_update(nullptr);
    EXPECT_EQ(textlist_get(list)[0], TEXTLIST_END_MARK);
    disp_shutdown();
    EXPECT_FALSE(app_disp_booted());
    EXPECT_EQ(res_env().tex_load, before.tex_load);  // the services went back
}

TEST_F(DispFrame, ASecondStartAndAFrameBeforeTheStartAreRefused)
{
    take_log();
    testing::internal::CaptureStderr();
    EXPECT_EQ(disp_boot(window_, 0, FRAME_FIXTURE_W, FRAME_FIXTURE_H, 32, nullptr), 1);
    EXPECT_EQ(take_log(), "");  // nothing started again
    disp_shutdown();
    disp_update(nullptr);
    const std::string said = testing::internal::GetCapturedStderr();
#ifndef NDEBUG
    EXPECT_NE(said.find("disp_boot: the display is already started (refused)"), std::string::npos);
    EXPECT_NE(said.find("disp_update: the display is not started"), std::string::npos);
#endif
    EXPECT_FALSE(app_disp_booted());
}

TEST_F(DispFrame, SceneClearFreesTheObjectsAndRestoresTheSceneDefaults)
{
    const ResGroupId g = group_alloc();
    ASSERT_NE(spr_create_plain(g, 0xFFFFFFFFu, 0, 0, 8, 8, 0, 0, 1, 1, 50), nullptr);
    cam_set_enable(1, 1);
    disp_set_scene_pass_enable(0);
    disp_update(nullptr);
    EXPECT_EQ(obj_live_count(), 1);
    disp_scene_clear();
    EXPECT_EQ(std::tuple(obj_live_count(), cam_get_enable(1), disp_get_scene_pass_enable(),
                         disp_get_render_enable()),
              std::tuple(0, 0u, 1, 1));
}

TEST(DispFrameSettings, TheDeviceTakesItsSettingsFromTheSettingsText)
{
    TempDir dir;
    txt_settings_load(
        dir.write("s.txt", "FORCE_LOCK_BACKBUFFER 1\nNR_ANTIALIAS_SAMPLES 9\nENABLE_VSYNC 0\n")
            .c_str());
    void* window = gfx_test_window_create(64, 48);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(disp_boot(window, 0, 64, 48, 32, nullptr), 1);
    EXPECT_EQ(disp_get_force_lock(), 1);
    EXPECT_LE(disp_get_present_params()->samples, 4);  // clamped, or refused by the driver
    disp_set_clear_color(0x00123456);
    disp_update(nullptr);  // the forced lock reads the drawn frame back
    uint8_t p[4] = {};
    gfx_read_pixels(1, 1, 1, 1, p, 4);
    EXPECT_EQ(p[2] << 16 | p[1] << 8 | p[0], 0x123456);
    disp_shutdown();
    gfx_test_window_destroy(window);
    txt_settings_term();
}

using namespace std::chrono_literals;

TEST(FrameProgram, ADisplayThatCannotStartEndsWithOneAfterAMessage)
{
    // The dummy video driver offers no GL context to draw with.
    const pid_t pid = spawn_program({{"SDL_VIDEODRIVER", "dummy"},
                                     {"QUORVEL_DIALOGS", "script"},
                                     {"QUORVEL_IPC_PREFIX", plat_ipc_prefix() + "nodev-"}});
    EXPECT_EQ(finish_child(pid, 60s), 1) << "-2: still running; 1000 + n: signal n";
}
