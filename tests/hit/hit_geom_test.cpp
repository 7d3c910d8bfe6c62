// The set tests against brute force over every triangle, their edge cases,
// and hostile collision data.
#include <cmath>
#include <random>

#include "hit/hit_geom_local.h"
#include "hit_fixture.h"

namespace {

std::vector<const HitTri*> all_tris(const CollGeom& g)
{
    std::vector<const HitTri*> v;
    for (const HitTri& t : g.tris) v.push_back(&t);
    for (const HitShared& s : g.shared) v.push_back(&s.tri);
    return v;
}

float brute_segment(const CollGeom& g, const Vec3& o, const Vec3& d)
{
    float best = 999.9f, t;
    for (const HitTri* tri : all_tris(g))
        if (tri->normal.x || tri->normal.y || tri->normal.z)
            if (hit_tri_segment(*tri, o, d, &t) && t < best) best = t;
    return best;
}

float brute_sphere(const CollGeom& g, const Vec3& c, float r)
{
    float best = 1e12f, w;
    Vec3 p;
    for (const HitTri* tri : all_tris(g))
        if ((tri->normal.x || tri->normal.y || tri->normal.z) && hit_tri_sphere(*tri, c, r, &p, &w))
            best = std::fmin(best, vm_vec3_dist_sq(&p, &c));
    return best;
}

struct Model {
    const char* name;
    qvw::CollDesc desc;
};

class HitGeomTest : public HitTest {};

// Thousands of random segments, ground probes and spheres per model, with
// and without a rotated, scaled, moved world matrix.
TEST_F(HitGeomTest, HierarchyFindsWhatBruteForceFinds)
{
    const Model models[] = {{"ground", qvw::sample_coll_ground()},
                            {"ramp", qvw::sample_coll_ramp()},
                            {"room", qvw::sample_coll_room()},
                            {"terrain", qvw::sample_coll_terrain(64)}};
    Mat44 rot;
    vm_mat_from_pos_angles_f(&rot, 3, -2, 7, 0.3f, 1.1f, -0.4f);
    const Vec3 two = {2, 2, 2};
    vm_mat_scale(&rot, &rot, &two);
    std::mt19937 rng(7);
    for (const Model& m : models) {
        const CollGeom& g = geom(coll(m.desc));
        std::uniform_real_distribution<float> u(0, 1);
        auto in_box = [&](float widen) {
            Vec3 p;
            float* f = &p.x;
            const float *lo = &g.box_min.x, *hi = &g.box_max.x;
            for (int k = 0; k < 3; k++) f[k] = lo[k] - widen + (hi[k] - lo[k] + 2 * widen) * u(rng);
            return p;
        };
        int hits = 0, ground_hits = 0, sphere_hits = 0;
        for (int i = 0; i < 3000; i++) {
            const Mat44* world = i % 2 ? &rot : nullptr;
            const Vec3 a = in_box(2), b = in_box(2);
            const Vec3 d = {b.x - a.x, b.y - a.y, b.z - a.z};
            Vec3 wa = a, wd = d;  // the query in world space
            if (world)
                vm_mat_transform_point(&wa, world, &a), vm_mat_transform_vector(&wd, world, &d);
            HitGeomHit h;
            const float want = brute_segment(g, a, d);
            const int got = hit_coll_ray(g, world, &wa, &wd, &h);
            ASSERT_EQ(got, int(want < 2)) << m.name << " ray " << i;
            if (got) {
                ASSERT_NEAR(h.t, want, 1e-5) << m.name << " ray " << i;
                HitGeomHit s;
                ASSERT_TRUE(hit_coll_sweep(g, world, &wa, &wd, &s));
                ASSERT_EQ(s.t, h.t);
                hits++;
            }

            Vec3 p = in_box(0);
            p.y = g.box_max.y + 1;
            const Vec3 down = {0, -HIT_GROUND_DEPTH, 0};
            const float gwant = brute_segment(g, p, down);
            ASSERT_EQ(hit_coll_ground(g, nullptr, &p, &h), int(gwant < 2)) << m.name << " " << i;
            if (gwant < 2) {
                ASSERT_NEAR(h.t, gwant, 1e-5) << m.name << " ground " << i;
                ground_hits++;
            }

            const float r = 0.1f + 2 * u(rng), swant = brute_sphere(g, a, r);
            const int sgot = hit_coll_sphere(g, world, &wa, nullptr, world ? r * 2 : r, &h);
            if (world) continue;  // the radius is not scaled: only the unscaled case compares
            ASSERT_EQ(sgot, int(swant < 1e12f)) << m.name << " sphere " << i;
            if (sgot) {
                ASSERT_NEAR(vm_vec3_dist_sq(&h.point, &a), swant, 1e-3) << m.name << " " << i;
                sphere_hits++;
            }
        }
        EXPECT_GT(hits, 300) << m.name;
        EXPECT_GT(ground_hits, 1000) << m.name;
        EXPECT_GT(sphere_hits, 100) << m.name;
    }
}

TEST_F(HitGeomTest, RayGroundAndSphereEdgeCases)
{
    const CollGeom& g = geom(coll(qvw::sample_coll_ground()));
    struct Case {
        Vec3 o, d;
        int hit;
        float t;
    } cases[] = {
        {{0.3f, 1, 0.3f}, {0, -1, 0}, 1, 1.0f},  // ends exactly on the floor
        {{0.3f, -1, 0.3f}, {0, 2, 0}, 0, 0},     // against the back face
        {{-20, 0, 0.3f}, {40, 0, 0}, 0, 0},      // parallel, in the plane
        {{0.3f, 1, 0.3f}, {0, 0, 0}, 0, 0},      // zero length
        {{-20, 4, 1}, {40, -8, 0}, 1, 0.5f},     // a long slanted segment
    };
    for (const Case& c : cases) {
        HitGeomHit h{};
        ASSERT_EQ(hit_coll_ray(g, nullptr, &c.o, &c.d, &h), c.hit) << c.o.x << " " << c.d.y;
        if (c.hit) {
            EXPECT_FLOAT_EQ(h.t, c.t);
            EXPECT_FLOAT_EQ(h.normal.y, 1.0f);
        }
    }
    Mat44 flat;  // a singular world matrix gives no hit
    vm_mat_identity(&flat);
    flat.m[5] = 0;
    HitGeomHit h;
    EXPECT_EQ(hit_coll_ray(g, &flat, &cases[4].o, &cases[4].d, &h), 0);

    const CollGeom& ramp = geom(coll(qvw::sample_coll_ramp()));
    const Vec3 beyond = {21, 10, 0};  // past the ramp's top edge x = 20, y = 10
    ASSERT_EQ(hit_coll_sphere(ramp, nullptr, &beyond, nullptr, 1.5f, &h), 1);
    EXPECT_NEAR(h.point.x, 20, 1e-4);
    EXPECT_NEAR(h.point.y, 10, 1e-4);
    EXPECT_NEAR(h.t, 0.75f, 1e-3);   // the weight 1.5 cos(pi/3) of a contact 1 from the centre
    const Vec3 on_face = {4, 2, 0};  // radius 0 on the surface: a contact of weight 0
    ASSERT_EQ(hit_coll_sphere(ramp, nullptr, &on_face, nullptr, 0.0f, &h), 1);
    EXPECT_NEAR(h.t, 0.0f, 1e-6);  // never NaN

    const Vec3 on_edge = {-7.5f, 3, -7.5f};  // on the line between a quad's two triangles
    ASSERT_EQ(hit_coll_ground(g, nullptr, &on_edge, &h), 1);
    EXPECT_NEAR(on_edge.y - HIT_GROUND_DEPTH * h.t, 0.0f, 1e-4);
    const Vec3 outside = {12, 3, 0}, nan_point = {NAN, 3, 0}, far = {1e30f, 3, 0};
    Mat44 moved;
    const Vec3 shift = {5, 0, 0};
    vm_mat_translation(&moved, &shift);
    EXPECT_EQ(hit_coll_ground(g, nullptr, &outside, &h), 0);
    EXPECT_EQ(hit_coll_ground(g, &moved, &outside, &h), 1);  // a moved set takes the general path
    EXPECT_EQ(hit_coll_ground(g, nullptr, &nan_point, &h), 0);
    EXPECT_EQ(hit_coll_ground(g, nullptr, &far, &h), 0);

    qvw::Bytes d = qvw::coll_chunk(qvw::sample_coll_ground());
    std::fill(d.begin() + 8, d.begin() + 12, 0);                // no divisions in x: no boxes
    std::fill(d.begin() + 84, d.begin() + 88, 0);               // no layers
    std::copy(d.begin() + 20, d.begin() + 24, d.begin() + 32);  // no extent in x
    CollGeom empty;
    ASSERT_TRUE(hit_geom_build(d, empty));
    const Vec3 corner = {-10, 3, 0};
    EXPECT_EQ(hit_coll_ground(empty, nullptr, &corner, &h), 0);

    qvw::CollDesc wall;  // no extent in z: the grid has one cell there
    wall.name = "wall";
    wall.div[0] = 2;
    wall.tris.push_back({{{{0, 0, 0}, {0, 2, 0}, {2, 0, 0}}}, 1});
    const CollGeom& w = geom(coll(wall));
    const Vec3 at = {1, 5, 0}, off = {1, 5, 0.5f};
    EXPECT_EQ(hit_coll_ground(w, nullptr, &at, &h), 0);  // a wall has no ground
    EXPECT_EQ(hit_coll_ground(w, nullptr, &off, &h), 0);
}

// Truncated and damaged sets are refused or answered without a read outside
// the chunk (ASan run).
TEST_F(HitGeomTest, HostileSetsNeverReadOutside)
{
    const qvw::Bytes good = qvw::coll_chunk(qvw::sample_coll_room());
    std::mt19937 rng(3);
    for (size_t cut = 0; cut + 8 < good.size(); cut += 7) {
        qvw::Bytes d(good.begin(), good.begin() + cut);
        CollGeom g;
        EXPECT_FALSE(hit_geom_build(d, g)) << cut;
    }
    for (int i = 0; i < 300; i++) {
        qvw::Bytes d = good;
        for (int k = 0; k < 4; k++) d[rng() % d.size()] = uint8_t(rng());
        CollGeom g;
        if (!hit_geom_build(d, g)) continue;
        HitGeomHit h;
        const Vec3 o = {0, 2, 0}, v = {4, -3, 2}, p = {1, 3, 1};
        hit_coll_ray(g, nullptr, &o, &v, &h);
        hit_coll_sweep(g, nullptr, &o, &v, &h);
        hit_coll_ground(g, nullptr, &p, &h);
        hit_coll_sphere(g, nullptr, &p, &v, 2.0f, &h);
    }
}

}  // namespace
