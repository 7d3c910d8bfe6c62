// Hit effects (see effect.h): their randomness, crops and colours, each effect's update, the
// timed emitter, the bursts of a hit, and the creators.
#include "stage/effect.h"

#include <cstring>

#include "math/vm_color.h"
#include "math/vm_const.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"
#include "objx/qspr.h"
#include "util/crt_rand.h"

// Every effect keeps a frame counter in its user work: an update sees the
// counter of the frames before it (0 on the first update) and raises it at
// its end, so "after n frames" means "on the updates with counter >= n".

namespace {

constexpr int EFFECT_FADE_STEP = 20;  // alpha lost per frame by fading effects

// ---- randomness ---------------------------------------------------------------------------

int rand_int(int lo, int hi) { return crt_rand() % (hi - lo + 1) + lo; }

float rand_float(float lo, float hi)
{
    return float(crt_rand() % 10000) * (hi - lo) / 10000.0f + lo;
}

// Each draw in its own statement: the order of the draws is part of what a
// seed replays, and argument evaluation order is not fixed.
Vec3 rand_vec3(float xlo, float xhi, float ylo, float yhi, float zlo, float zhi)
{
    Vec3 v;
    v.x = rand_float(xlo, xhi);
    v.y = rand_float(ylo, yhi);
    v.z = rand_float(zlo, zhi);
    return v;
}

// ---- crops ----------------------------------------------------------------------------------

// Variant 0..variants-1 of a crop of the category. Without the first crop
// there is no variant: base 0 plus an offset would be some other crop.
ResHandle effect_crop(const char* first, int variants)
{
    const ResHandle base = res_crop_find(EFFECT_CATEGORY, first);
    if (base == 0) return 0;
    if (variants <= 1) return base;
    const ResHandle h = base + ResHandle(rand_int(0, variants - 1));
    const char* group = res_crop_group(h);
    return group && std::strcmp(group, EFFECT_CATEGORY) == 0 ? h : 0;
}

// ---- colours --------------------------------------------------------------------------------

// Alphas here lie in 0..255, except an explosion's last one, which may
// fall below 0 and shows as 0.
uint32_t grey_of(int alpha) { return uint32_t(alpha < 0 ? 0 : alpha) * 0x01010101u; }

// ---- user work records -----------------------------------------------------------------

struct EmitterWork {
    Vec3 pos;
    int32_t counter;
    int32_t mode;
};
struct ExplosionWork {
    int32_t counter;
    int32_t hold;
    int32_t alpha;
    float scale;
    float roll;
    float roll_speed;
};
struct FlashWork {
    int32_t counter;
    int32_t alpha_step;
    float size;
};
struct ParticleWork {
    Vec3 pos, vel;
    float drag, size, growth;
    int32_t counter, life, alpha;
};
struct DropWork {
    Vec3 pos, vel;
    float size;
    int32_t counter, life, alpha;
    uint32_t colour;
};
struct SplatWork {
    int32_t counter, hold, alpha;
    uint32_t colour;
};

template <class T>
T* user(DrawObj* o)
{
    static_assert(sizeof(T) <= OBJ_USER_WORK_BYTES, "fits the user work");
    return reinterpret_cast<T*>(o->user);
}

template <class T>
T* start_effect(DrawObj* o, ObjUpdateFn update)
{
    T* w = user<T>(o);
    *w = T{};
    obj_set_update(o, update);
    return w;
}

// ---- updates ------------------------------------------------------------------------------

int explosion_update(DrawObj* o)
{
    ExplosionWork* w = user<ExplosionWork>(o);
    w->scale += 0.3f;
    w->roll += w->roll_speed;
    qspr_bb_set_scale(o, w->scale, w->scale);
    qspr_bb_set_roll(o, w->roll);
    if (w->counter++ < w->hold) return 0;
    w->alpha -= EFFECT_FADE_STEP;
    qspr_bb_set_colour(o, grey_of(w->alpha));
    return w->alpha < EFFECT_FADE_STEP;
}

int flash_update(DrawObj* o)
{
    FlashWork* w = user<FlashWork>(o);
    qspr_bb_set_size(o, w->size, w->size);
    qspr_bb_set_colour(o,
                       color_set_alpha(qspr_bb_get_colour(o), w->counter == 0 ? w->alpha_step : 0));
    w->size *= 0.6f;
    return ++w->counter >= 6;
}

int particle_update(DrawObj* o)
{
    ParticleWork* w = user<ParticleWork>(o);
    w->pos.x += w->vel.x;
    w->pos.y += w->vel.y;
    w->pos.z += w->vel.z;
    w->vel.x *= w->drag;
    w->vel.y *= w->drag;
    w->vel.z *= w->drag;
    w->size *= w->growth;
    // The counter never passes the life: the update that reaches it is the last.
    const float t = w->life > 0 ? float(w->counter) / float(w->life) : 0.0f;
    const int alpha = int(float(w->alpha) * vm_math_cos(t * VM_HALF_PI));
    qspr_bb_set_pos(o, &w->pos);
    qspr_bb_set_size(o, w->size, w->size);
    qspr_bb_set_colour(o, color_set_alpha(qspr_bb_get_colour(o), alpha));
    return w->counter++ >= w->life;
}

int drop_update(DrawObj* o)
{
    DropWork* w = user<DropWork>(o);
    w->pos.x += w->vel.x;
    w->pos.y += w->vel.y;
    w->pos.z += w->vel.z;
    w->vel.y -= 0.023f;
    if (w->pos.y < 0) {
        w->pos.y = 0;
        const int hold = w->life - w->counter + rand_int(0, 30);
        effect_blood_splat(o->group, &w->pos, w->size * 5.5f, hold, w->colour);
        return 1;
    }
    qspr_bb_set_pos(o, &w->pos);
    if (w->counter++ < w->life) return 0;
    w->alpha = w->alpha > EFFECT_FADE_STEP ? w->alpha - EFFECT_FADE_STEP : 0;
    qspr_bb_set_colour(o, color_set_alpha(w->colour, w->alpha));
    return w->alpha == 0;
}

int splat_update(DrawObj* o)
{
    SplatWork* w = user<SplatWork>(o);
    if (w->counter++ < w->hold) return 0;
    w->alpha = w->alpha > EFFECT_FADE_STEP ? w->alpha - EFFECT_FADE_STEP : 0;
    const uint32_t c = color_set_alpha(w->colour, w->alpha);
    qspr_quad_set_colour(o, c, c, c, c);
    return w->alpha == 0;
}

// ---- the emitter --------------------------------------------------------------------------

// A point up to 1.8 off the emitter across the ground, 0.6 to 1.8 high.
Vec3 burst_point(const Vec3& at)
{
    Vec3 p = rand_vec3(-1.8f, 1.8f, 0.6f, 1.8f, -1.8f, 1.8f);
    p.x += at.x;
    p.z += at.z;
    return p;
}

void emit_explosion(ResGroupId g, const Vec3& at, float size_lo, float size_hi, int hold_lo,
                    int hold_hi, int blend)
{
    const Vec3 p = burst_point(at);
    const float size = rand_float(size_lo, size_hi);
    const int hold = rand_int(hold_lo, hold_hi);
    effect_explosion(g, &p, size, EFFECT_WHITE, hold, blend);
    effect_flash(g, &p, 4.0f, EFFECT_WHITE, 1, 2, -3.0f);
}

void emit_smoke(ResGroupId g, const Vec3& at)
{
    const Vec3 v = rand_vec3(-0.004f, 0.004f, 0.02f, 0.03f, -0.004f, 0.004f);
    const float size = rand_float(1.0f, 1.3f);
    effect_smoke(g, &at, &v, 1.0f, 1.0f, size, 1.02f, EFFECT_DARK_SMOKE, 30, 0.0f);
}

void emit_puff_ring(ResGroupId g, const Vec3& at)
{
    for (int i = 0; i < 10; ++i) {
        const float angle = float(i) * 0.1f * VM_TWO_PI;
        const Vec3 d = {vm_math_sin(angle), 0.1f, vm_math_cos(angle)};
        const Vec3 p = {at.x + d.x * 0.65f, at.y + d.y * 0.65f, at.z + d.z * 0.65f};
        const Vec3 v = {d.x * 0.25f, d.y * 0.25f, d.z * 0.25f};
        const float size = rand_float(0.7f, 1.3f);
        const int life = rand_int(10, 15);
        effect_smoke(g, &p, &v, 0.0f, 0.92f, size, 1.023f, EFFECT_GREY_PUFF, life, 0.0f);
    }
}

int emitter_update(DrawObj* o)
{
    EmitterWork* w = user<EmitterWork>(o);
    const int c = w->counter;
    if (w->mode == 1) {
        if (c % 4 == 0)
            emit_explosion(o->group, w->pos, 1.0f, 1.5f, 1, 7, 2);
        else if ((c & 7) == 3)
            emit_smoke(o->group, w->pos);
    } else if (w->mode == 0) {
        if (c <= 9) {
            emit_explosion(o->group, w->pos, 1.2f, 1.7f, 0, 3, 1);
            if (c == 0) emit_puff_ring(o->group, w->pos);
        } else if ((c & 7) == 3) {
            emit_smoke(o->group, w->pos);
        }
    } else {
        return 1;
    }
    return w->counter++ >= 20;
}

// ---- hits ------------------------------------------------------------------------------------

void two_puffs(ResGroupId g, const Vec3* pos, float size_lo, float size_hi)
{
    const int lives[2] = {30 / 2, 30 / 3};
    for (int life : lives) {
        const float size = rand_float(size_lo, size_hi);
        effect_smoke(g, pos, nullptr, 0.1f, 1.0f, size, 1.003f, EFFECT_WHITE, life, 0.0f);
    }
}

// Red drops thrown off the hit: in a cone of 60 degrees about the direction,
// or (spread) every way and upwards.
void red_drops(ResGroupId g, const Vec3* pos, const Vec3* dir, bool spread)
{
    const Vec3 up = {0, 1, 0};
    for (int i = 0; i < 10; ++i) {
        const ResHandle crop = effect_crop("maru00", 4);
        const int life = rand_int(15, 30);
        const float size = rand_float(0.03f, 0.16f);
        Vec3 v;
        if (spread) {
            v = rand_vec3(-0.13f, 0.13f, 0.01f, 0.08f, -0.13f, 0.13f);
        } else {
            const float dist = rand_float(0.07f, 0.18f);
            const float off = rand_float(0.0f, 1.0471976f);
            const float about = rand_float(0.0f, VM_TWO_PI);
            vm_orbit_point(&v, dir ? dir : &up, off, about, dist);
        }
        effect_drop(g, pos, &v, size, crop, life, EFFECT_RED);
    }
}

void burst(ResGroupId g, const Vec3* pos, float jitter, float size_lo, float size_hi,
           uint32_t colour, float view_offset)
{
    const float size = rand_float(size_lo, size_hi);
    const ResHandle crop = effect_crop("hit00", 1);
    effect_particle_crop(g, pos, nullptr, jitter, 0.0f, size, 0.95f, colour, 3, crop, view_offset);
}

void slime_hit(ResGroupId g, const Vec3* pos)
{
    for (int i = 0; i < 6; ++i) {
        const ResHandle crop = effect_crop("maru00", 4);
        const int life = rand_int(15, 30);
        const float size = rand_float(0.03f, 0.12f);
        const Vec3 v = rand_vec3(-0.07f, 0.07f, 0.04f, 0.09f, -0.07f, 0.07f);
        effect_drop(g, pos, &v, size, crop, life, EFFECT_GREEN);
    }
    const Vec3 ground = {pos->x, 0.0f, pos->z};
    const int hold = rand_int(90, 120);
    const float slime_size = rand_float(0.8f, 0.9f);
    effect_splat(g, &ground, slime_size, hold + 20, effect_crop("blood00", 1), EFFECT_GREEN, 0.02f);
    const float bug_size = rand_float(0.4f, 0.5f);
    effect_splat(g, &ground, bug_size, hold, effect_crop("ujidead", 1), EFFECT_WHITE, 0.03f);
    burst(g, pos, 0.03f, 1.0f, 1.2f, EFFECT_GREEN, -0.15f);
}

}  // namespace

// ---- creators ---------------------------------------------------------------------------

void effect_emitter_create(ResGroupId group, const Vec3* pos, int mode)
{
    if (!pos) return;
    DrawObj* o = obj_alloc(group);
    if (!o) return;
    EmitterWork* w = start_effect<EmitterWork>(o, emitter_update);
    w->pos = {pos->x, 0.4f, pos->z};
    w->mode = mode;
}

void effect_explosion(ResGroupId group, const Vec3* pos, float size, uint32_t colour, int hold,
                      int blend)
{
    if (!pos) return;
    const float roll = rand_float(0.0f, VM_TWO_PI);
    DrawObj* o = qspr_bb_create(group, pos, roll, size, effect_crop("exp00", 1), colour, blend);
    if (!o) return;
    ExplosionWork* w = start_effect<ExplosionWork>(o, explosion_update);
    w->hold = hold;
    w->alpha = color_ch_a(colour);
    w->scale = 1.0f;
    w->roll = roll;
    w->roll_speed = rand_float(-0.0872665f, 0.0872665f);
}

void effect_flash(ResGroupId group, const Vec3* pos, float size, uint32_t colour, int crop_index,
                  int blend, float view_offset)
{
    static const char* const EFFECT_CROPS[EFFECT_FLASH_CROPS] = {"flash", "mflash"};
    if (!pos || crop_index < 0 || crop_index >= EFFECT_FLASH_CROPS) return;
    const ResHandle crop = effect_crop(EFFECT_CROPS[crop_index], 1);
    DrawObj* o = qspr_bb_create(group, pos, 0.0f, size, crop, colour, blend);
    if (!o) return;
    qspr_bb_set_view_offset(o, view_offset);
    FlashWork* w = start_effect<FlashWork>(o, flash_update);
    w->alpha_step = color_ch_a(colour) / 5 > 1 ? color_ch_a(colour) / 5 : 1;
    w->size = size;
}

void effect_particle(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter, float drag,
                     float size, float growth, uint32_t colour, int life, ResHandle crop, int blend,
                     float view_offset)
{
    if (!pos) return;
    const float roll = rand_float(0.0f, VM_TWO_PI);
    Vec3 at = rand_vec3(-jitter, jitter, -jitter, jitter, -jitter, jitter);
    at.x += pos->x;
    at.y += pos->y;
    at.z += pos->z;
    DrawObj* o = qspr_bb_create(group, &at, roll, size, crop, colour, blend);
    if (!o) return;
    qspr_bb_set_view_offset(o, view_offset);
    ParticleWork* w = start_effect<ParticleWork>(o, particle_update);
    w->pos = at;
    if (vel) w->vel = *vel;
    w->drag = drag;
    w->size = size;
    w->growth = growth;
    w->life = life;
    w->alpha = color_ch_a(colour);
}

void effect_smoke(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter, float drag,
                  float size, float growth, uint32_t colour, int life, float view_offset)
{
    if (!pos) return;
    const ResHandle crop = effect_crop("smoke00", 8);
    effect_particle(group, pos, vel, jitter, drag, size, growth, colour, life, crop, 1,
                    view_offset);
}

void effect_exp_particle(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter,
                         float drag, float size, float growth, uint32_t colour, int life,
                         float view_offset)
{
    if (!pos) return;
    const ResHandle crop = effect_crop("exp00", 4);
    effect_particle(group, pos, vel, jitter, drag, size, growth, colour, life, crop, 2,
                    view_offset);
}

void effect_particle_crop(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter,
                          float drag, float size, float growth, uint32_t colour, int life,
                          ResHandle crop, float view_offset)
{
    effect_particle(group, pos, vel, jitter, drag, size, growth, colour, life, crop, 1,
                    view_offset);
}

void effect_drop(ResGroupId group, const Vec3* pos, const Vec3* vel, float size, ResHandle crop,
                 int life, uint32_t colour)
{
    if (!pos) return;
    const float roll = rand_float(0.0f, VM_TWO_PI);
    DrawObj* o = qspr_bb_create(group, pos, roll, size, crop, colour, 1);
    if (!o) return;
    DropWork* w = start_effect<DropWork>(o, drop_update);
    w->pos = *pos;
    if (vel) w->vel = *vel;
    w->size = size;
    w->life = life;
    w->alpha = color_ch_a(colour);
    w->colour = colour;
}

void effect_splat(ResGroupId group, const Vec3* pos, float size, int hold, ResHandle crop,
                  uint32_t colour, float height)
{
    if (!pos) return;
    DrawObj* o = qspr_quad_create(group, crop, 1);
    if (!o) return;
    const Vec3 up = {0, 1, 0};
    qspr_quad_set_colour(o, colour, colour, colour, colour);
    qspr_quad_set_plane(o, pos, &up, size, size, rand_float(0.0f, VM_TWO_PI), height);
    SplatWork* w = start_effect<SplatWork>(o, splat_update);
    w->hold = hold;
    w->alpha = color_ch_a(colour);
    w->colour = colour;
}

void effect_blood_splat(ResGroupId group, const Vec3* pos, float size, int hold, uint32_t colour)
{
    if (!pos) return;
    effect_splat(group, pos, size, hold, effect_crop("blood00", 2), colour, 0.01f);
}

void effect_spark(ResGroupId group, const Vec3* pos, uint32_t, int mode)
{
    if (!pos || mode != 0) return;
    effect_flash(group, pos, rand_float(0.3f, 0.32f), EFFECT_WHITE, 1, 1, 0.0f);
    two_puffs(group, pos, 0.15f, 0.2f);
}

void effect_hit(ResGroupId group, const Vec3* pos, const Vec3* dir, int type)
{
    if (!pos) return;
    switch (type) {
    case 0: two_puffs(group, pos, 0.5f, 0.6f); break;
    case 1:
    case 2:
        red_drops(group, pos, dir, type == 2);
        burst(group, pos, 0.07f, 0.8f, 1.6f, EFFECT_RED, -0.2f);
        break;
    case 3: slime_hit(group, pos); break;
    default: break;
    }
}
