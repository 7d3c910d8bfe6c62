// The sound manager: the sound device with its listener following camera 0,
// the sound files named by the three sound-name tables, the BGM channel, two
// voice channels with a queue, the volumes from the start-up settings, and an
// error word that the application turns into the fatal error screen.
//
// Started, ticked and stopped by the main function (snd_boot, snd_frame,
// snd_shutdown, main thread). Every change to what plays is made by the sound
// thread through the commands of the ring (sound/snd_ring.h), whose handlers
// are below; the main thread also runs some of them directly (the stop-all of
// the patch tool, the request queue's flush, the voice queue in snd_frame).
// Callers rely on: one manager lock held by every handler, so the two threads
// never change a channel at once; the error word being atomic and, once set,
// staying; handlers naming a missing entry or an unloaded channel doing
// nothing.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "math/vm_types.h"
#include "sound/dxs.h"
#include "sound/snd_ring.h"

struct SndDev;

// Error words.
enum : uint32_t {
    SND_ERR_NONE = 0,
    SND_ERR_DEVICE = 256,  // the device or its listener did not start
    SND_ERR_BUFFER = 257,  // a buffer could not be made
    SND_ERR_FILE = 258,    // a sound file is missing or not a readable WAVE file
};

constexpr uint32_t SND_TABLE_SIZE = 1;  // entries of each sound-name table
constexpr uint32_t SND_VOICE_QUEUE = 16;
constexpr uint32_t SND_VOICE_TIMEOUT_FRAMES = 91;
constexpr uint32_t SND_VOICE_REPEAT_FRAMES = 150;
constexpr uint32_t SND_RAW_BANK_SIZE = 1u << 20;

// ---- start, stop, frame --------------------------------------------------------------
int snd_boot(void);  // 1 when the manager exists (even with an error word set)
void snd_shutdown(void);
void snd_frame(void);
uint32_t snd_get_error(void);
uint32_t snd_mgr_error(void);
void snd_mgr_set_error(uint32_t error);
// A fatal sound error: sets the error word when none is set yet, after writing
// the error's one line to standard error (an empty line writes nothing: the
// file layer wrote it already). Later errors change neither; the first decides.
void snd_mgr_fail(uint32_t error, const std::string& line);
// `sound: not loaded "<path>": <reason>`, the line of a sound file.
std::string snd_file_line(const char* path, std::string_view reason);
// The line of a sound file that did not open: none when the file layer
// refused it (refused holds that reason, whose line it wrote), else why the
// file is missing.
std::string snd_unread_line(const char* path, const std::string& refused);
SndDev* snd_mgr_device(void);  // null without a device

// The dispatcher the sound thread runs for each command.
void snd_run_command(const SoundCmd& cmd);

// ---- command handlers ----------------------------------------------------------------
void snd_stop_all(void);         // SND_CMD_STOP_ALL
void snd_stop_everything(void);  // SND_CMD_STOP_EVERYTHING
void bgm_play(SoundId id);       // SND_CMD_BGM_PLAY
void bgm_restart(SoundId id);    // SND_CMD_BGM_RESTART
void bgm_stop(void);             // SND_CMD_BGM_STOP
void bgm_resume(void);           // SND_CMD_BGM_RESUME
void bgm_unload(void);           // SND_CMD_BGM_UNLOAD
void bgm_set_volume(float v);    // SND_CMD_BGM_VOLUME
void bgm_set_pan(float pan);     // -1..1
// SND_CMD_SOUND_PLAY, SND_CMD_SOUND_LOOP, SND_CMD_SOUND_LOOP_RESTART
void sound_play(SoundId id, int loop, float start, SoundFxWord fx);
// SND_CMD_SOUND_PLAY_AT, SND_CMD_SOUND_LOOP_AT, SND_CMD_SOUND_RESTART_AT,
// SND_CMD_SOUND_PLAY_AT_FROM
void sound_play_at(SoundId id, int loop, const Vec3* pos, float start, SoundFxWord fx);
void sound_stop(SoundId id);                       // SND_CMD_SOUND_STOP
void sound_set_volume(SoundId id, float v);        // SND_CMD_SOUND_VOLUME
void sound_restore_volume(SoundId id);             // SND_CMD_SOUND_RESTORE_VOLUME
void sound_set_frequency(SoundId id, int32_t hz);  // SND_CMD_SOUND_FREQUENCY
void snd_rewind_all(void);                         // SND_CMD_REWIND_ALL
void snd_master_volume(float v);                   // SND_CMD_MASTER_VOLUME
void voice_a_play(SoundId id);                     // SND_CMD_VOICE_A_PLAY
void voice_a_stop(void);                           // SND_CMD_VOICE_A_STOP
void voice_a_unload(void);                         // SND_CMD_VOICE_A_UNLOAD
void voice_a_set_volume(float v);                  // SND_CMD_VOICE_A_VOLUME
void voice_b_play(SoundId id);                     // SND_CMD_VOICE_B_PLAY
void voice_b_stop(void);                           // SND_CMD_VOICE_B_STOP
void voice_b_unload(void);                         // SND_CMD_VOICE_B_UNLOAD
void voice_b_set_volume(float v);                  // SND_CMD_VOICE_B_VOLUME

// ---- direct calls --------------------------------------------------------------------
bool voice_a_is_playing(void);
uint32_t voice_a_status(void);
void sound_set_volume_scaled(SoundId id, float factor);
void sound_set_pan(SoundId id, float pan);
uint32_t sound_get_frequency(SoundId id);
void snd_set_default_fx(SoundFxWord word);
void snd_set_primary_volume(float v);
// The program's own master gain: the desktop's volume is never touched.
uint32_t snd_mixer_master_volume(float v);
SoundId snd_find_bgm(const char* name);
SoundId snd_find_sound(const char* name);
SoundId snd_find_voice(const char* name);
int voice_queue_push(SoundId id, uint32_t delay_frames);
void voice_queue_play_now(SoundId id);
void voice_queue_reset(void);
uint32_t voice_queue_count(void);
uint32_t snd_frame_count(void);
int32_t snd_vol_to_db(float v);
void snd_prewarm(void);
// Reads a whole file of at most SND_RAW_BANK_SIZE bytes into one static
// buffer; empty for a missing, larger or "c."-headed file.
std::span<const uint8_t> snd_read_raw_bank(const char* path);
int snd_event_thread_start(void);  // 0: the notification thread never runs
int snd_event_thread(void);
void snd_event_thread_stop(void);
int snd_notify_setup(DxSound* s);
void snd_hook(void);
void snd_listener_update(const Vec3* pos, const Vec3* angles);
void snd_listener_reset(void);
std::string snd_path_sound(const char* name);
std::string snd_path_lang(const char* name);
std::string snd_path_voice(uint32_t index);
void snd_reset_fx(void);
