// The sound request queue of the game layer: during a frame every request is
// collected with its squared distance to camera 0, and at the frame's end
// one request per sound id, the nearest, is carried out directly on the
// sound manager. An id just played is refused for the next three frames.
// Also a per-frame counter, a private pseudo-random generator and a throttle
// that thins out effects when many draw objects are alive. Main thread.
//
// Callers rely on: requests farther than 600 units (squared 360000) never
// counting; ids outside the sound table being ignored; the flush playing at
// most one request per id.
#pragma once
#include <cstdint>

#include "math/vm_types.h"
#include "sound/snd_ring.h"

constexpr int SEREQ_MAX = 64;
constexpr float SEREQ_FAR_SQ = 360000.0f;   // a request counts up to this
constexpr float SEREQ_LOOP_SQ = 342000.0f;  // a kind-2 request plays up to this, else stops
constexpr uint8_t SEREQ_REQUESTED = 4;      // id state; 3 to 1 blocked, 0 free

// Kinds.
enum : uint32_t { SEREQ_PLAY = 0, SEREQ_RESTART = 1, SEREQ_LOOP_NEAR = 2 };

struct SeRequest {
    SoundId id;
    uint32_t kind;
    float dist_sq;
    float x, y, z;
};

void sereq_init(void);
void sereq_term(void);
void sereq_frame(void);  // flush, then count the frame

uint32_t sereq_next_serial(void);
uint32_t sereq_frame_count(void);
uint32_t sereq_rand(void);  // 0..32767
void sereq_seed(uint32_t seed);

void sereq_play(SoundId id, const Vec3* pos);
void sereq_restart(SoundId id, const Vec3* pos);
void sereq_play_near(SoundId id, const Vec3* pos);
int sereq_allow(void);  // 1 or 0 by the live draw-object count

int32_t sereq_id_count(SoundId id);
void sereq_id_inc(SoundId id);
void sereq_id_dec(SoundId id);
void sereq_flush(void);
