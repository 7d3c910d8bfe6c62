// The display device: start-up, no device, present parameters, clears, states, lost device.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "disp/rstate.h"
#include "disp/screenshot.h"
#include "disp_fixture.h"

TEST(PresentParams, SamplesClampAndSwapEffects)
{
    // Per row: samples asked, vsync, mode; then samples, swap effect, windowed, refresh,
    // wait for vertical sync (windowed never waits), back buffer width and count.
    const struct {
        int ask, vsync, mode;
        std::array<int, 7> want;
    } rows[] = {{7, 1, 1, {4, kSwapDiscard, 0, 60, 1, 800, 1}},
                {7, 1, 0, {4, kSwapDiscard, 1, 0, 0, 0, 1}},
                {-1, 0, 1, {0, kSwapFlip, 0, 60, 0, 800, 1}},
                {-1, 1, 0, {0, kSwapCopy, 1, 0, 0, 0, 1}}};
    for (const auto& r : rows) {
        D3d9PresentParams p;
        D3d9Settings s;
        s.antialias_samples = r.ask, s.vsync = r.vsync;
        disp_make_present_params(&p, 800, 600, r.mode, s);
        EXPECT_EQ((std::array{p.samples, p.swap_effect, p.windowed, p.refresh_hz, p.interval_one,
                              p.bb_width, p.bb_count}),
                  r.want)
            << r.ask << " " << r.vsync << " " << r.mode;
    }
}

// A failed start leaves a state in which every call fails cleanly.
TEST(NoDevice, CallsFailWithoutTouchingAnything)
{
    D3d9BootDesc desc;  // no window
    desc.width = 64;
    desc.height = 48;
    EXPECT_EQ((std::array{d3d9_boot(&desc), d3d9_booted(), disp_device_ok()}),
              (std::array{0, 0, 0}));
    EXPECT_EQ(disp_get_device(), nullptr);
    EXPECT_EQ(disp_clear(5, 0), GFX_E_NODEVICE);
    disp_present();
    disp_set_viewport(0, 0, 10, 10);
    disp_set_scissor(0, 0, 10, 10);
    disp_set_color_write(1, 1, 1, 1);
    EXPECT_EQ(disp_set_rstate_block(rstate_key_make(1, 1, 0, 1, 0, 5, 3, 0, 0), nullptr), 0);
    EXPECT_EQ(disp_rstate_lighting(), 0xFFFFFFFFu);
    TexRecord t;
    EXPECT_TRUE(tex_create(&t, GFX_FMT_A8R8G8B8, 4, 4, 0) == 0 && t.texture == nullptr);
    EXPECT_EQ(tex_create_render_target(&t, GFX_FMT_A8R8G8B8, 4, 4), 0);
    tex_set_stage(0, &t, 0);
    tex_set_render_target(0, 0);
    EXPECT_EQ(tex_read_pixel(&t, 0, 0), 0u);
    EXPECT_EQ(disp_set_lvf_decl(0) + disp_screenshot_write(tex_get_target_record()), 0);
    d3d9_shutdown();
    EXPECT_EQ(d3d9_boot(nullptr), 0);
}

class D3d9Test : public DispDevice {
protected:
    static std::array<int, 4> Scissor()
    {
        int x, y, w, h;
        disp_get_scissor(&x, &y, &w, &h);
        return {x, y, w, h};
    }
};

TEST_F(D3d9Test, BootSetsCapsDeclarationsAndViewportAndASecondStartIsRefused)
{
    EXPECT_EQ(
        (std::array{d3d9_booted(), disp_get_device_kind(), disp_get_vs_ok(), disp_get_ps_ok()}),
        (std::array{1, 0, 1, 1}));
    EXPECT_GE(disp_get_nr_render_targets(), 2);
    for (int i = 0; i < kVertexFormatCount; ++i) EXPECT_NE(d3d9_get_decl(i), nullptr) << i;
    EXPECT_EQ(d3d9_get_decl(52), nullptr);
    EXPECT_EQ(disp_set_lvf_decl(3), 1);
    EXPECT_EQ(std::pair(disp_get_viewport().width, disp_get_viewport().height),
              std::pair(kTestWidth, kTestHeight));
    EXPECT_EQ(tex_get_target_width(), kTestWidth);
    EXPECT_EQ(Pixel(10, 10) & 0xFFFFFF, 0u);  // started black
    EXPECT_EQ(disp_get_present_params()->depth_format, GFX_FMT_D24S8);
    EXPECT_NE(disp_get_device(), nullptr);
    EXPECT_EQ(disp_get_device_raw(), disp_get_device());
    // Releasing through a slot clears it; empty slots are left alone.
    GfxVertexBuffer* vb = gfx_vb_create(64, 0, 0, GFX_POOL_DEFAULT);
    ASSERT_NE(vb, nullptr);
    com_release_ptr(&vb);
    EXPECT_EQ(vb, nullptr);
    com_release_ptr(&vb);
    com_release_ptr(static_cast<GfxTexture**>(nullptr));
    // A second start is refused; a forced lock reads the back buffer.
    D3d9BootDesc desc;
    desc.window = window_;
    desc.width = kTestWidth;
    desc.height = kTestHeight;
    EXPECT_EQ(d3d9_boot(&desc), 0);
    EXPECT_EQ(d3d9_booted(), 1);
    EXPECT_EQ(disp_get_force_lock(), 0);
    disp_force_lock(tex_get_backbuffer_record());
    disp_force_lock(nullptr);
    gfx_begin_scene();
    EXPECT_EQ(disp_clear(0, 0xFF445566), GFX_OK);
    gfx_end_scene();
    EXPECT_TRUE(Near(Pixel(0, 0), 0xFF445566));
}

TEST_F(D3d9Test, ClearModesAndDepthOnlyClearWithoutDepthSurface)
{
    const auto shown_after_clear = [](int mode, uint32_t colour) {
        EXPECT_EQ(disp_clear(mode, colour), GFX_OK) << mode;
        return Pixel(5, 5);
    };
    gfx_begin_scene();
    EXPECT_TRUE(Near(shown_after_clear(0, 0xFF204080), 0xFF204080));
    // Without a depth surface a depth-only clear must leave the colour alone.
    SurfRecord* depth = tex_get_depth_target();
    tex_set_depth_target(nullptr);
    EXPECT_TRUE(Near(shown_after_clear(3, 0xFFFF0000), 0xFF204080));
    EXPECT_TRUE(Near(shown_after_clear(5, 0xFF00FF00), 0xFF00FF00));  // target bit kept
    tex_set_depth_target(depth);
    EXPECT_TRUE(Near(shown_after_clear(7, 0xFF0000FF), 0xFF0000FF));
    EXPECT_EQ(std::pair(disp_clear(8, 0), disp_clear(-1, 0)),
              std::pair(GFX_E_INVALIDCALL, GFX_E_INVALIDCALL));
    gfx_end_scene();
}

namespace {
TexRecord g_lookup_tex;
TexRecord* lookup_one(uint32_t h) { return h == 1 ? &g_lookup_tex : nullptr; }
int screen_rect(int screen, GfxRect* r)
{
    if (screen != 1) return 0;
    *r = {4, 6, 24, 16};
    return 1;
}
}  // namespace

TEST_F(D3d9Test, ViewportAndScissorOfScreensAndTexturesAndClampedToTheTarget)
{
    DispLinks links = disp_links();
    links.tex_lookup = lookup_one;
    links.screen_rect = screen_rect;
    disp_set_links(links);
    ASSERT_EQ(tex_create(&g_lookup_tex, GFX_FMT_A8R8G8B8, 32, 16, 1), 1);
    const auto viewport = [] {
        const GfxViewport v = disp_get_viewport();
        return std::array{v.x, v.y, v.width, v.height};
    };
    disp_set_viewport_tex(1);
    EXPECT_EQ(viewport(), (std::array{0, 0, 32, 16}));
    disp_set_viewport_tex_frac(1, 0.5f, 0.25f, 0.5f, 0.5f);
    EXPECT_EQ(viewport(), (std::array{16, 4, 16, 8}));
    disp_set_viewport_tex(2);  // no texture: nothing changes
    EXPECT_EQ(viewport(), (std::array{16, 4, 16, 8}));
    disp_set_viewport_screen(1);
    EXPECT_EQ(viewport(), (std::array{4, 6, 20, 10}));
    disp_set_scissor_tex_frac(1, 0.25f, 0.0f, 0.5f, 1.0f);
    EXPECT_EQ(Scissor(), (std::array{8, 0, 16, 16}));
    disp_set_scissor_screen(1);
    EXPECT_EQ(Scissor(), (std::array{4, 6, 20, 10}));
    EXPECT_EQ(disp_check_tex_fmt(1), 1);
    tex_release(&g_lookup_tex);
    // Plain rectangles are clamped to the target.
    disp_set_scissor(-5, -6, 1000, 1000);
    EXPECT_EQ(Scissor(), (std::array{0, 0, kTestWidth, kTestHeight}));
    disp_set_scissor(10, 10, -4, 5);  // negative width: empty, never inverted
    EXPECT_EQ(Scissor(), (std::array{10, 10, 0, 5}));
    disp_get_scissor(nullptr, nullptr, nullptr, nullptr);
    disp_set_scissor_screen(-1);
    EXPECT_EQ(Scissor(), (std::array{0, 0, kTestWidth, kTestHeight}));
}

TEST_F(D3d9Test, ColourWriteClipPlaneAndStencilWrappers)
{
    disp_set_color_write(1, 0, 1, 0);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_COLORWRITEENABLE), 5u);
    const float plane[4] = {0, 1, 0, -2};
    const auto clip_planes = [&](int i, const float* p, int on) {
        disp_set_clip_plane(i, p, on);
        return gfx_get_render_state(GFX_RS_CLIPPLANEENABLE);
    };
    EXPECT_EQ(clip_planes(2, plane, 1), 4u);
    EXPECT_EQ(clip_planes(9, plane, 1), 4u);  // no such plane
    EXPECT_EQ(clip_planes(2, nullptr, 0), 0u);
    disp_set_stencil_enable(1);
    disp_set_stencil_func(3, 0xF0, 0x0F, GFX_CMP_EQUAL);
    disp_set_stencil_ops(2, 6, 9);
    EXPECT_EQ(RenderStates({GFX_RS_STENCILENABLE, GFX_RS_STENCILREF, GFX_RS_STENCILMASK,
                            GFX_RS_STENCILWRITEMASK, GFX_RS_STENCILFUNC, GFX_RS_STENCILFAIL,
                            GFX_RS_STENCILZFAIL, GFX_RS_STENCILPASS}),
              (std::vector<uint32_t>{1, 3, 0xF0, 0x0F, GFX_CMP_EQUAL, GFX_STENCILOP_REPLACE,
                                     GFX_STENCILOP_INCR, GFX_STENCILOP_KEEP}));
}

namespace {
std::vector<std::string> g_events;
void on_lost()
{
    g_events.push_back("lost");
    tex_surfaces_on_lost();
}
void on_reset()
{
    g_events.push_back("reset");
    tex_surfaces_on_reset();
}
void on_window() { g_events.push_back("window"); }
}  // namespace

class D3d9LossTest : public DispDevice {
protected:
    void Configure(D3d9BootDesc& desc) override
    {
        desc.lost = on_lost;
        desc.reset = on_reset;
        g_events.clear();
    }
};

TEST_F(D3d9LossTest, SimulatedLossRunsCallbacksInOrderAndResetsCaches)
{
    DispLinks links = disp_links();
    links.window_reset = on_window;
    disp_set_links(links);
    TexRecord t;
    ASSERT_EQ(tex_create(&t, GFX_FMT_A8R8G8B8, 4, 4, 1), 1);
    const RenderStateKey k = rstate_key_make(1, 1, 0, 1, 0, 5, 3, 0, 1);
    disp_set_rstate_block(k, nullptr);
    tex_set_stage(1, &t, 1);

    disp_present();
    EXPECT_TRUE(g_events.empty());
    gfx_simulate_device_loss();
    disp_present();  // lost, not yet ready to be reset
    EXPECT_TRUE(g_events.empty());
    disp_present();  // ready: lost step, reset, reset step, window
    ASSERT_EQ(g_events, (std::vector<std::string>{"lost", "reset", "window"}));
    EXPECT_EQ(disp_rstate_lighting(), 0xFFFFFFFFu);
    // The reset unbound the texture: binding the same record sets it again.
    const uint64_t before = tex_stage_set_count();
    tex_set_stage(1, &t, 1);
    EXPECT_GT(tex_stage_set_count(), before);
    EXPECT_EQ(std::pair(gfx_get_texture(1), gfx_get_texture(0)),
              std::pair(t.texture, tex_get_white()->texture));
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 1);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_LIGHTING), 1u);
    EXPECT_NE(tex_get_backbuffer_record()->surface, nullptr);
    gfx_begin_scene();
    EXPECT_EQ(disp_clear(5, 0xFF112233), GFX_OK);
    gfx_end_scene();
    EXPECT_TRUE(Near(Pixel(1, 1), 0xFF112233));
    disp_present();
    EXPECT_EQ(g_events.size(), 3u);
    tex_release(&t);
}

TEST_F(D3d9LossTest, ModeChangeResetsAtTheNextPresent)
{
    disp_request_mode_change(32, 24, 0);
    disp_present();
    ASSERT_EQ(g_events, (std::vector<std::string>{"lost", "reset"}));
    int w = 0, h = 0;
    gfx_get_backbuffer_size(&w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(32, 24));
    EXPECT_EQ(disp_get_mode(), 0);
    disp_present();
    EXPECT_EQ(g_events.size(), 2u);
}
