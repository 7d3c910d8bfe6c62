// disp/cam: cameras, transform sets, slices, mirrors, rays and the default
// scene.
//
// Sections: state access; rebuild (cam_update, cam_update_derived); frame
// functions and defaults; setters; getters; set accessors; slices and
// mirrors; projection and rays.
#include "disp/cam.h"

#include <cmath>
#include <type_traits>

#include "disp/disp_dev_seam.h"
#include "disp/disp_env.h"
#include "disp/disp_work.h"
#include "disp/fog.h"
#include "math/vm.h"
#include "math/vm_const.h"

// ---- state access ---------------------------------------------------------------------

namespace {

CamBoundsQuery g_bounds_query = nullptr;

CamBlock& cam_of(int s) { return disp_work().cam[disp_screen_index(s)]; }

int slice_index(int j)
{
    assert((j == 0 || j == 1) && "slice index must be 0 or 1");
    return j == 1 ? 1 : 0;
}

SubView& subview_of(int s, int j)
{
    return disp_work().subview[DISP_SUB_VIEWS_PER_SCREEN * disp_screen_index(s) + slice_index(j)];
}

MirrorPlane& mirror_of(int s) { return disp_work().mirror[disp_screen_index(s)]; }

XformSet& set_at(int i) { return disp_work().xform[i]; }

void mark_changed(int s) { cam_of(s).changed = 1; }

// Stores one camera field; the matrices are rebuilt on the next read.
template <class T>
void set_marked(int s, T CamBlock::*field, const std::type_identity_t<T>& value)
{
    cam_of(s).*field = value;
    mark_changed(s);
}

// view_proj = world_to_cam, then proj (vm_mat_mul applies its last argument
// first).
void combine(XformSet& x)
{
    vm_mat_mul(&x.view_proj, &x.proj, &x.world_to_cam);
    vm_mat_mul(&x.cull_view_proj, &x.cull_proj, &x.world_to_cam);
}

void perspective(Mat44* out, const ProjParams& p, float zfar)
{
    vm_mat_perspective_offcenter(out, p.left, p.right, p.bottom, p.top, p.znear, zfar);
}

// Sets whose culling is their drawing frustum: view_proj from proj and
// world_to_cam, the planes from `planes_from` (their own view_proj if null).
void finish_drawn_set(XformSet& x, const Mat44* planes_from = nullptr)
{
    vm_mat_mul(&x.view_proj, &x.proj, &x.world_to_cam);
    x.cull_proj = x.proj;
    x.cull_view_proj = x.view_proj;
    viewmath_frustum_planes(&x.planes, planes_from ? planes_from : &x.view_proj);
    x.cull_planes = x.planes;
}

// Box over the eight corners of a view volume, the first point as start.
void corner_bounds(Vec3* out_min, Vec3* out_max, const Vec3 corners[8])
{
    *out_min = corners[0];
    *out_max = corners[0];
    for (int i = 1; i < 8; ++i) {
        out_min->x = std::fmin(out_min->x, corners[i].x);
        out_min->y = std::fmin(out_min->y, corners[i].y);
        out_min->z = std::fmin(out_min->z, corners[i].z);
        out_max->x = std::fmax(out_max->x, corners[i].x);
        out_max->y = std::fmax(out_max->y, corners[i].y);
        out_max->z = std::fmax(out_max->z, corners[i].z);
    }
}

void build_slice(const CamBlock& c, const XformSet& S, const SubView& sub, XformSet& D)
{
    vm_proj_params_from_fov(&D.params, c.fov, c.aspect, c.center_x, c.center_y, sub.znear,
                            sub.zfar);
    perspective(&D.proj, D.params, D.params.zfar);
    D.world_to_cam = S.world_to_cam;
    D.cam_to_world = S.cam_to_world;
    finish_drawn_set(D);
}

void build_shadow_light(const SubView& sub, const XformSet& D, XformSet& E)
{
    Vec3 box_min, box_max;
    const int counted = g_bounds_query ? g_bounds_query(&box_min, &box_max, &D) : 0;
    if (counted <= 0) {
        Vec3 corners[8];
        viewmath_frustum_corners(corners, &D.cam_to_world, &D.params);
        corner_bounds(&box_min, &box_max, corners);
    }
    viewmath_light_fit(&E.proj, &E.world_to_cam, &sub.light_dir, &D.world_to_cam, &D.cam_to_world,
                       &D.params, &box_min, &box_max);
    vm_mat_inverse(&E.cam_to_world, &E.world_to_cam);
    E.params = D.params;
    finish_drawn_set(E, &D.view_proj);  // culls with the slice's frustum, not its own
}

void build_mirror(const XformSet& S, const MirrorPlane& mp, XformSet& M)
{
    Mat44 reflect;
    vm_mat_reflect(&reflect, &mp.plane);
    vm_mat_mul(&M.world_to_cam, &S.world_to_cam, &reflect);
    vm_mat_inverse(&M.cam_to_world, &M.world_to_cam);
    vm_mat_clip_plane_projection(&M.proj, &S.proj, &M.world_to_cam, &mp.plane);
    vm_proj_params_from_matrix(&M.params, &M.proj);
    finish_drawn_set(M);
}

}  // namespace

void cam_set_bounds_query(CamBoundsQuery query) { g_bounds_query = query; }

// ---- rebuild ----------------------------------------------------------------------------

void cam_update(int s)
{
    s = disp_screen_index(s);
    CamBlock& c = cam_of(s);
    if (!c.enable || !c.changed) return;
    XformSet& S = set_at(s);
    switch (c.mode) {
    case CAM_MODE_POS_ANGLES:
        vm_mat_from_pos_angles(&S.cam_to_world, &c.pos, &c.angles);
        vm_mat_inverse(&S.world_to_cam, &S.cam_to_world);
        c.matrix = S.cam_to_world;
        break;
    case CAM_MODE_LOOK_AT:
        vm_mat_aim_at(&S.cam_to_world, &c.pos, &c.target, &c.up, 0);
        vm_mat_inverse(&S.world_to_cam, &S.cam_to_world);
        c.matrix = S.cam_to_world;
        break;
    case CAM_MODE_CAM_TO_WORLD:
        S.cam_to_world = c.matrix;
        vm_mat_inverse(&S.world_to_cam, &S.cam_to_world);
        break;
    case CAM_MODE_WORLD_TO_CAM:
        S.world_to_cam = c.matrix;
        vm_mat_inverse(&S.cam_to_world, &S.world_to_cam);
        break;
    default:
        vm_mat_identity(&S.cam_to_world);
        vm_mat_identity(&S.world_to_cam);
        break;
    }
    // Position and angles always describe the camera.
    if (c.mode != CAM_MODE_POS_ANGLES) vm_mat_to_pos_angles(&c.pos, &c.angles, &S.cam_to_world);

    vm_proj_params_from_fov(&S.params, c.fov, c.aspect, c.center_x, c.center_y, c.znear, c.zfar);
    if (c.proj_custom)
        S.proj = c.proj_matrix;
    else
        perspective(&S.proj, S.params, S.params.zfar);
    perspective(&S.cull_proj, S.params, c.cull_far);
    combine(S);
    viewmath_frustum_planes(&S.planes, &S.view_proj);
    viewmath_frustum_planes(&S.cull_planes, &S.cull_view_proj);
    c.changed = 0;
}

void cam_update_derived(int s)
{
    s = disp_screen_index(s);
    const CamBlock& c = cam_of(s);
    const XformSet& S = set_at(s);
    for (int j = 0; j < DISP_SUB_VIEWS_PER_SCREEN; ++j) {
        const SubView& sub = subview_of(s, j);
        if (!sub.enable) continue;
        XformSet& D = set_at(cam_slice_set_index(s, j));
        build_slice(c, S, sub, D);
        build_shadow_light(sub, D, set_at(cam_shadow_set_index(s, j)));
    }
    // Built every frame, used or not.
    build_mirror(S, mirror_of(s), set_at(cam_sub2_set_index(s)));
}

void cam_update_all()
{
    for (int s = 0; s < DISP_SCREENS; ++s) {
        if (!cam_of(s).enable) continue;
        cam_update(s);
        cam_update_derived(s);
    }
}

// ---- frame functions and defaults --------------------------------------------------------

void cam_keep_prev_matrices()
{
    for (int s = 0; s < DISP_SCREENS; ++s) {
        const XformSet& S = set_at(s);
        PrevMatrices& p = disp_work().prev[s];
        p.proj = S.proj;
        p.world_to_cam = S.world_to_cam;
        p.cam_to_world = S.cam_to_world;
        p.view_proj = S.view_proj;
    }
}

void cam_track_movement()
{
    for (int s = 0; s < DISP_SCREENS; ++s) {
        CamBlock& c = cam_of(s);
        vm_vec3_sub(&c.move, &c.pos, &c.prev_pos);
        c.prev_pos = c.pos;
    }
}

namespace {

void default_lighting(int s)
{
    const Vec3 light = {1.0f, -1.0f, 1.0f};
    const Vec3 up = {0.0f, 1.0f, 0.0f};
    const Vec3 sub = {-1.0f, -1.0f, -1.0f};
    env_set_light_enable(s, s == 0);
    env_set_light_dir(s, &light);
    env_set_light_dir2(s, &up);
    env_set_color0(s, 0xFF646478);
    env_set_color1(s, 0xFF646450);
    env_set_color2(s, 0xFFFFFFFF);
    env_set_color3(s, 0xFFFFFFFF);
    env_fade_reset(s);
    env_flash_reset(s);
    lset_set_enable(s, 0, 0);
    lset_set_dir(s, 0, &sub);
    lset_set_color(s, 0, 0x00FF0000);
    lset_fade_reset(s, 0);
    lset_flash_reset(s, 0);
}

void default_fog(int s)
{
    fog_set_enable(s, 0);
    fog_set_start(s, 0.0f);
    fog_set_end(s, 100.0f);
    fog_set_color(s, 0xFFFFFFFF);
}

void default_slices_and_mirror(int s)
{
    const Vec3 dir = {-1.0f, -1.0f, -1.0f};
    for (int j = 0; j < DISP_SUB_VIEWS_PER_SCREEN; ++j) {
        subview_set_enable(s, j, 0);
        subview_set_light_dir(s, j, &dir);
        subview_set_near(s, j, 0.1f);
        subview_set_far(s, j, 10.0f);
        subview_set_color(s, j, 0x80000000);
    }
    const Vec3 point = {0.0f, 0.1f, 0.0f};
    const Vec3 normal = {0.0f, 1.0f, 0.0f};
    mirror_set_enable(s, 0);
    mirror_set_plane(s, &point, &normal);
}

void default_camera(int s)
{
    const Vec3 eye = {0.0f, 0.0f, 5.0f};
    const Vec3 origin = {0.0f, 0.0f, 0.0f};
    const Vec3 up = {0.0f, 1.0f, 0.0f};
    cam_set_enable(s, s == 0);
    cam_set_mode(s, CAM_MODE_LOOK_AT);
    cam_set_fov(s, VM_PI / 4.0f);
    cam_set_center(s, 0.5f, 0.5f);
    cam_set_look_at(s, &eye, &origin, &up);
    cam_set_viewport(s, 0, 0, disp_get_render_w(), disp_get_render_h());
    cam_set_near_far(s, 0.1f, 100.0f, 100.0f);
    // Priority 5: a running shake of a lower number survives a scene reset.
    cam_shake(s, 0, 0.0f, 0.0f, 1.0f, 5);
    CamBlock& c = cam_of(s);
    c.prev_pos = c.pos;
    c.move = {0.0f, 0.0f, 0.0f};
}

}  // namespace

void scene_set_defaults()
{
    DispHead& h = disp_work().head;
    h.render_enable = 1;
    h.scene_pass_enable = 1;
    h.keep_prev_matrices = 1;
    for (int s = 0; s < DISP_SCREENS; ++s) {
        default_lighting(s);
        default_fog(s);
        default_slices_and_mirror(s);
        default_camera(s);
        cam_keep_prev_matrices();
    }
    cam_select_xform_set(0);
}

// ---- device ----------------------------------------------------------------------------

void cam_apply_xform_set(int set_index)
{
    const XformSet* x = cam_get_xform_set(set_index);
    if (!x) return;
    const DispDevSeam& dev = disp_dev_seam();
    dev.set_transform(DISP_DEV_TS_PROJECTION, &x->proj);
    dev.set_transform(DISP_DEV_TS_VIEW, &x->world_to_cam);
}

// ---- setters ----------------------------------------------------------------------------

void cam_set_enable(int s, uint32_t flag) { cam_of(s).enable = flag; }

void cam_set_mode(int s, uint32_t mode) { set_marked(s, &CamBlock::mode, mode); }

void cam_set_fov(int s, float radians) { set_marked(s, &CamBlock::fov, radians); }

void cam_set_center(int s, float x, float y)
{
    cam_of(s).center_x = x;
    cam_of(s).center_y = y;
    mark_changed(s);
}

void cam_set_proj_custom(int s, uint32_t flag) { set_marked(s, &CamBlock::proj_custom, flag); }

void cam_set_proj_matrix(int s, const Mat44* m) { set_marked(s, &CamBlock::proj_matrix, *m); }

void cam_set_pos_rot(int s, const Vec3* pos, const Vec3* angles)
{
    cam_of(s).pos = *pos;
    cam_of(s).angles = *angles;
    mark_changed(s);
}

void cam_set_look_at(int s, const Vec3* pos, const Vec3* target, const Vec3* up)
{
    CamBlock& c = cam_of(s);
    c.pos = *pos;
    c.target = *target;
    c.up = up ? *up : Vec3{0.0f, 1.0f, 0.0f};
    mark_changed(s);
}

void cam_set_matrix(int s, const Mat44* m) { set_marked(s, &CamBlock::matrix, *m); }

namespace {

void store_viewport(CamBlock& c, int32_t x, int32_t y, int32_t w, int32_t h)
{
    c.vp_x = x;
    c.vp_y = y;
    c.vp_w = w;
    c.vp_h = h;
}

// An empty height would make the aspect, and every matrix built from it,
// infinite or not a number; an empty width would give a window of no width.
float safe_aspect(int32_t w, int32_t h) { return float(w != 0 ? w : 1) / float(h != 0 ? h : 1); }

}  // namespace

void cam_set_viewport(int s, int32_t x, int32_t y, int32_t w, int32_t h)
{
    CamBlock& c = cam_of(s);
    store_viewport(c, x, y, w, h);
    c.aspect = safe_aspect(w, h);
    mark_changed(s);
}

void cam_set_viewport_ex(int s, int32_t x, int32_t y, int32_t w, int32_t h, float aspect)
{
    CamBlock& c = cam_of(s);
    w = w != 0 ? w : 1;
    h = h != 0 ? h : 1;
    store_viewport(c, x, y, w, h);
    c.aspect = (aspect != 0.0f && std::isfinite(aspect)) ? aspect : safe_aspect(w, h);
    mark_changed(s);
}

void cam_set_near_far(int s, float znear, float zfar, float cull_far)
{
    CamBlock& c = cam_of(s);
    c.znear = znear;
    c.zfar = zfar;
    c.cull_far = cull_far > zfar ? zfar : cull_far;
    mark_changed(s);
}

void cam_set_near(int s, float znear) { set_marked(s, &CamBlock::znear, znear); }

void cam_set_far(int s, float zfar) { set_marked(s, &CamBlock::zfar, zfar); }

void cam_set_cull_far(int s, float value)
{
    CamBlock& c = cam_of(s);
    c.cull_far = value > c.zfar ? c.zfar : value;
    mark_changed(s);
}

void cam_shake(int s, int32_t frames, float amp_x, float amp_y, float decay, int32_t priority)
{
    CamBlock& c = cam_of(s);
    if (c.shake_frames > 0 && c.shake_priority < priority) return;
    c.shake_frames = frames;
    c.shake_priority = priority;
    c.shake_amp_x = amp_x;
    c.shake_amp_y = amp_y;
    c.shake_decay = decay;
}

// ---- getters ----------------------------------------------------------------------------

uint32_t cam_get_enable(int s) { return cam_of(s).enable; }
uint32_t cam_get_mode(int s) { return cam_of(s).mode; }
float cam_get_fov(int s) { return cam_of(s).fov; }
float cam_get_center_x(int s) { return cam_of(s).center_x; }
float cam_get_center_y(int s) { return cam_of(s).center_y; }

const Vec3* cam_get_pos(int s)
{
    cam_update(s);
    return &cam_of(s).pos;
}

const Vec3* cam_get_rot(int s)
{
    cam_update(s);
    return &cam_of(s).angles;
}

const Vec3* cam_get_move_vec(int s)
{
    cam_update(s);
    return &cam_of(s).move;
}

const Vec3* cam_get_target(int s) { return &cam_of(s).target; }
const Vec3* cam_get_up(int s) { return &cam_of(s).up; }

const Mat44* cam_get_matrix(int s)
{
    cam_update(s);
    return &cam_of(s).matrix;
}

void cam_get_viewport(int s, int32_t* x, int32_t* y, int32_t* w, int32_t* h)
{
    const CamBlock& c = cam_of(s);
    if (x) *x = c.vp_x;
    if (y) *y = c.vp_y;
    if (w) *w = c.vp_w;
    if (h) *h = c.vp_h;
}

float cam_get_aspect(int s) { return cam_of(s).aspect; }
float cam_get_near(int s) { return cam_of(s).znear; }
float cam_get_far(int s) { return cam_of(s).zfar; }
float cam_get_cull_far(int s) { return cam_of(s).cull_far; }
float cam_get_shake_x(int s) { return cam_of(s).shake_offset_x; }
float cam_get_shake_y(int s) { return cam_of(s).shake_offset_y; }
void cam_set_cur_screen(int s) { disp_work().head.cur_screen = disp_screen_index(s); }
int cam_get_cur_screen() { return disp_work().head.cur_screen; }
int32_t cam_get_view_flag(int s) { return disp_work().view_flag[disp_screen_index(s)]; }

// ---- transform sets -----------------------------------------------------------------------

int cam_screen_set_index(int s) { return disp_screen_index(s); }
int cam_slice_set_index(int s, int j) { return 3 + 2 * disp_screen_index(s) + slice_index(j); }
int cam_shadow_set_index(int s, int j) { return 7 + 2 * disp_screen_index(s) + slice_index(j); }
int cam_sub2_set_index(int s) { return 11 + disp_screen_index(s); }

XformSet* cam_get_xform_set(int i)
{
    if (i < 0 || i >= CAM_XFORM_SETS) return nullptr;
    return &set_at(i);
}

void cam_select_xform_set(int i)
{
    if (i >= 0 && i < CAM_XFORM_SETS) disp_work().selected_set = i;
}

XformSet* cam_get_selected_xform_set() { return &set_at(disp_work().selected_set); }

namespace {

// One field of a set of screen s, after the screen's camera is brought up to
// date.
template <auto Field>
const auto* field_of(int s, int set)
{
    cam_update(s);
    return &(set_at(set).*Field);
}

}  // namespace

// The getters of one family of sets; every use has the names it makes written
// out beside it, so that a search finds the definition beside the declaration.
// clang-format off
#define CAM_SET_FAMILY(prefix, index_expr, ...)                                                          \
    const Mat44* cam_get_##prefix##proj_mtx(__VA_ARGS__) { return field_of<&XformSet::proj>(s, index_expr); } \
    const Mat44* cam_get_##prefix##cull_proj_mtx(__VA_ARGS__) { return field_of<&XformSet::cull_proj>(s, index_expr); } \
    const Mat44* cam_get_##prefix##world_mtx(__VA_ARGS__) { return field_of<&XformSet::world_to_cam>(s, index_expr); } \
    const Mat44* cam_get_##prefix##view_mtx(__VA_ARGS__) { return field_of<&XformSet::cam_to_world>(s, index_expr); } \
    const Mat44* cam_get_##prefix##viewproj_mtx(__VA_ARGS__) { return field_of<&XformSet::view_proj>(s, index_expr); } \
    const Mat44* cam_get_##prefix##cull_viewproj_mtx(__VA_ARGS__) { return field_of<&XformSet::cull_view_proj>(s, index_expr); } \
    const ProjParams* cam_get_##prefix##proj_params(__VA_ARGS__) { return field_of<&XformSet::params>(s, index_expr); } \
    const FrustumPlanes* cam_get_##prefix##planes(__VA_ARGS__) { return field_of<&XformSet::planes>(s, index_expr); } \
    const FrustumPlanes* cam_get_##prefix##frustum(__VA_ARGS__) { return field_of<&XformSet::cull_planes>(s, index_expr); }
// clang-format on

// The frustum accessors answer the cull planes: what culling everywhere uses.
// cam_get_proj_mtx, cam_get_cull_proj_mtx, cam_get_world_mtx, cam_get_view_mtx,
// cam_get_viewproj_mtx, cam_get_cull_viewproj_mtx, cam_get_proj_params, cam_get_planes,
// cam_get_frustum:
CAM_SET_FAMILY(, cam_screen_set_index(s), int s)
// cam_get_slice_proj_mtx, cam_get_slice_cull_proj_mtx, cam_get_slice_world_mtx,
// cam_get_slice_view_mtx, cam_get_slice_viewproj_mtx, cam_get_slice_cull_viewproj_mtx,
// cam_get_slice_proj_params, cam_get_slice_planes, cam_get_slice_frustum:
CAM_SET_FAMILY(slice_, cam_slice_set_index(s, j), int s, int j)
// cam_get_shadow_proj_mtx, cam_get_shadow_cull_proj_mtx, cam_get_shadow_world_mtx,
// cam_get_shadow_view_mtx, cam_get_shadow_viewproj_mtx, cam_get_shadow_cull_viewproj_mtx,
// cam_get_shadow_proj_params, cam_get_shadow_planes, cam_get_shadow_frustum:
CAM_SET_FAMILY(shadow_, cam_shadow_set_index(s, j), int s, int j)
// cam_get_sub2_proj_mtx, cam_get_sub2_cull_proj_mtx, cam_get_sub2_world_mtx, cam_get_sub2_view_mtx,
// cam_get_sub2_viewproj_mtx, cam_get_sub2_cull_viewproj_mtx, cam_get_sub2_proj_params,
// cam_get_sub2_planes, cam_get_sub2_frustum:
CAM_SET_FAMILY(sub2_, cam_sub2_set_index(s), int s)
#undef CAM_SET_FAMILY

const Mat44* cam_get_prev_proj_mtx(int s) { return &disp_work().prev[disp_screen_index(s)].proj; }
const Mat44* cam_get_prev_world_mtx(int s)
{
    return &disp_work().prev[disp_screen_index(s)].world_to_cam;
}
const Mat44* cam_get_prev_view_mtx(int s)
{
    return &disp_work().prev[disp_screen_index(s)].cam_to_world;
}
const Mat44* cam_get_prev_viewproj_mtx(int s)
{
    return &disp_work().prev[disp_screen_index(s)].view_proj;
}

// ---- shadow slices and mirrors ---------------------------------------------------------------

void subview_set_enable(int s, int j, uint32_t flag) { subview_of(s, j).enable = flag; }

void subview_set_light_dir(int s, int j, const Vec3* dir)
{
    vec3_normalize(&subview_of(s, j).light_dir, dir);
    mark_changed(s);
}

void subview_set_near(int s, int j, float value)
{
    subview_of(s, j).znear = value;
    mark_changed(s);
}

void subview_set_far(int s, int j, float value)
{
    subview_of(s, j).zfar = value;
    mark_changed(s);
}

void subview_set_color(int s, int j, uint32_t argb)
{
    SubView& v = subview_of(s, j);
    v.color = argb;
    color_to_f4(v.color_f, argb);
}

uint32_t subview_get_enable(int s, int j) { return subview_of(s, j).enable; }
const Vec3* subview_get_light_dir(int s, int j) { return &subview_of(s, j).light_dir; }
float subview_get_near(int s, int j) { return subview_of(s, j).znear; }
float subview_get_far(int s, int j) { return subview_of(s, j).zfar; }
uint32_t subview_get_color(int s, int j) { return subview_of(s, j).color; }
const float* subview_get_color_f(int s, int j) { return subview_of(s, j).color_f; }

void mirror_set_enable(int s, uint32_t flag) { mirror_of(s).enable = flag; }

void mirror_set_plane(int s, const Vec3* point, const Vec3* normal)
{
    MirrorPlane& m = mirror_of(s);
    m.point = point ? *point : Vec3{0.0f, 0.0f, 0.0f};
    const Vec3 n = normal ? *normal : Vec3{0.0f, 1.0f, 0.0f};
    vec3_normalize(&m.normal, &n);
    vm_plane_from_point_normal(&m.plane, &m.point, &m.normal);
    mark_changed(s);
}

uint32_t mirror_get_enable(int s) { return mirror_of(s).enable; }
const Plane* mirror_get_plane(int s) { return &mirror_of(s).plane; }
const Vec3* mirror_get_point(int s) { return &mirror_of(s).point; }
const Vec3* mirror_get_normal(int s) { return &mirror_of(s).normal; }

// ---- projection and rays -------------------------------------------------------------------

int cam_project(int s, float* out_x, float* out_y, const Vec3* point)
{
    if (!cam_of(s).enable) return CAM_OUTSIDE;
    cam_update(s);
    const Vec4 p = {point->x, point->y, point->z, 1.0f};
    Vec4 q;
    vm_vec4_transform(&q, &set_at(cam_screen_set_index(s)).view_proj, &p);
    if (q.w != 0.0f) {
        q.x /= std::fabs(q.w);
        q.y /= std::fabs(q.w);
    }
    if (out_x) *out_x = q.x;
    if (out_y) *out_y = q.y;
    // The edges count as inside.
    if (q.x < -1.0f || q.x > 1.0f || q.y < -1.0f || q.y > 1.0f) return CAM_OUTSIDE;
    return q.w < 0.0f ? CAM_BEHIND : CAM_INSIDE;
}

int cam_project_to_screen(int s, float* out_x, float* out_y, const Vec3* point)
{
    if (!cam_of(s).enable) return CAM_OUTSIDE;  // outputs untouched, as cam_project leaves them
    float x = 0.0f, y = 0.0f;
    const int result = cam_project(s, &x, &y, point);
    const CamBlock& c = cam_of(s);
    if (out_x) *out_x = (x * 0.5f + 0.5f) * float(c.vp_w);
    if (out_y) *out_y = (-y * 0.5f + 0.5f) * float(c.vp_h);
    return result;
}

namespace {

// Rays turn camera-space directions by the camera's placement. Mode 3 keeps
// the view transform in the matrix field, which would mirror the rays, so
// the placement is read from the rebuilt set in every mode.
const Mat44& ray_placement(int s)
{
    cam_update(s);
    return set_at(cam_screen_set_index(s)).cam_to_world;
}

}  // namespace

int cam_uv_to_ray(int s, const ProjParams* p, Vec3* out_dir, float u, float v)
{
    const Vec3 local = {p->left + (p->right - p->left) * u, p->top + (p->bottom - p->top) * v,
                        p->znear};
    Vec3 dir;
    vec3_normalize(&dir, &local);
    vm_mat_transform_vector(out_dir, &ray_placement(s), &dir);
    return (u >= 0.0f && u <= 1.0f && v >= 0.0f && v <= 1.0f) ? CAM_INSIDE : CAM_OUTSIDE;
}

int cam_pixel_to_ray(int s, Vec3* out_dir, float px, float py)
{
    const CamBlock& c = cam_of(s);
    if (c.vp_w == 0 || c.vp_h == 0) return CAM_OUTSIDE;
    const float u = (px - float(c.vp_x)) / float(c.vp_w);
    const float v = (py - float(c.vp_y)) / float(c.vp_h);
    return cam_uv_to_ray(s, cam_get_proj_params(s), out_dir, u, v);
}

int cam_ndc_to_ray(int s, Vec3* out_dir, float x, float y)
{
    return cam_uv_to_ray(s, cam_get_proj_params(s), out_dir, x * 0.5f + 0.5f, 0.5f - y * 0.5f);
}

void cam_ndc_to_near_point(int s, Vec3* out_point, Vec3* out_dir, float x, float y)
{
    const ProjParams& p = *cam_get_proj_params(s);
    const Vec3 local = {(p.right - p.left) * 0.5f * x, (p.top - p.bottom) * 0.5f * y, p.znear};
    Vec3 world;
    vm_mat_transform_point(&world, &ray_placement(s), &local);
    if (out_point) *out_point = world;
    if (out_dir) vm_vec3_direction(out_dir, &cam_of(s).pos, &world);
}
