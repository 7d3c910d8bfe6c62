// Single-instance lock, named sections and events: shared between processes, kept apart between
// users, bad names, the lock folder.
#include "plat/error.h"
#include "plat/ipc.h"
#include "plat/ipc_local.h"

#include "child_proc.h"
#include "temp_dir.h"

#include <sys/stat.h>

#include <fstream>
#include <optional>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class PlatIpcTest : public ::testing::Test {
protected:
    // The prefix is fixed before any fork, so parent and child meet.
    void SetUp() override { (void)plat_ipc_prefix(); }
    // Released locks and closed objects leave no object and no file behind.
    void TearDown() override
    {
        EXPECT_EQ(ipc_objects_named(plat_ipc_prefix()), std::vector<std::string>{});
    }
};

// Puts an environment variable back as it was.
struct EnvKept {
    std::string name;
    std::optional<std::string> old;
    explicit EnvKept(const char* var) : name(var)
    {
        if (const char* v = std::getenv(var)) old = v;
    }
    ~EnvKept() { old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str()); }
};

constexpr uid_t IPC_SECOND_USER = 65534;  // nobody
constexpr uid_t IPC_VICTIM_USER = 65533;  // a user of no name, not root
constexpr char IPC_TEST_NO_FOLDER[] =
    "ipc: no private folder of this user: this run has no single-instance check, and its named "
    "objects are its own, unnamed\n";

uint32_t* words(PlatSection* s) { return static_cast<uint32_t*>(plat_section_view(s)); }

TEST_F(PlatIpcTest,
       ThePrefixHoldsThePidTheInstanceLockIsExclusiveUntilReleasedAndBadNamesAreRefused)
{
    EXPECT_EQ(plat_ipc_prefix(), "qvt" + std::to_string(::getpid()) + "-");  // the tests' qvt%p-
    const int a = plat_instance_lock("inst");
    ASSERT_GE(a, 1);
    EXPECT_EQ(finish_child(fork_child([] { return plat_instance_lock("inst") == 0 ? 0 : 1; }), 10s),
              0);
    plat_instance_unlock(a);
    const int b = plat_instance_lock("inst");
    EXPECT_GE(b, 1);
    plat_instance_unlock(b);
    const std::string long_name(PLAT_IPC_NAME_MAX + 1, 'x');
    for (const char* bad : {"", "a/b", long_name.c_str()}) {
        plat_set_last_error(0);
        EXPECT_EQ(plat_instance_lock(bad), -1) << bad;
        EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
        plat_set_last_error(0);
        EXPECT_EQ(plat_section_create(bad, 8, nullptr), nullptr);
        EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(plat_section_create("zero", 0, nullptr), nullptr);
}

TEST_F(PlatIpcTest, SectionIsSharedAndRemovedWithTheLastHolder)
{
    int existed = -1;
    PlatSection* a = plat_section_create("sec", 16, &existed);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(existed, 0);
    words(a)[1] = 0xABCD;
    PlatSection* b = plat_section_create("sec", 16, &existed);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::pair(existed, words(b)[1]), std::pair(1, 0xABCDu));
    const pid_t child = fork_child([] {
        PlatSection* s = plat_section_open("sec", 16);
        if (!s) return 1;
        words(s)[2] = 77;
        plat_section_close(s);
        return 0;
    });
    EXPECT_EQ(finish_child(child, 10s), 0);
    EXPECT_EQ(words(a)[2], 77u);
    plat_section_close(a);
    plat_section_close(b);
    EXPECT_EQ(plat_section_open("sec", 16), nullptr);
    // A holder that died left its file behind: made anew, as nobody holds it, and zeroed.
    EXPECT_EQ(finish_child(fork_child([] {
                               PlatSection* s = plat_section_create("sec", 16, nullptr);
                               if (s) words(s)[0] = 5;
                               return s ? 0 : 1;  // ends without closing, as a crash would
                           }),
                           10s),
              0);
    PlatSection* c = plat_section_create("sec", 16, &existed);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(existed, 0);
    for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(words(c)[i], 0u);
    plat_section_close(c);
}

TEST_F(PlatIpcTest, EventIsAutoResetAndWakesASleeperInAnotherProcess)
{
    PlatEvent* e = plat_event_create("ev");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_TIMEOUT);
    plat_event_set(e);
    EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_OBJECT_0);
    EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_TIMEOUT);
    plat_event_set(e);
    plat_event_reset(e);
    EXPECT_EQ(plat_event_wait(e, 5), PLAT_WAIT_TIMEOUT);
    plat_event_close(e);
    e = plat_event_create("wake");
    ASSERT_NE(e, nullptr);
    const pid_t child = fork_child([] {
        PlatEvent* c = plat_event_open("wake");
        const uint32_t r = c ? plat_event_wait(c, 20000) : PLAT_WAIT_FAILED;
        plat_event_close(c);
        return r == PLAT_WAIT_OBJECT_0 ? 0 : 1;
    });
    std::this_thread::sleep_for(50ms);
    plat_event_set(e);
    EXPECT_EQ(finish_child(child, 30s), 0);
    plat_event_close(e);
}

// A second user gets objects of its own while the first user's live: its own instance lock, a new
// zeroed section and a working event, all gone when it closes them; the first user's are untouched.
TEST_F(PlatIpcTest, ASecondUserMakesItsOwnObjectsWhileTheFirstUsersLive)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run a child as a second user";
    const int lock = plat_instance_lock("inst");
    PlatSection* sec = plat_section_create("sec", 16, nullptr);
    PlatEvent* ev = plat_event_create("ev");
    ASSERT_TRUE(lock >= 1 && sec && ev);
    words(sec)[0] = 0xABCD;
    const std::string first_folder = plat_ipc_lock_dir();
    EXPECT_EQ(run_as_user(IPC_SECOND_USER,
                          [&first_folder] {
                              const std::string folder = plat_ipc_lock_dir();
                              const int own_lock = plat_instance_lock("inst");
                              int existed = -1;
                              PlatSection* s = plat_section_create("sec", 16, &existed);
                              PlatEvent* e = plat_event_create("ev");
                              plat_event_set(e);
                              const bool works = !folder.empty() && folder != first_folder &&
                                                 own_lock >= 1 && s && existed == 0 &&
                                                 words(s)[0] == 0 &&
                                                 plat_event_wait(e, 0) == PLAT_WAIT_OBJECT_0;
                              plat_event_close(e);
                              plat_section_close(s);
                              plat_instance_unlock(own_lock);
                              const bool left = !ipc_objects_named(plat_ipc_prefix()).empty();
                              return works && !left ? 0 : 2;
                          }),
              0);
    EXPECT_EQ(words(sec)[0], 0xABCDu);
    plat_event_set(ev);
    EXPECT_EQ(plat_event_wait(ev, 0), PLAT_WAIT_OBJECT_0);
    EXPECT_EQ(plat_instance_lock("inst"), 0);
    plat_event_close(ev);
    plat_section_close(sec);
    plat_instance_unlock(lock);
}

// What a test puts where a folder goes before the lookup.
enum IpcPlanted {
    NOTHING,
    LINK,
    SHARED_LINK,   // a link as above, in a folder others may write into
    OTHERS_LINK,   // a link as above, of another user's
    LINK_TO_OPEN,  // the user's link to a folder others may write into
    SHARED_FOLDER,
    WRITABLE_FOLDER,
    PLAIN_FILE,
    OTHERS_FOLDER,
    PRIVATE_FOLDER
};

// A link leads to a folder that would pass every check, so that only where it lies or whose it is
// can refuse it.
void ipc_plant(const TempDir& t, const std::string& path, IpcPlanted what)
{
    const auto folder = [](const std::string& at, mode_t mode) {
        fs::create_directory(at);
        ::chmod(at.c_str(), mode);
    };
    switch (what) {
    case NOTHING: break;
    case LINK:
    case SHARED_LINK:
    case OTHERS_LINK:
        folder(t.file("link_target"), 0700);
        fs::create_directory_symlink(t.file("link_target"), path);
        if (what == SHARED_LINK) ::chmod(fs::path(path).parent_path().c_str(), 0777);
        if (what == OTHERS_LINK) ::lchown(path.c_str(), IPC_SECOND_USER, IPC_SECOND_USER);
        break;
    case LINK_TO_OPEN:
        folder(t.file("open_target"), 01777);
        fs::create_directory_symlink(t.file("open_target"), path);
        break;
    case SHARED_FOLDER: folder(path, 0755); break;     // others may enter
    case WRITABLE_FOLDER: folder(path, 01777); break;  // others may make names
    case PLAIN_FILE: std::ofstream(path) << ""; break;
    case OTHERS_FOLDER:
        folder(path, 0700);
        ::chown(path.c_str(), IPC_SECOND_USER, IPC_SECOND_USER);
        break;
    case PRIVATE_FOLDER: folder(path, 0700); break;
    }
}

std::string ipc_host(void)
{
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
}

// Puts the system's folders back after a test moved them.
struct SystemFoldersKept {
    ~SystemFoldersKept() { plat_ipc_use_system_folders(nullptr, nullptr); }
};

// The runtime folder a session names, else the system's runtime folder of the user, is used when it
// is the user's alone (no other user may enter it: one folder, one answer, whichever name led to
// it) and files can be made in it; else the user's own folder is made under the temporary folder
// (mode 0700), and one in the user's cache folder (made 0700 when missing; it may be open to
// others' reading, never to their writing, and may be the user's own link in a folder nobody else
// may change) holds the instance lock beside it, or alone when the first is refused. A link, a
// folder others may enter or write into, a file or another user's folder in their place is
// refused with a line on stderr (a missing runtime folder of the user's without one, a cache
// folder beside the user's own none); when all are refused, there is no instance lock and named
// sections are the process's own. A second process meets the lock, also when another user gave up
// the name in the temporary folder meanwhile, or took it once the user's folder was removed.
TEST_F(PlatIpcTest, LockFolderIsTheUsersAloneOrNamedObjectsAreRefused)
{
    const EnvKept keep_runtime("XDG_RUNTIME_DIR"), keep_home("HOME"), keep_cache("XDG_CACHE_HOME");
    const SystemFoldersKept keep_system;
    TempDir t;
    const std::string uid = std::to_string(::geteuid());
    const std::string own = "quorvel-" + uid;
    const std::string in_cache = "quorvel-" + ipc_host();
    enum CacheNamed { BY_XDG, BY_HOME, NONE };
    enum Chosen { RUNTIME, USER_RUNTIME, OWN, CACHE, REFUSED };
    enum Then { KEPT, OWN_GONE, OWN_SQUATTED };  // what becomes of the user's own folder's name
    const struct {
        mode_t runtime;    // the session's runtime folder's mode; 0: none is named
        IpcPlanted user;   // what lies where the system's runtime folder of the user goes
        IpcPlanted tmp;    // what lies where the user's own folder goes
        CacheNamed named;  // how the cache folder is named
        IpcPlanted cache;  // what lies where the cache folder goes
        IpcPlanted inner;  // what lies where the lock folder in it goes
        Chosen want;
        Then then = KEPT;                  // before a second process looks for the lock
        const char* runtime_at = nullptr;  // the session's runtime folder, where not the test's
    } cases[] = {
        {0700, NOTHING, NOTHING, BY_XDG, NOTHING, NOTHING, RUNTIME},
        {0, NOTHING, NOTHING, BY_XDG, NOTHING, NOTHING, OWN, OWN_SQUATTED},
        {0, NOTHING, NOTHING, BY_XDG, OTHERS_FOLDER, NOTHING, OWN},
        {0, NOTHING, OTHERS_FOLDER, BY_XDG, NOTHING, NOTHING, CACHE, OWN_GONE},
        {0700, PRIVATE_FOLDER, NOTHING, BY_XDG, NOTHING, NOTHING, RUNTIME},
        {0750, NOTHING, NOTHING, BY_XDG, NOTHING, NOTHING, OWN},
        {0700, NOTHING, NOTHING, BY_XDG, NOTHING, NOTHING, OWN, KEPT, "/proc/self/fd"},
        {0, PRIVATE_FOLDER, NOTHING, BY_XDG, NOTHING, NOTHING, USER_RUNTIME},
        {0777, PRIVATE_FOLDER, NOTHING, BY_XDG, NOTHING, NOTHING, USER_RUNTIME},
        {0, LINK, NOTHING, BY_XDG, NOTHING, NOTHING, OWN},
        {0, SHARED_FOLDER, NOTHING, BY_XDG, NOTHING, NOTHING, OWN},
        {0, OTHERS_FOLDER, NOTHING, BY_XDG, NOTHING, NOTHING, OWN},
        {0777, PLAIN_FILE, NOTHING, BY_XDG, NOTHING, NOTHING, OWN},
        {0, NOTHING, LINK, BY_XDG, NOTHING, NOTHING, CACHE},
        {0777, NOTHING, SHARED_FOLDER, BY_XDG, SHARED_FOLDER, NOTHING, CACHE},
        {0, NOTHING, PLAIN_FILE, BY_HOME, NOTHING, NOTHING, CACHE},
        {0, NOTHING, OTHERS_FOLDER, BY_HOME, SHARED_FOLDER, NOTHING, CACHE},
        {0, NOTHING, LINK, BY_HOME, LINK, NOTHING, CACHE},
        {0, NOTHING, LINK, BY_HOME, SHARED_LINK, NOTHING, REFUSED},
        {0, NOTHING, LINK, BY_XDG, OTHERS_LINK, NOTHING, REFUSED},
        {0, NOTHING, LINK, BY_XDG, LINK_TO_OPEN, NOTHING, REFUSED},
        {0, NOTHING, LINK, BY_XDG, WRITABLE_FOLDER, NOTHING, REFUSED},
        {0, NOTHING, LINK, BY_HOME, PLAIN_FILE, NOTHING, REFUSED},
        {0, NOTHING, LINK, BY_XDG, OTHERS_FOLDER, NOTHING, REFUSED},
        {0, NOTHING, LINK, BY_XDG, NOTHING, LINK, REFUSED},
        {0, NOTHING, LINK, BY_XDG, SHARED_FOLDER, SHARED_FOLDER, REFUSED},
        {0, NOTHING, LINK, BY_XDG, NOTHING, OTHERS_FOLDER, REFUSED},
        {0, NOTHING, LINK, NONE, NOTHING, NOTHING, REFUSED},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const bool gives_away = c.user == OTHERS_FOLDER || c.tmp == OTHERS_FOLDER ||
                                c.cache == OTHERS_FOLDER || c.cache == OTHERS_LINK ||
                                c.inner == OTHERS_FOLDER || c.then == OWN_SQUATTED;
        if (gives_away && ::geteuid() != 0) continue;  // needs root
        const std::string base = t.file(std::to_string(i));
        const std::string run = c.runtime_at ? c.runtime_at : base + "/run";
        const std::string users_run = base + "/run_user", user_run = users_run + "/" + uid;
        const std::string mine = base + "/" + own, home = base + "/home";
        const std::string cache = c.named == BY_HOME ? home + "/.cache" : base + "/cache";
        fs::create_directories(base + "/run");
        fs::create_directories(users_run);
        fs::create_directories(home);
        ::chmod((base + "/run").c_str(), c.runtime ? c.runtime : 0700);
        ipc_plant(t, user_run, c.user);
        ipc_plant(t, mine, c.tmp);
        ipc_plant(t, cache, c.cache);
        if (c.inner != NOTHING) {
            fs::create_directories(cache);
            ipc_plant(t, cache + "/" + in_cache, c.inner);
        }
        c.runtime ? ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
        plat_ipc_use_system_folders(users_run.c_str(), base.c_str());
        c.named == NONE ? ::unsetenv("HOME") : ::setenv("HOME", home.c_str(), 1);
        c.named == BY_XDG ? ::setenv("XDG_CACHE_HOME", cache.c_str(), 1)
                          : ::unsetenv("XDG_CACHE_HOME");

        ::testing::internal::CaptureStderr();
        const std::string got = plat_ipc_lock_dir();
        const std::string said = ::testing::internal::GetCapturedStderr();
        const std::string wanted[] = {run, user_run, mine, cache + "/" + in_cache, ""};
        EXPECT_EQ(got, wanted[c.want]) << i;
        if (c.want > USER_RUNTIME && c.user != NOTHING) {
            EXPECT_NE(said.find("runtime folder " + user_run + " not used"), std::string::npos)
                << i << said;
        }
        if (c.user == NOTHING) {
            EXPECT_EQ(said.find(user_run), std::string::npos) << i << said;
        }
        if (c.want >= CACHE) {
            EXPECT_NE(said.find(mine), std::string::npos) << i << said;
        }
        if (c.want == OWN) {
            EXPECT_EQ(said.find("cache folder"), std::string::npos) << i << said;
        }
        if (c.want > RUNTIME && c.runtime) {
            EXPECT_NE(said.find("runtime folder " + run + " not used"), std::string::npos)
                << i << said;
        }
        if (c.want == REFUSED) {
            EXPECT_NE(said.find(IPC_TEST_NO_FOLDER), std::string::npos) << i << said;
            EXPECT_EQ(plat_instance_lock("inst"), -1) << i;
            // A named section still serves the process's threads, and no other process.
            PlatSection* sec = plat_section_create("sec", 8, nullptr);
            EXPECT_NE(sec, nullptr) << i;
            EXPECT_EQ(
                finish_child(fork_child([] { return plat_section_open("sec", 8) ? 1 : 0; }), 10s),
                0)
                << i;
            plat_section_close(sec);
            continue;
        }
        struct stat st {};
        if (c.want != RUNTIME) {
            ASSERT_EQ(::stat(got.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u) << i;
        }
        if (c.want == CACHE && c.cache == NOTHING) {
            ASSERT_EQ(::stat(cache.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u) << i;
        }
        // Named objects work there, and go with the last close.
        const int lock = plat_instance_lock("inst");
        PlatSection* sec = plat_section_create("sec", 8, nullptr);
        EXPECT_TRUE(lock >= 1 && sec) << i;
        plat_section_close(sec);
        if (c.then != KEPT) fs::remove_all(mine);
        if (c.then == OWN_SQUATTED) ipc_plant(t, mine, OTHERS_FOLDER);
        const pid_t second = fork_child([&] {
            const int quiet = ::open("/dev/null", O_WRONLY);  // its lines were looked at above
            ::dup2(quiet, 2);
            plat_ipc_use_system_folders(users_run.c_str(), base.c_str());  // looks again
            return plat_instance_lock("inst") == 0 ? 0 : 1;
        });
        EXPECT_EQ(finish_child(second, 30s), 0) << i << ": the second process took the lock";
        plat_instance_unlock(lock);
        EXPECT_EQ(ipc_objects_named(plat_ipc_prefix(), got), std::vector<std::string>{}) << i;
    }
}

// The temporary folder the environment names plays no part: a start from a shell with another
// $TMPDIR meets the one running.
TEST_F(PlatIpcTest, TmpdirDoesNotMoveTheLockFolder)
{
    const EnvKept keep_tmp("TMPDIR");
    TempDir t;
    ::unsetenv("TMPDIR");
    const std::string folder = plat_ipc_lock_dir();
    ::setenv("TMPDIR", t.file("").c_str(), 1);
    EXPECT_EQ(plat_ipc_lock_dir(), folder);
}

// Another user who first makes every name of the victim's objects it can make (in /dev/shm, and in
// the shared temporary folder where the victim's own folder goes) denies the victim nothing: a
// section and an event are made and shared with a second process of the victim's.
TEST_F(PlatIpcTest, AnotherUsersNamesInSharedPlacesDenyNoObject)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run children as other users";
    TempDir t;
    const std::string shared = make_shared_folder(t.file("shared"));
    const std::string p = plat_ipc_prefix();
    std::vector<std::string> squatted = {shared + "/quorvel-" + p + "ipc.guard"};
    for (const char* name : {"sec", "ev"}) {
        squatted.push_back("/dev/shm/quorvel-" + std::to_string(IPC_VICTIM_USER) + "-" + p + name);
        squatted.push_back(shared + "/quorvel-" + p + name + ".shm");
    }
    EXPECT_EQ(make_files_as_user(IPC_SECOND_USER, squatted), 0);
    const std::string no_cache = t.file("no/cache");  // the victim cannot make it
    EXPECT_EQ(run_as_user(IPC_VICTIM_USER,
                          [&shared, &no_cache] {
                              use_only_shared_folder(shared, no_cache);
                              int existed = -1;
                              PlatSection* s = plat_section_create("sec", 16, &existed);
                              PlatEvent* e = plat_event_create("ev");
                              if (!s || !e || existed != 0) return 1;
                              words(s)[0] = 5;
                              plat_event_set(e);
                              const int joined =
                                  finish_child(fork_child([] {
                                                   PlatSection* cs = plat_section_open("sec", 16);
                                                   PlatEvent* ce = plat_event_open("ev");
                                                   const bool seen =
                                                       cs && words(cs)[0] == 5 &&
                                                       plat_event_wait(ce, 0) == PLAT_WAIT_OBJECT_0;
                                                   if (seen) words(cs)[1] = 7;
                                                   plat_event_close(ce);
                                                   plat_section_close(cs);
                                                   return seen ? 0 : 1;
                                               }),
                                               30s);
                              const bool shared_both = joined == 0 && words(s)[1] == 7;
                              plat_event_close(e);
                              plat_section_close(s);
                              const bool left = !fs::is_empty(plat_ipc_lock_dir());
                              return shared_both && !left ? 0 : 2;
                          }),
              0);
    for (const std::string& path : squatted) fs::remove(path);
}

}  // namespace
