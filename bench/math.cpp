// The maths library against glm in one run: matrix product, a million points transformed,
// quaternion slerp, and the table sine against std::sin. The ratios of items per second are
// what matter.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <vector>

#include "math/vm.h"

constexpr int MATH_MATS = 1024;
constexpr int MATH_POINTS = 1000000;

float seed_value(int i) { return float((int64_t(i) * 7919) % 1000) / 1000.0f - 0.5f; }

std::vector<Mat44> vm_mats()
{
    std::vector<Mat44> v(MATH_MATS);
    for (int i = 0; i < MATH_MATS; ++i)
        vm_mat_from_pos_angles_f(&v[i], seed_value(i), seed_value(i + 1), seed_value(i + 2),
                                 seed_value(i + 3), seed_value(i + 4), seed_value(i + 5));
    return v;
}

// The same numbers: a row-vector matrix read as column-major is the column-vector form.
std::vector<glm::mat4> glm_mats()
{
    std::vector<glm::mat4> v;
    for (const Mat44& m : vm_mats()) v.push_back(glm::make_mat4(m.m));
    return v;
}

template <class T, class Step>
void each(benchmark::State& state, std::vector<T>& out, Step step)
{
    for (auto _ : state) {
        for (int i = 0; i < int(out.size()); ++i) step(i);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(out.size()));
}

void BM_vm_mat_mul(benchmark::State& state)
{
    const std::vector<Mat44> a = vm_mats(), b = vm_mats();
    std::vector<Mat44> out(MATH_MATS);
    each(state, out, [&](int i) { vm_mat_mul(&out[i], &a[i], &b[(i + 1) & (MATH_MATS - 1)]); });
}
BENCHMARK(BM_vm_mat_mul);

void BM_glm_mat_mul(benchmark::State& state)
{
    const std::vector<glm::mat4> a = glm_mats(), b = glm_mats();
    std::vector<glm::mat4> out(MATH_MATS);
    each(state, out, [&](int i) { out[i] = a[i] * b[(i + 1) & (MATH_MATS - 1)]; });  // b, then a
}
BENCHMARK(BM_glm_mat_mul);

template <class V>
std::vector<V> points()
{
    std::vector<V> v(MATH_POINTS);
    for (int i = 0; i < MATH_POINTS; ++i)
        v[i] = {seed_value(i), seed_value(i + 1), seed_value(i + 2)};
    return v;
}

void BM_vm_transform_1M_points(benchmark::State& state)
{
    const Mat44 m = vm_mats()[3];
    std::vector<Vec3> in = points<Vec3>(), out(MATH_POINTS);
    each(state, out, [&](int i) { vm_mat_transform_point(&out[i], &m, &in[i]); });
}
BENCHMARK(BM_vm_transform_1M_points)->Unit(benchmark::kMillisecond);

void BM_glm_transform_1M_points(benchmark::State& state)
{
    const glm::mat4 m = glm_mats()[3];
    std::vector<glm::vec3> in = points<glm::vec3>(), out(MATH_POINTS);
    each(state, out, [&](int i) { out[i] = glm::vec3(m * glm::vec4(in[i], 1.0f)); });
}
BENCHMARK(BM_glm_transform_1M_points)->Unit(benchmark::kMillisecond);

void BM_vm_quat_slerp(benchmark::State& state)
{
    std::vector<Quat> a(MATH_MATS), b(MATH_MATS), out(MATH_MATS);
    for (int i = 0; i < MATH_MATS; ++i) {
        const Vec3 e1 = {seed_value(i), seed_value(i + 1), seed_value(i + 2)};
        const Vec3 e2 = {seed_value(i + 3), seed_value(i + 4), seed_value(i + 5)};
        vm_quat_from_euler_zxy(&a[i], &e1);
        vm_quat_from_euler_zxy(&b[i], &e2);
    }
    each(state, out, [&](int i) { vm_quat_slerp(&out[i], &a[i], &b[i], 0.37f); });
}
BENCHMARK(BM_vm_quat_slerp);

void BM_glm_quat_slerp(benchmark::State& state)
{
    std::vector<glm::quat> a(MATH_MATS), b(MATH_MATS), out(MATH_MATS);
    for (int i = 0; i < MATH_MATS; ++i) {
        a[i] = glm::quat(glm::vec3(seed_value(i), seed_value(i + 1), seed_value(i + 2)));
        b[i] = glm::quat(glm::vec3(seed_value(i + 3), seed_value(i + 4), seed_value(i + 5)));
    }
    // Shortest path, as ours.
    each(state, out, [&](int i) { out[i] = glm::slerp(a[i], b[i], 0.37f); });
}
BENCHMARK(BM_glm_quat_slerp);

template <class Sin>
void sines(benchmark::State& state, Sin sin)
{
    std::vector<float> a(4096);
    for (int i = 0; i < 4096; ++i) a[i] = seed_value(i) * 20.0f;
    for (auto _ : state) {
        float sum = 0;
        for (float x : a) sum += sin(x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK_CAPTURE(sines, vm, [](float x) { return vm_math_sin(x); })->Name("BM_vm_math_sin");
BENCHMARK_CAPTURE(sines, std, [](float x) { return std::sin(x); })->Name("BM_std_sin");
