// The built program driven as a person would, headless, through a scripted input file and
// scripted dialog answers; then the saved pictures and the dialog log are checked.
#include "child_proc.h"
#include "temp_dir.h"
#include "test_files.h"
#include "plat/byte_order.h"
#include "plat/embedded.h"
#include "plat/gfx_image.h"
#include "tool/tool_frame.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using namespace std::chrono_literals;

namespace {

constexpr int TOOL_E2E_W = 800, TOOL_E2E_H = 600;  // the offscreen desktop gives this client
constexpr int TOOL_E2E_PIC = 1024;
constexpr float TOOL_E2E_FIT_SCALE = 0.5859375f;
constexpr int TOOL_E2E_LOAD_FRAMES = 120;  // generous: loading takes a few frames

// Input script built frame by frame; every press is held for three frames.
class Script {
public:
    void wait(uint32_t frames) { frame_ += frames; }
    // One move: the pointer jumps there, as a touchscreen or a tablet puts it.
    void move(int x, int y) { line("move " + std::to_string(x) + " " + std::to_string(y), 1); }
    // From a to b a step a frame, as a mouse glides.
    void glide(int ax, int ay, int bx, int by, int steps)
    {
        for (int i = 1; i <= steps; ++i)
            move(ax + (bx - ax) * i / steps, ay + (by - ay) * i / steps);
    }
    void hold(const std::string& what) { line(what, 3); }  // "down left", "keyup T", ...
    void click(int x, int y)
    {
        move(x, y);
        hold("down left");
        hold("up left");
    }
    // Press at a, move to b a step a frame, release ("left outside": off the window).
    void drag(int ax, int ay, int bx, int by, int steps, const char* up = "left")
    {
        move(ax, ay);
        hold("down left");
        glide(ax, ay, bx, by, steps);
        hold(std::string("up ") + up);
    }
    // Down and up before the same frame: a click shorter than a frame.
    void quick_click(int x, int y)
    {
        move(x, y);
        line("down left\n" + std::to_string(frame_) + " up left", 1);
    }
    void close() { line("close", 0); }
    const std::string& text() const { return text_; }

private:
    void line(const std::string& s, uint32_t frames)
    {
        text_ += std::to_string(frame_) + " " + s + "\n";
        frame_ += frames;
    }
    std::string text_;
    uint32_t frame_ = 0;
};

// Waits for loading, opens the palette, makes a patch of the first model, moves it to (300, 250)
// away from the dust bin and places it.
void first_patch_placed(Script& s)
{
    s.move(400, 450);
    s.wait(TOOL_E2E_LOAD_FRAMES);
    s.click(776, 152);
    s.click(505, 169);
    s.glide(505, 169, 300, 250, 6);
    s.wait(3);
    s.click(300, 250);
}

// Waits for loading, then clicks the disk `saves` times and closes the window.
Script saves_after_loading(int saves)
{
    Script s;
    s.move(400, 450);
    s.wait(TOOL_E2E_LOAD_FRAMES);
    for (int i = 0; i < saves; ++i) s.click(776, 72);
    s.wait(5);
    s.close();
    return s;
}

struct Bmp {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    // B, G, R of pixel (x, y), y from the top.
    const uint8_t* at(int x, int y) const
    {
        return bytes.data() + 54 + (size_t(height - 1 - y) * size_t(width) + size_t(x)) * 3;
    }
};

// Reads a saved picture; its header's fields are the display's BMP layout case's, here only
// its sides are read, and the size they give is held to so that every pixel read is inside.
void read_bmp(const std::string& path, Bmp* out)
{
    out->bytes = test_file_bytes(path);
    ASSERT_GE(out->bytes.size(), 54u) << path;
    out->width = int(plat_le_get32(&out->bytes[18]));
    out->height = int(plat_le_get32(&out->bytes[22]));
    ASSERT_TRUE(out->width > 0 && out->height > 0 && out->width % 4 == 0);
    ASSERT_EQ(out->bytes.size(), 54u + 3u * size_t(out->width) * size_t(out->height));
}

// The built-in picture, decoded: B, G, R, X per pixel.
const GfxImage& picture()
{
    static GfxImage img = [] {
        GfxImage i;
        GfxImageError err{};
        const auto png = embedded_background_png();
        gfx_image_decode(png.data(), png.size(), &i, &err);
        return i;
    }();
    return img;
}

const uint8_t* texel(int i, int j)
{
    i = std::clamp(i, 0, TOOL_E2E_PIC - 1);
    j = std::clamp(j, 0, TOOL_E2E_PIC - 1);
    return picture().data.data() + (size_t(j) * TOOL_E2E_PIC + size_t(i)) * 4;
}

bool near_patch(int x, int y, int cx, int cy, int r)
{
    return std::abs(x - cx) < r && std::abs(y - cy) < r;
}

// Pixels around (cx, cy) clearly unlike the texel they show at that scale and offset.
int unlike_picture(const Bmp& bmp, int cx, int cy, int r, float scale, int off)
{
    int n = 0;
    for (int y = std::max(cy - r, 0); y < std::min(cy + r, bmp.height); ++y)
        for (int x = std::max(cx - r, 0); x < std::min(cx + r, bmp.width); ++x) {
            const uint8_t* p = bmp.at(x, y);
            const uint8_t* t =
                texel(int((float(x) + 0.5f) / scale) - off, int((float(y) + 0.5f) / scale) - off);
            if (std::abs(p[0] - t[0]) + std::abs(p[1] - t[1]) + std::abs(p[2] - t[2]) > 60) ++n;
        }
    return n;
}

// The `dialog:` line of the box a failed save of `logged` (the path as the log escapes it) shows:
// the path and the reason of its `screenshot:` line, on two lines; empty without that line.
std::string failure_box_line(const std::string& log, const std::string& logged)
{
    const std::string head = "screenshot: not saved \"" + logged + "\": ";
    const size_t at = log.find(head);
    if (at == std::string::npos) return {};
    const size_t from = at + head.size();
    const std::string why = log.substr(from, log.find('\n', from) - from);
    return "dialog: message \"保存できませんでした。\" \"" + logged + "\\n" + why + "\" -> ok\n";
}

class EndToEnd : public ::testing::Test {
protected:
    TempDir tmp;
    const fs::path built = tool_test_built_dir();

    void SetUp() override
    {
        for (const fs::path& p : {built / "quorvel", built / "data" / "grp" / "apple.bin"})
            ASSERT_TRUE(fs::exists(p)) << tool_test_not_built(p);
        ASSERT_EQ(picture().width, TOOL_E2E_PIC);
    }
    // Starts the program; its standard error, where the dialogs are logged, goes to stderr.txt.
    pid_t start_program(const Script& s, const std::string& answers)
    {
        return spawn_program({{"SDL_VIDEODRIVER", "offscreen"},
                              {"ALSOFT_DRIVERS", "null"},
                              {"QUORVEL_DIALOGS", "script"},
                              {"QUORVEL_IPC_PREFIX", "qve2e%p-"},
                              {"QUORVEL_DIALOG_ANSWERS", answers},
                              {"QUORVEL_INPUT_SCRIPT", tmp.write("input.txt", s.text())}},
                             tmp.file("stderr.txt"));
    }
    // The program's exit code and its standard error.
    std::pair<int, std::string> run_program(const Script& s, const std::string& answers)
    {
        const int status = finish_child(start_program(s, answers), std::chrono::minutes(5));
        return {status, tmp.read("stderr.txt")};
    }
};
using SavedOnce = EndToEnd;

}  // namespace

// A patch over the fitted picture saved under two names (".BMP" kept), then at scale 1 over the
// second with OK and over the first with Cancel, then a cancelled dialog. (The click on the disk
// lets go of the selection, so no save can hold the frame.)
TEST_F(EndToEnd, ComposeAndSaveAsAPersonWould)
{
    const std::string fitted = tmp.file("fitted.BMP"), exact = tmp.file("exact");
    Script s;
    first_patch_placed(s);
    s.click(776, 72);  // save: fitted.BMP
    s.click(776, 72);  // save: exact.bmp, fitted for now
    // Scale exactly 1: 0.5859375 + 424 / 1024.
    s.hold("keydown S");
    s.drag(100, 500, 100, 76, 12);
    s.hold("keyup S");
    s.click(776, 72);  // save over exact.bmp: OK
    s.click(776, 72);  // save over fitted.BMP: Cancel
    s.click(776, 72);  // dialog cancelled
    s.wait(5);
    s.close();
    const auto [status, log] = run_program(s, fitted + ";ok;" + exact + ";ok;" + exact +
                                                  ".bmp;ok;ok;" + fitted + ";cancel;cancel;ok");
    ASSERT_EQ(status, 0) << log;

    const std::string asked = "dialog: question \"同名のファイルが存在します。上書きしますか？\"";
    EXPECT_THAT(
        (std::vector{test_count_of(log, "dialog: save "),
                     test_count_of(log, "dialog: message \"保存しました。\""),
                     test_count_of(log, asked),
                     test_count_of(log, asked + " \"" + exact + ".bmp\" -> ok"),
                     test_count_of(log, asked + " \"" + fitted + "\" -> cancel"),
                     test_count_of(log, "dialog: message \"キャンセルしました。\" \"\" -> ok"),
                     test_count_of(log, "これ以上")}),
        ElementsAre(5, 3, 2, 1, 1, 1, 0))
        << log;

    // Scale 1, written over the fitted picture: the picture's pixels exactly wherever no patch
    // lies (no button, frame or text).
    Bmp b;
    ASSERT_NO_FATAL_FAILURE(read_bmp(exact + ".bmp", &b));
    ASSERT_EQ(std::pair(b.width, b.height), std::pair(TOOL_E2E_W, TOOL_E2E_H));
    // Picture centre at (300, 300): texel i lies at pixel i - 212.
    const int off = 300 - TOOL_E2E_PIC / 2;
    // The patch follows the picture: centre (300, 300 - 50 / 0.5859375).
    const int pcx = 300, pcy = 215;
    int mismatches = 0;
    for (int y = 0; y < TOOL_E2E_H; ++y)
        for (int x = 0; x < TOOL_E2E_W; ++x) {
            const uint8_t *p = b.at(x, y), *t = texel(x - off, y - off);
            if (near_patch(x, y, pcx, pcy, 90) || (p[0] == t[0] && p[1] == t[1] && p[2] == t[2]))
                continue;
            if (++mismatches <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " " << int(p[2]) << " " << int(p[1])
                              << " " << int(p[0]) << " expected " << int(t[2]) << " " << int(t[1])
                              << " " << int(t[0]);
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(unlike_picture(b, pcx, pcy, 90, 1.0f, off), 1500);

    // Fitted, and kept by the Cancel: each pixel lies within the colours of the texels around it
    // (whatever the filter).
    ASSERT_NO_FATAL_FAILURE(read_bmp(fitted, &b));
    ASSERT_EQ(std::pair(b.width, b.height), std::pair(600, 600));
    mismatches = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 600; ++x) {
            if (near_patch(x, y, 300, 250, 50)) continue;
            const float u = (float(x) + 0.5f) / TOOL_E2E_FIT_SCALE,
                        v = (float(y) + 0.5f) / TOOL_E2E_FIT_SCALE;
            int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
            for (int j = int(v) - 2; j <= int(v) + 1; ++j)
                for (int i = int(u) - 2; i <= int(u) + 1; ++i)
                    for (int c = 0; c < 3; ++c) {
                        lo[c] = std::min<int>(lo[c], texel(i, j)[c]);
                        hi[c] = std::max<int>(hi[c], texel(i, j)[c]);
                    }
            const uint8_t* p = b.at(x, y);
            bool unlike = false;
            for (int c = 0; c < 3; ++c) unlike = unlike || p[c] + 4 < lo[c] || p[c] > hi[c] + 4;
            mismatches += unlike;
        }
    EXPECT_LT(mismatches, 20);
    EXPECT_GT(unlike_picture(b, 300, 250, 30, TOOL_E2E_FIT_SCALE, 0), 300);
}

// Clicks shorter than a frame; a click on a cell over a patch makes a new patch; one let go
// outside the window stays where it left it, and the next click is a click.
TEST_F(SavedOnce, ShortClicksCellOverAPatchAndReleaseOutside)
{
    Script s;
    s.move(400, 450);
    s.wait(TOOL_E2E_LOAD_FRAMES);
    for (const auto& [x, y] : {std::pair{505, 169}, std::pair{300, 250}}) {
        s.quick_click(776, 152);  // the palette
        s.quick_click(505, 169);  // its first cell
        s.wait(3);
        s.quick_click(x, y);  // placed
        s.wait(5);
    }
    s.quick_click(300, 250);  // selected
    s.drag(300, 250, 80, 250, 8, "left outside");
    s.move(500, 400);
    s.click(776, 72);
    s.wait(5);
    s.close();
    const std::string out = tmp.file("out.bmp");
    const auto [status, log] = run_program(s, out + ";ok");
    ASSERT_EQ(status, 0) << log;
    Bmp b;
    ASSERT_NO_FATAL_FAILURE(read_bmp(out, &b));
    auto patch_at = [&](int x, int y) {
        return unlike_picture(b, x, y, 30, TOOL_E2E_FIT_SCALE, 0) > 300;
    };
    EXPECT_EQ((std::array{patch_at(505, 169), patch_at(80, 250), patch_at(300, 250)}),
              (std::array{true, true, false}));
}

// A save to a pipe whose reader holds it open and never reads: an end signal during it ends the
// program with its full shut-down; a reader that goes away fails the save without killing the
// program. Each is the usual line and the failure box (also while the program ends: the box is
// logged, not shown). The writer's own case bounds the wait of a reader that stays.
TEST_F(SavedOnce, ASaveToAPipeThatDoesNotDrainNeverHoldsOrKillsTheProgram)
{
    enum Then { END_SIGNAL, READER_GOES };
    const std::tuple<Then, const char*> cases[] = {
        {END_SIGNAL, "write: given up for an end signal"}, {READER_GOES, "write: Broken pipe"}};
    const std::string fifo = tmp.file("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (auto [then, reason] : cases) {
        const Script s = saves_after_loading(1);
        // Not inherited: the program must not read its own pipe.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        const pid_t pid = start_program(s, fifo + ";ok");
        // The save stalls once the pipe holds all it can.
        const int capacity = ::fcntl(reader, F_GETPIPE_SZ);
        int held = 0;
        for (int i = 0; i < 6000 && held < capacity; ++i) {
            std::this_thread::sleep_for(10ms);
            ::ioctl(reader, FIONREAD, &held);
        }
        EXPECT_EQ(held, capacity) << then;
        if (then == END_SIGNAL) ::kill(pid, SIGTERM);
        if (then == READER_GOES) ::close(reader);
        const int status = finish_child(pid, 2min);
        if (then != READER_GOES) ::close(reader);
        const std::string log = tmp.read("stderr.txt");
        EXPECT_EQ(status, 0) << then << log;
        EXPECT_THAT(
            std::vector({test_count_of(log, "screenshot: not saved \"" + fifo + "\": " + reason),
                         test_count_of(log, failure_box_line(log, fifo)),
                         test_count_of(log, "dialog: message")}),
            ElementsAre(1, 1, 1))
            << then << log;
        EXPECT_EQ(ipc_objects_named("qve2e" + std::to_string(pid) + "-"),
                  std::vector<std::string>{})
            << then;
    }
}

// Saves that cannot be written (a name that names a folder, a missing folder) each show their box
// right after their line, with the path and the reason, without the question or a hidden ".bmp";
// the next save takes the next answers. Chosen names are kept as they are, a backslash being a
// character of a name, and their control characters are escaped in every log line while the file
// keeps them.
TEST_F(SavedOnce, FailedSavesAreBoxedAndChosenNamesAreKeptAndEscaped)
{
    const std::string parent = tmp.file(".."), odd = tmp.file("a\nb"), named = tmp.file("a\\b");
    const std::string escaped = tmp.file("no\033dir/x");
    const std::string written = tmp.file("written.bmp");
    std::string answers;
    for (const std::string& a : {parent, odd, escaped, named, written}) answers += a + ";ok;";
    const auto [status, log] = run_program(saves_after_loading(5), answers);
    ASSERT_EQ(status, 0) << log;
    const std::string odd_logged = tmp.file("a\\nb"), escaped_logged = tmp.file("no\\x1bdir/x");
    EXPECT_THAT(
        std::vector(
            {test_count_of(log, "dialog: question"),
             test_count_of(log,
                           "dialog: message \"保存しました。\" \"" + odd_logged + ".bmp\" -> ok\n"),
             test_count_of(log, "dialog: message \"保存しました。\" \"" + named + ".bmp\" -> ok"),
             test_count_of(log, "dialog: message \"保存しました。\" \"" + written + "\" -> ok\n"),
             test_count_of(log, "dialog: message \"保存できませんでした。\""),
             test_count_of(log, "dialog: message"),
             // A raw newline would start a line with "b", a raw escape would be there.
             test_count_of(log, "\nb"), test_count_of(log, "\x1b")}),
        ElementsAre(0, 1, 1, 1, 2, 5, 0, 0))
        << log;
    for (const auto& [path, reason] : {std::pair{parent, "names a folder, not a file"},
                                       {escaped_logged + ".bmp", "No such file or directory"}}) {
        const std::string box = failure_box_line(log, path);
        ASSERT_THAT(box, ::testing::HasSubstr(reason)) << log;
        EXPECT_EQ(test_count_of(log, box), 1) << log;
        // The box follows its own line, before the next save's dialog.
        const size_t line_at = log.find("screenshot: not saved \"" + path + "\"");
        EXPECT_EQ(log.find("dialog: ", line_at), log.find(box)) << log;
    }
    for (const char* never : {"...bmp", "a", "no\033dir"})
        EXPECT_FALSE(fs::exists(tmp.file(never))) << never;
    Bmp b;
    for (const std::string& saved : {odd + ".bmp", named + ".bmp", written})
        ASSERT_NO_FATAL_FAILURE(read_bmp(saved, &b)) << saved;
}
