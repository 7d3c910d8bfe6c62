// The built data folder through the real loader, queued as the patch tool does.
#include "gm_test_util.h"
#include "res/res_fixture.h"

#include <array>
#include <cctype>

class PatchLoad : public ResTest {
protected:
    fs::path data;

    void SetUp() override
    {
        data = fs::path(gmt::binary_dir()) / "data";
        settings = {{"MODEL_DATA_PATH", (data / "grp").string() + "/"},
                    {"MODEL_DATA_PATHE", folder("grpe")},
                    {"MODEL_DATA_PATHC", folder("grpc")},
                    {"TEX_DATA_PATH", (data / "texture").string() + "/"}};
    }

    // Sorted without regard to case, as the tool lists the folder.
    std::vector<std::string> group_names()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(data / "grp"))
            if (e.path().extension() == ".bin") names.push_back(e.path().stem().string());
        auto upper = [](std::string s) {
            for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
            return s;
        };
        std::ranges::sort(names, {}, upper);
        return names;
    }

    void load_like_the_tool()
    {
        for (const std::string& name : group_names()) {
            const std::string nrm = name + "_NRM";
            if (resload_file_exists(nrm.c_str())) {
                ASSERT_TRUE(resload_request(nrm.c_str(), 0));
            }
            ASSERT_TRUE(resload_request(name.c_str(), 0));
        }
        ASSERT_TRUE(drain(100000));
    }
};

TEST_F(PatchLoad, NormalMapsAndIconsLoadFromTheBuiltFolder)
{
    // The test build makes the data set before this program: without it the build is broken.
    ASSERT_TRUE(fs::exists(data / "grp")) << "no " << data / "grp";
    boot();
    load_like_the_tool();
    EXPECT_TRUE(res_env_test_fatals().empty()) << res_env_test_fatals().front().text;
    // The normal map comes from the companion group, not the default.
    ResHandle coin = res_mesh_find("coin", "coin");
    ASSERT_NE(coin, 0u);
    EXPECT_EQ(res_mesh_flags(coin) & 1u, 1u);
    const MeshBuffers* mb = res_mesh_get_object(coin);
    ASSERT_GE(mb->subsets[0].slot_count, 2u);
    EXPECT_EQ(mb->subsets[0].slot_tex[1], res_tex_find("coin_NRM", "coin_normal"));
    EXPECT_NE(mb->subsets[0].slot_tex[1], res_tex_nrm());
    // Every icon the tool draws, at its crop's size.
    for (const gm::IconCrop& c : gm::icon_crops()) {
        ResHandle h = res_crop_find("icon", c.name.c_str());
        ASSERT_NE(h, 0u) << c.name;
        const ResCrop* crop = res_crop_get(h);
        ASSERT_NE(crop->tex, 0u) << c.name;
        const ResTexInfo* t = res_tex_get(crop->tex);
        EXPECT_EQ((std::array{int(t->width), int(t->height)}),
                  (std::array{gm::ICON_ATLAS_W, gm::ICON_ATLAS_H}));
        EXPECT_FLOAT_EQ(crop->w * float(t->width), float(c.w)) << c.name;
        EXPECT_FLOAT_EQ(crop->h * float(t->height), float(c.h)) << c.name;
    }
}
