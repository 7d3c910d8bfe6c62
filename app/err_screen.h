// The fatal error screen: when a module meets an error it cannot go on from,
// the screen clears the draw objects and shows a title and an explanation in
// the region's language in the middle of the screen for 30 seconds with its
// own message loop, then ends the process with exit code 1. A quit message
// during those 30 seconds ends the screen early; the caller then finds the
// quit flag set and the normal shut-down runs. The screen names no file and
// writes nothing: whoever meets the error writes its one line to standard
// error first (util/data_err.h). Main thread only.
#pragma once
#include <cstdint>

constexpr int ERR_ROWS = 12;  // codes 0..11; 0 shows nothing
constexpr uint32_t ERR_SCREEN_MS = 30000;
constexpr uint32_t ERR_SCREEN_SLEEP_MS = 16;
constexpr int ERR_TEXT_SIZE = 64;  // 63 bytes and the NUL

struct ErrorInfo {
    uint16_t code, sub, detail;
    uint32_t extra;
    char text[ERR_TEXT_SIZE];
};

// Runs the screen; returns only when a quit message arrives (or the quit
// flag was already set on entry).
void err_screen_run(uint16_t code, uint16_t sub, uint16_t detail, const char* text);
// Queues the screen's texts for this frame into the system-font text list.
void err_screen_draw(void);
void err_info_clear(void);
void err_info_set_extra(uint32_t extra);
uint32_t err_info_get_extra(void);
const ErrorInfo* err_info_get(void);
