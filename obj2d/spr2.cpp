// The twin sprite type (see spr2.h).
#include "obj2d/spr2.h"
#include "obj2d/spr_local.h"

namespace {

Spr2Work* W(DrawObj* obj) { return obj_work<Spr2Work>(obj); }
const Spr2Work* W(const DrawObj* obj) { return obj_work<Spr2Work>(obj); }

}  // namespace

int spr2_type() { return obj2d_type_id(OBJ2D_T2D_TWIN); }

void spr2_init(DrawObj* obj)
{
    spr_init(obj);
    Spr2Work* t = W(obj);
    t->pre = nullptr;
    t->post = nullptr;
    t->arg = nullptr;
}

void spr2_draw(DrawObj** run, int count)
{
    RenderStateKey key = obj2d_base_key();
    obj2d_apply_key(key, 0, nullptr, OBJ2D_FVF);
    obj2d_stages_begin();
    Obj2dScissor sc;
    obj2d_scissor_begin(&sc);
    int64_t tex1 = -1, tex2 = -1, cur_filter = -1;
    TexVertexA* verts = tex_get_vertex_scratch_a();
    for (int i = 0; i < count; ++i) {
        DrawObj* o = run[i];
        Spr2Work* t = W(o);
        const SprWork* s = &t->s;
        const int value = t->pre ? t->pre(o, t->arg) : 0;
        const int filter = spr_filter_of(s, false);
        obj2d_scissor_apply(&sc, s->sc_x, s->sc_y, s->sc_w, s->sc_h);
        if (int64_t(s->tex1) != tex1 || filter != cur_filter)
            tex_set_stage(0, obj2d_tex_record(s->tex1), filter);
        if (int64_t(s->tex2) != tex2 || filter != cur_filter)
            tex_set_stage(1, obj2d_tex_record(s->tex2), filter);
        tex1 = s->tex1;
        tex2 = s->tex2;
        cur_filter = filter;
        key = obj2d_key_with_blend(key, s->blend);
        obj2d_apply_key(key, s->shader, s->params, OBJ2D_FVF);
        spr_quad(s, nullptr, 0xFFFFFFFFu, verts);
        obj2d_draw_quads(1);
        if (t->post) t->post(o, t->arg, value);
    }
    obj2d_scissor_end(&sc);
    obj2d_stages_end();
}

static DrawObj* make(SprSource src, ResHandle h, float w, float hh, ResGroupId g, uint32_t colour,
                     float x, float y, float px, float py, float sx, float sy, int prio, bool one)
{
    return spr_create_typed(spr2_type(), src, h, w, hh, g, colour, x, y, px, py, sx, sy, prio, one);
}

DrawObj* spr2_create_1f(ResGroupId g, ResHandle crop, uint32_t c, float x, float y, float px,
                        float py, float sx, float sy, int prio)
{
    return make(SPR_FROM_CROP, crop, 0, 0, g, c, x, y, px, py, sx, sy, prio, true);
}
DrawObj* spr2_create_tex_1f(ResGroupId g, ResHandle tex, uint32_t c, float x, float y, float px,
                            float py, float sx, float sy, int prio)
{
    return make(SPR_FROM_TEX, tex, 0, 0, g, c, x, y, px, py, sx, sy, prio, true);
}
DrawObj* spr2_create_plain_1f(ResGroupId g, uint32_t c, float x, float y, float w, float h,
                              float px, float py, float sx, float sy, int prio)
{
    return make(SPR_PLAIN, 0, w, h, g, c, x, y, px, py, sx, sy, prio, true);
}
DrawObj* spr2_create(ResGroupId g, ResHandle crop, uint32_t c, float x, float y, float px, float py,
                     float sx, float sy, int prio)
{
    return make(SPR_FROM_CROP, crop, 0, 0, g, c, x, y, px, py, sx, sy, prio, false);
}
DrawObj* spr2_create_tex(ResGroupId g, ResHandle tex, uint32_t c, float x, float y, float px,
                         float py, float sx, float sy, int prio)
{
    return make(SPR_FROM_TEX, tex, 0, 0, g, c, x, y, px, py, sx, sy, prio, false);
}
DrawObj* spr2_create_plain(ResGroupId g, uint32_t c, float x, float y, float w, float h, float px,
                           float py, float sx, float sy, int prio)
{
    return make(SPR_PLAIN, 0, w, h, g, c, x, y, px, py, sx, sy, prio, false);
}

void spr2_set_callbacks(DrawObj* obj, Spr2PreFn pre, Spr2PostFn post, void* arg)
{
    Spr2Work* t = W(obj);
    t->pre = pre;
    t->post = post;
    t->arg = arg;
}

void spr2_set_crop_uv(DrawObj* obj, ResHandle crop)
{
    const ResCrop* c = res_crop_get(crop);
    if (!c || !res_tex_get(c->tex)) return;
    SprWork* s = &W(obj)->s;
    spr_uv_from_crop(s->uv1, c);
    s->tex1 = c->tex;
}

float spr2_get_u(const DrawObj* obj) { return W(obj)->s.uv1[0]; }
float spr2_get_v(const DrawObj* obj) { return W(obj)->s.uv1[3]; }
