// Saving the composed picture: the save dialog, the overwrite question, the
// screen rectangle the background covers, and the screenshot request that the
// display serves in the same frame right after the background and patch
// bands (so the file holds neither buttons, palette nor texts). Main thread,
// inside tool_buttons.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

constexpr const char* TOOL_SAVE_FILTER_NAME = "BITMAP画像 (*.bmp)";
constexpr const char* TOOL_SAVE_FILTER = "*.bmp";
constexpr const char* TOOL_SAVE_CANCELLED = "キャンセルしました。";
constexpr const char* TOOL_SAVE_OVERWRITE = "同名のファイルが存在します。上書きしますか？";

struct ToolRect {
    int32_t x, y, width, height;
};

// The whole save step.
void tool_save_bmp(void);
// The chosen name with ".bmp" appended unless its last four characters
// already are ".bmp" in any case, or it names a folder ("t/", ".."), which
// the request then refuses. Nothing is cut, whatever the length.
std::string tool_save_path(std::string_view chosen);
// The rectangle of a pw x ph picture centred at (ox, oy) at scale s, held
// inside a limit_w x limit_h target (each bound truncated toward zero):
// always at least one pixel, at the nearest edge when the picture lies
// wholly outside.
ToolRect tool_save_rect(int32_t pw, int32_t ph, float ox, float oy, float s, int32_t limit_w,
                        int32_t limit_h);
// Size of the file in bytes; 0 when it cannot be opened.
long tool_file_size(const char* name);
