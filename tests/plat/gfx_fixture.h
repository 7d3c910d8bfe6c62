// One hidden GL window and device per test program; each test starts reset, culling off.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "math/vm_types.h"
#include "plat/byte_order.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_shader.h"
#include "plat/gfx_tex.h"

constexpr int GFX_FIXTURE_W = 64, GFX_FIXTURE_H = 48;
constexpr uint32_t GFX_FIXTURE_BLACK = 0xFF000000u, GFX_FIXTURE_WHITE = 0xFFFFFFFFu,
                   GFX_FIXTURE_RED = 0xFFFF0000u;
constexpr uint32_t GFX_FIXTURE_GREEN = 0xFF00FF00u, GFX_FIXTURE_BLUE = 0xFF0000FFu;

// One vertex of the pre-transformed, coloured, textured layout (FVF 0x144).
struct TlVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
constexpr uint32_t GFX_FIXTURE_TL_FVF =
    GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (1u << GFX_FVF_TEXCOUNT_SHIFT);
// Clip-space position and colour, and the same with one texture set.
struct Vc {
    float x, y, z;
    uint32_t c;
};
struct Vct {
    float x, y, z;
    uint32_t c;
    float u, v;
};
constexpr uint32_t GFX_FIXTURE_VC_FVF = GFX_FVF_XYZ | GFX_FVF_DIFFUSE;
constexpr uint32_t GFX_FIXTURE_VCT_FVF = GFX_FIXTURE_VC_FVF | (1u << GFX_FVF_TEXCOUNT_SHIFT);

using RenderStates = std::initializer_list<std::pair<GfxRs, uint32_t>>;
inline void set_states(RenderStates list)
{
    for (auto [rs, value] : list) gfx_set_render_state(rs, value);
}

template <typename V>
void draw_up(uint32_t fvf, GfxPrim type, uint32_t prims, const V* v)
{
    ASSERT_EQ(gfx_set_fvf(fvf), GFX_OK);
    ASSERT_EQ(gfx_draw_primitive_up(type, prims, v, sizeof(V)), GFX_OK);
}

// A pre-transformed quad over pixels [x0, x1) x [y0, y1), texture coordinates 0..1.
inline void quad(float x0, float y0, float x1, float y1, uint32_t color, float z = 0.0f)
{
    const TlVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, z, 1, color, 0, 0},
                           {x1 - 0.5f, y0 - 0.5f, z, 1, color, 1, 0},
                           {x0 - 0.5f, y1 - 0.5f, z, 1, color, 0, 1},
                           {x1 - 0.5f, y1 - 0.5f, z, 1, color, 1, 1}};
    draw_up(GFX_FIXTURE_TL_FVF, GFX_PT_TRIANGLESTRIP, 2, v);
}

// A w x h A8R8G8B8 texture whose texel (x, y) is colour(x, y); null if it cannot be made.
template <typename F>
GfxTexture* pattern_texture(int w, int h, F colour)
{
    GfxTexture* t = gfx_tex_create(w, h, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
    GfxLockedRect lr{};
    if (!t || gfx_tex_lock(t, 0, nullptr, &lr, 0) != GFX_OK) {
        gfx_tex_release(t);
        return nullptr;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            std::memcpy(static_cast<uint8_t*>(lr.bits) + y * lr.pitch + x * 4, &c, 4);
        }
    gfx_tex_unlock(t, 0);
    return t;
}

inline uint32_t texel32(const GfxLockedRect& lr, int x, int y)
{
    uint32_t c;
    std::memcpy(&c, static_cast<const uint8_t*>(lr.bits) + y * lr.pitch + x * 4, 4);
    return c;
}

class GfxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        window_ = gfx_test_window_create(GFX_FIXTURE_W, GFX_FIXTURE_H);
        ASSERT_NE(window_, nullptr);
        GfxPresentParams pp{GFX_FIXTURE_W, GFX_FIXTURE_H, GFX_FMT_D24S8, 0, 0, 1};
        ASSERT_EQ(gfx_device_create(window_, &pp), 1);
    }
    static void TearDownTestSuite()
    {
        gfx_device_destroy();
        gfx_test_window_destroy(window_);
        window_ = nullptr;
    }
    void SetUp() override
    {
        GfxPresentParams pp{GFX_FIXTURE_W, GFX_FIXTURE_H, GFX_FMT_D24S8, 0, 0, 1};
        ASSERT_EQ(gfx_reset(&pp), GFX_OK);
        ASSERT_EQ(gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000u,
                            1.0f, 0),
                  GFX_OK);
        gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    }
    // Pixel (x, y) of the colour target as 0xAARRGGBB.
    static uint32_t pixel(int x, int y)
    {
        uint8_t p[4] = {};
        EXPECT_EQ(gfx_read_pixels(x, y, 1, 1, p, 4), GFX_OK);
        return plat_le_get32(p);
    }
    static uint32_t centre() { return pixel(GFX_FIXTURE_W / 2, GFX_FIXTURE_H / 2); }
    // Each channel within `tol` of the expected colour.
    static bool near(uint32_t got, uint32_t want, int tol = 2)
    {
        for (int s = 0; s < 32; s += 8) {
            int a = static_cast<int>((got >> s) & 0xFF), b = static_cast<int>((want >> s) & 0xFF);
            if (std::abs(a - b) > tol) return false;
        }
        return true;
    }
    static void expect_at(std::initializer_list<std::tuple<int, int, uint32_t>> at)
    {
        for (auto [x, y, want] : at)
            EXPECT_TRUE(near(pixel(x, y), want))
                << "at " << x << "," << y << std::hex << " got " << pixel(x, y) << " want " << want;
    }
    // A quad over the whole viewport in clip space at z 0.5, with texture
    // coordinates 0..1 when `textured`, moved by (dx, dy).
    static void clip_quad(uint32_t color, bool textured = false, float dx = 0, float dy = 0)
    {
        const Vct v[4] = {{-1 + dx, 1 + dy, 0.5f, color, 0, 0},
                          {1 + dx, 1 + dy, 0.5f, color, 1, 0},
                          {-1 + dx, -1 + dy, 0.5f, color, 0, 1},
                          {1 + dx, -1 + dy, 0.5f, color, 1, 1}};
        Vc plain[4];
        for (int i = 0; i < 4; ++i) plain[i] = {v[i].x, v[i].y, v[i].z, v[i].c};
        if (textured)
            draw_up(GFX_FIXTURE_VCT_FVF, GFX_PT_TRIANGLESTRIP, 2, v);
        else
            draw_up(GFX_FIXTURE_VC_FVF, GFX_PT_TRIANGLESTRIP, 2, plain);
    }
    static void* window_;
};
inline void* GfxTest::window_ = nullptr;

inline GfxShader* compile(GfxShaderKind kind, const std::string& src, const char* entry,
                          const char* profile, std::string* log = nullptr)
{
    char err[2048] = {};
    GfxShader* s =
        gfx_shader_compile(kind, src.data(), src.size(), entry, profile, err, sizeof err);
    if (log) *log = err;
    return s;
}

// A test with a vertex and a pixel stage of its own, unbound and released after it.
class GfxStagesTest : public GfxTest {
protected:
    void compile_stages(const char* vs, const char* ps, const char* vs_profile)
    {
        std::string log;
        vs_ = compile(GFX_SHADER_VERTEX, vs, "VsMain", vs_profile, &log);
        ASSERT_NE(vs_, nullptr) << log;
        ps_ = compile(GFX_SHADER_PIXEL, ps, "PsMain", "ps_2_0", &log);
        ASSERT_NE(ps_, nullptr) << log;
    }
    void TearDown() override
    {
        gfx_set_vertex_shader(nullptr);
        gfx_set_pixel_shader(nullptr);
        gfx_shader_release(vs_);
        gfx_shader_release(ps_);
    }
    GfxShader* vs_ = nullptr;
    GfxShader* ps_ = nullptr;
};
