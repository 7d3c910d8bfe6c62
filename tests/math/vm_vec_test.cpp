// 3-vector maths: conventions, degenerate inputs and the geometric tests.
#include <array>
#include <tuple>

#include "vm_test_util.h"

TEST(Vec3, IntHelpersArrayMaxMinFirstOfEqualsWinsWrapAndClamp)
{
    const float f[] = {3, 5, 5, 1};
    int hi = -1, lo = -1;
    vm_float_array_max_min(f, 4, &hi, &lo);
    EXPECT_EQ((std::array{hi, lo}), (std::array{1, 3}));
    const int32_t n[] = {-2, -2, 7, -9, 7};
    vm_int_array_max_min(n, 5, &hi, nullptr);
    EXPECT_EQ(hi, 2);
    hi = lo = -7;  // nothing to scan: nothing written
    vm_float_array_max_min(f, 0, &hi, &lo);
    EXPECT_EQ(hi + lo, -14);
    // Huge values take no long loop, an empty range no endless one.
    const int wraps[][4] = {{4, 0, 3, 0},          {-1, 0, 3, 3}, {-9, 2, 4, 3},
                            {2000000001, 0, 3, 1}, {5, 0, -1, 0}, {5, 3, 3, 3}};
    for (const auto& w : wraps) EXPECT_EQ(vm_wrap_int(w[0], w[1], w[2]), w[3]) << w[0];
}

TEST(Vec3, AnglesConventions)
{
    const Vec3 right = {1, 0, 0}, down_up = {0, -1, 0};
    Vec3 r;
    const Vec3 from = {1, 2, 3}, above = {1, 7, 3};
    expect_vec3_near(*vm_vec3_direction_angles(&r, &from, &above), {0, 0, 0}, 0);
    EXPECT_EQ(vm_vec3_direction(&r, nullptr, &above), nullptr);
    // Upside down: pitch mirrored and yaw turned half round.
    vm_vec3_to_angles_up(&r, &right, &down_up);
    EXPECT_NEAR(r.x, 3.1415927f, 1e-6f);
    EXPECT_NEAR(r.y, float(M_PI_2) + 3.1415927f, 1e-6f);
    // from_angles inverts to_angles (yaw from +Z toward +X, pitch toward -Y).
    const Vec3 d = {0.3f, -0.9f, -2};
    Vec3 back, unit;
    vm_vec3_from_angles(&back, vm_vec3_to_angles(&r, &d));
    expect_vec3_near(back, *vm_vec3_normalize(&unit, &d), 5e-4f);
}

TEST(Vec3, RingPolarAndOrbitPoints)
{
    const Vec3 c = {1, 2, 3}, vertical = {0, 1, 0}, tilted = {1, 1, 0};
    Vec3 r;
    vm_vec3_ring_point(&r, &c, &vertical, 0.0f, 2.0f);
    expect_vec3_near(r, {1, 2, 5}, 1e-6f);  // vertical shortcut (s, 0, c)
    for (float a = 0; a < 6.2f; a += 0.7f) {
        vm_vec3_ring_point(&r, &c, &tilted, a, 2.0f);
        Vec3 off;
        vm_vec3_sub(&off, &r, &c);
        EXPECT_NEAR(vm_vec3_length_cut(&off), 2.0f, 1e-3f);
        EXPECT_NEAR(vm_vec3_dot(&off, &tilted), 0.0f, 1e-3f);  // in the perpendicular plane
    }
    vm_vec3_polar_point(&r, &c, 0.0f, 0.0f, 5.0f);
    expect_vec3_near(r, {1, 2, 8}, 1e-6f);
    // Axes along (1, 1, 1) used to collapse every orbit point onto the axis.
    const Vec3 axes[] = {{0, 1, 0}, {1, 0, 0},    {0, 0, -1},
                         {1, 1, 1}, {-1, -1, -1}, {0.2f, 0.3f, -0.9f}};
    for (const Vec3& axis : axes) {
        Vec3 unit;
        vm_vec3_normalize(&unit, &axis);
        for (float a : {0.0f, 0.5f, 1.0f}) {
            Vec3 p;
            vm_orbit_point(&p, &axis, a, 0.8f, 3.0f);
            EXPECT_NEAR(vm_vec3_dot(&p, &unit) / 3.0f, std::cos(a), 2e-3f) << axis.x << " " << a;
        }
    }
}

TEST(Vec3, SphereSegmentAndRayTests)
{
    const Vec3 o = {0, 0, 0}, c = {3, 0, 0};
    EXPECT_EQ(vm_sphere_overlap(&o, 1, &c, 2), 1);  // touching counts
    const Vec3 a = {0, 0, 0}, v = {10, 0, 0}, after = {12.5f, 0, 0}, side = {5, 2, 0};
    EXPECT_EQ(vm_segment_sphere_overlap(&a, &v, &after, 2.5f), 1);
    EXPECT_EQ(vm_segment_sphere_overlap(&a, &v, &side, 2.0f), 1);
    EXPECT_EQ(vm_segment_sphere_overlap(&a, &v, &side, 1.9f), 0);
    // A ray through the sphere writes its entry point, the normal there and the fraction of v.
    const Vec3 s = {-10, 0, 0}, v2 = {20, 0, 0};
    float t = -1;
    Vec3 pt, n;
    ASSERT_EQ(vm_ray_sphere_hit(&s, &v2, &o, 2.0f, &t, &pt, &n), 1);
    EXPECT_TRUE(all_near(std::tuple(pt, n, t), {{-2, 0, 0}, {-1, 0, 0}, 0.4f}, 1e-5f));
}

TEST(Vec3, TrianglesAreHitFromTheFrontWithContactAndDepthAndNeverWhenDegenerate)
{
    // Counter-clockwise seen from +Z; the normal cross(p1-p0, p2-p1) is +Z.
    const Vec3 tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const Vec3 s = {0.2f, 0.2f, 1}, down = {0, 0, -2};
    Vec3 pt, n;
    ASSERT_EQ(vm_ray_triangle_hit(&pt, &n, tri, &s, &down), 1);
    EXPECT_TRUE(all_near(std::array{pt, n}, {{{0.2f, 0.2f, 0}, {0, 0, 1}}}, 1e-6f));
    const Vec3 below = {0.2f, 0.2f, -1}, up = {0, 0, 2};
    EXPECT_EQ(vm_ray_triangle_hit(nullptr, nullptr, tri, &below, &up), 0);  // back side
    // Zero-area triangles used to report a hit at the ray start or on every sphere.
    const Vec3 slivers[][3] = {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}},
                               {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}};
    for (const auto& tri : slivers) {
        const Vec3 s = {0.5f, 0, 1}, v = {0, 0, -2}, centre = {1, 0, 0};
        EXPECT_EQ(vm_ray_triangle_hit(nullptr, nullptr, tri, &s, &v), 0);
        EXPECT_EQ(vm_sphere_triangle_hit(nullptr, nullptr, tri, nullptr, &centre, 1.0f), 0);
    }
    const Vec3 zero = {0, 0, 0}, c = {0.2f, 0.2f, 0};
    EXPECT_EQ(vm_sphere_triangle_hit(nullptr, nullptr, tri, &zero, &c, 1.0f), 0);
    const Vec3 big[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};
    const Vec3 above = {1, 1, 0.5f};
    Vec3 contact;
    float depth = 0;
    ASSERT_EQ(vm_sphere_triangle_hit(&contact, &depth, big, nullptr, &above, 1.0f), 1);
    // Table cosine of 0.5 * pi/2: the engine's own value, not cos(pi/4).
    EXPECT_FLOAT_EQ(depth, 0.70717454f);
    // Beside an edge: the contact is on the edge.
    const Vec3 beside = {2, -0.5f, 0};
    ASSERT_EQ(vm_sphere_triangle_hit(&contact, &depth, big, nullptr, &beside, 1.0f), 1);
    expect_vec3_near(contact, {2, 0, 0}, 1e-6f);
}

TEST(Vec3, SegmentBoxOverlapInclusiveAnyCornerOrder)
{
    const Vec3 lo = {0, 0, 0}, hi = {1, 1, 1};
    const std::tuple<Vec3, Vec3, int> cases[] = {
        {{0.5f, 0.5f, 0.5f}, {0, 0, 0}, 1},   // start inside
        {{-1, 0.5f, 0.5f}, {3, 0, 0}, 1},     // through two faces
        {{-1, 0.5f, 0.5f}, {1, 0, 0}, 1},     // ends on a face
        {{-1, 0.5f, 0.5f}, {0.9f, 0, 0}, 0},  // stops short
        {{-1, 1, 0.5f}, {3, 0, 0}, 1},        // along an edge face
        {{-1, 1.01f, 0.5f}, {3, 0, 0}, 0},    // just above
        {{-1, -1, 0.5f}, {3, 3, 0}, 1},       // diagonal
        {{-1, 0, 0.5f}, {1, 2, 0}, 0},        // passes the corner outside
    };
    for (const auto& [s, v, want] : cases) {
        EXPECT_EQ(vm_segment_box_overlap(&s, &v, &lo, &hi), want) << s.x << "," << s.y;
        EXPECT_EQ(vm_segment_box_overlap(&s, &v, &hi, &lo), want) << "swapped";
    }
}

TEST(Vec3, CapsuleClosestComparesLengthsWithLengths)
{
    // Two crossing segments of length 10, one above the other.
    const Vec3 s1 = {0, 0, 0}, a = {10, 0, 0}, s2 = {7, 1, -5}, b = {0, 0, 10};
    float dist = 0;
    Vec3 p1, p2;
    EXPECT_EQ(vm_capsule_closest(&dist, &p1, &p2, &s1, &a, 0.5f, &s2, &b, 0.5f), 1);
    EXPECT_TRUE(all_near(std::array{p1, p2}, {{{7, 0, 0}, {7, 1, 0}}}, 1e-5f));
    // Closest point of the lines at 7 along a segment of length 10: the old
    // clamp to [0, 1] put the point at 1 and compared 7 with 100.
    const Vec3 s3 = {13, 1, -5};
    EXPECT_EQ(vm_capsule_closest(&dist, &p1, &p2, &s1, &a, 0.5f, &s3, &b, 0.5f), 0);
    // One short capsule: a sphere at its start against the other axis.
    const Vec3 z = {0, 0, 0}, ball = {5, 0.8f, 0};
    EXPECT_EQ(vm_capsule_closest(&dist, &p1, &p2, &ball, &z, 0.5f, &s1, &a, 0.5f), 1);
    EXPECT_NEAR(dist, 0.8f, 1e-5f);
    const Vec3 ball_far = {5, 1.2f, 0};
    EXPECT_EQ(vm_capsule_closest(&dist, &p1, &p2, &s1, &a, 0.5f, &ball_far, &z, 0.5f), 0);
}

// A zero end gives the other end times t.
TEST(Vec3, SlerpWithAZeroEnd)
{
    const Vec3 x = {2, 0, 0}, zero = {0, 0, 0};
    Vec3 r;
    expect_vec3_near(*vm_vec3_slerp(&r, &x, &zero, 0.25f), {0.5f, 0, 0}, 0);
}
