// The 3D scene the obj3d tests and benchmark draw in: the display device on
// a hidden window with the resource manager, the draw-object manager, the
// point lights and the 3D object types, screen 0 a perspective camera at the
// origin looking along +z; and meshes of quads made in memory.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_env.h"
#include "disp/disp_fade.h"
#include "app/app_wire_local.h"
#include "disp/fog.h"
#include "disp/plight.h"
#include "disp/shader.h"
#include "math/vm_mat.h"
#include "disp/obj.h"
#include "obj3d/mdlobj.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_draw.h"
#include "plat/gfx.h"
#include "res/res.h"

namespace o3t {

inline void no_sleep(int) {}

// One quad (two triangles) of a mesh, wound clockwise as seen from the side
// its normal points to.
struct Quad {
    Vec3 centre, normal, up;
    float half;
    uint32_t color;  // used when the mesh has colours
};

inline Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A mesh of quads with normals (and vertex colours when `colors`).
// `tex_slots` texture slots per subset, left empty (an override texture
// fills slot 0).
inline ResHandle make_mesh(const char* name, const std::vector<Quad>& quads, bool colors,
                           uint32_t flags = 0, uint32_t tex_slots = 0)
{
    MeshSource src{};
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f}, ro = 0, r2 = 0;
    for (const Quad& q : quads) {
        const Vec3 u = cross(q.up, {-q.normal.x, -q.normal.y, -q.normal.z});
        const float su[4] = {-1, -1, 1, 1}, sv[4] = {-1, 1, 1, -1};
        const uint32_t base = uint32_t(src.positions.size() / 3);
        for (int k = 0; k < 4; ++k) {
            const float p[3] = {q.centre.x + q.half * (su[k] * u.x + sv[k] * q.up.x),
                                q.centre.y + q.half * (su[k] * u.y + sv[k] * q.up.y),
                                q.centre.z + q.half * (su[k] * u.z + sv[k] * q.up.z)};
            src.positions.insert(src.positions.end(), p, p + 3);
            src.normals.insert(src.normals.end(), {q.normal.x, q.normal.y, q.normal.z});
            if (colors) src.colors.push_back(q.color);
            for (int i = 0; i < 3; ++i)
                lo[i] = std::min(lo[i], p[i]), hi[i] = std::max(hi[i], p[i]);
            ro = std::max(ro, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
        }
        for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) src.indices.push_back(base + i);
    }
    src.vertex_count = uint32_t(src.positions.size() / 3);
    src.index_count = uint32_t(src.indices.size());
    src.index_bits = 16;
    MeshSubsetSrc s = {};
    s.last = uint32_t(quads.size() * 2 - 1);
    s.slot_count = tex_slots;
    src.subsets.push_back(s);
    for (int i = 0; i < 3; ++i) {
        src.sphere[i] = (lo[i] + hi[i]) / 2;
        r2 += (hi[i] - src.sphere[i]) * (hi[i] - src.sphere[i]);
        src.box_min[i] = lo[i], src.box_max[i] = hi[i];
    }
    src.sphere[3] = std::sqrt(r2), src.sphere[4] = ro, src.sphere[5] = ro * ro;
    return res_mesh_register("test", name, src, flags);
}

// A cube of half size h about c.
inline ResHandle make_cube(const char* name, float h, uint32_t color = 0xFFFFFFFF,
                           bool colors = false, uint32_t tex_slots = 0, Vec3 c = {0, 0, 0})
{
    const Vec3 Y = {0, 1, 0}, Z = {0, 0, 1};
    return make_mesh(name,
                     {{{c.x, c.y, c.z - h}, {0, 0, -1}, Y, h, color},
                      {{c.x, c.y, c.z + h}, {0, 0, 1}, Y, h, color},
                      {{c.x - h, c.y, c.z}, {-1, 0, 0}, Y, h, color},
                      {{c.x + h, c.y, c.z}, {1, 0, 0}, Y, h, color},
                      {{c.x, c.y + h, c.z}, {0, 1, 0}, Z, h, color},
                      {{c.x, c.y - h, c.z}, {0, -1, 0}, Z, h, color}},
                     colors, 0, tex_slots);
}

inline Mat44 at(float x, float y, float z)
{
    Mat44 m;
    const Vec3 t = {x, y, z};
    return *vm_mat_translation(&m, &t);
}

// Boots everything on a new hidden window of w x h; null on failure.
inline void* scene_boot(int w, int h)
{
    void* window = gfx_test_window_create(w, h);
    if (!window) return nullptr;
    app_wire_install();
    DispLinks links = disp_links();
    if (!links.mesh_setup) links.mesh_setup = shader_setup_mesh;
    links.sleep_ms = no_sleep;
    disp_set_links(links);
    D3d9BootDesc desc;
    desc.window = window;
    desc.width = w;
    desc.height = h;
    desc.settings.vsync = 0;
    if (!d3d9_boot(&desc)) {
        app_wire_remove();
        gfx_test_window_destroy(window);
        return nullptr;
    }
    res_boot();
    obj_module_init();
    plight_pool_reset();
    obj3d_type_register();
    scene_set_defaults();
    cam_set_enable(0, 1);
    cam_set_enable(1, 0);
    cam_set_mode(0, CAM_MODE_POS_ANGLES);
    const Vec3 zero = {0, 0, 0};
    cam_set_pos_rot(0, &zero, &zero);
    cam_set_viewport(0, 0, 0, w, h);
    cam_set_near_far(0, 0.1f, 1000.0f, 1000.0f);
    cam_set_fov(0, 1.2217306f);
    fog_set_enable(0, 0);
    env_set_light_enable(0, 1);
    return window;
}

inline void scene_shutdown(void* window)
{
    obj_module_term();
    res_shutdown();
    d3d9_shutdown();
    app_wire_remove();
    gfx_test_window_destroy(window);
}

}  // namespace o3t
