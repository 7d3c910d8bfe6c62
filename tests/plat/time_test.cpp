// The platform clock: the real clocks, and the manual clock that tests switch to.
#include "plat/time.h"

#include <thread>

#include "manual_clock.h"

namespace {

using ManualClock = ManualClockTest;

TEST(RealClock, MonotonicAndNanosecondCounter)
{
    ASSERT_FALSE(plat_time_is_manual());
    int64_t c0 = plat_time_counter();
    plat_time_sleep_ms(2);
    EXPECT_GE(plat_time_counter() - c0, 2000000);
}

TEST_F(ManualClock, MovesOnlyWhenToldOrBySleepAndYieldAndTheMillisecondsWrapModulo32Bits)
{
    EXPECT_EQ(plat_time_ms(), 0u);
    plat_time_advance_ms(5);
    plat_time_advance_us(1500);
    EXPECT_EQ(std::tuple(plat_time_ms(), plat_time_counter()), std::tuple(6u, 6500000));
    plat_time_sleep_ms(19);
    EXPECT_EQ(plat_time_ms(), 25u);
    plat_time_sleep_ms(0);
    plat_time_yield();
    EXPECT_EQ(plat_time_counter(), 25500000 + 2 * int64_t(PLAT_TIME_MANUAL_YIELD_US) * 1000);
    EXPECT_EQ(sleeps_, (std::vector<uint32_t>{19, 0, 0}));
    const int64_t counter = plat_time_counter();
    plat_time_set_manual_ms(0xFFFFFFFEu);
    plat_time_advance_ms(3);
    EXPECT_EQ(std::pair(plat_time_ms(), plat_time_counter() - counter),
              std::pair(1u, int64_t(3000000)))
        << "the counter does not jump with the ms clock";
}

TEST_F(ManualClock, OtherThreadsSleepInRealTimeButReadIt)
{
    plat_time_advance_ms(500);
    uint32_t seen = 0;
    std::thread t([&] {
        plat_time_sleep_ms(1);  // a real sleep: neither moves the clock nor is observed
        seen = plat_time_ms();
    });
    t.join();
    EXPECT_EQ(seen, 500u);
    EXPECT_TRUE(sleeps_.empty());
}

}  // namespace
