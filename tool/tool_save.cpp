// Saving the composed picture (see tool_save_local.h): the chosen name made a ".bmp" name, the
// overwrite question, and the rectangle the background covers, handed to the display's
// screenshot.
#include "tool/tool_save_local.h"

#include "disp/disp_param.h"
#include "disp/screenshot.h"
#include "plat/dialogs.h"
#include "plat/files.h"
#include "tool/tool_local.h"

#include <algorithm>
#include <cstdio>

namespace {

int32_t trunc_i(float v) { return static_cast<int32_t>(v); }

bool ends_with_bmp(std::string_view s)
{
    if (s.size() < 4) return false;
    const std::string_view tail = s.substr(s.size() - 4);
    static constexpr char TOOL_EXT[] = ".bmp";
    for (size_t i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != TOOL_EXT[i]) return false;
    }
    return true;
}

// The target the display reads is the client-sized frame; the render size
// may be set larger, so the rectangle is held inside both.
void save_limits(int32_t* w, int32_t* h)
{
    *w = tool_render_w();
    *h = tool_render_h();
    const int32_t sw = disp_get_screen_w(), sh = disp_get_screen_h();
    if (sw > 0) *w = std::min(*w, sw);
    if (sh > 0) *h = std::min(*h, sh);
}

}  // namespace

std::string tool_save_path(std::string_view chosen)
{
    // A name that names a folder ("t/", "..") stays one, for the request to refuse: with the
    // suffix it would name a hidden file in it.
    std::string path(chosen);
    if (!ends_with_bmp(chosen) && !plat_path_names_folder(chosen)) path += ".bmp";
    return path;
}

ToolRect tool_save_rect(int32_t pw, int32_t ph, float ox, float oy, float s, int32_t limit_w,
                        int32_t limit_h)
{
    const int32_t max_x = std::max(limit_w - 1, 0), max_y = std::max(limit_h - 1, 0);
    const int32_t x0 = trunc_i(ox - float(pw) * s * 0.5f);
    const int32_t y0 = trunc_i(oy - float(ph) * s * 0.5f);
    const int32_t x1 = tool_clamp(trunc_i(float(x0) + float(pw) * s - 1.0f), 0, max_x);
    const int32_t y1 = tool_clamp(trunc_i(float(y0) + float(ph) * s - 1.0f), 0, max_y);
    const int32_t cx0 = tool_clamp(x0, 0, max_x), cy0 = tool_clamp(y0, 0, max_y);
    // A picture wholly past the right or bottom edge leaves x1 < x0: the
    // one pixel at that edge is taken.
    return ToolRect{std::min(cx0, x1), std::min(cy0, y1), std::max(x1 - cx0, 0) + 1,
                    std::max(y1 - cy0, 0) + 1};
}

long tool_file_size(const char* name)
{
    if (!name) return 0;
    std::FILE* f = plat_fopen(name, "r");
    if (!f) return 0;
    const long start = std::ftell(f);
    long size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f) - start;
    std::fclose(f);
    return size < 0 ? 0 : size;
}

void tool_save_bmp(void)
{
    std::string chosen;
    if (!plat_save_dialog(TOOL_SAVE_FILTER_NAME, TOOL_SAVE_FILTER, &chosen)) {
        plat_message_box("", TOOL_SAVE_CANCELLED, PLAT_MB_OK);
        return;
    }
    const std::string path = tool_save_path(chosen);
    // Anything of that name counts, readable or not: the question comes
    // before a file is replaced, never after. A folder's name gets no
    // question, only the refusal.
    if (!plat_path_names_folder(path) && plat_path_exists(path) &&
        plat_message_box(path.c_str(), TOOL_SAVE_OVERWRITE, PLAT_MB_OKCANCEL) != PLAT_IDOK)
        return;
    const ToolState& t = tool_state();
    int32_t lw = 0, lh = 0;
    save_limits(&lw, &lh);
    const ToolRect r =
        tool_save_rect(tool_pic_width(t.background_tex), tool_pic_height(t.background_tex),
                       t.offset_x, t.offset_y, t.scale, lw, lh);
    disp_screenshot_request(path, r.x, r.y, r.width, r.height);
}
