// Procedural meshes for the patch models: outlines, bevelled extrusions,
// surfaces of revolution, tubes and tori, with transforms and vertex colours.
//
// Everything is built in "design space": x to the right, y up, z towards the
// viewer, as the model is meant to be seen. Triangles wind so that the cross
// product (b - a) x (c - a) points out of the solid. mesh_to_model_space turns
// a finished mesh into the frame the patch tool draws (see gm_models.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "math/vm_const.h"

namespace gm {

using Vec2 = std::array<float, 2>;
using Vec3 = std::array<float, 3>;

struct Vertex {
    Vec3 pos{};
    Vec3 nrm{};
    Vec2 uv{};
    uint32_t color = 0xFFFFFFFF;  // 0xAARRGGBB
};

struct Mesh {
    std::vector<Vertex> verts;
    std::vector<uint32_t> tris;  // 3 per triangle
};

// An affine transform: p' = m * p + t (m row-major 3x3).
struct Xf {
    std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec3 t{};
};

Xf xf_translate(float x, float y, float z);
Xf xf_scale(float x, float y, float z);
Xf xf_rot_x(float radians);
Xf xf_rot_y(float radians);
Xf xf_rot_z(float radians);
Xf xf_then(const Xf& first, const Xf& second);  // first applied, then second

// ---- vector helpers -------------------------------------------------------------

Vec3 v3_add(Vec3 a, Vec3 b);
Vec3 v3_sub(Vec3 a, Vec3 b);
Vec3 v3_scale(Vec3 a, float s);
Vec3 v3_cross(Vec3 a, Vec3 b);
float v3_dot(Vec3 a, Vec3 b);
Vec3 v3_norm(Vec3 a);

// ---- tessellation ---------------------------------------------------------------
//
// The models are tessellated for the sizes the tool shows them at: 30 pixels a
// model unit, enlarged by the scale handle. Up to four times that size every
// silhouette stays within half a pixel of the curve it stands for, and no
// finer. Shapes are built in design space and fitted afterwards, so the
// tolerance in design units depends on how much the fit will enlarge the
// design being built.

constexpr float TESS_PIXELS_PER_UNIT = 30.0f * 4.0f;
constexpr float TESS_CHORD_PX = 0.5f;

// Sets how much the fit will enlarge the design being built (1 until set).
void tess_set_fit_scale(float scale);
// The largest distance between a chord and its curve, in design units.
float tess_tolerance();

// Segments for an arc of the radius through the angle (radians), each chord
// within the tolerance of the arc and none longer than a third of a circle.
int arc_segments(float radius, float angle = VM_TWO_PI);

// Points along a curve p(t) from t0 to t1, both ends included: a span is cut
// while the curve strays further than the tolerance from its chord, unless
// the chord is already shorter than a pixel at the largest size (which ends
// the cutting at kinks).
std::vector<Vec2> curve_points(const std::function<Vec2(float)>& p, float t0, float t1);
// A smooth curve through the points (Catmull-Rom, the ends continued straight).
std::vector<Vec2> curve_spline(const std::vector<Vec2>& through);

// ---- outlines -------------------------------------------------------------------

using Outline = std::vector<Vec2>;  // a simple polygon, counter-clockwise

Outline outline_circle(float cx, float cy, float r);
Outline outline_ellipse(float cx, float cy, float rx, float ry);
// The points of an elliptic arc from angle a0 to a1 (either way round), both ends included.
Outline outline_arc(float cx, float cy, float rx, float ry, float a0, float a1);
Outline outline_star(int points, float r_out, float r_in, float turn);
// A star-shaped outline from a polar radius function.
Outline outline_polar(const std::function<float(float)>& radius);
// The union of circles {cx, cy, r} that all contain the origin, as seen from it.
Outline outline_circle_union(const std::vector<Vec3>& circles);
// Counter-clockwise, without repeated or collinear points.
Outline outline_clean(Outline o);
float outline_area(const Outline& o);

// Ear clipping of a counter-clockwise simple polygon: 3 indices per triangle.
std::vector<uint32_t> triangulate(const Outline& o);

// ---- solids ---------------------------------------------------------------------

struct ExtrudeOpts {
    float half_depth = 0.15f;           // z from -half_depth to +half_depth
    float bevel = 0.05f;                // rounded edge radius (at most half_depth)
    float sharp_deg = 35.0f;            // outline corners turning more than this stay sharp
    Vec2 uv_min{-1, -1}, uv_max{1, 1};  // planar mapping of x, y onto u, v
};

// A closed slab of the outline with rounded edges; caps use planar uvs.
// The rounding takes arc_segments(bevel, pi / 2) steps.
Mesh mesh_extrude(const Outline& o, const ExtrudeOpts& opt);

// Revolves a profile of (radius, y) points about the y axis; the profile runs
// from top to bottom, and its first and last points may sit on the axis.
// uv: u around (0..1), v along the profile (0 at the top).
Mesh mesh_revolve(const std::vector<Vec2>& profile, int segments, float sharp_deg = 35.0f);
// Round solids take their segment counts from arc_segments.
Mesh mesh_sphere(float r);
Mesh mesh_torus(float major, float minor);  // about z
// A capped tube of circular section along a path.
Mesh mesh_tube(const std::vector<Vec3>& path, float radius);
Mesh mesh_box(float hx, float hy, float hz, float bevel);

// Every triangle gets its own corners and its face normal (faceted look).
void mesh_flatten(Mesh& m);

// ---- editing --------------------------------------------------------------------

void mesh_apply(Mesh& m, const Xf& xf);
void mesh_append(Mesh& dst, const Mesh& src);
void mesh_paint(Mesh& m, uint32_t argb);
void mesh_set_uv(Mesh& m, Vec2 uv);
// Bounds of the positions.
void mesh_bounds(const Mesh& m, Vec3& lo, Vec3& hi);
// Moves the box centre to the origin and scales so the larger of the x and y
// half extents equals half_extent; answers the scale.
float mesh_fit(Mesh& m, float half_extent);

// Bakes the tool's light into the vertex colours: coloured meshes are drawn
// unlit, so their shading has to live in the colours. The light comes from
// above and in front of the picture.
void mesh_bake_light(Mesh& m);

// From design space into the model frame the tool draws: the tool turns every
// model by pi about z and looks along +z with y down, so a model is stored
// turned by pi about y (x and z negated) to be seen from the front, upright.
void mesh_to_model_space(Mesh& m);

// Signed volume of a closed mesh: positive when its triangles face outwards.
float mesh_signed_volume(const Mesh& m);

}  // namespace gm
