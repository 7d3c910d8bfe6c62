// Child processes for tests that need a second process: a forked function,
// or the built program started with extra environment variables.
#pragma once
#include <gtest/gtest.h>

#include "plat/ipc.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Runs fn in a forked child; the child ends with _exit(fn()), so no test
// state is torn down twice. Answers the child's pid.
inline pid_t fork_child(const std::function<int()>& fn)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(fn());
    return pid;
}

// Waits up to timeout for the child; true and its raw status when it ended.
inline bool wait_child(pid_t pid, int* status, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 || std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Kills and reaps a child that is still running (test clean-up).
inline void kill_child(pid_t pid)
{
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// The exit code of an ended child, 1000 + the signal when one ended it.
inline int exit_code(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// The child's exit code, or -2 when it did not end in time (it is killed then).
inline int finish_child(pid_t pid, std::chrono::milliseconds timeout)
{
    int status = 0;
    if (wait_child(pid, &status, timeout)) return exit_code(status);
    kill_child(pid);
    return -2;
}

// Starts the built program (or a copy of it at program) with the given extra
// environment, its standard error written to stderr_path when one is given.
inline pid_t spawn_program(const std::vector<std::pair<std::string, std::string>>& env,
                           const std::string& stderr_path = "", const std::string& program = "")
{
    const char* dir = std::getenv("QUORVEL_TEST_BINARY_DIR");
    const std::string path = program.empty() ? std::string(dir ? dir : ".") + "/quorvel" : program;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The program keeps an interrupt or hang-up ignored by its starter;
        // it starts here as from a terminal, whatever started the tests.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
        const int fd = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
        ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// The named objects whose names hold the prefix: shared memory in /dev/shm
// and files in the lock folder (full paths).
inline std::vector<std::string> ipc_objects_named(const std::string& prefix)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const std::string& dir : {std::string("/dev/shm"), plat_ipc_lock_dir()}) {
        if (dir.empty()) continue;
        for (const auto& e : std::filesystem::directory_iterator(dir, ec))
            if (e.path().filename().string().find(prefix) != std::string::npos)
                found.push_back(e.path().string());
    }
    return found;
}

// Removes the named objects of this test process's prefix when it ends, so
// that test runs leave nothing behind, also when a test killed a program.
class IpcObjectCleanup : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (plat_ipc_prefix().empty()) return;
        std::error_code ec;
        for (const std::string& path : ipc_objects_named(plat_ipc_prefix()))
            std::filesystem::remove(path, ec);
    }
};
inline ::testing::Environment* const g_ipc_object_cleanup =
    ::testing::AddGlobalTestEnvironment(new IpcObjectCleanup);
