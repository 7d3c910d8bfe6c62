// The display device: start-up, no device, present parameters, clears, states, lost device;
// render-state keys, tables and the state cache.
#include <string>

#include "disp/rstate.h"
#include "disp/screenshot.h"
#include "disp_fixture.h"

namespace {

TEST(PresentParams, SamplesClampAndSwapEffects)
{
    // Per row: samples asked, vsync, mode; then samples, swap effect, windowed, refresh, wait for
    // vertical sync (windowed never waits), back buffer width and count.
    const struct {
        int ask, vsync, mode;
        std::array<int, 7> want;
    } rows[] = {{7, 1, 1, {4, DISP_SWAP_DISCARD, 0, 60, 1, 800, 1}},
                {7, 1, 0, {4, DISP_SWAP_DISCARD, 1, 0, 0, 0, 1}},
                {-1, 0, 1, {0, DISP_SWAP_FLIP, 0, 60, 0, 800, 1}},
                {-1, 1, 0, {0, DISP_SWAP_COPY, 1, 0, 0, 0, 1}}};
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
    for (int i = 0; i < MDL_VERTEX_FORMAT_COUNT; ++i) EXPECT_NE(d3d9_get_decl(i), nullptr) << i;
    // The viewport and target cover the window, which starts black.
    EXPECT_EQ((std::array<int64_t, 7>{d3d9_get_decl(52) == nullptr, disp_set_lvf_decl(3),
                                      disp_get_viewport().width, disp_get_viewport().height,
                                      tex_get_target_width(), Pixel(10, 10) & 0xFFFFFF,
                                      disp_get_present_params()->depth_format}),
              (std::array<int64_t, 7>{1, 1, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT,
                                      DISP_FIXTURE_TEST_WIDTH, 0, GFX_FMT_D24S8}));
    EXPECT_TRUE(disp_get_device() && disp_get_device_raw() == disp_get_device());
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
    EXPECT_EQ((std::array{d3d9_boot(&desc), d3d9_booted(), disp_get_force_lock()}),
              (std::array{0, 1, 0}));
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

TexRecord g_lookup_tex;
TexRecord* lookup_one(uint32_t h) { return h == 1 ? &g_lookup_tex : nullptr; }
int screen_rect(int screen, GfxRect* r)
{
    if (screen != 1) return 0;
    *r = {4, 6, 24, 16};
    return 1;
}

TEST_F(D3d9Test, ViewportScissorColourWriteClipPlaneAndStencilWrappers)
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
    // Plain rectangles are clamped to the target; a negative width is empty, never inverted.
    disp_set_scissor(-5, -6, 1000, 1000);
    EXPECT_EQ(Scissor(), (std::array{0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT}));
    disp_set_scissor(10, 10, -4, 5);
    EXPECT_EQ(Scissor(), (std::array{10, 10, 0, 5}));
    disp_get_scissor(nullptr, nullptr, nullptr, nullptr);
    disp_set_scissor_screen(-1);
    EXPECT_EQ(Scissor(), (std::array{0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT}));
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
    gfx_simulate_device_loss();
    disp_present();  // lost, not yet ready to be reset
    EXPECT_TRUE(g_events.empty());
    disp_present();  // ready: lost step, reset, reset step, window
    ASSERT_EQ(g_events, (std::vector<std::string>{"lost", "reset", "window"}));
    EXPECT_EQ(disp_rstate_lighting(), 0xFFFFFFFFu);
    // The reset unbound the texture: binding the same record sets it again.
    const uint64_t before = tex_stage_set_count();
    tex_set_stage(1, &t, 1);
    EXPECT_EQ(tex_stage_set_count(), before + 6);  // addresses, three filters and the texture
    EXPECT_EQ(std::pair(gfx_get_texture(1), gfx_get_texture(0)),
              std::pair(t.texture, tex_get_white()->texture));
    EXPECT_EQ(std::pair(disp_set_rstate_block(k, nullptr), gfx_get_render_state(GFX_RS_LIGHTING)),
              std::pair(1, 1u));
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
    EXPECT_EQ(std::tuple(w, h, disp_get_mode()), std::tuple(32, 24, 0));
    disp_present();
    EXPECT_EQ(g_events.size(), 2u);
}

TEST(RstateKey, PacksEveryFieldMaskedToItsWidth)
{
    EXPECT_EQ(rstate_key_make(0, 0, 0, 0, 0, 0, 0, 0, 0), 1u);
    RenderStateKey k = rstate_key_make(1, 1, 1, 31, 7, 7, 7, 3, 3);
    EXPECT_EQ(std::pair(k, k & DISP_RS_CACHE_RESET), std::pair(0x3FF0FF35u, 0u));
    k = rstate_key_make(3, 2, 5, 33, 9, 13, 8, 4, 6);  // all beyond their widths
    EXPECT_EQ((std::array{disp_rstate_field(k, DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS),
                          disp_rstate_field(k, DISP_RS_CULL_SHIFT, DISP_RS_CULL_BITS),
                          disp_rstate_field(k, DISP_RS_ALPHA_REF_SHIFT, DISP_RS_ALPHA_REF_BITS),
                          disp_rstate_field(k, DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS),
                          disp_rstate_field(k, DISP_RS_FILL_SHIFT, DISP_RS_FILL_BITS),
                          disp_rstate_field(k, DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS)}),
              (std::array<uint32_t, 6>{1, 1, 5, 0, 0, 2}));
    EXPECT_EQ(k & (DISP_RS_LIGHTING | DISP_RS_Z_WRITE | DISP_RS_FOG),
              DISP_RS_LIGHTING | DISP_RS_FOG);
}

TEST(RstateTables, OutOfRangeIndicesFollowTheirRulesAndFormatsMapBothWays)
{
    uint32_t s, d, o;
    disp_blend_mode_get(20, &s, &d, &o);
    EXPECT_EQ(std::pair(s, d), std::pair(uint32_t(GFX_BLEND_ONE), uint32_t(GFX_BLEND_ONE)));
    disp_blend_mode_get(15, &s, &d, &o);
    EXPECT_EQ(o, GFX_BLENDOP_REVSUBTRACT);
    disp_blend_mode_get(1, nullptr, &d, nullptr);
    EXPECT_EQ(d, GFX_BLEND_INVSRCALPHA);
    EXPECT_EQ((std::array{disp_cull_get(2), disp_cull_get(5), disp_fill_get(3), disp_fill_get(1),
                          disp_filter_get(0), disp_filter_get(3)}),
              (std::array<uint32_t, 6>{GFX_CULL_NONE, GFX_CULL_CCW, GFX_FILL_SOLID,
                                       GFX_FILL_WIREFRAME, GFX_TEXF_POINT, GFX_TEXF_LINEAR}));
    EXPECT_EQ((std::array{disp_alpha_ref_get(2), disp_alpha_ref_get(5), disp_alpha_ref_get(7),
                          disp_zfunc_get(7), disp_zfunc_get(8), disp_zfunc_get(-1),
                          disp_stencil_op_get(3), disp_stencil_op_get(8)}),
              (std::array<uint32_t, 8>{129, 0, 1, GFX_CMP_ALWAYS, GFX_CMP_LESS, GFX_CMP_LESS,
                                       GFX_STENCILOP_INCRSAT, GFX_STENCILOP_KEEP}));
    EXPECT_EQ(std::pair(disp_depth_index_to_fmt(1), disp_depth_index_to_fmt(2)),
              std::pair(GFX_FMT_D24S8, GFX_FMT_D16));
    // Row 11 of the vertex formats repeats row 5.
    EXPECT_EQ((std::array{disp_lvf_to_fvf(0), disp_lvf_to_fvf(51), disp_lvf_to_fvf(52)}),
              (std::array<uint32_t, 3>{0x244, 0x50145C, 0}));
    EXPECT_EQ(
        (std::array{disp_fvf_to_lvf(0x112), disp_fvf_to_lvf(0x101358), disp_fvf_to_lvf(0x999)}),
        (std::array{5, 45, 0}));
    for (int i = 0; i < DISP_SURF_FORMAT_COUNT; ++i)
        EXPECT_EQ(disp_fmt_to_index(disp_index_to_fmt(i)), i);
    EXPECT_EQ(disp_index_to_fmt(24), GFX_FMT_L8);
    EXPECT_EQ(disp_fmt_to_index(GFX_FMT_D16), DISP_SF_L8);
    EXPECT_STREQ(disp_index_to_fmt_name(1), "X8R8G8B");
    EXPECT_EQ(disp_index_to_fmt_name(24), nullptr);
    EXPECT_EQ((std::array{disp_fmt_bpp(GFX_FMT_DXT1), disp_fmt_bpp(GFX_FMT_R8G8B8),
                          disp_fmt_bpp(GFX_FMT_A32B32G32R32F), disp_fmt_bpp(GFX_FMT_A4L4),
                          disp_fmt_bpp(GFX_FMT_UNKNOWN)}),
              (std::array{4, 24, 128, 16, 32}));
    EXPECT_EQ((std::array{disp_fmt_kind(GFX_FMT_D24S8), disp_fmt_kind(GFX_FMT_D16),
                          disp_fmt_kind(GFX_FMT_A8R8G8B8)}),
              (std::array<uint8_t, 3>{DISP_SURF_KIND_DEPTH | DISP_SURF_KIND_STENCIL,
                                      DISP_SURF_KIND_DEPTH, DISP_SURF_KIND_COLOR}));
    EXPECT_EQ(std::pair(disp_fmt_is_depth(GFX_FMT_D32), disp_fmt_is_depth(GFX_FMT_D24X8)),
              std::pair(1, 0));
}

int g_mesh_calls, g_mesh_result;
int fake_mesh_setup(const RstateMeshArgs&)
{
    ++g_mesh_calls;
    return g_mesh_result;
}

TEST_F(D3d9Test, RstateCacheAppliesTheKeyAndSkipsWhatIsCachedButNeverAnInvalidKey)
{
    RenderStateKey k = rstate_key_make(1, 0, 1, 2, 2, 1, 7, 1, 1);
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 1);
    EXPECT_EQ(
        RenderStates({GFX_RS_LIGHTING, GFX_RS_ZWRITEENABLE, GFX_RS_FOGENABLE, GFX_RS_SRCBLEND,
                      GFX_RS_DESTBLEND, GFX_RS_ALPHABLENDENABLE, GFX_RS_CULLMODE, GFX_RS_ALPHAREF,
                      GFX_RS_ALPHATESTENABLE, GFX_RS_ZFUNC, GFX_RS_FILLMODE}),
        (std::vector<uint32_t>{1, 0, 1, GFX_BLEND_SRCALPHA, GFX_BLEND_ONE, 1, GFX_CULL_NONE, 48, 1,
                               GFX_CMP_ALWAYS, GFX_FILL_WIREFRAME}));
    uint64_t sets = disp_rstate_set_count();
    const uint64_t gl_changes = gfx_get_counters()->state_changes;
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets);
    EXPECT_EQ(gfx_get_counters()->state_changes, gl_changes);
    // Only z write differs: one state call, and it does not count as a change.
    EXPECT_EQ(disp_set_rstate_block(k | DISP_RS_Z_WRITE, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets + 1);
    // An invalid key applies nothing, even with the reset bit.
    disp_set_rstate_block(rstate_key_make(0, 1, 0, 0, 0, 5, 3, 0, 0), nullptr);
    sets = disp_rstate_set_count();
    EXPECT_EQ(disp_set_rstate_block(DISP_RS_CACHE_RESET | DISP_RS_LIGHTING, nullptr), 0);
    EXPECT_EQ(std::tuple(disp_rstate_set_count(), disp_rstate_lighting()), std::tuple(sets, 0u));
    // A valid key with the reset bit sets everything again.
    k = rstate_key_make(0, 1, 0, 0, 0, 5, 3, 0, 0);
    EXPECT_EQ(disp_set_rstate_block(k | DISP_RS_CACHE_RESET, nullptr), 1);
    EXPECT_EQ(disp_rstate_set_count(), sets + 12);  // all twelve states of the block
}

TEST_F(D3d9Test, RstateHighBlendSeparateAlphaFormatChecksShaderSetAndMeshSetup)
{
    disp_set_rstate_block(rstate_key_make(0, 0, 0, 20, 0, 5, 0, 0, 0), nullptr);
    EXPECT_EQ(RenderStates({GFX_RS_SRCBLEND, GFX_RS_ALPHABLENDENABLE, GFX_RS_ALPHATESTENABLE}),
              (std::vector<uint32_t>{GFX_BLEND_ONE, 1, 0}));
    EXPECT_EQ(disp_rstate_blend(), 20u);
    disp_set_alpha_blend_sep(1, 13);
    EXPECT_EQ(RenderStates({GFX_RS_SEPARATEALPHABLENDENABLE, GFX_RS_BLENDOPALPHA}),
              (std::vector<uint32_t>{1, GFX_BLENDOP_MIN}));
    disp_set_alpha_blend_sep(0, 13);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_SEPARATEALPHABLENDENABLE), 0u);
    EXPECT_EQ((std::array{disp_check_fmt(GFX_FMT_A8R8G8B8, DISP_FMT_USE_RENDER_TARGET),
                          disp_check_fmt(GFX_FMT_D24S8, DISP_FMT_USE_DEPTH_STENCIL),
                          disp_check_fmt(GFX_FMT_A8R8G8B8, DISP_FMT_USE_DEPTH_STENCIL),
                          disp_check_fmt(GFX_FMT_A8R8G8B8, 9), disp_check_tex_fmt(1)}),
              (std::array{1, 1, 0, 0, 0}));  // the last: no such texture
    // A shader set forces lighting off; the mesh set-up runs on every block.
    DispLinks links = disp_links();
    links.mesh_setup = fake_mesh_setup;
    disp_set_links(links);
    g_mesh_calls = g_mesh_result = 0;
    RenderStateKey k = rstate_key_make(1, 1, 0, 0, 0, 5, 3, 0, 0);
    RstateMeshArgs mesh = {};
    mesh.shader_set = 3;
    disp_set_rstate_block(k, &mesh);
    EXPECT_EQ((std::array{gfx_get_render_state(GFX_RS_LIGHTING), disp_rstate_raw_lighting(),
                          disp_rstate_lighting(), uint32_t(g_mesh_calls)}),
              (std::array<uint32_t, 4>{0, 1, 0, 1}));
    g_mesh_result = 1;
    EXPECT_EQ(disp_set_rstate_block(k, &mesh), 1);  // nothing cached changed
    EXPECT_EQ(disp_set_rstate_key_fvf(k, 0x244), 1);
    EXPECT_EQ(g_mesh_calls, 3);
}

}  // namespace
