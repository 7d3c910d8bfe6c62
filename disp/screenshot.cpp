// Screenshot BMP writer (see screenshot.h).
#include "disp/screenshot.h"
#include "disp/screenshot_local.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "disp/d3d9.h"
#include "disp/tex.h"
#include "plat/byte_order.h"
#include "plat/files.h"
#include "plat/log_text.h"

namespace {

// The one request record.
struct ShotWork {
    int width, x, height, y;
    std::string path;
    uint32_t pending;
    uint32_t served;
};
ShotWork g_shot;

const char DISP_SCREENSHOT_SAVED_CAPTION[] = "保存しました。";
const char DISP_SCREENSHOT_NOT_SAVED_CAPTION[] = "保存できませんでした。";

int round_up4(int v) { return (v + 3) & ~3; }

bool size_ok(int width, int height)
{
    return width > 0 && height > 0 && width <= DISP_SCREENSHOT_MAX_SIDE &&
           height <= DISP_SCREENSHOT_MAX_SIDE;
}

// The part holds every row it claims, each at least as long as its pixels.
bool pixels_ok(const DispShotPixels& p)
{
    if (p.w < 0 || p.h < 0) return false;
    if (p.w == 0 || p.h == 0) return true;
    return p.pitch >= p.w * 4 &&
           uint64_t(p.h - 1) * uint64_t(p.pitch) + uint64_t(p.w) * 4 <= p.px.size();
}

// `n` pixels of B, G, R, A into B, G, R.
void bgra_to_bgr(const uint8_t* s, uint8_t* d, int n)
{
    for (int i = 0; i < n; ++i, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
}

void write_headers(uint8_t* h, int w4, int h4)
{
    uint32_t pixel_bytes = 3u * uint32_t(w4) * uint32_t(h4);
    h[0] = 'B';
    h[1] = 'M';
    plat_le_put32(h + 2, DISP_SCREENSHOT_BMP_HEADER_BYTES + pixel_bytes);
    plat_le_put32(h + 6, 0);
    plat_le_put32(h + 10, DISP_SCREENSHOT_BMP_HEADER_BYTES);
    plat_le_put32(h + 14, 40);
    plat_le_put32(h + 18, uint32_t(w4));
    plat_le_put32(h + 22, uint32_t(h4));
    plat_le_put16(h + 26, 1);
    plat_le_put16(h + 28, 24);
    plat_le_put32(h + 30, 0);
    plat_le_put32(h + 34, 0);
    plat_le_put32(h + 38, DISP_SCREENSHOT_BMP_PIXELS_PER_METRE);
    plat_le_put32(h + 42, DISP_SCREENSHOT_BMP_PIXELS_PER_METRE);
    plat_le_put32(h + 46, 0);
    plat_le_put32(h + 50, 0);
}

void show_box(const char* caption, const std::string& text)
{
    if (disp_links().message_box) disp_links().message_box(caption, text.c_str());
}

// A failed save is both logged and shown: a user who started the program from a menu never
// sees standard error, and would take the picture for saved and lose it on quitting.
void report_not_saved(std::string_view path, const std::string& why)
{
    plat_log_line("screenshot: not saved \"%s\": %s", std::string(path).c_str(), why.c_str());
    show_box(DISP_SCREENSHOT_NOT_SAVED_CAPTION, std::string(path) + "\n" + why);
}

}  // namespace

int disp_screenshot_request(std::string_view path, int x, int y, int width, int height)
{
    if (path.empty() || path.size() > DISP_SCREENSHOT_MAX_PATH) {
        report_not_saved(path, path.empty()
                                   ? "no path"
                                   : "path longer than " +
                                         std::to_string(DISP_SCREENSHOT_MAX_PATH) + " bytes");
        return 0;
    }
    if (plat_path_names_folder(path)) {
        report_not_saved(path, "names a folder, not a file");
        return 0;
    }
    g_shot.path.assign(path);
    g_shot.x = x;
    g_shot.y = y;
    g_shot.width = width;
    g_shot.height = height;
    g_shot.pending = 1;
    return 1;
}

int disp_screenshot_take()
{
    int p = g_shot.pending ? 1 : 0;
    g_shot.pending = 0;
    return p;
}

uint32_t disp_screenshot_count() { return g_shot.served; }

DispBmpFile disp_screenshot_build_bmp(const DispShotPixels& src, int x, int y, int width,
                                      int height)
{
    if (!size_ok(width, height) || !pixels_ok(src)) return {};
    const int w4 = round_up4(width), h4 = round_up4(height);
    const size_t row_bytes = 3u * size_t(w4);
    DispBmpFile file;
    file.size = size_t(DISP_SCREENSHOT_BMP_HEADER_BYTES) + row_bytes * size_t(h4);
    file.bytes.reset(new (std::nothrow) uint8_t[file.size]);
    if (!file.bytes) return {};
    write_headers(file.bytes.get(), w4, h4);
    uint8_t* pix = file.bytes.get() + DISP_SCREENSHOT_BMP_HEADER_BYTES;
    // Columns c0 .. c1 - 1 of the rectangle lie in the part; file row r shows
    // picture row y + height - 1 - r. Rows r >= height and columns c >= width
    // stay black, as does everything outside the part.
    const int64_t c0 = std::clamp<int64_t>(int64_t(src.x0) - x, 0, width);
    const int64_t c1 = std::clamp<int64_t>(int64_t(src.x0) + src.w - x, c0, width);
    for (int r = 0; r < h4; ++r) {
        uint8_t* d = pix + size_t(r) * row_bytes;
        const int64_t sy = int64_t(y) + height - 1 - r;
        if (r >= height || sy < src.y0 || sy >= int64_t(src.y0) + src.h || c0 == c1) {
            std::memset(d, 0, row_bytes);
            continue;
        }
        const uint8_t* s =
            src.px.data() + size_t(sy - src.y0) * size_t(src.pitch) + size_t(x + c0 - src.x0) * 4;
        std::memset(d, 0, size_t(c0) * 3);
        bgra_to_bgr(s, d + size_t(c0) * 3, int(c1 - c0));
        std::memset(d + size_t(c1) * 3, 0, row_bytes - size_t(c1) * 3);
    }
    return file;
}

int disp_screenshot_save_file(const std::string& path, std::span<const uint8_t> bytes)
{
    std::string why;
    if (plat_write_file(path, bytes, &why)) return 1;
    report_not_saved(path, why);
    return 0;
}

namespace {

// The complete file for the pending rectangle of `surface`, of which the
// picture is the top-left src_w x src_h: only the part of the rectangle
// inside the picture is read, once, and the builder converts it into the
// file's bytes and row order. Empty, with the reason in `why`, on a refused
// rectangle, a failed allocation or a failed read.
DispBmpFile read_bmp(GfxSurface* surface, int src_w, int src_h, std::string* why)
{
    const int x = g_shot.x, y = g_shot.y, width = g_shot.width, height = g_shot.height;
    if (!size_ok(width, height)) {
        *why = "picture size " + std::to_string(width) + " x " + std::to_string(height) +
               " not supported";
        return {};
    }
    const int x0 = std::max(x, 0), x1 = int(std::min<int64_t>(int64_t(x) + width, src_w));
    const int y0 = std::max(y, 0), y1 = int(std::min<int64_t>(int64_t(y) + height, src_h));
    DispShotPixels part = {{}, x0, y0, 0, 0, 0};
    std::unique_ptr<uint8_t[]> rows;
    if (x0 < x1 && y0 < y1) {
        part.w = x1 - x0, part.h = y1 - y0, part.pitch = part.w * 4;
        const size_t n = size_t(part.pitch) * size_t(part.h);
        rows.reset(new (std::nothrow) uint8_t[n]);
        const GfxRect rect = {x0, y0, x1, y1};
        if (!rows) {
            *why = "out of memory";
            return {};
        }
        if (!gfx_ok(gfx_surface_read_bgra(surface, &rect, rows.get(), part.pitch))) {
            *why = "the picture could not be read";
            return {};
        }
        part.px = {rows.get(), n};
    }
    DispBmpFile file = disp_screenshot_build_bmp(part, x, y, width, height);
    if (!file.bytes) *why = "out of memory";  // the rectangle and the part were checked above
    return file;
}

// The file for the pending rectangle of `target`, or none and the reason in `why`.
DispBmpFile shot_file(SurfRecord* target, std::string* why)
{
    GfxSurfaceDesc d;
    if (!target || !target->surface || !gfx_ok(gfx_surface_get_desc(target->surface, &d))) {
        *why = "no picture to read";
        return {};
    }
    if (d.format != GFX_FMT_A8R8G8B8 && d.format != GFX_FMT_X8R8G8B8) {
        *why = "picture format not supported";
        return {};
    }
    // The record may describe less than the surface (the render size of the
    // back buffer): only that part is the picture.
    const int src_w = std::min<int>(d.width, target->width);
    const int src_h = std::min<int>(d.height, target->height);
    return read_bmp(target->surface, src_w, src_h, why);
}

}  // namespace

int disp_screenshot_write(SurfRecord* target)
{
    ++g_shot.served;
    // Each request is served once; without one (nobody asked to save) there is nobody to tell.
    const std::string path = std::exchange(g_shot.path, {});
    if (path.empty()) return 0;
    std::string why;
    const DispBmpFile file = shot_file(target, &why);
    if (!file.bytes) {
        report_not_saved(path, why);
        return 0;
    }
    if (!disp_screenshot_save_file(path, {file.bytes.get(), file.size})) return 0;
    show_box(DISP_SCREENSHOT_SAVED_CAPTION, path);
    return 1;
}
