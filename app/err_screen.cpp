#include "app/err_screen.h"

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

constexpr uint32_t kReserved = 300;
constexpr const char* kIoHint = "Check if any wire disconnection with I/O board.";
constexpr const char* kIoHintJa = "I/Oボードとの接続が切れていないか確認して下さい。";

constexpr ErrScreenRow k_rows_en[ERR_ROWS] = {
    {"", "", kReserved},
    {"FILE READ ERROR", "", kReserved},
    {"NETWORK ERROR", "", kReserved},
    {"SOUND ERROR", "", kReserved},
    {"I/O ERROR", kIoHint, kReserved},
    {"PROJECTOR CONTROL CONNECT ERROR", "", kReserved},
    {"GUN BOARD CONNECT ERROR", "Check if any wire disconnection with GUN board.", kReserved},
    {"COIN ERROR", "Check if yany coin jam at coin entry.", kReserved},
    {"I/O ERROR 1", kIoHint, kReserved},
    {"I/O ERROR 2", kIoHint, kReserved},
    {"I/O ERROR 3", kIoHint, kReserved},
    {"I/O ERROR 4", kIoHint, kReserved},
};

constexpr ErrScreenRow k_rows_ja[ERR_ROWS] = {
    {"", "", kReserved},
    {"FILE READ ERROR", "", kReserved},
    {"NETWORK ERROR", "", kReserved},
    {"SOUND ERROR", "", kReserved},
    {"入出力装置エラー", kIoHintJa, kReserved},
    {"プロジェクタ制御接続エラー", "プロジェクターとの接続が切れていないか確認して下さい。",
     kReserved},
    {"ガンボード接続エラー", "ガンボードとの接続が切れていないか確認して下さい。", kReserved},
    {"コインエラー", "コイン投入口にコインが詰まっていないか確認して下さい。", kReserved},
    {"入出力装置エラー 1", kIoHintJa, kReserved},
    {"入出力装置エラー 2", kIoHintJa, kReserved},
    {"入出力装置エラー 3", kIoHintJa, kReserved},
    {"入出力装置エラー 4", kIoHintJa, kReserved},
};

constexpr RegionIndex kRegionJapan = 2;
constexpr int kTitleFont = 1, kTitleSize = 32, kTitleOffset = -100;
constexpr int kRowFont = 0, kRowSize = 16, kRowOffset = -26, kRowStep = 24;

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
    textlist_printf(disp_get_d3dx_text_drawlist(), kTextAlignCentreX, uint32_t(font),
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
    return region == kRegionJapan ? &k_rows_ja[code] : &k_rows_en[code];
}

const char* err_screen_title(uint32_t region)
{
    return region == kRegionJapan ? "お店の人を呼んで下さい。" : "ERROR";
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
    line(kTitleFont, kTitleSize, x, half_h + kTitleOffset, err_screen_title(region));
    int y = half_h + kRowOffset;
    // A code past the table shows only the screen title and the stored text.
    if (const ErrScreenRow* row = err_screen_row(region, g_info.code)) {
        line(kRowFont, kRowSize, x, y, row->title);
        y += kRowStep;
        line(kRowFont, kRowSize, x, y, row->explanation);
        y += kRowStep;
    } else {
        y += 2 * kRowStep;
    }
    line(kRowFont, kRowSize, x, y, g_info.text);
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
