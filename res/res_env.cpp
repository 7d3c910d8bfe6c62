// The record of engine services the resource modules call, its stand-ins that run without a
// window, and the test hooks that steer them (see res_env.h).
#include "res/res_env.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "math/vm_color.h"
#include "plat/byte_order.h"
#include "plat/files.h"

namespace {

struct TestState {
    float percent = 0.0f, step = 0.0f;
    std::vector<ResFatal> fatals;
    std::map<std::string, std::string> settings;
    std::map<uint32_t, std::vector<uint32_t>> textures;  // id -> texels
    std::map<uint32_t, uint32_t> buffers;                // id -> size
    uint32_t next_id = 1;
};

TestState& ts()
{
    static TestState s;
    return s;
}

int def_get_int(const char* key, int def)
{
    auto it = ts().settings.find(key ? key : "");
    if (it == ts().settings.end()) return def;
    int v = def;
    const std::string& s = it->second;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() ? v : def;
}

std::string def_get_string(const char* key, const char* def)
{
    auto it = ts().settings.find(key ? key : "");
    return it == ts().settings.end() ? std::string(def ? def : "") : it->second;
}

bool def_arcade_get_int(const char*, int*) { return false; }

float def_frame_percent()
{
    float p = ts().percent;
    ts().percent += ts().step;
    return p;
}

void* def_file_open(const char* path, uint64_t* size, std::string* why)
{
    auto* f = new PlatDataFile;
    if (!path || !plat_data_file_open(path, PLAT_DATA_FILE_MAX, f, why)) {
        delete f;
        return nullptr;
    }
    *size = f->size;
    return f;
}

size_t def_file_read(void* file, uint8_t* dst, size_t n)
{
    return plat_data_file_read(static_cast<PlatDataFile*>(file), dst, n);
}

void def_file_close(void* file) { delete static_cast<PlatDataFile*>(file); }

bool def_read_file(const char* path, std::vector<uint8_t>& out)
{
    return path && plat_read_data_file(path, PLAT_DATA_FILE_MAX, &out, nullptr);
}

bool def_file_exists(const char* path) { return path && plat_is_file(path); }

void def_fatal(uint16_t code, uint16_t sub, uint16_t detail, const char* text,
               const std::string& line)
{
    ts().fatals.push_back({code, sub, detail, text ? text : "", line});
}

void def_yield() { std::this_thread::yield(); }

// Texels are kept only once written: an unwritten texture reads as zeros.
uint32_t new_texture(uint16_t w, uint16_t h, ResTexInfo& out, uint16_t flags)
{
    uint32_t id = ts().next_id++;
    ts().textures[id].clear();
    out = {id, w, h, 32, flags};
    return id;
}

bool def_tex_create(uint16_t w, uint16_t h, uint32_t, bool, bool target, ResTexInfo& out)
{
    if (w == 0 || h == 0) return false;
    new_texture(w, h, out, target ? RES_TEX_TARGET : 0);
    return true;
}

// The RAM store takes any image of at least 8 bytes and reads its size from a
// PNG header when there is one, else makes it 1 x 1. It reads the IHDR fields
// alone, where gfx_image_probe would refuse the file: a stand-in's caller may
// announce a large picture in a few bytes, without its pixels or a CRC that
// matches.
bool def_image_size(const uint8_t* image, uint32_t size, uint16_t* w, uint16_t* h)
{
    if (!image || size < 8) return false;
    *w = *h = 1;
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 24 && std::memcmp(image, png, 8) == 0) {
        const uint32_t bw = plat_be_get32(image + 16), bh = plat_be_get32(image + 20);
        if (bw == 0 || bh == 0 || bw > 8192 || bh > 8192) return false;
        *w = uint16_t(bw);
        *h = uint16_t(bh);
    }
    return true;
}

bool def_tex_load(const uint8_t* image, uint32_t size, bool mipmaps, bool, ResTexInfo& out)
{
    uint16_t w, h;
    if (!def_image_size(image, size, &w, &h)) return false;
    new_texture(w, h, out, mipmaps ? RES_TEX_MIPMAPPED : 0);
    return true;
}

// 32-bit texels, with the whole chain of levels when mipmapped.
bool def_tex_load_bytes(const uint8_t* image, uint32_t size, bool mipmaps, uint64_t* bytes)
{
    uint16_t w, h;
    *bytes = 0;
    if (!def_image_size(image, size, &w, &h)) return false;
    for (uint32_t lw = w, lh = h;; lw = lw > 1 ? lw / 2 : 1, lh = lh > 1 ? lh / 2 : 1) {
        *bytes += uint64_t(lw) * lh * 4;
        if (!mipmaps || (lw == 1 && lh == 1)) return true;
    }
}

void def_tex_release(ResTexInfo& t)
{
    ts().textures.erase(t.id);
    t.id = 0;
}

bool def_tex_write(ResTexInfo& t, int x, int y, int w, int h, const uint32_t* argb)
{
    auto it = ts().textures.find(t.id);
    if (it == ts().textures.end() || x < 0 || y < 0 || w < 0 || h < 0 || x + w > t.width ||
        y + h > t.height)
        return false;
    if (it->second.empty()) it->second.assign(size_t(t.width) * t.height, 0);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            it->second[size_t(y + j) * t.width + size_t(x + i)] = argb[j * w + i];
    return true;
}

// The RAM store holds 32-bit texels: its own format is 0xAARRGGBB words.
bool def_tex_write_raw(ResTexInfo& t, int x, int y, int w, int h, const uint8_t* src, uint32_t size)
{
    if (!src || w < 0 || h < 0 || uint64_t(size) != uint64_t(w) * uint64_t(h) * 4) return false;
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    if (!argb.empty()) std::memcpy(argb.data(), src, size);
    return def_tex_write(t, x, y, w, h, argb.data());
}

bool def_tex_write_rgb(ResTexInfo& t, int x, int y, int w, int h, const uint8_t* src, int src_bpp)
{
    if (!src || w < 0 || h < 0 || (src_bpp != 3 && src_bpp != 4)) return false;
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    for (size_t i = 0; i < argb.size(); i++) {
        const uint8_t* p = src + i * size_t(src_bpp);
        argb[i] = color_pack_argb(p[2], p[1], p[0], 255);
    }
    return def_tex_write(t, x, y, w, h, argb.data());
}

bool def_tex_read(const ResTexInfo& t, int x, int y, int w, int h, uint32_t* argb)
{
    auto it = ts().textures.find(t.id);
    if (it == ts().textures.end() || x < 0 || y < 0 || w < 0 || h < 0 || x + w > t.width ||
        y + h > t.height)
        return false;
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            argb[j * w + i] =
                it->second.empty() ? 0 : it->second[size_t(y + j) * t.width + size_t(x + i)];
    return true;
}

bool def_depth_create(uint16_t w, uint16_t h, uint32_t, ResTexInfo& out)
{
    if (w == 0 || h == 0) return false;
    new_texture(w, h, out, 0);
    return true;
}

void def_nothing() {}
void def_tex_nothing(ResTexInfo&) {}

uint32_t def_buffer_create(const void*, uint32_t size)
{
    uint32_t id = ts().next_id++;
    ts().buffers[id] = size;
    return id;
}

void def_buffer_release(uint32_t id) { ts().buffers.erase(id); }

void def_mat_mul(float out[16], const float a[16], const float b[16])
{
    float r[16];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            r[4 * i + j] = a[4 * i] * b[j] + a[4 * i + 1] * b[4 + j] + a[4 * i + 2] * b[8 + j] +
                           a[4 * i + 3] * b[12 + j];
    std::memcpy(out, r, sizeof r);
}

ResEnv& active()
{
    static ResEnv e = res_env_defaults();
    return e;
}

}  // namespace

ResEnv res_env_defaults()
{
    ResEnv e{};
    e.get_int = def_get_int;
    e.get_string = def_get_string;
    e.arcade_get_int = def_arcade_get_int;
    e.frame_percent = def_frame_percent;
    e.read_file = def_read_file;
    e.file_exists = def_file_exists;
    e.file_open = def_file_open;
    e.file_read = def_file_read;
    e.file_close = def_file_close;
    e.fatal = def_fatal;
    e.yield = def_yield;
    e.tex_create = def_tex_create;
    e.tex_load = def_tex_load;
    e.tex_load_bytes = def_tex_load_bytes;
    e.tex_release = def_tex_release;
    e.tex_write = def_tex_write;
    e.tex_write_raw = def_tex_write_raw;
    e.tex_write_rgb = def_tex_write_rgb;
    e.tex_read = def_tex_read;
    e.depth_create = def_depth_create;
    e.surfaces_lost = def_nothing;
    e.surfaces_reset = def_nothing;
    e.tex_lost = def_tex_nothing;
    e.tex_reset = def_tex_nothing;
    e.buffer_create = def_buffer_create;
    e.buffer_release = def_buffer_release;
    e.mat_mul = def_mat_mul;
    return e;
}

ResEnv& res_env() { return active(); }
void res_env_set(const ResEnv& e) { active() = e; }

void res_env_test_set_frame_percent(float percent, float step_per_call)
{
    ts().percent = percent;
    ts().step = step_per_call;
}

std::vector<ResFatal>& res_env_test_fatals() { return ts().fatals; }

void res_env_test_set_setting(const char* key, const char* value) { ts().settings[key] = value; }
void res_env_test_clear_settings() { ts().settings.clear(); }

int res_env_test_live_objects() { return int(ts().textures.size() + ts().buffers.size()); }
