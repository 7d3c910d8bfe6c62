// The built program, headless: it runs until SIGTERM and then shuts down
// with exit code 0; a second start while it runs ends at once with 0; a
// killed first run does not block the next.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "child_proc.h"

namespace {

using namespace std::chrono_literals;
using Env = std::vector<std::pair<std::string, std::string>>;

// A started program; killed when a test ends before it was reaped.
struct Program {
    pid_t pid = -1;
    explicit Program(const Env& env) : pid(spawn_program(env)) {}
    ~Program() { kill_child(pid); }
    // The exit code after SIGTERM, or -1 when it did not end in time.
    int terminate()
    {
        ::kill(pid, SIGTERM);
        int status = 0;
        if (!wait_child(pid, &status, 60s)) return -1;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    bool running() const
    {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) == 0;
    }
};

// The starts of one test meet through one prefix that no other test process
// uses (and whose lock files this process removes when it ends).
std::string program_prefix(const char* tag) { return plat_ipc_prefix() + tag; }

Env program_env(const std::string& prefix)
{
    return {{"SDL_VIDEODRIVER", "offscreen"},
            {"QUORVEL_DIALOGS", "script"},
            {"QUORVEL_IPC_PREFIX", prefix}};
}

// Whether some process holds a flock on the file, read from /proc/locks so
// that looking never takes the lock itself (a program starting at that
// moment would take itself for a second instance).
bool flock_held(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    for (std::string line; std::getline(locks, line);)
        if (line.find("FLOCK") != std::string::npos && line.find(inode) != std::string::npos)
            return true;
    return false;
}

// Waits until a started program is past its instance check.
bool instance_lock_taken(const std::string& prefix)
{
    const std::string path = plat_ipc_lock_dir() + "/quorvel-" + prefix + "zmtq07.lock";
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < end) {
        if (flock_held(path)) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(Program, RunsUntilSigtermThenExitsZero)
{
    const std::string prefix = program_prefix("a");
    Program first(program_env(prefix));
    ASSERT_TRUE(instance_lock_taken(prefix));
    std::this_thread::sleep_for(1s);  // well into the frame loop
    ASSERT_TRUE(first.running());
    EXPECT_EQ(first.terminate(), 0);
}

TEST(Program, ASecondStartEndsAtOnceWithZero)
{
    const std::string prefix = program_prefix("b");
    Program first(program_env(prefix));
    ASSERT_TRUE(instance_lock_taken(prefix));
    Program second(program_env(prefix));
    int status = 0;
    ASSERT_TRUE(wait_child(second.pid, &status, 30s)) << "the second start kept running";
    second.pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.terminate(), 0);
}

TEST(Program, AKilledRunDoesNotBlockTheNext)
{
    const std::string prefix = program_prefix("c");
    {
        Program first(program_env(prefix));
        ASSERT_TRUE(instance_lock_taken(prefix));
    }  // killed
    Program next(program_env(prefix));
    ASSERT_TRUE(instance_lock_taken(prefix));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(next.running()) << "the next start ended as a second instance";
    EXPECT_EQ(next.terminate(), 0);
}

}  // namespace
