// The sound command ring and the sound thread: every sound request of the
// program is posted into a 16-slot ring and carried out by the sound thread,
// so that loading WAVE files and talking to the device never stall a frame.
// The ring's indexes and pending count are guarded by the named semaphore
// "sound" used as a lock; slots are written only while not pending and read
// only while pending.
//
// Callers rely on: commands running in posting order; a post waiting while 14
// or more are pending and dropping the command only when all 16 are; a post
// returning at once, queuing nothing, when no thread runs (the producer would
// otherwise wait forever); command numbers of 30 and more taking their slot
// and doing nothing. Posting: any thread other than the sound thread.
#pragma once
#include <cstdint>

#include "math/vm_types.h"

constexpr uint32_t SND_RING_SLOTS = 16;
constexpr uint32_t SND_RING_ROOM = 14;  // a post waits while this many are pending
constexpr uint32_t SND_COMMANDS = 30;

// The command numbers, each run by the sound manager's handler of that name
// (sound/snd_mgr.h); the fields each reads follow it.
enum : uint32_t {
    SND_CMD_BGM_PLAY = 0,              // id: looped, loaded first when another
    SND_CMD_BGM_RESTART = 1,           // id: as play, then rewound and played again
    SND_CMD_BGM_STOP = 2,              //
    SND_CMD_BGM_RESUME = 3,            // looped, not rewound
    SND_CMD_BGM_UNLOAD = 4,            //
    SND_CMD_BGM_VOLUME = 5,            // value
    SND_CMD_SOUND_VOLUME = 6,          // id, value held within 0..1
    SND_CMD_SOUND_RESTORE_VOLUME = 7,  // id
    SND_CMD_NOTHING = 8,               //
    SND_CMD_SOUND_PLAY = 9,            // id: once from the start
    SND_CMD_SOUND_LOOP = 10,           // id: looped from the start
    SND_CMD_SOUND_LOOP_RESTART = 11,   // id: looped from the restart position
    SND_CMD_SOUND_STOP = 12,           // id: stopped at the restart position
    SND_CMD_STOP_ALL = 13,             // table sounds not kept, both voices, the voice queue
    SND_CMD_STOP_EVERYTHING = 14,      // every table sound, both voices, the BGM, the queue
    SND_CMD_SOUND_PLAY_AT = 15,        // id, position: once
    SND_CMD_SOUND_LOOP_AT = 16,        // id, position: looped
    SND_CMD_SOUND_RESTART_AT = 17,     // id, position: once from the restart position
    SND_CMD_SOUND_PLAY_AT_FROM = 18,   // id, position, value: once from that fraction
    SND_CMD_SOUND_FREQUENCY = 19,      // id, arg2 in Hz
    SND_CMD_REWIND_ALL = 20,           //
    SND_CMD_MASTER_VOLUME = 21,        // value, for every table sound
    SND_CMD_VOICE_A_PLAY = 22,         // id with SND_ID_VOICE: once
    SND_CMD_VOICE_A_STOP = 23,         //
    SND_CMD_VOICE_A_UNLOAD = 24,       //
    SND_CMD_VOICE_A_VOLUME = 25,       // value
    SND_CMD_VOICE_B_PLAY = 26,         // id with SND_ID_VOICE: looped
    SND_CMD_VOICE_B_STOP = 27,         //
    SND_CMD_VOICE_B_UNLOAD = 28,       //
    SND_CMD_VOICE_B_VOLUME = 29,       // value
};

// SoundId: bits 0..23 the table index, bit 30 a voice, bit 31 a BGM.
using SoundId = uint32_t;
constexpr SoundId SND_ID_INDEX_MASK = 0x00FFFFFFu;
constexpr SoundId SND_ID_VOICE = 0x40000000u;
constexpr SoundId SND_ID_BGM = 0x80000000u;

// Nine 32-bit words; a command reads only its own fields.
struct SoundCmd {
    uint32_t command;
    SoundId id;
    int32_t arg;
    float value;  // volume, fraction or start position
    uint32_t has_pos;
    float x, y, z;
    int32_t arg2;
};
static_assert(sizeof(SoundCmd) == 36, "a command is nine words");

struct MSem;

struct SoundCmdRing {
    MSem* sem;
    uint32_t write, read, pending;
    SoundCmd slots[SND_RING_SLOTS];
};

void snd_post(uint32_t command, SoundId id);
void snd_post_arg2(uint32_t command, SoundId id, int32_t arg2);
void snd_post_int(uint32_t command, SoundId id, int32_t arg);
void snd_post_pos(uint32_t command, SoundId id, const Vec3* pos);
void snd_post_value(uint32_t command, float value);
void snd_post_id_value(uint32_t command, SoundId id, float value);
void snd_post_pos_value(uint32_t command, SoundId id, const Vec3* pos, float value);
void snd_post_simple(uint32_t command);
// Waits until fewer than 14 commands are pending (at once without a thread).
void snd_queue_wait_room(void);

// Start: clear the ring, make the semaphore, start the thread (1), or 0 with
// no thread. Stop: ask the thread to end after the commands it has counted,
// wait for it and close the semaphore.
int snd_thread_start(void);
void snd_thread_stop(void);
void snd_thread_request_stop(void);
int snd_thread_main(SoundCmdRing* ring);
int snd_thread_running(void);

uint32_t snd_ring_pending(void);
