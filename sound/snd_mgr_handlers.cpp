// The sound manager's handlers (see snd_mgr.h): the dispatcher the sound thread runs for each
// command of the ring, and what it calls: stop-all, the BGM channel, the table sounds and the
// two voice channels. Each holds the manager lock; the manager itself is in snd_mgr.cpp.
#include "sound/snd_mgr.h"
#include "sound/snd_mgr_local.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// The three static channels' sounds; the manager points at them while loaded.
DxSound g_bgm_sound, g_voice_a_sound, g_voice_b_sound;

void unload_channel(DxSound*& channel, uint32_t& playing, int32_t& index)
{
    if (channel) dxs_release(channel);
    channel = nullptr;
    playing = 0;
    index = -1;
}

void apply_fx(SoundMgr& m, DxSound* s, SoundFxWord fx)
{
    const SoundFxWord word = (fx & SND_FX_USE_DEFAULT) ? m.default_fx : fx;
    if (s->fx == word) return;
    dxs_stop(s);
    dxs_set_fx(s, word);  // a refused effect keeps the old word
}

// Loads the channel's static sound when the entry changes, then plays it
// from the start.
void play_voice(DxSound*& channel, DxSound& slot, uint32_t& playing, int32_t& index,
                uint32_t wanted, const std::string& path, float volume, int loop)
{
    if (int32_t(wanted) != index) {
        unload_channel(channel, playing, index);
        if (dxs_load(&slot, path.c_str(), DXS_PLAIN, volume) != DXS_OK) return;
        slot.fx = 0;
        channel = &slot;
        index = int32_t(wanted);
    }
    dxs_set_position(channel, 0.0f);
    dxs_play(channel, loop);
    playing = 1;
}

}  // namespace

void snd_run_command(const SoundCmd& c)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    const Vec3 pos{c.x, c.y, c.z};
    const Vec3* at = c.has_pos ? &pos : nullptr;
    switch (c.command) {
    case SND_CMD_BGM_PLAY: bgm_play(c.id); break;
    case SND_CMD_BGM_RESTART: bgm_restart(c.id); break;
    case SND_CMD_BGM_STOP: bgm_stop(); break;
    case SND_CMD_BGM_RESUME: bgm_resume(); break;
    case SND_CMD_BGM_UNLOAD: bgm_unload(); break;
    case SND_CMD_BGM_VOLUME: bgm_set_volume(c.value); break;
    case SND_CMD_SOUND_VOLUME: sound_set_volume(c.id, std::clamp(c.value, 0.0f, 1.0f)); break;
    case SND_CMD_SOUND_RESTORE_VOLUME: sound_restore_volume(c.id); break;
    case SND_CMD_SOUND_PLAY: sound_play(c.id, 0, 0.0f, SND_FX_USE_DEFAULT); break;
    case SND_CMD_SOUND_LOOP: sound_play(c.id, 1, 0.0f, SND_FX_USE_DEFAULT); break;
    case SND_CMD_SOUND_LOOP_RESTART:
        sound_play(c.id, 1, SND_RESTART_POSITION, SND_FX_USE_DEFAULT);
        break;
    case SND_CMD_SOUND_STOP: sound_stop(c.id); break;
    case SND_CMD_STOP_ALL: snd_stop_all(); break;
    case SND_CMD_STOP_EVERYTHING: snd_stop_everything(); break;
    case SND_CMD_SOUND_PLAY_AT: sound_play_at(c.id, 0, at, 0.0f, SND_FX_USE_DEFAULT); break;
    case SND_CMD_SOUND_LOOP_AT: sound_play_at(c.id, 1, at, 0.0f, SND_FX_USE_DEFAULT); break;
    case SND_CMD_SOUND_RESTART_AT:
        sound_play_at(c.id, 0, at, SND_RESTART_POSITION, SND_FX_USE_DEFAULT);
        break;
    case SND_CMD_SOUND_PLAY_AT_FROM: sound_play_at(c.id, 0, at, c.value, SND_FX_USE_DEFAULT); break;
    case SND_CMD_SOUND_FREQUENCY: sound_set_frequency(c.id, c.arg2); break;
    case SND_CMD_REWIND_ALL: snd_rewind_all(); break;
    case SND_CMD_MASTER_VOLUME: snd_master_volume(c.value); break;
    case SND_CMD_VOICE_A_PLAY: voice_a_play(c.id); break;
    case SND_CMD_VOICE_A_STOP: voice_a_stop(); break;
    case SND_CMD_VOICE_A_UNLOAD: voice_a_unload(); break;
    case SND_CMD_VOICE_A_VOLUME: voice_a_set_volume(c.value); break;
    case SND_CMD_VOICE_B_PLAY: voice_b_play(c.id); break;
    case SND_CMD_VOICE_B_STOP: voice_b_stop(); break;
    case SND_CMD_VOICE_B_UNLOAD: voice_b_unload(); break;
    case SND_CMD_VOICE_B_VOLUME: voice_b_set_volume(c.value); break;
    default: break;  // SND_CMD_NOTHING and numbers from SND_COMMANDS on
    }
}

// ---- handlers ------------------------------------------------------------------------

void snd_stop_all(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    for (DxSound* s : g_mgr->table)
        if (s && !s->keep) dxs_stop(s);
    voice_a_stop();
    voice_b_stop();
    voice_queue_reset();
}

void snd_stop_everything(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    for (DxSound* s : g_mgr->table) dxs_stop(s);
    voice_a_stop();
    voice_b_stop();
    bgm_stop();
    voice_queue_reset();
}

void bgm_play(SoundId id)
{
    if (!g_mgr || !g_mgr->loaded) return;
    SoundMgr& m = *g_mgr;
    Lock lock(m.lock);
    const uint32_t index = id & SND_ID_INDEX_MASK;
    if (index >= SND_TABLE_SIZE) return;
    if (int32_t(index) != m.bgm_index) {
        bgm_unload();
        const char* name = SND_BGM_NAMES[index];
        const uint32_t kind = std::strlen(name) >= 4 && name[3] == 'P' ? DXS_PAN : DXS_PLAIN;
        const std::string path = path_in(m.sound_folder, name);
        if (dxs_load(&g_bgm_sound, path.c_str(), kind, m.bgm_volume) == DXS_OK) {
            m.bgm = &g_bgm_sound;
            m.bgm_index = int32_t(index);
        }
    }
    if (!m.bgm) return;
    dxs_set_position(m.bgm, 0.0f);
    dxs_play(m.bgm, 1);
    m.bgm_playing = 1;
}

void bgm_restart(SoundId id)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    bgm_play(id);
    if (!g_mgr->bgm) return;
    dxs_set_position(g_mgr->bgm, 0.0f);
    dxs_play(g_mgr->bgm, 1);
}

void bgm_stop(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_stop(g_mgr->bgm);
}

void bgm_resume(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    if (g_mgr->bgm) dxs_play(g_mgr->bgm, 1);
}

void bgm_unload(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    unload_channel(g_mgr->bgm, g_mgr->bgm_playing, g_mgr->bgm_index);
}

void bgm_set_volume(float v)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_set_volume(g_mgr->bgm, v);
}

void bgm_set_pan(float pan)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_set_pan(g_mgr->bgm, std::clamp(int32_t(pan * 10000.0f), -10000, 10000));
}

void sound_play(SoundId id, int loop, float start, SoundFxWord fx)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    DxSound* s = table_sound(id);
    if (!s || !s->buffer) return;
    // A looped sound that already plays from the start is not restarted.
    if (!(loop && start == 0.0f)) {
        dxs_set_position(s, start);
        dxs_stop(s);
    }
    apply_fx(*g_mgr, s, fx);
    dxs_set_3d_position(s, nullptr);
    dxs_play(s, loop);
}

void sound_play_at(SoundId id, int loop, const Vec3* pos, float start, SoundFxWord fx)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    DxSound* s = table_sound(id);
    if (!s || !s->buffer) return;
    if (start != 0.0f) {
        dxs_stop(s);
        dxs_set_position(s, start);
        // A pause takes effect at once here; the wait is bounded all the same.
        for (int i = 0; i < 1000 && dxs_is_playing(s); ++i) dxs_stop(s);
    }
    dxs_set_3d_position(s, pos);
    apply_fx(*g_mgr, s, fx);
    dxs_play(s, loop);
}

void sound_stop(SoundId id)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    DxSound* s = table_sound(id);
    dxs_stop(s);
    dxs_set_position(s, SND_RESTART_POSITION);
}

void sound_set_volume(SoundId id, float v)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_set_volume(table_sound(id), std::clamp(v, 0.0f, 1.0f));
}

void sound_restore_volume(SoundId id)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    DxSound* s = table_sound(id);
    if (s) dxs_set_volume(s, 1.0f - float(s->base_volume) / -float(DXS_ATTENUATION));
}

void sound_set_frequency(SoundId id, int32_t hz)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_set_frequency(table_sound(id), uint32_t(std::max(hz, 0)));
}

void snd_rewind_all(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    for (DxSound* s : g_mgr->table) dxs_set_position(s, 0.0f);
}

void snd_master_volume(float v)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    for (DxSound* s : g_mgr->table) {
        if (!s) continue;
        s->base_volume = snd_vol_to_db(v);
        dxs_set_volume(s, v);
    }
}

void voice_a_play(SoundId id)
{
    if (!g_mgr || !g_mgr->loaded || !(id & SND_ID_VOICE)) return;
    SoundMgr& m = *g_mgr;
    Lock lock(m.lock);
    const uint32_t index = id & SND_ID_INDEX_MASK;
    if (index >= SND_TABLE_SIZE) return;
    std::lock_guard<std::recursive_mutex> voice_lock(m.voice_a_lock);
    play_voice(m.voice_a, g_voice_a_sound, m.voice_a_playing, m.voice_a_index, index,
               snd_path_voice(index), m.sound_volume, 0);
}

void voice_a_stop(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    if (g_mgr->voice_a_playing) dxs_stop(g_mgr->voice_a);
}

void voice_a_unload(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    std::lock_guard<std::recursive_mutex> voice_lock(g_mgr->voice_a_lock);
    unload_channel(g_mgr->voice_a, g_mgr->voice_a_playing, g_mgr->voice_a_index);
}

void voice_a_set_volume(float v)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    if (g_mgr->voice_a_playing) dxs_set_volume(g_mgr->voice_a, v);
}

void voice_b_play(SoundId id)
{
    if (!g_mgr || !g_mgr->loaded || !(id & SND_ID_VOICE)) return;
    SoundMgr& m = *g_mgr;
    Lock lock(m.lock);
    const uint32_t index = id & SND_ID_INDEX_MASK;
    if (index >= SND_TABLE_SIZE) return;
    play_voice(m.voice_b, g_voice_b_sound, m.voice_b_playing, m.voice_b_index, index,
               path_in(m.sound_folder, SND_VOICE_NAMES[index]), m.sound_volume, 1);
}

void voice_b_stop(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    if (g_mgr->voice_b_playing) dxs_stop(g_mgr->voice_b);
}

void voice_b_unload(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    unload_channel(g_mgr->voice_b, g_mgr->voice_b_playing, g_mgr->voice_b_index);
}

void voice_b_set_volume(float v)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    if (g_mgr->voice_b_playing) dxs_set_volume(g_mgr->voice_b, v);
}
