// Patches (see tool_patch_local.h): the screen geometry of their frames and handles, and each patch's
// record, update callback, selection, drags and deletion.
#include "tool/tool_patch_local.h"

#include "svc/key.h"
#include "svc/mouse.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_small.h"
#include "math/vm_vec.h"
#include "obj2d/line2d.h"
#include "disp/obj.h"
#include "obj2d/spr.h"
#include "obj3d/mdlobj.h"
#include "plat/dialogs.h"
#include "tool/nametag_local.h"
#include "tool/tool_local.h"

#include <algorithm>
#include <cmath>
#include <iterator>

// Sections: geometry | patches

// 1 when the cursor is on the handle's box of the patch's frame.
static int tool_patch_hit_handle(DrawObj* obj, int handle);

// ---- geometry ----------------------------------------------------------------------------

namespace {

// Where one handle of a selected patch's frame lies, for drawing it and for its clicks alike:
// its anchor is side_x, side_y half sizes of the frame from the centre (-1, 0 or 1: which
// edge) and then off_x, off_y pixels further out; the icon's pivot sits on the anchor, and
// the box that takes the handle's clicks is the icon's w x h there.
struct HandleLayout {
    const char* crop;  // the icon, in the "icon" texture group
    uint32_t drag_bit;
    float side_x, side_y;
    float off_x, off_y;
    float pivot_x, pivot_y;  // fractions of the icon's size
    float w, h;              // the icon's size in pixels
};

// From TOOL_PATCH_H_SCALEY on, in PatchHandle's order.
constexpr HandleLayout TOOL_HANDLE_LAYOUT[] = {
    {"scaley", TOOL_PATCH_SCALEY, 1, 0, 16, 0, 0.0f, 0.5f, 32, 64},  // right of the frame
    {"rotx", TOOL_PATCH_ROTX, 0, -1, 0, -32, 0.5f, 0.5f, 32, 32},    // above
    {"roty", TOOL_PATCH_ROTY, -1, 0, -32, 0, 0.5f, 0.5f, 32, 32},    // left
    {"rotz", TOOL_PATCH_ROTZ, 1, 1, 32, 40, 0.5f, 0.5f, 32, 32},     // below right
    {"aspect", TOOL_PATCH_ASPECT, 0, 1, 0, 40, 0.5f, 0.5f, 64, 32},  // below
};
static_assert(std::size(TOOL_HANDLE_LAYOUT) == TOOL_PATCH_H_COUNT - TOOL_PATCH_H_SCALEY);

const HandleLayout& handle_layout(int handle)
{
    return TOOL_HANDLE_LAYOUT[size_t(handle - TOOL_PATCH_H_SCALEY)];
}

// The anchor of a handle of the frame centred at (cx, cy) with half sizes (hx, hy).
Vec2 handle_anchor(const HandleLayout& l, float cx, float cy, float hx, float hy)
{
    return {cx + l.side_x * hx + l.off_x, cy + l.side_y * hy + l.off_y};
}

}  // namespace

PatchBox tool_patch_box(int handle, float cx, float cy, float fx, float fy)
{
    const float hx = 16 * fx, hy = 16 * fy;  // the frame's half sizes
    if (handle <= TOOL_PATCH_H_BODY || handle >= TOOL_PATCH_H_COUNT)
        return {cx - hx, cy - hy, 2 * hx, 2 * hy};
    const HandleLayout& l = handle_layout(handle);
    // The icon's box about the anchor, its pixel terms added up first so that a bound is
    // the frame's edge moved by a whole number of pixels, truncated as such.
    return {cx + l.side_x * hx + (l.off_x - l.pivot_x * l.w),
            cy + l.side_y * hy + (l.off_y - l.pivot_y * l.h), l.w, l.h};
}

int tool_point_in_rect_at(int32_t px, int32_t py, float x, float y, float w, float h)
{
    const int32_t x0 = int32_t(x), y0 = int32_t(y);
    const int32_t x1 = int32_t(x + w), y1 = int32_t(y + h);
    return px >= x0 && px <= x1 && py >= y0 && py <= y1 ? 1 : 0;
}

int tool_point_in_rect(float x, float y, float w, float h)
{
    uint32_t mx = 0, my = 0;
    mouse_get_pos(&mx, &my);
    return tool_point_in_rect_at(int32_t(mx), int32_t(my), x, y, w, h);
}

Vec2 tool_box_extent(const float box[6], const Mat44* m)
{
    Vec2 e{0.0f, 0.0f};
    for (int i = 0; i < 8; ++i) {
        const Vec3 corner{box[(i & 1) ? 3 : 0], box[(i & 2) ? 4 : 1], box[(i & 4) ? 5 : 2]};
        Vec3 v;
        vm_mat_transform_vector(&v, m, &corner);
        e.x = std::max(e.x, std::fabs(v.x));
        e.y = std::max(e.y, std::fabs(v.y));
    }
    return e;
}

float tool_distance_sq(float x0, float y0, float x1, float y1)
{
    const float dx = x1 - x0, dy = y1 - y0;
    return dx * dx + dy * dy;
}

float tool_distance(float x0, float y0, float x1, float y1)
{
    return std::sqrt(tool_distance_sq(x0, y0, x1, y1));
}

// The drag factor of the scaley and aspect handles: d pixels * 1/32 + 1, at
// least 0.1.
static float tool_patch_drag_factor(float d) { return std::max(d * 0.03125f + 1.0f, 0.1f); }

Mat44* tool_mat_scale3(Mat44* out, const Mat44* m, float x, float y, float z)
{
    const Vec3 s{x, y, z};
    return vm_mat_scale(out, m, &s);
}

Mat44* tool_mat_euler(Mat44* out, float x, float y, float z)
{
    return mat_from_euler_y(out, x, y, z);
}

Mat44* tool_mat_translation(Mat44* out, float x, float y, float z)
{
    const Vec3 t{x, y, z};
    return vm_mat_translation(out, &t);
}

Vec3* tool_vec3(Vec3* out, float x, float y, float z) { return vm_vec3_set(out, x, y, z); }

// ---- patches -------------------------------------------------------------------------------

namespace {

constexpr uint32_t TOOL_FRAME_COLOUR = 0xFF00FF00u;
constexpr uint32_t TOOL_HANDLE_COLOUR = 0xFFFFFFFFu;
constexpr uint32_t TOOL_HANDLE_DRAG_COLOUR = 0xFFFF0000u;
constexpr float TOOL_NO_PICK = 99999.0f;

static_assert(sizeof(PatchRecord) <= OBJ_USER_WORK_BYTES, "the record lives in the user area");

void cursor(int32_t* x, int32_t* y)
{
    uint32_t mx = 0, my = 0;
    mouse_get_pos(&mx, &my);
    *x = int32_t(mx);
    *y = int32_t(my);
}

// The frame centre on screen from the object's matrix.
Vec2 patch_centre(DrawObj* obj)
{
    const Mat44* m = mdlobj_matrix(obj);
    return {float(tool_render_w() / 2) + m->m[12], float(tool_render_h() / 2) + m->m[13]};
}

void draw_frame_and_handles(DrawObj* obj, const PatchRecord* p, float hx, float hy)
{
    const Vec2 c = patch_centre(obj);
    const ResGroupId g = obj->group;
    const Vec2 tl{c.x - hx, c.y - hy}, bl{c.x - hx, c.y + hy};
    const Vec2 tr{c.x + hx, c.y - hy}, br{c.x + hx, c.y + hy};
    line2d_create_1f(g, tl, TOOL_FRAME_COLOUR, bl, TOOL_FRAME_COLOUR, TOOL_PATCH_FRAME_PRIO, 1.0f);
    line2d_create_1f(g, tl, TOOL_FRAME_COLOUR, tr, TOOL_FRAME_COLOUR, TOOL_PATCH_FRAME_PRIO, 1.0f);
    line2d_create_1f(g, br, TOOL_FRAME_COLOUR, bl, TOOL_FRAME_COLOUR, TOOL_PATCH_FRAME_PRIO, 1.0f);
    line2d_create_1f(g, br, TOOL_FRAME_COLOUR, tr, TOOL_FRAME_COLOUR, TOOL_PATCH_FRAME_PRIO, 1.0f);
    for (int h = TOOL_PATCH_H_SCALEY; h < TOOL_PATCH_H_COUNT; ++h) {
        const HandleLayout& l = handle_layout(h);
        const Vec2 pos = handle_anchor(l, c.x, c.y, hx, hy);
        spr_create_1f(g, res_crop_find("icon", l.crop),
                      (p->state & l.drag_bit) ? TOOL_HANDLE_DRAG_COLOUR : TOOL_HANDLE_COLOUR, pos.x,
                      pos.y, l.pivot_x, l.pivot_y, 1.0f, 1.0f, TOOL_PATCH_FRAME_PRIO);
    }
}

// Which drag a selected patch is in. A press on the body or a handle (tried in that order)
// starts that drag from the cursor and the picture position (body) or matrix (handles); the
// drag goes on while the button is held, wherever the cursor goes, and ends when it is let go.
// A press on none of them lets the selection go.
void update_drag_bits(DrawObj* obj, PatchRecord* p, const Mat44* m)
{
    const uint32_t prev = p->state & ~TOOL_PATCH_SELECTED;
    const uint32_t old = p->state;
    const int down = key_is_down(PLAT_VK_LBUTTON), pressed = key_is_pressed(PLAT_VK_LBUTTON);
    if (!down) p->state &= ~TOOL_PATCH_DRAG_BITS;
    for (int h = TOOL_PATCH_H_BODY; h < TOOL_PATCH_H_COUNT; ++h) {
        const uint32_t bit = 1u << (h + 1);
        if (!down || (prev & TOOL_PATCH_DRAG_BITS & ~bit) != 0 || !tool_patch_hit_handle(obj, h))
            continue;
        if (old & bit) p->state |= bit;
        if (pressed) {
            p->state |= bit;
            cursor(&p->drag_mouse_x, &p->drag_mouse_y);
            if (h == TOOL_PATCH_H_BODY)
                p->drag_pic = p->pic;
            else
                p->start = *m;
        }
        return;
    }
    if (pressed) p->state = 0;
}

// The drag in progress, from the cursor's travel since the press: the body moves the picture
// position; the handles scale, turn about the screen's x, y or z axis, or stretch along x,
// each worked out from the start matrix again every frame and keeping its translation.
void apply_drags(PatchRecord* p, Mat44* m, float s)
{
    int32_t mx = 0, my = 0;
    cursor(&mx, &my);
    const float dx = float(mx - p->drag_mouse_x), dy = float(my - p->drag_mouse_y);
    if (p->state & TOOL_PATCH_MOVING) {
        p->pic.x = dx / s + p->drag_pic.x;
        p->pic.y = dy / s + p->drag_pic.y;
    }
    Mat44 turn;
    bool changed = true;
    if (p->state & TOOL_PATCH_SCALEY) {
        const float f = tool_patch_drag_factor(-dy);
        tool_mat_scale3(m, &p->start, f, f, f);
    } else if (p->state & TOOL_PATCH_ROTX) {
        vm_mat_mul(m, tool_mat_euler(&turn, vm_deg_to_rad(dy), 0, 0), &p->start);
    } else if (p->state & TOOL_PATCH_ROTY) {
        vm_mat_mul(m, tool_mat_euler(&turn, 0, vm_deg_to_rad(-dx), 0), &p->start);
    } else if (p->state & TOOL_PATCH_ROTZ) {
        vm_mat_mul(m, tool_mat_euler(&turn, 0, 0, vm_deg_to_rad(dy - dx)), &p->start);
    } else if (p->state & TOOL_PATCH_ASPECT) {
        vm_mat_identity(&turn);
        turn.m[0] = tool_patch_drag_factor(dx);
        vm_mat_mul(m, &turn, &p->start);
    } else {
        changed = false;
    }
    if (changed) {
        m->m[12] = p->start.m[12];
        m->m[13] = p->start.m[13];
        m->m[14] = p->start.m[14];
    }
}

// Another patch is active and the cursor is on one of its handles: a click there is that
// patch's drag, not a selection of this one.
bool blocked_by_active(DrawObj* obj)
{
    DrawObj* other = tool_active_patch();
    return other && other != obj && tool_patch_hit_any_handle(other);
}

}  // namespace

PatchRecord* tool_patch_record(DrawObj* obj)
{
    return obj ? reinterpret_cast<PatchRecord*>(obj->user) : nullptr;
}

int tool_patch_free_slot(void)
{
    const ToolState& t = tool_state();
    for (int i = 0; i < TOOL_PATCH_SLOTS; ++i)
        if (!t.patches[size_t(i)]) return i;
    plat_message_box("", TOOL_PATCH_LIMIT_CAPTION, PLAT_MB_OK);
    return -1;
}

DrawObj* tool_patch_create(uint32_t model_group, uint32_t mesh)
{
    const int slot = tool_patch_free_slot();
    if (slot < 0) return nullptr;
    DrawObj* obj = mdlobj_create(model_group, nullptr, mesh, TOOL_PATCH_PRIO);
    if (!obj) return nullptr;
    obj_set_update(obj, tool_patch_frame);
    obj_set_release(obj, tool_patch_release);
    tool_patch_init(obj, mesh, slot);
    tool_state().patches[size_t(slot)] = obj;
    return obj;
}

void tool_patch_init(DrawObj* obj, uint32_t mesh, int slot)
{
    PatchRecord* p = tool_patch_record(obj);
    *p = PatchRecord{};
    p->mesh = mesh;
    p->slot = slot;
    tool_patch_anchor(obj);
    p->state = TOOL_PATCH_MOVING;  // follows the cursor at once
    mdlobj_set_cull(obj, 1);
    tool_apply_name_options(obj, mesh, TOOL_PATCH_TAG_PRIO);
    Mat44* m = mdlobj_matrix(obj);
    vm_mat_identity(m);
    tool_mat_scale3(m, m, TOOL_PATCH_MODEL_SCALE, TOOL_PATCH_MODEL_SCALE, TOOL_PATCH_MODEL_SCALE);
    vm_mat_rotate_z(m, m, VM_PI);
    mdlobj_set_frustum_cull(obj, 0);
    p->base = *m;
}

void tool_patch_anchor(DrawObj* obj)
{
    const ToolState& t = tool_state();
    PatchRecord* p = tool_patch_record(obj);
    int32_t mx = 0, my = 0;
    cursor(&mx, &my);
    p->pic.x = (float(mx) - t.offset_x) / t.scale;
    p->pic.y = (float(my) - t.offset_y) / t.scale;
}

void tool_patch_place(DrawObj* obj)
{
    const ToolState& t = tool_state();
    const PatchRecord* p = tool_patch_record(obj);
    Mat44* m = mdlobj_matrix(obj);
    m->m[12] = p->pic.x * t.scale + t.offset_x - float(tool_render_w() / 2);
    m->m[13] = p->pic.y * t.scale + t.offset_y - float(tool_render_h() / 2);
    m->m[14] = TOOL_PATCH_Z;
}

int tool_patch_frame(DrawObj* obj)
{
    ToolState& t = tool_state();
    PatchRecord* p = tool_patch_record(obj);
    Mat44* m = mdlobj_matrix(obj);
    const float s = t.scale;
    mdlobj_set_lighting(obj, t.lighting);
    *m = p->base;

    // The frame around the model, capped so a huge model keeps its handles
    // on screen.
    float box[6];
    for (int i = 0; i < 6; ++i) box[i] = tool_mesh_bound(p->mesh, i);
    const Vec2 e = tool_box_extent(box, m);
    const float ex = std::min(e.x, TOOL_PATCH_EXTENT_CAP * float(tool_render_w()));
    const float ey = std::min(e.y, TOOL_PATCH_EXTENT_CAP * float(tool_render_h()));
    p->extent_x = ex * s / 16.0f;
    p->extent_y = ey * s / 16.0f;

    const int pressed = key_is_pressed(PLAT_VK_LBUTTON);
    // A press the palette used is not also a click on a patch hidden under it.
    const int selecting = pressed && !t.palette_took_press;
    // The scans of every slot come last, so that they run on a click, not for every patch in
    // every frame.
    if (p->state == 0 && selecting && p->counter > 2 && !blocked_by_active(obj) &&
        tool_patch_pick() == obj) {
        p->state = TOOL_PATCH_SELECTED;
        p->counter = 0;
        tool_deselect_all(obj);
    }

    if (!(p->state & TOOL_PATCH_SELECTED)) {
        if (p->state & TOOL_PATCH_MOVING) {
            tool_patch_anchor(obj);
            if (pressed && p->counter > 2) {  // placed
                p->state &= ~TOOL_PATCH_MOVING;
                p->counter = 0;
            }
        }
    } else {
        update_drag_bits(obj, p, m);
        if (p->state & TOOL_PATCH_SELECTED) apply_drags(p, m, s);
    }

    tool_patch_place(obj);
    if (p->state) draw_frame_and_handles(obj, p, ex * s, ey * s);

    ++p->counter;
    const int result = p->delete_mark ? 1 : 0;
    // Drawn at the background's scale about its own origin; the translation
    // row is already in screen terms.
    p->base = *m;
    tool_mat_scale3(m, m, s, s, s);
    return result;
}

void tool_patch_release(DrawObj* obj)
{
    const PatchRecord* p = tool_patch_record(obj);
    if (!p || p->slot < 0 || p->slot >= TOOL_PATCH_SLOTS) return;
    ToolState& t = tool_state();
    if (t.patches[size_t(p->slot)] == obj) t.patches[size_t(p->slot)] = nullptr;
}

int tool_patch_is_active(DrawObj* obj) { return obj && tool_patch_record(obj)->state ? 1 : 0; }

int tool_patch_is_moving(DrawObj* obj)
{
    return obj && (tool_patch_record(obj)->state & TOOL_PATCH_MOVING) ? 1 : 0;
}

void tool_patch_deselect(DrawObj* obj)
{
    if (obj) tool_patch_record(obj)->state = 0;
}

void tool_patch_mark_delete(DrawObj* obj)
{
    if (obj) tool_patch_record(obj)->delete_mark = 1;
}

int tool_active_patch_index(void)
{
    const ToolState& t = tool_state();
    for (int i = 0; i < TOOL_PATCH_SLOTS; ++i)
        if (tool_patch_is_active(t.patches[size_t(i)])) return i;
    return -1;
}

DrawObj* tool_active_patch(void)
{
    const int i = tool_active_patch_index();
    return i < 0 ? nullptr : tool_state().patches[size_t(i)];
}

int tool_moving_patch_index(void)
{
    const ToolState& t = tool_state();
    for (int i = 0; i < TOOL_PATCH_SLOTS; ++i)
        if (tool_patch_is_moving(t.patches[size_t(i)])) return i;
    return -1;
}

void tool_mark_delete_slot(int slot)
{
    if (slot < 0 || slot >= TOOL_PATCH_SLOTS) return;
    tool_patch_mark_delete(tool_state().patches[size_t(slot)]);
}

int tool_patch_pick_index(void)
{
    const ToolState& t = tool_state();
    float best = TOOL_NO_PICK;
    int index = -1;
    for (int i = 0; i < TOOL_PATCH_SLOTS; ++i) {
        float d = 0.0f;
        DrawObj* obj = t.patches[size_t(i)];
        if (obj && tool_patch_hit(obj, &d) && d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

DrawObj* tool_patch_pick(void)
{
    const int i = tool_patch_pick_index();
    return i < 0 ? nullptr : tool_state().patches[size_t(i)];
}

static int tool_patch_hit_handle(DrawObj* obj, int handle)
{
    if (!obj) return 0;
    const PatchRecord* p = tool_patch_record(obj);
    const Vec2 c = patch_centre(obj);
    const PatchBox b = tool_patch_box(handle, c.x, c.y, p->extent_x, p->extent_y);
    return tool_point_in_rect(b.x, b.y, b.w, b.h);
}

int tool_patch_hit(DrawObj* obj, float* distance)
{
    if (!tool_patch_hit_handle(obj, TOOL_PATCH_H_BODY)) return 0;
    if (distance) {
        int32_t mx = 0, my = 0;
        cursor(&mx, &my);
        const Vec2 c = patch_centre(obj);
        *distance = tool_distance(float(mx), float(my), c.x, c.y);
    }
    return 1;
}

int tool_patch_hit_body(DrawObj* obj) { return tool_patch_hit_handle(obj, TOOL_PATCH_H_BODY); }
int tool_patch_hit_scaley(DrawObj* obj) { return tool_patch_hit_handle(obj, TOOL_PATCH_H_SCALEY); }
int tool_patch_hit_rotx(DrawObj* obj) { return tool_patch_hit_handle(obj, TOOL_PATCH_H_ROTX); }
int tool_patch_hit_roty(DrawObj* obj) { return tool_patch_hit_handle(obj, TOOL_PATCH_H_ROTY); }
int tool_patch_hit_rotz(DrawObj* obj) { return tool_patch_hit_handle(obj, TOOL_PATCH_H_ROTZ); }
int tool_patch_hit_aspect(DrawObj* obj) { return tool_patch_hit_handle(obj, TOOL_PATCH_H_ASPECT); }

int tool_patch_hit_any_handle(DrawObj* obj)
{
    for (int h = TOOL_PATCH_H_SCALEY; h < TOOL_PATCH_H_COUNT; ++h)
        if (tool_patch_hit_handle(obj, h)) return 1;
    return 0;
}

float tool_mesh_bound(uint32_t mesh, int which)
{
    const MeshBuffers* mb = res_mesh_get_object(mesh);
    return mb && which >= 0 && which < 6 ? mb->box[which] : 0.0f;
}

void tool_apply_name_options(DrawObj* obj, uint32_t mesh, int default_priority)
{
    if (!obj) return;
    const NameOptions o = nametag_options(res_mesh_name(mesh), default_priority, obj->prio);
    if (o.alpha_ref) mdlobj_set_alpha_ref(obj, o.alpha_ref);
    if (o.zwrite_off) mdlobj_set_zwrite(obj, 0);
    if (o.zfunc_always) mdlobj_set_zfunc(obj, 7);
    // Also moves the object to the head of its priority list, as each tag
    // step did.
    obj_set_priority(obj, o.priority);
}
