// The texture list's parser: categories in file order, comments and line ends, refused statements.
#include "res/texlst_local.h"
#include "tools/qv_samples.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TexList parse(const std::string& s)
{
    TexList t;
    texlst_parse(s, t);
    return t;
}

}  // namespace

TEST(TexLst, SampleCategoriesInFileOrder)
{
    TexList t = parse(qvw::sample_texlst());
    EXPECT_TRUE(t.refused_lines.empty());
    ASSERT_EQ(texlst_cat_count(t), 2u);
    EXPECT_STREQ(texlst_cat_name(t, 0), "icon");
    EXPECT_STREQ(texlst_cat_name(t, 1), "font");
    EXPECT_STREQ(texlst_tex_name(t, 0, 1), "small.png");
    EXPECT_STREQ(texlst_tex_name(t, 1, 0), "font/ascii.png");
    EXPECT_EQ(std::tuple(texlst_tex_count(t, 0), texlst_crop_count(t, 0), texlst_crop_count(t, 1)),
              std::tuple(2u, 4u, 0u));
    // Two textures of different sizes each scale their own crops.
    const TexLstCrop* disk = texlst_crop(t, 0, 0);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(std::pair(disk->frac[2], disk->frac[3]), std::pair(0.125f, 0.5f));
    const TexLstCrop* dot = texlst_crop(t, 0, 3);
    EXPECT_STREQ(texlst_crop_name(t, 0, 3), "dot");
    EXPECT_STREQ(texlst_crop_tex_name(t, 0, 3), "small.png");
    EXPECT_EQ(std::pair(dot->frac[0], dot->frac[2]), std::pair(0.25f, 0.5f));
    EXPECT_EQ((std::array{texlst_find(t, "font"), texlst_find(t, "Font"), texlst_find(t, nullptr)}),
              (std::array{1, -1, -1}));
    EXPECT_EQ(std::tuple(texlst_cat_name(t, 2), texlst_tex_name(t, 0, 2), texlst_crop(t, 5, 0)),
              std::tuple(nullptr, nullptr, nullptr));
}

TEST(TexLst, CommentsLineEndsAndTheEndOfTheText)
{
    TexList t = parse(
        "#whole line\r\ncat a # trailing comment\r\ntex x#y.png\r\nsize 4 2\r\ncrop 1 1 2 1 c");
    EXPECT_TRUE(t.refused_lines.empty());
    ASSERT_EQ(texlst_cat_count(t), 1u);
    // '#' inside a token is no comment; the last line needs no line end.
    EXPECT_STREQ(texlst_tex_name(t, 0, 0), "x#y.png");
    ASSERT_EQ(texlst_crop_count(t, 0), 1u);
    EXPECT_FLOAT_EQ(texlst_crop(t, 0, 0)->frac[1], 0.5f);
    // A NUL or a control-Z ends the text.
    std::string nul = "cat a\ntex t.png";
    nul += '\0';
    nul += "\ncat b\n";
    EXPECT_EQ(texlst_cat_count(parse(nul)), 1u);
    EXPECT_EQ(texlst_cat_count(parse("cat a\n\032cat b\n")), 1u);
    EXPECT_EQ(texlst_cat_count(parse("")), 0u);
}

TEST(TexLst, RefusesStatementsThatDoNotParse)
{
    const std::string text = "tex early.png\n"        // 1: before any category
                             "cat a\n"                // 2
                             "crop 0 0 1 1 c\n"       // 3: before any texture
                             "tex t.png\n"            // 4
                             "crop 0 0 1 1 c\n"       // 5: before any size
                             "size 0 4\n"             // 6: zero
                             "size 8 x\n"             // 7: not a number
                             "size 8\n"               // 8: missing height
                             "size 8 8\n"             // 9
                             "crop 0 zero 1 1 c\n"    // 10: bad number
                             "crop 0 0 1 1\n"         // 11: missing name
                             "crop 0 0 4 4 good\n"    // 12
                             "cat\n"                  // 13: missing name
                             "unknown words here\n"   // 14: ignored, not refused
                             "crop 1e2 nan 1 1 n\n";  // 15: not finite
    TexList t = parse(text);
    EXPECT_EQ(t.refused_lines, (std::vector<uint32_t>{1, 3, 5, 6, 7, 8, 10, 11, 13, 15}));
    ASSERT_EQ(texlst_cat_count(t), 1u);
    ASSERT_EQ(texlst_crop_count(t, 0), 1u);
    EXPECT_STREQ(texlst_crop_name(t, 0, 0), "good");
    EXPECT_FLOAT_EQ(texlst_crop(t, 0, 0)->frac[2], 0.5f);
    const std::string cat64(64, 'c'), cat63(63, 'c'), tex260(260, 't');
    t = parse("cat " + cat64 + "\ncat " + cat63 + "\ntex " + tex260 + "\ntex ok.png\n");
    EXPECT_EQ(t.refused_lines, (std::vector<uint32_t>{1, 3}));
    ASSERT_EQ(texlst_cat_count(t), 1u);
    EXPECT_EQ(texlst_tex_count(t, 0), 1u);
}
