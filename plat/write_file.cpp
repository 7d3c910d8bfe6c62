// The one writer of whole files (see files.h): each name of the path resolved once into an open
// folder, links followed only where that is safe, a file replaced only by a complete new one
// that keeps its protection, and no write that waits long.
#include "plat/files.h"
#include "plat/files_local.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "plat/window.h"
#include "plat/window_local.h"

namespace {

struct WriteFailure {
    std::string* why;
    // The step and the system's reason for errno.
    int fail(const char* step)
    {
        const int e = errno;
        if (why) *why = std::string(step) + ": " + std::strerror(e);
        errno = e;
        return 0;
    }
    // A reason of our own.
    int refuse(const std::string& reason)
    {
        if (why) *why = reason;
        return 0;
    }
};

// An open descriptor, closed when it goes; closing keeps errno.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            fd = std::exchange(o.fd, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset()
    {
        if (fd < 0) return;
        const int e = errno;
        ::close(fd);
        errno = e;
        fd = -1;
    }
    explicit operator bool() const { return fd >= 0; }
};

// Tests take the named route of a file system without unnamed files, and fail the folder sync.
std::atomic<int> g_unnamed_allowed{1};
std::atomic<int (*)(int)> g_folder_sync{::fsync};

constexpr int PLAT_NAME_ATTEMPTS = 16;
constexpr int PLAT_LINK_HOPS_MAX = 40;         // as many as the kernel follows
constexpr int PLAT_WRITE_POLL_SLICE_MS = 100;  // how soon an end signal is seen while waiting
constexpr int PLAT_PATH_ONLY = O_PATH | O_NOFOLLOW | O_CLOEXEC;
// Never waits for a pipe's reader, never takes a terminal.
constexpr int PLAT_OPEN_TO_WRITE = O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
constexpr char PLAT_ACL_ACCESS[] = "system.posix_acl_access";
constexpr char PLAT_USER_ATTRIBUTES[] = "user.";

// ---- where a path leads -------------------------------------------------------------------

// Where the bytes go: one name in a folder opened once. Every later step works relative to
// that folder, so a name swapped meanwhile cannot lead the save elsewhere.
struct Target {
    Fd folder;          // opened as a place (O_PATH), never through a link
    std::string name;   // one component, never "." or ".."
    struct stat st {};  // of the name as it was found, when it exists
    bool exists = false;
    // A link of the kernel's own (/proc/<pid>/fd/N, /proc/self/cwd): it stands for an open
    // object, not for the path its text shows.
    bool kernel_link = false;
};

// Puts the components of text in front of those still to walk (the back of `rest` is the
// next). A text ending in a separator ends in "." too, so that the name before it must be a
// folder.
void push_components(std::string_view text, std::vector<std::string>* rest)
{
    std::vector<std::string> parts;
    for (size_t pos = 0; pos <= text.size();) {
        size_t end = text.find('/', pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos) parts.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    if (!text.empty() && text.back() == '/') parts.emplace_back(".");
    rest->insert(rest->end(), parts.rbegin(), parts.rend());
}

// The kernel's protected-symlink, -fifo and -regular rules, applied whether or not the kernel
// applies them: in a sticky folder that others may write into, anyone may have put a link, a
// file or a named pipe there, so it is taken only when it belongs to the user or to the folder's
// owner. `what` names it in the refusal.
bool trusted_in_folder(int folder, const struct stat& st, const char* what, WriteFailure& out)
{
    struct stat dir;
    if (::fstat(folder, &dir) != 0) return out.fail("open");
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    if (!shared || st.st_uid == ::geteuid() || st.st_uid == dir.st_uid) return true;
    return out.refuse(std::string(what) + " in a shared sticky folder");
}

// The text of the link open as `link` (O_PATH of the link itself): the one that was checked.
bool read_link(int link, std::string* text, WriteFailure& out)
{
    text->assign(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(link, "", text->data(), text->size());
    if (n < 0) return out.fail("read link");
    if (size_t(n) == text->size()) {  // cut short: longer than any path
        errno = ENAMETOOLONG;
        return out.fail("read link");
    }
    text->resize(size_t(n));
    return true;
}

bool on_proc(int folder)
{
    struct statfs fs;
    return ::fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// The walk goes on from the root opened at its start: a second descriptor of that folder, not
// a second look-up of "/".
bool restart_at_root(const Fd& root, Fd* at, WriteFailure& out)
{
    *at = Fd(::fcntl(root.fd, F_DUPFD_CLOEXEC, 0));
    return *at || out.fail("open");
}

// Takes the folder `next` as the new place of the walk.
bool enter_folder(Fd* at, Fd next, const struct stat& st, WriteFailure& out)
{
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return out.fail("open");
    }
    *at = std::move(next);
    return true;
}

// Walks path one name at a time as the kernel would, each name opened once relative to the
// folder before it, following every link (a chain too) under the rule above by its text; a
// link of the kernel's own is left to the kernel. A missing last name is a new name in the
// folder reached.
bool find_target(const std::string& path, Target* t, WriteFailure& out)
{
    std::vector<std::string> rest;
    push_components(path, &rest);
    // The root is opened once: an absolute link's text starts again from this descriptor.
    const Fd root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    Fd at(path[0] == '/' ? ::fcntl(root.fd, F_DUPFD_CLOEXEC, 0)
                         : ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!root || !at) return out.fail("open");
    int hops = 0;
    while (!rest.empty()) {
        std::string name = std::move(rest.back());
        rest.pop_back();
        const bool last = rest.empty();
        if (name == ".") continue;  // the walk stands in a folder
        // ".." is never a link: it leads to the parent of the folder the walk stands in.
        Fd next(::openat(at.fd, name.c_str(), PLAT_PATH_ONLY));
        struct stat st;
        if (!next) {
            if (errno != ENOENT || !last) return out.fail("open");
            t->folder = std::move(at);
            t->name = std::move(name);
            return true;
        }
        if (::fstat(next.fd, &st) != 0) return out.fail("open");
        if (S_ISLNK(st.st_mode)) {
            if (++hops > PLAT_LINK_HOPS_MAX) {
                errno = ELOOP;
                return out.fail("open");
            }
            if (on_proc(at.fd)) {
                if (last) {
                    t->folder = std::move(at);
                    t->name = std::move(name);
                    t->kernel_link = true;
                    return true;
                }
                next = Fd(::openat(at.fd, name.c_str(), O_PATH | O_CLOEXEC));
                if (!next || ::fstat(next.fd, &st) != 0) return out.fail("open");
                if (!enter_folder(&at, std::move(next), st, out)) return false;
                continue;
            }
            std::string text;
            if (!trusted_in_folder(at.fd, st, "follow link: another user's link", out) ||
                !read_link(next.fd, &text, out))
                return false;
            if (text[0] == '/' && !restart_at_root(root, &at, out)) return false;
            push_components(text, &rest);
            continue;
        }
        if (last && !S_ISDIR(st.st_mode)) {
            t->folder = std::move(at);
            t->name = std::move(name);
            t->st = st;
            t->exists = true;
            return true;
        }
        if (!enter_folder(&at, std::move(next), st, out)) return false;
    }
    errno = EISDIR;  // the path ends at a folder
    return out.fail("open");
}

// Opens the name found at target for writing, refused should another object have taken the
// name since it was found.
bool open_found(const Target& t, Fd* fd, WriteFailure& out)
{
    *fd = Fd(::openat(t.folder.fd, t.name.c_str(), PLAT_OPEN_TO_WRITE | O_NOFOLLOW));
    struct stat now;
    if (!*fd || ::fstat(fd->fd, &now) != 0) return out.fail("open");
    if (now.st_dev != t.st.st_dev || now.st_ino != t.st.st_ino)
        return out.refuse("open: the name was given to another file during the save");
    return true;
}

// ---- writing ------------------------------------------------------------------------------

// Every byte, from the current position, however few each write takes. When fd (non-blocking)
// takes none now, `wait` (when given) waits for room, or ends the write by answering false.
// False with errno.
bool write_all(int fd, std::span<const uint8_t> bytes, const std::function<bool()>& wait = {})
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EAGAIN && wait) {
            if (!wait()) return false;
        } else if (n == 0 || errno != EINTR) {
            if (n == 0) errno = EIO;
            return false;
        }
    }
    return true;
}

// Closes fd, keeping an earlier failure's reason; a failed close fails ok.
int close_checked(Fd& fd, int ok, WriteFailure& out)
{
    const int e = errno;
    const int closed = ::close(std::exchange(fd.fd, -1));
    if (closed != 0 && ok) return out.fail("close");
    errno = e;
    return ok;
}

// A name whose length never depends on the name being saved, so that a name of the longest
// legal length can still be saved, and whose random part no other user can foresee and take
// first. False with errno when no random bytes came.
bool temporary_name(std::string* name)
{
    uint64_t r;
    // So few bytes come whole, never cut short by a signal, once the system has them at all.
    if (::getrandom(&r, sizeof r, 0) != ssize_t(sizeof r)) return false;
    char text[40];
    std::snprintf(text, sizeof text, ".quorvel-%016llx.part", static_cast<unsigned long long>(r));
    *name = text;
    return true;
}

// Makes something under a temporary name, tried again under another while `make` (false with
// errno) finds the name taken: the name made, or empty with errno.
template <typename Make>
std::string under_temporary_name(Make make)
{
    std::string name;
    for (int attempt = 0; attempt < PLAT_NAME_ATTEMPTS; ++attempt) {
        if (!temporary_name(&name)) break;
        if (make(name)) return name;
        if (errno != EEXIST) break;
    }
    return {};
}

// Whether a name made in the target's folder could be taken away again: a folder the system
// keeps as it is, append-only or immutable, refuses every rename and removal. (An old file kept
// so is refused its opening for writing, before anything is made.)
bool names_may_go(const Target& t)
{
    constexpr uint64_t kept = STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE;
    struct statx sx;
    return ::statx(t.folder.fd, "", AT_EMPTY_PATH, 0, &sx) != 0 ||
           (sx.stx_attributes & sx.stx_attributes_mask & kept) == 0;
}

// The new file the bytes go to before they replace anything.
struct NewFile {
    Fd fd;
    std::string name;  // empty while the file has no name
    Fd own_fds;        // /proc/self/fd, through which an unnamed file gets its name
};

// This process's descriptors in the proc file system, through which any user may give an
// unnamed file a name (through the descriptor alone, older kernels let only the privileged);
// none where /proc is missing or is not that file system (a container or a chroot without it).
Fd open_own_fds()
{
    Fd fds(::open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (fds && !on_proc(fds.fd)) fds.reset();
    return fds;
}

// A new file in folder: unnamed where the file system allows it and it can be named later, so
// that a process killed while writing leaves nothing behind; else under a temporary name, where
// names may go again. False with errno.
bool open_new_file(int folder, mode_t mode, bool may_name, NewFile* f)
{
    if (g_unnamed_allowed) f->own_fds = open_own_fds();
    if (f->own_fds) {
        f->fd = Fd(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (f->fd) return true;
        // Older kernels and some file systems answer these for a file system without unnamed
        // files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    }
    if (!may_name) {
        errno = EPERM;
        return false;
    }
    f->name = under_temporary_name([&](const std::string& name) {
        f->fd = Fd(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        return bool(f->fd);
    });
    return bool(f->fd);
}

// Gives the unnamed file f the name `name` in folder; EEXIST when it is taken.
bool link_unnamed(const NewFile& f, int folder, const std::string& name)
{
    return ::linkat(f.own_fds.fd, std::to_string(f.fd.fd).c_str(), folder, name.c_str(),
                    AT_SYMLINK_FOLLOW) == 0;
}

// Puts the complete new file at target. An unnamed file is linked straight in where nothing is
// there; a link never replaces a name, so otherwise it is linked under a temporary name and
// renamed over target at once: the temporary name exists only between those two calls, and
// only where it may go again. False with errno.
bool put_at_target(NewFile& f, const Target& t, bool may_name)
{
    const int folder = t.folder.fd;
    if (f.name.empty()) {
        if (!t.exists && link_unnamed(f, folder, t.name)) return true;
        if ((!t.exists && errno != EEXIST) || !may_name) return false;
        f.name = under_temporary_name(
            [&](const std::string& name) { return link_unnamed(f, folder, name); });
        if (f.name.empty()) return false;
    }
    if (::renameat(folder, f.name.c_str(), folder, t.name.c_str()) != 0) return false;
    f.name.clear();
    return true;
}

// The new name is lasting only once its folder is synced. A folder the user may not open, or
// a file system that syncs no folder, leaves that to the system.
int sync_folder(const Target& t, WriteFailure& out)
{
    Fd fd(::openat(t.folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return errno == EACCES ? 1 : out.fail("sync folder");
    const int ok =
        g_folder_sync.load()(fd.fd) == 0 || errno == EINVAL ? 1 : out.fail("sync folder");
    return close_checked(fd, ok, out);
}

// ---- what protects the old file -----------------------------------------------------------

// What protects a file: owner, group and mode, its access ACL (or its absence: a new file may
// have got one from its folder's default ACL) and the extended attributes a user may set
// ("user.*"); the kernel's and the security modules' own are theirs to give.
struct Protection {
    struct stat st {};
    bool has_acl = false;
    std::string acl;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// An attribute value or a name list, asked for by size first; false with errno.
template <typename Query>
bool read_sized(std::string* out, Query query)
{
    for (;;) {
        const ssize_t size = query(nullptr, 0);
        if (size < 0) return false;
        out->resize(size_t(size));
        const ssize_t n = query(out->data(), out->size());
        if (n >= 0) {
            out->resize(size_t(n));
            return true;
        }
        if (errno != ERANGE) return false;  // grown meanwhile: asked again
    }
}

bool read_attribute(int fd, const char* name, std::string* value)
{
    return read_sized(value, [&](char* buf, size_t n) { return ::fgetxattr(fd, name, buf, n); });
}

// The user attributes of the file open as fd; one removed since the names were listed is not
// there to keep.
bool read_user_attributes(int fd, Protection* p)
{
    std::string names;
    if (!read_sized(&names, [&](char* buf, size_t n) { return ::flistxattr(fd, buf, n); }))
        return errno == ENOTSUP;
    for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        if (std::strncmp(name, PLAT_USER_ATTRIBUTES, sizeof PLAT_USER_ATTRIBUTES - 1) != 0)
            continue;
        std::string value;
        if (read_attribute(fd, name, &value))
            p->attributes.emplace_back(name, std::move(value));
        else if (errno != ENODATA)
            return false;
    }
    return true;
}

// The protection of the old file, read through a descriptor of the file itself: the file that
// was checked, whatever its name leads to now, and no /proc needed. False with errno: EACCES or
// EPERM where the user may not read its attributes.
bool read_protection(int fd, Protection* p)
{
    if (::fstat(fd, &p->st) != 0) return false;
    p->has_acl = read_attribute(fd, PLAT_ACL_ACCESS, &p->acl);
    if (!p->has_acl && errno != ENODATA && errno != ENOTSUP) return false;
    return read_user_attributes(fd, p);
}

// The new file open as fd takes over the old one's protection. False with errno when any of it
// cannot be given, an owner or group the user may not give included: an ACL read against another
// owner or group would widen it.
bool give_protection(int fd, const Protection& p)
{
    if (::fchown(fd, p.st.st_uid, p.st.st_gid) != 0 || ::fchmod(fd, p.st.st_mode & 07777) != 0)
        return false;
    if (p.has_acl
            ? ::fsetxattr(fd, PLAT_ACL_ACCESS, p.acl.data(), p.acl.size(), 0) != 0
            : ::fremovexattr(fd, PLAT_ACL_ACCESS) != 0 && errno != ENODATA && errno != ENOTSUP)
        return false;
    for (const auto& [name, value] : p.attributes)
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) return false;
    return true;
}

// The old protection could not be read. Attributes the user may not read cannot go to a new
// file, which is then written in place as for protection that cannot be given; any other
// failure leaves the old file's protection unknown, and the save is refused.
int protection_unread(WriteFailure& out, bool* in_place)
{
    *in_place = errno == EACCES || errno == EPERM;
    return out.fail(*in_place ? "keep the old file's protection"
                              : "replace the file: the old file's protection cannot be read");
}

// Whether the sticky bit keeps the user from giving the old file's name to another: only the
// file's owner and the folder's may (and the privileged). Known from what was found.
bool sticky_keeps_name(const Target& t)
{
    struct stat dir;
    return ::fstat(t.folder.fd, &dir) == 0 && (dir.st_mode & S_ISVTX) &&
           t.st.st_uid != ::geteuid() && dir.st_uid != ::geteuid();
}

// The new file could not be made: in the user's terms. A folder that is there and yet has no
// such name to give (a /proc folder, or one removed meanwhile) answers ENOENT.
int new_file_failed(const char* step, bool may_name, WriteFailure& out)
{
    const std::string s(step);
    if (!may_name && errno == EPERM)
        return out.refuse(s +
                          ": the folder keeps every name, and no unnamed file can be made here");
    if (errno == ENOENT) return out.refuse(s + ": the folder takes no new files");
    return out.fail(step);
}

// Whether anything has the target's name now; keeps errno.
bool name_held(const Target& t)
{
    const int e = errno;
    struct stat st;
    const bool held = ::fstatat(t.folder.fd, t.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    errno = e;
    return held;
}

// Puts the new file at the name that was free when it was looked up. A failure that finds the
// name held was caused by whatever took it meanwhile; one that finds it free again is tried
// again, for another object may have held it only for a moment.
int put_at_new_name(NewFile& f, const Target& t, bool may_name, WriteFailure& out)
{
    for (int attempt = 1;; ++attempt) {
        if (put_at_target(f, t, may_name)) return 1;
        if (name_held(t))
            return out.refuse(
                "make a new file: the name was taken by another file during the save");
        if (attempt == PLAT_NAME_ATTEMPTS) return out.fail("make a new file");
    }
}

// Puts the new file in the old one's place. A refusal that the sticky bit explains (known from
// what was found) makes the save write in place; any other refusal of a name the user might
// replace means that another file has it now.
int put_in_old_place(NewFile& f, const Target& t, bool may_name, WriteFailure& out, bool* in_place)
{
    if (put_at_target(f, t, may_name)) return 1;
    const bool refused = errno == EPERM || errno == EACCES;
    *in_place = refused && sticky_keeps_name(t);
    return refused && !*in_place
               ? out.refuse("replace the file: the name was given to another file during the save")
               : out.fail("replace the file");
}

// The new bytes go to a new file beside target, which replaces target (the old file open as old
// for writing) only once complete. *in_place is set when an old target may be written in place
// instead, for what was known when it was found: its folder takes no new file for want of
// permission, keeps every name it is given, lets only the file's owner or its own replace the
// name, or the new file cannot take over the old one's protection; never for a refusal that these
// do not explain.
int replace_whole(const Target& t, int old, std::span<const uint8_t> bytes, WriteFailure& out,
                  bool* in_place)
{
    const bool may_name = names_may_go(t);
    if (t.exists && !may_name) {
        *in_place = true;
        return out.refuse("replace the file: the folder keeps every name");
    }
    Protection kept;
    if (t.exists && !read_protection(old, &kept)) return protection_unread(out, in_place);
    NewFile f;
    if (!open_new_file(t.folder.fd, t.exists ? 0600 : 0666, may_name, &f)) {
        *in_place = errno == EACCES || errno == EPERM;
        return new_file_failed(t.exists ? "replace the file" : "make a new file", may_name, out);
    }
    int ok = 1;
    if (t.exists && !give_protection(f.fd.fd, kept)) {
        *in_place = true;
        ok = out.fail("keep the old file's protection");
    }
    if (ok && !write_all(f.fd.fd, bytes))
        ok = out.fail("write");
    else if (ok && ::fsync(f.fd.fd) != 0)
        ok = out.fail("sync");
    if (ok)
        ok = t.exists ? put_in_old_place(f, t, may_name, out, in_place)
                      : put_at_new_name(f, t, may_name, out);
    ok = close_checked(f.fd, ok, out);
    if (!f.name.empty()) {
        const int e = errno;
        ::unlinkat(t.folder.fd, f.name.c_str(), 0);
        errno = e;
    }
    return ok && sync_folder(t, out);
}

// Room for the whole new content before any old byte is overwritten, so that a lack of space
// fails with the old bytes intact. Where the file system reserves nothing, the part past the
// old end is written first, for the same reason.
bool reserve(int fd, off_t old_size, std::span<const uint8_t> bytes)
{
    if (bytes.empty()) return true;
    if (::fallocate(fd, 0, 0, off_t(bytes.size())) == 0) return true;
    if (errno != EOPNOTSUPP) return false;
    return off_t(bytes.size()) <= old_size || (::lseek(fd, old_size, SEEK_SET) == old_size &&
                                               write_all(fd, bytes.subspan(size_t(old_size))));
}

// Writes over the regular file open as fd without removing it or cutting it first: the room
// is reserved, the bytes written, the file cut to their size and synced.
int write_in_place(Fd& fd, std::span<const uint8_t> bytes, WriteFailure& out)
{
    struct stat st;
    int ok = ::fstat(fd.fd, &st) == 0 ? 1 : out.fail("open");
    if (ok && !reserve(fd.fd, st.st_size, bytes)) {
        ok = out.fail("reserve space");
        // A reservation that failed part way leaves the old size.
        struct stat now;
        if (::fstat(fd.fd, &now) == 0 && now.st_size > st.st_size) {
            const int e = errno;
            [[maybe_unused]] const int cut = ::ftruncate(fd.fd, st.st_size);
            errno = e;
        }
    }
    if (ok && (::lseek(fd.fd, 0, SEEK_SET) != 0 || !write_all(fd.fd, bytes)))
        ok = out.fail("write");
    if (ok && ::ftruncate(fd.fd, off_t(bytes.size())) != 0) ok = out.fail("cut to size");
    if (ok && ::fsync(fd.fd) != 0) ok = out.fail("sync");
    return close_checked(fd, ok, out);
}

int64_t now_ms(void)
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

// Waits in short slices until fd takes bytes again (or reports the error the next write
// gives); false with ETIMEDOUT once the deadline passed, ECANCELED once an end signal came.
bool wait_for_room(int fd, int64_t deadline)
{
    for (;;) {
        const int64_t left = deadline - now_ms();
        if (plat_term_requested() || left <= 0) {
            errno = plat_term_requested() ? ECANCELED : ETIMEDOUT;
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, int(std::min<int64_t>(left, PLAT_WRITE_POLL_SLICE_MS)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// Writes to the device or pipe open as fd (non-blocking): a reader that stops reading costs a
// bounded wait, never the program.
int write_to_special(Fd& fd, std::span<const uint8_t> bytes, WriteFailure& out)
{
    const int64_t deadline = now_ms() + PLAT_WRITE_SPECIAL_MAX_MS;
    int ok = write_all(fd.fd, bytes, [&] { return wait_for_room(fd.fd, deadline); });
    if (!ok && errno == ETIMEDOUT)
        ok = out.refuse("write: not taken within " +
                        std::to_string(PLAT_WRITE_SPECIAL_MAX_MS / 1000) + " s, given up");
    else if (!ok && errno == ECANCELED)
        ok = out.refuse("write: given up for an end signal");
    else if (!ok)
        ok = out.fail("write");
    return close_checked(fd, ok, out);
}

// What is open as fd takes the bytes as it is: a regular file in place, anything else as a
// device or a pipe.
int write_open_object(Fd& fd, std::span<const uint8_t> bytes, WriteFailure& out)
{
    struct stat st;
    if (::fstat(fd.fd, &st) != 0) return out.fail("open");
    return S_ISREG(st.st_mode) ? write_in_place(fd, bytes, out) : write_to_special(fd, bytes, out);
}

// A link of the kernel's own is opened through the kernel: the bytes go to the object it
// stands for (a pipe, a terminal, an open or deleted file), never to a file of its text's name.
// A pipe without a reader fails at once instead of waiting for one.
int write_through_kernel_link(const Target& t, std::span<const uint8_t> bytes, WriteFailure& out)
{
    Fd fd(::openat(t.folder.fd, t.name.c_str(), PLAT_OPEN_TO_WRITE));
    if (!fd) return out.fail("open");
    return write_open_object(fd, bytes, out);
}

}  // namespace

int plat_path_names_folder(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return !path.empty() && (last.empty() || last == "." || last == "..");
}

int plat_write_file(std::string_view path, std::span<const uint8_t> bytes, std::string* why)
{
    WriteFailure out{why};
    if (why) why->clear();
    const std::string chosen(path);
    if (chosen.empty() || plat_path_names_folder(chosen)) {
        errno = chosen.empty() ? ENOENT : EISDIR;
        return out.fail("open");
    }
    Target t;
    if (!find_target(chosen, &t, out)) return 0;
    if (t.kernel_link) return write_through_kernel_link(t, bytes, out);
    bool in_place = false;
    if (!t.exists) return replace_whole(t, -1, bytes, out, &in_place);
    if ((S_ISREG(t.st.st_mode) || S_ISFIFO(t.st.st_mode)) &&
        !trusted_in_folder(t.folder.fd, t.st, "open: another user's file", out))
        return 0;
    // A file the user could not open for writing is not the user's to replace. Its protection
    // is read through this descriptor, which takes the bytes where it is written in place.
    Fd fd;
    if (!open_found(t, &fd, out)) return 0;
    if (!S_ISREG(t.st.st_mode)) return write_to_special(fd, bytes, out);
    if (replace_whole(t, fd.fd, bytes, out, &in_place)) return 1;
    if (!in_place) return 0;
    if (why) why->clear();
    return write_in_place(fd, bytes, out);
}

void plat_write_file_unnamed(int allowed) { g_unnamed_allowed = allowed ? 1 : 0; }

void plat_write_file_folder_sync(int (*sync)(int fd)) { g_folder_sync = sync ? sync : ::fsync; }
