// Child processes for tests that need a second process: a forked function,
// or the built program (or a copy of it that any user may run) started with
// extra environment variables.
#pragma once
#include <gtest/gtest.h>

#include "plat/ipc.h"
#include "plat/ipc_local.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// Makes this (forked) process the given user and group, with no other
// groups; false when that failed. Needs root.
inline bool become_user(uid_t uid)
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
           ::setresuid(uid, uid, uid) == 0;
}

// Runs fn in a forked child that became the given user: its exit code, 100
// when it could not become that user, -2 when it did not end in time.
inline int run_as_user(uid_t uid, const std::function<int()>& fn)
{
    return finish_child(fork_child([&fn, uid] { return become_user(uid) ? fn() : 100; }),
                        std::chrono::seconds(60));
}

// Makes each file (empty) as the given user, as another user on the machine
// would; 0 when all were made.
inline int make_files_as_user(uid_t uid, const std::vector<std::string>& paths)
{
    return run_as_user(uid, [&paths] {
        for (const std::string& path : paths) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) return 1;
            ::close(fd);
        }
        return 0;
    });
}

// Makes a folder as shared as the machine's temporary folder: sticky, anyone
// may make names in it; its parent (a test's own folder) is opened to others'
// passing through, whatever the umask. Answers its path.
inline std::string make_shared_folder(const std::string& path)
{
    std::filesystem::create_directory(path);
    ::chmod(path.c_str(), 01777);
    ::chmod(std::filesystem::path(path).parent_path().c_str(), 0755);
    return path;
}

// Leaves this (forked) process only the shared folder, in the place of the
// system's temporary folder, for its lock folder: no runtime folder (the
// users' runtime folders are looked for where nobody makes any), and a cache
// folder it cannot make.
inline void use_only_shared_folder(const std::string& shared, const std::string& no_cache)
{
    ::unsetenv("XDG_RUNTIME_DIR");
    plat_ipc_use_system_folders((no_cache + "/run").c_str(), shared.c_str());
    ::setenv("XDG_CACHE_HOME", no_cache.c_str(), 1);
}

// Starts the built program (or a copy of it at program) with the given extra
// environment, its standard error written to stderr_path when one is given;
// before_exec, when given, runs last in the child, e.g. to become another
// user. A child that fails there ends with 126, one that cannot run the
// program with 127, each after a line on its standard error saying why.
inline pid_t spawn_program(const std::vector<std::pair<std::string, std::string>>& env,
                           const std::string& stderr_path = "", const std::string& program = "",
                           const std::function<bool()>& before_exec = {})
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
        if (before_exec && !before_exec()) {
            std::fprintf(stderr, "test: the step before starting failed: %s\n",
                         std::strerror(errno));
            ::_exit(126);
        }
        ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        std::fprintf(stderr, "test: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
        ::_exit(127);
    }
    return pid;
}

// A copy of the built program and its data set in the folder (made), which
// every user may enter and read, for a test that runs the program as another
// user: the checkout may lie in a folder only its owner can reach (root's
// home). The sanitizers' suppressions come along; env points the copy at
// them. Removed with the folder by its owner.
struct ProgramCopy {
    std::string program;
    std::vector<std::pair<std::string, std::string>> env;
    explicit ProgramCopy(const std::filesystem::path& dir)
    {
        namespace fs = std::filesystem;
        const char* built = std::getenv("QUORVEL_TEST_BINARY_DIR");
        const char* source = std::getenv("QUORVEL_TEST_SOURCE_DIR");
        const fs::path from = built ? built : ".";
        fs::create_directories(dir);
        fs::copy_file(from / "quorvel", dir / "quorvel");
        fs::copy(from / "data", dir / "data", fs::copy_options::recursive);
        if (source) {
            fs::copy_file(fs::path(source) / "tests/lsan.supp", dir / "lsan.supp");
            env = {{"LSAN_OPTIONS",
                    "suppressions=" + (dir / "lsan.supp").string() + ":print_suppressions=0"}};
        }
        open_to_all(dir);
        for (const auto& e : fs::recursive_directory_iterator(dir)) open_to_all(e.path());
        fs::permissions(dir.parent_path(), fs::perms::others_exec, fs::perm_options::add);
        program = (dir / "quorvel").string();
    }
    // Others may read the file, and enter it or run it where its owner may.
    static void open_to_all(const std::filesystem::path& path)
    {
        namespace fs = std::filesystem;
        const fs::perms now = fs::status(path).permissions();
        const bool enter = (now & fs::perms::owner_exec) != fs::perms::none;
        fs::permissions(
            path,
            fs::perms::group_read | fs::perms::others_read |
                (enter ? fs::perms::group_exec | fs::perms::others_exec : fs::perms::none),
            fs::perm_options::add);
    }
};

// The named objects whose names hold the prefix (full paths): the files in
// the lock folder (this process's unless another is named), and anything in
// /dev/shm, where the program makes nothing.
inline std::vector<std::string> ipc_objects_named(const std::string& prefix,
                                                  const std::string& folder = plat_ipc_lock_dir())
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const std::string& dir : {std::string("/dev/shm"), folder}) {
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
