// Ours against plain OpenGL (the yardstick, so it talks to GL itself) doing the same work on
// one context: each comparison alternates the two for VERSUS_GL_ROUNDS rounds after a warm-up, each side
// ending with glFinish before its clock is read, so that the machine's load falls on both alike.
// Counters: ours_ms, gl_ms (medians of one frame); ratio (median of gl / ours: 1.0 is as fast as
// plain GL); extra_ms (median of ours minus gl); ours_cpu_ms, gl_cpu_ms (the drawing thread's
// CPU time per frame: the renderer shades vertices and sets triangles up on that thread).
#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/bench_util.h"
#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/fog.h"
#include "disp/screenshot.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "obj2d/spr.h"
#include "obj3d/mdlobj.h"
#include "plat/gfx_draw.h"
#include "res/res.h"

constexpr int VERSUS_GL_W = 800, VERSUS_GL_H = 600, VERSUS_GL_ROUNDS = 7, VERSUS_GL_BATCH = 4096;

// Of an odd number of rounds.
double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double thread_cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Wall time of one of `frames` frames; the thread's CPU time per frame is added to *cpu.
template <class Work>
double timed_ms(int frames, int& frame, Work work, double* cpu)
{
    const auto t0 = bench::Clock::now();
    const double c0 = thread_cpu_ms();
    for (int f = 0; f < frames; ++f) work(frame++);
    glFinish();
    *cpu += (thread_cpu_ms() - c0) / frames;
    return bench::ms_since(t0) / frames;
}

template <class Ours, class Gl>
void compare(benchmark::State& state, int frames, Ours ours, Gl gl_frame)
{
    auto gl = [&](int f) {  // each reference frame hands GL back to the layer
        gl_frame(f);
        glUseProgram(0);
        glBindVertexArray(0);
        gfx_invalidate_gl_cache();
    };
    double cpu_o = 0, cpu_g = 0;
    int frame = 0;
    timed_ms(1, frame, ours, &cpu_o), timed_ms(1, frame, gl, &cpu_g);
    cpu_o = cpu_g = 0;
    std::vector<double> o, g, ratio, extra;
    for (auto _ : state) {
        const double a = timed_ms(frames, frame, ours, &cpu_o);
        const double b = timed_ms(frames, frame, gl, &cpu_g);
        o.push_back(a), g.push_back(b), ratio.push_back(b / a), extra.push_back(a - b);
    }
    const double n = double(o.size());
    state.counters["ours_ms"] = median(o), state.counters["gl_ms"] = median(g);
    state.counters["ratio"] = median(ratio), state.counters["extra_ms"] = median(extra);
    state.counters["ours_cpu_ms"] = cpu_o / n, state.counters["gl_cpu_ms"] = cpu_g / n;
}

// The reference's GL objects go with the context when the display stops.
GLuint program(const char* vs, const char* fs)
{
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

GLuint texture(int side, uint32_t texel, GLint filter)
{
    GLuint t = 0;
    glCreateTextures(GL_TEXTURE_2D, 1, &t);
    glTextureStorage2D(t, 1, GL_RGBA8, side, side);
    std::vector<uint32_t> px(size_t(side) * side, texel);
    glTextureSubImage2D(t, 0, 0, 0, side, side, GL_BGRA, GL_UNSIGNED_BYTE, px.data());
    glTextureParameteri(t, GL_TEXTURE_MIN_FILTER, filter);
    glTextureParameteri(t, GL_TEXTURE_MAG_FILTER, filter);
    return t;
}

// The reference's off-screen frame (colour, depth-stencil) and its present:
// a flipped copy into the window and a swap, as ours does.
struct GlFrame {
    GLuint fbo = 0, color = 0, depth = 0;
    int w, h;
    GlFrame(int width, int height) : w(width), h(height)
    {
        glCreateTextures(GL_TEXTURE_2D, 1, &color);
        glTextureStorage2D(color, 1, GL_RGBA8, w, h);
        glCreateRenderbuffers(1, &depth);
        glNamedRenderbufferStorage(depth, GL_DEPTH24_STENCIL8, w, h);
        glCreateFramebuffers(1, &fbo);
        glNamedFramebufferTexture(fbo, GL_COLOR_ATTACHMENT0, color, 0);
        glNamedFramebufferRenderbuffer(fbo, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    }
    // Binds the frame with blending and depth as asked, and clears it.
    void begin(bool blend, bool depth_test) const
    {
        glBindProgramPipeline(0);
        glBindSampler(0, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
        glViewport(0, 0, w, h);
        for (GLenum cap : {GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_CULL_FACE}) glDisable(cap);
        for (int i = 0; i < 6; ++i) glDisable(GL_CLIP_DISTANCE0 + i);
        (blend ? glEnable : glDisable)(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquation(GL_FUNC_ADD);
        (depth_test ? glEnable : glDisable)(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        const float black[4] = {0, 0, 0, 1};
        glClearNamedFramebufferfv(fbo, GL_COLOR, 0, black);
        if (depth_test) glClearNamedFramebufferfi(fbo, GL_DEPTH_STENCIL, 0, 1.0f, 0);
    }
    void present(void* window) const
    {
        glBlitNamedFramebuffer(fbo, 0, 0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(static_cast<SDL_Window*>(window));
    }
};

// Textured quads: 36-byte pre-transformed vertices, batches of 4,096.
struct QuadVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u0, v0, u1, v1;
};
constexpr uint32_t VERSUS_GL_QUAD_FVF =
    GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (2u << GFX_FVF_TEXCOUNT_SHIFT);

void put_quad(QuadVertex* v, float x, float y, float s, uint32_t c)
{
    v[0] = {x, y, 0, 1, c, 0, 0, 0, 0};
    v[1] = {x + s, y, 0, 1, c, 1, 0, 1, 0};
    v[2] = {x, y + s, 0, 1, c, 0, 1, 0, 1};
    v[3] = {x + s, y + s, 0, 1, c, 1, 1, 1, 1};
}

const char* const VERSUS_GL_TEXTURE_TIMES_COLOUR = R"(#version 450 core
in vec4 vc; in vec2 vt; out vec4 o;
uniform sampler2D tex;
void main() { o = texture(tex, vt) * vc; })";

struct GlQuads {
    GLuint prog, vao = 0, vbo = 0, ibo = 0, tex = texture(32, 0x80808080u, GL_NEAREST);
    std::vector<uint16_t> idx;
    GlQuads()
    {
        prog = program(R"(#version 450 core
layout(location = 0) in vec4 p;
layout(location = 4) in vec4 c;
layout(location = 5) in vec4 t;
out vec4 vc; out vec2 vt;
void main() {
  gl_Position = vec4((p.x + 0.5) / 400.0 - 1.0, 1.0 - (p.y + 0.5) / 300.0, p.z, 1.0);
  vc = c; vt = t.xy;
})",
                       VERSUS_GL_TEXTURE_TIMES_COLOUR);
        for (int q = 0; q < VERSUS_GL_BATCH; ++q)
            for (int k : {0, 1, 2, 3, 2, 1}) idx.push_back(uint16_t(q * 4 + k));
        glCreateVertexArrays(1, &vao);
        glCreateBuffers(1, &vbo);
        glCreateBuffers(1, &ibo);
        glNamedBufferData(vbo, VERSUS_GL_BATCH * 4 * sizeof(QuadVertex), nullptr, GL_STREAM_DRAW);
        glNamedBufferData(ibo, VERSUS_GL_BATCH * 12, nullptr, GL_STREAM_DRAW);
        for (auto [a, n, type, norm, off] :
             {std::tuple{0u, 4, GL_FLOAT, GL_FALSE, 0u},
              std::tuple{4u, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 16u},
              std::tuple{5u, 2, GL_FLOAT, GL_FALSE, 20u}}) {
            glEnableVertexArrayAttrib(vao, a);
            glVertexArrayAttribFormat(vao, a, n, GLenum(type), GLboolean(norm), off);
            glVertexArrayAttribBinding(vao, a, 0);
        }
        glVertexArrayVertexBuffer(vao, 0, vbo, 0, sizeof(QuadVertex));
        glVertexArrayElementBuffer(vao, ibo);
    }
    // Quads in draws of at most `per_draw`, each through orphaned buffers.
    void draw(const QuadVertex* v, int quads, int per_draw = VERSUS_GL_BATCH) const
    {
        glUseProgram(prog);
        glBindTextureUnit(0, tex);
        glBindVertexArray(vao);
        for (int q = 0; q < quads; q += per_draw) {
            const int n = std::min(per_draw, quads - q);
            glInvalidateBufferData(vbo);
            glNamedBufferSubData(vbo, 0, GLsizeiptr(n) * 4 * sizeof(QuadVertex), v + q * 4);
            glInvalidateBufferData(ibo);
            glNamedBufferSubData(ibo, 0, GLsizeiptr(n) * 12, idx.data());
            glDrawElements(GL_TRIANGLES, n * 6, GL_UNSIGNED_SHORT, nullptr);
        }
    }
};

// 32,768 quads of range(0) pixels streamed through the drawing layer, blended and modulated by
// a texture, in draws of range(1) quads.
void BM_Quads(benchmark::State& state)
{
    const float size = float(state.range(0));
    const int per_draw = int(state.range(1));
    bench::Display disp(VERSUS_GL_W, VERSUS_GL_H);
    if (!disp.ok) return state.SkipWithError("no device");
    constexpr int VERSUS_GL_QUADS = 8 * VERSUS_GL_BATCH;
    std::vector<QuadVertex> verts(size_t(VERSUS_GL_QUADS) * 4);
    bench::Lcg rng{12345};
    auto rnd = [&rng](int n) { return float((rng.next() >> 8) % uint32_t(n)); };
    for (int q = 0; q < VERSUS_GL_QUADS; ++q)
        put_quad(&verts[size_t(q) * 4], rnd(VERSUS_GL_W - int(size)) - 0.5f,
                 rnd(VERSUS_GL_H - int(size)) - 0.5f, size, 0x80FFFFFFu);
    GfxTexture* tex = gfx_tex_create(32, 32, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
    GfxLockedRect lr{};
    gfx_tex_lock(tex, 0, nullptr, &lr, 0);
    std::fill_n(static_cast<uint32_t*>(lr.bits), 32 * 32, 0x80808080u);
    gfx_tex_unlock(tex, 0);
    GlFrame frame(VERSUS_GL_W, VERSUS_GL_H);
    GlQuads gl;
    compare(
        state, per_draw == VERSUS_GL_BATCH ? 10 : 2,
        [&](int) {
            gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
            gfx_set_render_state(GFX_RS_ZENABLE, 0);
            gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
            gfx_set_render_state(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
            gfx_set_render_state(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
            gfx_set_texture(0, tex);
            gfx_set_texture_stage_state(0, GFX_TSS_ALPHAOP, GFX_TOP_MODULATE);
            gfx_set_texture_stage_state(0, GFX_TSS_ALPHAARG2, GFX_TA_DIFFUSE);
            gfx_set_fvf(VERSUS_GL_QUAD_FVF);
            gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
            for (int q = 0; q < VERSUS_GL_QUADS; q += per_draw)
                gfx_draw_indexed_primitive_up(
                    GFX_PT_TRIANGLELIST, 0, uint32_t(per_draw) * 4, uint32_t(per_draw) * 2,
                    gl.idx.data(), GFX_FMT_INDEX16, &verts[size_t(q) * 4], sizeof(QuadVertex));
        },
        [&](int) {
            frame.begin(true, false);
            gl.draw(verts.data(), VERSUS_GL_QUADS, per_draw);
        });
    gfx_set_texture(0, nullptr);
    gfx_tex_release(tex);
}
BENCHMARK(BM_Quads)
    ->ArgsProduct({{4, 32}, {VERSUS_GL_BATCH}})
    ->Args({4, 8})
    ->Iterations(VERSUS_GL_ROUNDS)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// 10,000 moving 32 x 32 sprites through the sprite objects and the display frame, against one
// plain-GL batch of the same quads, a clear and a present.
constexpr int VERSUS_GL_SPRITES = 10000;
std::vector<DrawObj*> g_sprites;
void draw_sprites() { spr_draw(g_sprites.data(), int(g_sprites.size())); }

void BM_Sprites10k(benchmark::State& state)
{
    bench::Display disp(VERSUS_GL_W, VERSUS_GL_H);
    if (!disp.ok) return state.SkipWithError("no device");
    std::vector<uint32_t> px(32 * 32);
    for (int i = 0; i < 32 * 32; ++i) px[size_t(i)] = 0x80000000u | uint32_t(i * 97);
    const ResHandle tex = res_tex_create("bench", "sprite", 32, 32, RES_TEX_FORMAT_ARGB32, false);
    res_tex_set_image(tex, 0, 0, 32, 32, px.data());
    std::vector<DrawObj> recs(VERSUS_GL_SPRITES);
    for (DrawObj& o : recs) spr_init(&o), spr_set_tex(&o, tex), g_sprites.push_back(&o);
    auto pos = [](int i, int f, int span, int speed) {
        return float((i * 7919 + f * (1 + i % speed)) % span);
    };
    GlFrame frame(VERSUS_GL_W, VERSUS_GL_H);
    GlQuads gl;
    std::vector<QuadVertex> verts(size_t(VERSUS_GL_SPRITES) * 4);
    compare(
        state, 10,
        [&](int f) {
            for (int i = 0; i < VERSUS_GL_SPRITES; ++i)
                spr_set_pos(&recs[size_t(i)], pos(i, f, VERSUS_GL_W - 32, 5),
                            pos(i, f, VERSUS_GL_H - 32, 3));
            disp_update(draw_sprites);
        },
        [&](int f) {
            for (int i = 0; i < VERSUS_GL_SPRITES; ++i)
                put_quad(&verts[size_t(i) * 4], pos(i, f, VERSUS_GL_W - 32, 5) - 0.5f,
                         pos(i, f, VERSUS_GL_H - 32, 3) - 0.5f, 32, 0xFFFFFFFFu);
            frame.begin(true, true);
            gl.draw(verts.data(), VERSUS_GL_SPRITES);
            frame.present(disp.window);
        });
    g_sprites.clear();
}
BENCHMARK(BM_Sprites10k)
    ->Iterations(VERSUS_GL_ROUNDS)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// 512 model objects of a 448-triangle sphere through the display frame's 3D pass, against the
// same mesh lit by one directional light in plain GL, drawn as the pass draws it: alpha-blended,
// the colour times the texture of stage 0 (white, as the stage is empty).
void BM_Models512(benchmark::State& state)
{
    bench::Display disp(VERSUS_GL_W, VERSUS_GL_H);
    if (!disp.ok) return state.SkipWithError("no device");
    const float fov = 1.2217306f, zn = 0.1f, zf = 1000.0f;
    const Vec3 zero = {0, 0, 0};
    cam_set_pos_rot(0, &zero, &zero);
    cam_set_viewport(0, 0, 0, VERSUS_GL_W, VERSUS_GL_H);
    cam_set_near_far(0, zn, zf, zf);
    cam_set_fov(0, fov);
    env_set_light_enable(0, 1);
    fog_set_enable(0, 0);
    MeshSource src{};
    std::vector<float> interleaved;  // position and normal
    constexpr int VERSUS_GL_STACKS = 14, VERSUS_GL_SLICES = 16;
    for (int i = 0; i <= VERSUS_GL_STACKS; ++i)
        for (int j = 0; j <= VERSUS_GL_SLICES; ++j) {
            const float t = VM_PI * float(i) / VERSUS_GL_STACKS,
                        p = VM_TWO_PI * float(j) / VERSUS_GL_SLICES;
            const float v[3] = {std::sin(t) * std::cos(p), std::cos(t), std::sin(t) * std::sin(p)};
            src.positions.insert(src.positions.end(), v, v + 3);
            src.normals.insert(src.normals.end(), v, v + 3);
            for (int k = 0; k < 2; ++k) interleaved.insert(interleaved.end(), v, v + 3);
        }
    for (int i = 0; i < VERSUS_GL_STACKS; ++i)
        for (int j = 0; j < VERSUS_GL_SLICES; ++j) {
            const int a = i * (VERSUS_GL_SLICES + 1) + j, b = a + VERSUS_GL_SLICES + 1;
            for (int k : {a, a + 1, b, a + 1, b + 1, b}) src.indices.push_back(uint32_t(k));
        }
    const std::vector<uint16_t> idx(src.indices.begin(), src.indices.end());
    src.vertex_count = uint32_t(src.positions.size() / 3);
    src.index_count = uint32_t(src.indices.size());
    src.index_bits = 16;
    src.subsets.push_back(MeshSubsetSrc{});
    src.subsets[0].last = src.index_count / 3 - 1;
    src.sphere[3] = src.sphere[4] = src.sphere[5] = 1;
    for (int k = 0; k < 3; ++k) src.box_min[k] = -1, src.box_max[k] = 1;
    const ResHandle mesh = res_mesh_register("bench", "sphere", src, 0);
    auto place = [](int i) {
        return Vec3{(float(i % 32) - 15.5f) * 1.6f, (float(i / 32) - 7.5f) * 1.6f, 40.0f};
    };
    for (int i = 0; i < 512; ++i) {
        Mat44 m;
        const Vec3 t = place(i);
        // The reference draws without fog, so ours must not fog either.
        mdlobj_set_fog(mdlobj_create(0, vm_mat_translation(&m, &t), mesh, 81), 0);
    }
    GlFrame frame(VERSUS_GL_W, VERSUS_GL_H);
    const GLuint prog = program(R"(#version 450 core
layout(location = 0) in vec3 p;
layout(location = 1) in vec3 n;
uniform mat4 wvp, wv;
out vec4 vc;
out vec2 vt;
void main() {
  gl_Position = wvp * vec4(p, 1.0);
  vt = vec2(0.5);
  vec3 vn = normalize((wv * vec4(n, 0.0)).xyz);
  vc = vec4(clamp(vec3(0.2) + max(dot(vn, vec3(0.3, 0.5, -0.8)), 0.0), 0.0, 1.0), 1.0);
})",
                                VERSUS_GL_TEXTURE_TIMES_COLOUR);
    const GLuint white = texture(1, 0xFFFFFFFFu, GL_LINEAR);
    GLuint vao = 0, buf[2] = {};
    glCreateVertexArrays(1, &vao);
    glCreateBuffers(2, buf);
    glNamedBufferData(buf[0], GLsizeiptr(interleaved.size() * 4), interleaved.data(),
                      GL_STATIC_DRAW);
    glNamedBufferData(buf[1], GLsizeiptr(idx.size() * 2), idx.data(), GL_STATIC_DRAW);
    for (GLuint a : {0u, 1u}) {
        glEnableVertexArrayAttrib(vao, a);
        glVertexArrayAttribFormat(vao, a, 3, GL_FLOAT, GL_FALSE, a * 12);
        glVertexArrayAttribBinding(vao, a, 0);
    }
    glVertexArrayVertexBuffer(vao, 0, buf[0], 0, 24);
    glVertexArrayElementBuffer(vao, buf[1]);
    const GLint l_wvp = glGetUniformLocation(prog, "wvp"), l_wv = glGetUniformLocation(prog, "wv");
    const float f = 1.0f / std::tan(fov / 2), fa = f * VERSUS_GL_H / VERSUS_GL_W,
                q = zf / (zf - zn);
    compare(
        state, 5, [](int) { disp_update(nullptr); },
        [&](int) {
            frame.begin(true, true);
            glEnable(GL_CULL_FACE);
            glUseProgram(prog);
            glBindTextureUnit(0, white);
            glBindVertexArray(vao);
            for (int i = 0; i < 512; ++i) {  // column-major: projection times translation
                const Vec3 t = place(i);
                const float wv[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, t.x, t.y, t.z, 1};
                const float wvp[16] = {
                    fa, 0, 0, 0, 0, f, 0, 0, 0, 0, q, 1, fa * t.x, f * t.y, q * t.z - zn * q, t.z};
                glUniformMatrix4fv(l_wvp, 1, GL_FALSE, wvp);
                glUniformMatrix4fv(l_wv, 1, GL_FALSE, wv);
                glDrawElements(GL_TRIANGLES, GLsizei(idx.size()), GL_UNSIGNED_SHORT, nullptr);
            }
            frame.present(disp.window);
        });
}
BENCHMARK(BM_Models512)
    ->Iterations(3 * VERSUS_GL_ROUNDS)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// An empty display frame against a plain-GL clear and present.
void BM_EmptyFrame(benchmark::State& state)
{
    bench::Display disp(VERSUS_GL_W, VERSUS_GL_H);
    if (!disp.ok) return state.SkipWithError("no device");
    GlFrame frame(VERSUS_GL_W, VERSUS_GL_H);
    compare(
        state, 50, [](int) { disp_update(nullptr); },
        [&](int) {
            frame.begin(false, true);
            frame.present(disp.window);
        });
}
BENCHMARK(BM_EmptyFrame)
    ->Iterations(VERSUS_GL_ROUNDS)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Saving a 1024 x 1024 picture, against a plain read-back, the conversion
// into the BMP's rows and one write through the same file writer.
void BM_Save1024(benchmark::State& state)
{
    constexpr int VERSUS_GL_SIDE = 1024;
    bench::Display disp(VERSUS_GL_SIDE, VERSUS_GL_SIDE);
    if (!disp.ok) return state.SkipWithError("no device");
    disp_update(nullptr);
    const bench::TempDir dir("save");
    const std::string ours = dir.path / "ours.bmp", theirs = dir.path / "gl.bmp";
    GlFrame frame(VERSUS_GL_SIDE, VERSUS_GL_SIDE);
    compare(
        state, 5,
        [&](int) {
            disp_screenshot_request(ours, 0, 0, VERSUS_GL_SIDE, VERSUS_GL_SIDE);
            disp_screenshot_take();
            disp_screenshot_write(tex_get_target_record());
        },
        [&](int) {  // buffers made per save, as a save function makes them
            const size_t bytes = 54 + size_t(VERSUS_GL_SIDE) * VERSUS_GL_SIDE * 3;
            std::unique_ptr<uint8_t[]> px(new uint8_t[size_t(VERSUS_GL_SIDE) * VERSUS_GL_SIDE * 4]),
                file(new uint8_t[bytes]{});
            glBindFramebuffer(GL_READ_FRAMEBUFFER, frame.fbo);
            glReadPixels(0, 0, VERSUS_GL_SIDE, VERSUS_GL_SIDE, GL_BGRA, GL_UNSIGNED_BYTE, px.get());
            uint8_t* out = file.get() + 54;
            for (int r = VERSUS_GL_SIDE - 1; r >= 0; --r)
                for (const uint8_t *s = &px[size_t(r) * VERSUS_GL_SIDE * 4],
                                   *e = s + VERSUS_GL_SIDE * 4;
                     s < e; s += 4, out += 3)
                    out[0] = s[0], out[1] = s[1], out[2] = s[2];
            // Written as saves are (complete and synced), so that the two
            // differ only in the read-back and the conversion.
            plat_write_file(theirs, {file.get(), bytes}, nullptr);
        });
}
BENCHMARK(BM_Save1024)
    ->Iterations(3 * VERSUS_GL_ROUNDS)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
