// The 2D primitive list type (see prim2d.h).
#include "obj2d/prim2d.h"

#include <cstring>

#include "math/vm_table.h"
#include "plat/gfx_draw.h"

namespace {

Prim2dWork* W(DrawObj* obj) { return obj_work<Prim2dWork>(obj); }
const Prim2dWork* W(const DrawObj* obj) { return obj_work<Prim2dWork>(obj); }

constexpr int16_t PRIM2D_VERTS_PER_PRIM[3] = {3, 2, 1};
constexpr GfxPrim PRIM2D_TYPE[3] = {GFX_PT_TRIANGLELIST, GFX_PT_LINELIST, GFX_PT_POINTLIST};

void bind(int stage, ResHandle tex, int filter)
{
    const TexRecord* r = tex >= 1 ? obj2d_tex_record(tex) : nullptr;
    tex_set_stage(stage, r, r ? filter : 1);
}

DrawObj* create(ResGroupId g, float x, float y, Prim2dFn fn, void* arg, int prio, bool one)
{
    DrawObj* o = obj2d_new(g, prim2d_type());
    if (!o) return nullptr;
    prim2d_set_pos(o, x, y);
    prim2d_set_callback(o, fn, arg);
    return obj2d_place(o, one, prio);
}

}  // namespace

int prim2d_type() { return obj2d_type_id(OBJ2D_T2D_PRIM); }

void prim2d_init(DrawObj* obj)
{
    Prim2dWork* p = W(obj);
    std::memset(static_cast<void*>(p), 0, sizeof(Prim2dWork));
    p->scale_x = p->scale_y = 1;
    p->colour = 0xFFFFFFFFu;
    p->key = obj2d_base_key();
    p->filter = OBJ2D_FILTER_AUTO;
    obj2d_show(obj);
}

void prim2d_draw(DrawObj** run, int count)
{
    obj2d_stages_begin();
    Obj2dScissor sc;
    obj2d_scissor_begin(&sc);
    for (int i = 0; i < count; ++i) {
        DrawObj* o = run[i];
        Prim2dWork* p = W(o);
        if (!p->callback) continue;
        obj2d_scissor_apply(&sc, p->sc_x, p->sc_y, p->sc_w, p->sc_h);
        obj2d_apply_key(p->key, p->shader, p->params, OBJ2D_FVF);
        p->verts_per_prim = 0;
        p->callback(o, p->arg);
        p->verts_per_prim = 0;  // the batch closes with the callback
    }
    obj2d_scissor_end(&sc);
    obj2d_stages_end();
}

DrawObj* prim2d_create_1f(ResGroupId g, float x, float y, Prim2dFn fn, void* arg, int prio)
{
    return create(g, x, y, fn, arg, prio, true);
}
DrawObj* prim2d_create(ResGroupId g, float x, float y, Prim2dFn fn, void* arg, int prio)
{
    return create(g, x, y, fn, arg, prio, false);
}

void prim2d_set_pos(DrawObj* o, float x, float y)
{
    W(o)->x = x;
    W(o)->y = y;
}
void prim2d_set_scale(DrawObj* o, float x, float y)
{
    W(o)->scale_x = x;
    W(o)->scale_y = y;
}
void prim2d_set_rot(DrawObj* o, float rad) { W(o)->rot = rad; }
void prim2d_set_colour(DrawObj* o, uint32_t colour) { W(o)->colour = colour; }
void prim2d_set_filter(DrawObj* o, int filter) { W(o)->filter = filter; }
void prim2d_set_tex(DrawObj* o, ResHandle tex) { W(o)->tex1 = tex; }
void prim2d_set_tex2(DrawObj* o, ResHandle tex) { W(o)->tex2 = tex; }
void prim2d_set_shader(DrawObj* o, int set) { W(o)->shader = set; }
void prim2d_set_blend(DrawObj* o, int blend)
{
    W(o)->key = obj2d_key_with_blend(W(o)->key, blend & 31);
}
void prim2d_set_scissor(DrawObj* o, int x, int y, int w, int h)
{
    Prim2dWork* p = W(o);
    p->sc_x = int16_t(x);
    p->sc_y = int16_t(y);
    p->sc_w = int16_t(w);
    p->sc_h = int16_t(h);
}
void prim2d_set_callback(DrawObj* o, Prim2dFn fn, void* arg)
{
    W(o)->callback = fn;
    W(o)->arg = arg;
}
ResHandle prim2d_get_tex(const DrawObj* o) { return W(o)->tex1; }
ResHandle prim2d_get_tex2(const DrawObj* o) { return W(o)->tex2; }

void prim2d_begin(DrawObj* o, int kind, ResHandle tex1, ResHandle tex2)
{
    Prim2dWork* p = W(o);
    if (kind < 0 || kind > 2) {
        p->verts_per_prim = 0;
        return;
    }
    p->kind = int16_t(kind);
    p->batch_vertices = p->batch_prims = p->prim_vertex = 0;
    p->verts_per_prim = PRIM2D_VERTS_PER_PRIM[kind];
    p->prim_limit = int16_t(TEX_SCRATCH_A_VERTICES / p->verts_per_prim);
    p->current = TexVertexA{0, 0, 0, 1, p->colour, 0, 0, 0, 0};
    const ResHandle t1 = tex1 ? tex1 : p->tex1, t2 = tex2 ? tex2 : p->tex2;
    int filter = p->filter;
    if (filter == OBJ2D_FILTER_AUTO)
        filter = (p->scale_x == 1.0f && p->scale_y == 1.0f && p->rot == 0.0f) ? 0 : 1;
    bind(0, t1, filter);
    bind(1, t2, filter);
}

void prim2d_vertex(DrawObj* o, float x, float y)
{
    Prim2dWork* p = W(o);
    if (p->verts_per_prim == 0) return;
    float px = x * p->scale_x + p->x, py = y * p->scale_y + p->y;
    if (p->rot != 0.0f) {
        const Vec2 t =
            obj2d_turn(p->x, p->y, px - p->x, py - p->y, vm_math_sin(p->rot), vm_math_cos(p->rot));
        px = t.x;
        py = t.y;
    }
    TexVertexA& v = tex_get_vertex_scratch_a()[p->batch_vertices];
    v = p->current;
    v.x = px - 0.5f;
    v.y = py - 0.5f;
    ++p->batch_vertices;
    if (++p->prim_vertex == p->verts_per_prim) {
        p->prim_vertex = 0;
        if (++p->batch_prims >= p->prim_limit) prim2d_flush(o);
    }
}

void prim2d_vertex_colour(DrawObj* o, uint32_t colour)
{
    if (W(o)->verts_per_prim) W(o)->current.color = colour;
}

void prim2d_vertex_uv(DrawObj* o, float u, float v, int n)
{
    Prim2dWork* p = W(o);
    if (!p->verts_per_prim) return;
    if (n == 0) {
        p->current.u0 = u;
        p->current.v0 = v;
    } else if (n == 1) {
        p->current.u1 = u;
        p->current.v1 = v;
    }
}

void prim2d_vertex_uv_pair(DrawObj* o, const float* uv, int n)
{
    if (uv) prim2d_vertex_uv(o, uv[0], uv[1], n);
}

void prim2d_flush(DrawObj* o)
{
    Prim2dWork* p = W(o);
    if (p->verts_per_prim == 0) return;
    if (p->batch_prims > 0)
        gfx_draw_primitive_up(PRIM2D_TYPE[p->kind], uint32_t(p->batch_prims),
                              tex_get_vertex_scratch_a(), sizeof(TexVertexA));
    // Vertices of an unfinished primitive are dropped with the batch.
    p->batch_vertices = p->batch_prims = p->prim_vertex = 0;
}
