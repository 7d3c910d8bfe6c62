// disp/font: bitmap and system fonts, text-list renderers (see font.h).
#include "disp/font.h"
#include "disp/font_local.h"

#include <algorithm>
#include <array>

#include "svc/textlist.h"
#include "svc/txt_settings.h"
#include "svc/window.h"
#include "disp/d3d9.h"
#include "disp/rstate.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "plat/byte_order.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_stage.h"
#include "plat/gfx_tex.h"
#include "plat/sysfont.h"
#include "res/name.h"
#include "res/res.h"
#include "plat/embedded.h"

namespace {

constexpr float FONT_FONT4_RATIO = 0.5454546f;  // 6 / 11

constexpr std::array<FontDesc, FONT_COUNT> FONT_FONTS = {{
    {"font1.dds", 1, 0, 16, 32, 16.0f, 0.5f, 0, 0, 8, 16},
    {"font1.dds", 1, 0, 16, 32, 24.0f, 0.5f, 0, 0, 8, 16},
    {"font1.dds", 1, 0, 16, 32, 16.0f, 0.5f, 0, 0, 8, 16},
    {"font1.dds", 1, 0, 16, 32, 64.0f, 0.5f, 0, 0, 8, 16},
    {"font6x11.png", 1, 0, 16, 32, 11.0f, FONT_FONT4_RATIO, 0, 0, 6, 11},
    {"f1632.png", 0, 0, 16, 32, 32.0f, 0.5f, 0, 0, 16, 32},
}};

constexpr const char* FONT_DEFAULT_PATH = ".\\data\\font\\";
constexpr uint32_t FONT_BITMAP_TEXT_FVF = 0x244;  // XYZRHW, DIFFUSE, two texture sets
constexpr int FONT_LEAD_BYTE_BASE = 0x82;
constexpr int FONT_TRAIL_BYTE_BASE = 0x1E;

struct FontModule {
    ResMark mark;
    std::string path;
    std::array<FontState, FONT_COUNT> state;
    std::array<SysFont*, FONT_COUNT> sys;
};
FontModule g_font;

bool valid_font(uint32_t font) { return font < uint32_t(FONT_COUNT); }

// ---- text-list records ------------------------------------------------------------------

struct Record {
    uint32_t font, color, align, size;
    int32_t x, y;
    const char* text;
    uint32_t length;
};

// Reads the record at p; the next record's start in next. False at the end
// mark (or anything that is not a record).
bool read_record(const uint8_t* p, Record* r, const uint8_t** next)
{
    if (!p || p[0] != TEXTLIST_RECORD_MARK) return false;
    r->font = plat_le_get32(p + 4);
    r->color = plat_le_get32(p + 8);
    r->align = plat_le_get32(p + 12);
    r->size = plat_le_get32(p + 16);
    r->x = int32_t(plat_le_get32(p + 24));
    r->y = int32_t(plat_le_get32(p + 28));
    r->length = plat_le_get32(p + 32);
    const uint32_t field = plat_le_get32(p + 36);
    // The writer always leaves the NUL inside the field.
    r->length = std::min(r->length, field > 0 ? field - 1 : 0);
    r->text = reinterpret_cast<const char*>(p + TEXTLIST_HEADER_SIZE);
    *next = p + TEXTLIST_HEADER_SIZE + field;
    return true;
}

// ---- bitmap text ----------------------------------------------------------------------------

int shift_of(int columns)
{
    int shift = 0;
    for (int c = columns - 1; c > 0; c >>= 1) ++shift;
    return shift;
}

void set_bitmap_text_states()
{
    disp_rstate_cache_reset();
    const RenderStateKey key = rstate_key_make(0, 0, 0, 1, 2, DISP_ALPHA_REF_OFF, 7, 0, 1);
    disp_set_rstate_key_fvf(key, FONT_BITMAP_TEXT_FVF);
    disp_set_lvf_decl(disp_fvf_to_lvf(FONT_BITMAP_TEXT_FVF));
    gfx_stage_modulate_texture_diffuse(0);
}

struct GlyphQuad {
    float u0, v0, u1, v1;
};

GlyphQuad glyph_uv(const FontDesc& d, const FontState& s, int index)
{
    const int column = index & s.mask;
    const int row = index >> s.shift;
    GlyphQuad q;
    q.u0 = (float(column) * d.cell_w + d.cell_u) * s.inv_tex_w;
    q.u1 = (float(column) * d.cell_w + d.cell_u + d.cell_w) * s.inv_tex_w;
    q.v0 = (float(row) * d.cell_h + d.cell_v) * s.inv_tex_h;
    q.v1 = (float(row) * d.cell_h + d.cell_v + d.cell_h) * s.inv_tex_h;
    return q;
}

void put_vertex(TexVertexA* v, float x, float y, uint32_t color, float u, float vv)
{
    *v = {x, y, 0.0f, 1.0f, color, u, vv, 0.0f, 0.0f};
}

// Fills scratch A with the record's glyphs. Answers the glyph count; *full
// is set when the record holds more glyphs than one record may draw.
int build_glyphs(const Record& r, TexVertexA* out, bool* full)
{
    const FontDesc& d = FONT_FONTS[r.font];
    const FontState& s = g_font.state[r.font];
    const float h = float(r.size);
    const float w = h * d.width_ratio;
    float x = float(r.x) - 0.5f;
    float y = float(r.y) - 0.5f;
    if (r.align & TEXTLIST_ALIGN_RIGHT)
        x -= w * float(r.length);
    else if (r.align & TEXTLIST_ALIGN_CENTRE_X)
        x -= w * float(r.length) / 2.0f;
    if (r.align & TEXTLIST_ALIGN_BOTTOM)
        y -= h;
    else if (r.align & TEXTLIST_ALIGN_CENTRE_Y)
        y -= h / 2.0f;

    const auto* text = reinterpret_cast<const uint8_t*>(r.text);
    int n = 0;
    for (uint32_t i = 0; i < r.length; ++i) {
        const int c = text[i];
        int index;
        if (c < 0x80) {
            index = c - d.first_code;
        } else {
            // A lead byte without its second byte ends the text.
            if (i + 1 >= r.length) break;
            index =
                (c - FONT_LEAD_BYTE_BASE) * 256 + text[++i] - FONT_TRAIL_BYTE_BASE - d.first_code;
        }
        if (n == FONT_MAX_GLYPHS_PER_RECORD) {
            *full = true;
            break;
        }
        const GlyphQuad q = glyph_uv(d, s, index);
        TexVertexA* v = out + 4 * n;
        put_vertex(v + 0, x, y, r.color, q.u0, q.v0);
        put_vertex(v + 1, x + w, y, r.color, q.u1, q.v0);
        put_vertex(v + 2, x, y + h, r.color, q.u0, q.v1);
        put_vertex(v + 3, x + w, y + h, r.color, q.u1, q.v1);
        x += w;
        ++n;
    }
    return n;
}

// ---- system-font text -----------------------------------------------------------------------

// At most FONT_SYS_TEXT_MAX bytes, never ending inside a UTF-8 sequence.
std::string sys_text(const Record& r)
{
    size_t n = std::min<size_t>(r.length, FONT_SYS_TEXT_MAX);
    const auto* t = reinterpret_cast<const uint8_t*>(r.text);
    if (n < r.length)
        while (n > 0 && (t[n] & 0xC0) == 0x80) --n;
    return std::string(r.text, n);
}

uint32_t sys_flags(uint32_t align)
{
    uint32_t f = 0;  // never clipped to its box
    if (align & TEXTLIST_ALIGN_RIGHT)
        f |= SYSFONT_RIGHT;
    else if (align & TEXTLIST_ALIGN_CENTRE_X)
        f |= SYSFONT_CENTER;
    if (align & TEXTLIST_ALIGN_BOTTOM)
        f |= SYSFONT_BOTTOM | SYSFONT_SINGLELINE;
    else if (align & TEXTLIST_ALIGN_CENTRE_Y)
        f |= SYSFONT_VCENTER | SYSFONT_SINGLELINE;
    return f;
}

GfxRect sys_box(const Record& r)
{
    int32_t bw = 0, bh = 0;
    window_get_screen_size(&bw, &bh);
    int left = int(float(r.x) - 0.5f), top = int(float(r.y) - 0.5f);
    if (r.align & TEXTLIST_ALIGN_RIGHT)
        left -= bw;
    else if (r.align & TEXTLIST_ALIGN_CENTRE_X)
        left -= bw / 2;
    if (r.align & TEXTLIST_ALIGN_BOTTOM)
        top -= bh;
    else if (r.align & TEXTLIST_ALIGN_CENTRE_Y)
        top -= bh / 2;
    return {left, top, left + bw, top + bh};
}

}  // namespace

const FontDesc& font_desc(int font)
{
    return FONT_FONTS[valid_font(uint32_t(font)) ? size_t(font) : 0];
}
const FontState& font_state(int font)
{
    return g_font.state[valid_font(uint32_t(font)) ? size_t(font) : 0];
}

void font_boot()
{
    g_font.mark = ResMark{};
    g_font.path.clear();
    res_mark(g_font.mark);
    const char* path = txt_settings_get_string("FONT_DATA_PATH");
    g_font.path = path ? path : FONT_DEFAULT_PATH;
    font_load_bitmap();
    font_create_d3dx();
}

void font_shutdown()
{
    res_release_to_mark(g_font.mark);
    g_font.state = {};
    font_release_d3dx();
}

void font_load_bitmap()
{
    g_font.state = {};
    const std::string f1632 = g_font.path + FONT_FONTS[5].file;
    const auto dds = embedded_font1_dds();
    const auto png = embedded_font6x11_png();
    res_tex_load_mem(FONT_GROUP, "font1", dds.data(), uint32_t(dds.size()), false);
    res_tex_load_mem(FONT_GROUP, "font6x11", png.data(), uint32_t(png.size()), false);
    res_tex_load_file(FONT_GROUP, f1632.c_str(), false);
    for (int i = 0; i < FONT_COUNT; ++i) {
        const FontDesc& d = FONT_FONTS[size_t(i)];
        FontState& s = g_font.state[size_t(i)];
        std::array<char, 256> stem{};
        name_file_stem(stem, d.file);
        s.handle = res_find(RES_TEX, FONT_GROUP, stem.data());
        const ResTexInfo* t = res_tex_get(s.handle);
        s.inv_tex_w = t && t->width ? 1.0f / float(t->width) : 0.0f;
        s.inv_tex_h = t && t->height ? 1.0f / float(t->height) : 0.0f;
        s.inv_size = 1.0f / d.size;
        s.shift = shift_of(d.columns);
        s.mask = (1 << s.shift) - 1;
    }
}

void font_create_d3dx()
{
    for (int i = 0; i < FONT_COUNT; ++i) {
        SysFont*& f = g_font.sys[size_t(i)];
        if (f) continue;
        const float size = FONT_FONTS[size_t(i)].size;
        f = sysfont_create(int(size), int(size * 0.5f));
    }
}

void font_release_d3dx()
{
    for (int i = FONT_COUNT - 1; i >= 0; --i) {
        sysfont_release(g_font.sys[size_t(i)]);
        g_font.sys[size_t(i)] = nullptr;
    }
}

int font_d3dx_ready(int font) { return valid_font(uint32_t(font)) && g_font.sys[size_t(font)]; }

void font_draw_bitmap_text(int draw, int32_t slot)
{
    const uint8_t* p = textlist_get(slot);
    if (draw && p && disp_device_ok()) {
        set_bitmap_text_states();
        TexVertexA* scratch = tex_get_vertex_scratch_a();
        const uint16_t* quads = tex_get_manager();
        Record r;
        bool full = false;
        while (!full && read_record(p, &r, &p)) {
            if (!valid_font(r.font)) continue;
            const int n = build_glyphs(r, scratch, &full);
            const FontState& s = g_font.state[r.font];
            tex_set_stage(0, disp_tex_lookup(s.handle), FONT_FONTS[r.font].filter);
            if (n > 0)
                gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(4 * n),
                                              uint32_t(2 * n), quads, GFX_FMT_INDEX16, scratch,
                                              sizeof(TexVertexA));
        }
        tex_set_stage(0, nullptr, 0);
    }
    textlist_reset(slot);
}

void font_draw_d3dx_text(int draw, int32_t slot)
{
    const uint8_t* p = textlist_get(slot);
    if (draw && p && disp_device_ok()) {
        Record r;
        while (read_record(p, &r, &p)) {
            if (!valid_font(r.font) || !g_font.sys[r.font]) continue;
            sysfont_draw(g_font.sys[r.font], sys_text(r).c_str(), sys_box(r), sys_flags(r.align),
                         r.color);
        }
        // The system-font draws set device states behind the caches' backs.
        disp_rstate_cache_reset();
        tex_stage_cache_reset();
        tex_set_stage(0, nullptr, 0);
    }
    textlist_reset(slot);
}

const std::string& font_get_path() { return g_font.path; }

int font_bitmap_quads(const uint8_t* record, TexVertexA* out, bool* stop)
{
    Record r;
    const uint8_t* next;
    bool full = false;
    if (!out || !read_record(record, &r, &next) || !valid_font(r.font)) return -1;
    const int n = build_glyphs(r, out, &full);
    if (stop) *stop = full;
    return n;
}
