// Game-scene functions kept beside the patch tool for a game built on the
// same engine (the tool's own scene does not call them): scene hooks that
// drive the display resets and the sound request queue, a key-driven matrix
// move, resource lookups that try a "CM_" name first, motion lookups by
// group and name, and a table of two characters that char_create turns into
// motion objects with their attachments. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "disp/obj.h"
#include "res/res.h"

constexpr int GAME_SCENE_CHAR_TABLE_ROWS = 2;

struct CharAttachRow {
    const char* group;  // model group of the mesh
    const char* mesh;
    const char* bone;  // the bone of the character it hangs on
    uint32_t specular;
    float power;
    uint32_t depth_sort, zwrite, cull, pass_a;
};

struct CharRow {
    const char* name;
    const char* group;   // model group of the mesh, bones and motions
    const char* motion;  // the motion it starts with
    const char* body_mesh;
    const char* root_bone;  // the bone set
    uint32_t specular;
    float power;
    const CharAttachRow* attach;
    int attach_count;
};

// The display resets the scene hooks run; they belong to the program's
// display orders, which this layer cannot call directly. Unset entries are
// skipped.
struct GameSceneLinks {
    void (*disp_reset)() = nullptr;
    void (*disp_scene_clear)() = nullptr;
    void (*disp_reset_scene)() = nullptr;
};
void game_scene_set_links(const GameSceneLinks& links);

// ---- scene hooks -------------------------------------------------------------------
void game_scene_init();   // clears the scene block, resets the display, starts the queue
void game_scene_frame();  // flushes the sound requests
void game_scene_term();   // stops the queue, clears the scene
void game_scene_reset();  // scene defaults of both screens
uint32_t game_scene_frame_count();

// ---- lookups -------------------------------------------------------------------------
// With `prefixed`, "CM_" + name first, then the plain name.
ResHandle coll_find_prefixed(const char* group, const char* name, int prefixed);
ResHandle mesh_find_prefixed(const char* group, const char* name, int prefixed);

// Motions whose group is a or b (either may be null).
int anime_count_named(const char* a, const char* b);
// The n-th of them (from 0), in pool order: the group it matched (b when
// both match) and its name; false when there are not that many.
bool anime_find_nth(const char** out_group, const char** out_name, const char* a, const char* b,
                    int n);

// ---- characters ------------------------------------------------------------------------
const CharRow* char_table_find(const char* name);  // exact, case-sensitive; null when none
const CharRow* char_table_row(int index);          // null outside the table
int char_table_count();

// A motion object of the character's body, playing its motion from the root
// bone set, with its specular and its attachments; null for an unknown name
// or when no object is free.
DrawObj* char_create(ResGroupId group, const Mat44* matrix, const char* name, int priority);
// Starts the motion of that name from the group of the object's current
// motion, keeping its bone set; 0 when there is none.
int motobj_play_named(DrawObj* obj, const char* name);

// Moves `in` by held keys into `out` (which may be `in`): f1/f2 forward and
// back along its z, f3/f4 along x, f5/f6 along y, each by `step`; f7/f8 turn
// about its y and f9/f10 about its x by `turn` radians. The first flag of a
// pair wins.
void mat_key_move(Mat44* out, const Mat44* in, int f1, int f2, int f3, int f4, int f5, int f6,
                  int f7, int f8, int f9, int f10, float step, float turn);
