// 2D lines, triangles and primitive lists on the offscreen device.
#include "obj2d/line2d_local.h"
#include "obj2d/prim2d.h"
#include "obj2d_fixture.h"

namespace {

using Draw2d = Obj2dDevice;

TEST(Line2dQuad, HorizontalAndZeroLengthLines)
{
    Line2dWork l = {{0, 0, 0}, {10, 0, 0}, 0xFFFFFFFFu, 0xFFFFFFFFu, 2.0f, 1};
    TexVertexA v[4];
    line2d_quad(&l, v);
    const float want[4][2] = {{0, 1}, {0, -1}, {10, 1}, {10, -1}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(v[k].x, want[k][0], 1e-6f) << k;
        EXPECT_NEAR(v[k].y, want[k][1], 1e-6f) << k;
    }
    l.b = l.a;  // atan2(0, 0) is 0: still a quad
    line2d_quad(&l, v);
    EXPECT_EQ(std::pair(v[0].y, v[1].y), std::pair(1.0f, -1.0f));
}

TEST_F(Draw2d, LineDrawsItsWidthInItsColoursAndLinesSplitByBlendAndBatchSize)
{
    // Width 3 about y = 20: rows 19 to 21, with no pixel centre on an edge.
    line2d_create_1f(1, {4, 20}, 0xFF00FF00u, {40, 20}, 0xFF0000FFu, 30, 3);
    for (int i = 0; i < 4096; ++i)
        line2d_create_1f(1, {0, 0}, 0xFFFFFFFFu, {5, 5}, 0xFFFFFFFFu, 30, 1);
    EXPECT_EQ(FrameCalls(), 2u);
    for (int y = 19; y <= 21; ++y) EXPECT_TRUE(Near(Pixel(5, y), 0xFF00FF00u, 12)) << y;
    EXPECT_TRUE(Near(Pixel(39, 20), 0xFF0000FFu, 12));
    ExpectPixels(0xFF000000u, {{20, 17}, {20, 23}, {42, 20}});
    for (int i = 0; i < 4; ++i) {
        DrawObj* o = line2d_create_1f(1, {0, 0}, 0xFFFFFFFFu, {5, 5}, 0xFFFFFFFFu, 30, 1);
        line2d_set_blend(o, i % 2 ? 0 : 2);
    }
    EXPECT_EQ(FrameCalls(), 4u);
    ExpectBlendCacheTrue();
}

TEST_F(Draw2d, BlendChangedByLinesDoesNotLeakIntoTheNextSprite)
{
    // An additive line, then a half-transparent red sprite over white: with a
    // stale cache the sprite would also draw additively.
    DrawObj* l = line2d_create_1f(1, {0, 40}, 0xFFFFFFFFu, {5, 40}, 0xFFFFFFFFu, 60, 1);
    line2d_set_blend(l, 2);
    spr_create_plain_1f(1, 0x80FF0000u, 0, 0, 8, 8, 0, 0, 1, 1, 50);
    DrawFrame(0xFFFFFFFFu);
    EXPECT_TRUE(Near(Pixel(2, 2) | 0xFF000000u, 0xFFFF7F7Fu, 3)) << std::hex << Pixel(2, 2);
    ExpectBlendCacheTrue();
}

TEST_F(Draw2d, TrianglesFillAndSplitOnTextureChanges)
{
    tri2d_create_1f(1, {2, 2}, 0xFFFF0000u, {30, 2}, 0xFFFF0000u, {2, 30}, 0xFFFF0000u, 40);
    EXPECT_EQ(FrameCalls(), 1u);
    EXPECT_TRUE(Near(Pixel(8, 8), 0xFFFF0000u));
    EXPECT_EQ(Pixel(28, 28), 0xFF000000u);
    ResHandle a = MakeTex("a", 1, 1, {0xFF0000FFu});
    ResHandle b = MakeTex("b", 1, 1, {0xFF00FF00u});
    for (int i = 0; i < 3; ++i) {
        DrawObj* t = tri2d_create_1f(1, {40, 2}, 0xFFFFFFFFu, {60, 2}, 0xFFFFFFFFu, {40, 20},
                                     0xFFFFFFFFu, 40);
        tri2d_set_tex(t, i == 1 ? a : b);
    }
    EXPECT_EQ(FrameCalls(), 3u);
    EXPECT_TRUE(Near(Pixel(44, 5), 0xFF00FF00u));  // the last drawn (oldest) is b
}

int g_tris = 0;
void emit_tris(DrawObj* o, void*)
{
    prim2d_begin(o, PRIM2D_TRIANGLES, 0, 0);
    for (int i = 0; i < g_tris; ++i) {
        prim2d_vertex_colour(o, 0xFF0000FFu);
        prim2d_vertex(o, 0, 0);
        prim2d_vertex(o, 10, 0);
        prim2d_vertex(o, 0, 10);
    }
    prim2d_flush(o);
}
void misuse(DrawObj* o, void*)
{
    prim2d_vertex(o, 1, 1);  // no batch open
    prim2d_vertex_uv(o, 1, 1, 7);
    prim2d_begin(o, 9, 0, 0);  // no such kind
    prim2d_vertex(o, 1, 1);
    prim2d_flush(o);
}

TEST_F(Draw2d, PrimitiveListPlacesAndFlushesByItselfAndCallsOutsideABatchDoNothing)
{
    g_tris = 1;
    DrawObj* o = prim2d_create_1f(1, 20, 20, emit_tris, nullptr, 40);
    prim2d_set_scale(o, 2, 2);
    DrawFrame();
    EXPECT_TRUE(Near(Pixel(22, 22), 0xFF0000FFu));
    EXPECT_TRUE(Near(Pixel(37, 20), 0xFF0000FFu));
    EXPECT_EQ(Pixel(19, 19), 0xFF000000u);
    g_tris = 5462;  // one more than a batch holds
    prim2d_create_1f(1, 0, 0, emit_tris, nullptr, 40);
    EXPECT_EQ(FrameCalls(), 2u);
    prim2d_create_1f(1, 0, 0, misuse, nullptr, 40);
    EXPECT_EQ(FrameCalls(), 0u);
}

}  // namespace
