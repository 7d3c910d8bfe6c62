// obj3d/obj3d_draw: the 3D draw pass. Each 3D type's draw-all gets a run of
// visible objects of one priority from the draw-object manager inside a
// view's 3D pass; it picks levels of detail, culls against the view's cull
// frustum, splits opaque / depth-sorted / no-z-write groups, sorts them, sets
// the common states once and draws each object through mesh_draw. Fixed
// arrays; nothing is allocated per frame. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "obj3d/obj3d.h"
#include "res/res.h"

struct DrawObj;
struct XformSet;

constexpr int OBJ3D_SORT_CAP = 8192;  // the size of the draw-object pool
constexpr int OBJ3D_MAX_LIGHTS = 4;   // point lights per object

// What a draw-all reads once from the state and the current view.
struct Obj3dPassView {
    int cull_ovr, fog_ovr, alpha_ovr, blend_ovr, tex_limit;  // -1 = none
    bool pass_a, pass_b;
    uint32_t fog_enable;  // the current screen's fog
    int pass_id;
    int screen;
    Vec3 eye;
    float far_sq;
    const FrustumPlanes* planes;  // cull planes of the set
    const XformSet* set;
};
void obj3d_pass_view(Obj3dPassView* out);

// One mesh draw.
struct MeshDrawArgs {
    ResHandle mesh;
    ResHandle override_tex;  // 0: none
    Mat44* world;            // billboards rewrite it
    const void* skin;
    const ObjMaterial* material;
    DrawParam dp;
    int shader_set;
    const void* params;  // 92-byte parameter block
    float scalar;
    const void* lights;
    int light_count;     // 0..OBJ3D_MAX_LIGHTS
    bool keep_lighting;  // lighting as asked even for a mesh with vertex colours
};
// Draws the mesh with its key, buffers (only when the mesh differs from
// *last_mesh) and per-subset textures. Nothing for mesh 0 or a pass the
// object is not in.
void mesh_draw(const Obj3dPassView& pv, const MeshDrawArgs& a, ResHandle* last_mesh);

// Render-state key of a draw parameter with the pass overrides; lighting
// forced off when `unlit` (a mesh with vertex colours).
RenderStateKey obj3d_draw_key(const Obj3dPassView& pv, DrawParam dp, bool unlit);

// Sorts of record pointers by the record's first word (the depth key):
// a float ascending or descending, or the word's bits as an unsigned integer
// descending.
void sort_by_key_asc(DrawObj** a, int n);
void sort_by_key_desc(DrawObj** a, int n);
void sort_by_uint_desc(DrawObj** a, int n);
// Mesh-list nodes by their float sort key.
void mlist_sort_asc(ResMeshListNode** a, int n);
void mlist_sort_desc(ResMeshListNode** a, int n);

// The sorts' pending-range stacks (low and high indices).
int* obj3d_sort_stack_lo();
int* obj3d_sort_stack_hi();

// The draw order of the last draw-all and its length (tests read it).
DrawObj* const* obj3d_sort_array();
int obj3d_sort_count();

// Grouping of the draw-alls other than the model object's: opaque objects
// (sorted ascending by their depth key), depth-sorted ones (descending) and
// those without z-write (descending), concatenated into the sort array.
void obj3d_groups_begin();
void obj3d_groups_add(DrawObj* o, DrawParam dp);
int obj3d_groups_finish();  // the draw order's length
// Vertex format of the base key: position, normal, one texture set.
constexpr uint32_t OBJ3D_BASE_FVF = 0x112;
// The common states of a draw-all, for vertices of the given FVF code.
void obj3d_apply_base_states(const Obj3dPassView& pv, int samplers, uint32_t fvf);

// The model object's draw-all (registered as its draw callback).
void mdlobj_draw_all(DrawObj** run, int count);

// The same array filled by another drawer of the 3D pass (the sprite
// objects) with its own order: room for OBJ3D_SORT_CAP records, then the count.
DrawObj** obj3d_sort_array_fill();
void obj3d_sort_set_count(int n);
