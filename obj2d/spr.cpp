// The 2D sprite type (see spr.h).
#include "obj2d/spr.h"
#include "obj2d/spr_local.h"

#include <cmath>
#include <cstring>

#include "disp/d3d9.h"
#include "math/vm_2d.h"
#include "math/vm_table.h"

namespace {

constexpr float SPR_FULL_UV[8] = {0, 0, 1, 0, 0, 1, 1, 1};

SprWork* W(DrawObj* obj) { return obj_work<SprWork>(obj); }
const SprWork* W(const DrawObj* obj) { return obj_work<SprWork>(obj); }

void uv_rect(float uv[8], float l, float t, float r, float b)
{
    const float q[8] = {l, t, r, t, l, b, r, b};
    std::memcpy(uv, q, sizeof(q));
}

void get_uv_rect(const float uv[8], float* l, float* t, float* r, float* b)
{
    if (l) *l = uv[0];
    if (t) *t = uv[1];
    if (r) *r = uv[6];
    if (b) *b = uv[7];
}

// Corner positions of a record: size scaled by (kx, ky), shifted by `half`
// (the draw's -0.5). 1 when rotated.
int corners(const SprWork* s, float kx, float ky, float half, const Mat3x2* extra, Vec2 out[4])
{
    const float w = s->w * kx, h = s->h * ky;
    int rotated = 0;
    if (s->use_mat) {
        const float L = w * s->pivot_x, R = (1 - s->pivot_x) * w;
        const float T = h * s->pivot_y, B = (1 - s->pivot_y) * h;
        const Vec2 p[4] = {{-L + half, -T + half},
                           {R + half, -T + half},
                           {-L + half, B + half},
                           {R + half, B + half}};
        for (int k = 0; k < 4; ++k) vm_mat3x2_transform_point(&out[k], &s->mat, &p[k]);
    } else {
        const float ox = s->x + half, oy = s->y + half;
        const float L = w * s->pivot_x * s->scale_x, R = (1 - s->pivot_x) * w * s->scale_x;
        const float T = h * s->pivot_y * s->scale_y, B = (1 - s->pivot_y) * h * s->scale_y;
        if (s->rot == 0.0f) {
            out[0] = {ox - L, oy - T};
            out[1] = {ox + R, oy - T};
            out[2] = {ox - L, oy + B};
            out[3] = {ox + R, oy + B};
        } else {
            rotated = 1;
            const float sn = vm_math_sin(s->rot), cs = vm_math_cos(s->rot);
            out[0] = obj2d_turn(ox, oy, -L, -T, sn, cs);
            out[1] = obj2d_turn(ox, oy, R, -T, sn, cs);
            out[2] = obj2d_turn(ox, oy, -L, B, sn, cs);
            out[3] = obj2d_turn(ox, oy, R, B, sn, cs);
        }
    }
    if (extra)
        for (int k = 0; k < 4; ++k) vm_mat3x2_transform_point(&out[k], extra, &out[k]);
    return rotated;
}

// Batch state of one run.
struct SprBatch {
    RenderStateKey key;
    int quads;
    int64_t tex1, tex2, filter;  // -1: unset
    int prev_scissor;
    Obj2dScissor scissor;
};

}  // namespace

void spr_uv_from_crop(float uv[8], const ResCrop* c)
{
    const float r[8] = {c->u, c->v, c->u + c->w, c->v, c->u, c->v + c->h, c->u + c->w, c->v + c->h};
    std::memcpy(uv, r, sizeof(r));
}

// --- type ---------------------------------------------------------------------------------------

int spr_type() { return obj2d_type_id(OBJ2D_T2D_SPRITE); }

void spr_init(DrawObj* obj)
{
    SprWork* s = W(obj);
    std::memset(static_cast<void*>(s), 0, sizeof(SprWork));
    std::memcpy(s->uv1, SPR_FULL_UV, sizeof(SPR_FULL_UV));
    std::memcpy(s->uv2, SPR_FULL_UV, sizeof(SPR_FULL_UV));
    s->scale_x = s->scale_y = 1;
    vm_mat3x2_identity(&s->mat);
    s->colour = 0xFFFFFFFFu;
    s->blend = 1;
    s->filter = OBJ2D_FILTER_AUTO;
    obj2d_show(obj);
}

int spr_filter_of(const SprWork* s, bool matrix)
{
    if (s->filter != OBJ2D_FILTER_AUTO) return s->filter;
    if (matrix || s->use_mat) return 1;
    return (s->scale_x == 1.0f && s->scale_y == 1.0f && s->rot == 0.0f) ? 0 : 1;
}

void spr_quad(const SprWork* s, const Mat3x2* extra, uint32_t extra_colour, TexVertexA out[4])
{
    Vec2 c[4];
    corners(s, 1, 1, -0.5f, extra, c);
    const uint32_t colour =
        extra_colour == 0xFFFFFFFFu ? s->colour : obj2d_colour_mul(extra_colour, s->colour);
    float u1[4], v1[4], u2[4], v2[4];
    obj2d_uv_select(s->uv1, s->uv_rot1, s->uv_flip1, u1, v1);
    obj2d_uv_select(s->uv2, s->uv_rot2, s->uv_flip2, u2, v2);
    for (int k = 0; k < 4; ++k) {
        TexVertexA& v = out[k];
        v.x = c[k].x;
        v.y = c[k].y;
        v.color = colour;
        v.u0 = u1[k];
        v.v0 = v1[k];
        v.u1 = u2[k];
        v.v1 = v2[k];
    }
}

void spr_draw_objs(DrawObj** objs, int count, const Mat3x2* extra, uint32_t extra_colour)
{
    SprBatch b = {obj2d_base_key(), 0, -1, -1, -1, 0, {}};
    obj2d_apply_key(b.key, 0, nullptr, OBJ2D_FVF);
    obj2d_scissor_begin(&b.scissor);
    TexVertexA* verts = tex_get_vertex_scratch_a();
    for (int i = 0; i < count; ++i) {
        const SprWork* s = W(objs[i]);
        const int filter = spr_filter_of(s, extra != nullptr);
        // A sprite with its own scissor always opens a batch: joining one
        // would draw it under the rectangle the batch started with.
        const bool new_batch = int(disp_rstate_field(b.key, DISP_RS_BLEND_SHIFT,
                                                     DISP_RS_BLEND_BITS)) != (s->blend & 31) ||
                               s->shader != 0 || filter != b.filter || int64_t(s->tex1) != b.tex1 ||
                               int64_t(s->tex2) != b.tex2 || b.prev_scissor || s->sc_w != 0 ||
                               b.quads >= OBJ2D_BATCH_QUADS || i == 0;
        if (new_batch) {
            obj2d_draw_quads(b.quads);
            b.quads = 0;
            obj2d_scissor_apply(&b.scissor, s->sc_x, s->sc_y, s->sc_w, s->sc_h);
            if (int64_t(s->tex1) != b.tex1 || filter != b.filter)
                tex_set_stage(0, obj2d_tex_record(s->tex1), filter);
            if (int64_t(s->tex2) != b.tex2 || filter != b.filter)
                tex_set_stage(1, obj2d_tex_record(s->tex2), filter);
            b.tex1 = s->tex1;
            b.tex2 = s->tex2;
            b.filter = filter;
            b.key = obj2d_key_with_blend(b.key, s->blend);
            obj2d_apply_key(b.key, s->shader, s->params, OBJ2D_FVF);
        }
        b.prev_scissor = s->sc_w != 0;
        spr_quad(s, extra, extra_colour, &verts[size_t(b.quads) * 4]);
        ++b.quads;
    }
    obj2d_draw_quads(b.quads);
    obj2d_scissor_end(&b.scissor);
}

void spr_draw(DrawObj** run, int count)
{
    obj2d_stages_begin();
    spr_draw_objs(run, count, nullptr, 0xFFFFFFFFu);
    obj2d_stages_end();
}

// --- creators ----------------------------------------------------------------------------------

DrawObj* spr_create_typed(int type, SprSource source, ResHandle handle, float w, float h,
                          ResGroupId group, uint32_t colour, float x, float y, float px, float py,
                          float sx, float sy, int prio, bool one_frame)
{
    DrawObj* o = obj2d_new(group, type);
    if (!o) return nullptr;
    if (source == SPR_FROM_CROP)
        spr_set_crop(o, handle);
    else if (source == SPR_FROM_TEX)
        spr_set_tex(o, handle);
    else
        spr_set_size(o, w, h);
    SprWork* s = W(o);
    s->x = x;
    s->y = y;
    s->pivot_x = px;
    s->pivot_y = py;
    s->scale_x = sx;
    s->scale_y = sy;
    s->colour = colour;
    return obj2d_place(o, one_frame, prio);
}

DrawObj* spr_create_1f(ResGroupId g, ResHandle crop, uint32_t colour, float x, float y, float px,
                       float py, float sx, float sy, int prio)
{
    return spr_create_typed(spr_type(), SPR_FROM_CROP, crop, 0, 0, g, colour, x, y, px, py, sx, sy,
                            prio, true);
}
DrawObj* spr_create_tex_1f(ResGroupId g, ResHandle tex, uint32_t colour, float x, float y, float px,
                           float py, float sx, float sy, int prio)
{
    return spr_create_typed(spr_type(), SPR_FROM_TEX, tex, 0, 0, g, colour, x, y, px, py, sx, sy,
                            prio, true);
}
DrawObj* spr_create_plain_1f(ResGroupId g, uint32_t colour, float x, float y, float w, float h,
                             float px, float py, float sx, float sy, int prio)
{
    return spr_create_typed(spr_type(), SPR_PLAIN, 0, w, h, g, colour, x, y, px, py, sx, sy, prio,
                            true);
}
DrawObj* spr_create(ResGroupId g, ResHandle crop, uint32_t colour, float x, float y, float px,
                    float py, float sx, float sy, int prio)
{
    return spr_create_typed(spr_type(), SPR_FROM_CROP, crop, 0, 0, g, colour, x, y, px, py, sx, sy,
                            prio, false);
}
DrawObj* spr_create_tex(ResGroupId g, ResHandle tex, uint32_t colour, float x, float y, float px,
                        float py, float sx, float sy, int prio)
{
    return spr_create_typed(spr_type(), SPR_FROM_TEX, tex, 0, 0, g, colour, x, y, px, py, sx, sy,
                            prio, false);
}
DrawObj* spr_create_plain(ResGroupId g, uint32_t colour, float x, float y, float w, float h,
                          float px, float py, float sx, float sy, int prio)
{
    return spr_create_typed(spr_type(), SPR_PLAIN, 0, w, h, g, colour, x, y, px, py, sx, sy, prio,
                            false);
}

// --- setters -------------------------------------------------------------------------------------

void spr_set_pos(DrawObj* o, float x, float y)
{
    W(o)->x = x;
    W(o)->y = y;
}
void spr_set_size(DrawObj* o, float w, float h)
{
    W(o)->w = w;
    W(o)->h = h;
}
void spr_set_pivot(DrawObj* o, float x, float y)
{
    W(o)->pivot_x = x;
    W(o)->pivot_y = y;
}
void spr_set_scale(DrawObj* o, float x, float y)
{
    W(o)->scale_x = x;
    W(o)->scale_y = y;
}
void spr_set_rot(DrawObj* o, float rad) { W(o)->rot = rad; }
void spr_set_use_matrix(DrawObj* o, int flag) { W(o)->use_mat = uint8_t(flag); }
Mat3x2* spr_matrix(DrawObj* o) { return &W(o)->mat; }
void spr_set_colour(DrawObj* o, uint32_t colour) { W(o)->colour = colour; }
void spr_set_filter(DrawObj* o, int filter) { W(o)->filter = int16_t(filter); }
void spr_set_blend(DrawObj* o, int blend) { W(o)->blend = int16_t(blend); }
void spr_set_shader(DrawObj* o, int set) { W(o)->shader = int16_t(set); }
void spr_set_scissor(DrawObj* o, int x, int y, int w, int h)
{
    SprWork* s = W(o);
    s->sc_x = int16_t(x);
    s->sc_y = int16_t(y);
    s->sc_w = int16_t(w);
    s->sc_h = int16_t(h);
}
void spr_set_uv_orient(DrawObj* o, int rot, int flip)
{
    W(o)->uv_rot1 = uint8_t(rot);
    W(o)->uv_flip1 = uint8_t(flip);
}
void spr_set_uv2_orient(DrawObj* o, int rot, int flip)
{
    W(o)->uv_rot2 = uint8_t(rot);
    W(o)->uv_flip2 = uint8_t(flip);
}
void spr_set_tex_handle(DrawObj* o, ResHandle tex) { W(o)->tex1 = tex; }
void spr_set_tex2_handle(DrawObj* o, ResHandle tex) { W(o)->tex2 = tex; }

void spr_set_tex(DrawObj* o, ResHandle tex)
{
    const ResTexInfo* t = res_tex_get(tex);
    if (!t) return;
    SprWork* s = W(o);
    s->w = t->width;
    s->h = t->height;
    std::memcpy(s->uv1, SPR_FULL_UV, sizeof(SPR_FULL_UV));
    s->tex1 = tex;
}

void spr_set_tex2(DrawObj* o, ResHandle tex)
{
    if (!res_tex_get(tex)) return;
    std::memcpy(W(o)->uv2, SPR_FULL_UV, sizeof(SPR_FULL_UV));
    W(o)->tex2 = tex;
}

void spr_set_crop(DrawObj* o, ResHandle crop)
{
    const ResCrop* c = res_crop_get(crop);
    const ResTexInfo* t = c ? res_tex_get(c->tex) : nullptr;
    if (!t) return;
    SprWork* s = W(o);
    s->w = std::fabs(c->w) * t->width;
    s->h = std::fabs(c->h) * t->height;
    spr_uv_from_crop(s->uv1, c);
    s->tex1 = c->tex;
}

void spr_set_crop2(DrawObj* o, ResHandle crop)
{
    const ResCrop* c = res_crop_get(crop);
    if (!c || !res_tex_get(c->tex)) return;
    spr_uv_from_crop(W(o)->uv2, c);
    W(o)->tex2 = c->tex;
}

void spr_set_uv_rect(DrawObj* o, float l, float t, float r, float b)
{
    uv_rect(W(o)->uv1, l, t, r, b);
}
void spr_set_uv2_rect(DrawObj* o, float l, float t, float r, float b)
{
    uv_rect(W(o)->uv2, l, t, r, b);
}
void spr_get_uv_rect(const DrawObj* o, float* l, float* t, float* r, float* b)
{
    get_uv_rect(W(o)->uv1, l, t, r, b);
}
void spr_get_uv2_rect(const DrawObj* o, float* l, float* t, float* r, float* b)
{
    get_uv_rect(W(o)->uv2, l, t, r, b);
}
static void uv_screen(const SprWork* s, ResHandle tex, float uv[8], float x, float y, float factor)
{
    const ResTexInfo* t = res_tex_get(tex);
    if (!t || t->width == 0 || t->height == 0) return;
    Vec2 c[4];
    corners(s, 1, 1, -0.5f, nullptr, c);
    float cu = 0, cv = 0;
    for (int k = 0; k < 4; ++k) {
        uv[2 * k] = (c[k].x + x) / float(t->width);
        uv[2 * k + 1] = 1.0f - (c[k].y + y) / float(t->height);
        cu += uv[2 * k] * 0.25f;
        cv += uv[2 * k + 1] * 0.25f;
    }
    if (factor == 1.0f) return;
    for (int k = 0; k < 4; ++k) {
        uv[2 * k] = cu + (uv[2 * k] - cu) * factor;
        uv[2 * k + 1] = cv + (uv[2 * k + 1] - cv) * factor;
    }
}
void spr_set_uv_screen(DrawObj* o, float x, float y, float f)
{
    uv_screen(W(o), W(o)->tex1, W(o)->uv1, x, y, f);
}
void spr_set_uv2_screen(DrawObj* o, float x, float y, float f)
{
    uv_screen(W(o), W(o)->tex2, W(o)->uv2, x, y, f);
}
void spr_set_uv(DrawObj* o, const float uv[8]) { std::memcpy(W(o)->uv1, uv, sizeof(W(o)->uv1)); }
void spr_set_uv2(DrawObj* o, const float uv[8]) { std::memcpy(W(o)->uv2, uv, sizeof(W(o)->uv2)); }

int spr_set_param_int(DrawObj* o, const char* n, const int32_t* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 4, c);
}
int spr_set_param_float(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 4, c);
}
int spr_set_param_float2(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 8, c);
}
int spr_set_param_float3(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 12, c);
}
int spr_set_param_float4(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 16, c);
}
int spr_set_param_matrix(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 64, c);
}

// --- getters -------------------------------------------------------------------------------------

ResHandle spr_get_tex(const DrawObj* o) { return W(o)->tex1; }
ResHandle spr_get_tex2(const DrawObj* o) { return W(o)->tex2; }
float spr_get_x(const DrawObj* o) { return W(o)->x; }
float spr_get_y(const DrawObj* o) { return W(o)->y; }
float spr_get_rot(const DrawObj* o) { return W(o)->rot; }
float spr_get_w(const DrawObj* o) { return W(o)->w; }
float spr_get_h(const DrawObj* o) { return W(o)->h; }
float spr_get_pivot_x(const DrawObj* o) { return W(o)->pivot_x; }
float spr_get_pivot_y(const DrawObj* o) { return W(o)->pivot_y; }
float spr_get_scale_x(const DrawObj* o) { return W(o)->scale_x; }
float spr_get_scale_y(const DrawObj* o) { return W(o)->scale_y; }
uint32_t spr_get_colour(const DrawObj* o) { return W(o)->colour; }
int spr_get_use_matrix(const DrawObj* o) { return W(o)->use_mat; }

// --- hit tests -----------------------------------------------------------------------------------

int spr_get_corners(Vec2 out[4], const DrawObj* o, float kx, float ky)
{
    return corners(W(o), kx, ky, 0.0f, nullptr, out);
}

int spr_hit_point(const DrawObj* o, float kx, float ky, float px, float py)
{
    Vec2 c[4];
    const Vec2 p = {px, py};
    if (spr_get_corners(c, o, kx, ky) || W(o)->use_mat) return vm_geom2d_rect_vs_point(c, &p);
    return (c[0].x <= px && px < c[3].x && c[0].y <= py && py < c[3].y) ? 1 : 0;
}

int spr_hit_circle(const DrawObj* o, float kx, float ky, float cx, float cy, float radius)
{
    Vec2 c[4];
    spr_get_corners(c, o, kx, ky);
    const Vec2 centre = {cx, cy};
    return vm_geom2d_circle_vs_rect(c, &centre, radius);
}

int spr_hit_segment(const DrawObj* o, float kx, float ky, const Vec2* a, const Vec2* b)
{
    Vec2 c[4];
    spr_get_corners(c, o, kx, ky);
    return vm_geom2d_rect_vs_segment(c, a, b);
}

int spr_hit_sprite(const DrawObj* a, float kax, float kay, const DrawObj* b, float kbx, float kby)
{
    Vec2 ca[4], cb[4];
    spr_get_corners(ca, a, kax, kay);
    spr_get_corners(cb, b, kbx, kby);
    return vm_geom2d_rect_vs_rect(ca, cb);
}

uint8_t spr_sample(const DrawObj* o, float px, float py)
{
    const SprWork* s = W(o);
    const float qw = s->w * s->scale_x, qh = s->h * s->scale_y;
    const float du = s->uv1[6] - s->uv1[0], dv = s->uv1[7] - s->uv1[1];
    if (qw == 0.0f || qh == 0.0f || du == 0.0f || dv == 0.0f) return 0;
    if (s->rot != 0.0f) {
        // Undo the rotation about the position (the draw's rule with -rot).
        const float sn = vm_math_sin(-s->rot), cs = vm_math_cos(-s->rot);
        const Vec2 p = obj2d_turn(s->x, s->y, px - s->x, py - s->y, sn, cs);
        px = p.x;
        py = p.y;
    }
    const float fx = (px - (s->x - s->w * s->pivot_x * s->scale_x)) / qw;
    const float fy = (py - (s->y - s->h * s->pivot_y * s->scale_y)) / qh;
    if (!(fx >= 0.0f && fx <= 1.0f && fy >= 0.0f && fy <= 1.0f)) return 0;
    return res_tex_sample(s->tex1, s->uv1[0] + fx * du, s->uv1[1] + fy * dv);
}
