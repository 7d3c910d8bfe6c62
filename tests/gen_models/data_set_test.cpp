// The patch data set as files, where the patch tool looks for them.
#include "gm_test_util.h"

#include "res/texlst_local.h"
#include "tools/gen_models/gm_output.h"

#include <set>

TEST(PatchData, CommittedSourcesAndTheBuiltDataFolderEqualAFreshRun)
{
    gm::FileSet fresh = gm::output_build();
    EXPECT_EQ(fresh, gm::output_build()) << "two runs differ";
    for (const auto& [name, bytes] : fresh)
        EXPECT_TRUE(test_file_bytes(gmt::models_dir() / name) == bytes)
            << name << " is stale: run gen_models data/models";
    for (const auto& e : fs::directory_iterator(gmt::models_dir()))
        if (e.path().extension() == ".qvd" || e.path().extension() == ".png") {
            EXPECT_EQ(fresh.count(e.path().filename().string()), 1u)
                << e.path() << " is not generated";
        }
    for (const auto& [path, bytes] : gmt::built_set().files)
        EXPECT_TRUE(test_file_bytes(fs::path(gmt::binary_dir()) / "data" / path) == bytes) << path;
}

TEST(PatchData, PaletteHasTwoPagesOfDistinctMeshesTaggedInsideTheToolsBands)
{
    const auto& models = gmt::decoded_models();
    EXPECT_GE(models.size(), 20u) << "the palette shows 16 a page";
    std::set<std::string> names;
    for (const auto& m : models) {
        EXPECT_TRUE(names.insert(m.name).second) << "duplicate mesh " << m.name;
        EXPECT_GT(m.src.vertex_count, 0u) << m.name;
        EXPECT_EQ(m.src.index_count % 3, 0u) << m.name;
        // Colours or a texture: never a bare grey model.
        EXPECT_TRUE(!m.src.colors.empty() || !m.texture.empty()) << m.name;
        EXPECT_FALSE(m.src.normals.empty()) << m.name;
        // The patches sit at 81 (79 with _a) and the previews at 28, inside the
        // first (72-83) and second (26-30) 3D bands: _p may add at most 2, _P may
        // take at most 2.
        for (size_t i = 0; i + 2 < m.name.size(); i++)
            if (m.name[i] == '_' && (m.name[i + 1] == 'p' || m.name[i + 1] == 'P') &&
                std::isdigit(static_cast<unsigned char>(m.name[i + 2]))) {
                EXPECT_LE(std::atoi(m.name.c_str() + i + 2), 2) << m.name;
            }
    }
}

TEST(PatchData, NormalMapCompanionHoldsOnlyTheMapsItsModelNames)
{
    std::vector<gmt::Chunk> nrm = gmt::chunks_of(gmt::built_set().files.at("grp/coin_NRM.bin"));
    ASSERT_EQ(nrm.size(), 1u);
    ASSERT_EQ(chunk_kind_of(nrm[0].head.magic), CHUNK_TEX)
        << "a model here would show in the palette";
    // Which map the loaded mesh binds is the loader test's; tangents need coordinates.
    for (const auto& m : gmt::decoded_models())
        if (m.group == "coin") {
            EXPECT_FALSE(m.src.uv0.empty()) << m.name;
        }
}

TEST(PatchData, IconsComeFromTexLst)
{
    const auto& files = gmt::built_set().files;
    const auto& lst = files.at("texture/tex.lst");
    TexList tl;
    texlst_parse(std::string_view(reinterpret_cast<const char*>(lst.data()), lst.size()), tl);
    EXPECT_TRUE(tl.refused_lines.empty());
    int cat = texlst_find(tl, "icon");
    ASSERT_GE(cat, 0);
    const auto& want = gm::icon_crops();
    ASSERT_EQ(texlst_crop_count(tl, uint32_t(cat)), want.size());
    // The category's image is the atlas itself, copied whole.
    EXPECT_TRUE(files.at("texture/icon.png") == test_file_bytes(gmt::models_dir() / "icon.png"));
    for (uint32_t j = 0; j < want.size(); j++) {
        const TexLstCrop* c = texlst_crop(tl, uint32_t(cat), j);
        ASSERT_TRUE(c);
        auto it = std::find_if(want.begin(), want.end(),
                               [&](const gm::IconCrop& w) { return c->name == w.name; });
        ASSERT_NE(it, want.end()) << c->name;
        EXPECT_FLOAT_EQ(c->frac[2] * gm::ICON_ATLAS_W, float(it->w)) << c->name;
        EXPECT_FLOAT_EQ(c->frac[3] * gm::ICON_ATLAS_H, float(it->h)) << c->name;
    }
}
