// DxSound: one sound buffer holding one whole RIFF WAVE file, with its kind,
// base volume, effect word and format. The sound manager keeps three static
// ones (the BGM and the two voice channels) and one on the heap per
// sound-table entry.
//
// Callers rely on: every operation on an object without a buffer doing
// nothing and answering 0 (play answers DXS_E_FAIL); a failed load setting
// the manager's error word (258 file, 257 buffer; the first error with its
// line on standard error, snd_mgr_fail) and leaving the object without a
// buffer. Used from the sound thread and, under the manager's lock,
// from the main thread.
#pragma once
#include <cstdint>
#include <vector>

#include "math/vm_types.h"
#include "sound/wave.h"

struct SndDevBuffer;

using DxsResult = uint32_t;  // HRESULT-like: 0 success, top bit failure
constexpr DxsResult DXS_OK = 0;
constexpr DxsResult DXS_E_FAIL = 0x80004005u;
constexpr DxsResult DXS_ERR_BUFFERLOST = 0x88780096u;
constexpr DxsResult DXS_ERR_GENERIC = 0x80004005u;

// Kinds.
enum : uint32_t { DXS_PLAIN = 0, DXS_3D = 1, DXS_PAN = 2, DXS_FREQ = 3 };

// The effect word: top byte selects, the low 24 bits are the parameter.
enum : uint32_t {
    SND_FX_ECHO = 0x10000000u,         // wet/dry mix 0..100
    SND_FX_REVERB = 0x20000000u,       // I3DL2 preset 0..29
    SND_FX_COMPRESSOR = 0x40000000u,   // threshold 0..60 dB below
    SND_FX_USE_DEFAULT = 0x01000000u,  // a play takes the manager's default word
};
using SoundFxWord = uint32_t;

constexpr int32_t DXS_BASE_PLAIN = -250;      // hundredths of a decibel
constexpr int32_t DXS_ATTENUATION = 6000;     // volume 0.0 is this far below the base
constexpr uint32_t DXS_HEAP_BLOCK = 0x40000;  // sample blocks from here on are heap blocks

struct DxSound {
    SndDevBuffer* buffer = nullptr;
    uint32_t keep = 0;  // a table sound with it set survives the stop-all command
    uint32_t frequency = 0;
    uint32_t kind = DXS_PLAIN;
    int32_t base_volume = 0;
    SoundFxWord fx = 0;
    WaveFile format{};  // the read format, extra bytes included
    uint32_t size = 0;  // bytes of sample data in the buffer

    DxSound() = default;
    DxSound(const DxSound&) = delete;
    DxSound& operator=(const DxSound&) = delete;
    ~DxSound();
};

DxsResult dxs_load(DxSound* s, const char* path, uint32_t kind, float volume);
void dxs_release(DxSound* s);
DxsResult dxs_play(DxSound* s, int loop);
void dxs_stop(DxSound* s);
bool dxs_is_playing(const DxSound* s);
DxsResult dxs_get_status(const DxSound* s, uint32_t* status);
DxsResult dxs_get_frequency(const DxSound* s, uint32_t* hz);
void dxs_set_frequency(DxSound* s, uint32_t hz);  // held within 100..200000
void dxs_get_volume(const DxSound* s, float* v);
void dxs_set_volume(DxSound* s, float v);
void dxs_set_position(DxSound* s, float fraction);  // held within 0..0.99
void dxs_set_pan(DxSound* s, int32_t pan);          // pan kind only
// 3D kind only; null places it one unit in front of camera 0. Answers 1.
int dxs_set_3d_position(DxSound* s, const Vec3* pos);
// 1 when the effect took (the word is then remembered), 0 when it was
// refused: the old word and effect stay.
int dxs_set_fx(DxSound* s, SoundFxWord word);
uint32_t dxs_get_size(const DxSound* s);
DxsResult dxs_restore(DxSound* s);  // buffers are never lost here
void dxs_hook(uint32_t a, uint32_t b);
