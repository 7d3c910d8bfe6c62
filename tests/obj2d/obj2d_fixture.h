// A booted device with the draw-object manager, the 2D types and textures known to both sides.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "disp/disp_fixture.h"
#include "obj2d/line2d.h"
#include "disp/obj.h"
#include "obj2d/obj2d.h"
#include "obj2d/spr.h"
#include "res/res.h"

class Obj2dDevice : public DispDevice {
protected:
    void SetUp() override
    {
        DispDevice::SetUp();
        if (HasFatalFailure()) return;
        DispLinks links;
        links.sleep_ms = no_sleep;
        links.tex_lookup = [](uint32_t h) {
            auto it = records_.find(h);
            return it == records_.end() ? nullptr : it->second.get();
        };
        disp_set_links(links);
        res_boot();
        obj_module_init();
        line2d_type_register();
        tri2d_type_register();
        obj2d_type_register();
    }
    void TearDown() override
    {
        obj_module_term();
        for (auto& [h, rec] : records_) tex_release(rec.get());
        records_.clear();
        res_shutdown();
        DispDevice::TearDown();
    }

    // A texture of w x h ARGB texels, row by row.
    static ResHandle MakeTex(const char* name, int w, int h, const std::vector<uint32_t>& argb)
    {
        ResHandle hnd = res_tex_create("t", name, w, h, RES_TEX_FORMAT_ARGB32, false);
        EXPECT_NE(hnd, 0u);
        auto rec = std::make_unique<TexRecord>();
        EXPECT_EQ(tex_create(rec.get(), GFX_FMT_A8R8G8B8, w, h, 1), 1);
        std::vector<uint8_t> bytes(argb.size() * 4);
        std::memcpy(bytes.data(), argb.data(), bytes.size());
        EXPECT_EQ(tex_fill_rect(rec.get(), 0, 0, w, h, bytes), 1);
        records_[hnd] = std::move(rec);
        return hnd;
    }

    static void DrawFrame(uint32_t clear = 0xFF000000u)
    {
        gfx_begin_scene();
        disp_set_viewport(0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT);
        disp_set_scissor(0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT);
        gfx_set_render_state(GFX_RS_SCISSORTESTENABLE, 1);
        disp_clear(0, clear);
        obj_frame();
        obj_build_draw_list();
        obj_draw_all();
        gfx_end_scene();
        obj_free_dead();
    }
    // Every listed pixel within `tol` of `want` (0: exactly).
    static void ExpectPixels(uint32_t want, std::initializer_list<std::pair<int, int>> at,
                             int tol = 0)
    {
        for (auto [x, y] : at)
            EXPECT_TRUE(Near(Pixel(x, y), want, tol))
                << "at " << x << "," << y << std::hex << " got " << Pixel(x, y);
    }
    // The device's blend factors agree with what the render-state cache holds.
    static void ExpectBlendCacheTrue()
    {
        uint32_t src = 0, dst = 0, op = 0;
        disp_blend_mode_get(int(disp_rstate_blend()), &src, &dst, &op);
        EXPECT_EQ(gfx_get_render_state(GFX_RS_SRCBLEND), src);
        EXPECT_EQ(gfx_get_render_state(GFX_RS_DESTBLEND), dst);
        EXPECT_EQ(gfx_get_render_state(GFX_RS_BLENDOP), op);
        EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHABLENDENABLE),
                  disp_rstate_blend() != 0 ? 1u : 0u);
    }
    static uint64_t FrameCalls(uint32_t clear = 0xFF000000u)
    {
        const uint64_t before = gfx_get_counters()->draw_calls;
        DrawFrame(clear);
        return gfx_get_counters()->draw_calls - before;
    }
    static inline std::map<uint32_t, std::unique_ptr<TexRecord>> records_;
};
