// Point paths: block layout, building, evaluating, short and degenerate paths.
#include <array>

#include "vm_test_util.h"

namespace {

// A heap block of exactly the size: the sanitizer build catches overruns.
struct Block {
    std::vector<float> storage;
    uint32_t size;
    explicit Block(uint32_t bytes) : storage((bytes + 3) / 4, -7.0f), size(bytes) {}
    PathBlock* path() { return reinterpret_cast<PathBlock*>(storage.data()); }
};

PathBlock* make_path(Block& b, std::initializer_list<Vec3> pts)
{
    vm_path_init(b.path(), b.size);
    for (const Vec3& p : pts) vm_path_add_point(b.path(), &p);
    return b.path();
}

Vec3 at_fraction(const PathBlock* p, float f)
{
    Vec3 r;
    return *vm_path_eval_fraction(&r, p, f);
}

}  // namespace

TEST(Path, LayoutAndCapacityOfBlocksAndPointsAddedUntilFull)
{
    EXPECT_EQ(
        (std::array{vm_path_capacity_for(68), vm_path_capacity_for(95), vm_path_capacity_for(11)}),
        (std::array{2u, 2u, 0u}));
    Block b(68);
    vm_path_init(b.path(), 68);
    uint32_t size;
    int16_t count_cap[2];
    std::memcpy(&size, b.storage.data(), 4);
    std::memcpy(count_cap, reinterpret_cast<char*>(b.storage.data()) + 4, 4);
    EXPECT_EQ((std::array<int64_t, 2>{size, count_cap[1]}), (std::array<int64_t, 2>{68, 2}));
    // (size - 12) wrapped for small blocks; big ones overflowed the 16-bit capacity.
    Block tiny(8), huge(12 + 28u * 40000);
    EXPECT_EQ(vm_path_init(tiny.path(), 8), 0);
    EXPECT_EQ(tiny.storage[0], -7.0f);  // nothing written
    EXPECT_EQ(vm_path_init(huge.path(), huge.size), VM_PATH_MAX_CAPACITY);
    EXPECT_EQ(huge.path()->capacity, 32767);
    Block three(12 + 28 * 3);
    PathBlock* p = make_path(three, {});
    const Vec3 a = {0, 0, 0}, c = {3, 4, 0}, d = {3, 4, 2}, e = {9, 9, 9};
    EXPECT_EQ(vm_path_add_point(p, &a), 1);
    EXPECT_EQ(vm_path_add_point(p, &c), 1);
    EXPECT_EQ(vm_path_add_point_len(p, &d, 7.0f), 1);
    EXPECT_EQ(vm_path_add_point(p, &e), 0);  // full: refused
    EXPECT_EQ(vm_path_length(p), 12.0f);
}

TEST(Path, EvaluatesThroughItsPointsAndStraightEvenPathIsLinear)
{
    Block b(12 + 28 * 8);
    PathBlock* p = make_path(b, {{0, 0, 0}, {4, 0, 0}, {8, 2, 0}, {10, 6, 1}});
    for (void (*build)(PathBlock*) :
         {vm_path_build, vm_path_build_balanced, vm_path_build_balanced3}) {
        build(p);
        expect_vec3_near(at_fraction(p, 1.0f), {10, 6, 1}, 1e-4f);
    }
    PathBlock* q = make_path(b, {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {6, 0, 0}});
    vm_path_build(q);
    for (float f : {0.1f, 0.25f, 0.5f, 0.8f}) {
        EXPECT_NEAR(at_fraction(q, f).x, 6.0f * f, 0.05f);
        EXPECT_NEAR(at_fraction(q, f).y, 0.0f, 1e-6f);
    }
}

TEST(Path, TangentPasses)
{
    Block b(12 + 28 * 4), g(12 + 28 * 3);
    PathBlock* p = make_path(b, {{0, 0, 0}, {2, 1, 0}, {4, 0, 0}, {5, 3, 0}});
    vm_path_init_tangents(p);
    // The smoothing pass reads only the tangents from before the pass.
    std::vector<PathPoint> before(vm_path_points(p), vm_path_points(p) + 4);
    vm_path_smooth_pass(p);
    Vec3 want;
    expect_vec3_near(vm_path_points(p)[2].tangent, *vm_path_end_tangent(&want, before.data(), 2),
                     0);
    // A given length scales the tangent by 4 ra rb / (ra + rb)^2, ra and rb the measured lengths
    // over the given ones: 1 / 4 and 1 here, so 0.64.
    PathBlock* q = make_path(g, {{0, 0, 0}});
    const Vec3 p1 = {1, 0, 0}, p2 = {2, 1, 0};
    vm_path_add_point_len(q, &p1, 4.0f);
    vm_path_add_point(q, &p2);
    vm_path_init_tangents(q);
    const Vec3 t1 = vm_path_points(q)[1].tangent;
    vm_path_balance_tangents(q);
    expect_vec3_near(vm_path_points(q)[1].tangent, {t1.x * 0.64f, t1.y * 0.64f, t1.z * 0.64f},
                     1e-6f);
    vm_path_smooth(q);
    vm_path_smooth_balance(q);
    std::vector<PathPoint> halved(vm_path_points(q), vm_path_points(q) + 3);
    for (PathPoint& h : halved) h.tangent = {h.tangent.x / 2, h.tangent.y / 2, h.tangent.z / 2};
    vm_path_halve(q);
    EXPECT_EQ(std::memcmp(vm_path_points(q), halved.data(), 3 * sizeof(PathPoint)), 0);
}

// Count 0 or 1 used to divide 0 by 0 and walk past the points and the block.
TEST(Path, ShortPathsAndZeroLengthSegmentsStayInsideTheBlockAndFinite)
{
    Block empty(12 + 28 * 2), one(12 + 28 * 1), none(12);  // capacity 0 refuses everything
    PathBlock* p = make_path(empty, {});
    expect_vec3_near(at_fraction(p, 0.5f), {0, 0, 0}, 0);
    vm_path_build(p);
    PathBlock* q = make_path(one, {{1, 2, 3}});
    vm_path_build_balanced3(q);
    Vec3 r;
    expect_vec3_near(*vm_path_eval_distance(&r, q, 5.0f), {1, 2, 3}, 0);
    PathBlock* z = make_path(none, {{1, 2, 3}});
    EXPECT_EQ(z->count, 0);
    expect_vec3_near(at_fraction(z, 0.5f), {0, 0, 0}, 0);
    vm_path_build_balanced(z);
    vm_path_halve_balance(z);
    // Repeated points give zero-length segments: no division by zero anywhere.
    Block b(12 + 28 * 5);
    PathBlock* rep = make_path(b, {{0, 0, 0}, {0, 0, 0}, {3, 0, 0}, {3, 0, 0}, {3, 4, 0}});
    vm_path_build_balanced3(rep);
    for (float f = -0.2f; f <= 1.2f; f += 0.05f) EXPECT_TRUE(all_finite(at_fraction(rep, f))) << f;
}
