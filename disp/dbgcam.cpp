// disp/dbgcam: the debug camera.
#include "disp/dbgcam.h"

#include <cmath>

#include "svc/key.h"
#include "disp/cam.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"

namespace {

constexpr float DBGCAM_TURN_STEP = 0.05235988f;  // 3 degrees
constexpr int DBGCAM_VK_TOGGLE = 0x30;           // "0"
constexpr int DBGCAM_VK_CTRL = 0x11;
constexpr int DBGCAM_VK_LEFT_SHIFT = 0xA0;
constexpr int DBGCAM_VK_LEFT = 0x25, DBGCAM_VK_UP = 0x26, DBGCAM_VK_RIGHT = 0x27,
              DBGCAM_VK_DOWN = 0x28;

// Below lo the width is added, at or above hi it is subtracted.
float wrap_range(float v, float lo, float hi)
{
    const float width = hi - lo;
    while (v < lo) v += width;
    while (v >= hi) v -= width;
    return v;
}

// 1, 0 or -1 from a pair of held keys.
float axis(int vk_plus, int vk_minus)
{
    return float((key_is_down(vk_plus) ? 1 : 0) - (key_is_down(vk_minus) ? 1 : 0));
}

void take_current_view(DbgCam* c)
{
    c->pos = *cam_get_pos(0);
    c->angles = *cam_get_rot(0);
}

void choose_steps(DbgCam* c)
{
    c->move_step = 0.1f;
    c->turn_step = DBGCAM_TURN_STEP;
    if (key_is_down(DBGCAM_VK_CTRL)) {
        c->move_step = 0.05f;
        c->turn_step *= 0.5f;
    }
    if (key_is_down(DBGCAM_VK_LEFT_SHIFT)) {
        c->move_step = 1.0f;
        c->turn_step *= 2.0f;
    }
}

void move_in_view(DbgCam* c)
{
    const Vec3 local = {axis('D', 'A') * c->move_step, 0.0f, axis('W', 'S') * c->move_step};
    Mat44 m;
    vm_mat_identity(&m);
    vm_mat_rotate_y(&m, &m, c->angles.y);
    vm_mat_rotate_x(&m, &m, c->angles.x);
    Vec3 moved;
    vm_mat_transform_point(&moved, &m, &local);
    c->pos.x += moved.x;
    c->pos.y += moved.y;
    c->pos.z += moved.z;
}

}  // namespace

float dbgcam_wrap_angle(float angle)
{
    // The angles come from whatever matrix a caller installed: an infinite
    // value would never leave the loops and a huge one would take ages.
    if (!std::isfinite(angle)) return 0.0f;
    if (std::fabs(angle) > 1000.0f * VM_TWO_PI) angle = std::fmod(angle, VM_TWO_PI);
    return wrap_range(angle, 0.0f, VM_TWO_PI);
}

void dbgcam_update(DbgCam* c)
{
    if (!c) return;
    if (key_is_pressed(DBGCAM_VK_TOGGLE)) {
        c->enable = !c->enable;
        if (c->enable) take_current_view(c);
    }
    if (!c->enable) return;
    choose_steps(c);
    c->pos.y += axis(DBGCAM_VK_UP, DBGCAM_VK_DOWN) * c->move_step;
    c->angles.y =
        dbgcam_wrap_angle(c->angles.y + axis(DBGCAM_VK_RIGHT, DBGCAM_VK_LEFT) * c->turn_step);
    c->angles.x = dbgcam_wrap_angle(c->angles.x + axis('Z', 'C') * c->turn_step);
    move_in_view(c);
    cam_set_mode(0, 0);
    cam_set_pos_rot(0, &c->pos, &c->angles);
}
