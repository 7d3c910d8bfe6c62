// The data-file reader: plain files are read whole; folders, pipes, devices and
// files over the ceiling are refused at once with their reason; reads stop at
// the size seen when the file was opened.
#include <gmock/gmock.h>

#include "child_proc.h"
#include "hostile_files.h"
#include "plat/files.h"
#include "temp_dir.h"

namespace {

using ::testing::HasSubstr;

TEST(PlatDataFile, OnlyRegularFilesWithinTheLimitAreReadAndNothingBlocks)
{
    ::alarm(60);  // an open that blocks or a read without end ends the test program
    TempDir t;
    std::filesystem::create_directories(t.file("Sub"));
    t.write("Sub/Plain.bin", "abcdef");
    std::vector<uint8_t> bytes;
    std::string why = "stale";
    // Found as every data file is: '\' separators, any case.
    ASSERT_EQ(plat_read_data_file(t.file("sub\\PLAIN.BIN"), PLAT_DATA_FILE_MAX, &bytes, &why), 1);
    EXPECT_EQ(std::tuple(std::string(bytes.begin(), bytes.end()), why), std::tuple("abcdef", ""));
    const struct {
        Hostile kind;
        const char* reason;
    } rows[] = {{Hostile::folder, "a folder"},
                {Hostile::pipe, "a named pipe"},
                {Hostile::endless, "a device"},
                {Hostile::oversized, "268435457 bytes, over the limit of 268435456"}};
    PlatDataFile f;
    for (const auto& row : rows) {
        const std::string path = t.file(hostile_name(row.kind));
        ASSERT_TRUE(make_hostile(path, row.kind));
        bytes.assign(3, 1);
        EXPECT_EQ(plat_read_data_file(path, PLAT_DATA_FILE_MAX, &bytes, &why), 0);
        EXPECT_THAT(why, HasSubstr(row.reason)) << hostile_name(row.kind);
        EXPECT_TRUE(bytes.empty());
        // A caller's larger limit is held to the ceiling; the file open before is let go.
        ASSERT_EQ(plat_data_file_open(t.file("Sub/Plain.bin"), 6, &f, nullptr), 1);
        EXPECT_EQ(plat_data_file_open(path, UINT64_MAX, &f, nullptr), 0);
        EXPECT_EQ(f.fd, -1);
    }
    // A caller's smaller limit counts; a missing file is no refusal and says nothing.
    EXPECT_EQ(plat_read_data_file(t.file("Sub/Plain.bin"), 5, &bytes, &why), 0);
    EXPECT_THAT(why, HasSubstr("6 bytes, over the limit of 5"));
    EXPECT_EQ(plat_read_data_file(t.file("none"), PLAT_DATA_FILE_MAX, &bytes, &why), 0);
    EXPECT_EQ(why, "");
    ::alarm(0);
}

// A file behind a folder the user may not search is refused with that reason, not taken for a
// missing file.
TEST(PlatDataFile, AFolderThatMayNotBeSearchedIsARefusalNotAMissingFile)
{
    TempDir t;
    ::chmod(t.file("").c_str(), 0755);
    const std::string folder = t.file("closed");
    std::filesystem::create_directories(folder);
    const std::string file = t.write("closed/a.bin", "abc");
    const bool root = ::geteuid() == 0;  // root searches any folder: the reader is another user
    ::chmod(folder.c_str(), root ? 0700 : 0);
    const auto refused_so = [&] {
        std::vector<uint8_t> bytes;
        std::string why;
        if (plat_read_data_file(file, PLAT_DATA_FILE_MAX, &bytes, &why)) return 2;
        return why == "Permission denied" ? 0 : 1;
    };
    const int result = root ? run_as_user(65534, refused_so)
                            : finish_child(fork_child(refused_so), std::chrono::seconds(30));
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(result, 0);
}

TEST(PlatDataFile, ReadsEndAtTheSizeSeenWhenOpened)
{
    TempDir t;
    const std::string path = t.write("grows.bin", "0123456789");
    PlatDataFile f;
    uint8_t buf[64];
    ASSERT_EQ(plat_data_file_open(path, PLAT_DATA_FILE_MAX, &f, nullptr), 1);
    std::ofstream(path, std::ios::app) << "more";  // what grows after opening is not read
    EXPECT_EQ(plat_data_file_read(&f, buf, 4), 4u);
    EXPECT_EQ(plat_data_file_read(&f, buf, sizeof buf), 6u);
    EXPECT_EQ(plat_data_file_read(&f, buf, sizeof buf), 0u);
    EXPECT_EQ(f.error, "");
    // A file that shrinks after opening is a failed read, and stays one.
    ASSERT_EQ(plat_data_file_open(path, PLAT_DATA_FILE_MAX, &f, nullptr), 1);
    ASSERT_EQ(f.size, 14u);
    ASSERT_EQ(::truncate(path.c_str(), 3), 0);
    EXPECT_EQ(plat_data_file_read(&f, buf, sizeof buf), 3u);
    EXPECT_THAT(f.error, HasSubstr("shorter than the 14 bytes"));
    EXPECT_EQ(plat_data_file_read(&f, buf, sizeof buf), 0u);
}

}  // namespace
