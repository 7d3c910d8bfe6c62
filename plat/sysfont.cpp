// plat/sysfont: FreeType glyphs of a fontconfig face, drawn through the device.
#include "plat/sysfont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "math/vm_color.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_shader.h"
#include "plat/gfx_stage.h"
#include "plat/gfx_tex.h"

namespace {

struct Glyph {
    int width = 0, rows = 0, left = 0, top = 0, advance = 0;
    std::vector<uint8_t> coverage;  // width x rows, 0..255
};

struct Library {
    FT_Library ft = nullptr;
    int users = 0;
};
Library g_lib;

FT_Library library_acquire()
{
    if (!g_lib.ft && FT_Init_FreeType(&g_lib.ft) != 0) g_lib.ft = nullptr;
    if (g_lib.ft) ++g_lib.users;
    return g_lib.ft;
}

void library_release()
{
    if (g_lib.users > 0 && --g_lib.users == 0) {
        FT_Done_FreeType(g_lib.ft);
        g_lib.ft = nullptr;
    }
}

// The file of the best face for a fontconfig pattern, empty when none.
std::string match_face(const char* pattern_text)
{
    std::string file;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(pattern_text));
    if (!pattern) return file;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
        file = reinterpret_cast<const char*>(path);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}

constexpr uint32_t SYSFONT_REPLACEMENT = '?';

// Next code point of UTF-8 text; malformed bytes give '?' and advance one.
uint32_t next_code_point(std::string_view s, size_t& i)
{
    const uint8_t c = uint8_t(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra == 0) {
        ++i;
        return c;
    }
    if (extra < 0 || i + size_t(extra) >= s.size()) {
        ++i;
        return SYSFONT_REPLACEMENT;
    }
    uint32_t cp = c & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k) {
        const uint8_t b = uint8_t(s[i + size_t(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return SYSFONT_REPLACEMENT;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    i += size_t(extra) + 1;
    return cp;
}

struct Line {
    std::vector<const Glyph*> glyphs;
    int width = 0;
};

struct Vertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
constexpr uint32_t SYSFONT_QUAD_FVF =
    GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (1u << GFX_FVF_TEXCOUNT_SHIFT);

}  // namespace

struct SysFont {
    FT_Face face = nullptr;
    std::string file;
    int line_height = 0, ascender = 0;
    std::unordered_map<uint32_t, Glyph> glyphs;
    GfxTexture* texture = nullptr;  // grown as texts need
    int tex_w = 0, tex_h = 0;
};

namespace {

const Glyph* glyph_of(SysFont* f, uint32_t cp)
{
    auto it = f->glyphs.find(cp);
    if (it != f->glyphs.end()) return &it->second;
    Glyph g;
    if (FT_Load_Char(f->face, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0) {
        const FT_GlyphSlot slot = f->face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        g.width = int(bm.width);
        g.rows = int(bm.rows);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.advance = int(slot->advance.x >> 6);
        g.coverage.resize(size_t(g.width) * size_t(g.rows));
        for (int y = 0; y < g.rows; ++y) {
            const uint8_t* row = bm.buffer + ptrdiff_t(y) * bm.pitch;
            std::copy(row, row + g.width, g.coverage.begin() + ptrdiff_t(y) * g.width);
        }
    }
    return &f->glyphs.emplace(cp, std::move(g)).first->second;
}

std::vector<Line> layout(SysFont* f, std::string_view text, uint32_t flags)
{
    std::vector<Line> lines(1);
    for (size_t i = 0; i < text.size();) {
        const uint32_t cp = next_code_point(text, i);
        if (cp == '\n' && !(flags & SYSFONT_SINGLELINE)) {
            lines.emplace_back();
            continue;
        }
        if (cp == '\r' || cp == '\n') continue;
        const Glyph* g = glyph_of(f, cp);
        lines.back().glyphs.push_back(g);
        lines.back().width += g->advance;
    }
    return lines;
}

void lines_size(const SysFont* f, const std::vector<Line>& lines, int* w, int* h)
{
    int width = 0;
    for (const Line& l : lines) width = std::max(width, l.width);
    *w = width;
    *h = int(lines.size()) * f->line_height;
}

// Makes sure the font's texture holds w x h texels.
bool reserve_texture(SysFont* f, int w, int h)
{
    if (f->texture && w <= f->tex_w && h <= f->tex_h) return true;
    const int nw = std::max(w, f->tex_w), nh = std::max(h, f->tex_h);
    GfxTexture* t =
        gfx_tex_create(nw, nh, 1, GFX_USAGE_DYNAMIC, GFX_FMT_A8R8G8B8, GFX_POOL_DEFAULT);
    if (!t) return false;
    if (f->texture) gfx_tex_release(f->texture);
    f->texture = t;
    f->tex_w = nw;
    f->tex_h = nh;
    return true;
}

// White texels whose alpha is the glyph coverage; the draw colour modulates.
bool compose(SysFont* f, const std::vector<Line>& lines, int w, int h, uint32_t flags)
{
    GfxRect r = {0, 0, w, h};
    GfxLockedRect lr{};
    if (!gfx_ok(gfx_tex_lock(f->texture, 0, &r, &lr, 0)) || !lr.bits) return false;
    for (int y = 0; y < h; ++y)
        std::fill_n(
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.bits) + ptrdiff_t(y) * lr.pitch),
            w, 0x00FFFFFFu);
    for (size_t li = 0; li < lines.size(); ++li) {
        const Line& line = lines[li];
        int pen = flags & SYSFONT_RIGHT    ? w - line.width
                  : flags & SYSFONT_CENTER ? (w - line.width) / 2
                                           : 0;
        const int baseline = int(li) * f->line_height + f->ascender;
        for (const Glyph* g : line.glyphs) {
            for (int gy = 0; gy < g->rows; ++gy) {
                const int y = baseline - g->top + gy;
                if (y < 0 || y >= h) continue;
                auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.bits) +
                                                        ptrdiff_t(y) * lr.pitch);
                for (int gx = 0; gx < g->width; ++gx) {
                    const int x = pen + g->left + gx;
                    if (x < 0 || x >= w) continue;
                    const uint32_t a = std::max(color_a(row[x]),
                                                uint32_t(g->coverage[size_t(gy * g->width + gx)]));
                    row[x] = color_set_alpha(0x00FFFFFFu, a);
                }
            }
            pen += g->advance;
        }
    }
    gfx_tex_unlock(f->texture, 0);
    return true;
}

void set_text_states()
{
    gfx_set_vertex_shader(nullptr);
    gfx_set_pixel_shader(nullptr);
    gfx_set_fvf(SYSFONT_QUAD_FVF);
    gfx_set_render_state(GFX_RS_LIGHTING, 0);
    gfx_set_render_state(GFX_RS_FOGENABLE, 0);
    gfx_set_render_state(GFX_RS_ZWRITEENABLE, 0);
    gfx_set_render_state(GFX_RS_ZFUNC, GFX_CMP_ALWAYS);
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_FILLMODE, GFX_FILL_SOLID);
    gfx_set_render_state(GFX_RS_ALPHATESTENABLE, 0);
    gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
    gfx_set_render_state(GFX_RS_SEPARATEALPHABLENDENABLE, 0);
    gfx_set_render_state(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
    gfx_set_render_state(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
    gfx_set_render_state(GFX_RS_BLENDOP, GFX_BLENDOP_ADD);
    gfx_stage_modulate_texture_diffuse(0);
    gfx_set_texture_stage_state(1, GFX_TSS_COLOROP, GFX_TOP_DISABLE);
    gfx_set_sampler_state(0, GFX_SAMP_MAGFILTER, GFX_TEXF_POINT);
    gfx_set_sampler_state(0, GFX_SAMP_MINFILTER, GFX_TEXF_POINT);
    gfx_set_sampler_state(0, GFX_SAMP_MIPFILTER, GFX_TEXF_NONE);
    gfx_set_sampler_state(0, GFX_SAMP_ADDRESSU, GFX_TADDRESS_CLAMP);
    gfx_set_sampler_state(0, GFX_SAMP_ADDRESSV, GFX_TADDRESS_CLAMP);
}

}  // namespace

SysFont* sysfont_create(int height, int width)
{
    if (height <= 0) return nullptr;
    std::string file = match_face(":lang=ja");
    if (file.empty()) file = match_face("");
    if (file.empty()) return nullptr;
    FT_Library lib = library_acquire();
    if (!lib) return nullptr;
    auto* f = new SysFont;
    f->file = file;
    if (FT_New_Face(lib, file.c_str(), 0, &f->face) != 0 ||
        FT_Set_Pixel_Sizes(f->face, FT_UInt(width > 0 ? 2 * width : 0), FT_UInt(height)) != 0) {
        if (f->face) FT_Done_Face(f->face);
        delete f;
        library_release();
        return nullptr;
    }
    f->ascender = int(f->face->size->metrics.ascender >> 6);
    f->line_height = std::max(int(f->face->size->metrics.height >> 6), height);
    return f;
}

void sysfont_release(SysFont* font)
{
    if (!font) return;
    if (font->texture) gfx_tex_release(font->texture);
    FT_Done_Face(font->face);
    delete font;
    library_release();
}

const char* sysfont_face_file(const SysFont* font) { return font ? font->file.c_str() : ""; }

void sysfont_measure(SysFont* font, const char* utf8, uint32_t flags, int* width, int* height)
{
    int w = 0, h = 0;
    if (font && utf8) lines_size(font, layout(font, utf8, flags), &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

int sysfont_draw(SysFont* font, const char* utf8, const GfxRect& box, uint32_t flags,
                 uint32_t color)
{
    if (!font || !utf8 || !*utf8 || !gfx_device_ok()) return 0;
    const std::vector<Line> lines = layout(font, utf8, flags);
    int w, h;
    lines_size(font, lines, &w, &h);
    if (w <= 0 || h <= 0 || !reserve_texture(font, w, h) || !compose(font, lines, w, h, flags))
        return 0;
    const int bw = box.right - box.left, bh = box.bottom - box.top;
    const int x = flags & SYSFONT_RIGHT    ? box.right - w
                  : flags & SYSFONT_CENTER ? box.left + (bw - w) / 2
                                           : box.left;
    const int y = flags & SYSFONT_BOTTOM    ? box.bottom - h
                  : flags & SYSFONT_VCENTER ? box.top + (bh - h) / 2
                                            : box.top;
    // Corners half a pixel up and left: texel i lands on pixel x + i.
    const float x0 = float(x) - 0.5f, y0 = float(y) - 0.5f;
    const float x1 = x0 + float(w), y1 = y0 + float(h);
    const float u1 = float(w) / float(font->tex_w), v1 = float(h) / float(font->tex_h);
    const Vertex quad[4] = {{x0, y0, 0, 1, color, 0, 0},
                            {x1, y0, 0, 1, color, u1, 0},
                            {x0, y1, 0, 1, color, 0, v1},
                            {x1, y1, 0, 1, color, u1, v1}};
    set_text_states();
    gfx_set_texture(0, font->texture);
    const GfxHr hr = gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    gfx_set_texture(0, nullptr);
    return gfx_ok(hr) ? 1 : 0;
}
