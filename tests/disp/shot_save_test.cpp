// Saving a picture: whatever fails, the old file or the whole new one, and the log says why.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "child_proc.h"
#include "disp/screenshot.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string save_log(const std::string& path, size_t n, int expect, char v = 'n')
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(disp_screenshot_save_file(path, std::vector<uint8_t>(n, uint8_t(v))), expect) << path;
    return testing::internal::GetCapturedStderr();
}

// A missing folder, a file as folder, a folder, a pipe without a reader:
// nothing is made or removed, the log names the path and the reason.
TEST(ShotSave, PathsThatCannotTakeAFileLogWhyAndKeepWhatWasThere)
{
    TempDir t;
    t.write("file", "x");
    ASSERT_EQ(::mkfifo(t.file("pipe").c_str(), 0600), 0);
    for (auto [path, reason] : {std::pair{t.file("missing/a.bmp"), "No such file"},
                                {t.file("file/a.bmp"), "Not a directory"},
                                {t.file(""), "Is a directory"},
                                {t.file("pipe"), "No such device"}}) {
        const std::string log = save_log(path, 9, 0);
        EXPECT_NE(log.find("\"" + path + "\": "), std::string::npos) << log;
        EXPECT_NE(log.find(reason), std::string::npos) << log;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(t.file("")), {}), 2);
}

// On a 64 KB tmpfs (root only): a save through a link replaces the file, mode
// kept; saves on the full, then read-only system fail and leave it whole.
TEST(ShotSave, AFullOrReadOnlyFileSystemKeepsTheOldFile)
{
    TempDir t;
    if (::geteuid() != 0 || ::mount("tmpfs", t.file("").c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here";
    ::chmod(t.write("old.bmp", "x").c_str(), 0640);
    fs::create_symlink(t.file("old.bmp"), t.file("link.bmp"));
    save_log(t.file("link.bmp"), 20000, 1, 'o');
    for (const std::string& path : {t.file("link.bmp"), t.file("new.bmp")})
        EXPECT_NE(save_log(path, 200000, 0).find("No space left on device"), std::string::npos);
    EXPECT_EQ(::mount("tmpfs", t.file("").c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_NE(save_log(t.file("old.bmp"), 10, 0).find("Read-only file system"), std::string::npos);
    EXPECT_EQ(t.read("old.bmp"), std::string(20000, 'o'));
    EXPECT_EQ(unsigned(fs::status(t.file("old.bmp")).permissions()), 0640u);
    EXPECT_TRUE(fs::is_symlink(t.file("link.bmp")));
    EXPECT_EQ(std::distance(fs::directory_iterator(t.file("")), {}), 2);  // no leftover
    ::umount2(t.file("").c_str(), MNT_DETACH);
}

TEST(ShotSave, AKilledSaveNeverLeavesAShortFile)
{
    TempDir t;
    const size_t size = 8u << 20;
    save_log(t.file("pic.bmp"), size, 1, 'a');
    for (int round = 0; round < 6; ++round) {
        const pid_t child = fork_child([&] {
            for (uint8_t v = 'b';; v ^= 1)
                disp_screenshot_save_file(t.file("pic.bmp"), std::vector(size, v));
            return 0;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 13 * round));
        kill_child(child);
        const std::string now = t.read("pic.bmp");
        ASSERT_EQ(now.size(), size) << round;
        EXPECT_EQ(now.find_first_not_of(now[0]), std::string::npos) << round;
    }
}

}  // namespace
