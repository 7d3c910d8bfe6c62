// A current folder holding data/sound/bgm01.wav, the sound manager on the null device, and what
// the device was told of a sound's volume.
#pragma once
#include <gtest/gtest.h>

#include "svc/txt_settings.h"
#include "plat/sound_dev.h"
#include "sound/snd_mgr.h"
#include "sound/snd_mgr_local.h"
#include "sound/snd_ring_local.h"
#include "temp_dir.h"
#include "tools/gen/wave_file.h"

#include <chrono>
#include <filesystem>
#include <thread>

// What the device was told of a sound's volume, in hundredths of a decibel.
inline int32_t sound_world_device_volume(const DxSound* s)
{
    int32_t v = 1;
    sound_dev_buffer_get_volume(s->buffer, &v);
    return v;
}

class SoundWorld : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path old = std::filesystem::current_path();

    void SetUp() override
    {
        std::filesystem::create_directories(dir.file("data/sound"));
        wave_write_file(dir.file("data/sound/bgm01.wav"), wave_bgm01());
        std::filesystem::current_path(dir.file(""));
    }
    void TearDown() override
    {
        snd_shutdown();
        snd_thread_set_handler(nullptr);
        txt_settings_term();
        std::filesystem::current_path(old);
    }
    void boot(const std::string& settings = "")
    {
        dir.write("QUORVEL.TXT", settings);
        txt_settings_load("QUORVEL.TXT");
        ASSERT_EQ(snd_boot(), 1);
        drain();
    }
    static void drain()
    {
        for (int i = 0; i < 500 && snd_ring_pending() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
};
