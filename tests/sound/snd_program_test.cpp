// The program without its sound file ends with code 1 through the 30-second "SOUND ERROR" screen.
#include <gtest/gtest.h>

#include "child_proc.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SoundProgram, AMissingSoundFileEndsThroughTheErrorScreen)
{
    const char* bin = std::getenv("QUORVEL_TEST_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    TempDir dir;
    // A copy of the program, so that its own folder is this one.
    fs::copy_file(fs::path(bin) / "quorvel", dir.file("quorvel"));
    fs::create_directories(dir.file("data"));
    for (const auto& e : fs::directory_iterator(fs::path(bin) / "data"))
        if (e.is_directory() && e.path().filename() != "sound")
            fs::create_directory_symlink(e.path(),
                                         fs::path(dir.file("data")) / e.path().filename());

    // Taken before the fork, so that "%p" is this process's id and the clean-up at the end finds
    // what the program leaves (it ends without its shut-down).
    const std::string prefix = plat_ipc_prefix() + "snd";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QUORVEL_IPC_PREFIX", prefix.c_str(), 1);
        const std::string exe = dir.file("quorvel");
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    EXPECT_EQ(finish_child(pid, 120s), 1) << "-2: still running; 1000 + n: signal n";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 29s);  // the screen's time, not a crash
}

}  // namespace
