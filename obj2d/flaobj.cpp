// The vector-animation object type (see flaobj.h).
#include "obj2d/flaobj.h"

#include <cstring>

#include "disp/d3d9.h"
#include "math/vm_2d.h"
#include "obj2d/spr.h"
#include "obj2d/text2d.h"
#include "plat/gfx_draw.h"

namespace {

FlaObjWork* W(DrawObj* o) { return obj_work<FlaObjWork>(o); }
FlaPlayer* P(DrawObj* o) { return W(o)->player; }

void no_hook(void*) {}

// Draws one batch of the player with the object's state.
void batch_draw(const FlaVertex* verts, const uint16_t* indices, int vertex_count, int,
                int tri_count, ResHandle tex, void* arg)
{
    const FlaObjWork* w = static_cast<const FlaObjWork*>(arg);
    obj2d_apply_key(w->key, w->shader, w->params, FLAOBJ_FVF);
    tex_set_stage(0, obj2d_tex_record(tex), 1);
    // A bound sprite drawn in between may have left its second texture on
    // stage 1, which modulates; movies have none (a cache hit otherwise).
    tex_set_stage(1, nullptr, 1);
    gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(vertex_count),
                                  uint32_t(tri_count), indices, GFX_FMT_INDEX16, verts,
                                  sizeof(FlaVertex));
}

// The placed, unrotated stage rectangle; a negative scale turns it around.
void clip_rect(const FlaObjWork* w, float W_, float H_, int r[4])
{
    int x = int(-W_ * w->pivot_x * w->scale_x + w->x);
    int y = int(-H_ * w->pivot_y * w->scale_y + w->y);
    int cw = int(W_ * w->scale_x), ch = int(H_ * w->scale_y);
    if (cw < 0) x += cw, cw = -cw;
    if (ch < 0) y += ch, ch = -ch;
    r[0] = x, r[1] = y, r[2] = cw, r[3] = ch;
}

Mat3x2 placement(const FlaObjWork* w, float W_, float H_, const Mat3x2* extra)
{
    Mat3x2 m;
    const Vec2 pos = {w->x, w->y}, scale = {w->scale_x, w->scale_y};
    const Vec2 shift = {-W_ * w->pivot_x, -H_ * w->pivot_y};
    vm_mat3x2_rotation(&m, &pos, w->rot);
    vm_mat3x2_scale(&m, &m, &scale);
    vm_mat3x2_translate(&m, &m, &shift);
    if (extra) vm_mat3x2_mul(&m, extra, &m);
    return m;
}

}  // namespace

// --- type callbacks ----------------------------------------------------------------------

int flaobj_type() { return obj2d_type_id(OBJ2D_T2D_FLA); }

void flaobj_init(DrawObj* obj)
{
    FlaObjWork* w = W(obj);
    std::memset(static_cast<void*>(w), 0, sizeof *w);
    w->scale_x = w->scale_y = 1.0f;
    w->colour = 0xFFFFFFFFu;
    w->blend = 1;
    w->filter = -1;
    w->player = fla_player_alloc();
    obj2d_show(obj);
}

void flaobj_exit(DrawObj* obj)
{
    FlaObjWork* w = W(obj);
    if (!w->player) return;
    fla_player_free(w->player);
    w->player = nullptr;
}

void flaobj_draw(DrawObj** run, int count)
{
    obj2d_stages_begin();
    flaobj_draw_objs(run, count, nullptr, 0xFFFFFFFFu);
    obj2d_stages_end();
}

void flaobj_draw_objs(DrawObj** objs, int count, const Mat3x2* extra, uint32_t extra_colour)
{
    const RenderStateKey base = obj2d_base_key();
    obj2d_apply_key(base, 0, nullptr, FLAOBJ_FVF);
    Obj2dScissor sc;
    obj2d_scissor_begin(&sc);
    if (!fla_batch_init()) return;  // nested too deeply
    for (int i = 0; i < count; ++i) {
        FlaObjWork* w = W(objs[i]);
        if (!w->player) continue;
        const float sw = float(fla_player_get_width(w->player));
        const float sh = float(fla_player_get_height(w->player));
        // Pending triangles belong to the previous scissor rectangle.
        if (w->clip) {
            int r[4];
            clip_rect(w, sw, sh, r);
            fla_batch_flush();
            disp_set_scissor(r[0], r[1], r[2], r[3]);
            sc.set = 1;
        } else if (sc.set) {
            fla_batch_flush();
            obj2d_scissor_apply(&sc, 0, 0, 0, 0);
        }
        w->key = obj2d_key_with_blend(base, w->blend);
        *fla_player_matrix(w->player) = placement(w, sw, sh, extra);
        fla_player_set_colour(w->player, extra_colour == 0xFFFFFFFFu
                                             ? w->colour
                                             : obj2d_colour_mul(w->colour, extra_colour));
        fla_player_draw(w->player, no_hook, batch_draw, no_hook, w);
    }
    fla_batch_term();
    obj2d_scissor_end(&sc);
}

void obj2d_draw_one(DrawObj* obj, const Mat3x2* extra, uint32_t extra_colour)
{
    if (!obj || !obj->type) return;
    const int type = obj->type;
    if (type == spr_type())
        spr_draw_objs(&obj, 1, extra, extra_colour);
    else if (type == text2d_type())
        text2d_draw_objs(&obj, 1, extra, extra_colour);
    else if (type == flaobj_type())
        flaobj_draw_objs(&obj, 1, extra, extra_colour);
}

// --- creator ------------------------------------------------------------------------------

DrawObj* flaobj_create(ResGroupId group, ResHandle movie, float x, float y, float px, float py,
                       float sx, float sy, int prio)
{
    DrawObj* o = obj2d_new(group, flaobj_type());
    if (!o) return nullptr;
    obj2d_show(o);
    obj_set_priority(o, prio);
    flaobj_set_movie(o, movie);
    flaobj_set_pos(o, x, y);
    flaobj_set_pivot(o, px, py);
    flaobj_set_scale(o, sx, sy);
    return o;
}

// --- movie and playback ---------------------------------------------------------------------

void flaobj_set_movie(DrawObj* o, ResHandle movie)
{
    fla_player_set_movie(P(o), movie);
    fla_player_resume(P(o));
}

void flaobj_set_images(DrawObj* o, int64_t movie, const FlaObjImage* list, int count)
{
    if (movie != -1) flaobj_set_movie(o, ResHandle(movie));
    for (int i = 0; list && i < count; ++i) {
        const ResHandle crop = list[i].crop_group && list[i].crop
                                   ? res_crop_find(list[i].crop_group, list[i].crop)
                                   : 0;
        fla_asset_set_crop(P(o), list[i].asset, crop);
    }
}

void flaobj_tick(DrawObj* o) { fla_player_tick(P(o)); }
void flaobj_resume(DrawObj* o) { fla_player_resume(P(o)); }
void flaobj_pause(DrawObj* o) { fla_player_pause(P(o)); }
void flaobj_rewind(DrawObj* o) { fla_player_rewind(P(o)); }
void flaobj_set_speed(DrawObj* o, float speed) { fla_player_set_speed(P(o), speed); }
void flaobj_set_loop(DrawObj* o, int flag) { fla_player_set_loop(P(o), flag); }
DrawObj* flaobj_bind_obj(DrawObj* o, const char* asset) { return fla_asset_bind_obj(P(o), asset); }
void flaobj_unbind_obj(DrawObj* o, const char* asset) { fla_asset_unbind_obj(P(o), asset); }
int flaobj_get_frame(DrawObj* o) { return fla_player_get_frame(P(o)); }
int flaobj_get_frame_count(DrawObj* o) { return fla_player_get_frame_count(P(o)); }
int flaobj_get_loop_count(DrawObj* o) { return fla_player_get_loop_count(P(o)); }
int flaobj_is_ended(DrawObj* o) { return fla_player_is_ended(P(o)); }
int flaobj_get_width(DrawObj* o) { return fla_player_get_width(P(o)); }
int flaobj_get_height(DrawObj* o) { return fla_player_get_height(P(o)); }
FlaPlayer* flaobj_player(DrawObj* o) { return P(o); }

// --- placement and state --------------------------------------------------------------------

void flaobj_set_pos(DrawObj* o, float x, float y) { W(o)->x = x, W(o)->y = y; }
void flaobj_set_pivot(DrawObj* o, float x, float y) { W(o)->pivot_x = x, W(o)->pivot_y = y; }
void flaobj_set_scale(DrawObj* o, float x, float y) { W(o)->scale_x = x, W(o)->scale_y = y; }
void flaobj_set_rot(DrawObj* o, float rad) { W(o)->rot = rad; }
void flaobj_set_colour(DrawObj* o, uint32_t argb) { W(o)->colour = argb; }
void flaobj_set_shader(DrawObj* o, int set) { W(o)->shader = int16_t(set); }
void flaobj_set_blend(DrawObj* o, int blend) { W(o)->blend = int16_t(blend); }
void flaobj_set_clip(DrawObj* o, int flag) { W(o)->clip = int16_t(flag); }
void flaobj_set_filter(DrawObj* o, int filter) { W(o)->filter = int16_t(filter); }

int flaobj_set_param_int(DrawObj* o, const char* n, const int32_t* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 4, c);
}
int flaobj_set_param_float(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 4, c);
}
int flaobj_set_param_float2(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 8, c);
}
int flaobj_set_param_float3(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 12, c);
}
int flaobj_set_param_float4(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 16, c);
}
int flaobj_set_param_matrix(DrawObj* o, const char* n, const float* v, int c)
{
    return obj2d_param_set(W(o)->params, W(o)->shader, n, v, 64, c);
}
