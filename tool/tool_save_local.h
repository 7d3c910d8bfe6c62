// tool/tool_save_local: a module of the patch tool's own (other folders see tool/tool.h).
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

// The whole save step.
void tool_save_bmp(void);
// Size of the file in bytes; 0 when it cannot be opened.
long tool_file_size(const char* name);
