#include "tool/tool_patch.h"

#include "app/mouse.h"
#include "math/vm_mat.h"
#include "tool/tool_local.h"

#include <algorithm>
#include <cmath>

// Sections: geometry | patches

// ---- geometry ----------------------------------------------------------------------------

PatchBox tool_patch_box(int handle, float cx, float cy, float fx, float fy)
{
    switch (handle) {
    case PATCH_H_SCALEY: return {cx + 16 * fx + 16, cy - 32, 32, 64};
    case PATCH_H_ROTX: return {cx - 16, cy - 16 * fy - 48, 32, 32};
    case PATCH_H_ROTY: return {cx - 16 * fx - 48, cy - 16, 32, 32};
    case PATCH_H_ROTZ: return {cx + 16 * fx + 16, cy + 16 * fy + 24, 32, 32};
    case PATCH_H_ASPECT: return {cx - 32, cy + 16 * fy + 24, 64, 32};
    default: return {cx - 16 * fx, cy - 16 * fy, 32 * fx, 32 * fy};
    }
}

int tool_point_in_rect_at(int32_t px, int32_t py, float x, float y, float w, float h)
{
    const int32_t x0 = int32_t(x), y0 = int32_t(y);
    const int32_t x1 = int32_t(x + w), y1 = int32_t(y + h);
    return px >= x0 && px <= x1 && py >= y0 && py <= y1 ? 1 : 0;
}

int tool_point_in_rect(float x, float y, float w, float h)
{
    uint32_t mx = 0, my = 0;
    mouse_get_pos(&mx, &my);
    return tool_point_in_rect_at(int32_t(mx), int32_t(my), x, y, w, h);
}

Vec2 tool_box_extent(const float box[6], const Mat44* m)
{
    Vec2 e{0.0f, 0.0f};
    for (int i = 0; i < 8; ++i) {
        const Vec3 corner{box[(i & 1) ? 3 : 0], box[(i & 2) ? 4 : 1], box[(i & 4) ? 5 : 2]};
        Vec3 v;
        vm_mat_transform_vector(&v, m, &corner);
        e.x = std::max(e.x, std::fabs(v.x));
        e.y = std::max(e.y, std::fabs(v.y));
    }
    return e;
}

float tool_distance_sq(float x0, float y0, float x1, float y1)
{
    const float dx = x1 - x0, dy = y1 - y0;
    return dx * dx + dy * dy;
}

float tool_distance(float x0, float y0, float x1, float y1)
{
    return std::sqrt(tool_distance_sq(x0, y0, x1, y1));
}

float tool_patch_drag_factor(float d) { return std::max(d * 0.03125f + 1.0f, 0.1f); }

Mat44* tool_mat_scale3(Mat44* out, const Mat44* m, float x, float y, float z)
{
    const Vec3 s{x, y, z};
    return vm_mat_scale(out, m, &s);
}

Mat44* tool_mat_euler(Mat44* out, float x, float y, float z)
{
    const Vec3 a{x, y, z};
    vm_mat_identity(out);
    return vm_mat_from_euler(out, &a);
}

Mat44* tool_mat_translation(Mat44* out, float x, float y, float z)
{
    const Vec3 t{x, y, z};
    return vm_mat_translation(out, &t);
}

Vec3* tool_vec3(Vec3* out, float x, float y, float z)
{
    *out = Vec3{x, y, z};
    return out;
}
