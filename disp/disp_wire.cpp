// disp/disp_wire: links, device seam and resource services (see disp_wire.h).
#include "disp/disp_wire.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "app/err_screen.h"
#include "app/txt_settings.h"
#include "app/window.h"
#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_dev_seam.h"
#include "disp/disp_main.h"
#include "disp/font.h"
#include "disp/movie.h"
#include "disp/plight.h"
#include "disp/shader.h"
#include "disp/tex.h"
#include "plat/dialogs.h"
#include "plat/files.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "obj2d/obj.h"
#include "plat/time.h"
#include "res/res.h"
#include "res/res_env.h"
#include "util/perf.h"

namespace {

// ---- the table of device objects the resource manager holds by id -------------------------

enum class Kind : uint8_t { Free, Texture, Depth, Buffer };

struct Entry {
    Kind kind = Kind::Free;
    TexRecord tex{};
    SurfRecord surf{};
    std::vector<uint8_t> bytes;  // mesh buffer contents
    GfxVertexBuffer* vb = nullptr;
    GfxIndexBuffer* ib = nullptr;
};

struct Wire {
    std::deque<Entry> entries;  // id = index + 1; records never move
    ResEnv saved_env{};
    DispLinks saved_links{};
    int installed = 0;
};
Wire g_wire;

Entry* entry_of(uint32_t id, Kind kind)
{
    if (id == 0 || id > g_wire.entries.size()) return nullptr;
    Entry& e = g_wire.entries[id - 1];
    return e.kind == kind ? &e : nullptr;
}

uint32_t new_entry(Kind kind)
{
    for (size_t i = 0; i < g_wire.entries.size(); ++i) {
        if (g_wire.entries[i].kind == Kind::Free) {
            g_wire.entries[i].kind = kind;
            return uint32_t(i + 1);
        }
    }
    g_wire.entries.emplace_back();
    g_wire.entries.back().kind = kind;
    return uint32_t(g_wire.entries.size());
}

void free_entry(uint32_t id)
{
    if (id == 0 || id > g_wire.entries.size()) return;
    Entry& e = g_wire.entries[id - 1];
    if (e.kind == Kind::Texture) tex_release(&e.tex);
    if (e.kind == Kind::Depth) tex_surface_release(&e.surf);
    if (e.vb) gfx_vb_release(e.vb);
    if (e.ib) gfx_ib_release(e.ib);
    e = Entry{};
}

void describe_texture(uint32_t id, const TexRecord& t, ResTexInfo& out)
{
    uint16_t flags = 0;
    if (t.flags & kTexFlagMip) flags |= RES_TEX_MIPMAPPED;
    if (t.flags & kTexFlagRenderTarget) flags |= RES_TEX_TARGET;
    out = {id, t.real_w, t.real_h, t.bpp, flags};
}

// Takes a freshly made record into the table, or frees the slot on failure.
bool keep_texture(uint32_t id, int made, ResTexInfo& out)
{
    Entry* e = entry_of(id, Kind::Texture);
    if (!made || !e->tex.texture) {
        free_entry(id);
        out = ResTexInfo{};
        return false;
    }
    describe_texture(id, e->tex, out);
    return true;
}

// ---- resource services --------------------------------------------------------------------

int env_get_int(const char* key, int def) { return txt_settings_get_int_or(key, def); }

std::string env_get_string(const char* key, const char* def)
{
    const char* v = txt_settings_get_string(key);
    return v ? v : (def ? def : "");
}

float env_frame_percent() { return perf_timer_frame_percent(); }

bool env_read_file(const char* path, std::vector<uint8_t>& out)
{
    std::FILE* f = path ? plat_fopen(path, "rb") : nullptr;
    if (!f) return false;
    out.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool env_file_exists(const char* path) { return path && plat_is_file(path); }

void env_fatal(uint16_t code, uint16_t sub, uint16_t detail, const char* text)
{
    err_screen_run(code, sub, detail, text);
}

void env_yield() { plat_time_yield(); }

bool env_tex_create(uint16_t w, uint16_t h, uint32_t format, bool dynamic, bool target,
                    ResTexInfo& out)
{
    const uint32_t id = new_entry(Kind::Texture);
    TexRecord* t = &entry_of(id, Kind::Texture)->tex;
    const GfxFormat fmt = disp_index_to_fmt(int(format));
    const int made =
        target ? tex_create_render_target(t, fmt, w, h) : tex_create(t, fmt, w, h, dynamic ? 0 : 1);
    return keep_texture(id, made, out);
}

bool env_tex_load(const uint8_t* image, uint32_t size, bool mipmaps, bool linear, ResTexInfo& out)
{
    if (!image) return false;
    const uint32_t id = new_entry(Kind::Texture);
    TexRecord* t = &entry_of(id, Kind::Texture)->tex;
    const int made = tex_create_from_file_mem(t, {image, size}, mipmaps ? 1 : 0, linear ? 1 : 0);
    return keep_texture(id, made, out);
}

void env_tex_release(ResTexInfo& t)
{
    free_entry(t.id);
    t.id = 0;
}

// Writes and reads go through 32-bit A8R8G8B8 / X8R8G8B8 textures only.
bool argb_texture(const Entry* e)
{
    return e && (e->tex.fmt_index == kSfA8R8G8B8 || e->tex.fmt_index == kSfX8R8G8B8);
}

bool env_tex_write(ResTexInfo& t, int x, int y, int w, int h, const uint32_t* argb)
{
    Entry* e = entry_of(t.id, Kind::Texture);
    if (!argb_texture(e) || !argb || w < 0 || h < 0) return false;
    const size_t bytes = size_t(w) * size_t(h) * 4;
    return tex_fill_rect(&e->tex, x, y, w, h, {reinterpret_cast<const uint8_t*>(argb), bytes});
}

bool env_tex_write_raw(ResTexInfo& t, int x, int y, int w, int h, const uint8_t* src, uint32_t size)
{
    Entry* e = entry_of(t.id, Kind::Texture);
    return e && src && tex_fill_rect(&e->tex, x, y, w, h, {src, size});
}

bool env_tex_write_rgb(ResTexInfo& t, int x, int y, int w, int h, const uint8_t* src, int src_bpp)
{
    Entry* e = entry_of(t.id, Kind::Texture);
    if (!e || !src || w < 0 || h < 0 || (src_bpp != 3 && src_bpp != 4)) return false;
    return tex_fill_rect_rgb(&e->tex, x, y, w, h, {src, size_t(w) * size_t(h) * size_t(src_bpp)},
                             src_bpp);
}

bool env_tex_read(const ResTexInfo& t, int x, int y, int w, int h, uint32_t* argb)
{
    Entry* e = entry_of(t.id, Kind::Texture);
    if (!e || !argb || w < 0 || h < 0) return false;
    return tex_read_rect_argb(&e->tex, x, y, w, h, {argb, size_t(w) * size_t(h)});
}

bool env_depth_create(uint16_t w, uint16_t h, uint32_t format, ResTexInfo& out)
{
    const uint32_t id = new_entry(Kind::Depth);
    SurfRecord* s = &entry_of(id, Kind::Depth)->surf;
    if (!tex_surface_create(s, disp_depth_index_to_fmt(int(format)), w, h)) {
        free_entry(id);
        out = ResTexInfo{};
        return false;
    }
    out = {id, s->width, s->height, s->bpp, 0};
    return true;
}

void env_tex_lost(ResTexInfo& t)
{
    if (Entry* e = entry_of(t.id, Kind::Texture)) tex_on_lost(&e->tex);
    if (Entry* e = entry_of(t.id, Kind::Depth); e && e->surf.surface) {
        gfx_surface_release(e->surf.surface);
        e->surf.surface = nullptr;
    }
}

void env_tex_reset(ResTexInfo& t)
{
    if (Entry* e = entry_of(t.id, Kind::Texture)) tex_on_reset(&e->tex);
    if (Entry* e = entry_of(t.id, Kind::Depth)) tex_surface_reset(&e->surf);
}

uint32_t env_buffer_create(const void* bytes, uint32_t size)
{
    if (!bytes || size == 0) return 0;
    const uint32_t id = new_entry(Kind::Buffer);
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    entry_of(id, Kind::Buffer)->bytes.assign(p, p + size);
    return id;
}

void env_buffer_release(uint32_t id)
{
    if (entry_of(id, Kind::Buffer)) free_entry(id);
}

ResEnv real_env(const ResEnv& base)
{
    ResEnv e = base;
    e.get_int = env_get_int;
    e.get_string = env_get_string;
    e.frame_percent = env_frame_percent;
    e.read_file = env_read_file;
    e.file_exists = env_file_exists;
    e.fatal = env_fatal;
    e.yield = env_yield;
    e.tex_create = env_tex_create;
    e.tex_load = env_tex_load;
    e.tex_release = env_tex_release;
    e.tex_write = env_tex_write;
    e.tex_write_raw = env_tex_write_raw;
    e.tex_write_rgb = env_tex_write_rgb;
    e.tex_read = env_tex_read;
    e.depth_create = env_depth_create;
    e.surfaces_lost = tex_surfaces_on_lost;
    e.surfaces_reset = tex_surfaces_on_reset;
    e.tex_lost = env_tex_lost;
    e.tex_reset = env_tex_reset;
    e.buffer_create = env_buffer_create;
    e.buffer_release = env_buffer_release;
    return e;
}

// ---- device links -----------------------------------------------------------------------

// The texture record of a resource handle, with the address modes the
// resource manager keeps for it.
TexRecord* link_tex_lookup(uint32_t handle)
{
    const ResTexInfo* info = res_tex_get(handle);
    Entry* e = info ? entry_of(info->id, Kind::Texture) : nullptr;
    if (!e) return nullptr;
    constexpr uint16_t kAddrMask = uint16_t(0x3Fu << kTexAddrUShift);
    static_assert(kTexAddrUShift == RES_TEX_ADDR_U_SHIFT && kTexAddrVShift == RES_TEX_ADDR_V_SHIFT);
    e->tex.flags = uint16_t((e->tex.flags & ~kAddrMask) | (info->flags & kAddrMask));
    return &e->tex;
}

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
    l.tex_lookup = link_tex_lookup;
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
    static constexpr GfxRs kStates[] = {GFX_RS_FOGCOLOR,      GFX_RS_FOGSTART,
                                        GFX_RS_FOGEND,        GFX_RS_FOGTABLEMODE,
                                        GFX_RS_FOGVERTEXMODE, GFX_RS_RANGEFOGENABLE};
    if (state >= 0 && size_t(state) < std::size(kStates))
        gfx_set_render_state(kStates[state], value);
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

constexpr DispDevSeam kGfxSeam = {seam_set_transform, seam_set_render_state,    seam_set_light,
                                  seam_light_enable,  disp_request_mode_change, disp_get_mode};

}  // namespace

void disp_wire_install()
{
    if (g_wire.installed) return;
    g_wire.saved_env = res_env();
    g_wire.saved_links = disp_links();
    res_env_set(real_env(g_wire.saved_env));
    disp_set_links(real_links());
    disp_dev_seam_set(kGfxSeam);
    ObjLinks obj;
    obj.plight_release_group = link_plight_release_group;
    obj.plight_reset = plight_pool_reset;
    obj.movie_release_group = movie_release_group;
    obj.movie_list_reset = movie_list_reset;
    obj_set_links(obj);
    g_wire.installed = 1;
}

void disp_wire_remove()
{
    if (!g_wire.installed) return;
    // The resource manager has released everything it held, and the device
    // took any object still left with it when it stopped.
    g_wire.entries.clear();
    res_env_set(g_wire.saved_env);
    disp_set_links(g_wire.saved_links);
    disp_dev_seam_reset();
    obj_set_links(ObjLinks{});
    g_wire.installed = 0;
}

TexRecord* disp_wire_texture(uint32_t id)
{
    Entry* e = entry_of(id, Kind::Texture);
    return e ? &e->tex : nullptr;
}

std::span<const uint8_t> disp_wire_buffer_bytes(uint32_t id)
{
    const Entry* e = entry_of(id, Kind::Buffer);
    return e ? std::span<const uint8_t>(e->bytes) : std::span<const uint8_t>();
}

namespace {

// Fills a fresh device buffer with the entry's bytes through its lock.
template <typename Buf, typename Lock, typename Unlock, typename Release>
Buf* fill_buffer(Buf* b, const std::vector<uint8_t>& bytes, Lock lock, Unlock unlock,
                 Release release)
{
    void* p = nullptr;
    if (!b) return nullptr;
    if (!gfx_ok(lock(b, 0, 0, &p, 0)) || !p) {
        release(b);
        return nullptr;
    }
    std::memcpy(p, bytes.data(), bytes.size());
    unlock(b);
    return b;
}

}  // namespace

GfxVertexBuffer* disp_wire_vertex_buffer(uint32_t id)
{
    Entry* e = entry_of(id, Kind::Buffer);
    if (!e || e->vb) return e ? e->vb : nullptr;
    e->vb = fill_buffer(gfx_vb_create(uint32_t(e->bytes.size()), 0, 0, GFX_POOL_MANAGED), e->bytes,
                        gfx_vb_lock, gfx_vb_unlock, gfx_vb_release);
    return e->vb;
}

GfxIndexBuffer* disp_wire_index_buffer(uint32_t id, int index_bytes)
{
    Entry* e = entry_of(id, Kind::Buffer);
    if (!e || e->ib) return e ? e->ib : nullptr;
    const GfxFormat fmt = index_bytes == 4 ? GFX_FMT_INDEX32 : GFX_FMT_INDEX16;
    e->ib = fill_buffer(gfx_ib_create(uint32_t(e->bytes.size()), 0, fmt, GFX_POOL_MANAGED),
                        e->bytes, gfx_ib_lock, gfx_ib_unlock, gfx_ib_release);
    return e->ib;
}

int disp_wire_live_objects()
{
    int n = 0;
    for (const Entry& e : g_wire.entries) n += e.kind != Kind::Free;
    return n;
}
