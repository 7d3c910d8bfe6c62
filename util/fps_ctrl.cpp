// Frame pacing, the frame rate reached, the frame stopwatch and the millisecond timer (see
// fps_ctrl.h); the high-resolution counter they read is util/perf's.
#include "util/fps_ctrl.h"
#include "util/fps_ctrl_local.h"

#include "plat/time.h"
#include "util/perf.h"

namespace {

// The multimedia timer's resolution range; nothing on this platform
// changes with it, but readings are still bracketed by a request for it.
constexpr uint32_t FPS_CTRL_TIMER_PERIOD_MIN = 1;
constexpr uint32_t FPS_CTRL_TIMER_PERIOD_MAX = 1000000;
// Sleeps stop this many ms short of the limit so they never overshoot the slot.
constexpr int64_t FPS_CTRL_SLEEP_MARGIN_MS = 3;
constexpr float FPS_CTRL_REPORTED_MAX = 60.0f;

FpsCtrl g_fps;

// The slot is over by the counter. Compared in double: the integer products
// overflow 64 bits after a few hours of nanosecond ticks (a suspended run).
bool counter_slot_over(int64_t elapsed_ticks)
{
    int64_t freq = perf_frequency();
    if (freq <= 0) return false;  // no counter: the millisecond test paces alone
    return double(elapsed_ticks) * 1e6 >= double(freq) * double(g_fps.us_per_frame);
}

void take_readings()
{
    g_fps.now_counter = perf_now();
    g_fps.now_ms = fps_ms_now(g_fps.period_min);
}

void count_frame()
{
    ++g_fps.frame_total;
    ++g_fps.frames_since_measure;
    if (g_fps.frames_since_measure >= uint32_t(g_fps.fps)) {
        uint32_t d = ms_diff(g_fps.ms_at_measure, g_fps.now_ms);
        if (d != 0) g_fps.achieved_fps = float(g_fps.frames_since_measure) * 1000.0f / float(d);
        g_fps.ms_at_measure = g_fps.now_ms;
        g_fps.counter_at_measure = g_fps.now_counter;
        g_fps.frames_since_measure = 0;
    }
    g_fps.last_ms = g_fps.now_ms;
    g_fps.last_counter = g_fps.now_counter;
}

}  // namespace

void fps_ctrl_init(int32_t fps)
{
    g_fps = FpsCtrl{};
    g_fps.period_min = FPS_CTRL_TIMER_PERIOD_MIN;
    g_fps.period_max = FPS_CTRL_TIMER_PERIOD_MAX;
    take_readings();
    g_fps.last_ms = g_fps.now_ms;
    g_fps.last_counter = g_fps.now_counter;
    g_fps.ms_at_measure = g_fps.now_ms;
    g_fps.counter_at_measure = g_fps.now_counter;
    fps_ctrl_set_rate(fps);
    g_fps.active = 1;
}

FpsCtrl* fps_ctrl_set_rate(int32_t fps)
{
    // A rate below 1 would make the slot infinite and its truncation undefined.
    g_fps.fps = fps < 1 ? 1 : fps;
    g_fps.us_per_frame = 1000000.0f / float(g_fps.fps);
    g_fps.ms_per_frame = 1000.0f / float(g_fps.fps);
    g_fps.wait_limit = int32_t(g_fps.ms_per_frame - 0.5f);
    return &g_fps;
}

void fps_ctrl_term() {}

void fps_ctrl_wait()
{
    bool first = true;
    for (;;) {
        take_readings();
        if (!g_fps.active) break;
        int64_t elapsed_ms = ms_diff(g_fps.last_ms, g_fps.now_ms);
        int64_t elapsed_ticks = perf_counter_diff(g_fps.last_counter, g_fps.now_counter);
        bool over = counter_slot_over(elapsed_ticks) || elapsed_ms > g_fps.wait_limit;
        if (over) {
            if (first) plat_time_sleep_ms(0);
            break;
        }
        // Signed: an unsigned difference here would turn a late frame into a
        // sleep of weeks.
        int64_t sleep_ms = g_fps.wait_limit - elapsed_ms - FPS_CTRL_SLEEP_MARGIN_MS;
        plat_time_sleep_ms(uint32_t(sleep_ms > 0 ? sleep_ms : 0));
        first = false;
    }
    count_frame();
}

void fps_ctrl_get_stats(float* achieved, int32_t* target)
{
    if (achieved) {
        *achieved =
            g_fps.achieved_fps > FPS_CTRL_REPORTED_MAX ? FPS_CTRL_REPORTED_MAX : g_fps.achieved_fps;
    }
    if (target) *target = g_fps.fps;
}

uint32_t fps_ctrl_get_fps() { return uint32_t(g_fps.fps); }
uint32_t fps_ctrl_get_frame_total() { return g_fps.frame_total; }

FpsCtrl* fps_ctrl_set_active(uint32_t active)
{
    g_fps.active = active;
    return &g_fps;
}

uint32_t fps_ctrl_get_active() { return g_fps.active; }
const FpsCtrl* fps_ctrl_state() { return &g_fps; }

uint32_t fps_ms_now(uint32_t period)
{
    plat_time_begin_period(period);
    uint32_t ms = plat_time_ms();
    plat_time_end_period(period);
    return ms;
}

uint32_t ms_diff(uint32_t earlier, uint32_t later) { return later - earlier; }

void stopwatch_start(int64_t* out)
{
    if (out) *out = perf_now();
}

float stopwatch_frame_percent(const int64_t* start)
{
    if (!start) return 0.0f;
    // In double: (ticks x 1e8) overflows 64 bits after ~92 s of nanosecond ticks.
    double ticks = double(perf_counter_diff(*start, perf_now()));
    double slot_ticks = double(perf_frequency()) * double(g_fps.us_per_frame);
    return float(ticks * 100.0 * 1e6 / slot_ticks);
}

uint32_t mmtimer_now() { return fps_ms_now(1); }
uint32_t mmtimer_elapsed(uint32_t start) { return mmtimer_diff(start, mmtimer_now()); }
uint32_t mmtimer_diff(uint32_t earlier, uint32_t later) { return ms_diff(earlier, later); }
