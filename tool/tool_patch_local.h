// tool/tool_patch_local: a module of the patch tool's own (other folders see tool/tool.h).
// Patches: 3D models placed over the background picture. Each is a
// persistent model object in the tool's model group, held in one of the 512
// slots of the tool's state, with a PatchRecord in the draw object's user
// area and tool_patch_frame as its update callback, which the draw-object
// manager runs in the display frame's update pass: following the cursor
// after creation, selection by click, the move, scale, rotation and stretch
// handles, the selection frame, placement in picture coordinates (so that a
// patch follows the background) and deletion.
// Main thread only.
#pragma once
#include "math/vm_types.h"

#include <cstdint>

struct DrawObj;

constexpr int TOOL_PATCH_PRIO = 81;        // created at
constexpr int TOOL_PATCH_TAG_PRIO = 79;    // the default of the "_a" tag
constexpr int TOOL_PATCH_FRAME_PRIO = 52;  // frame lines and handle sprites
constexpr float TOOL_PATCH_MODEL_SCALE = 30.0f;
constexpr float TOOL_PATCH_Z = 5000.0f;
constexpr float TOOL_PATCH_EXTENT_CAP = 0.3f;  // of the render size
constexpr const char* TOOL_PATCH_LIMIT_CAPTION = "これ以上クオーベルを作成できません";

// State bits.
constexpr uint32_t TOOL_PATCH_SELECTED = 1u << 0;
constexpr uint32_t TOOL_PATCH_MOVING = 1u << 1;  // follows the cursor, or body drag
constexpr uint32_t TOOL_PATCH_SCALEY = 1u << 2;
constexpr uint32_t TOOL_PATCH_ROTX = 1u << 3;
constexpr uint32_t TOOL_PATCH_ROTY = 1u << 4;
constexpr uint32_t TOOL_PATCH_ROTZ = 1u << 5;
constexpr uint32_t TOOL_PATCH_ASPECT = 1u << 6;
constexpr uint32_t TOOL_PATCH_DRAG_BITS = 0x7Eu;  // bits 1..6

struct PatchRecord {
    uint32_t state;
    Mat44 start;      // the matrix when the current handle drag began
    int32_t counter;  // frames since creation, selection or placement
    int32_t slot;
    int32_t drag_mouse_x, drag_mouse_y;
    Vec3 drag_pic;  // picture position at drag start
    Vec3 pic;       // picture pixels from the picture's centre; z only copied
    uint32_t mesh;  // 1-based mesh handle
    uint32_t delete_mark;
    Mat44 base;                // orientation, size and placed translation, no background scale
    float extent_x, extent_y;  // half the frame's screen size / 16
};

// The handles in the order they are tried.
enum PatchHandle : int {
    TOOL_PATCH_H_BODY,
    TOOL_PATCH_H_SCALEY,
    TOOL_PATCH_H_ROTX,
    TOOL_PATCH_H_ROTY,
    TOOL_PATCH_H_ROTZ,
    TOOL_PATCH_H_ASPECT,
    TOOL_PATCH_H_COUNT
};

// ---- geometry (pure) ---------------------------------------------------------------------
// The cursor inside such a rectangle.
int tool_point_in_rect(float x, float y, float w, float h);
float tool_distance(float x0, float y0, float x1, float y1);
float tool_distance_sq(float x0, float y0, float x1, float y1);

// ---- patches -------------------------------------------------------------------------------
DrawObj* tool_patch_create(uint32_t model_group, uint32_t mesh);
int tool_patch_free_slot(void);
void tool_patch_init(DrawObj* obj, uint32_t mesh, int slot);
void tool_patch_anchor(DrawObj* obj);
void tool_patch_place(DrawObj* obj);
int tool_patch_frame(DrawObj* obj);
void tool_patch_release(DrawObj* obj);
PatchRecord* tool_patch_record(DrawObj* obj);
int tool_patch_is_active(DrawObj* obj);
int tool_patch_is_moving(DrawObj* obj);
void tool_patch_deselect(DrawObj* obj);
void tool_patch_mark_delete(DrawObj* obj);
int tool_active_patch_index(void);
DrawObj* tool_active_patch(void);
int tool_moving_patch_index(void);
void tool_mark_delete_slot(int slot);
int tool_patch_pick_index(void);
DrawObj* tool_patch_pick(void);
int tool_patch_hit(DrawObj* obj, float* distance);
int tool_patch_hit_body(DrawObj* obj);
int tool_patch_hit_scaley(DrawObj* obj);
int tool_patch_hit_rotx(DrawObj* obj);
int tool_patch_hit_roty(DrawObj* obj);
int tool_patch_hit_rotz(DrawObj* obj);
int tool_patch_hit_aspect(DrawObj* obj);
int tool_patch_hit_any_handle(DrawObj* obj);
// One of the six bound values of a mesh's box (0..2 the minimum corner, 3..5
// the maximum); 0 for a handle that names no mesh.
float tool_mesh_bound(uint32_t mesh, int which);
// math/'s builders with the values as arguments: vm_mat_scale, mat_from_euler_y (the identity
// turned by Euler angles), vm_mat_translation and vm_vec3_set.
Mat44* tool_mat_scale3(Mat44* out, const Mat44* m, float x, float y, float z);
Mat44* tool_mat_euler(Mat44* out, float x, float y, float z);
Mat44* tool_mat_translation(Mat44* out, float x, float y, float z);
Vec3* tool_vec3(Vec3* out, float x, float y, float z);
// The mesh name's tags applied to a model object (tool/nametag_local.h); the
// default priority is 79 for patches and 28 for palette previews.
void tool_apply_name_options(DrawObj* obj, uint32_t mesh, int default_priority);
