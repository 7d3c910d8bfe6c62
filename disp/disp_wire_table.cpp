// disp/disp_wire_table: the device objects the resource manager holds by id
// (see disp_wire_table.h).
#include "disp/disp_wire_table.h"

#include <cstring>
#include <deque>
#include <vector>

#include "disp/d3d9.h"
#include "disp/rstate.h"
#include "disp/tex.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "res/res.h"
#include "res/res_env.h"

namespace {

enum class Kind : uint8_t { Free, Texture, Depth, Buffer };

struct Entry {
    Kind kind = Kind::Free;
    TexRecord tex{};
    SurfRecord surf{};
    std::vector<uint8_t> bytes;  // mesh buffer contents
    GfxVertexBuffer* vb = nullptr;
    GfxIndexBuffer* ib = nullptr;
};

std::deque<Entry> g_entries;  // id = index + 1; records never move

Entry* entry_of(uint32_t id, Kind kind)
{
    if (id == 0 || id > g_entries.size()) return nullptr;
    Entry& e = g_entries[id - 1];
    return e.kind == kind ? &e : nullptr;
}

uint32_t new_entry(Kind kind)
{
    for (size_t i = 0; i < g_entries.size(); ++i) {
        if (g_entries[i].kind == Kind::Free) {
            g_entries[i].kind = kind;
            return uint32_t(i + 1);
        }
    }
    g_entries.emplace_back();
    g_entries.back().kind = kind;
    return uint32_t(g_entries.size());
}

void free_entry(uint32_t id)
{
    if (id == 0 || id > g_entries.size()) return;
    Entry& e = g_entries[id - 1];
    if (e.kind == Kind::Texture) tex_release(&e.tex);
    if (e.kind == Kind::Depth) tex_surface_release(&e.surf);
    if (e.vb) gfx_vb_release(e.vb);
    if (e.ib) gfx_ib_release(e.ib);
    e = Entry{};
}

void describe_texture(uint32_t id, const TexRecord& t, ResTexInfo& out)
{
    uint16_t flags = 0;
    if (t.flags & TEX_FLAG_MIP) flags |= RES_TEX_MIPMAPPED;
    if (t.flags & TEX_FLAG_RENDER_TARGET) flags |= RES_TEX_TARGET;
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

// ---- device services of the resource manager -----------------------------------------------

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

bool env_tex_load_bytes(const uint8_t* image, uint32_t size, bool mipmaps, uint64_t* bytes)
{
    *bytes = 0;
    return image && tex_file_mem_bytes({image, size}, mipmaps ? 1 : 0, bytes);
}

void env_tex_release(ResTexInfo& t)
{
    free_entry(t.id);
    t.id = 0;
}

// Writes and reads go through 32-bit A8R8G8B8 / X8R8G8B8 textures only.
bool argb_texture(const Entry* e)
{
    return e && (e->tex.fmt_index == DISP_SF_A8R8G8B8 || e->tex.fmt_index == DISP_SF_X8R8G8B8);
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

}  // namespace

void disp_wire_table_env(ResEnv& e)
{
    e.tex_create = env_tex_create;
    e.tex_load = env_tex_load;
    e.tex_load_bytes = env_tex_load_bytes;
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
}

void disp_wire_table_clear() { g_entries.clear(); }

TexRecord* disp_wire_tex_lookup(uint32_t handle)
{
    const ResTexInfo* info = res_tex_get(handle);
    Entry* e = info ? entry_of(info->id, Kind::Texture) : nullptr;
    if (!e) return nullptr;
    constexpr uint16_t DISP_WIRE_ADDR_MASK = uint16_t(0x3Fu << TEX_ADDR_U_SHIFT);
    static_assert(TEX_ADDR_U_SHIFT == RES_TEX_ADDR_U_SHIFT &&
                  TEX_ADDR_V_SHIFT == RES_TEX_ADDR_V_SHIFT);
    e->tex.flags =
        uint16_t((e->tex.flags & ~DISP_WIRE_ADDR_MASK) | (info->flags & DISP_WIRE_ADDR_MASK));
    return &e->tex;
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
    for (const Entry& e : g_entries) n += e.kind != Kind::Free;
    return n;
}
