// The name hash, the path splitters and the name tokens.
#include "res/name.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

TEST(NameHash, KnownValuesAndACompareThatIgnoresCase)
{
    EXPECT_EQ((std::array{name_hash(nullptr), name_hash(""), name_hash("a"), name_hash("test_def"),
                          name_hash("disp_res"), name_hash_sv("disp_res")}),
              (std::array<NameHash, 6>{0, 0, 0x21, 0x94D4F071u, 0x4B178390u, 0x4B178390u}));
    // Only the low six bits of a byte count.
    EXPECT_EQ(name_hash("0"), name_hash("p"));
    EXPECT_EQ(name_hash_lower("TEST_DEF"), 0x94D4F071u);
    EXPECT_EQ(name_hash_lower(std::string(1000, 'A').c_str()),
              name_hash(std::string(1000, 'a').c_str()));
    EXPECT_EQ(name_icmp("ABC", "abc"), 0);
    EXPECT_EQ(name_icmp("abd", "ABC"), 'd' - 'C');
    EXPECT_LT(name_icmp("ab", "abc"), 0);
    EXPECT_EQ(name_icmp(nullptr, ""), 0);
    EXPECT_STREQ(name_contains("hello_clamp", "_clamp"), "_clamp");
    EXPECT_EQ(name_contains("hello", "x"), nullptr);
}

TEST(NamePath, SplitsFolderStemAndExtensionAndRefusesWhatDoesNotFit)
{
    std::array<char, 64> out;
    ASSERT_TRUE(name_file_stem(out, "dir\\sub/name.tex.bin"));
    EXPECT_STREQ(out.data(), "name");
    name_file_stem(out, "name");
    EXPECT_STREQ(out.data(), "name");
    name_file_with_ext(out, "dir\\sub/name.tex.bin");
    EXPECT_STREQ(out.data(), "name.tex.bin");
    name_dir_part(out, "dir\\sub/name.bin");
    EXPECT_STREQ(out.data(), "dir\\sub");
    name_dir_part(out, "name");
    EXPECT_STREQ(out.data(), "");
    name_lower_copy(out, "AbC");
    EXPECT_STREQ(out.data(), "abc");
    std::array<char, 5> small;
    EXPECT_FALSE(name_file_stem(small, "longname.png"));
    EXPECT_STREQ(small.data(), "");
    EXPECT_TRUE(name_file_stem(small, "four.png"));
    EXPECT_FALSE(name_join(small, "ab", "cd"));
    EXPECT_STREQ(small.data(), "");
    EXPECT_FALSE(name_lower_copy(small, "ABCDE"));
}

TEST(NameTokens, HasTokenJoinReplaceSuffixAndStripVariants)
{
    EXPECT_EQ((std::array{name_has_token("a_clamp_b", "clamp"), name_has_token("a_clamp", "clamp"),
                          name_has_token("a_clampx", "clamp"), name_has_token("clamp", "clamp")}),
              (std::array{true, true, false, false}));
    std::array<char, 32> out;
    name_join(out, "skin", "normal");
    EXPECT_STREQ(out.data(), "skin_normal");
    name_join(out, nullptr, "x");
    EXPECT_STREQ(out.data(), "");
    name_replace_suffix(out, "body_a_b", "lod1");
    EXPECT_STREQ(out.data(), "body_lod1");
    name_replace_suffix(out, nullptr, "x");
    EXPECT_STREQ(out.data(), "");
    std::array<char, 4> small;
    EXPECT_EQ(name_strip_variant(small, nullptr), 0);
    EXPECT_STREQ(small.data(), "");
    EXPECT_EQ(name_strip_variant(small, "abcd"), -1);
    EXPECT_STREQ(small.data(), "");
    EXPECT_EQ(name_strip_variant(small, "abc_NRM"), 1);  // fits once stripped
    EXPECT_STREQ(small.data(), "abc");
}
