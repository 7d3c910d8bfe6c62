// The sound manager (see snd_mgr.h): start and stop, the voice queue and the listener per frame,
// the error word, and the calls the main thread makes directly. The handlers that the sound
// thread runs for the ring's commands are in snd_mgr_handlers.cpp, the ring in snd_ring.cpp.
#include "sound/snd_mgr.h"
#include "sound/snd_mgr_local.h"

#include "store/settings.h"
#include "svc/txt_settings.h"
#include "disp/cam.h"
#include "math/vm_mat.h"
#include "plat/dialogs.h"
#include "plat/files.h"
#include "plat/sound_dev.h"
#include "util/data_err.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <strings.h>

// Contents:
//   state            the manager pointer, the error word, the table and path look-ups
//   start and stop   snd_boot, snd_shutdown and their steps
//   frame            the voice queue and the listener
//   direct calls     lookups, volumes, paths, raw bank, the unused event thread

// ---- state ---------------------------------------------------------------------------

SoundMgr* g_mgr = nullptr;

namespace {

std::atomic<uint32_t> g_error{SND_ERR_NONE};
std::mutex g_error_lock;  // the first error's line and word, written by either thread

}  // namespace

DxSound* table_sound(SoundId id)
{
    const uint32_t i = id & SND_ID_INDEX_MASK;
    if (!g_mgr || !g_mgr->loaded || i >= SND_TABLE_SIZE) return nullptr;
    return g_mgr->table[i];
}

std::string path_in(const std::string& folder, const char* name)
{
    return folder + name + "." + (g_mgr ? g_mgr->extension : std::string(SND_EXTENSION));
}

namespace {

// ---- start and stop ------------------------------------------------------------------

int snd_dsound_start(SoundMgr& m)
{
    std::string why;
    m.device = sound_dev_open(&why);
    if (!m.device) {
        // The error screen that follows ends the program: the line says how to start it anyway.
        snd_mgr_fail(SND_ERR_DEVICE, "sound: device not opened: " + why +
                                         " (to run without sound: ALSOFT_DRIVERS=null)");
        return 0;
    }
    const float front[3] = {0, 0, 1}, top[3] = {0, 1, 0};
    sound_dev_listener_velocity(m.device, 0, 0, 0);
    sound_dev_listener_doppler(m.device, 1.0f);
    sound_dev_listener_position(m.device, 0, 0, 0);
    sound_dev_listener_orientation(m.device, front, top);
    sound_dev_listener_rolloff(m.device, 0.01f);
    return 1;
}

// A volume percentage from the settings text, held to 0..100 before it is
// used: the device takes nothing louder than full volume, and a wild value
// would overflow the conversion to hundredths of a decibel.
float settings_volume(int32_t percent) { return float(std::clamp(percent, 0, 100)) / 100.0f; }

void snd_setup(SoundMgr& m)
{
    const char* folder = txt_settings_get_string("SOUND_DATA_PATH");
    m.sound_folder = folder ? folder : SND_SOUND_FOLDER;
    m.lang_folder = folder ? folder : SND_LANG_FOLDER;
    const char* ext = txt_settings_get_string("SOUND_FILE_EXT");
    m.extension = ext ? ext : SND_EXTENSION;
    m.primary_volume = 0.0f;
    m.bgm_volume = 0.85f;
    m.spare_volume = 1.0f;
    m.sound_volume = 0.85f;
    int32_t percent = 0;
    if (txt_settings_get_int("SOUND_DATA_VOL", &percent))
        m.bgm_volume = m.spare_volume = m.sound_volume = settings_volume(percent);
    if (txt_settings_get_int("SOUND_BGM_VOL", &percent)) m.bgm_volume = settings_volume(percent);
}

// Opens as a data file: a folder, a pipe or a file over the ceiling counts as
// missing, and a pipe never blocks. A refusal's reason goes to why.
bool file_opens(const std::string& path, std::string* why = nullptr)
{
    PlatDataFile f;
    return plat_data_file_open(path, PLAT_DATA_FILE_MAX, &f, why) != 0;
}

// The first file that does not open decides the error; the files after it
// are not tried, so that a refused file is reported once.
void snd_check_files(SoundMgr& m)
{
    for (const auto* names : {&SND_SOUND_NAMES, &SND_BGM_NAMES, &SND_VOICE_NAMES})
        for (const char* name : *names) {
            const std::string path = path_in(m.sound_folder, name);
            std::string refused;
            if (file_opens(path, &refused)) continue;
            snd_mgr_fail(SND_ERR_FILE, snd_unread_line(path.c_str(), refused));
            return;
        }
    for (uint32_t i = 0; i < SND_TABLE_SIZE; ++i)
        m.voice_in_lang[i] = file_opens(path_in(m.lang_folder, SND_VOICE_NAMES[i])) ? 1 : 0;
}

// 's' or 'i' first: plain, or frequency-capable with "frq" as letters 3 to 5;
// any other first letter: 3D.
uint32_t kind_from_name(const char* name)
{
    const char c = char(std::tolower(static_cast<unsigned char>(name[0])));
    if (c != 's' && c != 'i') return DXS_3D;
    return std::strlen(name) >= 5 && std::strncmp(name + 2, "frq", 3) == 0 ? DXS_FREQ : DXS_PLAIN;
}

void snd_load_table(SoundMgr& m)
{
    for (uint32_t i = 0; i < SND_TABLE_SIZE; ++i) {
        auto s = std::make_unique<DxSound>();
        const std::string path = path_in(m.sound_folder, SND_SOUND_NAMES[i]);
        if (dxs_load(s.get(), path.c_str(), kind_from_name(SND_SOUND_NAMES[i]), m.sound_volume) !=
            DXS_OK)
            return;
        s->keep = 0;
        dxs_get_frequency(s.get(), &s->frequency);
        m.table[i] = s.release();
    }
    m.loaded = 1;
}

// ---- frame ---------------------------------------------------------------------------

void voice_queue_run(SoundMgr& m)
{
    VoiceQueue& q = m.voices;
    if (q.count == 0) return;
    if (q.state != 0) {
        const bool playing = dxs_is_playing(m.voice_a);
        if (playing || m.frame - q.current_start >= SND_VOICE_TIMEOUT_FRAMES) q.state = 2;
        if (q.state != 2) return;
        if (dxs_is_playing(m.voice_a)) return;
        q.state = 0;
    }
    q.read = (q.read + 1) % SND_VOICE_QUEUE;
    const VoiceEntry e = q.entries[q.read];
    if (m.frame - e.queued <= e.delay + 1) {
        const bool repeat = e.id == q.last && m.frame - q.last_start < SND_VOICE_REPEAT_FRAMES;
        if (!repeat) {
            voice_a_play(e.id);
            q.state = 1;
            q.current = e.id;
            q.current_start = m.frame;
            q.last = e.id;
            q.last_start = m.frame;
        }
    }
    q.count -= 1;
}

}  // namespace

// ---- start, stop, frame --------------------------------------------------------------

int snd_boot(void)
{
    if (g_mgr) return 1;
    g_mgr = new (std::nothrow) SoundMgr;
    if (!g_mgr) return 0;  // sound stays off
    g_error = SND_ERR_NONE;
    SoundMgr& m = *g_mgr;
    snd_thread_start();
    {
        Lock lock(m.lock);
        // Without a device (its error set) nothing is read or loaded.
        if (snd_dsound_start(m)) {
            snd_setup(m);
            snd_check_files(m);
            if (g_error == SND_ERR_NONE) snd_load_table(m);
        }
        voice_queue_reset();
        m.frame = 0;
    }
    snd_post(SND_CMD_BGM_PLAY, SND_ID_BGM);
    snd_post_simple(SND_CMD_BGM_STOP);
    return 1;
}

void snd_shutdown(void)
{
    if (!g_mgr) return;
    snd_thread_stop();
    SoundMgr& m = *g_mgr;
    {
        Lock lock(m.lock);
        voice_b_unload();
        voice_a_unload();
        for (DxSound*& s : m.table) {
            delete s;
            s = nullptr;
        }
        m.loaded = 0;
        bgm_unload();
        sound_dev_close(m.device);
        m.device = nullptr;
    }
    delete g_mgr;  // the locks go last
    g_mgr = nullptr;
}

void snd_frame(void)
{
    if (!g_mgr) return;
    SoundMgr& m = *g_mgr;
    {
        // While the sound thread holds the manager (a file load takes
        // milliseconds) the voice queue waits for the next frame rather
        // than stalling this one.
        std::unique_lock<std::recursive_mutex> lock(m.lock, std::try_to_lock);
        if (lock.owns_lock()) voice_queue_run(m);
    }
    m.frame += 1;  // main thread only
    if (!m.device) return;
    const Mat44* view = cam_get_view_mtx(0);
    const Vec3 pos{view->m[12], view->m[13], view->m[14]};
    Vec3 angles{};
    vm_mat_to_euler(&angles, view);
    snd_listener_update(&pos, &angles);
}

uint32_t snd_get_error(void) { return g_error.load(); }
uint32_t snd_mgr_error(void) { return g_error.load(); }
void snd_mgr_set_error(uint32_t error) { g_error = error; }

void snd_mgr_fail(uint32_t error, const std::string& line)
{
    std::lock_guard<std::mutex> lock(g_error_lock);
    if (g_error != SND_ERR_NONE) return;
    data_err_write(line);  // before the word, which brings the error screen
    g_error = error;
}

std::string snd_file_line(const char* path, std::string_view reason)
{
    return data_err_text("sound: not loaded", path ? path : "", reason);
}

std::string snd_unread_line(const char* path, const std::string& refused)
{
    // A refused file has its line from the file layer already.
    if (!refused.empty()) return {};
    return snd_file_line(path, data_err_missing(path ? path : ""));
}

SndDev* snd_mgr_device(void) { return g_mgr ? g_mgr->device : nullptr; }

// ---- direct calls --------------------------------------------------------------------

bool voice_a_is_playing(void)
{
    if (!g_mgr) return false;
    Lock lock(g_mgr->lock);
    std::lock_guard<std::recursive_mutex> voice_lock(g_mgr->voice_a_lock);
    return dxs_is_playing(g_mgr->voice_a);
}

uint32_t voice_a_status(void)
{
    if (!g_mgr) return 0;
    Lock lock(g_mgr->lock);
    uint32_t status = 0;
    dxs_get_status(g_mgr->voice_a, &status);
    return status;
}

void sound_set_volume_scaled(SoundId id, float factor)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_set_volume(table_sound(id), std::clamp(g_mgr->sound_volume * factor, 0.0f, 1.0f));
}

void sound_set_pan(SoundId id, float pan)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    dxs_set_pan(table_sound(id), std::clamp(int32_t(pan * 10000.0f), -10000, 10000));
}

uint32_t sound_get_frequency(SoundId id)
{
    if (!g_mgr) return 0;
    Lock lock(g_mgr->lock);
    uint32_t hz = 0;
    dxs_get_frequency(table_sound(id), &hz);
    return hz;
}

void snd_set_default_fx(SoundFxWord word)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    g_mgr->default_fx = word;
}

void snd_set_primary_volume(float v)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    g_mgr->primary_volume = float(snd_vol_to_db(v));
    sound_dev_set_primary_volume(g_mgr->device, int32_t(g_mgr->primary_volume));
}

uint32_t snd_mixer_master_volume(float v)
{
    if (!g_mgr) return 0;
    Lock lock(g_mgr->lock);
    sound_dev_set_master_gain(g_mgr->device, std::clamp(v, 0.0f, 1.0f));
    return 0;
}

namespace {

SoundId find_in(const std::array<const char*, SND_TABLE_SIZE>& names, const char* wanted)
{
    const char* name = wanted ? wanted : "";
    for (uint32_t i = 0; i < names.size(); ++i) {
        const char* dot = std::strchr(names[i], '.');
        const size_t stem = dot ? size_t(dot - names[i]) : std::strlen(names[i]);
        if (std::strlen(name) == stem && strncasecmp(names[i], name, stem) == 0) return i;
    }
    // The text is bounded whatever the name's length.
    char text[256];
    std::snprintf(text, sizeof text, "Sound file not found = %.200s\n", name);
    plat_message_box(text, "ERROR", PLAT_MB_OK);
    return 0;
}

}  // namespace

SoundId snd_find_bgm(const char* name) { return find_in(SND_BGM_NAMES, name) + SND_ID_BGM; }
SoundId snd_find_sound(const char* name) { return find_in(SND_SOUND_NAMES, name); }
SoundId snd_find_voice(const char* name) { return find_in(SND_VOICE_NAMES, name) + SND_ID_VOICE; }

int voice_queue_push(SoundId id, uint32_t delay_frames)
{
    if (!g_mgr || !(id & SND_ID_VOICE)) return 0;
    Lock lock(g_mgr->lock);
    VoiceQueue& q = g_mgr->voices;
    if (q.count + 1 >= SND_VOICE_QUEUE || (q.count > 1 && delay_frames == 0)) return 0;
    q.write = (q.write + 1) % SND_VOICE_QUEUE;
    q.entries[q.write] = {id, delay_frames, g_mgr->frame};
    q.count += 1;
    return 1;
}

void voice_queue_play_now(SoundId id)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    voice_queue_reset();
    voice_queue_push(id, 30);
}

void voice_queue_reset(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    voice_a_stop();
    VoiceQueue& q = g_mgr->voices;
    q.count = q.write = q.read = 0;
    q.current = 0;
    q.current_start = 0;
    q.state = 0;
}

uint32_t voice_queue_count(void) { return g_mgr ? g_mgr->voices.count : 0; }
uint32_t snd_frame_count(void) { return g_mgr ? g_mgr->frame : 0; }

int32_t snd_vol_to_db(float v)
{
    if (v == 0.0f) return -10000;
    return int32_t((1.0f - v) * -6000.0f);
}

void snd_prewarm(void)
{
    if (!g_mgr || !g_mgr->loaded) return;
    Lock lock(g_mgr->lock);
    for (DxSound* s : g_mgr->table) {
        if (!s) continue;
        dxs_set_position(s, 0.0f);
        dxs_play(s, 0);
        dxs_stop(s);
        dxs_set_position(s, SND_RESTART_POSITION);
    }
}

std::span<const uint8_t> snd_read_raw_bank(const char* path)
{
    static uint8_t bank[SND_RAW_BANK_SIZE];
    std::vector<uint8_t> file;
    if (!path || !plat_read_data_file(path, SND_RAW_BANK_SIZE, &file, nullptr)) return {};
    if (file.size() >= 2 && file[0] == 'c' && file[1] == '.') return {};
    // "SP" files keep their first four bytes and the rest: the whole file.
    std::copy(file.begin(), file.end(), bank);
    return {bank, file.size()};
}

int snd_event_thread_start(void) { return 0; }
int snd_event_thread(void) { return 0; }
void snd_event_thread_stop(void) {}
int snd_notify_setup(DxSound*) { return 0; }
void snd_hook(void) {}

void snd_listener_update(const Vec3* pos, const Vec3* angles)
{
    if (!g_mgr || !g_mgr->device || !pos || !angles) return;
    const float front[3] = {std::sin(angles->y), 0.0f, std::cos(angles->y)}, top[3] = {0, 1, 0};
    sound_dev_listener_position(g_mgr->device, pos->x, pos->y, pos->z);
    sound_dev_listener_orientation(g_mgr->device, front, top);
}

void snd_listener_reset(void)
{
    if (!g_mgr || !g_mgr->device) return;
    const float front[3] = {0, 0, 1}, top[3] = {0, 1, 0};
    sound_dev_listener_velocity(g_mgr->device, 0, 0, 0);
    sound_dev_listener_position(g_mgr->device, 0, 0, 0);
    sound_dev_listener_orientation(g_mgr->device, front, top);
}

std::string snd_path_sound(const char* name)
{
    return path_in(g_mgr ? g_mgr->sound_folder : std::string(SND_SOUND_FOLDER), name ? name : "");
}

std::string snd_path_lang(const char* name)
{
    return path_in(g_mgr ? g_mgr->lang_folder : std::string(SND_LANG_FOLDER), name ? name : "");
}

std::string snd_path_voice(uint32_t index)
{
    if (index >= SND_TABLE_SIZE) return {};
    int32_t golng = 0;
    const bool lang =
        settings_get_int("golng", &golng) && golng == 1 && g_mgr && g_mgr->voice_in_lang[index];
    return lang ? snd_path_lang(SND_VOICE_NAMES[index]) : snd_path_sound(SND_VOICE_NAMES[index]);
}

void snd_reset_fx(void)
{
    if (!g_mgr) return;
    Lock lock(g_mgr->lock);
    snd_stop_everything();
    g_mgr->default_fx = 0;
}

SndVolumes snd_volumes(void)
{
    if (!g_mgr) return {};
    return {g_mgr->primary_volume, g_mgr->bgm_volume, g_mgr->spare_volume, g_mgr->sound_volume};
}

const DxSound* snd_table_sound(uint32_t index)
{
    return g_mgr && index < SND_TABLE_SIZE ? g_mgr->table[index] : nullptr;
}
const DxSound* snd_bgm_sound(void) { return g_mgr ? g_mgr->bgm : nullptr; }
const DxSound* snd_voice_sound(int channel)
{
    if (!g_mgr) return nullptr;
    return channel == 0 ? g_mgr->voice_a : g_mgr->voice_b;
}
