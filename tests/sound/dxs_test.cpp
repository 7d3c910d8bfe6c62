// The sound class on the null device, and the errors of bad files.
#include "sound_world.h"

namespace {

using DxSoundTest = SoundWorld;

TEST_F(DxSoundTest, VolumesFollowTheBaseOfTheKindAndPositionsAreHeld)
{
    boot();
    // The volume read back is not the inverse of the setter unless the base is 0.
    for (auto [kind, volume, device, read_back] : {std::tuple{DXS_PLAIN, 1.0f, -250, 1.0f},
                                                   {DXS_3D, 1.0f, 0, 1.0f},
                                                   {DXS_FREQ, 0.5f, -3250, 0.4783f},
                                                   {DXS_3D, 0.5f, -3000, 0.5f}}) {
        DxSound s;
        ASSERT_EQ(dxs_load(&s, "data/sound/bgm01.wav", kind, volume), DXS_OK);
        EXPECT_EQ(sound_world_device_volume(&s), device) << kind << " " << volume;
        float back = -1;
        dxs_get_volume(&s, &back);
        EXPECT_NEAR(back, read_back, 0.001f);
    }
    EXPECT_EQ(snd_vol_to_db(0.0f), -10000);  // the device's silence, not the log's -infinity
    DxSound s;
    ASSERT_EQ(dxs_load(&s, "data/sound/bgm01.wav", DXS_3D, 0.5f), DXS_OK);
    // A wild volume overflows nothing on the way: the device refuses it as it
    // refuses any volume beyond its range, and the old one stays.
    for (float wild : {400000.0f, -400000.0f, NAN}) {
        dxs_set_volume(&s, wild);
        EXPECT_EQ(sound_world_device_volume(&s), -3000) << wild;
    }
    uint32_t pos = 0;
    for (auto [fraction, expect] : {std::pair{1.0f, 87318u}, {-1.0f, 0u}, {NAN, 0u}}) {
        dxs_set_position(&s, fraction);
        sound_dev_buffer_get_position(s.buffer, &pos);
        EXPECT_EQ(pos, expect) << fraction;  // 99 percent of 88200 bytes, whole frames
    }
    EXPECT_EQ(dxs_get_size(&s), 88200u);
}

TEST_F(DxSoundTest, BadFilesSetTheErrorWordWriteOneLineAndLeaveNoBuffer)
{
    boot();
    WaveSpec ext;
    ext.tag = 0xFFFE;
    ext.extra = {16, 0,    4, 0,    0, 0, 1,    0, 0,    0,    0,
                 0,  0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    wave_write_file("ext.wav", wave_bytes(ext, wave_tone(44100, 262144 / 2, 440, 1000)));
    WaveSpec silent;
    silent.channels = 0;
    wave_write_file("zero\nchannels.wav", wave_bytes(silent, std::vector<uint8_t>(400, 0)));
    dir.write("short.wav", "RIFF\x04\0\0\0WAVE");
    std::filesystem::create_directory("folder.wav");
    DxSound s;
    ASSERT_EQ(dxs_load(&s, "ext.wav", DXS_PLAIN, 1.0f), DXS_OK);  // heap-sized block
    EXPECT_EQ(std::tuple(s.format.extra, s.size, snd_get_error()),
              std::tuple(ext.extra, 262144u, 0u));
    // The error's one line names the file, its control characters escaped; a
    // file the file layer refused has that layer's line and no second one.
    struct Row {
        const char* path;
        uint32_t error;
        std::string line;
    };
    const Row rows[] = {
        {"zero\nchannels.wav", SND_ERR_BUFFER,
         "sound: not loaded \"zero\\nchannels.wav\": 0 channels; the sound device plays 1 or 2"},
        {"short.wav", SND_ERR_FILE, "sound: not loaded \"short.wav\": shorter than a RIFF header"},
        {"folder.wav", SND_ERR_FILE,
         "file: not read \"folder.wav\": a folder, not a regular file"}};
    for (const Row& r : rows) {
        snd_mgr_set_error(0);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(dxs_load(&s, r.path, DXS_PLAIN, 1.0f), DXS_E_FAIL);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), r.line + "\n") << r.path;
        EXPECT_EQ(snd_get_error(), r.error) << r.path;
        EXPECT_EQ(s.buffer, nullptr);
        EXPECT_EQ(dxs_play(&s, 0), DXS_E_FAIL);
    }
    // The first error decides: a later one changes neither the word nor the log.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(dxs_load(&s, "zero\nchannels.wav", DXS_PLAIN, 1.0f), DXS_E_FAIL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(snd_get_error(), uint32_t(SND_ERR_FILE));
}

TEST_F(DxSoundTest, AFailedEffectKeepsTheOldWord)
{
    boot();
    if (!sound_dev_has_fx(snd_mgr_device())) GTEST_SKIP() << "OpenAL without EFX";
    DxSound s;
    ASSERT_EQ(dxs_load(&s, "data/sound/bgm01.wav", DXS_PLAIN, 1.0f), DXS_OK);
    dxs_play(&s, 1);
    EXPECT_EQ(dxs_set_fx(&s, SND_FX_ECHO | 50), 0);  // effects change only when stopped
    EXPECT_EQ(s.fx, 0u);
    dxs_stop(&s);
    EXPECT_EQ(dxs_set_fx(&s, SND_FX_REVERB | 99), 1);  // out of range: preset 0
    EXPECT_EQ(s.fx, SND_FX_REVERB | 99);
    EXPECT_EQ(dxs_set_fx(&s, 0), 1);
}

}  // namespace
