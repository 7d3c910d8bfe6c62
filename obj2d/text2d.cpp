// The bitmap-font text type (see text2d.h).
#include "obj2d/text2d.h"
#include "obj2d/text2d_local.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "math/vm_2d.h"
#include "math/vm_table.h"
#include "obj2d/spr.h"

namespace {

Text2dWork* W(DrawObj* o) { return obj_work<Text2dWork>(o); }
const Text2dWork* W(const DrawObj* o) { return obj_work<Text2dWork>(o); }

// Longest name of "<font>_0000" kept.
constexpr size_t TEXT2D_FONT_NAME_MAX = 96;

bool starts_with(const char* s, const char* prefix, size_t n)
{
    return s && std::strncmp(s, prefix, n) == 0;
}

void format_text(DrawObj* obj, const char* format, va_list args)
{
    char buf[TEXT2D_MAX_CHARS + 1];
    std::vsnprintf(buf, sizeof(buf), format ? format : "", args);
    text2d_set_text(obj, buf);
}

DrawObj* create(ResGroupId g, const char* font_group, const char* font, int base, float x, float y,
                int align, int prio, bool one)
{
    DrawObj* o = obj2d_new(g, text2d_type());
    if (!o) return nullptr;
    text2d_set_font(o, font_group, font, base);
    text2d_set_pos(o, x, y);
    text2d_set_align(o, align);
    return obj2d_place(o, one, prio);
}

}  // namespace

int text2d_type() { return obj2d_type_id(OBJ2D_T2D_TEXT); }

void text2d_init(DrawObj* obj)
{
    Text2dWork* t = W(obj);
    std::memset(static_cast<void*>(t), 0, sizeof(Text2dWork));
    t->scale_x = t->scale_y = 1;
    t->colour = 0xFFFFFFFFu;
    t->blend = 1;
    t->base = 32;
    t->shadow_colour = 0xFF000000u;
    obj2d_show(obj);
}

// --- layout and draw ---------------------------------------------------------------------

int text2d_layout(DrawObj* obj, bool shadow, TexVertexA* out, float* width, float* height)
{
    Text2dWork* t = W(obj);
    float total = 0, line_h = 0;
    int quads = 0;
    const ResTexInfo* tex = res_tex_get(t->tex);
    if (t->first != 0 && tex && tex->height != 0) {
        const float H = std::fabs(t->height) >= 0.001f ? t->height : t->glyph_h;
        const float aspect = float(tex->width) / float(tex->height);
        const float pen_y = -0.5f;
        float pen_x = -0.5f;
        for (int i = 0; i < t->length && i < TEXT2D_MAX_CHARS; ++i) {
            const int idx = int(static_cast<unsigned char>(t->text[i])) - int(t->base);
            if (idx < 0 || t->first + ResHandle(idx) > t->end) continue;
            const ResCrop* crop = res_crop_get(t->first + ResHandle(idx));
            // A glyph without height has no width either.
            if (!crop || crop->h == 0.0f) continue;
            const float gw = H * aspect * crop->w / crop->h;
            Text2dGlyph g = {0, 0, 1, 1, 0, 0.5f, 0.5f, t->colour};
            if (t->glyph_fn) t->glyph_fn(obj, i, &g, t->glyph_arg);
            const float sx = t->scale_x * g.scale_x, sy = t->scale_y * g.scale_y;
            const float row = H * t->scale_x;
            const float a = t->advance == 0.0f ? gw * t->scale_x : row * t->advance;
            if (out) {
                const float cx = a * g.pivot_x + pen_x + g.dx, cy = row * g.pivot_y + pen_y + g.dy;
                const float L = gw * g.pivot_x * sx, R = (1 - g.pivot_x) * gw * sx;
                const float T = H * g.pivot_y * sy, B = (1 - g.pivot_y) * H * sy;
                const float off[4][2] = {{-L, -T}, {R, -T}, {-L, B}, {R, B}};
                const float sn = vm_math_sin(g.rot), cs = vm_math_cos(g.rot);
                float uv[8];
                spr_uv_from_crop(uv, crop);
                const uint32_t colour = shadow ? t->shadow_colour : g.colour;
                for (int k = 0; k < 4; ++k) {
                    Vec2 p = {cx + off[k][0], cy + off[k][1]};
                    if (g.rot != 0.0f) p = obj2d_turn(cx, cy, off[k][0], off[k][1], sn, cs);
                    out[quads * 4 + k] =
                        TexVertexA{p.x, p.y, 0, 1, colour, uv[2 * k], uv[2 * k + 1], 0, 0};
                }
            }
            ++quads;
            if (row > line_h) line_h = row;
            total += a;
            pen_x += a;
        }
    }
    if (out) {
        const float sn = vm_math_sin(t->rot), cs = vm_math_cos(t->rot);
        const float ox = shadow ? t->shadow_x : 0.0f, oy = shadow ? t->shadow_y : 0.0f;
        for (int k = 0; k < quads * 4; ++k) {
            TexVertexA& v = out[k];
            const float fx = v.x - total * t->anchor_x, fy = v.y - line_h * t->anchor_y;
            Vec2 p = {t->x + fx, t->y + fy};
            if (t->rot != 0.0f) p = obj2d_turn(t->x, t->y, fx, fy, sn, cs);
            v.x = p.x + ox;
            v.y = p.y + oy;
        }
    }
    if (width) *width = total;
    if (height) *height = line_h;
    return quads;
}

void text2d_measure(DrawObj* obj, float* width, float* height)
{
    text2d_layout(obj, false, nullptr, width, height);
}

void text2d_draw(DrawObj** run, int count)
{
    obj2d_stages_begin();
    text2d_draw_objs(run, count, nullptr, 0xFFFFFFFFu);
    obj2d_stages_end();
}

void text2d_draw_objs(DrawObj** run, int count, const Mat3x2* extra, uint32_t extra_colour)
{
    const RenderStateKey base = obj2d_base_key();
    TexVertexA* verts = tex_get_vertex_scratch_a();
    const auto pass = [&](DrawObj* o, bool shadow) {
        const int quads = text2d_layout(o, shadow, verts, nullptr, nullptr);
        for (int k = 0; k < quads * 4 && (extra || extra_colour != 0xFFFFFFFFu); ++k) {
            TexVertexA& v = verts[k];
            if (extra) {
                Vec2 p = {v.x, v.y};
                vm_mat3x2_transform_point(&p, extra, &p);
                v.x = p.x, v.y = p.y;
            }
            if (extra_colour != 0xFFFFFFFFu) v.color = obj2d_colour_mul(v.color, extra_colour);
        }
        obj2d_draw_quads(quads);
    };
    for (int i = 0; i < count; ++i) {
        Text2dWork* t = W(run[i]);
        if (t->first == 0) continue;
        obj2d_apply_key(obj2d_key_with_blend(base, t->blend), t->shader, t->params, OBJ2D_FVF);
        tex_set_stage(0, obj2d_tex_record(t->tex), 1);
        if (t->shadow_flags & 1u) pass(run[i], true);
        pass(run[i], false);
    }
}

// --- creators ------------------------------------------------------------------------------

DrawObj* text2d_create(ResGroupId g, const char* font_group, const char* font, int base,
                       uint32_t colour, float x, float y, float sx, float sy, int align, int prio)
{
    DrawObj* o = create(g, font_group, font, base, x, y, align, prio, false);
    if (!o) return nullptr;
    text2d_set_colour(o, colour);
    text2d_set_scale(o, sx, sy);
    return o;
}

DrawObj* text2d_create_simple(ResGroupId g, const char* font_group, const char* font, int base,
                              float x, float y, int align, int prio)
{
    return create(g, font_group, font, base, x, y, align, prio, false);
}

DrawObj* text2d_printf_1f(ResGroupId g, const char* font_group, const char* font, int base,
                          uint32_t colour, float x, float y, float sx, float sy, int align,
                          int prio, const char* format, ...)
{
    DrawObj* o = create(g, font_group, font, base, x, y, align, prio, true);
    if (!o) return nullptr;
    text2d_set_colour(o, colour);
    text2d_set_scale(o, sx, sy);
    va_list args;
    va_start(args, format);
    format_text(o, format, args);
    va_end(args);
    return o;
}

// --- setters -------------------------------------------------------------------------------

void text2d_set_font(DrawObj* obj, const char* font_group, const char* font, int base)
{
    if (!font) return;
    const size_t n = std::strlen(font);
    if (n > TEXT2D_FONT_NAME_MAX) return;
    char first_name[TEXT2D_FONT_NAME_MAX + 8];
    std::snprintf(first_name, sizeof(first_name), "%s_0000", font);
    const ResHandle first = res_crop_find(font_group, first_name);
    const ResCrop* crop = res_crop_get(first);
    const ResTexInfo* tex = crop ? res_tex_get(crop->tex) : nullptr;
    if (!tex) return;
    // The last glyph is the last consecutive crop named after the font; the
    // crop of another name that ends the scan is not a glyph.
    ResHandle end = first;
    const ResHandle count = ResHandle(res_crop_count());
    while (end < count && starts_with(res_crop_name(end + 1), font, n)) ++end;
    Text2dWork* t = W(obj);
    t->first = first;
    t->end = end;
    t->tex = crop->tex;
    t->base = uint8_t(base);
    t->glyph_h = float(tex->height) * crop->h;
}

void text2d_set_text(DrawObj* obj, const char* text)
{
    Text2dWork* t = W(obj);
    if (!text) {
        // Without text there is nothing to draw or measure.
        std::memset(t->text, 0, sizeof(t->text));
        t->length = 0;
        return;
    }
    const size_t n = strnlen(text, TEXT2D_MAX_CHARS + 1);
    if (n > size_t(TEXT2D_MAX_CHARS)) return;
    std::memcpy(t->text, text, n);
    t->text[n] = 0;
    t->length = uint16_t(n);
}

void text2d_printf(DrawObj* obj, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    format_text(obj, format, args);
    va_end(args);
}

void text2d_set_pos(DrawObj* o, float x, float y)
{
    W(o)->x = x;
    W(o)->y = y;
}
void text2d_set_height(DrawObj* o, float h) { W(o)->height = h; }
void text2d_set_anchor(DrawObj* o, float x, float y)
{
    W(o)->anchor_x = x;
    W(o)->anchor_y = y;
}
void text2d_set_align(DrawObj* o, int f)
{
    W(o)->anchor_x = (f & 2) ? 0.5f : (f & 1) ? 1.0f : 0.0f;
    W(o)->anchor_y = (f & 8) ? 0.5f : (f & 4) ? 1.0f : 0.0f;
}
void text2d_set_scale(DrawObj* o, float x, float y)
{
    W(o)->scale_x = x;
    W(o)->scale_y = y;
}
void text2d_set_rot(DrawObj* o, float rad) { W(o)->rot = rad; }
void text2d_set_advance(DrawObj* o, float factor) { W(o)->advance = factor; }
void text2d_set_colour(DrawObj* o, uint32_t colour) { W(o)->colour = colour; }
void text2d_set_shader(DrawObj* o, int set, const void* params, int bytes)
{
    Text2dWork* t = W(o);
    t->shader = int16_t(set);
    if (params && bytes > 0)
        std::memcpy(t->params, params,
                    size_t(bytes < OBJ2D_PARAM_BYTES ? bytes : OBJ2D_PARAM_BYTES));
}
void text2d_set_blend(DrawObj* o, int blend) { W(o)->blend = int16_t(blend); }
void text2d_shadow_enable(DrawObj* o, int enable)
{
    if (enable)
        W(o)->shadow_flags |= 1u;
    else
        W(o)->shadow_flags &= ~1u;
}
void text2d_set_shadow_offset(DrawObj* o, float x, float y)
{
    W(o)->shadow_x = x;
    W(o)->shadow_y = y;
}
void text2d_set_shadow_colour(DrawObj* o, uint32_t colour) { W(o)->shadow_colour = colour; }
void text2d_set_shadow(DrawObj* o, float x, float y, uint32_t colour)
{
    text2d_set_shadow_offset(o, x, y);
    text2d_set_shadow_colour(o, colour);
    text2d_shadow_enable(o, 1);
}
void text2d_set_glyph_callback(DrawObj* o, Text2dGlyphFn fn, void* arg)
{
    W(o)->glyph_fn = fn;
    W(o)->glyph_arg = arg;
}

// --- getters -------------------------------------------------------------------------------

float text2d_get_x(const DrawObj* o) { return W(o)->x; }
float text2d_get_y(const DrawObj* o) { return W(o)->y; }
float text2d_get_height(const DrawObj* o) { return W(o)->height; }
float text2d_get_anchor_x(const DrawObj* o) { return W(o)->anchor_x; }
float text2d_get_anchor_y(const DrawObj* o) { return W(o)->anchor_y; }
float text2d_get_scale_x(const DrawObj* o) { return W(o)->scale_x; }
float text2d_get_scale_y(const DrawObj* o) { return W(o)->scale_y; }
float text2d_get_rot(const DrawObj* o) { return W(o)->rot; }
int text2d_get_glyph_height(const DrawObj* o) { return int(W(o)->glyph_h); }
