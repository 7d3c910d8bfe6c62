// plat/time: the platform clock.
//
// Provides a wrapping 32-bit millisecond clock, a 64-bit high-resolution
// counter with its frequency, sleep and yield, all on CLOCK_MONOTONIC.
// Callers rely on: both clocks never go backwards; the millisecond clock
// wraps modulo 2^32 (differences must be taken modulo 2^32); a sleep of 0 ms
// gives the processor up briefly (PLAT_TIME_ZERO_SLEEP_US), a yield only once.
//
// Tests switch to a manual clock (`plat_time_set_manual(1)`): time then moves
// only through `plat_time_advance_*` and through the sleeps themselves (a
// sleep of n ms advances it by n ms, a yield by PLAT_TIME_MANUAL_YIELD_US), so that
// pacing and long waits run instantly and exactly. Every thread reads the
// manual clock, but only the sleeps of the thread that switched it on move
// it; other threads keep sleeping in real time. An observer sees every sleep
// and yield, real or manual, of the thread that set it. The readings are
// thread-safe; switching modes and setting the observer are for one thread.
#pragma once
#include <cstdint>

// How far one yield moves the manual clock: a busy-wait loop on yields still
// makes progress, in steps much finer than a millisecond.
inline constexpr uint32_t PLAT_TIME_MANUAL_YIELD_US = 100;

// How long a sleep of 0 ms lasts on the real clock: short against the 3 ms
// margin the frame wait keeps, long enough that a wait made of zero sleeps
// costs next to no processor time.
inline constexpr uint32_t PLAT_TIME_ZERO_SLEEP_US = 100;

// Called with the requested milliseconds (0 for a yield) before each sleep.
using PlatSleepObserver = void (*)(uint32_t ms, void* user);

uint32_t plat_time_ms();               // millisecond clock, wraps modulo 2^32
int64_t plat_time_counter();           // high-resolution counter ticks
int64_t plat_time_frequency();         // counter ticks per second (> 0)
void plat_time_sleep_ms(uint32_t ms);  // 0 sleeps PLAT_TIME_ZERO_SLEEP_US
void plat_time_yield();

// Timer resolution requests: the monotonic clock and nanosleep already have
// sub-millisecond grain on Linux, so there is nothing to raise; kept so that
// callers state their intent where a timer-resolution request belongs.
void plat_time_begin_period(uint32_t ms);
void plat_time_end_period(uint32_t ms);

// Manual clock for tests. Switching it on starts it at 0 ms; switching it off
// returns to the real clock.
void plat_time_set_manual(int on);
int plat_time_is_manual();
void plat_time_advance_ms(uint32_t ms);
void plat_time_advance_us(uint64_t us);
// Places the manual millisecond clock at `ms` (counter unchanged in rate), so
// tests can start just below the 2^32 wrap.
void plat_time_set_manual_ms(uint32_t ms);
void plat_time_set_sleep_observer(PlatSleepObserver fn, void* user);
