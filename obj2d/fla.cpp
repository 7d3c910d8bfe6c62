// The vector-animation player (see fla.h).
#include "obj2d/fla.h"

#include <array>
#include <cmath>
#include <cstring>

#include "math/vm_2d.h"
#include "obj2d/flaobj.h"
#include "obj2d/obj2d.h"
#include "res/chunk.h"
#include "util/pool_list.h"

// --- pool records -------------------------------------------------------------------------

struct FlaDlistEntry {
    uint16_t char_id;
    uint16_t depth;
    Mat3x2 mat;
    uint32_t colour;
    FlaDlistEntry *prev, *next;  // the timeline's list, or the free list
};

struct FlaTimeline {
    int32_t sprite_id;  // -1: the main timeline
    uint32_t frame;     // 16.16
    uint32_t end;       // frame count << 16
    uint32_t loop_count;
    uint8_t loop;
    uint8_t on_draw_path;  // set while its list is being drawn
    uint32_t frames_off;   // the u32 stream offsets of its frames
    uint32_t frame_count;
    FlaDlistEntry* dlist;
    FlaTimeline *prev, *next;
};

struct FlaPartItem {
    uint16_t image_id;
    ResHandle crop;
    FlaPart part;  // offsets into the movie
    FlaPartItem *prev, *next;
};

struct FlaCharacter {
    uint16_t id;
    ResHandle crop_override;
    FlaPartItem* parts;
    FlaShape shape;
    DrawObj* bound;
    FlaCharacter *prev, *next;
};

struct FlaPlayer {
    ResHandle movie;
    ByteSpan data;  // the movie's chunk as registered
    FlaChunk hdr;
    uint32_t step;  // 16.16 frames per tick
    uint8_t paused, ended;
    float speed;
    Mat3x2 mat;
    uint32_t colour;
    FlaTimeline* timelines;  // main first, then sprites in start order
    FlaCharacter* chars;
    FlaPlayer *prev, *next;
};

namespace {

// Appends r at the end of the chain headed by head.
template <class T>
void chain_append(T*& head, T* r)
{
    r->next = nullptr;
    if (!head) {
        r->prev = nullptr;
        head = r;
        return;
    }
    T* t = head;
    while (t->next) t = t->next;
    t->next = r;
    r->prev = t;
}

// A fixed pool with a free list and a used count. Records in use are linked
// through their own prev and next into their owner's list: the players into
// the used list, newest first; the others into their player's or timeline's
// list, in the order they were made.
template <class T, int N>
struct Pool {
    std::array<T, N> recs;
    T* free_head;
    int used;

    void reset()
    {
        std::memset(static_cast<void*>(recs.data()), 0, sizeof(recs));
        pool_list_init(recs.data(), N, free_head);
        used = 0;
    }
    // A cleared record at the front of `list`; null when the pool is exhausted.
    T* take_front(T*& list)
    {
        T* r = pool_list_take(free_head, list);
        if (r) ++used;
        return r;
    }
    // A cleared record at the end of `list`; null when the pool is exhausted.
    T* take_back(T*& list)
    {
        T* r = pool_list_take_unlinked(free_head);
        if (!r) return nullptr;
        chain_append(list, r);
        ++used;
        return r;
    }
    // Unlinks r from `list` and returns it to the free list.
    void give(T* r, T*& list)
    {
        pool_list_give(r, free_head, list);
        --used;
    }
};

struct FlaBatch {
    int vertex_count, index_count, base_vertex;
    std::array<FlaVertex, FLA_BATCH_VERTS> verts;
    std::array<uint16_t, FLA_BATCH_INDICES> indices;
    int32_t tex;  // -1 = none yet
    FlaFlushFn flush;
    void* arg;
};

struct FlaBlock {
    Pool<FlaPlayer, FLA_PLAYERS> players;
    FlaPlayer* used_players;
    Pool<FlaTimeline, FLA_TIMELINES> timelines;
    Pool<FlaCharacter, FLA_CHARACTERS> chars;
    Pool<FlaPartItem, FLA_PART_ITEMS> parts;
    Pool<FlaDlistEntry, FLA_DLIST_ENTRIES> entries;
    std::array<DrawObj, FLA_BOUND_OBJS> bound;
    std::array<uint8_t, FLA_BOUND_OBJS> bound_used;
    // Entries of the lists on the current draw path, each list's run sorted
    // by depth. Lists on one path are distinct, so the pool size suffices.
    std::array<FlaDlistEntry*, FLA_DLIST_ENTRIES> draw_stack;
    int draw_top;
    // Batches of nested run draws; level 0 is the outermost.
    std::array<FlaBatch, FLA_BATCH_LEVELS> batches;
    int batch_depth;
};
FlaBlock g_fla;

FlaBatch* cur_batch()
{
    return g_fla.batch_depth > 0 ? &g_fla.batches[size_t(g_fla.batch_depth - 1)] : nullptr;
}

void batch_clear(FlaBatch* b) { b->vertex_count = b->index_count = b->base_vertex = 0; }

// --- movie access ---------------------------------------------------------------------------

// The movie's bytes while its resource still holds them: a released or
// reused handle reads as no movie instead of freed memory.
bool movie_bytes(const FlaPlayer* p, ByteSpan& d)
{
    if (!p || !p->movie) return false;
    const ResDataInfo* info = res_flash_get(p->movie);
    if (!info || info->data.data() != p->data.data() || info->data.size() != p->data.size())
        return false;
    d = p->data;
    return true;
}

const char* named_name(ByteSpan d, const FlaNamed& n) { return chunk_rd_name(d, n.name_off); }

// --- releasing ------------------------------------------------------------------------------

void release_dlist(FlaTimeline* t)
{
    while (FlaDlistEntry* e = t->dlist) {
        g_fla.entries.give(e, t->dlist);
    }
}

void release_bound(FlaCharacter* c)
{
    DrawObj* o = c->bound;
    if (!o) return;
    c->bound = nullptr;
    obj_release_bound(o);
    o->flags &= ~(OBJ_IN_USE | OBJ_BOUND_MASK);
    g_fla.bound_used[size_t(o - g_fla.bound.data())] = 0;
}

void release_contents(FlaPlayer* p)
{
    while (FlaTimeline* t = p->timelines) {
        release_dlist(t);
        g_fla.timelines.give(t, p->timelines);
    }
    while (FlaCharacter* c = p->chars) {
        while (FlaPartItem* it = c->parts) {
            g_fla.parts.give(it, c->parts);
        }
        release_bound(c);
        g_fla.chars.give(c, p->chars);
    }
}

void reset_player(FlaPlayer* p)
{
    p->movie = 0;
    p->data = {};
    p->hdr = FlaChunk{};
    p->step = 0;
    p->paused = p->ended = 0;
    p->speed = 1.0f;
    p->mat = VM_MAT3X2_IDENTITY;
    p->colour = FLA_NO_TINT;
}

FlaTimeline* main_timeline(const FlaPlayer* p)
{
    return p && p->timelines && p->timelines->sprite_id == -1 ? p->timelines : nullptr;
}

FlaTimeline* new_timeline(FlaPlayer* p, int32_t sprite_id, uint32_t frames_off, uint32_t count)
{
    FlaTimeline* t = g_fla.timelines.take_back(p->timelines);
    if (!t) return nullptr;
    t->sprite_id = sprite_id;
    t->end = count << 16;
    t->loop = 1;
    t->frames_off = frames_off;
    t->frame_count = count;
    return t;
}

// --- characters and assets ----------------------------------------------------------------

void build_characters(FlaPlayer* p, ByteSpan d)
{
    const char* group = res_flash_group(p->movie);
    for (uint32_t i = 0; i < p->hdr.count[CHUNK_FLA_SHAPES]; ++i) {
        FlaShape s;
        if (!chunk_fla_shape(d, p->hdr, i, s)) continue;
        FlaCharacter* c = g_fla.chars.take_back(p->chars);
        if (!c) return;
        c->id = s.char_id;
        c->shape = s;
        for (uint32_t k = 0; k < s.part_count; ++k) {
            FlaPart part;
            if (!chunk_fla_part(d, s, k, part)) continue;
            FlaPartItem* it = g_fla.parts.take_back(c->parts);
            if (!it) return;
            it->image_id = part.image_id;
            it->part = part;
            const char* name = nullptr;
            for (uint32_t m = 0; m < p->hdr.count[CHUNK_FLA_IMAGES] && !name; ++m) {
                FlaNamed img;
                if (chunk_fla_image(d, p->hdr, m, img) && img.id == part.image_id)
                    name = named_name(d, img);
            }
            it->crop = name && group ? res_crop_find(group, name) : 0;
        }
    }
}

FlaCharacter* find_char(const FlaPlayer* p, uint16_t id)
{
    for (FlaCharacter* c = p->chars; c; c = c->next)
        if (c->id == id) return c;
    return nullptr;
}

// The character holding a part whose image id is the asset's id.
FlaCharacter* asset_char(const FlaPlayer* p, const char* name)
{
    const int id = fla_find_asset(p, name);
    if (id < 0) return nullptr;
    for (FlaCharacter* c = p->chars; c; c = c->next)
        for (FlaPartItem* it = c->parts; it; it = it->next)
            if (it->image_id == id) return c;
    return nullptr;
}

// --- command streams -------------------------------------------------------------------------

FlaDlistEntry* entry_at_depth(FlaTimeline* t, uint16_t depth)
{
    for (FlaDlistEntry* e = t->dlist; e; e = e->next)
        if (e->depth == depth) return e;
    FlaDlistEntry* e = g_fla.entries.take_back(t->dlist);
    if (!e) return nullptr;
    e->depth = depth;
    e->mat = VM_MAT3X2_IDENTITY;
    e->colour = FLA_NO_TINT;
    return e;
}

void cmd_place(FlaTimeline* t, ByteSpan d, const FlaCmd& c)
{
    uint16_t depth;
    uint8_t flags;
    if (c.length < 3 || !chunk_rd_u16(d, c.payload_off, depth) ||
        !chunk_rd_u8(d, c.payload_off + 2ull, flags))
        return;
    uint32_t at = 3;
    uint16_t char_id = 0;
    float m[6];
    uint32_t colour = 0;
    if (flags & 4) {
        if (at + 2 > c.length || !chunk_rd_u16(d, c.payload_off + at, char_id)) return;
        at += 2;
    }
    if (flags & 1) {
        if (at + 24 > c.length || !chunk_rd_f32s(d, c.payload_off + at, m, 6)) return;
        at += 24;
    }
    if ((flags & 2) && (at + 4 > c.length || !chunk_rd_u32(d, c.payload_off + at, colour))) return;
    FlaDlistEntry* e = entry_at_depth(t, depth);
    if (!e) return;
    if (flags & 4) e->char_id = char_id;
    if (flags & 1) std::memcpy(e->mat.m, m, sizeof m);
    if (flags & 2) e->colour = colour;
}

void cmd_remove(FlaTimeline* t, ByteSpan d, const FlaCmd& c)
{
    uint16_t depth;
    if (c.length < 2 || !chunk_rd_u16(d, c.payload_off, depth)) return;
    for (FlaDlistEntry* e = t->dlist; e;) {
        FlaDlistEntry* next = e->next;
        if (e->depth == depth) {
            g_fla.entries.give(e, t->dlist);
        }
        e = next;
    }
}

uint32_t step_timeline(FlaPlayer* p, FlaTimeline* t, uint32_t d);
void run_stream(FlaPlayer* p, FlaTimeline* t, ByteSpan data, uint32_t off);

void cmd_start_sprite(FlaPlayer* p, ByteSpan d, const FlaCmd& c)
{
    uint16_t index;
    FlaSprite s;
    if (c.length < 2 || !chunk_rd_u16(d, c.payload_off, index) ||
        !chunk_fla_sprite(d, p->hdr, index, s))
        return;
    for (FlaTimeline* t = p->timelines; t; t = t->next)
        if (t->sprite_id == s.id) return;
    // A started sprite can only start sprites not yet running, so the
    // recursion below is bounded by the timeline pool.
    FlaTimeline* t = new_timeline(p, s.id, s.frames_off, s.frame_count);
    if (!t) return;
    if (uint32_t off = step_timeline(p, t, 0)) run_stream(p, t, d, off);
}

void run_stream(FlaPlayer* p, FlaTimeline* t, ByteSpan d, uint32_t off)
{
    FlaCmd c;
    // Each command takes at least four bytes; a stream cannot hold more.
    for (size_t budget = d.size() / 4 + 1; budget && chunk_fla_cmd(d, off, c) && c.op != 0;
         --budget) {
        switch (c.op) {
        case 1: cmd_place(t, d, c); break;
        case 2: cmd_remove(t, d, c); break;
        case 4: cmd_start_sprite(p, d, c); break;
        default: break;
        }
        off = c.next_off;
    }
}

// The stream offset to execute after stepping by d (0: none).
uint32_t step_timeline(FlaPlayer* p, FlaTimeline* t, uint32_t d)
{
    if (t->frames_off == 0 || t->frame_count == 0) return 0;
    bool fire = (t->frame & 0xFFFFu) <= d;
    t->frame += d;
    if (t->frame >= t->end) {
        if (t->loop) {
            t->frame = 0;
            ++t->loop_count;
            release_dlist(t);
            fire = true;
        } else {
            t->frame = t->end - d;
        }
        p->ended = 1;
    }
    if (!fire) return 0;
    const uint32_t k = t->frame >> 16;
    if (k >= t->frame_count) return 0;
    return chunk_rd_u32_or0(p->data, t->frames_off + 4ull * k);
}

// --- drawing ------------------------------------------------------------------------------

bool batch_room(FlaBatch* b, int32_t tex, int verts, int indices)
{
    // A part larger than a whole batch is skipped rather than overrunning it.
    if (verts > FLA_BATCH_VERTS || indices >= FLA_BATCH_INDICES) return false;
    if (b->tex != tex || b->index_count + indices >= FLA_BATCH_INDICES ||
        b->vertex_count + verts > FLA_BATCH_VERTS)
        fla_batch_flush();
    b->tex = tex;
    return true;
}

void emit_part(FlaBatch* b, ByteSpan d, const FlaPartItem* it, const ResCrop* override,
               const Mat3x2& m, uint32_t colour)
{
    const FlaPart& part = it->part;
    const ResCrop* crop = override ? override : res_crop_get(it->crop);
    const int32_t tex = crop ? int32_t(crop->tex) : 0;
    if (!batch_room(b, tex, part.vert_count, part.index_count)) return;
    for (uint32_t i = 0; i < part.index_count; ++i) {
        uint16_t ix = 0;
        if (!chunk_rd_u16(d, part.indices_off + 2ull * i, ix) || ix >= part.vert_count) {
            return;  // a bad part adds nothing
        }
        b->indices[size_t(b->index_count) + i] = uint16_t(b->base_vertex + ix);
    }
    for (uint32_t i = 0; i < part.vert_count; ++i) {
        float xyuv[4] = {};
        uint32_t vc = 0xFFFFFFFFu;
        const uint64_t at = part.verts_off + 20ull * i;
        chunk_rd_f32s(d, at, xyuv, 4);
        chunk_rd_u32(d, at + 16, vc);
        Vec2 pos = {xyuv[0], xyuv[1]};
        vm_mat3x2_transform_point(&pos, &m, &pos);
        float u = xyuv[2], v = xyuv[3];
        if (override) {
            u = override->u + override->w * u;
            v = override->v + override->h * v;
        }
        b->verts[size_t(b->vertex_count) + i] =
            FlaVertex{pos.x, pos.y, 0.0f, 1.0f, fla_colour_mul(vc, colour), u, v};
    }
    b->index_count += part.index_count;
    b->vertex_count += part.vert_count;
    b->base_vertex += part.vert_count;
}

void draw_character(ByteSpan d, const FlaCharacter* c, const Mat3x2& m, uint32_t colour)
{
    FlaBatch* b = cur_batch();
    if (c->bound) {
        fla_batch_flush();
        obj2d_draw_one(c->bound, &m, colour);
        return;
    }
    const ResCrop* override = c->crop_override ? res_crop_get(c->crop_override) : nullptr;
    for (const FlaPartItem* it = c->parts; it; it = it->next)
        emit_part(b, d, it, override, m, colour);
}

void draw_tree(FlaPlayer* p, ByteSpan d, FlaTimeline* owner, const Mat3x2& parent,
               uint32_t parent_colour)
{
    const int first = g_fla.draw_top;
    for (FlaDlistEntry* e = owner->dlist; e; e = e->next) {
        if (g_fla.draw_top >= FLA_DLIST_ENTRIES) break;
        // Insertion keeps equal depths in list order.
        int k = g_fla.draw_top++;
        while (k > first && g_fla.draw_stack[size_t(k - 1)]->depth > e->depth) {
            g_fla.draw_stack[size_t(k)] = g_fla.draw_stack[size_t(k - 1)];
            --k;
        }
        g_fla.draw_stack[size_t(k)] = e;
    }
    const int last = g_fla.draw_top;
    owner->on_draw_path = 1;
    for (int i = first; i < last; ++i) {
        const FlaDlistEntry* e = g_fla.draw_stack[size_t(i)];
        const uint32_t colour =
            parent_colour == FLA_NO_TINT ? e->colour : fla_colour_mul(e->colour, parent_colour);
        Mat3x2 m;
        vm_mat3x2_mul(&m, &parent, &e->mat);
        for (FlaTimeline* t = p->timelines; t; t = t->next)
            if (t->sprite_id == int32_t(e->char_id) && !t->on_draw_path && t->dlist) {
                draw_tree(p, d, t, m, colour);
                break;
            }
        if (const FlaCharacter* c = find_char(p, e->char_id)) draw_character(d, c, m, colour);
    }
    owner->on_draw_path = 0;
    g_fla.draw_top = first;
}

}  // namespace

// --- start, stop ----------------------------------------------------------------------------

void fla_pool_reset()
{
    g_fla.players.reset();
    g_fla.used_players = nullptr;
    g_fla.timelines.reset();
    g_fla.chars.reset();
    g_fla.parts.reset();
    g_fla.entries.reset();
    std::memset(static_cast<void*>(g_fla.bound.data()), 0, sizeof(g_fla.bound));
    g_fla.bound_used = {};
    g_fla.draw_top = 0;
    g_fla.batch_depth = 0;
}

void fla_pool_reset_again() { fla_pool_reset(); }

// --- players --------------------------------------------------------------------------------

FlaPlayer* fla_player_alloc()
{
    FlaPlayer* p = g_fla.players.take_front(g_fla.used_players);
    if (!p) return nullptr;
    reset_player(p);
    return p;
}

void fla_player_free(FlaPlayer* p)
{
    if (!p) return;
    release_contents(p);
    g_fla.players.give(p, g_fla.used_players);
}

void fla_player_set_movie(FlaPlayer* p, ResHandle movie)
{
    if (!p) return;
    release_contents(p);
    const float speed = p->speed;
    reset_player(p);
    const ResDataInfo* info = res_flash_get(movie);
    FlaChunk hdr;
    if (!info || chunk_parse_fla(info->data, hdr) != CHUNK_OK) return;
    p->speed = speed;
    p->movie = movie;
    p->data = info->data;
    p->hdr = hdr;
    const double step = std::floor(double(hdr.rate) * 65536.0 / 30.0);
    p->step = step > 0 && step < 4294967295.0 ? uint32_t(step) : 0;
    if (!new_timeline(p, -1, hdr.table_off[CHUNK_FLA_FRAMES], hdr.count[CHUNK_FLA_FRAMES])) return;
    build_characters(p, p->data);
    fla_player_set_loop(p, 0);
    fla_player_advance(p, 0.0f);
}

void fla_player_advance(FlaPlayer* p, float ticks)
{
    ByteSpan d;
    if (!p || p->paused || !movie_bytes(p, d)) return;
    const double want = double(p->step) * double(ticks);
    // NaN and negative ticks fail the first test and count as 0.
    uint32_t total = want > 0 ? (want < 4294967295.0 ? uint32_t(want) : 0xFFFFFFFFu) : 0;
    const uint32_t passes = total >> 16 ? total >> 16 : 1;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        const uint32_t step = total < 0x10000u ? total : 0x10000u;
        for (FlaTimeline* t = p->timelines; t; t = t->next)
            if (uint32_t off = step_timeline(p, t, step)) run_stream(p, t, d, off);
        if (total >= 0x10000u) total -= 0x10000u;
    }
}

void fla_player_tick(FlaPlayer* p)
{
    if (p) fla_player_advance(p, p->speed);
}
void fla_player_pause(FlaPlayer* p)
{
    if (p) p->paused = 1;
}
void fla_player_resume(FlaPlayer* p)
{
    if (p) p->paused = 0;
}

void fla_player_rewind(FlaPlayer* p)
{
    if (FlaTimeline* t = main_timeline(p)) t->frame = 0;
    fla_player_tick(p);
    fla_player_pause(p);
}

void fla_player_set_speed(FlaPlayer* p, float speed)
{
    if (p) p->speed = speed;
}
void fla_player_set_loop(FlaPlayer* p, int flag)
{
    if (FlaTimeline* t = main_timeline(p)) t->loop = flag ? 1 : 0;
}
void fla_player_set_colour(FlaPlayer* p, uint32_t argb)
{
    if (p) p->colour = argb;
}
Mat3x2* fla_player_matrix(FlaPlayer* p) { return p ? &p->mat : nullptr; }

int fla_player_get_frame(const FlaPlayer* p)
{
    const FlaTimeline* t = main_timeline(p);
    return t ? int(t->frame >> 16) : 0;
}
int fla_player_get_frame_count(const FlaPlayer* p)
{
    const FlaTimeline* t = main_timeline(p);
    return t ? int(t->end >> 16) : 0;
}
int fla_player_get_loop_count(const FlaPlayer* p)
{
    const FlaTimeline* t = main_timeline(p);
    return t ? int(t->loop_count) : 0;
}
int fla_player_is_ended(const FlaPlayer* p) { return p ? p->ended : 0; }
int fla_player_get_width(const FlaPlayer* p)
{
    return p && p->movie ? p->hdr.rect[2] - p->hdr.rect[0] : 0;
}
int fla_player_get_height(const FlaPlayer* p)
{
    return p && p->movie ? p->hdr.rect[3] - p->hdr.rect[1] : 0;
}

// --- assets -----------------------------------------------------------------------------------

int fla_find_asset(const FlaPlayer* p, const char* name)
{
    ByteSpan d;
    if (!name || !movie_bytes(p, d)) return -1;
    for (uint32_t i = 0; i < p->hdr.count[CHUNK_FLA_ASSETS]; ++i) {
        FlaNamed a;
        const char* n = chunk_fla_asset(d, p->hdr, i, a) ? named_name(d, a) : nullptr;
        if (n && std::strcmp(n, name) == 0) return a.id;
    }
    return -1;
}

DrawObj* fla_asset_bind_obj(FlaPlayer* p, const char* name)
{
    FlaCharacter* c = asset_char(p, name);
    if (!c) return nullptr;
    if (c->bound) return c->bound;
    for (int i = 0; i < FLA_BOUND_OBJS; ++i) {
        if (g_fla.bound_used[size_t(i)]) continue;
        DrawObj* o = &g_fla.bound[size_t(i)];
        std::memset(static_cast<void*>(o), 0, sizeof(DrawObj));
        o->flags = OBJ_IN_USE | FLA_BOUND_MARK;
        g_fla.bound_used[size_t(i)] = 1;
        c->bound = o;
        return o;
    }
    return nullptr;
}

void fla_asset_unbind_obj(FlaPlayer* p, const char* name)
{
    if (FlaCharacter* c = asset_char(p, name)) release_bound(c);
}

int fla_asset_set_crop(FlaPlayer* p, const char* name, ResHandle crop)
{
    FlaCharacter* c = asset_char(p, name);
    if (!c) return 0;  // every character is made from a shape
    c->crop_override = crop;
    return 1;
}

int fla_asset_get_pivot(const FlaPlayer* p, const char* name, float* x, float* y)
{
    const FlaCharacter* c = asset_char(p, name);
    if (x) *x = 0;
    if (y) *y = 0;
    if (!c) return 0;
    const int32_t* r = c->shape.rect;
    if (x && r[2] != r[0]) *x = float(0.0 - r[0]) / float(double(r[2]) - r[0]);
    if (y && r[3] != r[1]) *y = float(0.0 - r[1]) / float(double(r[3]) - r[1]);
    return 1;
}

// --- drawing ------------------------------------------------------------------------------------

int fla_batch_init()
{
    if (g_fla.batch_depth >= FLA_BATCH_LEVELS) return 0;
    FlaBatch* b = &g_fla.batches[size_t(g_fla.batch_depth++)];
    batch_clear(b);
    b->tex = -1;
    b->flush = nullptr;
    b->arg = nullptr;
    return 1;
}

void fla_batch_term()
{
    if (g_fla.batch_depth == 0) return;
    fla_batch_flush();
    --g_fla.batch_depth;
}

void fla_batch_flush()
{
    FlaBatch* b = cur_batch();
    if (!b) return;
    if (b->index_count / 3 >= 1 && b->flush)
        b->flush(b->verts.data(), b->indices.data(), b->vertex_count, b->index_count,
                 b->index_count / 3, b->tex > 0 ? ResHandle(b->tex) : 0, b->arg);
    batch_clear(b);
}

void fla_player_draw(FlaPlayer* p, FlaHookFn before, FlaFlushFn flush, FlaHookFn after, void* arg)
{
    ByteSpan d;
    FlaBatch* b = cur_batch();
    if (!b || !flush || !movie_bytes(p, d)) return;
    b->flush = flush;
    b->arg = arg;
    if (before) before(arg);
    FlaTimeline* t = main_timeline(p);
    if (t && t->dlist && !t->on_draw_path) draw_tree(p, d, t, p->mat, p->colour);
    if (after) after(arg);
}

uint32_t fla_colour_mul(uint32_t a, uint32_t b) { return obj2d_colour_mul(a, b); }

FlaPoolUse fla_pool_use()
{
    int bound = 0;
    for (uint8_t u : g_fla.bound_used) bound += u;
    return {g_fla.players.used, g_fla.timelines.used, g_fla.chars.used,
            g_fla.parts.used,   g_fla.entries.used,   bound};
}
