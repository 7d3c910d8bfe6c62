// util/perf: performance timer, memory status and the performance log.
//
// The timer reads the high-resolution counter, is marked at the start of
// every frame by the main loop and tells what share of the frame's time has
// been used since that mark (the resource loader spreads its work with it).
// Two stopwatch marks measure shares of a frame between the frame mark and a
// later point. The memory status gives 32-bit byte counts that saturate at
// 0xFFFFFFFF. The log appends tab-separated lines to a named file. Main
// thread only.
#pragma once
#include <cstdint>

struct PerfTimer {
    uint32_t fps;  // the rate percentages refer to, >= 1
    uint32_t started;
    uint32_t available;  // the counter exists
    int64_t frequency;   // ticks per second
    int64_t frame_mark;
    int64_t stopwatch_a;
    int64_t stopwatch_b;
};

// fps below 1 is taken as 1.
void perf_timer_init(uint32_t fps);
void perf_timer_term();

int64_t perf_now();  // counter reading, 0 before init
int64_t perf_frequency();
void perf_timer_mark();  // frame mark := now
// Stopwatch A := now; answers 1 when the settings text holds "PERFORMANCE_LOG".
int perf_stopwatch_a();
PerfTimer* perf_stopwatch_b();
// Frames elapsed between the frame mark and `reading`; NaN without a counter.
float perf_frames_since_mark(int64_t reading);
float perf_timer_frame_percent();
float perf_stopwatch_a_percent();
float perf_stopwatch_b_percent();
int64_t perf_counter_diff(int64_t earlier, int64_t later);

// Memory status in bytes, saturated to 32 bits.
uint32_t mem_total_phys();
uint32_t mem_avail_phys();
uint32_t mem_query_stub();  // always 0

// Log: lines "HH:MM:SS\tMM/DD/YY\t%08x\t%08x\t%08x\n" appended to a named file.
void perf_log_open(const char* file_name);  // null forgets the name
void perf_log_close();
void perf_log_line(uint32_t a, uint32_t b, uint32_t c);
void perf_log_flush(const char* file_name);
