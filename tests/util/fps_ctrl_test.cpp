// Frame pacing: the rate held at one, the millisecond wrap, an inactive pacer that counts
// without waiting, the frame stopwatch and the millisecond timer.
#include "util/fps_ctrl.h"
#include "util/fps_ctrl_local.h"

#include <gtest/gtest.h>

#include <vector>

#include "manual_clock.h"
#include "plat/time.h"
#include "util/perf.h"

namespace {

// Frame pacing on the manual clock: the work of a frame is a clock advance,
// the sleeps are recorded and move the clock.
class FpsCtrlTest : public ManualClockTest {
protected:
    void start(int32_t fps)
    {
        perf_timer_init(uint32_t(fps));
        fps_ctrl_init(fps);
        sleeps_.clear();
    }
    // One frame of `work_ms`; answers the sleeps it made.
    std::vector<uint32_t> frame(uint32_t work_ms)
    {
        sleeps_.clear();
        plat_time_advance_ms(work_ms);
        fps_ctrl_wait();
        return sleeps_;
    }
};

// 29 ms of the slot elapsed: yields of 0.1 ms until the millisecond test ends it at 33 ms.
std::vector<uint32_t> tail_after(uint32_t first_sleep)
{
    std::vector<uint32_t> v{first_sleep};
    v.insert(v.end(), (33 - 29) * 1000 / PLAT_TIME_MANUAL_YIELD_US, 0u);
    return v;
}

TEST_F(FpsCtrlTest,
       MillisecondWrapDoesNotDisturbPacingInactiveCountsWithoutWaitingAndARateBelowOneIsHeldAtOne)
{
    plat_time_set_manual_ms(0xFFFFFFFFu - 45);
    start(30);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(frame(10), tail_after(19)) << "frame " << k;
    EXPECT_LT(plat_time_ms(), 100u) << "the clock wrapped during the run";
    EXPECT_EQ(frame(40), std::vector<uint32_t>{0});
    // Started again, inactive: the frames of the run above are forgotten.
    start(30);
    fps_ctrl_set_active(0);
    for (int k = 0; k < 30; ++k) EXPECT_TRUE(frame(1).empty());
    float achieved = 0;
    fps_ctrl_get_stats(&achieved, nullptr);
    EXPECT_EQ(std::pair(fps_ctrl_state()->achieved_fps, achieved), std::pair(1000.0f, 60.0f))
        << "1000 fps measured, reported at most 60";
    EXPECT_EQ(fps_ctrl_get_frame_total(), 30u);
    // A rate below one is held at one.
    start(0);
    EXPECT_EQ(std::tuple(fps_ctrl_get_fps(), fps_ctrl_state()->wait_limit), std::tuple(1u, 999));
    fps_ctrl_set_rate(-7);
    EXPECT_EQ(fps_ctrl_get_fps(), 1u);
}

TEST_F(FpsCtrlTest, StopwatchPercentOfAFrameAndMmtimerAcrossTheWrap)
{
    start(30);
    int64_t mark = 0;
    stopwatch_start(&mark);
    plat_time_advance_us(16667);
    EXPECT_NEAR(stopwatch_frame_percent(&mark), 50.0f, 0.01f);
    EXPECT_EQ(stopwatch_frame_percent(nullptr), 0.0f);
    // 100 s old: (ticks x 1e8) would overflow 64-bit integers.
    plat_time_advance_ms(100000);
    EXPECT_NEAR(stopwatch_frame_percent(&mark), 300050.0f, 1.0f);
    plat_time_set_manual_ms(0xFFFFFFF0u);
    uint32_t t0 = mmtimer_now();
    plat_time_advance_ms(30000);
    EXPECT_EQ(mmtimer_elapsed(t0), 30000u);
    EXPECT_EQ(mmtimer_diff(4294967290u, 5u), 11u);
}

}  // namespace
