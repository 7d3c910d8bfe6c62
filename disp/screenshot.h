// Screenshot BMP writer.
//
// Main thread. A caller (the patch tool's save step) requests a rectangle of
// the frame being drawn with a file path; the display's scene pass takes the
// request right after the first 3D bands and writes that rectangle of the
// current colour target as an uncompressed 24-bit bottom-up BMP file. After a
// complete write the user is told in a message box captioned "保存しました。"
// with the path as its text.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct SurfRecord;

// Longest path accepted by a request; a longer one is refused, never cut.
constexpr size_t DISP_SCREENSHOT_MAX_PATH = 4096;
// Largest side of a written picture, in pixels (keeps 54 + 3 * W * H in 32 bits).
constexpr int DISP_SCREENSHOT_MAX_SIDE = 16384;
constexpr int DISP_SCREENSHOT_BMP_HEADER_BYTES = 54;
constexpr int DISP_SCREENSHOT_BMP_PIXELS_PER_METRE = 11800;

// The message box goes through DispLinks::message_box (disp/d3d9.h), which
// the platform dialogs install; until then nothing is shown.

// Stores the request; a later request in the same frame replaces an earlier
// one. 0 (and nothing stored) for an empty path, one longer than
// DISP_SCREENSHOT_MAX_PATH or one that names a folder ("t/", "t/.", ".."),
// logged as a failed save is (see disp_screenshot_save_file).
int disp_screenshot_request(std::string_view path, int x, int y, int width, int height);
// Returns the pending flag and clears it.
int disp_screenshot_take();
// Writes the pending rectangle of `target` (the current colour target) into
// the requested file. 1 when a complete file was written and announced; 0 for
// a null target, a format other than A8R8G8B8 / X8R8G8B8, a failed read, an
// empty rectangle, or a failed write (a partial file is removed, nothing is
// announced). The pending flag is not read here: disp_screenshot_take has
// already consumed the request.
int disp_screenshot_write(SurfRecord* target);
// Number of requests served by disp_screenshot_write (successful or not).
uint32_t disp_screenshot_count();

// A part of a picture as the BMP builder reads it: columns x0 .. x0 + w - 1 and
// rows y0 .. y0 + h - 1 of the picture, 32-bit B, G, R, A pixels whose rows
// lie `pitch` bytes apart in `px`.
struct DispShotPixels {
    std::span<const uint8_t> px;
    int x0, y0, w, h, pitch;
};

// The bytes of a whole BMP file; null bytes and size 0 when none was built.
struct DispBmpFile {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// Builds the complete file for the rectangle (x, y, width, height) of a
// picture of which `src` holds a part (disp_screenshot_write passes the part
// of the target inside the rectangle). Width and height are raised to
// multiples of 4; pixels beyond the request or outside the part are black.
// Empty for an empty or oversized rectangle, a part whose rows `px` does not
// hold, or a failed allocation.
DispBmpFile disp_screenshot_build_bmp(const DispShotPixels& src, int x, int y, int width,
                                      int height);
// Writes `bytes` as the whole file at `path`: an old file there is replaced
// only by a complete new one and survives any failure. 1 on a complete file;
// 0 with a log line on standard error naming the path and the reason.
int disp_screenshot_save_file(const std::string& path, std::span<const uint8_t> bytes);
