// Patches in the draw-object manager's update pass, without a display; a frame is the input
// update, the tool's buttons (when asked) and the update pass.
#include "res/res_fixture.h"
#include "disp/disp_param.h"
#include "obj2d/line2d.h"
#include "disp/obj.h"
#include "obj2d/obj2d.h"
#include "obj2d/spr.h"
#include "obj3d/mdlobj.h"
#include "obj3d/obj3d.h"
#include "plat/dialogs.h"
#include "plat/input.h"
#include "plat/input_local.h"
#include "plat/window.h"
#include "tool/tool_frame.h"
#include "tool/tool_local.h"
#include "tool/tool_palette_local.h"
#include "tool/tool_patch_local.h"

#include <gmock/gmock.h>

#include <cmath>
#include <vector>

namespace fs = std::filesystem;
using ::testing::FieldsAre;
using ::testing::FloatEq;
using ::testing::Matcher;
using ::testing::UnorderedElementsAreArray;

namespace {

constexpr int TOOL_PATCH_W = 800, TOOL_PATCH_H = 600;

class ToolPatches : public ResTest {
protected:
    ResHandle apple = 0, star = 0;

    void SetUp() override
    {
        ResTest::SetUp();
        const fs::path grp = tool_test_built_dir() / "data" / "grp";
        ASSERT_TRUE(fs::exists(grp / "apple.bin")) << tool_test_not_built(grp / "apple.bin");
        settings = {{"MODEL_DATA_PATH", grp.string() + "/"},
                    {"MODEL_DATA_PATHE", folder("e")},
                    {"MODEL_DATA_PATHC", folder("c")},
                    {"TEX_DATA_PATH", folder("t")}};
        boot();
        for (const char* g : {"apple", "star"}) ASSERT_TRUE(resload_request(g, 0));
        while (resload_step() != RESLOAD_IDLE) {}
        apple = res_mesh_find("apple", "apple");
        star = res_mesh_find("star", "star");
        ASSERT_NE(apple, 0u);
        disp_param_init(nullptr, 0, TOOL_PATCH_W, TOOL_PATCH_H, 32, nullptr);
        obj_module_init();
        line2d_type_register();
        tri2d_type_register();
        obj2d_type_register();
        obj3d_type_register();
        plat_key_clear();
        key_init();
        mouse_init();
        tool_state() = ToolState{.sprite_group = group_alloc(),
                                 .model_group = group_alloc(),
                                 .offset_x = 400,
                                 .offset_y = 300,
                                 .scale = 1.0f,
                                 .lighting = 1};
        plat_dialogs_reset_script();
    }
    void TearDown() override
    {
        obj3d_term();
        obj2d_type_term();
        tri2d_term();
        line2d_term();
        obj_module_term();
        tool_state() = ToolState{};
        plat_key_clear();
        ResTest::TearDown();
    }

    void move(int x, int y) { mouse_on_move(plat_pack_pos(x, y), 0, 0); }
    void button(bool down)
    {
        const PlatMsg m{nullptr, down ? PLAT_WM_LBUTTONDOWN : PLAT_WM_LBUTTONUP, 0, 0, 0};
        plat_input_on_message(&m);
    }
    void frame(bool buttons = false)
    {
        key_update();
        mouse_update();
        if (buttons) tool_buttons();
        obj_frame();
        obj_free_dead();
    }
    void frames(int n)
    {
        for (int i = 0; i < n; ++i) frame();
    }
    void click(int x, int y)
    {
        move(x, y);
        button(true);
        frames(2);
        button(false);
        frame();
    }
    // A patch of the mesh created at (x, y) and placed there.
    DrawObj* placed(ResHandle mesh, int x, int y)
    {
        move(x, y);
        DrawObj* p = tool_patch_create(tool_state().model_group, mesh);
        EXPECT_NE(p, nullptr);
        frames(4);
        click(x, y);
        EXPECT_EQ(tool_patch_record(p)->state, 0u);
        frames(3);
        return p;
    }
    static Vec2 screen_pos(DrawObj* p)
    {
        const Mat44* m = mdlobj_matrix(p);
        return {m->m[12] + TOOL_PATCH_W / 2, m->m[13] + TOOL_PATCH_H / 2};
    }
    static auto at(float x, float y) { return FieldsAre(FloatEq(x), FloatEq(y)); }
    static uint32_t state(DrawObj* p) { return tool_patch_record(p)->state; }
    void press_at(int x, int y, bool buttons = false)
    {
        move(x, y);
        button(true);
        frame(buttons);
    }
    void move_frame(int x, int y, bool buttons = false)
    {
        move(x, y);
        frame(buttons);
    }
    // A frame that answers the handle icons it drew (the frame's sprites, gone at its end).
    struct Icon {
        float x, y, pivot_x, pivot_y;
        uint32_t colour;
    };
    std::vector<Icon> icons_frame()
    {
        key_update();
        mouse_update();
        obj_frame();
        std::vector<Icon> icons;
        obj_for_each(
            [](DrawObj* o, void* out) {
                if (o->type != spr_type()) return;
                const SprWork* w = obj_work<SprWork>(o);
                static_cast<std::vector<Icon>*>(out)->push_back(
                    {w->x, w->y, w->pivot_x, w->pivot_y, w->colour});
            },
            &icons);
        obj_free_dead();
        return icons;
    }
};

}  // namespace

TEST_F(ToolPatches, FollowsTheCursorAndIsPlacedOnlyAfterItsThirdFrame)
{
    move(100, 100);
    DrawObj* p = tool_patch_create(tool_state().model_group, apple);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::tuple(tool_state().patches[0], p->prio), std::tuple(p, TOOL_PATCH_PRIO));
    // A press in its first frames does not place it.
    button(true);
    frame();
    button(false);
    move_frame(200, 150);
    EXPECT_TRUE(tool_patch_is_moving(p));
    EXPECT_THAT(screen_pos(p), at(200, 150));
    frames(2);
    click(250, 160);
    EXPECT_FALSE(tool_patch_is_active(p));
    move(500, 500);
    frames(2);
    EXPECT_THAT(screen_pos(p), at(250, 160));
}

TEST_F(ToolPatches, SelectionWaitsTwoFramesAndTheNearerCentreWins)
{
    DrawObj* a = placed(apple, 300, 300);
    DrawObj* b = placed(apple, 320, 300);
    click(317, 300);  // inside both frames, nearer b's centre
    EXPECT_EQ(std::pair(state(a), state(b) & TOOL_PATCH_SELECTED),
              std::pair(0u, TOOL_PATCH_SELECTED));
    EXPECT_EQ(tool_active_patch(), b);
    click(303, 300);  // nearer a: a selected, b let go
    EXPECT_EQ(std::pair(state(a), state(b)), std::pair(TOOL_PATCH_SELECTED, 0u));
    click(700, 50);  // away from every handle: nothing selected
    EXPECT_EQ(tool_active_patch(), nullptr);
}

TEST_F(ToolPatches, BodyDragMovesInPictureTermsAndFollowsTheBackground)
{
    DrawObj* p = placed(apple, 300, 300);
    click(300, 300);
    ASSERT_EQ(state(p), TOOL_PATCH_SELECTED);
    press_at(300, 300);
    move_frame(340, 280);
    EXPECT_THAT(screen_pos(p), at(340, 280));
    button(false);
    frame();
    EXPECT_EQ(state(p), TOOL_PATCH_SELECTED);
    // The background's scale scales the patch and moves it with the picture: (340-400) x 2 + 400.
    const float size_before = std::fabs(mdlobj_matrix(p)->m[0]);
    tool_state().scale = 2.0f;
    frame();
    EXPECT_THAT(screen_pos(p), at(280, 260));
    EXPECT_FLOAT_EQ(std::fabs(mdlobj_matrix(p)->m[0]), 2 * size_before);
    tool_state().scale = 1.0f;
    frame();
    EXPECT_FLOAT_EQ(screen_pos(p).x, 340);
}

// A selected patch's handle wins over a body under it; it doubles for 32 pixels up, floor 0.1.
TEST_F(ToolPatches, ScaleHandleWinsOverABodyDoublesAndStopsAtOneTenth)
{
    DrawObj* p = placed(apple, 300, 300);
    const PatchRecord* r = tool_patch_record(p);
    const int hx = int(16 * r->extent_x);
    DrawObj* b = placed(apple, 300 + hx + 32, 300);
    click(300, 300);
    const float size = std::fabs(r->base.m[0]);
    press_at(300 + hx + 32, 300);
    EXPECT_EQ(std::pair(r->state, state(b)),
              std::pair(TOOL_PATCH_SELECTED | TOOL_PATCH_SCALEY, 0u));
    move_frame(300 + hx + 32, 268);  // 32 up
    EXPECT_FLOAT_EQ(std::fabs(r->base.m[0]), 2 * size);
    move_frame(300 + hx + 32, 2000);  // far down, off the handle: the drag goes on
    EXPECT_FLOAT_EQ(std::fabs(r->base.m[0]), 0.1f * size);
    button(false);
    frame();
    EXPECT_EQ(r->state, TOOL_PATCH_SELECTED);
    EXPECT_FLOAT_EQ(screen_pos(p).x, 300);  // the translation is kept
}

// The icons sit around the frame as the user is told (right, above, left, below right,
// below), a press anywhere on an icon takes that handle's drag, and only that icon turns red.
TEST_F(ToolPatches, EachHandleIsDrawnWhereAPressTakesItsDragAndTurnsRedAlone)
{
    constexpr uint32_t WHITE = 0xFFFFFFFFu, RED = 0xFFFF0000u;
    DrawObj* p = placed(apple, 300, 300);
    click(300, 300);
    const PatchRecord* r = tool_patch_record(p);
    const float hx = 16 * r->extent_x, hy = 16 * r->extent_y;
    ASSERT_GT(std::min(hx, hy), 8.0f);  // no two icons overlap
    struct Handle {
        uint32_t bit;
        Icon icon;   // white, where it is drawn
        float w, h;  // the icon's size in the data set's atlas
    };
    const Handle handles[] = {
        {TOOL_PATCH_SCALEY, {300 + hx + 16, 300, 0.0f, 0.5f, WHITE}, 32, 64},
        {TOOL_PATCH_ROTX, {300, 300 - hy - 32, 0.5f, 0.5f, WHITE}, 32, 32},
        {TOOL_PATCH_ROTY, {300 - hx - 32, 300, 0.5f, 0.5f, WHITE}, 32, 32},
        {TOOL_PATCH_ROTZ, {300 + hx + 32, 300 + hy + 40, 0.5f, 0.5f, WHITE}, 32, 32},
        {TOOL_PATCH_ASPECT, {300, 300 + hy + 40, 0.5f, 0.5f, WHITE}, 64, 32},
    };
    auto is = [](const Icon& i) {
        return FieldsAre(FloatEq(i.x), FloatEq(i.y), FloatEq(i.pivot_x), FloatEq(i.pivot_y),
                         i.colour);
    };
    for (const Handle& held : handles) {
        std::vector<Matcher<Icon>> want;
        for (const Handle& h : handles) {
            Icon i = h.icon;
            if (&h == &held) i.colour = RED;
            want.push_back(is(i));
        }
        // A pixel inside each corner of the icon.
        const float left = held.icon.x - held.icon.pivot_x * held.w;
        const float top = held.icon.y - held.icon.pivot_y * held.h;
        for (const int x : {int(std::ceil(left)) + 1, int(std::floor(left + held.w)) - 1})
            for (const int y : {int(std::ceil(top)) + 1, int(std::floor(top + held.h)) - 1}) {
                SCOPED_TRACE(testing::Message() << held.bit << " at " << x << ", " << y);
                move(x, y);
                button(true);
                const std::vector<Icon> drawn = icons_frame();
                EXPECT_EQ(r->state, TOOL_PATCH_SELECTED | held.bit);
                EXPECT_THAT(drawn, UnorderedElementsAreArray(want));
                button(false);
                frames(2);
                ASSERT_EQ(r->state, TOOL_PATCH_SELECTED);
            }
    }
}

TEST_F(ToolPatches, TheFrameIsCappedBeforeTheBackgroundScale)
{
    DrawObj* p = placed(star, 400, 300);
    PatchRecord* r = tool_patch_record(p);
    tool_mat_scale3(&r->base, &r->base, 100, 100, 100);  // far wider than the screen
    tool_state().scale = 0.5f;
    frame();
    EXPECT_THAT(std::pair(r->extent_x, r->extent_y),
                FieldsAre(FloatEq(0.3f * TOOL_PATCH_W * 0.5f / 16),
                          FloatEq(0.3f * TOOL_PATCH_H * 0.5f / 16)));
}

TEST_F(ToolPatches, SlotsAreReusedAndThe513thIsRefused)
{
    move(50, 50);
    for (int i = 0; i < TOOL_PATCH_SLOTS; ++i)
        ASSERT_NE(tool_patch_create(tool_state().model_group, apple), nullptr) << i;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(tool_patch_create(tool_state().model_group, apple), nullptr);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("dialog: message \"これ以上クオーベルを作成できません\" \"\" -> ok"),
              std::string::npos)
        << log;
    tool_mark_delete_slot(0);
    frame();
    EXPECT_EQ(tool_state().patches[0], nullptr);
    DrawObj* again = tool_patch_create(tool_state().model_group, apple);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(tool_patch_record(again)->slot, 0);
    EXPECT_EQ(tool_state().patches[0], again);
}

// The dust bin takes a moving patch; letting go over it after a handle drag deletes nothing.
TEST_F(ToolPatches, DustBinDeletesOnlyAMovingPatch)
{
    const int bx = tool_button_x(TOOL_BUTTON_DUST) + 16, by = tool_button_y(TOOL_BUTTON_DUST) + 16;
    DrawObj* kept = placed(apple, 300, 300);
    click(300, 300);
    press_at(300 + int(16 * tool_patch_record(kept)->extent_x) + 32, 300, true);
    ASSERT_EQ(state(kept), TOOL_PATCH_SELECTED | TOOL_PATCH_SCALEY);
    move_frame(bx, by, true);
    button(false);
    frame(true);
    frames(2);
    EXPECT_EQ(tool_state().patches[0], kept);

    tool_deselect_all(nullptr);  // as opening the palette does
    move(200, 200);
    DrawObj* p = tool_patch_create(tool_state().model_group, star);
    const int slot = tool_patch_record(p)->slot;
    frame(true);
    move_frame(bx, by, true);  // the new patch follows the cursor into the bin
    frame(true);
    EXPECT_EQ(tool_state().patches[size_t(slot)], nullptr);
    EXPECT_EQ(tool_state().patches[0], kept);
}

// The tags' numbers are the name tag cases'; here a patch and a preview take them.
TEST_F(ToolPatches, NameTagsOfAShippedModel)
{
    ASSERT_TRUE(resload_request("ghost", 0));
    while (resload_step() != RESLOAD_IDLE) {}
    const ResHandle ghost = res_mesh_find("ghost", "ghost_z1_P1");
    ASSERT_NE(ghost, 0u);
    move(10, 10);
    DrawObj* g = tool_patch_create(tool_state().model_group, ghost);
    EXPECT_EQ(g->prio, 80);
    EXPECT_EQ(obj3d_dp_bit(mdlobj_get_draw_param(g), OBJ3D_DP_Z_WRITE_BIT), 0u);
    DrawObj* preview =
        mdlobj_create_1f(tool_state().model_group, nullptr, ghost, TOOL_PREVIEW_PRIO);
    tool_apply_name_options(preview, ghost, TOOL_PREVIEW_PRIO);
    EXPECT_EQ(preview->prio, 27);
}
