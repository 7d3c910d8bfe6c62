// stage/stage_set_local: what stage_set.cpp shares with its white-box tests
// only: the suffix rules with their render flags, the mesh set's record, and
// the helpers that place a rule's objects and match node names.
#pragma once

#include <cstdint>

#include "obj3d/obj3d.h"
#include "stage/stage_set.h"

// Render-flag bits of a suffix rule.
constexpr uint32_t STAGE_MERGED = 0x001;       // all displayed nodes in one mesh-list object
constexpr uint32_t STAGE_TRANSLUCENT = 0x002;  // depth-sorted, z write off
constexpr uint32_t STAGE_BILLBOARD = 0x004;    // billboard mode 1 (per-node objects)
constexpr uint32_t STAGE_CULL2 = 0x008;        // cull index 2
constexpr uint32_t STAGE_NO_LIGHT = 0x010;
constexpr uint32_t STAGE_NO_FOG = 0x020;
constexpr uint32_t STAGE_SORTED_REF3 = 0x040;  // depth-sorted, alpha-reference index 3
constexpr uint32_t STAGE_COLLISION = 0x080;
constexpr uint32_t STAGE_PASS_AB = 0x100;
constexpr uint32_t STAGE_NO_ALPHA_TEST = 0x200;  // alpha-reference 5, priority 84 (never drawn)
constexpr uint32_t STAGE_PRIO76 = 0x400;

constexpr int STAGE_MAIN_RULES = 28;
constexpr int STAGE_ANCHOR_RULES = 2;
constexpr int STAGE_ROWS = 16;
struct StageSuffixRule {
    const char* suffix;
    uint32_t flags;
};
extern const StageSuffixRule STAGE_MAIN_TABLE[STAGE_MAIN_RULES];
extern const StageSuffixRule STAGE_ANCHOR_TABLE[STAGE_ANCHOR_RULES];

struct StageRow {
    uint32_t flags;
    uint32_t count;  // objects (per node) or list nodes (merged) made
};

struct StageMeshSet {
    StageRow rows[STAGE_ROWS];
    DrawObj* merged[STAGE_MAIN_RULES];
    ResHandle wall;
    int rows_used;
    ResGroupId group;
};

const StageMeshSet& stage_set_state();

// ---- a rule's objects and node names ---------------------------------------------------
// Priority of every object of a rule.
int stage_rule_priority(uint32_t flags);
// The draw-parameter word of a node under a rule's flags (no billboard, no hit).
DrawParam stage_node_draw_param(DrawParam dp, uint32_t flags, const char* node);
// Hook name patterns; null name or pattern never matches.
int stage_name_match(const char* name, const char* pattern);
// 1 when the text from the name's last underscore equals suffix.
int stage_name_last_is(const char* name, const char* suffix);
