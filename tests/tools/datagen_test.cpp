// The description builder: data sets, texture-list images, refusals.
#include "res/chunk.h"
#include "res/texlst_local.h"
#include "temp_dir.h"
#include "test_files.h"
#include "tools/qv_desc.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

using testing::FloatEq;
using testing::Pointwise;

namespace {

std::string text_of(const qvw::Bytes& b) { return std::string(b.begin(), b.end()); }

TexList texlst_of(const qvw::DataSet& set)
{
    TexList t;
    texlst_parse(text_of(set.files.at("texture/tex.lst")), t);
    EXPECT_TRUE(t.refused_lines.empty());
    return t;
}

// A data set being built, the last refusal and a scratch folder for sources.
class DataGen : public ::testing::Test {
protected:
    qvw::DataSet set;
    std::string why;
    TempDir dir;
};

}  // namespace

TEST_F(DataGen, ExampleDescriptionBuilds)
{
    const std::string text = test_file_text(test_source_dir() + "/data/example.qvd");
    ASSERT_TRUE(qvw::desc_build(text, test_source_dir() + "/data", set, &why)) << why;
    ASSERT_EQ(set.files.count("texture/icon.png"), 1u);
    const auto& bin = set.files.at("grp/example.bin");
    uint64_t pos = 0;
    ChunkHeader h;
    ByteSpan data;
    std::vector<int> kinds;
    while (chunk_file_next(bin, pos, h, data) == CHUNK_WALK_CHUNK) {
        kinds.push_back(chunk_kind_of(h.magic));
        EXPECT_EQ(chunk_check(kinds.back(), data), CHUNK_OK);
    }
    EXPECT_EQ(kinds, (std::vector<int>{CHUNK_TEX, CHUNK_MODEL, CHUNK_MODEL, CHUNK_CROP}));
    TexList t = texlst_of(set);
    EXPECT_EQ(std::tuple(texlst_find(t, "icon"), texlst_crop_count(t, 0)), std::tuple(0, 2u));
    EXPECT_FLOAT_EQ(texlst_crop(t, 0, 1)->frac[0], 0.5f);
}

TEST_F(DataGen, BadLinesAreReportedWithTheirNumber)
{
    const std::pair<const char*, const char*> cases[] = {
        {"texture a.png checker 4 4 ff ff\n", "line 1: no 'grp'"},
        {"grp g\nmodel m n\nv 0 0 0\nend\n", "line 3: too few numbers"},
        {"grp g\nmodel m\nv 0 0 0\ntri 0 1 2\nend\n", "line 5: model m: corner refers"},
        {"grp g\nmodel m\nv 0 0 0\n", "model without 'end'"},
        {"grp g\nbogus\n", "line 2: unknown line"},
        {"category c\ntcrop x 0 0 1 1\n", "line 2: tcrop before any image"},
    };
    for (const auto& [text, want] : cases) {
        qvw::DataSet fresh;
        EXPECT_FALSE(qvw::desc_build(text, ".", fresh, &why)) << text;
        EXPECT_EQ(why.rfind(want, 0), 0u) << why;
    }
}

TEST_F(DataGen, ImageFromFileCopiesThePngAndTakesItsSize)
{
    qvw::Bytes png = qvw::png_checker(40, 24, 0xff102030, 0x80a0b0c0);
    std::filesystem::create_directories(dir.file("img"));
    dir.write("img/atlas.png", text_of(png));
    ASSERT_TRUE(qvw::desc_build(
        "category icons\n  image icons.png file img/atlas.png\n  tcrop a 8 6 16 12\n",
        dir.file("."), set, &why))
        << why;
    EXPECT_TRUE(set.files.at("texture/icons.png") == png) << "copied byte for byte";
    EXPECT_EQ(text_of(set.files.at("texture/tex.lst")),
              "cat icons\ntex icons.png\nsize 40 24\ncrop 8 6 16 12 a\n");
    TexList t = texlst_of(set);
    ASSERT_EQ(texlst_crop_count(t, 0), 1u);
    const float* f = texlst_crop(t, 0, 0)->frac;
    EXPECT_THAT(std::vector(f, f + 4), Pointwise(FloatEq(), {0.2f, 0.25f, 0.4f, 0.5f}));
}

TEST_F(DataGen, ImageFileRefusesAnythingButAWholePngOfAUsableSize)
{
    const qvw::Bytes good = qvw::png_checker(16, 8, 0xffffffff, 0xff000000);
    auto cut = [&](size_t n) { return qvw::Bytes(good.begin(), good.begin() + long(n)); };
    qvw::Bytes bad_crc = good;
    bad_crc[19] ^= 1;  // the width in IHDR
    qvw::Bytes huge_len = good;
    huge_len[8] = 0xff;  // IHDR's length
    const std::string text = "hello, not an image at all, but long enough to hold a PNG header";
    struct Case {
        const char* file;
        qvw::Bytes bytes;
        const char* want;  // after "line 2: <file>: "
    };
    const Case cases[] = {
        {"text.png", qvw::Bytes(text.begin(), text.end()), "not a PNG"},
        {"empty.png", {}, "not a PNG"},
        {"signature.png", cut(5), "not a PNG"},
        {"in_ihdr.png", cut(20), "truncated PNG"},
        {"in_idat.png", cut(good.size() / 2), "truncated PNG"},
        {"no_iend.png", cut(good.size() - 12), "truncated PNG"},
        {"length.png", huge_len, "truncated PNG"},
        {"crc.png", bad_crc, "PNG chunk with a bad CRC"},
        {"zero_w.png", qvw::png_encode(0, 4, {}), "size 0 x 4 is outside 1 to 4096"},
        {"zero_h.png", qvw::png_encode(4, 0, {}), "size 4 x 0 is outside 1 to 4096"},
        {"wide.png", qvw::png_checker(4097, 1, 0, 0), "size 4097 x 1 is outside 1 to 4096"},
    };
    // An earlier description's files and categories stay as they were.
    ASSERT_TRUE(qvw::desc_build("category first\nimage f.png checker 8 8 ff ff\n", ".", set, &why))
        << why;
    const qvw::DataSet before = set;
    for (const Case& c : cases) {
        dir.write(c.file, text_of(c.bytes));
        std::string desc = std::string("category c\nimage c.png file ") + c.file + "\n";
        EXPECT_FALSE(qvw::desc_build(desc, dir.file("."), set, &why)) << c.file;
        EXPECT_EQ(why, std::string("line 2: ") + c.file + ": " + c.want);
        EXPECT_EQ(set.files, before.files) << c.file;
        EXPECT_EQ(set.cats.size(), 1u) << c.file;
    }
    EXPECT_FALSE(
        qvw::desc_build("category c\nimage c.png file gone.png\n", dir.file("."), set, &why));
    EXPECT_EQ(why, "line 2: cannot read gone.png");
    EXPECT_FALSE(qvw::desc_build("category c\nimage c.png file\n", dir.file("."), set, &why));
    EXPECT_EQ(why.rfind("line 2: image needs", 0), 0u) << why;
    // The largest side the format allows is taken.
    dir.write("edge.png", text_of(qvw::png_checker(4096, 1, 0, 0)));
    ASSERT_TRUE(
        qvw::desc_build("category edge\nimage e.png file edge.png\n", dir.file("."), set, &why))
        << why;
    EXPECT_EQ(texlst_of(set).cats.size(), 2u);
}

TEST_F(DataGen, ACategoryDefinedTwiceIsRefusedAndLaterOnesJoinTheTexList)
{
    std::string a = dir.write("a.qvd", "grp a\ncategory icon\nimage i.png checker 8 8 ff ff\n");
    std::string b = dir.write("b.qvd", "grp b\ncategory other\ncategory icon\n");
    ASSERT_TRUE(qvw::desc_build_files({a}, set, &why)) << why;
    const qvw::DataSet before = set;
    EXPECT_FALSE(qvw::desc_build_files({b}, set, &why));
    EXPECT_EQ(why, b + ": line 3: category 'icon' is defined twice");
    EXPECT_EQ(std::tuple(set.files, set.cats.size()), std::tuple(before.files, 1u));
    // Later descriptions, with and without categories, join the one tex.lst.
    std::vector<std::string> more = {
        dir.write("c.qvd", "grp c\n"),
        dir.write("d.qvd", "category second\nimage two.png checker 16 8 ff ff\ntcrop y 8 0 8 8\n")};
    ASSERT_TRUE(qvw::desc_build_files(more, set, &why)) << why;
    for (const char* f : {"grp/c.bin", "texture/two.png"}) EXPECT_EQ(set.files.count(f), 1u) << f;
    TexList t = texlst_of(set);
    EXPECT_EQ(texlst_find(t, "second"), 1);
    EXPECT_FLOAT_EQ(texlst_crop(t, 1, 0)->frac[0], 0.5f);
    // Within one description, and a description that cannot be read.
    qvw::DataSet one;
    EXPECT_FALSE(qvw::desc_build("category x\ncategory y\ncategory x\n", ".", one, &why));
    EXPECT_EQ(why, "line 3: category 'x' is defined twice");
    EXPECT_FALSE(qvw::desc_build_files({dir.file("none.qvd")}, one, &why));
    EXPECT_EQ(why, "cannot read " + dir.file("none.qvd"));
}
