// Sprite objects in screen 0's 3D pass: texture corners of each kind,
// culling, far-to-near order, batching by state, placement and the accessors'
// edge cases.
#include <cstring>

#include "objx/qspr.h"
#include "obj3d/obj3d_fixture.h"
#include "tools/qv_samples.h"

namespace {

using o3t::Obj3dScene;

constexpr uint32_t QSPR_RED = 0xFFFF0000u, QSPR_GREEN = 0xFF00FF00u, QSPR_BLUE = 0xFF0000FFu;
constexpr uint32_t QSPR_WHITE = 0xFFFFFFFFu;

class Qspr : public Obj3dScene {
protected:
    void SetUp() override
    {
        Obj3dScene::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(qspr_type_register(), 0);
        // The category's texture: quadrants red, green (top), blue, white (bottom).
        const qvw::TexLstCatDesc cat = qvw::sample_sprite_category();
        const qvw::TexLstTexDesc& t = cat.textures[0];
        tex_ = res_tex_create(cat.name.c_str(), t.file.c_str(), t.width, t.height,
                              RES_TEX_FORMAT_ARGB32, false);
        const uint32_t quarter[4] = {QSPR_RED, QSPR_GREEN, QSPR_BLUE, QSPR_WHITE};
        std::vector<uint32_t> px;
        for (int y = 0; y < t.height; ++y)
            for (int x = 0; x < t.width; ++x)
                px.push_back(quarter[(y >= t.height / 2) * 2 + (x >= t.width / 2)]);
        res_tex_set_image(tex_, 0, 0, t.width, t.height, px.data());
        for (const qvw::TexLstCropDesc& c : t.crops)
            res_crop_register_px(cat.name.c_str(), c.name.c_str(), c.x, c.y, c.w, c.h, tex_);
        all_ = res_crop_find("qspr", "all");
        ASSERT_NE(all_, 0u);
    }
    void RenderCounted()
    {
        qspr_frame_reset();
        calls_ = gfx_get_counters()->draw_calls;
        Render();
        calls_ = gfx_get_counters()->draw_calls - calls_;
    }
    // The quarter points of a box of `size` pixels about the centre show the
    // texture's quadrants upright.
    void ExpectUpright(int size)
    {
        const int l = 32 - size / 4, r = 32 + size / 4, t = 24 - size / 4, b = 24 + size / 4;
        const std::array got = {Pixel(l, t), Pixel(r, t), Pixel(l, b), Pixel(r, b)};
        EXPECT_EQ(got, (std::array{QSPR_RED, QSPR_GREEN, QSPR_BLUE, QSPR_WHITE}))
            << std::hex << got[0] << " " << got[1] << " " << got[2] << " " << got[3];
    }
    ResHandle tex_ = 0, all_ = 0;
    uint64_t calls_ = 0;
};

const Vec3 QSPR_AHEAD = {0, 0, 10};

TEST_F(Qspr, EveryKindMapsTheCropCornersUpright)
{
    const Vec3 l = {-4, 0, 10}, r = {4, 0, 10};
    const Vec3 c[4] = {{-3, 3, 10}, {-3, -3, 10}, {3, 3, 10}, {3, -3, 10}};
    for (int kind = 0; kind < 3; ++kind) {
        DrawObj* o = kind == 0 ? qspr_bb_create_1f(1, &QSPR_AHEAD, 0, 6, all_, QSPR_WHITE, 1, 0)
                     : kind == 1
                         ? qspr_beam_create_1f(1, &l, &r, 12, QSPR_WHITE, QSPR_WHITE, all_, 1)
                         : qspr_quad_create_full(1, &c[0], &c[1], &c[2], &c[3], QSPR_WHITE,
                                                 QSPR_WHITE, QSPR_WHITE, QSPR_WHITE, all_, 1);
        ASSERT_NE(o, nullptr);
        if (kind == 2) obj_kill(o);
        RenderCounted();
        SCOPED_TRACE(kind);
        ExpectUpright(24);
        EXPECT_EQ(calls_, 1u);
    }
}

TEST_F(Qspr, ViewOffsetMovesTowardTheEyeAndBehindTheCameraIsCulled)
{
    DrawObj* o = qspr_bb_create(1, &QSPR_AHEAD, 0, 4, 0, QSPR_WHITE, 1);
    RenderCounted();
    EXPECT_EQ(Pixel(42, 24), 0xFF000000u);
    qspr_bb_set_view_offset(o, -5);
    RenderCounted();
    EXPECT_EQ(Pixel(42, 24), QSPR_WHITE);
    qspr_bb_set_pos_xyz(o, 0, 0, -10);
    RenderCounted();
    EXPECT_EQ(std::tuple(qspr_get_drawn_count(), calls_), std::tuple(0, 0u));
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHATESTENABLE), 0u);
}

TEST_F(Qspr, FarToNearOrderWithBlending)
{
    const Vec3 near = {0, 0, 8}, far = {0, 0, 12};
    DrawObj* n = qspr_bb_create_1f(1, &near, 0, 2, 0, QSPR_GREEN, 1, 0);
    DrawObj* f = qspr_bb_create_1f(1, &far, 0, 4, 0, 0x80FF0000u, 1, 0);
    RenderCounted();
    EXPECT_EQ(Pixel(32, 24), QSPR_GREEN);
    ASSERT_EQ(obj3d_sort_count(), 2);
    EXPECT_EQ(std::pair(obj3d_sort_array()[0], obj3d_sort_array()[1]), std::pair(f, n));
}

TEST_F(Qspr, DrawCallsFollowStateChangesAndAnAlphaOverrideLeavesNoStaleCache)
{
    const ResHandle tl = res_crop_find("qspr", "tl");
    struct Case {
        const char* what;
        void (*change)(DrawObj* o, ResHandle tex);
        int forced;
        uint64_t calls;
    };
    const Case cases[] = {
        {"same", [](DrawObj*, ResHandle) {}, 0, 1},
        {"texture 2", [](DrawObj* o, ResHandle t) { qspr_bb_set_tex2(o, t); }, 0, 2},
        {"blend", [](DrawObj* o, ResHandle) { qspr_bb_set_blend(o, 2); }, 0, 2},
        {"blend forced", [](DrawObj* o, ResHandle) { qspr_bb_set_blend(o, 2); }, 1, 1},
        {"z mode", [](DrawObj* o, ResHandle) { qspr_bb_set_zmode(o, 4); }, 0, 2},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < 3; ++i) {
            const Vec3 at = {float(i) - 1, 0, 10 + float(i)};
            DrawObj* o = qspr_bb_create_1f(1, &at, 0, 1, tl, QSPR_WHITE, 1, 0);
            if (i == 2) c.change(o, tex_);  // the farthest, drawn first
        }
        obj3d_set_w12(c.forced);
        RenderCounted();
        EXPECT_EQ(calls_, c.calls) << c.what;
        EXPECT_EQ(uint64_t(qspr_get_draw_calls()), c.calls) << c.what;
        EXPECT_EQ(qspr_get_drawn_count(), 3) << c.what;
    }
    for (int i = 0; i < QSPR_BATCH_QUADS + 1; ++i)
        qspr_bb_create_1f(1, &QSPR_AHEAD, 0, 1, tl, QSPR_WHITE, 1, 0);
    RenderCounted();
    EXPECT_EQ(calls_, 2u);
    // An alpha override leaves no stale cache behind.
    qspr_bb_create_1f(1, &QSPR_AHEAD, 0, 2, 0, QSPR_WHITE, 1, 0);
    obj3d_set_alpha_ref_ovr(2);
    RenderCounted();
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(disp_rstate_alpha_ref(), 0xFFFFFFFFu);  // the next key applies it again
}

TEST_F(Qspr, PlacedQuadsBakeAndCullWhereTheyAreDrawn)
{
    // Corners about local (20, 0, 0), turned half round and moved by (20, 0, 10):
    // on screen at the centre, while the unturned mean lies far off screen.
    DrawObj* o = qspr_quad_create(1, all_, 1);
    const Vec3 c[4] = {{17, 3, 0}, {17, -3, 0}, {23, 3, 0}, {23, -3, 0}};
    for (int k = 0; k < 4; ++k) qspr_quad_set_corner(o, k, &c[k]);
    const Vec3 pos = {20, 0, 10}, rot = {0, float(M_PI), 0};
    qspr_quad_set_pos_rot(o, &pos, &rot);
    qspr_quad_set_use_mat(o, 1);
    RenderCounted();
    EXPECT_EQ(qspr_get_drawn_count(), 1);
    EXPECT_NE(Pixel(32, 24), 0xFF000000u);
    EXPECT_NEAR(o->depth, 100.0f, 0.1f);  // its placed centre (0, 0, 10) sorts it
    const Vec3 two = {2, 2, 2};
    qspr_quad_set_scale(o, &two);
    qspr_quad_bake(o);
    EXPECT_EQ(qspr_quad_get_use_mat(o), 0u);
    EXPECT_NEAR(qspr_quad_corner0(o)->x, 20 - 2 * 17, 0.01f);
    EXPECT_NEAR(qspr_quad_corner0(o)->z, 10, 0.01f);
}

TEST_F(Qspr, AccessorEdgeCases)
{
    DrawObj* b = qspr_bb_create(1, nullptr, 0, 1, 99999, QSPR_WHITE, 1);
    EXPECT_EQ(qspr_bb_get_tex1(b), 0u);  // an invalid crop: texture 0, unit square
    EXPECT_EQ(qspr_bb_get_uv1_umax(b), 1.0f);
    EXPECT_EQ(qspr_bb_set_value_b(b, -3)->value_b, 0.0f);
    EXPECT_EQ(qspr_bb_set_value_b(b, 7)->value_b, 1.0f);
    EXPECT_EQ(qspr_bb_set_view_offset(b, -2)->bb.view_off_sq, -4.0f);
    EXPECT_EQ(qspr_bb_set_view_offset(b, 0)->bb.view_off_sq, 0.0f);
    DrawObj* q = qspr_quad_create(1, all_, 1);
    const QsprWork before = *obj_work<QsprWork>(q);
    qspr_quad_set_colour_n(q, 4, 0);  // outside 0..3: nothing written
    qspr_quad_set_corner_xyz(q, -1, 1, 2, 3);
    qspr_quad_set_uv1_n(q, 7, 5, 5);
    EXPECT_EQ(std::memcmp(&before, obj_work<QsprWork>(q), sizeof before), 0);
    EXPECT_EQ(qspr_quad_corner(q, 4), nullptr);
    EXPECT_EQ(qspr_quad_uv1_1(q)[1], 1.0f);  // corner 1 takes (umin, vmax) of "all"
    const Vec3 same = {0, 0, 10};
    DrawObj* beam = qspr_beam_create(1, &same, &same, 2, QSPR_WHITE, QSPR_WHITE, all_, 1);
    Render();
    qspr_beam_set_tex1_proj(beam, 0, 0, 1);
    float u0, v0, u1, v1;
    qspr_beam_get_uv1_min(beam, &u0, &v0);
    qspr_beam_get_uv1_max(beam, &u1, &v1);
    // Ends on one point take the screen direction (1, 0): corners 0.5 off both ways at z 10.
    EXPECT_NEAR(u0, 0.47322f, 1e-4f);
    EXPECT_NEAR(v1, 0.53570f, 1e-4f);
}

}  // namespace
