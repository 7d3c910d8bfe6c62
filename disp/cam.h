// disp/cam: the two screens' cameras and their transform sets, shadow
// slices, mirror planes, camera shake requests, projection and picking rays,
// and the default scene.
//
// Each screen s (0 or 1) has a camera block from which its transform set s
// is rebuilt lazily: setters mark the camera changed, and the next matrix
// accessor (or cam_update_all, once per frame before drawing) rebuilds it.
// The derived sets (shadow slices 3 + 2s + j, shadow light views 7 + 2s + j,
// mirror view 11 + s) are rebuilt only by cam_update_all. Set 2 is never
// built. Matrices are row-vector (Mat44): "A then B" means a point goes
// through A first. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

inline constexpr int CAM_XFORM_SETS = 13;

// Camera modes.
enum : uint32_t {
    CAM_MODE_POS_ANGLES = 0,    // position and Euler angles
    CAM_MODE_LOOK_AT = 1,       // position, target and up
    CAM_MODE_CAM_TO_WORLD = 2,  // the matrix field places the camera
    CAM_MODE_WORLD_TO_CAM = 3,  // the matrix field is the view transform
};

struct XformSet {
    Mat44 proj;
    Mat44 cull_proj;       // the same frustum with the far distance at the cull distance
    Mat44 world_to_cam;    // the device's VIEW transform
    Mat44 cam_to_world;    // the camera's placement, inverse of world_to_cam
    Mat44 view_proj;       // world_to_cam, then proj
    Mat44 cull_view_proj;  // world_to_cam, then cull_proj
    ProjParams params;
    FrustumPlanes planes;       // of view_proj
    FrustumPlanes cull_planes;  // of cull_view_proj: what frustum culling uses
};

// A screen's matrices as they were at the last cam_keep_prev_matrices.
struct PrevMatrices {
    Mat44 proj, world_to_cam, cam_to_world, view_proj;
};

struct CamBlock {
    uint32_t enable;
    uint32_t changed;  // set by setters that affect the matrices
    uint32_t mode;
    Vec3 pos;
    Vec3 angles;  // Euler angles, radians
    Vec3 target;
    Vec3 up;
    Vec3 prev_pos;  // position at the last display update
    Vec3 move;      // pos - prev_pos of the last display update
    Mat44 matrix;   // explicit matrix of modes 2 and 3; cam_to_world after an update in 0 and 1
    float fov;      // radians, full vertical field
    float center_x, center_y;  // fractions of the view
    float znear, zfar;
    float cull_far;  // at most far when set by the near-far or cull-far setters
    uint32_t proj_custom;
    Mat44 proj_matrix;
    int32_t vp_x, vp_y, vp_w, vp_h;  // render pixels
    float aspect;
    // fog
    uint32_t fog_enable;
    float fog_start, fog_end;
    uint32_t fog_color;  // 0xAARRGGBB
    float fog_color_f[4];
    int32_t fog_fade_counter, fog_fade_total;  // frames
    float fog_from_start, fog_from_end;
    uint32_t fog_from_color;
    float fog_target_start, fog_target_end;
    uint32_t fog_target_color;
    // shake
    int32_t shake_frames;
    int32_t shake_priority;  // a running shake refuses requests of a higher number
    float shake_amp_x, shake_amp_y;
    float shake_decay;                     // factor per frame
    float shake_offset_x, shake_offset_y;  // written each frame
};

// A shadow slice of a screen's view frustum lit by a directional light.
struct SubView {
    uint32_t enable;
    Vec3 light_dir;  // normalised
    float znear, zfar;
    uint32_t color;  // shadow colour 0xAARRGGBB
    float color_f[4];
};

struct MirrorPlane {
    uint32_t enable;
    Vec3 point;
    Vec3 normal;  // normalised
    Plane plane;
};

// Box over the visible 3D objects of a set: the number of objects counted,
// the box in out_min / out_max. Installed by the 3D object system; without
// one the slices are fitted around their frustum corners.
using CamBoundsQuery = int (*)(Vec3* out_min, Vec3* out_max, const XformSet* set);
void cam_set_bounds_query(CamBoundsQuery query);

// ---- per frame ----------------------------------------------------------------------
// Rebuild of set s when the camera is enabled and changed.
void cam_update(int s);
// Slices, shadow light views and the mirror view of an enabled screen.
void cam_update_derived(int s);
// Before anything is drawn: cam_update, then cam_update_derived, of each
// enabled screen.
void cam_update_all();
// Copies proj, world_to_cam, cam_to_world and view_proj of sets 0 and 1 into
// the previous-frame blocks (no update first).
void cam_keep_prev_matrices();
// After the update callbacks: movement := position - previous position,
// previous position := position, for both screens.
void cam_track_movement();
// Start and scene reset: the default lighting, fog, slices, mirrors and
// cameras of both screens, frame flags on, set 0 selected.
void scene_set_defaults();

// ---- device --------------------------------------------------------------------------
// Device PROJECTION := the set's proj, VIEW := its world_to_cam.
void cam_apply_xform_set(int set_index);

// ---- camera setters (mark changed unless noted) -----------------------------------------
void cam_set_enable(int s, uint32_t flag);  // does not mark changed
void cam_set_mode(int s, uint32_t mode);
void cam_set_fov(int s, float radians);
void cam_set_center(int s, float x, float y);
void cam_set_proj_custom(int s, uint32_t flag);
void cam_set_proj_matrix(int s, const Mat44* m);
void cam_set_pos_rot(int s, const Vec3* pos, const Vec3* angles);
void cam_set_look_at(int s, const Vec3* pos, const Vec3* target, const Vec3* up);  // null up: +Y
void cam_set_matrix(int s, const Mat44* m);
// Aspect = w / h, with an h of 0 taken as 1.
void cam_set_viewport(int s, int32_t x, int32_t y, int32_t w, int32_t h);
// w or h of 0 is stored as 1; an aspect of 0 or not finite is taken as w / h.
void cam_set_viewport_ex(int s, int32_t x, int32_t y, int32_t w, int32_t h, float aspect);
void cam_set_near_far(int s, float znear, float zfar, float cull_far);  // cull far at most far
void cam_set_near(int s, float znear);
void cam_set_far(int s, float zfar);  // cull far not re-clamped
void cam_set_cull_far(int s, float value);
// Starts a shake unless one is running with a lower priority number. Does
// not mark changed.
void cam_shake(int s, int32_t frames, float amp_x, float amp_y, float decay, int32_t priority);

// ---- camera getters ------------------------------------------------------------------
uint32_t cam_get_enable(int s);
uint32_t cam_get_mode(int s);
float cam_get_fov(int s);
float cam_get_center_x(int s);
float cam_get_center_y(int s);
const Vec3* cam_get_pos(int s);       // updates first
const Vec3* cam_get_rot(int s);       // updates first
const Vec3* cam_get_move_vec(int s);  // updates first
const Vec3* cam_get_target(int s);
const Vec3* cam_get_up(int s);
const Mat44* cam_get_matrix(int s);  // updates first
void cam_get_viewport(int s, int32_t* x, int32_t* y, int32_t* w, int32_t* h);
float cam_get_aspect(int s);
float cam_get_near(int s);
float cam_get_far(int s);
float cam_get_cull_far(int s);
float cam_get_shake_x(int s);
float cam_get_shake_y(int s);
void cam_set_cur_screen(int s);
int cam_get_cur_screen();
int32_t cam_get_view_flag(int s);  // always 0

// ---- transform sets --------------------------------------------------------------------
int cam_screen_set_index(int s);         // s
int cam_slice_set_index(int s, int j);   // 3 + 2s + j
int cam_shadow_set_index(int s, int j);  // 7 + 2s + j
int cam_sub2_set_index(int s);           // 11 + s
XformSet* cam_get_xform_set(int i);      // null outside 0..12
void cam_select_xform_set(int i);        // ignored outside 0..12
XformSet* cam_get_selected_xform_set();

// Field accessors: each updates the screen's camera first.
const Mat44* cam_get_proj_mtx(int s);
const Mat44* cam_get_cull_proj_mtx(int s);
const Mat44* cam_get_world_mtx(int s);  // world_to_cam
const Mat44* cam_get_view_mtx(int s);   // cam_to_world
const Mat44* cam_get_viewproj_mtx(int s);
const Mat44* cam_get_cull_viewproj_mtx(int s);
const ProjParams* cam_get_proj_params(int s);
const FrustumPlanes* cam_get_planes(int s);
const FrustumPlanes* cam_get_frustum(int s);  // cull planes
const Mat44* cam_get_slice_proj_mtx(int s, int j);
const Mat44* cam_get_slice_cull_proj_mtx(int s, int j);
const Mat44* cam_get_slice_world_mtx(int s, int j);
const Mat44* cam_get_slice_view_mtx(int s, int j);
const Mat44* cam_get_slice_viewproj_mtx(int s, int j);
const Mat44* cam_get_slice_cull_viewproj_mtx(int s, int j);
const ProjParams* cam_get_slice_proj_params(int s, int j);
const FrustumPlanes* cam_get_slice_planes(int s, int j);
const FrustumPlanes* cam_get_slice_frustum(int s, int j);
const Mat44* cam_get_shadow_proj_mtx(int s, int j);
const Mat44* cam_get_shadow_cull_proj_mtx(int s, int j);
const Mat44* cam_get_shadow_world_mtx(int s, int j);
const Mat44* cam_get_shadow_view_mtx(int s, int j);
const Mat44* cam_get_shadow_viewproj_mtx(int s, int j);
const Mat44* cam_get_shadow_cull_viewproj_mtx(int s, int j);
const ProjParams* cam_get_shadow_proj_params(int s, int j);
const FrustumPlanes* cam_get_shadow_planes(int s, int j);
const FrustumPlanes* cam_get_shadow_frustum(int s, int j);
const Mat44* cam_get_sub2_proj_mtx(int s);
const Mat44* cam_get_sub2_cull_proj_mtx(int s);
const Mat44* cam_get_sub2_world_mtx(int s);
const Mat44* cam_get_sub2_view_mtx(int s);
const Mat44* cam_get_sub2_viewproj_mtx(int s);
const Mat44* cam_get_sub2_cull_viewproj_mtx(int s);
const ProjParams* cam_get_sub2_proj_params(int s);
const FrustumPlanes* cam_get_sub2_planes(int s);
const FrustumPlanes* cam_get_sub2_frustum(int s);
// Previous-frame matrices of the screen (no update).
const Mat44* cam_get_prev_proj_mtx(int s);
const Mat44* cam_get_prev_world_mtx(int s);  // world_to_cam
const Mat44* cam_get_prev_view_mtx(int s);   // cam_to_world
const Mat44* cam_get_prev_viewproj_mtx(int s);

// ---- shadow slices (j = 0, 1) ------------------------------------------------------------
void subview_set_enable(int s, int j, uint32_t flag);
void subview_set_light_dir(int s, int j, const Vec3* dir);  // normalised; marks changed
void subview_set_near(int s, int j, float value);           // marks changed
void subview_set_far(int s, int j, float value);            // marks changed
void subview_set_color(int s, int j, uint32_t argb);        // and the floats
uint32_t subview_get_enable(int s, int j);
const Vec3* subview_get_light_dir(int s, int j);
float subview_get_near(int s, int j);
float subview_get_far(int s, int j);
uint32_t subview_get_color(int s, int j);
const float* subview_get_color_f(int s, int j);

// ---- mirror planes --------------------------------------------------------------------
void mirror_set_enable(int s, uint32_t flag);
// Null point: the origin; null normal: +Y. Marks changed.
void mirror_set_plane(int s, const Vec3* point, const Vec3* normal);
uint32_t mirror_get_enable(int s);
const Plane* mirror_get_plane(int s);
const Vec3* mirror_get_point(int s);
const Vec3* mirror_get_normal(int s);

// ---- projection and rays ----------------------------------------------------------------
inline constexpr int CAM_INSIDE = 0;
inline constexpr int CAM_BEHIND = -1;   // behind the camera, inside the square
inline constexpr int CAM_OUTSIDE = -2;  // outside, or the camera is disabled

// Normalised coordinates of a world point (outputs may be null).
int cam_project(int s, float* out_x, float* out_y, const Vec3* point);
// Pixels relative to the viewport's corner.
int cam_project_to_screen(int s, float* out_x, float* out_y, const Vec3* point);
// World direction through a render pixel; CAM_OUTSIDE for an empty viewport.
int cam_pixel_to_ray(int s, Vec3* out_dir, float px, float py);
// World direction through (u, v) of the params' near window, u right, v
// down; written always, CAM_OUTSIDE when u or v is outside 0..1.
int cam_uv_to_ray(int s, const ProjParams* params, Vec3* out_dir, float u, float v);
int cam_ndc_to_ray(int s, Vec3* out_dir, float x, float y);
// Point on the near plane under normalised (x, y) and the unit direction from
// the camera to it; outputs may be null.
void cam_ndc_to_near_point(int s, Vec3* out_point, Vec3* out_dir, float x, float y);
