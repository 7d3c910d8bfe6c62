// Movie records without playback and the debug camera's keys, steps and angle wrap.
#include "view_fixture.h"

#include <limits>

#include "app/key.h"
#include "disp/dbgcam.h"
#include "disp/movie.h"
#include "plat/input.h"
#include "plat/window.h"

namespace {

TEST(Movie, RecordsStartFreeInOrderAndOpenStopOnlyTouchTheFlags)
{
    movie_init();
    const MovieBlock& b = movie_block();
    const auto lists_as_started = [&] {
        return !b.active && b.free_list == &b.rec[0] && b.rec[0].next == &b.rec[1] &&
               !b.rec[1].next && movie_get_count() == 0;
    };
    EXPECT_TRUE(lists_as_started());
    EXPECT_STREQ(movie_get_data_path(), ".\\data\\movie\\");
    MovieRec* r = const_cast<MovieRec*>(&b.rec[0]);
    EXPECT_FALSE(movie_open(r, nullptr) || movie_open(nullptr, "a.mpg"));
    EXPECT_EQ(movie_open(r, "a.mpg"), 1);
    EXPECT_EQ(r->flags, kMoviePlaying);
    movie_stop(r);
    EXPECT_TRUE(r->flags == 0u && movie_query(r) == 0);
    // Freeing a record not in use, or releasing group 0, leaves the lists as they were.
    movie_free(r), movie_free(nullptr), movie_release_group(0), movie_release_group(7);
    movie_frame_early(), movie_frame_late();
    EXPECT_TRUE(lists_as_started());
    movie_reset(), movie_term();
}

TEST(DbgCamWrap, WrapsIntoOneTurnAndSurvivesHostileAngles)
{
    EXPECT_NEAR(dbgcam_wrap_angle(6.25f + 0.05235988f), 0.0192f, 1e-4f);
    EXPECT_NEAR(dbgcam_wrap_angle(-0.5f), 6.2831855f - 0.5f, 1e-6f);
    EXPECT_EQ(dbgcam_wrap_angle(1.0f), 1.0f);
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {inf, -inf, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(dbgcam_wrap_angle(bad), 0.0f);
    for (float huge : {3e38f, -3e38f, 1e7f})
        EXPECT_TRUE(dbgcam_wrap_angle(huge) >= 0 && dbgcam_wrap_angle(huge) < 6.2831855f) << huge;
}

class DbgCamTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        plat_key_clear(), key_init();
        const Vec3 pos = {1, 2, 3}, rot = {0.5f, 1.0f, 0};
        cam_set_mode(0, 0), cam_set_pos_rot(0, &pos, &rot);
    }
    // Key messages as the window sends them: modifiers carry their generic code and side.
    static void keys(std::initializer_list<int> held, bool down)
    {
        for (int vk : held) {
            const PlatMsg m{nullptr, down ? PLAT_WM_KEYDOWN : PLAT_WM_KEYUP,
                            uintptr_t(vk == 0xA0   ? 0x10
                                      : vk == 0xA2 ? 0x11
                                                   : vk),
                            0, uint32_t(vk)};
            plat_dispatch_message(&m);
        }
        key_update();
    }
    void frame(std::initializer_list<int> h) { keys(h, true), dbgcam_update(&cam), keys(h, false); }
    DbgCam cam{};
};

TEST_F(DbgCamTest, ToggleTakesTheCurrentViewAndHoldsScreenZeroInModeZero)
{
    frame({'W'});
    EXPECT_EQ(cam.enable, 0u);
    expect_vec3_near(cam.pos, Vec3{0, 0, 0}, 0.0f, "disabled: nothing moves");
    frame({0x30});
    ASSERT_EQ(cam.enable, 1u);
    expect_vec3_near(cam.pos, Vec3{1, 2, 3}, 1e-5f, "no jump on toggle");
    expect_vec3_near(cam.angles, Vec3{0.5f, 1.0f, 0}, 1e-5f);
    expect_vec3_near(*cam_get_pos(0), Vec3{1, 2, 3}, 1e-5f);
    cam_set_mode(0, 1);
    frame({});
    EXPECT_EQ(cam_get_mode(0), 0u);
    frame({0x30});
    EXPECT_EQ(cam.enable, 0u);
}

TEST_F(DbgCamTest, CtrlAndShiftTogetherGiveTheFastMoveAndTheNormalTurn)
{
    frame({0x30});
    frame({0xA2, 0xA0, 0x26});  // left Ctrl, left Shift, up arrow
    EXPECT_FLOAT_EQ(cam.move_step * 10 + cam.turn_step, 10.05235988f);
    EXPECT_NEAR(cam.pos.y, 3.0f, 1e-5f);
    frame({0xA2});
    EXPECT_FLOAT_EQ(cam.move_step, 0.05f);
    EXPECT_FLOAT_EQ(cam.turn_step, 0.05235988f * 0.5f);
}

TEST_F(DbgCamTest, ForwardMovesAlongTheViewAndTurnsWrap)
{
    const Vec3 pos = {0, 0, 0}, rot = {0, 6.25f, 0};
    cam_set_pos_rot(0, &pos, &rot), frame({0x30});
    frame({0x27});  // right arrow: past a whole turn
    EXPECT_NEAR(cam.angles.y, 0.0192f, 1e-4f);
    const Vec3 before = cam.pos;
    frame({'W'});  // with a yaw of about 0.0192 the forward step is almost all +z
    EXPECT_NEAR(cam.pos.z - before.z, 0.1f, 1e-3f);
    EXPECT_NEAR(cam.pos.x - before.x, 0.1f * std::sin(0.0192f), 1e-3f);
    EXPECT_NEAR(cam.pos.y, before.y, 1e-6f);
}

}  // namespace
