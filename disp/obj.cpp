// The draw-object manager (see obj.h).
#include "disp/obj.h"

#include <array>
#include <cstring>

#include "disp/disp_hooks_local.h"
#include "util/pool_list.h"
#include "disp/obj_sort.h"

namespace {

constexpr int OBJ_SORT_STACK_SIZE = 4096;
constexpr uint32_t OBJ_DEFAULT_ORDER = 127;

struct DrawObjType {
    uint32_t in_use;
    ObjDrawFn draw;
    ObjInitFn init;
    ObjExitFn exit;
    ObjSortByteFn sortbyte;
};

// All the manager keeps: the pool of draw objects with its free, active, update and priority
// lists and counters, the type table, the sort's work space, then the parts named below.
struct ObjWork {
    std::array<DrawObj, OBJ_POOL_SIZE> recs;
    DrawObj* free_head;
    DrawObj* active_head;  // newest first
    DrawObj* update_head;  // newest first
    std::array<DrawObj*, OBJ_PRIO_COUNT> prio_head;
    int frame_count;
    int live_count;
    int update_stat;
    int update_count;
    uint32_t skip_next_update;
    std::array<uint32_t, 8> layer_hidden;
    uint32_t pass;  // update passes run, stamps gathered objects

    std::array<DrawObjType, OBJ_TYPE_SLOTS> types;
    std::array<DrawObj*, OBJ_POOL_SIZE> gather;
    std::array<int, OBJ_SORT_STACK_SIZE> stack_lo, stack_hi;

    // The draw list: this frame's visible objects in drawing order (obj_build_draw_list).
    uint32_t list_ready;
    int list_count;
    std::array<DrawObj*, OBJ_POOL_SIZE> list;

    // ResGroupId table: bit 0 allocated, bit 1 kept.
    int group_count;
    std::array<uint8_t, OBJ_GROUP_ID_COUNT> group_flags;

    // The group-tagged records (gmem_*): their pool and its active and free lists.
    std::array<GroupMemRec, OBJ_GMEM_POOL_SIZE> gmem;
    GroupMemRec* gmem_active;
    GroupMemRec* gmem_free;
    int gmem_count;

    ObjLinks links;
};
ObjWork g_obj;

constexpr uint8_t OBJ_GROUP_ALLOCATED = 1, OBJ_GROUP_KEPT = 2;

bool in_pool(const DrawObj* obj)
{
    if (!obj) return false;
    const DrawObj* first = g_obj.recs.data();
    if (obj < first || obj >= first + OBJ_POOL_SIZE) return false;
    return (reinterpret_cast<const char*>(obj) - reinterpret_cast<const char*>(first)) %
               sizeof(DrawObj) ==
           0;
}
bool live(const DrawObj* obj) { return in_pool(obj) && (obj->flags & OBJ_IN_USE); }
bool bound(const DrawObj* obj)
{
    return obj && !in_pool(obj) && (obj->flags & OBJ_IN_USE) &&
           (obj->flags & OBJ_BOUND_MASK) == OBJ_BOUND;
}

// --- list links -------------------------------------------------------------------

void prio_push(DrawObj* o, int p)
{
    o->pprev = nullptr;
    o->pnext = g_obj.prio_head[size_t(p)];
    if (o->pnext) o->pnext->pprev = o;
    g_obj.prio_head[size_t(p)] = o;
}
void prio_unlink(DrawObj* o)
{
    if (o->pprev)
        o->pprev->pnext = o->pnext;
    else
        g_obj.prio_head[o->prio] = o->pnext;
    if (o->pnext) o->pnext->pprev = o->pprev;
    o->pprev = o->pnext = nullptr;
}
void update_push(DrawObj* o)
{
    o->uprev = nullptr;
    o->unext = g_obj.update_head;
    if (o->unext) o->unext->uprev = o;
    g_obj.update_head = o;
    o->flags |= OBJ_IN_UPDATE_LIST;
    ++g_obj.update_count;
}
void update_unlink(DrawObj* o)
{
    if (o->uprev)
        o->uprev->unext = o->unext;
    else
        g_obj.update_head = o->unext;
    if (o->unext) o->unext->uprev = o->uprev;
    o->uprev = o->unext = nullptr;
    o->flags &= ~OBJ_IN_UPDATE_LIST;
    --g_obj.update_count;
}

// --- the sort ---------------------------------------------------------------------

// Descending on unsigned keys (obj_sort.h).
template <class KeyFn>
void sort_desc(DrawObj** a, int n, KeyFn key)
{
    obj_sort_records(
        a, n, key, [](uint32_t x, uint32_t y) { return x > y; }, g_obj.stack_lo, g_obj.stack_hi);
}

uint32_t update_key(const DrawObj* o) { return o->flags >> 16; }
uint32_t frame_key(const DrawObj* o) { return o->frame_key; }

const DrawObjType* type_of(int type)
{
    if (type < 1 || type >= OBJ_TYPE_SLOTS) return nullptr;
    const DrawObjType& t = g_obj.types[size_t(type)];
    return t.in_use ? &t : nullptr;
}

bool drawable(const DrawObj* o)
{
    if (!(o->flags & OBJ_VISIBLE)) return false;
    return !g_obj.layer_hidden[(o->flags & OBJ_LAYER_MASK) >> OBJ_LAYER_SHIFT];
}

void set_base_byte(DrawObj* o, int shift, uint32_t v)
{
    o->base_key = (o->base_key & ~(0xFFu << shift)) | ((v & 0xFFu) << shift);
    o->frame_key = o->base_key;
}

// Walks the active list freeing every object `pick` selects. A release or
// exit callback may free the object read as next; the walk then starts again
// from the head instead of following it into the free list.
template <class Pick>
void free_walk(Pick pick)
{
    DrawObj* o = g_obj.active_head;
    while (o) {
        DrawObj* next = o->next;
        if (pick(o)) {
            obj_free(o);
            if (next && !(next->flags & OBJ_IN_USE)) next = g_obj.active_head;
        }
        o = next;
    }
}

void draw_runs(int lo, int hi, bool all)
{
    const int n = g_obj.list_count;
    int i = 0;
    while (i < n) {
        DrawObj* first = g_obj.list[size_t(i)];
        const uint32_t run_key = first->frame_key & 0xFF00FF00u;
        int j = i + 1;
        while (j < n && (g_obj.list[size_t(j)]->frame_key & 0xFF00FF00u) == run_key) ++j;
        if (all || (first->prio >= lo && first->prio <= hi)) {
            const DrawObjType* t = type_of(first->type);
            if (t && t->draw) t->draw(&g_obj.list[size_t(i)], j - i);
        }
        i = j;
    }
}

}  // namespace

void obj_set_links(const ObjLinks& links) { g_obj.links = links; }

// --- start, stop, reset ----------------------------------------------------------------

void obj_module_init()
{
    g_obj.types = {};
    obj_system_reset();
}

void obj_module_term() { g_obj.types = {}; }

void obj_system_reset()
{
    std::memset(static_cast<void*>(g_obj.recs.data()), 0, sizeof(g_obj.recs));
    g_obj.active_head = g_obj.update_head = nullptr;
    g_obj.prio_head = {};
    g_obj.frame_count = g_obj.live_count = g_obj.update_stat = g_obj.update_count = 0;
    g_obj.skip_next_update = 0;
    g_obj.layer_hidden = {};
    g_obj.pass = 0;
    g_obj.list_ready = 0;
    g_obj.list_count = 0;
    pool_list_init(g_obj.recs.data(), OBJ_POOL_SIZE, g_obj.free_head);
    group_reset();
    gmem_pool_reset();
    nullmod_reset();
    if (g_obj.links.plight_reset) g_obj.links.plight_reset();
    if (g_obj.links.movie_list_reset) g_obj.links.movie_list_reset();
    disp_hook_on_obj_reset();
}

// --- types --------------------------------------------------------------------------------

int obj_register_type(ObjDrawFn draw, ObjInitFn init, ObjExitFn exit, ObjSortByteFn sortbyte,
                      int work_size)
{
    if (work_size > OBJ_TYPE_WORK_BYTES) return 0;
    for (int t = 1; t < OBJ_TYPE_SLOTS; ++t) {
        DrawObjType& s = g_obj.types[size_t(t)];
        if (s.in_use) continue;
        s = {1, draw, init, exit, sortbyte};
        return t;
    }
    return 0;
}

int obj_reserve_type() { return obj_register_type(nullptr, nullptr, nullptr, nullptr, 0); }

int obj_type_registered(int type) { return type_of(type) ? 1 : 0; }

// --- objects ---------------------------------------------------------------------------------

DrawObj* obj_alloc(ResGroupId group)
{
    DrawObj* o = pool_list_take(g_obj.free_head, g_obj.active_head);
    if (!o) return nullptr;
    o->flags = OBJ_IN_USE | (OBJ_DEFAULT_ORDER << OBJ_UPDATE_SUB_SHIFT) |
               (OBJ_DEFAULT_ORDER << OBJ_UPDATE_ORDER_SHIFT);
    o->group = group;
    prio_push(o, 0);
    o->subkey = uint8_t(OBJ_DEFAULT_ORDER);
    set_base_byte(o, 16, OBJ_DEFAULT_ORDER);
    ++g_obj.live_count;
    return o;
}

void obj_free(DrawObj* obj)
{
    if (!live(obj)) return;
    // Each callback is taken off the record before it runs, so a callback
    // that frees its own object does not run twice.
    if (ObjReleaseFn rel = obj->release) {
        obj->release = nullptr;
        rel(obj);
        if (!(obj->flags & OBJ_IN_USE)) return;
    }
    const DrawObjType* t = type_of(obj->type);
    obj->type = 0;
    if (t && t->exit) {
        t->exit(obj);
        if (!(obj->flags & OBJ_IN_USE)) return;
    }
    prio_unlink(obj);
    if (obj->flags & OBJ_IN_UPDATE_LIST) update_unlink(obj);
    obj->flags &= ~OBJ_IN_USE;
    pool_list_give(obj, g_obj.free_head, g_obj.active_head);
    --g_obj.live_count;
}

void obj_release_bound(DrawObj* obj)
{
    if (!bound(obj)) return;
    if (ObjReleaseFn rel = obj->release) {
        obj->release = nullptr;
        rel(obj);
    }
    const DrawObjType* t = type_of(obj->type);
    obj->type = 0;
    if (t && t->exit) t->exit(obj);
}

void obj_kill(DrawObj* obj)
{
    if (!live(obj)) return;
    obj->flags = (obj->flags & ~OBJ_KILL_MASK) | OBJ_KILLED;
}

void obj_set_type(DrawObj* obj, int type)
{
    if (!(live(obj) || bound(obj)) || obj->type != 0) return;
    const DrawObjType* t = type_of(type);
    if (!t) return;
    obj->type = uint8_t(type);
    if (t->init) t->init(obj);
    set_base_byte(obj, 8, uint32_t(type));
}

void obj_set_priority(DrawObj* obj, int prio)
{
    if (!live(obj) || prio < 0 || prio >= OBJ_PRIO_COUNT) return;
    prio_unlink(obj);
    prio_push(obj, prio);
    obj->prio = uint8_t(prio);
    set_base_byte(obj, 24, uint32_t(prio));
}

void obj_set_sort_subkey(DrawObj* obj, int subkey)
{
    if (!live(obj)) return;
    obj->subkey = uint8_t(subkey);
    set_base_byte(obj, 16, uint32_t(subkey));
}

void obj_set_update(DrawObj* obj, ObjUpdateFn fn)
{
    if (!live(obj) || !fn) return;
    obj->update = fn;
    if (!(obj->flags & OBJ_IN_UPDATE_LIST)) update_push(obj);
}

void obj_set_update_order(DrawObj* obj, int order)
{
    if (!live(obj)) return;
    obj->flags = (obj->flags & 0x00FFFFFFu) | (uint32_t(order & 0xFF) << OBJ_UPDATE_ORDER_SHIFT);
}

void obj_set_update_suborder(DrawObj* obj, int suborder)
{
    if (!live(obj)) return;
    obj->flags = (obj->flags & 0xFF00FFFFu) | (uint32_t(suborder & 0xFF) << OBJ_UPDATE_SUB_SHIFT);
}

void obj_set_release(DrawObj* obj, ObjReleaseFn fn)
{
    if (live(obj)) obj->release = fn;
}

void obj_set_visible(DrawObj* obj, int visible)
{
    if (!live(obj)) return;
    if (visible)
        obj->flags |= OBJ_VISIBLE;
    else
        obj->flags &= ~OBJ_VISIBLE;
}

void obj_set_layer(DrawObj* obj, int layer)
{
    if (!live(obj) || layer < 0 || layer > 7) return;
    obj->flags = (obj->flags & ~OBJ_LAYER_MASK) | (uint32_t(layer) << OBJ_LAYER_SHIFT);
}

void obj_for_each(void (*fn)(DrawObj*, void*), void* arg)
{
    if (!fn) return;
    for (DrawObj* o = g_obj.active_head; o;) {
        fn(o, arg);
        o = o->next;
    }
}

void obj_show_layer(int layer, int show)
{
    if (layer >= 0 && layer < 8) g_obj.layer_hidden[size_t(layer)] = show ? 0 : 1;
}

void obj_show_all_layers(int show) { g_obj.layer_hidden.fill(show ? 0 : 1); }

void obj_skip_next_update() { g_obj.skip_next_update = 1; }

// --- the frame -----------------------------------------------------------------------------------

void obj_frame()
{
    if (g_obj.skip_next_update) {
        g_obj.skip_next_update = 0;
        return;
    }
    g_obj.update_stat = 0;
    // Each pass stamps what it gathers: a record freed and handed out again
    // during the pass carries another stamp and is not called.
    if (++g_obj.pass == 0) g_obj.pass = 1;
    const uint32_t pass = g_obj.pass;
    int n = 0;
    for (DrawObj* o = g_obj.update_head; o; o = o->unext) {
        if (!o->update) continue;
        o->pass_stamp = pass;
        g_obj.gather[size_t(n++)] = o;
    }
    sort_desc(g_obj.gather.data(), n, update_key);
    for (int i = 0; i < n; ++i) {
        DrawObj* o = g_obj.gather[size_t(i)];
        if (!(o->flags & OBJ_IN_USE) || o->pass_stamp != pass || !o->update) continue;
        if (o->update(o)) {
            obj_free(o);
            ++g_obj.update_stat;
        }
    }
    g_obj.update_stat += g_obj.live_count;
    ++g_obj.frame_count;
}

void obj_free_dead()
{
    free_walk([](const DrawObj* o) { return (o->flags & OBJ_KILL_MASK) != 0; });
}

void obj_build_draw_list()
{
    g_obj.list_ready = 0;
    g_obj.list_count = 0;
    for (int p = OBJ_PRIO_COUNT - 1; p >= 0; --p) {
        DrawObj* head = g_obj.prio_head[size_t(p)];
        if (!head) continue;
        if (head->frame_key != 0) {
            int n = 0;
            for (DrawObj* o = head; o; o = o->pnext) {
                if (!drawable(o)) continue;
                o->frame_key = o->base_key;
                if (const DrawObjType* t = type_of(o->type); t && t->sortbyte)
                    o->frame_key |= t->sortbyte(o) & 0xFFu;
                g_obj.gather[size_t(n++)] = o;
            }
            sort_desc(g_obj.gather.data(), n, frame_key);
            for (int i = 0; i < n; ++i)
                if (g_obj.gather[size_t(i)]->flags & OBJ_VISIBLE)
                    g_obj.list[size_t(g_obj.list_count++)] = g_obj.gather[size_t(i)];
        } else {
            for (DrawObj* o = head; o; o = o->pnext)
                if (drawable(o)) g_obj.list[size_t(g_obj.list_count++)] = o;
        }
    }
    g_obj.list_ready = 1;
}

void obj_draw_range(int lo, int hi) { draw_runs(lo, hi, false); }
void obj_draw_all() { draw_runs(0, 0, true); }

// --- queries -------------------------------------------------------------------------------------

int obj_live_count() { return g_obj.live_count; }
int obj_update_stat() { return g_obj.update_stat; }
int obj_update_list_count() { return g_obj.update_count; }
int obj_frame_count() { return g_obj.frame_count; }
int obj_is_live(const DrawObj* obj) { return live(obj) ? 1 : 0; }
int obj_draw_list_count() { return g_obj.list_count; }
DrawObj* const* obj_draw_list() { return g_obj.list.data(); }

// --- groups --------------------------------------------------------------------------------------

ResGroupId group_alloc()
{
    for (int id = 1; id < OBJ_GROUP_ID_COUNT; ++id) {
        if (g_obj.group_flags[size_t(id)]) continue;
        g_obj.group_flags[size_t(id)] = OBJ_GROUP_ALLOCATED;
        ++g_obj.group_count;
        return ResGroupId(id);
    }
    return 0;
}

void group_free(ResGroupId id)
{
    if (id == 0 || id >= ResGroupId(OBJ_GROUP_ID_COUNT) || !g_obj.group_flags[id]) return;
    g_obj.group_flags[id] = 0;
    --g_obj.group_count;
}

void group_keep(ResGroupId id)
{
    if (id < ResGroupId(OBJ_GROUP_ID_COUNT) && (g_obj.group_flags[id] & OBJ_GROUP_ALLOCATED))
        g_obj.group_flags[id] |= OBJ_GROUP_KEPT;
}

int group_count() { return g_obj.group_count; }

void group_release(ResGroupId id)
{
    if (id == 0) return;
    disp_hook_on_group_release(id);
    if (g_obj.links.movie_release_group) g_obj.links.movie_release_group(id);
    if (g_obj.links.plight_release_group) g_obj.links.plight_release_group(id);
    nullmod_release_group(id);
    gmem_release_group(id);
    free_walk([id](const DrawObj* o) { return o->group == id; });
}

void group_release_all_unlocked()
{
    for (int id = 1; id < OBJ_GROUP_ID_COUNT; ++id) {
        uint8_t& f = g_obj.group_flags[size_t(id)];
        if (!(f & OBJ_GROUP_ALLOCATED) || (f & OBJ_GROUP_KEPT)) continue;
        group_release(ResGroupId(id));
        f = 0;
        --g_obj.group_count;
    }
}

void group_reset()
{
    g_obj.group_count = 0;
    g_obj.group_flags = {};
}

// --- group-tagged records ------------------------------------------------------------------------

void gmem_pool_reset()
{
    std::memset(static_cast<void*>(g_obj.gmem.data()), 0, sizeof(g_obj.gmem));
    pool_list_init(g_obj.gmem.data(), OBJ_GMEM_POOL_SIZE, g_obj.gmem_free);
    g_obj.gmem_active = nullptr;
    g_obj.gmem_count = 0;
}

GroupMemRec* gmem_alloc(ResGroupId group)
{
    GroupMemRec* r = pool_list_take(g_obj.gmem_free, g_obj.gmem_active);
    if (!r) return nullptr;
    r->group = group;
    r->in_use = 1;
    ++g_obj.gmem_count;
    return r;
}

void gmem_free(GroupMemRec* rec)
{
    // Records not handed out (freed twice, or foreign) are ignored: linking
    // one twice into the free list would hand it out twice.
    const GroupMemRec* first = g_obj.gmem.data();
    if (!rec || rec < first || rec >= first + OBJ_GMEM_POOL_SIZE || !rec->in_use) return;
    rec->in_use = 0;
    pool_list_give(rec, g_obj.gmem_free, g_obj.gmem_active);
    --g_obj.gmem_count;
}

void gmem_release_group(ResGroupId id)
{
    if (id == 0) return;
    for (GroupMemRec* r = g_obj.gmem_active; r;) {
        GroupMemRec* next = r->next;
        if (r->group == id) gmem_free(r);
        r = next;
    }
}

int gmem_count() { return g_obj.gmem_count; }

// --- empty hooks ---------------------------------------------------------------------------------

void nullmod_init() {}
void nullmod_term() {}
void nullmod_restore() {}
void nullmod_release() {}
void nullmod_reset() {}
void nullmod_frame() {}
void nullmod_draw() {}
void nullmod_release_group(ResGroupId) {}
