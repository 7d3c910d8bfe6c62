// Scripted dialogs: answers in order, defaults when used up, the log line; real dialogs on a
// virtual X server, answered with xdotool, and the window they leave behind.
#include "child_proc.h"
#include "plat/dialogs.h"
#include "plat/files.h"
#include "plat/gfx.h"
#include "plat/window.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

namespace {

class PlatDialogs : public ::testing::Test {
protected:
    void script(const char* answers)
    {
        ::setenv("QUORVEL_DIALOG_ANSWERS", answers, 1);
        plat_dialogs_reset_script();
    }
    void TearDown() override
    {
        ::unsetenv("QUORVEL_DIALOG_ANSWERS");
        plat_dialogs_reset_script();
    }
};

TEST_F(PlatDialogs, AnswersAreTakenInOrderThenDefaultsAndSavePathsMadeAbsolute)
{
    script("cancel;cancel;/tmp/pic.bmp;cancel");
    EXPECT_EQ(plat_message_box("t", "c", PLAT_MB_OK), PLAT_IDOK);  // OK-only box
    EXPECT_EQ(plat_message_box("t", "c", PLAT_MB_OKCANCEL), PLAT_IDCANCEL);
    std::string path;
    ASSERT_TRUE(plat_save_dialog("BMP", "*.bmp", &path));
    EXPECT_EQ(path, "/tmp/pic.bmp");
    EXPECT_FALSE(plat_save_dialog("BMP", "*.bmp", &path));
    EXPECT_TRUE(path.empty());
    // Used up: OK and cancel.
    EXPECT_EQ(plat_message_box("t", "c", PLAT_MB_OKCANCEL), PLAT_IDOK);
    EXPECT_FALSE(plat_save_dialog("BMP", "*.bmp", &path));
    script("out\\pic.bmp;;");
    ASSERT_TRUE(plat_save_dialog("BMP", "*.bmp", &path));
    EXPECT_EQ(path, plat_current_dir() + "/out\\pic.bmp");  // a backslash is part of the name
    EXPECT_FALSE(plat_save_dialog("BMP", "*.bmp", &path));  // an empty answer cancels
}

TEST_F(PlatDialogs, EveryDialogWritesOneLogLine)
{
    script("ok;cancel;/x/y\n\x1b.bmp");
    ::testing::internal::CaptureStderr();
    plat_message_box("", "キャンセルしました。", PLAT_MB_OK);
    plat_message_box("/a \"b\"\nc\t\\d", "上書きしますか？", PLAT_MB_OKCANCEL);
    std::string path;
    plat_save_dialog("BITMAP画像 (*.bmp)", "*.bmp", &path);
    plat_save_dialog("BITMAP画像 (*.bmp)", "*.bmp", &path);
    EXPECT_EQ(plat_message_box(nullptr, nullptr, PLAT_MB_OK), PLAT_IDOK);  // null texts are empty
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "dialog: message \"キャンセルしました。\" \"\" -> ok\n"
                   "dialog: question \"上書きしますか？\" \"/a \\\"b\\\"\\nc\\t\\d\" -> cancel\n"
                   "dialog: save \"Save As\" \"BITMAP画像 (*.bmp)\" -> /x/y\\n\\x1b.bmp\n"
                   "dialog: save \"Save As\" \"BITMAP画像 (*.bmp)\" -> cancel\n"
                   "dialog: message \"\" \"\" -> ok\n");
}

// The body says what a box is about even where no title bar is shown.
TEST_F(PlatDialogs, BodyShowsTheCaptionOverTheText)
{
    for (auto [text, caption, headline, detail] :
         {std::array<const char*, 4>{"", "キャンセル", "キャンセル", ""},
          {"/a/b.bmp", "上書きしますか？", "上書きしますか？", "/a/b.bmp"},
          {"msg[x.cpp:3]", nullptr, "msg[x.cpp:3]", ""}}) {
        const PlatBoxBody b = plat_message_box_body(text, caption);
        EXPECT_EQ(b.headline + "|" + b.detail, std::string(headline) + "|" + detail);
    }
}

// ---- real dialogs on a virtual X server ---------------------------------------------------

// An X server without a window manager or compositor, as a bare desktop is: what a closed
// window leaves on the screen stays there until the window below draws it again. Its screen
// is a file, read without an X client.
class VirtualScreen {
public:
    explicit VirtualScreen(const std::string& dir) : dir_(dir)
    {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24",
                     "-fbdir", dir.c_str(), "-nocursor", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number comes once the server takes connections; the pipe stays open, since
        // the server fails when it cannot write all of it.
        from_server_ = fds[0];
        std::string number;
        pollfd p{from_server_, POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 10000) == 1 && ::read(from_server_, &c, 1) == 1 && c != '\n')
            number += c;
        if (c == '\n' && !number.empty()) display_ = ":" + number;
    }
    ~VirtualScreen()
    {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) finish_child(pid_, std::chrono::seconds(5));
        if (from_server_ >= 0) ::close(from_server_);
    }
    const std::string& display() const { return display_; }

    // The screen's pixels as 0xRRGGBB, row after row; empty when unreadable. The file is the
    // server's frame buffer in XWD form: a big-endian header, a colour map, then 32-bit pixels.
    std::vector<uint32_t> pixels(int* width) const
    {
        std::ifstream in(dir_ + "/Xvfb_screen0", std::ios::binary);
        const std::string b(std::istreambuf_iterator<char>(in), {});
        auto field = [&](size_t i) {
            uint32_t v = 0;
            for (size_t k = 0; k < 4 && 4 * i + k < b.size(); ++k)
                v = v << 8 | uint8_t(b[4 * i + k]);
            return v;
        };
        const size_t w = field(4), h = field(5), pitch = field(12);
        const size_t at = field(0) + size_t(field(19)) * 12;
        if (field(11) != 32 || b.size() < at + pitch * h) return {};
        std::vector<uint32_t> out(w * h);
        for (size_t y = 0; y < h; ++y) std::memcpy(&out[y * w], b.data() + at + y * pitch, w * 4);
        for (uint32_t& px : out) px &= 0xFFFFFFu;
        *width = int(w);
        return out;
    }

private:
    std::string dir_, display_;
    pid_t pid_ = -1;
    int from_server_ = -1;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    long id = 0;  // the X window
    bool has(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// Runs xdotool on the display (bounded in time); its output.
std::string xdotool(const std::string& display, const std::string& args)
{
    const std::string cmd = "DISPLAY=" + display + " timeout 20 xdotool " + args + " 2>/dev/null";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    return out;
}

template <typename F>
bool within_seconds(int seconds, F ready)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Waits for a shown window of that exact title; its place on the screen. The search is
// repeated: xdotool gives up when a window goes away while it looks through them.
bool find_window(const std::string& display, const std::string& title, Rect* r)
{
    return within_seconds(20, [&] {
        const std::string out = xdotool(display, "search --onlyvisible --name '^" + title +
                                                     "$' getwindowgeometry --shell");
        return std::sscanf(out.c_str(), "WINDOW=%ld X=%d Y=%d WIDTH=%d HEIGHT=%d", &r->id, &r->x,
                           &r->y, &r->w, &r->h) == 5 &&
               r->w > 0 && r->h > 0;
    });
}

constexpr uint32_t DIALOGS_FRAME_RGB = 0x3080C0;

// The program's side: a window showing one frame, the save dialog, then a message box.
int frame_then_two_dialogs(const std::string& display)
{
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);            // no accessibility bus to wait for
    ::setenv("GSETTINGS_BACKEND", "memory", 1);  // nor a settings service
    ::unsetenv("QUORVEL_DIALOGS");
    if (plat_dialogs_scripted()) return 10;
    if (!plat_window_create("quorvel", 640, 480, plat_def_window_proc)) return 11;
    GfxPresentParams pp{640, 480, GFX_FMT_UNKNOWN, 0, 0, 0};
    if (gfx_device_create(plat_window_sdl(), &pp) != 1) return 12;
    for (int i = 0; i < 3; ++i) {
        gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u | DIALOGS_FRAME_RGB, 1, 0);
        gfx_present();
    }
    std::string path;
    plat_save_dialog("BMP", "*.bmp", &path);
    plat_message_box("", "Cancelled", PLAT_MB_OK);
    gfx_device_destroy();
    return 0;
}

}  // namespace

// The save dialog closes and a message box opens at once, as after saving or cancelling: the
// window shows its frame again where the save dialog stood, while the box is still open.
TEST(PlatDialogsOnX, AMessageBoxAfterTheSaveDialogFindsTheWindowRepainted)
{
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "needs Xvfb and xdotool";
    if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
        GTEST_SKIP() << "needs a process of its own, as ctest gives each test";
    const TempDir tmp;
    const VirtualScreen screen(tmp.file(""));
    const std::string& d = screen.display();
    ASSERT_FALSE(d.empty()) << "Xvfb did not start";
    struct Reaper {
        pid_t pid;
        ~Reaper() { kill_child(pid); }
    } child{fork_child([&] { return frame_then_two_dialogs(d); })};
    Rect win, save, box;
    auto count = [&](auto&& pixel_counts) {
        int n = 0;
        for (int y = win.y; y < win.y + win.h; ++y)
            for (int x = win.x; x < win.x + win.w; ++x) n += pixel_counts(x, y);
        return n;
    };
    // Pixels of the window inside `over`, outside `except`, not of the frame; -1 unreadable.
    auto not_frame = [&](const Rect& over, const Rect& except) {
        int w = 0;
        const std::vector<uint32_t> px = screen.pixels(&w);
        if (px.empty()) return -1;
        return count([&](int x, int y) {
            return over.has(x, y) && !except.has(x, y) &&
                   px[size_t(y) * w + x] != DIALOGS_FRAME_RGB;
        });
    };
    ASSERT_TRUE(find_window(d, "quorvel", &win));
    ASSERT_TRUE(find_window(d, "Save As", &save));
    ASSERT_TRUE(within_seconds(10, [&] {
        return not_frame(win, save) == 0 && not_frame(save, {}) > 0;
    })) << "the save dialog never stood over the frame";
    xdotool(d, "windowfocus --sync " + std::to_string(save.id) + " key Escape");
    ASSERT_TRUE(find_window(d, "Cancelled", &box));
    // Pixels of the window the save dialog hid and the box does not.
    const int uncovered = count([&](int x, int y) { return save.has(x, y) && !box.has(x, y); });
    const bool repainted = within_seconds(3, [&] { return not_frame(win, box) == 0; });
    xdotool(d, "windowfocus --sync " + std::to_string(box.id) + " key Return");
    EXPECT_EQ(finish_child(std::exchange(child.pid, -1), std::chrono::seconds(20)), 0);
    EXPECT_GT(uncovered, 0) << "the box hides all the save dialog left";
    EXPECT_TRUE(repainted) << not_frame(win, box) << " pixels still show the closed dialog";
}
