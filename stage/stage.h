// stage/stage: a stage is a model group loaded as the scene's set, with the
// fog, lighting and camera of its row of the stage table. Loading is a small
// step machine called once a frame: it queues the group and applies the
// row's display settings to screen 0, pumps the loader until the group is in,
// then builds the stage mesh set with the row's hooks. Lookups find special
// nodes of a mesh by name suffix (switches, targets, look-at points, paths).
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/vm_types.h"
#include "disp/obj.h"
#include "res/res.h"
#include "stage/stage_set.h"

constexpr int STAGE_COUNT = 1;
constexpr int STAGE_KEYS = 8;
constexpr float STAGE_LOAD_SHARE = 80.0f;  // percent of the frame the loader may use

struct StageDef {
    const char* row_name;
    const char* data_name;  // model group file and group name
    float fog_start, fog_end;
    uint32_t fog_color;
    Vec3 light_dir, light_dir2;
    uint32_t colors[4];
    float fov, znear, zfar, cull_far;
    float w19, w20;  // read by no stage operation
    const StageNodeHook* hooks;
    void (*before_set)();
    void (*after_set)();
    void (*done)();
    void (*on_release)();
};

struct StageKey {
    uint32_t key;
    void* ptr;
};

extern const StageDef STAGE_TABLE[STAGE_COUNT];

// 0 (nothing changed) for an index the table does not have.
int stage_init(int index, int caller);
int stage_init_default(int index);
// One step per call; 1 once the stage is loaded.
int stage_load();
// Releases what stage_init took; nothing when no stage is live.
void stage_release();

const char* stage_row_name(int index);  // null for an index the table does not have
int stage_index();
const char* stage_data_name();
void* stage_find_entry(int index, uint32_t key);
void* stage_entry(uint32_t key);

int stage_dummy_node_matrix(Mat44* out, const char* node);
void stage_tex_set_address(const char* group, const char* const* names, int count);
int stage_node_switch(ResHandle mesh, Vec3* out_centre, float* out_radius);
int stage_node_target(ResHandle mesh, Vec3* out_centre);
// Mode 0 aims at the look-at point, mode 1 turns about the vertical axis only;
// without the look-at mesh (or another mode): identity at pos, 0.
int stage_node_lookat(ResHandle mesh, Mat44* out, const Vec3* pos, int mode);
ResHandle stage_node_path(ResHandle mesh);
