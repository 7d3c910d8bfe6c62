// The sound device on OpenAL Soft: the device, the listener, buffers with their sources and
// the EFX effects, all behind one process-wide lock (see sound_dev.h).
#include "plat/sound_dev.h"
#include "plat/sound_dev_local.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>
#include <AL/efx-presets.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "math/vm_const.h"

// Every OpenAL call runs under one process-wide lock with its device's
// context made current: the context is process state in OpenAL, and the
// sound thread and the main thread both reach the device.

struct SndDev {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool loopback = false;
    bool efx = false;
    float listener[3] = {0, 0, 0};  // left-handed, for the mute at maximum distance
    float rolloff = 1.0f;
    int32_t primary_volume = 0;
    float master_gain = 1.0f;
    std::vector<SndDevBuffer*> buffers;
};

struct SndDevBuffer {
    SndDev* dev = nullptr;
    ALuint buffer = 0, source = 0;
    ALuint effect = 0, slot = 0;
    uint32_t caps = 0;
    uint32_t size = 0;  // bytes
    uint32_t block = 1;
    uint32_t rate = 0;  // the data's own frames per second
    uint32_t hz = 0;
    uint32_t pending = 0;  // byte position for the next play of a stopped source
    int32_t volume = 0;
    bool looping = false;
    bool muted = false;  // beyond the maximum distance
    float pos[3] = {0, 0, 0};
    float max_distance = 1e9f;
};

namespace {

std::recursive_mutex g_al_lock;

struct AlScope {
    std::lock_guard<std::recursive_mutex> guard{g_al_lock};
    explicit AlScope(const SndDev* dev)
    {
        if (dev && alcGetCurrentContext() != dev->context) alcMakeContextCurrent(dev->context);
    }
};

float gain_of(int32_t volume) { return std::pow(10.0f, float(volume) / 2000.0f); }

void apply_listener_gain(SndDev* dev)
{
    alListenerf(AL_GAIN, gain_of(dev->primary_volume) * dev->master_gain);
}

void apply_source_gain(SndDevBuffer* b)
{
    alSourcef(b->source, AL_GAIN, b->muted ? 0.0f : gain_of(b->volume));
}

// DirectSound silences a 3D buffer beyond its maximum distance; OpenAL only
// stops attenuating there, so the layer mutes it itself.
void update_mute(SndDevBuffer* b)
{
    if (!(b->caps & SOUND_DEV_CTRL_3D) || !(b->caps & SOUND_DEV_MUTE3D_AT_MAX)) return;
    const float* l = b->dev->listener;
    const float dx = b->pos[0] - l[0], dy = b->pos[1] - l[1], dz = b->pos[2] - l[2];
    const bool muted = dx * dx + dy * dy + dz * dz > b->max_distance * b->max_distance;
    if (muted != b->muted) {
        b->muted = muted;
        apply_source_gain(b);
    }
}

// The OpenAL format of PCM data of this WAVE format, or AL_NONE with the
// reason in why (when given).
ALenum al_format(const SndDevFormat& f, const void* extra, uint32_t extra_size, std::string* why)
{
    static constexpr uint8_t SOUND_DEV_PCM_GUID_TAIL[14] = {
        0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    auto refuse = [why](std::string reason) {
        if (why) *why = std::move(reason);
        return AL_NONE;
    };
    if (f.tag == SOUND_DEV_FORMAT_EXTENSIBLE) {
        // valid bits (2), channel mask (4), sub-format GUID (16): PCM only.
        if (!extra || extra_size < 22)
            return refuse("an extensible format without its 22 extra bytes");
        const auto* e = static_cast<const uint8_t*>(extra);
        if (e[6] != 1 || e[7] != 0 || std::memcmp(e + 8, SOUND_DEV_PCM_GUID_TAIL, 14) != 0)
            return refuse("an extensible format whose samples are not PCM");
    } else if (f.tag != SOUND_DEV_FORMAT_PCM) {
        return refuse("format tag " + std::to_string(f.tag) + ", not PCM");
    }
    if (f.channels != 1 && f.channels != 2)
        return refuse(std::to_string(f.channels) + " channels; the sound device plays 1 or 2");
    if (f.bits != 8 && f.bits != 16)
        return refuse(std::to_string(f.bits) + " bits a sample; the sound device plays 8 or 16");
    if (f.rate == 0) return refuse("a rate of 0 Hz");
    if (f.block_align != f.channels * (f.bits / 8))
        return refuse("a block of " + std::to_string(f.block_align) + " bytes for " +
                      std::to_string(f.channels) + " channels of " + std::to_string(f.bits) +
                      " bits");
    if (f.channels == 1) return f.bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return f.bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

// The bytes of whole blocks.
uint32_t whole_blocks(const SndDevFormat& f, uint32_t bytes)
{
    return bytes - bytes % f.block_align;
}

SndDev* open_with(ALCdevice* device, bool loopback, uint32_t rate, bool effects)
{
    if (!device) return nullptr;
    std::vector<ALCint> attrs;
    // HRTF is chosen per device and would change what the tests hear.
    if (alcIsExtensionPresent(device, "ALC_SOFT_HRTF"))
        attrs.insert(attrs.end(), {ALC_HRTF_SOFT, ALC_FALSE});
    if (loopback)
        attrs.insert(attrs.end(), {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
                                   ALC_SHORT_SOFT, ALC_FREQUENCY, ALCint(rate)});
    attrs.push_back(0);
    ALCcontext* context = alcCreateContext(device, attrs.data());
    if (!context) {
        alcCloseDevice(device);
        return nullptr;
    }
    auto* dev = new SndDev;
    dev->device = device;
    dev->context = context;
    dev->loopback = loopback;
    dev->efx = effects && alcIsExtensionPresent(device, "ALC_EXT_EFX");
    AlScope al(dev);
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    return dev;
}

void forget_buffer(SndDevBuffer* b)
{
    auto& list = b->dev->buffers;
    list.erase(std::remove(list.begin(), list.end(), b), list.end());
}

void drop_effect(ALuint* effect, ALuint* slot)
{
    if (*slot) alDeleteAuxiliaryEffectSlots(1, slot);
    if (*effect) alDeleteEffects(1, effect);
    *slot = *effect = 0;
}

}  // namespace

// ---- device --------------------------------------------------------------------------

SndDev* sound_dev_open(std::string* why)
{
    std::lock_guard<std::recursive_mutex> guard(g_al_lock);
    ALCdevice* device = alcOpenDevice(nullptr);
    const bool opened = device != nullptr;
    SndDev* dev = open_with(device, false, 0, true);
    if (!dev && why)
        *why = opened ? "OpenAL made no context on its output device"
                      : "OpenAL opened no output device";
    return dev;
}

SndDev* sound_dev_open_loopback(uint32_t rate, int effects)
{
    std::lock_guard<std::recursive_mutex> guard(g_al_lock);
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return nullptr;
    return open_with(alcLoopbackOpenDeviceSOFT(nullptr), true, rate, effects != 0);
}

void sound_dev_close(SndDev* dev)
{
    if (!dev) return;
    std::lock_guard<std::recursive_mutex> guard(g_al_lock);
    while (!dev->buffers.empty()) sound_dev_buffer_release(dev->buffers.back());
    if (alcGetCurrentContext() == dev->context) alcMakeContextCurrent(nullptr);
    alcDestroyContext(dev->context);
    alcCloseDevice(dev->device);
    delete dev;
}

int sound_dev_render(SndDev* dev, int16_t* out, uint32_t frames)
{
    if (!dev || !dev->loopback || !out) return 0;
    AlScope al(dev);
    alcRenderSamplesSOFT(dev->device, out, ALCsizei(frames));
    return 1;
}

int sound_dev_has_fx(const SndDev* dev) { return dev && dev->efx ? 1 : 0; }

int sound_dev_set_primary_volume(SndDev* dev, int32_t volume)
{
    if (!dev || volume < SOUND_DEV_VOLUME_MIN || volume > SOUND_DEV_VOLUME_MAX) return 0;
    AlScope al(dev);
    dev->primary_volume = volume;
    apply_listener_gain(dev);
    return 1;
}

int sound_dev_set_master_gain(SndDev* dev, float gain)
{
    if (!dev || !(gain >= 0.0f)) return 0;
    AlScope al(dev);
    dev->master_gain = std::min(gain, 1.0f);
    apply_listener_gain(dev);
    return 1;
}

// ---- listener ------------------------------------------------------------------------

int sound_dev_listener_position(SndDev* dev, float x, float y, float z)
{
    if (!dev) return 0;
    AlScope al(dev);
    dev->listener[0] = x;
    dev->listener[1] = y;
    dev->listener[2] = z;
    alListener3f(AL_POSITION, x, y, -z);
    for (SndDevBuffer* b : dev->buffers) update_mute(b);
    return 1;
}

int sound_dev_listener_velocity(SndDev* dev, float x, float y, float z)
{
    if (!dev) return 0;
    AlScope al(dev);
    alListener3f(AL_VELOCITY, x, y, -z);
    return 1;
}

int sound_dev_listener_orientation(SndDev* dev, const float front[3], const float top[3])
{
    if (!dev || !front || !top) return 0;
    AlScope al(dev);
    const ALfloat v[6] = {front[0], front[1], -front[2], top[0], top[1], -top[2]};
    alListenerfv(AL_ORIENTATION, v);
    return 1;
}

int sound_dev_listener_rolloff(SndDev* dev, float factor)
{
    if (!dev || !(factor >= 0.0f)) return 0;
    AlScope al(dev);
    dev->rolloff = factor;
    for (SndDevBuffer* b : dev->buffers)
        if (b->caps & SOUND_DEV_CTRL_3D) alSourcef(b->source, AL_ROLLOFF_FACTOR, factor);
    return 1;
}

int sound_dev_listener_doppler(SndDev* dev, float factor)
{
    if (!dev || !(factor >= 0.0f)) return 0;
    AlScope al(dev);
    alDopplerFactor(factor);
    return 1;
}

// ---- buffers -------------------------------------------------------------------------

std::string sound_dev_buffer_refusal(const SndDevFormat& format, const void* extra,
                                     uint32_t extra_size, uint32_t bytes)
{
    std::string why;
    if (al_format(format, extra, extra_size, &why) == AL_NONE) return why;
    const uint32_t size = whole_blocks(format, bytes);
    if (size == 0)
        return "fewer sample bytes than one block of " + std::to_string(format.block_align);
    if (size > 0x7FFFFFFFu) return "over 2 GB of samples";
    return {};
}

SndDevBuffer* sound_dev_buffer_create(SndDev* dev, const SndDevFormat& format, const void* extra,
                                      uint32_t extra_size, uint32_t caps, const void* data,
                                      uint32_t bytes)
{
    if (!dev || !data || !sound_dev_buffer_refusal(format, extra, extra_size, bytes).empty())
        return nullptr;
    const ALenum al_fmt = al_format(format, extra, extra_size, nullptr);
    const uint32_t size = whole_blocks(format, bytes);

    AlScope al(dev);
    alGetError();
    auto* b = new SndDevBuffer;
    b->dev = dev;
    alGenBuffers(1, &b->buffer);
    alGenSources(1, &b->source);
    if (alGetError() != AL_NO_ERROR) {
        sound_dev_buffer_release(b);
        return nullptr;
    }
    alBufferData(b->buffer, al_fmt, data, ALsizei(size), ALsizei(format.rate));
    alSourcei(b->source, AL_BUFFER, ALint(b->buffer));
    b->caps = caps;
    b->size = size;
    b->block = format.block_align;
    b->rate = b->hz = format.rate;
    if (caps & SOUND_DEV_CTRL_3D) {
        alSourcei(b->source, AL_SOURCE_RELATIVE, AL_FALSE);
        alSourcef(b->source, AL_REFERENCE_DISTANCE, 1.0f);
        alSourcef(b->source, AL_ROLLOFF_FACTOR, dev->rolloff);
    } else {
        // Plain buffers ignore the listener: fixed at its place.
        alSourcei(b->source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(b->source, AL_ROLLOFF_FACTOR, 0.0f);
    }
    alSource3f(b->source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    if (alGetError() != AL_NO_ERROR) {
        sound_dev_buffer_release(b);
        return nullptr;
    }
    dev->buffers.push_back(b);
    return b;
}

void sound_dev_buffer_release(SndDevBuffer* buf)
{
    if (!buf) return;
    AlScope al(buf->dev);
    forget_buffer(buf);
    if (buf->source) {
        alSourceStop(buf->source);
        alSourcei(buf->source, AL_BUFFER, 0);
        if (buf->dev->efx)
            alSource3i(buf->source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0,
                       AL_FILTER_NULL);
        alDeleteSources(1, &buf->source);
    }
    if (buf->dev->efx) drop_effect(&buf->effect, &buf->slot);
    if (buf->buffer) alDeleteBuffers(1, &buf->buffer);
    delete buf;
}

namespace {

ALint source_state(const SndDevBuffer* b)
{
    ALint state = AL_INITIAL;
    alGetSourcei(b->source, AL_SOURCE_STATE, &state);
    return state;
}

}  // namespace

int sound_dev_buffer_play(SndDevBuffer* buf, int loop)
{
    if (!buf) return 0;
    AlScope al(buf->dev);
    buf->looping = loop != 0;
    alSourcei(buf->source, AL_LOOPING, buf->looping ? AL_TRUE : AL_FALSE);
    const ALint state = source_state(buf);
    if (state == AL_PLAYING) return 1;
    // A source that ran to its end starts again from its pending position.
    if (state != AL_PAUSED) alSourcei(buf->source, AL_BYTE_OFFSET, ALint(buf->pending));
    buf->pending = 0;
    alSourcePlay(buf->source);
    return 1;
}

int sound_dev_buffer_stop(SndDevBuffer* buf)
{
    if (!buf) return 0;
    AlScope al(buf->dev);
    if (source_state(buf) == AL_PLAYING) alSourcePause(buf->source);
    return 1;
}

uint32_t sound_dev_buffer_status(const SndDevBuffer* buf)
{
    if (!buf) return 0;
    AlScope al(buf->dev);
    if (source_state(buf) != AL_PLAYING) return 0;
    return SOUND_DEV_STATUS_PLAYING | (buf->looping ? SOUND_DEV_STATUS_LOOPING : 0u);
}

int sound_dev_buffer_set_position(SndDevBuffer* buf, uint32_t byte)
{
    if (!buf) return 0;
    AlScope al(buf->dev);
    byte = std::min(byte, buf->size - 1);
    byte -= byte % buf->block;
    const ALint state = source_state(buf);
    if (state == AL_PLAYING || state == AL_PAUSED)
        alSourcei(buf->source, AL_BYTE_OFFSET, ALint(byte));
    else
        buf->pending = byte;
    return 1;
}

int sound_dev_buffer_get_position(const SndDevBuffer* buf, uint32_t* byte)
{
    if (!buf || !byte) return 0;
    AlScope al(buf->dev);
    const ALint state = source_state(buf);
    if (state == AL_PLAYING || state == AL_PAUSED) {
        ALint offset = 0;
        alGetSourcei(buf->source, AL_BYTE_OFFSET, &offset);
        *byte = uint32_t(std::max(offset, 0));
    } else {
        *byte = buf->pending;
    }
    return 1;
}

uint32_t sound_dev_buffer_size(const SndDevBuffer* buf) { return buf ? buf->size : 0; }

int sound_dev_buffer_set_volume(SndDevBuffer* buf, int32_t volume)
{
    if (!buf || volume < SOUND_DEV_VOLUME_MIN || volume > SOUND_DEV_VOLUME_MAX) return 0;
    AlScope al(buf->dev);
    buf->volume = volume;
    apply_source_gain(buf);
    return 1;
}

int sound_dev_buffer_get_volume(const SndDevBuffer* buf, int32_t* volume)
{
    if (!buf || !volume) return 0;
    *volume = buf->volume;
    return 1;
}

int sound_dev_buffer_set_frequency(SndDevBuffer* buf, uint32_t hz)
{
    if (!buf || !(buf->caps & SOUND_DEV_CTRL_FREQUENCY)) return 0;
    AlScope al(buf->dev);
    buf->hz = std::clamp<uint32_t>(hz, 100, 200000);
    alSourcef(buf->source, AL_PITCH, float(buf->hz) / float(buf->rate));
    return 1;
}

int sound_dev_buffer_get_frequency(const SndDevBuffer* buf, uint32_t* hz)
{
    if (!buf || !hz || !(buf->caps & SOUND_DEV_CTRL_FREQUENCY)) return 0;
    *hz = buf->hz;
    return 1;
}

int sound_dev_buffer_set_pan(SndDevBuffer* buf, int32_t pan)
{
    if (!buf || !(buf->caps & SOUND_DEV_CTRL_PAN) || (buf->caps & SOUND_DEV_CTRL_3D)) return 0;
    if (pan < SOUND_DEV_PAN_LEFT || pan > SOUND_DEV_PAN_RIGHT) return 0;
    AlScope al(buf->dev);
    // A turn of the source around the listener: hard left or right at the ends.
    const float angle = float(pan) / float(SOUND_DEV_PAN_RIGHT) * VM_HALF_PI;
    alSource3f(buf->source, AL_POSITION, std::sin(angle), 0.0f, -std::cos(angle));
    return 1;
}

int sound_dev_buffer_position(SndDevBuffer* buf, float x, float y, float z)
{
    if (!buf || !(buf->caps & SOUND_DEV_CTRL_3D)) return 0;
    AlScope al(buf->dev);
    buf->pos[0] = x;
    buf->pos[1] = y;
    buf->pos[2] = z;
    alSource3f(buf->source, AL_POSITION, x, y, -z);
    update_mute(buf);
    return 1;
}

int sound_dev_buffer_get_3d_position(const SndDevBuffer* buf, float out[3])
{
    if (!buf || !out || !(buf->caps & SOUND_DEV_CTRL_3D)) return 0;
    std::copy(buf->pos, buf->pos + 3, out);
    return 1;
}

int sound_dev_buffer_velocity(SndDevBuffer* buf, float x, float y, float z)
{
    if (!buf || !(buf->caps & SOUND_DEV_CTRL_3D)) return 0;
    AlScope al(buf->dev);
    alSource3f(buf->source, AL_VELOCITY, x, y, -z);
    return 1;
}

int sound_dev_buffer_min_distance(SndDevBuffer* buf, float distance)
{
    if (!buf || !(buf->caps & SOUND_DEV_CTRL_3D) || !(distance > 0.0f)) return 0;
    AlScope al(buf->dev);
    alSourcef(buf->source, AL_REFERENCE_DISTANCE, distance);
    return 1;
}

int sound_dev_buffer_max_distance(SndDevBuffer* buf, float distance)
{
    if (!buf || !(buf->caps & SOUND_DEV_CTRL_3D) || !(distance > 0.0f)) return 0;
    AlScope al(buf->dev);
    buf->max_distance = distance;
    alSourcef(buf->source, AL_MAX_DISTANCE, distance);
    update_mute(buf);
    return 1;
}

// ---- effects -------------------------------------------------------------------------

namespace {

// The seven I3DL2 environments that OpenAL Soft's preset list lacks, as our
// own room settings in the I3DL2 units (hundredths of a decibel, seconds).
struct RoomRow {
    float room, room_hf, decay, decay_hf_ratio, reflections, reflections_delay, reverb,
        reverb_delay, diffusion, density;
};

EFXEAXREVERBPROPERTIES reverb_from_room(const RoomRow& r)
{
    EFXEAXREVERBPROPERTIES p = EFX_REVERB_PRESET_GENERIC;
    p.flGain = gain_of(int32_t(r.room));
    p.flGainHF = gain_of(int32_t(r.room_hf));
    p.flDecayTime = r.decay;
    p.flDecayHFRatio = r.decay_hf_ratio;
    p.flReflectionsGain = std::min(gain_of(int32_t(r.reflections)), 3.16f);
    p.flReflectionsDelay = r.reflections_delay;
    p.flLateReverbGain = std::min(gain_of(int32_t(r.reverb)), 10.0f);
    p.flLateReverbDelay = r.reverb_delay;
    p.flDiffusion = r.diffusion / 100.0f;
    p.flDensity = r.density / 100.0f;
    return p;
}

constexpr RoomRow SOUND_DEV_ROOM_DEFAULT{-1000,  -100, 1.49f,  0.83f, -2602,
                                         0.007f, 200,  0.011f, 100,   100};
constexpr RoomRow SOUND_DEV_ROOM_SMALL{-1000,  -600, 1.10f,  0.83f, -400,
                                       0.005f, 500,  0.010f, 100,   100};
constexpr RoomRow SOUND_DEV_ROOM_MEDIUM{-1000,  -600, 1.30f,  0.83f, -1000,
                                        0.010f, -200, 0.020f, 100,   100};
constexpr RoomRow SOUND_DEV_ROOM_LARGE{-1000,  -600,  1.50f,  0.83f, -1600,
                                       0.020f, -1000, 0.040f, 100,   100};
constexpr RoomRow SOUND_DEV_HALL_MEDIUM{-1000,  -600, 1.80f,  0.70f, -1300,
                                        0.015f, -800, 0.030f, 100,   100};
constexpr RoomRow SOUND_DEV_HALL_LARGE{-1000,  -600,  1.80f,  0.70f, -2000,
                                       0.030f, -1400, 0.060f, 100,   100};
constexpr RoomRow SOUND_DEV_PLATE{-1000, -200, 1.30f, 0.90f, 0, 0.002f, 0, 0.010f, 100, 75};

EFXEAXREVERBPROPERTIES reverb_preset(uint32_t i)
{
    static const std::array<EFXEAXREVERBPROPERTIES, 30> SOUND_DEV_PRESETS = {
        reverb_from_room(SOUND_DEV_ROOM_DEFAULT),
        EFX_REVERB_PRESET_GENERIC,
        EFX_REVERB_PRESET_PADDEDCELL,
        EFX_REVERB_PRESET_ROOM,
        EFX_REVERB_PRESET_BATHROOM,
        EFX_REVERB_PRESET_LIVINGROOM,
        EFX_REVERB_PRESET_STONEROOM,
        EFX_REVERB_PRESET_AUDITORIUM,
        EFX_REVERB_PRESET_CONCERTHALL,
        EFX_REVERB_PRESET_CAVE,
        EFX_REVERB_PRESET_ARENA,
        EFX_REVERB_PRESET_HANGAR,
        EFX_REVERB_PRESET_CARPETEDHALLWAY,
        EFX_REVERB_PRESET_HALLWAY,
        EFX_REVERB_PRESET_STONECORRIDOR,
        EFX_REVERB_PRESET_ALLEY,
        EFX_REVERB_PRESET_FOREST,
        EFX_REVERB_PRESET_CITY,
        EFX_REVERB_PRESET_MOUNTAINS,
        EFX_REVERB_PRESET_QUARRY,
        EFX_REVERB_PRESET_PLAIN,
        EFX_REVERB_PRESET_PARKINGLOT,
        EFX_REVERB_PRESET_SEWERPIPE,
        EFX_REVERB_PRESET_UNDERWATER,
        reverb_from_room(SOUND_DEV_ROOM_SMALL),
        reverb_from_room(SOUND_DEV_ROOM_MEDIUM),
        reverb_from_room(SOUND_DEV_ROOM_LARGE),
        reverb_from_room(SOUND_DEV_HALL_MEDIUM),
        reverb_from_room(SOUND_DEV_HALL_LARGE),
        reverb_from_room(SOUND_DEV_PLATE),
    };
    return SOUND_DEV_PRESETS[i < SOUND_DEV_PRESETS.size() ? i : 0];
}

void set_reverb(ALuint effect, const EFXEAXREVERBPROPERTIES& p)
{
    alEffecti(effect, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
    if (alGetError() == AL_NO_ERROR) {
        alEffectf(effect, AL_EAXREVERB_DENSITY, p.flDensity);
        alEffectf(effect, AL_EAXREVERB_DIFFUSION, p.flDiffusion);
        alEffectf(effect, AL_EAXREVERB_GAIN, p.flGain);
        alEffectf(effect, AL_EAXREVERB_GAINHF, p.flGainHF);
        alEffectf(effect, AL_EAXREVERB_GAINLF, p.flGainLF);
        alEffectf(effect, AL_EAXREVERB_DECAY_TIME, p.flDecayTime);
        alEffectf(effect, AL_EAXREVERB_DECAY_HFRATIO, p.flDecayHFRatio);
        alEffectf(effect, AL_EAXREVERB_DECAY_LFRATIO, p.flDecayLFRatio);
        alEffectf(effect, AL_EAXREVERB_REFLECTIONS_GAIN, p.flReflectionsGain);
        alEffectf(effect, AL_EAXREVERB_REFLECTIONS_DELAY, p.flReflectionsDelay);
        alEffectf(effect, AL_EAXREVERB_LATE_REVERB_GAIN, p.flLateReverbGain);
        alEffectf(effect, AL_EAXREVERB_LATE_REVERB_DELAY, p.flLateReverbDelay);
        alEffectf(effect, AL_EAXREVERB_ECHO_TIME, p.flEchoTime);
        alEffectf(effect, AL_EAXREVERB_ECHO_DEPTH, p.flEchoDepth);
        alEffectf(effect, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, p.flAirAbsorptionGainHF);
        alEffectf(effect, AL_EAXREVERB_HFREFERENCE, p.flHFReference);
        alEffectf(effect, AL_EAXREVERB_LFREFERENCE, p.flLFReference);
        alEffecti(effect, AL_EAXREVERB_DECAY_HFLIMIT, p.iDecayHFLimit);
        return;
    }
    // The standard reverb holds a subset of the same settings.
    alEffecti(effect, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
    alEffectf(effect, AL_REVERB_DENSITY, p.flDensity);
    alEffectf(effect, AL_REVERB_DIFFUSION, p.flDiffusion);
    alEffectf(effect, AL_REVERB_GAIN, p.flGain);
    alEffectf(effect, AL_REVERB_GAINHF, p.flGainHF);
    alEffectf(effect, AL_REVERB_DECAY_TIME, p.flDecayTime);
    alEffectf(effect, AL_REVERB_DECAY_HFRATIO, p.flDecayHFRatio);
    alEffectf(effect, AL_REVERB_REFLECTIONS_GAIN, p.flReflectionsGain);
    alEffectf(effect, AL_REVERB_REFLECTIONS_DELAY, p.flReflectionsDelay);
    alEffectf(effect, AL_REVERB_LATE_REVERB_GAIN, p.flLateReverbGain);
    alEffectf(effect, AL_REVERB_LATE_REVERB_DELAY, p.flLateReverbDelay);
    alEffectf(effect, AL_REVERB_AIR_ABSORPTION_GAINHF, p.flAirAbsorptionGainHF);
    alEffecti(effect, AL_REVERB_DECAY_HFLIMIT, p.iDecayHFLimit);
}

// Fills a new effect object; the slot gain carries the echo's wet/dry mix.
float fill_effect(ALuint effect, const SndDevFxParams& fx)
{
    switch (fx.kind) {
    case SndDevFx::echo:
        alEffecti(effect, AL_EFFECT_TYPE, AL_EFFECT_ECHO);
        alEffectf(effect, AL_ECHO_DELAY,
                  std::clamp(fx.left_delay_ms / 1000.0f, 0.0f, AL_ECHO_MAX_DELAY));
        alEffectf(effect, AL_ECHO_LRDELAY,
                  std::clamp((fx.right_delay_ms - fx.left_delay_ms) / 1000.0f, 0.0f,
                             AL_ECHO_MAX_LRDELAY));
        alEffectf(effect, AL_ECHO_FEEDBACK, std::clamp(fx.feedback / 100.0f, 0.0f, 1.0f));
        return std::clamp(fx.wet_dry_mix / 100.0f, 0.0f, 1.0f);
    case SndDevFx::reverb: set_reverb(effect, reverb_preset(fx.reverb_preset)); return 1.0f;
    case SndDevFx::compressor:
        alEffecti(effect, AL_EFFECT_TYPE, AL_EFFECT_COMPRESSOR);
        alEffecti(effect, AL_COMPRESSOR_ONOFF, AL_TRUE);
        return 1.0f;
    case SndDevFx::none: break;
    }
    return 0.0f;
}

}  // namespace

int sound_dev_buffer_set_fx(SndDevBuffer* buf, const SndDevFxParams& fx)
{
    if (!buf || !buf->dev->efx || !(buf->caps & SOUND_DEV_CTRL_FX)) return 0;
    AlScope al(buf->dev);
    if (source_state(buf) == AL_PLAYING) return 0;
    alGetError();
    if (fx.kind == SndDevFx::none) {
        alSource3i(buf->source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
        drop_effect(&buf->effect, &buf->slot);
        return 1;
    }
    ALuint effect = 0, slot = 0;
    alGenEffects(1, &effect);
    alGenAuxiliaryEffectSlots(1, &slot);
    const float slot_gain = fill_effect(effect, fx);
    alAuxiliaryEffectSloti(slot, AL_EFFECTSLOT_EFFECT, ALint(effect));
    alAuxiliaryEffectSlotf(slot, AL_EFFECTSLOT_GAIN, slot_gain);
    if (alGetError() != AL_NO_ERROR) {
        drop_effect(&effect, &slot);
        return 0;
    }
    alSource3i(buf->source, AL_AUXILIARY_SEND_FILTER, ALint(slot), 0, AL_FILTER_NULL);
    if (alGetError() != AL_NO_ERROR) {
        drop_effect(&effect, &slot);
        return 0;
    }
    drop_effect(&buf->effect, &buf->slot);
    buf->effect = effect;
    buf->slot = slot;
    return 1;
}
