// The committed patch descriptions built in memory, their models decoded.
#pragma once

#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "tools/gen_models/gm_icons.h"
#include "tools/qv_desc.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace gmt {

// From the environment, else the build folder this test was built in.
inline std::string binary_dir()
{
    const char* b = std::getenv("QUORVEL_TEST_BINARY_DIR");
    return b ? b : GM_TEST_BINARY_DIR;
}

inline fs::path models_dir() { return test_source_dir() + "/data/models"; }

// Every committed description in name order, as the build's qv_datagen run.
inline const qvw::DataSet& built_set()
{
    static qvw::DataSet set = [] {
        qvw::DataSet all;
        std::vector<std::string> descs;
        for (const auto& e : fs::directory_iterator(models_dir()))
            if (e.path().extension() == ".qvd") descs.push_back(e.path().string());
        std::sort(descs.begin(), descs.end());
        std::string why;
        EXPECT_TRUE(qvw::desc_build_files(descs, all, &why)) << why;
        return all;
    }();
    return set;
}

struct Chunk {
    ChunkHeader head;
    std::vector<uint8_t> data;
};

inline std::vector<Chunk> chunks_of(const std::vector<uint8_t>& file)
{
    std::vector<Chunk> out;
    uint64_t pos = 0;
    ChunkHeader h;
    ByteSpan data;
    int r;
    while ((r = chunk_file_next(file, pos, h, data)) == CHUNK_WALK_CHUNK)
        out.push_back({h, {data.begin(), data.end()}});
    EXPECT_EQ(r, CHUNK_WALK_END);
    return out;
}

struct DecodedModel {
    std::string group, name, texture;
    MeshSource src;
};

// Every model in group-name then chunk order: the palette's order.
inline const std::vector<DecodedModel>& decoded_models()
{
    static std::vector<std::vector<uint8_t>> keep;
    static std::vector<DecodedModel> models = [] {
        std::vector<DecodedModel> out;
        for (const auto& [path, bytes] : built_set().files) {
            if (path.rfind("grp/", 0) != 0) continue;
            for (Chunk& c : chunks_of(bytes)) {
                if (chunk_kind_of(c.head.magic) != CHUNK_MODEL) continue;
                keep.push_back(c.data);
                ByteSpan d(keep.back());
                ModelChunk mc;
                EXPECT_EQ(chunk_parse_model(d, mc), CHUNK_OK) << path;
                DecodedModel m{
                    path.substr(4, path.size() - 8), chunk_rd_name(d, mc.name_off), "", {}};
                ModelSubsetRec sub;
                if (chunk_model_subset(d, 0, sub) && sub.tex_name_off)
                    m.texture = chunk_rd_name(d, sub.tex_name_off);
                mdl_decode(d, mc, 0, 0, m.src);
                out.push_back(std::move(m));
            }
        }
        return out;
    }();
    return models;
}

}  // namespace gmt
