// app/disp_main: start-up, frame and scene pass (see disp_main.h).
#include "app/disp_main.h"
#include "app/disp_main_local.h"

#include "svc/msem.h"
#include "svc/textlist.h"
#include "svc/txt_settings.h"
#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_fade.h"
#include "app/app_wire_local.h"
#include "disp/disp_work.h"
#include "disp/font.h"
#include "disp/movie.h"
#include "disp/plight.h"
#include "disp/screenshot.h"
#include "disp/shader.h"
#include "disp/tex.h"
#include "hit/balls_hit.h"
#include "hit/hit.h"
#include "hit/hitcyl.h"
#include "math/vm_color.h"
#include "obj2d/fla.h"
#include "obj2d/line2d.h"
#include "disp/obj.h"
#include "obj2d/obj2d.h"
#include "objx/qspr.h"
#include "obj3d/motion.h"
#include "obj3d/obj3d.h"
#include "obj3d/prim3d.h"
#include "plat/error.h"
#include "plat/gfx.h"
#include "plat/time.h"
#include "res/res.h"
#include "res/resload.h"

namespace {

// What the display keeps beside its work block.
struct DispMain {
    int booted;
    int device_ok;
    uint32_t frames;
    int threaded;
    int32_t requests, done;
    ResMark mark;
    const DispProbe* probe;
};
DispMain g_main;

struct Band {
    int lo, hi;
};
constexpr Band APP_DISP_BAND_BACK = {85, 93};
constexpr Band APP_DISP_BAND_FIRST3D = {72, 83};
constexpr Band APP_DISP_BAND_MIDDLE = {31, 71};
constexpr Band APP_DISP_BAND_SECOND3D = {26, 30};
constexpr Band APP_DISP_BAND_FRONT = {5, 25};

constexpr int APP_DISP_CLEAR_ALL = 5;         // colour, depth and stencil
constexpr int APP_DISP_CLEAR_DEPTH_ONLY = 3;  // depth and stencil

DispHead& head() { return disp_work().head; }

void probe_step(const char* name)
{
    if (g_main.probe && g_main.probe->step) g_main.probe->step(name);
}

struct Step {
    const char* name;
    void (*fn)();
};

void run_steps(const Step* steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        probe_step(steps[i].name);
        if (steps[i].fn) steps[i].fn();
    }
}

// Module starts after the device, in the order every drawing module relies
// on (type numbers of the draw objects follow this registration order).
const Step APP_DISP_BOOT_STEPS[] = {
    {"resload_boot", resload_boot},
    {"shader_init", shader_init},
    {"font_boot", font_boot},
    {"obj_module_init", obj_module_init},
    {"line2d_type_register", line2d_type_register},
    {"tri2d_type_register", tri2d_type_register},
    {"obj2d_type_register", obj2d_type_register},
    {"prim3d_line_type_register", prim3d_line_type_register},
    {"prim3d_tri_type_register", prim3d_tri_type_register},
    {"qspr_type_register", [] { qspr_type_register(); }},
    {"obj3d_type_register", obj3d_type_register},
    {"balls_hit_boot", balls_hit_boot},
    {"hitcyl_init", hitcyl_init},
    {"motion_pool_reset", motion_pool_reset},
    {"fla_pool_reset", fla_pool_reset},
    {"hit_init", hit_init},
    {"movie_init", movie_init},
    {"scene_set_defaults", scene_set_defaults},
    {"disp_reset", disp_reset},
};

// Exactly the reverse of the starts, the device last.
const Step APP_DISP_SHUTDOWN_STEPS[] = {
    {"movie_term", movie_term},
    {"hit_term", hit_term},
    {"fla_pool_reset_again", fla_pool_reset_again},
    {"motion_pool_term", motion_pool_term},
    {"hitcyl_term", hitcyl_term},
    {"balls_hit_reset", balls_hit_reset},
    {"obj3d_term", obj3d_term},
    {"qspr_type_unregister", qspr_type_unregister},
    {"prim3d_tri_term", prim3d_tri_term},
    {"prim3d_line_term", prim3d_line_term},
    {"obj2d_type_term", obj2d_type_term},
    {"tri2d_term", tri2d_term},
    {"line2d_term", line2d_term},
    {"obj_module_term", obj_module_term},
    {"font_shutdown", font_shutdown},
    {"shader_term", shader_term},
    {"resload_shutdown", resload_shutdown},
    {"d3d9_shutdown", d3d9_shutdown},
};

void draw_band(Band b)
{
    if (g_main.probe && g_main.probe->band) g_main.probe->band(b.lo, b.hi);
    obj_draw_range(b.lo, b.hi);
}

void full_screen_view()
{
    disp_set_scissor_screen(-1);
    disp_set_viewport_screen(-1);
}

uint32_t frame_clear_color() { return color_shift(color_set_alpha(head().clear_color, 0), 0); }

void set_frame_targets() { tex_set_targets(tex_default_rt_handle(), 0, tex_get_depth_record()); }

// One 3D pass of a screen over a band (the screen's camera must be enabled).
void draw_3d_band(int screen, int pass, Band b)
{
    full_screen_view();
    cam_set_cur_screen(screen);
    if (g_main.probe && g_main.probe->pass_begin) g_main.probe->pass_begin(screen, pass, screen);
    // Both 3D bands run with pass id 0; `pass` only tells the probe which band this is.
    obj3d_scene_begin(screen, 0, screen);
    draw_band(b);
    obj3d_scene_end();
    if (g_main.probe && g_main.probe->pass_end) g_main.probe->pass_end(screen);
}

void draw_3d_bands(int pass, Band b)
{
    for (int s = 0; s < DISP_SCREENS; ++s)
        if (cam_get_enable(s)) draw_3d_band(s, pass, b);
}

void rewind_text_lists()
{
    textlist_reset(head().text_list);
    textlist_reset(head().d3dx_text_list);
}

// Semaphore-guarded read of the handshake counters.
template <typename F>
auto under_sem(F f)
{
    MSem* sem = disp_get_sem();
    msem_wait(sem, MSEM_INFINITE);
    auto r = f();
    msem_release(sem, 1, nullptr);
    return r;
}

}  // namespace

// ---- start and stop -------------------------------------------------------------------

int disp_boot(void* window, int32_t reserved, int32_t screen_w, int32_t screen_h,
              int32_t color_depth, const RenderSizes* sizes)
{
    if (g_main.booted) {
        plat_report_misuse("disp_boot: the display is already started");
        return g_main.device_ok;
    }
    const DispProbe* probe = g_main.probe;
    g_main = DispMain{};
    g_main.probe = probe;
    disp_work_clear();
    disp_param_init(window, reserved, screen_w, screen_h, color_depth, sizes);
    DispHead& h = head();
    h.d3dx_text_list = textlist_create(APP_DISP_SYS_TEXT_LIST_BYTES);
    h.text_list = textlist_create(APP_DISP_TEXT_LIST_BYTES);
    h.render_enable = h.scene_pass_enable = h.keep_prev_matrices = h.init_prev_once = 1;

    D3d9BootDesc desc;
    desc.window = window;
    desc.width = screen_w;
    desc.height = screen_h;
    desc.color_depth = color_depth;
    desc.reserved = 0;
    desc.fullscreen = txt_settings_get_int_or("FULLSCREEN", 0);
    desc.render_flag = h.orientation;
    desc.render_width = h.render_w;
    desc.render_height = h.render_h;
    desc.settings.force_lock_backbuffer = txt_settings_get_int_or("FORCE_LOCK_BACKBUFFER", 0);
    desc.settings.antialias_samples = txt_settings_get_int_or("NR_ANTIALIAS_SAMPLES", 0);
    desc.settings.vsync = txt_settings_get_int_or("ENABLE_VSYNC", 1);
    app_wire_install();
    probe_step("d3d9_boot");
    g_main.device_ok = d3d9_boot(&desc);
    g_main.booted = 1;
    run_steps(APP_DISP_BOOT_STEPS, std::size(APP_DISP_BOOT_STEPS));
    return g_main.device_ok;
}

void disp_shutdown()
{
    if (!g_main.booted) return;
    DispHead& h = head();
    textlist_free(h.d3dx_text_list);
    textlist_free(h.text_list);
    h.d3dx_text_list = h.text_list = -1;
    run_steps(APP_DISP_SHUTDOWN_STEPS, std::size(APP_DISP_SHUTDOWN_STEPS));
    app_wire_remove();
    g_main.booted = 0;
    g_main.device_ok = 0;
}

int app_disp_booted() { return g_main.booted; }

void disp_reset()
{
    obj_system_reset();  // the group table and the object pool
    res_mlist_init();
    motion_pool_reset();
    fla_pool_reset();
    balls_hit_clear();
    hit_pool_reset();
    disp_reset_scene();
    hitcyl_pool_reset();
    movie_reset();
}

void disp_reset_scene() { scene_set_defaults(); }

void disp_scene_clear()
{
    resload_abort();
    movie_free_all();
    hit_reset();
    hitcyl_release();
    balls_hit_renew();
    fla_pool_reset();
    res_mlist_init();
    obj_system_reset();  // the object pool and the group table
    motion_pool_reset();
    disp_reset_scene();
}

// ---- per frame ------------------------------------------------------------------------

void disp_update(DispCallback callback)
{
    if (!g_main.booted) {
        plat_report_misuse("disp_update: the display is not started");
        return;
    }
    DispHead& h = head();
    disp_fade_frame();
    movie_frame_early();
    obj_frame();
    balls_hit_frame();
    hitcyl_frame();
    hit_frame();
    cam_track_movement();
    if (h.init_prev_once) {
        cam_keep_prev_matrices();
        h.init_prev_once = 0;
    }
    if (h.render_enable) {
        plight_frame();
        disp_frame_render(h.window, callback);
    } else {
        disp_frame_wait(h.window, callback);
    }
    movie_frame_late();
    plight_release_1f();
    obj_free_dead();
    if (h.keep_prev_matrices) cam_keep_prev_matrices();
}

void disp_frame_render(void* window, DispCallback callback)
{
    if (!g_main.threaded) {
        disp_render(window, callback);
        return;
    }
    under_sem([] { return ++g_main.requests; });
    plat_time_begin_period(1);
    while (under_sem([] { return g_main.done != g_main.requests; })) plat_time_sleep_ms(0);
    plat_time_end_period(1);
}

void disp_frame_wait(void*, DispCallback)
{
    rewind_text_lists();
    plat_time_sleep_ms(0);
}

void disp_render(void*, DispCallback callback)
{
    DispHead& h = head();
    const uint32_t clear = frame_clear_color();
    cam_update_all();
    shader_frame_constants();
    obj3d_reset();
    qspr_frame_reset();
    gfx_set_render_state(GFX_RS_SCISSORTESTENABLE, 1);
    obj_build_draw_list();
    plight_cull();
    if (!disp_get_device_lost() && gfx_ok(gfx_begin_scene())) {
        set_frame_targets();
        full_screen_view();
        disp_clear(APP_DISP_CLEAR_ALL, clear);
        if (h.scene_pass_enable) disp_draw_scene();
        full_screen_view();
        draw_band(APP_DISP_BAND_FRONT);
        if (callback) callback();
        disp_set_viewport_screen(-1);
        font_draw_bitmap_text(1, h.text_list);
        font_draw_d3dx_text(1, h.d3dx_text_list);
        gfx_end_scene();
    } else {
        // Nothing was drawn: the queued texts must not pile up.
        rewind_text_lists();
    }
    disp_present();
    if (disp_get_force_lock()) disp_force_lock(tex_get_target_record());
    obj2d_frame();
    ++g_main.frames;
}

void disp_draw_scene()
{
    set_frame_targets();
    disp_clear(APP_DISP_CLEAR_ALL, frame_clear_color());
    draw_band(APP_DISP_BAND_BACK);
    draw_3d_bands(0, APP_DISP_BAND_FIRST3D);
    // A saved picture holds only what lies behind and inside the first 3D bands.
    if (disp_screenshot_take()) disp_screenshot_write(tex_get_target_record());
    full_screen_view();
    draw_band(APP_DISP_BAND_MIDDLE);
    disp_clear(APP_DISP_CLEAR_DEPTH_ONLY, 0);
    draw_3d_bands(1, APP_DISP_BAND_SECOND3D);
}

uint32_t app_disp_frame_count() { return g_main.frames; }

// ---- display resource mark ---------------------------------------------------------------

int disp_res_mark()
{
    g_main.mark = ResMark{};
    res_mark(g_main.mark);
    return 1;
}

void disp_res_release() { res_release_to_mark(g_main.mark); }

// ---- threaded-frame handshake ------------------------------------------------------------

void disp_set_threaded(int on)
{
    under_sem([on] {
        g_main.threaded = on;
        g_main.requests = g_main.done = 0;
        return 0;
    });
}

void disp_render_thread_step(void* window)
{
    if (!under_sem([] { return g_main.threaded; })) return;
    plat_time_begin_period(1);
    while (under_sem([] { return g_main.threaded && g_main.requests == g_main.done; }))
        plat_time_sleep_ms(0);
    plat_time_end_period(1);
    if (!under_sem([] { return g_main.threaded; })) return;
    disp_render(window, nullptr);
    under_sem([] { return ++g_main.done; });
}

void app_disp_set_probe(const DispProbe* probe) { g_main.probe = probe; }
