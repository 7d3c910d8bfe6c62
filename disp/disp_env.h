// disp/disp_env: the lighting environment of each screen.
//
// Per screen one directional light with a hemisphere direction and four
// colours (`EnvBlock`), and one sub light (`LightSetEntry`). Each value exists
// as a base (what the scene set), a fade target (reached over a number of
// frames) and an override (shown instead for a number of frames); the
// current values, refreshed once per frame by disp_fade_frame, are what the
// 3D pass and the shader constants read. Directions are stored normalised.
// Screens are 0 and 1; the light-set entry index j is 0 (other values are
// ignored by setters and read entry 0 in getters). Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

inline constexpr int ENV_COLORS = 4;  // sky ambient, ground ambient, diffuse, specular

// One of the four blocks of an EnvBlock (ten words).
struct EnvValues {
    Vec3 light_dir;  // the way the directional light travels
    Vec3 hemi_dir;   // up direction of the hemisphere ambient
    uint32_t color[ENV_COLORS];
};

struct EnvBlock {
    uint32_t enable;               // directional light on
    EnvValues cur;                 // what the frame uses
    EnvValues base;                // what the scene set
    EnvValues target;              // end values of a running fade
    EnvValues over;                // values shown while the override runs
    float color_f[ENV_COLORS][4];  // cur colours as floats, refreshed each frame
    int32_t fade_counter;          // frames left; 0 = no fade
    int32_t fade_total;            // length of the running fade
    int32_t override_counter;      // frames left; 0 = none
};

struct LightValues {
    Vec3 dir;
    uint32_t color;
};

struct LightSetEntry {
    uint32_t enable;
    LightValues cur, base, target, over;
    float color_f[4];
    int32_t fade_counter, fade_total, override_counter;
};

static_assert(sizeof(EnvValues) == 40 && sizeof(LightValues) == 16);

// ---- lighting block ---------------------------------------------------------------
void env_set_light_enable(int s, uint32_t flag);
// Base and current := value, fade counter := 0. A null dir2 means (0, 1, 0);
// a null light direction is refused.
void env_set_light_dir(int s, const Vec3* dir);
void env_set_light_dir2(int s, const Vec3* dir);
void env_set_color0(int s, uint32_t argb);
void env_set_color1(int s, uint32_t argb);
void env_set_color2(int s, uint32_t argb);
void env_set_color3(int s, uint32_t argb);
// frames not 0: the target := value; frames 0: the base := value (shown from
// the next frame). Fade counter := fade total := frames.
void env_fade_light_dir(int s, const Vec3* dir, int32_t frames);
void env_fade_light_dir2(int s, const Vec3* dir, int32_t frames);
void env_fade_color0(int s, uint32_t argb, int32_t frames);
void env_fade_color1(int s, uint32_t argb, int32_t frames);
void env_fade_color2(int s, uint32_t argb, int32_t frames);
void env_fade_color3(int s, uint32_t argb, int32_t frames);
void env_fade_reset(int s);  // target := base
// Override value := value, override counter := frames.
void env_flash_light_dir(int s, const Vec3* dir, int32_t frames);
void env_flash_color0(int s, uint32_t argb, int32_t frames);
void env_flash_color1(int s, uint32_t argb, int32_t frames);
void env_flash_color2(int s, uint32_t argb, int32_t frames);
void env_flash_color3(int s, uint32_t argb, int32_t frames);
// Sets the override hemisphere direction and ends any running override.
void env_flash_light_dir2(int s, const Vec3* dir);
void env_flash_reset(int s);  // override := base

uint32_t env_get_light_enable(int s);
const EnvValues* env_get_block(int s);  // the current block, direction first
const Vec3* env_get_light_dir2(int s);
uint32_t env_get_color0(int s);
uint32_t env_get_color1(int s);
uint32_t env_get_color2(int s);
uint32_t env_get_color3(int s);
const float* env_get_color0_f(int s);
const float* env_get_color1_f(int s);
const float* env_get_color2_f(int s);
const float* env_get_color3_f(int s);

// Device light 0 := the screen's current directional light (diffuse colour 2,
// specular colour 3, ambient colour 0, direction the light direction,
// position (0, 1, 0), range 1), and light 0 enabled. Called when a screen's
// 3D pass begins.
void env_apply_light(int s);

// ---- light-set entry (sub light) ----------------------------------------------------
void lset_set_enable(int s, int j, uint32_t flag);
void lset_set_dir(int s, int j, const Vec3* dir);
void lset_set_color(int s, int j, uint32_t argb);
void lset_fade_dir(int s, int j, const Vec3* dir, int32_t frames);
void lset_fade_color(int s, int j, uint32_t argb, int32_t frames);
void lset_fade_reset(int s, int j);
void lset_flash_dir(int s, int j, const Vec3* dir, int32_t frames);
void lset_flash_color(int s, int j, uint32_t argb, int32_t frames);
void lset_flash_reset(int s, int j);
uint32_t lset_get_enable(int s, int j);
const LightValues* lset_get_cur(int s, int j);  // direction, then colour
uint32_t lset_get_color(int s, int j);
const float* lset_get_color_f(int s, int j);
