// Maths library against glm in the same run: matrix product, transforming a
// million points, quaternion slerp, and the table sine against std::sin.
// Compare items per second within one run; the ratios are what matter.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include "math/vm.h"

namespace {

constexpr int k_mats = 1024;
constexpr int k_points = 1000000;

float seed_value(int i) { return float((int64_t(i) * 7919) % 1000) / 1000.0f - 0.5f; }

std::vector<Mat44> vm_mats()
{
    std::vector<Mat44> v(k_mats);
    for (int i = 0; i < k_mats; ++i)
        vm_mat_from_pos_angles_f(&v[i], seed_value(i), seed_value(i + 1), seed_value(i + 2),
                                 seed_value(i + 3), seed_value(i + 4), seed_value(i + 5));
    return v;
}

std::vector<glm::mat4> glm_mats()
{
    // The same numbers: a row-vector matrix read as column-major is the
    // column-vector form.
    const std::vector<Mat44> src = vm_mats();
    std::vector<glm::mat4> v(k_mats);
    for (int i = 0; i < k_mats; ++i)
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) v[i][c][r] = src[i].m[4 * c + r];
    return v;
}

void BM_vm_mat_mul(benchmark::State& state)
{
    const std::vector<Mat44> a = vm_mats(), b = vm_mats();
    std::vector<Mat44> out(k_mats);
    for (auto _ : state) {
        for (int i = 0; i < k_mats; ++i) vm_mat_mul(&out[i], &a[i], &b[(i + 1) & (k_mats - 1)]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_mats);
}
BENCHMARK(BM_vm_mat_mul);

void BM_glm_mat_mul(benchmark::State& state)
{
    const std::vector<glm::mat4> a = glm_mats(), b = glm_mats();
    std::vector<glm::mat4> out(k_mats);
    for (auto _ : state) {
        for (int i = 0; i < k_mats; ++i)
            out[i] = a[i] * b[(i + 1) & (k_mats - 1)];  // b first, then a
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_mats);
}
BENCHMARK(BM_glm_mat_mul);

void BM_vm_transform_1M_points(benchmark::State& state)
{
    const Mat44 m = vm_mats()[3];
    std::vector<Vec3> in(k_points), out(k_points);
    for (int i = 0; i < k_points; ++i)
        in[i] = {seed_value(i), seed_value(i + 1), seed_value(i + 2)};
    for (auto _ : state) {
        for (int i = 0; i < k_points; ++i) vm_mat_transform_point(&out[i], &m, &in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_points);
}
BENCHMARK(BM_vm_transform_1M_points)->Unit(benchmark::kMillisecond);

void BM_glm_transform_1M_points(benchmark::State& state)
{
    const glm::mat4 m = glm_mats()[3];
    std::vector<glm::vec3> in(k_points), out(k_points);
    for (int i = 0; i < k_points; ++i)
        in[i] = {seed_value(i), seed_value(i + 1), seed_value(i + 2)};
    for (auto _ : state) {
        for (int i = 0; i < k_points; ++i) out[i] = glm::vec3(m * glm::vec4(in[i], 1.0f));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_points);
}
BENCHMARK(BM_glm_transform_1M_points)->Unit(benchmark::kMillisecond);

void BM_vm_quat_slerp(benchmark::State& state)
{
    std::vector<Quat> a(k_mats), b(k_mats), out(k_mats);
    for (int i = 0; i < k_mats; ++i) {
        const Vec3 e1 = {seed_value(i), seed_value(i + 1), seed_value(i + 2)};
        const Vec3 e2 = {seed_value(i + 3), seed_value(i + 4), seed_value(i + 5)};
        vm_quat_from_euler_zxy(&a[i], &e1);
        vm_quat_from_euler_zxy(&b[i], &e2);
    }
    for (auto _ : state) {
        for (int i = 0; i < k_mats; ++i) vm_quat_slerp(&out[i], &a[i], &b[i], 0.37f);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_mats);
}
BENCHMARK(BM_vm_quat_slerp);

void BM_glm_quat_slerp(benchmark::State& state)
{
    std::vector<glm::quat> a(k_mats), b(k_mats), out(k_mats);
    for (int i = 0; i < k_mats; ++i) {
        a[i] = glm::quat(glm::vec3(seed_value(i), seed_value(i + 1), seed_value(i + 2)));
        b[i] = glm::quat(glm::vec3(seed_value(i + 3), seed_value(i + 4), seed_value(i + 5)));
    }
    for (auto _ : state) {
        for (int i = 0; i < k_mats; ++i)
            out[i] = glm::slerp(a[i], b[i], 0.37f);  // shortest path, as ours
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_mats);
}
BENCHMARK(BM_glm_quat_slerp);

std::vector<float> angles()
{
    std::vector<float> v(4096);
    for (int i = 0; i < 4096; ++i) v[i] = seed_value(i) * 20.0f;
    return v;
}

void BM_vm_math_sin(benchmark::State& state)
{
    const std::vector<float> a = angles();
    for (auto _ : state) {
        float sum = 0;
        for (float x : a) sum += vm_math_sin(x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_vm_math_sin);

void BM_std_sin(benchmark::State& state)
{
    const std::vector<float> a = angles();
    for (auto _ : state) {
        float sum = 0;
        for (float x : a) sum += std::sin(x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_std_sin);

}  // namespace
