// The screenshot writer: BMP layout, requests, shots of a drawn frame and saving the file.
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <utility>

#include <gmock/gmock.h>

#include "child_proc.h"
#include "disp/quad_draw.h"
#include "disp/screenshot.h"
#include "disp/screenshot_local.h"
#include "disp_fixture.h"
#include "plat/byte_order.h"
#include "temp_dir.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

using ::testing::HasSubstr;

std::vector<std::string> g_boxes;
void record_box(const char* caption, const char* text)
{
    g_boxes.push_back(std::string(caption) + "|" + text);
}
void record_boxes()
{
    g_boxes.clear();
    DispLinks links = disp_links();
    links.message_box = record_box;
    disp_set_links(links);
}

std::string not_saved_box(const std::string& path, const std::string& why)
{
    return "保存できませんでした。|" + path + "\n" + why;
}

// The failures shown in boxes, as path and reason; each box follows its own line in `log`, and
// no line goes without its box.
std::vector<std::pair<std::string, std::string>> failures_shown(const std::string& log)
{
    std::vector<std::pair<std::string, std::string>> shown;
    const std::string caption = "保存できませんでした。|";
    for (const std::string& box : g_boxes) {
        const size_t nl = box.rfind('\n');
        if (box.rfind(caption, 0) != 0 || nl == std::string::npos) {
            ADD_FAILURE() << "not a failure box: " << box;
            continue;
        }
        shown.emplace_back(box.substr(caption.size(), nl - caption.size()), box.substr(nl + 1));
        EXPECT_THAT(log, HasSubstr("screenshot: not saved \"" + shown.back().first +
                                   "\": " + shown.back().second + "\n"));
    }
    EXPECT_EQ(size_t(test_count_of(log, "screenshot: not saved")), shown.size()) << log;
    return shown;
}

uint32_t u32(const std::vector<uint8_t>& b, size_t o) { return plat_le_get32(&b[o]); }

// File pixel (c, r) of the bottom-up rows as 0xRRGGBB.
uint32_t bmp_px(const std::vector<uint8_t>& b, int c, int r)
{
    const size_t o = 54 + (size_t(r) * u32(b, 18) + size_t(c)) * 3;
    return uint32_t(b[o]) | (uint32_t(b[o + 1]) << 8) | (uint32_t(b[o + 2]) << 16);
}

// Pixel (x, y) of `Picture`: B = x, G = y, R = 0x80 (A = 0x11 is not written).
uint32_t pic(int x, int y) { return 0x800000u | uint32_t(y) << 8 | uint32_t(x); }

std::vector<uint8_t> bytes_of(const DispBmpFile& f)
{
    return f.bytes ? std::vector<uint8_t>(f.bytes.get(), f.bytes.get() + f.size)
                   : std::vector<uint8_t>{};
}

// Builds into `b`; 1 when a file was built.
int build(std::vector<uint8_t>& b, const DispShotPixels& part, int x, int y, int w, int h)
{
    b = bytes_of(disp_screenshot_build_bmp(part, x, y, w, h));
    return b.empty() ? 0 : 1;
}

struct Picture {
    int w, h, pitch;
    std::vector<uint8_t> px;
    Picture(int w_, int h_, int extra = 0) : w(w_), h(h_), pitch(w_ * 4 + extra)
    {
        px.assign(size_t(pitch) * size_t(h), 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = 0x11000000u | pic(x, y);
                std::memcpy(&px[size_t(y) * pitch + size_t(x) * 4], &c, 4);
            }
    }
    // The whole picture as the builder's part.
    DispShotPixels whole() const { return {px, 0, 0, w, h, pitch}; }
    // Only the part of the picture inside the rectangle, as disp_screenshot_write
    // reads it from the target (rows packed).
    std::vector<uint8_t> part_in(int x, int y, int w_, int h_, DispShotPixels& part) const
    {
        const int x0 = std::clamp(x, 0, w), x1 = std::clamp(x + w_, x0, w);
        const int y0 = std::clamp(y, 0, h), y1 = std::clamp(y + h_, y0, h);
        std::vector<uint8_t> rows;
        for (int r = y0; r < y1; ++r)
            rows.insert(rows.end(), px.begin() + r * pitch + x0 * 4,
                        px.begin() + r * pitch + x1 * 4);
        part = {rows, x0, y0, x1 - x0, y1 - y0, (x1 - x0) * 4};
        return rows;
    }
    int build(std::vector<uint8_t>& b, int x, int y, int w_, int h_) const
    {
        return ::build(b, whole(), x, y, w_, h_);
    }
};

// Every pixel of file `b` against the picture it was built from: the
// rectangle's pixels where the picture has them, black elsewhere.
void expect_layout(const std::vector<uint8_t>& b, int x, int y, int w, int h, int pic_w, int pic_h)
{
    const int w4 = (w + 3) & ~3, h4 = (h + 3) & ~3;
    ASSERT_EQ(b.size(), 54u + 3u * size_t(w4) * size_t(h4));
    ASSERT_EQ(std::make_pair(u32(b, 18), u32(b, 22)), std::make_pair(uint32_t(w4), uint32_t(h4)));
    int wrong = 0;
    for (int r = 0; r < h4; ++r)
        for (int c = 0; c < w4; ++c) {
            const int px = x + c, py = y + h - 1 - r;
            const bool inside = c < w && r < h && px >= 0 && px < pic_w && py >= 0 && py < pic_h;
            if (bmp_px(b, c, r) != (inside ? pic(px, py) : 0u) && wrong++ < 5)
                ADD_FAILURE() << "file pixel " << c << "," << r << " of " << w << "x" << h << " at "
                              << x << "," << y;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(BmpLayout, HeaderRoundedSizesAndBottomUpBgrRowsWithBlackPadding)
{
    Picture pic120(120, 60, 8);
    std::vector<uint8_t> b;
    ASSERT_EQ(pic120.build(b, 5, 3, 101, 50), 1);
    ASSERT_EQ(b.size(), 54u + 3u * 104u * 52u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 2), "BM");
    // File size, pixel offset, info size, width and height rounded up to 4, one plane of 24 bits,
    // 11800 per metre.
    const size_t at[] = {2, 6, 10, 14, 18, 22, 26, 30, 34, 38, 42, 46, 50};
    const uint32_t want[] = {
        54u + 3u * 104u * 52u, 0, 54, 40, 104, 52, 1u | 24u << 16, 0, 0, 11800, 11800, 0, 0};
    for (size_t i = 0; i < std::size(at); ++i) EXPECT_EQ(u32(b, at[i]), want[i]) << at[i];
    // First file row = bottom row of the rectangle (picture row 3 + 49).
    EXPECT_EQ((std::array{bmp_px(b, 0, 0), bmp_px(b, 100, 0), bmp_px(b, 7, 49)}),
              (std::array{pic(5, 52), pic(105, 52), pic(12, 3)}));
    expect_layout(b, 5, 3, 101, 50, 120, 60);
}

// Rectangles inside, across every edge and corner of, and wholly outside a
// picture whose rows are padded, of sides that are and are not multiples of
// 4: built from the whole picture, and from only the part inside the
// rectangle as the screenshot writer reads it, they give the same file.
TEST(BmpLayout, EveryRectangleMatchesThePictureFromTheWholePictureOrItsVisiblePart)
{
    const Picture p(13, 11, 12);
    const struct {
        int x, y, w, h;
    } cases[] = {{0, 0, 13, 11}, {0, 0, 1, 1},     {12, 10, 1, 1}, {2, 3, 5, 7},  {1, 1, 2, 3},
                 {-3, 0, 6, 4},  {10, 2, 6, 5},    {4, -2, 3, 5},  {4, 9, 6, 6},  {-2, -3, 7, 6},
                 {11, 9, 4, 4},  {-5, -5, 23, 21}, {13, 0, 4, 4},  {0, 11, 4, 4}, {-4, 0, 4, 4},
                 {0, -6, 5, 6},  {40, 40, 3, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        std::vector<uint8_t> from_whole, from_part;
        ASSERT_EQ(p.build(from_whole, c.x, c.y, c.w, c.h), 1);
        expect_layout(from_whole, c.x, c.y, c.w, c.h, p.w, p.h);
        DispShotPixels part;
        const std::vector<uint8_t> rows = p.part_in(c.x, c.y, c.w, c.h, part);
        ASSERT_EQ(build(from_part, part, c.x, c.y, c.w, c.h), 1);
        EXPECT_EQ(from_part, from_whole);
    }
}

TEST(BmpLayout, TheLargestSideIsTakenOneMoreRefusedAndTheIntRangeEndsGiveBlack)
{
    const Picture p(6, 5);
    const int side = DISP_SCREENSHOT_MAX_SIDE;
    std::vector<uint8_t> b;
    for (auto [x, y, w, h] :
         {std::array{-side + 4, 1, side, 3}, std::array{2, -side + 3, 2, side}}) {
        ASSERT_EQ(p.build(b, x, y, w, h), 1) << w << "x" << h;
        expect_layout(b, x, y, w, h, p.w, p.h);
    }
    for (auto [w, h] : {std::pair{side + 1, 4}, std::pair{4, side + 1}})
        EXPECT_EQ(p.build(b, 0, 0, w, h), 0) << w << "x" << h;
    // Rectangles at the ends of the int range are black, not wrapped.
    for (auto [x, y] : {std::pair{INT_MAX - 2, 0}, std::pair{INT_MIN + 1, 0},
                        std::pair{0, INT_MAX - 2}, std::pair{0, INT_MIN + 1}}) {
        ASSERT_EQ(p.build(b, x, y, 8, 8), 1);
        EXPECT_EQ(std::count(b.begin() + 54, b.end(), 0), long(b.size() - 54)) << x << "," << y;
    }
}

TEST(BmpLayout, BadSourcesAreRefusedAndRectanglesOutsideThePictureClippedToBlack)
{
    // Empty or oversized rectangles, and sources shorter than they claim, are refused.
    const Picture small(4, 4);
    std::vector<uint8_t> b;
    const DispShotPixels whole = small.whole();
    EXPECT_EQ(build(b, whole, 0, 0, 0, 4), 0);
    EXPECT_EQ(build(b, whole, 0, 0, 4, -1), 0);
    EXPECT_EQ(build(b, whole, 0, 0, 4, 0), 0);
    EXPECT_EQ(build(b, whole, 0, 0, DISP_SCREENSHOT_MAX_SIDE + 1, 4), 0);
    EXPECT_EQ(build(b, {small.px, 0, 0, 4, 5, 16}, 0, 0, 4, 4), 0);  // 5 rows claimed
    EXPECT_EQ(build(b, {small.px, 0, 0, 4, 4, 12}, 0, 0, 4, 4), 0);  // pitch < row
    EXPECT_EQ(build(b, {small.px, 0, 0, -1, 4, 16}, 0, 0, 4, 4), 0);
    EXPECT_TRUE(b.empty());
    ASSERT_EQ(Picture(10, 10).build(b, -2, 8, 4, 4), 1);
    // Rows 8 and 9 exist (file rows 3 and 2), rows 10 and 11 do not; column -2 does not.
    EXPECT_EQ((std::array{bmp_px(b, 0, 3), bmp_px(b, 2, 3), bmp_px(b, 3, 2), bmp_px(b, 3, 1),
                          bmp_px(b, 3, 0)}),
              (std::array{0u, pic(0, 8), pic(1, 9), 0u, 0u}));
    // An empty source lies wholly outside: black, not refused.
    ASSERT_EQ(build(b, {{}, 0, 0, 0, 0, 0}, 0, 0, 4, 4), 1);
    EXPECT_EQ(std::count(b.begin() + 54, b.end(), 0), 48);
}

TEST(ShotRequest, LaterRequestReplacesAndTakeClears)
{
    // A refused path is a failed save: logged and shown like one.
    record_boxes();
    const std::string overlong = "/" + std::string(DISP_SCREENSHOT_MAX_PATH, 'a');
    const std::string want = "screenshot: not saved \"\": no path\nscreenshot: not saved \"" +
                             overlong + "\": path longer than 4096 bytes\n" +
                             "screenshot: not saved \"t/.\": names a folder, not a file\n";
    testing::internal::CaptureStderr();
    for (const std::string& path : {std::string(), overlong, std::string("t/.")})
        EXPECT_EQ(disp_screenshot_request(path, 0, 0, 4, 4), 0) << path;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), want);
    EXPECT_EQ(g_boxes, (std::vector{not_saved_box("", "no path"),
                                    not_saved_box(overlong, "path longer than 4096 bytes"),
                                    not_saved_box("t/.", "names a folder, not a file")}));
    EXPECT_EQ(disp_screenshot_take(), 0);
    EXPECT_EQ(disp_screenshot_request("a.bmp", 0, 0, 4, 4), 1);
    EXPECT_EQ(disp_screenshot_request("b.bmp", 1, 1, 4, 4), 1);
    EXPECT_EQ(disp_screenshot_take(), 1);
    EXPECT_EQ(disp_screenshot_take(), 0);
}

class ShotFrameTest : public DispDevice {
protected:
    void SetUp() override
    {
        DispDevice::SetUp();
        record_boxes();
        disp_screenshot_take();
    }
    // Requests and writes a shot of the current target; 1 when it was written.
    static int Shoot(const std::string& path, int x, int y, int w, int h)
    {
        EXPECT_EQ(disp_screenshot_request(path, x, y, w, h), 1);
        return disp_screenshot_write(tex_get_target_record());
    }
    TempDir dir_;
};

TEST_F(ShotFrameTest, WritesTheRequestedRectangleOfTheFrameClippedToTheTargetUnderAnyPath)
{
    const std::string path = dir_.file("shot.bmp");
    gfx_begin_scene();
    disp_clear(5, 0xFF102030);
    ASSERT_EQ(disp_draw_rect2(8, 8, 20, 10, 0, 0, 0xFF3366CC, QuadState{}), 1);
    ASSERT_EQ(disp_screenshot_request(path, 4, 4, 30, 20), 1);
    ASSERT_EQ(disp_screenshot_take(), 1);
    const uint32_t served = disp_screenshot_count();
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 1);
    EXPECT_EQ(disp_screenshot_count(), served + 1);
    auto b = test_file_bytes(dir_.file("shot.bmp"));
    ASSERT_EQ(b.size(), 54u + 3u * 32u * 20u);
    // Target (x, y) is file pixel (x - 4, 4 + 19 - y).
    const std::pair<int, int> quad[] = {{10, 10}, {8, 8}, {27, 17}},
                              back[] = {{7, 8}, {28, 17}, {10, 18}, {5, 5}};
    for (auto [x, y] : quad) EXPECT_TRUE(Near(bmp_px(b, x - 4, 23 - y), 0x3366CC)) << x << "," << y;
    for (auto [x, y] : back) EXPECT_TRUE(Near(bmp_px(b, x - 4, 23 - y), 0x102030)) << x << "," << y;
    EXPECT_EQ(bmp_px(b, 30, 0) | bmp_px(b, 31, 19), 0u);  // widened columns are black
    EXPECT_EQ(g_boxes, std::vector<std::string>{"保存しました。|" + path});
    // A rectangle past the target's corner: what lies outside is black.
    disp_clear(5, 0xFFFFFFFF);
    EXPECT_EQ(Shoot(path, DISP_FIXTURE_TEST_WIDTH - 2, -3, 8, 8), 1);
    gfx_end_scene();
    b = test_file_bytes(dir_.file("shot.bmp"));
    ASSERT_EQ(b.size(), 54u + 3u * 8u * 8u);
    EXPECT_TRUE(Near(bmp_px(b, 0, 0), 0xFFFFFF));      // target (62, 4)
    EXPECT_EQ(bmp_px(b, 2, 0) | bmp_px(b, 0, 7), 0u);  // x 64 and y -3: outside
    // A long path is kept whole.
    const std::string folder = dir_.file(std::string(150, 'd') + "/" + std::string(150, 'e'));
    std::filesystem::create_directories(folder);
    const std::string long_path = folder + "/" + std::string(40, 'f') + ".bmp";
    ASSERT_GT(long_path.size(), 300u) << long_path;
    EXPECT_EQ(Shoot(long_path, 0, 0, 4, 4), 1);
    EXPECT_TRUE(std::filesystem::exists(long_path));
    EXPECT_EQ(g_boxes.back(), "保存しました。|" + long_path);
}

// A save that was asked for and fails, wherever it fails, writes no file and is never silent:
// its line and its box name the path and the reason. A write with no request waiting (the
// request already served) says nothing.
TEST_F(ShotFrameTest, FailuresWriteNoFileAndAreLoggedAndShown)
{
    const std::string missing = "/nonexistent-quorvel-dir/x.bmp", path = dir_.file("fail.bmp");
    std::vector<std::pair<std::string, std::string>> want;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Shoot(missing, 0, 0, 8, 8), 0);
    EXPECT_EQ(Shoot(path, 0, 0, 0, 8), 0);
    EXPECT_EQ(Shoot(path, 0, 0, 8, DISP_SCREENSHOT_MAX_SIDE + 1), 0);
    want.insert(want.end(), {{path, "picture size 0 x 8 not supported"},
                             {path, "picture size 8 x 16385 not supported"}});
    // Surfaces that are not 32-bit colour.
    ASSERT_EQ(disp_screenshot_request(path, 0, 0, 8, 8), 1);
    SurfRecord depth;
    ASSERT_EQ(tex_surface_create(&depth, GFX_FMT_D16, 8, 8), 1);
    EXPECT_EQ(disp_screenshot_write(&depth), 0);
    tex_surface_release(&depth);
    want.push_back({path, "picture format not supported"});
    TexRecord rt;
    if (tex_create_render_target(&rt, GFX_FMT_R5G6B5, 8, 8)) {
        ASSERT_EQ(disp_screenshot_request(path, 0, 0, 8, 8), 1);
        SurfRecord s = {rt.surface, 8, 8, GFX_FMT_R5G6B5, 16, DISP_SURF_KIND_COLOR};
        EXPECT_EQ(disp_screenshot_write(&s), 0);
        tex_release(&rt);
        want.push_back({path, "picture format not supported"});
    }
    ASSERT_EQ(disp_screenshot_request(path, 0, 0, 8, 8), 1);
    EXPECT_EQ(disp_screenshot_write(nullptr), 0);
    want.push_back({path, "no picture to read"});
    EXPECT_EQ(disp_screenshot_write(tex_get_target_record()), 0);
    const auto shown = failures_shown(testing::internal::GetCapturedStderr());
    ASSERT_EQ(shown.size(), want.size() + 1);
    EXPECT_EQ(shown[0].first, missing);
    EXPECT_THAT(shown[0].second, HasSubstr("No such file or directory"));
    EXPECT_EQ(std::vector(shown.begin() + 1, shown.end()), want);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// With antialiasing the picture is resolved before it is read.
class ShotFrameMsaaTest : public ShotFrameTest {
protected:
    void Configure(D3d9BootDesc& desc) override { desc.settings.antialias_samples = 4; }
};

TEST_F(ShotFrameMsaaTest, MultisampledFrameIsWritten)
{
    EXPECT_EQ(disp_get_present_params()->samples, 4);
    gfx_begin_scene();
    disp_clear(5, 0xFF000000);
    ASSERT_EQ(disp_draw_rect2(0, 0, 16, 16, 0, 0, 0xFF80FF40, QuadState{}), 1);
    EXPECT_EQ(Shoot(dir_.file("msaa.bmp"), 0, 0, 32, 32), 1);
    gfx_end_scene();
    auto b = test_file_bytes(dir_.file("msaa.bmp"));
    ASSERT_EQ(b.size(), 54u + 3u * 32u * 32u);
    EXPECT_TRUE(Near(bmp_px(b, 8, 31 - 8), 0x80FF40));
    EXPECT_TRUE(Near(bmp_px(b, 20, 31 - 20), 0x000000));
}

std::string save_log(const std::string& path, size_t n, int expect, char v = 'n')
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(disp_screenshot_save_file(path, std::vector<uint8_t>(n, uint8_t(v))), expect) << path;
    return testing::internal::GetCapturedStderr();
}

// A missing folder, a file as folder, a folder, a pipe without a reader: nothing is made or
// removed, the log line and the box name the path and the reason.
TEST(ShotSave, PathsThatCannotTakeAFileLogAndShowWhyAndKeepWhatWasThere)
{
    record_boxes();
    TempDir t;
    t.write("file", "x");
    ASSERT_EQ(::mkfifo(t.file("pipe").c_str(), 0600), 0);
    for (auto [path, reason] : {std::pair{t.file("missing/a.bmp"), "No such file"},
                                {t.file("file/a.bmp"), "Not a directory"},
                                {t.file(""), "Is a directory"},
                                {t.file("pipe"), "No such device"}}) {
        g_boxes.clear();
        const auto shown = failures_shown(save_log(path, 9, 0));
        ASSERT_EQ(shown.size(), 1u) << path;
        EXPECT_EQ(shown[0].first, path);
        EXPECT_THAT(shown[0].second, HasSubstr(reason));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(t.file("")), {}), 2);
}

// On a 64 KB tmpfs (root only): a save through a link replaces the file, mode kept; saves on the
// full, then read-only system fail and leave it whole.
TEST(ShotSave, AFullOrReadOnlyFileSystemKeepsTheOldFile)
{
    TempDir t;
    if (::geteuid() != 0 || ::mount("tmpfs", t.file("").c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here";
    ::chmod(t.write("old.bmp", "x").c_str(), 0640);
    fs::create_symlink(t.file("old.bmp"), t.file("link.bmp"));
    save_log(t.file("link.bmp"), 20000, 1, 'o');
    for (const std::string& path : {t.file("link.bmp"), t.file("new.bmp")})
        EXPECT_NE(save_log(path, 200000, 0).find("No space left on device"), std::string::npos);
    EXPECT_EQ(::mount("tmpfs", t.file("").c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_NE(save_log(t.file("old.bmp"), 10, 0).find("Read-only file system"), std::string::npos);
    EXPECT_EQ(t.read("old.bmp"), std::string(20000, 'o'));
    EXPECT_EQ(unsigned(fs::status(t.file("old.bmp")).permissions()), 0640u);
    EXPECT_TRUE(fs::is_symlink(t.file("link.bmp")));
    EXPECT_EQ(std::distance(fs::directory_iterator(t.file("")), {}), 2);  // no leftover
    ::umount2(t.file("").c_str(), MNT_DETACH);
}

TEST(ShotSave, AKilledSaveNeverLeavesAShortFile)
{
    TempDir t;
    const size_t size = 8u << 20;
    save_log(t.file("pic.bmp"), size, 1, 'a');
    for (int round = 0; round < 6; ++round) {
        const pid_t child = fork_child([&] {
            for (uint8_t v = 'b';; v ^= 1)
                disp_screenshot_save_file(t.file("pic.bmp"), std::vector(size, v));
            return 0;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 13 * round));
        kill_child(child);
        const std::string now = t.read("pic.bmp");
        ASSERT_EQ(now.size(), size) << round;
        EXPECT_EQ(now.find_first_not_of(now[0]), std::string::npos) << round;
    }
}

}  // namespace
