// Every command code posted to the sound thread reaches the operation it names.
#include "sound_world.h"

namespace {

using SoundCmdTest = SoundWorld;

enum class Then { Plays, Stops, VolumeMoves, Same };
enum Target { SND_CMD_SE, SND_CMD_BGM, SND_CMD_VOICE_A, SND_CMD_VOICE_B };

const DxSound* sound_of(Target t)
{
    switch (t) {
    case SND_CMD_SE: return snd_table_sound(0);
    case SND_CMD_BGM: return snd_bgm_sound();
    case SND_CMD_VOICE_A: return snd_voice_sound(0);
    case SND_CMD_VOICE_B: return snd_voice_sound(1);
    }
    return nullptr;
}

float volume_of(const DxSound* s)
{
    float v = -1.0f;
    dxs_get_volume(s, &v);
    return v;
}

// Posts the way the game's calls do: each command with the fields it reads.
void post(uint32_t code, SoundId id, float value)
{
    const Vec3 at{0.0f, 0.0f, 2.0f};
    if (code >= 15 && code <= 17)
        snd_post_pos(code, id, &at);
    else if (code == 18)
        snd_post_pos_value(code, id, &at, value);
    else if (code == 6)
        snd_post_id_value(code, id, value);
    else if (value != 0.0f)
        snd_post_value(code, value);
    else if (code > 29)
        snd_post_int(code, id, 1);
    else
        snd_post(code, id);
}

TEST_F(SoundCmdTest, EachCodeRunsItsOperation)
{
    boot();
    ASSERT_NE(snd_table_sound(0), nullptr);
    struct Row {
        uint32_t code;
        SoundId id;
        float value;
        Target on;
        Then then;
    };
    const Row rows[] = {{0, SND_ID_BGM, 0, SND_CMD_BGM, Then::Plays},
                        {5, 0, 0.3f, SND_CMD_BGM, Then::VolumeMoves},
                        {2, 0, 0, SND_CMD_BGM, Then::Stops},
                        {3, 0, 0, SND_CMD_BGM, Then::Plays},
                        {2, 0, 0, SND_CMD_BGM, Then::Stops},
                        {1, SND_ID_BGM, 0, SND_CMD_BGM, Then::Plays},
                        {4, 0, 0, SND_CMD_BGM, Then::Stops},
                        {9, 0, 0, SND_CMD_SE, Then::Plays},
                        {12, 0, 0, SND_CMD_SE, Then::Stops},
                        {10, 0, 0, SND_CMD_SE, Then::Plays},
                        {6, 0, 0.3f, SND_CMD_SE, Then::VolumeMoves},
                        {7, 0, 0, SND_CMD_SE, Then::VolumeMoves},
                        {21, 0, 0.2f, SND_CMD_SE, Then::VolumeMoves},
                        {13, 0, 0, SND_CMD_SE, Then::Stops},
                        {11, 0, 0, SND_CMD_SE, Then::Plays},
                        {20, 0, 0, SND_CMD_SE, Then::Plays},
                        {14, 0, 0, SND_CMD_SE, Then::Stops},
                        {15, 0, 0, SND_CMD_SE, Then::Plays},
                        {14, 0, 0, SND_CMD_SE, Then::Stops},
                        {16, 0, 0, SND_CMD_SE, Then::Plays},
                        {14, 0, 0, SND_CMD_SE, Then::Stops},
                        {17, 0, 0, SND_CMD_SE, Then::Plays},
                        {14, 0, 0, SND_CMD_SE, Then::Stops},
                        {18, 0, 0.5f, SND_CMD_SE, Then::Plays},
                        {8, 0, 0, SND_CMD_SE, Then::Same},
                        {99, 0, 0, SND_CMD_SE, Then::Same},
                        {22, SND_ID_VOICE, 0, SND_CMD_VOICE_A, Then::Plays},
                        {25, 0, 0.3f, SND_CMD_VOICE_A, Then::VolumeMoves},
                        {23, 0, 0, SND_CMD_VOICE_A, Then::Stops},
                        {24, 0, 0, SND_CMD_VOICE_A, Then::Stops},
                        {26, SND_ID_VOICE, 0, SND_CMD_VOICE_B, Then::Plays},
                        {29, 0, 0.3f, SND_CMD_VOICE_B, Then::VolumeMoves},
                        {27, 0, 0, SND_CMD_VOICE_B, Then::Stops},
                        {28, 0, 0, SND_CMD_VOICE_B, Then::Stops}};
    for (const Row& r : rows) {
        const bool played = dxs_is_playing(sound_of(r.on));
        const float volume = volume_of(sound_of(r.on));
        post(r.code, r.id, r.value);
        drain();
        const DxSound* s = sound_of(r.on);
        switch (r.then) {
        case Then::Plays: EXPECT_TRUE(dxs_is_playing(s)) << "command " << r.code; break;
        case Then::Stops: EXPECT_FALSE(dxs_is_playing(s)) << "command " << r.code; break;
        case Then::VolumeMoves: EXPECT_NE(volume_of(s), volume) << "command " << r.code; break;
        case Then::Same: EXPECT_EQ(dxs_is_playing(s), played) << "command " << r.code; break;
        }
    }
    snd_post_arg2(19, 0, 22050);
    drain();
    EXPECT_EQ(sound_get_frequency(0), 22050u);
}

}  // namespace
