// 4x4 matrices: multiplication and Euler order, round trips, degenerate cases.
#include <limits>
#include <tuple>

#include "vm_test_util.h"

namespace {

// Elementary row-vector rotation about axis 0 (X), 1 (Y) or 2 (Z) with the table sine.
Vec3 rot(Vec3 p, int axis, float a)
{
    const double c = vm_math_cos(a), s = vm_math_sin(a);
    float* v = &p.x;
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    const double vi = v[i], vj = v[j];
    v[i] = float(vi * c - vj * s);
    v[j] = float(vi * s + vj * c);
    return p;
}

bool orthonormal(const Mat44& m, float tol)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const float d = m.m[4 * i] * m.m[4 * j] + m.m[4 * i + 1] * m.m[4 * j + 1] +
                            m.m[4 * i + 2] * m.m[4 * j + 2];
            if (std::fabs(d - (i == j ? 1.0f : 0.0f)) > tol) return false;
        }
    return true;
}

Mat44 random_affine(unsigned seed)
{
    const float f = float(seed);
    return scaled(
        pos_angles({f * 0.7f - 3, 2 - f, f * 0.3f}, {0.3f * f, -0.7f + f, 1.1f - 0.2f * f}),
        {1.0f + 0.1f * f, 0.5f + 0.05f * f, 2.0f - 0.1f * f});
}

const Vec3 VM_MAT_ANGLE_SETS[] = {{0.3f, 0.7f, -1.1f},    {0, 0, 0},
                                  {-1.2f, 2.5f, 0.4f},    {1.0f, -3.0f, 3.0f},
                                  {0.01f, 0.02f, -0.03f}, {-0.5f, 1.5f, -2.8f}};
const Vec3 VM_MAT_QUARTER_Y = {0, float(M_PI_2), 0};

}  // namespace

// b first, then a: the child's world matrix is mul(parent, local).
TEST(MatConventions, MultiplicationAppliesBFirstEulerOrderIsZXYAndEditorsActInTheOwnFrame)
{
    const Mat44 shift = translation({1, 0, 0}), turn = pos_angles({}, VM_MAT_QUARTER_Y);
    expect_vec3_near(point_by(mat_mul(shift, turn), {}), {1, 0, 0}, 1e-6f);
    // Translate first, then turn: (1,0,0) -> (0,0,-1).
    expect_vec3_near(point_by(mat_mul(turn, shift), {}), {0, 0, -1}, 1e-4f);
    // Standard order: about Z first, then X, then Y, with the table values.
    const Vec3 p = {0.3f, -1.2f, 2.0f};
    for (const Vec3& a : VM_MAT_ANGLE_SETS)
        expect_vec3_near(point_by(pos_angles({}, a), p), rot(rot(rot(p, 2, a.z), 0, a.x), 1, a.y),
                         2e-6f);
    // In-frame editors act before m: rotate_euler(m, a) = mul(m, R(a)).
    const Mat44 m = random_affine(3);
    Mat44 edited;
    for (const Vec3& a : VM_MAT_ANGLE_SETS)
        expect_mat_near(*vm_mat_rotate_euler(&edited, &m, &a), mat_mul(m, pos_angles({}, a)),
                        1e-5f);
    const Vec3 t = {1, 2, 3}, axis = {0, 2, 0};
    Mat44 moved;
    expect_mat_near(*vm_mat_translate(&moved, &m, &t), mat_mul(m, translation(t)), 1e-5f);
    Mat44 ra, ry;
    vm_mat_rotate_axis(&ra, &m, nullptr, &axis, 0.5f);
    expect_mat_near(ra, *vm_mat_rotate_y(&ry, &m, 0.5f), 5e-4f);  // half-angle table steps differ
}

TEST(MatEuler, EveryOrderRoundTripsThroughItsBuilderAndComposeAppliesMFirst)
{
    struct Order {
        const char* name;
        Quat* (*build)(Quat*, const Vec3*);
        Vec3* (*extract)(Vec3*, const Mat44*);
    } orders[] = {
        {"zxy", vm_quat_from_euler_zxy, vm_mat_to_euler},
        {"zyx", vm_quat_from_euler_zyx, vm_mat_to_euler_a},
        {"xzy", vm_quat_from_euler_xzy, vm_mat_to_euler_b},
        {"yxz", vm_quat_from_euler_yxz, vm_mat_to_euler_c},
        {"xyz", vm_quat_from_euler_xyz, vm_mat_to_euler_d},
    };
    const Vec3 angles[] = {{0.3f, 0.7f, -1.1f}, {-0.4f, -0.2f, 0.6f}, {1.0f, 0.5f, 1.2f}};
    for (const Order& o : orders)
        for (const Vec3& a : angles) {
            Quat q;
            const Mat44 m = quat_matrix(*o.build(&q, &a));
            Vec3 back;
            expect_vec3_near(*o.extract(&back, &m), a, 2e-3f, o.name);
        }
    const Vec3 a1 = {0.2f, 0.3f, 0.1f}, a2 = {-0.1f, 0.5f, 0.2f};
    const Mat44 m1 = pos_angles({}, a1);
    Vec3 composed;
    vm_mat_euler_compose(&composed, &m1, &a2);
    expect_mat_near(pos_angles({}, composed), mat_mul(pos_angles({}, a2), m1), 1e-4f);
}

// A scaled matrix (patches use scale 30) used to push asin out of range in the decomposition.
TEST(MatScaled, DecomposedNormalizedAndTheLargestScaleEstimated)
{
    const Vec3 a = {0.1f, -0.8f, 0.3f}, s = {30, 30, 30};
    const Mat44 m = scaled(pos_angles({4, 5, 6}, a), s);
    Vec3 pos, ang, scale;
    vm_mat_decompose(&pos, &ang, &scale, &m);
    expect_vec3_near(pos, {4, 5, 6}, 0);
    expect_vec3_near(ang, a, 5e-4f);
    expect_vec3_near(scale, s, 5e-3f);  // table rows are unit to about 1e-4
    Mat44 r = random_affine(2);
    EXPECT_TRUE(orthonormal(*vm_mat_normalize_rows(&r, &r), 1e-5f));
    r = scaled(r, {2, 3, 4});
    EXPECT_NEAR(vm_mat_max_scale(&r), 4.0f, 4e-3f);  // estimate: about 12 bits
}

// A singular matrix (scale 0 is easy to produce) gives a defined result.
TEST(MatInverse, SingularOrNonFiniteGivesIdentity)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (const Mat44& m :
         {scaled(random_affine(2), {1, 0, 1}), Mat44{},
          scaled(mat_identity(), {1, std::nanf(""), 1}), scaled(mat_identity(), {inf, 1, 1})}) {
        Mat44 out;
        for (float& v : out.m) v = 123.0f;
        EXPECT_EQ(vm_mat_inverse_checked(&out, &m), 0);
        expect_mat_near(out, mat_identity(), 0);
    }
}

TEST(MatProjection, OrthoTextureBiasReflectAndShadow)
{
    Mat44 o, tb, m;
    vm_mat_ortho_offcenter(&o, -4, 2, -1, 3, 1, 11);
    vm_mat_texture_bias(&tb, &o);
    expect_vec3_near(point_by(tb, {2, -1, 11}), {1, 1, 1}, 1e-6f);  // far bottom-right
    const Plane floor = {0, 2, 0, -2};                              // y = 1, not normalised
    const Vec3 p = {3, 4, 5}, down = {0, -1, 0}, lamp = {0, 5, 0}, q = {1, 3, 0};
    expect_vec3_near(point_by(*vm_mat_reflect(&m, &floor), p), {3, -2, 5}, 1e-5f);
    // Directional light straight down: the shadow falls below the point.
    Vec3 r;
    vm_mat_shadow(&m, &down, &floor, 1);
    expect_vec3_near(*vm_mat_transform_point_divw(&r, &m, &p), {3, 1, 5}, 1e-5f);
    // Point light at (0, 5, 0): the shadow lies on the line light -> point.
    vm_mat_shadow(&m, &lamp, &floor, 0);
    expect_vec3_near(*vm_mat_transform_point_divw(&r, &m, &q), {2, 1, 0}, 1e-5f);
}

// The plane lands at depth 0 (negative w) or 1.
TEST(MatProjection, ClipPlaneProjection)
{
    Mat44 proj, view = pos_angles({0, 0, -5}, {}), out;
    vm_mat_perspective_offcenter(&proj, -1, 1, -1, 1, 1, 100);
    vm_mat_inverse(&view, &view);
    auto clip = [&](Vec3 p) {
        Vec4 c;
        const Vec4 p4 = {p.x, p.y, p.z, 1};
        return *vm_vec4_transform(&c, &out, &p4);
    };
    const Plane below = {0, -1, 0, -2}, above = {0, 1, 0, 2};  // keep y < -2, y > -2
    vm_mat_clip_plane_projection(&out, &proj, &view, &below);
    for (const Vec3& p : {Vec3{0, -2, 5}, Vec3{1, -2, 10}, Vec3{-3, -2, 30}})
        EXPECT_NEAR(clip(p).z / clip(p).w, 0.0f, 1e-4f);
    vm_mat_clip_plane_projection(&out, &proj, &view, &above);
    EXPECT_NEAR(clip({1, -2, 10}).z / clip({1, -2, 10}).w, 1.0f, 1e-4f);
}

// Directions along (1, 1, 1) and the zero direction are the awkward ones.
TEST(MatAim, AimAndYAxisFramesForEveryDirectionAndAnEyeOnTheTarget)
{
    const Vec3 dirs[] = {{0, 1, 0}, {1, 0, 0},    {0, 0, 1}, {1, 2, 3},           {0, -5, 0},
                         {1, 1, 1}, {-1, -1, -1}, {2, 2, 2}, {0.3f, -0.2f, 0.9f}, {0, 0, 0}};
    const Vec3 pos = {1, 2, 3};
    Mat44 m, inv;
    for (const Vec3& d : dirs) {
        SCOPED_TRACE(testing::Message() << d.x << " " << d.y << " " << d.z);
        EXPECT_TRUE(orthonormal(*vm_mat_aim_dir(&m, nullptr, &d, nullptr, 0), 1e-5f));
        EXPECT_TRUE(orthonormal(*vm_mat_from_y_axis(&m, &pos, &d), 1e-5f));
    }
    // Eye on the target: a usable placement instead of a singular one.
    vm_mat_aim_at(&m, &pos, &pos, nullptr, 0);
    EXPECT_EQ(vm_mat_inverse_checked(&inv, &m), 1);
}

TEST(MatInterpolate, TheEndIsExactAndScaledMatricesKeepTheirRotation)
{
    const Mat44 a = random_affine(1), b = random_affine(2);
    Mat44 r;
    EXPECT_TRUE(same_bits(*vm_mat_interpolate(&r, &a, &b, 1.0f), b));
    // Rotation of scaled matrices used to be taken from the unnormalised 3x3.
    // Between scale 2 at 0 degrees and scale 4 at 90 degrees: scale 3 at 45.
    const Mat44 a2 = scaled(mat_identity(), {2, 2, 2}),
                b2 = scaled(pos_angles({}, VM_MAT_QUARTER_Y), {4, 4, 4});
    const Mat44 want = scaled(pos_angles({}, {0, float(M_PI_4), 0}), {3, 3, 3});
    expect_mat_near(*vm_mat_interpolate(&r, &a2, &b2, 0.5f), want, 1e-3f);
}

TEST(MatSampleArray, WrapClampAndDegenerateCounts)
{
    const Mat44 arr[3] = {translation({}), translation({1, 0, 0}), translation({2, 0, 0})};
    // Start, time, wrap, wanted x.
    const std::tuple<int, float, int, float> rows[] = {
        {0, 3.0f, 1, 0.0f},                        // one past the last, wrapped
        {0, 3.0f, 0, 2.0f},                        // clamped
        {0, 1.5f, 0, 1.5f},   {0, 2.5f, 1, 1.0f},  // last blends into the first
        {10, 11.0f, 0, 1.0f},                      // start is subtracted
    };
    Mat44 r;
    for (const auto& [start, t, wrap, want] : rows)
        EXPECT_FLOAT_EQ(vm_mat_sample_array(&r, arr, 3, start, 2, t, wrap)->m[12], want) << t;
    // Count 0 used to loop forever (wrap) or read before the array (clamp).
    Mat44 untouched = random_affine(3), before = untouched;
    vm_mat_sample_array(&untouched, arr, 0, 0, 2, 1.0f, 1);
    vm_mat_sample_array(&untouched, arr, 0, 0, 2, 1.0f, 0);
    EXPECT_TRUE(same_bits(untouched, before));
    // Huge, infinite and NaN times finish and stay in range.
    for (float t : {1e9f, -1e9f, 3e38f, std::numeric_limits<float>::infinity(), std::nanf("")})
        EXPECT_TRUE(all_near(vm_mat_sample_array(&r, arr, 3, 0, 2, t, 1)->m[12], 1.0f, 1.0f)) << t;
}
