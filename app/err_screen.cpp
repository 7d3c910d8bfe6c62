// The fatal error screen (see err_screen.h): the titles and hints per region and code, its draw,
// and its own 30-second message loop that ends the process.
#include "app/err_screen.h"
#include "app/err_screen_local.h"

#include "app/app_main.h"
#include "svc/textlist.h"
#include "app/disp_main.h"
#include "disp/obj.h"
#include "plat/time.h"
#include "plat/window.h"
#include "util/fps_ctrl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t ERR_RESERVED = 300;
constexpr const char* ERR_IO_HINT = "Check if any wire disconnection with I/O board.";
constexpr const char* ERR_IO_HINT_JA = "I/Oボードとの接続が切れていないか確認して下さい。";

constexpr ErrScreenRow ERR_ROWS_EN[ERR_ROWS] = {
    {"", "", ERR_RESERVED},
    {"FILE READ ERROR", "", ERR_RESERVED},
    {"NETWORK ERROR", "", ERR_RESERVED},
    {"SOUND ERROR", "", ERR_RESERVED},
    {"I/O ERROR", ERR_IO_HINT, ERR_RESERVED},
    {"PROJECTOR CONTROL CONNECT ERROR", "", ERR_RESERVED},
    {"GUN BOARD CONNECT ERROR", "Check if any wire disconnection with GUN board.", ERR_RESERVED},
    {"COIN ERROR", "Check if yany coin jam at coin entry.", ERR_RESERVED},
    {"I/O ERROR 1", ERR_IO_HINT, ERR_RESERVED},
    {"I/O ERROR 2", ERR_IO_HINT, ERR_RESERVED},
    {"I/O ERROR 3", ERR_IO_HINT, ERR_RESERVED},
    {"I/O ERROR 4", ERR_IO_HINT, ERR_RESERVED},
};

constexpr ErrScreenRow ERR_ROWS_JA[ERR_ROWS] = {
    {"", "", ERR_RESERVED},
    {"FILE READ ERROR", "", ERR_RESERVED},
    {"NETWORK ERROR", "", ERR_RESERVED},
    {"SOUND ERROR", "", ERR_RESERVED},
    {"入出力装置エラー", ERR_IO_HINT_JA, ERR_RESERVED},
    {"プロジェクタ制御接続エラー", "プロジェクターとの接続が切れていないか確認して下さい。",
     ERR_RESERVED},
    {"ガンボード接続エラー", "ガンボードとの接続が切れていないか確認して下さい。", ERR_RESERVED},
    {"コインエラー", "コイン投入口にコインが詰まっていないか確認して下さい。", ERR_RESERVED},
    {"入出力装置エラー 1", ERR_IO_HINT_JA, ERR_RESERVED},
    {"入出力装置エラー 2", ERR_IO_HINT_JA, ERR_RESERVED},
    {"入出力装置エラー 3", ERR_IO_HINT_JA, ERR_RESERVED},
    {"入出力装置エラー 4", ERR_IO_HINT_JA, ERR_RESERVED},
};

constexpr RegionIndex ERR_REGION_JAPAN = 2;
constexpr int ERR_TITLE_FONT = 1, ERR_TITLE_SIZE = 32, ERR_TITLE_OFFSET = -100;
constexpr int ERR_ROW_FONT = 0, ERR_ROW_SIZE = 16, ERR_ROW_OFFSET = -26, ERR_ROW_STEP = 24;

ErrorInfo g_info;
void (*g_exit_hook)(int) = nullptr;

// At most 63 bytes, never ending inside a UTF-8 sequence.
void store_text(const char* text)
{
    std::memset(g_info.text, 0, sizeof g_info.text);
    if (!text) return;
    size_t n = std::strlen(text);
    if (n > ERR_TEXT_SIZE - 1) {
        n = ERR_TEXT_SIZE - 1;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(g_info.text, text, n);
}

// Every line goes through "%s": a '%' in a stored file name is only text.
void line(int font, int size, int x, int y, const char* text)
{
    textlist_printf(disp_get_d3dx_text_drawlist(), TEXTLIST_ALIGN_CENTRE_X, uint32_t(font),
                    uint32_t(size), x, y, ERR_COLOR, "%s", text);
}

void end_process(int code)
{
    if (g_exit_hook) {
        g_exit_hook(code);
        return;
    }
    // No shut-down order runs; static destructors must not race the threads
    // that are still going (sound).
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace

const ErrScreenRow* err_screen_row(uint32_t region, uint32_t code)
{
    if (code >= ERR_ROWS) return nullptr;
    return region == ERR_REGION_JAPAN ? &ERR_ROWS_JA[code] : &ERR_ROWS_EN[code];
}

const char* err_screen_title(uint32_t region)
{
    return region == ERR_REGION_JAPAN ? "お店の人を呼んで下さい。" : "ERROR";
}

void err_info_clear(void) { g_info = ErrorInfo{}; }
void err_info_set_extra(uint32_t extra) { g_info.extra = extra; }
uint32_t err_info_get_extra(void) { return g_info.extra; }
const ErrorInfo* err_info_get(void) { return &g_info; }
void err_screen_set_exit_hook(void (*hook)(int code)) { g_exit_hook = hook; }

void err_screen_draw(void)
{
    if (g_info.code == 0) return;
    const RegionIndex region = app_get_region();
    const int x = app_get_screen_width() / 2;
    const int half_h = app_get_screen_height() / 2;
    line(ERR_TITLE_FONT, ERR_TITLE_SIZE, x, half_h + ERR_TITLE_OFFSET, err_screen_title(region));
    int y = half_h + ERR_ROW_OFFSET;
    // A code past the table shows only the screen title and the stored text.
    if (const ErrScreenRow* row = err_screen_row(region, g_info.code)) {
        line(ERR_ROW_FONT, ERR_ROW_SIZE, x, y, row->title);
        y += ERR_ROW_STEP;
        line(ERR_ROW_FONT, ERR_ROW_SIZE, x, y, row->explanation);
        y += ERR_ROW_STEP;
    } else {
        y += 2 * ERR_ROW_STEP;
    }
    line(ERR_ROW_FONT, ERR_ROW_SIZE, x, y, g_info.text);
}

void err_screen_run(uint16_t code, uint16_t sub, uint16_t detail, const char* text)
{
    // The quit message was already taken: the window is gone, shut down normally.
    if (app_quit_requested()) return;
    g_info.code = code;
    g_info.sub = sub;
    g_info.detail = detail;
    store_text(text);
    const uint32_t t0 = mmtimer_now();
    obj_system_reset();  // nothing but the error texts is drawn
    PlatMsg* msg = app_get_msg();
    for (;;) {
        if (plat_peek_message(msg)) {
            if (msg->message == PLAT_WM_QUIT) {
                app_request_quit();
                return;
            }
            plat_dispatch_message(msg);
        } else {
            err_screen_draw();
            disp_update(nullptr);
        }
        plat_time_sleep_ms(ERR_SCREEN_SLEEP_MS);
        if (mmtimer_elapsed(t0) > ERR_SCREEN_MS) {
            end_process(1);
            return;
        }
    }
}
