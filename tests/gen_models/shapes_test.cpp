// The patch models as geometry, their mesh builders and the icon atlas.
#include "gm_test_util.h"

#include "tools/gen_models/gm_mesh.h"
#include "tools/gen_models/gm_models.h"

#include <array>
#include <cmath>

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
        gm::mesh_extrude(gm::outline_circle(0, 0, 1, 32), e),
        gm::mesh_sphere(1, 16, 8),
        gm::mesh_torus(1, 0.2f, 24, 8),
        gm::mesh_tube({{0, 0, 0}, {0.5f, 0.3f, 0}, {1, 0, 0.2f}}, 0.1f, 8),
        gm::mesh_box(1, 0.5f, 0.3f, 0.1f),
        gm::mesh_revolve({{0, 1}, {0.5f, 1}, {0.5f, -1}, {0, -1}}, 12),
    };
    for (size_t i = 0; i < solids.size(); i++) {
        gm::Mesh m = solids[i];
        const float v = gm::mesh_signed_volume(m);
        EXPECT_GT(v, 0) << "solid " << i;
        // Turning into the model frame is a rotation: volume and winding stay.
        for (void (*step)(gm::Mesh&) : {gm::mesh_to_model_space, gm::mesh_flatten}) {
            step(m);
            EXPECT_NEAR(gm::mesh_signed_volume(m), v, std::fabs(v) * 1e-4f) << "solid " << i;
        }
    }
    // A unit cylinder of revolution: pi r^2 h within the facets' loss.
    EXPECT_NEAR(gm::mesh_signed_volume(solids[6]), 3.14159f * 0.25f * 2 * 0.955f, 0.03f);
}

TEST(MeshBuilders, TriangulationCoversConcaveOutlines)
{
    for (const gm::Outline& raw :
         {gm::outline_star(5, 1, 0.4f, 0.3f), gm::outline_star(12, 1, 0.8f, 0),
          gm::outline_circle_union({{-0.4f, 0, 0.5f}, {0.4f, 0.1f, 0.5f}}, 64)}) {
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
