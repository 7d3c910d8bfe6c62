// sound/sereq_local: views of the request queue for its tests only: the
// requests counted this frame and an id's state.
#pragma once

#include <cstdint>

#include "sound/snd_ring.h"

int sereq_count(void);
uint8_t sereq_id_state(SoundId id);  // 0 for ids outside the table
