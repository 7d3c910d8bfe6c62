// The performance timer's stopwatches, the counter and memory status, and the performance log.
#include "util/perf.h"
#include "util/perf_local.h"

#include <gtest/gtest.h>

#include <regex>

#include "svc/txt_settings.h"
#include "plat/time.h"
#include "temp_dir.h"

namespace {

class PerfTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat_time_set_manual(1);
        perf_timer_init(30);
    }
    void TearDown() override
    {
        plat_time_set_manual(0);
        perf_log_close();
        txt_settings_load(nullptr);
    }
};

TEST_F(PerfTest, StopwatchesMeasureFromTheFrameMarkAndATellsTheLogKey)
{
    plat_time_advance_ms(1000);
    perf_timer_mark();
    EXPECT_EQ(perf_timer_frame_percent(), 0.0f);
    plat_time_advance_us(3333);
    perf_stopwatch_b();
    plat_time_advance_us(3334);
    EXPECT_EQ(perf_stopwatch_a(), 0) << "no PERFORMANCE_LOG key";
    EXPECT_NEAR(perf_stopwatch_b_percent(), 10.0f, 0.01f);
    EXPECT_NEAR(perf_stopwatch_a_percent(), 20.0f, 0.01f);
    EXPECT_NEAR(perf_timer_frame_percent(), 20.0f, 0.01f);
    TempDir dir;
    txt_settings_load(dir.write("Q.TXT", "PERFORMANCE_LOG 0\n").c_str());
    EXPECT_EQ(perf_stopwatch_a(), 1) << "presence counts, not the value";
}

TEST_F(PerfTest, LogLineFormatAndAppendCounterAndMemoryStatus)
{
    TempDir dir;
    std::string name = dir.file("perf.log");
    perf_log_line(9, 9, 9);  // no name kept: nothing written
    EXPECT_TRUE(dir.read("perf.log").empty());
    perf_log_open(name.c_str());
    perf_log_line(1, 255, 4096);
    perf_log_line(0xDEADBEEF, 0, 0);
    std::string text = dir.read("perf.log");
    std::regex line(
        "\\d\\d:\\d\\d:\\d\\d\\t\\d\\d/\\d\\d/\\d\\d\\t00000001\\t000000ff\\t00001000\\n"
        "\\d\\d:\\d\\d:\\d\\d\\t\\d\\d/\\d\\d/\\d\\d\\tdeadbeef\\t00000000\\t00000000\\n");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    perf_log_close();
    perf_log_line(2, 2, 2);
    EXPECT_EQ(dir.read("perf.log"), text);
    EXPECT_EQ(perf_counter_diff(77, 77), 0);
    EXPECT_EQ(perf_counter_diff(INT64_MAX, INT64_MIN), 1) << "no signed overflow";
    perf_timer_init(0);
    EXPECT_EQ(perf_timer_state()->fps, 1u) << "a zero rate is held at 1";
    EXPECT_EQ(mem_saturate_u32(24ull << 30), 0xFFFFFFFFu);
    EXPECT_EQ(mem_saturate_u32(0xFFFFFFFFull), 0xFFFFFFFFu);
    EXPECT_EQ(mem_saturate_u32(4096), 4096u);
    EXPECT_GT(mem_total_phys(), 0u);
    EXPECT_LE(mem_avail_phys(), mem_total_phys());
    EXPECT_EQ(mem_query_stub(), 0u);
}

}  // namespace
