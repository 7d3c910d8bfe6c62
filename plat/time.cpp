// The platform clock on CLOCK_MONOTONIC, sleeps and yields, and the manual clock that tests
// switch to (see time.h).
#include "plat/time.h"

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

constexpr int64_t PLAT_TIME_NS_PER_SECOND = 1000000000;
constexpr int64_t PLAT_TIME_NS_PER_MS = 1000000;

// The manual clock belongs to the thread that switched it on: every thread
// reads it, but only that thread's sleeps move it (another thread, such as
// the sound thread, keeps sleeping in real time and cannot race the test).
struct PlatTime {
    std::atomic<int> manual;
    std::atomic<uint64_t> manual_ns;       // nanoseconds since switched on
    std::atomic<uint32_t> manual_ms_base;  // millisecond clock at manual_ns == 0
    std::thread::id manual_owner;
    PlatSleepObserver observer;  // called on the observer's thread only
    void* observer_user;
    std::thread::id observer_owner;
};

PlatTime g_time;

uint64_t monotonic_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * PLAT_TIME_NS_PER_SECOND + uint64_t(ts.tv_nsec);
}

bool manual_here()
{
    return g_time.manual.load() && g_time.manual_owner == std::this_thread::get_id();
}

void notify(uint32_t ms)
{
    if (g_time.observer && g_time.observer_owner == std::this_thread::get_id())
        g_time.observer(ms, g_time.observer_user);
}

void real_sleep_us(uint64_t us)
{
    timespec req{time_t(us / 1000000), long(us % 1000000) * 1000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

}  // namespace

uint32_t plat_time_ms()
{
    if (g_time.manual.load())
        return g_time.manual_ms_base.load() +
               uint32_t(g_time.manual_ns.load() / PLAT_TIME_NS_PER_MS);
    return uint32_t(monotonic_ns() / PLAT_TIME_NS_PER_MS);
}

int64_t plat_time_counter()
{
    return int64_t(g_time.manual.load() ? g_time.manual_ns.load() : monotonic_ns());
}

int64_t plat_time_frequency() { return PLAT_TIME_NS_PER_SECOND; }

void plat_time_yield()
{
    notify(0);
    if (manual_here()) {
        g_time.manual_ns += uint64_t(PLAT_TIME_MANUAL_YIELD_US) * 1000;
        return;
    }
    sched_yield();
}

void plat_time_sleep_ms(uint32_t ms)
{
    notify(ms);
    if (ms == 0) {
        // A zero sleep gives the processor up for a moment rather than only
        // yielding: waits built of zero sleeps would otherwise spin a core
        // whenever nothing else wants it.
        if (manual_here())
            g_time.manual_ns += uint64_t(PLAT_TIME_ZERO_SLEEP_US) * 1000;
        else
            real_sleep_us(PLAT_TIME_ZERO_SLEEP_US);
        return;
    }
    if (manual_here()) {
        g_time.manual_ns += uint64_t(ms) * PLAT_TIME_NS_PER_MS;
        return;
    }
    real_sleep_us(uint64_t(ms) * 1000);
}

void plat_time_begin_period(uint32_t) {}
void plat_time_end_period(uint32_t) {}

void plat_time_set_manual(int on)
{
    g_time.manual_ns = 0;
    g_time.manual_ms_base = 0;
    g_time.manual_owner = std::this_thread::get_id();
    g_time.manual = on ? 1 : 0;
}

int plat_time_is_manual() { return g_time.manual.load(); }

void plat_time_advance_ms(uint32_t ms) { plat_time_advance_us(uint64_t(ms) * 1000); }

void plat_time_advance_us(uint64_t us)
{
    if (g_time.manual.load()) g_time.manual_ns += us * 1000;
}

void plat_time_set_manual_ms(uint32_t ms)
{
    if (!g_time.manual.load()) return;
    g_time.manual_ms_base = ms - uint32_t(g_time.manual_ns.load() / PLAT_TIME_NS_PER_MS);
}

void plat_time_set_sleep_observer(PlatSleepObserver fn, void* user)
{
    g_time.observer = fn;
    g_time.observer_user = user;
    g_time.observer_owner = std::this_thread::get_id();
}
