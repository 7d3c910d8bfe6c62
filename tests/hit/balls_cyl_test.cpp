// The hit-sphere pool and the collision volumes: pairs, pushes, bits, planes.
#include "disp/cam.h"
#include "hit_fixture.h"

namespace {

class BallsCylTest : public HitTest {};

// Objects 1.5 apart with radius 1: an overlap of 0.5 split by who may move.
TEST_F(BallsCylTest, SpherePairsPushByWeightShare)
{
    struct Case {
        uint32_t ga, gb, ma, mb;
        int contact;
        float push_a, push_b;
    } cases[] = {
        {1u | BALLS_HIT_PUSHABLE, 2u | BALLS_HIT_PUSHABLE, 2, 1, 1, -0.25f, 0.25f},
        {1u, 2u | BALLS_HIT_PUSHABLE, 2, 1, 1, 0.0f, 0.25f},
        {1u | BALLS_HIT_PUSHABLE | BALLS_HIT_NO_PUSH, 2u | BALLS_HIT_PUSHABLE, 2, 1, 1, 0.0f, 0.0f},
        {1u | BALLS_HIT_PUSHABLE, 2u | BALLS_HIT_PUSHABLE, 2, 0, 0, 0.0f, 0.0f},  // one way only
    };
    for (const Case& c : cases) {
        balls_hit_clear();
        const Mat44 ma = at(0, 0, 0), mb = at(1.5f, 0, 0);
        BallsHitObject* a = balls_hit_create(nullptr, &ma, c.ga, c.ma, 1);
        BallsHitObject* b = balls_hit_create(nullptr, &mb, c.gb, c.mb, 1);
        balls_hit_frame();
        Vec3 pa, pb;
        uint32_t bits;
        EXPECT_EQ(balls_hit_get_result(a, &pa, &bits), c.contact);
        EXPECT_EQ(balls_hit_get_result(b, &pb, nullptr), c.contact);
        if (c.contact) {
            EXPECT_EQ(bits, 2u);
        }
        EXPECT_NEAR(pa.x, c.push_a, 1e-5);
        EXPECT_NEAR(pb.x, c.push_b, 1e-5);
    }
    // The bits last one frame.
    Mat44 far = at(9, 0, 0);
    balls_hit_clear();
    const Mat44 m0 = at(0, 0, 0);
    BallsHitObject* a = balls_hit_create(nullptr, &m0, 1, 1, 1);
    balls_hit_create(nullptr, &m0, 1, 1, 1);
    balls_hit_frame();
    EXPECT_TRUE(balls_hit_any(0, 1));
    a->owner = &far;
    balls_hit_frame();
    EXPECT_FALSE(balls_hit_any(0, 1));

    // Without owner matrices the given positions count; zero weights move nobody.
    balls_hit_clear();
    BallsHitObject* p = balls_hit_create(nullptr, nullptr, 1u | BALLS_HIT_PUSHABLE, 1, 1);
    BallsHitObject* q = balls_hit_create(nullptr, nullptr, 1u | BALLS_HIT_PUSHABLE, 1, 1);
    const Vec3 pp = {0, 0, 0}, pq = {1, 0, 0};
    balls_hit_set_pos(p, &pp);
    balls_hit_set_pos(q, &pq);
    p->weight = q->weight = 0;
    balls_hit_frame();
    Vec3 push;
    EXPECT_EQ(balls_hit_get_result(p, &push, nullptr), 1);
    EXPECT_EQ(push.x, 0.0f);  // not NaN
}

TEST_F(BallsCylTest, SphereSetsPoolsAndQueries)
{
    const ResHandle set = res_shit_register("t", qvw::shit_chunk("ball3", qvw::sample_spheres()));
    ASSERT_NE(set, 0u);
    const Mat44 m = at(0, 0, 0);
    BallsHitObject* o = balls_hit_create_from_handle(set, &m, 1, 1);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(balls_hit_sphere_count(), int(qvw::sample_spheres().size()));
    EXPECT_EQ(balls_hit_create_from_handle(0, &m, 1, 1), nullptr);
    balls_hit_frame();
    const Vec3 q = {3, 4, 1};  // over the ball of radius 0.5 at (3, 4, 0)
    Vec3 p;
    EXPECT_EQ(balls_hit_sphere_query(&q, 1, &p, 1, 1), 1);
    EXPECT_EQ(std::tuple(p.x, p.y, p.z), std::tuple(3.0f, 4.0f, 0.5f));
    EXPECT_EQ(balls_hit_sphere_query(&q, 1, nullptr, 2, 1), 0);  // mask selects nobody
    const Mat44 id = at(0, 0, 0);
    const ResHandle ground = coll(qvw::sample_coll_ground());
    float w;
    EXPECT_EQ(balls_hit_coll(ground, &id, &p, &w, nullptr, nullptr, 1, 0), 1);
    // The set as one ball of radius 5 + 0.5, cut through its centre: a contact of weight r.
    EXPECT_EQ(std::tuple(p.y, w), std::tuple(0.0f, 5.5f));
    EXPECT_EQ(balls_hit_coll(77, &id, &p, &w, nullptr, nullptr, 1, 0), 0);
    balls_hit_free(o);
    balls_hit_free(o);  // a second free changes nothing
    EXPECT_EQ(std::pair(balls_hit_count(), balls_hit_sphere_count()), std::pair(0, 0));
    for (int i = 0; i < BALLS_HIT_OBJECTS; i++)
        ASSERT_NE(balls_hit_create(nullptr, nullptr, 0, 0, 1), nullptr);
    EXPECT_EQ(balls_hit_create(nullptr, nullptr, 0, 0, 1), nullptr);
}

TEST_F(BallsCylTest, VolumesPushApartAndStayInsideTheBoundaryPlanes)
{
    struct Case {
        float dx, dy;
        uint32_t ga, gb;
        int contact;
        float push_a, push_b;
    } cases[] = {
        {2.0f, 0.0f, 1u | BALLS_HIT_PUSHABLE, 1u | BALLS_HIT_PUSHABLE, 1, -1.0f,
         1.0f},  // overlap 2
        {2.0f, 0.0f, 1u, 1u | BALLS_HIT_PUSHABLE, 1, 0.0f, 1.0f},
        {2.0f, 0.0f, 1u | BALLS_HIT_NO_PUSH, 1u | BALLS_HIT_PUSHABLE, 1, 0.0f, 0.0f},
        {4.0f, 0.0f, 1u | BALLS_HIT_PUSHABLE, 1u | BALLS_HIT_PUSHABLE, 0, 0.0f, 0.0f},  // d^2 = R^2
        {2.0f, 2.0f, 1u | BALLS_HIT_PUSHABLE, 1u | BALLS_HIT_PUSHABLE, 1, -1.0f,
         1.0f},  // dy^2 = H^2
    };
    for (const Case& c : cases) {
        hitcyl_pool_reset();
        const Vec3 oa = {0, 0, 0}, ob = {c.dx, c.dy, 0};
        HitCylinder* a = hitcyl_create(nullptr, 2, 1, &oa, c.ga, 1);
        HitCylinder* b = hitcyl_create(nullptr, 2, 1, &ob, c.gb, 1);
        hitcyl_set_view(nullptr);
        hitcyl_frame();
        Vec3 pa, pb;
        EXPECT_EQ(hitcyl_get_result(a, &pa), c.contact) << c.dx << " " << c.dy;
        EXPECT_EQ(hitcyl_get_result(b, &pb), c.contact);
        EXPECT_NEAR(pa.x, c.push_a, 1e-5);
        EXPECT_NEAR(pb.x, c.push_b, 1e-5);
        EXPECT_EQ(std::tuple(pa.y, pa.z, pb.y, pb.z), std::tuple(0.0f, 0.0f, 0.0f, 0.0f));
    }

    // A volume 0.5 inside the right plane at mid depth moves back to its radius,
    // horizontally only.
    hitcyl_pool_reset();
    scene_set_defaults();
    cam_update_all();
    Plane r;
    vm_plane_normalize(&r, &cam_get_frustum(0)->p[VM_FRUSTUM_RIGHT]);
    const Mat44* cam = cam_get_view_mtx(0);  // camera to world: row 2 ahead, row 3 the eye
    const float depth = 0.5f * cam_get_proj_params(0)->zfar;
    Vec3 p = {cam->m[12] + cam->m[8] * depth, cam->m[13] + cam->m[9] * depth,
              cam->m[14] + cam->m[10] * depth};
    const float s = vm_plane_dot_point(&r, &p) - 0.5f;
    p = {p.x - r.a * s, p.y - r.b * s, p.z - r.c * s};
    HitCylinder* v = hitcyl_create(nullptr, 2, 1, &p, 1, 0);
    hitcyl_set_keep_inside(v, 1);
    hitcyl_frame();
    const float horizontal = r.a * r.a + r.c * r.c;
    EXPECT_NEAR(vm_plane_dot_point(&r, &v->pos), 0.5f + horizontal * 1.5f, 1e-3);
    EXPECT_EQ(v->push.y, 0.0f);
    EXPECT_GT(horizontal, 0.5f);
}

}  // namespace
