// Every command posted to the sound thread, by the name the program posts it
// with, reaches the operation that name stands for.
#include "sound_world.h"

#include "plat/sound_dev.h"

#include <optional>
#include <vector>

namespace {

using SoundCmdTest = SoundWorld;

enum class Channel { table, bgm, voice_a, voice_b };
enum class Then {
    plays_once,
    plays_looped,
    stops,         // still loaded, not playing
    unloads,       // the channel holds nothing
    device_is,     // the device's volume, arg in hundredths of a decibel
    base_is,       // the sound's base volume, arg in hundredths of a decibel
    at,            // the 3D position posted
    not_at,        // somewhere else than the 3D position posted
    stopped_at,    // not playing, at the fraction arg of the sound
    playing_from,  // playing, at the fraction arg or later
    frequency_is,  // arg in Hz
};

const DxSound* sound_of(Channel c)
{
    switch (c) {
    case Channel::table: return snd_table_sound(0);
    case Channel::bgm: return snd_bgm_sound();
    case Channel::voice_a: return snd_voice_sound(0);
    case Channel::voice_b: return snd_voice_sound(1);
    }
    return nullptr;
}

bool looping(const DxSound* s)
{
    uint32_t status = 0;
    dxs_get_status(s, &status);
    return (status & SOUND_DEV_STATUS_LOOPING) != 0;
}

float fraction_played(const DxSound* s)
{
    uint32_t byte = 0;
    sound_dev_buffer_get_position(s->buffer, &byte);
    return float(byte) / float(s->size);
}

struct Expect {
    Channel on;
    Then then;
    float arg = 0.0f;
    const Vec3* where = nullptr;  // for at and not_at
};

// A command, what it should do, and the fields it is posted with.
struct Step {
    uint32_t command;
    std::vector<Expect> expect;
    SoundId id = 0;
    std::optional<float> value = {};
    const Vec3* at = nullptr;
    int32_t arg2 = 0;
};

// Posts with the fields the step gives, as the program's calls do.
void post(const Step& s)
{
    if (s.at && s.value)
        snd_post_pos_value(s.command, s.id, s.at, *s.value);
    else if (s.at)
        snd_post_pos(s.command, s.id, s.at);
    else if (s.arg2)
        snd_post_arg2(s.command, s.id, s.arg2);
    else if (s.value)
        snd_post_id_value(s.command, s.id, *s.value);
    else
        snd_post(s.command, s.id);
}

void check(const Step& s, const Expect& e)
{
    const DxSound* snd = sound_of(e.on);
    const std::string what = "command " + std::to_string(s.command);
    if (e.then == Then::unloads) {
        EXPECT_EQ(snd, nullptr) << what;
        return;
    }
    ASSERT_NE(snd, nullptr) << what;
    switch (e.then) {
    case Then::plays_once:
    case Then::plays_looped:
        EXPECT_TRUE(dxs_is_playing(snd)) << what;
        EXPECT_EQ(looping(snd), e.then == Then::plays_looped) << what;
        break;
    case Then::stops: EXPECT_FALSE(dxs_is_playing(snd)) << what; break;
    case Then::device_is: EXPECT_EQ(sound_world_device_volume(snd), int32_t(e.arg)) << what; break;
    case Then::base_is: EXPECT_EQ(snd->base_volume, int32_t(e.arg)) << what; break;
    case Then::at:
    case Then::not_at: {
        float p[3] = {};
        ASSERT_TRUE(sound_dev_buffer_get_3d_position(snd->buffer, p)) << what;
        const bool same = p[0] == e.where->x && p[1] == e.where->y && p[2] == e.where->z;
        EXPECT_EQ(same, e.then == Then::at) << what;
        break;
    }
    case Then::stopped_at:
        EXPECT_FALSE(dxs_is_playing(snd)) << what;
        EXPECT_NEAR(fraction_played(snd), e.arg, 1e-4f) << what;
        break;
    case Then::playing_from:
        EXPECT_TRUE(dxs_is_playing(snd)) << what;
        EXPECT_GE(fraction_played(snd), e.arg - 1e-4f) << what;
        break;
    case Then::frequency_is: EXPECT_EQ(sound_get_frequency(0), uint32_t(e.arg)) << what; break;
    case Then::unloads: break;
    }
}

TEST_F(SoundCmdTest, EachCommandRunsTheOperationItNames)
{
    boot();
    ASSERT_NE(snd_table_sound(0), nullptr);
    const float restart = 0.001f;  // where a stopped table sound waits
    const Vec3 here = {7, 8, 9}, there = {-3, 2, -6};
    using C = Channel;
    using T = Then;
    // Volume v lies (1 - v) x 60 dB below the sound's base: 0 dB for the table's 3D sound,
    // 2.5 dB down for the others; the master volume moves the base as far.
    // The table sound plays at 150 Hz: its one second lasts minutes, so a sound played once
    // still plays when it is looked at, and positions move little.
    const Step steps[] = {
        {SND_CMD_SOUND_FREQUENCY, {{C::table, T::frequency_is, 150}}, 0, {}, nullptr, 150},
        {SND_CMD_BGM_PLAY, {{C::bgm, T::plays_looped}}, SND_ID_BGM},
        {SND_CMD_BGM_VOLUME, {{C::bgm, T::device_is, -4750}}, 0, 0.25f},
        {SND_CMD_BGM_STOP, {{C::bgm, T::stops}}},
        {SND_CMD_BGM_RESUME, {{C::bgm, T::plays_looped}}},
        {SND_CMD_BGM_STOP, {{C::bgm, T::stops}}},
        {SND_CMD_BGM_RESTART, {{C::bgm, T::plays_looped}}, SND_ID_BGM},
        {SND_CMD_SOUND_PLAY, {{C::table, T::plays_once}}},
        {SND_CMD_SOUND_STOP, {{C::table, T::stopped_at, restart}}},
        {SND_CMD_REWIND_ALL, {{C::table, T::stopped_at, 0.0f}}},
        {SND_CMD_SOUND_LOOP, {{C::table, T::plays_looped}}},
        {SND_CMD_SOUND_STOP, {{C::table, T::stopped_at, restart}}},
        {SND_CMD_REWIND_ALL, {{C::table, T::stopped_at, 0.0f}}},
        {SND_CMD_SOUND_LOOP_RESTART,
         {{C::table, T::plays_looped}, {C::table, T::playing_from, restart}}},
        {SND_CMD_SOUND_VOLUME, {{C::table, T::device_is, -4500}}, 0, 0.25f},
        {SND_CMD_SOUND_VOLUME, {{C::table, T::device_is, 0}}, 0, 7.0f},
        {SND_CMD_SOUND_VOLUME, {{C::table, T::device_is, -4500}}, 0, 0.25f},
        {SND_CMD_SOUND_RESTORE_VOLUME, {{C::table, T::device_is, 0}}},
        {SND_CMD_MASTER_VOLUME,
         {{C::table, T::base_is, -3000}, {C::table, T::device_is, -6000}},
         0,
         0.5f},
        // Stop-all leaves the BGM playing; stop-everything stops it too.
        {SND_CMD_STOP_ALL, {{C::table, T::stops}, {C::bgm, T::plays_looped}}},
        {SND_CMD_SOUND_PLAY_AT,
         {{C::table, T::plays_once}, {C::table, T::at, 0, &here}},
         0,
         {},
         &here},
        {SND_CMD_STOP_EVERYTHING, {{C::table, T::stops}, {C::bgm, T::stops}}},
        {SND_CMD_SOUND_LOOP_AT,
         {{C::table, T::plays_looped}, {C::table, T::at, 0, &there}},
         0,
         {},
         &there},
        // A plain play puts the sound in front of the camera.
        {SND_CMD_SOUND_PLAY, {{C::table, T::plays_once}, {C::table, T::not_at, 0, &there}}},
        {SND_CMD_SOUND_STOP, {{C::table, T::stops}}},
        {SND_CMD_REWIND_ALL, {{C::table, T::stopped_at, 0.0f}}},
        {SND_CMD_SOUND_RESTART_AT,
         {{C::table, T::plays_once},
          {C::table, T::at, 0, &here},
          {C::table, T::playing_from, restart}},
         0,
         {},
         &here},
        {SND_CMD_SOUND_PLAY_AT_FROM,
         {{C::table, T::plays_once},
          {C::table, T::at, 0, &there},
          {C::table, T::playing_from, 0.5f}},
         0,
         0.5f,
         &there},
        {SND_CMD_VOICE_A_PLAY, {{C::voice_a, T::plays_once}}, SND_ID_VOICE},
        {SND_CMD_VOICE_A_VOLUME, {{C::voice_a, T::device_is, -4750}}, 0, 0.25f},
        {SND_CMD_VOICE_A_STOP, {{C::voice_a, T::stops}}},
        {SND_CMD_VOICE_A_UNLOAD, {{C::voice_a, T::unloads}}},
        {SND_CMD_VOICE_B_PLAY, {{C::voice_b, T::plays_looped}}, SND_ID_VOICE},
        {SND_CMD_VOICE_B_VOLUME, {{C::voice_b, T::device_is, -4750}}, 0, 0.25f},
        {SND_CMD_VOICE_B_STOP, {{C::voice_b, T::stops}}},
        {SND_CMD_VOICE_B_UNLOAD, {{C::voice_b, T::unloads}}},
        {SND_CMD_BGM_UNLOAD, {{C::bgm, T::unloads}}},
    };
    for (const Step& s : steps) {
        post(s);
        drain();
        for (const Expect& e : s.expect) check(s, e);
    }
}

}  // namespace
