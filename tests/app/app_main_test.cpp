// Start-up choices, the window procedure and the scene switcher's frame timing.
#include "app/app_main.h"
#include "app/app_main_local.h"
#include "svc/mouse.h"
#include "svc/txt_settings.h"
#include "plat/files.h"
#include "temp_dir.h"

#include <gmock/gmock.h>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

TEST(AppRegion, FirstCapitalLetterDecides)
{
    std::vector<uint32_t> got;
    for (const char* t : {"EXPORT", "USA", "JAPAN", "J", "ASIA", "japan", "", (const char*)nullptr})
        got.push_back(app_region_from_text(t));
    EXPECT_THAT(got, ElementsAre(0, 1, 2, 2, 3, 0, 0, 0));
}

TEST(AppRenderSizes, DefaultsAndBadValues)
{
    TempDir t;
    txt_settings_load(t.write("a.txt", "RENDER_WIDTH 640 RENDER_FLAG 3\n").c_str());
    EXPECT_THAT(app_render_sizes(800, 600), FieldsAre(800, 600, 640, 600, 3));
    // A flag outside 0..5 would index past the orientation table; a size <= 0 is no size.
    txt_settings_load(
        t.write("b.txt", "RENDER_FLAG 6 RENDER_HEIGHT -480 RENDER_WIDTH3D 0\n").c_str());
    EXPECT_THAT(app_render_sizes(800, 600), FieldsAre(800, 600, 800, 600, 0));
    txt_settings_load(t.write("c.txt", "RENDER_FLAG -1\n").c_str());
    EXPECT_EQ(app_render_sizes(800, 600).flag, 0);
    txt_settings_load(t.file("missing.txt").c_str());
}

class AppWorkDir : public ::testing::Test {
protected:
    void SetUp() override { cwd_ = plat_current_dir(); }
    void TearDown() override { plat_set_current_dir(cwd_); }
    std::string cwd_;
    TempDir t_;
};

// The program's folder when a data folder (even read-only) lies beside it, else its parent; with
// no program path the current folder. Restoring goes back to the chosen folder.
TEST_F(AppWorkDir, ChosenBesideTheProgramAndRestored)
{
    std::string deep = "deep";
    for (int i = 0; i < 12; ++i) deep += "/a_rather_long_folder_name_" + std::to_string(i);
    for (const std::string& d : {std::string("prog"), std::string("ro"), deep})
        fs::create_directories(t_.file(d + "/data"));
    fs::permissions(t_.file("ro/data"), fs::perms::owner_read | fs::perms::owner_exec);
    for (const char* d : {"none", "file"}) fs::create_directories(t_.file(d));
    t_.write("file/data", "not a folder");
    ASSERT_GT(t_.file(deep).size(), 261u);
    const std::pair<std::string, std::string> cases[] = {
        {"prog", "prog"}, {"ro", "ro"}, {"none", ""}, {"file", ""}, {deep, deep}};
    for (const auto& [prog, want] : cases) {
        ASSERT_TRUE(app_choose_work_dir(t_.file(prog) + "/")) << prog;
        EXPECT_EQ(fs::path(app_get_work_dir()), fs::canonical(t_.file(want))) << prog;
    }
    fs::permissions(t_.file("ro/data"), fs::perms::owner_all);
    ASSERT_TRUE(plat_set_current_dir(t_.file("prog")));
    ASSERT_TRUE(app_choose_work_dir(""));
    EXPECT_EQ(fs::path(app_get_work_dir()), fs::canonical(t_.file("prog")));
    ASSERT_TRUE(plat_set_current_dir(t_.file("none")));
    ASSERT_TRUE(app_restore_work_dir());
    EXPECT_EQ(fs::path(plat_current_dir()), fs::canonical(t_.file("prog")));
}

TEST(AppWndproc, DestroyAndEndSessionPostTheQuitMouseMessagesReachTheMouse)
{
    for (uint32_t m : {PLAT_WM_DESTROY, PLAT_WM_ENDSESSION}) {
        app_wndproc(nullptr, m, 1, 0);
        PlatMsg msg;
        ASSERT_TRUE(plat_peek_message(&msg));
        EXPECT_EQ(msg.message, PLAT_WM_QUIT);
    }
    mouse_init();
    app_wndproc(nullptr, PLAT_WM_MOUSEMOVE, 0, plat_pack_pos(12, 34));
    app_wndproc(nullptr, PLAT_WM_MOUSEWHEEL, static_cast<uintptr_t>(uint16_t(-120)) << 16, 0);
    mouse_update();
    uint32_t x = 0, y = 0;
    mouse_get_pos(&x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(12u, 34u));
    EXPECT_EQ(mouse_get_wheel(), -120);
}

// The scene switcher with a test row: its calls, and the update call that ends it.
struct SceneCalls {
    int enter, update, leave;
    int end_after;
};
SceneCalls g_calls;

void scene_enter() { ++g_calls.enter; }
int scene_update() { return ++g_calls.update == g_calls.end_after ? 1 : 0; }
void scene_leave() { ++g_calls.leave; }

TEST(AppScene, AnEndedSceneHandsOverToTheEmptyRowAndIdles)
{
    g_calls = SceneCalls{0, 0, 0, 2};
    app_scene_set_row(0, SceneEntry{scene_enter, scene_update, scene_leave});
    app_scene_set_row(1, SceneEntry{nullptr, nullptr, nullptr});
    app_start();
    for (int i = 0; i < 4; ++i) app_update();  // prepare, enter, update, update (ends)
    EXPECT_EQ(g_calls.leave, 1);
    EXPECT_EQ(std::pair(app_scene_runner()->index, app_scene_runner()->state), std::pair(1u, 2u));
    for (int i = 0; i < 10; ++i) app_update();
    EXPECT_EQ(app_scene_runner()->state, 3u);
    EXPECT_EQ(std::pair(g_calls.enter, g_calls.update), std::pair(1, 2));
    app_start();
    EXPECT_EQ(std::pair(app_scene_runner()->index, app_scene_runner()->state), std::pair(0u, 0u));
    app_scene_set_row(0, SceneEntry{nullptr, nullptr, nullptr});
}

TEST(AppErrorBox, FormatsTextSourceAndLine)
{
    ::testing::internal::CaptureStderr();
    app_error_box("bad thing", "file.cpp", 42);
    app_error_box(nullptr, nullptr, -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "dialog: message \"quorvel\" \"bad thing[file.cpp:42]\" -> ok\n"
              "dialog: message \"quorvel\" \"[:-1]\" -> ok\n");
}

}  // namespace
