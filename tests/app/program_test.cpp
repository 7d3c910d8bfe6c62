// The built program, headless: SIGTERM, SIGINT and SIGHUP end it with 0 and leave no named
// object, also while a real dialog is open (on a virtual X server); a second start ends at once
// with 0, also when its environment names other runtime and temporary folders; a killed run does
// not block the next.
#include "child_proc.h"
#include "temp_dir.h"
#include "virtual_screen.h"

#include <sys/stat.h>

#include <fstream>

namespace {

using namespace std::chrono_literals;

constexpr uid_t PROGRAM_TEST_SECOND_USER = 65534;  // nobody

// Whether a flock is held on the file, from /proc/locks: taking it to look would make a program
// starting then take itself for a second instance.
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

using Env = std::vector<std::pair<std::string, std::string>>;

// A started program, killed if not reaped; a test's starts share a prefix no other test uses. Its
// lock folder is this process's unless the extra environment gives it another; the extra
// environment goes over the headless one.
struct Program {
    std::string prefix;
    std::string folder;
    pid_t pid = -1;
    explicit Program(const char* tag, const Env& extra = {},
                     const std::string& lock_folder = plat_ipc_lock_dir(),
                     const std::string& stderr_path = "",
                     const std::function<bool()>& before_exec = {})
        : prefix(plat_ipc_prefix() + tag), folder(lock_folder)
    {
        Env env = {{"SDL_VIDEODRIVER", "offscreen"},
                   {"QUORVEL_DIALOGS", "script"},
                   {"QUORVEL_IPC_PREFIX", prefix}};
        env.insert(env.end(), extra.begin(), extra.end());
        pid = spawn_program(env, stderr_path, "", before_exec);
    }
    ~Program() { kill_child(pid); }
    // The exit code after the signal, or -2 when it did not end in time.
    int terminate(int sig = SIGTERM)
    {
        ::kill(pid, sig);
        return finish(60s);
    }
    int finish(std::chrono::seconds timeout)
    {
        const int code = finish_child(pid, timeout);
        pid = -1;
        return code;
    }
    bool running() const
    {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) == 0;
    }
    // Waits until the program is past its instance check.
    bool instance_lock_taken() const
    {
        const std::string path = folder + "/quorvel-" + prefix + "zmtq07.lock";
        return comes_true([&path] { return flock_held(path); });
    }
    // Waits until the files of the sound and display semaphores are in the lock folder.
    bool semaphores_made() const
    {
        const std::string start = folder + "/quorvel-" + prefix + "QVX_MSECT_";
        return comes_true([&start] {
            for (const char* name : {"MMF_sound", "EVT_sound", "MMF_disp", "EVT_disp"})
                if (!std::filesystem::exists(start + name + ".shm")) return false;
            return true;
        });
    }
    // Whether the condition holds within 30 s.
    static bool comes_true(const std::function<bool()>& holds)
    {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            if (holds()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
};

// Each signal while the frames run, and one while the program is still starting (the signal comes
// before the first message is taken and must not be lost): the full shut-down, which removes
// every named object and lock file of the run.
TEST(Program, EndSignalsShutDownWithZeroAndLeaveNoNamedObjects)
{
    const struct {
        int sig;
        bool while_starting;
    } cases[] = {{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGINT, true}};
    char tag[] = "a0";
    for (const auto& c : cases) {
        ++tag[1];
        Program p(tag);
        ASSERT_TRUE(p.instance_lock_taken()) << c.sig;
        if (!c.while_starting) {
            // What the check below looks for is there while the program runs.
            ASSERT_TRUE(p.semaphores_made()) << c.sig;
            std::this_thread::sleep_for(1s);  // well into the frame loop
            ASSERT_TRUE(p.running()) << c.sig;
        }
        EXPECT_EQ(p.terminate(c.sig), 0) << c.sig << (c.while_starting ? " while starting" : "");
        EXPECT_EQ(ipc_objects_named(p.prefix), std::vector<std::string>{}) << c.sig;
    }
}

// Clicks the tool's save button every ten frames from frame 120, when loading is done (as the
// end-to-end test counts): a click while loading still runs is lost, and no frame runs while the
// dialog it opens is open.
std::string program_clicks_on_save(void)
{
    std::string script = "0 move 400 450\n1 move 400 450\n";
    for (int f = 120; f < 3000; f += 10)
        script += std::to_string(f) + " move 776 72\n" + std::to_string(f + 1) + " move 776 72\n" +
                  std::to_string(f + 2) + " down left\n" + std::to_string(f + 5) + " up left\n";
    return script;
}

constexpr char PROGRAM_OVERWRITE[] = "同名のファイルが存在します。上書きしますか？";

bool has(const std::string& log, const std::string& line) { return log.find(line) != log.npos; }

// Real dialogs: an end signal while the save dialog or the overwrite question is open closes it
// as Cancel, and the program ends as at any other time; the box that follows a cancelled save
// dialog does not hold it up.
TEST(Program, AnEndSignalClosesAnOpenDialogAndShutsDown)
{
    if (x_tools_missing()) GTEST_SKIP() << "needs Xvfb and xdotool";
    const TempDir tmp;
    // Large enough that the program picks the 800 x 600 client the script's positions are for.
    const VirtualScreen screen(tmp.file(""), "1024x768x24");
    const std::string& d = screen.display();
    ASSERT_FALSE(d.empty()) << "Xvfb did not start";
    const std::string existing = tmp.file("old.bmp");
    const Env on_x = {{"SDL_VIDEODRIVER", "x11"},
                      {"DISPLAY", d},
                      {"QUORVEL_DIALOGS", ""},  // real dialogs
                      {"NO_AT_BRIDGE", "1"},    // no accessibility bus to wait for
                      {"GSETTINGS_BACKEND", "memory"},
                      {"QUORVEL_INPUT_SCRIPT", tmp.write("input.txt", program_clicks_on_save())}};
    const struct {
        int sig;
        bool at_question;  // the save dialog first chose an existing file
    } cases[] = {{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGTERM, true}};
    char tag[] = "d0";
    for (const auto& c : cases) {
        ++tag[1];
        const std::string log_name = std::string(tag) + ".log";
        Program p(tag, on_x, plat_ipc_lock_dir(), tmp.file(log_name));
        ScreenRect save, box;
        ASSERT_TRUE(find_window(d, "Save As", &save, 120)) << c.sig << "\n" << tmp.read(log_name);
        if (c.at_question) {
            // The file is made only once its name is typed: a name the dialog could complete
            // would open a list of completions that takes the Return.
            const std::string focus = "windowfocus --sync " + std::to_string(save.id);
            xdotool(d, focus + " type --delay 20 '" + existing + "'");
            tmp.write("old.bmp", "old");
            // Return until the dialog answers: one that comes while GTK still looks at the
            // typed name can be lost. Once the dialog is gone, focusing it fails and no key
            // is sent.
            ASSERT_TRUE(within_seconds(30, [&] {
                xdotool(d, focus + " key Return");
                return within_seconds(3, [&] { return has(tmp.read(log_name), "dialog: save"); });
            })) << tmp.read(log_name);
            ASSERT_TRUE(find_window(d, PROGRAM_OVERWRITE, &box)) << tmp.read(log_name);
        }
        ::kill(p.pid, c.sig);
        const int code = p.finish(30s);
        const std::string log = tmp.read(log_name);
        EXPECT_EQ(code, 0) << c.sig << " (-2: still running)\n" << log;
        EXPECT_EQ(ipc_objects_named(p.prefix), std::vector<std::string>{}) << c.sig;
        if (c.at_question) {
            EXPECT_TRUE(has(log, "dialog: question \"" + std::string(PROGRAM_OVERWRITE) + "\" \"" +
                                     existing + "\" -> cancel\n"))
                << log;
            EXPECT_EQ(tmp.read("old.bmp"), "old");
        } else {
            EXPECT_TRUE(has(log, "dialog: save \"Save As\" \"BITMAP画像 (*.bmp)\" -> cancel\n") &&
                        has(log, "dialog: message \"キャンセルしました。\" \"\" -> ok\n"))
                << c.sig << "\n"
                << log;
        }
    }
}

TEST(Program, ASecondStartEndsAtOnceWithZero)
{
    Program first("b");
    ASSERT_TRUE(first.instance_lock_taken());
    EXPECT_EQ(Program("b").finish(30s), 0) << "-2: the second start kept running";
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.terminate(), 0);
}

TEST(Program, AKilledRunDoesNotBlockTheNext)
{
    ASSERT_TRUE(Program("c").instance_lock_taken());  // then killed
    Program next("c");
    ASSERT_TRUE(next.instance_lock_taken());
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(next.running()) << "the next start ended as a second instance";
    EXPECT_EQ(next.terminate(), 0);
}

constexpr uid_t PROGRAM_TEST_LONE_USER = 65533;  // a user of no name, with no session of its own
constexpr uid_t PROGRAM_TEST_SQUATTED_USER = 65532;  // another such user, whose folder is taken

// Whether the folder is the user's alone, as the program wants a runtime folder of the system's.
bool private_folder_of(const std::string& path, uid_t uid)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
           (st.st_mode & 07777) == 0700;
}

// A folder that the test or the program makes, removed afterwards with what is in it unless it
// was there before.
struct RemovedIfMade {
    std::string path;
    bool was_there;
    explicit RemovedIfMade(const std::string& folder)
        : path(folder), was_there(std::filesystem::exists(folder))
    {}
    ~RemovedIfMade()
    {
        std::error_code ec;
        if (!was_there) std::filesystem::remove_all(path, ec);
    }
};

// Another user who makes the program's folder in the system's temporary folder first, with no
// runtime folder or one open to others, leaves the program its single instance and its sound: the
// lock file and the semaphores live in the cache folder, a second start ends at once, and the
// shut-down leaves nothing there. Run as a user of no session, whose folder in /tmp the test
// squats and removes afterwards.
TEST(Program, AnotherUsersFolderInTheTemporaryFolderLeavesItsObjectsInTheCacheFolder)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run a child as a second user";
    const uid_t uid = PROGRAM_TEST_SQUATTED_USER;
    const std::string squatted = "/tmp/quorvel-" + std::to_string(uid);
    if (std::filesystem::exists("/run/user/" + std::to_string(uid)))
        GTEST_SKIP() << "the user has a runtime folder here";
    if (std::filesystem::exists(squatted)) GTEST_SKIP() << squatted << " is there already";
    const RemovedIfMade squat_made(squatted);
    ASSERT_EQ(run_as_user(PROGRAM_TEST_SECOND_USER,
                          [&squatted] { return ::mkdir(squatted.c_str(), 0700) == 0 ? 0 : 1; }),
              0);
    TempDir t;
    const std::string open_runtime = make_shared_folder(t.file("run"));
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const auto as_user = [uid] { return become_user(uid); };
    for (const std::string& runtime : {std::string(), open_runtime}) {
        const std::string cache = t.file("cache" + std::to_string(runtime.size()));
        ASSERT_EQ(::mkdir(cache.c_str(), 0700) | ::chown(cache.c_str(), uid, uid), 0);
        const std::string folder = cache + "/quorvel-" + host;
        const Env env = {{"XDG_RUNTIME_DIR", runtime}, {"XDG_CACHE_HOME", cache}};
        Program first("d", env, folder, t.file("first.err"), as_user);
        ASSERT_TRUE(first.instance_lock_taken()) << runtime << t.read("first.err");
        EXPECT_TRUE(first.semaphores_made()) << runtime;
        EXPECT_EQ(Program("d", env, folder, "", as_user).finish(30s), 0)
            << "-2: the second start kept running";
        EXPECT_TRUE(first.running());
        EXPECT_EQ(first.terminate(), 0);
        EXPECT_EQ(ipc_objects_named(first.prefix, folder), std::vector<std::string>{});
        const std::string said = t.read("first.err");
        EXPECT_NE(said.find(squatted + " is not a private folder"), std::string::npos) << said;
        EXPECT_EQ(said.find("named objects refused"), std::string::npos) << said;
    }
}

// One user's starts meet whatever their environment names: while one runs, a start from a shell
// with another TMPDIR, or without the session's XDG_RUNTIME_DIR (cron, su), ends at once with 0,
// in the user's /run/user/<uid> and, where there is none, in /tmp/quorvel-<uid>. Run as a user
// of no session, for whom the test makes /run/user/<uid>.
TEST(Program, StartsOfOneUserMeetWhateverTheirRuntimeAndTemporaryFolders)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as a user of no session";
    const uid_t uid = PROGRAM_TEST_LONE_USER;
    const std::string user_runtime = "/run/user/" + std::to_string(uid);
    const std::string own = "/tmp/quorvel-" + std::to_string(uid);
    if (std::filesystem::exists(own) && !private_folder_of(own, uid))
        GTEST_SKIP() << own << " is not the user's";
    const RemovedIfMade own_made(own);
    TempDir t;
    // Temporary folders the user may make its own folder in, and a cache folder it cannot make:
    // starts that missed each other would run side by side, not meet in the cache folder.
    const std::string tmp_a = make_shared_folder(t.file("a")),
                      tmp_b = make_shared_folder(t.file("b"));
    const auto as_user = [uid] { return become_user(uid); };
    const auto second_start_ends = [&](const char* tag, const std::string& folder, const Env& first,
                                       const Env& second) {
        Program p(tag, first, folder, t.file("first.err"), as_user);
        ASSERT_TRUE(p.instance_lock_taken()) << folder << "\n" << t.read("first.err");
        EXPECT_EQ(Program(tag, second, folder, t.file("second.err"), as_user).finish(30s), 0)
            << tag << ": -2, the second start kept running\n"
            << t.read("second.err");
        EXPECT_TRUE(p.running()) << tag;
        EXPECT_EQ(p.terminate(), 0) << tag;
        EXPECT_EQ(ipc_objects_named(p.prefix, folder), std::vector<std::string>{}) << tag;
    };
    const std::string no_cache = t.file("no/cache");
    const Env plain_a = {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", no_cache}};
    const Env plain_b = {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_b}, {"XDG_CACHE_HOME", no_cache}};
    if (!std::filesystem::exists(user_runtime)) second_start_ends("e", own, plain_a, plain_b);
    {
        const RemovedIfMade users_made("/run/user"), made(user_runtime);
        ::mkdir("/run/user", 0755);
        if (::mkdir(user_runtime.c_str(), 0700) == 0) ::chown(user_runtime.c_str(), uid, uid);
        if (!private_folder_of(user_runtime, uid))
            GTEST_SKIP() << user_runtime << " is not the user's";
        const Env session = {
            {"XDG_RUNTIME_DIR", user_runtime}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", no_cache}};
        second_start_ends("f", user_runtime, session, plain_b);
        second_start_ends("g", user_runtime, plain_b, session);
        second_start_ends("h", user_runtime, plain_a, plain_b);
    }
}

}  // namespace
