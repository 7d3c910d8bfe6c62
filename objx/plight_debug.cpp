// The point lights' debug view: F9 toggles it, and each active light gets a one-frame disc on a
// 3D primitive list (see plight_debug.h).
#include "objx/plight_debug.h"

#include <cstring>

#include "svc/key.h"
#include "disp/cam.h"
#include "disp/plight.h"
#include "math/vm_color.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "obj3d/plist3d.h"

namespace {

constexpr int LIGHT_DEBUG_VK_F9 = 0x78;
constexpr int LIGHT_DEBUG_DISC_POINTS = 7;

struct Disc {
    Vec3 centre;
    float range;
};

void disc_draw(DrawObj* obj, uint32_t)
{
    Disc d;
    std::memcpy(&d, obj3d_user_area(obj), sizeof d);
    const Mat44* view = cam_get_view_mtx(0);
    Vec3 p[LIGHT_DEBUG_DISC_POINTS];
    for (int i = 0; i < LIGHT_DEBUG_DISC_POINTS; ++i) {
        const float a = float(i) / float(LIGHT_DEBUG_DISC_POINTS) * VM_TWO_PI;
        const Vec3 local = {vm_math_cos(a) * d.range, vm_math_sin(a) * d.range, 0.0f};
        Vec3 turned = local;
        if (view) vm_mat_transform_vector(&turned, view, &local);
        vm_vec3_add(&p[i], &turned, &d.centre);
    }
    plist3d_begin(obj, PLIST3D_TRIANGLES, 0);
    for (int k = 1; k <= LIGHT_DEBUG_DISC_POINTS - 2; ++k) {
        plist3d_vertex(obj, &p[0]);
        plist3d_vertex(obj, &p[k]);
        plist3d_vertex(obj, &p[k + 1]);
    }
    plist3d_end(obj);
}

void light_disc(const PointLight* l)
{
    const uint32_t colour =
        (l->flags & PLIGHT_SHOWN) ? color_set_alpha(l->color, 0x80) : 0x60FF0000u;
    DrawObj* obj = plist3d_create_debug_1f(l->owner, colour, 0);
    if (!obj) return;
    plist3d_set_blend(obj, 2);
    plist3d_set_texture(obj, res_tex_white());
    const Disc d = {l->pos, l->range};
    std::memcpy(obj3d_user_area(obj), &d, sizeof d);
    plist3d_set_draw_cb(obj, disc_draw, 0);
}

}  // namespace

void plight_debug_draw()
{
    if (key_is_pressed(LIGHT_DEBUG_VK_F9)) plight_set_debug(!plight_debug_enabled());
    if (!plight_debug_enabled()) return;
    for (const PointLight* l = plight_first_active(); l; l = l->next) light_disc(l);
}
