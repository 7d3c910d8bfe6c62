// The whole display started on a hidden window, with a probe recording steps and passes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "svc/textlist.h"
#include "app/disp_main.h"
#include "app/disp_main_local.h"
#include "plat/byte_order.h"
#include "plat/gfx.h"

struct FrameLog {
    std::vector<std::string> events;
    static FrameLog& get()
    {
        static FrameLog log;
        return log;
    }
    static void add(const std::string& e) { get().events.push_back(e); }
    static void step(const char* name) { add(name); }
    static void band(int lo, int hi)
    {
        add("band " + std::to_string(lo) + "-" + std::to_string(hi));
    }
    static void pass_begin(int screen, int pass, int set)
    {
        add("begin " + std::to_string(screen) + " " + std::to_string(pass) + " " +
            std::to_string(set));
    }
    static void pass_end(int screen) { add("end " + std::to_string(screen)); }
};

inline const DispProbe FRAME_FIXTURE_PROBE = {FrameLog::step, FrameLog::band, FrameLog::pass_begin,
                                              FrameLog::pass_end};

class DispFrame : public ::testing::Test {
protected:
    static constexpr int FRAME_FIXTURE_W = 320, FRAME_FIXTURE_H = 160;
    void SetUp() override
    {
        FrameLog::get().events.clear();
        window_ = gfx_test_window_create(FRAME_FIXTURE_W, FRAME_FIXTURE_H);
        ASSERT_NE(window_, nullptr);
        app_disp_set_probe(&FRAME_FIXTURE_PROBE);
        ASSERT_EQ(disp_boot(window_, 0, FRAME_FIXTURE_W, FRAME_FIXTURE_H, 32, nullptr), 1);
    }
    void TearDown() override
    {
        disp_shutdown();
        app_disp_set_probe(nullptr);
        gfx_test_window_destroy(window_);
    }
    // The events since the last call, as one line separated by spaces.
    static std::string take_log()
    {
        std::string out;
        for (const auto& e : FrameLog::get().events) out += (out.empty() ? "" : " ") + e;
        FrameLog::get().events.clear();
        return out;
    }
    static std::string frame_log()
    {
        take_log();
        disp_update(nullptr);
        return take_log();
    }

    // Pixel (x, y) of the colour target as 0xAARRGGBB.
    static uint32_t pixel(int x, int y)
    {
        uint8_t p[4] = {};
        gfx_read_pixels(x, y, 1, 1, p, 4);
        return plat_le_get32(p);
    }
    // Pixels of a rectangle whose colour differs from `background` (RGB).
    static int lit_pixels(int x, int y, int w, int h, uint32_t background = 0)
    {
        std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
        gfx_read_pixels(x, y, w, h, px.data(), w * 4);
        int n = 0;
        for (size_t i = 0; i < px.size(); i += 4) {
            const uint32_t c =
                uint32_t(px[i]) | uint32_t(px[i + 1]) << 8 | uint32_t(px[i + 2]) << 16;
            n += c != (background & 0xFFFFFFu);
        }
        return n;
    }

    void* window_ = nullptr;
};
