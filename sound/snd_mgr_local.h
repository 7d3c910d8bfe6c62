// sound/snd_mgr_local: what the sound manager's two files share, and nobody else includes but
// their tests and benchmarks: the manager record, the sound-name tables and folders, the
// manager's lock and the table and path look-ups (snd_mgr.cpp holds the start, the stop, the
// frame and the direct calls; snd_mgr_handlers.cpp the commands' handlers); and read-only
// views of the volumes read from the settings and of the sounds behind the table, the BGM
// channel and the two voice channels.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "sound/dxs.h"
#include "sound/snd_mgr.h"

// ---- the manager -----------------------------------------------------------------------

struct VoiceEntry {
    SoundId id;
    uint32_t delay;   // frames the entry may wait
    uint32_t queued;  // frame counter when queued
};

struct VoiceQueue {
    uint32_t count, write, read;
    std::array<VoiceEntry, SND_VOICE_QUEUE> entries;
    SoundId current;
    uint32_t current_start;
    uint32_t state;  // 0 idle, 1 playing, 2 waiting for the end
    SoundId last;
    uint32_t last_start;
};

struct SoundMgr {
    float primary_volume = 0.0f;  // hundredths of a decibel
    float bgm_volume = 0.85f;
    float spare_volume = 1.0f;  // set by "SOUND_DATA_VOL", read by nothing
    float sound_volume = 0.85f;
    SndDev* device = nullptr;
    std::array<DxSound*, SND_TABLE_SIZE> table{};
    DxSound* bgm = nullptr;
    DxSound* voice_a = nullptr;
    DxSound* voice_b = nullptr;
    uint32_t bgm_playing = 0, voice_a_playing = 0, voice_b_playing = 0;
    int32_t bgm_index = -1, voice_a_index = -1, voice_b_index = -1;
    SoundFxWord default_fx = 0;
    uint32_t loaded = 0;
    std::string sound_folder, lang_folder, extension;
    std::array<uint32_t, SND_TABLE_SIZE> voice_in_lang{};
    VoiceQueue voices{};
    uint32_t frame = 0;  // snd_frame calls; written by the main thread only
    // Every handler holds the manager lock; voice A's own lock is taken
    // inside it and lives as long as the manager, past every unload.
    std::recursive_mutex lock;
    std::recursive_mutex voice_a_lock;
};

constexpr std::array<const char*, SND_TABLE_SIZE> SND_BGM_NAMES = {"bgm01"};
constexpr std::array<const char*, SND_TABLE_SIZE> SND_SOUND_NAMES = {"bgm01"};
constexpr std::array<const char*, SND_TABLE_SIZE> SND_VOICE_NAMES = {"bgm01"};
constexpr const char* SND_SOUND_FOLDER = "data\\sound\\";
constexpr const char* SND_LANG_FOLDER = "data\\soundj\\";
constexpr const char* SND_EXTENSION = "wav";
constexpr float SND_RESTART_POSITION = 0.001f;

// The manager between snd_boot and snd_shutdown, else null.
extern SoundMgr* g_mgr;

using Lock = std::lock_guard<std::recursive_mutex>;

// The loaded table's sound of an id; null before the table is loaded or past its end.
DxSound* table_sound(SoundId id);
// folder + name + "." + the extension from the settings (the default one without a manager).
std::string path_in(const std::string& folder, const char* name);

// ---- views for the tests ---------------------------------------------------------------

struct SndVolumes {
    float primary, bgm, spare, sound;
};
SndVolumes snd_volumes(void);
const DxSound* snd_table_sound(uint32_t index);
const DxSound* snd_bgm_sound(void);
const DxSound* snd_voice_sound(int channel);  // 0 voice A, 1 voice B
