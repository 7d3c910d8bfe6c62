// Point paths.
#include "math/vm_path.h"

#include <cmath>
#include <cstring>

#include "math/vm_vec.h"

namespace {

constexpr uint32_t VM_HEADER = sizeof(PathBlock);

// Points in use, trusting neither a negative count nor one above capacity.
int used(const PathBlock* path)
{
    const int n = path->count;
    return n < 0 ? 0 : (n > path->capacity ? path->capacity : n);
}

Vec3 scaled(const Vec3& v, float s)
{
    Vec3 r;
    return *vm_vec3_scale(&r, &v, s);
}

// (3 * (to - from) / len - other) * 0.5; a zero-length segment contributes
// no chord term instead of dividing by zero.
Vec3 end_tangent(const Vec3& from, const Vec3& to, float len, const Vec3& other)
{
    Vec3 chord = {0, 0, 0};
    if (len != 0.0f) {
        vm_vec3_sub(&chord, &to, &from);
        chord = scaled(chord, 3.0f / len);
    }
    Vec3 r;
    vm_vec3_sub(&r, &chord, &other);
    return scaled(r, 0.5f);
}

void for_each_tangent_scale(PathBlock* path, float k)
{
    PathPoint* p = vm_path_points(path);
    for (int i = 0; i < used(path); ++i) p[i].tangent = scaled(p[i].tangent, k);
}

}  // namespace

uint32_t vm_path_capacity_for(uint32_t size)
{
    return size < VM_HEADER ? 0 : (size - VM_HEADER) / sizeof(PathPoint);
}

int vm_path_init(PathBlock* path, uint32_t size)
{
    if (size < VM_HEADER) return 0;
    std::memset(static_cast<void*>(path), 0, size);
    uint32_t cap = vm_path_capacity_for(size);
    if (cap > uint32_t(VM_PATH_MAX_CAPACITY)) cap = VM_PATH_MAX_CAPACITY;
    path->size = size;
    path->count = 0;
    path->capacity = int16_t(cap);
    path->total_length = 0.0f;
    return int(cap);
}

int vm_path_init_block(PathBlock* path, uint32_t size) { return vm_path_init(path, size); }

PathPoint* vm_path_points(PathBlock* path)
{
    return reinterpret_cast<PathPoint*>(reinterpret_cast<unsigned char*>(path) + VM_HEADER);
}

const PathPoint* vm_path_points(const PathBlock* path)
{
    return reinterpret_cast<const PathPoint*>(reinterpret_cast<const unsigned char*>(path) +
                                              VM_HEADER);
}

float vm_path_length(const PathBlock* path) { return path->total_length; }

static int add_point(PathBlock* path, const Vec3* pos, const float* given_length)
{
    const int n = used(path);
    if (n >= path->capacity) return 0;
    PathPoint* p = vm_path_points(path);
    if (n > 0) {
        const float len =
            given_length ? *given_length : std::sqrt(vm_vec3_dist_sq(&p[n - 1].pos, pos));
        p[n - 1].seg_length = len;
        path->total_length += len;
    } else {
        path->total_length = 0.0f;
    }
    p[n] = {*pos, {0, 0, 0}, 0.0f};
    path->count = int16_t(n + 1);
    return 1;
}

int vm_path_add_point(PathBlock* path, const Vec3* pos) { return add_point(path, pos, nullptr); }
int vm_path_add_point_len(PathBlock* path, const Vec3* pos, float length)
{
    return add_point(path, pos, &length);
}

Vec3* vm_path_start_tangent(Vec3* out, const PathPoint* points, int i)
{
    *out =
        end_tangent(points[i].pos, points[i + 1].pos, points[i].seg_length, points[i + 1].tangent);
    return out;
}

Vec3* vm_path_end_tangent(Vec3* out, const PathPoint* points, int i)
{
    *out = end_tangent(points[i - 1].pos, points[i].pos, points[i - 1].seg_length,
                       points[i - 1].tangent);
    return out;
}

void vm_path_init_tangents(PathBlock* path)
{
    const int n = used(path);
    if (n < 2) return;
    PathPoint* p = vm_path_points(path);
    for (int i = 1; i < n - 1; ++i) {
        Vec3 a, b, d;
        vm_vec3_sub(&a, &p[i + 1].pos, &p[i].pos);
        vm_vec3_sub(&b, &p[i - 1].pos, &p[i].pos);
        vm_vec3_normalize(&a, &a);
        vm_vec3_normalize(&b, &b);
        vm_vec3_sub(&d, &a, &b);
        vm_vec3_normalize(&p[i].tangent, &d);
    }
    vm_path_start_tangent(&p[0].tangent, p, 0);
    vm_path_end_tangent(&p[n - 1].tangent, p, n - 1);
}

void vm_path_smooth_pass(PathBlock* path)
{
    const int n = used(path);
    if (n < 2) return;
    PathPoint* p = vm_path_points(path);
    // Every new tangent reads the tangents from before the pass: keep the
    // previous point's old tangent while writing in place.
    Vec3 first;
    vm_path_start_tangent(&first, p, 0);
    Vec3 old_prev = p[0].tangent;
    for (int i = 1; i < n; ++i) {
        const Vec3 old_here = p[i].tangent;
        p[i].tangent = end_tangent(p[i - 1].pos, p[i].pos, p[i - 1].seg_length, old_prev);
        old_prev = old_here;
    }
    p[0].tangent = first;
}

void vm_path_halve_tangents(PathBlock* path) { for_each_tangent_scale(path, 0.5f); }

void vm_path_balance_tangents(PathBlock* path)
{
    const int n = used(path);
    PathPoint* p = vm_path_points(path);
    for (int i = 1; i < n - 1; ++i) {
        const float la = p[i - 1].seg_length, lb = p[i].seg_length;
        if (la == 0.0f || lb == 0.0f)
            continue;  // the ratios are undefined: leave the tangent as it is
        const float ra = std::sqrt(vm_vec3_dist_sq(&p[i - 1].pos, &p[i].pos)) / la;
        const float rb = std::sqrt(vm_vec3_dist_sq(&p[i].pos, &p[i + 1].pos)) / lb;
        const float sum = ra + rb;
        if (sum == 0.0f) continue;
        p[i].tangent = scaled(p[i].tangent, 4.0f * ra * rb / (sum * sum));
    }
}

void vm_path_build(PathBlock* path)
{
    vm_path_init_tangents(path);
    for (int i = 0; i < 3; ++i) vm_path_smooth_pass(path);
}

void vm_path_build_balanced(PathBlock* path)
{
    vm_path_init_tangents(path);
    vm_path_smooth_balance(path);
}

void vm_path_build_balanced3(PathBlock* path)
{
    vm_path_init_tangents(path);
    for (int i = 0; i < 3; ++i) vm_path_smooth_balance(path);
}

void vm_path_smooth(PathBlock* path) { vm_path_smooth_pass(path); }

void vm_path_smooth_balance(PathBlock* path)
{
    vm_path_smooth_pass(path);
    vm_path_balance_tangents(path);
}

void vm_path_halve_balance(PathBlock* path)
{
    vm_path_halve_tangents(path);
    vm_path_balance_tangents(path);
}

void vm_path_halve(PathBlock* path) { vm_path_halve_tangents(path); }

Vec3* vm_hermite_point(Vec3* out, const Vec3* p0, const Vec3* t0, const Vec3* p1, const Vec3* t1,
                       float u)
{
    const double a[3] = {p0->x, p0->y, p0->z}, b[3] = {p1->x, p1->y, p1->z};
    const double ta[3] = {t0->x, t0->y, t0->z}, tb[3] = {t1->x, t1->y, t1->z};
    const double u2 = double(u) * u, u3 = u2 * u;
    float r[3];
    for (int k = 0; k < 3; ++k)
        r[k] = float((2 * a[k] - 2 * b[k] + ta[k] + tb[k]) * u3 +
                     (-3 * a[k] + 3 * b[k] - 2 * ta[k] - tb[k]) * u2 + ta[k] * u + a[k]);
    *out = {r[0], r[1], r[2]};
    return out;
}

Vec3* vm_path_eval_distance(Vec3* out, const PathBlock* path, float distance)
{
    const int n = used(path);
    const PathPoint* p = vm_path_points(path);
    if (n == 0) {
        *out = {0, 0, 0};
        return out;
    }
    if (n == 1) {
        *out = p[0].pos;
        return out;
    }
    int k = 0;
    double s = 0.0;
    while (k < n - 2 && !(distance <= s + p[k].seg_length)) {
        s += p[k].seg_length;
        ++k;
    }
    const float len = p[k].seg_length;
    const float u = len == 0.0f ? 0.0f : float((distance - s) / len);
    const Vec3 ta = scaled(p[k].tangent, len), tb = scaled(p[k + 1].tangent, len);
    return vm_hermite_point(out, &p[k].pos, &ta, &p[k + 1].pos, &tb, u);
}

Vec3* vm_path_eval_fraction(Vec3* out, const PathBlock* path, float fraction)
{
    return vm_path_eval_distance(out, path, fraction * path->total_length);
}
