// Sprite objects: textured quads placed in 3D space and drawn among the 3D
// priorities. One draw-object type with three kinds sharing one record:
// camera-facing billboards, camera-facing beams between two points, and
// quads of four explicit corners. qspr_draw_all, their draw callback, culls
// a run against the view, sorts it far to near and sends the quads in as few
// indexed draws as the state changes allow (qspr_draw.cpp; what the two
// files share is in qspr_local.h).
//
// Main thread; drawn inside a screen's 3D pass. Accessors take a live sprite
// object of the right kind and return its record (the kinds share storage);
// corner, colour and coordinate indices outside 0..3 are ignored.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "disp/obj.h"
#include "res/res.h"

constexpr int QSPR_PARAM_BYTES = 92;
constexpr int QSPR_PRIO = 75;
constexpr int QSPR_BATCH_QUADS = 4096;
constexpr uint32_t QSPR_FVF = 0x252;

enum QsprKind : uint8_t { QSPR_BILLBOARD = 0, QSPR_BEAM = 1, QSPR_CORNERS = 2 };

struct QsprBillboard {
    Vec3 centre;
    float w, h;
    float view_off, view_off_sq;  // distance along the eye ray and its signed square
    float uv1[4], uv2[4];         // umin, vmin, umax, vmax
    float pivot_x, pivot_y;       // x from the left edge, y from the bottom edge
    float scale_x, scale_y;
    float roll;  // radians
    uint32_t colour;
    uint32_t lighting;
};
struct QsprBeam {
    Vec3 end[2];
    float width, ext;      // ext: length extension
    float uv1[8], uv2[8];  // (umin, vmin), (umax, vmin), (umin, vmax), (umax, vmax)
    uint32_t colour[2];
    uint32_t mode;
};
struct QsprCorners {
    Vec3 corner[4];
    float uv1[8], uv2[8];  // a (u, v) pair per corner
    uint32_t colour[4];
    Vec3 pos, rot, scale;  // the placement used while use_mat is set
    uint32_t use_mat;
    float radius;  // bounding radius, written by the draw
};

struct QsprWork {
    uint8_t kind;
    uint8_t pass_b;  // also drawn in pass B
    uint8_t blend;
    uint8_t zmode;
    uint32_t shader;
    unsigned char params[QSPR_PARAM_BYTES];
    ResHandle tex1, tex2;
    float value_a, value_b;  // handed to every vertex; b kept in 0..1
    union {                  // the kind's data; QsprCorners is the largest
        QsprBillboard bb;
        QsprBeam beam;
        QsprCorners quad;
    };
};
static_assert(sizeof(QsprWork) <= 292, "fits the registered work size");
static_assert(sizeof(QsprCorners) >= sizeof(QsprBillboard) &&
              sizeof(QsprCorners) >= sizeof(QsprBeam));

// --- registration and frame ----------------------------------------------------------
int qspr_type_register();  // the type number
void qspr_type_unregister();
void qspr_init(DrawObj* obj);
void qspr_frame_reset();
int qspr_get_drawn_count();
int qspr_get_draw_calls();
int qspr_type();
void qspr_draw_all(DrawObj** run, int count);

// --- creators (null when the pool is full; null pointers keep the defaults) ----------
DrawObj* qspr_bb_create(ResGroupId group, const Vec3* centre, float roll, float size,
                        ResHandle crop, uint32_t colour, int blend);
DrawObj* qspr_bb_create_1f(ResGroupId group, const Vec3* centre, float roll, float size,
                           ResHandle crop, uint32_t colour, int blend, float view_offset);
DrawObj* qspr_beam_create(ResGroupId group, const Vec3* end0, const Vec3* end1, float size,
                          uint32_t colour0, uint32_t colour1, ResHandle crop, int blend);
DrawObj* qspr_beam_create_1f(ResGroupId group, const Vec3* end0, const Vec3* end1, float size,
                             uint32_t colour0, uint32_t colour1, ResHandle crop, int blend);
DrawObj* qspr_quad_create_full(ResGroupId group, const Vec3* c0, const Vec3* c1, const Vec3* c2,
                               const Vec3* c3, uint32_t col0, uint32_t col1, uint32_t col2,
                               uint32_t col3, ResHandle crop, int blend);
DrawObj* qspr_quad_create_arr(ResGroupId group, const float* corners12, ResHandle crop, int blend);
DrawObj* qspr_quad_create(ResGroupId group, ResHandle crop, int blend);

// --- accessors every kind has, under each kind's prefix ---------------------------------
// Every use of the macros below has the names it makes written out beside it,
// so that a search for a name finds its declaration and its definition.
#define QSPR_COMMON_ACCESSORS(P)                                                                   \
    QsprWork* P##_set_pass_b(DrawObj* o, int flag);                                                \
    QsprWork* P##_set_blend(DrawObj* o, int blend);                                                \
    QsprWork* P##_set_zmode(DrawObj* o, int zfunc);                                                \
    QsprWork* P##_set_shader(DrawObj* o, int set);                                                 \
    int P##_set_param_int(DrawObj* o, const char* name, const int32_t* v, int n);                  \
    int P##_set_param_float(DrawObj* o, const char* name, const float* v, int n);                  \
    int P##_set_param_float2(DrawObj* o, const char* name, const float* v, int n);                 \
    int P##_set_param_float3(DrawObj* o, const char* name, const float* v, int n);                 \
    int P##_set_param_float4(DrawObj* o, const char* name, const float* v, int n);                 \
    int P##_set_param_matrix(DrawObj* o, const char* name, const float* v, int n);                 \
    QsprWork* P##_set_tex1(DrawObj* o, ResHandle tex);                                             \
    QsprWork* P##_set_tex2(DrawObj* o, ResHandle tex);                                             \
    ResHandle P##_get_tex1(DrawObj* o);                                                            \
    ResHandle P##_get_tex2(DrawObj* o);                                                            \
    QsprWork* P##_set_value_a(DrawObj* o, float v);                                                \
    QsprWork* P##_set_value_b(DrawObj* o, float v);                                                \
    QsprWork* P##_set_tex1_crop(DrawObj* o, ResHandle crop);                                       \
    QsprWork* P##_set_tex2_crop(DrawObj* o, ResHandle crop);
// Billboards: qspr_bb_set_pass_b, qspr_bb_set_blend, qspr_bb_set_zmode, qspr_bb_set_shader,
// qspr_bb_set_param_int, qspr_bb_set_param_float, qspr_bb_set_param_float2,
// qspr_bb_set_param_float3, qspr_bb_set_param_float4, qspr_bb_set_param_matrix, qspr_bb_set_tex1,
// qspr_bb_set_tex2, qspr_bb_get_tex1, qspr_bb_get_tex2, qspr_bb_set_value_a, qspr_bb_set_value_b,
// qspr_bb_set_tex1_crop, qspr_bb_set_tex2_crop.
QSPR_COMMON_ACCESSORS(qspr_bb)
// Beams: qspr_beam_set_pass_b, qspr_beam_set_blend, qspr_beam_set_zmode, qspr_beam_set_shader,
// qspr_beam_set_param_int, qspr_beam_set_param_float, qspr_beam_set_param_float2,
// qspr_beam_set_param_float3, qspr_beam_set_param_float4, qspr_beam_set_param_matrix,
// qspr_beam_set_tex1, qspr_beam_set_tex2, qspr_beam_get_tex1, qspr_beam_get_tex2,
// qspr_beam_set_value_a, qspr_beam_set_value_b, qspr_beam_set_tex1_crop, qspr_beam_set_tex2_crop.
QSPR_COMMON_ACCESSORS(qspr_beam)
// Corner quads: qspr_quad_set_pass_b, qspr_quad_set_blend, qspr_quad_set_zmode,
// qspr_quad_set_shader, qspr_quad_set_param_int, qspr_quad_set_param_float,
// qspr_quad_set_param_float2, qspr_quad_set_param_float3, qspr_quad_set_param_float4,
// qspr_quad_set_param_matrix, qspr_quad_set_tex1, qspr_quad_set_tex2, qspr_quad_get_tex1,
// qspr_quad_get_tex2, qspr_quad_set_value_a, qspr_quad_set_value_b, qspr_quad_set_tex1_crop,
// qspr_quad_set_tex2_crop.
QSPR_COMMON_ACCESSORS(qspr_quad)

// --- billboards ----------------------------------------------------------------------
QsprWork* qspr_bb_set_pos_xyz(DrawObj* o, float x, float y, float z);
QsprWork* qspr_bb_set_pos(DrawObj* o, const Vec3* centre);  // null ignored
Vec3* qspr_bb_pos(DrawObj* o);
QsprWork* qspr_bb_set_size(DrawObj* o, float w, float h);
float qspr_bb_get_width(DrawObj* o);
float qspr_bb_get_height(DrawObj* o);
QsprWork* qspr_bb_set_view_offset(DrawObj* o, float offset);  // also its signed square
float qspr_bb_get_view_offset(DrawObj* o);
QsprWork* qspr_bb_set_pivot(DrawObj* o, float x, float y);
float qspr_bb_get_pivot_x(DrawObj* o);
float qspr_bb_get_pivot_y(DrawObj* o);
QsprWork* qspr_bb_set_scale(DrawObj* o, float x, float y);
float qspr_bb_get_scale_x(DrawObj* o);
float qspr_bb_get_scale_y(DrawObj* o);
QsprWork* qspr_bb_set_roll(DrawObj* o, float rad);
float qspr_bb_get_roll(DrawObj* o);
QsprWork* qspr_bb_set_colour(DrawObj* o, uint32_t argb);
uint32_t qspr_bb_get_colour(DrawObj* o);
QsprWork* qspr_bb_set_lighting(DrawObj* o, uint32_t flag);
uint32_t qspr_bb_get_lighting(DrawObj* o);
// Rectangles (umin, vmin, umax, vmax); getters by index 0..3 of that order.
QsprWork* qspr_bb_set_uv1(DrawObj* o, float umin, float vmin, float umax, float vmax);
QsprWork* qspr_bb_set_uv2(DrawObj* o, float umin, float vmin, float umax, float vmax);
float qspr_bb_get_uv1_umin(DrawObj* o);
float qspr_bb_get_uv1_vmin(DrawObj* o);
float qspr_bb_get_uv1_umax(DrawObj* o);
float qspr_bb_get_uv1_vmax(DrawObj* o);
float qspr_bb_get_uv2_umin(DrawObj* o);
float qspr_bb_get_uv2_vmin(DrawObj* o);
float qspr_bb_get_uv2_umax(DrawObj* o);
float qspr_bb_get_uv2_vmax(DrawObj* o);
// Texture coordinates from where the billboard lies on the screen.
QsprWork* qspr_bb_set_tex1_proj(DrawObj* o, float u_off, float v_off, float scale, int flip_x,
                                int flip_y);
QsprWork* qspr_bb_set_tex2_proj(DrawObj* o, float u_off, float v_off, float scale, int flip_x,
                                int flip_y);

// --- beams ---------------------------------------------------------------------------
QsprWork* qspr_beam_set_end0_xyz(DrawObj* o, float x, float y, float z);
QsprWork* qspr_beam_set_end1_xyz(DrawObj* o, float x, float y, float z);
QsprWork* qspr_beam_set_end0(DrawObj* o, const Vec3* p);  // null ignored
QsprWork* qspr_beam_set_end1(DrawObj* o, const Vec3* p);
Vec3* qspr_beam_end0(DrawObj* o);
Vec3* qspr_beam_end1(DrawObj* o);
QsprWork* qspr_beam_set_width(DrawObj* o, float w);
float qspr_beam_get_width(DrawObj* o);
QsprWork* qspr_beam_set_ext(DrawObj* o, float ext);
float qspr_beam_get_ext(DrawObj* o);
QsprWork* qspr_beam_set_size(DrawObj* o, float width, float ext);
QsprWork* qspr_beam_set_colour0(DrawObj* o, uint32_t argb);
QsprWork* qspr_beam_set_colour1(DrawObj* o, uint32_t argb);
QsprWork* qspr_beam_set_colours(DrawObj* o, uint32_t c0, uint32_t c1);
uint32_t qspr_beam_get_colour0(DrawObj* o);
uint32_t qspr_beam_get_colour1(DrawObj* o);
QsprWork* qspr_beam_set_mode(DrawObj* o, uint32_t mode);
QsprWork* qspr_beam_set_uv1(DrawObj* o, float umin, float vmin, float umax, float vmax);
QsprWork* qspr_beam_set_uv2(DrawObj* o, float umin, float vmin, float umax, float vmax);
void qspr_beam_get_uv1_min(DrawObj* o, float* u, float* v);
void qspr_beam_get_uv1_max(DrawObj* o, float* u, float* v);
void qspr_beam_get_uv2_min(DrawObj* o, float* u, float* v);
void qspr_beam_get_uv2_max(DrawObj* o, float* u, float* v);
QsprWork* qspr_beam_set_tex1_proj(DrawObj* o, float u_off, float v_off, float scale);
QsprWork* qspr_beam_set_tex2_proj(DrawObj* o, float u_off, float v_off, float scale);

// --- corner quads --------------------------------------------------------------------
// Each corner's accessors; the names of each use are written out beside it.
#define QSPR_QUAD_INDEXED(N)                                                                       \
    QsprWork* qspr_quad_set_corner##N##_xyz(DrawObj* o, float x, float y, float z);                \
    QsprWork* qspr_quad_set_corner##N(DrawObj* o, const Vec3* p);                                  \
    Vec3* qspr_quad_corner##N(DrawObj* o);                                                         \
    QsprWork* qspr_quad_set_colour##N(DrawObj* o, uint32_t argb);                                  \
    uint32_t qspr_quad_get_colour##N(DrawObj* o);                                                  \
    QsprWork* qspr_quad_set_uv1_##N(DrawObj* o, float u, float v);                                 \
    QsprWork* qspr_quad_set_uv2_##N(DrawObj* o, float u, float v);                                 \
    float* qspr_quad_uv1_##N(DrawObj* o);                                                          \
    float* qspr_quad_uv2_##N(DrawObj* o);
// Corner 0: qspr_quad_set_corner0_xyz, qspr_quad_set_corner0, qspr_quad_corner0,
// qspr_quad_set_colour0, qspr_quad_get_colour0, qspr_quad_set_uv1_0, qspr_quad_set_uv2_0,
// qspr_quad_uv1_0, qspr_quad_uv2_0.
QSPR_QUAD_INDEXED(0)
// Corner 1: qspr_quad_set_corner1_xyz, qspr_quad_set_corner1, qspr_quad_corner1,
// qspr_quad_set_colour1, qspr_quad_get_colour1, qspr_quad_set_uv1_1, qspr_quad_set_uv2_1,
// qspr_quad_uv1_1, qspr_quad_uv2_1.
QSPR_QUAD_INDEXED(1)
// Corner 2: qspr_quad_set_corner2_xyz, qspr_quad_set_corner2, qspr_quad_corner2,
// qspr_quad_set_colour2, qspr_quad_get_colour2, qspr_quad_set_uv1_2, qspr_quad_set_uv2_2,
// qspr_quad_uv1_2, qspr_quad_uv2_2.
QSPR_QUAD_INDEXED(2)
// Corner 3: qspr_quad_set_corner3_xyz, qspr_quad_set_corner3, qspr_quad_corner3,
// qspr_quad_set_colour3, qspr_quad_get_colour3, qspr_quad_set_uv1_3, qspr_quad_set_uv2_3,
// qspr_quad_uv1_3, qspr_quad_uv2_3.
QSPR_QUAD_INDEXED(3)
// The same by index.
QsprWork* qspr_quad_set_corner_xyz(DrawObj* o, int n, float x, float y, float z);
QsprWork* qspr_quad_set_corner(DrawObj* o, int n, const Vec3* p);  // null ignored
Vec3* qspr_quad_corner(DrawObj* o, int n);                         // null outside 0..3
QsprWork* qspr_quad_set_colour_n(DrawObj* o, int n, uint32_t argb);
uint32_t qspr_quad_get_colour_n(DrawObj* o, int n);
QsprWork* qspr_quad_set_uv1_n(DrawObj* o, int n, float u, float v);
QsprWork* qspr_quad_set_uv2_n(DrawObj* o, int n, float u, float v);
float* qspr_quad_uv1_n(DrawObj* o, int n);
float* qspr_quad_uv2_n(DrawObj* o, int n);
QsprWork* qspr_quad_set_colour(DrawObj* o, uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3);
// Placement (null pointers ignored) and its flag.
QsprWork* qspr_quad_set_pos(DrawObj* o, const Vec3* pos);
QsprWork* qspr_quad_set_rot(DrawObj* o, const Vec3* angles);
QsprWork* qspr_quad_set_scale(DrawObj* o, const Vec3* scale);
QsprWork* qspr_quad_set_pos_rot(DrawObj* o, const Vec3* pos, const Vec3* angles);
Vec3* qspr_quad_pos(DrawObj* o);
Vec3* qspr_quad_rot(DrawObj* o);
Vec3* qspr_quad_scale(DrawObj* o);
QsprWork* qspr_quad_set_use_mat(DrawObj* o, uint32_t flag);
uint32_t qspr_quad_get_use_mat(DrawObj* o);
// Moves the corners by the placement and clears the flag.
QsprWork* qspr_quad_bake(DrawObj* o);
// Shape builders; each writes the four corners.
QsprWork* qspr_quad_set_plane(DrawObj* o, const Vec3* pos, const Vec3* up, float w, float d,
                              float angle, float height);
QsprWork* qspr_quad_set_flat(DrawObj* o, const Vec3* pos, const Vec3* angles, float w, float d);
QsprWork* qspr_quad_set_ribbon(DrawObj* o, const Vec3* a, const Vec3* up_a, float width_a,
                               float back_a, float lift_a, const Vec3* b, const Vec3* up_b,
                               float width_b, float fwd_b, float lift_b, int order);
QsprWork* qspr_quad_set_ribbon1(DrawObj* o, const Vec3* a, const Vec3* off_a, float len_a,
                                float back_a, const Vec3* b, const Vec3* off_b, float len_b,
                                float fwd_b, int order);
