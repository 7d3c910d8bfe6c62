// Immediate screen-quad drawers (see quad_draw.h).
#include "disp/quad_draw.h"

#include <algorithm>
#include <cstring>

#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "math/vm_color.h"
#include "math/vm_types.h"
#include "plat/gfx_draw.h"

namespace {

constexpr uint32_t DISP_DRAW_FVF_FULL =
    GFX_FVF_XYZ | GFX_FVF_DIFFUSE | (4u << GFX_FVF_TEXCOUNT_SHIFT);
constexpr uint32_t DISP_DRAW_FVF_PIXEL =
    GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (2u << GFX_FVF_TEXCOUNT_SHIFT);
constexpr uint32_t DISP_DRAW_FVF_CORNERS =
    GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (8u << GFX_FVF_TEXCOUNT_SHIFT);
static_assert(DISP_DRAW_FVF_FULL == 0x442 && DISP_DRAW_FVF_PIXEL == 0x244 &&
              DISP_DRAW_FVF_CORNERS == 0x844);

constexpr int DISP_DRAW_CULL_NONE = 2;
constexpr int DISP_DRAW_Z_FUNC_ALWAYS = 7;
constexpr int DISP_DRAW_BLEND_ALPHA = 1;  // source alpha over inverse source alpha
constexpr int DISP_DRAW_FILTER_LINEAR = 1;

// The key every drawer builds: the state's fields, cull NONE, no lighting,
// fog or z write, and the cache reset bit.
RenderStateKey quad_key(const QuadState& st)
{
    return rstate_key_make(0, 0, 0, st.blend, DISP_DRAW_CULL_NONE, st.alpha_ref, st.zfunc, 0,
                           st.filter) |
           DISP_RS_CACHE_RESET;
}

// One vertex of the full-target passes (FVF 0x442).
struct FullVertex {
    float x, y, z;
    uint32_t color;
    float uv[4][2];
};
static_assert(sizeof(FullVertex) == 48);

// One vertex of the eight-set quads (FVF 0x844).
struct CornerVertex {
    float x, y, z, rhw;
    uint32_t color;
    float t[16];
};
static_assert(sizeof(CornerVertex) == 84);

// A rectangle in target pixels: [x0, x1) x [y0, y1).
struct PixelBox {
    float x0, y0, x1, y1;
};

// Corner k of a box in corner order, placed at -0.5 so that texel i lands on
// pixel i.
float corner_x(const PixelBox& b, int k) { return ((k & 1) ? b.x1 : b.x0) - 0.5f; }
float corner_y(const PixelBox& b, int k) { return ((k & 2) ? b.y1 : b.y0) - 0.5f; }

PixelBox box_of(int x, int y, int width, int height)
{
    return {float(x), float(y), float(x) + float(width), float(y) + float(height)};
}

PixelBox viewport_box()
{
    const GfxViewport vp = disp_get_viewport();
    return box_of(vp.x, vp.y, vp.width, vp.height);
}

bool box_empty(const PixelBox& b) { return !(b.x1 > b.x0 && b.y1 > b.y0); }

PixelBox moved(PixelBox b, float dx, float dy)
{
    return {b.x0 + dx, b.y0 + dy, b.x1 + dx, b.y1 + dy};
}

PixelBox shaken(const PixelBox& b)
{
    const int s = cam_get_cur_screen();
    return moved(b, cam_get_shake_x(s), cam_get_shake_y(s));
}

QuadUv uv_box(float u0, float v0, float u1, float v1)
{
    return {{{u0, v0}, {u1, v0}, {u0, v1}, {u1, v1}}};
}

// A texture handle's record when it holds a texture, else null.
const TexRecord* tex_of(uint32_t handle)
{
    const TexRecord* t = handle ? disp_tex_lookup(handle) : nullptr;
    return (t && t->texture && t->real_w && t->real_h) ? t : nullptr;
}

// 0 to requested / real size: the texture's own picture, without padding.
QuadUv uv_picture(const TexRecord* t)
{
    if (!t) return uv_box(0.0f, 0.0f, 1.0f, 1.0f);
    return uv_box(0.0f, 0.0f, float(t->req_w) / float(t->real_w),
                  float(t->req_h) / float(t->real_h));
}

// The box over the texture's real size: the texture laid over the target.
QuadUv uv_laid_over(const TexRecord* t, const PixelBox& b)
{
    if (!t) return uv_box(0.0f, 0.0f, 0.0f, 0.0f);
    const float w = float(t->real_w), h = float(t->real_h);
    return uv_box(b.x0 / w, b.y0 / h, b.x1 / w, b.y1 / h);
}

// Applies the key, binds the textures, draws `quads` quads of `vertices`
// from the shared index list and unbinds every stage.
int draw_quads(RenderStateKey key, uint32_t fvf, const TexRecord* t0, const TexRecord* t1,
               const void* vertices, int quads, uint32_t stride)
{
    if (!disp_device_ok()) return 0;
    disp_set_rstate_key_fvf(key, fvf);
    disp_set_lvf_decl(disp_fvf_to_lvf(fvf));
    const int filter = int(disp_rstate_field(key, DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS));
    tex_set_stage(0, t0, filter);
    tex_set_stage(1, t1, filter);
    const uint32_t n = uint32_t(quads);
    const GfxHr hr = gfx_draw_indexed_primitive_up(
        GFX_PT_TRIANGLELIST, 0, 4 * n, 2 * n, tex_get_manager(), GFX_FMT_INDEX16, vertices, stride);
    disp_unbind_stages_from(0);
    return gfx_ok(hr) ? 1 : 0;
}

// Writes one pixel-space quad at v[0..3].
void put_pixel_quad(TexVertexA* v, const PixelBox& b, uint32_t color, const QuadUv& uv0,
                    const QuadUv& uv1)
{
    for (int k = 0; k < 4; ++k) {
        v[k] = {corner_x(b, k), corner_y(b, k), 0.0f,         1.0f,        color,
                uv0.uv[k][0],   uv0.uv[k][1],   uv1.uv[k][0], uv1.uv[k][1]};
    }
}

int draw_pixel_quad(const PixelBox& b, const TexRecord* t0, const TexRecord* t1, const QuadUv& uv0,
                    const QuadUv& uv1, uint32_t color, RenderStateKey key)
{
    if (box_empty(b)) return 0;
    TexVertexA* v = tex_get_vertex_scratch_a();
    put_pixel_quad(v, b, color, uv0, uv1);
    return draw_quads(key, DISP_DRAW_FVF_PIXEL, t0, t1, v, 1, sizeof(TexVertexA));
}

int draw_rect2(const PixelBox& b, uint32_t tex0, uint32_t tex1, uint32_t color, const QuadState& st)
{
    const TexRecord* t0 = tex_of(tex0);
    const TexRecord* t1 = tex_of(tex1);
    return draw_pixel_quad(b, t0, t1, uv_laid_over(t0, b), uv_laid_over(t1, b), color,
                           quad_key(st));
}

int draw_corners(const PixelBox& b, uint32_t tex0, uint32_t tex1, const QuadCornerData& data,
                 uint32_t color, int blend, int filter)
{
    if (box_empty(b)) return 0;
    CornerVertex v[4];
    for (int k = 0; k < 4; ++k) {
        v[k] = {corner_x(b, k), corner_y(b, k), 0.0f, 1.0f, color, {}};
        std::memcpy(v[k].t, data.f[k], sizeof v[k].t);
    }
    uint8_t* scratch = tex_get_vertex_scratch_b();
    std::memcpy(scratch, v, sizeof v);
    QuadState st;
    st.blend = blend;
    st.alpha_ref = DISP_ALPHA_REF_OFF;
    st.zfunc = DISP_DRAW_Z_FUNC_ALWAYS;
    st.filter = filter;
    return draw_quads(quad_key(st), DISP_DRAW_FVF_CORNERS, tex_of(tex0), tex_of(tex1), scratch, 1,
                      sizeof(CornerVertex));
}

// The full-target quad in clip space, shifted by half a pixel of a
// grid_w x grid_h target. Clip-space corners need identity transforms; the
// caller's are put back afterwards.
int draw_full(const TexRecord* t, const QuadUv& uv, int grid_w, int grid_h, uint32_t color,
              const QuadState& st)
{
    if (!disp_device_ok()) return 0;
    const float dx = 1.0f / float(std::max(grid_w, 1));
    const float dy = 1.0f / float(std::max(grid_h, 1));
    FullVertex v[4];
    for (int k = 0; k < 4; ++k) {
        v[k] = {((k & 1) ? 1.0f : -1.0f) - dx, ((k & 2) ? -1.0f : 1.0f) + dy, 0.0f, color, {}};
        for (auto& set : v[k].uv) {
            set[0] = uv.uv[k][0];
            set[1] = uv.uv[k][1];
        }
    }
    uint8_t* scratch = tex_get_vertex_scratch_b();
    std::memcpy(scratch, v, sizeof v);

    float saved[GFX_TS_COUNT][16];
    for (int i = 0; i < GFX_TS_COUNT; ++i) {
        gfx_get_transform(GfxTransform(i), saved[i]);
        gfx_set_transform(GfxTransform(i), VM_MAT_IDENTITY.m);
    }
    const int drawn =
        draw_quads(quad_key(st), DISP_DRAW_FVF_FULL, t, nullptr, scratch, 1, sizeof(FullVertex));
    for (int i = 0; i < GFX_TS_COUNT; ++i) gfx_set_transform(GfxTransform(i), saved[i]);
    return drawn;
}

int draw_full_on_viewport(const TexRecord* t, const QuadUv& uv, uint32_t color, const QuadState& st)
{
    const GfxViewport vp = disp_get_viewport();
    return draw_full(t, uv, vp.width, vp.height, color, st);
}

}  // namespace

// --- full-target passes --------------------------------------------------------

int disp_draw_tex_full(uint32_t tex, uint32_t color, const QuadState& st)
{
    const TexRecord* t = tex_of(tex);
    return draw_full_on_viewport(t, uv_picture(t), color, st);
}

int disp_draw_tex_full_b(uint32_t tex, const QuadUv& uv, uint32_t color, const QuadState& st)
{
    return draw_full_on_viewport(tex_of(tex), uv, color, st);
}

int disp_draw_tex_full_c(uint32_t tex, int width, int height, uint32_t color, const QuadState& st)
{
    const TexRecord* t = tex_of(tex);
    if (!t && width > 0 && height > 0) return draw_full(t, uv_picture(t), width, height, color, st);
    return draw_full_on_viewport(t, uv_picture(t), color, st);
}

// --- pixel-space quads -----------------------------------------------------------

int disp_draw_tex_quad(uint32_t tex, int width, int height, int shake, uint32_t color,
                       const QuadState& st)
{
    const TexRecord* t = tex_of(tex);
    PixelBox b = box_of(0, 0, width, height);
    if (shake) b = shaken(b);
    return draw_pixel_quad(b, t, nullptr, uv_picture(t), uv_box(-1.0f, -1.0f, 1.0f, 1.0f), color,
                           quad_key(st));
}

int disp_draw_view_quad(uint32_t tex0, uint32_t tex1, int no_shake, uint32_t color,
                        const QuadState& st)
{
    const TexRecord* t0 = tex_of(tex0);
    const TexRecord* t1 = tex_of(tex1);
    PixelBox b = viewport_box();
    if (!no_shake) b = shaken(b);
    return draw_pixel_quad(b, t0, t1, uv_picture(t0), uv_picture(t1), color, quad_key(st));
}

int disp_draw_rect2(int x, int y, int width, int height, uint32_t tex0, uint32_t tex1,
                    uint32_t color, const QuadState& st)
{
    return draw_rect2(box_of(x, y, width, height), tex0, tex1, color, st);
}

int disp_draw_rect2_vp(uint32_t tex0, uint32_t tex1, uint32_t color, const QuadState& st)
{
    return draw_rect2(viewport_box(), tex0, tex1, color, st);
}

int disp_draw_rect2_uv(int x, int y, int width, int height, uint32_t tex0, uint32_t tex1,
                       const QuadUv& uv0, const QuadUv& uv1, uint32_t color, const QuadState& st)
{
    return draw_pixel_quad(box_of(x, y, width, height), tex_of(tex0), tex_of(tex1), uv0, uv1, color,
                           quad_key(st));
}

int disp_draw_rect2_uv_vp(uint32_t tex0, uint32_t tex1, const QuadUv& uv0, const QuadUv& uv1,
                          uint32_t color, const QuadState& st)
{
    return draw_pixel_quad(viewport_box(), tex_of(tex0), tex_of(tex1), uv0, uv1, color,
                           quad_key(st));
}

int disp_draw_rect_corners(int x, int y, int width, int height, uint32_t tex0, uint32_t tex1,
                           const QuadCornerData& data, uint32_t color, int blend, int filter)
{
    return draw_corners(box_of(x, y, width, height), tex0, tex1, data, color, blend, filter);
}

int disp_draw_rect_corners_vp(uint32_t tex0, uint32_t tex1, const QuadCornerData& data,
                              uint32_t color, int blend, int filter)
{
    return draw_corners(viewport_box(), tex0, tex1, data, color, blend, filter);
}

// --- outlines ----------------------------------------------------------------------

int disp_draw_frame_px(int x, int y, int width, int height, int thickness, uint32_t color)
{
    if (width <= 0 || height <= 0 || thickness <= 0) return 0;
    // Top and bottom bands take the full width, the sides fill the height
    // between them; a thickness past the middle leaves the later bands empty.
    const int top = std::min(thickness, height);
    const int bottom = std::min(thickness, height - top);
    const int left = std::min(thickness, width);
    const int right = std::min(thickness, width - left);
    const PixelBox r = box_of(x, y, width, height);
    const PixelBox bands[4] = {
        {r.x0, r.y0, r.x1, r.y0 + float(top)},
        {r.x0, r.y1 - float(bottom), r.x1, r.y1},
        {r.x0, r.y0 + float(top), r.x0 + float(left), r.y1 - float(bottom)},
        {r.x1 - float(right), r.y0 + float(top), r.x1, r.y1 - float(bottom)},
    };
    TexVertexA* v = tex_get_vertex_scratch_a();
    const QuadUv none = uv_box(0.0f, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 4; ++i) put_pixel_quad(v + 4 * i, bands[i], color, none, none);

    const uint32_t alpha = color_a(color);
    QuadState st;
    st.blend = (alpha == 0 || alpha == 255) ? 0 : DISP_DRAW_BLEND_ALPHA;
    st.alpha_ref = DISP_ALPHA_REF_OFF;
    st.zfunc = DISP_DRAW_Z_FUNC_ALWAYS;
    st.filter = DISP_DRAW_FILTER_LINEAR;
    return draw_quads(quad_key(st), DISP_DRAW_FVF_PIXEL, nullptr, nullptr, v, 4,
                      sizeof(TexVertexA));
}
