// The description builder: the example data set and its refusals.
#include "res/chunk.h"
#include "res/texlst.h"
#include "tools/qv_desc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

// The source tree: from the environment, else from this file's own path.
std::string source_dir() {
    if (const char* s = std::getenv("QUORVEL_TEST_SOURCE_DIR")) return s;
    std::string f = __FILE__;
    return f.substr(0, f.rfind("/tests/"));
}

}  // namespace

TEST(DataGen, ExampleDescriptionBuilds) {
    std::ifstream f(source_dir() + "/data/example.qvd");
    ASSERT_TRUE(f);
    std::string text((std::istreambuf_iterator<char>(f)), {});
    qvw::DataSet set;
    std::string why;
    ASSERT_TRUE(qvw::desc_build(text, source_dir() + "/data", set, &why)) << why;
    ASSERT_EQ(set.files.count("grp/example.bin"), 1u);
    ASSERT_EQ(set.files.count("texture/tex.lst"), 1u);
    ASSERT_EQ(set.files.count("texture/icon.png"), 1u);

    const auto& bin = set.files["grp/example.bin"];
    uint64_t pos = 0;
    ChunkHeader h;
    ByteSpan data;
    std::vector<int> kinds;
    while (chunk_file_next(bin, pos, h, data) == CHUNK_WALK_CHUNK) {
        kinds.push_back(chunk_kind_of(h.magic));
        EXPECT_EQ(chunk_check(kinds.back(), data), CHUNK_OK);
    }
    EXPECT_EQ(kinds, (std::vector<int>{CHUNK_TEX, CHUNK_MODEL, CHUNK_MODEL, CHUNK_CROP}));

    const auto& lst = set.files["texture/tex.lst"];
    TexList t;
    texlst_parse(std::string(lst.begin(), lst.end()), t);
    EXPECT_TRUE(t.refused_lines.empty());
    EXPECT_EQ(texlst_find(t, "icon"), 0);
    EXPECT_EQ(texlst_crop_count(t, 0), 2u);
    EXPECT_FLOAT_EQ(texlst_crop(t, 0, 1)->frac[0], 0.5f);
}

TEST(DataGen, BadLinesAreReportedWithTheirNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"texture a.png checker 4 4 ff ff\n", "line 1: no 'grp'"},
        {"grp g\nmodel m n\nv 0 0 0\nend\n", "line 3: too few numbers"},
        {"grp g\nmodel m\nv 0 0 0\ntri 0 1 2\nend\n", "line 5: model m: corner refers"},
        {"grp g\nmodel m\nv 0 0 0\n", "model without 'end'"},
        {"grp g\nbogus\n", "line 2: unknown line"},
        {"category c\ntcrop x 0 0 1 1\n", "line 2: tcrop before any image"},
    };
    for (const auto& [text, want] : cases) {
        qvw::DataSet set;
        std::string why;
        EXPECT_FALSE(qvw::desc_build(text, ".", set, &why)) << text;
        EXPECT_EQ(why.rfind(want, 0), 0u) << why;
    }
}
