// Fixture base: the manual clock on, every sleep and yield recorded.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "plat/time.h"

class ManualClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat_time_set_manual(1);
        plat_time_set_sleep_observer(record, &sleeps_);
    }
    void TearDown() override
    {
        plat_time_set_sleep_observer(nullptr, nullptr);
        plat_time_set_manual(0);
    }
    static void record(uint32_t ms, void* user)
    {
        static_cast<std::vector<uint32_t>*>(user)->push_back(ms);
    }
    std::vector<uint32_t> sleeps_;
};
