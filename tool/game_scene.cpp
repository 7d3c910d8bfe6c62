// Game-scene functions for a game on the same engine (see game_scene.h): the scene hooks, the
// prefixed lookups, the character table and its creator, and the key-driven matrix move.
#include "tool/game_scene.h"

#include <cstring>
#include <iterator>
#include <string>

#include "disp/cam.h"
#include "math/vm_mat.h"
#include "obj3d/attobj.h"
#include "obj3d/motobj.h"
#include "sound/sereq.h"

namespace {

struct GameSceneBlock {
    uint32_t frames;  // frames run since the scene started
};

GameSceneBlock g_scene;
GameSceneLinks g_links;

// The characters' assets are the test characters the data writer builds
// (tools/qv_samples): a bare one and one holding a sword in its right hand.
constexpr CharAttachRow GAME_SCENE_KNIGHT_ATTACH[] = {
    {"gs_weapon", "sword", "hand_R", 0xFFC0C0C0u, 30.0f, 1, 0, 2, 1},
};
constexpr CharRow GAME_SCENE_CHARS[GAME_SCENE_CHAR_TABLE_ROWS] = {
    {"hero", "gs_hero", "wave", "hero_body", "root", 0xFF808080u, 10.0f, nullptr, 0},
    {"knight", "gs_knight", "walk", "knight_body", "root", 0xFFFFFFFFu, 20.0f,
     GAME_SCENE_KNIGHT_ATTACH, int(std::size(GAME_SCENE_KNIGHT_ATTACH))},
};

bool same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

// The "CM_" name first when asked, then the plain one. The prefixed name is
// built in a string of its own, so a name of any length is only looked up.
template <ResHandle (*Find)(const char*, const char*)>
ResHandle find_prefixed(const char* group, const char* name, int prefixed)
{
    if (!name) return 0;
    if (prefixed) {
        const std::string cm = std::string("CM_") + name;
        if (const ResHandle h = Find(group, cm.c_str())) return h;
    }
    return Find(group, name);
}

// The row's motion in its group; without it the group's first motion.
ResHandle char_motion(const CharRow& row)
{
    if (const ResHandle h = res_anime_find(row.group, row.motion)) return h;
    const char *group = nullptr, *name = nullptr;
    return anime_find_nth(&group, &name, row.group, row.group, 0) ? res_anime_find(group, name) : 0;
}

void hang_attachments(DrawObj* obj, const CharRow& row)
{
    for (int i = 0; i < row.attach_count; ++i) {
        const CharAttachRow& a = row.attach[i];
        if (!a.group || !a.mesh) continue;
        DrawObj* at = motobj_attach_model(obj, a.mesh, res_mesh_find(a.group, a.mesh), a.bone);
        if (!at) continue;
        attobj_set_specular(at, a.specular, a.power);
        attobj_set_depth_sort(at, a.depth_sort);
        attobj_set_zwrite(at, a.zwrite);
        attobj_set_cull(at, a.cull);
        attobj_set_pass_a(at, int(a.pass_a));
    }
}

}  // namespace

void game_scene_set_links(const GameSceneLinks& links) { g_links = links; }

// ---- scene hooks -----------------------------------------------------------------------

void game_scene_init()
{
    g_scene = GameSceneBlock{};
    if (g_links.disp_reset) g_links.disp_reset();
    sereq_init();
    cam_set_center(0, 0.5f, 0.5f);
}

void game_scene_frame()
{
    sereq_frame();
    ++g_scene.frames;
}

void game_scene_term()
{
    sereq_term();
    if (g_links.disp_scene_clear) g_links.disp_scene_clear();
}

void game_scene_reset()
{
    if (g_links.disp_reset_scene) g_links.disp_reset_scene();
}

uint32_t game_scene_frame_count() { return g_scene.frames; }

// ---- lookups ------------------------------------------------------------------------------

ResHandle coll_find_prefixed(const char* group, const char* name, int prefixed)
{
    return find_prefixed<res_coll_find>(group, name, prefixed);
}

ResHandle mesh_find_prefixed(const char* group, const char* name, int prefixed)
{
    return find_prefixed<res_mesh_find>(group, name, prefixed);
}

int anime_count_named(const char* a, const char* b)
{
    int n = 0;
    for (int32_t i = 0; i < res_anime_count(); ++i) {
        const char* g = res_anime_group(res_index_to_handle(i));
        n += same(g, a) || same(g, b);
    }
    return n;
}

bool anime_find_nth(const char** out_group, const char** out_name, const char* a, const char* b,
                    int n)
{
    for (int32_t i = 0; i < res_anime_count(); ++i) {
        const ResHandle h = res_index_to_handle(i);
        const char* g = res_anime_group(h);
        if (!same(g, a) && !same(g, b)) continue;
        if (n-- > 0) continue;
        if (out_group) *out_group = same(g, b) ? b : a;
        if (out_name) *out_name = res_anime_name(h);
        return true;
    }
    return false;
}

// ---- characters -----------------------------------------------------------------------------

const CharRow* char_table_find(const char* name)
{
    for (const CharRow& row : GAME_SCENE_CHARS)
        if (same(row.name, name)) return &row;
    return nullptr;
}

const CharRow* char_table_row(int index)
{
    return index >= 0 && index < GAME_SCENE_CHAR_TABLE_ROWS ? &GAME_SCENE_CHARS[index] : nullptr;
}

int char_table_count() { return GAME_SCENE_CHAR_TABLE_ROWS; }

DrawObj* char_create(ResGroupId group, const Mat44* matrix, const char* name, int priority)
{
    const CharRow* row = char_table_find(name);
    if (!row) return nullptr;
    DrawObj* obj =
        motobj_create(group, matrix, res_mesh_find(row->group, row->body_mesh), priority);
    if (!obj) return nullptr;
    motobj_set_motion(obj, res_bone_find(row->group, row->root_bone), char_motion(*row));
    motobj_set_specular(obj, row->specular, row->power);
    motobj_set_pass_a(obj, 1);
    hang_attachments(obj, *row);
    return obj;
}

int motobj_play_named(DrawObj* obj, const char* name)
{
    const char* group = res_anime_group(motobj_get_motion(obj));
    const ResHandle motion = group && name ? res_anime_find(group, name) : 0;
    if (!motion) return 0;
    motobj_set_motion(obj, ResHandle(-1), motion);
    return 1;
}

void mat_key_move(Mat44* out, const Mat44* in, int f1, int f2, int f3, int f4, int f5, int f6,
                  int f7, int f8, int f9, int f10, float step, float turn)
{
    const auto pick = [](int plus, int minus, float v) { return plus ? v : minus ? -v : 0.0f; };
    if (!(f1 || f2 || f3 || f4 || f5 || f6 || f7 || f8 || f9 || f10)) {
        if (out != in) *out = *in;
        return;
    }
    const Vec3 t = {pick(f3, f4, step), pick(f5, f6, step), pick(f1, f2, step)};
    const Vec3 angles = {pick(f9, f10, turn), pick(f7, f8, turn), 0.0f};
    vm_mat_translate(out, in, &t);
    vm_mat_rotate_euler(out, out, &angles);
}
