// Named kernel objects on lock files, shared mappings and futexes: the lock folder, the
// single-instance lock, shared sections and auto-reset events (see ipc.h).
#include "plat/ipc.h"

#include "plat/error.h"
#include "plat/ipc_local.h"
#include "plat/log_text.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

// Sections: names | lock folder | lock files | guard and section files |
// single instance | sections | events

struct PlatSection {
    void* view;
    size_t size;
    int fd;            // the mapped file, with a shared flock while this handle lives; -1 unnamed
    std::string file;  // "quorvel-<prefix><name>.shm" in the lock folder
};

struct PlatEvent {
    PlatSection* section;  // holds the futex word
};

namespace {

constexpr char PLAT_IPC_USER_RUNTIMES[] = "/run/user";
constexpr char PLAT_IPC_TEMPORARY[] = "/tmp";

// A lock folder: the folder that passed the check, open, and its path.
struct LockFolder {
    int fd = -1;
    std::string path;
};

// A single-instance lock: the flock on its file in each lock folder, with a
// copy of that folder's descriptor to remove the file from. None for a free
// slot.
struct HeldLock {
    LockFolder folder;
    int fd;
};
struct InstanceLock {
    std::vector<HeldLock> held;
    std::string name;
};

// The module's state. The mutex guards every field and is never held while
// a lock file is being taken.
struct IpcState {
    std::mutex mutex;
    // The lock folders of the effective user, looked up again only when the
    // user or the folders the environment names change (a forked child that
    // became another user looks up its own). They stay open, so every lock
    // file is made in a folder that passed the check, whatever later happens
    // to its path. The first holds the sections; each one holds the
    // single-instance lock. None: named objects are refused.
    bool folder_known = false;
    std::string folder_key;  // the folders looked at, in order
    std::vector<LockFolder> folders;
    // Where the system keeps the users' runtime folders and its shared
    // temporary folder; tests put folders of their own there.
    std::string user_runtimes = PLAT_IPC_USER_RUNTIMES;
    std::string temporary = PLAT_IPC_TEMPORARY;
    std::array<InstanceLock, PLAT_IPC_INSTANCE_LOCKS> instances;
};

IpcState g_ipc;

// ---- names -----------------------------------------------------------------

bool name_ok(const char* name)
{
    if (!name) return false;
    const size_t n = std::strlen(name);
    return n >= 1 && n <= PLAT_IPC_NAME_MAX && std::strchr(name, '/') == nullptr;
}

std::string expand_prefix(const char* raw)
{
    std::string out;
    for (const char* p = raw; *p; ++p) {
        if (p[0] == '%' && p[1] == 'p') {
            out += std::to_string(::getpid());
            ++p;
        } else if (*p != '/') {
            out += *p;
        }
    }
    return out;
}

std::string lock_file_name(const std::string& full_name, const char* suffix)
{
    return "quorvel-" + full_name + suffix;
}

// ---- lock folder -----------------------------------------------------------

// What a folder must be to be used. Both rules ask for a real folder owned by
// the user, and look at the folder alone, never at the name that led to it:
// one folder gets one answer, whichever variable named it.
enum class FolderRule {
    PRIVATE,        // a lock folder: nobody else may enter, read or write it
    WRITES_CLOSED,  // the cache folder a lock folder is made in: nobody else may write
};

// Why the open folder breaks the rule, or empty when it keeps it.
std::string folder_fault(int fd, FolderRule rule)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "not a folder";
    if (st.st_uid != ::geteuid()) return "owned by another user";
    const mode_t closed = rule == FolderRule::PRIVATE ? 077 : 022;
    if ((st.st_mode & closed) != 0) return "open to other users";
    return {};
}

// Why no file can be made in the open folder, or empty when one can: a folder
// may keep every rule and take no file (a read-only file system,
// /proc/self/fd), and named objects need files.
std::string files_refused(int fd)
{
    const std::string probe =
        lock_file_name(plat_ipc_prefix() + std::to_string(::getpid()), ".probe");
    const int file = ::openat(fd, probe.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0) return std::string("no file can be made in it (") + std::strerror(errno) + ")";
    ::unlinkat(fd, probe.c_str(), 0);
    ::close(file);
    return {};
}

// The open folder when it keeps the rule (and, for a lock folder, takes
// files); else it is closed, and -1 comes with the reason.
int checked_folder(int fd, FolderRule rule, std::string* why)
{
    *why = folder_fault(fd, rule);
    if (why->empty() && rule == FolderRule::PRIVATE) *why = files_refused(fd);
    if (why->empty()) return fd;
    ::close(fd);
    return -1;
}

// Opens the folder path (relative to the open folder at) when it keeps the
// rule, made first (mode 0700) when make is set; -1 and the reason
// otherwise. A link is refused, never followed.
int open_user_folder(int at, const std::string& path, bool make, FolderRule rule, std::string* why)
{
    const bool made = make && ::mkdirat(at, path.c_str(), 0700) == 0;
    struct stat st;
    if (::fstatat(at, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        *why = "a link";
        return -1;
    }
    // No link in its place by now either: the checks below are of the folder opened.
    const int fd = ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return -1;
    }
    if (made) ::fchmod(fd, 0700);  // the umask may have taken bits the owner needs
    return checked_folder(fd, rule, why);
}

std::string absolute_env(const char* var)
{
    const char* value = std::getenv(var);
    return value && value[0] == '/' ? value : "";
}

// The user's cache folder as the XDG rules name it; empty when neither
// variable gives one.
std::string cache_folder(void)
{
    const std::string cache = absolute_env("XDG_CACHE_HOME");
    if (!cache.empty()) return cache;
    const std::string home = absolute_env("HOME");
    return home.empty() ? "" : home + "/.cache";
}

// The name of the lock folder inside the cache folder. A home, and so its
// cache, may be shared by several machines, but named objects belong to one:
// the host's name keeps each machine's apart.
std::string cache_lock_folder_name(void)
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !host[0]) std::strcpy(host, "localhost");
    std::string name = "quorvel-";
    for (const char* p = host; *p; ++p) name += *p == '/' ? '_' : *p;
    return name;
}

// Whether no other user may change the names in the open folder: then a link
// in it is the user's to decide, now and later.
bool names_are_the_users(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && (st.st_uid == ::geteuid() || st.st_uid == 0) &&
           (st.st_mode & 022) == 0;
}

// The user's cache folder (an absolute path), made when missing. It may be a
// link, as a cache kept on another disk is, when the link is the user's own
// and lies in a folder no other user may change: the kernel trusts a link
// whose owner follows it, and nobody else can swap it for another between two
// starts. Where it leads must keep the rule as the cache folder itself would.
int open_cache_folder(const std::string& cache, std::string* why)
{
    std::string path = cache;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    const std::string parent_path = slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.size() == 1 ? "." : path.substr(slash + 1);
    const int parent = ::open(parent_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        *why = std::strerror(errno);
        return -1;
    }
    struct stat st;
    int fd = -1;
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
        fd = open_user_folder(parent, name, true, FolderRule::WRITES_CLOSED, why);
    } else if (st.st_uid != ::geteuid()) {
        *why = "another user's link";
    } else if (!names_are_the_users(parent)) {
        *why = "a link in a folder other users may change";
    } else {
        fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            *why = std::strerror(errno);
        else
            fd = checked_folder(fd, FolderRule::WRITES_CLOSED, why);
    }
    ::close(parent);
    return fd;
}

// The lock folder inside the cache folder, both made when missing; failed
// names the folder refused.
int open_cache_lock_folder(const std::string& cache, const std::string& name, std::string* failed,
                           std::string* why)
{
    *failed = cache;
    const int base = open_cache_folder(cache, why);
    if (base < 0) return -1;
    *failed = cache + "/" + name;
    const int fd = open_user_folder(base, name, true, FolderRule::PRIVATE, why);
    ::close(base);
    return fd;
}

// The folders looked at for the lock folder, in order; an empty one is
// passed over.
struct LockPlaces {
    std::string runtime;       // $XDG_RUNTIME_DIR
    std::string user_runtime;  // the system's runtime folder of the user
    std::string own;           // the user's folder in the system's temporary folder
    std::string cache;         // the user's cache folder
};

// The system, not $TMPDIR, names the user's runtime and temporary folders: a
// start from cron or su (no $XDG_RUNTIME_DIR) or with another $TMPDIR must
// meet the one running in the desktop session, whose runtime folder is
// /run/user/<uid>. Caller holds the mutex.
LockPlaces lock_places(void)
{
    const std::string uid = std::to_string(::geteuid());
    return {absolute_env("XDG_RUNTIME_DIR"), g_ipc.user_runtimes + "/" + uid,
            g_ipc.temporary + "/quorvel-" + uid, cache_folder()};
}

// A runtime folder, used when it is the user's alone and takes files. Many
// systems make no /run/user/<uid> (no login manager, a container): only one
// that is there and refused is worth a line (told_missing: one that is not
// there too, as a variable that names it).
int open_runtime(const std::string& path, bool told_missing)
{
    struct stat st;
    if (!told_missing && ::fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno == ENOENT)
        return -1;
    std::string why;
    const int fd = open_user_folder(AT_FDCWD, path, false, FolderRule::PRIVATE, &why);
    if (fd < 0) plat_log_line("ipc: runtime folder %s not used: %s", path.c_str(), why.c_str());
    return fd;
}

// Opens the folders the named objects live in: the runtime folder the
// session names or else the system's runtime folder of the user, when one is
// the user's alone; else the user's folder under the system's temporary
// folder and the one in the user's cache folder, each that passes. Another
// user may make the name of the first before the user does, and remove it
// later, so the single-instance lock is taken in the cache folder too, where
// nobody else can change a thing: two starts then meet whatever happened to
// the temporary folder between them. Every folder not used says why on
// stderr (the cache folder only when it is the last one left); none when all
// are refused.
std::vector<LockFolder> open_lock_folders(const LockPlaces& places)
{
    if (!places.runtime.empty()) {
        const int fd = open_runtime(places.runtime, true);
        if (fd >= 0) return {{fd, places.runtime}};
    }
    // The same folder refused as the session's is not tried, nor told of, twice.
    if (places.user_runtime != places.runtime) {
        const int fd = open_runtime(places.user_runtime, false);
        if (fd >= 0) return {{fd, places.user_runtime}};
    }
    std::vector<LockFolder> folders;
    std::string why;
    const int own = open_user_folder(AT_FDCWD, places.own, true, FolderRule::PRIVATE, &why);
    if (own >= 0)
        folders.push_back({own, places.own});
    else
        plat_log_line("ipc: %s is not a private folder of this user (%s)", places.own.c_str(),
                      why.c_str());
    if (!places.cache.empty()) {
        const std::string name = cache_lock_folder_name();
        std::string failed;
        const int fd = open_cache_lock_folder(places.cache, name, &failed, &why);
        const std::string path = places.cache + "/" + name;
        if (fd >= 0)
            folders.push_back({fd, path});
        else if (folders.empty())
            plat_log_line("ipc: cache folder %s not used: %s", failed.c_str(), why.c_str());
    }
    if (folders.empty())
        plat_log_line("ipc: no private folder of this user: this run has no single-instance "
                      "check, and its named objects are its own, unnamed");
    return folders;
}

// The lock folders, looked up again only when the folders to look at changed.
// Caller holds the mutex.
void find_lock_folders(void)
{
    const LockPlaces places = lock_places();
    const std::string key =
        places.runtime + '\n' + places.user_runtime + '\n' + places.own + '\n' + places.cache;
    if (g_ipc.folder_known && g_ipc.folder_key == key) return;
    for (const LockFolder& f : g_ipc.folders) ::close(f.fd);
    g_ipc.folder_known = true;
    g_ipc.folder_key = key;
    g_ipc.folders = open_lock_folders(places);
}

// Copies of the first count lock folders, in order, whose descriptors the
// caller closes: what is made in one is removed from the same folder,
// whatever lookup comes meanwhile.
std::vector<LockFolder> lock_folders_copied(size_t count)
{
    std::lock_guard<std::mutex> hold(g_ipc.mutex);
    find_lock_folders();
    std::vector<LockFolder> copies;
    for (const LockFolder& f : g_ipc.folders) {
        if (copies.size() == count) break;
        const int fd = ::fcntl(f.fd, F_DUPFD_CLOEXEC, 0);
        if (fd >= 0) copies.push_back({fd, f.path});
    }
    return copies;
}

// A copy of the first lock folder; its descriptor is -1 when there is none.
LockFolder first_lock_folder(void)
{
    std::vector<LockFolder> first = lock_folders_copied(1);
    return first.empty() ? LockFolder{} : first.front();
}

// ---- lock files ------------------------------------------------------------

int flock_retry(int fd, int op)
{
    int r;
    do r = ::flock(fd, op);
    while (r != 0 && errno == EINTR);
    return r;
}

int open_lock_file(const LockFolder& folder, const std::string& name)
{
    const int fd =
        ::openat(folder.fd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int e = errno;
        plat_log_line("ipc: cannot make %s in %s: %s", name.c_str(), folder.path.c_str(),
                      std::strerror(e));
        errno = e;
    }
    return fd;
}

// Whether name still is the file open as fd. A lock file is removed by a
// holder that is done with it, and a lock on a removed file guards nothing.
bool still_named(int folder, const std::string& name, int fd)
{
    struct stat open_file, named;
    return ::fstat(fd, &open_file) == 0 &&
           ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// Takes the flock (op: LOCK_EX, with LOCK_NB to only try) on the lock file
// of that name, made when missing: the descriptor that holds it, or -1 with
// errno (EWOULDBLOCK: another holder has it).
int lock_file_take(const LockFolder& folder, const std::string& name, int op)
{
    if (folder.fd < 0) {
        errno = EACCES;
        return -1;
    }
    for (;;) {
        const int fd = open_lock_file(folder, name);
        if (fd < 0) return -1;
        if (flock_retry(fd, op) != 0) {
            const int e = errno;
            ::close(fd);
            errno = e;
            return -1;
        }
        if (still_named(folder.fd, name, fd)) return fd;
        ::close(fd);  // its holder removed it meanwhile: take the present one
    }
}

// Removes the lock file, then lets go of it, so nobody takes a lock that
// would be left on a removed file unnoticed.
void lock_file_drop(const LockFolder& folder, int fd, const std::string& name)
{
    ::unlinkat(folder.fd, name.c_str(), 0);
    ::close(fd);
}

// ---- guard: serialises making, joining and removing sections ---------------

// Held in the first lock folder, where the sections live; the guard keeps a
// copy of that folder for them.
struct Guard {
    std::string name = lock_file_name(plat_ipc_prefix(), "ipc.guard");
    LockFolder folder = first_lock_folder();
    int fd = lock_file_take(folder, name, LOCK_EX);
    Guard() = default;
    ~Guard()
    {
        if (fd >= 0) lock_file_drop(folder, fd, name);
        if (folder.fd >= 0) ::close(folder.fd);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

// Opens the file of a named section: made when missing unless join_only.
// Nobody but the user makes names in the lock folder; what is found there is
// still used only when it is a plain file of the user's.
int open_section_file(const LockFolder& folder, const std::string& name, bool join_only)
{
    const int fd = join_only ? ::openat(folder.fd, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC)
                             : open_lock_file(folder, name);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Gives the file of a section nobody holds its first contents: size zero
// bytes, with the disk space taken now, so that a full disk fails here and
// not as a fault in the middle of a write to the mapping.
bool section_file_zeroed(int fd, const std::string& name, size_t size)
{
    int e = ::ftruncate(fd, 0) == 0 ? 0 : errno;
    if (e == 0) e = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (e != 0) plat_log_line("ipc: cannot make %s: %s", name.c_str(), std::strerror(e));
    return e == 0;
}

// Whether the file of a section a live holder made has the size asked for.
bool section_file_fits(int fd, size_t size)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) >= size;
}

void* map_fd(int fd, size_t size)
{
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// Opens or makes the named section under the guard: a file in the lock
// folder, mapped. join_only refuses to make one.
PlatSection* section_named(const char* name, size_t size, int* existed, bool join_only)
{
    Guard guard;
    if (guard.fd < 0) return nullptr;
    auto* s = new (std::nothrow)
        PlatSection{nullptr, size, -1, lock_file_name(plat_ipc_prefix() + name, ".shm")};
    if (!s) return nullptr;
    s->fd = open_section_file(guard.folder, s->file, join_only);
    if (s->fd < 0) {
        delete s;
        return nullptr;
    }
    // An exclusive lock is free only when no live process holds the section:
    // then one left by a crashed run is made anew.
    const bool no_holder = flock_retry(s->fd, LOCK_EX | LOCK_NB) == 0;
    const bool usable = no_holder ? !join_only && section_file_zeroed(s->fd, s->file, size)
                                  : section_file_fits(s->fd, size);
    if (usable) s->view = map_fd(s->fd, size);
    if (!s->view) {
        // Nothing of this name lives on: leave no file.
        if (no_holder) ::unlinkat(guard.folder.fd, s->file.c_str(), 0);
        ::close(s->fd);
        delete s;
        return nullptr;
    }
    flock_retry(s->fd, LOCK_SH);
    if (existed) *existed = no_holder ? 0 : 1;
    return s;
}

// ---- single instance -------------------------------------------------------

void instance_lock_drop(InstanceLock* lock)
{
    for (const HeldLock& h : lock->held) {
        lock_file_drop(h.folder, h.fd, lock->name);
        ::close(h.folder.fd);
    }
    lock->held.clear();
}

// Takes the lock in every lock folder, in their order; false, with none held,
// when another holder has it in one. As every start takes it in the same
// order, of two starts that look at once one holds it, never both nor
// neither. A folder where the file cannot be made is passed over.
bool instance_lock_take(InstanceLock* lock)
{
    bool held_elsewhere = false;
    for (const LockFolder& folder : lock_folders_copied(SIZE_MAX)) {
        const int fd = held_elsewhere ? -1 : lock_file_take(folder, lock->name, LOCK_EX | LOCK_NB);
        if (fd >= 0) {
            lock->held.push_back({folder, fd});
            continue;
        }
        held_elsewhere = held_elsewhere || errno == EWOULDBLOCK;
        ::close(folder.fd);
    }
    if (held_elsewhere) instance_lock_drop(lock);
    return !held_elsewhere;
}

// ---- events ----------------------------------------------------------------

constexpr uint32_t PLAT_EVENT_SIZE = 4;

std::atomic_ref<uint32_t> event_word(PlatEvent* e)
{
    return std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(e->section->view));
}

long futex(uint32_t* addr, int op, uint32_t val, const timespec* timeout)
{
    // Not FUTEX_PRIVATE: the word lives in memory other processes map.
    return ::syscall(SYS_futex, addr, op, val, timeout, nullptr, 0);
}

int64_t monotonic_ms(void)
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

PlatEvent* event_from_section(PlatSection* s)
{
    if (!s) return nullptr;
    auto* e = new (std::nothrow) PlatEvent{s};
    if (!e) plat_section_close(s);
    return e;
}

}  // namespace

const std::string& plat_ipc_prefix(void)
{
    static const std::string prefix = [] {
        const char* raw = std::getenv("QUORVEL_IPC_PREFIX");
        return raw ? expand_prefix(raw) : std::string();
    }();
    return prefix;
}

std::string plat_ipc_lock_dir(void)
{
    std::lock_guard<std::mutex> hold(g_ipc.mutex);
    find_lock_folders();
    return g_ipc.folders.empty() ? "" : g_ipc.folders.front().path;
}

void plat_ipc_use_system_folders(const char* user_runtimes, const char* temporary)
{
    std::lock_guard<std::mutex> hold(g_ipc.mutex);
    g_ipc.user_runtimes = user_runtimes ? user_runtimes : PLAT_IPC_USER_RUNTIMES;
    g_ipc.temporary = temporary ? temporary : PLAT_IPC_TEMPORARY;
    g_ipc.folder_known = false;
}

// ---- single instance -------------------------------------------------------

int plat_instance_lock(const char* name)
{
    if (!name_ok(name)) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return -1;
    }
    InstanceLock taken{{}, lock_file_name(plat_ipc_prefix() + name, ".lock")};
    if (!instance_lock_take(&taken)) return 0;
    if (taken.held.empty()) return -1;
    {
        std::lock_guard<std::mutex> hold(g_ipc.mutex);
        for (size_t i = 0; i < g_ipc.instances.size(); ++i) {
            if (!g_ipc.instances[i].held.empty()) continue;
            std::swap(g_ipc.instances[i], taken);
            return static_cast<int>(i) + 1;
        }
    }
    instance_lock_drop(&taken);
    return -1;
}

void plat_instance_unlock(int handle)
{
    InstanceLock taken;
    {
        std::lock_guard<std::mutex> hold(g_ipc.mutex);
        if (handle < 1 || static_cast<size_t>(handle) > g_ipc.instances.size()) return;
        std::swap(taken, g_ipc.instances[static_cast<size_t>(handle) - 1]);
    }
    instance_lock_drop(&taken);
}

// ---- sections --------------------------------------------------------------

PlatSection* plat_section_create(const char* name, size_t size, int* existed)
{
    if (existed) *existed = 0;
    if (size == 0 || (name && !name_ok(name))) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Without a private folder a name has no safe place: the section is this
    // process's own, so that its threads still share it.
    if (name && !plat_ipc_lock_dir().empty()) return section_named(name, size, existed, false);
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (view == MAP_FAILED) return nullptr;
    auto* s = new (std::nothrow) PlatSection{view, size, -1, {}};
    if (!s) ::munmap(view, size);
    return s;
}

PlatSection* plat_section_open(const char* name, size_t size)
{
    if (size == 0 || !name_ok(name)) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return section_named(name, size, nullptr, true);
}

void* plat_section_view(PlatSection* section) { return section ? section->view : nullptr; }

void plat_section_close(PlatSection* section)
{
    if (!section) return;
    if (section->fd < 0) {
        ::munmap(section->view, section->size);
        delete section;
        return;
    }
    Guard guard;
    ::munmap(section->view, section->size);
    // The last holder removes the file (this drops our shared lock when it
    // fails, which closing does anyway).
    if (guard.fd >= 0 && flock_retry(section->fd, LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(guard.folder.fd, section->file.c_str(), 0);
    ::close(section->fd);
    delete section;
}

// ---- events ----------------------------------------------------------------

PlatEvent* plat_event_create(const char* name)
{
    return event_from_section(plat_section_create(name, PLAT_EVENT_SIZE, nullptr));
}

PlatEvent* plat_event_open(const char* name)
{
    return event_from_section(plat_section_open(name, PLAT_EVENT_SIZE));
}

void plat_event_set(PlatEvent* event)
{
    if (!event) return;
    event_word(event).store(1, std::memory_order_release);
    futex(static_cast<uint32_t*>(event->section->view), FUTEX_WAKE, 1, nullptr);
}

void plat_event_reset(PlatEvent* event)
{
    if (event) event_word(event).store(0, std::memory_order_release);
}

uint32_t plat_event_wait(PlatEvent* event, uint32_t timeout_ms)
{
    if (!event) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return PLAT_WAIT_FAILED;
    }
    const bool infinite = timeout_ms == PLAT_INFINITE;
    const int64_t deadline = monotonic_ms() + timeout_ms;
    auto word = event_word(event);
    for (;;) {
        uint32_t expected = 1;
        if (word.compare_exchange_strong(expected, 0, std::memory_order_acq_rel))
            return PLAT_WAIT_OBJECT_0;
        timespec ts{};
        const timespec* tp = nullptr;
        if (!infinite) {
            const int64_t left = deadline - monotonic_ms();
            if (left <= 0) return PLAT_WAIT_TIMEOUT;
            ts.tv_sec = static_cast<time_t>(left / 1000);
            ts.tv_nsec = static_cast<long>(left % 1000) * 1000000;
            tp = &ts;
        }
        const long r = futex(static_cast<uint32_t*>(event->section->view), FUTEX_WAIT, 0, tp);
        if (r != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT)
            return PLAT_WAIT_FAILED;
    }
}

void plat_event_close(PlatEvent* event)
{
    if (!event) return;
    plat_section_close(event->section);
    delete event;
}
