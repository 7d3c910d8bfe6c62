// Paths with '\', case-insensitive look-ups, sorted listings.
#include "plat/files.h"
#include "plat/files_local.h"

#include <chrono>
#include <thread>
#include <tuple>

#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(PlatFiles, AnExactNameWinsOverACaseMatchAndNewFilesGoIntoTheResolvedFolder)
{
    TempDir t;
    t.write("a.txt", "lower");
    t.write("A.txt", "upper");
    std::string out;
    ASSERT_TRUE(plat_path_resolve(t.file("A.txt"), &out));
    EXPECT_EQ(out, t.file("A.txt"));
    // Without an exact match the listing order decides, the same everywhere.
    ASSERT_TRUE(plat_path_resolve(t.file("a.TXT"), &out));
    EXPECT_EQ(out, t.file("A.txt"));
    fs::create_directories(t.file("Out"));
    EXPECT_EQ(plat_path_for_write(t.file("out\\New.bmp")), t.file("Out/New.bmp"));
    // Every write goes through plat_write_file: plat_fopen only reads.
    for (const char* mode : {"w", "wb", "a", "r+"})
        EXPECT_EQ(plat_fopen(t.file("a.txt"), mode), nullptr) << mode;
    EXPECT_EQ(t.read("a.txt"), "lower");
}

TEST(PlatFiles, ASettledFolderIsListedOnceAndChangesAreSeen)
{
    TempDir t;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string out;
    const uint64_t before = plat_folder_listings();
    for (int i = 0; i < 100; ++i) plat_path_resolve(t.file("g" + std::to_string(i)), &out);
    EXPECT_EQ(plat_folder_listings() - before, 1u);
    t.write("G5", "n");
    EXPECT_TRUE(plat_path_resolve(t.file("g5"), &out));
}

TEST(PlatFiles, PatternsNameOrderAndFailedListings)
{
    const std::tuple<const char*, const char*, bool> matches[] = {
        {"model.bin", "*.BIN", true}, {"m1.bin", "m?.bin", true},     {"abc", "*", true},
        {"a.b.bin", "*.bin", true},   {"model.bink", "*.bin", false}, {"bin", "*.bin", false}};
    for (auto [name, pattern, match] : matches)
        EXPECT_EQ(plat_name_matches(name, pattern), match) << name << " " << pattern;
    // Without regard to case first; equal so, the bytes decide.
    for (auto [a, b, less] :
         {std::tuple{"a", "B", true}, {"A", "a", true}, {"ab", "abc", true}, {"b", "b", false}})
        EXPECT_EQ(plat_name_less(a, b), less) << a << " " << b;
    // A failed listing leaves no names from an earlier one.
    TempDir t;
    t.write("a.bin", "");
    std::vector<std::string> names;
    ASSERT_TRUE(plat_list_files(t.file(""), "*.bin", &names));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_FALSE(plat_list_files(t.file("missing"), "*", &names));
    EXPECT_TRUE(names.empty());
}

}  // namespace
