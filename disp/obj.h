// The draw-object manager: one pool of fixed DrawObj records that every
// drawable thing of the engine (2D or 3D) is taken from, the type registry,
// the resource group ids, the 94 priority lists, the update list, the
// per-frame update pass and the frame's draw list that the display draws in
// priority bands, plus a small pool of group-tagged records.
//
// Main thread only, inside the display's start, stop, reset and frame steps.
// Frame order: the application changes objects; obj_frame (update
// callbacks); obj_build_draw_list; obj_draw_range per band; obj_free_dead.
#pragma once

#include <cstddef>
#include <cstdint>

// --- capacities ----------------------------------------------------------------
constexpr int OBJ_POOL_SIZE = 8192;
constexpr int OBJ_PRIO_COUNT = 94;  // priorities 0..93
constexpr int OBJ_TYPE_SLOTS = 16;  // slot 0 is never used
// The type work area. Records laid out for 32-bit pointers fitted 320 bytes;
// with 64-bit pointers the larger types grow past that, so the area (and the
// registration limit) is wider, keeping every type's registration and number.
constexpr int OBJ_TYPE_WORK_BYTES = 512;
constexpr int OBJ_USER_WORK_BYTES = 256;
constexpr int OBJ_GROUP_ID_COUNT = 8192;  // ids 1..8191
constexpr int OBJ_GMEM_POOL_SIZE = 1024;
constexpr int OBJ_GMEM_PAYLOAD_BYTES = 128;

using ResGroupId = uint32_t;
using DrawKey = uint32_t;  // bits 24-31 priority, 16-23 sort sub-key, 8-15 type, 0-7 sort byte

// DrawObj flags (DrawObjFlags).
constexpr uint32_t OBJ_IN_USE = 1u << 0;
constexpr uint32_t OBJ_KILL_MASK = 3u << 1;  // nonzero: freed at the end of the frame
constexpr uint32_t OBJ_KILLED = 2u << 1;     // what obj_kill stores
constexpr uint32_t OBJ_VISIBLE = 1u << 3;
constexpr int OBJ_LAYER_SHIFT = 4;  // bits 4-6: layer 0..7
constexpr uint32_t OBJ_LAYER_MASK = 7u << OBJ_LAYER_SHIFT;
constexpr uint32_t OBJ_IN_UPDATE_LIST = 1u << 7;
// Bits 8-15 = 1 on an in-use record marks a bound object: laid out like a
// pool record but owned by another module and never linked into any list.
constexpr uint32_t OBJ_BOUND_MASK = 0xFFu << 8;
constexpr uint32_t OBJ_BOUND = 1u << 8;
constexpr int OBJ_UPDATE_SUB_SHIFT = 16;    // bits 16-23, default 127
constexpr int OBJ_UPDATE_ORDER_SHIFT = 24;  // bits 24-31, default 127

struct DrawObj;
using ObjUpdateFn = int (*)(DrawObj* obj);  // nonzero: free the object now
using ObjReleaseFn = void (*)(DrawObj* obj);
using ObjDrawFn = void (*)(DrawObj** run, int count);
using ObjInitFn = void (*)(DrawObj* obj);
using ObjExitFn = void (*)(DrawObj* obj);
using ObjSortByteFn = uint32_t (*)(DrawObj* obj);

struct DrawObj {
    float depth;     // written by the 3D and sprite-object draws for their own sorting
    uint32_t flags;  // OBJ_* bits
    uint8_t type;    // 1..15, 0 = untyped
    uint8_t prio;    // 0..93
    uint8_t subkey;  // sort sub-key, default 127
    uint8_t pad0;
    DrawKey frame_key;  // base key | sort byte, recomputed at each build
    ResGroupId group;
    DrawKey base_key;
    ObjUpdateFn update;
    ObjReleaseFn release;    // own release callback, called first at free
    DrawObj *prev, *next;    // active list while in use, free list while free
    DrawObj *uprev, *unext;  // update list
    DrawObj *pprev, *pnext;  // priority list
    uint32_t pass_stamp;     // update pass that gathered the object (0 = none)
    alignas(16) unsigned char work[OBJ_TYPE_WORK_BYTES];  // owned by the type
    alignas(16) unsigned char user[OBJ_USER_WORK_BYTES];  // owned by the creator
};
static_assert(offsetof(DrawObj, depth) == 0, "the depth key is the first word");

// The type work of an object seen as the type's record.
template <class T>
T* obj_work(DrawObj* obj)
{
    static_assert(sizeof(T) <= OBJ_TYPE_WORK_BYTES, "type work too large");
    return reinterpret_cast<T*>(obj->work);
}
template <class T>
const T* obj_work(const DrawObj* obj)
{
    static_assert(sizeof(T) <= OBJ_TYPE_WORK_BYTES, "type work too large");
    return reinterpret_cast<const T*>(obj->work);
}

// Group-tagged record.
struct GroupMemRec {
    ResGroupId group;
    uint32_t in_use;
    alignas(8) unsigned char payload[OBJ_GMEM_PAYLOAD_BYTES];
    GroupMemRec *prev, *next;
};

// Modules built elsewhere that the manager calls on group release and reset
// (point lights, movie records). Unset entries are skipped.
struct ObjLinks {
    void (*plight_release_group)(ResGroupId id) = nullptr;
    void (*plight_reset)() = nullptr;
    void (*movie_release_group)(ResGroupId id) = nullptr;
    void (*movie_list_reset)() = nullptr;
};
void obj_set_links(const ObjLinks& links);

// --- start, stop, reset, frame (called by the display) ---------------------------
void obj_module_init();   // clears the type table, then obj_system_reset
void obj_module_term();   // clears the type table
void obj_system_reset();  // every object, group and group record back to free
void obj_frame();         // the update pass
void obj_free_dead();     // frees every killed object (end of frame)
void obj_build_draw_list();
void obj_draw_range(int lo, int hi);  // priorities lo..hi inclusive
void obj_draw_all();

// --- types ------------------------------------------------------------------------
// The type number 1..15, or 0 when work_size is over OBJ_TYPE_WORK_BYTES or all
// 15 slots are taken.
int obj_register_type(ObjDrawFn draw, ObjInitFn init, ObjExitFn exit, ObjSortByteFn sortbyte,
                      int work_size);
// Takes the next type number for a type this program does not build (no
// callbacks), so that the types after it keep their numbers.
int obj_reserve_type();

// --- objects ----------------------------------------------------------------------
DrawObj* obj_alloc(ResGroupId group);           // null when the pool is full
void obj_free(DrawObj* obj);                    // null, free or foreign records: nothing
void obj_kill(DrawObj* obj);                    // freed at the end of this frame
void obj_set_type(DrawObj* obj, int type);      // once; unregistered types ignored; bound ok
void obj_set_priority(DrawObj* obj, int prio);  // 0..93, others ignored
void obj_set_sort_subkey(DrawObj* obj, int subkey);
void obj_set_update(DrawObj* obj, ObjUpdateFn fn);  // null keeps the callback
void obj_set_update_order(DrawObj* obj, int order);
void obj_set_update_suborder(DrawObj* obj, int suborder);
void obj_set_release(DrawObj* obj, ObjReleaseFn fn);
void obj_set_visible(DrawObj* obj, int visible);
void obj_set_layer(DrawObj* obj, int layer);  // 0..7, others ignored
// Runs a bound object's release callback and its type's exit callback, as
// obj_free does, without touching any list; other records are ignored.
void obj_release_bound(DrawObj* obj);
// Calls fn(obj, arg) for every live object, newest first; fn must not free.
void obj_for_each(void (*fn)(DrawObj* obj, void* arg), void* arg);
void obj_show_layer(int layer, int show);
void obj_show_all_layers(int show);
void obj_skip_next_update();

// --- queries ------------------------------------------------------------------------
int obj_live_count();
int obj_update_stat();
int obj_update_list_count();
int obj_frame_count();
int obj_is_live(const DrawObj* obj);  // a record of the pool that is in use
int obj_type_registered(int type);
// The frame's draw list (valid after obj_build_draw_list).
int obj_draw_list_count();
DrawObj* const* obj_draw_list();

// --- groups -------------------------------------------------------------------------
ResGroupId group_alloc();  // lowest free id 1..8191, 0 when none
void group_free(ResGroupId id);
void group_keep(ResGroupId id);
int group_count();
void group_release(ResGroupId id);  // frees everything of the group; the id stays
void group_release_all_unlocked();
void group_reset();

// --- group-tagged records ---------------------------------------------------------------
GroupMemRec* gmem_alloc(ResGroupId group);
void gmem_free(GroupMemRec* rec);
void gmem_release_group(ResGroupId id);
int gmem_count();
void gmem_pool_reset();

// --- empty hooks of a module without body -------------------------------------------------
void nullmod_init();
void nullmod_term();
void nullmod_restore();
void nullmod_release();
void nullmod_reset();
void nullmod_frame();
void nullmod_draw();
void nullmod_release_group(ResGroupId id);
