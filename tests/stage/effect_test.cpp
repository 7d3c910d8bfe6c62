// Hit effects on category "cmnv" loaded from a written data folder (cells: the texture's crops).
#include "stage/effect.h"

#include "svc/txt_settings.h"
#include "objx/qspr.h"
#include "obj3d/obj3d_fixture.h"
#include "res/resload.h"
#include "temp_dir.h"
#include "tools/qv_samples.h"
#include "util/crt_rand.h"

#include <array>
#include <cmath>
#include <functional>

namespace {

enum Cell { EXP = 0, FLASH = 4, MFLASH = 5, SMOKE = 6, MARU = 14, HIT = 18, BLOOD = 19, UJI = 21 };
constexpr int EFFECT_EMITTER = 22, EFFECT_NO_CROP = 23;
const Vec3 EFFECT_AT = {1, 2, 3};

class Effects : public o3t::Obj3dScene {
protected:
    void SetUp() override
    {
        Obj3dScene::SetUp();
        ASSERT_TRUE(qspr_type_register() &&
                    qvw::dataset_write(qvw::sample_effect_data(), dir_.file("d"), nullptr));
        txt_settings_load(dir_.write("s", "TEX_DATA_PATH " + dir_.file("d/texture/")).c_str());
        resload_boot(), crt_srand(7);
        ASSERT_TRUE(resload_request(EFFECT_CATEGORY, 0));
        while (resload_step() != RESLOAD_IDLE) {}
    }
    void TearDown() override { resload_shutdown(), txt_settings_term(), Obj3dScene::TearDown(); }
    static DrawObj* Newest() { return Live().at(0); }
    static std::vector<DrawObj*> Live()
    {
        std::vector<DrawObj*> v;
        obj_for_each(
            [](DrawObj* o, void* v) { static_cast<std::vector<DrawObj*>*>(v)->push_back(o); }, &v);
        return v;
    }
    static QsprWork* W(DrawObj* o) { return obj_work<QsprWork>(o); }
    static const float* Uv(DrawObj* o) { return W(o)->kind ? W(o)->quad.uv1 : W(o)->bb.uv1; }
    static int CellOf(DrawObj* o)
    {
        if (o->type == 0) return EFFECT_EMITTER;
        return W(o)->tex1 ? int(std::lround(Uv(o)[1] * 8)) * 8 + int(std::lround(Uv(o)[0] * 8))
                          : EFFECT_NO_CROP;
    }
    static int Count(int lo, int hi = -1)  // live objects showing cells lo..hi-1 (or lo)
    {
        int n = 0;
        for (DrawObj* o : Live()) n += CellOf(o) >= lo && CellOf(o) < (hi < 0 ? lo + 1 : hi);
        return n;
    }
    static int RunOut()  // frames until nothing lives
    {
        int n = 0;
        for (; obj_live_count() > 0 && n < 500; ++n) obj_frame();
        return n;
    }
    TempDir dir_;
};

TEST_F(Effects, EveryCreatorTakesItsOwnCropsAndEveryVariant)
{
    const std::pair<std::function<void()>, std::pair<int, int>> rows[] = {
        {[] { effect_explosion(1, &EFFECT_AT, 1, EFFECT_WHITE, 0, 1); }, {EXP, 1}},
        {[] { effect_flash(1, &EFFECT_AT, 1, EFFECT_WHITE, 0, 1, 0); }, {FLASH, 1}},
        {[] { effect_flash(1, &EFFECT_AT, 1, EFFECT_WHITE, 1, 1, 0); }, {MFLASH, 1}},
        {[] { effect_smoke(1, &EFFECT_AT, nullptr, 0, 1, 1, 1, EFFECT_WHITE, 5, 0); }, {SMOKE, 8}},
        {[] { effect_exp_particle(1, &EFFECT_AT, nullptr, 0, 1, 1, 1, EFFECT_WHITE, 5, 0); },
         {EXP, 4}},
        {[] { effect_blood_splat(1, &EFFECT_AT, 1, 0, EFFECT_RED); }, {BLOOD, 2}}};
    for (const auto& [make, cells] : rows) {
        int seen = 0;  // a bit per variant shown
        for (int i = 0; i < 200; ++i, obj_free(Newest())) {
            make();
            const int c = CellOf(Newest()) - cells.first;
            ASSERT_TRUE(c >= 0 && c < cells.second) << cells.first << " gave " << c + cells.first;
            seen |= 1 << c;
        }
        EXPECT_EQ(seen, (1 << cells.second) - 1) << "unused variant of " << cells.first;
    }
}

TEST_F(Effects, WithoutTheirFirstCropOrTextureEffectsShowNoCropAndStillRunOut)
{
    resload_shutdown();  // first crops missing, a foreign crop after the last, a crop's texture
    res_crop_register(EFFECT_CATEGORY, "smoke01", 0.5f, 0.5f, 0.1f, 0.1f, "none");
    res_crop_register(EFFECT_CATEGORY, "blood00", 0, 0, 0.1f, 0.1f, "none");
    res_crop_register("other", "next", 0.5f, 0.5f, 0.1f, 0.1f, "none");
    res_crop_register(EFFECT_CATEGORY, "hit00", 0, 0, 0.1f, 0.1f, "none");
    for (int i = 0; i < 40; ++i) {
        effect_smoke(1, &EFFECT_AT, nullptr, 0, 1, 1, 1, EFFECT_WHITE, 5, 0);
        effect_blood_splat(1, &EFFECT_AT, 1, 0, EFFECT_RED);
        for (int type = 0; type < 4; ++type) effect_hit(1, &EFFECT_AT, nullptr, type);
        effect_emitter_create(1, &EFFECT_AT, i % 2);
    }
    for (int f = 0; f < 30; ++f, obj_frame())
        for (DrawObj* o : Live())
            ASSERT_TRUE(o->type == 0 || (W(o)->tex1 == 0 && Uv(o)[0] + Uv(o)[1] == 0));
    Render();
    EXPECT_LT(RunOut(), 500);
    resload_boot();
}

TEST_F(Effects, LivesFromCreationToRelease)
{
    const Vec3 v = {0.5f, 0.5f, 0.5f}, below = {4, -1, 5};
    effect_explosion(1, &EFFECT_AT, 2, EFFECT_WHITE, 3, 1);  // held 3 frames, then 12 fades to 15
    for (int f = 1; f <= 14; ++f) {
        obj_frame();
        EXPECT_NEAR(W(Newest())->bb.scale_x, 1 + 0.3f * f, 1e-5);
        EXPECT_EQ(W(Newest())->bb.colour, (f <= 3 ? 255 : 255 - 20 * (f - 3)) * 0x01010101u);
    }
    EXPECT_EQ(RunOut(), 1);
    effect_flash(1, &EFFECT_AT, 5, 0xFF123456u, 1, 2, -3);  // a fifth of its alpha, then none
    for (int f = 0; f < 5; ++f) {
        obj_frame();
        EXPECT_NEAR(W(Newest())->bb.w, 5 * std::pow(0.6f, float(f)), 1e-5);
        EXPECT_EQ(W(Newest())->bb.colour, f ? 0x123456u : 0x33123456u);
    }
    EXPECT_EQ(RunOut(), 1);
    effect_particle(1, &EFFECT_AT, &v, 0, 0.5f, 1, 2, 0xC0FFFFFFu, 4, 0, 1, 0);  // 5 updates
    for (int f = 0; f < 4; ++f) {
        obj_frame();
        const QsprBillboard& b = W(Newest())->bb;
        const float k = 1 - std::pow(0.5f, float(f + 1));
        EXPECT_TRUE(b.centre.x == 1 + k && b.centre.y == 2 + k && b.centre.z == 3 + k &&
                    b.h == float(2 << f));
        EXPECT_NEAR(b.colour >> 24, 192 * std::cos(f * 0.3927f), 1.0);
    }
    EXPECT_EQ(RunOut(), 1);
    effect_splat(1, &EFFECT_AT, 2, 2, 0, 0x50FFFFFFu, 0.5f);  // held 2 frames, then 80 fades in 4
    EXPECT_NEAR(std::hypot(W(Newest())->quad.corner[2].x - 1, W(Newest())->quad.corner[2].z - 3),
                1.4142f, 1e-4);
    EXPECT_EQ(RunOut(), 6);
    effect_drop(1, &EFFECT_AT, &v, 0.2f, 0, 0, 0x50FFFFFFu);  // aloft past its life: 80 fades in 4
    EXPECT_EQ(RunOut(), 4);
    effect_drop(1, &below, &v, 0.2f, 0, 100, EFFECT_GREEN);  // splats on its first update
    obj_frame();
    const QsprCorners& s = W(Newest())->quad;
    ASSERT_EQ(obj_live_count(), 1);
    EXPECT_TRUE(s.colour[0] == EFFECT_GREEN && std::fabs(s.corner[0].y - 0.01f) < 1e-6f);
    EXPECT_NEAR(std::hypot(s.corner[0].x - 4.5f, s.corner[0].z - 5.5f), 1.1f / std::sqrt(2.0f),
                1e-4);
}

TEST_F(Effects, EmittersSpawnOnTheirFramesAndEndAfterCounterTwenty)
{
    for (int mode : {1, 0, 7}) {
        effect_emitter_create(1, &EFFECT_AT, mode);
        int explosions = 0, frames = 0;
        for (; frames < 30 && Count(EFFECT_EMITTER); ++frames) {
            obj_frame();
            int fresh = 0, flashes = 0, puffs = 0;  // not yet updated: scale 1, full alpha
            for (DrawObj* o : Live()) {
                const QsprBillboard& b = W(o)->bb;
                fresh += CellOf(o) == EXP && b.scale_x == 1 && std::fabs(b.centre.x - 1) <= 1.8f;
                flashes += CellOf(o) == MFLASH && b.colour >> 24 == 0xFF;
                puffs +=
                    CellOf(o) >= SMOKE && CellOf(o) < MARU && (b.colour & 0xFFFFFF) == 0x808080;
            }
            EXPECT_EQ(fresh, mode == 1 ? frames % 4 == 0 : mode == 0 && frames < 10) << frames;
            EXPECT_EQ(flashes, fresh);
            EXPECT_TRUE(frames > 0 || puffs == (mode == 0 ? 10 : 0)) << puffs;
            explosions += fresh;
        }
        EXPECT_EQ(frames, mode == 7 ? 1 : 21);
        EXPECT_EQ(explosions, mode == 1 ? 6 : mode == 0 ? 10 : 0);
        EXPECT_EQ(Count(SMOKE, MARU), mode == 1 ? 3 : mode == 0 ? 2 : 0);  // dark: 3, 11, 19
        RunOut();
    }
}

TEST_F(Effects, HitsSparksAndFlashesMakeTheirParts)
{
    const Vec3 dir = {1, 0, 0};
    const std::pair<std::function<void()>, std::array<int, 5>> rows[] = {
        // drops, bursts, smoke, flashes, splats
        {[&] { effect_hit(1, &EFFECT_AT, &dir, 0); }, {0, 0, 2, 0, 0}},
        {[&] { effect_hit(1, &EFFECT_AT, &dir, 1); }, {10, 1, 0, 0, 0}},  // in a cone of 60 degrees
        {[&] { effect_hit(1, &EFFECT_AT, &dir, 2); }, {10, 1, 0, 0, 0}},
        {[&] { effect_hit(1, &EFFECT_AT, &dir, 3); }, {6, 1, 0, 0, 2}},
        {[&] { effect_hit(1, &EFFECT_AT, &dir, 5); }, {0, 0, 0, 0, 0}},
        {[&] { effect_spark(1, &EFFECT_AT, 0, 0); }, {0, 0, 2, 1, 0}},
        {[&] { effect_spark(1, &EFFECT_AT, 0, 1); }, {0, 0, 0, 0, 0}},
        {[&] { effect_flash(1, &EFFECT_AT, 1, EFFECT_WHITE, 2, 1, 0); }, {0, 0, 0, 0, 0}},
        {[&] { effect_flash(1, &EFFECT_AT, 1, EFFECT_WHITE, -1, 1, 0); }, {0, 0, 0, 0, 0}},
        {[&] { effect_hit(1, nullptr, &dir, 1); }, {0, 0, 0, 0, 0}}};
    for (size_t i = 0; i < std::size(rows); ++i, RunOut()) {
        rows[i].first();
        const std::array<int, 5> n = {Count(MARU, HIT), Count(HIT), Count(SMOKE, MARU),
                                      Count(MFLASH), Count(BLOOD, UJI + 1)};
        EXPECT_EQ(n, rows[i].second) << i;
        obj_frame();
        for (DrawObj* o : Live()) {  // drops 0.07 to 0.18 off within 60 degrees of the direction
            const Vec3 d = {W(o)->bb.centre.x - 1, W(o)->bb.centre.y - 2, W(o)->bb.centre.z - 3};
            const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
            EXPECT_TRUE(i != 1 || CellOf(o) < MARU || CellOf(o) >= HIT ||
                        (len > 0.0699f && len < 0.18f && d.x >= len / 2));
        }
    }
    effect_hit(1, &EFFECT_AT, &dir, 3);
    group_release(1);
    EXPECT_EQ(obj_live_count(), 0);
}

}  // namespace
