// Point lights against a known frustum; no device is needed.
#include <gmock/gmock.h>

#include <array>

#include "disp/disp_work.h"
#include "disp/plight.h"

namespace {

// Screen 0 culls with the box |x|, |y|, |z| <= 10 and sees from camera_pos.
void set_box_frustum(Vec3 camera_pos)
{
    disp_work_clear();
    DispWork& w = disp_work();
    w.cam[0].enable = 0;
    w.cam[0].pos = camera_pos;
    const Plane box[6] = {{0, 0, 1, 10}, {0, 0, -1, 10}, {-1, 0, 0, 10},
                          {1, 0, 0, 10}, {0, 1, 0, 10},  {0, -1, 0, 10}};
    for (int i = 0; i < 6; ++i) w.xform[0].cull_planes.p[i] = box[i];
    // Screen 1 sees nothing at all: every plane rejects.
    w.cam[1].enable = 0;
    for (Plane& p : w.xform[1].cull_planes.p) p = {0, 0, 0, -1e9f};
}

PointLight* light_at(float x, float y, float z, float range,
                     uint32_t prio = PLIGHT_DEFAULT_PRIORITY)
{
    const Vec3 p = {x, y, z};
    PointLight* l = plight_create(1, &p, range, 0xFFFFFFFFu, 1.0f);
    if (l) l->flags = (l->flags & ~PLIGHT_PRIORITY_MASK) | (prio << PLIGHT_PRIORITY_SHIFT);
    return l;
}

int g_released = 0;
PointLight* g_victim = nullptr;
int update_release(PointLight*) { return 1; }
int update_free_other(PointLight*)
{
    plight_free(g_victim);
    return 0;
}
int update_free_self(PointLight* l)
{
    plight_free(l);
    return 1;
}
void count_release(PointLight*) { ++g_released; }

class Plight : public ::testing::Test {
protected:
    void SetUp() override
    {
        plight_pool_reset();
        set_box_frustum({0, 0, 0});
    }
    // Lights chosen for a point at the origin.
    PointLight* out[4] = {};
    const Vec3 origin = {0, 0, 0};
};

}  // namespace

TEST_F(Plight, OwnersOneFrameLightsAndColourFloats)
{
    PointLight* a = plight_create(5, nullptr, 1, 0xFF336699u, 2.0f);
    PointLight* b = plight_create_1f(6, nullptr, 1, 0, 1);
    plight_create(5, nullptr, 1, 0, 1);
    plight_frame();
    EXPECT_FLOAT_EQ(a->color_f[2], 0x99 / 255.0f * 2.0f);
    EXPECT_FLOAT_EQ(a->color_f[3], 1.0f);
    plight_release_1f();
    EXPECT_EQ(plight_get_count(), 2);
    EXPECT_FALSE(b->flags & PLIGHT_ACTIVE);
    plight_kill_owner(5);
    EXPECT_EQ(plight_get_count(), 0);
}

TEST_F(Plight, PoolHolds128AndUpdateCallbacksReleaseAndMayFreeOtherLights)
{
    g_released = 0;
    PointLight* gone = plight_create(3, nullptr, 2.0f, 0x80FF8000u, 0.5f);
    ASSERT_NE(gone, nullptr);
    gone->update = update_release;
    gone->release = count_release;
    g_victim = plight_create(1, nullptr, 1, 0, 1);  // freed by the next one's callback
    PointLight* killer = plight_create(1, nullptr, 1, 0, 1);
    killer->update = update_free_other;
    PointLight* self = plight_create(1, nullptr, 1, 0, 1);
    self->update = update_free_self;
    self->release = count_release;
    plight_frame();
    EXPECT_EQ(g_released, 1);  // the self-freeing light is not released twice
    EXPECT_EQ(plight_get_count(), 1);
    // The lists are intact: every free light can be taken again.
    int made = 0;
    while (plight_create(1, nullptr, 1, 0, 1)) ++made;
    EXPECT_EQ(std::pair(made, plight_get_count()), std::pair(PLIGHT_POOL - 1, 128));
    plight_free(killer);
    plight_free(killer);  // a second free changes nothing
    plight_free(nullptr);
    EXPECT_EQ(plight_get_count(), 127);
}

TEST_F(Plight, CullKeepsSpheresThatReachIntoTheFrustumAndReachIsBySumOfSquaresAndStrict)
{
    PointLight* inside = light_at(0, 0, 0, 1);
    PointLight* near_edge = light_at(11.5f, 0, 0, 2);  // outside by less than its range
    light_at(13, 0, 0, 2);                             // outside by more
    plight_cull();
    ASSERT_EQ(plight_visible_count(0), 2);
    EXPECT_THAT((std::array{plight_visible(0, 0), plight_visible(0, 1), plight_visible(0, 2)}),
                testing::ElementsAre(near_edge, inside, nullptr));  // newest first
    plight_pool_reset();
    light_at(5, 0, 0, 4);  // 25 < 9 + 16 is false
    plight_cull();
    EXPECT_EQ(plight_select_for_point(out, 4, 0, &origin, 3.0f, ~0u), 0);
    EXPECT_EQ(plight_select_for_point(out, 4, 0, &origin, 3.01f, ~0u), 1);
}

TEST_F(Plight, ChoiceIsByPriorityThenNearestAndLimitedAndTheCameraDistanceCounts)
{
    PointLight* far = light_at(3, 0, 0, 10);        // distance field 9 + 9
    PointLight* near = light_at(1, 0, 0, 10);       // 1 + 1
    PointLight* urgent = light_at(6, 0, 0, 10, 5);  // priority 5 beats distance
    PointLight* other_group = light_at(0.5f, 0, 0, 10);
    other_group->group_mask = 0x2;
    far->group_mask = near->group_mask = urgent->group_mask = 0x1;
    plight_cull();
    ASSERT_EQ(plight_select_for_point(out, 4, 0, &origin, 0.5f, 0x1), 3);
    EXPECT_THAT(out, testing::ElementsAre(urgent, near, far, nullptr));
    EXPECT_EQ(plight_select_for_point(out, 2, 0, &origin, 0.5f, 0x1), 2);
    EXPECT_EQ(plight_select_for_point(out, 4, 5, &origin, 0.5f, ~0u), 0);  // no such screen
    // A light freed after the cull is no longer chosen.
    plight_free(urgent);
    EXPECT_EQ(plight_select_for_point(out, 4, 0, &origin, 0.5f, 0x1), 2);
    plight_pool_reset();
    set_box_frustum({-8, 0, 0});
    PointLight* a = light_at(2, 0, 0, 10);   // object distance 4, camera 100
    PointLight* b = light_at(-3, 0, 0, 10);  // object distance 9, camera 25
    plight_cull();
    ASSERT_EQ(plight_select_for_point(out, 2, 0, &origin, 0.0f, ~0u), 2);
    EXPECT_EQ(std::pair(out[0], out[1]), std::pair(b, a));
}
