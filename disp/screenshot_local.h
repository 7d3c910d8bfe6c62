// screenshot_local: the screenshot writer's two halves, the BMP builder and
// the file save, with the BMP layout's sizes; the writer (screenshot.cpp)
// runs them, and its tests and the decoding benchmark call them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

constexpr int DISP_SCREENSHOT_BMP_HEADER_BYTES = 54;
constexpr int DISP_SCREENSHOT_BMP_PIXELS_PER_METRE = 11800;

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
// 0 with a log line on standard error naming the path and the reason, and the
// failure box (see screenshot.h).
int disp_screenshot_save_file(const std::string& path, std::span<const uint8_t> bytes);
