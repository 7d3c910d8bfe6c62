// app/app_wire: links, device seam and resource services (see app_wire_local.h).
#include "app/app_wire_local.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/err_screen.h"
#include "svc/txt_settings.h"
#include "svc/window.h"
#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_dev_seam.h"
#include "app/disp_main.h"
#include "disp/font.h"
#include "disp/movie.h"
#include "disp/plight.h"
#include "disp/shader.h"
#include "disp/tex.h"
#include "plat/dialogs.h"
#include "plat/files.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "disp/obj.h"
#include "plat/time.h"
#include "res/res.h"
#include "res/res_env.h"
#include "tool/game_scene.h"
#include "util/data_err.h"
#include "util/perf.h"

namespace {

struct Wire {
    ResEnv saved_env{};
    DispLinks saved_links{};
    int installed = 0;
};
Wire g_wire;

// ---- resource services --------------------------------------------------------------------

int env_get_int(const char* key, int def) { return txt_settings_get_int_or(key, def); }

std::string env_get_string(const char* key, const char* def)
{
    const char* v = txt_settings_get_string(key);
    return v ? v : (def ? def : "");
}

float env_frame_percent() { return perf_timer_frame_percent(); }

// The line first: the screen shows the group's name only, and ends the
// program without returning.
void env_fatal(uint16_t code, uint16_t sub, uint16_t detail, const char* text,
               const std::string& line)
{
    data_err_write(line);
    err_screen_run(code, sub, detail, text);
}

void env_yield() { plat_time_yield(); }

ResEnv real_env(const ResEnv& base)
{
    ResEnv e = base;
    // Files: the platform's, as the stand-ins already read them.
    const ResEnv files = res_env_defaults();
    e.read_file = files.read_file;
    e.file_exists = files.file_exists;
    e.file_open = files.file_open;
    e.file_read = files.file_read;
    e.file_close = files.file_close;
    e.get_int = env_get_int;
    e.get_string = env_get_string;
    e.frame_percent = env_frame_percent;
    e.fatal = env_fatal;
    e.yield = env_yield;
    disp_wire_table_env(e);
    return e;
}

// ---- device links -----------------------------------------------------------------------

void link_res_mark() { disp_res_mark(); }
void link_window_reset() { window_reset_pos_and_size(0); }

int link_screen_rect(int screen, GfxRect* out)
{
    if (screen < 0 || screen > 1 || !out) return 0;
    int32_t x, y, w, h;
    cam_get_viewport(screen, &x, &y, &w, &h);
    if (w <= 0 || h <= 0) return 0;
    *out = {x, y, x + w, y + h};
    return 1;
}

void link_message_box(const char* caption, const char* text)
{
    plat_message_box(text, caption, PLAT_MB_OK);
}

void link_sleep_ms(int ms) { plat_time_sleep_ms(ms > 0 ? uint32_t(ms) : 0); }

DispLinks real_links()
{
    DispLinks l;
    l.tex_lookup = disp_wire_tex_lookup;
    l.res_boot = res_boot;
    l.res_shutdown = res_shutdown;
    l.res_mark = link_res_mark;
    l.res_release = disp_res_release;
    l.font_lost = font_release_d3dx;
    l.font_reset = font_create_d3dx;
    l.shader_lost = shader_term;
    l.shader_reset = shader_init;
    l.mesh_setup = shader_setup_mesh;
    l.res_lost = res_on_device_lost;
    l.res_reset = res_on_device_reset;
    l.window_reset = link_window_reset;
    l.screen_rect = link_screen_rect;
    l.message_box = link_message_box;
    l.sleep_ms = link_sleep_ms;
    return l;
}

// ---- view modules' device seam ------------------------------------------------------------

void seam_set_transform(DispDevTransform which, const Mat44* m)
{
    if (m) gfx_set_transform(which == DISP_DEV_TS_VIEW ? GFX_TS_VIEW : GFX_TS_PROJECTION, m->m);
}

void seam_set_render_state(DispDevRs state, uint32_t value)
{
    static constexpr GfxRs APP_WIRE_STATES[] = {GFX_RS_FOGCOLOR,      GFX_RS_FOGSTART,
                                                GFX_RS_FOGEND,        GFX_RS_FOGTABLEMODE,
                                                GFX_RS_FOGVERTEXMODE, GFX_RS_RANGEFOGENABLE};
    if (state >= 0 && size_t(state) < std::size(APP_WIRE_STATES))
        gfx_set_render_state(APP_WIRE_STATES[state], value);
}

GfxColorF to_gfx(const DispDevColorF& c) { return {c.r, c.g, c.b, c.a}; }

void seam_set_light(int index, const DispDevLight* l)
{
    if (!l) return;
    GfxLight g{};
    g.type = GFX_LIGHT_DIRECTIONAL;
    g.diffuse = to_gfx(l->diffuse);
    g.specular = to_gfx(l->specular);
    g.ambient = to_gfx(l->ambient);
    std::memcpy(g.position, &l->position, sizeof g.position);
    std::memcpy(g.direction, &l->direction, sizeof g.direction);
    g.range = l->range;
    g.falloff = l->falloff;
    g.attenuation0 = l->attenuation0;
    g.attenuation1 = l->attenuation1;
    g.attenuation2 = l->attenuation2;
    g.theta = l->theta;
    g.phi = l->phi;
    gfx_set_light(index, &g);
}

void seam_light_enable(int index, int enable) { gfx_light_enable(index, enable); }

// Group release and reset of the draw-object manager reach the point lights.
void link_plight_release_group(ResGroupId id) { plight_kill_owner(id); }

constexpr DispDevSeam APP_WIRE_GFX_SEAM = {seam_set_transform,       seam_set_render_state,
                                           seam_set_light,           seam_light_enable,
                                           disp_request_mode_change, disp_get_mode};

}  // namespace

void app_wire_install()
{
    if (g_wire.installed) return;
    g_wire.saved_env = res_env();
    g_wire.saved_links = disp_links();
    res_env_set(real_env(g_wire.saved_env));
    disp_set_links(real_links());
    disp_dev_seam_set(APP_WIRE_GFX_SEAM);
    ObjLinks obj;
    obj.plight_release_group = link_plight_release_group;
    obj.plight_reset = plight_pool_reset;
    obj.movie_release_group = movie_release_group;
    obj.movie_list_reset = movie_list_reset;
    obj_set_links(obj);
    // The game-scene hooks reset the display through its own orders.
    game_scene_set_links({disp_reset, disp_scene_clear, disp_reset_scene});
    g_wire.installed = 1;
}

void app_wire_remove()
{
    if (!g_wire.installed) return;
    // The resource manager has released everything it held, and the device
    // took any object still left with it when it stopped.
    disp_wire_table_clear();
    res_env_set(g_wire.saved_env);
    disp_set_links(g_wire.saved_links);
    disp_dev_seam_reset();
    obj_set_links(ObjLinks{});
    game_scene_set_links(GameSceneLinks{});
    g_wire.installed = 0;
}
