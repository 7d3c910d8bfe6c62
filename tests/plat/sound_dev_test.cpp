// What the sound device does, heard through OpenAL Soft's loopback device:
// the mix is rendered into memory and measured per channel.
#include <gtest/gtest.h>

#include "plat/sound_dev.h"
#include "plat/sound_dev_local.h"
#include "tools/gen/wave_file.h"

#include <cmath>
#include <vector>

namespace {

constexpr uint32_t SOUND_DEV_RATE = 44100;
constexpr SndDevFormat SOUND_DEV_MONO16{1, 1, SOUND_DEV_RATE, SOUND_DEV_RATE * 2, 2, 16};

struct Level {
    double left = 0, right = 0;
    int crossings = 0;  // of the left channel
};

struct Loopback {
    SndDev* dev;
    explicit Loopback(int effects = 1) : dev(sound_dev_open_loopback(SOUND_DEV_RATE, effects)) {}
    ~Loopback() { sound_dev_close(dev); }
    SndDevBuffer* tone(uint32_t caps, uint32_t frames = SOUND_DEV_RATE, float hz = 1000.0f)
    {
        const std::vector<uint8_t> pcm = wave_tone(SOUND_DEV_RATE, frames, hz, 8000.0f);
        return sound_dev_buffer_create(dev, SOUND_DEV_MONO16, nullptr, 0, caps, pcm.data(),
                                       uint32_t(pcm.size()));
    }
    // RMS of each channel over frames rendered now.
    Level render(uint32_t frames = 4410)
    {
        std::vector<int16_t> out(size_t(frames) * 2);
        sound_dev_render(dev, out.data(), frames);
        Level l;
        for (uint32_t i = 0; i < frames; ++i) {
            l.left += double(out[2 * i]) * out[2 * i];
            l.right += double(out[2 * i + 1]) * out[2 * i + 1];
            if (i > 0 && (out[2 * i - 2] < 0) != (out[2 * i] < 0)) ++l.crossings;
        }
        l.left = std::sqrt(l.left / frames);
        l.right = std::sqrt(l.right / frames);
        return l;
    }
    // The level once a change has settled (after the mixer's own short fade).
    Level settled()
    {
        render();
        return render();
    }
};

constexpr double SOUND_DEV_SILENT = 2.0, SOUND_DEV_HEARD = 500.0;

// Each refusal says why in words, and a refused format makes no buffer. The sound class's bad-file
// case meets a tag other than PCM's, no channels and a whole extensible format; every other case
// here plays mono 16-bit buffers.
TEST(SoundDev, BuffersRefuseWhatTheDeviceCannotPlayAndSayWhy)
{
    Loopback lb;
    ASSERT_NE(lb.dev, nullptr);
    const std::vector<uint8_t> ext_pcm = {16, 0,    4, 0,    0, 0, 1,    0, 0,    0,    0,
                                          0,  0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    std::vector<uint8_t> ext_float = ext_pcm;
    ext_float[8] = 3;
    struct Row {
        SndDevFormat f;
        const std::vector<uint8_t>* extra;
        uint32_t bytes;
        std::string why;
    };
    const uint32_t r = SOUND_DEV_RATE;
    const Row rows[] = {
        {{1, 2, r, r * 4, 4, 16}, nullptr, 400, ""},
        {{1, 6, r, r * 12, 12, 16}, nullptr, 400, "6 channels; the sound device plays 1 or 2"},
        {{1, 1, r, r * 3, 3, 24}, nullptr, 400, "24 bits a sample; the sound device plays 8 or 16"},
        {{1, 1, 0, 0, 2, 16}, nullptr, 400, "a rate of 0 Hz"},
        {{1, 2, r, r * 2, 2, 16}, nullptr, 400, "a block of 2 bytes for 2 channels of 16 bits"},
        {{0xFFFE, 1, r, r * 2, 2, 16},
         nullptr,
         400,
         "an extensible format without its 22 extra bytes"},
        {{0xFFFE, 1, r, r * 2, 2, 16},
         &ext_float,
         400,
         "an extensible format whose samples are not PCM"},
        {{1, 2, r, r * 4, 4, 16}, nullptr, 3, "fewer sample bytes than one block of 4"},
    };
    const std::vector<uint8_t> pcm(400, 0);
    for (const Row& row : rows) {
        const void* extra = row.extra ? row.extra->data() : nullptr;
        const uint32_t extra_size = row.extra ? uint32_t(row.extra->size()) : 0;
        EXPECT_EQ(sound_dev_buffer_refusal(row.f, extra, extra_size, row.bytes), row.why);
        SndDevBuffer* b =
            sound_dev_buffer_create(lb.dev, row.f, extra, extra_size, 0, pcm.data(), row.bytes);
        EXPECT_EQ(b != nullptr, row.why.empty()) << row.why;
        sound_dev_buffer_release(b);
    }
}

TEST(SoundDev, PlayIsHeardStopPausesPlayResumesAndALoopPlaysOn)
{
    Loopback lb;
    ASSERT_NE(lb.dev, nullptr);
    SndDevBuffer* b = lb.tone(SOUND_DEV_CTRL_VOLUME);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(sound_dev_buffer_play(b, 0));
    EXPECT_EQ(sound_dev_buffer_status(b), SOUND_DEV_STATUS_PLAYING);
    EXPECT_GT(lb.render().left, SOUND_DEV_HEARD);
    ASSERT_TRUE(sound_dev_buffer_stop(b));
    uint32_t paused = 0, later = 0;
    sound_dev_buffer_get_position(b, &paused);
    EXPECT_NEAR(double(paused), 4410 * 2, 2048) << "kept where 4410 frames of 2 bytes left it";
    lb.render(1024);  // the mixer's own short fade-out
    EXPECT_LT(lb.render().left, SOUND_DEV_SILENT);
    sound_dev_buffer_get_position(b, &later);
    EXPECT_EQ(later, paused);
    sound_dev_buffer_play(b, 0);
    EXPECT_GT(lb.render(4410).left, SOUND_DEV_HEARD);
    sound_dev_buffer_get_position(b, &later);
    EXPECT_NEAR(double(later), double(paused) + 4410 * 2, 2048);
    // A looped tone of a twentieth of a second plays on past its end.
    sound_dev_buffer_stop(b);
    SndDevBuffer* looped = lb.tone(0, 2205);
    sound_dev_buffer_play(looped, 1);
    lb.render(8820);
    EXPECT_GT(lb.render().left, SOUND_DEV_HEARD);
    EXPECT_EQ(sound_dev_buffer_status(looped), SOUND_DEV_STATUS_PLAYING | SOUND_DEV_STATUS_LOOPING);
}

TEST(SoundDev, VolumeIsInHundredthsOfADecibelAndFrequencyChangesThePitchWithinItsRange)
{
    Loopback lb;
    SndDevBuffer* b = lb.tone(SOUND_DEV_CTRL_VOLUME);
    sound_dev_buffer_play(b, 1);
    const double full = lb.settled().left;
    ASSERT_TRUE(sound_dev_buffer_set_volume(b, -600));
    EXPECT_NEAR(lb.settled().left / full, 0.5, 0.03);
    for (int32_t bad : {1, -10001}) EXPECT_FALSE(sound_dev_buffer_set_volume(b, bad));
    int32_t v = 0;
    sound_dev_buffer_get_volume(b, &v);
    EXPECT_EQ(v, -600);  // refused volumes leave the last one
    sound_dev_buffer_stop(b);
    SndDevBuffer* f = lb.tone(SOUND_DEV_CTRL_FREQUENCY);
    sound_dev_buffer_play(f, 1);
    const int base = lb.settled().crossings;
    ASSERT_TRUE(sound_dev_buffer_set_frequency(f, SOUND_DEV_RATE * 2));
    EXPECT_NEAR(lb.settled().crossings, base * 2, base / 10);
    uint32_t hz = 0;
    for (auto [set, held] : {std::pair{50u, 100u}, {500000u, 200000u}}) {
        sound_dev_buffer_set_frequency(f, set);
        sound_dev_buffer_get_frequency(f, &hz);
        EXPECT_EQ(hz, held);
    }
    SndDevBuffer* plain = lb.tone(0);
    EXPECT_FALSE(sound_dev_buffer_set_frequency(plain, 22050));
    EXPECT_FALSE(sound_dev_buffer_get_frequency(plain, &hz));
}

TEST(SoundDev, PanAndTheListenersTurnMoveTheSoundBetweenTheEars)
{
    Loopback lb;
    SndDevBuffer* b = lb.tone(SOUND_DEV_CTRL_PAN);
    sound_dev_buffer_play(b, 1);
    sound_dev_buffer_set_pan(b, SOUND_DEV_PAN_LEFT);
    const Level left = lb.settled();
    EXPECT_GT(left.left, 4 * left.right);
    EXPECT_FALSE(sound_dev_buffer_set_pan(lb.tone(0), 0));
    // Turning the listener moves a 3D sound to the other ear.
    sound_dev_buffer_stop(b);
    SndDevBuffer* s = lb.tone(SOUND_DEV_CTRL_3D);
    sound_dev_buffer_position(s, 5, 0, 0);  // +x is right of a listener facing +z
    sound_dev_buffer_play(s, 1);
    const Level ahead = lb.settled();
    EXPECT_GT(ahead.right, 2 * ahead.left);
    const float back[3] = {0, 0, -1}, up[3] = {0, 1, 0};
    sound_dev_listener_orientation(lb.dev, back, up);
    const Level turned = lb.settled();
    EXPECT_GT(turned.left, 2 * turned.right);
}

TEST(SoundDev, ThreeDSoundIsSilentBeyondItsMaximumDistance)
{
    Loopback lb;
    sound_dev_listener_rolloff(lb.dev, 0.01f);
    SndDevBuffer* b = lb.tone(SOUND_DEV_CTRL_3D | SOUND_DEV_MUTE3D_AT_MAX);
    sound_dev_buffer_max_distance(b, 30.0f);
    sound_dev_buffer_position(b, 0, 0, 31);
    sound_dev_buffer_play(b, 1);
    EXPECT_LT(lb.render().left, SOUND_DEV_SILENT);
    sound_dev_listener_position(lb.dev, 0, 0, 2);  // the listener's move counts too
    EXPECT_GT(lb.settled().left, SOUND_DEV_HEARD);
    sound_dev_buffer_position(b, 0, 0, 40);
    EXPECT_LT(lb.settled().left, SOUND_DEV_SILENT);
}

TEST(SoundDev, EffectsAreRefusedCleanlyWhenTheyCannotApply)
{
    const SndDevFxParams echo{SndDevFx::echo, 50, 50, 200, 200, 0, 0};
    Loopback dry(0);
    SndDevBuffer* a = dry.tone(SOUND_DEV_CTRL_FX);
    EXPECT_FALSE(sound_dev_buffer_set_fx(a, echo));
    sound_dev_buffer_play(a, 1);
    EXPECT_GT(dry.render().left, SOUND_DEV_HEARD);  // plays dry
    Loopback wet;
    if (!sound_dev_has_fx(wet.dev)) GTEST_SKIP() << "OpenAL without EFX";
    EXPECT_FALSE(sound_dev_buffer_set_fx(wet.tone(0), echo));  // no effect capability
}

}  // namespace
