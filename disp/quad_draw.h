// Immediate screen-quad drawers for 2D overlays and full-target passes.
//
// Main thread, between the scene's begin and end. Each drawer resets the
// render-state cache, applies its key (no lighting, no fog, cull NONE, no z
// write, solid fill) with its vertex format and no mesh data, binds the
// textures of its handles (resource handles, 0 = none) through the sampler-
// stage cache with the key's filter, draws its quads from the shared quad
// index list, and unbinds sampler stages 0 to 7 again.
//
// Coordinates follow the device's conventions: pixel centres on integers,
// upper-left origin. Pixel-space drawers place a rectangle's corners at
// -0.5 so that texel i lands on pixel i; the full-target drawers shift their
// clip-space corners by the same half pixel of the current viewport.
// Corner lists run top-left, top-right, bottom-left, bottom-right.
// Arguments run: where (rectangle or size), what (texture handles, corner
// data), the vertex colour 0xAARRGGBB, then the states.
//
// The drawers set no texture-stage operation and no alpha function: they
// draw with what the scene pass leaves (stage 0 texture x diffuse, alpha test
// "greater or equal"), so a vertex colour's alpha and the alpha-reference
// index take effect as they do for the scene's own draws.
// Every drawer returns 1 when it drew, 0 without a device, for an empty
// rectangle, or when the device refused the draw.
#pragma once

#include <cstdint>

#include "disp/rstate.h"

// --- value types -------------------------------------------------------------

// The fields of a drawer's key its caller chooses (indices of the value
// tables). The defaults draw opaque, untested, over everything, point-sampled.
struct QuadState {
    int blend = 0;                       // blend-mode index
    int alpha_ref = DISP_ALPHA_REF_OFF;  // alpha-reference index (5: test off)
    int zfunc = 7;                       // z-function index (7: ALWAYS)
    int filter = 0;                      // texture-filter index (0 point, 1 linear)
};

// Texture coordinates of the four corners (u, v), in corner order.
struct QuadUv {
    float uv[4][2];
};

// Sixteen floats per corner, in corner order: the eight texture sets of a
// vertex (set k = floats 2k, 2k + 1), for shaders that read them.
struct QuadCornerData {
    float f[4][16];
};

// --- full-target passes (XYZ, DIFFUSE, four equal texture sets; 48 bytes) ---
// The texture over the whole viewport; its coordinates span requested size
// over real size, so only the picture's own area is shown. `color` modulates
// the texture (0xFFFFFFFF draws it as it is). The quad lies at depth 0; the
// device transforms are identity while it is drawn and restored after.
int disp_draw_tex_full(uint32_t tex, uint32_t color, const QuadState& st);
// The same with the texture coordinates of the corners given.
int disp_draw_tex_full_b(uint32_t tex, const QuadUv& uv, uint32_t color, const QuadState& st);
// The same as disp_draw_tex_full; when `tex` names no texture and width and
// height are positive, the half-pixel shift is that of a width x height
// target instead of the viewport's.
int disp_draw_tex_full_c(uint32_t tex, int width, int height, uint32_t color, const QuadState& st);

// --- pixel-space quads (XYZRHW, DIFFUSE, two texture sets; 36 bytes) --------
// A width x height quad at the target's top-left corner, moved by the
// current screen's shake offsets when `shake` is nonzero. Set 0 spans 0 to
// requested / real size of the texture, set 1 runs from (-1, -1) to (1, 1).
int disp_draw_tex_quad(uint32_t tex, int width, int height, int shake, uint32_t color,
                       const QuadState& st);
// tex0 and tex1 on stages 0 and 1 over the current viewport, each set
// spanning its texture's requested / real size; moved by the current
// screen's shake offsets unless `no_shake` is nonzero.
int disp_draw_view_quad(uint32_t tex0, uint32_t tex1, int no_shake, uint32_t color,
                        const QuadState& st);
// The pixel rectangle (x, y, width, height) with tex0 and tex1 on stages 0
// and 1; each set's coordinates are the rectangle over that texture's real
// size, so the textures appear as laid over the target pixel for pixel.
int disp_draw_rect2(int x, int y, int width, int height, uint32_t tex0, uint32_t tex1,
                    uint32_t color, const QuadState& st);
// disp_draw_rect2 over the current viewport.
int disp_draw_rect2_vp(uint32_t tex0, uint32_t tex1, uint32_t color, const QuadState& st);
// disp_draw_rect2 with the coordinates of both sets given per corner.
int disp_draw_rect2_uv(int x, int y, int width, int height, uint32_t tex0, uint32_t tex1,
                       const QuadUv& uv0, const QuadUv& uv1, uint32_t color, const QuadState& st);
int disp_draw_rect2_uv_vp(uint32_t tex0, uint32_t tex1, const QuadUv& uv0, const QuadUv& uv1,
                          uint32_t color, const QuadState& st);

// --- pixel-space quads with eight texture sets (FVF 0x844; 84 bytes) --------
// disp_draw_rect2 with each corner's texture sets from `data`; z function
// ALWAYS and alpha test off, blend and filter indices from the arguments.
int disp_draw_rect_corners(int x, int y, int width, int height, uint32_t tex0, uint32_t tex1,
                           const QuadCornerData& data, uint32_t color, int blend, int filter);
int disp_draw_rect_corners_vp(uint32_t tex0, uint32_t tex1, const QuadCornerData& data,
                              uint32_t color, int blend, int filter);

// --- outlines ------------------------------------------------------------------
// The outline of the pixel rectangle (x, y, width, height), `thickness`
// pixels wide and inside it, untextured: four bands that do not overlap, so
// a translucent colour covers every pixel once. A thickness of half the
// rectangle or more fills it. Z ALWAYS, no z write, alpha test off; blending
// (source alpha) is on unless the colour's alpha is 0 or 255, both of which
// draw opaque.
int disp_draw_frame_px(int x, int y, int width, int height, int thickness, uint32_t color);
