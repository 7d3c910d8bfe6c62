// util/fps_ctrl: frame pacing and the millisecond timer.
//
// `fps_ctrl_wait` ends every frame of the main loop (main thread): it sleeps
// until the frame's time slot, measured from the end of the previous wait, is
// over by the high-resolution counter or by the millisecond clock, whichever
// comes first, and measures the frame rate reached once every `fps` frames.
// The counter comes from util/perf (`perf_now`, `perf_frequency`), so
// `perf_timer_init` runs first. Beside it: a wrapping millisecond clock
// (`mmtimer_*`) for long waits such as the fatal error screen, and a
// stopwatch that tells what share of a frame's time has passed.
#pragma once
#include <cstdint>

struct FpsCtrl {
    uint32_t active;                  // 0: fps_ctrl_wait returns at once (still counts)
    uint32_t period_min, period_max;  // timer resolution caps, ms
    uint32_t last_ms, now_ms;         // millisecond readings: end of previous wait, current
    int64_t last_counter, now_counter;
    uint32_t frame_total;  // frames waited for since init
    int32_t fps;           // target rate, >= 1
    float us_per_frame;
    float ms_per_frame;
    int32_t wait_limit;  // ms, trunc(ms_per_frame - 0.5): 32 at 30 fps
    float achieved_fps;  // measured once per fps frames
    uint32_t frames_since_measure;
    uint32_t ms_at_measure;
    int64_t counter_at_measure;
};

// fps below 1 is taken as 1.
void fps_ctrl_init(int32_t fps);
FpsCtrl* fps_ctrl_set_rate(int32_t fps);
void fps_ctrl_term();
void fps_ctrl_wait();

void fps_ctrl_get_stats(float* achieved, int32_t* target);  // achieved at most 60.0
uint32_t fps_ctrl_get_fps();
uint32_t fps_ctrl_get_frame_total();
FpsCtrl* fps_ctrl_set_active(uint32_t active);
uint32_t fps_ctrl_get_active();

uint32_t fps_ms_now(uint32_t period);
uint32_t ms_diff(uint32_t earlier, uint32_t later);  // modulo 2^32

void stopwatch_start(int64_t* out);
// Percentage of one frame's time passed since `start`; 0 for a null pointer.
float stopwatch_frame_percent(const int64_t* start);

uint32_t mmtimer_now();
uint32_t mmtimer_elapsed(uint32_t start);
uint32_t mmtimer_diff(uint32_t earlier, uint32_t later);  // modulo 2^32
