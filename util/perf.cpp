// The performance timer and its stopwatches, the memory status and the performance log (see
// perf.h).
#include "util/perf.h"
#include "util/perf_local.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "svc/txt_settings.h"
#include "plat/files.h"
#include "plat/flush.h"
#include "plat/sysinfo.h"
#include "plat/time.h"

namespace {

PerfTimer g_perf;
std::string g_log_name;  // empty: no log kept
bool g_log_open;

}  // namespace

void perf_timer_init(uint32_t fps)
{
    g_perf = PerfTimer{};
    g_perf.fps = fps < 1 ? 1 : fps;
    g_perf.frequency = plat_time_frequency();
    g_perf.available = g_perf.frequency > 0;
    if (!g_perf.available) g_perf.frequency = 0;
    g_perf.started = 1;
    perf_timer_mark();
}

void perf_timer_term() {}

int64_t perf_now() { return (g_perf.started && g_perf.available) ? plat_time_counter() : 0; }

int64_t perf_frequency() { return g_perf.frequency; }

void perf_timer_mark() { g_perf.frame_mark = perf_now(); }

int perf_stopwatch_a()
{
    g_perf.stopwatch_a = perf_now();
    int32_t unused = 0;
    return txt_settings_get_int("PERFORMANCE_LOG", &unused);
}

PerfTimer* perf_stopwatch_b()
{
    g_perf.stopwatch_b = perf_now();
    return &g_perf;
}

int64_t perf_counter_diff(int64_t earlier, int64_t later)
{
    // Modular difference: no signed overflow for readings far apart.
    return int64_t(uint64_t(later) - uint64_t(earlier));
}

float perf_frames_since_mark(int64_t reading)
{
    // Without a counter this is 0 / 0: NaN, so every test against a limit fails.
    double ticks = double(perf_counter_diff(g_perf.frame_mark, reading));
    return float(ticks * double(g_perf.fps) / double(g_perf.frequency));
}

float perf_timer_frame_percent() { return perf_frames_since_mark(perf_now()) * 100.0f; }
float perf_stopwatch_a_percent() { return perf_frames_since_mark(g_perf.stopwatch_a) * 100.0f; }
float perf_stopwatch_b_percent() { return perf_frames_since_mark(g_perf.stopwatch_b) * 100.0f; }

const PerfTimer* perf_timer_state() { return &g_perf; }

uint32_t mem_saturate_u32(uint64_t bytes)
{
    return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(bytes);
}

uint32_t mem_total_phys()
{
    uint64_t total = 0, avail = 0;
    plat_sysinfo_memory(&total, &avail);
    return mem_saturate_u32(total);
}

uint32_t mem_avail_phys()
{
    uint64_t total = 0, avail = 0;
    plat_sysinfo_memory(&total, &avail);
    return mem_saturate_u32(avail);
}

uint32_t mem_query_stub() { return 0; }

void perf_log_open(const char* file_name)
{
    g_log_name.clear();
    g_log_open = file_name != nullptr;
    if (file_name) g_log_name = file_name;
}

void perf_log_close()
{
    g_log_name.clear();
    g_log_open = false;
}

void perf_log_line(uint32_t a, uint32_t b, uint32_t c)
{
    if (!g_log_open) return;
    std::time_t t = std::time(nullptr);
    char hms[16] = "00:00:00";
    char mdy[16] = "00/00/00";
    if (const std::tm* lt = std::localtime(&t)) {
        std::strftime(hms, sizeof hms, "%H:%M:%S", lt);
        std::strftime(mdy, sizeof mdy, "%m/%d/%y", lt);
    }
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s\t%s\t%08x\t%08x\t%08x\n", hms, mdy, a, b, c);
    // Appended by writing the whole log anew through the one writer, so that a failed write
    // loses no earlier line; a log that cannot be read is left alone.
    const std::string path = plat_path_for_write(g_log_name);
    std::vector<uint8_t> text;
    std::string why;
    if (!plat_read_data_file(path, PLAT_DATA_FILE_MAX, &text, &why) && !why.empty()) return;
    text.insert(text.end(), line, line + std::min<size_t>(size_t(n), sizeof line - 1));
    plat_write_file(path, text, nullptr);
    perf_log_flush(path.c_str());
}

void perf_log_flush(const char* file_name) { plat_flush_file(file_name); }
