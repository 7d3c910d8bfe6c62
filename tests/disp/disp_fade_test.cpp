// Per-frame scene state: colour helpers, shake, light and fog fades and overrides.
#include "view_fixture.h"

#include <cstdlib>

namespace {

class FadeTest : public ViewTest {
protected:
    EnvBlock& env0() { return disp_work().env[0]; }
    CamBlock& cam0() { return disp_work().cam[0]; }
    // Runs `n` frames and returns what `read` shows after each.
    template <class F>
    static auto frames(int n, F read)
    {
        std::vector<decltype(read())> seen;
        for (int k = 0; k < n; ++k) disp_fade_frame(), seen.push_back(read());
        return seen;
    }
};

using Colours = std::vector<uint32_t>;

TEST(FadeHelpers, LerpIsClampedNormalizeOfZeroOrNanGivesZeroAndRandomRangeStaysInside)
{
    // A fade's ratio is clamped: past the end it shows the target, before the start the base.
    EXPECT_EQ(Colours({color_lerp(0x10203040, 0xF0E0D0C0, 3.5f),
                       color_lerp(0x10203040, 0xF0E0D0C0, -2.0f)}),
              Colours({0xF0E0D0C0, 0x10203040}));
    Vec3 out;
    const Vec3 zero = {0, 0, 0}, nan = {std::nanf(""), 1, 0};
    expect_vec3_near(*vec3_normalize(&out, &zero), zero, 0.0f);
    expect_vec3_near(*vec3_normalize(&out, &nan), zero, 0.0f);
    std::srand(7);
    for (int i = 0; i < 2000; ++i) {
        const float r = rand_range_f(-3.0f, 5.0f);
        ASSERT_TRUE(r >= -3.0f && r < 5.0f) << r;
    }
    EXPECT_EQ(rand_range_f(2.0f, 2.0f), 2.0f);
}

TEST_F(FadeTest, ShakeDecaysAfterEachFrameAndEndsAndTheLowerPriorityNumberWins)
{
    std::srand(1);
    float max[2] = {};
    for (int trial = 0; trial < 200; ++trial) {
        cam_shake(0, 3, 8.0f, 8.0f, 0.5f, 5);
        for (float& m : max) {
            disp_fade_frame();
            m = std::fmax(m,
                          std::fmax(std::fabs(cam_get_shake_x(0)), std::fabs(cam_get_shake_y(0))));
        }
        disp_fade_frame();
        disp_fade_frame();  // no frames left
        ASSERT_EQ(std::pair(cam_get_shake_x(0), cam_get_shake_y(0)), std::pair(0.0f, 0.0f));
    }
    EXPECT_TRUE(max[0] <= 8.0f && max[0] > 4.0f) << max[0];  // the first frame takes it as set
    EXPECT_LE(max[1], 4.0f);
    EXPECT_EQ(cam0().shake_frames, 0);
    EXPECT_FLOAT_EQ(cam0().shake_amp_x, 1.0f);
    cam_shake(0, 10, 1.0f, 1.0f, 1.0f, 5);
    cam_shake(0, 20, 9.0f, 9.0f, 1.0f, 7);  // ignored
    EXPECT_EQ(cam0().shake_frames, 10);
    cam_shake(0, 20, 2.0f, 2.0f, 1.0f, 3);  // replaces
    EXPECT_EQ(std::pair(cam0().shake_frames, cam0().shake_priority), std::pair(20, 3));
    // A scene reset asks with priority 5 and leaves this shake running.
    scene_set_defaults();
    EXPECT_EQ(cam0().shake_frames, 20);
    // Once it has run out any request is taken.
    cam0().shake_frames = 0;
    cam_shake(0, 4, 1.0f, 1.0f, 1.0f, 9);
    EXPECT_EQ(cam0().shake_frames, 4);
}

TEST_F(FadeTest, FadesOfZeroOrOneFrameSetTheBaseAndDirectionFadesAreRenormalised)
{
    // No frames: written to the base, shown from the next frame; one frame: the target is the base.
    env_fade_color3(0, 0xFF123456, 0);
    EXPECT_EQ(env_get_color3(0), 0xFFFFFFFFu);
    disp_fade_frame();
    EXPECT_EQ(env_get_color3(0), 0xFF123456u);
    const Vec3 dir = {0, -1, 0};
    env_fade_light_dir(0, &dir, 1);
    disp_fade_frame();
    expect_vec3_near(env_get_block(0)->light_dir, dir, 0.0f);
    expect_vec3_near(env0().base.light_dir, dir, 0.0f);
    // Halfway from +X: renormalised each step; toward -X it passes through zero without dividing
    // by it.
    const float h = std::sqrt(0.5f);
    const struct {
        Vec3 to, halfway;
    } cases[] = {{{0, 0, 1}, {h, 0, h}}, {{-1, 0, 0}, {0, 0, 0}}};
    const Vec3 x = {1, 0, 0};
    for (const auto& c : cases) {
        env_set_light_dir(0, &x);
        env_fade_reset(0);
        env_fade_light_dir(0, &c.to, 3);
        disp_fade_frame();  // ratio 1/2
        expect_vec3_near(env_get_block(0)->light_dir, c.halfway, 1e-6f);
    }
}

// While an override runs the fade stands still and colour 0 is the override block's.
TEST_F(FadeTest, OverridePausesARunningFadeAndTheLightSetFollowsTheSameRule)
{
    env_set_color0(0, 0xFF000000);
    env_fade_reset(0);
    env_flash_reset(0);
    env_fade_color0(0, 0xFF0000FF, 5);
    disp_fade_frame();  // ratio 1/4
    EXPECT_EQ(env_get_color0(0), 0xFF00003Fu);
    env_flash_color2(0, 0xFFFF0000, 3);
    const auto shown = [this] {
        return std::tuple(env_get_color2(0), env_get_color0(0), env0().fade_counter);
    };
    const auto paused = std::tuple(0xFFFF0000u, 0xFF000000u, 4);
    EXPECT_EQ(frames(3, shown), std::vector({paused, paused, paused}));
    disp_fade_frame();  // resumes: ratio 2/4
    EXPECT_EQ(std::pair(env_get_color0(0), env_get_color2(0)), std::pair(0xFF00007Fu, 0xFFFFFFFFu));
    // A hemisphere flash ends the override at once.
    env_flash_color0(0, 0xFF00FF00, 5);
    env_flash_light_dir2(0, nullptr);
    EXPECT_EQ(env0().override_counter, 0);
    lset_set_color(0, 0, 0xFF000000);
    lset_fade_reset(0, 0);
    lset_flash_reset(0, 0);
    lset_fade_color(0, 0, 0xFF00FF00, 3);
    disp_fade_frame();
    EXPECT_EQ(lset_get_color(0, 0), 0xFF007F00u);
    lset_flash_color(0, 0, 0xFFFFFFFF, 1);
    EXPECT_EQ(frames(2, [] { return lset_get_color(0, 0); }), Colours({0xFFFFFFFF, 0xFF00FF00}));
    disp_fade_frame();
    EXPECT_EQ(lset_get_cur(0, 0)->color, 0xFF00FF00u);
    EXPECT_FLOAT_EQ(lset_get_color_f(0, 0)[1], 1.0f);
    // Only entry 0 exists: entry 1 must not reach screen 1's entry.
    lset_set_color(0, 1, 0xFF123456);
    lset_set_enable(0, 1, 1);
    EXPECT_EQ(std::tuple(disp_work().lset[1].base.color, disp_work().lset[1].enable,
                         lset_get_color(1, 1), lset_get_color(1, 0)),
              std::tuple(0x00FF0000u, 0u, 0x00FF0000u, 0x00FF0000u));
}

TEST_F(FadeTest, FogFadeShowsFromValuesFirstAndSnapsAtTheEndOrAtOnceForOneOrNoFrames)
{
    fog_set_start(0, 10.0f);
    fog_set_end(0, 50.0f);
    fog_fade_start(0, 20.0f, 3);
    fog_fade_end(0, 90.0f, 3);
    EXPECT_EQ(
        frames(3, [] { return std::pair(fog_get_start(0), fog_get_end(0)); }),
        std::vector({std::pair(10.0f, 50.0f), std::pair(15.0f, 70.0f), std::pair(20.0f, 90.0f)}));
    EXPECT_EQ(cam0().fog_fade_counter, 0);
    // A fade of one frame snaps at once; one of no frames would never run, so it sets the value
    // instead.
    fog_fade_color(0, 0xFF102030, 1);
    disp_fade_frame();
    EXPECT_EQ(fog_get_color(0), 0xFF102030u);
    EXPECT_FLOAT_EQ(fog_get_color_f(0)[2], 48.0f / 255.0f);
    fog_fade_end(0, 42.0f, 0);
    EXPECT_FLOAT_EQ(fog_get_end(0), 42.0f);
    fog_fade_color(0, 0xFF00FF00, -3);
    EXPECT_EQ(fog_get_color(0), 0xFF00FF00u);
    EXPECT_FLOAT_EQ(fog_get_color_f(0)[1], 1.0f);
}

TEST_F(FadeTest, EnabledSubViewsAreRecountedEachFrameAndMovementIsPerFrame)
{
    subview_set_enable(1, 0, 1);
    subview_set_enable(1, 1, 1);
    subview_set_enable(0, 1, 1);
    disp_fade_frame();
    EXPECT_EQ(std::pair(disp_work().subview_count[0], disp_work().subview_count[1]),
              std::pair(1, 2));
    subview_set_enable(1, 0, 0);
    disp_fade_frame();
    EXPECT_EQ(disp_work().subview_count[1], 1);
    const Vec3 eye = {1, 2, 8}, target = {0, 0, 0};
    cam_set_look_at(0, &eye, &target, nullptr);
    cam_track_movement();
    expect_vec3_near(*cam_get_move_vec(0), Vec3{1, 2, 3}, 1e-5f);
    cam_track_movement();
    expect_vec3_near(*cam_get_move_vec(0), Vec3{0, 0, 0}, 0.0f);
}

}  // namespace
