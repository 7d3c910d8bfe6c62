// Saving a picture's bytes: whatever fails, the path holds the old file or
// the whole new one, nothing is reported as saved, and the log says why.
#include "disp/screenshot.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "child_proc.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> filled(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

std::vector<uint8_t> read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int save_logged(const std::string& path, const std::vector<uint8_t>& bytes, std::string* log)
{
    testing::internal::CaptureStderr();
    const int ok = disp_screenshot_save_file(path, bytes);
    *log = testing::internal::GetCapturedStderr();
    return ok;
}

size_t entries_in(const std::string& dir)
{
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// A 64 KB file system of the test's own (tmpfs), for the full and read-only
// cases; only root may mount one.
struct SmallFs {
    TempDir dir;
    bool mounted = false;
    SmallFs() { mounted = ::mount("tmpfs", root().c_str(), "tmpfs", 0, "size=64k") == 0; }
    ~SmallFs()
    {
        if (mounted) ::umount2(root().c_str(), MNT_DETACH);
    }
    std::string root() const { return dir.file(""); }
    bool read_only() const
    {
        return ::mount("tmpfs", root().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    }
};

TEST(ShotSave, PathsThatCannotTakeAFileWriteNothingAndLogWhy)
{
    TempDir t;
    t.write("file", "x");
    const struct {
        std::string path, reason;
    } cases[] = {{t.file("missing/a.bmp"), "No such file or directory"},
                 {t.file("file/a.bmp"), "Not a directory"},
                 {t.file(""), "Is a directory"}};
    for (const auto& c : cases) {
        std::string log;
        EXPECT_EQ(save_logged(c.path, filled(100, 1), &log), 0) << c.path;
        EXPECT_NE(log.find("\"" + c.path + "\""), std::string::npos) << log;
        EXPECT_NE(log.find(c.reason), std::string::npos) << log;
    }
    EXPECT_EQ(entries_in(t.file("")), 1u);
    EXPECT_EQ(t.read("file"), "x");
}

TEST(ShotSave, AFullOrReadOnlyFileSystemKeepsTheOldFileByteForByte)
{
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    SmallFs fs;
    if (!fs.mounted) GTEST_SKIP() << "tmpfs cannot be mounted here";
    const std::string old_path = fs.dir.file("old.bmp"), new_path = fs.dir.file("new.bmp");
    const std::vector<uint8_t> old = filled(20000, 'o');
    ASSERT_EQ(disp_screenshot_save_file(old_path, old), 1);
    ::chmod(old_path.c_str(), 0640);
    std::string log;
    for (const std::string& path : {old_path, new_path}) {
        EXPECT_EQ(save_logged(path, filled(200000, 'n'), &log), 0) << path;
        EXPECT_NE(log.find("No space left on device"), std::string::npos) << log;
    }
    ASSERT_TRUE(fs.read_only());
    EXPECT_EQ(save_logged(old_path, filled(10, 'n'), &log), 0);
    EXPECT_NE(log.find("Read-only file system"), std::string::npos) << log;
    EXPECT_EQ(read_all(old_path), old);
    struct stat st;
    ASSERT_EQ(::stat(old_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries_in(fs.root()), 1u);  // no new file, no leftover
}

TEST(ShotSave, AReplacedFileKeepsItsModeAndTheLinkThatLedToIt)
{
    TempDir t;
    t.write("real.bmp", "old");
    ::chmod(t.file("real.bmp").c_str(), 0604);
    fs::create_symlink(t.file("real.bmp"), t.file("link.bmp"));
    ASSERT_EQ(disp_screenshot_save_file(t.file("link.bmp"), filled(3, 'n')), 1);
    EXPECT_TRUE(fs::is_symlink(t.file("link.bmp")));
    EXPECT_EQ(t.read("real.bmp"), "nnn");
    struct stat st;
    ASSERT_EQ(::stat(t.file("real.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(entries_in(t.file("")), 2u);
}

TEST(ShotSave, WhatIsNotAFileIsWrittenInPlaceAndNeverRemoved)
{
    TempDir t;
    ASSERT_EQ(::mkfifo(t.file("pipe").c_str(), 0600), 0);
    std::string log;
    EXPECT_EQ(save_logged(t.file("pipe"), filled(10, 1), &log), 0);  // no reader
    EXPECT_TRUE(fs::is_fifo(t.file("pipe")));
    EXPECT_EQ(disp_screenshot_save_file("/dev/null", filled(10, 1)), 1);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// A save killed at any moment leaves the old picture or a new one whole.
TEST(ShotSave, AKilledSaveNeverLeavesAShortFile)
{
    TempDir t;
    const std::string path = t.file("pic.bmp");
    const size_t size = 8u << 20;
    ASSERT_EQ(disp_screenshot_save_file(path, filled(size, 'a')), 1);
    for (int round = 0; round < 6; ++round) {
        const pid_t child = fork_child([&] {
            for (uint8_t v = 'b';; v = v == 'b' ? 'c' : 'b')
                disp_screenshot_save_file(path, filled(size, v));
            return 0;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 13 * round));
        kill_child(child);
        const std::vector<uint8_t> now = read_all(path);
        ASSERT_EQ(now.size(), size) << round;
        EXPECT_EQ(std::count(now.begin(), now.end(), now[0]), std::ptrdiff_t(size)) << round;
    }
}

}  // namespace
