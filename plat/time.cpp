#include "plat/time.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace {

constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kNsPerMs = 1000000;

struct PlatTime {
  int manual;
  uint64_t manual_ns;        // manual counter, nanoseconds since switched on
  uint32_t manual_ms_base;   // millisecond clock value at manual_ns == 0
  PlatSleepObserver observer;
  void* observer_user;
};

PlatTime g_time;

uint64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * kNsPerSecond + uint64_t(ts.tv_nsec);
}

uint64_t now_ns() { return g_time.manual ? g_time.manual_ns : monotonic_ns(); }

void notify(uint32_t ms) {
  if (g_time.observer) g_time.observer(ms, g_time.observer_user);
}

void real_sleep_ms(uint32_t ms) {
  timespec req{time_t(ms / 1000), long(ms % 1000) * long(kNsPerMs)};
  timespec rem{};
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

}  // namespace

uint32_t plat_time_ms() {
  if (g_time.manual) return g_time.manual_ms_base + uint32_t(g_time.manual_ns / kNsPerMs);
  return uint32_t(monotonic_ns() / kNsPerMs);
}

int64_t plat_time_counter() { return int64_t(now_ns()); }

int64_t plat_time_frequency() { return kNsPerSecond; }

void plat_time_yield() {
  notify(0);
  if (g_time.manual) {
    g_time.manual_ns += uint64_t(kPlatManualYieldUs) * 1000;
    return;
  }
  sched_yield();
}

void plat_time_sleep_ms(uint32_t ms) {
  if (ms == 0) {
    plat_time_yield();
    return;
  }
  notify(ms);
  if (g_time.manual) {
    g_time.manual_ns += uint64_t(ms) * kNsPerMs;
    return;
  }
  real_sleep_ms(ms);
}

void plat_time_begin_period(uint32_t) {}
void plat_time_end_period(uint32_t) {}

void plat_time_set_manual(int on) {
  g_time.manual = on ? 1 : 0;
  g_time.manual_ns = 0;
  g_time.manual_ms_base = 0;
}

int plat_time_is_manual() { return g_time.manual; }

void plat_time_advance_ms(uint32_t ms) {
  if (g_time.manual) g_time.manual_ns += uint64_t(ms) * kNsPerMs;
}

void plat_time_advance_us(uint64_t us) {
  if (g_time.manual) g_time.manual_ns += us * 1000;
}

void plat_time_set_manual_ms(uint32_t ms) {
  if (!g_time.manual) return;
  g_time.manual_ms_base = ms - uint32_t(g_time.manual_ns / kNsPerMs);
}

void plat_time_set_sleep_observer(PlatSleepObserver fn, void* user) {
  g_time.observer = fn;
  g_time.observer_user = user;
}
