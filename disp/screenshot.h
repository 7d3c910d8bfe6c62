// Screenshot BMP writer.
//
// Main thread. A caller (the patch tool's save step) requests a rectangle of
// the frame being drawn with a file path; the display's scene pass takes the
// request right after the first 3D bands and writes that rectangle of the
// current colour target as an uncompressed 24-bit bottom-up BMP file. After a
// complete write the user is told in a message box captioned "保存しました。"
// with the path as its text. A save that fails, refused requests included,
// writes `screenshot: not saved "<path>": <reason>` to standard error and then
// shows a box captioned "保存できませんでした。" with the path and, on a second
// line, the reason.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct SurfRecord;

// Longest path accepted by a request; a longer one is refused, never cut.
constexpr size_t DISP_SCREENSHOT_MAX_PATH = 4096;
// Largest side of a written picture, in pixels (keeps 54 + 3 * W * H in 32 bits).
constexpr int DISP_SCREENSHOT_MAX_SIDE = 16384;

// The message box goes through DispLinks::message_box (disp/d3d9.h), which
// the platform dialogs install; until then nothing is shown.

// Stores the request; a later request in the same frame replaces an earlier
// one. 0 (and nothing stored) for an empty path, one longer than
// DISP_SCREENSHOT_MAX_PATH or one that names a folder ("t/", "t/.", ".."),
// logged and shown as a failed save is.
int disp_screenshot_request(std::string_view path, int x, int y, int width, int height);
// Returns the pending flag and clears it.
int disp_screenshot_take();
// Writes the pending rectangle of `target` (the current colour target) into
// the requested file and serves the request, once. 1 when a complete file was
// written and announced; 0 without a word when no request waits; otherwise 0,
// logged and shown as failed, for a missing target, a format other than
// A8R8G8B8 / X8R8G8B8, a failed read, an empty or oversized rectangle, or a
// failed write (a partial file is removed). The pending flag is not read
// here: disp_screenshot_take has already consumed it.
int disp_screenshot_write(SurfRecord* target);
// Number of requests served by disp_screenshot_write (successful or not).
uint32_t disp_screenshot_count();
