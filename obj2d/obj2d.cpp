// Pieces shared by the 2D draw-object types (see obj2d.h).
#include "obj2d/obj2d.h"

#include <array>

#include "disp/d3d9.h"
#include "disp/shader.h"
#include "obj2d/flaobj.h"
#include "obj2d/prim2d.h"
#include "obj2d/spr.h"
#include "obj2d/spr2.h"
#include "obj2d/text2d.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_stage.h"

namespace {

std::array<int, OBJ2D_T2D_SLOTS> g_type_ids = {};

constexpr uint8_t OBJ2D_UV_ROT[4][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}, {3, 2, 1, 0}, {2, 0, 3, 1}};

template <class T>
void swap_vals(T& a, T& b)
{
    T t = a;
    a = b;
    b = t;
}

}  // namespace

// --- registration ----------------------------------------------------------------------

void obj2d_type_register()
{
    for (int s = OBJ2D_T2D_TEXT; s <= OBJ2D_T2D_PRIM; ++s) g_type_ids[size_t(s)] = 0;
    g_type_ids[OBJ2D_T2D_TEXT] =
        obj_register_type(text2d_draw, text2d_init, nullptr, nullptr, int(sizeof(Text2dWork)));
    g_type_ids[OBJ2D_T2D_FLA] =
        obj_register_type(flaobj_draw, flaobj_init, flaobj_exit, nullptr, int(sizeof(FlaObjWork)));
    g_type_ids[OBJ2D_T2D_TWIN] =
        obj_register_type(spr2_draw, spr2_init, nullptr, nullptr, int(sizeof(Spr2Work)));
    g_type_ids[OBJ2D_T2D_SPRITE] =
        obj_register_type(spr_draw, spr_init, nullptr, nullptr, int(sizeof(SprWork)));
    g_type_ids[OBJ2D_T2D_PRIM] =
        obj_register_type(prim2d_draw, prim2d_init, nullptr, nullptr, int(sizeof(Prim2dWork)));
}

void obj2d_type_term() {}
void obj2d_frame() {}

int obj2d_type_id(int slot)
{
    return slot >= 0 && slot < OBJ2D_T2D_SLOTS ? g_type_ids[size_t(slot)] : 0;
}

void obj2d_set_type_id(int slot, int type)
{
    if (slot >= 0 && slot < OBJ2D_T2D_SLOTS) g_type_ids[size_t(slot)] = type;
}

void obj2d_show(DrawObj* obj) { obj_set_visible(obj, 1); }

DrawObj* obj2d_new(ResGroupId group, int type)
{
    DrawObj* o = obj_alloc(group);
    if (o) obj_set_type(o, type);
    return o;
}

DrawObj* obj2d_place(DrawObj* obj, bool one_frame, int prio)
{
    obj2d_show(obj);
    if (one_frame) obj_kill(obj);
    obj_set_priority(obj, prio);
    return obj;
}

// --- keys, colours, UVs ---------------------------------------------------------------------

RenderStateKey obj2d_base_key()
{
    return rstate_key_make(0, 0, 0, 1, 2, DISP_ALPHA_REF_OFF, 7, 0, 1);
}

RenderStateKey obj2d_key_with_blend(RenderStateKey key, int blend)
{
    const uint32_t mask = ((1u << DISP_RS_BLEND_BITS) - 1u) << DISP_RS_BLEND_SHIFT;
    return (key & ~mask) | ((uint32_t(blend) << DISP_RS_BLEND_SHIFT) & mask);
}

void obj2d_apply_key(RenderStateKey key, int shader_set, const void* params, uint32_t fvf)
{
    RstateMeshArgs a = {};
    a.shader_set = shader_set;
    a.params = params;
    a.decl = disp_fvf_to_lvf(fvf);
    disp_set_rstate_block(key, &a);
    disp_set_lvf_decl(a.decl);
}

uint32_t obj2d_colour_mul(uint32_t a, uint32_t b)
{
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        const int ca = int((a >> s) & 0xFFu), cb = int((b >> s) & 0xFFu);
        int c = (((ca + 1) * (cb + 1)) >> 8) - 1;
        if (c < 0) c = 0;
        out |= uint32_t(c) << s;
    }
    return out;
}

void obj2d_uv_select(const float corners[8], int rot, int flip, float u[4], float v[4])
{
    const int r = rot & 3;
    for (int k = 0; k < 4; ++k) {
        const int c = OBJ2D_UV_ROT[r][k];
        u[k] = corners[2 * c];
        v[k] = corners[2 * c + 1];
    }
    const bool even = (r & 1) == 0;
    if (flip & 4) {
        float* w = even ? u : v;
        swap_vals(w[0], w[1]);
        swap_vals(w[2], w[3]);
    }
    if (flip & 8) {
        float* w = even ? v : u;
        swap_vals(w[0], w[2]);
        swap_vals(w[1], w[3]);
    }
}

const TexRecord* obj2d_tex_record(ResHandle h) { return h ? disp_tex_lookup(h) : nullptr; }

// --- stages, scissor, draws ---------------------------------------------------------------

void obj2d_stages_begin()
{
    gfx_stage_ops(0, GFX_TOP_MODULATE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    gfx_stage_ops(1, GFX_TOP_MODULATE, GFX_TA_CURRENT, GFX_TA_TEXTURE);
}

void obj2d_stages_end()
{
    gfx_stage_ops(1, GFX_TOP_DISABLE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    // Unbinding through the stage cache leaves its filter entries unset, so
    // the linear filters set on stage 1 afterwards cannot disagree with it.
    for (int s = 0; s < TEX_STAGES; ++s) tex_set_stage(s, nullptr, 1);
    gfx_set_sampler_state(1, GFX_SAMP_MINFILTER, GFX_TEXF_LINEAR);
    gfx_set_sampler_state(1, GFX_SAMP_MAGFILTER, GFX_TEXF_LINEAR);
}

void obj2d_scissor_begin(Obj2dScissor* s)
{
    disp_get_scissor(&s->x, &s->y, &s->w, &s->h);
    s->set = 0;
}

void obj2d_scissor_apply(Obj2dScissor* s, int x, int y, int w, int h)
{
    if (w == 0) {
        if (s->set) disp_set_scissor(s->x, s->y, s->w, s->h);
        s->set = 0;
        return;
    }
    disp_set_scissor(x, y, w, h);
    s->set = 1;
}

void obj2d_scissor_end(Obj2dScissor* s)
{
    disp_set_scissor(s->x, s->y, s->w, s->h);
    s->set = 0;
}

void obj2d_draw_quads(int quads)
{
    if (quads <= 0) return;
    gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(quads) * 4, uint32_t(quads) * 2,
                                  tex_get_manager(), GFX_FMT_INDEX16, tex_get_vertex_scratch_a(),
                                  sizeof(TexVertexA));
}

int obj2d_param_set(void* block, int set, const char* name, const void* values, int elem_bytes,
                    int count)
{
    if (!block || !values || count <= 0 || elem_bytes <= 0) return 0;
    return shader_set_param(block, set, name, values, elem_bytes * count);
}
