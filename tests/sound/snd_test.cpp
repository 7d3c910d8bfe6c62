// The sound manager, the command ring and thread, and the request queue.
#include "sound_world.h"

#include "sound/sereq.h"
#include "sound/sereq_local.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;
using SoundMgrTest = SoundWorld;

TEST_F(SoundMgrTest, VolumesComeFromTheSettings)
{
    // Percentages beyond 0..100 are held to it before they are used.
    for (auto [text, bgm, sound] : {std::tuple{"", 0.85f, 0.85f},
                                    {"SOUND_DATA_VOL 50\nSOUND_BGM_VOL 80", 0.8f, 0.5f},
                                    {"SOUND_DATA_VOL 40000000", 1.0f, 1.0f},
                                    {"SOUND_DATA_VOL -40000000", 0.0f, 0.0f}}) {
        boot(text);
        EXPECT_FLOAT_EQ(snd_volumes().bgm, bgm) << text;
        EXPECT_FLOAT_EQ(snd_volumes().sound, sound) << text;
        EXPECT_EQ(snd_get_error(), 0u);
        ASSERT_NE(snd_table_sound(0), nullptr);
        EXPECT_FALSE(dxs_is_playing(snd_bgm_sound()));  // played, then stopped at start
        snd_shutdown();
    }
}

TEST_F(SoundMgrTest, AMissingSoundFileIsError258WithOneLineAndNothingLoads)
{
    std::filesystem::remove("data/sound/bgm01.wav");
    ::testing::internal::CaptureStderr();
    boot();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "sound: not loaded \"data/sound/bgm01.wav\": no such file\n");
    EXPECT_EQ(snd_get_error(), uint32_t(SND_ERR_FILE));
    EXPECT_EQ(snd_table_sound(0), nullptr);
    bgm_play(SND_ID_BGM);
    EXPECT_EQ(snd_bgm_sound(), nullptr);
}

TEST_F(SoundMgrTest, LookupsOutOfTableIdsAndABoundedRawBankRead)
{
    boot();
    EXPECT_EQ(std::tuple(snd_find_sound("BGM01"), snd_find_bgm("bgm01"), snd_find_voice("bgm01")),
              std::tuple(0u, SND_ID_BGM, SND_ID_VOICE));
    testing::internal::CaptureStderr();
    EXPECT_EQ(snd_find_voice(std::string(5000, 'x').c_str()), SND_ID_VOICE);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("\"ERROR\" \"Sound file not found = xxx"), std::string::npos);
    EXPECT_LT(log.size(), 400u);
    // An index past the one-entry tables names nothing.
    sound_play(5, 0, 0.0f, 0);
    voice_a_play(SND_ID_VOICE | 5);
    EXPECT_TRUE(!dxs_is_playing(snd_table_sound(0)) && !snd_voice_sound(0));
    sereq_init();
    sereq_play(7, nullptr);
    EXPECT_EQ(sereq_count(), 0);
    dir.write("small.bin", "SP\x01\x02payload");
    dir.write("c.bin", "c.anything");
    dir.write("big.bin", std::string(SND_RAW_BANK_SIZE + 1, 'z'));
    EXPECT_EQ(snd_read_raw_bank("small.bin").size(), 11u);
    EXPECT_TRUE(snd_read_raw_bank("c.bin").empty());
    EXPECT_TRUE(snd_read_raw_bank("big.bin").empty());
    EXPECT_TRUE(snd_read_raw_bank("missing.bin").empty());
}

std::mutex g_gate;
std::vector<uint32_t> g_seen;

void record(const SoundCmd& c)
{
    std::lock_guard<std::mutex> hold(g_gate);  // the test holds it to block the thread
    g_seen.push_back(c.command * 100 + c.id);
}

TEST(SoundRing, TwentyPostsToABlockedThreadKeepTheirOrderAndWithoutAThreadReturnAtOnce)
{
    g_seen.clear();
    snd_thread_set_handler(record);
    ASSERT_EQ(snd_thread_start(), 1);
    std::atomic<int> posted{0};
    {
        std::unique_lock<std::mutex> block(g_gate);
        std::thread producer([&] {
            for (uint32_t i = 0; i < 20; ++i, ++posted)
                snd_post(i % 2 ? SND_COMMANDS + 1 : SND_CMD_NOTHING, i);
        });
        std::this_thread::sleep_for(100ms);
        // The thread holds one command; the producer stops once 14 are pending.
        EXPECT_EQ(snd_ring_pending(), SND_RING_ROOM);
        EXPECT_EQ(posted.load(), int(SND_RING_ROOM));
        block.unlock();
        producer.join();
    }
    for (int i = 0; i < 500 && snd_ring_pending() > 0; ++i) std::this_thread::sleep_for(2ms);
    snd_thread_stop();
    snd_thread_set_handler(nullptr);
    // Both take their slots and do nothing, but only numbers below SND_COMMANDS reach the
    // handler.
    std::vector<uint32_t> expect;
    for (uint32_t i = 0; i < 20; i += 2) expect.push_back(SND_CMD_NOTHING * 100 + i);
    EXPECT_EQ(g_seen, expect);
    // Without the thread a post returns at once.
    ASSERT_EQ(snd_thread_running(), 0);
    for (int i = 0; i < 40; ++i) snd_post_simple(SND_CMD_BGM_STOP);
    EXPECT_EQ(snd_ring_pending(), 0u);
}

TEST_F(SoundMgrTest, MainThreadHandlersNeverRaceTheSoundThread)
{
    boot();
    for (int i = 0; i < 60; ++i) {
        // Voice B loads and unloads on the thread.
        snd_post(i % 3 ? SND_CMD_VOICE_B_PLAY : SND_CMD_VOICE_B_UNLOAD, SND_ID_VOICE);
        snd_post(SND_CMD_BGM_PLAY, SND_ID_BGM);
        snd_post_simple(SND_CMD_BGM_UNLOAD);
        snd_stop_all();
        snd_frame();
    }
    drain();
    EXPECT_EQ(snd_get_error(), 0u);
}

TEST_F(SoundMgrTest, VoiceQueueTimingRules)
{
    boot();
    const SoundId v = SND_ID_VOICE;
    EXPECT_EQ(voice_queue_push(0, 5), 0);  // not a voice
    for (int i = 0; i < 15; ++i) ASSERT_EQ(voice_queue_push(v, 5), 1) << i;
    EXPECT_EQ(voice_queue_push(v, 5), 0);  // a 16th would fill the ring
    voice_queue_reset();
    voice_queue_push(v, 0);
    voice_queue_push(v, 0);
    EXPECT_EQ(voice_queue_push(v, 0), 0);  // more than one queued and no delay allowed
    voice_queue_reset();
    voice_queue_push(v, 200);  // plays
    voice_queue_push(v, 200);  // the same voice again within 150 frames: dropped
    voice_queue_push(v, 2);    // stale by the time the first ends: dropped
    snd_frame();
    EXPECT_TRUE(voice_a_is_playing());
    EXPECT_EQ(voice_queue_count(), 2u);
    voice_a_stop();  // a voice that never reports playing holds the queue 91 frames
    while (snd_frame_count() < 91) snd_frame();
    EXPECT_EQ(voice_queue_count(), 2u);
    for (int i = 0; i < 3; ++i) snd_frame();
    EXPECT_EQ(voice_queue_count(), 0u);
    EXPECT_FALSE(voice_a_is_playing());
}

TEST_F(SoundMgrTest, RequestQueueNearestWinsAndBlocksThreeFrames)
{
    boot();
    sereq_init();
    float at[3] = {};
    const auto placed_at = [&] {
        sound_dev_buffer_get_3d_position(snd_table_sound(0)->buffer, at);
        return at[2];
    };
    const Vec3 far{0, 0, 601}, mid{0, 0, 20}, near{0, 0, 10}, near2{0, 0, -10};
    sereq_play(0, &far);  // beyond 600: never counts
    EXPECT_EQ(sereq_count(), 0);
    sereq_play(0, &mid);
    sereq_play(0, &near);
    sereq_play(0, &near2);  // as near: the earlier one wins
    EXPECT_EQ(sereq_count(), 3);
    sereq_frame();
    EXPECT_FLOAT_EQ(placed_at(), 10.0f);
    EXPECT_TRUE(dxs_is_playing(snd_table_sound(0)));
    for (int frame = 0; frame < 3; ++frame) {
        sereq_play(0, &mid);
        EXPECT_EQ(sereq_count(), 0) << frame;
        sereq_frame();
    }
    sereq_play_near(0, &mid);
    EXPECT_EQ(sereq_count(), 1);
    sereq_frame();
    EXPECT_FLOAT_EQ(placed_at(), 20.0f);
    for (int frame = 0; frame < 3; ++frame) sereq_frame();
    const Vec3 edge{0, 0, 590};  // counts, but too far to keep looping: stops
    sereq_play_near(0, &edge);
    sereq_frame();
    EXPECT_FALSE(dxs_is_playing(snd_table_sound(0)));
    EXPECT_EQ(sereq_frame_count(), 9u);
    sereq_seed(1);  // the classic generator x * 214013 + 2531011, bits 16 to 30, from seed 1
    EXPECT_EQ((std::vector{sereq_rand(), sereq_rand(), sereq_rand()}),
              (std::vector<uint32_t>{41, 18467, 6334}));
}

}  // namespace
