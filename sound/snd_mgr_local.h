// sound/snd_mgr_local: read-only views of the sound manager's records, for
// its tests and benchmarks only: the volumes read from the settings and the
// sounds behind the table, the BGM channel and the two voice channels.
#pragma once

#include <cstdint>

#include "sound/dxs.h"

struct SndVolumes {
    float primary, bgm, spare, sound;
};
SndVolumes snd_volumes(void);
const DxSound* snd_table_sound(uint32_t index);
const DxSound* snd_bgm_sound(void);
const DxSound* snd_voice_sound(int channel);  // 0 voice A, 1 voice B
