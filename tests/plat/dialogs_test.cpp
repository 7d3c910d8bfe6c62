// Scripted dialogs: answers in order, defaults when used up, texts in the log; real dialogs on a
// virtual X server, answered with xdotool, the window they leave behind, and none shown once an
// end signal came.
#include "child_proc.h"
#include "plat/dialogs.h"
#include "plat/dialogs_local.h"
#include "plat/files.h"
#include "plat/gfx.h"
#include "plat/window.h"
#include "temp_dir.h"
#include "virtual_screen.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>

#include <array>
#include <csignal>
#include <optional>
#include <string>
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

TEST_F(PlatDialogs, AnswersAreTakenInOrderThenDefaultsAndSavePathsMadeAbsoluteAndTextsLogged)
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
    // A null text is logged as an empty one, a quote in a text escaped; each kind's line is
    // checked through the program (tests/app, tests/tool).
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(plat_message_box("say \"hi\"", nullptr, PLAT_MB_OK), PLAT_IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "dialog: message \"\" \"say \\\"hi\\\"\" -> ok\n");
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

constexpr uint32_t DIALOGS_FRAME_RGB = 0x3080C0;

// In the forked child: real dialogs on the display; false when GTK cannot open it.
bool real_dialogs_on(const std::string& display)
{
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);            // no accessibility bus to wait for
    ::setenv("GSETTINGS_BACKEND", "memory", 1);  // nor a settings service
    ::unsetenv("QUORVEL_DIALOGS");
    return !plat_dialogs_scripted();
}

constexpr char DIALOGS_BOX_CAPTION[] = "Over the window";

// The program's side: a window showing one frame, the save dialog, then a box of that type;
// the box's answer.
int frame_then_two_dialogs(const std::string& display, int box_type)
{
    if (!real_dialogs_on(display)) return 10;
    if (!plat_window_create("quorvel", 640, 480, plat_def_window_proc)) return 11;
    GfxPresentParams pp{640, 480, GFX_FMT_UNKNOWN, 0, 0, 0};
    if (gfx_device_create(plat_window_sdl(), &pp) != 1) return 12;
    for (int i = 0; i < 3; ++i) {
        gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u | DIALOGS_FRAME_RGB, 1, 0);
        gfx_present();
    }
    std::string path;
    plat_save_dialog("BMP", "*.bmp", &path);
    const int answer = plat_message_box("/a/b.bmp", DIALOGS_BOX_CAPTION, box_type);
    gfx_device_destroy();
    return answer;
}

// The program's side once an end signal came: each kind of dialog, answered at once unseen as
// Cancel would answer it; its log line goes to the file log.
int dialogs_after_an_end_signal(const std::string& display, const std::string& log)
{
    if (!real_dialogs_on(display)) return 10;
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::dup2(fd, 2) < 0) return 11;
    plat_install_term_handler();
    ::raise(SIGTERM);
    std::string path = "kept?";
    if (plat_save_dialog("BMP", "*.bmp", &path) != 0 || !path.empty()) return 12;
    if (plat_message_box("t", "c", PLAT_MB_OK) != PLAT_IDOK) return 13;
    if (plat_message_box("t", "c", PLAT_MB_OKCANCEL) != PLAT_IDCANCEL) return 14;
    return 0;
}

// Whether the child ended; it is left for finish_child to reap.
bool child_ended(pid_t pid)
{
    siginfo_t si{};
    return ::waitid(P_PID, pid, &si, WEXITED | WNOHANG | WNOWAIT) == 0 && si.si_pid == pid;
}

// Whether the keyboard goes to the dialog: the X server's focus is its window.
bool has_focus(const std::string& display, const ScreenRect& dialog)
{
    return xdotool(display, "getwindowfocus -f") == std::to_string(dialog.id) + "\n";
}

// The dialogs run in a forked child on a virtual X server of the test's own, large enough that
// the save dialog leaves room for the pointer beside it; forking needs a process of its own, as
// ctest gives each test.
class PlatDialogsOnX : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (x_tools_missing()) GTEST_SKIP() << "needs Xvfb and xdotool";
        if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
            GTEST_SKIP() << "needs a process of its own, as ctest gives each test";
        screen.emplace(tmp.file(""), "1280x1024x24");
        ASSERT_FALSE(screen->display().empty()) << "Xvfb did not start";
    }
    const TempDir tmp;
    std::optional<VirtualScreen> screen;
};

}  // namespace

// The save dialog closes and a box opens at once, as after saving or cancelling. Each takes the
// keyboard when it opens, though the pointer is away from it (a bare X server gives the keys to
// the window under the pointer otherwise); Return answers a box's first button, OK, and Escape
// Cancel. The window shows its frame again where the save dialog stood, while the box is open.
TEST_F(PlatDialogsOnX, EachDialogTakesTheKeysAndTheWindowIsRepaintedBehindTheBox)
{
    const struct {
        int type;
        const char* key;
        int answer;
    } rows[] = {{PLAT_MB_OK, "Return", PLAT_IDOK},
                {PLAT_MB_OKCANCEL, "Return", PLAT_IDOK},
                {PLAT_MB_OKCANCEL, "Escape", PLAT_IDCANCEL}};
    const std::string& d = screen->display();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " in box type " + std::to_string(row.type));
        struct Reaper {
            pid_t pid;
            ~Reaper() { kill_child(pid); }
        } child{fork_child([&] { return frame_then_two_dialogs(d, row.type); })};
        // The child's window of that title; false at once when the child ended first.
        auto find = [&](const char* title, ScreenRect* r) {
            bool found = false;
            within_seconds(20, [&] {
                return child_ended(child.pid) || (found = find_window(d, title, r, 0));
            });
            return found;
        };
        // For a failure message: the child's exit code, ended now if it still ran (-2).
        auto child_code = [&] {
            return "child's code " + std::to_string(finish_child(std::exchange(child.pid, -1), {}));
        };
        ScreenRect win, save, box;
        auto count = [&](auto&& pixel_counts) {
            int n = 0;
            for (int y = win.y; y < win.y + win.h; ++y)
                for (int x = win.x; x < win.x + win.w; ++x) n += pixel_counts(x, y);
            return n;
        };
        // Pixels of the window inside `over`, outside `except`, not of the frame; -1 unreadable.
        auto not_frame = [&](const ScreenRect& over, const ScreenRect& except) {
            int w = 0;
            const std::vector<uint32_t> px = screen->pixels(&w);
            if (px.empty()) return -1;
            return count([&](int x, int y) {
                return over.has(x, y) && !except.has(x, y) &&
                       px[size_t(y) * w + x] != DIALOGS_FRAME_RGB;
            });
        };
        // The key, with the pointer on a corner of the screen outside the dialog; only once
        // the dialog has the keyboard, as a person would wait to see it focused.
        auto key_to = [&](const ScreenRect& dialog, const char* key) {
            if (!within_seconds(10, [&] { return has_focus(d, dialog); })) return false;
            for (auto [x, y] : {std::pair{0, 0}, {1279, 0}, {0, 1023}, {1279, 1023}})
                if (!dialog.has(x, y)) {
                    xdotool(d, "mousemove " + std::to_string(x) + " " + std::to_string(y) +
                                   " key " + key);
                    return true;
                }
            return false;
        };
        ASSERT_TRUE(find("quorvel", &win)) << child_code();
        ASSERT_TRUE(find("Save As", &save)) << child_code();
        ASSERT_TRUE(within_seconds(10, [&] {
            return not_frame(win, save) == 0 && not_frame(save, {}) > 0;
        })) << "the save dialog never stood over the frame";
        ASSERT_TRUE(key_to(save, "Escape")) << "the save dialog never took the keyboard";
        ASSERT_TRUE(find(DIALOGS_BOX_CAPTION, &box)) << child_code();
        // Pixels of the window the save dialog hid and the box does not.
        const int uncovered = count([&](int x, int y) { return save.has(x, y) && !box.has(x, y); });
        const bool repainted = within_seconds(3, [&] { return not_frame(win, box) == 0; });
        EXPECT_GT(uncovered, 0) << "the box hides all the save dialog left";
        EXPECT_TRUE(repainted) << not_frame(win, box) << " pixels still show the closed dialog";
        ASSERT_TRUE(key_to(box, row.key)) << "the box never took the keyboard";
        EXPECT_EQ(finish_child(std::exchange(child.pid, -1), std::chrono::seconds(20)), row.answer);
    }
}

// Once the program is ending no dialog waits for a person: none is shown, each answers as Cancel
// would, and each still writes its line. (An open dialog closing on the signal is tested
// through the program, in tests/app.)
TEST_F(PlatDialogsOnX, AfterAnEndSignalEveryDialogAnswersAtOnceUnseen)
{
    const std::string log = tmp.file("log.txt");
    const pid_t child =
        fork_child([&] { return dialogs_after_an_end_signal(screen->display(), log); });
    EXPECT_EQ(finish_child(child, std::chrono::seconds(20)), 0) << "-2: a dialog waited";
    EXPECT_EQ(tmp.read("log.txt"), "dialog: save \"Save As\" \"BMP\" -> cancel\n"
                                   "dialog: message \"c\" \"t\" -> ok\n"
                                   "dialog: question \"c\" \"t\" -> cancel\n");
}
