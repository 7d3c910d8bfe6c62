// Costs of the model load path: chunk check, welded and unwelded decode, and the tex.lst parse.
#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "res/texlst_local.h"
#include "tools/qv_samples.h"

#include <benchmark/benchmark.h>

void BM_CheckModel(benchmark::State& st)
{
    qvw::Bytes d;  // n x n quads with normals and uvs: (n+1)^2 welded vertices
    qvw::model_chunk(qvw::sample_grid("grid", uint32_t(st.range(0))), d);
    ModelChunk m;
    for (auto _ : st) benchmark::DoNotOptimize(chunk_parse_model(d, m));
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(d.size()));
}
BENCHMARK(BM_CheckModel)->Arg(32)->Arg(128);

void BM_DecodeModel(benchmark::State& st)
{
    qvw::Bytes d;
    qvw::model_chunk(qvw::sample_grid("grid", uint32_t(st.range(0))), d);
    ModelChunk m;
    chunk_parse_model(d, m);
    for (auto _ : st) {
        MeshSource s;
        mdl_decode(d, m, uint32_t(st.range(1)), NAME_FLAG_NRM, s);
        benchmark::DoNotOptimize(s.vertex_count);
    }
    st.counters["triangles"] = double(m.tris);
}
// 32 x 32 and 128 x 128 grids welded (2048 and 32768 triangles); 182 x 182 (66248 triangles)
// takes the unwelded decode; the second argument asks for the smoothed-normal set.
BENCHMARK(BM_DecodeModel)
    ->Args({32, 0})
    ->ArgsProduct({{128, 182}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_ParseTexList(benchmark::State& st)
{
    std::vector<qvw::TexLstCatDesc> cats(10);
    for (int c = 0; c < 10; c++) {
        cats[c].name = "cat" + std::to_string(c);
        for (int t = 0; t < 10; t++) {
            qvw::TexLstTexDesc tex{"tex" + std::to_string(t) + ".png", 256, 256, {}};
            for (int k = 0; k < 10; k++)
                tex.crops.push_back({"crop" + std::to_string(k), float(k), 0, 16, 16});
            cats[c].textures.push_back(tex);
        }
    }
    std::string text = qvw::texlst_text(cats);
    for (auto _ : st) {
        TexList t;
        texlst_parse(text, t);
        benchmark::DoNotOptimize(t.cats.size());
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseTexList);
