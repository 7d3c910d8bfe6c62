// Vector animations played, drawn and stepped, including hostile movies and exhausted pools.
#include "obj2d/fla.h"
#include "obj2d/flaobj.h"
#include "obj2d_fixture.h"
#include "res/res_env.h"
#include "tools/qv_samples.h"

#include <cmath>
#include <limits>

namespace {

constexpr uint32_t FLA_RED = 0xFFFF0000u, FLA_BLUE = 0xFF0000FFu, FLA_BLACK = 0xFF000000u;
constexpr uint32_t FLA_WHITE = 0xFFFFFFFFu, FLA_GREEN = 0xFF00FF00u;

class Fla : public Obj2dDevice {
protected:
    void SetUp() override
    {
        res_env_test_set_setting("MAX_NR_FLASH", "8");
        res_env_test_set_setting("SZ_BUFF_FLASH", "65536");
        res_env_test_set_setting("SZ_BUFF_FLASHNAME", "256");
        Obj2dDevice::SetUp();
        if (HasFatalFailure()) return;
        fla_pool_reset();
        for (auto [name, argb] : {std::pair{"red", FLA_RED}, {"blue", FLA_BLUE}})
            res_crop_register_px("m", name, 0, 0, 4, 4,
                                 MakeTex(name, 4, 4, std::vector<uint32_t>(16, argb)));
        movie_ = res_flash_register("m", "anim", qvw::fla_chunk(qvw::sample_movie()));
        ASSERT_NE(movie_, 0u);
    }
    void TearDown() override
    {
        Obj2dDevice::TearDown();
        res_env_test_clear_settings();
    }
    ResHandle Register(const char* name, const qvw::FlaDesc& d)
    {
        return res_flash_register("m", name, qvw::fla_chunk(d));
    }
    // A movie of `frames` empty frames, or with a 32 x 32 white square placed
    // in frame 0 on a stage of `stage` pixels.
    static qvw::FlaDesc Plain(int frames, float rate, int stage = 64)
    {
        qvw::FlaDesc d;
        d.rate = rate;
        d.rect[2] = d.rect[3] = stage;
        for (int i = 0; i < frames; ++i) {
            qvw::Bytes s;
            if (i == 0) qvw::fla_cmd_place(s, 1, 1);
            qvw::fla_cmd_end(s);
            d.frames.push_back(s);
        }
        qvw::FlaShape sq;
        sq.char_id = 1;
        qvw::FlaPart p;
        for (int i = 0; i < 4; ++i) p.verts.push_back({float(i & 1) * 32, float(i >> 1) * 32});
        p.indices = {0, 1, 2, 2, 1, 3};
        sq.parts = {p};
        d.shapes = {sq};
        return d;
    }
    DrawObj* Make(ResHandle movie, float x = 0, float y = 0, float pivot = 0)
    {
        return flaobj_create(1, movie, x, y, pivot, pivot, 1, 1, 30);
    }
    ResHandle movie_ = 0;
};

TEST_F(Fla, SampleMoviePlacesMovesTintsAndRemoves)
{
    DrawObj* o = Make(movie_);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(flaobj_get_width(o), 64);
    DrawFrame();
    ExpectPixels(FLA_RED, {{8, 8}});
    ExpectPixels(FLA_BLUE, {{24, 8}});
    ExpectPixels(FLA_WHITE, {{48, 38}});  // shape 2 through the nested sprite
    ExpectPixels(FLA_BLACK, {{40, 8}, {8, 30}});
    flaobj_tick(o);
    EXPECT_EQ(flaobj_get_frame(o), 1);
    DrawFrame();
    EXPECT_TRUE(Near(Pixel(8, 30), 0xFF800000u, 2)) << std::hex << Pixel(8, 30);
    ExpectPixels(FLA_BLACK, {{8, 8}});
    flaobj_tick(o);
    DrawFrame();
    ExpectPixels(FLA_BLACK, {{8, 30}, {24, 30}});
    ExpectPixels(FLA_WHITE, {{48, 38}});
    EXPECT_EQ(flaobj_get_frame(o), 2);
    const FlaObjImage image = {"slot", "m", "blue"};  // a crop in place of the asset's image
    flaobj_set_images(o, -1, &image, 1);
    DrawFrame();
    ExpectPixels(FLA_BLUE, {{48, 38}});
    // The one-frame sprite timeline loops at every tick, and any timeline
    // reaching its end sets the ended flag.
    EXPECT_TRUE(flaobj_is_ended(o));
}

TEST_F(Fla, HostileTicksAndEmptyTimelinesStayInRange)
{
    FlaPlayer* p = fla_player_alloc();
    fla_player_set_movie(p, Register("empty", Plain(0, 30)));
    fla_player_tick(p);  // frame count 0: nothing to read
    EXPECT_EQ(fla_player_get_frame(p), 0);
    fla_player_set_movie(p, Register("ten", Plain(10, 30)));
    for (float t : {-5.0f, std::numeric_limits<float>::quiet_NaN(), -1e30f}) {
        fla_player_advance(p, t);
        EXPECT_EQ(fla_player_get_frame(p), 0) << t;
    }
    fla_player_advance(p, 1e30f);  // bounded: ends on the last frame
    EXPECT_EQ(fla_player_get_frame(p), 9);
    fla_player_set_movie(p, 0);  // invalid: no movie, every getter 0
    EXPECT_EQ(fla_player_get_width(p), 0);
    EXPECT_EQ(fla_player_get_frame_count(p), 0);
    EXPECT_EQ(fla_find_asset(p, "slot"), -1);
    fla_player_free(p);
    fla_player_tick(nullptr);  // a null player is ignored everywhere
}

TEST_F(Fla, StepsByRateHoldsTheLastFrameAndLoops)
{
    // Rate, ticks and loop; then the frame, the ended flag and the loops counted.
    int n = 0;
    for (auto [rate, ticks, loop, frame, ended, loops] : {std::tuple{30.0f, 9, 0, 9, 0, 0},
                                                          {30.0f, 10, 0, 9, 1, 0},
                                                          {60.0f, 2, 0, 4, 0, 0},
                                                          {15.0f, 3, 0, 1, 0, 0},
                                                          {30.0f, 10, 1, 0, 1, 1},
                                                          {45.0f, 2, 0, 2, 0, 0}}) {
        FlaPlayer* p = fla_player_alloc();
        fla_player_set_movie(p, Register(("steps" + std::to_string(n++)).c_str(), Plain(10, rate)));
        fla_player_set_loop(p, loop);
        for (int i = 0; i < ticks; ++i) fla_player_tick(p);
        EXPECT_EQ(fla_player_get_frame(p), frame) << rate << " " << ticks;
        EXPECT_EQ(fla_player_is_ended(p), ended) << rate << " " << ticks;
        EXPECT_EQ(fla_player_get_loop_count(p), loops) << rate;
        fla_player_free(p);
    }
}

TEST_F(Fla, SelfNestedSpritesNeitherRecurseNorRestart)
{
    // Sprite 10 places itself and starts itself again.
    qvw::FlaDesc d = Plain(1, 30);
    qvw::Bytes f0, s0;
    qvw::fla_cmd_place(f0, 2, 10);
    qvw::fla_cmd_start_sprite(f0, 0);
    qvw::fla_cmd_end(f0);
    qvw::fla_cmd_place(s0, 1, 10);
    qvw::fla_cmd_place(s0, 2, 1);
    qvw::fla_cmd_start_sprite(s0, 0);
    qvw::fla_cmd_end(s0);
    d.frames = {f0};
    d.sprites = {{10, {s0}}};
    DrawObj* o = Make(Register("nest", d));
    EXPECT_EQ(fla_pool_use().timelines, 2);
    DrawFrame();
    ExpectPixels(FLA_WHITE, {{16, 16}});
    flaobj_tick(o);
    EXPECT_EQ(fla_pool_use().timelines, 2);
}

TEST_F(Fla, PivotCentresTheStageAlsoRotated)
{
    DrawObj* o = Make(movie_, 32, 24, 0.5f);
    DrawFrame();
    ExpectPixels(FLA_RED, {{8, 0}});  // stage (0, 0) sits at (0, -8)
    flaobj_set_rot(o, float(M_PI));
    DrawFrame();
    ExpectPixels(FLA_RED, {{56, 44}});
    ExpectPixels(FLA_BLACK, {{8, 0}});
}

TEST_F(Fla, ClipRectangleClipsAndThePreviousScissorReturns)
{
    const ResHandle small = Register("small", Plain(1, 30, 8));
    DrawObj* clipped = Make(small);
    DrawObj* open = Make(small, 0, 12);
    flaobj_set_clip(clipped, 1);
    obj_set_sort_subkey(clipped, 200);  // drawn first in the run
    DrawFrame();
    ExpectPixels(FLA_WHITE, {{4, 4}, {20, 20}, {20, 40}});
    flaobj_set_pos(open, 40, 40);
    DrawFrame();
    ExpectPixels(FLA_WHITE, {{4, 4}, {44, 44}});
    ExpectPixels(FLA_BLACK, {{20, 4}, {4, 20}});
}

TEST_F(Fla, BoundSpriteDrawsInPlaceOfTheAsset)
{
    DrawObj* o = Make(movie_);
    DrawObj* b = flaobj_bind_obj(o, "slot");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(flaobj_bind_obj(o, "slot"), b);
    EXPECT_EQ(flaobj_bind_obj(o, "none"), nullptr);
    obj_set_type(b, spr_type());
    spr_set_size(b, 8, 8);
    spr_set_pivot(b, 0, 0);
    spr_set_colour(b, FLA_GREEN);
    obj_free(b);  // not the manager's record: ignored
    DrawFrame();
    ExpectPixels(FLA_GREEN, {{48, 38}});
    flaobj_unbind_obj(o, "slot");
    EXPECT_EQ(fla_pool_use().bound, 0);
    DrawFrame();
    ExpectPixels(FLA_WHITE, {{48, 38}});
    // An asset's pivot is where its shape's origin lies in the shape's rectangle.
    qvw::FlaDesc d = qvw::sample_movie();
    const int32_t rect[4] = {-2, -6, 6, 2};
    std::copy(rect, rect + 4, d.shapes[1].rect);
    float px = -1, py = -1;
    EXPECT_EQ(fla_asset_get_pivot(flaobj_player(Make(Register("off", d))), "slot", &px, &py), 1);
    EXPECT_EQ(std::pair(px, py), std::pair(0.25f, 0.75f));
}

TEST_F(Fla, NestedMoviesThroughBoundObjectsStopAtTheBatchLevels)
{
    DrawObj* o = Make(movie_);
    for (DrawObj* b = flaobj_bind_obj(o, "slot"); b; b = flaobj_bind_obj(b, "slot")) {
        obj_set_type(b, flaobj_type());
        flaobj_set_movie(b, movie_);
        flaobj_set_scale(b, 0.125f, 0.125f);
    }
    EXPECT_EQ(fla_pool_use().bound, FLA_BOUND_OBJS);
    DrawFrame();
    ExpectPixels(FLA_RED, {{8, 8}});
    obj_free(o);  // releases every level's player with its bound object
    EXPECT_EQ(std::pair(fla_pool_use().players, fla_pool_use().bound), std::pair(0, 0));
}

TEST_F(Fla, PoolsRunOutWithoutHarmAndFreeingTheObjectFreesItsPlayer)
{
    std::vector<DrawObj*> objs;
    for (int i = 0; i < FLA_PLAYERS + 1; ++i) objs.push_back(Make(movie_));
    EXPECT_EQ(flaobj_player(objs.back()), nullptr);
    flaobj_tick(objs.back());  // forwards of a player-less object do nothing
    const FlaPoolUse use = fla_pool_use();
    EXPECT_EQ(use.players, FLA_PLAYERS);
    EXPECT_LE(use.entries, FLA_DLIST_ENTRIES);
    EXPECT_EQ(use.characters, FLA_CHARACTERS);
    DrawFrame();
    for (DrawObj* o : objs) obj_free(o);
    EXPECT_EQ(std::pair(fla_pool_use().players, fla_pool_use().parts), std::pair(0, 0));
    EXPECT_NE(fla_player_alloc(), nullptr);
}

}  // namespace
