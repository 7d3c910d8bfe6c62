// The vector-animation player: plays the movies of "FLA " chunks (timelines
// whose command streams place, move, tint and remove textured shapes and
// nested sprite timelines on display lists) and emits their triangles
// through one shared 2D triangle batch. The vector-animation object type
// (flaobj.h) owns one player per object and is its only driver.
//
// Main thread. Every player, timeline, character, part item, display-list
// entry and bound draw object comes from fixed pools shared by all players;
// an element that cannot be made is skipped and the rest keeps working.
// Movie bytes are read through the chunk's bounds-checked accessors only, so
// a hostile movie never reads outside its chunk, never loops without end and
// never recurses through nested sprites without limit.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "disp/obj.h"
#include "res/res.h"

// --- capacities --------------------------------------------------------------------
constexpr int FLA_PLAYERS = 256;
constexpr int FLA_TIMELINES = 256;
constexpr int FLA_CHARACTERS = 256;
constexpr int FLA_PART_ITEMS = 768;
constexpr int FLA_DLIST_ENTRIES = 768;
constexpr int FLA_BOUND_OBJS = 8;
constexpr int FLA_BATCH_VERTS = 1798;
constexpr int FLA_BATCH_INDICES = 1800;
// Run draws nested through bound vector-animation objects, each with a batch
// of its own; deeper nesting draws nothing.
constexpr int FLA_BATCH_LEVELS = 4;
constexpr uint32_t FLA_NO_TINT = 0xFFFFFFFFu;
constexpr uint32_t FLA_BOUND_MARK = 1u << 8;  // bits 8-15 of a bound object's flags

// The 28-byte vertex of the shared batch (FVF 0x144).
struct FlaVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(FlaVertex) == 28);

struct FlaPlayer;

// Receives the batch: vertices, indices, vertex count, index count, triangle
// count (index count / 3), texture handle (0 = none) and the argument.
using FlaFlushFn = void (*)(const FlaVertex* verts, const uint16_t* indices, int vertex_count,
                            int index_count, int tri_count, ResHandle tex, void* arg);
using FlaHookFn = void (*)(void* arg);

// --- start, stop ------------------------------------------------------------------------
// Clears every pool and rebuilds the free lists (display start and reset,
// scene clear); fla_pool_reset_again does the same at display stop.
void fla_pool_reset();
void fla_pool_reset_again();

// --- players ------------------------------------------------------------------------
FlaPlayer* fla_player_alloc();  // null when none is free
void fla_player_free(FlaPlayer* p);
// An invalid handle resets the player to hold no movie. Executes frame 0.
void fla_player_set_movie(FlaPlayer* p, ResHandle movie);
void fla_player_advance(FlaPlayer* p, float ticks);  // negative or NaN ticks count as 0
void fla_player_tick(FlaPlayer* p);                  // advances by the player's speed
void fla_player_pause(FlaPlayer* p);
void fla_player_resume(FlaPlayer* p);
void fla_player_rewind(FlaPlayer* p);
void fla_player_set_speed(FlaPlayer* p, float speed);
void fla_player_set_loop(FlaPlayer* p, int flag);
void fla_player_set_colour(FlaPlayer* p, uint32_t argb);
Mat3x2* fla_player_matrix(FlaPlayer* p);
int fla_player_get_frame(const FlaPlayer* p);
int fla_player_get_frame_count(const FlaPlayer* p);
int fla_player_get_loop_count(const FlaPlayer* p);
int fla_player_is_ended(const FlaPlayer* p);
int fla_player_get_width(const FlaPlayer* p);
int fla_player_get_height(const FlaPlayer* p);

// --- assets ---------------------------------------------------------------------------
int fla_find_asset(const FlaPlayer* p, const char* name);  // asset id, -1 when none
// The draw object shown in place of the asset's character: zeroed, in use,
// marked bound; give it a type with obj_set_type. Null when the asset, its
// character or a free bound object is missing.
DrawObj* fla_asset_bind_obj(FlaPlayer* p, const char* name);
void fla_asset_unbind_obj(FlaPlayer* p, const char* name);
int fla_asset_set_crop(FlaPlayer* p, const char* name, ResHandle crop);
int fla_asset_get_pivot(const FlaPlayer* p, const char* name, float* x, float* y);

// --- drawing ------------------------------------------------------------------------
// Opens a batch level (0 when nested too deeply); fla_batch_term flushes and
// closes it. fla_batch_flush hands what is pending to the level's callback.
int fla_batch_init();
void fla_batch_term();
void fla_batch_flush();
// Emits the main timeline's display list into the open batch through
// `flush`; `before` and `after` are called around it. Does not flush.
void fla_player_draw(FlaPlayer* p, FlaHookFn before, FlaFlushFn flush, FlaHookFn after, void* arg);

// Per channel ((a + 1) x (b + 1)) >> 8, minus 1, never below 0.
uint32_t fla_colour_mul(uint32_t a, uint32_t b);

// --- queries (pool use) ---------------------------------------------------------------
struct FlaPoolUse {
    int players, timelines, characters, parts, entries, bound;
};
FlaPoolUse fla_pool_use();
