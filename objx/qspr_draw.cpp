// The batched draw of the sprite objects (see qspr.h): cull a run against
// the view, sort it far to near, build one world-space quad per object and
// send the quads in as few indexed draws as the state changes allow.
#include <cmath>

#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_env.h"
#include "disp/rstate.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "math/vm_color.h"
#include "math/vm_mat.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"
#include "obj2d/obj2d.h"
#include "objx/qspr.h"
#include "objx/qspr_local.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_draw.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_stage.h"

// The 44-byte vertex (FVF 0x252): position, the normal slot carrying the
// shader values and the size term, colour, two coordinate sets.
struct QsprVertex {
    Vec3 pos;
    float value_a, value_b, size;
    uint32_t colour;
    float u1, v1, u2, v2;
};
static_assert(sizeof(QsprVertex) == 44);
static_assert(TEX_SCRATCH_B_BYTES >= sizeof(QsprVertex) * 4 * QSPR_BATCH_QUADS);

RenderStateKey rs_key_pack(int lighting, int zwrite, int fog, int blend, int cull, int alpha_ref,
                           int zfunc, int fill, int filter)
{
    return rstate_key_make(lighting, zwrite, fog, blend, cull, alpha_ref, zfunc, fill, filter);
}

void qspr_apply_state(RenderStateKey key, int pass_id, int shader_set, const void* params)
{
    RstateMeshArgs a = {};
    a.pass_id = pass_id;
    a.shader_set = shader_set;
    a.params = params;
    a.decl = disp_fvf_to_lvf(QSPR_FVF);
    disp_set_rstate_block(key, &a);
    disp_set_lvf_decl(a.decl);
}

void qspr_unbind_stages(int first)
{
    for (int s = first; s < TEX_STAGES; ++s) tex_set_stage(s, nullptr, 1);
}

namespace {

// A lit corner's normal is the unit diagonal (+-1, +-1, 1) / sqrt(3) before
// the roll: each component is 1 / sqrt(3).
constexpr float QSPR_INV_SQRT3 = 0.57735026f;

// What one call reads once.
struct QsprView {
    const Mat44* vp;
    const Mat44* view;  // camera to world: rows 0 and 1 are the screen axes, row 3 the eye
    const FrustumPlanes* planes;
    Vec3 eye, light;
    Vec3 right, up;  // rows 0 and 1 of the view
};

constexpr uint32_t field_mask(int shift, int bits) { return ((1u << bits) - 1u) << shift; }

RenderStateKey with_blend_z(RenderStateKey key, int blend, int z)
{
    key &= ~(field_mask(DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS) |
             field_mask(DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS));
    return key |
           ((uint32_t(blend) << DISP_RS_BLEND_SHIFT) &
            field_mask(DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS)) |
           ((uint32_t(z) << DISP_RS_Z_FUNC_SHIFT) &
            field_mask(DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS));
}
int key_blend(RenderStateKey key)
{
    return int(disp_rstate_field(key, DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS));
}
int key_zfunc(RenderStateKey key)
{
    return int(disp_rstate_field(key, DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS));
}

Vec3 row(const Mat44* m, int r) { return {m->m[4 * r], m->m[4 * r + 1], m->m[4 * r + 2]}; }

bool visible(const FrustumPlanes* planes, const Vec3& c, float radius)
{
    for (const Plane& p : planes->p)
        if (p.a * c.x + p.b * c.y + p.c * c.z + p.d < -radius) return false;
    return true;
}

// Culling centre, radius and depth bias of an object by kind.
float bounds(QsprWork* w, Vec3* centre, float* bias)
{
    *bias = 0;
    switch (w->kind) {
    case QSPR_BILLBOARD: {
        const QsprBillboard& b = w->bb;
        *centre = b.centre;
        *bias = b.view_off_sq;
        return 0.5f * std::fmax(b.w * b.scale_x, b.h * b.scale_y);
    }
    case QSPR_BEAM: {
        const QsprBeam& b = w->beam;
        vm_vec3_lerp(centre, &b.end[0], &b.end[1], 0.5f);
        return 0.5f * vm_vec3_dist_cut(&b.end[0], &b.end[1]) + b.width;
    }
    default: {
        QsprCorners& q = w->quad;
        Vec3 c = {0, 0, 0};
        for (const Vec3& p : q.corner) vm_vec3_madd(&c, &c, &p, 0.25f);
        float r = 0;
        for (const Vec3& p : q.corner) r = std::fmax(r, vm_vec3_dist_cut(&c, &p));
        q.radius = r;
        if (q.use_mat) {
            // The centre goes through the same placement as the corners.
            Mat44 m;
            qspr_quad_matrix(&m, &q);
            vm_mat_transform_point(&c, &m, &c);
            r *= std::fmax(std::fabs(q.scale.x),
                           std::fmax(std::fabs(q.scale.y), std::fabs(q.scale.z)));
        }
        *centre = c;
        return r;
    }
    }
}

void billboard_quad(const QsprView& v, const QsprWork* w, QsprVertex* out)
{
    const QsprBillboard& b = w->bb;
    Vec3 c = b.centre;
    if (std::fabs(b.view_off) > 0.00001f) {
        Vec3 d;
        vm_vec3_sub(&d, &c, &v.eye);
        vm_vec3_normalize(&d, &d);
        vm_vec3_madd(&c, &c, &d, b.view_off);
    }
    const float sw = b.w * b.scale_x, sh = b.h * b.scale_y;
    const float L = sw * b.pivot_x, R = (1 - b.pivot_x) * sw, D = sh * b.pivot_y,
                U = (1 - b.pivot_y) * sh;
    Vec2 off[4] = {{-L, -D}, {R, -D}, {-L, U}, {R, U}};
    const bool rolled = std::fabs(b.roll) > 0.00001f;
    const float sn = vm_math_sin(b.roll), cs = vm_math_cos(b.roll);
    if (rolled)
        for (Vec2& o : off) o = {o.x * cs + o.y * sn, -o.x * sn + o.y * cs};
    // x * row 0 + y * row 1, written out: this runs for every billboard.
    Vec3 world[4];
    for (int k = 0; k < 4; ++k)
        world[k] = {off[k].x * v.right.x + off[k].y * v.up.x + c.x,
                    off[k].x * v.right.y + off[k].y * v.up.y + c.y,
                    off[k].x * v.right.z + off[k].y * v.up.z + c.z};
    const float u[4] = {b.uv1[0], b.uv1[2], b.uv1[0], b.uv1[2]};
    const float vv[4] = {b.uv1[3], b.uv1[3], b.uv1[1], b.uv1[1]};
    const float u2[4] = {b.uv2[0], b.uv2[2], b.uv2[0], b.uv2[2]};
    const float v2[4] = {b.uv2[3], b.uv2[3], b.uv2[1], b.uv2[1]};
    const float signs[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
    const float size = 0.6f * (sw + sh / 2);
    for (int k = 0; k < 4; ++k) {
        uint32_t colour = b.colour;
        if (b.lighting) {
            const float s = b.roll == 0.0f ? 0 : QSPR_INV_SQRT3 * sn,
                        c2 = b.roll == 0.0f ? QSPR_INV_SQRT3 : QSPR_INV_SQRT3 * cs;
            const float x = signs[k][0], y = signs[k][1];
            const Vec3 n = {x * c2 + y * s, -x * s + y * c2, QSPR_INV_SQRT3};
            Vec3 wn;
            vm_mat_transform_vector(&wn, v.view, &n);
            const float t = std::fmax(0.25f, vm_vec3_dot(&v.light, &wn));
            colour = color_set_alpha(color_lerp(colour, 0, t), color_a(colour));
        }
        out[k].pos = world[k];
        out[k].size = size;
        out[k].colour = colour;
        out[k].u1 = u[k], out[k].v1 = vv[k], out[k].u2 = u2[k], out[k].v2 = v2[k];
    }
}

void beam_quad(const QsprView& v, const QsprWork* w, QsprVertex* out)
{
    const QsprBeam& b = w->beam;
    Vec3 p0, p1;
    vm_mat_transform_point(&p0, v.vp, &b.end[0]);
    vm_mat_transform_point(&p1, v.vp, &b.end[1]);
    Vec3 world[4];
    qspr_beam_corners(world, &b, v.view, p1.x - p0.x, p1.y - p0.y, 0.0f);
    for (int k = 0; k < 4; ++k) {
        out[k].pos = world[k];
        out[k].size = 0.3f * b.width;
        out[k].colour = b.colour[k & 1];
        out[k].u1 = b.uv1[2 * k], out[k].v1 = b.uv1[2 * k + 1];
        out[k].u2 = b.uv2[2 * k], out[k].v2 = b.uv2[2 * k + 1];
    }
}

void corner_quad(const QsprWork* w, QsprVertex* out)
{
    const QsprCorners& q = w->quad;
    Vec3 p[4] = {q.corner[0], q.corner[1], q.corner[2], q.corner[3]};
    if (q.use_mat) {
        Mat44 m;
        qspr_quad_matrix(&m, &q);
        vm_mat_transform_points4(p, &m, q.corner);
    }
    for (int k = 0; k < 4; ++k) {
        out[k].pos = p[k];
        out[k].size = 0.6f * q.radius;
        out[k].colour = q.colour[k];
        out[k].u1 = q.uv1[2 * k], out[k].v1 = q.uv1[2 * k + 1];
        out[k].u2 = q.uv2[2 * k], out[k].v2 = q.uv2[2 * k + 1];
    }
}

void append_quad(const QsprView& v, const QsprWork* w, QsprVertex* out)
{
    if (w->kind == QSPR_BILLBOARD)
        billboard_quad(v, w, out);
    else if (w->kind == QSPR_BEAM)
        beam_quad(v, w, out);
    else
        corner_quad(w, out);
    for (int k = 0; k < 4; ++k) out[k].value_a = w->value_a, out[k].value_b = w->value_b;
}

int flush(int quads)
{
    if (quads <= 0) return 0;
    gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(quads) * 4, uint32_t(quads) * 2,
                                  tex_get_manager(), GFX_FMT_INDEX16, tex_get_vertex_scratch_b(),
                                  sizeof(QsprVertex));
    return 1;
}

int gather(const QsprView& v, DrawObj** run, int count, bool pass_b)
{
    DrawObj** sorted = obj3d_sort_array_fill();
    int n = 0;
    for (int i = 0; i < count && n < OBJ3D_SORT_CAP; ++i) {
        QsprWork* w = obj_work<QsprWork>(run[i]);
        if (pass_b && !w->pass_b) continue;
        Vec3 c;
        float bias;
        const float radius = bounds(w, &c, &bias);
        if (!visible(v.planes, c, radius)) continue;
        run[i]->depth = vm_vec3_dist_sq(&c, &v.eye) + bias;
        sorted[n++] = run[i];
    }
    sort_by_key_desc(sorted, n);
    obj3d_sort_set_count(n);
    return n;
}

}  // namespace

void qspr_draw_all(DrawObj** run, int count)
{
    const int screen = cam_get_cur_screen();
    QsprView v;
    qspr_camera(screen, &v.vp, &v.view);
    v.planes = cam_get_frustum(screen);
    v.eye = row(v.view, 3);
    v.right = row(v.view, 0);
    v.up = row(v.view, 1);
    const EnvValues* env = env_get_block(screen);
    v.light = env ? env->light_dir : Vec3{0, -1, 0};
    vm_vec3_normalize(&v.light, &v.light);

    const int alpha_ovr = obj3d_get_alpha_ref_ovr();
    const bool forced = obj3d_get_w12() == 1, separate = obj3d_get_w17() == 1;
    const bool pass_b = obj3d_get_pass_b() == 1;
    const int pass_id = obj3d_get_pass_id();
    if (separate) disp_set_alpha_blend_sep(1, obj3d_get_w18());

    gfx_set_transform(GFX_TS_WORLD, VM_MAT_IDENTITY.m);
    gfx_stage_ops(0, GFX_TOP_MODULATE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    gfx_set_sampler_state(0, GFX_SAMP_MAGFILTER, GFX_TEXF_LINEAR);
    gfx_set_sampler_state(0, GFX_SAMP_MINFILTER, GFX_TEXF_LINEAR);
    gfx_stage_ops(1, GFX_TOP_MODULATE, GFX_TA_CURRENT, GFX_TA_TEXTURE);
    tex_set_stage(0, nullptr, 1);
    const bool ovr = alpha_ovr != -1;
    RenderStateKey key =
        rs_key_pack(0, ovr ? 1 : 0, 0, 1, 2, ovr ? alpha_ovr : 5, ovr ? 1 : 3, 0, 1);
    disp_rstate_cache_reset();
    qspr_apply_state(key, pass_id, 0, nullptr);

    const int n = gather(v, run, count, pass_b);
    DrawObj* const* sorted = obj3d_sort_array();
    QsprVertex* verts = reinterpret_cast<QsprVertex*>(tex_get_vertex_scratch_b());
    uint32_t shader = 0;
    int64_t tex1 = -1, tex2 = 0;
    int quads = 0, calls = 0;
    for (int i = 0; i < n; ++i) {
        QsprWork* w = obj_work<QsprWork>(sorted[i]);
        const int blend = forced ? 7 : w->blend;
        if (blend != key_blend(key) || w->zmode != key_zfunc(key) || w->shader != shader ||
            int64_t(w->tex1) != tex1 || int64_t(w->tex2) != tex2 || quads == QSPR_BATCH_QUADS) {
            calls += flush(quads);
            quads = 0;
            key = with_blend_z(key, blend, w->zmode);
            shader = w->shader;
            qspr_apply_state(key, pass_id, int(shader), w->params);
            if (int64_t(w->tex1) != tex1) tex_set_stage(0, obj2d_tex_record(w->tex1), 1);
            if (int64_t(w->tex2) != tex2) tex_set_stage(1, obj2d_tex_record(w->tex2), 1);
            tex1 = w->tex1, tex2 = w->tex2;
        }
        append_quad(v, w, verts + 4 * quads);
        ++quads;
    }
    calls += flush(quads);
    qspr_count_drawn(n, calls);
    qspr_unbind_stages(0);
    // Switched off behind the render-state cache: the cache must forget.
    gfx_set_render_state(GFX_RS_ALPHATESTENABLE, 0);
    disp_rstate_cache_reset();
    if (separate) disp_set_alpha_blend_sep(0, 0);
}
