// Hit effects on the category "cmnv" loaded through the loader from a data
// folder the data writer builds: crops and variants, each effect's life to
// its release, the emitter's timing, the hit types, and effects without
// their crops.
#include "stage/effect.h"

#include "app/txt_settings.h"
#include "obj2d/qspr.h"
#include "obj3d/obj3d_fixture.h"
#include "res/resload.h"
#include "temp_dir.h"
#include "tools/qv_samples.h"
#include "util/crt_rand.h"

#include <cmath>
#include <functional>
#include <numeric>
#include <vector>

namespace {

enum Cell { EXP = 0, FLASH = 4, MFLASH = 5, SMOKE = 6, MARU = 14, HIT = 18, BLOOD = 19, UJI = 21 };
constexpr int kEmitter = 22;

class Effects : public o3t::Obj3dScene {
protected:
    void SetUp() override
    {
        Obj3dScene::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(qspr_type_register(), 0);
        std::string why;
        ASSERT_TRUE(qvw::dataset_write(qvw::sample_effect_data(), dir_.file("data"), &why)) << why;
        txt_settings_load(
            dir_.write("set.txt", "TEX_DATA_PATH " + dir_.file("data/texture/")).c_str());
        resload_boot();
        crt_srand(7);
    }
    void TearDown() override
    {
        resload_shutdown();
        txt_settings_term();
        Obj3dScene::TearDown();
    }
    void LoadCategory()
    {
        ASSERT_TRUE(resload_request(kEffectCategory, 0));
        for (int i = 0; i < 1000 && resload_step() != RESLOAD_IDLE;) ++i;
        ASSERT_NE(res_crop_find(kEffectCategory, "ujidead"), 0u);
    }
    static std::vector<DrawObj*> Live()
    {
        std::vector<DrawObj*> v;
        obj_for_each(
            [](DrawObj* o, void* a) { static_cast<std::vector<DrawObj*>*>(a)->push_back(o); }, &v);
        return v;
    }
    static QsprWork* W(DrawObj* o) { return obj_work<QsprWork>(o); }
    // The crop cell a sprite shows, -1 without a texture.
    static int CellOf(DrawObj* o)
    {
        if (W(o)->tex1 == 0) return -1;
        const float* uv = W(o)->kind == QSPR_CORNERS ? W(o)->quad.uv1 : W(o)->bb.uv1;
        return int(std::lround(uv[1] * 8)) * 8 + int(std::lround(uv[0] * 8));
    }
    // Runs the update pass until nothing lives; the number of frames it took.
    static int RunOut(int cap = 400)
    {
        int n = 0;
        while (obj_live_count() > 0 && n < cap) obj_frame(), ++n;
        return n;
    }
    // Live objects per crop cell; emitters and sprites without a texture at the end.
    static std::vector<int> Census()
    {
        std::vector<int> n(kEmitter + 2);
        for (DrawObj* o : Live()) {
            const int c = o->type == 0 ? kEmitter : CellOf(o);
            n[size_t(c < 0 ? kEmitter + 1 : c)]++;
        }
        return n;
    }
    TempDir dir_;
};

const Vec3 kAt = {1, 2, 3};

TEST_F(Effects, EveryCreatorTakesItsOwnCropsAndEveryVariant)
{
    LoadCategory();
    struct Row {
        std::function<void()> make;
        int first, count;
    } rows[] = {
        {[] { effect_explosion(1, &kAt, 1, kEffectWhite, 0, 1); }, EXP, 1},
        {[] { effect_flash(1, &kAt, 1, kEffectWhite, 0, 1, 0); }, FLASH, 1},
        {[] { effect_flash(1, &kAt, 1, kEffectWhite, 1, 1, 0); }, MFLASH, 1},
        {[] { effect_smoke(1, &kAt, nullptr, 0, 1, 1, 1, kEffectWhite, 5, 0); }, SMOKE, 8},
        {[] { effect_exp_particle(1, &kAt, nullptr, 0, 1, 1, 1, kEffectWhite, 5, 0); }, EXP, 4},
        {[] { effect_blood_splat(1, &kAt, 1, 0, kEffectRed); }, BLOOD, 2},
    };
    for (const Row& r : rows) {
        std::vector<int> seen(size_t(r.count));
        for (int i = 0; i < 200; ++i) {
            r.make();
            const int c = CellOf(Live().front()) - r.first;
            ASSERT_TRUE(c >= 0 && c < r.count) << r.first << " gave cell " << c + r.first;
            seen[size_t(c)]++;
            obj_free(Live().front());
        }
        for (int n : seen) EXPECT_GT(n, 0) << "a variant of cell " << r.first << " never chosen";
    }
}

TEST_F(Effects, WithoutTheirFirstCropEffectsDrawTheWholeWhiteTextureAndStillRunOut)
{
    // Neighbours of a missing first crop, a foreign crop right after the
    // category's last one, and a crop whose texture is missing: none may
    // stand in for a variant or break an update or the draw.
    res_crop_register(kEffectCategory, "smoke01", 0.5f, 0.5f, 0.1f, 0.1f, "none");
    res_crop_register(kEffectCategory, "blood00", 0, 0, 0.1f, 0.1f, "none");
    res_crop_register("other", "next", 0.5f, 0.5f, 0.1f, 0.1f, "none");
    res_crop_register(kEffectCategory, "hit00", 0, 0, 0.1f, 0.1f, "none");
    for (int i = 0; i < 40; ++i) {
        effect_smoke(1, &kAt, nullptr, 0, 1, 1, 1, kEffectWhite, 5, 0);
        effect_blood_splat(1, &kAt, 1, 0, kEffectRed);
        for (int type = 0; type < 4; ++type) effect_hit(1, &kAt, nullptr, type);
        effect_emitter_create(1, &kAt, i % 2);
    }
    for (int f = 0; f < 30; ++f) {
        obj_frame();
        for (DrawObj* o : Live()) {
            if (o->type == 0) continue;
            const float* uv = W(o)->kind == QSPR_CORNERS ? W(o)->quad.uv1 : W(o)->bb.uv1;
            ASSERT_EQ(W(o)->tex1, 0u);
            ASSERT_TRUE(uv[0] == 0 && uv[1] == 0) << uv[0];
        }
    }
    Render();
    EXPECT_LT(RunOut(), 400);
}

TEST_F(Effects, LivesFromCreationToRelease)
{
    LoadCategory();
    // Explosion: alpha 255 held 3 frames, then 12 fades of 20 to 15.
    effect_explosion(1, &kAt, 2, kEffectWhite, 3, 1);
    DrawObj* o = Live().front();
    for (int f = 1; f <= 14; ++f) {
        obj_frame();
        EXPECT_FLOAT_EQ(W(o)->bb.scale_x, 1 + 0.3f * f);
        const uint32_t a = f <= 3 ? 255 : 255 - 20 * (f - 3);
        EXPECT_EQ(W(o)->bb.colour, f <= 3 ? kEffectWhite : a * 0x01010101u) << f;
    }
    EXPECT_EQ(RunOut(), 1);

    // Flash: one frame at a fifth of its alpha, then none; 0.6 times smaller each frame.
    effect_flash(1, &kAt, 5, 0xFF123456u, 1, 2, -3);
    o = Live().front();
    EXPECT_FLOAT_EQ(W(o)->bb.view_off, -3);
    for (int f = 0; f < 5; ++f) {
        obj_frame();
        EXPECT_FLOAT_EQ(W(o)->bb.w, 5 * std::pow(0.6f, float(f)));
        EXPECT_EQ(W(o)->bb.colour, f == 0 ? 0x33123456u : 0x00123456u);
    }
    EXPECT_EQ(RunOut(), 1);

    // Particle: drifts, slows, grows, fades by the cosine over life + 1 frames.
    const Vec3 v = {0.5f, 0, 0};
    effect_particle(1, &kAt, &v, 0, 0.5f, 1, 2, 0xC0FFFFFFu, 4, 0, 1, 0);
    o = Live().front();
    const float xs[] = {1.5f, 1.75f, 1.875f, 1.9375f};
    for (int f = 0; f < 4; ++f) {
        obj_frame();
        EXPECT_FLOAT_EQ(W(o)->bb.centre.x, xs[f]);
        EXPECT_FLOAT_EQ(W(o)->bb.h, float(2 << f));
        EXPECT_EQ(W(o)->bb.colour >> 24, uint32_t(192 * std::cos(f * 0.3926991f))) << f;
    }
    EXPECT_EQ(RunOut(), 1);

    // Splat: unchanged through its hold, then fades by 20 to nothing.
    effect_splat(1, &kAt, 2, 2, 0, 0x50FFFFFFu, 0.5f);
    o = Live().front();
    EXPECT_FLOAT_EQ(W(o)->quad.corner[0].y, 2.5f);
    EXPECT_FLOAT_EQ(std::hypot(W(o)->quad.corner[0].x - 1, W(o)->quad.corner[0].z - 3),
                    std::sqrt(2.0f));
    obj_frame(), obj_frame();
    EXPECT_EQ(W(o)->quad.colour[3], 0x50FFFFFFu);
    EXPECT_EQ(RunOut(), 4);
}

TEST_F(Effects, DropsLeaveASplatWhereTheyLand)
{
    LoadCategory();
    const Vec3 below = {4, -1, 5}, up = {0, 0.1f, 0};
    for (const Vec3* start : {&below, &kAt}) {
        effect_drop(1, start, &up, 0.2f, 0, 100, kEffectGreen);
        int frames = 0;
        while (Live().front()->type != 0 && W(Live().front())->kind == QSPR_BILLBOARD)
            obj_frame(), ++frames;
        EXPECT_EQ(frames, start == &below ? 1 : 19);
        DrawObj* s = Live().front();
        EXPECT_EQ(W(s)->quad.colour[0], kEffectGreen);
        EXPECT_NEAR(W(s)->quad.corner[0].y, 0.01f, 1e-6);
        EXPECT_NEAR(
            std::hypot(W(s)->quad.corner[0].x - start->x, W(s)->quad.corner[0].z - start->z),
            0.2f * 5.5f / std::sqrt(2.0f), 1e-4);
        obj_free(s);
    }
}

TEST_F(Effects, EmittersSpawnOnTheirFramesAndEndAfterCounterTwenty)
{
    LoadCategory();
    for (int mode : {1, 0, 7}) {
        effect_emitter_create(1, &kAt, mode);
        int explosions = 0, frames = 0;
        for (; frames < 30 && Census()[kEmitter] == 1; ++frames) {
            obj_frame();
            int fresh_exp = 0, fresh_flash = 0, puffs = 0;
            for (DrawObj* o : Live()) {
                const int c = o->type ? CellOf(o) : -1;
                if (c == EXP && W(o)->bb.scale_x == 1.0f) {
                    ++fresh_exp;
                    EXPECT_LE(std::fabs(W(o)->bb.centre.x - kAt.x), 1.8f);
                    EXPECT_TRUE(W(o)->bb.centre.y >= 0.6f && W(o)->bb.centre.y < 1.8f);
                }
                fresh_flash += c == MFLASH && W(o)->bb.colour >> 24 == 0xFF;
                puffs += c >= SMOKE && c < MARU && (W(o)->bb.colour & 0xFFFFFF) == 0x808080;
            }
            const bool due = mode == 1 ? frames % 4 == 0 : mode == 0 && frames < 10;
            EXPECT_EQ(fresh_exp, due ? 1 : 0) << mode << " " << frames;
            EXPECT_EQ(fresh_flash, fresh_exp);
            EXPECT_TRUE(frames != 0 || puffs == (mode == 0 ? 10 : 0)) << puffs;
            explosions += fresh_exp;
        }
        EXPECT_EQ(frames, mode == 7 ? 1 : 21);
        EXPECT_EQ(explosions, mode == 1 ? 6 : mode == 0 ? 10 : 0);
        const std::vector<int> n = Census();
        EXPECT_EQ(std::accumulate(n.begin() + SMOKE, n.begin() + MARU, 0), mode == 1   ? 3
                                                                           : mode == 0 ? 2
                                                                                       : 0);
        RunOut();
    }
}

TEST_F(Effects, HitsSparksAndFlashesMakeTheirParts)
{
    LoadCategory();
    const Vec3 dir = {1, 0, 0};
    struct Row {
        std::function<void()> make;
        int drops, bursts, smokes, flashes, splats;
        uint32_t colour;
    } rows[] = {
        {[&] { effect_hit(1, &kAt, &dir, 0); }, 0, 0, 2, 0, 0, kEffectWhite},
        {[&] { effect_hit(1, &kAt, &dir, 1); }, 10, 1, 0, 0, 0, kEffectRed},
        {[&] { effect_hit(1, &kAt, &dir, 2); }, 10, 1, 0, 0, 0, kEffectRed},
        {[&] { effect_hit(1, &kAt, &dir, 3); }, 6, 1, 0, 0, 2, kEffectGreen},
        {[&] { effect_hit(1, &kAt, &dir, 5); }, 0, 0, 0, 0, 0, 0},
        {[&] { effect_spark(1, &kAt, 0, 0); }, 0, 0, 2, 1, 0, kEffectWhite},
        {[&] { effect_spark(1, &kAt, 0, 1); }, 0, 0, 0, 0, 0, 0},
        {[&] { effect_flash(1, &kAt, 1, kEffectWhite, 2, 1, 0); }, 0, 0, 0, 0, 0, 0},
        {[&] { effect_flash(1, &kAt, 1, kEffectWhite, -1, 1, 0); }, 0, 0, 0, 0, 0, 0},
        {[&] { effect_hit(1, nullptr, &dir, 1); }, 0, 0, 0, 0, 0, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(i);
        r.make();
        const std::vector<int> n = Census();
        EXPECT_EQ(std::accumulate(n.begin() + MARU, n.begin() + HIT, 0), r.drops);
        EXPECT_EQ(n[HIT], r.bursts);
        EXPECT_EQ(std::accumulate(n.begin() + SMOKE, n.begin() + MARU, 0), r.smokes);
        EXPECT_EQ(n[MFLASH], r.flashes);
        EXPECT_EQ(n[BLOOD] + n[UJI], r.splats);
        obj_frame();
        for (DrawObj* o : Live()) {
            const int c = CellOf(o);
            const float ground = c == BLOOD ? 0.02f : 0.03f;
            EXPECT_TRUE(W(o)->kind != QSPR_CORNERS ||
                        std::fabs(W(o)->quad.corner[0].y - ground) < 1e-6f);
            EXPECT_TRUE(c < MARU || c > HIT || W(o)->bb.colour == r.colour);
            if (c < MARU || c >= HIT) continue;
            const Vec3 v = {W(o)->bb.centre.x - kAt.x, W(o)->bb.centre.y - kAt.y,
                            W(o)->bb.centre.z - kAt.z};
            const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            EXPECT_TRUE(i != 1 || (len >= 0.0699f && len < 0.18f && v.x / len >= 0.4999f)) << len;
            EXPECT_TRUE(i != 2 || (std::fabs(v.x) <= 0.13f && v.y >= 0.01f && v.y < 0.08f));
        }
        RunOut();
    }
    effect_hit(1, &kAt, &dir, 3);
    group_release(1);
    EXPECT_EQ(obj_live_count(), 0);
}

TEST_F(Effects, DrawnWithTheirCropsAndNothingWhenThePoolIsFull)
{
    LoadCategory();
    const Vec3 ahead = {0, 0, 10};
    effect_explosion(1, &ahead, 4, kEffectWhite, 5, 1);
    obj_frame();
    Render();
    EXPECT_EQ(Pixel(o3t::kW / 2, o3t::kH / 2), qvw::sample_effect_cell_colour(EXP));
    obj_free(Live().front());
    std::vector<DrawObj*> held;
    while (DrawObj* o = obj_alloc(2)) held.push_back(o);
    for (int type = 0; type < 4; ++type) effect_hit(1, &kAt, &ahead, type);
    effect_emitter_create(1, &kAt, 0);
    EXPECT_EQ(obj_live_count(), int(held.size()));
    obj_free(held.back());
    const Vec3 low = {0, 0.01f, 0};
    effect_drop(1, &low, nullptr, 1, 0, 5, kEffectRed);
    obj_frame(), obj_frame();  // lands with the pool full: no splat
    EXPECT_EQ(obj_live_count(), int(held.size()) - 1);
}

}  // namespace
