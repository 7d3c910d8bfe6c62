// The whole program driven as a person would: the real executable with the
// built data set, headless, fed mouse and key input through a scripted input
// file (plat/input_script.h) with every press held over several frames, and
// answered by scripted dialogs. It waits for loading, opens the palette,
// turns its pages, creates a patch, lets it follow the cursor, places and
// selects it, drags each handle, moves and scales the background with the
// keys, presses H and L, saves to new names, to an existing name with OK and
// with Cancel, cancels the dialog and closes the window; then the files and
// the dialog log are checked.
#include "plat/gfx_image.h"
#include "res/res_fixture.h"
#include "temp_dir.h"
#include "plat/embedded.h"

#include "math/vm_mat.h"
#include "tool/tool.h"
#include "tool/tool_patch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int k_w = 800, k_h = 600;  // the offscreen desktop gives this client
constexpr int k_pic = 1024;
constexpr float k_fit_scale = 0.5859375f;
constexpr int k_load_frames = 120;  // generous: loading takes a few frames

// Input script built frame by frame; every press is held for three frames.
class Script {
public:
    void wait(uint32_t frames) { frame_ += frames; }
    void move(int x, int y)
    {
        line("move " + std::to_string(x) + " " + std::to_string(y));
        frame_ += 1;
    }
    // Two moves to the same point, so that "the position before the latest
    // move" is that point too (the background drag starts from it).
    void settle(int x, int y)
    {
        move(x, y);
        move(x, y);
    }
    void press(const char* button = "left")
    {
        line(std::string("down ") + button);
        frame_ += 3;
    }
    void release(const char* button = "left")
    {
        line(std::string("up ") + button);
        frame_ += 3;
    }
    void click(int x, int y)
    {
        settle(x, y);
        press();
        release();
    }
    // Press at a, move to b in steps of a frame each, release ("left outside":
    // with the pointer gone away from the window).
    void drag(int ax, int ay, int bx, int by, int steps = 8, const char* up = "left")
    {
        settle(ax, ay);
        press();
        for (int i = 1; i <= steps; ++i)
            move(ax + (bx - ax) * i / steps, ay + (by - ay) * i / steps);
        release(up);
    }
    // Down and up before the same frame: a click shorter than a frame.
    void quick_click(int x, int y)
    {
        settle(x, y);
        line("down left\n" + std::to_string(frame_) + " up left");
        frame_ += 1;
    }
    // Out to b and back to a before letting go: the drag ends where it began.
    void drag_and_back(int ax, int ay, int bx, int by)
    {
        settle(ax, ay);
        press();
        for (int i = 1; i <= 4; ++i) move(ax + (bx - ax) * i / 4, ay + (by - ay) * i / 4);
        for (int i = 3; i >= 0; --i) move(ax + (bx - ax) * i / 4, ay + (by - ay) * i / 4);
        release();
    }
    void key_down(const char* name)
    {
        line(std::string("keydown ") + name);
        frame_ += 3;
    }
    void key_up(const char* name)
    {
        line(std::string("keyup ") + name);
        frame_ += 3;
    }
    void key(const char* name)
    {
        key_down(name);
        key_up(name);
    }
    void close() { line("close"); }
    const std::string& text() const { return text_; }

private:
    void line(const std::string& s) { text_ += std::to_string(frame_) + " " + s + "\n"; }
    std::string text_;
    uint32_t frame_ = 0;
};

// Waits for loading, opens the palette (turning to the next page and back
// when asked), makes a patch of the first model, lets it follow the cursor to
// (300, 250) in `steps` moves well away from the dust bin, places it and
// selects it.
void first_patch_selected(Script& s, bool turn_pages, int steps)
{
    s.settle(400, 450);
    s.wait(k_load_frames);
    s.click(776, 152);
    if (turn_pages) {
        s.click(696, 424);
        s.click(504, 424);
    }
    s.click(505, 169);
    for (int i = 1; i <= steps; ++i) s.move(505 - 205 * i / steps, 169 + 81 * i / steps);
    s.wait(3);
    s.click(300, 250);
    s.wait(5);
    s.click(300, 250);
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

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

std::vector<uint8_t> read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Reads a saved picture and checks its header field by field.
void read_bmp(const std::string& path, Bmp* out)
{
    out->bytes = read_all(path);
    const auto& b = out->bytes;
    ASSERT_GE(b.size(), 54u) << path;
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    out->width = int(le32(b, 18));
    out->height = int(le32(b, 22));
    ASSERT_GT(out->width, 0);
    ASSERT_GT(out->height, 0);
    EXPECT_EQ(out->width % 4, 0);
    EXPECT_EQ(le32(b, 2), 54u + 3u * uint32_t(out->width) * uint32_t(out->height));
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le16(b, 26), 1);
    EXPECT_EQ(le16(b, 28), 24);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 38), 11800u);
    EXPECT_EQ(le32(b, 42), 11800u);
    ASSERT_EQ(b.size(), size_t(le32(b, 2)));
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
    i = std::clamp(i, 0, k_pic - 1);
    j = std::clamp(j, 0, k_pic - 1);
    return picture().data.data() + (size_t(j) * k_pic + size_t(i)) * 4;
}

bool near_patch(int x, int y, int cx, int cy, int r)
{
    return std::abs(x - cx) < r && std::abs(y - cy) < r;
}

// Pixels of the square of radius r around (cx, cy) clearly unlike the
// picture texel they show at that scale, the picture's left edge at -off.
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

struct ProgramRun {
    int status = -1;
    std::string log;
};

ProgramRun run_program(const std::string& script_path, const std::string& answers,
                       const std::string& log_path)
{
    ProgramRun r;
    const char* dir = std::getenv("QUORVEL_TEST_BINARY_DIR");
    const std::string exe = std::string(dir ? dir : ".") + "/quorvel";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ::setenv("ALSOFT_DRIVERS", "null", 1);
        ::setenv("QUORVEL_DIALOGS", "script", 1);
        ::setenv("QUORVEL_IPC_PREFIX", "qve2e%p-", 1);
        ::setenv("QUORVEL_DIALOG_ANSWERS", answers.c_str(), 1);
        ::setenv("QUORVEL_INPUT_SCRIPT", script_path.c_str(), 1);
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (;;) {
        int status = 0;
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.status = -2;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream in(log_path);
    std::stringstream ss;
    ss << in.rdbuf();
    r.log = ss.str();
    return r;
}

int count_of(const std::string& hay, const std::string& needle)
{
    int n = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
    return n;
}

// The first mesh's frame extent factors at the fitted scale, from the built
// data: the frame and handles are placed around them.
class EndToEnd : public ResTest {
protected:
    float fx = 0, fy = 0;
    fs::path built;

    void SetUp() override
    {
        ResTest::SetUp();
        const char* bin = std::getenv("QUORVEL_TEST_BINARY_DIR");
        built = fs::path(bin ? bin : ".");
        if (!fs::exists(built / "quorvel") || !fs::exists(built / "data" / "grp" / "apple.bin"))
            GTEST_SKIP() << "no built program or data set";
        ASSERT_EQ(picture().width, k_pic);
    }

    void mesh_factors(const fs::path& grp, float scale, float size)
    {
        settings = {{"MODEL_DATA_PATH", grp.string() + "/"},
                    {"MODEL_DATA_PATHE", folder("e")},
                    {"MODEL_DATA_PATHC", folder("c")},
                    {"TEX_DATA_PATH", folder("t")}};
        boot();
        ASSERT_TRUE(resload_request("apple", 0));
        while (resload_step() != RESLOAD_IDLE) {}
        const ResHandle mesh = res_mesh_find("apple", "apple");
        ASSERT_NE(mesh, 0u);
        float box[6];
        for (int i = 0; i < 6; ++i) box[i] = tool_mesh_bound(mesh, i);
        Mat44 m;
        vm_mat_identity(&m);
        tool_mat_scale3(&m, &m, size, size, size);
        vm_mat_rotate_z(&m, &m, 3.1415927f);
        const Vec2 e = tool_box_extent(box, &m);
        fx = e.x * scale / 16;
        fy = e.y * scale / 16;
    }
};

}  // namespace

TEST_F(EndToEnd, ComposeAndSaveAsAPersonWould)
{
    mesh_factors(built / "data" / "grp", k_fit_scale, 30.0f);
    ASSERT_GT(fx, 0.5f);
    ASSERT_GT(fy, 0.5f);

    TempDir dir;
    const std::string fit = dir.file("fit"), exact = dir.file("exact");

    Script s;
    first_patch_selected(s, true, 10);
    // Every handle of the frame centred at (300, 250); the turns and the
    // stretch end where they began, the scale handle doubles the patch.
    const int cx = 300, cy = 250;
    const int hx = int(16 * fx), hy = int(16 * fy);
    s.drag_and_back(cx, cy - hy - 32, cx, cy - hy - 12);                      // rotx
    s.drag_and_back(cx - hx - 32, cy, cx - hx - 12, cy);                      // roty
    s.drag_and_back(cx + hx + 32, cy + hy + 40, cx + hx + 52, cy + hy + 40);  // rotz
    s.drag_and_back(cx, cy + hy + 40, cx + 20, cy + hy + 40);                 // aspect
    s.drag(cx + hx + 32, cy, cx + hx + 32, cy - 32);                          // scaley: x 2
    // The background: moved with T, scaled with S, then H fits it again; L.
    s.key_down("T");
    s.drag(100, 500, 150, 530);
    s.key_up("T");
    s.key_down("S");
    s.drag(100, 500, 100, 400);
    s.key_up("S");
    s.key("H");
    s.key("L");
    s.key("L");
    s.click(776, 72);  // save: the fitted picture
    // Scale exactly 1: 0.5859375 + 424 / 1024.
    s.key_down("S");
    s.drag(100, 500, 100, 76, 12);
    s.key_up("S");
    s.click(776, 72);  // save: scale 1
    s.click(776, 72);  // save over fit.bmp: OK
    s.click(776, 72);  // save over exact.bmp: Cancel
    s.click(776, 72);  // dialog cancelled
    s.wait(5);
    s.close();
    const std::string script = dir.write("input.txt", s.text());

    const std::string answers =
        fit + ";ok;" + exact + ";ok;" + fit + ".bmp;ok;ok;" + exact + ".bmp;cancel;cancel;ok";
    const ProgramRun run = run_program(script, answers, dir.file("stderr.txt"));
    ASSERT_EQ(run.status, 0) << run.log;

    // The dialogs, in order.
    const std::string saved = "dialog: message \"保存しました。\"";
    const std::string asked = "dialog: question \"同名のファイルが存在します。上書きしますか？\"";
    EXPECT_EQ(count_of(run.log, "dialog: save "), 5) << run.log;
    EXPECT_EQ(count_of(run.log, saved), 3) << run.log;
    EXPECT_EQ(count_of(run.log, asked), 2) << run.log;
    EXPECT_EQ(count_of(run.log, asked + " \"" + fit + ".bmp\" -> ok"), 1) << run.log;
    EXPECT_EQ(count_of(run.log, asked + " \"" + exact + ".bmp\" -> cancel"), 1) << run.log;
    EXPECT_EQ(count_of(run.log, "dialog: message \"キャンセルしました。\" \"\" -> ok"), 1)
        << run.log;
    EXPECT_EQ(count_of(run.log, "これ以上"), 0);
    // After the Cancel nothing more was saved.
    const size_t cancel_at = run.log.find(asked + " \"" + exact + ".bmp\" -> cancel");
    ASSERT_NE(cancel_at, std::string::npos);
    EXPECT_EQ(run.log.find(saved, cancel_at), std::string::npos);

    // The scale-1 picture: 800 x 600, the picture's pixels exactly wherever no
    // patch lies (no button, palette, frame or text either), the patch present.
    Bmp b;
    ASSERT_NO_FATAL_FAILURE(read_bmp(exact + ".bmp", &b));
    ASSERT_EQ(b.width, k_w);
    ASSERT_EQ(b.height, k_h);
    // Picture centre at (300, 300): texel i lies at pixel i - 212.
    const int off = 300 - k_pic / 2;
    // The patch follows the picture: centre (300, 300 - 50 / 0.5859375).
    const int pcx = 300, pcy = 215;
    int mismatches = 0;
    for (int y = 0; y < k_h; ++y)
        for (int x = 0; x < k_w; ++x) {
            if (near_patch(x, y, pcx, pcy, 90)) continue;
            const uint8_t* p = b.at(x, y);
            const uint8_t* t = texel(x - off, y - off);
            if (p[0] != t[0] || p[1] != t[1] || p[2] != t[2]) {
                if (++mismatches <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " " << int(p[2]) << " "
                                  << int(p[1]) << " " << int(p[0]) << " expected " << int(t[2])
                                  << " " << int(t[1]) << " " << int(t[0]);
            }
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(unlike_picture(b, pcx, pcy, 90, 1.0f, off), 1500);

    // fit.bmp was overwritten with OK: the same file as exact.bmp.
    EXPECT_EQ(read_all(fit + ".bmp"), b.bytes);
}

// The fitted picture on its own, saved while the patch is selected (its frame
// and handles are drawn after the capture).
TEST_F(EndToEnd, FittedPictureWithinTolerance)
{
    TempDir dir;
    const std::string fit = dir.file("fit.BMP");
    Script s;
    first_patch_selected(s, false, 6);  // its frame and handles are shown
    s.click(776, 72);
    s.wait(5);
    s.close();
    const ProgramRun run =
        run_program(dir.write("input.txt", s.text()), fit + ";ok", dir.file("stderr.txt"));
    ASSERT_EQ(run.status, 0) << run.log;
    EXPECT_EQ(count_of(run.log, "dialog: message \"保存しました。\" \"" + fit + "\" -> ok"), 1)
        << run.log;

    Bmp b;
    ASSERT_NO_FATAL_FAILURE(read_bmp(fit, &b));
    ASSERT_EQ(b.width, 600);
    ASSERT_EQ(b.height, 600);
    // Each pixel lies within the colours of the texels around the point it
    // shows (whatever the filter), a little tolerance aside.
    int mismatches = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 600; ++x) {
            if (near_patch(x, y, 300, 250, 50)) continue;
            const float u = (float(x) + 0.5f) / k_fit_scale, v = (float(y) + 0.5f) / k_fit_scale;
            int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
            for (int j = int(v) - 2; j <= int(v) + 1; ++j)
                for (int i = int(u) - 2; i <= int(u) + 1; ++i)
                    for (int c = 0; c < 3; ++c) {
                        lo[c] = std::min<int>(lo[c], texel(i, j)[c]);
                        hi[c] = std::max<int>(hi[c], texel(i, j)[c]);
                    }
            const uint8_t* p = b.at(x, y);
            for (int c = 0; c < 3; ++c)
                if (p[c] + 4 < lo[c] || p[c] > hi[c] + 4) {
                    ++mismatches;
                    break;
                }
        }
    EXPECT_LT(mismatches, 20);
    // The patch: many pixels unlike the picture around its centre.
    const int patch = unlike_picture(b, 300, 250, 30, k_fit_scale, 0);
    EXPECT_GT(patch, 300);
}

// Saves once after the script; a patch shows as pixels unlike the picture.
class SavedOnce : public EndToEnd {
protected:
    Bmp bmp;
    void run_and_read(Script& s)
    {
        TempDir dir;
        s.click(776, 72);
        s.wait(5);
        s.close();
        const std::string out = dir.file("out.bmp"), script = dir.write("input.txt", s.text());
        const ProgramRun run = run_program(script, out + ";ok", dir.file("stderr.txt"));
        ASSERT_EQ(count_of(run.log, "dialog: message \"保存しました。\""), 1) << run.log;
        ASSERT_NO_FATAL_FAILURE(read_bmp(out, &bmp));
    }
    bool patch_at(int x, int y) { return unlike_picture(bmp, x, y, 30, k_fit_scale, 0) > 300; }
};

// Clicks shorter than a frame; a patch placed under a palette cell, then a
// click on that cell makes a new patch that follows the cursor away; that one
// dragged out of the window and let go there stays where it left the window,
// and the next click is a click.
TEST_F(SavedOnce, ShortClicksCellOverAPatchAndReleaseOutside)
{
    Script s;
    s.settle(400, 450);
    s.wait(k_load_frames);
    for (const auto& [x, y] : {std::pair{505, 169}, std::pair{300, 250}}) {
        s.quick_click(776, 152);  // the palette
        s.quick_click(505, 169);  // its first cell
        s.wait(3);
        s.quick_click(x, y);  // placed
        s.wait(5);
    }
    s.quick_click(300, 250);  // selected
    s.drag(300, 250, 80, 250, 8, "left outside");
    s.settle(500, 400);
    run_and_read(s);
    EXPECT_TRUE(patch_at(505, 169));
    EXPECT_TRUE(patch_at(80, 250));
    EXPECT_FALSE(patch_at(300, 250));
}
