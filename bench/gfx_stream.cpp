// Streaming textured quads: the drawing layer's user-pointer draw against
// the same upload and draw written directly in OpenGL, in one process on
// one context. Each batch is 16,384 vertices (4,096 quads, the size of the
// vertex scratch) of the pre-transformed 36-byte layout, drawn with the
// shared quad index list, blended, into an 800 x 600 back buffer. Every
// iteration ends with glFinish so that queued frames do not flatter either
// side. Compare the two items_per_second figures of one run.
//
// The reference side talks to GL itself on purpose: it is the yardstick the
// layer is measured against.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_tex.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kQuadsPerBatch = 4096;
constexpr int kVertsPerBatch = kQuadsPerBatch * 4;  // 16,384
constexpr int kBatches = 8;                         // 32,768 quads per iteration
constexpr int kQuadSize = 4;

struct Vertex {  // FVF 0x244: x, y, z, rhw, colour, two texture sets
    float x, y, z, rhw;
    uint32_t color;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 36);
constexpr uint32_t kFvf = GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (2u << GFX_FVF_TEXCOUNT_SHIFT);

struct Scene {
    void* window = nullptr;
    GfxTexture* tex = nullptr;
    std::vector<Vertex> verts;      // kBatches batches
    std::vector<uint16_t> indices;  // one batch of quads
    bool ok = false;
};

Scene& scene()
{
    static Scene s = [] {
        Scene sc;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        sc.window = gfx_test_window_create(kWidth, kHeight);
        GfxPresentParams pp{kWidth, kHeight, GFX_FMT_D24S8, 0, 0, 1};
        if (!sc.window || !gfx_device_create(sc.window, &pp)) return sc;
        sc.tex = gfx_tex_create(32, 32, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
        GfxLockedRect lr{};
        gfx_tex_lock(sc.tex, 0, nullptr, &lr, 0);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.bits) + y * lr.pitch)[x] =
                    0x80000000u | static_cast<uint32_t>(x * 8) << 16 | static_cast<uint32_t>(y * 8);
        gfx_tex_unlock(sc.tex, 0);
        uint32_t seed = 12345;
        auto rnd = [&seed](int n) {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<float>((seed >> 8) % static_cast<uint32_t>(n));
        };
        sc.verts.resize(static_cast<size_t>(kBatches) * kVertsPerBatch);
        for (size_t q = 0; q < sc.verts.size() / 4; ++q) {
            float x = rnd(kWidth - kQuadSize) - 0.5f, y = rnd(kHeight - kQuadSize) - 0.5f;
            uint32_t c = 0x80FFFFFFu;
            Vertex* v = &sc.verts[q * 4];
            v[0] = {x, y, 0, 1, c, 0, 0, 0, 0};
            v[1] = {x + kQuadSize, y, 0, 1, c, 1, 0, 1, 0};
            v[2] = {x, y + kQuadSize, 0, 1, c, 0, 1, 0, 1};
            v[3] = {x + kQuadSize, y + kQuadSize, 0, 1, c, 1, 1, 1, 1};
        }
        for (int q = 0; q < kQuadsPerBatch; ++q) {
            const uint16_t b = static_cast<uint16_t>(q * 4);
            for (uint16_t i : {b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 3),
                               uint16_t(b + 2), uint16_t(b + 1)})
                sc.indices.push_back(i);
        }
        sc.ok = true;
        return sc;
    }();
    return s;
}

// ---------------------------------------------------------------------------
// Through the layer
// ---------------------------------------------------------------------------
void layer_states(Scene& s)
{
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_ZENABLE, 0);
    gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
    gfx_set_render_state(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
    gfx_set_render_state(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
    gfx_set_texture(0, s.tex);
    gfx_set_sampler_state(0, GFX_SAMP_MINFILTER, GFX_TEXF_POINT);
    gfx_set_sampler_state(0, GFX_SAMP_MAGFILTER, GFX_TEXF_POINT);
    gfx_set_texture_stage_state(0, GFX_TSS_ALPHAOP, GFX_TOP_MODULATE);
    gfx_set_texture_stage_state(0, GFX_TSS_ALPHAARG2, GFX_TA_DIFFUSE);
    gfx_set_fvf(kFvf);
}

void layer_frame(Scene& s)
{
    gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    for (int b = 0; b < kBatches; ++b)
        gfx_draw_indexed_primitive_up(
            GFX_PT_TRIANGLELIST, 0, kVertsPerBatch, kQuadsPerBatch * 2, s.indices.data(),
            GFX_FMT_INDEX16, &s.verts[static_cast<size_t>(b) * kVertsPerBatch], sizeof(Vertex));
    glFinish();
}

void BM_LayerStream(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no device");
        return;
    }
    gfx_invalidate_gl_cache();
    layer_states(s);
    gfx_reset_counters();
    for (auto _ : state) layer_frame(s);
    state.SetItemsProcessed(state.iterations() * kBatches * kQuadsPerBatch);
    state.counters["draws_per_iter"] = static_cast<double>(gfx_get_counters()->draw_calls) /
                                       static_cast<double>(state.iterations());
    gfx_set_texture(0, nullptr);
}
BENCHMARK(BM_LayerStream)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

// ---------------------------------------------------------------------------
// Plain OpenGL: the same vertices and indices uploaded into orphaned
// buffers and drawn with an equivalent program pair.
// ---------------------------------------------------------------------------
struct Raw {
    GLuint vao = 0, vbo = 0, ibo = 0, prog = 0, fbo = 0, color = 0, tex = 0;
};

GLuint make_program()
{
    const char* vs = R"(#version 450 core
layout(location = 0) in vec4 p;
layout(location = 4) in vec4 c;
layout(location = 5) in vec4 t;
out vec4 vc; out vec2 vt;
uniform vec2 size;
void main() {
  gl_Position = vec4((p.x + 0.5) / size.x * 2.0 - 1.0, 1.0 - (p.y + 0.5) / size.y * 2.0, p.z, 1.0);
  vc = c; vt = t.xy;
})";
    const char* fs = R"(#version 450 core
in vec4 vc; in vec2 vt; out vec4 o;
uniform sampler2D tex;
void main() { o = texture(tex, vt) * vc; })";
    GLuint p = glCreateProgram();
    for (auto [type, src] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
        GLuint sh = glCreateShader(type);
        glShaderSource(sh, 1, &src, nullptr);
        glCompileShader(sh);
        glAttachShader(p, sh);
        glDeleteShader(sh);
    }
    glLinkProgram(p);
    return p;
}

Raw& raw()
{
    static Raw r = [] {
        Raw x;
        x.prog = make_program();
        glCreateVertexArrays(1, &x.vao);
        glCreateBuffers(1, &x.vbo);
        glCreateBuffers(1, &x.ibo);
        glNamedBufferData(x.vbo, kVertsPerBatch * sizeof(Vertex), nullptr, GL_STREAM_DRAW);
        glNamedBufferData(x.ibo, kQuadsPerBatch * 6 * 2, nullptr, GL_STREAM_DRAW);
        glEnableVertexArrayAttrib(x.vao, 0);
        glVertexArrayAttribFormat(x.vao, 0, 4, GL_FLOAT, GL_FALSE, 0);
        glEnableVertexArrayAttrib(x.vao, 4);
        glVertexArrayAttribFormat(x.vao, 4, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 16);
        glEnableVertexArrayAttrib(x.vao, 5);
        glVertexArrayAttribFormat(x.vao, 5, 2, GL_FLOAT, GL_FALSE, 20);
        for (GLuint a : {0u, 4u, 5u}) glVertexArrayAttribBinding(x.vao, a, 0);
        glVertexArrayVertexBuffer(x.vao, 0, x.vbo, 0, sizeof(Vertex));
        glVertexArrayElementBuffer(x.vao, x.ibo);
        glCreateTextures(GL_TEXTURE_2D, 1, &x.color);
        glTextureStorage2D(x.color, 1, GL_RGBA8, kWidth, kHeight);
        glCreateFramebuffers(1, &x.fbo);
        glNamedFramebufferTexture(x.fbo, GL_COLOR_ATTACHMENT0, x.color, 0);
        // A texture like the layer's, sampled the same way, on unit 0.
        glCreateTextures(GL_TEXTURE_2D, 1, &x.tex);
        glTextureStorage2D(x.tex, 1, GL_RGBA8, 32, 32);
        std::vector<uint32_t> texels(32 * 32, 0x80808080u);
        glTextureSubImage2D(x.tex, 0, 0, 0, 32, 32, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                            texels.data());
        glTextureParameteri(x.tex, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTextureParameteri(x.tex, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glProgramUniform2f(x.prog, glGetUniformLocation(x.prog, "size"), kWidth, kHeight);
        glProgramUniform1i(x.prog, glGetUniformLocation(x.prog, "tex"), 0);
        return x;
    }();
    return r;
}

// Binds the reference's own state; raw_end hands GL back to the layer.
void raw_begin(Raw& r)
{
    glBindProgramPipeline(0);
    glUseProgram(r.prog);
    glBindSampler(0, 0);
    glBindTextureUnit(0, r.tex);
    glBindVertexArray(r.vao);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, r.fbo);
    glViewport(0, 0, kWidth, kHeight);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBlendEquation(GL_FUNC_ADD);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void raw_end()
{
    glUseProgram(0);
    gfx_invalidate_gl_cache();  // the layer's cache no longer knows GL's state
}

void raw_frame(Scene& s, Raw& r)
{
    const GLsizeiptr vbytes = kVertsPerBatch * sizeof(Vertex), ibytes = kQuadsPerBatch * 6 * 2;
    const float black[4] = {0, 0, 0, 1};
    glClearNamedFramebufferfv(r.fbo, GL_COLOR, 0, black);
    for (int b = 0; b < kBatches; ++b) {
        glInvalidateBufferData(r.vbo);
        glNamedBufferSubData(r.vbo, 0, vbytes, &s.verts[static_cast<size_t>(b) * kVertsPerBatch]);
        glInvalidateBufferData(r.ibo);
        glNamedBufferSubData(r.ibo, 0, ibytes, s.indices.data());
        glDrawElements(GL_TRIANGLES, kQuadsPerBatch * 6, GL_UNSIGNED_SHORT, nullptr);
    }
    glFinish();
}

void BM_RawGlStream(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no device");
        return;
    }
    Raw& r = raw();
    raw_begin(r);
    for (auto _ : state) raw_frame(s, r);
    state.SetItemsProcessed(state.iterations() * kBatches * kQuadsPerBatch);
    raw_end();
}
BENCHMARK(BM_RawGlStream)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

// Both sides in turn within every iteration, so that the load of the
// machine falls on both alike; raw_over_layer is the layer's speed as a
// fraction of plain GL (1.0 = as fast). Each side finishes its own work
// (glFinish) before its clock is read.
template <class LayerWork, class RawWork>
void run_interleaved(benchmark::State& state, LayerWork layer_work, RawWork raw_work)
{
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no device");
        return;
    }
    Raw& r = raw();
    double layer_s = 0, raw_s = 0;
    for (auto _ : state) {
        gfx_invalidate_gl_cache();
        layer_states(s);
        auto t0 = std::chrono::steady_clock::now();
        layer_work(s);
        auto t1 = std::chrono::steady_clock::now();
        raw_begin(r);
        auto t2 = std::chrono::steady_clock::now();
        raw_work(s, r);
        auto t3 = std::chrono::steady_clock::now();
        raw_end();
        layer_s += std::chrono::duration<double>(t1 - t0).count();
        raw_s += std::chrono::duration<double>(t3 - t2).count();
    }
    double n = static_cast<double>(state.iterations());
    state.counters["layer_ms"] = layer_s / n * 1e3;
    state.counters["raw_ms"] = raw_s / n * 1e3;
    state.counters["raw_over_layer"] = layer_s > 0 ? raw_s / layer_s : 0;
    gfx_set_texture(0, nullptr);
}

void BM_LayerVsRawInterleaved(benchmark::State& state)
{
    run_interleaved(
        state, [](Scene& s) { layer_frame(s); }, [](Scene& s, Raw& r) { raw_frame(s, r); });
}
BENCHMARK(BM_LayerVsRawInterleaved)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// Many small draws (8 quads each), as text and sprites issue them: the
// per-draw cost of the layer (state cache, stage choice, ring) against
// plain GL's orphaned uploads.
constexpr int kSmallQuads = 8, kSmallDraws = 2048;

void BM_SmallDrawsInterleaved(benchmark::State& state)
{
    const GLsizeiptr vbytes = kSmallQuads * 4 * sizeof(Vertex), ibytes = kSmallQuads * 6 * 2;
    run_interleaved(
        state,
        [](Scene& s) {
            for (int i = 0; i < kSmallDraws; ++i)
                gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, kSmallQuads * 4,
                                              kSmallQuads * 2, s.indices.data(), GFX_FMT_INDEX16,
                                              &s.verts[static_cast<size_t>(i) * kSmallQuads * 4],
                                              sizeof(Vertex));
            glFinish();
        },
        [=](Scene& s, Raw& r) {
            for (int i = 0; i < kSmallDraws; ++i) {
                glInvalidateBufferData(r.vbo);
                glNamedBufferSubData(r.vbo, 0, vbytes,
                                     &s.verts[static_cast<size_t>(i) * kSmallQuads * 4]);
                glInvalidateBufferData(r.ibo);
                glNamedBufferSubData(r.ibo, 0, ibytes, s.indices.data());
                glDrawElements(GL_TRIANGLES, kSmallQuads * 6, GL_UNSIGNED_SHORT, nullptr);
            }
            glFinish();
        });
}
BENCHMARK(BM_SmallDrawsInterleaved)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
