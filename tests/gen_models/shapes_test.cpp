// The patch models as geometry, their mesh builders and the icon atlas.
#include "gm_test_util.h"

#include "tools/gen_models/gm_mesh.h"
#include "tools/gen_models/gm_models.h"

#include <array>
#include <cmath>
#include <map>

namespace {

using gm::Vec3;

// Vertex i of a position or normal stream.
Vec3 at(const std::vector<float>& v, uint32_t i) { return {v[i * 3], v[i * 3 + 1], v[i * 3 + 2]}; }

uint32_t corner(const MeshSource& s, uint32_t c) { return s.indices.empty() ? c : s.indices[c]; }

}  // namespace

TEST(PatchShapes, FitThePaletteCell)
{
    for (const auto& m : gmt::decoded_models()) {
        float hx = 0, hy = 0;
        for (float v : m.src.positions) ASSERT_TRUE(std::isfinite(v)) << m.name;
        for (uint32_t i = 0; i < m.src.vertex_count; i++) {
            hx = std::max(hx, std::fabs(at(m.src.positions, i)[0]));
            hy = std::max(hy, std::fabs(at(m.src.positions, i)[1]));
        }
        // 30 pixels a unit: at most 54 of the cell's 62 pixels, centred.
        EXPECT_NEAR(std::max(hx, hy), gm::MODEL_HALF_EXTENT, 2e-3) << m.name;
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(m.src.box_min[k] + m.src.box_max[k], 0.0f, 2e-3) << m.name;
    }
}

TEST(PatchShapes, ClosedWithOutwardNormals)
{
    for (const auto& m : gmt::decoded_models()) {
        const MeshSource& s = m.src;
        double volume = 0, agree = 0, total = 0;
        for (uint32_t c = 0; c + 2 < s.index_count; c += 3) {
            Vec3 a = at(s.positions, corner(s, c)), b = at(s.positions, corner(s, c + 1)),
                 d = at(s.positions, corner(s, c + 2));
            Vec3 face = gm::v3_cross(gm::v3_sub(b, a), gm::v3_sub(d, a));
            volume += gm::v3_dot(a, gm::v3_cross(b, d)) / 6.0;
            Vec3 vn =
                gm::v3_add(gm::v3_add(at(s.normals, corner(s, c)), at(s.normals, corner(s, c + 1))),
                           at(s.normals, corner(s, c + 2)));
            double area = std::sqrt(gm::v3_dot(face, face));
            total += area;
            if (gm::v3_dot(face, vn) > 0) agree += area;
        }
        EXPECT_GT(volume, 0.0) << m.name << ": inside out";
        // Vertex normals follow the winding everywhere but on slivers.
        EXPECT_GT(agree / total, 0.999) << m.name;
        for (uint32_t i = 0; i < s.vertex_count; i++)
            EXPECT_NEAR(gm::v3_dot(at(s.normals, i), at(s.normals, i)), 1.0f, 1e-3) << m.name;
    }
}

TEST(PatchShapes, FrontFacesTheCameraInTheToolsView)
{
    // The tool: p' = p turned by pi about z, then x right and y down on screen,
    // depth growing with z; cull mode 1 drops triangles that look clockwise.
    for (const auto& m : gmt::decoded_models()) {
        const MeshSource& s = m.src;
        double kept_z = 0, kept_area = 0, culled_z = 0, culled_area = 0;
        for (uint32_t c = 0; c + 2 < s.index_count; c += 3) {
            Vec3 p[3];
            for (int k = 0; k < 3; k++) {
                Vec3 q = at(s.positions, corner(s, c + uint32_t(k)));
                p[k] = {-q[0], -q[1], q[2]};  // screen x, screen y (down), depth
            }
            float screen = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) -
                           (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
            float z = (p[0][2] + p[1][2] + p[2][2]) / 3;
            if (screen < 0)
                kept_z += z * -screen, kept_area += -screen;
            else
                culled_z += z * screen, culled_area += screen;
        }
        ASSERT_GT(kept_area, 0) << m.name;
        // What the camera sees is the near side: the kept triangles lie nearer.
        EXPECT_LT(kept_z / kept_area, culled_z / culled_area) << m.name;
    }
}

TEST(PatchShapes, ColouredModelsCarryTheirShadingTexturedOnesAreLit)
{
    int coloured = 0, textured = 0;
    for (const auto& m : gmt::decoded_models()) {
        if (!m.texture.empty()) {
            textured++;
            EXPECT_TRUE(m.src.colors.empty())
                << m.name << ": a textured model is left to the tool's light";
            continue;
        }
        coloured++;
        uint32_t lo = 255, hi = 0;  // baked light: the green channel spreads
        for (uint32_t c : m.src.colors)
            lo = std::min(lo, (c >> 8) & 0xFF), hi = std::max(hi, (c >> 8) & 0xFF);
        EXPECT_GT(hi, lo) << m.name;
    }
    EXPECT_GE(textured, 3);
    EXPECT_GE(coloured, 15);
}

TEST(MeshBuilders, SolidsAreClosedAndOutward)
{
    gm::ExtrudeOpts e;
    std::vector<gm::Mesh> solids = {
        gm::mesh_extrude(gm::outline_star(5, 1, 0.4f, 0), e),
        gm::mesh_extrude(gm::outline_circle(0, 0, 1), e),
        gm::mesh_sphere(1),
        gm::mesh_torus(1, 0.2f),
        gm::mesh_tube({{0, 0, 0}, {0.5f, 0.3f, 0}, {1, 0, 0.2f}}, 0.1f),
        gm::mesh_box(1, 0.5f, 0.3f, 0.1f),
        gm::mesh_revolve({{0, 1}, {0.5f, 1}, {0.5f, -1}, {0, -1}}, 12),
    };
    for (size_t i = 0; i < solids.size(); i++) {
        gm::Mesh m = solids[i];
        const float v = gm::mesh_signed_volume(m);
        EXPECT_GT(v, 0) << "solid " << i;
        // Without gaps: every edge, by position, is walked once each way.
        auto key = [&](uint32_t k) {
            Vec3 p = m.verts[k].pos;
            return std::array{std::lround(p[0] * 1e5f), std::lround(p[1] * 1e5f),
                              std::lround(p[2] * 1e5f)};
        };
        std::map<std::pair<std::array<long, 3>, std::array<long, 3>>, int> edges;
        for (size_t t = 0; t < m.tris.size(); t += 3)
            for (size_t k = 0; k < 3; k++)
                edges[{key(m.tris[t + k]), key(m.tris[t + (k + 1) % 3])}]++;
        for (const auto& [edge, count] : edges) {
            ASSERT_EQ(count, 1) << "solid " << i;
            ASSERT_EQ(edges.count({edge.second, edge.first}), 1u) << "solid " << i;
        }
        // Turning into the model frame is a rotation: volume and winding stay.
        for (void (*step)(gm::Mesh&) : {gm::mesh_to_model_space, gm::mesh_flatten}) {
            step(m);
            EXPECT_NEAR(gm::mesh_signed_volume(m), v, std::fabs(v) * 1e-4f) << "solid " << i;
        }
    }
    // A unit cylinder of revolution: pi r^2 h within the facets' loss.
    EXPECT_NEAR(gm::mesh_signed_volume(solids[6]), 3.14159f * 0.25f * 2 * 0.955f, 0.03f);
}

// The chord error of n even segments of an arc drawn at four times the tool's size, in pixels.
float chord_px(float radius, float angle, int n)
{
    return radius * (1 - std::cos(angle / float(n) / 2)) * gm::TESS_PIXELS_PER_UNIT;
}

TEST(Tessellation, ArcsAndCurvesAreCutWithinHalfAPixelWhereTheyBendAndNoFiner)
{
    struct Case {
        float radius, angle, fit_scale;
    };
    const float pi = 3.14159265f;
    for (Case c : {Case{1, 2 * pi, 1}, Case{1, 2 * pi, 0.8f}, Case{0.06f, pi / 2, 0.9f},
                   Case{0.3f, 1, 1.05f}, Case{0.002f, 2 * pi, 1}}) {
        gm::tess_set_fit_scale(c.fit_scale);
        const int n = gm::arc_segments(c.radius, c.angle);
        const float drawn = c.radius * c.fit_scale;
        EXPECT_LE(chord_px(drawn, c.angle, n), gm::TESS_CHORD_PX) << c.radius;
        if (n > 1 && c.angle / float(n - 1) <= 2 * pi / 3) {
            EXPECT_GT(chord_px(drawn, c.angle, n - 1), gm::TESS_CHORD_PX) << c.radius;
        } else {
            EXPECT_EQ(n, int(std::ceil(c.angle / (2 * pi / 3)))) << "a third of a circle at most";
        }
    }
    gm::tess_set_fit_scale(1);
    const float tol = gm::tess_tolerance(), r = 0.8f;
    auto circle = [&](float t) { return gm::Vec2{r * std::cos(t), r * std::sin(t)}; };
    const std::vector<gm::Vec2> round = gm::curve_points(circle, 0, 2 * pi);
    EXPECT_EQ(std::pair(round.front(), round.back()), std::pair(circle(0), circle(2 * pi)));
    for (size_t i = 0; i + 1 < round.size(); i++) {
        float half = std::hypot(round[i + 1][0] - round[i][0], round[i + 1][1] - round[i][1]) / 2;
        EXPECT_LE(r - std::sqrt(r * r - half * half), tol * 1.01f) << i;
    }
    EXPECT_LE(round.size(), size_t(gm::arc_segments(r)) * 3 / 2 + 1);
    // At a kink the cutting stops at chords a pixel long, next to the corner.
    auto vee = [](float t) { return gm::Vec2{t, std::fabs(t)}; };
    const std::vector<gm::Vec2> kink = gm::curve_points(vee, -1, 1.1f);
    EXPECT_LT(kink.size(), 40u);
    float nearest = 1;
    for (gm::Vec2 p : kink) nearest = std::min(nearest, std::hypot(p[0], p[1]));
    EXPECT_LT(nearest, 2 * tol);
    // A spline through points of a half circle runs through them (each lies on
    // a chord, within the tolerance) and close to the circle between them.
    std::vector<gm::Vec2> through;
    for (int i = 0; i <= 6; i++) through.push_back(circle(pi * float(i) / 6));
    const std::vector<gm::Vec2> spline = gm::curve_spline(through);
    EXPECT_EQ(std::pair(spline.front(), spline.back()), std::pair(through.front(), through.back()));
    for (gm::Vec2 p : spline) EXPECT_NEAR(std::hypot(p[0], p[1]), r, r * 0.03f);
    for (gm::Vec2 q : through) {
        float off = 1;
        for (size_t i = 0; i + 1 < spline.size(); i++) {
            Vec3 a = {spline[i][0], spline[i][1], 0}, b = {spline[i + 1][0], spline[i + 1][1], 0};
            Vec3 ab = gm::v3_sub(b, a), aq = gm::v3_sub({q[0], q[1], 0}, a);
            float u = std::clamp(gm::v3_dot(aq, ab) / gm::v3_dot(ab, ab), 0.0f, 1.0f);
            Vec3 d = gm::v3_sub(aq, gm::v3_scale(ab, u));
            off = std::min(off, std::sqrt(gm::v3_dot(d, d)));
        }
        EXPECT_LE(off, tol) << q[0];
    }
}

TEST(Tessellation, TheCoinsRimIsTessellatedForItsDrawnSize)
{
    const auto& models = gmt::decoded_models();
    auto coin = std::find_if(models.begin(), models.end(),
                             [](const auto& m) { return m.name == "coin_NRM"; });
    ASSERT_NE(coin, models.end());
    const MeshSource& s = coin->src;
    // The caps' normal is the one most vertices share: the coin's axis. The
    // rim's wall has two rings of normals square to it.
    std::map<std::array<long, 3>, int> normals;
    for (uint32_t i = 0; i < s.vertex_count; i++) {
        Vec3 n = at(s.normals, i);
        normals[{std::lround(n[0] * 1e3f), std::lround(n[1] * 1e3f), std::lround(n[2] * 1e3f)}]++;
    }
    const auto axis = std::max_element(normals.begin(), normals.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first;
    int wall = 0;
    for (uint32_t i = 0; i < s.vertex_count; i++)
        wall += std::fabs(gm::v3_dot(at(s.normals, i),
                                     {axis[0] * 1e-3f, axis[1] * 1e-3f, axis[2] * 1e-3f})) < 1e-2f;
    const int n = wall / 2;
    EXPECT_LE(chord_px(gm::MODEL_HALF_EXTENT, 2 * 3.14159265f, n), gm::TESS_CHORD_PX);
    EXPECT_GT(chord_px(gm::MODEL_HALF_EXTENT, 2 * 3.14159265f, n - 1), gm::TESS_CHORD_PX);
}

TEST(MeshBuilders, TriangulationCoversConcaveOutlines)
{
    for (const gm::Outline& raw :
         {gm::outline_star(5, 1, 0.4f, 0.3f), gm::outline_star(12, 1, 0.8f, 0),
          gm::outline_circle_union({{-0.4f, 0, 0.5f}, {0.4f, 0.1f, 0.5f}})}) {
        gm::Outline o = gm::outline_clean(raw);
        std::vector<uint32_t> t = gm::triangulate(o);
        ASSERT_EQ(t.size(), (o.size() - 2) * 3);
        float sum = 0;
        for (size_t i = 0; i < t.size(); i += 3) {
            gm::Vec2 a = o[t[i]], b = o[t[i + 1]], c = o[t[i + 2]];
            float area = 0.5f * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
            EXPECT_GT(area, 0);
            sum += area;
        }
        EXPECT_NEAR(sum, gm::outline_area(o), 1e-4f);
    }
    // A clockwise outline comes back counter-clockwise.
    gm::Outline cw = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    EXPECT_GT(gm::outline_area(gm::outline_clean(cw)), 0);
}

TEST(IconAtlas, EveryCropInsideWithAClearBorderAndAPicture)
{
    gm::Canvas atlas = gm::icon_atlas();
    ASSERT_EQ((std::array{atlas.w, atlas.h}), (std::array{gm::ICON_ATLAS_W, gm::ICON_ATLAS_H}));
    const auto& crops = gm::icon_crops();
    for (size_t i = 0; i < crops.size(); i++) {
        const gm::IconCrop& c = crops[i];
        ASSERT_LE(c.x + c.w, atlas.w) << c.name;
        ASSERT_LE(c.y + c.h, atlas.h) << c.name;
        for (size_t j = 0; j < i; j++) {
            const gm::IconCrop& o = crops[j];
            EXPECT_TRUE(c.x >= o.x + o.w || o.x >= c.x + c.w || c.y >= o.y + o.h ||
                        o.y >= c.y + c.h)
                << c.name << " overlaps " << o.name;
        }
        int opaque = 0, border_alpha = 0;
        for (int y = c.y; y < c.y + c.h; y++)
            for (int x = c.x; x < c.x + c.w; x++) {
                uint32_t a = atlas.px[size_t(y) * size_t(atlas.w) + size_t(x)] >> 24;
                bool border = x == c.x || y == c.y || x == c.x + c.w - 1 || y == c.y + c.h - 1;
                if (border)
                    border_alpha += int(a);
                else if (a == 255)
                    opaque++;
            }
        // Filtering at the crop's edge never pulls in a neighbour.
        EXPECT_EQ(border_alpha, 0) << c.name;
        EXPECT_GT(opaque, c.w * c.h / 10) << c.name;
    }
}
