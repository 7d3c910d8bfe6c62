// The sound device, on OpenAL Soft: a DirectSound-shaped interface with one
// listener and secondary buffers that each hold a whole block of PCM data.
//
// Provides: volumes in hundredths of a decibel (-10000..0, anything else
// refused), Stop as a pause that keeps the position, byte positions,
// frequencies in Hz, status bits, 3D buffers with position, velocity and
// minimum and maximum distance (silent beyond the maximum), pan, the
// listener's position, orientation, rolloff and Doppler factor, echo, reverb
// and compressor effects through EFX, and the program's own master gain.
// Coordinates are left-handed as Direct3D's: z is negated here, on the way
// into OpenAL.
// Callers rely on: every call on a null device or buffer doing nothing and
// answering failure; results of 1 for success and 0 for failure; a device
// and its buffers being usable from any thread (one lock per device), and a
// buffer being released before its device.
//
// Tests open a loopback device (sound_dev_local.h).
#pragma once
#include <cstdint>
#include <string>

constexpr int32_t SOUND_DEV_VOLUME_MIN = -10000;  // hundredths of a decibel
constexpr int32_t SOUND_DEV_VOLUME_MAX = 0;
constexpr int32_t SOUND_DEV_PAN_LEFT = -10000;
constexpr int32_t SOUND_DEV_PAN_RIGHT = 10000;

// Buffer capabilities, with DirectSound's values.
enum : uint32_t {
    SOUND_DEV_CTRL_3D = 0x10,
    SOUND_DEV_CTRL_FREQUENCY = 0x20,
    SOUND_DEV_CTRL_PAN = 0x40,
    SOUND_DEV_CTRL_VOLUME = 0x80,
    SOUND_DEV_CTRL_POSITIONNOTIFY = 0x100,
    SOUND_DEV_CTRL_FX = 0x200,
    SOUND_DEV_MUTE3D_AT_MAX = 0x20000,
    SOUND_DEV_LOCDEFER = 0x40000,
};

// Status bits of sound_dev_buffer_status.
enum : uint32_t {
    SOUND_DEV_STATUS_PLAYING = 1,
    SOUND_DEV_STATUS_BUFFERLOST = 2,
    SOUND_DEV_STATUS_LOOPING = 4,
};

constexpr uint16_t SOUND_DEV_FORMAT_PCM = 1;
constexpr uint16_t SOUND_DEV_FORMAT_EXTENSIBLE = 0xFFFE;

// The fixed part of a WAVE format record.
struct SndDevFormat {
    uint16_t tag;
    uint16_t channels;
    uint32_t rate;  // frames per second
    uint32_t bytes_per_second;
    uint16_t block_align;
    uint16_t bits;
};

enum class SndDevFx : uint32_t { none, echo, reverb, compressor };

// One effect's settings. Echo: wet/dry mix 0..100, feedback 0..100, left and
// right delay in ms. Reverb: preset 0..29 in the I3DL2 order. Compressor:
// only on or off in EFX; the rest is kept for callers that log it.
struct SndDevFxParams {
    SndDevFx kind;
    float wet_dry_mix, feedback, left_delay_ms, right_delay_ms;
    uint32_t reverb_preset;
    float threshold_db;
};

struct SndDev;
struct SndDevBuffer;

// ---- device --------------------------------------------------------------------------

// The default output device; null when OpenAL has none (ALSOFT_DRIVERS=null
// gives one that plays into nothing), with the reason in why (when given).
SndDev* sound_dev_open(std::string* why = nullptr);
void sound_dev_close(SndDev* dev);
int sound_dev_has_fx(const SndDev* dev);

// The primary buffer's volume (hundredths of a decibel) and the program's
// master gain (0..1); both scale everything the device plays.
int sound_dev_set_primary_volume(SndDev* dev, int32_t volume);
int sound_dev_set_master_gain(SndDev* dev, float gain);

// ---- listener (left-handed) ----------------------------------------------------------
int sound_dev_listener_position(SndDev* dev, float x, float y, float z);
int sound_dev_listener_velocity(SndDev* dev, float x, float y, float z);
int sound_dev_listener_orientation(SndDev* dev, const float front[3], const float top[3]);
// Every 3D buffer, now and later, takes this rolloff factor.
int sound_dev_listener_rolloff(SndDev* dev, float factor);
int sound_dev_listener_doppler(SndDev* dev, float factor);

// ---- buffers -------------------------------------------------------------------------

// A buffer of the given capabilities holding a copy of bytes of PCM data
// (8 or 16 bits, mono or stereo; extensible formats of PCM data too). Null
// for a format OpenAL cannot play, an empty or misaligned block, or a
// device without room.
SndDevBuffer* sound_dev_buffer_create(SndDev* dev, const SndDevFormat& format, const void* extra,
                                      uint32_t extra_size, uint32_t caps, const void* data,
                                      uint32_t bytes);
// Why sound_dev_buffer_create refuses data of this format and size, in words
// for a log line ("0 channels; ..."); empty when it takes it.
std::string sound_dev_buffer_refusal(const SndDevFormat& format, const void* extra,
                                     uint32_t extra_size, uint32_t bytes);
void sound_dev_buffer_release(SndDevBuffer* buf);

// Plays from the current position; a playing buffer only takes the new loop
// flag, as DirectSound does.
int sound_dev_buffer_play(SndDevBuffer* buf, int loop);
int sound_dev_buffer_stop(SndDevBuffer* buf);  // a pause: the position stays
uint32_t sound_dev_buffer_status(const SndDevBuffer* buf);
// Byte offsets into the data, aligned down to whole frames.
int sound_dev_buffer_set_position(SndDevBuffer* buf, uint32_t byte);
int sound_dev_buffer_get_position(const SndDevBuffer* buf, uint32_t* byte);
uint32_t sound_dev_buffer_size(const SndDevBuffer* buf);

int sound_dev_buffer_set_volume(SndDevBuffer* buf, int32_t volume);
int sound_dev_buffer_get_volume(const SndDevBuffer* buf, int32_t* volume);
// Buffers without SOUND_DEV_CTRL_FREQUENCY refuse both. Hz within 100..200000.
int sound_dev_buffer_set_frequency(SndDevBuffer* buf, uint32_t hz);
int sound_dev_buffer_get_frequency(const SndDevBuffer* buf, uint32_t* hz);
// Buffers without SOUND_DEV_CTRL_PAN refuse; -10000 (left) .. 10000 (right).
int sound_dev_buffer_set_pan(SndDevBuffer* buf, int32_t pan);

// 3D buffers only (SOUND_DEV_CTRL_3D); OpenAL positions only mono data.
int sound_dev_buffer_position(SndDevBuffer* buf, float x, float y, float z);
int sound_dev_buffer_get_3d_position(const SndDevBuffer* buf, float out[3]);  // left-handed
int sound_dev_buffer_velocity(SndDevBuffer* buf, float x, float y, float z);
int sound_dev_buffer_min_distance(SndDevBuffer* buf, float distance);
int sound_dev_buffer_max_distance(SndDevBuffer* buf, float distance);

// Sets one effect (kind none removes it). Refused while the buffer plays,
// without SOUND_DEV_CTRL_FX, or when the device has no EFX: the buffer then
// keeps what it had and plays dry.
int sound_dev_buffer_set_fx(SndDevBuffer* buf, const SndDevFxParams& fx);
