// Hit checks: rays through the layered set against the loop over every triangle (1k, 10k and
// 100k triangles), sphere queries, the ray pass with 128 rays over 1,000 targets, and the
// hit-sphere and volume passes.
#include <random>

#include "bench/bench_util.h"
#include "hit/balls_hit.h"
#include "hit/hit.h"
#include "hit/hit_geom_local.h"
#include "hit/hitcyl.h"
#include "math/vm_mat.h"
#include "res/res.h"
#include "res/res_env.h"
#include "tools/qv_samples.h"

struct Seg {
    Vec3 o, v;
};

// The resource manager with room for the largest set, and the hit pools.
void boot()
{
    [[maybe_unused]] static const bool once = [] {
        res_env_set(res_env_defaults());
        res_env_test_set_setting("SZ_BUFF_COLLISION", "67108864");
        res_boot();
        hit_init();
        balls_hit_boot();
        hitcyl_init();
        return true;
    }();
}

ResHandle terrain(uint32_t quads)
{
    boot();
    const std::string name = "terrain" + std::to_string(quads);
    if (ResHandle h = res_coll_find("bench", name.c_str())) return h;
    qvw::CollDesc d = qvw::sample_coll_terrain(quads);
    d.name = name;
    return res_coll_register("bench", name.c_str(), qvw::coll_chunk(d));
}

// Segments starting just above the ground, each at most 5% of the extent long.
std::vector<Seg> segments(uint32_t quads, int n)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0, 1), s(-1, 1);
    std::vector<Seg> out;
    const float reach = 0.05f * float(quads) / 1.7320508f;
    for (int i = 0; i < n; i++) {
        const float x = u(rng) * quads, z = u(rng) * quads;
        const Vec3 o = {x, qvw::sample_terrain_height(x, z) + 1.0f, z};
        out.push_back({o, {s(rng) * reach, -u(rng) * reach, s(rng) * reach}});
    }
    return out;
}

// The nearest hit of range(0) x range(0) quads' segments (range(1) 0) or of spheres of radius 1.5
// at their starts (range(1) 1).
void BM_Nearest(benchmark::State& state)
{
    const uint32_t quads = uint32_t(state.range(0));
    const bool spheres = state.range(1);
    hit_pool_reset();
    hit_target_add_model(terrain(quads), nullptr, 1, 1, nullptr, 0);
    const std::vector<Seg> at = segments(quads, spheres ? 1000 : 10000);
    int hits = 0;
    Vec3 p;
    for (auto _ : state)
        for (const Seg& s : at)
            hits += spheres ? hit_sphere_nearest(&s.o, nullptr, 1.5f, &p, nullptr, nullptr, 0,
                                                 HIT_ANY_GROUP)
                            : hit_ray_nearest(&s.o, &s.v, &p, nullptr, nullptr, 0, HIT_ANY_GROUP);
    benchmark::DoNotOptimize(hits);
    state.counters["triangles"] = double(2 * quads * quads);
    bench::per_item(state, "per_ray", double(at.size()));
}
BENCHMARK(BM_Nearest)
    ->ArgsProduct({{24, 72, 224}, {0}})
    ->Args({224, 1})
    ->Unit(benchmark::kMillisecond);

// The same segments against every triangle of the set, one by one.
void BM_RayBruteForce(benchmark::State& state)
{
    const uint32_t quads = uint32_t(state.range(0));
    const CollGeom& g = *hit_geom_of(res_coll_get(terrain(quads)));
    const std::vector<Seg> rays = segments(quads, quads > 100 ? 100 : 1000);
    float sum = 0;
    for (auto _ : state)
        for (const Seg& r : rays) {
            float best = 999.9f, t;
            for (const HitTri& tri : g.tris)
                if (hit_tri_segment(tri, r.o, r.v, &t) && t < best) best = t;
            for (const HitShared& s : g.shared)
                if (hit_tri_segment(s.tri, r.o, r.v, &t) && t < best) best = t;
            sum += best;
        }
    benchmark::DoNotOptimize(sum);
    state.counters["triangles"] = double(2 * quads * quads);
    bench::per_item(state, "per_ray", double(rays.size()));
}
BENCHMARK(BM_RayBruteForce)->Arg(24)->Arg(72)->Arg(224)->Unit(benchmark::kMillisecond);

// 128 registered rays over 1,000 targets: 200 collision targets of the 10k-triangle set spread
// out in a row, 800 spheres among them.
void BM_HitFrame(benchmark::State& state)
{
    const ResHandle h = terrain(72);
    hit_pool_reset();
    static Mat44 places[1000];
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0, 1);
    for (int i = 0; i < 1000; i++) {
        const Vec3 t = {float(i / 5) * 80.0f, 0, 0};
        vm_mat_translation(&places[i], &t);
        if (i % 5 == 0) {
            hit_target_add_model(h, &places[i], 1, 1, nullptr, 0);
        } else {
            const Vec3 c = {u(rng) * 72, 4, u(rng) * 72};
            hit_target_add_sphere(&c, 1, &places[i], 1, 1, 0, 0);
        }
    }
    for (int i = 0; i < HIT_RAYS; i++) {
        const Vec3 o = {u(rng) * 80 * 200, 6, u(rng) * 72},
                   v = {u(rng) * 4 - 2, -8, u(rng) * 4 - 2};
        hit_ray_add(&o, &v, 8, HIT_ANY_GROUP, 0, 0);
    }
    for (auto _ : state) hit_frame();
    state.counters["results"] = hit_result_count();
}
BENCHMARK(BM_HitFrame)->Unit(benchmark::kMicrosecond);

// 768 objects of 3 spheres each and 128 volumes, crowded so that many pairs pass the coarse test.
void BM_SphereAndVolumePasses(benchmark::State& state)
{
    boot();
    balls_hit_clear();
    hitcyl_pool_reset();
    static Mat44 owners[BALLS_HIT_OBJECTS];
    static const qvw::Bytes three =
        qvw::shit_chunk("three", {{0.5f, {0, 0, 0}}, {0.5f, {0, 1, 0}}, {0.5f, {0, 2, 0}}});
    static ResDataInfo info;
    info.data = ByteSpan(three);
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(0, 1);
    for (int i = 0; i < BALLS_HIT_OBJECTS; i++) {
        const Vec3 t = {u(rng) * 120, 0, u(rng) * 120};
        vm_mat_translation(&owners[i], &t);
        balls_hit_create(&info, &owners[i], (1u << (i % 4)) | BALLS_HIT_PUSHABLE, 0xF, 2.5f);
    }
    static Mat44 parents[HITCYL_CYLINDERS];
    for (int i = 0; i < HITCYL_CYLINDERS; i++) {
        const Vec3 t = {u(rng) * 60, 0, u(rng) * 60};
        vm_mat_translation(&parents[i], &t);
        hitcyl_create(&parents[i], 1.5f, 2, nullptr, 1u | BALLS_HIT_PUSHABLE, 1);
    }
    for (auto _ : state) {
        balls_hit_frame();
        hitcyl_frame();
    }
    state.counters["spheres"] = balls_hit_sphere_count();
    state.counters["touching"] = balls_hit_any(0, 0xF);
}
BENCHMARK(BM_SphereAndVolumePasses)->Unit(benchmark::kMicrosecond);
