// Targets, queries, registered rays and the per-frame pass.
#include "hit_fixture.h"

#include <tuple>

namespace {

class HitSystemTest : public HitTest {};

// A query never meets its own owner's targets nor targets of another group.
TEST_F(HitSystemTest, OwnerAndGroupFiltering)
{
    const ResHandle ground = coll(qvw::sample_coll_ground());
    const Mat44 low = at(0, 0, 0), high = at(0, 5, 0);
    hit_target_add_model(ground, &low, 5, 1, nullptr, 0);
    hit_target_add_model(ground, &high, 7, 2, nullptr, 0);
    const Vec3 o = {1, 10, 1}, v = {0, -20, 0};
    struct Case {
        HitOwnerId owner;
        HitGroup group;
        int hit;
        float y;
    } cases[] = {{0, HIT_ANY_GROUP, 1, 5},
                 {2, HIT_ANY_GROUP, 1, 0},
                 {1, HIT_ANY_GROUP, 1, 5},
                 {0, 5, 1, 0},
                 {2, 7, 0, 0},
                 {0, 6, 0, 0}};
    for (const Case& c : cases) {
        Vec3 p{};
        ASSERT_EQ(hit_ray_nearest(&o, &v, &p, nullptr, nullptr, c.owner, c.group), c.hit);
        if (c.hit) {
            EXPECT_FLOAT_EQ(p.y, c.y) << c.owner << " " << c.group;
        }
    }
}

TEST_F(HitSystemTest, SweepStopsAtTheWallAndSlides)
{
    const Mat44 id = at(0, 0, 0);
    hit_target_add_model(coll(qvw::sample_coll_room()), &id, 1, 1, nullptr, 0);
    const Vec3 start = {0, 1, 0}, move = {8, 0, 2};
    Vec3 p, n;
    float corners[9], box[6];
    ASSERT_EQ(hit_sweep_nearest(&start, &move, &p, &n, nullptr, corners, box, 0, HIT_ANY_GROUP), 1);
    EXPECT_NEAR(p.x, 5, 1e-4);
    EXPECT_NEAR(n.x, -1, 1e-6);
    for (int i = 0; i < 3; i++) EXPECT_FLOAT_EQ(corners[3 * i], 5);
    // A 5 x 2 x 5 leaf box by the wall (of the two along z, the first to hold the triangle).
    EXPECT_EQ(std::tuple(box[0], box[1], box[3], box[4], box[5]),
              std::tuple(2.5f, 1.0f, 2.5f, 1.0f, 2.5f));
    Vec3 slide;
    const ResDataInfo* room = res_coll_get(1);
    ASSERT_EQ(hit_sweep_vs_coll(room, nullptr, &start, &move, nullptr, &slide, nullptr, nullptr),
              1);
    EXPECT_NEAR(slide.x, 5, 1e-4);
    EXPECT_NEAR(slide.z, 2, 1e-4);
    // Under a stretched matrix the normal stays unit and a leaf box of 5 x 2 x 5 stretches along.
    Mat44 stretch = at(0, 0, 0);
    stretch.m[0] = -2;
    stretch.m[10] = 3;
    const Vec3 longer = {30, 0, 2};
    ASSERT_EQ(hit_sweep_vs_coll(room, &stretch, &start, &longer, &p, nullptr, &n, nullptr), 1);
    EXPECT_NEAR(p.x, 10, 1e-4);
    EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-5);
    HitGeomHit h;
    ASSERT_EQ(hit_coll_sweep(geom(1), &stretch, &start, &longer, &h), 1);
    EXPECT_EQ(std::tuple(h.box_half.x, h.box_half.y, h.box_half.z), std::tuple(5.0f, 1.0f, 7.5f));
}

TEST_F(HitSystemTest, SphereTargetsAndTheSphereQuery)
{
    const Mat44 m = at(10, 0, 0);
    const Vec3 c = {0, 2, 0};
    hit_target_add_sphere(&c, 1, &m, 1, 1, 0, 0);
    const Vec3 o = {0, 2, 0}, v = {20, 0, 0};
    float t;
    ASSERT_EQ(hit_ray_fraction(&o, &v, &t, nullptr, nullptr, 0, HIT_ANY_GROUP), 1);
    EXPECT_NEAR(t, 0.45f, 1e-6);
    EXPECT_EQ(hit_ray_nearest(&o, &v, nullptr, nullptr, nullptr, 0, HIT_ANY_GROUP), 0);
    const Vec3 inside = {10, 2.5f, 0}, miss = {20, 0, 0};  // a start inside meets it at once
    ASSERT_EQ(hit_ray_fraction(&inside, &v, &t, nullptr, nullptr, 0, HIT_ANY_GROUP), 1);
    EXPECT_EQ(t, 0.0f);
    EXPECT_EQ(hit_ray_fraction(&miss, &v, &t, nullptr, nullptr, 0, HIT_ANY_GROUP), 0);
    // A contact far from the centre of a large sphere is still reported.
    const Mat44 id = at(0, 0, 0);
    hit_target_add_model(coll(qvw::sample_coll_ground()), &id, 1, 2, nullptr, 0);
    const Vec3 far = {0, 1500, 0};
    Vec3 p;
    ASSERT_EQ(hit_sphere_nearest(&far, nullptr, 1600, &p, nullptr, nullptr, 0, HIT_ANY_GROUP), 1);
    EXPECT_NEAR(p.y, 0, 1e-3);
}

int g_calls;
HitTarget* g_seen;
HitTarget* g_release_in_callback;
void on_ray(HitResult* r, HitTarget* t)
{
    g_calls++;
    g_seen = t;
    if (g_release_in_callback) hit_target_release(g_release_in_callback);
    EXPECT_NE(r, nullptr);
}

TEST_F(HitSystemTest, RaysAreResolvedOnceAFrameAndAReleasedTargetDeliversNoMore)
{
    const Mat44 id = at(0, 0, 0);
    HitTarget* t = hit_target_add_model(coll(qvw::sample_coll_ground()), &id, 3, 1, nullptr, 9);
    const Vec3 o = {1, 5, 1}, v = {0, -10, 0};
    g_calls = 0;
    HitRay* kept = hit_ray_add(&o, &v, 10, HIT_ANY_GROUP, 11, 12);
    hit_ray_add_callback(&o, &v, 10, HIT_ANY_GROUP, 21, on_ray, 22);
    EXPECT_EQ(hit_ray_count(), 2);
    hit_frame();
    EXPECT_EQ(std::tuple(g_calls, g_seen), std::tuple(1, t));
    EXPECT_TRUE(hit_ray_was_hit(kept));
    EXPECT_FLOAT_EQ(kept->nearest_t, 0.5f);
    ASSERT_EQ(t->result_count, 2u);
    // The newest ray first; the ray's result carries the target's group.
    EXPECT_EQ(std::tuple(hit_target_result_at(t, 0)->a, hit_target_result_at(t, 1)->a,
                         hit_target_result_at(t, 2)),
              std::tuple(21u, 11u, nullptr));
    EXPECT_EQ(std::tuple(kept->results->a, kept->results->user, hit_ray_by_target(t, 1),
                         hit_result_count()),
              std::tuple(3u, 9u, kept, 4));
    hit_frame();  // the callback ray ends; its results and the old ones are gone
    EXPECT_EQ(std::tuple(hit_ray_count(), g_calls, t->result_count), std::tuple(1, 1, 1u));
    hit_ray_release(kept);
    hit_ray_release(kept);  // a second release changes nothing
    hit_frame();
    EXPECT_EQ(std::pair(hit_result_count(), hit_ray_count()), std::pair(0, 0));

    // A target released by a callback delivers nothing more in that frame.
    hit_ray_add_callback(&o, &v, 10, HIT_ANY_GROUP, 1, on_ray, 0);
    hit_ray_add_callback(&o, &v, 10, HIT_ANY_GROUP, 2, on_ray, 0);
    g_calls = 0;
    g_release_in_callback = t;
    hit_frame();
    g_release_in_callback = nullptr;
    EXPECT_EQ(std::tuple(g_calls, hit_target_count(), hit_result_count()), std::tuple(1, 0, 0));
}

TEST_F(HitSystemTest, PoolsIdsAndChains)
{
    for (int i = 0; i < HIT_TARGETS; i++)
        ASSERT_NE(hit_target_add_sphere(nullptr, 1, nullptr, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(hit_target_add_sphere(nullptr, 1, nullptr, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(hit_target_add_model(99, nullptr, 0, 0, nullptr, 0), nullptr);
    for (int i = 0; i < HIT_RAYS; i++)
        ASSERT_NE(hit_ray_add(nullptr, nullptr, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(hit_ray_add(nullptr, nullptr, 0, 0, 0, 0), nullptr);
    hit_pool_reset();
    HitTarget* a = hit_target_add_sphere(nullptr, 1, nullptr, 0, 0, 0, 0);
    HitTarget* b = hit_target_add_sphere(nullptr, 1, nullptr, 0, 0, 0, 0);
    HitTarget* c = hit_target_add_sphere(nullptr, 1, nullptr, 0, 0, 0, 0);
    hit_target_set_chain(a, b);
    hit_target_release(a);  // takes b along, not c
    EXPECT_EQ(hit_target_count(), 1);
    HitTarget* reused = hit_target_add_sphere(nullptr, 1, nullptr, 0, 0, 0, 0);
    EXPECT_EQ(reused->chain, nullptr);  // a reused record keeps no old chain
    hit_target_release(reused);
    EXPECT_EQ(hit_target_count(), 1);
    EXPECT_TRUE(c->flags & HIT_IN_USE);
    HitOwnerId last = 0;
    for (int i = 0; i < 65536; i++) last = hit_next_id();
    EXPECT_EQ(last, 1);  // 65535 then 1 again; 0 never
}

}  // namespace
