// A booted resource manager on the default services, with settings chosen per
// test, and a scratch folder for data files.
#pragma once

#include "res/mesh_buf.h"
#include "res/mdl_decode.h"
#include "res/res.h"
#include "res/res_env.h"
#include "res/resload.h"
#include "temp_dir.h"
#include "tools/qv_samples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// A model description as the bytes of its chunk.
inline qvw::Bytes model_bytes(const qvw::ModelDesc& m)
{
    qvw::Bytes b;
    EXPECT_TRUE(qvw::model_chunk(m, b));
    return b;
}

// A model written, parsed and decoded with the given name flags.
struct Decoded {
    qvw::Bytes d;
    ModelChunk m;
    MeshSource src;
};
inline Decoded decoded(const qvw::ModelDesc& desc, uint32_t flags = 0)
{
    Decoded r{model_bytes(desc), {}, {}};
    EXPECT_EQ(chunk_parse_model(r.d, r.m), CHUNK_OK);
    mdl_decode(r.d, r.m, 0, flags, r.src);
    return r;
}

// Runs loader steps until the loader is idle; false when `limit` steps did not get there.
inline bool drain(int limit = 10000)
{
    for (int n = 0; n < limit; ++n)
        if (resload_step() == RESLOAD_IDLE) return true;
    return false;
}

// A group file of the given chunks, each at its kind's expected version.
inline qvw::Bytes group_of(std::initializer_list<std::pair<uint32_t, qvw::Bytes>> chunks)
{
    qvw::Bytes f;
    for (const auto& [magic, data] : chunks) qvw::file_add_chunk(f, magic, data);
    return f;
}

// The live counts of the pools most tests look at, compared as one value.
struct ResCounts {
    int tex = 0, mesh = 0, subset = 0, bone = 0, anime = 0, crop = 0, cat = 0;
    bool operator==(const ResCounts&) const = default;
};
inline void PrintTo(const ResCounts& c, std::ostream* os)
{
    *os << "{tex " << c.tex << ", mesh " << c.mesh << ", subset " << c.subset << ", bone " << c.bone
        << ", anime " << c.anime << ", crop " << c.crop << ", cat " << c.cat << "}";
}
inline ResCounts res_counts()
{
    return {res_tex_count(),  res_mesh_count(),  res_pool_used(RES_SUBSET),
            res_bone_count(), res_anime_count(), res_crop_count(),
            res_cat_count()};
}

// A crop's texture and rectangle; a missing crop reads as texture 0 at -1.
struct Crop {
    ResHandle tex = 0;
    float u = 0, v = 0, w = 0, h = 0;
    bool operator==(const Crop&) const = default;
};
inline void PrintTo(const Crop& c, std::ostream* os)
{
    *os << "{tex " << c.tex << ", " << c.u << " " << c.v << " " << c.w << " " << c.h << "}";
}
inline Crop crop_of(ResHandle h)
{
    const ResCrop* c = res_crop_get(h);
    return c ? Crop{c->tex, c->u, c->v, c->w, c->h} : Crop{0, -1, -1, -1, -1};
}

class ResTest : public ::testing::Test {
protected:
    std::map<std::string, std::string> settings;
    TempDir dir;

    void boot()
    {
        res_env_set(res_env_defaults());
        res_env_test_clear_settings();
        for (const auto& [k, v] : settings) res_env_test_set_setting(k.c_str(), v.c_str());
        res_env_test_fatals().clear();
        res_env_test_set_frame_percent(0, 0);
        res_boot();
        resload_boot();
    }
    // Opens the pools that are closed by default: animations, sphere hits, camera paths and
    // vector animations.
    void open_every_kind()
    {
        for (const char* k :
             {"MAX_NR_ANIME", "MAX_NR_SPHERE_HIT", "MAX_NR_CAMERA_INFO", "MAX_NR_FLASH"})
            settings[k] = "4";
        for (const char* k :
             {"SZ_BUFF_ANIME", "SZ_BUFF_SPHERE_HIT", "SZ_BUFF_CAMERA_INFO", "SZ_BUFF_FLASH"})
            settings[k] = "8192";
        for (const char* k : {"SZ_BUFF_ANIMENAME", "SZ_BUFF_CAMERA_INFONAME", "SZ_BUFF_FLASHNAME"})
            settings[k] = "64";
    }
    void TearDown() override
    {
        resload_shutdown();
        res_shutdown();
    }
    std::string folder(const std::string& sub)
    {
        std::filesystem::create_directories(dir.file(sub));
        return dir.file(sub) + "/";
    }
    // A data file in a folder made by folder().
    void write(const std::string& rel, const std::vector<uint8_t>& bytes)
    {
        dir.write(rel, std::string(bytes.begin(), bytes.end()));
    }
};
