// The built program, headless: SIGTERM, SIGINT and SIGHUP end it with 0 and leave no named
// object, also while a real dialog is open (on a virtual X server); a second start ends at once
// with 0 and a line saying so, also when its environment names other runtime and temporary
// folders or another user took or gave up its folder in /tmp; a killed run does not block the
// next; without any private folder every thread still runs.
#include "child_proc.h"
#include "temp_dir.h"
#include "virtual_screen.h"

#include <sys/inotify.h>
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

// Who starts the program: by default this process's user, the built program; another user needs a
// copy it can reach and a step that makes the child that user.
struct Starter {
    std::string program;  // empty: the built one
    std::function<bool()> before_exec;
    Env env;  // what the copy needs beside the test's environment
};

// A started program, killed if not reaped; a test's starts share a prefix no other test uses. Its
// lock folder is this process's unless the extra environment gives it another; the extra
// environment goes over the headless one.
struct Program {
    std::string prefix;
    std::string folder;
    std::string stderr_path;
    pid_t pid = -1;
    int code = -1;  // the exit code, once the program ended
    explicit Program(const char* tag, const Env& extra = {},
                     const std::string& lock_folder = plat_ipc_lock_dir(),
                     const std::string& stderr_file = "", const Starter& starter = {})
        : prefix(plat_ipc_prefix() + tag), folder(lock_folder), stderr_path(stderr_file)
    {
        Env env = {{"SDL_VIDEODRIVER", "offscreen"},
                   {"QUORVEL_DIALOGS", "script"},
                   {"QUORVEL_IPC_PREFIX", prefix}};
        env.insert(env.end(), starter.env.begin(), starter.env.end());
        env.insert(env.end(), extra.begin(), extra.end());
        pid = spawn_program(env, stderr_path, starter.program, starter.before_exec);
    }
    ~Program() { kill_child(pid); }
    // The exit code after the signal, or -2 when it did not end in time.
    int terminate(int sig = SIGTERM)
    {
        if (running()) ::kill(pid, sig);
        return finish(60s);
    }
    int finish(std::chrono::seconds timeout)
    {
        if (pid > 0) code = finish_child(pid, timeout);
        pid = -1;
        return code;
    }
    bool running()
    {
        if (pid <= 0) return false;
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == 0) return true;
        if (r == pid) code = exit_code(status);
        pid = -1;
        return false;
    }
    // What the test knows of the run, for a failed check: how it ended, and what it said.
    std::string why()
    {
        std::string told = running() ? "still running"
                                     : "ended with " + std::to_string(code) +
                                           " (126: the step before starting failed, 127: the "
                                           "program could not be started)";
        std::ifstream said(stderr_path);
        return told + "\n" + std::string(std::istreambuf_iterator<char>(said), {});
    }
    // Waits until the program is past its instance check.
    bool instance_lock_taken()
    {
        const std::string path = folder + "/quorvel-" + prefix + "zmtq07.lock";
        return comes_true([&path] { return flock_held(path); });
    }
    // Waits until the files of the sound and display semaphores are in the lock folder.
    bool semaphores_made()
    {
        const std::string start = folder + "/quorvel-" + prefix + "QVX_MSECT_";
        return comes_true([&start] {
            for (const char* name : {"MMF_sound", "EVT_sound", "MMF_disp", "EVT_disp"})
                if (!std::filesystem::exists(start + name + ".shm")) return false;
            return true;
        });
    }
    // Whether the condition holds within 30 s; false as soon as the program ended.
    bool comes_true(const std::function<bool()>& holds)
    {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (running() && std::chrono::steady_clock::now() < end) {
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
        ASSERT_TRUE(p.instance_lock_taken()) << c.sig << " " << p.why();
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

constexpr char PROGRAM_ALREADY_RUNNING[] =
    "quorvel: already running for this user and session; this start ends\n";

TEST(Program, ASecondStartEndsAtOnceWithZeroAndSaysSo)
{
    const TempDir t;
    Program first("b");
    ASSERT_TRUE(first.instance_lock_taken()) << first.why();
    Program second("b", {}, plat_ipc_lock_dir(), t.file("second.err"));
    EXPECT_EQ(second.finish(30s), 0) << "-2: the second start kept running";
    EXPECT_TRUE(has(t.read("second.err"), PROGRAM_ALREADY_RUNNING)) << t.read("second.err");
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.terminate(), 0);
}

TEST(Program, AKilledRunDoesNotBlockTheNext)
{
    ASSERT_TRUE(Program("c").instance_lock_taken());  // then killed
    Program next("c");
    ASSERT_TRUE(next.instance_lock_taken()) << next.why();
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(next.running()) << "the next start ended as a second instance";
    EXPECT_EQ(next.terminate(), 0);
}

constexpr char PROGRAM_NO_PLACE[] =
    "ipc: no private folder of this user: this run has no single-instance check";
constexpr uid_t PROGRAM_TEST_LONE_USER = 65533;  // a user of no name, with no session of its own

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

// What another user does to the lone user's folder in /tmp around the two starts.
enum ProgramSquat {
    NO_SQUAT,
    SQUAT_GONE,   // takes its name before the first start, gives it up before the second
    SQUAT_COMES,  // takes its name before the second, once the first start's folder was removed
};

// Another user (nobody) makes the folder, as that user's own.
void squat_folder(const std::string& path)
{
    ASSERT_EQ(run_as_user(PROGRAM_TEST_SECOND_USER,
                          [&path] { return ::mkdir(path.c_str(), 0700) == 0 ? 0 : 1; }),
              0);
}

// One user's starts meet whatever their environment names and whatever another user does to the
// user's folder in /tmp: while one runs, a start from a shell with another TMPDIR, or without the
// session's XDG_RUNTIME_DIR (cron, su), ends at once with 0 and its line, in the user's
// /run/user/<uid> and, where there is none or it is open to others, in /tmp/quorvel-<uid> and the
// cache folder (also one reached through the user's own link). Another user who took the name in
// /tmp first leaves the program its single instance and its sound in the cache folder (with a line
// saying so, and an escaped one for a runtime folder whose name holds a terminal command); giving
// the name up before the next start changes nothing, nor does taking it once the first start's
// folder was removed. With no folder at all, the program gives up only its single-instance check.
// The shut-down leaves nothing. Run as a user of no session, from a copy of the program it can
// reach, for whom the test makes /run/user/<uid>.
TEST(Program, StartsOfOneUserMeetWhateverTheirRuntimeAndTemporaryFolders)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as a user of no session";
    const uid_t uid = PROGRAM_TEST_LONE_USER;
    const std::string user_runtime = "/run/user/" + std::to_string(uid);
    const std::string own = "/tmp/quorvel-" + std::to_string(uid);
    if (std::filesystem::exists(own)) GTEST_SKIP() << own << " is there already";
    const RemovedIfMade own_made(own);
    TempDir t;
    const ProgramCopy copy(t.file("program"));
    const Starter as_user = {copy.program, [uid] { return become_user(uid); }, copy.env};
    // Temporary folders the user may make its own folder in; a cache folder of the user's, and
    // one it cannot make: starts that missed each other in /tmp would run side by side, not meet
    // in the cache folder.
    const std::string tmp_a = make_shared_folder(t.file("a")),
                      tmp_b = make_shared_folder(t.file("b"));
    const std::string cache = t.file("cache"), no_cache = t.file("no/cache");
    ASSERT_EQ(::mkdir(cache.c_str(), 0700) | ::chown(cache.c_str(), uid, uid), 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string in_cache = cache + "/quorvel-" + host;
    const std::string commanding = "/x/\x1b]0;TITLE\a";  // sets a terminal's title when written
    const Env plain_a = {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", no_cache}};
    const Env plain_b = {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_b}, {"XDG_CACHE_HOME", no_cache}};
    const Env cached_a = {
        {"XDG_RUNTIME_DIR", commanding}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", cache}};
    const Env cached_b = {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_b}, {"XDG_CACHE_HOME", cache}};
    // A cache kept on another disk: ~/.cache is the user's link, in the user's home, to a folder of
    // the user's.
    const std::string home = t.file("home"), linked_cache = t.file("disk/cache");
    std::filesystem::create_directories(linked_cache);
    std::filesystem::create_directory(home);
    std::filesystem::create_directory_symlink(linked_cache, home + "/.cache");
    for (const std::string& path : {home, home + "/.cache", linked_cache})
        ASSERT_EQ(::lchown(path.c_str(), uid, uid), 0);
    ASSERT_EQ(::chmod(home.c_str(), 0700) | ::chmod(linked_cache.c_str(), 0700), 0);
    const Env linked_a = {
        {"XDG_RUNTIME_DIR", commanding}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", ""}, {"HOME", home}};
    const Env linked_b = {
        {"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_b}, {"XDG_CACHE_HOME", ""}, {"HOME", home}};
    struct Row {
        const char* tag;
        ProgramSquat squat;
        Env first, second;
        std::string folder;  // where the first start's lock and semaphores lie
    };
    // How often a run to its scripted close opened the copy's sound file. Its closes are watched
    // too, so that no two events in a row are alike and merged into one.
    const std::string close_soon = t.write("program/close.txt", "30 close\n");
    const auto sound_file_opens = [&](const char* tag, Env env) {
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(watch, t.file("program/data/sound/bgm01.wav").c_str(),
                            IN_OPEN | IN_CLOSE);
        env.push_back({"QUORVEL_INPUT_SCRIPT", close_soon});
        Program p(tag, env, "", t.file("run.err"), as_user);
        EXPECT_EQ(p.finish(120s), 0) << tag << " " << p.why();
        size_t opens = 0;
        inotify_event events[64];  // a file's events carry no name
        for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
            for (size_t i = 0; i < size_t(n) / sizeof *events; ++i)
                opens += (events[i].mask & IN_OPEN) != 0;
        ::close(watch);
        return opens;
    };
    const auto second_start_ends = [&](const Row& r) {
        std::filesystem::remove_all(own);
        if (r.squat == SQUAT_GONE) squat_folder(own);
        Program p(r.tag, r.first, r.folder, t.file("first.err"), as_user);
        ASSERT_TRUE(p.instance_lock_taken()) << r.tag << " " << p.why();
        EXPECT_TRUE(p.semaphores_made()) << r.tag;
        if (r.squat != NO_SQUAT) std::filesystem::remove_all(own);
        if (r.squat == SQUAT_COMES) squat_folder(own);
        Program second(r.tag, r.second, r.folder, t.file("second.err"), as_user);
        EXPECT_EQ(second.finish(30s), 0) << r.tag << ": -2, the second start kept running\n"
                                         << t.read("second.err");
        EXPECT_TRUE(has(t.read("second.err"), PROGRAM_ALREADY_RUNNING)) << t.read("second.err");
        EXPECT_TRUE(p.running()) << r.tag;
        EXPECT_EQ(p.terminate(), 0) << r.tag;
        for (const std::string& folder : {r.folder, in_cache})
            EXPECT_EQ(ipc_objects_named(p.prefix, folder), std::vector<std::string>{}) << r.tag;
        const std::string said = t.read("first.err");
        EXPECT_EQ(said.find("no private folder"), std::string::npos) << r.tag << said;
        if (r.squat == SQUAT_GONE) {
            EXPECT_TRUE(has(said, own + " is not a private folder of this user (") &&
                        has(said, "ipc: runtime folder /x/\\x1b]0;TITLE\\x07 not used: No such "
                                  "file or directory\n"))
                << said;
        }
    };
    if (!std::filesystem::exists(user_runtime)) {
        for (const Row& r :
             {Row{"e", NO_SQUAT, plain_a, plain_b, own},
              Row{"f", SQUAT_GONE, cached_a, cached_b, in_cache},
              Row{"g", SQUAT_COMES, cached_b, cached_a, own},
              Row{"h", SQUAT_GONE, linked_a, linked_b, home + "/.cache/quorvel-" + host}})
            second_start_ends(r);
        // With no folder left (the name in /tmp taken, a cache folder open to its group) only the
        // single-instance check is given up: the sound thread carries out the first command (it
        // loads the music, one open of the sound file beyond the start's own checks), as in a run
        // that has its folders.
        const std::string open_cache = t.file("open_cache");
        ASSERT_EQ(::mkdir(open_cache.c_str(), 0700) | ::chmod(open_cache.c_str(), 0775) |
                      ::chown(open_cache.c_str(), uid, uid),
                  0);
        const Env no_place = {
            {"XDG_RUNTIME_DIR", ""}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", open_cache}};
        std::filesystem::remove_all(own);
        const size_t opens_with_folders = sound_file_opens("m", cached_b);
        std::filesystem::remove_all(own);
        squat_folder(own);
        EXPECT_EQ(sound_file_opens("n", no_place), opens_with_folders) << t.read("run.err");
        EXPECT_TRUE(has(t.read("run.err"), PROGRAM_NO_PLACE)) << t.read("run.err");
    }
    std::filesystem::remove_all(own);
    const RemovedIfMade users_made("/run/user"), made(user_runtime);
    ::mkdir("/run/user", 0755);
    if (::mkdir(user_runtime.c_str(), 0700) == 0) ::chown(user_runtime.c_str(), uid, uid);
    if (!private_folder_of(user_runtime, uid)) GTEST_SKIP() << user_runtime << " is not the user's";
    const Env session = {
        {"XDG_RUNTIME_DIR", user_runtime}, {"TMPDIR", tmp_a}, {"XDG_CACHE_HOME", no_cache}};
    for (const Row& r : {Row{"i", NO_SQUAT, session, plain_b, user_runtime},
                         Row{"j", NO_SQUAT, plain_b, session, user_runtime},
                         Row{"k", NO_SQUAT, plain_a, plain_b, user_runtime}})
        second_start_ends(r);
    // Open to others' reading, the same folder is refused whichever name leads to it.
    ::chmod(user_runtime.c_str(), 0755);
    second_start_ends(Row{"l", NO_SQUAT, session, plain_b, own});
}

}  // namespace
