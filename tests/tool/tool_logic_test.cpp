// The patch tool's logic that needs no display: name tags, fit, save path and rectangle,
// handle boxes, the model-group listing and queue.
#include "res/res_fixture.h"
#include "plat/files.h"
#include "tool/dir_list_local.h"
#include "tool/mdl_load_local.h"
#include "tool/nametag_local.h"
#include "tool/tool_frame.h"
#include "tool/tool_local.h"
#include "tool/tool_patch_local.h"
#include "tool/tool_save_local.h"

#include <gmock/gmock.h>

#include <cmath>
#include <sys/stat.h>

namespace fs = std::filesystem;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

TEST(NameTag, NumbersOfTheListedShapesAndTextsBoundedByTheCapacity)
{
    // A letter at the end or before '_' is absent, as is a '_' at the very end; "x" resets the
    // value; a tag is found after another, its letter only right after '_' ("_xp5" is the x tag).
    const std::tuple<const char*, char, uint32_t, uint32_t> numbers[] = {
        {"box_p3_a1", 'p', 0, 3}, {"box_p3_a1", 'a', 0, 1}, {"box_p12x", 'p', 7, 0},
        {"box_t", 't', 9, 9},     {"box_t_a1", 't', 9, 9},  {"box_zz1", 'z', 0, 1},
        {"box", 'p', 5, 5},       {"box_", 'p', 5, 5},      {"a_b_p4", 'p', 0, 4},
        {nullptr, 'p', 6, 6},     {"box_xp5", 'p', 2, 2}};
    for (const auto& [name, letter, fallback, want] : numbers)
        EXPECT_EQ(nametag_get_number_or(name, letter, fallback), want)
            << (name ? name : "null") << " " << letter;
    char buf[4];
    ASSERT_EQ(nametag_get_text("box_nhello_p1", 'n', buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "hel");
    EXPECT_EQ(nametag_get_text("box", 'n', buf, sizeof buf), 0);
    EXPECT_EQ(nametag_get_text_or("box", 'n', buf, sizeof buf, "abc"), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(nametag_get_text_or("box", 'n', buf, sizeof buf, "abcd"), 0);  // no room
    EXPECT_EQ(nametag_get_text("box_n", 'n', buf, 0), 0);
}

// Priority, alpha reference, no depth write, depth test always.
TEST(NameTag, OptionsInTheirOrderAndPrioritiesInsideTheDrawLists)
{
    const int tag = TOOL_PATCH_TAG_PRIO, prio = TOOL_PATCH_PRIO;
    EXPECT_THAT(nametag_options("box_p3_a1", tag, prio), FieldsAre(82, 0u, 0, 0));  // 79, + 3
    EXPECT_THAT(nametag_options("box_P5", 28, 28), FieldsAre(23, 0u, 0, 0));
    EXPECT_THAT(nametag_options("ghost_z1_P1", tag, prio), FieldsAre(80, 0u, 1, 0));
    EXPECT_THAT(nametag_options("butterfly_t2", 79, 81), FieldsAre(81, 2u, 0, 0));
    EXPECT_THAT(nametag_options("diamond_A1", 79, 81), FieldsAre(81, 0u, 0, 1));
    // Hostile numbers must never give a priority outside the 94 draw lists: 101 and -9 are
    // refused, 4294967295 wraps in 32 bits, 93 is the last list; a refused step keeps the value
    // before it and later steps still apply.
    const std::tuple<const char*, int, int, int> priorities[] = {
        {"box_p20", 79, 81, 81},          {"box_P90", 79, 81, 81}, {"box_p4294967295", 79, 81, 81},
        {"box_p99999999999", 79, 81, 81}, {"box_p12", 79, 81, 93}, {"box_P81", 79, 81, 0},
        {"box_p50_P3", 79, 81, 78},       {"box_a1", 79, 81, 79},  {"box_a1", 200, 81, 81}};
    for (const auto& [name, prio_tag, base, want] : priorities)
        EXPECT_EQ(nametag_options(name, prio_tag, base).priority, want) << name << " " << prio_tag;
}

// The shrinking fit and an ordinary scale drag are the scene case's.
TEST(ToolFit, NeverEnlargesAndTheScaleDragStopsAtTheFloor)
{
    EXPECT_THAT(tool_fit_values(1600, 1200, 1024, 1024), FieldsAre(600.0f, 600.0f, 1.0f));
    EXPECT_THAT(tool_fit_values(800, 600, 0, 1024), FieldsAre(0.0f, _, 1.0f));
    EXPECT_FLOAT_EQ(tool_drag_scale(1.0f, 5000.0f, 1024), TOOL_MIN_SCALE);
    EXPECT_FLOAT_EQ(tool_drag_scale(1.0f, NAN, 1024), TOOL_MIN_SCALE);
    EXPECT_FLOAT_EQ(tool_drag_scale(1.0f, 1.0f, 0), TOOL_MIN_SCALE);  // no picture height
}

TEST(ToolSave, PathGetsItsExtensionAndIsNeverCut)
{
    EXPECT_EQ(tool_save_path("/tmp/pic"), "/tmp/pic.bmp");
    EXPECT_EQ(tool_save_path("/tmp/pic.BMP"), "/tmp/pic.BMP");
    EXPECT_EQ(tool_save_path("bmp"), "bmp.bmp");
    EXPECT_EQ(tool_save_path(".bmp"), ".bmp");
    // A name of a folder stays one, for the save to refuse, instead of naming a hidden file.
    for (const char* folder : {"/tmp/t/", "/tmp/t/.", "/tmp/.."})
        EXPECT_EQ(tool_save_path(folder), folder);
    const std::string at_limit = "/tmp/" + std::string(254, 'b');  // 259 characters
    EXPECT_EQ(tool_save_path(at_limit).size(), 263u);
}

TEST(ToolSave, RectangleOfTheFittedAndTheDraggedPicture)
{
    // -1: not checked for that row.
    const struct {
        const char* what;
        int pic;
        float ox, oy, scale;
        int tw, th;
        ToolRect want;
    } cases[] = {
        {"fitted", 1024, 300, 300, 0.5859375f, 800, 600, {0, 0, 600, 600}},
        {"half out left: cut at 0", 1024, 0, 300, 0.5859375f, 800, 600, {0, 0, 300, 600}},
        {"larger than the target", 1024, 400, 300, 2, 800, 600, {0, 0, 800, 600}},
        {"wholly outside left", 1024, -5000, 300, 0.5f, 800, 600, {0, 44, 1, 512}},
        {"wholly outside right", 1024, 5000, 300, 0.5f, 800, 600, {799, 44, 1, 512}},
        {"target below the render size", 1024, 512, 512, 1, 640, 480, {0, 0, 640, 480}},
        {"below one pixel gives one", 1, 5.2f, 5.2f, 0.01f, 800, 600, {-1, -1, 1, 1}},
    };
    for (const auto& c : cases) {
        const ToolRect r = tool_save_rect(c.pic, c.pic, c.ox, c.oy, c.scale, c.tw, c.th);
        const int got[4] = {r.x, r.y, r.width, r.height},
                  want[4] = {c.want.x, c.want.y, c.want.width, c.want.height};
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(want[i] < 0 || got[i] == want[i]) << c.what << " " << i << ": " << got[i];
    }
}

TEST(ToolSave, ExistenceIsPresenceNotReadability)
{
    TempDir dir;
    const std::string file = dir.write("locked.bmp", "x");
    ::chmod(file.c_str(), 0200);  // write-only
    fs::create_directories(dir.file("folder.bmp"));
    EXPECT_THAT((std::vector{plat_path_exists(file), plat_path_exists(dir.file("folder.bmp")),
                             plat_path_exists(dir.file("none.bmp")), plat_path_exists("")}),
                ElementsAre(1, 1, 0, 0));
    // A named pipe nobody writes to is answered at once, never waited on.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_THAT((std::vector{tool_file_size(dir.write("five", "12345").c_str()),
                             tool_file_size(dir.file("none").c_str()), tool_file_size(nullptr),
                             tool_file_size(dir.file("pipe").c_str())}),
                ElementsAre(5, 0, 0, 0));
}

TEST(ToolPatchGeometry, RectanglesIncludeEdgesAndTruncateBounds)
{
    EXPECT_EQ(tool_point_in_rect_at(10, 10, 10, 10, 5, 5), 1);
    EXPECT_EQ(tool_point_in_rect_at(15, 15, 10, 10, 5, 5), 1);
    EXPECT_EQ(tool_point_in_rect_at(16, 15, 10, 10, 5, 5), 0);
    EXPECT_EQ(tool_point_in_rect_at(10, 10, 10.9f, 10.9f, 4.5f, 4.5f), 1);  // 10 .. 15
    EXPECT_EQ(tool_point_in_rect_at(0, 0, -0.5f, -0.5f, 0.4f, 0.4f), 1);    // toward zero
    EXPECT_EQ(tool_point_in_rect_at(0, 0, 1, 1, 0, 0), 0);
    // A collapsed frame (no mesh) holds only its centre point.
    const PatchBox b = tool_patch_box(TOOL_PATCH_H_BODY, 100, 100, 0, 0);
    EXPECT_EQ(tool_point_in_rect_at(100, 100, b.x, b.y, b.w, b.h), 1);
    EXPECT_EQ(tool_point_in_rect_at(101, 100, b.x, b.y, b.w, b.h), 0);
}

TEST(ToolGroups, GroupNamesOfListedFilesAndAListingHoldsExactlyTheNamesItCounts)
{
    std::string stem;
    EXPECT_EQ(grp_of_file("star.bin", &stem), 1);
    EXPECT_EQ(stem, "star");
    // "a.b.bin" would open a.bin and "X.BIN" X.bin.
    for (const char* name : {"a.b.bin", "X.BIN", ".bin", "noext"})
        EXPECT_EQ(grp_of_file(name, &stem), 0) << name;
    TempDir dir;
    for (const char* f : {"b.bin", "A.bin", "c.txt"}) dir.write(f, "");
    fs::create_directories(dir.file("d.bin"));  // a folder is no group file
    DirList* list = dir_list_create(dir.file("").c_str());
    ASSERT_EQ(dir_list_scan(list, "*.bin"), 2);
    const auto name = [&](int i) {
        const char* n = dir_list_name(list, i);
        return std::string(n ? n : "<null>");
    };
    EXPECT_THAT((std::vector{name(-1), name(0), name(1), name(2)}),
                ElementsAre("<null>", "A.bin", "b.bin", "<null>"));
    EXPECT_EQ(dir_list_scan(list, "*.none"), 0);  // a rescan drops the old names
    EXPECT_EQ(dir_list_name(list, 0), nullptr);
    dir_list_free(list);
    DirList* missing = dir_list_create(dir.file("nowhere").c_str());
    EXPECT_EQ(dir_list_scan(missing, "*.bin"), 0);
    dir_list_free(missing);
    EXPECT_EQ(dir_list_scan(nullptr, "*.bin"), 0);
    EXPECT_EQ(dir_list_name(nullptr, 0), nullptr);
    dir_list_free(nullptr);
    DirList* dot = dir_list_create(nullptr);
    EXPECT_EQ(dot->folder, ".");
    dir_list_free(dot);
}

class ToolQueue : public ResTest {
protected:
    fs::path built;
    std::string grp;

    void SetUp() override
    {
        ResTest::SetUp();
        built = tool_test_built_dir() / "data" / "grp";
        ASSERT_TRUE(fs::exists(built / "star.bin")) << tool_test_not_built(built / "star.bin");
        grp = folder("grp");
        settings = {{"MODEL_DATA_PATH", grp},
                    {"MODEL_DATA_PATHE", folder("grpe")},
                    {"MODEL_DATA_PATHC", folder("grpc")},
                    {"TEX_DATA_PATH", folder("texture")}};
    }
    void TearDown() override
    {
        grp_queue_clear();
        ResTest::TearDown();
    }
};

// More groups than the loader's ring all load as it drains; stray names are skipped, not fatal.
TEST_F(ToolQueue, GroupsBeyondTheRingStillLoad)
{
    constexpr int TOOL_LOGIC_GROUPS = 70;
    for (int i = 0; i < TOOL_LOGIC_GROUPS; ++i)
        fs::copy_file(built / "star.bin", fs::path(grp) / ("g" + std::to_string(100 + i) + ".bin"));
    for (const char* f : {"coin.bin", "coin_NRM.bin"}) fs::copy_file(built / f, fs::path(grp) / f);
    fs::copy_file(built / "star.bin", fs::path(grp) / "a.b.bin");  // would open a.bin
    dir.write("grp/notes.txt", "not a group");
    boot();
    // coin, coin_NRM (listed itself as well) and the 70 copies.
    ASSERT_EQ(grp_queue_begin(grp.c_str()), TOOL_LOGIC_GROUPS + 2);
    EXPECT_GT(grp_queue_feed(), 0);
    EXPECT_EQ(resload_pending(), RESLOAD_RING);
    for (int frames = 0;; ++frames) {
        const int waiting = grp_queue_feed();
        if (resload_pump(90.0f) == RESLOAD_IDLE && waiting == 0) break;
        ASSERT_LT(frames, 100000);
    }
    EXPECT_TRUE(res_env_test_fatals().empty());
    for (int i = 0; i < TOOL_LOGIC_GROUPS; ++i) {
        const std::string g = "g" + std::to_string(100 + i);
        EXPECT_NE(res_mesh_find(g.c_str(), "star"), 0u) << g;
    }
    EXPECT_NE(res_mesh_find("coin", "coin"), 0u);
    EXPECT_EQ(res_mesh_count(), TOOL_LOGIC_GROUPS + 1);
}

TEST_F(ToolQueue, CompanionQueuedBeforeItsGroupAndEmptyFoldersQueueNothing)
{
    for (const char* f : {"coin.bin", "coin_NRM.bin", "star.bin"})
        fs::copy_file(built / f, fs::path(grp) / f);
    boot();
    EXPECT_EQ(grp_queue_begin(folder("empty").c_str()), 0);
    EXPECT_EQ(grp_queue_feed(), 0);
    EXPECT_EQ(resload_pump(90.0f), RESLOAD_IDLE);
    EXPECT_EQ(mdl_load_with_nrm("coin", 0), 1);
    EXPECT_EQ(resload_pending(), 2u);
    EXPECT_EQ(mdl_load_with_nrm("star", 0), 1);  // no companion: itself only
    EXPECT_EQ(resload_pending(), 3u);
    EXPECT_EQ(mdl_load_with_nrm(nullptr, 0), 0);
    const char* names[] = {"star", nullptr, "coin"};
    EXPECT_TRUE(mdl_load_list(names, 3));
    EXPECT_EQ(resload_pending(), 3u);  // already pending: no new requests
    EXPECT_FALSE(mdl_load_list(nullptr, 3) || mdl_load_list(names, 0));
}
