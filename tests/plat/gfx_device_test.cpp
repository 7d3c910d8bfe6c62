// Device basics: culling, viewport, scissor, depth, stencil, masks, loss, no device.
#include <epoxy/gl.h>

#include <gmock/gmock.h>

#include <array>

#include "gfx_fixture.h"

using ::testing::Each;

TEST_F(GfxTest, CullModesKeepAndDropWhatDirect3DWould)
{
    // Triangles whose vertices run clockwise on screen (y grows downwards) or not.
    struct Case {
        uint32_t cull;
        bool ccw, drawn;
    } cases[] = {
        {GFX_CULL_CCW, false, true}, {GFX_CULL_CCW, true, false},  {GFX_CULL_CW, false, false},
        {GFX_CULL_CW, true, true},   {GFX_CULL_NONE, false, true}, {GFX_CULL_NONE, true, true},
    };
    for (const auto& c : cases) {
        gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLACK, 1, 0);
        gfx_set_render_state(GFX_RS_CULLMODE, c.cull);
        TlVertex v[3] = {{0, 0, 0, 1, GFX_FIXTURE_GREEN, 0, 0},
                         {20, 0, 0, 1, GFX_FIXTURE_GREEN, 0, 0},
                         {0, 20, 0, 1, GFX_FIXTURE_GREEN, 0, 0}};
        if (c.ccw) std::swap(v[1], v[2]);
        draw_up(GFX_FIXTURE_TL_FVF, GFX_PT_TRIANGLELIST, 1, v);
        EXPECT_EQ(near(pixel(3, 3), GFX_FIXTURE_GREEN), c.drawn)
            << "cull " << c.cull << " ccw " << c.ccw;
    }
}

TEST_F(GfxTest, ScissorAndViewportLimitDrawingAndClearing)
{
    GfxRect sc{10, 10, 20, 15};
    ASSERT_EQ(gfx_set_scissor_rect(&sc), GFX_OK);
    gfx_set_render_state(GFX_RS_SCISSORTESTENABLE, 1);
    quad(0, 0, GFX_FIXTURE_W, GFX_FIXTURE_H, GFX_FIXTURE_WHITE);
    expect_at({{10, 10, GFX_FIXTURE_WHITE}, {19, 14, GFX_FIXTURE_WHITE}});
    expect_at(
        {{20, 14, GFX_FIXTURE_BLACK}, {19, 15, GFX_FIXTURE_BLACK}, {9, 10, GFX_FIXTURE_BLACK}});
    // A clear also keeps to the scissor rectangle while scissoring is on.
    ASSERT_EQ(gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLUE, 1, 0), GFX_OK);
    expect_at({{12, 12, GFX_FIXTURE_BLUE}, {30, 30, GFX_FIXTURE_BLACK}});
    gfx_set_render_state(GFX_RS_SCISSORTESTENABLE, 0);
    // The scissor is clamped to the target, right/bottom never before left/top.
    GfxRect wild{-5, 30, 500, 20}, got{};
    ASSERT_EQ(gfx_set_scissor_rect(&wild), GFX_OK);
    ASSERT_EQ(gfx_get_scissor_rect(&got), GFX_OK);
    EXPECT_EQ((std::array{got.left, got.top, got.right, got.bottom}),
              (std::array{0, 30, GFX_FIXTURE_W, 30}));
    // The viewport limits a clear, and a 3D quad in clip space fills it.
    GfxViewport vp{8, 4, 16, 8, 0, 1};
    ASSERT_EQ(gfx_set_viewport(&vp), GFX_OK);
    ASSERT_EQ(gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_GREEN, 1, 0), GFX_OK);
    expect_at({{8, 4, GFX_FIXTURE_GREEN}, {23, 11, GFX_FIXTURE_GREEN}, {7, 4, GFX_FIXTURE_BLACK}});
    GfxViewport outside{60, 0, 16, 8, 0, 1};
    EXPECT_EQ(gfx_set_viewport(&outside), GFX_E_INVALIDCALL);
    gfx_set_render_state(GFX_RS_LIGHTING, 0);
    clip_quad(GFX_FIXTURE_RED);
    expect_at({{8, 4, GFX_FIXTURE_RED},
               {23, 11, GFX_FIXTURE_RED},
               {7, 4, GFX_FIXTURE_BLACK},
               {8, 12, GFX_FIXTURE_BLACK}});
}

TEST_F(GfxTest, ZFunctionsStencilAndColourMaskDecideWhatIsDrawn)
{
    struct Case {
        uint32_t func;
        float z;
        bool pass;
    } cases[] = {
        {GFX_CMP_NEVER, 0.5f, false},        {GFX_CMP_LESS, 0.4f, true},
        {GFX_CMP_LESS, 0.5f, false},         {GFX_CMP_EQUAL, 0.5f, true},
        {GFX_CMP_EQUAL, 0.6f, false},        {GFX_CMP_LESSEQUAL, 0.5f, true},
        {GFX_CMP_GREATER, 0.6f, true},       {GFX_CMP_GREATER, 0.5f, false},
        {GFX_CMP_NOTEQUAL, 0.5f, false},     {GFX_CMP_NOTEQUAL, 0.7f, true},
        {GFX_CMP_GREATEREQUAL, 0.4f, false}, {GFX_CMP_ALWAYS, 0.9f, true},
    };
    for (const auto& c : cases) {
        gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, GFX_FIXTURE_BLACK, 1, 0);
        gfx_set_render_state(GFX_RS_ZFUNC, GFX_CMP_ALWAYS);
        quad(0, 0, 8, 8, GFX_FIXTURE_BLUE, 0.5f);
        gfx_set_render_state(GFX_RS_ZFUNC, c.func);
        quad(0, 0, 8, 8, GFX_FIXTURE_WHITE, c.z);
        EXPECT_EQ(near(pixel(4, 4), GFX_FIXTURE_WHITE), c.pass)
            << "func " << c.func << " z " << c.z;
    }
    // Without z write the depth stays; with ZENABLE off nothing is tested.
    gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, GFX_FIXTURE_BLACK, 1, 0);
    set_states({{GFX_RS_ZFUNC, GFX_CMP_LESS}, {GFX_RS_ZWRITEENABLE, 0}});
    quad(0, 0, 8, 8, GFX_FIXTURE_BLUE, 0.2f);
    quad(0, 0, 8, 8, GFX_FIXTURE_GREEN, 0.5f);
    expect_at({{4, 4, GFX_FIXTURE_GREEN}});
    gfx_set_render_state(GFX_RS_ZWRITEENABLE, 1);
    quad(0, 0, 8, 8, GFX_FIXTURE_BLUE, 0.2f);
    gfx_set_render_state(GFX_RS_ZENABLE, 0);
    quad(0, 0, 8, 8, GFX_FIXTURE_RED, 0.9f);
    expect_at({{4, 4, GFX_FIXTURE_RED}});
    // Depth and stencil clears keep the colour.
    ASSERT_EQ(gfx_clear(GFX_CLEAR_TARGET, 0xFF204060u, 1, 0), GFX_OK);
    ASSERT_EQ(gfx_clear(GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, GFX_FIXTURE_WHITE, 0.0f, 3), GFX_OK);
    expect_at({{1, 1, 0xFF204060u}});
    // Stencil: pass where the stored value equals 3; z cleared to 0 would fail LESSEQUAL.
    set_states({{GFX_RS_ZENABLE, 0},
                {GFX_RS_STENCILENABLE, 1},
                {GFX_RS_STENCILFUNC, GFX_CMP_EQUAL},
                {GFX_RS_STENCILREF, 3},
                {GFX_RS_STENCILPASS, GFX_STENCILOP_INCRSAT}});
    quad(0, 0, 4, 4, GFX_FIXTURE_WHITE);
    expect_at({{1, 1, GFX_FIXTURE_WHITE}});
    quad(0, 0, 4, 4, GFX_FIXTURE_GREEN);  // stencil is 4 now: fails
    expect_at({{1, 1, GFX_FIXTURE_WHITE}});
    gfx_set_render_state(GFX_RS_STENCILREF, 4);
    quad(0, 0, 4, 4, GFX_FIXTURE_GREEN);
    expect_at({{1, 1, GFX_FIXTURE_GREEN}});
    gfx_set_render_state(GFX_RS_STENCILENABLE, 0);
    // The write mask limits drawn channels (red and blue here), never a clear.
    gfx_set_render_state(GFX_RS_COLORWRITEENABLE, 0x1 | 0x4);
    gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLACK, 1, 0);
    expect_at({{1, 1, GFX_FIXTURE_BLACK}});
    quad(0, 0, 4, 4, GFX_FIXTURE_WHITE);
    expect_at({{1, 1, 0xFFFF00FFu}});
}

TEST_F(GfxTest, UnchangedStatesIssueNoGlStateChange)
{
    set_states({{GFX_RS_ALPHABLENDENABLE, 1},
                {GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA},
                {GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA}});
    quad(0, 0, 4, 4, 0x80FFFFFFu);
    uint64_t before = gfx_get_counters()->state_changes;
    uint64_t draws = gfx_get_counters()->draw_calls;
    set_states({{GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA}, {GFX_RS_CULLMODE, GFX_CULL_NONE}});
    quad(0, 0, 4, 4, 0x80FFFFFFu);
    EXPECT_EQ(gfx_get_counters()->state_changes, before);
    EXPECT_EQ(gfx_get_counters()->draw_calls, draws + 1);
    gfx_set_render_state(GFX_RS_DESTBLEND, GFX_BLEND_ONE);  // a real change costs one GL call
    quad(0, 0, 4, 4, 0x80FFFFFFu);
    EXPECT_EQ(gfx_get_counters()->state_changes, before + 1);
}

// Before a device exists (or after a failed start) every call fails and touches nothing.
TEST(GfxNoDevice, EveryCallFailsCleanly)
{
    ASSERT_EQ(gfx_device_ok(), 0);
    EXPECT_EQ(gfx_device_create(nullptr, nullptr), 0);  // a failed start
    EXPECT_EQ(gfx_device_ok(), 0);
    TlVertex v[3] = {};
    uint8_t p[4];
    GfxPresentParams pp{};
    EXPECT_THAT(
        (std::array{gfx_clear(GFX_CLEAR_TARGET, 0, 1, 0), gfx_begin_scene(), gfx_present(),
                    gfx_set_render_state(GFX_RS_ZENABLE, 0), gfx_set_fvf(GFX_FIXTURE_TL_FVF),
                    gfx_draw_primitive_up(GFX_PT_TRIANGLELIST, 1, v, sizeof(TlVertex)),
                    gfx_read_pixels(0, 0, 1, 1, p, 4), gfx_reset(&pp)}),
        Each(GFX_E_NODEVICE));
    EXPECT_THAT(
        (std::array<const void*, 5>{gfx_tex_create(4, 4, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED),
                                    gfx_vb_create(64, 0, 0, GFX_POOL_MANAGED),
                                    gfx_shader_compile(GFX_SHADER_PIXEL, "void PsMain(){}", 15,
                                                       "PsMain", "ps_2_0", nullptr, 0),
                                    gfx_get_render_target(0), gfx_white_texture()}),
        Each(nullptr));
    gfx_simulate_device_loss();
    gfx_device_destroy();
}

// Objects released after a reset or after their device never touch another device's GL names.
TEST(GfxLifetime, ObjectsReleasedAfterResetOrDestroyAreSafe)
{
    void* win = gfx_test_window_create(32, 32);
    ASSERT_NE(win, nullptr);
    GfxPresentParams pp{32, 32, GFX_FMT_D24S8, 0, 0, 1};
    ASSERT_EQ(gfx_device_create(win, &pp), 1);
    EXPECT_EQ(gfx_device_create(win, &pp), 0);  // one device at a time
    GfxSurface* old_back = gfx_get_render_target(0);
    ASSERT_EQ(gfx_reset(&pp), GFX_OK);
    GfxSurface* new_back = gfx_get_render_target(0);
    gfx_surface_release(old_back);  // the last reference frees it
    gfx_surface_release(new_back);
    GfxTexture* t = gfx_tex_create(8, 8, 0, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
    GfxSurface* ts = gfx_tex_get_surface(t, 1);
    GfxVertexBuffer* vb = gfx_vb_create(64, 0, 0, GFX_POOL_MANAGED);
    GfxIndexBuffer* ib = gfx_ib_create(64, 0, GFX_FMT_INDEX16, GFX_POOL_MANAGED);
    GfxVertexElement e[GFX_MAX_VERTEX_ELEMENTS];
    gfx_fvf_to_elements(GFX_FIXTURE_TL_FVF, e);
    GfxVertexDecl* decl = gfx_decl_create(e);
    GfxShader* ps =
        compile(GFX_SHADER_PIXEL, "void PsMain() { oC0 = vec4(1.0); }", "PsMain", "ps_2_0");
    GfxSurface* z = gfx_surface_create_depth(8, 8, GFX_FMT_D16, 0);
    ASSERT_TRUE(t && ts && vb && ib && decl && ps && z);
    gfx_device_destroy();
    // A new device must not lose its objects to the old ones' release.
    ASSERT_EQ(gfx_device_create(win, &pp), 1);
    GfxTexture* fresh = gfx_tex_create(4, 4, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
    ASSERT_NE(fresh, nullptr);
    gfx_surface_release(ts);
    gfx_tex_release(t);
    gfx_vb_release(vb);
    gfx_ib_release(ib);
    gfx_decl_release(decl);
    gfx_shader_release(ps);
    gfx_surface_release(z);
    GfxLockedRect lr{};
    EXPECT_EQ(gfx_tex_lock(fresh, 0, nullptr, &lr, 0), GFX_OK);
    EXPECT_EQ(gfx_tex_unlock(fresh, 0), GFX_OK);
    gfx_tex_release(fresh);
    gfx_device_destroy();
    gfx_test_window_destroy(win);
}

// The frame is stored top row first and GL window rows count from the bottom.
TEST_F(GfxTest, PresentShowsTheFrameUprightAndAnUntakenSampleCountFallsBack)
{
    gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLUE, 1, 0);
    quad(0, 0, GFX_FIXTURE_W, GFX_FIXTURE_H / 2, GFX_FIXTURE_RED);
    // Present binds its own source, whatever was bound for reading before.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    gfx_invalidate_gl_cache();
    ASSERT_EQ(gfx_present(), GFX_OK);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_FRONT);
    uint8_t top[4] = {}, bottom[4] = {};
    glReadPixels(5, GFX_FIXTURE_H - 3, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, top);
    glReadPixels(5, 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottom);
    gfx_invalidate_gl_cache();
    EXPECT_EQ((std::array{top[0], top[2], bottom[0], bottom[2]}),
              (std::array<uint8_t, 4>{255, 0, 0, 255}));
    // A sample count no driver takes falls back to none (an antialiased frame is read back in the
    // screenshot tests).
    GfxPresentParams silly{GFX_FIXTURE_W, GFX_FIXTURE_H, GFX_FMT_D16, 0, 64, 1}, got{};
    ASSERT_EQ(gfx_reset(&silly), GFX_OK);
    gfx_get_present_params(&got);
    EXPECT_EQ(got.samples, 0);
}
