// The display's drawing device (see d3d9.h).
#include "disp/d3d9.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "svc/msem.h"
#include "disp/tex.h"
#include "plat/error.h"

namespace {

// The device record: cleared at start, filled by d3d9_boot.
struct D3d9Work {
    void* window;
    D3d9PresentParams pp;
    GfxPresentParams gfx_pp;
    D3d9Callback lost_cb, reset_cb;
    int bb_width, bb_height;
    int color_depth;
    int screen_width, screen_height;
    int render_width, render_height;
    int vs_ok, ps_ok;
    int booted;
    int mode;  // 0 windowed
    int force_lock;
    int device_kind;  // 0 hardware vertex processing
    int samples;      // 0..4
    int vsync;
    int nr_render_targets;
    int device_lost;  // set: the next render skips drawing
    int mode_change_req;
    int req_width, req_height, req_mode;
    GfxViewport viewport;
    std::array<GfxVertexDecl*, MDL_VERTEX_FORMAT_COUNT> decls;
    MSem* sem;  // "disp": the threaded-frame handshake
};
D3d9Work g_d3d;
DispLinks g_links;

constexpr int DISP_LOST_SLEEP_MS = 100;
constexpr uint32_t DISP_VS_VERSION_MIN = 0xFFFE0101u;  // above: vertex shaders usable
constexpr uint32_t DISP_PS_VERSION_MIN = 0xFFFF0200u;  // at least: pixel shaders usable

constexpr std::array<uint32_t, 8> DISP_CLEAR_MODES = {
    GFX_CLEAR_TARGET,
    GFX_CLEAR_ZBUFFER,
    GFX_CLEAR_STENCIL,
    GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL,
    GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER,
    GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL,
    GFX_CLEAR_ZBUFFER,
    GFX_CLEAR_TARGET,
};

void sleep_ms(int ms)
{
    if (g_links.sleep_ms)
        g_links.sleep_ms(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void call(void (*fn)())
{
    if (fn) fn();
}

// The default lost step: system fonts, shader library, resource manager.
void default_lost()
{
    call(g_links.font_lost);
    call(g_links.shader_lost);
    call(g_links.res_lost ? g_links.res_lost : tex_surfaces_on_lost);
}

// The default reset step, in the same order.
void default_reset()
{
    call(g_links.font_reset);
    call(g_links.shader_reset);
    call(g_links.res_reset ? g_links.res_reset : tex_surfaces_on_reset);
}

GfxPresentParams to_gfx(const D3d9PresentParams& p)
{
    GfxPresentParams g = {};
    g.width = p.bb_width;
    g.height = p.bb_height;
    g.depth_format = p.depth_format;
    g.vsync = p.interval_one;
    g.samples = p.samples;
    g.windowed = p.windowed;
    return g;
}

void make_params(int width, int height, int mode)
{
    D3d9Settings s;
    s.antialias_samples = g_d3d.samples;
    s.vsync = g_d3d.vsync;
    disp_make_present_params(&g_d3d.pp, width, height, mode, s);
    // The window is the platform's: windowed back buffers take its size.
    g_d3d.gfx_pp = to_gfx(g_d3d.pp);
    if (g_d3d.gfx_pp.width == 0) {
        g_d3d.gfx_pp.width = g_d3d.bb_width;
        g_d3d.gfx_pp.height = g_d3d.bb_height;
    }
}

void create_decls()
{
    for (int i = 0; i < MDL_VERTEX_FORMAT_COUNT; ++i) {
        GfxVertexElement el[GFX_MAX_VERTEX_ELEMENTS];
        g_d3d.decls[size_t(i)] =
            disp_fvf_to_decl(el, disp_lvf_to_fvf(i)) ? gfx_decl_create(el) : nullptr;
    }
}

void release_decls()
{
    for (GfxVertexDecl*& d : g_d3d.decls) {
        if (d) gfx_decl_release(d);
        d = nullptr;
    }
}

// Both buffers of the swap chain start black.
void clear_to_black_twice()
{
    for (int i = 0; i < 2; ++i) {
        gfx_begin_scene();
        GfxRect r = {0, 0, g_d3d.bb_width, g_d3d.bb_height};
        gfx_set_scissor_rect(&r);
        GfxViewport vp = {0, 0, g_d3d.bb_width, g_d3d.bb_height, 0.0f, 1.0f};
        gfx_set_viewport(&vp);
        disp_clear(5, 0);
        gfx_end_scene();
        gfx_present();
    }
}

// A failed start keeps no semaphore; answers 0 for the start's result.
int close_sem()
{
    if (g_d3d.sem) msem_close(g_d3d.sem);
    g_d3d.sem = nullptr;
    return 0;
}

}  // namespace

void disp_set_links(const DispLinks& links) { g_links = links; }
const DispLinks& disp_links() { return g_links; }
TexRecord* disp_tex_lookup(uint32_t handle)
{
    return g_links.tex_lookup ? g_links.tex_lookup(handle) : nullptr;
}

// --- start and stop ----------------------------------------------------------------

int d3d9_boot(const D3d9BootDesc* desc)
{
    if (g_d3d.booted) {  // a second start would orphan the device
        plat_report_misuse("d3d9_boot: the device is already started");
        return 0;
    }
    g_d3d = D3d9Work{};
    if (!desc) return 0;
    g_d3d.force_lock = desc->settings.force_lock_backbuffer != 0;
    g_d3d.samples = std::clamp(desc->settings.antialias_samples, 0, 4);
    g_d3d.vsync = desc->settings.vsync;
    g_d3d.sem = msem_create(1, 1, "disp");

    g_d3d.window = desc->window;
    g_d3d.lost_cb = desc->lost ? desc->lost : default_lost;
    g_d3d.reset_cb = desc->reset ? desc->reset : default_reset;
    g_d3d.bb_width = std::abs(desc->width);
    g_d3d.bb_height = std::abs(desc->height);
    g_d3d.color_depth = desc->color_depth;
    g_d3d.mode = desc->fullscreen;
    g_d3d.req_width = g_d3d.bb_width;
    g_d3d.req_height = g_d3d.bb_height;
    g_d3d.req_mode = g_d3d.mode;
    g_d3d.screen_width = g_d3d.bb_width;
    g_d3d.screen_height = g_d3d.bb_height;
    g_d3d.render_width = desc->render_width > 0 ? desc->render_width : g_d3d.bb_width;
    g_d3d.render_height = desc->render_height > 0 ? desc->render_height : g_d3d.bb_height;
    if (!g_d3d.window) return close_sem();

    make_params(g_d3d.bb_width, g_d3d.bb_height, g_d3d.mode);
    if (!gfx_device_create(g_d3d.window, &g_d3d.gfx_pp)) return close_sem();
    // The layer may have refused the sample count: keep what it applied.
    gfx_get_present_params(&g_d3d.gfx_pp);
    g_d3d.pp.samples = g_d3d.gfx_pp.samples;
    g_d3d.pp.depth_format = g_d3d.gfx_pp.depth_format;
    gfx_get_backbuffer_size(&g_d3d.bb_width, &g_d3d.bb_height);

    const GfxCaps* caps = gfx_get_caps();
    g_d3d.device_kind = 0;
    g_d3d.vs_ok = caps && caps->vertex_shader_version > DISP_VS_VERSION_MIN;
    g_d3d.ps_ok = caps && caps->pixel_shader_version >= DISP_PS_VERSION_MIN;
    g_d3d.nr_render_targets = caps ? caps->max_simultaneous_rts : 1;
    if (g_d3d.vs_ok) create_decls();

    tex_boot();
    call(g_links.res_boot);
    g_d3d.booted = 1;  // the clears below go through the checked wrappers
    clear_to_black_twice();

    disp_set_viewport(0, 0, g_d3d.render_width, g_d3d.render_height);
    disp_rstate_cache_reset();
    call(g_links.res_mark);
    return 1;
}

void d3d9_shutdown()
{
    if (g_d3d.booted) {
        call(g_links.res_release);
        call(g_links.res_shutdown);
        tex_shutdown();
        release_decls();
        gfx_device_destroy();
        close_sem();
    }
    disp_rstate_cache_reset();
    g_d3d.booted = 0;
}

int d3d9_booted() { return g_d3d.booted; }
MSem* disp_get_sem() { return g_d3d.sem; }

// --- present -----------------------------------------------------------------------

void disp_make_present_params(D3d9PresentParams* out, int width, int height, int mode,
                              const D3d9Settings& settings)
{
    D3d9PresentParams p = {};
    const int samples = std::clamp(settings.antialias_samples, 0, 4);
    int quality = 0;
    // Before the device exists the layer cannot answer; it falls back to no
    // multisampling itself when it refuses the count at creation.
    int ms_ok = 1;
    if (gfx_device_ok()) ms_ok = samples == 0 || gfx_check_multisample(samples, &quality);
    p.samples = ms_ok ? samples : 0;
    p.quality = ms_ok && quality > 0 ? quality - 1 : 0;
    if (mode != 0) {
        p.windowed = 0;
        p.refresh_hz = 60;
        p.interval_one = settings.vsync ? 1 : 0;
        p.swap_effect = p.samples ? DISP_SWAP_DISCARD : DISP_SWAP_FLIP;
        p.bb_width = width;
        p.bb_height = height;
    } else {
        p.windowed = 1;
        p.refresh_hz = 0;
        p.interval_one = 0;
        p.swap_effect = p.samples ? DISP_SWAP_DISCARD : DISP_SWAP_COPY;
        p.bb_width = 0;
        p.bb_height = 0;
    }
    p.bb_count = 1;
    p.lockable = 1;
    p.depth_format = GFX_FMT_D24S8;
    if (gfx_device_ok() &&
        !gfx_check_format(GFX_FMT_D24S8, GFX_USAGE_DEPTHSTENCIL, GFX_RTYPE_SURFACE))
        p.depth_format = GFX_FMT_D16;
    *out = p;
}

// Once per frame: present; a lost device (or a requested mode change) is
// reset here once it can be: the lost step, the reset, the reset step.
void disp_present()
{
    if (!g_d3d.booted) return;
    const int mode_change = g_d3d.mode_change_req;
    g_d3d.mode_change_req = 0;
    bool lost = gfx_present() == GFX_E_DEVICELOST;
    if (mode_change) {
        g_d3d.bb_width = g_d3d.req_width;
        g_d3d.bb_height = g_d3d.req_height;
        g_d3d.mode = g_d3d.req_mode;
        make_params(g_d3d.req_width, g_d3d.req_height, g_d3d.req_mode);
        lost = true;
    }
    if (!lost) {
        g_d3d.device_lost = 0;
        return;
    }
    sleep_ms(DISP_LOST_SLEEP_MS);
    if (!mode_change) {
        GfxHr hr = gfx_test_cooperative_level();
        if (hr == GFX_OK) {
            g_d3d.device_lost = 1;
            return;
        }
        if (hr != GFX_E_DEVICENOTRESET) return;
    }
    g_d3d.lost_cb();
    if (!gfx_ok(gfx_reset(&g_d3d.gfx_pp))) return;
    // A reset returns every device state and binding to its default: the
    // caches must not claim otherwise.
    disp_rstate_cache_reset();
    tex_stage_cache_reset();
    g_d3d.reset_cb();
    call(g_links.window_reset);
}

void disp_request_mode_change(int width, int height, int mode)
{
    if (g_d3d.device_lost) return;
    g_d3d.mode_change_req = 1;
    if (width > 0) g_d3d.req_width = width;
    if (height > 0) g_d3d.req_height = height;
    if (mode >= 0) g_d3d.req_mode = mode;
}

void disp_force_lock(SurfRecord* rec)
{
    if (!rec || !rec->surface) return;
    GfxRect r = {0, 0, 1, 1};
    GfxLockedRect lr;
    if (gfx_ok(gfx_surface_lock(rec->surface, &r, &lr, GFX_LOCK_READONLY)))
        gfx_surface_unlock(rec->surface);
}

// --- commands ----------------------------------------------------------------------

GfxHr disp_clear(int mode, uint32_t color)
{
    if (!g_d3d.booted) return GFX_E_NODEVICE;
    if (mode < 0 || mode >= int(DISP_CLEAR_MODES.size())) return GFX_E_INVALIDCALL;
    uint32_t flags = DISP_CLEAR_MODES[size_t(mode)];
    const SurfRecord* depth = tex_get_depth_target();
    if (!depth || !depth->surface)
        flags &= GFX_CLEAR_TARGET;
    else if (!(depth->kind & DISP_SURF_KIND_STENCIL))
        flags &= ~GFX_CLEAR_STENCIL;
    if (!flags) return GFX_OK;
    return gfx_clear(flags, color, 1.0f, 0);
}

void disp_set_viewport(int x, int y, int width, int height)
{
    g_d3d.viewport = {x, y, width, height, 0.0f, 1.0f};
    gfx_set_viewport(&g_d3d.viewport);
}

void disp_set_scissor(int x, int y, int width, int height)
{
    const int tw = tex_get_target_width(), th = tex_get_target_height();
    GfxRect r;
    r.left = std::clamp(x, 0, tw);
    r.top = std::clamp(y, 0, th);
    // Negative sizes collapse to an empty rectangle rather than inverting it.
    r.right = std::clamp(x + std::max(width, 0), r.left, tw);
    r.bottom = std::clamp(y + std::max(height, 0), r.top, th);
    gfx_set_scissor_rect(&r);
}

namespace {

// The viewport and scissor families share their rectangles.
using RectSetter = void (*)(int x, int y, int width, int height);

void set_screen_rect(RectSetter set, int screen)
{
    GfxRect r;
    if (screen >= 0 && g_links.screen_rect && g_links.screen_rect(screen, &r))
        set(r.left, r.top, r.right - r.left, r.bottom - r.top);
    else
        set(0, 0, tex_get_target_width(), tex_get_target_height());
}

void set_tex_frac_rect(RectSetter set, uint32_t handle, float fx, float fy, float fw, float fh)
{
    const TexRecord* t = disp_tex_lookup(handle);
    if (!t || !t->texture) return;
    const float w = float(t->real_w), h = float(t->real_h);
    set(int(fx * w), int(fy * h), int(fw * w), int(fh * h));
}

}  // namespace

void disp_set_viewport_screen(int screen) { set_screen_rect(disp_set_viewport, screen); }
void disp_set_viewport_tex(uint32_t handle)
{
    set_tex_frac_rect(disp_set_viewport, handle, 0.0f, 0.0f, 1.0f, 1.0f);
}
void disp_set_viewport_tex_frac(uint32_t handle, float fx, float fy, float fw, float fh)
{
    set_tex_frac_rect(disp_set_viewport, handle, fx, fy, fw, fh);
}
void disp_set_scissor_screen(int screen) { set_screen_rect(disp_set_scissor, screen); }
void disp_set_scissor_tex(uint32_t handle)
{
    set_tex_frac_rect(disp_set_scissor, handle, 0.0f, 0.0f, 1.0f, 1.0f);
}
void disp_set_scissor_tex_frac(uint32_t handle, float fx, float fy, float fw, float fh)
{
    set_tex_frac_rect(disp_set_scissor, handle, fx, fy, fw, fh);
}

void disp_get_scissor(int* x, int* y, int* width, int* height)
{
    GfxRect r = {};
    gfx_get_scissor_rect(&r);
    if (x) *x = r.left;
    if (y) *y = r.top;
    if (width) *width = r.right - r.left;
    if (height) *height = r.bottom - r.top;
}

void disp_set_color_write(int red, int green, int blue, int alpha)
{
    uint32_t mask = (red ? 1u : 0u) | (green ? 2u : 0u) | (blue ? 4u : 0u) | (alpha ? 8u : 0u);
    gfx_set_render_state(GFX_RS_COLORWRITEENABLE, mask);
}

void disp_set_clip_plane(int index, const float* plane, int enable)
{
    if (index < 0 || index >= GFX_MAX_CLIP_PLANES) return;
    if (!enable) {
        gfx_set_render_state(GFX_RS_CLIPPLANEENABLE, 0);
        return;
    }
    if (plane) gfx_set_clip_plane(index, plane);
    gfx_set_render_state(GFX_RS_CLIPPLANEENABLE, 1u << index);
}

void disp_set_stencil_enable(int enable)
{
    gfx_set_render_state(GFX_RS_STENCILENABLE, enable ? 1 : 0);
}

void disp_set_stencil_func(uint32_t ref, uint32_t mask, uint32_t write_mask, uint32_t cmp)
{
    gfx_set_render_state(GFX_RS_STENCILREF, ref);
    gfx_set_render_state(GFX_RS_STENCILMASK, mask);
    gfx_set_render_state(GFX_RS_STENCILWRITEMASK, write_mask);
    gfx_set_render_state(GFX_RS_STENCILFUNC, cmp);
}

void disp_set_stencil_ops(int fail, int zfail, int pass)
{
    gfx_set_render_state(GFX_RS_STENCILFAIL, disp_stencil_op_get(fail));
    gfx_set_render_state(GFX_RS_STENCILZFAIL, disp_stencil_op_get(zfail));
    gfx_set_render_state(GFX_RS_STENCILPASS, disp_stencil_op_get(pass));
}

// --- vertex declarations -------------------------------------------------------------

int disp_fvf_to_decl(GfxVertexElement out[GFX_MAX_VERTEX_ELEMENTS], uint32_t fvf)
{
    return gfx_fvf_to_elements(fvf, out);
}

void disp_decl_element(GfxVertexElement* e, int stream, int offset, int type, int method, int usage,
                       int usage_index)
{
    if (!e) return;
    e->stream = uint16_t(stream);
    e->offset = uint16_t(offset);
    e->type = uint8_t(type);
    e->method = uint8_t(method);
    e->usage = uint8_t(usage);
    e->usage_index = uint8_t(usage_index);
}

GfxVertexDecl* d3d9_get_decl(int index)
{
    if (index < 0 || index >= MDL_VERTEX_FORMAT_COUNT) return nullptr;
    return g_d3d.decls[size_t(index)];
}

// --- queries -----------------------------------------------------------------------

int disp_device_ok() { return g_d3d.booted && gfx_device_ok(); }
int disp_get_mode() { return g_d3d.mode; }
int disp_get_vs_ok() { return g_d3d.vs_ok; }
int disp_get_ps_ok() { return g_d3d.ps_ok; }
int disp_get_nr_render_targets() { return g_d3d.nr_render_targets; }
int disp_get_device_lost() { return g_d3d.device_lost; }
GfxDevice* disp_get_device() { return gfx_device(); }
GfxDevice* disp_get_device_raw() { return gfx_device(); }

namespace {
template <typename T>
void release_slot(T** slot, void (*release)(T*))
{
    if (!slot || !*slot) return;
    release(*slot);
    *slot = nullptr;
}
}  // namespace

void com_release_ptr(GfxTexture** slot) { release_slot(slot, gfx_tex_release); }
void com_release_ptr(GfxSurface** slot) { release_slot(slot, gfx_surface_release); }
void com_release_ptr(GfxVertexBuffer** slot) { release_slot(slot, gfx_vb_release); }
void com_release_ptr(GfxIndexBuffer** slot) { release_slot(slot, gfx_ib_release); }
void com_release_ptr(GfxVertexDecl** slot) { release_slot(slot, gfx_decl_release); }
void com_release_ptr(GfxShader** slot) { release_slot(slot, gfx_shader_release); }
int disp_get_device_kind() { return g_d3d.device_kind; }
int disp_get_force_lock() { return g_d3d.force_lock; }
void disp_get_render_size(int* width, int* height)
{
    if (width) *width = g_d3d.render_width;
    if (height) *height = g_d3d.render_height;
}
const D3d9PresentParams* disp_get_present_params() { return &g_d3d.pp; }
GfxViewport disp_get_viewport() { return g_d3d.viewport; }
