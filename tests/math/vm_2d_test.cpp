// 2D maths: matrix conventions, intersections, overlaps at their edges.
#include <tuple>

#include "vm_test_util.h"

namespace {

// Sprite-quad corners: top-left, top-right, bottom-left, bottom-right.
struct Rect {
    Vec2 c[4];
};

Rect rect(float x0, float y0, float x1, float y1)
{
    return {{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
}

Mat3x2 rotation2(float angle, Vec2 pos = {0, 0})
{
    Mat3x2 m;
    return *vm_mat3x2_rotation(&m, &pos, angle);
}

Vec2 point_by2(const Mat3x2& m, Vec2 p)
{
    Vec2 r;
    return *vm_mat3x2_transform_point(&r, &m, &p);
}

void expect_vec2_near(Vec2 a, Vec2 b, float tol) { EXPECT_TRUE(all_near(a, b, tol)); }

}  // namespace

TEST(Mat3x2, MultiplicationAppliesBFirstEditorsActInTheOwnFrameAndTheInverseUndoesIt)
{
    Mat3x2 tr, both;
    const Vec2 step = {1, 0};
    const Mat3x2 rot = rotation2(float(M_PI_2));
    vm_mat3x2_mul(&both, &rot, vm_mat3x2_translation(&tr, &step));  // translate, then rotate
    expect_vec2_near(point_by2(both, {0, 0}), {0, -1}, 1e-4f);      // (c, -s, s, c): +X toward -Y
    const Mat3x2 m = rotation2(0.3f, {5, 6}), turn = rotation2(0.4f);
    const Vec2 k = {2, 3}, t = {1, 2};
    Mat3x2 tm, rm, want, sc, inv, prod;
    vm_mat3x2_translate(&tm, &m, &t);
    expect_vec2_near({tm.m[4], tm.m[5]}, point_by2(m, t), 1e-6f);
    vm_mat3x2_rotate(&rm, &m, 0.4f);
    EXPECT_TRUE(same_bits(rm, *vm_mat3x2_mul(&want, &m, &turn)));
    vm_mat3x2_inverse(&inv, vm_mat3x2_scale(&sc, &m, &k));
    EXPECT_TRUE(all_near(*vm_mat3x2_mul(&prod, &inv, &sc), {{1, 0, 0, 1, 0, 0}}, 1e-5f));
}

TEST(Vec2Ops, DistancesIntersectionsTouchesPerpFeetAndSegmentsAgainstCircles)
{
    const Vec2 a1 = {0, 0}, a2 = {4, 4}, b1 = {0, 4}, b2 = {4, 0}, e = {2, 2}, f = {5, 5};
    const Vec2 p = {1, 3};
    EXPECT_FLOAT_EQ(vm2_point_line_dist(&a1, &b2, &p), 3.0f);
    EXPECT_EQ(vm2_point_line_dist(&a1, &a1, &p), 0.0f);
    EXPECT_EQ(vm2_segments_cross(&a1, &a2, &b1, &b2), 1);
    EXPECT_EQ(vm2_segments_touch(&b1, &b2, &e, &f), 1);  // e lies on b1 b2
    Vec2 r;
    EXPECT_EQ(vm2_line_intersect(&r, &a1, &a2, &b1, &b2), 1);
    const Vec2 p1 = {0, 1}, p2 = {4, 5};
    vm2_line_intersect(&r, &a1, &a2, &p1, &p2);
    expect_vec2_near(r, a1, 0);
    vm2_segment_intersect(&r, &a1, &a2, &b1, &b2);
    expect_vec2_near(r, {2, 2}, 1e-6f);
    EXPECT_EQ(vm2_segment_intersect(&r, &a1, &a2, &p1, &p2), 0);  // parallel, not vertical
    const Vec2 v1 = {1, -1}, v2 = {1, 9}, v3 = {3, -1}, v4 = {3, 9};
    EXPECT_EQ(vm2_segment_intersect(&r, &v1, &v2, &a1, &a2), 1);  // first segment vertical
    EXPECT_EQ(vm2_segment_intersect(&r, &a1, &a2, &v3, &v4), 1);  // second segment vertical
    EXPECT_EQ(vm2_segment_intersect(&r, &v1, &v2, &v3, &v4), 0);  // both vertical
    // The range test used to accept only a being the larger end on both axes.
    const Vec2 a = {0, 0}, b = {10, 0}, above = {3, 5}, d = {4, 4}, q = {0, 4};
    EXPECT_EQ(vm2_perp_foot(&r, &b, &a, &above), 1);
    vm2_perp_foot(&r, &a, &d, &q);
    expect_vec2_near(r, {2, 2}, 1e-5f);
    const std::pair<Vec2, int> rows[] = {
        {{5, 2}, 1}, {{-2, 0}, 1}, {{12, 0}, 1}, {{5, 2.01f}, 0}, {{-1.5f, 1.5f}, 0}};
    for (const auto& [c, want] : rows)
        EXPECT_EQ(vm2_segment_circle(&c, 2.0f, &a, &b), want) << c.x << "," << c.y;
    // A zero-length segment is its point (it used to never touch).
    const Vec2 c = {1, 1}, near_c = {1.5f, 1};
    EXPECT_EQ(vm2_segment_circle(&near_c, 1.0f, &c, &c), 1);
    EXPECT_EQ(vm2_segment_circle(&near_c, 0.4f, &c, &c), 0);
}

// Touching counts; a zero-width sprite used to accept a whole band.
TEST(Rect2D, PointsSegmentsAndCirclesTouchingTheEdgeCount)
{
    Rect turned = rect(-2, -1, 2, 1);
    for (Vec2& v : turned.c) v = point_by2(rotation2(float(M_PI_4)), v);
    const Rect square = rect(0, 0, 4, 2), line = rect(2, 0, 2, 4), flat = rect(0, 1, 4, 1),
               dot = rect(3, 3, 3, 3);
    const std::tuple<const Rect*, Vec2, int> cases[] = {
        {&square, {1, 1}, 1},      {&square, {4, 1}, 1},       {&square, {0, 2}, 1},
        {&square, {4.001f, 1}, 0}, {&square, {2, -0.001f}, 0}, {&turned, {1.4f, -1.4f}, 1},
        {&turned, {1, 1}, 0},  // (c, -s, s, c) turns +X toward -Y
        {&line, {2, 3}, 1},        {&line, {50, 3}, 0},        {&line, {2, 5}, 0},
        {&flat, {3, 1}, 1},        {&flat, {3, 7}, 0},         {&dot, {3, 3}, 1},
        {&dot, {100, -40}, 0},
    };
    for (const auto& [r, p, want] : cases)
        EXPECT_EQ(vm_geom2d_rect_vs_point(r->c, &p), want) << p.x << "," << p.y;
    const Rect ten = rect(0, 0, 10, 10), wide = rect(0, 0, 10, 6);
    const Vec2 a = {0, -0.005f}, b = {10, -0.005f}, inside = {5, 3}, far = {50, 50};
    EXPECT_EQ(vm_geom2d_rect_vs_segment(ten.c, &a, &b), 1);
    EXPECT_EQ(vm_geom2d_circle_vs_rect(wide.c, &inside, 0.5f), 1);
    EXPECT_EQ(vm_geom2d_circle_vs_rect(wide.c, &far, 1.0f), 0);
}

TEST(Spline2D, NaturalCubicSpline)
{
    const float xs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const float lin[] = {1, 3, 5, 7, 9, 11, 13, 15, 17};
    EXPECT_EQ(vm_spline_eval(xs, lin, 9, 2.5f), 0.0f);  // too many samples
    EXPECT_EQ(vm_spline_eval(xs, lin, 1, 0.0f), 0.0f);
    EXPECT_NEAR(vm_spline_eval(xs, lin, 5, 2.5f), 6.0f, 1e-5f);  // linear data stays linear
    EXPECT_EQ(vm_spline_eval(xs, lin, 5, 4.5f), 0.0f);           // beyond the samples
    // Three samples (0,0), (1,1), (2,0): M1 = -3, value at 0.5 is 0.6875.
    const float ys[] = {0, 1, 0};
    EXPECT_NEAR(vm_spline_eval(xs, ys, 3, 0.5f), 0.6875f, 1e-6f);
    EXPECT_NEAR(vm_spline_eval(xs, ys, 3, 1.5f), 0.6875f, 1e-6f);
    const float unsorted[] = {0, 2, 1}, repeated[] = {0, 1, 1};
    EXPECT_EQ(vm_spline_eval(unsorted, ys, 3, 0.5f), 0.0f);
    EXPECT_EQ(vm_spline_eval(repeated, ys, 3, 0.5f), 0.0f);
    EXPECT_EQ(vm_spline_eval(xs, ys, 3, std::nanf("")), 0.0f);
}
