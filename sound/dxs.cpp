// DxSound: a WAVE file loaded into one device buffer, and its play, stop, volume, frequency, pan,
// 3D position and effect calls (see dxs.h).
#include "sound/dxs.h"
#include "sound/dxs_local.h"

#include "disp/cam.h"
#include "plat/files.h"
#include "plat/log_text.h"
#include "plat/sound_dev.h"
#include "sound/snd_mgr.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr float DXS_MAX_DISTANCE = 30.0f;
constexpr float DXS_MIN_DISTANCE = 1.0f;

SndDevFormat device_format(const WaveFile& w)
{
    return {w.tag, w.channels, w.rate, w.bytes_per_second, w.block_align, w.bits};
}

uint32_t clamp_param(SoundFxWord word, uint32_t max)
{
    const uint32_t p = word & 0x00FFFFFFu;
    return p <= max ? p : 0;
}

}  // namespace

DxSound::~DxSound() { dxs_release(this); }

// The buffer's capability bits for a kind.
static uint32_t dxs_caps_for_kind(uint32_t kind)
{
    uint32_t caps = SOUND_DEV_LOCDEFER | SOUND_DEV_CTRL_FX | SOUND_DEV_CTRL_POSITIONNOTIFY |
                    SOUND_DEV_CTRL_VOLUME;
    if (kind == DXS_3D)
        caps |= SOUND_DEV_MUTE3D_AT_MAX | SOUND_DEV_CTRL_FREQUENCY | SOUND_DEV_CTRL_3D;
    if (kind == DXS_PAN) caps |= SOUND_DEV_CTRL_PAN;
    if (kind == DXS_FREQ) caps |= SOUND_DEV_CTRL_FREQUENCY;
    return caps;
}

int32_t dxs_volume_to_device(int32_t base, float v)
{
    // A volume far outside 0..1 would overflow the conversion: it answers a
    // value just outside the device's range, which the device refuses as it
    // refuses every volume beyond it.
    const float drop = (1.0f - v) * float(DXS_ATTENUATION);
    if (!(std::fabs(drop) <= float(SOUND_DEV_VOLUME_MAX - SOUND_DEV_VOLUME_MIN)))
        return SOUND_DEV_VOLUME_MIN - 1;
    return base - int32_t(drop);
}

DxsResult dxs_load(DxSound* s, const char* path, uint32_t kind, float volume)
{
    if (!s) return DXS_E_FAIL;
    dxs_release(s);
    // The whole file, in a block of its own: loads run on the main thread and
    // on the sound thread, so no block is shared between them.
    std::vector<uint8_t> file;
    std::string refused;
    if (!path || !plat_read_data_file(path, PLAT_DATA_FILE_MAX, &file, &refused)) {
        snd_mgr_fail(SND_ERR_FILE, snd_unread_line(path, refused));
        return DXS_E_FAIL;
    }
    const char* not_wave = nullptr;
    if (!wave_parse(file, &s->format, &not_wave)) {
        snd_mgr_fail(SND_ERR_FILE, snd_file_line(path, not_wave));
        return DXS_E_FAIL;
    }
    const WaveFile& w = s->format;
    s->buffer = sound_dev_buffer_create(snd_mgr_device(), device_format(w), w.extra.data(),
                                        uint32_t(w.extra.size()), dxs_caps_for_kind(kind),
                                        file.data() + w.data_offset, w.data_size);
    if (!s->buffer) {
        std::string why = sound_dev_buffer_refusal(device_format(w), w.extra.data(),
                                                   uint32_t(w.extra.size()), w.data_size);
        if (why.empty())
            why = snd_mgr_device() ? "the sound device made no buffer for it" : "no sound device";
        snd_mgr_fail(SND_ERR_BUFFER, snd_file_line(path, why));
        return DXS_E_FAIL;
    }
    s->size = w.data_size;
    s->fx = 0;
    s->kind = kind;
    s->base_volume = kind == DXS_3D ? 0 : DXS_BASE_PLAIN;
    sound_dev_buffer_set_volume(s->buffer, dxs_volume_to_device(s->base_volume, volume));
    if (kind == DXS_3D) {
        sound_dev_buffer_velocity(s->buffer, 0, 0, 0);
        sound_dev_buffer_position(s->buffer, 0, 0, 0);
        sound_dev_buffer_max_distance(s->buffer, DXS_MAX_DISTANCE);
        sound_dev_buffer_min_distance(s->buffer, DXS_MIN_DISTANCE);
    }
    return DXS_OK;
}

void dxs_release(DxSound* s)
{
    if (!s || !s->buffer) return;
    sound_dev_buffer_stop(s->buffer);
    sound_dev_buffer_set_position(s->buffer, 0);
    sound_dev_buffer_release(s->buffer);
    s->buffer = nullptr;
    s->format.extra.clear();
}

DxsResult dxs_play(DxSound* s, int loop)
{
    if (!s || !s->buffer) return DXS_E_FAIL;
    return sound_dev_buffer_play(s->buffer, loop) ? DXS_OK : DXS_ERR_GENERIC;
}

void dxs_stop(DxSound* s)
{
    if (dxs_is_playing(s)) sound_dev_buffer_stop(s->buffer);
}

bool dxs_is_playing(const DxSound* s)
{
    return s && s->buffer && (sound_dev_buffer_status(s->buffer) & SOUND_DEV_STATUS_PLAYING);
}

DxsResult dxs_get_status(const DxSound* s, uint32_t* status)
{
    if (!s || !s->buffer || !status) return 0;
    *status = sound_dev_buffer_status(s->buffer);
    return DXS_OK;
}

DxsResult dxs_get_frequency(const DxSound* s, uint32_t* hz)
{
    if (!s || !s->buffer || !hz) return 0;
    return sound_dev_buffer_get_frequency(s->buffer, hz) ? DXS_OK : DXS_ERR_GENERIC;
}

void dxs_set_frequency(DxSound* s, uint32_t hz)
{
    if (s && s->buffer)
        sound_dev_buffer_set_frequency(s->buffer, std::clamp<uint32_t>(hz, 100, 200000));
}

void dxs_get_volume(const DxSound* s, float* v)
{
    int32_t volume = 0;
    if (!s || !s->buffer || !v || !sound_dev_buffer_get_volume(s->buffer, &volume)) return;
    const float r =
        1.0f - float(volume - s->base_volume) / float(-DXS_ATTENUATION - s->base_volume);
    *v = std::clamp(r, 0.0f, 1.0f);
}

void dxs_set_volume(DxSound* s, float v)
{
    if (s && s->buffer)
        sound_dev_buffer_set_volume(s->buffer, dxs_volume_to_device(s->base_volume, v));
}

void dxs_set_position(DxSound* s, float fraction)
{
    if (!s || !s->buffer) return;
    if (!(fraction >= 0.0f)) fraction = 0.0f;  // also not a number
    fraction = std::min(fraction, 0.99f);
    sound_dev_buffer_set_position(s->buffer, uint32_t(double(s->size) * double(fraction)));
}

void dxs_set_pan(DxSound* s, int32_t pan)
{
    if (s && s->buffer && s->kind == DXS_PAN)
        sound_dev_buffer_set_pan(s->buffer,
                                 std::clamp(pan, SOUND_DEV_PAN_LEFT, SOUND_DEV_PAN_RIGHT));
}

int dxs_set_3d_position(DxSound* s, const Vec3* pos)
{
    if (!s || !s->buffer || s->kind != DXS_3D) return 0;
    if (pos) {
        sound_dev_buffer_position(s->buffer, pos->x, pos->y, pos->z);
        return 1;
    }
    const Vec3 cam = *cam_get_pos(0);
    const float yaw = cam_get_rot(0)->y;
    sound_dev_buffer_position(s->buffer, cam.x + std::sin(yaw), cam.y, cam.z + std::cos(yaw));
    return 1;
}

int dxs_set_fx(DxSound* s, SoundFxWord word)
{
    if (!s || !s->buffer) return 0;
    SndDevFxParams fx{};
    switch (word & 0xFF000000u) {
    case SND_FX_ECHO:
        fx = {SndDevFx::echo, float(clamp_param(word, 100)), 50.0f, 200.0f, 200.0f, 0, 0.0f};
        break;
    case SND_FX_REVERB: fx = {SndDevFx::reverb, 0, 0, 0, 0, clamp_param(word, 29), 0.0f}; break;
    case SND_FX_COMPRESSOR:
        fx = {SndDevFx::compressor, 0, 0, 0, 0, 0, -float(clamp_param(word, 60))};
        break;
    default: fx.kind = SndDevFx::none; break;
    }
    if (!sound_dev_buffer_set_fx(s->buffer, fx)) {
        if (fx.kind == SndDevFx::reverb && sound_dev_has_fx(snd_mgr_device()))
            plat_log_line("sound: the reverb failed even at the lowest quality");
        return 0;
    }
    s->fx = word;
    return 1;
}

uint32_t dxs_get_size(const DxSound* s) { return s ? s->size : 0; }
DxsResult dxs_restore(DxSound* s) { return s && s->buffer ? DXS_OK : 0; }
void dxs_hook(uint32_t, uint32_t) {}
