// disp/disp_env: setters and getters of the lighting environment; the
// per-frame fade lives in disp_fade.
#include "disp/disp_env.h"

#include <cassert>

#include "disp/disp_dev_seam.h"
#include "disp/disp_work.h"
#include "math/vm_small.h"

namespace {

constexpr Vec3 ENV_UP = {0.0f, 1.0f, 0.0f};

EnvBlock& env_of(int s) { return disp_work().env[disp_screen_index(s)]; }

// Only entry 0 exists per screen; another index would reach the other
// screen's entry or past the pair, so setters ignore it.
LightSetEntry* lset_of(int s, int j)
{
    if (j != 0) return nullptr;
    return &disp_work().lset[disp_screen_index(s)];
}

const LightSetEntry& lset_read(int s) { return disp_work().lset[disp_screen_index(s)]; }

Vec3 unit_or_up(const Vec3* dir)
{
    Vec3 v = dir ? *dir : ENV_UP;
    vec3_normalize(&v, &v);
    return v;
}

// A value written as a fade: into the target while frames run, else into
// the base; the counters restart either way.
template <typename Block, typename T>
void start_fade(Block& b, T& target_field, T& base_field, const T& value, int32_t frames)
{
    (frames != 0 ? target_field : base_field) = value;
    b.fade_counter = frames;
    b.fade_total = frames;
}

void set_color(int s, int k, uint32_t argb)
{
    EnvBlock& e = env_of(s);
    e.base.color[k] = argb;
    e.cur.color[k] = argb;
    e.fade_counter = 0;
}

void fade_color(int s, int k, uint32_t argb, int32_t frames)
{
    EnvBlock& e = env_of(s);
    start_fade(e, e.target.color[k], e.base.color[k], argb, frames);
}

void flash_color(int s, int k, uint32_t argb, int32_t frames)
{
    EnvBlock& e = env_of(s);
    e.over.color[k] = argb;
    e.override_counter = frames;
}

}  // namespace

// ---- lighting block ---------------------------------------------------------------

void env_set_light_enable(int s, uint32_t flag) { env_of(s).enable = flag; }

void env_set_light_dir(int s, const Vec3* dir)
{
    assert(dir && "the light direction cannot be null");
    if (!dir) return;
    EnvBlock& e = env_of(s);
    e.base.light_dir = unit_or_up(dir);
    e.cur.light_dir = e.base.light_dir;
    e.fade_counter = 0;
}

void env_set_light_dir2(int s, const Vec3* dir)
{
    EnvBlock& e = env_of(s);
    e.base.hemi_dir = unit_or_up(dir);
    e.cur.hemi_dir = e.base.hemi_dir;
    e.fade_counter = 0;
}

void env_set_color0(int s, uint32_t argb) { set_color(s, 0, argb); }
void env_set_color1(int s, uint32_t argb) { set_color(s, 1, argb); }
void env_set_color2(int s, uint32_t argb) { set_color(s, 2, argb); }
void env_set_color3(int s, uint32_t argb) { set_color(s, 3, argb); }

void env_fade_light_dir(int s, const Vec3* dir, int32_t frames)
{
    assert(dir && "the light direction cannot be null");
    if (!dir) return;
    EnvBlock& e = env_of(s);
    start_fade(e, e.target.light_dir, e.base.light_dir, unit_or_up(dir), frames);
}

void env_fade_light_dir2(int s, const Vec3* dir, int32_t frames)
{
    EnvBlock& e = env_of(s);
    start_fade(e, e.target.hemi_dir, e.base.hemi_dir, unit_or_up(dir), frames);
}

void env_fade_color0(int s, uint32_t argb, int32_t frames) { fade_color(s, 0, argb, frames); }
void env_fade_color1(int s, uint32_t argb, int32_t frames) { fade_color(s, 1, argb, frames); }
void env_fade_color2(int s, uint32_t argb, int32_t frames) { fade_color(s, 2, argb, frames); }
void env_fade_color3(int s, uint32_t argb, int32_t frames) { fade_color(s, 3, argb, frames); }

void env_fade_reset(int s)
{
    EnvBlock& e = env_of(s);
    e.target = e.base;
}

void env_flash_light_dir(int s, const Vec3* dir, int32_t frames)
{
    assert(dir && "the light direction cannot be null");
    if (!dir) return;
    EnvBlock& e = env_of(s);
    e.over.light_dir = unit_or_up(dir);
    e.override_counter = frames;
}

void env_flash_color0(int s, uint32_t argb, int32_t frames) { flash_color(s, 0, argb, frames); }
void env_flash_color1(int s, uint32_t argb, int32_t frames) { flash_color(s, 1, argb, frames); }
void env_flash_color2(int s, uint32_t argb, int32_t frames) { flash_color(s, 2, argb, frames); }
void env_flash_color3(int s, uint32_t argb, int32_t frames) { flash_color(s, 3, argb, frames); }

void env_flash_light_dir2(int s, const Vec3* dir)
{
    EnvBlock& e = env_of(s);
    e.over.hemi_dir = unit_or_up(dir);
    e.override_counter = 0;
}

void env_flash_reset(int s)
{
    EnvBlock& e = env_of(s);
    e.over = e.base;
}

uint32_t env_get_light_enable(int s) { return env_of(s).enable; }
const EnvValues* env_get_block(int s) { return &env_of(s).cur; }
const Vec3* env_get_light_dir2(int s) { return &env_of(s).cur.hemi_dir; }
uint32_t env_get_color0(int s) { return env_of(s).cur.color[0]; }
uint32_t env_get_color1(int s) { return env_of(s).cur.color[1]; }
uint32_t env_get_color2(int s) { return env_of(s).cur.color[2]; }
uint32_t env_get_color3(int s) { return env_of(s).cur.color[3]; }
const float* env_get_color0_f(int s) { return env_of(s).color_f[0]; }
const float* env_get_color1_f(int s) { return env_of(s).color_f[1]; }
const float* env_get_color2_f(int s) { return env_of(s).color_f[2]; }
const float* env_get_color3_f(int s) { return env_of(s).color_f[3]; }

void env_apply_light(int s)
{
    const EnvBlock& e = env_of(s);
    auto color = [&](int k) {
        const float* f = e.color_f[k];
        return DispDevColorF{f[0], f[1], f[2], f[3]};
    };
    DispDevLight light = {};
    light.diffuse = color(2);
    light.specular = color(3);
    light.ambient = color(0);
    light.position = {0.0f, 1.0f, 0.0f};
    light.direction = e.cur.light_dir;
    light.range = 1.0f;
    const DispDevSeam& dev = disp_dev_seam();
    dev.set_light(0, &light);
    dev.light_enable(0, 1);
}

// ---- light-set entry ----------------------------------------------------------------

void lset_set_enable(int s, int j, uint32_t flag)
{
    if (LightSetEntry* l = lset_of(s, j)) l->enable = flag;
}

void lset_set_dir(int s, int j, const Vec3* dir)
{
    LightSetEntry* l = lset_of(s, j);
    assert(dir && "the light direction cannot be null");
    if (!l || !dir) return;
    l->base.dir = unit_or_up(dir);
    l->cur.dir = l->base.dir;
    l->fade_counter = 0;
}

void lset_set_color(int s, int j, uint32_t argb)
{
    if (LightSetEntry* l = lset_of(s, j)) {
        l->base.color = argb;
        l->cur.color = argb;
        l->fade_counter = 0;
    }
}

void lset_fade_dir(int s, int j, const Vec3* dir, int32_t frames)
{
    LightSetEntry* l = lset_of(s, j);
    assert(dir && "the light direction cannot be null");
    if (l && dir) start_fade(*l, l->target.dir, l->base.dir, unit_or_up(dir), frames);
}

void lset_fade_color(int s, int j, uint32_t argb, int32_t frames)
{
    if (LightSetEntry* l = lset_of(s, j))
        start_fade(*l, l->target.color, l->base.color, argb, frames);
}

void lset_fade_reset(int s, int j)
{
    if (LightSetEntry* l = lset_of(s, j)) l->target = l->base;
}

void lset_flash_dir(int s, int j, const Vec3* dir, int32_t frames)
{
    LightSetEntry* l = lset_of(s, j);
    assert(dir && "the light direction cannot be null");
    if (!l || !dir) return;
    l->over.dir = unit_or_up(dir);
    l->override_counter = frames;
}

void lset_flash_color(int s, int j, uint32_t argb, int32_t frames)
{
    if (LightSetEntry* l = lset_of(s, j)) {
        l->over.color = argb;
        l->override_counter = frames;
    }
}

void lset_flash_reset(int s, int j)
{
    if (LightSetEntry* l = lset_of(s, j)) l->over = l->base;
}

// Getters answer the screen's entry whatever j is.
uint32_t lset_get_enable(int s, int) { return lset_read(s).enable; }
const LightValues* lset_get_cur(int s, int) { return &lset_read(s).cur; }
uint32_t lset_get_color(int s, int) { return lset_read(s).cur.color; }
const float* lset_get_color_f(int s, int) { return lset_read(s).color_f; }
