// The resource manager's textures, crops and depth-stencil surfaces: the pools
// whose entries hold device surfaces, the default textures, and what those
// surfaces go through when the device is lost and reset.
#include "res/res_local.h"

#include "math/vm_color.h"
#include "plat/files.h"
#include "plat/log_text.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace res_local;

// ==== textures ===================================================================================

namespace {

uint32_t tex_bytes_of(const ResTexInfo& t, bool mip_surcharge)
{
    uint32_t b = uint32_t(t.width) * t.height * t.bpp / 8;
    return mip_surcharge ? b + b * 3 / 8 : b;
}

// Registers a texture made by `make`; the name as given (already a stem for
// the loading operations). `held` is what a loaded texture counts in the budget.
template <typename Make>
ResHandle tex_register(const char* group, const char* name, bool mip_surcharge, uint64_t held,
                       Make make)
{
    RegStart r = reg_start(RES_TEX, group, name);
    if (r.existing || !r.ok) return r.existing;
    Pool& p = g.pool[RES_TEX];
    TexEntry& e = *entry<TexEntry>(RES_TEX, p.used++);
    e = TexEntry{};
    if (!make(e.tex)) {
        p.used--;
        e = TexEntry{};
        return 0;
    }
    e.name_at = p.names.cursor;
    fill_head(e.h, r.group, intern(p.names, name), name);
    res_tex_apply_name_rules(e.tex, name);
    e.bytes = tex_bytes_of(e.tex, mip_surcharge && (e.tex.flags & RES_TEX_MIPMAPPED));
    g.tex_bytes += e.bytes;
    e.held = held;
    g.tex_held += held;
    raise_high(p);
    return res_index_to_handle(p.used - 1);
}

void skipped(const char* shown, const char* why)
{
    plat_log_line("res: texture \"%s\" skipped: %s", shown, why);
}

// What a texture made from `image` would hold, read from its header, when the
// budget has room for it. A header the loader refuses gives false with
// nothing said (the loader's caller reports it); a texture past the budget
// gives false and the skip line naming the budget's key.
bool budget_room(const char* shown, const uint8_t* image, uint32_t size, bool mipmaps,
                 uint64_t* held)
{
    *held = 0;
    if (!res_env().tex_load_bytes(image, size, mipmaps, held)) return false;
    if (*held <= g.tex_budget && g.tex_held <= g.tex_budget - *held) return true;
    char why[160];
    std::snprintf(why, sizeof why, "its %llu bytes pass the texture budget (%s %llu, %llu in use)",
                  (unsigned long long)*held, RES_TEX_BUDGET_KEY, (unsigned long long)g.tex_budget,
                  (unsigned long long)g.tex_held);
    skipped(shown, why);
    g.tex_budget_refusals++;
    *held = 0;
    return false;
}

uint16_t clamp_size(int v) { return uint16_t(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v); }

}  // namespace

void res_tex_apply_name_rules(ResTexInfo& t, const char* name)
{
    if (name_contains(name, "_clamp"))
        t.flags = uint16_t((t.flags & ~(0x3Fu << RES_TEX_ADDR_U_SHIFT)) |
                           (1u << RES_TEX_ADDR_U_SHIFT) | (1u << RES_TEX_ADDR_V_SHIFT));
}

ResHandle res_tex_create(const char* group, const char* name, int w, int h, uint32_t format,
                         bool dynamic)
{
    if (w < 1 || h < 1) return 0;
    return tex_register(group, name, false, 0, [&](ResTexInfo& t) {
        return res_env().tex_create(clamp_size(w), clamp_size(h), format, dynamic, false, t);
    });
}

ResHandle res_tex_create_target(const char* group, const char* name, int w, int h, uint32_t format)
{
    if (w < 1 || h < 1) return 0;
    return tex_register(group, name, false, 0, [&](ResTexInfo& t) {
        return res_env().tex_create(clamp_size(w), clamp_size(h), format, false, true, t);
    });
}

ResHandle res_tex_load_mem(const char* group, const char* name, const uint8_t* image, uint32_t size,
                           bool mipmaps, bool linear)
{
    std::array<char, RES_NAME_WORK> stem;
    if (!stem_of(name, stem)) return 0;
    RegStart r = reg_start(RES_TEX, group, stem.data());
    if (r.existing || !r.ok) return r.existing;
    uint64_t held = 0;
    if (!budget_room(name, image, size, mipmaps, &held)) return 0;
    return tex_register(group, stem.data(), true, held, [&](ResTexInfo& t) {
        return res_env().tex_load(image, size, mipmaps, linear, t);
    });
}

ResHandle res_tex_load_file(const char* group, const char* path, bool mipmaps, bool linear)
{
    std::array<char, RES_NAME_WORK> stem;
    if (!stem_of(path, stem)) return 0;
    // An already registered texture is answered without reading the file.
    RegStart r = reg_start(RES_TEX, group, stem.data());
    if (r.existing || !r.ok) return r.existing;
    std::vector<uint8_t> bytes;
    if (!res_env().read_file(path, bytes)) return 0;
    const std::string shown = plat_path_native(path);
    const uint32_t refusals = g.tex_budget_refusals;
    uint64_t held = 0;
    ResHandle h = 0;
    if (budget_room(shown.c_str(), bytes.data(), uint32_t(bytes.size()), mipmaps, &held))
        h = tex_register(group, stem.data(), true, held, [&](ResTexInfo& t) {
            return res_env().tex_load(bytes.data(), uint32_t(bytes.size()), mipmaps, linear, t);
        });
    // The file was there but gave no texture: the texture is skipped, and
    // only this line tells why it is missing.
    if (!h && refusals == g.tex_budget_refusals)
        skipped(shown.c_str(), "broken, of an unknown kind, or too large to decode");
    return h;
}

int res_tex_recreate(ResHandle h, int w, int hgt, uint32_t format, bool dynamic)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    if (!e) return 0;
    bool target = e->tex.flags & RES_TEX_TARGET;
    g.tex_bytes -= e->bytes;
    e->bytes = 0;
    g.tex_held -= e->held;  // made again empty, no longer a loaded image
    e->held = 0;
    res_env().tex_release(e->tex);
    if (w < 1 || hgt < 1) return 1;
    if (!res_env().tex_create(clamp_size(w), clamp_size(hgt), format, dynamic, target, e->tex))
        return 0;
    res_tex_apply_name_rules(e->tex, e->h.name);
    e->bytes = tex_bytes_of(e->tex, false);
    g.tex_bytes += e->bytes;
    raise_high(g.pool[RES_TEX]);
    return 1;
}

int res_tex_set_image(ResHandle h, int x, int y, int w, int hgt, const uint32_t* argb)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    return e && argb && res_env().tex_write(e->tex, x, y, w, hgt, argb) ? 1 : 0;
}

int res_tex_set_image_raw(ResHandle h, int x, int y, int w, int hgt, const uint8_t* src,
                          uint32_t size)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    return e && src && res_env().tex_write_raw(e->tex, x, y, w, hgt, src, size) ? 1 : 0;
}

int res_tex_set_image_rgb(ResHandle h, int x, int y, int w, int hgt, const uint8_t* src,
                          int src_bpp)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    return e && src && res_env().tex_write_rgb(e->tex, x, y, w, hgt, src, src_bpp) ? 1 : 0;
}

int res_tex_read_image(ResHandle h, int x, int y, int w, int hgt, uint32_t* argb)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    return e && argb && res_env().tex_read(e->tex, x, y, w, hgt, argb) ? 1 : 0;
}

uint32_t res_tex_read_texel(ResHandle h, int x, int y)
{
    uint32_t v = 0;
    res_tex_read_image(h, x, y, 1, 1, &v);
    return v;
}

bool res_tex_set_address(ResHandle h, uint32_t u_mode, uint32_t v_mode)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    if (!e) return false;
    uint32_t f = e->tex.flags & ~(0x3Fu << RES_TEX_ADDR_U_SHIFT);
    e->tex.flags =
        uint16_t(f | (u_mode & 7) << RES_TEX_ADDR_U_SHIFT | (v_mode & 7) << RES_TEX_ADDR_V_SHIFT);
    return true;
}

int res_tex_make_texel_copy(ResHandle h, uint8_t (*convert)(uint32_t))
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    if (!e) return 0;
    if (e->texels) return 1;
    size_t n = size_t(e->tex.width) * e->tex.height;
    std::vector<uint32_t> argb(n);
    if (n && !res_env().tex_read(e->tex, 0, 0, e->tex.width, e->tex.height, argb.data())) return 0;
    // Without room for the copy there is no copy, and the answer says so.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(n ? n : 1));
    if (!copy) return 0;
    for (size_t i = 0; i < n; i++) copy[i] = convert ? convert(argb[i]) : uint8_t(color_a(argb[i]));
    e->texels = copy;
    return 1;
}

uint8_t res_tex_sample(ResHandle h, float u, float v)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    if (!e || !e->texels) return 0;
    const float w = e->tex.width, hh = e->tex.height;
    float fx = (w + 0.5f) * u, fy = (hh + 0.5f) * v;
    // Truncation toward zero; anything that would land outside is 0.
    if (!(fx > -1.0f && fx < w) || !(fy > -1.0f && fy < hh)) return 0;
    int x = int(fx), y = int(fy);
    return e->texels[size_t(y) * e->tex.width + size_t(x)];
}

void res_tex_release(ResHandle h)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    if (!e) return;
    g.tex_bytes -= e->bytes;
    g.tex_held -= e->held;
    std::free(e->texels);
    g.pool[RES_TEX].names.cursor = e->name_at;
    res_env().tex_release(e->tex);
    *e = TexEntry{};
}

const ResTexInfo* res_tex_get(ResHandle h)
{
    TexEntry* e = get<TexEntry>(RES_TEX, h);
    return e ? &e->tex : nullptr;
}

int32_t res_tex_count() { return g.pool[RES_TEX].used; }
uint32_t res_tex_bytes() { return g.tex_bytes; }
uint64_t res_tex_held_bytes() { return g.tex_held; }
uint32_t res_tex_budget_refusals() { return g.tex_budget_refusals; }
ResHandle res_tex_test() { return g.defaults[RES_DEF_TEST]; }
ResHandle res_tex_white() { return g.defaults[RES_DEF_WHITE]; }
ResHandle res_tex_black() { return g.defaults[RES_DEF_BLACK]; }
ResHandle res_tex_green() { return g.defaults[RES_DEF_GREEN]; }
ResHandle res_tex_cyan() { return g.defaults[RES_DEF_CYAN]; }
ResHandle res_tex_magenta() { return g.defaults[RES_DEF_MAGENTA]; }
ResHandle res_tex_nrm() { return g.defaults[RES_DEF_NRM]; }

// ==== crops, depth-stencil surfaces ===================================================================

namespace {

ResHandle crop_add(const char* group, const char* name, const ResCrop& c,
                   ResHandle (*tex_of)(const char*, const void*), const void* ctx)
{
    std::array<char, RES_NAME_WORK> stem;
    if (!stem_of(name, stem)) return 0;
    RegStart r = reg_start(RES_CROP, group, stem.data());
    if (r.existing || !r.ok) return r.existing;
    Pool& p = g.pool[RES_CROP];
    CropEntry& e = *entry<CropEntry>(RES_CROP, p.used++);
    e = CropEntry{};
    e.crop = c;
    e.crop.tex = tex_of(r.group, ctx);
    e.name_at = p.names.cursor;
    fill_head(e.h, r.group, intern(p.names, stem.data()), stem.data());
    raise_high(p);
    return res_index_to_handle(p.used - 1);
}

// The crop rectangle in fractions of a texture given by handle; zeros and no
// texture for an invalid or empty texture.
ResCrop crop_px(float x, float y, float w, float h, ResHandle tex)
{
    const ResTexInfo* t = res_tex_get(tex);
    if (!t || t->width == 0 || t->height == 0) return ResCrop{0, 0, 0, 0, 0};
    return ResCrop{tex, x / t->width, y / t->height, w / t->width, h / t->height};
}

}  // namespace

ResHandle res_crop_register(const char* group, const char* name, float u, float v, float w, float h,
                            const char* tex_name)
{
    return crop_add(
        group, name, ResCrop{0, u, v, w, h},
        [](const char* igroup, const void* ctx) -> ResHandle {
            std::array<char, RES_NAME_WORK> stem;
            return stem_of(static_cast<const char*>(ctx), stem) ? res_tex_find(igroup, stem.data())
                                                                : 0;
        },
        tex_name);
}

ResHandle res_crop_register_px(const char* group, const char* name, float x, float y, float w,
                               float h, ResHandle tex)
{
    ResCrop c = crop_px(x, y, w, h, tex);
    return crop_add(
        group, name, c,
        [](const char*, const void* ctx) { return *static_cast<const ResHandle*>(ctx); }, &c.tex);
}

int res_crop_set_px(ResHandle crop, float x, float y, float w, float h, ResHandle tex)
{
    CropEntry* e = get<CropEntry>(RES_CROP, crop);
    if (!e) return 0;
    e->crop = crop_px(x, y, w, h, tex);
    return 1;
}

const ResCrop* res_crop_get(ResHandle h)
{
    CropEntry* e = get<CropEntry>(RES_CROP, h);
    return e ? &e->crop : nullptr;
}

void res_crop_release(ResHandle h)
{
    CropEntry* e = get<CropEntry>(RES_CROP, h);
    if (!e) return;
    g.pool[RES_CROP].names.cursor = e->name_at;
    *e = CropEntry{};
}

ResHandle res_depth_register(const char* group, const char* name, int w, int h, uint32_t format)
{
    std::array<char, RES_NAME_WORK> stem;
    if (!stem_of(name, stem) || w < 1 || h < 1) return 0;
    RegStart r = reg_start(RES_DEPTH, group, stem.data());
    if (r.existing || !r.ok) return r.existing;
    Pool& p = g.pool[RES_DEPTH];
    DepthEntry& e = *entry<DepthEntry>(RES_DEPTH, p.used++);
    e = DepthEntry{};
    if (!res_env().depth_create(clamp_size(w), clamp_size(h), format, e.surf)) {
        p.used--;
        return 0;
    }
    e.format = format;
    e.bytes = tex_bytes_of(e.surf, false);
    g.tex_bytes += e.bytes;
    e.name_at = p.names.cursor;
    fill_head(e.h, r.group, intern(p.names, stem.data()), stem.data());
    raise_high(p);
    return res_index_to_handle(p.used - 1);
}

const ResTexInfo* res_depth_get(ResHandle h)
{
    DepthEntry* e = get<DepthEntry>(RES_DEPTH, h);
    return e ? &e->surf : nullptr;
}

void res_depth_release(ResHandle h)
{
    DepthEntry* e = get<DepthEntry>(RES_DEPTH, h);
    if (!e) return;
    g.tex_bytes -= e->bytes;
    g.pool[RES_DEPTH].names.cursor = e->name_at;
    res_env().tex_release(e->surf);
    *e = DepthEntry{};
}

int res_depth_resize(ResHandle h, int w, int hgt, uint32_t format)
{
    DepthEntry* e = get<DepthEntry>(RES_DEPTH, h);
    if (!e) return 0;
    // The byte total follows the new size (it is only a statistic).
    g.tex_bytes -= e->bytes;
    e->bytes = 0;
    res_env().tex_release(e->surf);
    if (w < 1 || hgt < 1) return 1;
    if (!res_env().depth_create(clamp_size(w), clamp_size(hgt), format, e->surf)) return 0;
    e->format = format;
    e->bytes = tex_bytes_of(e->surf, false);
    g.tex_bytes += e->bytes;
    return 1;
}

// ==== device loss ====================================================================================

void res_on_device_lost()
{
    ResEnv& env = res_env();
    env.surfaces_lost();
    for (int32_t i = g.pool[RES_TEX].used - 1; i >= 0; i--)
        env.tex_lost(entry<TexEntry>(RES_TEX, i)->tex);
    for (int32_t i = g.pool[RES_DEPTH].used - 1; i >= 0; i--)
        env.tex_lost(entry<DepthEntry>(RES_DEPTH, i)->surf);
}

void res_on_device_reset()
{
    ResEnv& env = res_env();
    env.surfaces_reset();
    for (int32_t i = g.pool[RES_TEX].used - 1; i >= 0; i--)
        env.tex_reset(entry<TexEntry>(RES_TEX, i)->tex);
    for (int32_t i = g.pool[RES_DEPTH].used - 1; i >= 0; i--)
        env.tex_reset(entry<DepthEntry>(RES_DEPTH, i)->surf);
}
