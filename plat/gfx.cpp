// gfx: the drawing device's start and stop, caps and format checks, begin
// and end of the scene, present, device loss and reset, and the counters.
// See gfx.h for the conventions callers rely on. The states callers set are
// in gfx_state.cpp, the GL state cache in gfx_gl_state.cpp, the render
// targets with clear and read-back in gfx_target.cpp.
//
// Sections: 1 device start/stop  2 frame and loss  3 counters
#include "plat/gfx_local.h"
#include "plat/alloc.h"

#include <SDL.h>

GfxDevice gfx_dev;

// ===========================================================================
// 1 Device start and stop
// ===========================================================================
namespace {

void set_gl_attributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// Keeps the GL library (and the driver) loaded until the process ends, so
// that memory the driver keeps until exit is not reported as leaked from an
// unloaded module.
void hold_gl_library()
{
    static int held = 0;
    if (!held) held = SDL_GL_LoadLibrary(nullptr) == 0;
}

void read_caps(GfxDevice& d)
{
    d.caps = GfxCaps{};
    d.caps.vertex_shader_version = 0xFFFE0300u;
    d.caps.pixel_shader_version = 0xFFFF0300u;
    d.caps.max_simultaneous_rts = GFX_MAX_RENDER_TARGETS;
    GLint v = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &v);
    d.caps.max_texture_size = v;
    glGetIntegerv(GL_MAX_SAMPLES, &v);
    d.caps.max_samples = v;
    d.caps.s3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc") ? 1 : 0;
}

// Sample counts: 0 and 1 mean none; a count the driver refuses falls back
// to none rather than failing the device.
int effective_samples(int want)
{
    if (want <= 1 || want > GFX_MAX_SAMPLES) return 0;
    return want <= gfx_dev.caps.max_samples ? want : 0;
}

void release_device_objects(GfxDevice& d)
{
    gfx_draw_stop();
    gfx_shader_stop_all();
    gfx_tex_stop();
    if (d.pipeline) glDeleteProgramPipelines(1, &d.pipeline);
    for (auto& s : d.sampler)
        if (s) glDeleteSamplers(1, &s), s = 0;
    d.pipeline = 0;
}

}  // namespace

void* gfx_test_window_create(int width, int height)
{
    plat_alloc_setup();
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    hold_gl_library();
    set_gl_attributes();
    return SDL_CreateWindow("quorvel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                            height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

void gfx_test_window_destroy(void* window)
{
    if (window) SDL_DestroyWindow(static_cast<SDL_Window*>(window));
}

int gfx_device_create(void* native_window, const GfxPresentParams* pp)
{
    GfxDevice& d = gfx_dev;
    if (d.ok || !native_window || !pp) return 0;
    static uint32_t generations = 0;
    d = GfxDevice{};
    d.generation = ++generations;
    hold_gl_library();
    set_gl_attributes();
    SDL_GLContext ctx = SDL_GL_CreateContext(static_cast<SDL_Window*>(native_window));
    if (!ctx) return 0;
    if (epoxy_gl_version() < 45) {
        SDL_GL_DeleteContext(ctx);
        return 0;
    }
    d.window = native_window;
    d.context = ctx;
    read_caps(d);
    d.pp = *pp;
    d.pp.samples = effective_samples(pp->samples);
    if (d.pp.depth_format != GFX_FMT_D24S8 && d.pp.depth_format != GFX_FMT_D16)
        d.pp.depth_format = GFX_FMT_UNKNOWN;
    SDL_GL_SetSwapInterval(d.pp.vsync ? 1 : 0);

    glCreateProgramPipelines(1, &d.pipeline);
    glCreateSamplers(GFX_MAX_STAGES, d.sampler.data());
    d.ok = 1;  // the start below calls the layer's own functions
    gfx_invalidate_gl_cache();
    int w = d.pp.width, h = d.pp.height;
    if (w <= 0 || h <= 0) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(native_window), &w, &h);
    if (!gfx_tex_start() || !gfx_backbuffer_make(d.pp, w, h) || !gfx_draw_start()) {
        release_device_objects(d);
        SDL_GL_DeleteContext(ctx);
        d = GfxDevice{};
        return 0;
    }
    gfx_states_set_defaults(d);
    return 1;
}

void gfx_device_destroy(void)
{
    GfxDevice& d = gfx_dev;
    if (!d.ok) return;
    gfx_backbuffer_free();
    release_device_objects(d);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(d.context));
    d = GfxDevice{};
}

int gfx_device_ok(void) { return gfx_dev.ok; }
GfxDevice* gfx_device(void) { return gfx_dev.ok ? &gfx_dev : nullptr; }
const GfxCaps* gfx_get_caps(void) { return gfx_dev.ok ? &gfx_dev.caps : nullptr; }

void gfx_get_present_params(GfxPresentParams* out)
{
    if (out) *out = gfx_dev.ok ? gfx_dev.pp : GfxPresentParams{};
}

int gfx_get_backbuffer_size(int* width, int* height)
{
    GfxSurface* b = gfx_dev.ok ? gfx_dev.backbuffer : nullptr;
    if (width) *width = b ? b->desc.width : 0;
    if (height) *height = b ? b->desc.height : 0;
    return b ? 1 : 0;
}

int gfx_check_multisample(int samples, int* quality_levels)
{
    int ok = gfx_usable() &&
             (samples <= 1 || (samples <= GFX_MAX_SAMPLES && samples <= gfx_dev.caps.max_samples));
    if (quality_levels) *quality_levels = ok ? 1 : 0;
    return ok ? 1 : 0;
}

int gfx_check_format(GfxFormat fmt, uint32_t usage, GfxResourceType rtype)
{
    if (!gfx_usable()) return 0;
    if (usage & GFX_USAGE_DEPTHSTENCIL) return (fmt == GFX_FMT_D16 || fmt == GFX_FMT_D24S8) ? 1 : 0;
    const GfxFormatInfo* fi = gfx_format_info(fmt);
    if (!fi || !fi->internal_format) return 0;
    if (fi->block_bytes && !gfx_dev.caps.s3tc) return 0;
    if ((usage & GFX_USAGE_RENDERTARGET) && !fi->renderable) return 0;
    if ((usage & GFX_USAGE_AUTOGENMIPMAP) && fi->block_bytes) return 0;
    (void)rtype;
    return 1;
}

// ===========================================================================
// 2 Frame, present and device loss
// ===========================================================================
GfxHr gfx_begin_scene(void)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (gfx_dev.in_scene) return GFX_E_INVALIDCALL;
    gfx_dev.in_scene = 1;
    return GFX_OK;
}

GfxHr gfx_end_scene(void)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!gfx_dev.in_scene) return GFX_E_INVALIDCALL;
    gfx_dev.in_scene = 0;
    return GFX_OK;
}

GfxHr gfx_present(void)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (d.lost) return GFX_E_DEVICELOST;
    GfxSurface* bb = d.backbuffer;
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(d.window), &ww, &wh);
    // The back buffer is stored top row first; the window's row 0 is its bottom.
    GLuint src = gfx_surface_read_fbo(bb);
    int w = bb->desc.width, h = bb->desc.height;
    gfx_gl_bind_draw_fbo(0);
    gfx_gl_scissor(0, d.gl.scissor);
    gfx_gl_color_mask(0xF);
    if (ww != w || wh != h) {  // a window larger than the frame shows black around it
        const float black[4] = {0, 0, 0, 1};
        glClearNamedFramebufferfv(0, GL_COLOR, 0, black);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, src);
    glBlitFramebuffer(0, 0, w, h, 0, wh, w, wh - h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    SDL_GL_SwapWindow(static_cast<SDL_Window*>(d.window));
    d.counters.presents++;
    return GFX_OK;
}

GfxHr gfx_test_cooperative_level(void)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (d.lost == 1) {
        d.lost = 2;
        return GFX_E_DEVICELOST;
    }
    return d.lost == 2 ? GFX_E_DEVICENOTRESET : GFX_OK;
}

void gfx_simulate_device_loss(void)
{
    if (gfx_usable()) gfx_dev.lost = 1;
}

GfxHr gfx_reset(const GfxPresentParams* pp)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!pp) return GFX_E_INVALIDCALL;
    if (d.lost == 1) return GFX_E_DEVICELOST;  // not yet ready to be reset
    // Unbind everything, as a Direct3D reset does.
    for (auto& t : d.texture) t = nullptr;
    d.vs = d.ps = nullptr;
    d.decl = nullptr;
    d.stream_vb = nullptr;
    d.indices = nullptr;
    gfx_backbuffer_free();
    GfxPresentParams want = *pp;
    want.samples = effective_samples(pp->samples);
    if (want.depth_format != GFX_FMT_D24S8 && want.depth_format != GFX_FMT_D16)
        want.depth_format = GFX_FMT_UNKNOWN;
    int w = want.width, h = want.height;
    if (w <= 0 || h <= 0) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(d.window), &w, &h);
    if (!gfx_backbuffer_make(want, w, h)) return GFX_E_OUTOFMEMORY;
    d.pp = want;
    SDL_GL_SetSwapInterval(want.vsync ? 1 : 0);
    gfx_states_set_defaults(d);
    gfx_invalidate_gl_cache();
    d.in_scene = 0;
    d.lost = 0;
    return GFX_OK;
}

// ===========================================================================
// 3 Counters
// ===========================================================================
const GfxCounters* gfx_get_counters(void) { return &gfx_dev.counters; }
void gfx_reset_counters(void) { gfx_dev.counters = GfxCounters{}; }
