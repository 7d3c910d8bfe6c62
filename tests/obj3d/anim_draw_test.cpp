// The 3D types in the 3D pass: a skinned character, attachments, mesh-list
// nodes, primitive-list batches, 3D lines and triangles, debug drawing.
#include "anim_fixture.h"
#include "obj3d/motion_local.h"
#include "objx/plight_debug.h"
#include "objx/bone_debug.h"

namespace {

using namespace o3t;

class AnimDrawTest : public AnimScene {
protected:
    // Lit pixels (against the black clear) inside a rectangle.
    static int LitIn(int x0, int y0, int x1, int y1)
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += Luma(Pixel(x, y)) > 60;
        return n;
    }
    DrawObj* Character(const Mat44& world)
    {
        DrawObj* o = motobj_create(0, &world, mesh, 81);
        motobj_set_lighting(o, 0);
        motobj_set_motion(o, bones, wave);
        motobj_set_start(o, 0);  // a motion object starts at frame 2
        return o;
    }
};

// The arm lies along +x at frame 0 and points up at frame 9; the box hung
// at the hand follows it.
TEST_F(AnimDrawTest, HandAttachmentFollowsTheBone)
{
    DrawObj* o = Character(at(-1.6f, 0, 6));
    ASSERT_NE(o, nullptr);
    // Too small to light the arm's regions by itself: they see the arm alone.
    const ResHandle cube = make_cube("cube", 0.02f);
    DrawObj* a = motobj_attach_model(o, "box", cube, "hand_L");
    ASSERT_NE(a, nullptr);
    attobj_set_lighting(a, 0);
    for (int f : {0, 9}) {
        motobj_update(o, f);
        Render();
        const int along = LitIn(33, 22, 40, 26), up = LitIn(22, 4, 30, 18);
        EXPECT_GT(f ? up : along, 3) << f;
        EXPECT_EQ(f ? along : up, 0) << f;
        const Vec3 hand = pos(motobj_bone_world_by_name(o, "hand_L", 0)->world);
        EXPECT_LT(dist(pos(attobj_work(a)->world), hand), 1e-4f) << f;
    }
    EXPECT_EQ(motobj_get_frame(o), 9);
    EXPECT_NEAR(pos(attobj_work(a)->world).y, 2.0f, 1e-3f);  // raised arm: hand 2 above
    // The same name swaps the mesh; a second one appends; index 2 is past the end.
    EXPECT_EQ(motobj_attach_model(o, "box", cube, "hand_L"), a);
    DrawObj* b = motobj_attach_model(o, "cap", cube, "hand_R");
    EXPECT_EQ(motobj_attachment_count(o), 2);
    EXPECT_EQ(motobj_get_attachment(o, 1), b);
    EXPECT_EQ(motobj_get_attachment(o, 2), nullptr);
    // Freed by someone else, an attachment leaves its owner's list.
    obj_free(a);
    EXPECT_EQ(motobj_attachment_count(o), 1);
    EXPECT_EQ(motobj_find_attachment(o, "box"), nullptr);
    obj_free(o);  // frees the rest with it
    EXPECT_FALSE(obj_is_live(b));
}

TEST_F(AnimDrawTest, ModelAttachmentsHangAtTheModel)
{
    const ResHandle cube = make_cube("cube", 0.5f);
    const Mat44 world = at(0, 0, 5);
    DrawObj* m = mdlobj_create(0, &world, 0, 81);
    DrawObj* a = mdlobj_attach_model(m, "part", cube, nullptr);
    attobj_set_lighting(a, 0);
    Render();
    EXPECT_GT(Luma(Pixel(OBJ3D_FIXTURE_W / 2, OBJ3D_FIXTURE_H / 2)), 60);
    EXPECT_EQ(attobj_work(a)->world.m[14], 5.0f);
    mdlobj_show_attachment(m, "part", 0);
    Render();
    EXPECT_LT(Luma(Pixel(OBJ3D_FIXTURE_W / 2, OBJ3D_FIXTURE_H / 2)), 20);
    mdlobj_detach(m, "part");
    EXPECT_EQ(mdlobj_attachment_count(m), 0);
}

TEST_F(AnimDrawTest, MeshListNodesDrawWithTheirOwnFlags)
{
    make_cube("left", 0.5f, 0, false, 0, {-1.5f, 0, 6});
    make_cube("right", 0.5f, 0, false, 0, {1.5f, 0, 6});
    const uint32_t on = obj3d_dp_put(draw_param_init(0), OBJ3D_DP_LIGHTING_BIT, 1, 0);
    const uint32_t off = on & ~MESHOBJ_NODE_ENABLED;
    res_mlist_begin();
    res_mlist_add("test", "left", &on);
    res_mlist_add("test", "right", &off);
    ResMeshListNode* list = nullptr;
    ASSERT_TRUE(res_mlist_end(&list));
    DrawObj* o = meshobj_create(0, list, 81);
    ASSERT_NE(o, nullptr);
    // Its world matrix never moves the drawn nodes.
    *meshobj_matrix(o) = at(50, 0, 0);
    Render();
    EXPECT_GT(LitIn(10, 20, 24, 28), 10);
    EXPECT_EQ(LitIn(40, 20, 54, 28), 0);
    // A list has one owner.
    DrawObj* other = meshobj_create(0, nullptr, 81);
    EXPECT_EQ(meshobj_set_model(other, list), 0);
    obj_free(other);
    obj_free(o);
}

void emit(DrawObj* o, uint32_t n)
{
    plist3d_begin(o, PLIST3D_TRIANGLES, 0);
    for (uint32_t i = 0; i < n; ++i) plist3d_vertex3f(o, float(i % 3) * 0.01f, 0, 5);
    plist3d_end(o);
}

TEST_F(AnimDrawTest, PrimitiveListBatchBoundaries)
{
    const struct {
        uint32_t vertices, batches, prims;
    } cases[] = {{0, 0, 0}, {2, 0, 0}, {16383, 1, 5461}, {16386, 2, 5462}};
    for (const auto& c : cases) {
        DrawObj* o = plist3d_create_1f(0, nullptr, 81);
        plist3d_set_draw_cb(
            o, [](DrawObj* d, uint32_t n) { emit(d, n); }, c.vertices);
        obj3d_reset();
        Render();
        EXPECT_EQ(obj3d_get_prim_batches(), c.batches) << c.vertices;
        EXPECT_EQ(obj3d_get_prim_count(), c.prims) << c.vertices;
        EXPECT_EQ(obj3d_get_prim_blocks(), 1u) << c.vertices;
    }
    // An unknown kind draws nothing and writes nothing.
    DrawObj* o = plist3d_create_1f(0, nullptr, 81);
    plist3d_set_draw_cb(
        o,
        [](DrawObj* d, uint32_t) {
            plist3d_begin(d, 7, 0);
            plist3d_vertex3f(d, 0, 0, 5);
            EXPECT_EQ(plist3d_draw_up(d, 9, 0, nullptr, 3), 0);
            plist3d_end(d);
        },
        0);
    obj3d_reset();
    Render();
    EXPECT_EQ(obj3d_get_prim_count(), 0u);
}

TEST_F(AnimDrawTest, LinesBatchByStateAndTrianglesDrawFarthestFirst)
{
    const Vec3 a = {-1, 0, 5}, b = {1, 0, 5};
    for (int i = 0; i < 4097; ++i) prim3d_line_create_1f(0, &a, 0xFFFFFFFF, &b, 0xFFFFFFFF);
    uint64_t before = prim3d_batch_count();
    Render();
    EXPECT_EQ(prim3d_batch_count() - before, 2u);
    EXPECT_GT(Luma(Pixel(OBJ3D_FIXTURE_W / 2, OBJ3D_FIXTURE_H / 2)), 60);
    for (int i = 0; i < 3; ++i)
        prim3d_line_set_blend(prim3d_line_create_1f(0, &a, ~0u, &b, ~0u), i % 2 ? 2 : 1);
    before = prim3d_batch_count();
    Render();
    EXPECT_EQ(prim3d_batch_count() - before, 3u);

    const Vec3 n0 = {-1, -1, 4}, n1 = {1, -1, 4}, n2 = {0, 1, 4};
    const Vec3 f0 = {-1, -1, 8}, f1 = {1, -1, 8}, f2 = {0, 1, 8};
    DrawObj* near_tri = prim3d_tri_create_1f(0, &n0, 0xFF00FF00, &n1, 0xFF00FF00, &n2, 0xFF00FF00);
    DrawObj* far_tri = prim3d_tri_create_1f(0, &f0, 0xFFFF0000, &f1, 0xFFFF0000, &f2, 0xFFFF0000);
    Render();
    ASSERT_EQ(obj3d_sort_count() >= 2, true);
    EXPECT_EQ(obj3d_sort_array()[0], far_tri);
    EXPECT_EQ(obj3d_sort_array()[1], near_tri);
    EXPECT_EQ(Pixel(OBJ3D_FIXTURE_W / 2, OBJ3D_FIXTURE_H / 2) & 0x00FFFFFFu,
              0x0000FF00u);  // the near one on top
}

TEST_F(AnimDrawTest, MotionObjectRefusesWhatItCannotHold)
{
    std::vector<MotionPlayer*> taken;
    while (MotionPlayer* p = motion_player_alloc()) taken.push_back(p);
    EXPECT_EQ(motobj_create(0, nullptr, mesh, 81), nullptr);  // no player left
    EXPECT_EQ(obj_live_count(), 0);
    for (MotionPlayer* p : taken) motion_player_free(p);
    DrawObj* o = motobj_create(0, nullptr, mesh, 81);
    EXPECT_EQ(motobj_get_start(o), 2);  // a new motion object plays from frame 2
    motobj_set_frame(o, 7);             // no motion: no last frame to clamp to
    EXPECT_EQ(motobj_get_frame(o), 0);
    EXPECT_FALSE(motobj_is_playing(o));
    motobj_set_lods(o, 70000, 0.0f, 0, 0.0f);  // beyond 16 bits
    EXPECT_EQ(motobj_get_model(o), 0u);
    motobj_set_motion(o, bones, walk);
    motobj_set_frame(o, 99);
    EXPECT_EQ(motobj_get_frame(o), 19);
}

TEST_F(AnimDrawTest, SkeletonLinesFollowThePose)
{
    const Mat44 world = at(0, 0, 6);
    DrawObj* o = motobj_create(0, &world, mesh, 81);
    motobj_set_motion(o, bones, wave);
    motobj_update(o, 9);
    const int before = obj_live_count();
    // Eleven nodes with three axes each and ten links to a parent.
    EXPECT_EQ(motobj_draw_skeleton(o, 0, 1), 43);
    EXPECT_EQ(obj_live_count() - before, 43);
    // Posed, the hand's axes start where the hand bone is.
    const Vec3 hand = pos(motobj_bone_world_by_name(o, "hand_L", 0)->world);
    int at_hand = 0;
    std::pair<Vec3, int*> want(hand, &at_hand);
    obj_for_each(
        [](DrawObj* l, void* arg) {
            auto* want = static_cast<std::pair<Vec3, int*>*>(arg);
            if (l->type != prim3d_line_type()) return;
            const Line3dObj* w = obj_work<Line3dObj>(l);
            *want->second += dist(w->p[0], want->first) < 1e-4f;
        },
        &want);
    EXPECT_EQ(at_hand, 3);
    Render();
    EXPECT_EQ(obj_live_count(), before);  // one frame only
    EXPECT_EQ(res_bone_debug_draw(0, 0, nullptr, 0, nullptr), 0);
}

TEST_F(AnimDrawTest, LightDiscsAndTheBoundsBox)
{
    plight_set_debug(1);
    const Vec3 p = {0, 0, 5};
    plight_create(0, &p, 1.0f, 0xFF00FF00, 1.0f);
    plight_create(0, &p, 2.0f, 0xFFFF0000, 1.0f);
    const int before = obj_live_count();
    plight_debug_draw();
    EXPECT_EQ(obj_live_count() - before, 2);
    obj3d_reset();
    Render();
    EXPECT_EQ(obj3d_get_prim_count(), 10u);  // five triangles a disc
    plight_set_debug(0);

    // A motion object in pass A counts toward the visible bounds.
    const Mat44 world = at(0, 0, 6);
    DrawObj* o = motobj_create(0, &world, mesh, 81);
    motobj_set_pass_a(o, 1);
    motobj_set_motion(o, bones, wave);
    Render();
    Vec3 lo, hi;
    EXPECT_EQ(obj3d_visible_bounds(&lo, &hi, cam_get_xform_set(0)), 1);
    EXPECT_NEAR(hi.x, 2.8f, 1e-3f);
    EXPECT_NEAR(lo.z, 5.85f, 1e-3f);
    const Box3 box = {lo, hi};
    obj3d_debug_box(0, &box, 0x60FF0000);
    obj3d_reset();
    Render();
    EXPECT_EQ(obj3d_get_prim_count(), 12u);
}

class AnimFaultTest : public AnimScene {};

TEST_F(AnimFaultTest, StaleMatricesAndBadArgumentsAreRefused)
{
    // A new skeleton moves the bone works: the hand attachment is hung again.
    DrawObj* o = motobj_create(0, nullptr, mesh, 81);
    motobj_set_motion(o, bones, wave);
    DrawObj* a = motobj_attach_model(o, "box", make_cube("cube", 0.2f), "hand_L");
    const ResHandle other =
        res_bone_register("chr2", "root", qvw::bone_chunk(qvw::sample_character_bones()));
    motobj_set_motion(o, other, wave);
    EXPECT_EQ(attobj_work(a)->parent, &motobj_bone_world_by_name(o, "hand_L", 0)->world);
    // An attachment with neither owner nor parent draws at the origin.
    DrawObj* lone = attobj_create(0, nullptr, make_cube("lone", 0.5f), 81);
    attobj_work(lone)->world = at(9, 9, 9);
    Render();
    EXPECT_EQ(std::memcmp(&attobj_work(lone)->world, &VM_MAT_IDENTITY, sizeof(Mat44)), 0);
    // A channel out of range samples as identity.
    Mat44 m = at(9, 9, 9);
    anim_sample(motobj_get_player(o), &m, 0, 0, 0, 200);
    EXPECT_EQ(m.m[12], 0.0f);
    // Quad indices past the caller's vertices are refused.
    DrawObj* pl = plist3d_create_1f(0, nullptr, 81);
    Plist3dVertex v[4] = {};
    EXPECT_EQ(plist3d_draw_indexed_up(pl, 0, 0, v, 4, nullptr, 12), 0);
    EXPECT_EQ(plist3d_draw_indexed_up(pl, 0, 0, v, 4, nullptr, 6 * 4097), 0);
    // Without frustum culling the lights are still chosen around the current centre.
    const Mat44 w = at(1, 2, 5);
    DrawObj* lit = plist3d_create(0, &w, 81);
    plist3d_set_draw_cb(
        lit, [](DrawObj*, uint32_t) {}, 0);
    Render();
    EXPECT_EQ(plist3d_work(lit)->world_centre.y, 2.0f);
}

}  // namespace
