// app/err_screen_local: what err_screen.cpp shares with its white-box tests
// only: the screen's text colour, its tables of titles and explanations, and
// the hook that stands in for the process's end.
#pragma once

#include <cstdint>

#include "app/err_screen.h"

constexpr uint32_t ERR_COLOR = 0xFFFFFFFFu;

struct ErrScreenRow {
    const char* title;
    const char* explanation;
    uint32_t reserved;  // 300 in every row; read by nothing
};

// The row of a code in a region's table (English, or Japanese for region 2);
// null for a code outside 0..11. The screen title of a region.
const ErrScreenRow* err_screen_row(uint32_t region, uint32_t code);
const char* err_screen_title(uint32_t region);

// Tests: what ends the process after the 30 seconds (null: the real exit).
// When the hook returns, err_screen_run returns too.
void err_screen_set_exit_hook(void (*hook)(int code));
