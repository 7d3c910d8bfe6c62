// Sprite objects: record, registration, creators, accessors and shape
// builders (see qspr.h; the batched draw is qspr_draw.cpp).
#include "objx/qspr.h"
#include "objx/qspr_local.h"

#include <cmath>
#include <cstring>

#include "disp/cam.h"
#include "disp/shader.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "obj3d/obj3d.h"

namespace {

struct QsprModule {
    int type;
    int drawn;
    int draw_calls;
};
QsprModule g_qspr;

QsprWork* W(DrawObj* o) { return obj_work<QsprWork>(o); }

constexpr float QSPR_UNIT_RECT[4] = {0, 0, 1, 1};
// Beam pairs: (umin, vmin), (umax, vmin), (umin, vmax), (umax, vmax).
constexpr int QSPR_BEAM_PAIRS[4][2] = {{0, 1}, {2, 1}, {0, 3}, {2, 3}};
// Corner pairs: corner 0 (umin, vmin), 1 (umin, vmax), 2 (umax, vmin), 3 (umax, vmax).
constexpr int QSPR_QUAD_PAIRS[4][2] = {{0, 1}, {0, 3}, {2, 1}, {2, 3}};

void rect_to_pairs(float out[8], const float r[4], const int order[4][2])
{
    for (int k = 0; k < 4; ++k) out[2 * k] = r[order[k][0]], out[2 * k + 1] = r[order[k][1]];
}

// The crop's texture and rectangle; texture 0 and the unit square when the
// crop is not valid.
ResHandle crop_rect(ResHandle crop, float r[4])
{
    const ResCrop* c = crop ? res_crop_get(crop) : nullptr;
    if (!c) {
        std::memcpy(r, QSPR_UNIT_RECT, sizeof QSPR_UNIT_RECT);
        return 0;
    }
    r[0] = c->u, r[1] = c->v, r[2] = c->u + c->w, r[3] = c->v + c->h;
    return c->tex;
}

// Writes a crop into texture slot 1 or 2 in the kind's layout.
QsprWork* set_crop(DrawObj* o, int slot, ResHandle crop)
{
    QsprWork* w = W(o);
    float r[4];
    const ResHandle tex = crop_rect(crop, r);
    (slot == 1 ? w->tex1 : w->tex2) = tex;
    switch (w->kind) {
    case QSPR_BILLBOARD: std::memcpy(slot == 1 ? w->bb.uv1 : w->bb.uv2, r, sizeof r); break;
    case QSPR_BEAM: rect_to_pairs(slot == 1 ? w->beam.uv1 : w->beam.uv2, r, QSPR_BEAM_PAIRS); break;
    default: rect_to_pairs(slot == 1 ? w->quad.uv1 : w->quad.uv2, r, QSPR_QUAD_PAIRS); break;
    }
    return w;
}

void beam_init(QsprWork* w)
{
    std::memset(static_cast<void*>(&w->quad), 0, sizeof w->quad);
    w->kind = QSPR_BEAM;
    w->beam.width = 1.0f;
    rect_to_pairs(w->beam.uv1, QSPR_UNIT_RECT, QSPR_BEAM_PAIRS);
    rect_to_pairs(w->beam.uv2, QSPR_UNIT_RECT, QSPR_BEAM_PAIRS);
    w->beam.colour[0] = w->beam.colour[1] = 0xFFFFFFFFu;
    w->tex1 = w->tex2 = 0;
}

void corners_init(QsprWork* w)
{
    std::memset(static_cast<void*>(&w->quad), 0, sizeof w->quad);
    w->kind = QSPR_CORNERS;
    rect_to_pairs(w->quad.uv1, QSPR_UNIT_RECT, QSPR_QUAD_PAIRS);
    rect_to_pairs(w->quad.uv2, QSPR_UNIT_RECT, QSPR_QUAD_PAIRS);
    for (uint32_t& c : w->quad.colour) c = 0xFFFFFFFFu;
    w->quad.scale = {1, 1, 1};
    w->tex1 = w->tex2 = 0;
}

DrawObj* create(ResGroupId group, void (*kind_init)(QsprWork*))
{
    DrawObj* o = obj_alloc(group);
    if (!o) return nullptr;
    obj_set_type(o, g_qspr.type);
    if (kind_init) kind_init(W(o));
    return o;
}

DrawObj* finish(DrawObj* o, ResHandle crop, int blend, bool one_frame)
{
    set_crop(o, 1, crop);
    W(o)->blend = uint8_t(blend);
    obj_set_visible(o, 1);
    if (one_frame) obj_kill(o);
    return o;
}

bool index_ok(int n) { return n >= 0 && n < 4; }

// The corners of a builder into the record in the order flag's layout:
// points 0, 1, 2, 3 with the flag, else 0, 2, 1, 3.
QsprWork* put_corners(DrawObj* o, const Vec3 p[4], int order)
{
    QsprWork* w = W(o);
    const int map[4] = {0, order ? 1 : 2, order ? 2 : 1, 3};
    for (int k = 0; k < 4; ++k) w->quad.corner[map[k]] = p[k];
    return w;
}

Vec3 ribbon_dir(const Vec3* a, const Vec3* b)
{
    Vec3 d;
    vm_vec3_sub(&d, b, a);
    return *vm_vec3_normalize(&d, &d);
}

Vec3 add3(Vec3 a, Vec3 b, float s) { return {a.x + b.x * s, a.y + b.y * s, a.z + b.z * s}; }

}  // namespace

// --- registration and frame ----------------------------------------------------------------

int qspr_type_register()
{
    g_qspr = QsprModule{};
    g_qspr.type = obj_register_type(qspr_draw_all, qspr_init, nullptr, nullptr, 292);
    return g_qspr.type;
}

void qspr_type_unregister() {}

void qspr_init(DrawObj* obj)
{
    QsprWork* w = W(obj);
    std::memset(static_cast<void*>(w), 0, sizeof *w);
    w->blend = 1;
    w->zmode = 3;
    w->value_a = 1.0f;
    w->bb.w = w->bb.h = 1.0f;
    std::memcpy(w->bb.uv1, QSPR_UNIT_RECT, sizeof QSPR_UNIT_RECT);
    w->bb.pivot_x = w->bb.pivot_y = 0.5f;
    w->bb.scale_x = w->bb.scale_y = 1.0f;
    w->bb.colour = 0xFFFFFFFFu;
    obj_set_priority(obj, QSPR_PRIO);
}

void qspr_frame_reset() { g_qspr.drawn = g_qspr.draw_calls = 0; }
int qspr_get_drawn_count() { return g_qspr.drawn; }
int qspr_get_draw_calls() { return g_qspr.draw_calls; }
int qspr_type() { return g_qspr.type; }

void qspr_count_drawn(int objects, int calls)
{
    g_qspr.drawn += objects;
    g_qspr.draw_calls += calls;
}

void qspr_camera(int screen, const Mat44** viewproj, const Mat44** view)
{
    const bool b = obj3d_get_pass_b() == 1;
    *viewproj = b ? cam_get_sub2_viewproj_mtx(screen) : cam_get_viewproj_mtx(screen);
    *view = b ? cam_get_sub2_view_mtx(screen) : cam_get_view_mtx(screen);
}

Mat44* qspr_quad_matrix(Mat44* out, const QsprCorners* q)
{
    vm_mat_from_pos_angles(out, &q->pos, &q->rot);
    if (q->scale.x != 1.0f || q->scale.y != 1.0f || q->scale.z != 1.0f)
        vm_mat_scale(out, out, &q->scale);
    return out;
}

// --- creators --------------------------------------------------------------------------------

DrawObj* qspr_bb_create(ResGroupId g, const Vec3* centre, float roll, float size, ResHandle crop,
                        uint32_t colour, int blend)
{
    DrawObj* o = create(g, nullptr);
    if (!o) return nullptr;
    QsprWork* w = W(o);
    if (centre) w->bb.centre = *centre;
    w->bb.roll = roll;
    w->bb.w = w->bb.h = size;
    w->bb.colour = colour;
    return finish(o, crop, blend, false);
}

DrawObj* qspr_bb_create_1f(ResGroupId g, const Vec3* centre, float roll, float size, ResHandle crop,
                           uint32_t colour, int blend, float view_offset)
{
    DrawObj* o = qspr_bb_create(g, centre, roll, size, crop, colour, blend);
    if (!o) return nullptr;
    qspr_bb_set_view_offset(o, view_offset);
    obj_kill(o);
    return o;
}

DrawObj* qspr_beam_create(ResGroupId g, const Vec3* end0, const Vec3* end1, float size,
                          uint32_t colour0, uint32_t colour1, ResHandle crop, int blend)
{
    DrawObj* o = create(g, beam_init);
    if (!o) return nullptr;
    QsprWork* w = W(o);
    if (end0) w->beam.end[0] = *end0;
    if (end1) w->beam.end[1] = *end1;
    w->beam.width = w->beam.ext = size;
    w->beam.colour[0] = colour0;
    w->beam.colour[1] = colour1;
    return finish(o, crop, blend, false);
}

DrawObj* qspr_beam_create_1f(ResGroupId g, const Vec3* end0, const Vec3* end1, float size,
                             uint32_t colour0, uint32_t colour1, ResHandle crop, int blend)
{
    DrawObj* o = qspr_beam_create(g, end0, end1, size, colour0, colour1, crop, blend);
    obj_kill(o);
    return o;
}

DrawObj* qspr_quad_create_full(ResGroupId g, const Vec3* c0, const Vec3* c1, const Vec3* c2,
                               const Vec3* c3, uint32_t col0, uint32_t col1, uint32_t col2,
                               uint32_t col3, ResHandle crop, int blend)
{
    DrawObj* o = create(g, corners_init);
    if (!o) return nullptr;
    const Vec3* c[4] = {c0, c1, c2, c3};
    for (int k = 0; k < 4; ++k) qspr_quad_set_corner(o, k, c[k]);
    qspr_quad_set_colour(o, col0, col1, col2, col3);
    return finish(o, crop, blend, false);
}

DrawObj* qspr_quad_create_arr(ResGroupId g, const float* corners12, ResHandle crop, int blend)
{
    DrawObj* o = create(g, corners_init);
    if (!o) return nullptr;
    for (int k = 0; corners12 && k < 4; ++k)
        qspr_quad_set_corner_xyz(o, k, corners12[3 * k], corners12[3 * k + 1],
                                 corners12[3 * k + 2]);
    return finish(o, crop, blend, false);
}

DrawObj* qspr_quad_create(ResGroupId g, ResHandle crop, int blend)
{
    DrawObj* o = create(g, corners_init);
    return o ? finish(o, crop, blend, false) : nullptr;
}

// --- accessors every kind has ------------------------------------------------------------------

// Every use of a macro in this file that pastes names has them written out
// beside it, so that a search finds the definition here as well as the
// declaration in qspr.h.
#define QSPR_PARAM_SETTER(P, SUFFIX, T, BYTES)                                                     \
    int P##_set_param_##SUFFIX(DrawObj* o, const char* name, const T* v, int n)                    \
    {                                                                                              \
        QsprWork* w = W(o);                                                                        \
        if (!v || n <= 0) return 0;                                                                \
        return shader_set_param(w->params, int(w->shader), name, v, (BYTES)*n);                    \
    }

#define QSPR_COMMON_DEFS(P)                                                                        \
    QsprWork* P##_set_pass_b(DrawObj* o, int f) { return W(o)->pass_b = uint8_t(f), W(o); }        \
    QsprWork* P##_set_blend(DrawObj* o, int b) { return W(o)->blend = uint8_t(b), W(o); }          \
    QsprWork* P##_set_zmode(DrawObj* o, int z) { return W(o)->zmode = uint8_t(z), W(o); }          \
    QsprWork* P##_set_shader(DrawObj* o, int s) { return W(o)->shader = uint32_t(s), W(o); }       \
    QSPR_PARAM_SETTER(P, int, int32_t, 4)                                                          \
    QSPR_PARAM_SETTER(P, float, float, 4)                                                          \
    QSPR_PARAM_SETTER(P, float2, float, 8)                                                         \
    QSPR_PARAM_SETTER(P, float3, float, 12)                                                        \
    QSPR_PARAM_SETTER(P, float4, float, 16)                                                        \
    QSPR_PARAM_SETTER(P, matrix, float, 64)                                                        \
    QsprWork* P##_set_tex1(DrawObj* o, ResHandle t) { return W(o)->tex1 = t, W(o); }               \
    QsprWork* P##_set_tex2(DrawObj* o, ResHandle t) { return W(o)->tex2 = t, W(o); }               \
    ResHandle P##_get_tex1(DrawObj* o) { return W(o)->tex1; }                                      \
    ResHandle P##_get_tex2(DrawObj* o) { return W(o)->tex2; }                                      \
    QsprWork* P##_set_value_a(DrawObj* o, float v) { return W(o)->value_a = v, W(o); }             \
    QsprWork* P##_set_value_b(DrawObj* o, float v) { return W(o)->value_b = vm_clamp01(v), W(o); } \
    QsprWork* P##_set_tex1_crop(DrawObj* o, ResHandle c) { return set_crop(o, 1, c); }             \
    QsprWork* P##_set_tex2_crop(DrawObj* o, ResHandle c) { return set_crop(o, 2, c); }
// qspr_bb_set_pass_b, qspr_bb_set_blend, qspr_bb_set_zmode, qspr_bb_set_shader,
// qspr_bb_set_param_int, qspr_bb_set_param_float, qspr_bb_set_param_float2,
// qspr_bb_set_param_float3, qspr_bb_set_param_float4, qspr_bb_set_param_matrix, qspr_bb_set_tex1,
// qspr_bb_set_tex2, qspr_bb_get_tex1, qspr_bb_get_tex2, qspr_bb_set_value_a, qspr_bb_set_value_b,
// qspr_bb_set_tex1_crop, qspr_bb_set_tex2_crop:
QSPR_COMMON_DEFS(qspr_bb)
// qspr_beam_set_pass_b, qspr_beam_set_blend, qspr_beam_set_zmode, qspr_beam_set_shader,
// qspr_beam_set_param_int, qspr_beam_set_param_float, qspr_beam_set_param_float2,
// qspr_beam_set_param_float3, qspr_beam_set_param_float4, qspr_beam_set_param_matrix,
// qspr_beam_set_tex1, qspr_beam_set_tex2, qspr_beam_get_tex1, qspr_beam_get_tex2,
// qspr_beam_set_value_a, qspr_beam_set_value_b, qspr_beam_set_tex1_crop, qspr_beam_set_tex2_crop:
QSPR_COMMON_DEFS(qspr_beam)
// qspr_quad_set_pass_b, qspr_quad_set_blend, qspr_quad_set_zmode, qspr_quad_set_shader,
// qspr_quad_set_param_int, qspr_quad_set_param_float, qspr_quad_set_param_float2,
// qspr_quad_set_param_float3, qspr_quad_set_param_float4, qspr_quad_set_param_matrix,
// qspr_quad_set_tex1, qspr_quad_set_tex2, qspr_quad_get_tex1, qspr_quad_get_tex2,
// qspr_quad_set_value_a, qspr_quad_set_value_b, qspr_quad_set_tex1_crop, qspr_quad_set_tex2_crop:
QSPR_COMMON_DEFS(qspr_quad)

// --- billboards ------------------------------------------------------------------------------

#define QSPR_FIELD(NAME, T, EXPR)                                                                  \
    T NAME(DrawObj* o) { return W(o)->EXPR; }
#define QSPR_SET2(NAME, A, B)                                                                      \
    QsprWork* NAME(DrawObj* o, float x, float y)                                                   \
    {                                                                                              \
        QsprWork* w = W(o);                                                                        \
        w->A = x, w->B = y;                                                                        \
        return w;                                                                                  \
    }

QsprWork* qspr_bb_set_pos_xyz(DrawObj* o, float x, float y, float z)
{
    W(o)->bb.centre = {x, y, z};
    return W(o);
}
QsprWork* qspr_bb_set_pos(DrawObj* o, const Vec3* c)
{
    if (c) W(o)->bb.centre = *c;
    return W(o);
}
Vec3* qspr_bb_pos(DrawObj* o) { return &W(o)->bb.centre; }
QSPR_SET2(qspr_bb_set_size, bb.w, bb.h)
QSPR_FIELD(qspr_bb_get_width, float, bb.w)
QSPR_FIELD(qspr_bb_get_height, float, bb.h)
QsprWork* qspr_bb_set_view_offset(DrawObj* o, float off)
{
    QsprWork* w = W(o);
    const float sign = off < 0 ? -1.0f : (off > 0 ? 1.0f : 0.0f);
    w->bb.view_off = off;
    w->bb.view_off_sq = off * off * sign;
    return w;
}
QSPR_FIELD(qspr_bb_get_view_offset, float, bb.view_off)
QSPR_SET2(qspr_bb_set_pivot, bb.pivot_x, bb.pivot_y)
QSPR_FIELD(qspr_bb_get_pivot_x, float, bb.pivot_x)
QSPR_FIELD(qspr_bb_get_pivot_y, float, bb.pivot_y)
QSPR_SET2(qspr_bb_set_scale, bb.scale_x, bb.scale_y)
QSPR_FIELD(qspr_bb_get_scale_x, float, bb.scale_x)
QSPR_FIELD(qspr_bb_get_scale_y, float, bb.scale_y)
QsprWork* qspr_bb_set_roll(DrawObj* o, float r) { return W(o)->bb.roll = r, W(o); }
QSPR_FIELD(qspr_bb_get_roll, float, bb.roll)
QsprWork* qspr_bb_set_colour(DrawObj* o, uint32_t c) { return W(o)->bb.colour = c, W(o); }
QSPR_FIELD(qspr_bb_get_colour, uint32_t, bb.colour)
QsprWork* qspr_bb_set_lighting(DrawObj* o, uint32_t f) { return W(o)->bb.lighting = f, W(o); }
QSPR_FIELD(qspr_bb_get_lighting, uint32_t, bb.lighting)

#define QSPR_BB_UV(SLOT)                                                                           \
    QsprWork* qspr_bb_set_##SLOT(DrawObj* o, float u0, float v0, float u1, float v1)               \
    {                                                                                              \
        float* r = W(o)->bb.SLOT;                                                                  \
        r[0] = u0, r[1] = v0, r[2] = u1, r[3] = v1;                                                \
        return W(o);                                                                               \
    }                                                                                              \
    QSPR_FIELD(qspr_bb_get_##SLOT##_umin, float, bb.SLOT[0])                                       \
    QSPR_FIELD(qspr_bb_get_##SLOT##_vmin, float, bb.SLOT[1])                                       \
    QSPR_FIELD(qspr_bb_get_##SLOT##_umax, float, bb.SLOT[2])                                       \
    QSPR_FIELD(qspr_bb_get_##SLOT##_vmax, float, bb.SLOT[3])
// qspr_bb_set_uv1, qspr_bb_get_uv1_umin, qspr_bb_get_uv1_vmin, qspr_bb_get_uv1_umax,
// qspr_bb_get_uv1_vmax:
QSPR_BB_UV(uv1)
// qspr_bb_set_uv2, qspr_bb_get_uv2_umin, qspr_bb_get_uv2_vmin, qspr_bb_get_uv2_umax,
// qspr_bb_get_uv2_vmax:
QSPR_BB_UV(uv2)

static QsprWork* bb_proj(DrawObj* o, float* rect, float uo, float vo, float scale, int fx, int fy)
{
    QsprWork* w = W(o);
    const QsprBillboard& b = w->bb;
    const Mat44 *vp, *view;
    qspr_camera(cam_get_cur_screen(), &vp, &view);
    const float sw = b.w * b.scale_x, sh = b.h * b.scale_y;
    const Vec3 off[2] = {{-sw * b.pivot_x, (1 - b.pivot_y) * sh, b.view_off},
                         {(1 - b.pivot_x) * sw, -sh * b.pivot_y, b.view_off}};
    Vec3 p[2];
    for (int k = 0; k < 2; ++k) {
        vm_mat_transform_vector(&p[k], view, &off[k]);
        vm_vec3_add(&p[k], &p[k], &b.centre);
        vm_mat_transform_vec4(&p[k], vp, &p[k]);
    }
    const float hx = (p[1].x - p[0].x) * scale * 0.5f, hy = (p[1].y - p[0].y) * scale * 0.5f;
    const float cx = (p[0].x + p[1].x) * 0.5f, cy = (p[0].y + p[1].y) * 0.5f;
    rect[0] = (cx + uo + (fx ? hx : -hx)) * 0.5f + 0.5f;
    rect[1] = (cy + vo + (fy ? hy : -hy)) * -0.5f + 0.5f;
    rect[2] = (cx + uo + (fx ? -hx : hx)) * 0.5f + 0.5f;
    rect[3] = (cy + vo + (fy ? -hy : hy)) * -0.5f + 0.5f;
    return w;
}
QsprWork* qspr_bb_set_tex1_proj(DrawObj* o, float uo, float vo, float s, int fx, int fy)
{
    return bb_proj(o, W(o)->bb.uv1, uo, vo, s, fx, fy);
}
QsprWork* qspr_bb_set_tex2_proj(DrawObj* o, float uo, float vo, float s, int fx, int fy)
{
    return bb_proj(o, W(o)->bb.uv2, uo, vo, s, fx, fy);
}

// --- beams ----------------------------------------------------------------------------------

#define QSPR_BEAM_END(N)                                                                           \
    QsprWork* qspr_beam_set_end##N##_xyz(DrawObj* o, float x, float y, float z)                    \
    {                                                                                              \
        W(o)->beam.end[N] = {x, y, z};                                                             \
        return W(o);                                                                               \
    }                                                                                              \
    QsprWork* qspr_beam_set_end##N(DrawObj* o, const Vec3* p)                                      \
    {                                                                                              \
        if (p) W(o)->beam.end[N] = *p;                                                             \
        return W(o);                                                                               \
    }                                                                                              \
    Vec3* qspr_beam_end##N(DrawObj* o) { return &W(o)->beam.end[N]; }                              \
    QsprWork* qspr_beam_set_colour##N(DrawObj* o, uint32_t c)                                      \
    {                                                                                              \
        return W(o)->beam.colour[N] = c, W(o);                                                     \
    }                                                                                              \
    QSPR_FIELD(qspr_beam_get_colour##N, uint32_t, beam.colour[N])
// qspr_beam_set_end0_xyz, qspr_beam_set_end0, qspr_beam_end0, qspr_beam_set_colour0,
// qspr_beam_get_colour0:
QSPR_BEAM_END(0)
// qspr_beam_set_end1_xyz, qspr_beam_set_end1, qspr_beam_end1, qspr_beam_set_colour1,
// qspr_beam_get_colour1:
QSPR_BEAM_END(1)

QsprWork* qspr_beam_set_width(DrawObj* o, float v) { return W(o)->beam.width = v, W(o); }
QSPR_FIELD(qspr_beam_get_width, float, beam.width)
QsprWork* qspr_beam_set_ext(DrawObj* o, float v) { return W(o)->beam.ext = v, W(o); }
QSPR_FIELD(qspr_beam_get_ext, float, beam.ext)
QSPR_SET2(qspr_beam_set_size, beam.width, beam.ext)
QsprWork* qspr_beam_set_colours(DrawObj* o, uint32_t c0, uint32_t c1)
{
    W(o)->beam.colour[0] = c0, W(o)->beam.colour[1] = c1;
    return W(o);
}
QsprWork* qspr_beam_set_mode(DrawObj* o, uint32_t m) { return W(o)->beam.mode = m, W(o); }

#define QSPR_BEAM_UV(SLOT)                                                                         \
    QsprWork* qspr_beam_set_##SLOT(DrawObj* o, float u0, float v0, float u1, float v1)             \
    {                                                                                              \
        const float r[4] = {u0, v0, u1, v1};                                                       \
        rect_to_pairs(W(o)->beam.SLOT, r, QSPR_BEAM_PAIRS);                                        \
        return W(o);                                                                               \
    }                                                                                              \
    void qspr_beam_get_##SLOT##_min(DrawObj* o, float* u, float* v)                                \
    {                                                                                              \
        if (u) *u = W(o)->beam.SLOT[0];                                                            \
        if (v) *v = W(o)->beam.SLOT[1];                                                            \
    }                                                                                              \
    void qspr_beam_get_##SLOT##_max(DrawObj* o, float* u, float* v)                                \
    {                                                                                              \
        if (u) *u = W(o)->beam.SLOT[6];                                                            \
        if (v) *v = W(o)->beam.SLOT[7];                                                            \
    }
// qspr_beam_set_uv1, qspr_beam_get_uv1_min, qspr_beam_get_uv1_max:
QSPR_BEAM_UV(uv1)
// qspr_beam_set_uv2, qspr_beam_get_uv2_min, qspr_beam_get_uv2_max:
QSPR_BEAM_UV(uv2)

void qspr_beam_corners(Vec3 out[4], const QsprBeam* b, const Mat44* view, float dx, float dy,
                       float min_len_sq)
{
    Vec2 d = {1, 0};
    const float len_sq = dx * dx + dy * dy;
    if (len_sq > min_len_sq) {
        const float inv = 1.0f / std::sqrt(len_sq);
        d = {dx * inv, dy * inv};
    }
    const Vec2 a = {d.x * b->ext / 4, d.y * b->ext / 4};
    const Vec2 s = {-d.y * b->width / 4, d.x * b->width / 4};
    const Vec2 offs[4] = {{s.x - a.x, s.y - a.y},
                          {s.x + a.x, s.y + a.y},
                          {-s.x - a.x, -s.y - a.y},
                          {-s.x + a.x, -s.y + a.y}};
    vm_mat_transform_vectors4_xy(out, view, offs);
    for (int k = 0; k < 4; ++k) vm_vec3_add(&out[k], &out[k], &b->end[k & 1]);
}

static QsprWork* beam_proj(DrawObj* o, float* pairs, float uo, float vo, float scale)
{
    QsprWork* w = W(o);
    const QsprBeam& b = w->beam;
    const Mat44 *vp, *view;
    qspr_camera(cam_get_cur_screen(), &vp, &view);
    Vec3 p0, p1;
    vm_mat_transform_vec4(&p0, vp, &b.end[0]);
    vm_mat_transform_vec4(&p1, vp, &b.end[1]);
    Vec3 c[4];
    qspr_beam_corners(c, &b, view, p1.x - p0.x, p1.y - p0.y, 0.00000001f);
    for (int k = 0; k < 4; ++k) {
        vm_mat_transform_vec4(&c[k], vp, &c[k]);
        pairs[2 * k] = c[k].x * 0.5f + 0.5f + uo;
        pairs[2 * k + 1] = -c[k].y * 0.5f + 0.5f + vo;
    }
    if (scale != 1.0f) {
        const float cu = (pairs[0] + pairs[6] + pairs[2] + pairs[4]) * 0.25f;
        const float cv = (pairs[1] + pairs[7] + pairs[3] + pairs[5]) * 0.25f;
        for (int k = 0; k < 4; ++k) {
            pairs[2 * k] = cu + (pairs[2 * k] - cu) * scale;
            pairs[2 * k + 1] = cv + (pairs[2 * k + 1] - cv) * scale;
        }
    }
    return w;
}
QsprWork* qspr_beam_set_tex1_proj(DrawObj* o, float uo, float vo, float s)
{
    return beam_proj(o, W(o)->beam.uv1, uo, vo, s);
}
QsprWork* qspr_beam_set_tex2_proj(DrawObj* o, float uo, float vo, float s)
{
    return beam_proj(o, W(o)->beam.uv2, uo, vo, s);
}

// --- corner quads -------------------------------------------------------------------------------

QsprWork* qspr_quad_set_corner_xyz(DrawObj* o, int n, float x, float y, float z)
{
    if (index_ok(n)) W(o)->quad.corner[n] = {x, y, z};
    return W(o);
}
QsprWork* qspr_quad_set_corner(DrawObj* o, int n, const Vec3* p)
{
    if (p && index_ok(n)) W(o)->quad.corner[n] = *p;
    return W(o);
}
Vec3* qspr_quad_corner(DrawObj* o, int n) { return index_ok(n) ? &W(o)->quad.corner[n] : nullptr; }
QsprWork* qspr_quad_set_colour_n(DrawObj* o, int n, uint32_t c)
{
    if (index_ok(n)) W(o)->quad.colour[n] = c;
    return W(o);
}
uint32_t qspr_quad_get_colour_n(DrawObj* o, int n)
{
    return index_ok(n) ? W(o)->quad.colour[n] : 0;
}
QsprWork* qspr_quad_set_uv1_n(DrawObj* o, int n, float u, float v)
{
    if (index_ok(n)) W(o)->quad.uv1[2 * n] = u, W(o)->quad.uv1[2 * n + 1] = v;
    return W(o);
}
QsprWork* qspr_quad_set_uv2_n(DrawObj* o, int n, float u, float v)
{
    if (index_ok(n)) W(o)->quad.uv2[2 * n] = u, W(o)->quad.uv2[2 * n + 1] = v;
    return W(o);
}
float* qspr_quad_uv1_n(DrawObj* o, int n) { return index_ok(n) ? &W(o)->quad.uv1[2 * n] : nullptr; }
float* qspr_quad_uv2_n(DrawObj* o, int n) { return index_ok(n) ? &W(o)->quad.uv2[2 * n] : nullptr; }

#define QSPR_QUAD_DEFS(N)                                                                          \
    QsprWork* qspr_quad_set_corner##N##_xyz(DrawObj* o, float x, float y, float z)                 \
    {                                                                                              \
        return qspr_quad_set_corner_xyz(o, N, x, y, z);                                            \
    }                                                                                              \
    QsprWork* qspr_quad_set_corner##N(DrawObj* o, const Vec3* p)                                   \
    {                                                                                              \
        return qspr_quad_set_corner(o, N, p);                                                      \
    }                                                                                              \
    Vec3* qspr_quad_corner##N(DrawObj* o) { return qspr_quad_corner(o, N); }                       \
    QsprWork* qspr_quad_set_colour##N(DrawObj* o, uint32_t c)                                      \
    {                                                                                              \
        return qspr_quad_set_colour_n(o, N, c);                                                    \
    }                                                                                              \
    uint32_t qspr_quad_get_colour##N(DrawObj* o) { return qspr_quad_get_colour_n(o, N); }          \
    QsprWork* qspr_quad_set_uv1_##N(DrawObj* o, float u, float v)                                  \
    {                                                                                              \
        return qspr_quad_set_uv1_n(o, N, u, v);                                                    \
    }                                                                                              \
    QsprWork* qspr_quad_set_uv2_##N(DrawObj* o, float u, float v)                                  \
    {                                                                                              \
        return qspr_quad_set_uv2_n(o, N, u, v);                                                    \
    }                                                                                              \
    float* qspr_quad_uv1_##N(DrawObj* o) { return qspr_quad_uv1_n(o, N); }                         \
    float* qspr_quad_uv2_##N(DrawObj* o) { return qspr_quad_uv2_n(o, N); }
// qspr_quad_set_corner0_xyz, qspr_quad_set_corner0, qspr_quad_corner0, qspr_quad_set_colour0,
// qspr_quad_get_colour0, qspr_quad_set_uv1_0, qspr_quad_set_uv2_0, qspr_quad_uv1_0,
// qspr_quad_uv2_0:
QSPR_QUAD_DEFS(0)
// qspr_quad_set_corner1_xyz, qspr_quad_set_corner1, qspr_quad_corner1, qspr_quad_set_colour1,
// qspr_quad_get_colour1, qspr_quad_set_uv1_1, qspr_quad_set_uv2_1, qspr_quad_uv1_1,
// qspr_quad_uv2_1:
QSPR_QUAD_DEFS(1)
// qspr_quad_set_corner2_xyz, qspr_quad_set_corner2, qspr_quad_corner2, qspr_quad_set_colour2,
// qspr_quad_get_colour2, qspr_quad_set_uv1_2, qspr_quad_set_uv2_2, qspr_quad_uv1_2,
// qspr_quad_uv2_2:
QSPR_QUAD_DEFS(2)
// qspr_quad_set_corner3_xyz, qspr_quad_set_corner3, qspr_quad_corner3, qspr_quad_set_colour3,
// qspr_quad_get_colour3, qspr_quad_set_uv1_3, qspr_quad_set_uv2_3, qspr_quad_uv1_3,
// qspr_quad_uv2_3:
QSPR_QUAD_DEFS(3)

QsprWork* qspr_quad_set_colour(DrawObj* o, uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3)
{
    uint32_t* c = W(o)->quad.colour;
    c[0] = c0, c[1] = c1, c[2] = c2, c[3] = c3;
    return W(o);
}

#define QSPR_QUAD_VEC(NAME, FIELD)                                                                 \
    QsprWork* qspr_quad_set_##NAME(DrawObj* o, const Vec3* v)                                      \
    {                                                                                              \
        if (v) W(o)->quad.FIELD = *v;                                                              \
        return W(o);                                                                               \
    }                                                                                              \
    Vec3* qspr_quad_##NAME(DrawObj* o) { return &W(o)->quad.FIELD; }
// qspr_quad_set_pos, qspr_quad_pos:
QSPR_QUAD_VEC(pos, pos)
// qspr_quad_set_rot, qspr_quad_rot:
QSPR_QUAD_VEC(rot, rot)
// qspr_quad_set_scale, qspr_quad_scale:
QSPR_QUAD_VEC(scale, scale)

QsprWork* qspr_quad_set_pos_rot(DrawObj* o, const Vec3* pos, const Vec3* angles)
{
    qspr_quad_set_pos(o, pos);
    return qspr_quad_set_rot(o, angles);
}
QsprWork* qspr_quad_set_use_mat(DrawObj* o, uint32_t f) { return W(o)->quad.use_mat = f, W(o); }
QSPR_FIELD(qspr_quad_get_use_mat, uint32_t, quad.use_mat)

QsprWork* qspr_quad_bake(DrawObj* o)
{
    QsprWork* w = W(o);
    Mat44 m;
    qspr_quad_matrix(&m, &w->quad);
    const Vec3 in[4] = {w->quad.corner[0], w->quad.corner[1], w->quad.corner[2], w->quad.corner[3]};
    vm_mat_transform_points4(w->quad.corner, &m, in);
    w->quad.use_mat = 0;
    return w;
}

QsprWork* qspr_quad_set_plane(DrawObj* o, const Vec3* pos, const Vec3* up, float w, float d,
                              float angle, float height)
{
    const Vec3 p[4] = {{-w / 2, height, d / 2},
                       {-w / 2, height, -d / 2},
                       {w / 2, height, d / 2},
                       {w / 2, height, -d / 2}};
    Mat44 m;
    vm_mat_from_y_axis(&m, nullptr, up);
    if (angle != 0.0f) vm_mat_rotate_y(&m, &m, angle);
    if (pos) m.m[12] = pos->x, m.m[13] = pos->y, m.m[14] = pos->z;
    vm_mat_transform_points4(W(o)->quad.corner, &m, p);
    return W(o);
}

QsprWork* qspr_quad_set_flat(DrawObj* o, const Vec3* pos, const Vec3* angles, float w, float d)
{
    const Vec3 p[4] = {
        {-w / 2, 0, d / 2}, {-w / 2, 0, -d / 2}, {w / 2, 0, d / 2}, {w / 2, 0, -d / 2}};
    const Vec3 origin = {0, 0, 0};
    Mat44 m;
    if (angles)
        vm_mat_from_pos_angles(&m, pos ? pos : &origin, angles);
    else
        vm_mat_translation(&m, pos ? pos : &origin);
    vm_mat_transform_points4(W(o)->quad.corner, &m, p);
    return W(o);
}

QsprWork* qspr_quad_set_ribbon(DrawObj* o, const Vec3* a, const Vec3* up_a, float width_a,
                               float back_a, float lift_a, const Vec3* b, const Vec3* up_b,
                               float width_b, float fwd_b, float lift_b, int order)
{
    const Vec3 dir = ribbon_dir(a, b);
    Vec3 sa, sb;
    vm_vec3_cross(&sa, up_a, &dir);
    vm_vec3_cross(&sb, up_b, &dir);
    const Vec3 base_a = add3(add3(*a, *up_a, lift_a), dir, -back_a);
    const Vec3 base_b = add3(add3(*b, *up_b, lift_b), dir, fwd_b);
    const Vec3 p[4] = {add3(base_a, sa, -width_a), add3(base_a, sa, width_a),
                       add3(base_b, sb, -width_b), add3(base_b, sb, width_b)};
    return put_corners(o, p, order);
}

QsprWork* qspr_quad_set_ribbon1(DrawObj* o, const Vec3* a, const Vec3* off_a, float len_a,
                                float back_a, const Vec3* b, const Vec3* off_b, float len_b,
                                float fwd_b, int order)
{
    const Vec3 dir = ribbon_dir(a, b);
    const Vec3 base_a = add3(*a, dir, -back_a), base_b = add3(*b, dir, fwd_b);
    const Vec3 p[4] = {add3(base_a, *off_a, len_a), base_a, add3(base_b, *off_b, len_b), base_b};
    return put_corners(o, p, order);
}
