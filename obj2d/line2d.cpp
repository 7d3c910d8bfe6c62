// 2D lines and triangles (see line2d.h).
#include "obj2d/line2d.h"
#include "obj2d/line2d_local.h"

#include <cmath>
#include <cstring>

#include "math/vm_const.h"
#include "math/vm_types.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"

namespace {

Line2dWork* L(DrawObj* o) { return obj_work<Line2dWork>(o); }
Tri2dWork* T(DrawObj* o) { return obj_work<Tri2dWork>(o); }

// World identity and the 2D key with blend 1; the blend changes between
// batches go through the key too, so the render-state cache always knows
// what the device holds.
RenderStateKey begin_run()
{
    gfx_set_transform(GFX_TS_WORLD, VM_MAT_IDENTITY.m);
    const RenderStateKey key = obj2d_base_key();
    obj2d_apply_key(key, 0, nullptr, OBJ2D_FVF);
    return key;
}

void vertex(TexVertexA& v, float x, float y, uint32_t colour, float u, float t)
{
    v = TexVertexA{x, y, 0, 1, colour, u, t, 0, 0};
}

}  // namespace

// --- lines ------------------------------------------------------------------------------

void line2d_type_register()
{
    obj2d_set_type_id(OBJ2D_T2D_LINE, 0);
    obj2d_set_type_id(OBJ2D_T2D_LINE, obj_register_type(line2d_draw, line2d_init, nullptr, nullptr,
                                                        int(sizeof(Line2dWork))));
}
void line2d_term() {}
int line2d_type() { return obj2d_type_id(OBJ2D_T2D_LINE); }

void line2d_init(DrawObj* o)
{
    Line2dWork* l = L(o);
    std::memset(static_cast<void*>(l), 0, sizeof(Line2dWork));
    l->colour_a = l->colour_b = 0xFFFFFFFFu;
    l->width = 1.0f;
    l->blend = 1;
    obj_set_priority(o, LINE2D_DEFAULT_PRIO);
}

DrawObj* line2d_create_1f(ResGroupId g, Vec2 a, uint32_t ca, Vec2 b, uint32_t cb, int prio,
                          float width)
{
    DrawObj* o = obj2d_new(g, line2d_type());
    if (!o) return nullptr;
    line2d_set_points(o, a, b);
    line2d_set_colours(o, ca, cb);
    line2d_set_width(o, width);
    return obj2d_place(o, true, prio);
}

void line2d_set_points(DrawObj* o, Vec2 a, Vec2 b)
{
    L(o)->a = {a.x, a.y, 0};
    L(o)->b = {b.x, b.y, 0};
}
void line2d_set_colours(DrawObj* o, uint32_t a, uint32_t b)
{
    L(o)->colour_a = a;
    L(o)->colour_b = b;
}
void line2d_set_width(DrawObj* o, float width) { L(o)->width = width; }
void line2d_set_blend(DrawObj* o, int blend)
{
    L(o)->blend = (L(o)->blend & ~31u) | uint32_t(blend & 31);
}

void line2d_quad(const Line2dWork* l, TexVertexA out[4])
{
    const float angle = std::atan2(l->b.y - l->a.y, l->b.x - l->a.x);
    const float h = l->width * 0.5f;
    const float ox = std::cos(angle - VM_HALF_PI) * h, oy = std::sin(angle - VM_HALF_PI) * h;
    vertex(out[0], l->a.x - ox, l->a.y - oy, l->colour_a, 0, 0);
    vertex(out[1], l->a.x + ox, l->a.y + oy, l->colour_a, 0, 0);
    vertex(out[2], l->b.x - ox, l->b.y - oy, l->colour_b, 0, 0);
    vertex(out[3], l->b.x + ox, l->b.y + oy, l->colour_b, 0, 0);
}

void line2d_draw(DrawObj** run, int count)
{
    RenderStateKey key = begin_run();
    const ResHandle white = res_tex_white();
    tex_set_stage(0, obj2d_tex_record(white), 1);
    uint32_t blend = 1;
    int quads = 0;
    TexVertexA* verts = tex_get_vertex_scratch_a();
    for (int i = 0; i < count; ++i) {
        const Line2dWork* l = L(run[i]);
        const uint32_t b = l->blend & 31u;
        if (b != blend || quads >= OBJ2D_BATCH_QUADS) {
            obj2d_draw_quads(quads);
            quads = 0;
            if (b != blend) {
                key = obj2d_key_with_blend(key, int(b));
                obj2d_apply_key(key, 0, nullptr, OBJ2D_FVF);
                blend = b;
            }
        }
        line2d_quad(l, &verts[size_t(quads) * 4]);
        ++quads;
    }
    obj2d_draw_quads(quads);
}

// --- triangles ----------------------------------------------------------------------------

void tri2d_type_register()
{
    obj2d_set_type_id(OBJ2D_T2D_TRI, 0);
    obj2d_set_type_id(OBJ2D_T2D_TRI, obj_register_type(tri2d_draw, tri2d_init, nullptr, nullptr,
                                                       int(sizeof(Tri2dWork))));
}
void tri2d_term() {}
int tri2d_type() { return obj2d_type_id(OBJ2D_T2D_TRI); }

void tri2d_init(DrawObj* o)
{
    Tri2dWork* t = T(o);
    std::memset(static_cast<void*>(t), 0, sizeof(Tri2dWork));
    t->colour[0] = t->colour[1] = t->colour[2] = 0xFFFFFFFFu;
    t->blend = 1;
    obj_set_priority(o, LINE2D_DEFAULT_PRIO);
}

DrawObj* tri2d_create_1f(ResGroupId g, Vec2 p0, uint32_t c0, Vec2 p1, uint32_t c1, Vec2 p2,
                         uint32_t c2, int prio)
{
    DrawObj* o = obj2d_new(g, tri2d_type());
    if (!o) return nullptr;
    tri2d_set_points(o, p0, p1, p2);
    tri2d_set_colours(o, c0, c1, c2);
    return obj2d_place(o, true, prio);
}

void tri2d_set_points(DrawObj* o, Vec2 p0, Vec2 p1, Vec2 p2)
{
    T(o)->p[0] = {p0.x, p0.y, 0};
    T(o)->p[1] = {p1.x, p1.y, 0};
    T(o)->p[2] = {p2.x, p2.y, 0};
}
void tri2d_set_colours(DrawObj* o, uint32_t c0, uint32_t c1, uint32_t c2)
{
    T(o)->colour[0] = c0;
    T(o)->colour[1] = c1;
    T(o)->colour[2] = c2;
}
void tri2d_set_uv(DrawObj* o, int vertex_index, float u, float v)
{
    if (vertex_index < 0 || vertex_index > 2) return;
    T(o)->uv[vertex_index][0] = u;
    T(o)->uv[vertex_index][1] = v;
}
void tri2d_set_tex(DrawObj* o, ResHandle tex) { T(o)->tex = tex; }
void tri2d_set_blend(DrawObj* o, int blend)
{
    T(o)->blend = (T(o)->blend & ~31u) | uint32_t(blend & 31);
}

void tri2d_draw(DrawObj** run, int count)
{
    RenderStateKey key = begin_run();
    tex_set_stage(0, nullptr, 1);
    uint32_t blend = 1;
    int64_t tex = -1;
    int tris = 0;
    TexVertexA* verts = tex_get_vertex_scratch_a();
    auto flush = [&] {
        if (tris > 0)
            gfx_draw_primitive_up(GFX_PT_TRIANGLELIST, uint32_t(tris), verts, sizeof(TexVertexA));
        tris = 0;
    };
    for (int i = 0; i < count; ++i) {
        const Tri2dWork* t = T(run[i]);
        const uint32_t b = t->blend & 31u;
        if (b != blend || int64_t(t->tex) != tex || tris >= OBJ2D_BATCH_QUADS) {
            flush();
            if (b != blend) {
                key = obj2d_key_with_blend(key, int(b));
                obj2d_apply_key(key, 0, nullptr, OBJ2D_FVF);
                blend = b;
            }
            if (int64_t(t->tex) != tex) {
                tex_set_stage(0, obj2d_tex_record(t->tex), 1);
                tex = t->tex;
            }
        }
        for (int k = 0; k < 3; ++k)
            vertex(verts[size_t(tris) * 3 + size_t(k)], t->p[k].x, t->p[k].y, t->colour[k],
                   t->uv[k][0], t->uv[k][1]);
        ++tris;
    }
    flush();
}
