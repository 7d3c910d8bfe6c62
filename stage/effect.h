// Hit effects of the game layer: explosions, flashes, smoke and other
// particles, blood and slime drops with the splats they leave, and a timed
// emitter that combines them. Each effect is one draw object (a sprite
// object, or an undrawn object for the emitter) whose update callback moves
// and fades it every frame and answers nonzero when it is over, so that the
// draw-object manager frees it at once; its state lives in the object's user
// work. An effect belongs to the group given to its creator and goes with it.
//
// Textures are crops of the texture-list category "cmnv". Crops that come in
// variants are consecutive in the category, and a variant is the first
// crop's handle plus a random offset; a missing first crop, or a variant
// that is not a crop of the category, gives no crop (texture 0, the whole
// texture). Randomness comes from crt_rand, so a seed (crt_srand) replays a
// scene.
//
// Creators return nothing: when no draw object is free, or the position is
// null, nothing is made. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "disp/obj.h"
#include "res/res.h"

constexpr const char* EFFECT_CATEGORY = "cmnv";

// Colours the effects use.
constexpr uint32_t EFFECT_WHITE = 0xFFFFFFFFu;
constexpr uint32_t EFFECT_DARK_SMOKE = 0xFF202020u;
constexpr uint32_t EFFECT_GREY_PUFF = 0xFF808080u;
constexpr uint32_t EFFECT_RED = 0xFF900000u;
constexpr uint32_t EFFECT_GREEN = 0xFF1CC11Cu;

// Flash crops by index: 0 "flash", 1 "mflash".
constexpr int EFFECT_FLASH_CROPS = 2;

// Mode 0: ten frames of explosions with a ring of puffs at the start, then
// smoke; mode 1: six explosions four frames apart with smoke between them.
// Any other mode ends on the first update. The emitter sits at the given x
// and z, 0.4 above the ground, and ends after its update at counter 20.
void effect_emitter_create(ResGroupId group, const Vec3* pos, int mode);

// A growing, turning "exp00" billboard that fades to grey after `hold` frames.
void effect_explosion(ResGroupId group, const Vec3* pos, float size, uint32_t colour, int hold,
                      int blend);
// A billboard that shrinks over six frames; crop_index outside 0..1 makes nothing.
void effect_flash(ResGroupId group, const Vec3* pos, float size, uint32_t colour, int crop_index,
                  int blend, float view_offset);

// A billboard that drifts by its velocity (null: none), slowed by `drag` and
// grown by `growth` each frame, fading out over `life` frames. `jitter`
// moves the start up to that far along each axis.
void effect_particle(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter, float drag,
                     float size, float growth, uint32_t colour, int life, ResHandle crop, int blend,
                     float view_offset);
// Particles on one of the eight "smoke00" crops, blend 1.
void effect_smoke(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter, float drag,
                  float size, float growth, uint32_t colour, int life, float view_offset);
// Particles on one of the four "exp00" crops, blend 2.
void effect_exp_particle(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter,
                         float drag, float size, float growth, uint32_t colour, int life,
                         float view_offset);
// Particles on the given crop, blend 1.
void effect_particle_crop(ResGroupId group, const Vec3* pos, const Vec3* vel, float jitter,
                          float drag, float size, float growth, uint32_t colour, int life,
                          ResHandle crop, float view_offset);

// A falling billboard: on reaching the ground (y below 0) it leaves a blood
// splat of 5.5 times its size and ends; after `life` frames aloft it fades.
void effect_drop(ResGroupId group, const Vec3* pos, const Vec3* vel, float size, ResHandle crop,
                 int life, uint32_t colour);
// A flat corner quad of size x size at `height` above pos, at a random
// angle, fading after `hold` frames.
void effect_splat(ResGroupId group, const Vec3* pos, float size, int hold, ResHandle crop,
                  uint32_t colour, float height);
// A splat on one of the two "blood00" crops, 0.01 above the ground.
void effect_blood_splat(ResGroupId group, const Vec3* pos, float size, int hold, uint32_t colour);

// Mode 0: a small flash and two puffs of white smoke; other modes make nothing.
// `unused` is accepted and not read.
void effect_spark(ResGroupId group, const Vec3* pos, uint32_t unused, int mode);

// Type 0: two puffs of smoke; 1: red drops thrown in a cone about `dir`
// (null: straight up) and a red burst; 2: red drops thrown every way and the
// burst; 3: green drops, a slime splat with a dead-bug decal and a green
// burst. Other types make nothing.
void effect_hit(ResGroupId group, const Vec3* pos, const Vec3* dir, int type);
