// The small helpers that do more than name a vm_* function (see vm_small.h).
#include "math/vm_small.h"

#include <cmath>

#include "math/vm_mat.h"

Vec3* vec3_normalize(Vec3* out, const Vec3* v)
{
    const double sq = double(v->x) * v->x + double(v->y) * v->y + double(v->z) * v->z;
    if (sq == 0.0 || std::isnan(sq)) return vm_vec3_set(out, 0.0f, 0.0f, 0.0f);
    return vm_vec3_normalize(out, v);
}

Quat* quat_rotation_between_about(Quat* out, const Vec3* from, const Vec3* to, const Vec3* pivot)
{
    Vec3 a, b;
    vec3_sub(&a, from, pivot);
    vec3_sub(&b, to, pivot);
    const float la = a.x * a.x + a.y * a.y + a.z * a.z, lb = b.x * b.x + b.y * b.y + b.z * b.z;
    if (la < 1e-6f || lb < 1e-6f) return vm_quat_identity(out);
    vec3_normalize(&a, &a);
    vec3_normalize(&b, &b);
    return vm_rotation_between(out, &a, &b);
}

Mat44* mat_from_euler_y(Mat44* out, float x, float y, float z)
{
    *out = VM_MAT_IDENTITY;
    const Vec3 a = {x, y, z};
    return vm_mat_from_euler(out, &a);
}
